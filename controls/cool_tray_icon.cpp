#include "controls/cool_tray_icon.h"

#include "controls/application_link.h"
#include "platform/notice_window.h"
#include "platform/platform.h"

#include <QAction>
#include <QEvent>
#include <QTimer>

using platform::TrayIconRecord;
using platform::TrayNotice;
using platform::TrayRequest;

namespace {

// The handler's own notices: the tray's callback, and the tray's restart.
constexpr unsigned RestartNotice = 0xC000;

TTrayIconHandler* g_handler = nullptr;
int g_dispatchDepth = 0;

} // namespace

// --- TTrayIconHandler -----------------------------------------------------------------------

TTrayIconHandler::TTrayIconHandler() : window_(new platform::NoticeWindow(&TTrayIconHandler::onNotice))
{
    // The tray may report from inside its own calls; each notice is handled on the event loop,
    // one at a time, like every other event of the program.
    platform::TrayHost::setListener([](quintptr id, TrayNotice notice) {
        if (!g_handler)
            return;
        if (notice == TrayNotice::Restarted)
            g_handler->window_->post(RestartNotice);
        else
            g_handler->window_->post(TrayIconRecord::CallbackMessage, id, static_cast<qintptr>(notice));
    });
}

TTrayIconHandler::~TTrayIconHandler()
{
    platform::TrayHost::setListener(nullptr);
    if (g_dispatchDepth > 0)
        window_->deleteLater();
    else
        delete window_;
}

TTrayIconHandler* TTrayIconHandler::Instance() { return g_handler; }

void TTrayIconHandler::addRef(TCoolTrayIcon* icon)
{
    if (!g_handler)
        g_handler = new TTrayIconHandler;
    g_handler->icons_.append(icon);
    ++g_handler->refCount_;
}

void TTrayIconHandler::release(TCoolTrayIcon* icon)
{
    if (!g_handler)
        return;
    g_handler->icons_.removeAll(icon);
    if (g_handler->refCount_ > 0)
        --g_handler->refCount_;
    if (g_handler->refCount_ == 0) {
        delete g_handler;
        g_handler = nullptr;
    }
}

void TTrayIconHandler::onNotice(unsigned notice, quintptr wParam, qintptr lParam)
{
    if (!g_handler)
        return;
    ++g_dispatchDepth;
    if (notice == TrayIconRecord::CallbackMessage) {
        // The id names the icon; one destroyed since the tray spoke is no longer listed.
        for (TCoolTrayIcon* icon : std::as_const(g_handler->icons_)) {
            if (icon->Id() == wParam) {
                platform::runGuarded([icon, lParam] { icon->handleIconMessage(static_cast<TrayNotice>(lParam)); });
                break;
            }
        }
    } else if (notice == RestartNotice) {
        const QList<TCoolTrayIcon*> icons = g_handler->icons_;
        for (TCoolTrayIcon* icon : icons) {
            if (g_handler && g_handler->icons_.contains(icon))
                platform::runGuarded([icon] { icon->taskbarRestarted(); });
        }
    }
    --g_dispatchDepth;
}

// --- TCoolTrayIcon: life ---------------------------------------------------------------------

TCoolTrayIcon::TCoolTrayIcon(QWidget* owner) : QObject(owner), owner_(owner)
{
    TTrayIconHandler::addRef(this);
    ShellIconRecord.id = reinterpret_cast<quintptr>(this);
    AnimationTimer = std::make_unique<TSimpleTimer>();
    AnimationTimer->setOnTick([this](TSimpleTimer*) { cycleTick(); });
    ClickDelayTimer = std::make_unique<TSimpleTimer>();
    ClickDelayTimer->setOnTick([this](TSimpleTimer*) { clickTimerTick(); });
    PointerWatchTimer = std::make_unique<TSimpleTimer>(PointerWatchPeriod, [this](TSimpleTimer*) { exitTick(); });
    if (owner_)
        owner_->installEventFilter(this);
}

