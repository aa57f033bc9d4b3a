#pragma once
// Which of Qt's window-system platforms the program runs on, chosen before the application
// object exists.
//
// Wherever the session has an X server (an X11 session, or XWayland inside a Wayland session)
// the program runs on X11: there it can place its windows (the send window's saved position,
// centring), keep the send window on top, re-focus the viewer and keep its windows out of the
// taskbar, none of which a Wayland client may do. The tray is the same on both, since a
// StatusNotifierItem tray is reached over D-Bus. Only a Wayland session without XWayland gets
// native Wayland. The user's QT_QPA_PLATFORM or -platform always wins.
#include <QByteArray>
#include <QString>

#include <vector>

namespace platform {

struct SessionFacts {
    QString qpaPlatform;    // QT_QPA_PLATFORM
    QString x11Display;     // DISPLAY
    QString waylandDisplay; // WAYLAND_DISPLAY
    bool platformArgument = false; // "-platform" on the command line
};

SessionFacts sessionFactsFromEnvironment(int argc, char** argv);

// The platform to ask Qt for; empty leaves the choice to the user's setting or to Qt.
QString preferredPlatform(const SessionFacts& facts);

// The command line for QApplication: the program's own, with "-platform <name>" added when
// preferredPlatform() names one. Passed on the command line rather than through the
// environment, so that programs started from ours (a browser for the help) keep their own.
class ApplicationArguments {
public:
    ApplicationArguments(int argc, char** argv);
    ApplicationArguments(const ApplicationArguments&) = delete;
    ApplicationArguments& operator=(const ApplicationArguments&) = delete;

    // QApplication keeps references to both for its whole life.
    int& argc() { return argc_; }
    char** argv() { return pointers_.data(); }

private:
    std::vector<QByteArray> strings_;
    std::vector<char*> pointers_;
    int argc_ = 0;
};

} // namespace platform
