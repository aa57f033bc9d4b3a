// The receiving end over real sockets: a message from the send window, the black list question,
// and what a hostile or broken sender can send.
#include "tests/support/program_fixture.h"

#include "controls/cool_tray_icon.h"
#include "controls/skinned_button.h"
#include "messaging/inbox.h"
#include "messaging/receiver.h"
#include "messaging/send_window.h"
#include "net/peer_names.h"
#include "net/socket_components.h"
#include "platform/cp1251.h"
#include "windows/black_list.h"
#include "windows/message_viewer.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QTextBlock>
#include <QTextDocument>
#include <QProcess>
#include <QScopeGuard>
#include <QToolButton>
#include <QtTest>

#include <sys/resource.h>

#include <algorithm>
#include <memory>
#include <vector>

using platform::BoxKind;

namespace {

const QString Loopback = QStringLiteral("127.0.0.1");

// The name the (fake) name service gives the loopback address.
QString loopbackName()
{
    return QStringLiteral("alpha-pc");
}

struct Program : ProgramFixture {
    int port;
    int ended = 0; // connections the server has finished with
    explicit Program(int freePort, QList<Setting> settings = {})
        : ProgramFixture(settings << Setting{QStringLiteral("config"), QStringLiteral("port"), QString::number(freePort)})
        , port(freePort)
    {
        fake.clock.time = QTime(9, 5, 3);
        fake.names.setName(Loopback, loopbackName());
        Form1->SS->OnClientDisconnect = [this](QObject*, TCustomWinSocket*) { ++ended; };
        passSplash();
    }
    int messageSounds() const { return int(fake.sound.played.count(App().MessageSoundPath)); }
    int connections() const { return Form1->SS->Socket()->ConnectionCount(); }
    // What the program has taken from its one connection.
    qint64 taken() const { return connections() == 1 ? qint64(Form1->SS->Socket()->Connection(0)->BytesReceived()) : 0; }
};

// Sends each part once the program has taken the one before, so each arrives on its own; then
// closes or resets, and waits until the program has finished with the connection.
void deliver(Program& program, const QList<QByteArray>& parts, bool reset = false)
{
    const int ended = program.ended;
    RawPeer sender;
    QVERIFY(sender.connectTo(program.port));
    qint64 sent = 0;
    for (const QByteArray& part : parts) {
        QTRY_COMPARE(program.taken(), sent);
        QVERIFY(sender.send(part));
        sent += part.size();
    }
    if (reset)
        sender.reset();
    else
        sender.close();
    QTRY_VERIFY_WITH_TIMEOUT(program.ended > ended, 10000);
    QTRY_COMPARE(program.connections(), 0);
    QTRY_COMPARE(waitingMessageCount(), 0);
}

QString question(const QString& name)
{
    return QStringLiteral("Получено сообщение от ") + name
           + QStringLiteral(", однако этот компьютер занесен в черный список! Хотите просмотреть сообщение сейчас?");
}

// The tooltip after a message from the address; unseen: the count it gives (none when 0).
QString hint(const QString& time, const QString& name, int unseen, const QString& address = Loopback)
{
    const QString count = unseen > 0 ? QStringLiteral("\r\nНепрочитанных сообщений: %1").arg(unseen) : QString();
    return QStringLiteral("Pellavine 1.2") + count + QStringLiteral("\r\nПоследнее сообщение получено в ") + time
           + QStringLiteral(" от ") + name + QStringLiteral(" (") + address + QLatin1Char(')');
}

// Nothing in the shown text is anything but text.
void checkOnlyPlainText(const QTextDocument* document)
{
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
            const QTextCharFormat format = fragment.fragment().charFormat();
            QVERIFY(!format.isImageFormat());
            QVERIFY(!format.isAnchor());
            QVERIFY(!format.font().bold());
        }
    }
}

} // namespace

class ReceiverTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The send window of one copy to the receiving end of another, in one process.
    void fromTheSendWindow_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("soundOn");
        QTest::newRow("Cyrillic and punctuation") << "Привет! Ёлки, №5 — «тест» & <ok>" << true;
        QTest::newRow("only blanks") << "   " << true;
        QTest::newRow("sound off") << "тихо" << false;
    }
    void fromTheSendWindow()
    {
        QFETCH(QString, text);
        QFETCH(bool, soundOn);

        Program program(freeTcpPort(), {{"config", "snd", soundOn ? "1" : "0"}});
        const QString name = loopbackName();
        SenderF->show();
        SenderF->ADRL->setEditText(Loopback);
        SenderF->MSGL->setText(text);
        SenderF->BBut1Click();

        QTRY_VERIFY_WITH_TIMEOUT(App().MessageReceived, 10000);
        QVERIFY(MsgF->isVisible());
        QCOMPARE(MsgF->InfoLab1->text(), QStringLiteral("Сообщение от ") + name + QStringLiteral(" (127.0.0.1):"));
        QCOMPARE(MsgF->MsgTimeLab->text(), QStringLiteral("9:5:3"));
        QCOMPARE(MsgF->MsgLab->toPlainText(), text);
        QCOMPARE(App().LastText, text);
        QCOMPARE(App().LastSenderHost, name);
        QCOMPARE(App().LastSenderAddress, Loopback);
        QCOMPARE(App().LastTime, QStringLiteral("9:5:3"));
        QCOMPARE(program.messageSounds(), soundOn ? 1 : 0);
        QCOMPARE(Form1->TIconQ->Hint(), hint(QStringLiteral("9:5:3"), name, 1));
        QVERIFY(App().FreshMessage);
        QVERIFY(Form1->TIconQ->CycleIcons());
        QVERIFY(MsgF->t1->isActive());
        QVERIFY(program.fake.dialogs.boxes.isEmpty());
    }

    // The second is shown in place of the first, which is kept: one step back, still unseen.
    void secondMessageShownFirstKept()
    {
        Program program(freeTcpPort());
        deliver(program, {platform::toCp1251(QStringLiteral("первое"))});
        QVERIFY(MsgF->isVisible());
        const int activations = int(program.fake.windows.activations.count(MsgF));
        const QStringList soundsBefore = program.fake.sound.played;

        program.fake.clock.time = QTime(10, 0, 1);
        deliver(program, {platform::toCp1251(QStringLiteral("второе"))});
        QCOMPARE(MsgF->MsgLab->toPlainText(), QStringLiteral("второе"));
        QCOMPARE(MsgF->MsgTimeLab->text(), QStringLiteral("10:0:1"));
        QCOMPARE(Form1->TIconQ->Hint(), hint(QStringLiteral("10:0:1"), loopbackName(), 2));
        // Brought forward; the viewer's own show actions (window sound) do not run again.
        QCOMPARE(int(program.fake.windows.activations.count(MsgF)), activations + 1);
        QCOMPARE(program.fake.sound.played, soundsBefore + QStringList{App().MessageSoundPath});
        QVERIFY(App().FreshMessage);
        QVERIFY(Form1->TIconQ->CycleIcons());
        MsgF->earlierButton()->click();
        QCOMPARE(MsgF->MsgTimeLab->text() + MsgF->MsgLab->toPlainText(), QStringLiteral("9:5:3первое"));
    }

    void blackList_data()
    {
        QTest::addColumn<QStringList>("entries"); // "%name" stands for the sender's name
        QTest::addColumn<bool>("answer");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("shown");

        QTest::newRow("not listed") << QStringList{QStringLiteral("OTHER")} << false << false << true;
        QTest::newRow("listed, Yes") << QStringList{QStringLiteral("%name")} << true << true << true;
        QTest::newRow("listed in upper case, No") << QStringList{QStringLiteral("x"), QStringLiteral("%NAME")} << false
                                                  << true << false;
        QTest::newRow("address entry never matches") << QStringList{Loopback} << false << false << true;
        QTest::newRow("part of the name does not match") << QStringList{QStringLiteral("%nam")} << false << false
                                                         << true;
    }
    void blackList()
    {
        QFETCH(QStringList, entries);
        QFETCH(bool, answer);
        QFETCH(bool, asked);
        QFETCH(bool, shown);

        Program program(freeTcpPort());
        const QString name = loopbackName();
        for (QString& entry : entries) {
            if (entry == QLatin1String("%NAME"))
                entry = name.toUpper();
            else if (entry == QLatin1String("%nam"))
                entry = name.left(name.size() - 1);
            else
                entry.replace(QLatin1String("%name"), name);
        }
        useBlackList(entries);
        program.fake.dialogs.answers = {answer};
        QStringList soundsWhileAsked;
        program.fake.dialogs.whileOpen = [&](const platform::RecordedBox&) {
            soundsWhileAsked = program.fake.sound.played;
        };

        deliver(program, {platform::toCp1251(QStringLiteral("из черного списка"))});

        QCOMPARE(program.fake.dialogs.boxes.size(), asked ? 1 : 0);
        if (asked) {
            const platform::RecordedBox box = program.fake.dialogs.boxes.first();
            QCOMPARE(box.kind, BoxKind::Confirmation);
            QCOMPARE(box.text, question(name));
            // The arrival sound comes before the question.
            QCOMPARE(soundsWhileAsked, QStringList{App().MessageSoundPath});
        }
        QCOMPARE(MsgF->isVisible(), shown);
        // Shown after the question it is an old message: no blinking, no re-focus.
        QCOMPARE(App().FreshMessage, shown && !asked);
        QCOMPARE(Form1->TIconQ->CycleIcons(), shown && !asked);
        QCOMPARE(MsgF->t1->isActive(), shown && !asked);
        QVERIFY(App().MessageReceived);
        QCOMPARE(Form1->TIconQ->Hint(), hint(QStringLiteral("9:5:3"), name, 1));
        QCOMPARE(MsgF->MsgLab->toPlainText(), QStringLiteral("из черного списка"));

        // Declined messages can still be read from the tray menu.
        MsgF->hide();
        program.fake.sound.played.clear();
        Form1->N8Click();
        QVERIFY(MsgF->isVisible());
        QCOMPARE(MsgF->MsgLab->toPlainText(), QStringLiteral("из черного списка"));
        QCOMPARE(program.fake.sound.played, QStringList{program.fake.paths.exe + QStringLiteral("wnd.wav")});
        QVERIFY(!Form1->TIconQ->CycleIcons());
    }

    // One question at a time, however many messages a listed sender sends while it is open: each
    // still plays its sound and becomes the last message, and Yes shows the newest.
    void messageArrivesWhileAsking_data()
    {
        QTest::addColumn<bool>("unlistMeanwhile");
        QTest::addColumn<int>("further"); // messages sent while the question is open
        QTest::addColumn<bool>("fresh");

        QTest::newRow("many more from the listed sender: still one question") << false << 40 << false;
        QTest::newRow("list emptied meanwhile: the next shown at once") << true << 1 << true;
    }
    void messageArrivesWhileAsking()
    {
        QFETCH(bool, unlistMeanwhile);
        QFETCH(int, further);
        QFETCH(bool, fresh);

        Program program(freeTcpPort());
        const QString name = loopbackName();
        useBlackList({name});
        program.fake.dialogs.answers = {true};
        const QString newest = QStringLiteral("сообщение %1").arg(further);
        bool sentFurther = false;
        program.fake.dialogs.whileOpen = [&](const platform::RecordedBox&) {
            if (sentFurther)
                return;
            sentFurther = true;
            QVERIFY(!MsgF->isVisible());
            if (unlistMeanwhile)
                BListF->BBut7Click();
            for (int i = 1; i <= further; ++i) {
                program.fake.clock.time = QTime(9, 6, i);
                deliver(program, {platform::toCp1251(QStringLiteral("сообщение %1").arg(i))});
            }
            // Handled in full while the first question is still open.
            QCOMPARE(App().LastText, newest);
            QCOMPARE(program.messageSounds(), 1 + further);
            QCOMPARE(Form1->TIconQ->Hint(), hint(QStringLiteral("9:6:%1").arg(further), name, 1 + further));
        };

        RawPeer first;
        QVERIFY(first.connectTo(program.port));
        QVERIFY(first.send(platform::toCp1251(QStringLiteral("первое"))));
        first.close();
        QTRY_VERIFY_WITH_TIMEOUT(sentFurther && program.ended >= 1 + further, 20000);
        QTRY_VERIFY(MsgF->isVisible());

        QCOMPARE(program.fake.dialogs.texts(BoxKind::Confirmation), QStringList{question(name)});
        QCOMPARE(MsgF->MsgLab->toPlainText(), newest);
        QCOMPARE(MsgF->MsgTimeLab->text(), QStringLiteral("9:6:%1").arg(further));
        QCOMPARE(App().FreshMessage, fresh);
        QCOMPARE(Form1->TIconQ->Hint(), hint(QStringLiteral("9:6:%1").arg(further), name, 1 + further));
    }

    void hostileInput_data()
    {
        QTest::addColumn<QList<QByteArray>>("parts");
        QTest::addColumn<bool>("reset");
        QTest::addColumn<int>("messages");
        QTest::addColumn<QByteArray>("last"); // the bytes of the last message shown

        const auto cp = [](const QString& text) { return platform::toCp1251(text); };
        const QByteArray image = cp(QStringLiteral("<img src=\"file:///etc/hostname\"> и <img src=\"http://127.0.0.1:9/x.png\">"));
        const QByteArray link =
            cp(QStringLiteral("<a href=\"http://127.0.0.1:9/\">ссылка</a> <b>жирный</b> &amp; <script>x</script>"));
        QByteArray random(3000, '\0');
        QRandomGenerator generator(1251);
        for (char& c : random)
            c = char(generator.bounded(256));
        random[0] = '\0';
        random[1] = '\x98';
        random[2999] = '\0';
        random.insert(1500, "\r\n\0\0\x98", 5);

        QTest::newRow("image markup") << QList<QByteArray>{image} << false << 1 << image;
        QTest::newRow("link and bold markup") << QList<QByteArray>{link} << false << 1 << link;
        QTest::newRow("random bytes with NUL and 0x98") << QList<QByteArray>{random} << false << 1 << random;
        QTest::newRow("only NUL bytes") << QList<QByteArray>{QByteArray(5, '\0')} << false << 1 << QByteArray(5, '\0');
        QTest::newRow("reset after data") << QList<QByteArray>{cp(QStringLiteral("перед сбросом"))} << true << 1
                                          << cp(QStringLiteral("перед сбросом"));
        QTest::newRow("connect and close") << QList<QByteArray>{} << false << 0 << QByteArray();
        QTest::newRow("connect and reset") << QList<QByteArray>{} << true << 0 << QByteArray();
        // One connection, one message: the parts are joined.
        QTest::newRow("split in two: one message") << QList<QByteArray>{"one ", "two"} << false << 1
                                                   << QByteArray("one two");
        // 64 KiB per connection: the second part is cut where the share ends, a third is dropped.
        QTest::newRow("share spans the parts") << QList<QByteArray>{QByteArray(40000, 'a'), QByteArray(40000, 'b'),
                                                                    QByteArray(100, 'c')}
                                               << false << 1
                                               << QByteArray(40000, 'a') + QByteArray(MaxMessageBytes - 40000, 'b');
    }
    void hostileInput()
    {
        QFETCH(QList<QByteArray>, parts);
        QFETCH(bool, reset);
        QFETCH(int, messages);
        QFETCH(QByteArray, last);

        Program program(freeTcpPort());
        const QString hintBefore = Form1->TIconQ->Hint();

        deliver(program, parts, reset);

        QVERIFY2(program.fake.dialogs.boxes.isEmpty(),
                 qPrintable(program.fake.dialogs.boxes.value(0).text));
        QCOMPARE(program.messageSounds(), messages);
        if (messages == 0) {
            QVERIFY(!MsgF->isVisible());
            QVERIFY(!App().MessageReceived);
            QCOMPARE(Form1->TIconQ->Hint(), hintBefore);
            return;
        }
        QVERIFY(MsgF->isVisible());
        const QString decoded = platform::fromCp1251(last);
        QCOMPARE(App().LastText, decoded);
        QCOMPARE(App().LastText.size(), last.size());
        // The sender is known even when the connection was reset right after the data.
        QCOMPARE(App().LastSenderAddress, Loopback);
        QCOMPARE(MsgF->InfoLab1->text(),
                 QStringLiteral("Сообщение от ") + loopbackName() + QStringLiteral(" (127.0.0.1):"));

        const QString shown = MsgF->MsgLab->toPlainText();
        // Not cut short: every byte is there, a control character as its stand-in, a CR LF pair
        // being one line break.
        QString expected = TMsgF::printable(decoded);
        expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
        QCOMPARE(shown.size(), expected.size());
        QCOMPARE(shown.count(QStringLiteral("◄NUL►")), last.count('\0'));
        for (QChar c : shown)
            QVERIFY2(c >= QChar(0x20) || c == QLatin1Char('\n') || c == QLatin1Char('\t'),
                     qPrintable(QString::number(c.unicode(), 16)));
        if (!last.contains('\0') && !last.contains('\r') && !last.contains('\n'))
            QCOMPARE(shown, decoded);
        checkOnlyPlainText(MsgF->MsgLab->document());
        QCOMPARE(MsgF->InfoLab1->textFormat(), Qt::PlainText);
    }

    // One connection, one message, whatever its reads: each part is sent once the program has
    // read the one before, a second later by the clock; "" waits until the quiet time has ended
    // a message. Each message shown is "time text".
    void oneConnectionOneMessage_data()
    {
        QTest::addColumn<QList<QByteArray>>("parts");
        QTest::addColumn<QString>("end"); // close, reset, or open (shown before it is closed)
        QTest::addColumn<int>("quiet");   // ms
        QTest::addColumn<QStringList>("shown");

        const auto cp = [](const QString& text) { return platform::toCp1251(text); };
        QString text; // 20,000 characters, in the segments of a slow link
        for (int i = 0; text.size() < 20000; ++i)
            text = (text + QStringLiteral("слово%1 ").arg(i)).left(20000);
        QList<QByteArray> segments;
        for (int at = 0; at < text.size(); at += 1448)
            segments << cp(text.mid(at, 1448));
        const QByteArray a(40000, 'a'), b(30000, 'b');

        QTest::newRow("three reads") << QList<QByteArray>{cp("Привет, "), cp("как "), cp("дела?")} << "close"
                                     << QuietMs << QStringList{QStringLiteral("9:0:1 Привет, как дела?")};
        QTest::newRow("20,000 characters in 14 reads") << segments << "close" << QuietMs
                                                       << QStringList{QStringLiteral("9:0:1 ") + text};
        QTest::newRow("reset after two reads") << QList<QByteArray>{cp("перед "), cp("сбросом")} << "reset" << QuietMs
                                               << QStringList{QStringLiteral("9:0:1 перед сбросом")};
        // Only the share can end this one before the close.
        QTest::newRow("share reached") << QList<QByteArray>{a, b} << "open" << 60000
                                       << QStringList{QStringLiteral("9:0:1 ") + QString::fromLatin1(a + b.left(MaxMessageBytes - a.size()))};
        QTest::newRow("quiet, kept open") << QList<QByteArray>{cp("держит "), cp("открытым")} << "open" << QuietMs
                                          << QStringList{QStringLiteral("9:0:1 держит открытым")};
        // What comes after a pause past the quiet time is the next message, with its own time.
        QTest::newRow("quiet, then more") << QList<QByteArray>{cp("первое"), {}, cp("второе")} << "close" << QuietMs
                                          << QStringList{QStringLiteral("9:0:1 первое"), QStringLiteral("9:0:3 второе")};
    }
    void oneConnectionOneMessage()
    {
        QFETCH(QList<QByteArray>, parts);
        QFETCH(QString, end);
        QFETCH(int, quiet);
        QFETCH(QStringList, shown);

        Program program(freeTcpPort());
        setQuietTime(quiet);
        QStringList messages;
        program.fake.sound.whilePlaying = [&](const QString&) { messages << App().LastTime + u' ' + App().LastText; };
        RawPeer peer;
        QVERIFY(peer.connectTo(program.port));
        quint64 sent = 0;
        qsizetype pauses = 0;
        for (int i = 0; i < parts.size(); ++i) {
            program.fake.clock.time = QTime(9, 0, i + 1);
            pauses += parts[i].isEmpty() ? 1 : 0;
            QTRY_COMPARE_WITH_TIMEOUT(messages.size(), pauses, QuietMs + 5000);
            QVERIFY(peer.send(parts[i]));
            // Past the share, what comes is read too, and dropped.
            sent += parts[i].size();
            QTRY_VERIFY(program.connections() == 1 && Form1->SS->Socket()->Connection(0)->BytesReceived() == sent);
        }
        if (end == QLatin1String("open"))
            QTRY_COMPARE_WITH_TIMEOUT(messages.size(), shown.size(), QuietMs + 5000);
        if (end == QLatin1String("reset"))
            peer.reset();
        else
            peer.close();
        QTRY_VERIFY(program.connections() == 0 && waitingMessageCount() == 0);
        QCOMPARE(messages, shown);
        QCOMPARE(MsgF->MsgLab->toPlainText(), shown.last().section(u' ', 1));
    }

    // Messages that come while the user is away all stay, the newest shown; each earlier one
    // not seen yet is one step further, and the tooltip says how many are unread.
    void unseenMessagesKept_data()
    {
        QTest::addColumn<QStringList>("senders"); // the last digit of each message's sender, in order
        QTest::addColumn<int>("readAfter");       // the user closes the viewer after this many (0: never)
        QTest::addColumn<QList<int>>("steps");    // the messages "◀" shows, one step each

        const QStringList five = {"2", "3", "4", "5", "6"};
        QTest::newRow("five senders while away") << five << 0 << QList<int>{3, 2, 1, 0};
        // The first was replaced while the viewer was open: still unseen after the second was read.
        QTest::newRow("closed on the second") << five << 2 << QList<int>{3, 2, 0};
        // 127.0.0.9 is black-listed: its message was declined, not seen.
        QTest::newRow("a declined message from a listed sender") << QStringList{"9", "2"} << 0 << QList<int>{0};
    }
    void unseenMessagesKept()
    {
        QFETCH(QStringList, senders);
        QFETCH(int, readAfter);
        QFETCH(QList<int>, steps);

        Program program(freeTcpPort());
        for (const QString& n : senders)
            program.fake.names.setName(QStringLiteral("127.0.0.") + n, QStringLiteral("pc-") + n);
        useBlackList({QStringLiteral("pc-9")});
        for (int i = 0; i < senders.size(); ++i) {
            const QByteArray from = "127.0.0." + senders[i].toLatin1();
            RawPeer sender;
            QVERIFY(sender.connectTo(program.port, from.constData()));
            QVERIFY(sender.send("message " + QByteArray::number(i)));
            sender.close();
            QTRY_COMPARE(App().LastText, QStringLiteral("message %1").arg(i));
            if (i + 1 == readAfter)
                MsgF->BBut1->Click();
        }
        const auto hintWith = [&](int unread) {
            return hint(App().LastTime, QStringLiteral("pc-") + senders.last(), unread, App().LastSenderAddress);
        };
        for (int unread = int(steps.size()) + 1; const int step : steps) {
            QCOMPARE(Form1->TIconQ->Hint(), hintWith(unread));
            QCOMPARE(MsgF->earlierButton()->text(), QStringLiteral("◀ ещё %1").arg(--unread));
            MsgF->earlierButton()->click();
            QCOMPARE(MsgF->MsgLab->toPlainText(), QStringLiteral("message %1").arg(step));
            QCOMPARE(MsgF->InfoLab1->text(), QStringLiteral("Сообщение от pc-%1 (127.0.0.%1):").arg(senders[step]));
        }
        QVERIFY(MsgF->earlierButton()->isHidden());
        // "Ответить" answers the message shown.
        MsgF->BBut2->Click();
        QCOMPARE(App().LastAddress, QStringLiteral("pc-") + senders[steps.last()]);
        QCOMPARE(Form1->TIconQ->Hint(), hintWith(0));
    }

    // A name service that answers late or never holds nothing up: each message is shown once
    // its sender's name is known, or after the wait without one, in arrival order; a burst from
    // one computer costs one lookup.
    void namesThatComeLate_data()
    {
        QTest::addColumn<QStringList>("senders"); // the sender of each message, in order
        QTest::addColumn<QStringList>("held");    // senders whose lookups hang
        QTest::addColumn<int>("answerAfter");     // held lookups answer once this many were shown
        QTest::addColumn<QStringList>("shownAs"); // the names shown, in order

        const QString slow = QStringLiteral("127.0.0.2");
        const QString quick = QStringLiteral("127.0.0.3");
        const QString late = QStringLiteral("slow-pc");
        QTest::newRow("dead name server") << QStringList{slow} << QStringList{slow} << -1 << QStringList{QString()};
        QTest::newRow("a named sender waits behind an unnamed one")
            << QStringList{slow, quick} << QStringList{slow} << -1 << QStringList{QString(), QStringLiteral("beta-pc")};
        QTest::newRow("burst from one computer") << QStringList{quick, quick, quick, quick} << QStringList{} << -1
                                                 << QStringList(4, QStringLiteral("beta-pc"));
        QTest::newRow("slow name server, a message at a time")
            << QStringList{slow, slow, slow} << QStringList{slow} << -1 << QStringList(3, QString());
        // The sender's own name server answers just after the wait, each time a message comes.
        QTest::newRow("name that answers after the wait, a message at a time")
            << QStringList{slow, slow, slow} << QStringList{slow} << 1 << QStringList{QString(), late, late};
    }
    void namesThatComeLate()
    {
        QFETCH(QStringList, senders);
        QFETCH(QStringList, held);
        QFETCH(int, answerAfter);
        QFETCH(QStringList, shownAs);

        Program program(freeTcpPort());
        setNameWait(400);
        // Held lookups would give this name if they were waited for.
        program.fake.names.setName(QStringLiteral("127.0.0.2"), QStringLiteral("slow-pc"));
        program.fake.names.setName(QStringLiteral("127.0.0.3"), QStringLiteral("beta-pc"));
        for (const QString& address : held)
            program.fake.names.hold(address);
        QStringList shown;
        program.fake.sound.whilePlaying = [&](const QString&) { shown << App().LastSenderHost; };

        for (int i = 0; i < senders.size(); ++i) {
            RawPeer sender;
            QVERIFY(sender.connectTo(program.port, senders[i].toLatin1().constData()));
            QVERIFY(sender.send(QByteArray::number(i)));
            sender.close();
            // Taken by the program before the next one is sent, so the order is the arrival order.
            QTRY_VERIFY_WITH_TIMEOUT(shown.size() + waitingMessageCount() == i + 1, 10000);
            if (i + 1 == answerAfter) {
                QTRY_COMPARE_WITH_TIMEOUT(shown.size(), answerAfter, 10000);
                program.fake.names.releaseAll();
                QString name;
                QTRY_VERIFY(net::peer_names::known(senders[i], name));
            }
        }
        QTRY_COMPARE_WITH_TIMEOUT(shown.size(), senders.size(), 10000);
        QCOMPARE(shown, shownAs);
        QCOMPARE(App().LastText, QString::number(senders.size() - 1));
        QCOMPARE(App().LastSenderAddress, senders.last());
        QCOMPARE(program.fake.names.calls(senders.first()), 1);
        QVERIFY(program.fake.dialogs.boxes.isEmpty());
    }

    // Forty lookups hanging at once (a dead name server for forty senders) hold up neither
    // each other nor another computer's name, which comes within its message's wait.
    void hangingLookupsHoldUpNoOther()
    {
        Program program(freeTcpPort());
        QStringList dead;
        for (int i = 1; i <= 40; ++i) {
            dead << QStringLiteral("127.0.1.%1").arg(i);
            program.fake.names.hold(dead.last());
            net::peer_names::request(dead.last());
        }
        const auto hanging = [&](const QString& address) { return program.fake.names.calls(address) == 1; };
        QTRY_VERIFY(std::all_of(dead.cbegin(), dead.cend(), hanging));
        program.fake.names.setName(QStringLiteral("127.0.0.3"), QStringLiteral("beta-pc"));
        RawPeer sender;
        QVERIFY(sender.connectTo(program.port, "127.0.0.3"));
        QVERIFY(sender.send("x"));
        sender.close();
        QTRY_COMPARE(program.messageSounds(), 1);
        QCOMPARE(App().LastSenderHost, QStringLiteral("beta-pc"));
    }

    // While the black list has entries, a message waits for its sender's name as long as the
    // lookup takes: a listed computer is asked about though forty dead lookups are ahead of it,
    // or its own name comes after the usual wait.
    void listedBehindSlowLookups_data()
    {
        QTest::addColumn<int>("deadAhead");
        QTest::addColumn<bool>("listedLate");
        QTest::newRow("forty dead lookups ahead") << 40 << false;
        QTest::newRow("its own name comes late") << 0 << true;
    }
    void listedBehindSlowLookups()
    {
        QFETCH(int, deadAhead);
        QFETCH(bool, listedLate);
        Program program(freeTcpPort());
        setNameWait(200);
        const QString listed = QStringLiteral("127.0.0.3");
        program.fake.names.setName(listed, QStringLiteral("beta-pc"));
        useBlackList({QStringLiteral("BETA-PC")});
        if (listedLate)
            program.fake.names.hold(listed);
        QStringList senders;
        for (int i = 1; i <= deadAhead; ++i) {
            senders << QStringLiteral("127.0.1.%1").arg(i);
            program.fake.names.hold(senders.last());
        }
        senders << listed;
        for (int i = 0; i < senders.size(); ++i) {
            const QByteArray address = senders[i].toLatin1();
            RawPeer sender;
            QVERIFY(sender.connectTo(program.port, address.constData()));
            QVERIFY(sender.send(address));
            sender.close();
            QTRY_COMPARE(waitingMessageCount(), i + 1);
        }
        // Twice the usual wait, and all still wait for the names that are on their way.
        QTest::qWait(400);
        QCOMPARE(waitingMessageCount(), int(senders.size()));
        QCOMPARE(program.messageSounds(), 0);
        program.fake.names.releaseAll();
        QTRY_COMPARE_WITH_TIMEOUT(program.messageSounds(), int(senders.size()), 10000);
        QCOMPARE(program.fake.dialogs.texts(BoxKind::Confirmation), QStringList{question(QStringLiteral("beta-pc"))});
        QCOMPARE(App().LastSenderAddress, listed);
    }

    // The wait for a name while the list is in use has its end: a lookup that never answers
    // holds the messages behind it no longer.
    void listedWaitBounded()
    {
        Program program(freeTcpPort());
        setNameWait(100);
        setListedNameWait(600);
        useBlackList({QStringLiteral("BETA-PC")});
        program.fake.names.hold(QStringLiteral("127.0.1.1"));
        for (const char* from : {"127.0.1.1", "127.0.0.3"}) {
            RawPeer sender;
            QVERIFY(sender.connectTo(program.port, from));
            QVERIFY(sender.send("x"));
            sender.close();
        }
        QTRY_COMPARE_WITH_TIMEOUT(program.messageSounds(), 2, 5000);
        QCOMPARE(App().LastSenderAddress, QStringLiteral("127.0.0.3"));
    }

    // Under a low descriptor limit the listener holds fewer connections, the user is told once,
    // and 400 connections from 40 addresses leave descriptors for painting and files; connections
    // whose peers have gone are closed.
    void crowdUnderLowDescriptorLimit()
    {
        rlimit saved{};
        getrlimit(RLIMIT_NOFILE, &saved);
        {
            rlimit low = saved;
            low.rlim_cur = 200;
            QVERIFY(setrlimit(RLIMIT_NOFILE, &low) == 0);
            const auto restore = qScopeGuard([&] { setrlimit(RLIMIT_NOFILE, &saved); });
            Program program(freeTcpPort());
            const ConnectionLimits limits = connectionLimitsFor(200);
            QVERIFY(limits.cramped);
            QCOMPARE(program.fake.dialogs.texts(BoxKind::Information), QStringList{crampedLimitText(200, limits)});
        }

        QProcess child;
        const int port = freeTcpPort();
        constexpr int MaxFiles = 300;
        child.start(QCoreApplication::applicationDirPath() + QStringLiteral("/pv_crowded_child"),
                    {QString::number(port), QString::number(MaxFiles)});
        QVERIFY(child.waitForReadyRead(10000));
        const QList<QByteArray> started = child.readLine().trimmed().split(' ');
        QCOMPARE(started.value(0), QByteArray("listening"));
        const int total = started.value(1).toInt();
        QVERIFY(total > 0 && total < MaxFiles);
        const auto stats = [&child] {
            child.write("stats\n");
            QByteArray line;
            for (int i = 0; i < 100 && !line.startsWith("stats"); ++i) {
                if (!child.canReadLine())
                    child.waitForReadyRead(100);
                if (child.canReadLine())
                    line = child.readLine().trimmed();
            }
            return line.split(' ');
        };
        const int fdsBefore = stats().value(2).toInt();

        std::vector<std::unique_ptr<RawPeer>> crowd;
        for (int i = 0; i < 400; ++i) {
            const QByteArray from = QStringLiteral("127.0.2.%1").arg(1 + i % 40).toLatin1();
            crowd.push_back(std::make_unique<RawPeer>());
            QVERIFY(crowd.back()->connectTo(port, from.constData()));
            // The listener may have closed it already to make room.
            crowd.back()->send("x");
        }
        QList<QByteArray> held;
        QTRY_VERIFY_WITH_TIMEOUT((held = stats()).value(1).toInt() == total, 10000);
        QVERIFY2(held.value(2).toInt() <= MaxFiles - 64, held.join(' '));
        QCOMPARE(held.value(3), QByteArray("1"));

        crowd.clear();
        QList<QByteArray> after;
        QTRY_VERIFY_WITH_TIMEOUT((after = stats()).value(1).toInt() == 0, 10000);
        QVERIFY2(after.value(2).toInt() <= fdsBefore + 1, after.join(' '));
        QCOMPARE(after.value(3), QByteArray("1"));
        child.closeWriteChannel();
        QVERIFY(child.waitForFinished(5000));
    }

    // Answers are remembered for a while, failures too, then asked again.
    void namesRemembered()
    {
        Program program(freeTcpPort());
        net::peer_names::setRememberTime(300);
        const QString quick = QStringLiteral("127.0.0.3");
        const auto send = [&program] {
            RawPeer sender;
            QVERIFY(sender.connectTo(program.port, "127.0.0.3"));
            QVERIFY(sender.send("x"));
            sender.close();
            QTRY_VERIFY(program.messageSounds() > 0 && waitingMessageCount() == 0);
            program.fake.sound.played.clear();
        };
        send();
        send();
        QCOMPARE(program.fake.names.calls(quick), 1);
        QString name;
        QTRY_VERIFY(!net::peer_names::known(quick, name)); // forgotten once its time is over
        send();
        QCOMPARE(program.fake.names.calls(quick), 2);
    }

    void floodStaysBoundedAndResponsive()
    {
        Program program(freeTcpPort());
        // Each 64 KiB of the flood has its own letter, so what was taken shows where it came from.
        constexpr int Total = 10 * 1024 * 1024;
        QByteArray flood(Total, Qt::Uninitialized);
        for (int i = 0; i < Total; ++i)
            flood[i] = char('A' + (i / MaxMessageBytes) % 26);

        // Fires on every turn of the loop: the flood is taken a portion per turn, between other events.
        QTimer ticker;
        ticker.setInterval(0);
        int ticks = 0;
        QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start();

        RawPeer sender;
        QVERIFY(sender.connectTo(program.port));
        qsizetype sent = 0;
        QTRY_VERIFY_WITH_TIMEOUT(sender.sendMore(flood, sent), 60000);
        sender.close();
        QTRY_VERIFY_WITH_TIMEOUT(program.ended == 1, 60000);
        ticker.stop();

        QCOMPARE(sent, qsizetype(Total));
        QVERIFY(App().MessageReceived);
        QVERIFY(!App().LastText.isEmpty());
        QVERIFY(App().LastText.size() <= MaxMessageBytes);
        QCOMPARE(App().LastText.count(QLatin1Char('A')), App().LastText.size());
        QVERIFY(MsgF->MsgLab->toPlainText().size() <= MaxMessageBytes);
        QVERIFY(program.messageSounds() >= 1);
        QVERIFY(program.fake.dialogs.boxes.isEmpty());
        QVERIFY2(ticks >= Total / DiscardChunkBytes / 4, qPrintable(QString::number(ticks)));
    }
};

QTEST_MAIN(ReceiverTest)
#include "receiver_test.moc"
