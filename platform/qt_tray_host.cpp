#include "platform/qt_tray_host.h"

#include "platform/modality.h"
#include "platform/platform.h"
#include "platform/x11_window_state.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QStyleHints>
#include <QTimer>

namespace platform {
namespace {

const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const char* const MenuWindow = "pellavineMenuWindow";
// How long a balloon stays when its request names no time.
constexpr int DefaultBalloonMs = 10000;
constexpr int ExplanationMs = 20000;

QIcon shownIcon(const QIcon& icon)
{
    if (!icon.isNull())
        return icon;
    // QSystemTrayIcon refuses to show without a picture; an empty one keeps the icon's place.
    QPixmap empty(16, 16);
    empty.fill(Qt::transparent);
    return QIcon(empty);
}

// Without a session bus address, asking for the bus could start one of its own.
bool sessionBusUp()
{
    return !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") && QDBusConnection::sessionBus().isConnected();
}

QString plainTip(const QString& tip)
{
    QString text = tip;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return text;
}

} // namespace

// --- TrayActivationTranslator ---------------------------------------------------------------

TrayActivationTranslator::TrayActivationTranslator(Sink sink, std::function<int()> doubleClickInterval)
    : sink_(std::move(sink)), doubleClickInterval_(std::move(doubleClickInterval)), context_(new QObject)
{
}

TrayActivationTranslator::~TrayActivationTranslator() = default;

void TrayActivationTranslator::activated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        flush();
        pendingClick_ = true;
        // A double click that belongs to this press is reported before the loop turns again.
        QTimer::singleShot(0, context_.get(), [this] { flush(); });
        break;
    case QSystemTrayIcon::DoubleClick: {
        const bool recentClick = lastClick_.isValid() && lastClick_.elapsed() <= 2 * doubleClickInterval_();
        if (pendingClick_ && recentClick)
            pendingClick_ = false; // the second press of this double click
        else if (pendingClick_)
            flush();
        else if (!recentClick)
            click(); // the tray reported the double click alone
        sink_(TrayNotice::LeftDoubleClick);
        sink_(TrayNotice::LeftUp);
        lastClick_.invalidate();
        break;
    }
    case QSystemTrayIcon::Context:
        flush();
        sink_(TrayNotice::RightDown);
        sink_(TrayNotice::RightUp);
        break;
    case QSystemTrayIcon::MiddleClick:
        flush();
        sink_(TrayNotice::MiddleDown);
        sink_(TrayNotice::MiddleUp);
        break;
    default:
        break;
    }
}

void TrayActivationTranslator::flush()
{
    if (!pendingClick_)
        return;
    pendingClick_ = false;
    click();
}

void TrayActivationTranslator::click()
{
    sink_(TrayNotice::LeftDown);
    sink_(TrayNotice::LeftUp);
    lastClick_.start();
}

// --- TrayStandIn ----------------------------------------------------------------------------

TrayStandIn::TrayStandIn(std::function<void(TrayNotice)> sink)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , sink_(std::move(sink))
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    // The icon answers while a box or dialog is open, as in the notification area.
    exemptFromModality(this);
    setMouseTracking(true);
    setFixedSize(Side, Side);
    setWindowTitle(applicationTitle());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.right() - Side - 8, area.bottom() - Side - 8);
    }
    x11::skipTaskbar(this);
}

void TrayStandIn::setIcon(const QIcon& icon)
{
    icon_ = icon;
    update();
}

void TrayStandIn::setTip(const QString& tip) { setToolTip(trayToolTip(tip)); }

void TrayStandIn::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    icon_.paint(&painter, rect().adjusted(4, 4, -4, -4));
}

void TrayStandIn::mousePressEvent(QMouseEvent* event)
{
    switch (event->button()) {
    case Qt::LeftButton:
        leftHeld_ = true;
        afterDoubleClick_ = false;
        pressPos_ = event->globalPosition().toPoint();
        break;
    case Qt::RightButton:
        sink_(TrayNotice::RightDown);
        break;
    case Qt::MiddleButton:
        sink_(TrayNotice::MiddleDown);
        break;
    default:
        break;
    }
}