TCoolTrayIcon::~TCoolTrayIcon()
{
    RemoveTrayIcon();
    platform::trayHost().setMenu(Id(), nullptr);
    AnimationTimer.reset();
    ClickDelayTimer.reset();
    PointerWatchTimer.reset();
    if (owner_)
        owner_->removeEventFilter(this);
    TTrayIconHandler::release(this);
}

void TCoolTrayIcon::Loaded()
{
    if (owner_) {
        bool showMainForm = true;
        if (OnStartup)
            OnStartup(this, showMainForm);
        if (!showMainForm) {
            controls::hideMainFormAtStart();
            HideToTray();
        }
    }
    UpdateTrayIcon();
    setIconVisible(iconVisible_);
    setCycleIcons(cycleIcons_);
    setWantEnterExitEvents(wantEnterExitEvents_);
    ShellIconRecord.timeoutOrVersion = 0;
    send(TrayRequest::SetVersion);
}

// --- properties ------------------------------------------------------------------------------

void TCoolTrayIcon::setIconVisible(bool on)
{
    if (on)
        AddTrayIcon();
    else
        RemoveTrayIcon();
}

void TCoolTrayIcon::setIcon(const QIcon& icon)
{
    icon_ = icon;
    UpdateTrayIcon();
}

void TCoolTrayIcon::setIconList(TImageList* list)
{
    disconnect(iconListGone_);
    iconList_ = list;
    if (list) {
        iconListGone_ = connect(list, &QObject::destroyed, this, [this] {
            iconList_ = nullptr;
            iconIndex_ = 0;
        });
    }
    setIconIndex(0);
}

void TCoolTrayIcon::setIconIndex(int index)
{
    if (iconList_) {
        iconIndex_ = index >= iconList_->Count() ? iconList_->Count() - 1 : index;
        loadIcon(iconIndex_);
    } else {
        iconIndex_ = 0;
    }
    UpdateTrayIcon();
}

void TCoolTrayIcon::setCycleIcons(bool on)
{
    cycleIcons_ = on;
    if (on) {
        setIconIndex(0);
        AnimationTimer->setPeriod(cycleInterval_);
        AnimationTimer->setRunning(true);
    } else {
        AnimationTimer->setRunning(false);
    }
}

void TCoolTrayIcon::setCycleInterval(quint32 ms)
{
    cycleInterval_ = ms;
    setCycleIcons(cycleIcons_);
}

void TCoolTrayIcon::setHint(const QString& text)
{
    hint_ = text;
    UpdateTrayIcon();
}

void TCoolTrayIcon::setShowHint(bool on)
{
    showHint_ = on;
    UpdateTrayIcon();
}

void TCoolTrayIcon::setEnabled(bool on)
{
    enabled_ = on;
    offerMenu();
}

void TCoolTrayIcon::setPopupMenu(QMenu* menu)
{
    disconnect(popupMenuGone_);
    popupMenu_ = menu;
    if (menu) {
        popupMenuGone_ = connect(menu, &QObject::destroyed, this, [this] {
            popupMenu_ = nullptr;
            offerMenu();
        });
    }
    offerMenu();
}

void TCoolTrayIcon::setWantEnterExitEvents(bool on)
{
    wantEnterExitEvents_ = on;
    PointerWatchTimer->setRunning(on);
}

// Where the desktop opens an icon's menu by itself, it may do so only while the icon reports
// mouse activity at all.
void TCoolTrayIcon::offerMenu() { platform::trayHost().setMenu(Id(), enabled_ ? popupMenu_.data() : nullptr); }

void TCoolTrayIcon::loadIcon(int index)
{
    if (!iconList_ || index < 0 || index >= iconList_->Count())
        return;
    icon_ = iconList_->Image(index);
    UpdateTrayIcon();
}

// --- requests --------------------------------------------------------------------------------

void TCoolTrayIcon::prepareRecord()
{
    ShellIconRecord.icon = icon_;
    ShellIconRecord.tip = !hint_.isEmpty() && showHint_ ? TrayIconRecord::clip(hint_, TrayIconRecord::TipLimit) : QString();
}

