#include "controls/skinned_button.h"
#include "messaging/address_history.h"
#include "messaging/send_window.h"
#include "net/host_lookup.h"
#include "net/socket_components.h"
#include "platform/atomic_file.h"
#include "platform/cp1251.h"
#include "tests/support/program_fixture.h"
#include "windows/black_list.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

using platform::BoxKind;

namespace {

// What the program sent over its first connection to `listener`, taken a step per call for a
// QTRY_ condition: true once the program has closed that connection.
bool received(RawPeer& listener, RawPeer& connection, QByteArray& bytes)
{
    return (connection.fd() >= 0 || listener.accept(connection, 0)) && connection.readToEnd(&bytes, 0);
}

// The window's settings for a test: the client's port, and a welcome time long enough that the
// program's own server never starts listening during a test.
QList<ProgramFixture::Setting> settingsFor(int port, QList<ProgramFixture::Setting> more = {})
{
    more << ProgramFixture::Setting{"config", "port", QString::number(port)}
         << ProgramFixture::Setting{"config", "sptime", "600000"};
    return more;
}

bool isIdle(TSenderF* window)
{
    return window->ADRL->isEnabled() && window->MSGL->isEnabled() && window->BBut1->isEnabled()
           && window->cursor().shape() == Qt::ArrowCursor;
}

bool isBusy(TSenderF* window)
{
    return !window->ADRL->isEnabled() && !window->MSGL->isEnabled() && !window->BBut1->isEnabled()
           && window->cursor().shape() == Qt::WaitCursor;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return file.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// True while something listens on the loopback port (the kernel's own table).
bool listeningOn(int port)
{
    QFile table("/proc/net/tcp");
    if (!table.open(QIODevice::ReadOnly))
        return false;
    const QByteArray local = QByteArray(":") + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    const QList<QByteArray> lines = table.readAll().split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields[1].endsWith(local) && fields[3] == "0A")
            return true;
    }
    return false;
}

// Types text key by key, as a keyboard layout would deliver it (also letters beyond Latin-1).
void typeText(QWidget* target, const QString& text)
{
    for (const QChar ch : text) {
        const int key = ch.toUpper().unicode();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(target, &release);
    }
}

void showWindow()
{
    SenderF->show();
    QVERIFY(QTest::qWaitForWindowExposed(SenderF));
}

// A text at the message field's limit and its bytes in code page 1251.
const int LongLength = 32767;
QString longText()
{
    return QStringLiteral("Ёжик ЯЮЭ ъ 123 ").repeated(LongLength / 15 + 1).left(LongLength);
}
QByteArray longBytes()
{
    return QByteArray("\xa8\xe6\xe8\xea \xdf\xde\xdd \xfa 123 ").repeated(LongLength / 15 + 1).left(LongLength);
}

} // namespace

class SendWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { net::setLookupDelay(0); }

    void controlsAtTheirPlaces_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QRect>("place");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("hint");
        QTest::newRow("address box") << "ADRL" << QRect(56, 29, 189, 22) << "localhost"
                                     << "Имя или IP-адрес компьютера получателя (правая кнопка для вывода меню)";
        QTest::newRow("message field") << "MSGL" << QRect(56, 57, 189, 22) << "" << "Сообщение для отправки";
        QTest::newRow("send button") << "BBut1" << QRect(90, 82, 75, 23) << "Отправить" << "";
        QTest::newRow("close button") << "BBut2" << QRect(234, 3, 16, 16) << "" << "Закрыть";
        QTest::newRow("help button") << "BBut5" << QRect(216, 3, 16, 16) << "" << "Справка";
        QTest::newRow("to label") << "ADRH" << QRect(13, 32, -1, -1) << " Кому:" << "";
        QTest::newRow("text label") << "MSGH" << QRect(14, 61, -1, -1) << "Текст:" << "";
        QTest::newRow("version label") << "Verlab" << QRect(221, 96, -1, -1) << "1.2" << "";
    }
    void controlsAtTheirPlaces()
    {
        QFETCH(QString, control);
        QFETCH(QRect, place);
        QFETCH(QString, text);
        QFETCH(QString, hint);
        ProgramFixture program;
        showWindow();
        TSenderF* w = SenderF;
        QWidget* widget = nullptr;
        QString shown;
        QString tip;
        if (control == "ADRL") {
            widget = w->ADRL;
            shown = w->ADRL->currentText();
            tip = w->ADRL->toolTip();
            QVERIFY(w->ADRL->isEditable());
        } else if (control == "MSGL") {
            widget = w->MSGL;
            shown = w->MSGL->text();
            tip = w->MSGL->toolTip();
        } else if (control.startsWith("BBut")) {
            TBBut* button = control == "BBut1" ? w->BBut1 : control == "BBut2" ? w->BBut2 : w->BBut5;
            widget = button;
            shown = button->Caption();
            tip = button->Hint();
        } else {
            QLabel* label = control == "ADRH" ? w->ADRH : control == "MSGH" ? w->MSGH : w->Verlab;
            widget = label;
            shown = label->text();
            tip = label->toolTip();
            QCOMPARE(label->textFormat(), Qt::PlainText);
        }
        if (place.width() > 0)
            QCOMPARE(widget->geometry(), place);
        else
            QCOMPARE(widget->pos(), place.topLeft());
        QCOMPARE(shown, text);
        QCOMPARE(tip, hint);
        QVERIFY(w->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        // The creation handler shows the welcome window with the version.
        QVERIFY(Form1->isVisible());
        QCOMPARE(Form1->Label1->text(), VersionText);
    }

    // The address box shows lower case only, whether typed or set.
    void lowerCase_data()
    {
        QTest::addColumn<bool>("typed");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("shown");
        QTest::newRow("typed latin") << true << "Server" << "server";
        QTest::newRow("typed cyrillic") << true << "СЕРВЕР-Ёж" << "сервер-ёж";
        QTest::newRow("typed address") << true << "10.0.0.1" << "10.0.0.1";
        QTest::newRow("stored last address") << false << "Server" << "server";
    }
    void lowerCase()
    {
        QFETCH(bool, typed);
        QFETCH(QString, input);
        QFETCH(QString, shown);
        ProgramFixture program({{"last", "adr", typed ? "" : input}});
        showWindow();
        if (typed)
            typeText(SenderF->ADRL->lineEdit(), input);
        QCOMPARE(SenderF->ADRL->currentText(), shown);
    }

    // A real send over loopback: exactly the code page 1251 bytes, then the connection closes,
    // the sound plays and the window hides.
    void realSend_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("soundOn");
        QTest::newRow("cyrillic") << "127.0.0.1" << QStringLiteral("Привет, Ёлка!")
                                  << QByteArray("\xcf\xf0\xe8\xe2\xe5\xf2, \xa8\xeb\xea\xe0!") << true;
        QTest::newRow("blanks only") << "127.0.0.1" << "   " << QByteArray("   ") << true;
        QTest::newRow("no conversion of specials") << "127.0.0.1" << QStringLiteral("<b>a&b</b>\t\"q\" № €")
                                                   << QByteArray("<b>a&b</b>\t\"q\" \xb9 \x88") << true;
        QTest::newRow("outside the code page") << "127.0.0.1" << QStringLiteral("日本 ok") << QByteArray("?? ok")
                                               << true;
        QTest::newRow("long text") << "127.0.0.1" << longText() << longBytes() << true;
        QTest::newRow("name in capitals, sound off") << "LOCALHOST" << "x" << QByteArray("x") << false;
    }
    void realSend()
    {
        QFETCH(QString, address);
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, soundOn);
        const int port = freeTcpPort();
        RawPeer peer, connection;
        QByteArray sent;
        QVERIFY(peer.listen(port));
        ProgramFixture program(settingsFor(port, {{"config", "snd", soundOn ? "1" : "0"}}));
        showWindow();
        SenderF->ADRL->setEditText(address);
        SenderF->MSGL->setText(text);
        QCOMPARE(SenderF->MSGL->text(), text);

        SenderF->BBut1Click();
        QVERIFY(isBusy(SenderF));
        QTRY_VERIFY(received(peer, connection, sent));

        QCOMPARE(sent.size(), bytes.size());
        QCOMPARE(sent, bytes);
        RawPeer another;
        QVERIFY(!peer.accept(another, 0)); // the one connection, no other
        QTRY_VERIFY(!SenderF->isVisible());
        QVERIFY(isIdle(SenderF));
        QVERIFY(!SenderF->CS->Active());
        QCOMPARE(SenderF->MSGL->text(), QString());
        const QString lower = address.toLower();
        QCOMPARE(SenderF->ADRL->currentText(), lower);
        QCOMPARE(App().LastAddress, lower);
        QCOMPARE(SenderF->addresses(), QStringList{lower});
        const QStringList sounds = soundOn ? QStringList{program.fake.paths.exe + "Wnd.wav", program.fake.paths.exe + "Send.wav"}
                                           : QStringList{};
        QCOMPARE(program.fake.sound.played, sounds);
        QVERIFY(program.fake.dialogs.boxes.isEmpty());
    }

    // After a send the window opens again ready for the next message: what is typed goes into
    // the message field, whichever field had the focus before.
    void reopensReadyForTheMessage_data()
    {
        QTest::addColumn<bool>("focusOnAddress");
        QTest::newRow("Enter in the message field") << false;
        QTest::newRow("send button, focus in the address field") << true;
    }
    void reopensReadyForTheMessage()
    {
        QFETCH(bool, focusOnAddress);
        const int port = freeTcpPort();
        RawPeer peer, connection;
        QByteArray sent;
        QVERIFY(peer.listen(port));
        ProgramFixture program(settingsFor(port));
        showWindow();
        SenderF->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(SenderF));
        SenderF->ADRL->setEditText(QStringLiteral("127.0.0.1"));
        SenderF->MSGL->setText(QStringLiteral("первое"));
        if (focusOnAddress) {
            SenderF->ADRL->setFocus();
            QTest::mouseClick(SenderF->BBut1, Qt::LeftButton);
        } else {
            SenderF->MSGL->setFocus();
            QTest::keyClick(SenderF->MSGL, Qt::Key_Return);
        }
        QTRY_VERIFY(received(peer, connection, sent));
        QTRY_VERIFY(!SenderF->isVisible());

        showWindow();
        SenderF->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(SenderF));
        QVERIFY(QApplication::focusWidget());
        typeText(QApplication::focusWidget(), QStringLiteral("ответ"));
        QCOMPARE(SenderF->MSGL->text(), QStringLiteral("ответ"));
        QCOMPARE(SenderF->ADRL->currentText(), QStringLiteral("127.0.0.1"));
    }

    // Someone else's listener takes exactly the bytes.
    void peerToolReceives_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::newRow("socat") << "socat";
        QTest::newRow("nc") << "nc";
    }
    void peerToolReceives()
    {
        QFETCH(QString, tool);
        const QString program = QStandardPaths::findExecutable(tool);
        if (program.isEmpty())
            QSKIP("tool not installed");
        const int port = freeTcpPort();
        const QStringList args = tool == "socat"
            ? QStringList{"-u", QStringLiteral("TCP4-LISTEN:%1,bind=127.0.0.1,reuseaddr").arg(port), "STDOUT"}
            : QStringList{"-d", "-l", "127.0.0.1", QString::number(port)};
        QProcess peer;
        peer.start(program, args);
        QVERIFY(peer.waitForStarted());
        QTRY_VERIFY(listeningOn(port));

        ProgramFixture fixture(settingsFor(port));
        showWindow();
        SenderF->ADRL->setEditText("127.0.0.1");
        SenderF->MSGL->setText(QStringLiteral("Сообщение № 1: ok"));
        SenderF->BBut1Click();
        QTRY_COMPARE(peer.state(), QProcess::NotRunning); // the connection was closed
        QCOMPARE(peer.exitCode(), 0);
        QCOMPARE(peer.readAllStandardOutput(), QByteArray("\xd1\xee\xee\xe1\xf9\xe5\xed\xe8\xe5 \xb9 1: ok"));
        QTRY_VERIFY(!SenderF->isVisible());
    }

    // Refused: the layer's box with a closing point and what it means below, above the window;
    // controls back, texts kept, window open.
    void refusedConnection()
    {
        const int port = freeTcpPort();
        ProgramFixture program(settingsFor(port));
        showWindow();
        SenderF->ADRL->setEditText("127.0.0.1");
        SenderF->MSGL->setText("hello");
        SenderF->BBut1Click();
        QVERIFY(isBusy(SenderF));
        QTRY_COMPARE(program.fake.dialogs.boxes.size(), 1);
        QCOMPARE(program.fake.dialogs.boxes[0].kind, BoxKind::Error);
        QCOMPARE(program.fake.dialogs.boxes[0].text,
                 QStringLiteral("Asynchronous socket error 10061.\n\nВ соединении отказано: на порту %1 сообщения не "
                                "принимают (Pellavine не запущен или его сервер приостановлен).")
                     .arg(port));
        QCOMPARE(program.fake.dialogs.boxes[0].owner, SenderF);
        QVERIFY(isIdle(SenderF));
        QVERIFY(SenderF->isVisible());
        QVERIFY(!SenderF->CS->Active());
        QCOMPARE(SenderF->ADRL->currentText(), QStringLiteral("127.0.0.1"));
        QCOMPARE(SenderF->MSGL->text(), QStringLiteral("hello"));
        QCOMPARE(program.fake.sound.played, QStringList{program.fake.paths.exe + "Wnd.wav"});

        // The user tries again once the recipient listens.
        RawPeer peer, connection;
        QByteArray sent;
        QVERIFY(peer.listen(port));
        SenderF->BBut1Click();
        QTRY_VERIFY(received(peer, connection, sent));
        QCOMPARE(sent, QByteArray("hello"));
        QCOMPARE(program.fake.dialogs.boxes.size(), 1);
    }

    void unresolvableName()
    {
        ProgramFixture program(settingsFor(freeTcpPort()));
        showWindow();
        SenderF->ADRL->setEditText("no-such-host.invalid");
        SenderF->MSGL->setText("hello");
        SenderF->BBut1Click();
        QTRY_COMPARE_WITH_TIMEOUT(program.fake.dialogs.boxes.size(), 1, 15000);
        const QString box = program.fake.dialogs.boxes[0].text;
        QCOMPARE(program.fake.dialogs.boxes[0].kind, BoxKind::Error);
        QVERIFY2(box.startsWith("Windows socket error: "), qPrintable(box));
        // Without a name server the resolver fails with 11002 rather than 11001.
        const QStringList parts = box.split("\n\n");
        QCOMPARE(parts.size(), 2);
        QVERIFY2(parts[0].endsWith("), on API 'ASync Lookup'"), qPrintable(box));
        const QString expected = parts[0].contains("(11002)") ? "Имя не найдено: служба имен не ответила."
                                                              : "Компьютер с таким именем не найден.";
        QCOMPARE(parts[1], expected);
        QVERIFY(isIdle(SenderF));
        QVERIFY(SenderF->isVisible());
        QCOMPARE(SenderF->ADRL->currentText(), QStringLiteral("no-such-host.invalid"));
        QCOMPARE(SenderF->MSGL->text(), QStringLiteral("hello"));
    }

    // No recipient or no text: the notice, and nothing is started.
    void missingInput_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("text");
        QTest::newRow("no address") << "" << "hello";
        QTest::newRow("no text") << "127.0.0.1" << "";
        QTest::newRow("neither") << "" << "";
    }
    void missingInput()
    {
        QFETCH(QString, address);
        QFETCH(QString, text);
        ProgramFixture program(settingsFor(freeTcpPort()));
        showWindow();
        SenderF->ADRL->setEditText(address);
        SenderF->MSGL->setText(text);
        SenderF->BBut1Click();
        QCOMPARE(program.fake.dialogs.texts(BoxKind::Information), QStringList{TSenderF::missingInputText()});
        QCOMPARE(program.fake.dialogs.boxes.size(), 1);
        QCOMPARE(program.fake.dialogs.boxes[0].owner, SenderF); // opens above the window
        QVERIFY(isIdle(SenderF));
        QCOMPARE(SenderF->CS->Socket()->SocketHandle(), -1);
        QCOMPARE(SenderF->CS->Socket()->LookupState(), lsIdle);
        QCOMPARE(SenderF->CS->Host(), QString());
        QCOMPARE(SenderF->ADRL->currentText(), address);
        QCOMPARE(SenderF->MSGL->text(), text);
        QVERIFY(SenderF->isVisible());
    }

    // A connection that cannot be started at all (no usable port): controls back, no box.
    void startFailure()
    {
        ProgramFixture program(settingsFor(0));
        showWindow();
        SenderF->ADRL->setEditText("127.0.0.1");
        SenderF->MSGL->setText("hello");
        SenderF->BBut1Click();
        QVERIFY(isIdle(SenderF));
        QVERIFY(!SenderF->CS->Active());
        QTest::qWait(50); // nothing to wait for: a while in which no box comes
        QVERIFY(program.fake.dialogs.boxes.isEmpty());
        QCOMPARE(SenderF->MSGL->text(), QStringLiteral("hello"));
        QVERIFY(SenderF->isVisible());
    }

    // Enter in the address field moves on; Enter in the message field sends; Tab goes from the
    // message to the address.
    void keys_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("sends");
        QTest::addColumn<QString>("focusAfter");
        QTest::newRow("Enter in the message") << "MSGL" << int(Qt::Key_Return) << true << "";
        QTest::newRow("keypad Enter in the message") << "MSGL" << int(Qt::Key_Enter) << true << "";
        QTest::newRow("a letter in the message") << "MSGL" << int(Qt::Key_A) << false << "MSGL";
        QTest::newRow("Tab from the message") << "MSGL" << int(Qt::Key_Tab) << false << "ADRL";
        QTest::newRow("Enter in the address") << "ADRL" << int(Qt::Key_Return) << false << "MSGL";
        QTest::newRow("keypad Enter in the address") << "ADRL" << int(Qt::Key_Enter) << false << "MSGL";
        QTest::newRow("a letter in the address") << "ADRL" << int(Qt::Key_B) << false << "ADRL";
    }
    void keys()
    {
        QFETCH(QString, field);
        QFETCH(int, key);
        QFETCH(bool, sends);
        QFETCH(QString, focusAfter);
        ProgramFixture program(settingsFor(freeTcpPort()));
        showWindow();
        SenderF->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(SenderF));
        // An empty message: a send shows the notice, which is how a click is seen here.
        SenderF->ADRL->setEditText("127.0.0.1");
        QWidget* target = field == "MSGL" ? static_cast<QWidget*>(SenderF->MSGL) : SenderF->ADRL->lineEdit();
        target->setFocus();
        QTRY_VERIFY(target->hasFocus());
        QTest::keyClick(target, Qt::Key(key));
        QCOMPARE(program.fake.dialogs.texts(BoxKind::Information),
                 sends ? QStringList{TSenderF::missingInputText()} : QStringList{});
        if (!focusAfter.isEmpty()) {
            QWidget* expected = focusAfter == "MSGL" ? static_cast<QWidget*>(SenderF->MSGL) : SenderF->ADRL->lineEdit();
            QTRY_VERIFY(expected->hasFocus());
        }
        QCOMPARE(SenderF->ADRL->count(), 0); // Enter never adds to the history by itself
    }

    // Closing keeps the address in the history once, letter case ignored, at the end; clears
    // the message; the next opening shows the address again.
    void historyOnClose_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("closedWith");
        QTest::addColumn<QStringList>("history");
        QTest::newRow("new address at the end") << QByteArray("alpha\r\nbeta\r\n") << QStringList{"gamma"}
                                                << QStringList{"alpha", "beta", "gamma"};
        QTest::newRow("known in another case") << QByteArray("\xd1\xe5\xf0\xe2\xe5\xf0\r\nSERVER\r\n")
                                               << QStringList{QStringLiteral("сервер"), "server"}
                                               << QStringList{QStringLiteral("Сервер"), "SERVER"};
        QTest::newRow("same new address twice") << QByteArray() << QStringList{"host", "host"} << QStringList{"host"};
        QTest::newRow("empty address once") << QByteArray("a\r\n") << QStringList{"", "", "b", ""}
                                            << QStringList{"a", "", "b"};
        QTest::newRow("no file yet") << QByteArray("<none>") << QStringList{"localhost"} << QStringList{"localhost"};
    }
    void historyOnClose()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, closedWith);
        QFETCH(QStringList, history);
        ProgramFixture program;
        if (file != "<none>")
            restartWith(program, file);
        for (const QString& address : closedWith) {
            showWindow();
            QCOMPARE(SenderF->MSGL->text(), QString());
            SenderF->ADRL->setEditText(address);
            SenderF->MSGL->setText("unsent");
            SenderF->BBut2Click();
            QVERIFY(!SenderF->isVisible());
            QCOMPARE(SenderF->MSGL->text(), QString());
            QCOMPARE(SenderF->ADRL->currentText(), address);
            QCOMPARE(App().LastAddress, address);
        }
        QCOMPARE(SenderF->addresses(), history);
        showWindow();
        QCOMPARE(SenderF->ADRL->currentText(), closedWith.last());
        SenderF->FormDestroy();
        QByteArray expected;
        for (const QString& entry : history)
            expected += platform::toCp1251(entry) + "\r\n";
        QCOMPARE(fileBytes(program.dataFile("Adrs.ini")), expected);
    }

    // History, position and last address survive a restart; the history file byte for byte.
    // A position the platform cannot know is not written over the saved one.
    void survivesRestart()
    {
        const QByteArray history("\xf1\xe5\xf0\xe2\xe5\xf0\r\nServer\r\n127.0.0.7\r\n\r\nlast one\r\n");
        ProgramFixture program;
        QCOMPARE(SenderF->pos(), QPoint(150, 150)); // no settings yet
        restartWith(program, history);
        QCOMPARE(SenderF->addresses(), (QStringList{QStringLiteral("сервер"), "Server", "127.0.0.7", "", "last one"}));
        QCOMPARE(SenderF->ADRL->currentIndex(), -1);
        SenderF->move(321, 87);
        restartWith(program, {});
        QCOMPARE(fileBytes(program.dataFile("Adrs.ini")), history);
        QCOMPARE(SenderF->pos(), QPoint(321, 87));

        showWindow();
        SenderF->ADRL->setEditText("host-2");
        SenderF->BBut2Click();
        SenderF->move(-5, 40);
        restartWith(program, {});
        QCOMPARE(fileBytes(program.dataFile("Adrs.ini")), history + "host-2\r\n");
        QCOMPARE(SenderF->pos(), QPoint(-5, 40));
        QCOMPARE(App().LastAddress, QStringLiteral("host-2"));
        showWindow();
        QCOMPARE(SenderF->ADRL->currentText(), QStringLiteral("host-2"));

        // Where the compositor alone places windows (Wayland), the place read is kept.
        program.fake.windows.windowsPlaced = false;
        SenderF->move(0, 0);
        restartWith(program, {});
        QCOMPARE(SenderF->pos(), QPoint(-5, 40));
    }

    // Closing while the connection is still being set up does not stop the attempt: the
    // cleared field is written (no bytes) and the send sound plays when the connection is made.
    void closingWhileConnecting_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("lookupDelay");
        QTest::addColumn<bool>("reopen");
        QTest::newRow("dotted address") << "127.0.0.1" << 0 << false;
        QTest::newRow("slow name lookup") << "localhost" << 300 << false;
        QTest::newRow("opened again meanwhile") << "localhost" << 300 << true;
    }
    void closingWhileConnecting()
    {
        QFETCH(QString, address);
        QFETCH(int, lookupDelay);
        QFETCH(bool, reopen);
        const int port = freeTcpPort();
        RawPeer peer, connection;
        QByteArray sent;
        QVERIFY(peer.listen(port));
        ProgramFixture program(settingsFor(port));
        net::setLookupDelay(lookupDelay);
        showWindow();
        SenderF->ADRL->setEditText(address);
        SenderF->MSGL->setText("never sent");
        SenderF->BBut1Click();
        SenderF->BBut2Click();
        QVERIFY(!SenderF->isVisible());
        QCOMPARE(SenderF->MSGL->text(), QString());
        QVERIFY(isBusy(SenderF));
        QCOMPARE(App().LastAddress, address);
        const QString wnd = program.fake.paths.exe + "Wnd.wav";
        const QString send = program.fake.paths.exe + "Send.wav";
        QCOMPARE(program.fake.sound.played, QStringList{wnd});
        if (reopen) {
            showWindow();
            QVERIFY(isBusy(SenderF)); // the controls stay disabled until the attempt ends
        }

        QTRY_VERIFY(received(peer, connection, sent));
        QCOMPARE(sent, QByteArray());
        QTRY_COMPARE(program.fake.sound.played.size(), reopen ? 3 : 2);
        QCOMPARE(program.fake.sound.played.last(), send);
        QVERIFY(isIdle(SenderF));
        QVERIFY(!SenderF->isVisible());
        QCOMPARE(SenderF->addresses(), QStringList{address});
        QVERIFY(program.fake.dialogs.boxes.isEmpty());
    }

    // The address box's right button opens the menu; its item empties the list, the typed
    // text stays.
    void clearListMenu_data()
    {
        QTest::addColumn<bool>("onEditField");
        QTest::newRow("edit field") << true;
        QTest::newRow("drop-down button") << false;
    }
    void clearListMenu()
    {
        QFETCH(bool, onEditField);
        ProgramFixture program;
        restartWith(program, "one\r\ntwo\r\n");
        showWindow();
        SenderF->ADRL->setEditText("typed");
        QWidget* target = onEditField ? static_cast<QWidget*>(SenderF->ADRL->lineEdit()) : SenderF->ADRL;
        const QPoint at = onEditField ? QPoint(5, 5) : QPoint(SenderF->ADRL->width() - 5, 5);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, target->mapToGlobal(at));
        QApplication::sendEvent(target, &event);
        QTRY_VERIFY(SenderF->MsgLMenu->isVisible());
        QCOMPARE(SenderF->MsgLMenu->actions(), QList<QAction*>{SenderF->ClearListItem});
        QCOMPARE(SenderF->ClearListItem->text(), QStringLiteral("Очистить список"));
        SenderF->ClearListItem->trigger();
        SenderF->MsgLMenu->hide();
        QCOMPARE(SenderF->addresses(), QStringList{});
        QCOMPARE(SenderF->ADRL->currentText(), QStringLiteral("typed"));
        SenderF->BBut2Click();
        QCOMPARE(SenderF->addresses(), QStringList{"typed"});
    }

    // A history that cannot be read is reported and the rest of the creation still happens; it is
    // not replaced at the end, which is reported, and the settings are written all the same.
    void historyFileErrors()
    {
        ProgramFixture program;
        const QString path = program.dataFile("Adrs.ini");
        destroyWindows();
        QVERIFY(QFile::remove(path)); // the empty history the last run wrote
        QVERIFY(QDir().mkpath(path));
        TIniFile(program.dataFile("Pellavine.ini")).WriteString("sender", "left", "77");
        program.fake.dialogs.boxes.clear();
        createWindows();
        QCOMPARE(program.fake.dialogs.texts(BoxKind::Error), QStringList{"Cannot open file " + path + "."});
        QCOMPARE(SenderF->addresses(), QStringList{});
        QCOMPARE(SenderF->pos(), QPoint(77, 150));
        QCOMPARE(SenderF->Verlab->text(), VersionText);
        QVERIFY(Form1->isVisible());

        SenderF->move(12, 34);
        SenderF->ADRL->setEditText("kept");
        SenderF->FormClose();
        App().FirstStart = true;
        QString message;
        try {
            SenderF->FormDestroy();
        } catch (const std::exception& error) {
            message = QString::fromUtf8(error.what());
        }
        QCOMPARE(message, TSenderF::historyNotSavedText().arg(path));
        QVERIFY(QFileInfo(path).isDir());
        const TIniFile ini(program.dataFile("Pellavine.ini"));
        QCOMPARE(ini.ReadInteger("sender", "left", 0), 12);
        QCOMPARE(ini.ReadInteger("sender", "top", 0), 34);
        QCOMPARE(ini.ReadString("last", "adr", ""), QStringLiteral("kept"));
        QCOMPARE(ini.ReadString("config", "firststart", ""), QStringLiteral("1"));
        QVERIFY(QDir().rmdir(path)); // lets the fixture end cleanly
    }

    // A history or a black list larger than what is read: the start of it is used, the user
    // is told once, and the file stays as it is however the list changes.
    void filesTooLargeKept()
    {
        ProgramFixture program;
        QByteArray big;
        for (int i = 0; big.size() <= addresses::MaxFileBytes; ++i)
            big += "host-" + QByteArray::number(i) + "\r\n";
        const QString history = program.dataFile("Adrs.ini");
        const QString blackList = program.dataFile("BList.ini");
        destroyWindows();
        writeFile(blackList, big);
        restartWith(program, big);
        const QStringList notices = program.fake.dialogs.texts(BoxKind::Information);
        QCOMPARE(notices, (QStringList{TSenderF::historyTooLargeText().arg(history).arg(4),
                                       TBListF::tooLargeText().arg(blackList).arg(4)}));
        const QStringList read = addresses::parseLines(platform::wholeLines(big.left(addresses::MaxFileBytes)));
        QCOMPARE(SenderF->addresses().size(), read.size());
        QCOMPARE(BListF->names(), read);
        QVERIFY(BListF->contains(read.last()));

        BListF->addFromViewer(QStringLiteral("newcomer"));
        BListF->BBut2Click(); // Cancel reads the file again, and says nothing again
        BListF->addFromViewer(QStringLiteral("newcomer"));
        BListF->BBut1Click();
        SenderF->ADRL->setEditText("newcomer");
        destroyWindows();
        QCOMPARE(fileBytes(history), big);
        QCOMPARE(fileBytes(blackList), big);
        QCOMPARE(program.fake.dialogs.texts(BoxKind::Information).size(), notices.size() + 2);
        createWindows();
    }

private:
    // Ends the run and starts the program again, with the history file holding `history` in
    // between (a null array leaves what the last run wrote).
    static void restartWith(ProgramFixture& program, const QByteArray& history)
    {
        destroyWindows();
        if (!history.isNull())
            writeFile(program.dataFile("Adrs.ini"), history);
        program.fake.dialogs.boxes.clear();
        program.fake.sound.played.clear();
        createWindows();
    }
};

QTEST_MAIN(SendWindowTest)
#include "send_window_test.moc"
