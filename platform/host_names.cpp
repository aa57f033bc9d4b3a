#include "platform/host_names.h"

#include "platform/cp1251.h"

#include <QStringList>
#include <QUrl>

namespace platform {
namespace {

QString unicodeLabels(const QString& name)
{
    if (!name.contains(QLatin1String("xn--"), Qt::CaseInsensitive))
        return name;
    QStringList labels = name.split(QLatin1Char('.'));
    for (QString& label : labels) {
        // Without the whitelist Qt decodes only under top-level domains it trusts; a LAN has none.
        const QString unicode = label.startsWith(QLatin1String("xn--"), Qt::CaseInsensitive)
                                    ? QUrl::fromAce(label.toLatin1(), QUrl::IgnoreIDNWhitelist)
                                    : QString();
        if (!unicode.isEmpty())
            label = unicode;
    }
    return labels.join(QLatin1Char('.'));
}

} // namespace

QString hostNameFromResolver(const QByteArray& bytes)
{
    return unicodeLabels(QString::fromUtf8(bytes));
}

QByteArray hostNameToCp1251(const QString& name)
{
    const QByteArray bytes = toCp1251(name);
    if (fromCp1251(bytes) == name)
        return bytes;
    const QByteArray ace = QUrl::toAce(name);
    return ace.isEmpty() ? bytes : ace;
}

QString hostNameFromCp1251(const QByteArray& bytes)
{
    const QString text = fromCp1251(bytes);
    const QString unicode = unicodeLabels(text);
    return unicode != text && hostNameToCp1251(unicode) == bytes ? unicode : text;
}

} // namespace platform
