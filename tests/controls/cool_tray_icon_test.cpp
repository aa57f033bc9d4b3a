#include "controls/application_link.h"
#include "controls/cool_tray_icon.h"
#include "tests/support/fake_platform.h"

#include <QAction>
#include <QMenu>
#include <QTest>

#include <memory>
#include <stdexcept>

using platform::TrayIconRecord;
using platform::TrayNotice;
using platform::TrayRequest;

Q_DECLARE_METATYPE(platform::TrayNotice)
Q_DECLARE_METATYPE(QList<platform::TrayNotice>)

namespace {

QIcon filled(Qt::GlobalColor colour)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

QColor colourOf(const QIcon& icon)
{
    if (icon.isNull())
        return QColor();
    return icon.pixmap(16, 16).toImage().pixelColor(8, 8);
}

const Qt::GlobalColor Colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};

// Hands every notice the tray has posted to the icons.
void deliver() { QCoreApplication::sendPostedEvents(); }

} // namespace

class CoolTrayIconTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<platform::FakePlatform> fake_;
    std::unique_ptr<QWidget> owner_;
    std::unique_ptr<TCoolTrayIcon> icon_;
    QStringList log_;

    platform::FakeTrayHost& tray() { return fake_->tray; }

    // Logs every mouse event of the icon.
    void logEvents(TCoolTrayIcon& icon)
    {
        auto button = [](Qt::MouseButton b) {
            return b == Qt::LeftButton ? "L" : b == Qt::RightButton ? "R" : "M";
        };
        icon.OnMouseDown = [this, button](QObject*, Qt::MouseButton b, TCoolTrayIcon::TShiftState, int, int) {
            log_ << QStringLiteral("down%1").arg(QLatin1String(button(b)));
        };
        icon.OnMouseUp = [this, button](QObject*, Qt::MouseButton b, TCoolTrayIcon::TShiftState, int, int) {
            log_ << QStringLiteral("up%1").arg(QLatin1String(button(b)));
        };
        icon.OnMouseMove = [this](QObject*, TCoolTrayIcon::TShiftState, int, int) { log_ << QStringLiteral("move"); };
        icon.OnClick = [this](QObject*) { log_ << QStringLiteral("click"); };
        icon.OnBalloonHintShow = [this](QObject*) { log_ << QStringLiteral("balloonShow"); };
        icon.OnBalloonHintHide = [this](QObject*) { log_ << QStringLiteral("balloonHide"); };
        icon.OnBalloonHintTimeout = [this](QObject*) { log_ << QStringLiteral("balloonTimeout"); };
        icon.OnBalloonHintClick = [this](QObject*) { log_ << QStringLiteral("balloonClick"); };
        tray().whilePopup = [this](QMenu*) { log_ << QStringLiteral("popup"); };
    }

    TImageList* makeList(int count)
    {
        auto* list = new TImageList(owner_.get());
        for (int i = 0; i < count; ++i)
            list->Add(filled(Colours[i]));
        return list;
    }

    QColor shownColour() { return colourOf(tray().requests.last().record.icon); }

