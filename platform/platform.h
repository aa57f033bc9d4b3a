#pragma once
// Services of the desktop that the program uses. Each has a real implementation on Qt/POSIX
// (installed by installDesktopServices()) and a recording fake for the tests (tests/support/fake_platform.h).
#include <QString>
#include <QDateTime>

#include <functional>

class QThreadPool;
class QWidget;

namespace platform {

// Modal boxes. Each runs a nested event loop in the real implementation, so socket events
// and timers are still handled while it is open; it blocks the windows showing when it opens,
// no others (platform/modality.h).
//
// A box opens above the window it speaks for, `owner`; without one, above the program's active
// window. (Window managers keep a box that belongs to no window below one that stays on top.)
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // A notice with one OK button and the application title as caption.
    virtual void information(const QString& text, QWidget* owner = nullptr) = 0;
    // Caption "Confirm", question icon, buttons Yes and No. True on Yes.
    virtual bool confirm(const QString& text) = 0;
    // The application's error report: error icon, one OK, the application title as caption.
    virtual void error(const QString& text, QWidget* owner = nullptr) = 0;
    // The short warning sound of a rejected key press.
    virtual void beep() = 0;
};

// Plays a WAV file asynchronously; a new sound replaces one still playing. A missing file
// plays the desktop's default event sound and is not reported.
class Sound {
public:
    virtual ~Sound() = default;
    virtual void play(const QString& wavPath) = 0;
};

// The shell's "open": a local file path or a URL ("https:", "mailto:"). The result is only a hint.
class Shell {
public:
    virtual ~Shell() = default;
    virtual bool open(const QString& target) = 0;
};

// Where the program lies and where the user's files go. Both end in '/'.
class Paths {
public:
    virtual ~Paths() = default;
    virtual QString exeDir() = 0;
    // Empty when no folder can be used safely; dataDirProblem() then tells the user why.
    virtual QString dataDir() = 0;
    virtual QString dataDirProblem() = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    // Local date and time: a message's arrival is kept with its day.
    virtual QDateTime localDateTime() = 0;
};

// What the window manager does for our borderless windows.
class WindowSystem {
public:
    virtual ~WindowSystem() = default;
    // Moves the window with the mouse until the button is released, as a title-bar drag.
    virtual void startMove(QWidget* window) = 0;
    // Brings a top-level window to the front and gives it the keyboard focus.
    virtual void activate(QWidget* window) = 0;
    // Keeps the window out of the taskbar (and pager). Call before each showing: window managers
    // forget it when a window is hidden.
    virtual void hideTaskbarButton(QWidget* window) = 0;
    // Whether the program places its windows itself and can read back where they are. Not on
    // Wayland, where the compositor alone places them and a window's position reads 0, 0.
    virtual bool placesWindows() = 0;
};

// The name service's reverse lookup. Blocking (a dead name server keeps it for seconds), so the
// program calls it, through hostNameOf(), on nameServiceThreads().
class NameService {
public:
    virtual ~NameService() = default;
    // The computer name of a dotted IPv4 address; empty when it has none or the lookup fails.
    virtual QString hostName(const QString& address) = 0;
};

Dialogs& dialogs();
Sound& sound();
Shell& shell();
Paths& paths();
Clock& clock();
WindowSystem& windowSystem();

// Replace a service (tests); nullptr puts the desktop's implementation back.
void setDialogs(Dialogs* service);
void setSound(Sound* service);
void setShell(Shell* service);
void setPaths(Paths* service);
void setClock(Clock* service);
void setWindowSystem(WindowSystem* service);
// Waits for the lookups on nameServiceThreads() first, so a test's fake is never called after
// it is gone.
void setNameService(NameService* service);
// The name service's answer; empty when it fails.
QString hostNameOf(const QString& address);
// The threads reverse lookups run on: a pool of the program's own, since the global one has a
// thread per core and the end of the process waits for it. Lookups of different addresses
// never wait for each other while fewer than NameLookupThreads hang.
QThreadPool& nameServiceThreads();
// Enough for every peer of a busy LAN to hang on a dead name server at once; a hanging lookup
// costs one sleeping thread and a socket until the resolver gives up.
inline constexpr int NameLookupThreads = 64;

// The application title, the caption of every box ("Pellavine 1.2").
void setApplicationTitle(const QString& title);
QString applicationTitle();

// The application's report of an error that ended a handler: an error box with the text,
// and a closing point when the text's last character sorts after '.'. Once reports go to
// standard error (the program is ending by a signal and nobody is there to answer a box), the
// text is written there instead, as "pellavine: text".
void reportException(const QString& message);
QString exceptionBoxText(const QString& message);
void setReportsToStandardError(bool on);

// The text of the exception being handled; call it inside a catch. The program makes every
// exception's what() from UTF-8; anything that is no std::exception is "Unknown exception".
QString currentExceptionText();

// Runs a handler; any exception escaping it is reported with reportException, so no error ever
// crosses Qt's event loop and the loop goes on. Returns false when one was reported.
bool runGuarded(const std::function<void()>& handler);

} // namespace platform
