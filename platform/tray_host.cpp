#include "platform/tray_host.h"

#include "platform/qt_tray_host.h"

#include <QStringList>

namespace platform {
namespace {

TrayHost* g_replacement = nullptr;
TrayHost::Listener g_listener;

} // namespace

void TrayHost::setListener(Listener listener) { g_listener = std::move(listener); }

void TrayHost::notify(quintptr id, TrayNotice notice)
{
    if (g_listener)
        g_listener(id, notice);
}

void releaseTrayHost() { QtTrayHost::release(); }

TrayHost& trayHost() { return g_replacement ? *g_replacement : QtTrayHost::instance(); }

void setTrayHost(TrayHost* host) { g_replacement = host; }

QString trayToolTip(const QString& tip)
{
    if (tip.isEmpty())
        return QString();
    QString text = tip;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines)
        line = line.toHtmlEscaped();
    // Qt takes a tool tip that looks like markup for rich text; wrapping the escaped text in a
    // paragraph of its own makes every tip rich text that shows its characters literally.
    return QLatin1String("<p style='white-space:pre'>") + lines.join(QLatin1String("<br/>"))
        + QLatin1String("</p>");
}

} // namespace platform
