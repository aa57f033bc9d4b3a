#pragma once
// The notification area ("system tray") as a service: it takes add / modify / delete requests for
// icons described by a TrayIconRecord and reports the mouse and balloon activity on them, and a
// restart of the tray itself, to one process-wide listener.
#include <QIcon>
#include <QPoint>
#include <QString>

#include <functional>
#include <optional>

class QMenu;

namespace platform {

// What one icon looks like in the notification area. The text fields hold at most their limits;
// use TrayIconRecord::clip() when filling them.
struct TrayIconRecord {
    static constexpr int TipLimit = 127;
    static constexpr int InfoLimit = 255;
    static constexpr int InfoTitleLimit = 63;

    // Flags: which fields a request carries.
    static constexpr quint32 MessageFlag = 0x1;
    static constexpr quint32 IconFlag = 0x2;
    static constexpr quint32 TipFlag = 0x4;
    static constexpr quint32 InfoFlag = 0x10;
    static constexpr quint32 NormalFlags = MessageFlag | IconFlag | TipFlag;

    static constexpr quint32 CallbackMessage = 0x800;

    quintptr id = 0; // the icon's owner; notifications carry it back
    quint32 flags = NormalFlags;
    quint32 callbackMessage = CallbackMessage;
    QIcon icon; // null: no icon
    QString tip;
    QString infoText; // balloon text; empty clears the balloon
    quint32 timeoutOrVersion = 0; // balloon timeout in ms, or the version of a version request
    QString infoTitle;
    quint32 infoFlags = 0; // balloon icon: 0 none, 1 information, 2 warning, 3 error

    // The first `limit` characters of text.
    static QString clip(const QString& text, int limit) { return text.left(limit); }
};

enum class TrayRequest { Add, Modify, Delete, SetVersion };

// Notifications, in the order the tray reports them for one gesture: a left click is LeftDown,
// LeftUp; a double click LeftDown, LeftUp, LeftDoubleClick, LeftUp.
enum class TrayNotice {
    MouseMove,
    LeftDown,
    LeftUp,
    LeftDoubleClick,
    RightDown,
    RightUp,
    MiddleDown,
    MiddleUp,
    BalloonShow,
    BalloonHide,
    BalloonTimeout,
    BalloonClick,
    // The tray itself came back (or went away): every icon is gone and must be added again.
    // Sent with id 0.
    Restarted,
};

class TrayHost {
public:
    using Listener = std::function<void(quintptr id, TrayNotice notice)>;

    virtual ~TrayHost() = default;

    // True when the tray accepted the request. Modify, Delete and SetVersion of an icon that is
    // not there fail, and so does Add of one that is.
    virtual bool request(TrayRequest kind, const TrayIconRecord& record) = 0;

    // The menu the tray may open by itself for this icon (where the desktop shows the menu of an
    // icon on its own); null for none.
    virtual void setMenu(quintptr id, QMenu* menu) = 0;
    // Shows a menu at a screen position; returns when it has closed. Does nothing when the
    // menu is already open (the tray opened it itself).
    virtual void popupMenu(QMenu* menu, const QPoint& screenPos) = 0;

    // The mouse pointer in screen coordinates; nothing when it cannot be read.
    virtual std::optional<QPoint> cursorPos() = 0;
    virtual Qt::KeyboardModifiers keyboardModifiers() = 0;
    virtual int doubleClickInterval() = 0;

    // The one receiver of every host's notifications.
    static void setListener(Listener listener);

protected:
    static void notify(quintptr id, TrayNotice notice);
};

TrayHost& trayHost();
// Removes the desktop's tray icons and stand-ins at the end of the run, while the application
// object still exists.
void releaseTrayHost();
// Replace the service (tests); nullptr puts the desktop's implementation back.
void setTrayHost(TrayHost* host);

// The tool tip Qt is to show for a tip: the text exactly as written (never read as rich text),
// CR LF or LF breaking lines. Empty for an empty tip.
QString trayToolTip(const QString& tip);

} // namespace platform
