// The tray host on a private session bus whose StatusNotifierWatcher and notification server
// hold every call until the test answers it: the GUI thread runs on meanwhile, and answers that
// come late are still used.
#include "platform/qt_tray_host.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <memory>

using platform::QtTrayHost;
using platform::TrayIconRecord;
using platform::TrayNotice;
using platform::TrayRequest;

namespace {

const QString Watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString Notifications = QStringLiteral("org.freedesktop.Notifications");
const QString NotificationsPath = QStringLiteral("/org/freedesktop/Notifications");

// Both services in one: every call is held, unanswered, until the test answers it.
class SilentPeer final : public QDBusVirtualObject {
public:
    QList<QDBusMessage> held;

    QString introspect(const QString&) const override { return QString(); }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override
    {
        held << message;
        return true;
    }
    bool holds(const QString& member) const
    {
        return std::any_of(held.begin(), held.end(), [&](const QDBusMessage& m) { return m.member() == member; });
    }
    QDBusMessage take(const QString& member)
    {
        for (qsizetype i = 0; i < held.size(); ++i) {
            if (held[i].member() == member)
                return held.takeAt(i);
        }
        return QDBusMessage();
    }
};

} // namespace

class TrayBusTest : public QObject {
    Q_OBJECT
private:
    QProcess bus_;
    QDBusConnection peerBus_{QStringLiteral("peer")};
    SilentPeer peer_;
    QStringList heard_;
    std::unique_ptr<QtTrayHost> host_;

