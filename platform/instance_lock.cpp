#include "platform/instance_lock.h"

#include "platform/platform.h"

#include <QCoreApplication>
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

QString whyNot(int error)
{
    switch (error) {
    case ELOOP:
        return QCoreApplication::translate("InstanceLock", "на его месте символическая ссылка");
    case EISDIR:
        return QCoreApplication::translate("InstanceLock", "на его месте папка");
    default:
        return qt_error_string(error);
    }
}

QString cannotMake(const QString& path, const QString& why)
{
    return QCoreApplication::translate("InstanceLock", "не удалось создать файл блокировки %1 (%2). Удалите то, "
                                                       "что находится на месте этого файла, или проверьте права "
                                                       "на его папку.")
        .arg(path, why);
}

} // namespace

InstanceLock::~InstanceLock() { release(); }

QString InstanceLock::lockDirectory()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.startsWith(QLatin1Char('/')) && QFileInfo(runtime).isDir())
        return runtime.endsWith(QLatin1Char('/')) ? runtime : runtime + QLatin1Char('/');
    // Not a shared folder such as /tmp, where another user could take the name first.
    return paths().dataDir();
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
    const QString folder = lockDirectory();
    if (folder.isEmpty()) {
        failure_ = QCoreApplication::translate("InstanceLock",
                                               "файлу блокировки негде лежать: переменная XDG_RUNTIME_DIR не задана, "
                                               "а папка для файлов программы недоступна. Задайте переменную "
                                               "окружения XDG_RUNTIME_DIR или HOME.");
        return false;
    }
    const QString path = folder + lockFileName(name);
    // Close-on-exec: a program started by this one (a browser, a mail program) must not keep the
    // lock alive after this process has ended. Non-blocking: a FIFO in its place must not hang us.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK,
                          0600);
    if (fd < 0) {
        failure_ = cannotMake(path, whyNot(errno));
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        failure_ = cannotMake(path, QCoreApplication::translate("InstanceLock", "на его месте не обычный файл"));
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        // Only a lock another process really holds means another copy.
        if (error != EWOULDBLOCK)
            failure_ = cannotMake(path, whyNot(error));
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
