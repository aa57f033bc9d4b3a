#include "tests/support/fake_platform.h"
#include "platform/desktop_notifications.h"
#include "platform/qt_tray_host.h"

#include <QTest>
#include <QTextDocument>

#include <memory>

using platform::QtTrayHost;
using platform::TrayActivationTranslator;
using platform::TrayIconRecord;
using platform::TrayNotice;
using platform::TrayRequest;

namespace {

const char* name(TrayNotice notice)
{
    switch (notice) {
    case TrayNotice::MouseMove: return "move";
    case TrayNotice::LeftDown: return "downL";
    case TrayNotice::LeftUp: return "upL";
    case TrayNotice::LeftDoubleClick: return "dbl";
    case TrayNotice::RightDown: return "downR";
    case TrayNotice::RightUp: return "upR";
    case TrayNotice::MiddleDown: return "downM";
    case TrayNotice::MiddleUp: return "upM";
    case TrayNotice::BalloonShow: return "balloonShow";
    case TrayNotice::BalloonHide: return "balloonHide";
    case TrayNotice::BalloonTimeout: return "balloonTimeout";
    case TrayNotice::BalloonClick: return "balloonClick";
    case TrayNotice::Restarted: return "restarted";
    }
    return "?";
}

QIcon filled(Qt::GlobalColor colour)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

} // namespace

class TrayHostTest : public QObject {
    Q_OBJECT
private:
    QStringList heard_;
    std::unique_ptr<platform::FakePlatform> fake_;
    std::unique_ptr<QtTrayHost> host_;

    TrayIconRecord record(quintptr id, const QString& tip = QString())
    {
        TrayIconRecord r;
        r.id = id;
        r.icon = filled(Qt::red);
        r.tip = tip;
        return r;
    }
    TrayIconRecord balloon(quintptr id, const QString& title, const QString& text, quint32 ms)
    {
        TrayIconRecord r = record(id);
        r.flags |= TrayIconRecord::InfoFlag;
        r.infoTitle = title;
        r.infoText = text;
        r.timeoutOrVersion = ms;
        r.infoFlags = 1;
        return r;
    }
    QString heard() const { return heard_.join(QLatin1Char(' ')); }

private Q_SLOTS:
    void init()
    {
        heard_.clear();
        fake_ = std::make_unique<platform::FakePlatform>();
        platform::TrayHost::setListener([this](quintptr id, TrayNotice notice) {
            heard_ << QStringLiteral("%1:%2").arg(id).arg(QLatin1String(name(notice)));
        });
        host_ = std::make_unique<QtTrayHost>();
        host_->setAvailabilityProbe([] { return false; });
    }
    void cleanup()
    {
        host_.reset();
        platform::TrayHost::setListener(nullptr);
        fake_.reset();
    }

    // The tool tip shows the tip's characters exactly, whatever markup they look like.
    void toolTipIsPlainText_data()
    {
        QTest::addColumn<QString>("tip");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << "Pellavine 1.2" << "Pellavine 1.2";
        QTest::newRow("starts with a tag") << "<b>boss</b> wrote" << "<b>boss</b> wrote";
        QTest::newRow("image tag") << "<img src='/etc/passwd'>" << "<img src='/etc/passwd'>";
        QTest::newRow("entity") << "a &amp; b &lt;" << "a &amp; b &lt;";
        QTest::newRow("two lines") << "Pellavine 1.2\r\nПоследнее сообщение от <pc>"
                                   << "Pellavine 1.2\nПоследнее сообщение от <pc>";
        QTest::newRow("spaces kept") << "a   b" << "a   b";
    }
    void toolTipIsPlainText()
    {
        QFETCH(QString, tip);
        QFETCH(QString, shown);
        const QString toolTip = platform::trayToolTip(tip);
        // Qt takes it for rich text (so no tag of the tip can be), and what it renders is the tip.
        QVERIFY(Qt::mightBeRichText(toolTip));
        QTextDocument document;
        document.setHtml(toolTip);
        QString rendered = document.toPlainText();
        rendered.replace(QChar::LineSeparator, QLatin1Char('\n'));
        QCOMPARE(rendered, shown);
        QVERIFY(!toolTip.contains(QLatin1String("<img")));
        QVERIFY(!toolTip.contains(QLatin1String("<b>")));
    }
    void emptyTipHasNoToolTip() { QVERIFY(platform::trayToolTip(QString()).isEmpty()); }

