#pragma once
// One icon in the notification area: its picture, tool tip and balloon, the mouse activity on it
// as events, animation through an image list, and hiding the main window so that only the icon
// remains. All icons of the process hear the tray through one shared receiver (TTrayIconHandler).
#include "controls/image_list.h"
#include "controls/simple_timer.h"
#include "platform/tray_host.h"

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class TCoolTrayIcon : public QObject {
public:
    enum TShiftFlag { ssShift = 0x1, ssAlt = 0x2, ssCtrl = 0x4, ssLeft = 0x8, ssRight = 0x10, ssMiddle = 0x20 };
    Q_DECLARE_FLAGS(TShiftState, TShiftFlag)

    enum TBalloonHintIcon : quint8 { bitNone = 0, bitInfo = 1, bitWarning = 2, bitError = 3 };

    using TNotifyEvent = std::function<void(QObject* Sender)>;
    using TMouseEvent = std::function<void(QObject* Sender, Qt::MouseButton Button, TShiftState Shift, int X, int Y)>;
    using TMouseMoveEvent = std::function<void(QObject* Sender, TShiftState Shift, int X, int Y)>;
    using TCycleEvent = std::function<void(QObject* Sender, int NextIndex)>;
    using TStartupEvent = std::function<void(QObject* Sender, bool& ShowMainForm)>;

    static constexpr quint32 PointerWatchPeriod = 20;

    // owner: the window the icon belongs to (the main window); may be null.
    explicit TCoolTrayIcon(QWidget* owner);
    ~TCoolTrayIcon() override;
    TCoolTrayIcon(const TCoolTrayIcon&) = delete;
    TCoolTrayIcon& operator=(const TCoolTrayIcon&) = delete;

    // The load step, once the owner has set the properties: asks OnStartup, then applies the
    // picture, IconVisible, CycleIcons and WantEnterExitEvents as set.
    void Loaded();

    QWidget* Owner() const { return owner_; }

    bool IconVisible() const { return iconVisible_; }
    void setIconVisible(bool on);
    const QIcon& Icon() const { return icon_; }
    void setIcon(const QIcon& icon);
    TImageList* IconList() const { return iconList_; }
    void setIconList(TImageList* list);
    int IconIndex() const { return iconIndex_; }
    void setIconIndex(int index);
    bool CycleIcons() const { return cycleIcons_; }
    void setCycleIcons(bool on);
    quint32 CycleInterval() const { return cycleInterval_; }
    void setCycleInterval(quint32 ms);
    const QString& Hint() const { return hint_; }
    void setHint(const QString& text);
    bool ShowHint() const { return showHint_; }
    void setShowHint(bool on);
    bool Enabled() const { return enabled_; }
    void setEnabled(bool on);
    QMenu* PopupMenu() const { return popupMenu_; }
    void setPopupMenu(QMenu* menu);
    bool LeftPopup() const { return leftPopup_; }
    void setLeftPopup(bool on) { leftPopup_ = on; }
    bool MinimizeToTray() const { return minimizeToTray_; }
    void setMinimizeToTray(bool on) { minimizeToTray_ = on; }
    bool WantEnterExitEvents() const { return wantEnterExitEvents_; }
    void setWantEnterExitEvents(bool on);
    // Form-designer preview only: no effect in the running program.
    bool DesignPreview() const { return designPreview_; }
    void setDesignPreview(bool on) { designPreview_ = on; }

    // Each returns whether the tray accepted the request.
    bool AddTrayIcon();
    bool RemoveTrayIcon();
    bool UpdateTrayIcon();
    // Title cut to 63 characters, text to 255; the balloon stays timeoutSeconds.
    bool ShowBalloon(const QString& title, const QString& text, TBalloonHintIcon iconKind, quint8 timeoutSeconds);
    void HideToTray();
    void HideTaskbarButton();

    quintptr Id() const { return ShellIconRecord.id; }

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseExit;
    TCycleEvent OnCycle;
    TNotifyEvent OnBalloonHintShow;
    TNotifyEvent OnBalloonHintHide;
    TNotifyEvent OnBalloonHintTimeout;
    TNotifyEvent OnBalloonHintClick;
    TNotifyEvent OnMinimizeToTray;
    TStartupEvent OnStartup;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class TTrayIconHandler;

    // What the tray reported about this icon.
    void handleIconMessage(platform::TrayNotice notice);
    // The tray came back without its icons.
    void taskbarRestarted();
    void clickTimerTick();
    void cycleTick();
    void exitTick();
    void popupAtCursor();
    void runDefaultMenuItem();
    void minimizeToTrayNow();
    void prepareRecord();
    bool send(platform::TrayRequest kind);
    void loadIcon(int index);
    void offerMenu();
    TShiftState shiftState(TShiftFlag button) const;
    QPoint cursor() const;
    void raise(const TNotifyEvent& event);
    void raiseMouse(const TMouseEvent& event, Qt::MouseButton button, TShiftFlag flag);

    QWidget* owner_;
    // The record sent with each request.
    platform::TrayIconRecord ShellIconRecord;
    bool iconVisible_ = false;
    QIcon icon_;
    QPointer<TImageList> iconList_;
    QMetaObject::Connection iconListGone_;
    int iconIndex_ = 0;
    bool cycleIcons_ = false;
    quint32 cycleInterval_ = 0;
    QString hint_;
    bool showHint_ = true;
    bool enabled_ = true;
    QPointer<QMenu> popupMenu_;
    QMetaObject::Connection popupMenuGone_;
    bool leftPopup_ = false;
    bool minimizeToTray_ = false;
    bool wantEnterExitEvents_ = false;
    bool designPreview_ = false;

    std::unique_ptr<TSimpleTimer> AnimationTimer;
    std::unique_ptr<TSimpleTimer> ClickDelayTimer;
    std::unique_ptr<TSimpleTimer> PointerWatchTimer;

    bool LeftPressed = false;
    bool ClickPending = false;
    bool DoubleClicked = false;
    bool PointerOut = true;
    QPoint LastPointer;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TCoolTrayIcon::TShiftState)

// The shared receiver of the tray's notifications: one per process while icons exist. It takes
// them from the tray host and hands each, on the event loop, to the icon it names.
class TTrayIconHandler {
public:
    static TTrayIconHandler* Instance();
    int RefCount() const { return refCount_; }

private:
    friend class TCoolTrayIcon;

    TTrayIconHandler();
    ~TTrayIconHandler();

    static void addRef(TCoolTrayIcon* icon);
    static void release(TCoolTrayIcon* icon);
    static void onNotice(unsigned notice, quintptr wParam, qintptr lParam);

    int refCount_ = 0;
    QList<TCoolTrayIcon*> icons_;
    platform::NoticeWindow* window_;
};