bool TCoolTrayIcon::send(TrayRequest kind)
{
    prepareRecord();
    return platform::trayHost().request(kind, ShellIconRecord);
}

bool TCoolTrayIcon::AddTrayIcon()
{
    iconVisible_ = true;
    return send(TrayRequest::Add);
}

bool TCoolTrayIcon::RemoveTrayIcon()
{
    iconVisible_ = false;
    return send(TrayRequest::Delete);
}

bool TCoolTrayIcon::UpdateTrayIcon() { return send(TrayRequest::Modify); }

bool TCoolTrayIcon::ShowBalloon(const QString& title, const QString& text, TBalloonHintIcon iconKind,
                                quint8 timeoutSeconds)
{
    // Any balloon still showing goes first.
    ShellIconRecord.flags |= TrayIconRecord::InfoFlag;
    ShellIconRecord.infoText.clear();
    send(TrayRequest::Modify);

    ShellIconRecord.infoText = TrayIconRecord::clip(text, TrayIconRecord::InfoLimit);
    ShellIconRecord.infoTitle = TrayIconRecord::clip(title, TrayIconRecord::InfoTitleLimit);
    ShellIconRecord.timeoutOrVersion = quint32(timeoutSeconds) * 1000;
    ShellIconRecord.infoFlags = iconKind;
    const bool shown = send(TrayRequest::Modify);

    // Later updates must not bring the balloon back.
    ShellIconRecord.flags = TrayIconRecord::NormalFlags;
    return shown;
}

void TCoolTrayIcon::HideToTray()
{
    if (!owner_)
        return;
    if (QWidget* mainForm = controls::applicationMainForm(owner_))
        mainForm->hide();
    HideTaskbarButton();
}

void TCoolTrayIcon::HideTaskbarButton() { controls::hideTaskbarButton(); }

// --- what the tray reports -------------------------------------------------------------------

TCoolTrayIcon::TShiftState TCoolTrayIcon::shiftState(TShiftFlag button) const
{
    const Qt::KeyboardModifiers keys = platform::trayHost().keyboardModifiers();
    TShiftState shift = button;
    if (keys & Qt::ShiftModifier)
        shift |= ssShift;
    if (keys & Qt::AltModifier)
        shift |= ssAlt;
    if (keys & Qt::ControlModifier)
        shift |= ssCtrl;
    return shift;
}

QPoint TCoolTrayIcon::cursor() const { return platform::trayHost().cursorPos().value_or(QPoint()); }

void TCoolTrayIcon::raise(const TNotifyEvent& event)
{
    if (event)
        event(this);
}

void TCoolTrayIcon::raiseMouse(const TMouseEvent& event, Qt::MouseButton button, TShiftFlag flag)
{
    const TShiftState shift = shiftState(flag);
    const QPoint at = cursor();
    if (event)
        event(this, button, shift, at.x(), at.y());
}

