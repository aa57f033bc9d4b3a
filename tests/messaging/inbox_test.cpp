// The inbox keeps the unseen messages up to a count and a size, and the newest always.
#include "messaging/inbox.h"

#include <QtTest>

class InboxTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void bounds_data()
    {
        QTest::addColumn<int>("count");      // messages added, each of `size` characters
        QTest::addColumn<qsizetype>("size");
        QTest::addColumn<int>("seenFirst");  // the first this many are seen as they come
        QTest::addColumn<int>("oldestKept"); // the oldest unseen one left

        QTest::newRow("a few") << 3 << qsizetype(10) << 0 << 1;
        QTest::newRow("one past the count") << Inbox::MaxUnseen + 1 << qsizetype(1) << 0 << 2;
        QTest::newRow("seen ones make room") << Inbox::MaxUnseen + 5 << qsizetype(1) << 5 << 6;
        QTest::newRow("past the size") << 3 << Inbox::MaxUnseenChars / 2 << 0 << 2;
        QTest::newRow("the newest alone is all the size") << 2 << Inbox::MaxUnseenChars << 0 << 2;
    }
    void bounds()
    {
        QFETCH(int, count);
        QFETCH(qsizetype, size);
        QFETCH(int, seenFirst);
        QFETCH(int, oldestKept);

        Inbox box;
        QList<quint64> seen, expected; // as the hook hears of them
        box.setSeenHook([&](const ReceivedMessage& m) { seen << m.id; QVERIFY(m.seen); });
        for (int i = 1; i <= count; ++i) {
            QCOMPARE(box.add(ReceivedMessage{0, {}, {}, {}, QString(size, u'x'), false, false}), quint64(i));
            QVERIFY(i > seenFirst || box.markSeen(quint64(i)));
            if (i <= seenFirst)
                expected << quint64(i);
        }
        QCOMPARE(box.unseenCount(), count - oldestKept + 1);
        // From the newest back to the oldest kept, one step each.
        for (quint64 at = quint64(count); at >= quint64(oldestKept); --at) {
            QCOMPARE(box.newestUnseen()->id, at);
            QCOMPARE(box.unseenBesides(at), int(at) - oldestKept);
            QVERIFY(box.markSeen(at) && !box.markSeen(at));
            expected << at;
        }
        QCOMPARE(seen, expected);
        QVERIFY(!box.newestUnseen());
        QCOMPARE(box.newest()->id, quint64(count));
    }
};

QTEST_MAIN(InboxTest)
#include "inbox_test.moc"
