#include "platform/desktop_services.h"
#include "platform/host_names.h"
#include "platform/modality.h"
#include "platform/x11_window_state.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QUrl>
#include <QWidget>
#include <QWindow>

#include <arpa/inet.h>
#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::desktop {
namespace {

// Remote text reaches these boxes (a sender's name in a question), so never as rich text.
// Not QDialog::exec(): that is modal to the whole application in Qt, which would block the
// windows shown while the box is open and the tray icon too. The box follows the program's
// own rule instead and runs its own nested loop.
QMessageBox::StandardButton runBox(QMessageBox::Icon icon, const QString& title, const QString& text,
                                   QMessageBox::StandardButtons buttons, QWidget* owner = nullptr)
{
    QMessageBox box(icon, title, text, buttons);
    box.setTextFormat(Qt::PlainText);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    // A message box makes itself modal in Qt's sense unless told otherwise.
    box.setWindowModality(Qt::NonModal);
    // The program shows no taskbar button, not even for its boxes.
    x11::skipTaskbar(&box);
    // Transient for its window, so that the window manager stacks it above that one (the send
    // window stays on top) and centres it there. Not a child widget: it would take on the
    // window's skin. Without a window Qt would make it transient for a hidden one of its own.
    if (!owner || !owner->isVisible())
        owner = QApplication::activeWindow();
    if (owner && owner->isVisible()) {
        box.winId();
        box.windowHandle()->setTransientParent(owner->window()->windowHandle());
    }
    QEventLoop loop;
    QObject::connect(&box, &QDialog::finished, &loop, &QEventLoop::quit);
    const ModalScope scope(&box);
    box.show();
    windowSystem().activate(&box);
    // Returns at once when the program is ending: the box then counts as answered "No".
    loop.exec();
    return box.standardButton(box.clickedButton());
}

class QtDialogs final : public Dialogs {
public:
    void information(const QString& text, QWidget* owner) override
    {
        runBox(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok, owner);
    }
    bool confirm(const QString& text) override
    {
        // Qt's own caption, like the Yes and No beside it: English in Russian too, translated
        // where Qt's buttons are.
        return runBox(QMessageBox::Question, QCoreApplication::translate("Dialogs", "Confirm"), text,
                      QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    }
    void error(const QString& text, QWidget* owner) override
    {
        runBox(QMessageBox::Critical, applicationTitle(), text, QMessageBox::Ok, owner);
    }
    void beep() override { QApplication::beep(); }
};

class DesktopShell final : public Shell {
public:
    bool open(const QString& target) override
    {
        const QUrl url = target.startsWith(QLatin1Char('/')) ? QUrl::fromLocalFile(target)
                                                             : QUrl(target);
        return QDesktopServices::openUrl(url);
    }
};

class XdgPaths final : public Paths {
public:
    QString exeDir() override
    {
        if (exeDir_.isEmpty())
            exeDir_ = QDir(QCoreApplication::applicationDirPath()).absolutePath() + QLatin1Char('/');
        return exeDir_;
    }
    QString dataDir() override
    {
        if (!dataDirChecked_) {
            dataDirChecked_ = true;
            const struct passwd* pw = getpwuid(getuid());
            dataDir_ = usableDataDir(qEnvironmentVariable("XDG_CONFIG_HOME"), qEnvironmentVariable("HOME"),
                                      pw ? QString::fromLocal8Bit(pw->pw_dir) : QString(), QDir::tempPath(),
                                      &problem_);
        }
        return dataDir_;
    }
    QString dataDirProblem() override
    {
        dataDir();
        return problem_;
    }

private:
    QString exeDir_;
    bool dataDirChecked_ = false;
    QString dataDir_;
    QString problem_;
};

class SystemNameService final : public NameService {
public:
    QString hostName(const QString& address) override
    {
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        if (inet_pton(AF_INET, address.toLatin1().constData(), &peer.sin_addr) != 1)
            return QString();
        char name[NI_MAXHOST] = {};
        if (getnameinfo(reinterpret_cast<const sockaddr*>(&peer), sizeof peer, name, sizeof name, nullptr, 0,
                        NI_NAMEREQD) != 0)
            return QString();
        return hostNameFromResolver(QByteArray(name));
    }
};

class SystemClock final : public Clock {
public:
    QDateTime localDateTime() override { return QDateTime::currentDateTime(); }
};

// Follows the mouse until the button goes up; used when the window manager will not move
// the window itself (no window manager, or one that refuses the request).
class MouseMover final : public QObject {
public:
    MouseMover(QWidget* window)
        : window_(window)
        , offset_(QCursor::pos() - window->frameGeometry().topLeft())
    {
        window->grabMouse();
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseMove:
            window_->move(QCursor::pos() - offset_);
            return true;
        case QEvent::MouseButtonRelease:
            window_->releaseMouse();
            window_->removeEventFilter(this);
            deleteLater();
            return true;
        default:
            return false;
        }
    }

private:
    QWidget* window_;
    QPoint offset_;
};

class QtWindowSystem final : public WindowSystem {
public:
    void startMove(QWidget* window) override
    {
        if (!window)
            return;
        window = window->window();
        QWindow* handle = window->windowHandle();
        if (handle && handle->startSystemMove())
            return;
        new MouseMover(window);
    }
    void activate(QWidget* window) override
    {
        // A window a modal blocks cannot take the focus: the modal comes forward instead.
        window = activationTarget(window);
        if (!window)
            return;
        window->raise();
        window->activateWindow();
    }
    void hideTaskbarButton(QWidget* window) override { x11::skipTaskbar(window); }
    bool placesWindows() override
    {
        return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    }
};

} // namespace