    // A balloon that becomes a desktop notification reads as written on a server that takes
    // markup in the body, and goes unchanged to one that does not.
    void notificationBodyIsPlainText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << "Pellavine работает";
        QTest::newRow("tags") << "<b>boss</b> wrote <a href='x'>here</a>";
        QTest::newRow("image tag") << "<img src='/etc/passwd'>";
        QTest::newRow("entities") << "a &amp; b &lt; & c";
    }
    void notificationBodyIsPlainText()
    {
        QFETCH(QString, text);
        QTextDocument document;
        document.setHtml(platform::notificationBody(text, true));
        QCOMPARE(document.toPlainText(), text);
        QCOMPARE(platform::notificationBody(text, false), text);
    }

    // What Qt reports for the tray icon, turned into the gestures' notifications. "|" lets the
    // event loop turn between two activations.
    void translator_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("expected");
        QTest::newRow("click") << "trigger |" << "downL upL";
        QTest::newRow("double click as Qt reports it: click, click, double click")
            << "trigger | trigger doubleclick |" << "downL upL dbl upL";
        QTest::newRow("double click reported alone") << "doubleclick |" << "downL upL dbl upL";
        QTest::newRow("double click right after its click") << "trigger | doubleclick |" << "downL upL dbl upL";
        QTest::newRow("two clicks") << "trigger | trigger |" << "downL upL downL upL";
        QTest::newRow("context") << "context |" << "downR upR";
        QTest::newRow("middle") << "middle |" << "downM upM";
        QTest::newRow("click then context, in order") << "trigger context |" << "downL upL downR upR";
        QTest::newRow("unknown") << "unknown |" << "";
    }
    void translator()
    {
        QFETCH(QString, script);
        QFETCH(QString, expected);
        QStringList out;
        TrayActivationTranslator translator([&out](TrayNotice n) { out << QLatin1String(name(n)); },
                                            [] { return 400; });
        for (const QString& step : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (step == QLatin1String("|"))
                QCoreApplication::processEvents();
            else if (step == QLatin1String("trigger"))
                translator.activated(QSystemTrayIcon::Trigger);
            else if (step == QLatin1String("doubleclick"))
                translator.activated(QSystemTrayIcon::DoubleClick);
            else if (step == QLatin1String("context"))
                translator.activated(QSystemTrayIcon::Context);
            else if (step == QLatin1String("middle"))
                translator.activated(QSystemTrayIcon::MiddleClick);
            else
                translator.activated(QSystemTrayIcon::Unknown);
        }
        QCOMPARE(out.join(QLatin1Char(' ')), expected);
    }

    void requestsFollowTheShellRules_data()
    {
        QTest::addColumn<QList<int>>("kinds");
        QTest::addColumn<QList<bool>>("results");
        const int add = int(TrayRequest::Add), modify = int(TrayRequest::Modify), del = int(TrayRequest::Delete),
                  version = int(TrayRequest::SetVersion);
        QTest::newRow("modify before add") << QList<int>{modify, version, del} << QList<bool>{false, false, false};
        QTest::newRow("add, modify, delete")
            << QList<int>{add, modify, version, del} << QList<bool>{true, true, true, true};
        QTest::newRow("add twice") << QList<int>{add, add} << QList<bool>{true, false};
        QTest::newRow("delete twice") << QList<int>{add, del, del, modify} << QList<bool>{true, true, false, false};
    }
    void requestsFollowTheShellRules()
    {
        QFETCH(QList<int>, kinds);
        QFETCH(QList<bool>, results);
        for (int i = 0; i < kinds.size(); ++i)
            QCOMPARE(host_->request(TrayRequest(kinds[i]), record(7)), results[i]);
    }

    // Without a notification area the icon gets a stand-in window that takes its part.
    void standInTakesTheIconsPart()
    {
        QVERIFY(host_->request(TrayRequest::Add, record(7, QStringLiteral("<b>Pellavine</b>"))));
        {
            platform::TrayStandIn* standIn = host_->standIn(7);
            QVERIFY(standIn);
            QVERIFY(standIn->isVisible());
            QCOMPARE(standIn->size(), QSize(32, 32));
            QVERIFY(standIn->windowFlags() & Qt::WindowStaysOnTopHint);
            QVERIFY(standIn->windowFlags() & Qt::FramelessWindowHint);
            QCOMPARE(standIn->toolTip(), platform::trayToolTip(QStringLiteral("<b>Pellavine</b>")));
            QCOMPARE(standIn->icon().pixmap(16, 16).toImage().pixelColor(8, 8), QColor(Qt::red));
        }
        // Blinking: a modify changes the picture.
        TrayIconRecord blink = record(7, QStringLiteral("<b>Pellavine</b>"));
        blink.icon = filled(Qt::green);
        QVERIFY(host_->request(TrayRequest::Modify, blink));
        QCOMPARE(host_->standIn(7)->icon().pixmap(16, 16).toImage().pixelColor(8, 8), QColor(Qt::green));
        // Closing it is refused: it is the program's only handle.
        host_->standIn(7)->close();
        QVERIFY(host_->standIn(7)->isVisible());

        QVERIFY(host_->request(TrayRequest::Delete, record(7)));
        QVERIFY(!host_->standIn(7));
    }

    void standInMouse_data()
    {
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<QString>("expected");
        QTest::newRow("left click") << "click" << "7:downL 7:upL";
        QTest::newRow("double click") << "double" << "7:downL 7:upL 7:dbl 7:upL";
        QTest::newRow("right press and release") << "right" << "7:downR 7:upR";
        QTest::newRow("middle") << "middle" << "7:downM 7:upM";
        QTest::newRow("drag reports nothing") << "drag" << "";
    }
    void standInMouse()
    {
        QFETCH(QString, gesture);
        QFETCH(QString, expected);
        QVERIFY(host_->request(TrayRequest::Add, record(7)));
        platform::TrayStandIn* standIn = host_->standIn(7);
        QVERIFY(QTest::qWaitForWindowExposed(standIn));
        const QPoint middle(16, 16);
        if (gesture == QLatin1String("click")) {
            QTest::mouseClick(standIn, Qt::LeftButton, {}, middle);
        } else if (gesture == QLatin1String("double")) {
            // As the window system delivers it: press, release, press + double click, release.
            QTest::mouseClick(standIn, Qt::LeftButton, {}, middle);
            QTest::mouseDClick(standIn, Qt::LeftButton, {}, middle);
            QTest::mouseRelease(standIn, Qt::LeftButton, {}, middle);
        } else if (gesture == QLatin1String("right")) {
            QTest::mouseClick(standIn, Qt::RightButton, {}, middle);
        } else if (gesture == QLatin1String("middle")) {
            QTest::mouseClick(standIn, Qt::MiddleButton, {}, middle);
        } else {
            QTest::mousePress(standIn, Qt::LeftButton, {}, middle);
            QTest::mouseMove(standIn, middle + QPoint(12, 12));
            QTest::mouseRelease(standIn, Qt::LeftButton, {}, middle + QPoint(12, 12));
        }
        heard_.removeAll(QStringLiteral("7:move"));
        QCOMPARE(heard(), expected);
        if (gesture == QLatin1String("drag")) {
            QCOMPARE(fake_->windows.moves.size(), 1);
            QCOMPARE(fake_->windows.moves.first().data(), standIn);
        }
    }

    void standInBalloon()
    {
        QVERIFY(host_->request(TrayRequest::Add, record(7)));
        const QString title = QStringLiteral("<i>") + QString(70, QLatin1Char('T'));
        const QString text = QString(300, QLatin1Char('x'));
        QVERIFY(host_->request(TrayRequest::Modify, balloon(7, title, text, 60000)));
        QCOMPARE(heard(), QStringLiteral("7:balloonShow"));
        platform::TrayBubble* bubble = host_->standInBalloon(7);
        QVERIFY(bubble);
        QVERIFY(bubble->isVisible());
        QCOMPARE(bubble->title(), title.left(63));
        QCOMPARE(bubble->text(), text.left(255));

        // A new balloon replaces it; an empty one clears it.
        QVERIFY(host_->request(TrayRequest::Modify, balloon(7, QStringLiteral("t"), QStringLiteral("second"), 60000)));
        QCOMPARE(heard(), QStringLiteral("7:balloonShow 7:balloonHide 7:balloonShow"));
        QVERIFY(host_->request(TrayRequest::Modify, balloon(7, QString(), QString(), 0)));
        QCOMPARE(heard_.last(), QStringLiteral("7:balloonHide"));
        QVERIFY(!host_->standInBalloon(7));
        QVERIFY(!bubble->isVisible());
        // A modify without the info flag leaves balloons alone.
        heard_.clear();
        QVERIFY(host_->request(TrayRequest::Modify, record(7)));
        QCOMPARE(heard(), QString());

        // Clicked by the user.
        QVERIFY(host_->request(TrayRequest::Modify, balloon(7, QStringLiteral("t"), QStringLiteral("click me"), 60000)));
        QTest::mouseClick(host_->standInBalloon(7), Qt::LeftButton);
        QCOMPARE(heard(), QStringLiteral("7:balloonShow 7:balloonClick"));
        QVERIFY(!host_->standInBalloon(7));

        // Timed out.
        heard_.clear();
        QVERIFY(host_->request(TrayRequest::Modify, balloon(7, QStringLiteral("t"), QStringLiteral("wait"), 40)));
        QTRY_COMPARE(heard(), QStringLiteral("7:balloonShow 7:balloonTimeout"));
        QVERIFY(!bubble->isVisible());
    }

    // The user is told once why the stand-in is there, not at every showing.
    void explainedOnce()
    {
        QVERIFY(!host_->explanation());
        QVERIFY(host_->request(TrayRequest::Add, record(7)));
        platform::TrayBubble* explanation = host_->explanation();
        QVERIFY(explanation);
        QVERIFY(explanation->isVisible());
        QCOMPARE(explanation->text(), QtTrayHost::explanationText());
        QTest::mouseClick(explanation, Qt::LeftButton);
        QVERIFY(!explanation->isVisible());
        QVERIFY(host_->request(TrayRequest::Delete, record(7)));
        QVERIFY(host_->request(TrayRequest::Add, record(7)));
        QCOMPARE(host_->explanation(), explanation);
        QVERIFY(!explanation->isVisible());
        QVERIFY(fake_->dialogs.boxes.isEmpty()); // no modal box holds up the start
    }

    // The tray appearing or going away loses every icon; the owners hear it and add theirs again.
    void availabilityChangeIsARestart()
    {
        bool available = false;
        int probes = 0;
        host_->setAvailabilityProbe([&] {
            ++probes;
            return available;
        });
        host_->setPollInterval(10);
        QVERIFY(host_->request(TrayRequest::Add, record(7)));
        QVERIFY(host_->standIn(7));
        const int before = probes;
        QTRY_VERIFY(probes >= before + 3); // asked again and again, with no change
        QVERIFY(heard_.isEmpty());
        available = true;
        QTRY_COMPARE(heard(), QStringLiteral("0:restarted"));
        QVERIFY(!host_->standIn(7));
        QVERIFY(!host_->request(TrayRequest::Modify, record(7)));
        // Added again, it goes to the tray this time.
        QVERIFY(host_->request(TrayRequest::Add, record(7)));
        QVERIFY(!host_->standIn(7));
        QVERIFY(host_->request(TrayRequest::Modify, record(7)));
    }
};

QTEST_MAIN(TrayHostTest)
#include "tray_host_test.moc"
