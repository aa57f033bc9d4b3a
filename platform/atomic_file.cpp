#include "platform/atomic_file.h"

#include <QSaveFile>

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

} // namespace platform