QString dataDirFor(const QString& xdgConfigHome, const QString& home, const QString& passwdHome,
                   const QString& fallbackBase, bool* inFallback)
{
    // Relative values are to be ignored (XDG base directory rules); "/" is no home either.
    auto usable = [](const QString& dir) {
        return !dir.isEmpty() && QDir::isAbsolutePath(dir) && QDir::cleanPath(dir) != QLatin1String("/");
    };
    QString base;
    bool fallback = false;
    if (usable(xdgConfigHome)) {
        base = QDir::cleanPath(xdgConfigHome);
    } else if (usable(home)) {
        base = QDir::cleanPath(home) + QLatin1String("/.config");
    } else if (usable(passwdHome)) {
        base = QDir::cleanPath(passwdHome) + QLatin1String("/.config");
    } else {
        base = localFolder(fallbackBase);
        fallback = true;
    }
    if (inFallback)
        *inFallback = fallback;
    return base + QLatin1String("/Pellavine/");
}

QString localFolder(const QString& base)
{
    return QDir::cleanPath(base) + QStringLiteral("/pellavine-%1").arg(getuid());
}

QString privateFolderProblem(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        return QCoreApplication::translate("DataFolder", "её не удалось создать (%1)").arg(qt_error_string(errno));
    struct stat info {};
    if (::lstat(name.constData(), &info) != 0)
        return QCoreApplication::translate("DataFolder", "её не удалось проверить (%1)").arg(qt_error_string(errno));
    if (S_ISLNK(info.st_mode))
        return QCoreApplication::translate("DataFolder", "на её месте символическая ссылка");
    if (!S_ISDIR(info.st_mode))
        return QCoreApplication::translate("DataFolder", "на её месте не папка");
    if (info.st_uid != geteuid())
        return QCoreApplication::translate("DataFolder", "её владелец — другой пользователь");
    if ((info.st_mode & 0077) != 0)
        return QCoreApplication::translate("DataFolder", "она открыта другим пользователям");
    return QString();
}

QString usableDataDir(const QString& xdgConfigHome, const QString& home, const QString& passwdHome,
                      const QString& fallbackBase, QString* problem)
{
    problem->clear();
    bool inFallback = false;
    const QString dir = dataDirFor(xdgConfigHome, home, passwdHome, fallbackBase, &inFallback);
    if (!inFallback) {
        // The user's own folders, as the user has set them up.
        QDir().mkpath(dir);
        return dir;
    }
    // Another local user may have made these first, to read or plant the user's files.
    const QString outer = QFileInfo(QDir::cleanPath(dir)).path();
    for (const QString& folder : {outer, QDir::cleanPath(dir)}) {
        const QString why = privateFolderProblem(folder);
        if (!why.isEmpty()) {
            *problem = QCoreApplication::translate(
                           "DataFolder",
                           "Папка %1 не подходит для файлов Pellavine: %2. Настройки, черный список и история "
                           "адресов в этот раз не будут ни прочитаны, ни сохранены. Задайте переменную окружения "
                           "HOME или XDG_CONFIG_HOME и перезапустите Pellavine.")
                           .arg(folder, why);
            return QString();
        }
    }
    return dir;
}

Dialogs& dialogs() { static QtDialogs s; return s; }
Shell& shell() { static DesktopShell s; return s; }
Paths& paths() { static XdgPaths s; return s; }
Clock& clock() { static SystemClock s; return s; }
WindowSystem& windowSystem() { static QtWindowSystem s; return s; }
// Called from resolver threads, also while the process ends: never destroyed.
NameService& nameService() { static NameService* s = new SystemNameService; return *s; }

} // namespace platform::desktop