void TCoolTrayIcon::handleIconMessage(TrayNotice notice)
{
    switch (notice) {
    case TrayNotice::BalloonShow:
        raise(OnBalloonHintShow);
        return;
    case TrayNotice::BalloonHide:
        raise(OnBalloonHintHide);
        return;
    case TrayNotice::BalloonTimeout:
        raise(OnBalloonHintTimeout);
        return;
    case TrayNotice::BalloonClick:
        raise(OnBalloonHintClick);
        return;
    default:
        break;
    }
    if (!enabled_)
        return;
    switch (notice) {
    case TrayNotice::MouseMove: {
        if (wantEnterExitEvents_ && PointerOut) {
            raise(OnMouseEnter);
            PointerOut = false;
        }
        const TShiftState shift = shiftState(TShiftFlag(0));
        const QPoint at = cursor();
        if (OnMouseMove)
            OnMouseMove(this, shift, at.x(), at.y());
        LastPointer = at;
        break;
    }
    case TrayNotice::LeftDown:
        if (OnDblClick) {
            // The click waits one double-click time for a double click that would cancel it.
            ClickDelayTimer->setPeriod(static_cast<quint32>(qMax(0, platform::trayHost().doubleClickInterval())));
            ClickDelayTimer->setRunning(true);
        }
        raiseMouse(OnMouseDown, Qt::LeftButton, ssLeft);
        LeftPressed = true;
        if (leftPopup_)
            popupAtCursor();
        break;
    case TrayNotice::LeftUp:
        if (LeftPressed)
            ClickPending = true;
        if (LeftPressed && !ClickDelayTimer->Running()) {
            LeftPressed = false;
            ClickPending = false;
            raise(OnClick);
        }
        LeftPressed = false;
        raiseMouse(OnMouseUp, Qt::LeftButton, ssLeft);
        break;
    case TrayNotice::LeftDoubleClick:
        ClickPending = false;
        DoubleClicked = true;
        raise(OnDblClick);
        if (popupMenu_ && !leftPopup_)
            runDefaultMenuItem();
        break;
    case TrayNotice::RightDown:
        raiseMouse(OnMouseDown, Qt::RightButton, ssRight);
        popupAtCursor();
        break;
    case TrayNotice::RightUp:
        raiseMouse(OnMouseUp, Qt::RightButton, ssRight);
        break;
    case TrayNotice::MiddleDown:
        raiseMouse(OnMouseDown, Qt::MiddleButton, ssMiddle);
        break;
    case TrayNotice::MiddleUp:
        raiseMouse(OnMouseUp, Qt::MiddleButton, ssMiddle);
        break;
    default:
        break;
    }
}

void TCoolTrayIcon::taskbarRestarted()
{
    if (iconVisible_)
        AddTrayIcon();
}

void TCoolTrayIcon::clickTimerTick()
{
    ClickDelayTimer->setRunning(false);
    if (!DoubleClicked && ClickPending) {
        ClickPending = false;
        raise(OnClick);
    }
    DoubleClicked = false;
}

void TCoolTrayIcon::cycleTick()
{
    if (!iconList_)
        return;
    loadIcon(iconIndex_);
    const int next = iconIndex_ < iconList_->Count() - 1 ? iconIndex_ + 1 : 0;
    if (OnCycle)
        OnCycle(this, next);
    // The handler may have dropped the list or changed the index.
    if (iconList_)
        iconIndex_ = iconIndex_ < iconList_->Count() - 1 ? iconIndex_ + 1 : 0;
}

void TCoolTrayIcon::exitTick()
{
    if (PointerOut)
        return;
    const std::optional<QPoint> at = platform::trayHost().cursorPos();
    if (at && *at != LastPointer) {
        // The tray reports moves only over the icon: a pointer that moved silently has left.
        PointerOut = true;
        raise(OnMouseExit);
    }
}

void TCoolTrayIcon::popupAtCursor()
{
    if (!popupMenu_)
        return;
    const std::optional<QPoint> at = platform::trayHost().cursorPos();
    if (!at)
        return;
    platform::trayHost().popupMenu(popupMenu_, *at);
}

void TCoolTrayIcon::runDefaultMenuItem()
{
    if (QAction* item = popupMenu_->defaultAction())
        item->trigger();
}

// --- the owner window ------------------------------------------------------------------------

void TCoolTrayIcon::minimizeToTrayNow()
{
    HideToTray();
    setIconVisible(true);
}

bool TCoolTrayIcon::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == owner_) {
        switch (event->type()) {
        case QEvent::Show:
            if (!event->spontaneous()) {
                // Shown by the program: to the front, once the window system has it.
                QPointer<QWidget> owner = owner_;
                QTimer::singleShot(0, this, [owner] {
                    if (owner && owner->isVisible())
                        platform::windowSystem().activate(owner);
                });
            }
            break;
        case QEvent::WindowStateChange:
            if (minimizeToTray_ && owner_->isMinimized()) {
                raise(OnMinimizeToTray);
                // Shown again later, the window comes back in its normal state.
                owner_->setWindowState(owner_->windowState() & ~Qt::WindowMinimized);
                minimizeToTrayNow();
            }
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}