    // Answers the call once the peer holds it. (A helper's failure returns from the helper only:
    // its callers look at QTest::currentTestFailed().)
    void answer(const QString& member, const QVariantList& values)
    {
        QTRY_VERIFY(peer_.holds(member));
        QVERIFY(peerBus_.send(peer_.take(member).createReply(values)));
    }
    void signal(const QString& name, const QVariantList& values)
    {
        QDBusMessage message = QDBusMessage::createSignal(NotificationsPath, Notifications, name);
        message.setArguments(values);
        QVERIFY(peerBus_.send(message));
    }
    static TrayIconRecord record(const QString& tip, const QString& balloon = QString())
    {
        TrayIconRecord r;
        r.id = 7;
        r.icon = QIcon(QPixmap(16, 16));
        r.tip = tip;
        if (!balloon.isNull()) {
            r.flags |= TrayIconRecord::InfoFlag;
            r.infoTitle = QStringLiteral("Pellavine 1.2");
            r.infoText = balloon;
            r.timeoutOrVersion = 60000;
        }
        return r;
    }
    // An icon in the tray, shown before the watcher said that its host shows StatusNotifierItems:
    // the loop ran on meanwhile (the peer lives on this thread), and the late answer still makes
    // the tool tip plain text, as a StatusNotifierItem's is.
    void itemInTray(const QString& tip)
    {
        QVERIFY(host_->request(TrayRequest::Add, record(tip)));
        QCOMPARE(host_->trayIcon(7)->toolTip(), platform::trayToolTip(tip));
        answer(QStringLiteral("Get"), {QVariant::fromValue(QDBusVariant(true))});
        QTRY_COMPARE(host_->trayIcon(7)->toolTip(), tip);
    }
    // ... with a balloon on its way to the notification server: it holds Notify. The server
    // reads no markup when it tells its capabilities, and is assumed to when it tells nothing.
    void balloonOnItsWay(bool capabilitiesTold = true)
    {
        itemInTray(QStringLiteral("tip"));
        if (QTest::currentTestFailed())
            return;
        QVERIFY(host_->request(TrayRequest::Modify, record(QStringLiteral("tip"), QStringLiteral("<b>hi</b> & bye"))));
        QCOMPARE(heard_.join(QLatin1Char(' ')), QStringLiteral("balloonShow"));
        if (capabilitiesTold)
            answer(QStringLiteral("GetCapabilities"), {QStringList{QStringLiteral("body"), QStringLiteral("actions")}});
        QTRY_VERIFY_WITH_TIMEOUT(peer_.holds(QStringLiteral("Notify")), 10000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            QSKIP("dbus-daemon is not installed");
        bus_.start(daemon, {QStringLiteral("--session"), QStringLiteral("--address=unix:tmpdir=/tmp"),
                            QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        QVERIFY(bus_.waitForStarted());
        QTRY_VERIFY(bus_.canReadLine());
        const QString address = QString::fromUtf8(bus_.readLine()).trimmed();
        // Read by the host's first use of the session bus, which comes after this.
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
        peerBus_ = QDBusConnection::connectToBus(address, QStringLiteral("peer"));
        QVERIFY(peerBus_.registerVirtualObject(QStringLiteral("/StatusNotifierWatcher"), &peer_));
        QVERIFY(peerBus_.registerVirtualObject(NotificationsPath, &peer_));
        QVERIFY(peerBus_.registerService(Watcher));
        QVERIFY(peerBus_.registerService(Notifications));
    }
    void cleanupTestCase()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("peer"));
        bus_.kill();
        bus_.waitForFinished();
    }
    void init()
    {
        peer_.held.clear();
        heard_.clear();
        platform::TrayHost::setListener([this](quintptr, TrayNotice notice) {
            heard_ << QString::fromLatin1(notice == TrayNotice::BalloonShow      ? "balloonShow"
                                          : notice == TrayNotice::BalloonHide    ? "balloonHide"
                                          : notice == TrayNotice::BalloonTimeout ? "balloonTimeout"
                                          : notice == TrayNotice::BalloonClick   ? "balloonClick"
                                                                                 : "other");
        });
        host_ = std::make_unique<QtTrayHost>();
        host_->setAvailabilityProbe([] { return true; });
    }
    void cleanup()
    {
        host_.reset();
        platform::TrayHost::setListener(nullptr);
    }

    void lateWatcherAnswerIsUsed() { itemInTray(QStringLiteral("<b>boss</b> wrote")); }

    // Capabilities told late still decide how the body is written; a server that never tells
    // them still gets the balloon.
    void capabilitiesDecideTheBody_data()
    {
        QTest::addColumn<bool>("told");
        QTest::addColumn<QString>("body");
        QTest::newRow("told late: no markup") << true << "<b>hi</b> & bye";
        QTest::newRow("never told") << false << "&lt;b&gt;hi&lt;/b&gt; &amp; bye";
    }
    void capabilitiesDecideTheBody()
    {
        QFETCH(bool, told);
        QFETCH(QString, body);
        balloonOnItsWay(told);
        if (QTest::currentTestFailed())
            return;
        const QDBusMessage notify = peer_.take(QStringLiteral("Notify"));
        QCOMPARE(notify.arguments().value(3).toString(), QStringLiteral("Pellavine 1.2"));
        QCOMPARE(notify.arguments().value(4).toString(), body);
    }

    // How the notification ends is how the balloon ends; one the server names only after the
    // balloon ended, or after the host went, is closed.
    void notificationEnds_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("heard");
        QTest::addColumn<bool>("closed");
        QTest::newRow("expired") << "closed 1" << "balloonShow balloonTimeout" << false;
        QTest::newRow("dismissed by the user") << "closed 2" << "balloonShow balloonTimeout" << false;
        QTest::newRow("closed by another program") << "closed 3" << "balloonShow balloonHide" << false;
        QTest::newRow("clicked") << "action" << "balloonShow balloonClick" << false;
        QTest::newRow("ended before the server named it") << "early end" << "balloonShow balloonHide" << true;
        QTest::newRow("host gone before the server named it") << "host ends" << "balloonShow" << true;
    }
    void notificationEnds()
    {
        QFETCH(QString, how);
        QFETCH(QString, heard);
        QFETCH(bool, closed);
        balloonOnItsWay();
        if (QTest::currentTestFailed())
            return;
        if (how == QLatin1String("early end"))
            QVERIFY(host_->request(TrayRequest::Modify, record(QStringLiteral("tip"), QStringLiteral(""))));
        else if (how == QLatin1String("host ends"))
            host_.reset();
        answer(QStringLiteral("Notify"), {uint(42)});
        if (how.startsWith(QLatin1String("closed ")))
            signal(QStringLiteral("NotificationClosed"), {uint(42), how.mid(7).toUInt()});
        else if (how == QLatin1String("action"))
            signal(QStringLiteral("ActionInvoked"), {uint(42), QStringLiteral("default")});
        if (closed) {
            QTRY_VERIFY(peer_.holds(QStringLiteral("CloseNotification")));
            QCOMPARE(peer_.take(QStringLiteral("CloseNotification")).arguments().value(0).toUInt(), 42u);
        }
        QTRY_COMPARE(heard_.join(QLatin1Char(' ')), heard);
    }
};

QTEST_MAIN(TrayBusTest)
#include "tray_bus_test.moc"
