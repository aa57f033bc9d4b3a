#include "platform/atomic_file.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool replaceFile(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // commit() does not notice a failed flush of the write buffer (a full disk, a size limit),
    // and would put a cut-off file in place: flush first and check.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

ReadResult readFile(const QString& path, QByteArray* bytes)
{
    return readFile(path, bytes, -1, nullptr);
}

QByteArray wholeLines(const QByteArray& bytes)
{
    const qsizetype end = qMax(bytes.lastIndexOf('\n'), bytes.lastIndexOf('\r'));
    return bytes.left(end + 1);
}

ReadResult readFile(const QString& path, QByteArray* bytes, qint64 maxBytes, bool* cut)
{
    if (cut)
        *cut = false;
    bytes->clear();
    if (path.isEmpty())
        return ReadResult::Missing;
    const QByteArray name = QFile::encodeName(path);
    // Non-blocking: opening a FIFO for reading would otherwise wait for a writer for ever.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    struct stat info {};
    QFile file;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)
        || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return ReadResult::Failed;
    }
    if (maxBytes >= 0) {
        *bytes = file.read(maxBytes);
        char more = 0;
        if (cut)
            *cut = file.error() == QFileDevice::NoError && file.read(&more, 1) == 1;
    } else {
        *bytes = file.readAll();
    }
    if (file.error() != QFileDevice::NoError) {
        bytes->clear();
        return ReadResult::Failed;
    }
    return ReadResult::Read;
}

} // namespace platform
