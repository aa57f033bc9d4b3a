#pragma once
// The desktop's notification area through QSystemTrayIcon. Where the desktop has none, each
// icon is kept on screen as a small stand-in window that takes its part (clicks, menu, tool tip,
// blinking, balloons), and the user is told once why.
#include "platform/desktop_notifications.h"
#include "platform/tray_host.h"

#include <QElapsedTimer>
#include <QFrame>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QWidget>

#include <map>
#include <memory>

class QLabel;
class QTimer;

namespace platform {

// Turns what QSystemTrayIcon reports (one activation per gesture, on the press) into the
// button notifications of that gesture. A double click reads LeftDown, LeftUp, LeftDoubleClick,
// LeftUp in all, though Qt reports its second press as a click of its own just before it.
class TrayActivationTranslator {
public:
    using Sink = std::function<void(TrayNotice)>;

    TrayActivationTranslator(Sink sink, std::function<int()> doubleClickInterval);
    ~TrayActivationTranslator();

    void activated(QSystemTrayIcon::ActivationReason reason);
    // Reports a click held back; runs on the event loop right after the press was handled.
    void flush();

private:
    void click();

    Sink sink_;
    std::function<int()> doubleClickInterval_;
    bool pendingClick_ = false;
    QElapsedTimer lastClick_;
    std::unique_ptr<QObject> context_; // owns the zero timers of flush()
};

// The icon's stand-in on a desktop without a notification area: a small frameless window that
// stays on top in a screen corner and can be dragged anywhere.
class TrayStandIn final : public QWidget {
public:
    static constexpr int Side = 32;

    explicit TrayStandIn(std::function<void(TrayNotice)> sink);

    void setIcon(const QIcon& icon);
    const QIcon& icon() const { return icon_; }
    void setTip(const QString& tip);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    // The stand-in is the program's only handle on such a desktop: it cannot be closed.
    void closeEvent(QCloseEvent* event) override;

private:
    std::function<void(TrayNotice)> sink_;
    QIcon icon_;
    QPoint pressPos_;
    // A left press is reported with its release, so that a drag reports nothing at all.
    bool leftHeld_ = false;
    bool afterDoubleClick_ = false;
};

// A balloon-like notice beside a stand-in: title, text and icon, all plain text. Hides itself
// when clicked.
class TrayBubble final : public QFrame {
public:
    TrayBubble();

    void setContent(const QString& title, const QString& text, unsigned iconKind);
    QString title() const;
    QString text() const;
    // Shows the bubble just above `anchor` (a screen rectangle), inside its screen.
    void showAbove(const QRect& anchor);

    std::function<void()> onClicked;

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    QLabel* icon_;
    QLabel* title_;
    QLabel* text_;
};

class QtTrayHost final : public QObject, public TrayHost {
public:
    QtTrayHost();
    ~QtTrayHost() override;

    // The process's host, made on first use and destroyed with the application object.
    static QtTrayHost& instance();
    // Takes the icons and stand-ins away; they are widgets and must go before the application.
    static void release();

    bool request(TrayRequest kind, const TrayIconRecord& record) override;
    void setMenu(quintptr id, QMenu* menu) override;
    void popupMenu(QMenu* menu, const QPoint& screenPos) override;
    std::optional<QPoint> cursorPos() override;
    Qt::KeyboardModifiers keyboardModifiers() override;
    int doubleClickInterval() override;

    bool eventFilter(QObject* watched, QEvent* event) override;

    // Whether the desktop has a notification area; replaceable for tests.
    void setAvailabilityProbe(std::function<bool()> probe);
    // How often the availability is checked while icons are shown, where the desktop cannot tell
    // when its notification area comes or goes (neither X11 nor a session bus).
    void setPollInterval(int ms);

    // The icon in the notification area, null when it has a stand-in or is not shown.
    QSystemTrayIcon* trayIcon(quintptr id) const;
    // The stand-in of an icon, null when the icon is in the notification area or not shown.
    TrayStandIn* standIn(quintptr id) const;
    // The balloon of a stand-in icon, null when none is showing.
    TrayBubble* standInBalloon(quintptr id) const;
    // The notice that tells why a stand-in is shown; null before the first one was needed.
    TrayBubble* explanation() const { return explanation_; }

    // The text of that notice.
    static QString explanationText();

private:
    struct Icon;

    bool add(const TrayIconRecord& record);
    void apply(Icon& icon, const TrayIconRecord& record, bool fresh);
    void showBalloon(Icon& icon, const TrayIconRecord& record);
    void endBalloon(Icon& icon, TrayNotice why);
    void removeAll();
    void checkAvailability();
    void checkAvailabilitySoon();
    void watchAvailability();
    void explain(TrayStandIn* standIn);
    void watchStatusNotifierWatcher();
    void askStatusNotifierHost();
    void showTip(Icon& icon);
    void notifyBalloon(Icon& icon, int ms);
    void notificationEnded(DesktopNotifications::Handle handle, DesktopNotifications::End how);
    void menuAsWindow(QMenu* menu);

    std::map<quintptr, std::unique_ptr<Icon>> icons_;
    QHash<quintptr, QPointer<QMenu>> menus_;
    std::function<bool()> probe_;
    QTimer* poll_;
    bool available_ = false;
    enum class Watch { None, Events, Poll } watch_ = Watch::None;
    bool checkPending_ = false;
    bool busWatched_ = false; // the session bus tells when a StatusNotifierWatcher comes or goes
    // Whether the icons are StatusNotifierItems (a host shows them over D-Bus): that decides
    // how a tool tip is written and where balloons go. Unknown until the watcher answers.
    enum class Sni { Unknown, No, Yes } sni_ = Sni::Unknown;
    bool sniAsked_ = false; // a question is on its way
    QPointer<TrayBubble> explanation_;
    DesktopNotifications* notifications_ = nullptr;
};

} // namespace platform
