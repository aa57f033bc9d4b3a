#include "platform/instance_lock.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr int kMaxFileNameBytes = 255;

// The fallback folder is shared /tmp: it must be ours, a real folder and closed to others.
bool privateFolder(const QByteArray& path)
{
    if (mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info {};
    if (lstat(path.constData(), &info) != 0)
        return false;
    if (!S_ISDIR(info.st_mode) || info.st_uid != getuid())
        return false;
    // Ours, but maybe made open by another part of the program: close it.
    return (info.st_mode & 0077) == 0 || chmod(path.constData(), 0700) == 0;
}

} // namespace

InstanceLock::~InstanceLock() { release(); }

QString InstanceLock::lockDirectory()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.startsWith(QLatin1Char('/')))
        return runtime.endsWith(QLatin1Char('/')) ? runtime : runtime + QLatin1Char('/');
    const QString fallback = QStringLiteral("/tmp/pellavine-%1").arg(getuid());
    if (!privateFolder(QFile::encodeName(fallback)))
        return QString();
    return fallback + QLatin1Char('/');
}

QString InstanceLock::lockFileName(const QString& name)
{
    QString base = name;
    base.replace(QLatin1Char('/'), QLatin1Char('_'));
    base.replace(QChar(0), QLatin1Char('_'));
    const QString suffix = QStringLiteral(".lock");
    while (!base.isEmpty() && QFile::encodeName(base + suffix).size() > kMaxFileNameBytes)
        base.chop(1);
    return base + suffix;
}

bool InstanceLock::acquire(const QString& name)
{
    release();
    const QString folder = lockDirectory();
    if (folder.isEmpty())
        return false;
    const QByteArray path = QFile::encodeName(folder + lockFileName(name));
    // Close-on-exec: a program started by this one (a browser, a mail program) must not keep the
    // lock alive after this process has ended.
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
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
