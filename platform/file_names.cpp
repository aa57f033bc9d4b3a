#include "platform/file_names.h"

#include <QDir>
#include <QFileInfo>

namespace platform {

QString findFileIgnoringCase(const QString& path)
{
    const QFileInfo info(path);
    if (info.exists())
        return path;
    const QDir dir = info.absoluteDir();
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& entry : entries) {
        if (entry.compare(info.fileName(), Qt::CaseInsensitive) == 0)
            return dir.filePath(entry);
    }
    return path;
}

} // namespace platform
