#pragma once
// Desktop notifications (the notification server on the session bus): the balloons of an icon
// shown in a D-Bus tray. Every call is asynchronous, so a slow or silent server holds up
// nothing; a notification closed before the server has named it is closed once it does.
#include <QHash>
#include <QObject>
#include <QString>

namespace platform {

class DesktopNotifications final : public QObject {
    Q_OBJECT
public:
    // Ours and known at once, where the server's own id comes later; never 0.
    using Handle = quint64;
    enum class End { TimedOut, Dismissed, Clicked, Closed };

    explicit DesktopNotifications(QObject* parent = nullptr);
    // Closes those still shown: the server would keep them after the program has ended.
    ~DesktopNotifications() override;

    // iconKind as a balloon's: 0 none, 1 information, 2 warning, 3 error.
    Handle show(const QString& title, const QString& text, unsigned iconKind, int ms);
    // Takes it away; no ended() follows.
    void close(Handle handle);

Q_SIGNALS:
    // It went away by itself, by the user's hand or by another program's.
    void ended(platform::DesktopNotifications::Handle handle, platform::DesktopNotifications::End how);

private Q_SLOTS:
    // The server's signals; Qt D-Bus finds a receiver by its signature.
    void serverClosed(uint id, uint reason);
    void serverActionInvoked(uint id, const QString& action);

private:
    void notify(Handle handle, const QString& title, const QString& body, unsigned iconKind, int ms);
    void finish(uint id, End how);
    static void closeId(uint id);

    // The notifications shown, with the server's id (0 until it answers).
    QHash<Handle, uint> ids_;
    Handle last_ = 0;
};

// The body of a notification: escaped for a server that reads markup in it, so that the text
// shows exactly as written.
QString notificationBody(const QString& text, bool serverReadsMarkup);

} // namespace platform