void TrayStandIn::mouseMoveEvent(QMouseEvent* event)
{
    if (leftHeld_) {
        if ((event->globalPosition().toPoint() - pressPos_).manhattanLength()
            >= QApplication::startDragDistance()) {
            leftHeld_ = false;
            windowSystem().startMove(this);
        }
        return;
    }
    sink_(TrayNotice::MouseMove);
}

void TrayStandIn::mouseReleaseEvent(QMouseEvent* event)
{
    switch (event->button()) {
    case Qt::LeftButton:
        if (afterDoubleClick_) {
            afterDoubleClick_ = false;
            sink_(TrayNotice::LeftUp);
        } else if (leftHeld_) {
            leftHeld_ = false;
            sink_(TrayNotice::LeftDown);
            sink_(TrayNotice::LeftUp);
        }
        break;
    case Qt::RightButton:
        sink_(TrayNotice::RightUp);
        break;
    case Qt::MiddleButton:
        sink_(TrayNotice::MiddleUp);
        break;
    default:
        break;
    }
}

void TrayStandIn::mouseDoubleClickEvent(QMouseEvent* event)
{
    // Qt delivers the second press as well; only the left button knows double clicks.
    if (event->button() != Qt::LeftButton)
        return;
    leftHeld_ = false;
    afterDoubleClick_ = true;
    sink_(TrayNotice::LeftDoubleClick);
}

void TrayStandIn::closeEvent(QCloseEvent* event) { event->ignore(); }

// --- TrayBubble -----------------------------------------------------------------------------

TrayBubble::TrayBubble()
    : QFrame(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                          | Qt::WindowDoesNotAcceptFocus)
    , icon_(new QLabel(this))
    , title_(new QLabel(this))
    , text_(new QLabel(this))
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    exemptFromModality(this);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setBackgroundRole(QPalette::ToolTipBase);
    setForegroundRole(QPalette::ToolTipText);
    setAutoFillBackground(true);
    // Balloon texts may come from other computers: never markup.
    title_->setTextFormat(Qt::PlainText);
    text_->setTextFormat(Qt::PlainText);
    QFont bold = title_->font();
    bold.setBold(true);
    title_->setFont(bold);
    text_->setWordWrap(true);
    text_->setMaximumWidth(320);
    auto* texts = new QVBoxLayout;
    texts->addWidget(title_);
    texts->addWidget(text_);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(icon_, 0, Qt::AlignTop);
    layout->addLayout(texts);
    x11::skipTaskbar(this);
}

void TrayBubble::setContent(const QString& title, const QString& text, unsigned iconKind)
{
    title_->setText(title);
    title_->setVisible(!title.isEmpty());
    text_->setText(text);
    // A wrapping label would otherwise pick a narrow column even for a short text.
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n')))
        widest = qMax(widest, text_->fontMetrics().horizontalAdvance(line));
    text_->setMinimumWidth(qMin(320, widest + 2));
    QStyle::StandardPixmap pixmap = QStyle::SP_MessageBoxInformation;
    switch (iconKind) {
    case 1:
        pixmap = QStyle::SP_MessageBoxInformation;
        break;
    case 2:
        pixmap = QStyle::SP_MessageBoxWarning;
        break;
    case 3:
        pixmap = QStyle::SP_MessageBoxCritical;
        break;
    default:
        icon_->clear();
        icon_->hide();
        return;
    }
    icon_->setPixmap(style()->standardIcon(pixmap).pixmap(32, 32));
    icon_->show();
}

QString TrayBubble::title() const { return title_->text(); }
QString TrayBubble::text() const { return text_->text(); }

