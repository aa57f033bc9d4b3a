#pragma once
// Recording stand-ins for the desktop services. A FakePlatform installs all of them for its
// lifetime, so no test ever opens a real box, plays a sound or starts a browser.
#include "tests/support/fake_tray_host.h"
#include "platform/platform.h"

#include <QList>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <QHash>
#include <QSet>

namespace platform {

enum class BoxKind { Information, Confirmation, Error };

struct RecordedBox {
    BoxKind kind;
    QString title;
    QString text;
    // The windows the box blocked when it opened (the program's modality rule,
    // platform/modality.h, applies to fake boxes too, for as long as they are "open").
    QList<QPointer<QWidget>> blocked;
    QPointer<QWidget> owner; // the window the box speaks for, when named
};

class FakeDialogs final : public Dialogs {
public:
    QList<RecordedBox> boxes;
    // Answers of the confirmation boxes, taken in order; when none is left, defaultAnswer.
    QList<bool> answers;
    bool defaultAnswer = false;
    // Runs while a box is "open", before it is answered: a test may spin the event loop here
    // to see what arrives while a real box would be showing, and which windows are blocked.
    std::function<void(const RecordedBox&)> whileOpen;
    int beeps = 0;

    void information(const QString& text, QWidget* owner = nullptr) override;
    bool confirm(const QString& text) override;
    void error(const QString& text, QWidget* owner = nullptr) override;
    void beep() override { ++beeps; }

    QStringList texts(BoxKind kind) const;

private:
    void open(BoxKind kind, const QString& title, const QString& text, QWidget* owner = nullptr);
};

class FakeSound final : public Sound {
public:
    QStringList played;
    // Runs as each sound starts, so a test can see what is on screen with it.
    std::function<void(const QString& wavPath)> whilePlaying;
    void play(const QString& wavPath) override
    {
        played << wavPath;
        if (whilePlaying)
            whilePlaying(wavPath);
    }
};

class FakeShell final : public Shell {
public:
    QStringList opened;
    bool result = true;
    bool open(const QString& target) override
    {
        opened << target;
        return result;
    }
};

class FakePaths final : public Paths {
public:
    QString exe = QStringLiteral("/opt/pellavine/");
    QString data = QStringLiteral("/tmp/pellavine-test/");
    QString problem;
    QString exeDir() override { return exe; }
    QString dataDir() override { return data; }
    QString dataDirProblem() override { return problem; }
};

class FakeClock final : public Clock {
public:
    QDate date = QDate(2025, 3, 14);
    QTime time = QTime(12, 0, 0);
    QDateTime localDateTime() override { return QDateTime(date, time); }
};

class FakeWindowSystem final : public WindowSystem {
public:
    QList<QPointer<QWidget>> moves;
    QList<QPointer<QWidget>> activations;
    QList<QPointer<QWidget>> taskbarHidden;
    void startMove(QWidget* window) override { moves << window; }
    void activate(QWidget* window) override
    {
        activations << window;
        if (window)
            window->raise();
    }
    void hideTaskbarButton(QWidget* window) override { taskbarHidden << window; }
    bool placesWindows() override { return windowsPlaced; }
    bool windowsPlaced = true;
};

// Answers reverse lookups from a table, on whatever thread asks. An address can be held, so
// its lookup hangs like one sent to a dead name server until the test lets it go.
class FakeNameService final : public NameService {
public:
    ~FakeNameService() override { releaseAll(); }

    void setName(const QString& address, const QString& name);
    void hold(const QString& address);
    void release(const QString& address);
    void releaseAll();
    int calls(const QString& address) const;

    QString hostName(const QString& address) override;

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    QHash<QString, QString> names_;
    QHash<QString, int> calls_;
    QSet<QString> held_;
};

class FakePlatform {
public:
    FakePlatform();
    ~FakePlatform();
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;

    FakeDialogs dialogs;
    FakeSound sound;
    FakeShell shell;
    FakePaths paths;
    FakeClock clock;
    FakeWindowSystem windows;
    FakeTrayHost tray;
    FakeNameService names;
};

} // namespace platform
