#include "messaging/address_history.h"

#include "platform/atomic_file.h"
#include "platform/host_names.h"

#include <stdexcept>

namespace addresses {

QStringList parseLines(const QByteArray& bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    const QByteArray text = nul >= 0 ? bytes.left(nul) : bytes;
    QStringList lines;
    qsizetype at = 0;
    while (at < text.size()) {
        qsizetype end = at;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n')
            ++end;
        lines << platform::hostNameFromCp1251(text.mid(at, end - at));
        at = end;
        if (at < text.size() && text[at] == '\r')
            ++at;
        if (at < text.size() && text[at] == '\n')
            ++at;
    }
    return lines;
}

QByteArray formatLines(const QStringList& entries)
{
    QByteArray bytes;
    for (const QString& entry : entries)
        bytes += platform::hostNameToCp1251(entry) + QByteArrayLiteral("\r\n");
    return bytes;
}

QStringList load(const QString& path, bool* cut)
{
    QByteArray bytes;
    bool more = false;
    if (platform::readFile(path, &bytes, MaxFileBytes, &more) != platform::ReadResult::Read)
        throw std::runtime_error(QStringLiteral("Cannot open file %1").arg(path).toStdString());
    if (cut)
        *cut = more;
    return parseLines(more ? platform::wholeLines(bytes) : bytes);
}

void save(const QString& path, const QStringList& entries)
{
    if (!platform::replaceFile(path, formatLines(entries)))
        throw std::runtime_error(QStringLiteral("Cannot create file %1").arg(path).toStdString());
}

} // namespace addresses