void TrayBubble::showAbove(const QRect& anchor)
{
    adjustSize();
    const QScreen* screen = QGuiApplication::screenAt(anchor.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    QPoint place(anchor.right() - width() + 1, anchor.top() - height() - 4);
    if (screen) {
        const QRect area = screen->availableGeometry();
        if (place.y() < area.top())
            place.setY(anchor.bottom() + 4);
        place.setX(qBound(area.left(), place.x(), qMax(area.left(), area.right() - width() + 1)));
        place.setY(qBound(area.top(), place.y(), qMax(area.top(), area.bottom() - height() + 1)));
    }
    move(place);
    show();
    raise();
}

void TrayBubble::mousePressEvent(QMouseEvent*)
{
    hide();
    if (onClicked)
        onClicked();
}

// --- QtTrayHost -----------------------------------------------------------------------------

struct QtTrayHost::Icon {
    TrayIconRecord record;
    // Exactly one of these two shows the icon.
    std::unique_ptr<QSystemTrayIcon> tray;
    std::unique_ptr<TrayActivationTranslator> translator;
    std::unique_ptr<TrayStandIn> standIn;
    std::unique_ptr<TrayBubble> bubble;
    std::unique_ptr<QTimer> balloonTimer;
    bool balloonShown = false;
    DesktopNotifications::Handle notification = 0; // the balloon, shown as a desktop notification
};

QtTrayHost::QtTrayHost()
    : probe_([] { return QSystemTrayIcon::isSystemTrayAvailable(); }), poll_(new QTimer(this))
{
    poll_->setInterval(3000);
    connect(poll_, &QTimer::timeout, this, [this] { checkAvailability(); });
    watchStatusNotifierWatcher();
}

QtTrayHost::~QtTrayHost()
{
    icons_.clear();
    delete explanation_;
}

namespace {
QPointer<QtTrayHost> g_host;
} // namespace

void QtTrayHost::release()
{
    delete g_host;
}

QtTrayHost& QtTrayHost::instance()
{
    QPointer<QtTrayHost>& host = g_host;
    if (!host) {
        host = new QtTrayHost;
        host->setParent(QCoreApplication::instance());
    }
    return *host;
}

bool QtTrayHost::request(TrayRequest kind, const TrayIconRecord& record)
{
    if (kind == TrayRequest::Add)
        return add(record);
    const auto it = icons_.find(record.id);
    if (it == icons_.end())
        return false;
    switch (kind) {
    case TrayRequest::Modify:
        apply(*it->second, record, false);
        return true;
    case TrayRequest::Delete:
        endBalloon(*it->second, TrayNotice::BalloonHide);
        icons_.erase(it);
        if (icons_.empty())
            poll_->stop();
        return true;
    default:
        return true;
    }
}

bool QtTrayHost::add(const TrayIconRecord& record)
{
    if (icons_.count(record.id))
        return false;
    if (icons_.empty()) {
        available_ = probe_();
        watchAvailability();
    }
    auto icon = std::make_unique<Icon>();
    const quintptr id = record.id;
    auto sink = [id](TrayNotice notice) { notify(id, notice); };
    if (available_) {
        icon->tray = std::make_unique<QSystemTrayIcon>();
        icon->translator = std::make_unique<TrayActivationTranslator>(sink, [this] { return doubleClickInterval(); });
        TrayActivationTranslator* translator = icon->translator.get();
        connect(icon->tray.get(), &QSystemTrayIcon::activated, icon->tray.get(),
                [translator](QSystemTrayIcon::ActivationReason reason) { translator->activated(reason); });
        connect(icon->tray.get(), &QSystemTrayIcon::messageClicked, this, [this, id] {
            const auto it = icons_.find(id);
            if (it != icons_.end())
                endBalloon(*it->second, TrayNotice::BalloonClick);
        });
        icon->tray->setContextMenu(menus_.value(id));
        // Qt has just asked the watcher for itself whether its icons go over D-Bus; so do we,
        // unless the answer was yes already.
        askStatusNotifierHost();
    } else {
        icon->standIn = std::make_unique<TrayStandIn>(sink);
    }
    icon->balloonTimer = std::make_unique<QTimer>();
    icon->balloonTimer->setSingleShot(true);
    connect(icon->balloonTimer.get(), &QTimer::timeout, this, [this, id] {
        const auto it = icons_.find(id);
        if (it != icons_.end())
            endBalloon(*it->second, TrayNotice::BalloonTimeout);
    });
    Icon& added = *icons_.emplace(id, std::move(icon)).first->second;
    apply(added, record, true);
    if (added.tray) {
        added.tray->show();
    } else {
        added.standIn->show();
        explain(added.standIn.get());
    }
    return true;
}

void QtTrayHost::apply(Icon& icon, const TrayIconRecord& record, bool fresh)
{
    icon.record.id = record.id;
    if (fresh || (record.flags & TrayIconRecord::IconFlag)) {
        icon.record.icon = record.icon;
        if (icon.tray)
            icon.tray->setIcon(shownIcon(record.icon));
        else
            icon.standIn->setIcon(record.icon);
    }
    if (fresh || (record.flags & TrayIconRecord::TipFlag)) {
        icon.record.tip = TrayIconRecord::clip(record.tip, TrayIconRecord::TipLimit);
        showTip(icon);
    }
    if (record.flags & TrayIconRecord::InfoFlag) {
        if (record.infoText.isEmpty())
            endBalloon(icon, TrayNotice::BalloonHide);
        else
            showBalloon(icon, record);
    }
}

void QtTrayHost::showBalloon(Icon& icon, const TrayIconRecord& record)
{
    endBalloon(icon, TrayNotice::BalloonHide);
    icon.record.infoText = TrayIconRecord::clip(record.infoText, TrayIconRecord::InfoLimit);
    icon.record.infoTitle = TrayIconRecord::clip(record.infoTitle, TrayIconRecord::InfoTitleLimit);
    icon.record.infoFlags = record.infoFlags;
    icon.record.timeoutOrVersion = record.timeoutOrVersion;
    const int ms = record.timeoutOrVersion > 0 ? static_cast<int>(qMin<quint32>(record.timeoutOrVersion, 3600000))
                                               : DefaultBalloonMs;
    if (icon.tray && sni_ == Sni::Yes) {
        notifyBalloon(icon, ms);
    } else if (icon.tray) {
        const auto kind = record.infoFlags <= 3 ? static_cast<QSystemTrayIcon::MessageIcon>(record.infoFlags)
                                                : QSystemTrayIcon::NoIcon;
        icon.tray->showMessage(icon.record.infoTitle, icon.record.infoText, kind, ms);
    } else {
        if (!icon.bubble) {
            icon.bubble = std::make_unique<TrayBubble>();
            const quintptr id = record.id;
            icon.bubble->onClicked = [this, id] {
                const auto it = icons_.find(id);
                if (it != icons_.end())
                    endBalloon(*it->second, TrayNotice::BalloonClick);
            };
        }
        icon.bubble->setContent(icon.record.infoTitle, icon.record.infoText, record.infoFlags);
        icon.bubble->showAbove(icon.standIn->frameGeometry());
        if (explanation_ && explanation_->isVisible())
            explanation_->showAbove(icon.bubble->frameGeometry());
    }
    icon.balloonShown = true;
    icon.balloonTimer->start(ms);
    notify(record.id, TrayNotice::BalloonShow);
}

void QtTrayHost::showTip(Icon& icon)
{
    if (icon.standIn) {
        icon.standIn->setTip(icon.record.tip);
        return;
    }
    // A StatusNotifierItem's tool-tip title is plain text by its protocol; Qt's own tool tip
    // reads markup, so it gets the escaped form.
    icon.tray->setToolTip(sni_ == Sni::Yes ? plainTip(icon.record.tip) : trayToolTip(icon.record.tip));
}

void QtTrayHost::notifyBalloon(Icon& icon, int ms)
{
    // Qt would show the balloon the same way, but would also swap the icon for its "attention"
    // picture while the balloon lasts (hiding the blinking) and pass the text on as markup.
    if (!notifications_) {
        notifications_ = new DesktopNotifications(this);
        connect(notifications_, &DesktopNotifications::ended, this, &QtTrayHost::notificationEnded);
    }
    icon.notification = notifications_->show(icon.record.infoTitle, icon.record.infoText, icon.record.infoFlags, ms);
}

void QtTrayHost::notificationEnded(DesktopNotifications::Handle handle, DesktopNotifications::End how)
{
    using End = DesktopNotifications::End;
    for (auto& entry : icons_) {
        Icon& icon = *entry.second;
        if (icon.notification != handle)
            continue;
        icon.notification = 0;
        endBalloon(icon, how == End::Clicked  ? TrayNotice::BalloonClick
                         : how == End::Closed ? TrayNotice::BalloonHide
                                              : TrayNotice::BalloonTimeout);
        return;
    }
}

void QtTrayHost::endBalloon(Icon& icon, TrayNotice why)
{
    if (!icon.balloonShown)
        return;
    icon.balloonShown = false;
    if (icon.notification != 0) {
        notifications_->close(icon.notification);
        icon.notification = 0;
    }
    icon.balloonTimer->stop();
    // A balloon of the desktop's own goes away by itself; the stand-in's is ours to hide.
    if (icon.bubble)
        icon.bubble->hide();
    notify(icon.record.id, why);
}

void QtTrayHost::setMenu(quintptr id, QMenu* menu)
{
    if (menu)
        menus_.insert(id, menu);
    else
        menus_.remove(id);
    const auto it = icons_.find(id);
    if (it != icons_.end() && it->second->tray)
        it->second->tray->setContextMenu(menu);
}

void QtTrayHost::popupMenu(QMenu* menu, const QPoint& screenPos)
{
    if (!menu || menu->isVisible())
        return;
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        menuAsWindow(menu);
    menu->exec(screenPos);
}

void QtTrayHost::menuAsWindow(QMenu* menu)
{
    // A Wayland popup needs a shown parent window and the click that opened it; a tray that asks
    // for the menu over D-Bus gives neither, and the compositor would make the menu an ordinary
    // (tiled, full-size) window. So it is a small window of its own that closes when left.
    if (menu->property(MenuWindow).toBool())
        return;
    menu->setProperty(MenuWindow, true);
    menu->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    menu->setWindowTitle(applicationTitle());
    menu->installEventFilter(this);
}

bool QtTrayHost::eventFilter(QObject* watched, QEvent* event)
{
    auto* menu = qobject_cast<QMenu*>(watched);
    if (menu && menu->property(MenuWindow).toBool()) {
        switch (event->type()) {
        case QEvent::Show:
            // A window of fixed size floats on tiling compositors.
            menu->setFixedSize(menu->sizeHint());
            menu->activateWindow();
            break;
        case QEvent::WindowDeactivate: {
            // Closed when the user turns to another window; not when the compositor only hands
            // the keyboard focus out and back (as it does when a keyboard is added).
            QPointer<QMenu> watchedMenu = menu;
            QTimer::singleShot(150, menu, [watchedMenu] {
                if (watchedMenu && !watchedMenu->isActiveWindow())
                    watchedMenu->hide();
            });
            break;
        }
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

std::optional<QPoint> QtTrayHost::cursorPos() { return QCursor::pos(); }

Qt::KeyboardModifiers QtTrayHost::keyboardModifiers() { return QGuiApplication::queryKeyboardModifiers(); }

int QtTrayHost::doubleClickInterval() { return QGuiApplication::styleHints()->mouseDoubleClickInterval(); }

void QtTrayHost::setAvailabilityProbe(std::function<bool()> probe) { probe_ = std::move(probe); }

void QtTrayHost::setPollInterval(int ms) { poll_->setInterval(ms); }

QSystemTrayIcon* QtTrayHost::trayIcon(quintptr id) const
{
    const auto it = icons_.find(id);
    return it == icons_.end() ? nullptr : it->second->tray.get();
}

TrayStandIn* QtTrayHost::standIn(quintptr id) const
{
    const auto it = icons_.find(id);
    return it == icons_.end() ? nullptr : it->second->standIn.get();
}

TrayBubble* QtTrayHost::standInBalloon(quintptr id) const
{
    const auto it = icons_.find(id);
    if (it == icons_.end() || !it->second->balloonShown)
        return nullptr;
    return it->second->bubble.get();
}

QString QtTrayHost::explanationText()
{
    return QCoreApplication::translate("TrayHost",
                                       "На этом рабочем столе нет области уведомлений (системного трея), поэтому "
                                       "значок программы показан в маленьком окне в углу экрана. Щелчок по нему "
                                       "открывает окно отправки сообщения, правая кнопка - меню программы. Окно "
                                       "можно перетащить мышью в любое место.");
}

void QtTrayHost::removeAll()
{
    icons_.clear();
    poll_->stop();
}

void QtTrayHost::watchAvailability()
{
    if (watch_ == Watch::None) {
        // Told by the desktop when a notification area comes or goes, so an idle program sleeps.
        const bool x11 = x11::watchTrayManager([this] { checkAvailabilitySoon(); });
        watch_ = x11 || busWatched_ ? Watch::Events : Watch::Poll;
    }
    if (watch_ == Watch::Poll)
        poll_->start();
}

void QtTrayHost::checkAvailabilitySoon()
{
    if (checkPending_)
        return;
    checkPending_ = true;
    QTimer::singleShot(100, this, [this] {
        checkPending_ = false;
        checkAvailability();
    });
}

void QtTrayHost::checkAvailability()
{
    // Only while icons are shown: an add asks afresh, and Qt's first answer also settles for
    // good whether its icons go over D-Bus.
    if (icons_.empty())
        return;
    const bool now = probe_();
    if (now == available_)
        return;
    available_ = now;
    // The notice about the stand-in is out of date once the icon has a tray.
    if (available_ && explanation_)
        explanation_->hide();
    // The icons move between the tray and their stand-ins as the owners add them again.
    removeAll();
    notify(0, TrayNotice::Restarted);
}

void QtTrayHost::explain(TrayStandIn* standIn)
{
    if (explanation_)
        return;
    explanation_ = new TrayBubble;
    explanation_->setContent(applicationTitle(), explanationText(), 1);
    TrayBubble* bubble = explanation_;
    bubble->showAbove(standIn->frameGeometry());
    QTimer::singleShot(ExplanationMs, bubble, [bubble] { bubble->hide(); });
}

void QtTrayHost::watchStatusNotifierWatcher()
{
    if (!sessionBusUp())
        return;
    auto* watcher = new QDBusServiceWatcher(WatcherService, QDBusConnection::sessionBus(),
                                            QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& owner) {
                checkAvailabilitySoon();
                if (owner.isEmpty())
                    return;
                if (sni_ != Sni::Yes) {
                    askStatusNotifierHost();
                } else if (!icons_.empty()) {
                    // A restarted panel knows none of the icons shown before.
                    removeAll();
                    notify(0, TrayNotice::Restarted);
                }
            });
    busWatched_ = true;
    askStatusNotifierHost();
}

void QtTrayHost::askStatusNotifierHost()
{
    if (sni_ == Sni::Yes || sniAsked_ || !busWatched_)
        return;
    sniAsked_ = true;
    QDBusMessage get = QDBusMessage::createMethodCall(WatcherService, QStringLiteral("/StatusNotifierWatcher"),
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << WatcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    // Only a watcher that is there counts; the bus is not to start one.
    get.setAutoStartService(false);
    auto* pending = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(get), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        sniAsked_ = false;
        const QDBusPendingReply<QDBusVariant> reply = *call;
        const Sni now = !reply.isError() && reply.value().variant().toBool() ? Sni::Yes : Sni::No;
        if (now == sni_)
            return;
        sni_ = now;
        for (auto& entry : icons_) {
            if (entry.second->tray)
                showTip(*entry.second);
        }
    });
}

} // namespace platform