private Q_SLOTS:
    void init()
    {
        fake_ = std::make_unique<platform::FakePlatform>();
        owner_ = std::make_unique<QWidget>();
        icon_ = std::make_unique<TCoolTrayIcon>(owner_.get());
        log_.clear();
    }
    void cleanup()
    {
        icon_.reset();
        owner_.reset();
        deliver();
        fake_.reset();
        controls::applicationLink() = {};
    }

    void clicks_data()
    {
        QTest::addColumn<bool>("dblHandler");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("leftPopup");
        QTest::addColumn<QList<TrayNotice>>("notices");
        QTest::addColumn<QString>("atOnce");
        QTest::addColumn<QString>("later");
        const QList<TrayNotice> click{TrayNotice::LeftDown, TrayNotice::LeftUp};
        const QList<TrayNotice> doubleClick{TrayNotice::LeftDown, TrayNotice::LeftUp, TrayNotice::LeftDoubleClick,
                                            TrayNotice::LeftUp};
        const QList<TrayNotice> right{TrayNotice::RightDown, TrayNotice::RightUp};
        const QList<TrayNotice> middle{TrayNotice::MiddleDown, TrayNotice::MiddleUp};
        QTest::newRow("click, no double-click handler: click before up")
            << false << true << false << click << "downL click upL" << "downL click upL";
        QTest::newRow("click with double-click handler: click after the delay")
            << true << true << false << click << "downL upL" << "downL upL click";
        QTest::newRow("double click with handler: no click")
            << true << true << false << doubleClick << "downL upL dbl upL" << "downL upL dbl upL";
        QTest::newRow("press right after a double click: no click either")
            << true << true << false << doubleClick + click << "downL upL dbl upL downL upL"
            << "downL upL dbl upL downL upL";
        QTest::newRow("double click without handler: the first press clicks")
            << false << true << false << doubleClick << "downL click upL upL" << "downL click upL upL";
        QTest::newRow("right button: menu on the press")
            << false << true << false << right << "downR popup upR" << "downR popup upR";
        QTest::newRow("left popup: menu on the left press too")
            << false << true << true << click << "downL popup click upL" << "downL popup click upL";
        QTest::newRow("middle button") << false << true << false << middle << "downM upM" << "downM upM";
        QTest::newRow("disabled: clicks ignored") << true << false << false << click << "" << "";
        QTest::newRow("disabled: no menu") << false << false << false << right << "" << "";
        QTest::newRow("disabled: no double click") << true << false << false << doubleClick << "" << "";
        QTest::newRow("disabled: no move")
            << false << false << false << QList<TrayNotice>{TrayNotice::MouseMove} << "" << "";
        QTest::newRow("enabled: move") << false << true << false << QList<TrayNotice>{TrayNotice::MouseMove}
                                       << "move" << "move";
        QTest::newRow("disabled: balloon activity still reported")
            << false << false << false
            << QList<TrayNotice>{TrayNotice::BalloonShow, TrayNotice::BalloonClick, TrayNotice::BalloonHide,
                                 TrayNotice::BalloonTimeout}
            << "balloonShow balloonClick balloonHide balloonTimeout"
            << "balloonShow balloonClick balloonHide balloonTimeout";
    }
    void clicks()
    {
        QFETCH(bool, dblHandler);
        QFETCH(bool, enabled);
        QFETCH(bool, leftPopup);
        QFETCH(QList<TrayNotice>, notices);
        QFETCH(QString, atOnce);
        QFETCH(QString, later);

        QMenu menu;
        icon_->setPopupMenu(&menu);
        icon_->setEnabled(enabled);
        icon_->setLeftPopup(leftPopup);
        logEvents(*icon_);
        if (dblHandler)
            icon_->OnDblClick = [this](QObject*) { log_ << QStringLiteral("dbl"); };
        for (TrayNotice notice : notices)
            tray().send(icon_->Id(), notice);
        deliver();
        QCOMPARE(log_.join(QLatin1Char(' ')), atOnce);
        // With a double-click handler a click waits one double-click time; where nothing is to come,
        // that time passes to show that nothing does.
        if (later == atOnce)
            QTest::qWait(tray().doubleClickMs * 2);
        QTRY_COMPARE(log_.join(QLatin1Char(' ')), later);
    }

    // The program's icon: left click and the menu's default item run the same handler, so a
    // double click runs it twice (once as the click, once as the default item).
    void doubleClickRunsDefaultItem_data()
    {
        QTest::addColumn<bool>("withMenu");
        QTest::addColumn<bool>("defaultItem");
        QTest::addColumn<bool>("leftPopup");
        QTest::addColumn<int>("expected");
        QTest::newRow("program's icon") << true << true << false << 2;
        QTest::newRow("menu without default item") << true << false << false << 1;
        QTest::newRow("no menu") << false << false << false << 1;
        QTest::newRow("left popup: no default item") << true << true << true << 1;
    }
    void doubleClickRunsDefaultItem()
    {
        QFETCH(bool, withMenu);
        QFETCH(bool, defaultItem);
        QFETCH(bool, leftPopup);
        QFETCH(int, expected);
        int sends = 0;
        QMenu menu;
        QAction* send = menu.addAction(QStringLiteral("Отправить сообщение..."));
        QAction* other = menu.addAction(QStringLiteral("Настройки..."));
        connect(send, &QAction::triggered, this, [&sends] { ++sends; });
        connect(other, &QAction::triggered, this, [] { QFAIL("not the default item"); });
        if (defaultItem)
            menu.setDefaultAction(send);
        if (withMenu)
            icon_->setPopupMenu(&menu);
        icon_->setLeftPopup(leftPopup);
        icon_->OnClick = [&sends](QObject*) { ++sends; };
        tray().send(icon_->Id(), {TrayNotice::LeftDown, TrayNotice::LeftUp, TrayNotice::LeftDoubleClick,
                                  TrayNotice::LeftUp});
        deliver();
        QTest::qWait(tray().doubleClickMs * 2); // nothing to wait for: no click comes late
        QCOMPARE(sends, expected);
    }

    void popup_data()
    {
        QTest::addColumn<bool>("withMenu");
        QTest::addColumn<bool>("cursorReadable");
        QTest::addColumn<int>("popups");
        QTest::newRow("menu at the cursor") << true << true << 1;
        QTest::newRow("no menu") << false << true << 0;
        QTest::newRow("cursor unreadable") << true << false << 0;
    }
    void popup()
    {
        QFETCH(bool, withMenu);
        QFETCH(bool, cursorReadable);
        QFETCH(int, popups);
        QMenu menu;
        if (withMenu)
            icon_->setPopupMenu(&menu);
        tray().cursor = cursorReadable ? std::optional<QPoint>(QPoint(640, 470)) : std::nullopt;
        tray().send(icon_->Id(), TrayNotice::RightDown);
        deliver();
        QCOMPARE(tray().popups.size(), popups);
        if (popups) {
            QCOMPARE(tray().popups.first().menu.data(), &menu);
            QCOMPARE(tray().popups.first().pos, QPoint(640, 470));
        }
        // Not again on the release.
        tray().send(icon_->Id(), TrayNotice::RightUp);
        deliver();
        QCOMPARE(tray().popups.size(), popups);
    }

    // The tray may open the menu by itself only while the icon is enabled, and never a menu
    // that is gone.
    void menuOfferedToTheTray()
    {
        auto* menu = new QMenu;
        icon_->setPopupMenu(menu);
        QCOMPARE(tray().menus.value(icon_->Id()).data(), menu);
        icon_->setEnabled(false);
        QVERIFY(!tray().menus.contains(icon_->Id()));
        icon_->setEnabled(true);
        QCOMPARE(tray().menus.value(icon_->Id()).data(), menu);
        delete menu;
        QVERIFY(!icon_->PopupMenu());
        QVERIFY(!tray().menus.contains(icon_->Id()));
        tray().send(icon_->Id(), TrayNotice::RightDown);
        deliver();
        QVERIFY(tray().popups.isEmpty());
    }

    void mouseArguments_data()
    {
        QTest::addColumn<TrayNotice>("notice");
        QTest::addColumn<Qt::KeyboardModifiers>("keys");
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("shift");
        QTest::newRow("left, no keys") << TrayNotice::LeftDown << Qt::KeyboardModifiers() << int(Qt::LeftButton)
                                       << int(TCoolTrayIcon::ssLeft);
        QTest::newRow("right with shift and ctrl")
            << TrayNotice::RightDown << (Qt::ShiftModifier | Qt::ControlModifier) << int(Qt::RightButton)
            << int(TCoolTrayIcon::ssRight | TCoolTrayIcon::ssShift | TCoolTrayIcon::ssCtrl);
        QTest::newRow("middle up with alt") << TrayNotice::MiddleUp << Qt::KeyboardModifiers(Qt::AltModifier)
                                            << int(Qt::MiddleButton)
                                            << int(TCoolTrayIcon::ssMiddle | TCoolTrayIcon::ssAlt);
        QTest::newRow("move with ctrl") << TrayNotice::MouseMove << Qt::KeyboardModifiers(Qt::ControlModifier)
                                        << int(Qt::NoButton) << int(TCoolTrayIcon::ssCtrl);
    }
    void mouseArguments()
    {
        QFETCH(TrayNotice, notice);
        QFETCH(Qt::KeyboardModifiers, keys);
        QFETCH(int, button);
        QFETCH(int, shift);
        tray().modifiers = keys;
        tray().cursor = QPoint(1201, 3);
        QList<QVariantList> seen;
        auto record = [&seen](QObject* sender, Qt::MouseButton b, TCoolTrayIcon::TShiftState s, int x, int y) {
            seen << QVariantList{QVariant::fromValue<QObject*>(sender), int(b), int(s), x, y};
        };
        icon_->OnMouseDown = record;
        icon_->OnMouseUp = record;
        icon_->OnMouseMove = [&seen](QObject* sender, TCoolTrayIcon::TShiftState s, int x, int y) {
            seen << QVariantList{QVariant::fromValue<QObject*>(sender), int(Qt::NoButton), int(s), x, y};
        };
        tray().send(icon_->Id(), notice);
        deliver();
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen[0][0].value<QObject*>(), icon_.get());
        QCOMPARE(seen[0][1].toInt(), button);
        QCOMPARE(seen[0][2].toInt(), shift);
        QCOMPARE(seen[0][3].toInt(), 1201);
        QCOMPARE(seen[0][4].toInt(), 3);
    }

    void enterAndExit()
    {
        int enters = 0;
        int exits = 0;
        icon_->OnMouseEnter = [&enters](QObject*) { ++enters; };
        icon_->OnMouseExit = [&exits](QObject*) { ++exits; };
        // Without the watch there are no enter/exit events.
        tray().send(icon_->Id(), TrayNotice::MouseMove);
        deliver();
        QCOMPARE(enters, 0);

        icon_->setWantEnterExitEvents(true);
        tray().cursor = QPoint(10, 10);
        tray().send(icon_->Id(), {TrayNotice::MouseMove, TrayNotice::MouseMove});
        deliver();
        QCOMPARE(enters, 1);
        QTest::qWait(80); // nothing to wait for: four pointer checks while the pointer rests on the icon
        QCOMPARE(exits, 0);
        tray().cursor = QPoint(11, 10);
        QTRY_COMPARE(exits, 1);
        QTest::qWait(60); // nothing to wait for: three pointer checks, no second exit
        QCOMPARE(exits, 1);
        tray().send(icon_->Id(), TrayNotice::MouseMove);
        deliver();
        QCOMPARE(enters, 2);
    }

    void iconIndex_data()
    {
        QTest::addColumn<int>("listSize");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("expected");
        QTest::newRow("in range") << 2 << 1 << 1;
        QTest::newRow("past the end is clamped") << 2 << 5 << 1;
        QTest::newRow("at the count is clamped") << 3 << 3 << 2;
        QTest::newRow("no list reads 0") << 0 << 5 << 0;
    }
    void iconIndex()
    {
        QFETCH(int, listSize);
        QFETCH(int, index);
        QFETCH(int, expected);
        icon_->setIcon(filled(Qt::white));
        if (listSize)
            icon_->setIconList(makeList(listSize));
        icon_->setIconIndex(index);
        QCOMPARE(icon_->IconIndex(), expected);
        const QColor shown = listSize ? QColor(Colours[expected]) : QColor(Qt::white);
        QCOMPARE(colourOf(icon_->Icon()), shown);
        QCOMPARE(shownColour(), shown);
    }

    void listDestroyedFirst()
    {
        TImageList* list = makeList(3);
        icon_->setIconList(list);
        icon_->setIconIndex(2);
        delete list;
        QVERIFY(!icon_->IconList());
        QCOMPARE(icon_->IconIndex(), 0);
        icon_->setCycleIcons(true); // nothing to cycle through, nothing breaks
        QTest::qWait(30); // nothing to wait for: a while of cycling over no list
    }

    void cycling()
    {
        icon_->setIconList(makeList(3));
        icon_->setIconIndex(2);
        QList<int> next;
        QList<QColor> shown;
        icon_->OnCycle = [&](QObject* sender, int nextIndex) {
            QCOMPARE(sender, icon_.get());
            next << nextIndex;
            shown << colourOf(icon_->Icon());
        };
        icon_->setCycleInterval(15);
        QVERIFY(next.isEmpty());
        icon_->setCycleIcons(true);
        // Always from the first image.
        QCOMPARE(icon_->IconIndex(), 0);
        QCOMPARE(colourOf(icon_->Icon()), QColor(Qt::red));
        QTRY_VERIFY(next.size() >= 4);
        QCOMPARE(next.mid(0, 4), (QList<int>{1, 2, 0, 1}));
        QCOMPARE(shown.mid(0, 4), (QList<QColor>{Qt::red, Qt::green, Qt::blue, Qt::red}));

        icon_->setCycleIcons(false);
        const QColor last = colourOf(icon_->Icon());
        const int ticks = next.size();
        QTest::qWait(60); // nothing to wait for: four intervals in which nothing cycles
        QCOMPARE(next.size(), ticks);
        QCOMPARE(colourOf(icon_->Icon()), last);

        // Switched on again: back to the first image.
        next.clear();
        icon_->setCycleIcons(true);
        QCOMPARE(colourOf(icon_->Icon()), QColor(Qt::red));
        QTRY_VERIFY(!next.isEmpty());
        QCOMPARE(next.first(), 1);
    }

    void tip_data()
    {
        QTest::addColumn<QString>("hint");
        QTest::addColumn<bool>("showHint");
        QTest::addColumn<QString>("tip");
        const QString longHint = QStringLiteral("Pellavine 1.2\r\n") + QString(200, QChar(0x0416));
        QTest::newRow("short") << "Pellavine 1.2" << true << "Pellavine 1.2";
        QTest::newRow("cut at 127") << longHint << true << longHint.left(127);
        QTest::newRow("exactly 127") << QString(127, QLatin1Char('a')) << true << QString(127, QLatin1Char('a'));
        QTest::newRow("empty") << "" << true << "";
        QTest::newRow("hint off") << "Pellavine 1.2" << false << "";
    }
    void tip()
    {
        QFETCH(QString, hint);
        QFETCH(bool, showHint);
        QFETCH(QString, tip);
        icon_->setIconVisible(true);
        icon_->setShowHint(showHint);
        icon_->setHint(hint);
        QCOMPARE(icon_->Hint(), hint);
        QCOMPARE(tray().requests.last().kind, TrayRequest::Modify);
        QCOMPARE(tray().shown.value(icon_->Id()).tip, tip);
        // Showing the hint again brings the tip back.
        icon_->setShowHint(true);
        QCOMPARE(tray().shown.value(icon_->Id()).tip, hint.left(127));
    }

    void balloon_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("sentTitle");
        QTest::addColumn<QString>("sentText");
        QTest::addColumn<quint32>("timeout");
        const QString text300(300, QLatin1Char('t'));
        const QString title100(100, QChar(0x0416));
        QTest::newRow("first run") << "Pellavine 1.2" << "Добро пожаловать" << 1 << 60 << "Pellavine 1.2"
                                   << "Добро пожаловать" << 60000u;
        QTest::newRow("long text and title are cut")
            << title100 << text300 << 2 << 10 << title100.left(63) << text300.left(255) << 10000u;
        QTest::newRow("error, longest time") << "t" << "x" << 3 << 255 << "t" << "x" << 255000u;
    }
    void balloon()
    {
        QFETCH(QString, title);
        QFETCH(QString, text);
        QFETCH(int, kind);
        QFETCH(int, seconds);
        QFETCH(QString, sentTitle);
        QFETCH(QString, sentText);
        QFETCH(quint32, timeout);
        icon_->setIconVisible(true);
        tray().requests.clear();
        QVERIFY(icon_->ShowBalloon(title, text, TCoolTrayIcon::TBalloonHintIcon(kind), quint8(seconds)));

        QCOMPARE(tray().requests.size(), 2);
        // First any balloon still showing is cleared...
        const TrayIconRecord clear = tray().requests[0].record;
        QVERIFY(clear.flags & TrayIconRecord::InfoFlag);
        QVERIFY(clear.infoText.isEmpty());
        // ...then the new one is sent.
        const TrayIconRecord sent = tray().requests[1].record;
        QCOMPARE(tray().requests[1].kind, TrayRequest::Modify);
        QCOMPARE(sent.flags, TrayIconRecord::NormalFlags | TrayIconRecord::InfoFlag);
        QCOMPARE(sent.infoTitle, sentTitle);
        QCOMPARE(sent.infoText, sentText);
        QCOMPARE(sent.timeoutOrVersion, timeout);
        QCOMPARE(sent.infoFlags, quint32(kind));

        // Later updates do not repeat the balloon.
        icon_->setHint(QStringLiteral("new"));
        QCOMPARE(tray().requests.last().record.flags, TrayIconRecord::NormalFlags);
    }

    void balloonOfHiddenIconFails()
    {
        QVERIFY(!icon_->ShowBalloon(QStringLiteral("t"), QStringLiteral("x"), TCoolTrayIcon::bitInfo, 5));
        QVERIFY(!icon_->UpdateTrayIcon());
        QVERIFY(tray().shown.isEmpty());
    }

    void visibility()
    {
        QVERIFY(!icon_->IconVisible());
        icon_->setIconVisible(true);
        QVERIFY(icon_->IconVisible());
        QCOMPARE(tray().requests.last().kind, TrayRequest::Add);
        QVERIFY(tray().shown.contains(icon_->Id()));
        icon_->setIconVisible(false);
        QVERIFY(!tray().shown.contains(icon_->Id()));
        // A second icon is a second entry of its own.
        TCoolTrayIcon other(owner_.get());
        other.setIconVisible(true);
        icon_->setIconVisible(true);
        QCOMPARE(tray().shown.size(), 2);
        // A destroyed icon leaves the tray.
        icon_.reset();
        QCOMPARE(tray().shown.keys(), QList<quintptr>{other.Id()});
    }

    void trayRestart_data()
    {
        QTest::addColumn<bool>("visible");
        QTest::newRow("visible icon comes back") << true;
        QTest::newRow("hidden icon stays away") << false;
    }
    void trayRestart()
    {
        QFETCH(bool, visible);
        icon_->setHint(QStringLiteral("Pellavine 1.2"));
        icon_->setIconVisible(true);
        icon_->setIconVisible(visible);
        tray().restart();
        QVERIFY(tray().shown.isEmpty());
        const int adds = tray().count(TrayRequest::Add);
        deliver();
        QCOMPARE(tray().count(TrayRequest::Add), adds + (visible ? 1 : 0));
        QCOMPARE(tray().shown.contains(icon_->Id()), visible);
        if (visible)
            QCOMPARE(tray().shown.value(icon_->Id()).tip, QStringLiteral("Pellavine 1.2"));
    }

    void oneSharedReceiver()
    {
        QCOMPARE(TTrayIconHandler::Instance()->RefCount(), 1);
        auto second = std::make_unique<TCoolTrayIcon>(nullptr);
        QCOMPARE(TTrayIconHandler::Instance()->RefCount(), 2);
        // Notices reach the icon they name, and only that one.
        int first = 0;
        int other = 0;
        icon_->OnClick = [&first](QObject*) { ++first; };
        second->OnClick = [&other](QObject*) { ++other; };
        tray().send(second->Id(), {TrayNotice::LeftDown, TrayNotice::LeftUp});
        deliver();
        QCOMPARE(other, 1);
        QCOMPARE(first, 0);
        // A notice for an icon destroyed meanwhile goes nowhere.
        const quintptr gone = second->Id();
        tray().send(gone, {TrayNotice::LeftDown, TrayNotice::LeftUp});
        second.reset();
        deliver();
        QCOMPARE(other, 1);
        icon_.reset();
        QVERIFY(!TTrayIconHandler::Instance());
    }

    void loaded_data()
    {
        QTest::addColumn<bool>("showMainForm");
        QTest::addColumn<bool>("visible");
        QTest::newRow("normal start, icon shown") << true << true;
        QTest::newRow("start hidden") << false << false;
    }
    void loaded()
    {
        QFETCH(bool, showMainForm);
        QFETCH(bool, visible);
        int hiddenAtStart = 0;
        controls::applicationLink().hideMainFormAtStart = [&hiddenAtStart] { ++hiddenAtStart; };
        owner_->show();
        icon_->OnStartup = [showMainForm](QObject*, bool& show) {
            QVERIFY(show);
            show = showMainForm;
        };
        icon_->setIconVisible(visible);
        tray().requests.clear();
        tray().shown.clear();
        icon_->Loaded();
        QCOMPARE(owner_->isVisible(), showMainForm);
        QCOMPARE(hiddenAtStart, showMainForm ? 0 : 1);
        QCOMPARE(tray().shown.contains(icon_->Id()), visible);
        QCOMPARE(tray().requests.last().kind, TrayRequest::SetVersion);
        QCOMPARE(tray().requests.last().accepted, visible);
    }

    void minimizeToTray_data()
    {
        QTest::addColumn<bool>("minimizeToTray");
        QTest::addColumn<bool>("handler");
        QTest::newRow("to the tray, with event") << true << true;
        QTest::newRow("to the tray, no event") << true << false;
        QTest::newRow("normal minimise") << false << true;
    }
    void minimizeToTray()
    {
        QFETCH(bool, minimizeToTray);
        QFETCH(bool, handler);
        int events = 0;
        icon_->setMinimizeToTray(minimizeToTray);
        if (handler)
            icon_->OnMinimizeToTray = [&events](QObject*) { ++events; };
        owner_->show();
        QVERIFY(QTest::qWaitForWindowExposed(owner_.get()));
        owner_->setWindowState(Qt::WindowMinimized);
        QTRY_COMPARE(icon_->IconVisible(), minimizeToTray);
        QCOMPARE(owner_->isVisible(), !minimizeToTray);
        QCOMPARE(events, minimizeToTray && handler ? 1 : 0);
        if (minimizeToTray)
            QVERIFY(!owner_->isMinimized());
    }

    void hideToTrayUsesTheMainForm()
    {
        QWidget main;
        main.show();
        owner_->show();
        controls::applicationLink().mainForm = [&main] { return &main; };
        int taskbar = 0;
        controls::applicationLink().hideTaskbarButton = [&taskbar] { ++taskbar; };
        icon_->HideToTray();
        QVERIFY(!main.isVisible());
        QVERIFY(owner_->isVisible());
        QCOMPARE(taskbar, 1);
        // An icon without an owner hides nothing.
        TCoolTrayIcon ownerless(nullptr);
        main.show();
        ownerless.HideToTray();
        QVERIFY(main.isVisible());
        QCOMPARE(taskbar, 1);
    }

    void shownOwnerIsActivated()
    {
        owner_->show();
        QTRY_COMPARE(fake_->windows.activations.size(), 1);
        QCOMPARE(fake_->windows.activations.first().data(), owner_.get());
    }

    // An error escaping a handler is reported like any other; the next notice still works.
    void errorInHandlerIsReported()
    {
        int clicks = 0;
        icon_->OnClick = [&clicks](QObject*) {
            if (++clicks == 1)
                throw std::runtime_error("Cannot open file Adrs.ini");
        };
        tray().send(icon_->Id(), {TrayNotice::LeftDown, TrayNotice::LeftUp, TrayNotice::LeftDown, TrayNotice::LeftUp});
        deliver();
        QCOMPARE(clicks, 2);
        QCOMPARE(fake_->dialogs.texts(platform::BoxKind::Error), QStringList{QStringLiteral("Cannot open file Adrs.ini.")});
    }
};

QTEST_MAIN(CoolTrayIconTest)
#include "cool_tray_icon_test.moc"
