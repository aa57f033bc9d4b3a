#include "platform/instance_lock.h"

#include "platform/desktop_services.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr int MaxFileNameBytes = 255;

// What stands where the lock file should be; empty when nothing is in the way.
QString inTheWay(int error)
{
    switch (error) {
    case ELOOP: return QCoreApplication::translate("InstanceLock", "символическая ссылка");
    case EISDIR: return QCoreApplication::translate("InstanceLock", "папка");
    default: return QString();
    }
}

QString somethingInTheWay(const QString& path, const QString& what)
{
    return QCoreApplication::translate("InstanceLock",
                                       "не удалось создать файл блокировки %1: на его месте %2. Удалите то, что находится на "
                                       "месте этого файла.")
        .arg(path, what);
}

QString cannotMake(const QString& path, int error)
{
    if (const QString what = inTheWay(error); !what.isEmpty())
        return somethingInTheWay(path, what);
    return QCoreApplication::translate("InstanceLock",
                                       "не удалось создать файл блокировки %1 (%2). Проверьте, что в его папку можно писать.")
        .arg(path, qt_error_string(error));
}

} // namespace

InstanceLock::~InstanceLock() { release(); }

QString InstanceLock::lockDirectory(QString* problem)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.startsWith(QLatin1Char('/')) && QFileInfo(runtime).isDir())
        return runtime.endsWith(QLatin1Char('/')) ? runtime : runtime + QLatin1Char('/');
    // Not the data folder: a home shared between computers (NFS) would share the lock, and the
    // copy on one computer keep the other from starting. Nor the shared /tmp itself, where
    // another user could take the name first.
    const QString folder = desktop::localFolder(QDir::tempPath());
    if (const QString why = desktop::privateFolderProblem(folder); !why.isEmpty()) {
        if (problem)
            *problem = QCoreApplication::translate("InstanceLock",
                                                   "переменная XDG_RUNTIME_DIR не задана, а папка %1 не подходит для файла "
                                                   "блокировки: %2. Задайте переменную окружения XDG_RUNTIME_DIR.")
                           .arg(folder, why);
        return QString();
    }
    return folder + QLatin1Char('/');
}

QString InstanceLock::lockFileName(const QString& name)
{
    QString base = name;
    base.replace(QLatin1Char('/'), QLatin1Char('_'));
    base.replace(QChar(0), QLatin1Char('_'));
    const QString suffix = QStringLiteral(".lock");
    while (!base.isEmpty() && QFile::encodeName(base + suffix).size() > MaxFileNameBytes)
        base.chop(1);
    return base + suffix;
}

bool InstanceLock::acquire(const QString& name)
{
    release();
    failure_.clear();
    const QString folder = lockDirectory(&failure_);
    if (folder.isEmpty())
        return false;
    const QString path = folder + lockFileName(name);
    // Close-on-exec: a program started by this one (a browser, a mail program) must not keep the
    // lock alive after this process has ended. Non-blocking: a FIFO in its place must not hang us.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK,
                          0600);
    if (fd < 0) {
        failure_ = cannotMake(path, errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        failure_ = somethingInTheWay(path, QCoreApplication::translate("InstanceLock", "не обычный файл"));
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        // Only a lock another process really holds means another copy.
        if (error != EWOULDBLOCK)
            failure_ = QCoreApplication::translate("InstanceLock", "файл блокировки %1 не удалось заблокировать (%2).")
                           .arg(path, qt_error_string(error));
        return false;
    }
    fd_ = fd;
    return true;
}

void InstanceLock::release()
{
    if (fd_ < 0)
        return;
    // The file stays: removing it would let a third copy lock a new file while a second still
    // waits on the old one.
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
}

} // namespace platform
