#include "platform/desktop_notifications.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>

namespace platform {
namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
// The capabilities decide only how the text is escaped; a server that is slow to tell gets
// the escaped text.
constexpr int CapabilitiesMs = 1000;

QDBusMessage call(const QString& method) { return QDBusMessage::createMethodCall(Service, Path, Service, method); }

// Runs `done` on the GUI thread once the call has its answer, an error or a time-out; not
// after `owner` is gone, unless that is null.
template <typename Reply, typename Done>
void whenAnswered(QObject* owner, const QDBusMessage& message, int timeoutMs, Done done)
{
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message, timeoutMs), owner);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [done](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        done(Reply(*call));
    });
}

} // namespace

DesktopNotifications::DesktopNotifications(QObject* parent) : QObject(parent)
{
    // Any sender: naming the service would make Qt look up its owner, a call that blocks.
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(QString(), Path, Service, QStringLiteral("NotificationClosed"), this,
                SLOT(serverClosed(uint,uint)));
    bus.connect(QString(), Path, Service, QStringLiteral("ActionInvoked"), this,
                SLOT(serverActionInvoked(uint,QString)));
}

DesktopNotifications::~DesktopNotifications()
{
    for (const uint id : std::as_const(ids_))
        closeId(id);
}

DesktopNotifications::Handle DesktopNotifications::show(const QString& title, const QString& text,
                                                        unsigned iconKind, int ms)
{
    const Handle handle = ++last_;
    ids_.insert(handle, 0);
    // Nearly every server reads markup; only one that says otherwise gets the raw text.
    whenAnswered<QDBusPendingReply<QStringList>>(
        this, call(QStringLiteral("GetCapabilities")), CapabilitiesMs,
        [this, handle, title, text, iconKind, ms](const QDBusPendingReply<QStringList>& reply) {
            if (!ids_.contains(handle))
                return; // closed before it was sent
            const bool markup = reply.isError() || reply.value().contains(QStringLiteral("body-markup"));
            notify(handle, title, notificationBody(text, markup), iconKind, ms);
        });
    return handle;
}

void DesktopNotifications::notify(Handle handle, const QString& title, const QString& body, unsigned iconKind,
                                  int ms)
{
    static const char* const IconNames[] = {"", "dialog-information", "dialog-warning", "dialog-error"};
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(1));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("pellavine"));
    QDBusMessage message = call(QStringLiteral("Notify"));
    message << QCoreApplication::applicationName() << uint(0)
            << QString::fromLatin1(IconNames[iconKind <= 3 ? iconKind : 0]) << title << body
            << QStringList{QStringLiteral("default"), QCoreApplication::translate("DesktopNotifications", "OK")}
            << hints << ms;
    // Heard to the end even when this object is gone first, so that what it closed stays closed.
    QPointer<DesktopNotifications> self = this;
    whenAnswered<QDBusPendingReply<uint>>(nullptr, message, -1, [self, handle](const QDBusPendingReply<uint>& reply) {
        if (reply.isError()) {
            if (self)
                self->ids_.remove(handle);
        } else if (self && self->ids_.contains(handle)) {
            self->ids_[handle] = reply.value();
        } else {
            closeId(reply.value()); // closed while the server was naming it
        }
    });
}

void DesktopNotifications::close(Handle handle)
{
    const auto it = ids_.constFind(handle);
    if (it == ids_.cend())
        return;
    closeId(it.value());
    ids_.erase(it);
}

void DesktopNotifications::closeId(uint id)
{
    if (id == 0)
        return;
    QDBusMessage message = call(QStringLiteral("CloseNotification"));
    message << id;
    QDBusConnection::sessionBus().asyncCall(message);
}

void DesktopNotifications::serverClosed(uint id, uint reason)
{
    // 1: expired, 2: dismissed by the user, 3: closed by a call (ours come here too, when the
    // handle is already gone).
    finish(id, reason == 1 ? End::TimedOut : reason == 2 ? End::Dismissed : End::Closed);
}

void DesktopNotifications::serverActionInvoked(uint id, const QString&) { finish(id, End::Clicked); }

void DesktopNotifications::finish(uint id, End how)
{
    if (id == 0)
        return;
    for (auto it = ids_.begin(); it != ids_.end(); ++it) {
        if (it.value() == id) {
            const Handle handle = it.key();
            ids_.erase(it);
            Q_EMIT ended(handle, how);
            return;
        }
    }
}

QString notificationBody(const QString& text, bool serverReadsMarkup)
{
    if (!serverReadsMarkup)
        return text;
    // The three that make markup; servers differ in which other entities they know.
    QString body = text;
    body.replace(QLatin1Char('&'), QLatin1String("&amp;"));
    body.replace(QLatin1Char('<'), QLatin1String("&lt;"));
    body.replace(QLatin1Char('>'), QLatin1String("&gt;"));
    return body;
}

} // namespace platform
