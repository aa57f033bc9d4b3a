#include "controls/simple_timer.h"
#include "tests/support/fake_platform.h"

#include <QElapsedTimer>
#include <QTest>

#include <memory>
#include <stdexcept>

class SimpleTimerTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A script of operations on one timer, then whether it is Running and whether ticks come.
    // Ops: "pN" Period := N, "r1"/"r0" Running := true/false, "h1"/"h0" OnTick := counter/empty.
    void operations_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("running");
        QTest::addColumn<bool>("ticking");
        QTest::newRow("started") << "p10 r1" << true << true;
        QTest::newRow("period 0 then start stays stopped") << "p0 r1" << false << false;
        QTest::newRow("period 0 while running keeps Running, stops ticks") << "p10 r1 p0" << true << false;
        QTest::newRow("non-zero period after 0 resumes") << "p10 r1 p0 p15" << true << true;
        QTest::newRow("period change on a stopped timer does not start it") << "p10 p20" << false << false;
        QTest::newRow("stopped") << "p10 r1 r0" << false << false;
        QTest::newRow("empty handler keeps Running, stops ticks") << "p10 r1 h0" << true << false;
        QTest::newRow("handler back alone does not resume") << "p10 r1 h0 h1" << true << false;
        QTest::newRow("handler back and started again") << "p10 r1 h0 h1 r1" << true << true;
        QTest::newRow("period 0, stop, period back: still stopped") << "p10 r1 p0 r0 p10" << false << false;
    }
    void operations()
    {
        QFETCH(QString, script);
        QFETCH(bool, running);
        QFETCH(bool, ticking);

        int ticks = 0;
        TSimpleTimer timer;
        timer.setOnTick([&ticks](TSimpleTimer*) { ++ticks; });
        for (const QString& op : script.split(QLatin1Char(' '))) {
            const int value = op.mid(1).toInt();
            switch (op.at(0).toLatin1()) {
            case 'p':
                timer.setPeriod(quint32(value));
                break;
            case 'r':
                timer.setRunning(value != 0);
                break;
            case 'h':
                if (value)
                    timer.setOnTick([&ticks](TSimpleTimer*) { ++ticks; });
                else
                    timer.setOnTick(nullptr);
                break;
            default:
                QFAIL(qPrintable(QStringLiteral("bad op ") + op));
            }
        }
        QCOMPARE(timer.Running(), running);
        if (ticking) {
            QTRY_VERIFY_WITH_TIMEOUT(ticks >= 2, 2000);
        } else {
            QTest::qWait(80); // nothing to wait for: eight periods in which no tick comes
            QCOMPARE(ticks, 0);
        }
        QCOMPARE(timer.Running(), running);
    }

    void constructorSetsPeriodAndHandler()
    {
        TSimpleTimer plain;
        QCOMPARE(plain.Period(), 1000u);
        QVERIFY(!plain.Running());
        QCOMPARE(plain.SystemTimerId(), reinterpret_cast<quintptr>(&plain));

        TSimpleTimer* sender = nullptr;
        TSimpleTimer timer(20, [&sender](TSimpleTimer* s) { sender = s; });
        QCOMPARE(timer.Period(), 20u);
        timer.setRunning(true);
        QTRY_COMPARE(sender, &timer);
    }

    // Running := true on a running timer starts its period over from that moment.
    void restartStartsPeriodAgain()
    {
        QElapsedTimer clock;
        qint64 firstTick = -1;
        TSimpleTimer timer(300, [&](TSimpleTimer*) {
            if (firstTick < 0)
                firstTick = clock.elapsed();
        });
        timer.setRunning(true);
        QTest::qWait(200); // two thirds of the period pass before the restart
        clock.start();
        timer.setRunning(true);
        QVERIFY(timer.Running());
        QTRY_VERIFY_WITH_TIMEOUT(firstTick >= 0, 3000);
        // Without the restart the tick would come ~100 ms after the second start.
        QVERIFY2(firstTick >= 250, qPrintable(QString::number(firstTick)));
    }

    void oneSharedReceiver_data()
    {
        QTest::addColumn<int>("timers");
        QTest::newRow("one") << 1;
        QTest::newRow("three") << 3;
    }
    void oneSharedReceiver()
    {
        QFETCH(int, timers);
        QVERIFY(!TSimpleTimerHandler::Instance());
        std::vector<std::unique_ptr<TSimpleTimer>> made;
        for (int i = 0; i < timers; ++i) {
            made.push_back(std::make_unique<TSimpleTimer>());
            QCOMPARE(TSimpleTimerHandler::Instance()->RefCount(), i + 1);
        }
        TSimpleTimerHandler* shared = TSimpleTimerHandler::Instance();
        while (!made.empty()) {
            QCOMPARE(TSimpleTimerHandler::Instance(), shared);
            made.pop_back();
        }
        QVERIFY(!TSimpleTimerHandler::Instance());
    }

    // The last timer freed from its own tick takes the shared receiver with it.
    void freedInsideItsOwnTick()
    {
        auto* timer = new TSimpleTimer;
        bool ticked = false;
        timer->setPeriod(10);
        timer->setOnTick([&ticked](TSimpleTimer* sender) {
            ticked = true;
            delete sender;
        });
        timer->setRunning(true);
        QTRY_VERIFY(ticked);
        QVERIFY(!TSimpleTimerHandler::Instance());
        // The loop goes on and a new timer works.
        int ticks = 0;
        TSimpleTimer next(10, [&ticks](TSimpleTimer*) { ++ticks; });
        next.setRunning(true);
        QTRY_VERIFY(ticks >= 1);
    }

    // An error in a tick handler is reported and does not stop the timer.
    void errorInTickIsReported()
    {
        platform::FakePlatform fake;
        int ticks = 0;
        TSimpleTimer timer(10, [&ticks](TSimpleTimer*) {
            ++ticks;
            throw std::runtime_error("tick failed");
        });
        timer.setRunning(true);
        QTRY_VERIFY(ticks >= 2);
        QVERIFY(timer.Running());
        QVERIFY(fake.dialogs.texts(platform::BoxKind::Error).contains(QStringLiteral("tick failed.")));
    }
};

QTEST_MAIN(SimpleTimerTest)
#include "simple_timer_test.moc"
