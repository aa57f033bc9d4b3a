// The message viewer: its show and hide actions, the auto-focus repeat, the keys and buttons.
#include "tests/support/program_fixture.h"

#include "controls/cool_tray_icon.h"
#include "controls/skinned_button.h"
#include "messaging/inbox.h"
#include "messaging/send_window.h"
#include "net/socket_components.h"
#include "platform/cp1251.h"
#include "platform/modality.h"
#include "windows/config_dialog.h"
#include "windows/black_list.h"
#include "windows/message_viewer.h"

#include <QComboBox>
#include <QFile>
#include <QGlyphRun>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRawFont>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <memory>

using platform::BoxKind;

namespace {

int activationsOf(const platform::FakePlatform& fake, QWidget* window)
{
    int count = 0;
    for (const QPointer<QWidget>& w : fake.windows.activations)
        count += w.data() == window ? 1 : 0;
    return count;
}

// A message as the receiving end leaves it, ready to be shown.
void pretendMessage(const QString& host, bool fresh)
{
    AppState& app = App();
    app.LastTime = QStringLiteral("9:5:3");
    app.LastSenderHost = host;
    app.LastSenderAddress = QStringLiteral("127.0.0.7");
    app.LastText = QStringLiteral("текст");
    app.MessageReceived = true;
    app.FreshMessage = fresh;
    ReceivedMessage message;
    message.arrived = QDateTime(QDate(2025, 3, 14), QTime(9, 5, 3));
    message.host = host;
    message.address = app.LastSenderAddress;
    message.text = app.LastText;
    MsgF->showMessage(message);
}

} // namespace

class MessageViewerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void showActions_data()
    {
        QTest::addColumn<bool>("fresh");
        QTest::addColumn<bool>("autoFocus");
        QTest::addColumn<bool>("soundOn");
        QTest::addColumn<bool>("cycling");
        QTest::addColumn<bool>("timer");
        QTest::addColumn<bool>("windowSound");

        QTest::newRow("new message, auto-focus on") << true << true << true << true << true << false;
        QTest::newRow("new message, auto-focus off") << true << false << true << true << false << false;
        QTest::newRow("new message, silent") << true << true << false << true << true << false;
        QTest::newRow("old message") << false << true << true << false << false << true;
        QTest::newRow("old message, silent") << false << true << false << false << false << false;
    }
    void showActions()
    {
        QFETCH(bool, fresh);
        QFETCH(bool, autoFocus);
        QFETCH(bool, soundOn);
        QFETCH(bool, cycling);
        QFETCH(bool, timer);
        QFETCH(bool, windowSound);

        ProgramFixture program;
        App().AutoFocus = autoFocus;
        App().SoundOn = soundOn;
        pretendMessage(QStringLiteral("alpha"), fresh);

        MsgF->showViewer();
        QVERIFY(MsgF->isVisible());
        QCOMPARE(Form1->TIconQ->CycleIcons(), cycling);
        QCOMPARE(MsgF->t1->isActive(), timer);
        const QStringList expected =
            windowSound ? QStringList{program.fake.paths.exe + QStringLiteral("wnd.wav")} : QStringList{};
        QCOMPARE(program.fake.sound.played, expected);
        QCOMPARE(App().FreshMessage, fresh);
        QCOMPARE(activationsOf(program.fake, MsgF), 1);
    }

    void showingAgainOnlyBringsForward_data()
    {
        QTest::addColumn<bool>("fresh");
        QTest::newRow("open for a new message") << true;
        QTest::newRow("open for an old message") << false;
    }
    void showingAgainOnlyBringsForward()
    {
        QFETCH(bool, fresh);
        ProgramFixture program;
        pretendMessage(QStringLiteral("alpha"), fresh);
        MsgF->showViewer();
        const QStringList soundsBefore = program.fake.sound.played;
        const bool cyclingBefore = Form1->TIconQ->CycleIcons();
        const bool timerBefore = MsgF->t1->isActive();

        // A newer message marks itself fresh and shows the viewer again.
        App().FreshMessage = true;
        MsgF->showViewer();
        QVERIFY(MsgF->isVisible());
        QCOMPARE(program.fake.sound.played, soundsBefore);
        QCOMPARE(Form1->TIconQ->CycleIcons(), cyclingBefore);
        QCOMPARE(MsgF->t1->isActive(), timerBefore);
        QVERIFY(App().FreshMessage);
        QCOMPARE(activationsOf(program.fake, MsgF), 2);
    }

    void hiding_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("listening");
        QTest::addColumn<bool>("hides");

        QTest::newRow("OK, server listening") << "ok" << true << true;
        QTest::newRow("OK, server paused") << "ok" << false << true;
        QTest::newRow("close button, paused") << "close" << false << true;
        QTest::newRow("Return in the text field") << "return in text" << true << true;
        QTest::newRow("keypad Enter in the text field, paused") << "enter in text" << false << true;
        QTest::newRow("Return in the window") << "return in window" << true << true;
        QTest::newRow("reply, paused") << "reply" << false << true;
        QTest::newRow("window closed by the desktop") << "close event" << true << true;
        QTest::newRow("Escape hides, as OK does") << "escape in text" << true << true;
        QTest::newRow("a letter does nothing") << "letter in window" << true << false;
    }
    void hiding()
    {
        QFETCH(QString, how);
        QFETCH(bool, listening);
        QFETCH(bool, hides);

        ProgramFixture program({{"config", "port", QString::number(freeTcpPort())}});
        if (listening) {
            program.passSplash();
            QVERIFY(Form1->SS->Active());
        }
        pretendMessage(QStringLiteral("alpha"), true);
        MsgF->showViewer();
        QVERIFY(MsgF->t1->isActive());
        QVERIFY(Form1->TIconQ->CycleIcons());
        // The opposite picture, so that hiding has to set it.
        Form1->TIconQ->setIconIndex(listening ? 1 : 0);

        if (how == QLatin1String("ok"))
            MsgF->BBut1->Click();
        else if (how == QLatin1String("close"))
            MsgF->BBut3->Click();
        else if (how == QLatin1String("return in text"))
            QTest::keyClick(MsgF->MsgLab, Qt::Key_Return);
        else if (how == QLatin1String("enter in text"))
            QTest::keyClick(MsgF->MsgLab, Qt::Key_Enter, Qt::KeypadModifier);
        else if (how == QLatin1String("return in window"))
            QTest::keyClick(MsgF, Qt::Key_Return);
        else if (how == QLatin1String("reply"))
            MsgF->BBut2->Click();
        else if (how == QLatin1String("close event"))
            MsgF->close();
        else if (how == QLatin1String("escape in text"))
            QTest::keyClick(MsgF->MsgLab, Qt::Key_Escape);
        else if (how == QLatin1String("letter in window"))
            QTest::keyClick(MsgF, Qt::Key_A);

        QCOMPARE(MsgF->isVisible(), !hides);
        if (hides) {
            QVERIFY(!Form1->TIconQ->CycleIcons());
            QCOMPARE(Form1->TIconQ->IconIndex(), listening ? 0 : 1);
            QVERIFY(!MsgF->t1->isActive());
            QVERIFY(!App().FreshMessage);
        } else {
            QVERIFY(Form1->TIconQ->CycleIcons());
            QVERIFY(MsgF->t1->isActive());
            QVERIFY(App().FreshMessage);
        }
        QVERIFY(program.fake.dialogs.boxes.isEmpty());
    }

    void autoFocus_data()
    {
        QTest::addColumn<QString>("interval");
        QTest::addColumn<bool>("autoFocus");
        QTest::addColumn<bool>("soundOn");
        QTest::addColumn<bool>("ticks");

        QTest::newRow("on: re-focus with the window sound") << "40" << true << true << true;
        QTest::newRow("on, silent: re-focus only") << "40" << true << false << true;
        QTest::newRow("off: never") << "40" << false << true << false;
        QTest::newRow("interval 0: never") << "0" << true << true << false;
    }
    void autoFocus()
    {
        QFETCH(QString, interval);
        QFETCH(bool, autoFocus);
        QFETCH(bool, soundOn);
        QFETCH(bool, ticks);

        ProgramFixture program({{"config", "autofocustime", interval}});
        QCOMPARE(MsgF->t1->interval(), interval.toInt());
        // Read once at creation: a new value from the settings dialog waits for the next start.
        App().AutoFocusTime = 100000;
        App().AutoFocus = autoFocus;
        App().SoundOn = soundOn;
        pretendMessage(QStringLiteral("alpha"), true);
        MsgF->showViewer();
        QCOMPARE(activationsOf(program.fake, MsgF), 1);

        if (ticks) {
            QTRY_VERIFY(activationsOf(program.fake, MsgF) >= 4);
            const int refocused = activationsOf(program.fake, MsgF) - 1;
            const QStringList sounds = program.fake.sound.played;
            if (soundOn) {
                // One window sound per tick, and nothing else.
                QVERIFY(sounds.size() >= refocused - 1 && sounds.size() <= refocused + 1);
                for (const QString& played : sounds)
                    QCOMPARE(played, App().WindowSoundPath);
            } else {
                QVERIFY(sounds.isEmpty());
            }
        } else {
            QTest::qWait(160); // nothing to wait for: four intervals without a re-focus
            QCOMPARE(activationsOf(program.fake, MsgF), 1);
            QVERIFY(program.fake.sound.played.isEmpty());
        }

        // Hidden, the viewer stays quiet.
        MsgF->hide();
        const int afterHide = activationsOf(program.fake, MsgF);
        QTest::qWait(160); // nothing to wait for: four intervals without a re-focus
        QCOMPARE(activationsOf(program.fake, MsgF), afterHide);
    }

    void reply_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("typed"); // in a send window already open; empty: closed
        QTest::addColumn<QString>("shownAddress");

        QTest::newRow("send window closed") << "alpha" << "" << "alpha";
        QTest::newRow("sender without a name") << "" << "" << "";
        QTest::newRow("send window already open keeps its address") << "alpha" << "beta" << "beta";
        // Such a name cannot be looked up and may pose as another: the reply goes to the address.
        QTest::newRow("name with hidden characters") << QStringLiteral("boss-pc\u00A0\u00A0(127.1.1.10):") << ""
                                                     << "127.0.0.7";
    }
    void reply()
    {
        QFETCH(QString, host);
        QFETCH(QString, typed);
        QFETCH(QString, shownAddress);

        ProgramFixture program;
        if (!typed.isEmpty()) {
            SenderF->show();
            SenderF->ADRL->setEditText(typed);
        }
        pretendMessage(host, true);
        MsgF->showViewer();
        MsgF->BBut2->Click();

        QVERIFY(!MsgF->isVisible());
        QCOMPARE(App().LastAddress, typed.isEmpty() ? shownAddress : host);
        QVERIFY(SenderF->isVisible());
        QCOMPARE(SenderF->ADRL->currentText(), shownAddress);
        QVERIFY(activationsOf(program.fake, SenderF) >= 1);
        QVERIFY(!Form1->TIconQ->CycleIcons());
    }

    void addToBlackList_data()
    {
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("notice");
        QTest::addColumn<QStringList>("after");

        QTest::newRow("new name, case kept") << QStringList{QStringLiteral("ALPHA")} << "Beta"
                                             << "Компьютер Beta успешно занесен в черный список!"
                                             << QStringList{QStringLiteral("ALPHA"), QStringLiteral("Beta")};
        QTest::newRow("already listed in another case") << QStringList{QStringLiteral("BETA")} << "beta"
                                                        << "Этот компьютер уже занесен в черный список!"
                                                        << QStringList{QStringLiteral("BETA")};
        QTest::newRow("Cyrillic name") << QStringList{} << "Бухгалтерия"
                                       << "Компьютер Бухгалтерия успешно занесен в черный список!"
                                       << QStringList{QStringLiteral("Бухгалтерия")};
    }
    void addToBlackList()
    {
        QFETCH(QStringList, listed);
        QFETCH(QString, host);
        QFETCH(QString, notice);
        QFETCH(QStringList, after);

        ProgramFixture program;
        useBlackList(listed);
        const QByteArray fileBefore = [] {
            QFile file(App().BlackListPath);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }();
        pretendMessage(host, true);
        MsgF->showViewer();
        MsgF->BBut5->Click();

        QCOMPARE(program.fake.dialogs.texts(BoxKind::Information), QStringList{notice});
        QCOMPARE(BListF->names(), after);
        QVERIFY(MsgF->isVisible());
        // The file waits for the black list's OK or the shut-down.
        QFile file(App().BlackListPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), fileBefore);
    }

    // "◀ ещё N", in the header clear of the time, is reached by Tab and steps on Space and
    // Enter as on a click. A message on screen when the program ends stays unseen.
    void earlierByKeyboard_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Space") << int(Qt::Key_Space);
        QTest::newRow("Enter") << int(Qt::Key_Return);
    }
    void earlierByKeyboard()
    {
        QFETCH(int, key);
        ProgramFixture program;
        for (const QString& text : {QStringLiteral("раньше"), QStringLiteral("позже")}) {
            ReceivedMessage message;
            message.text = text;
            inbox().add(message);
        }
        MsgF->showNewest();
        MsgF->showViewer();
        QTest::keyClick(MsgF->MsgLab, Qt::Key_Tab);
        QCOMPARE(MsgF->focusWidget(), MsgF->earlierButton());
        QTest::keyClick(MsgF->earlierButton(), Qt::Key(key));
        QCOMPARE(MsgF->MsgLab->toPlainText(), QStringLiteral("раньше"));
        QVERIFY(MsgF->isVisible() && MsgF->earlierButton()->isHidden());

        const QRect place = MsgF->earlierButton()->geometry();
        const int timeWidth = MsgF->MsgTimeLab->fontMetrics().horizontalAdvance(QStringLiteral("23:59:59"));
        QVERIFY(place.top() >= 0 && place.bottom() < MsgF->Shape1->y());
        QVERIFY(place.right() < MsgF->MsgTimeLab->geometry().center().x() - timeWidth / 2);

        MsgF->FormDestroy();
        MsgF->hide();
        QCOMPARE(inbox().unseenCount(), 1);
    }

    void printable_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");

        QTest::newRow("ordinary text") << "Привет, <b>мир</b> & все!" << "Привет, <b>мир</b> & все!";
        QTest::newRow("NUL in the middle") << QStringLiteral("до") + QChar(0) + QStringLiteral("после")
                                           << QStringLiteral("до◄NUL►после");
        QTest::newRow("NUL first and last") << QString(QChar(0)) + QStringLiteral("x") + QChar(0)
                                            << QStringLiteral("◄NUL►x◄NUL►");
        QTest::newRow("bell, escape, delete") << "a\x07" "b\x1b" "c\x7f" << QStringLiteral("a◄BEL►b◄ESC►c◄DEL►");
        QTest::newRow("tab and line breaks stay") << "a\tb\r\nc\nd\re" << "a\tb\r\nc\nd\re";
        QTest::newRow("byte 0x98 of the code page") << platform::fromCp1251(QByteArray("x\x98y"))
                                                    << QStringLiteral("x\uFFFDy");
    }
    void printable()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(TMsgF::printable(text), shown);
    }

    // A dialog opened while the viewer shows blocks it; the next message brings the viewer
    // forward usable, not the dialog in its place.
    void aNewMessageFreesTheViewerFromALaterDialog()
    {
        ProgramFixture program;
        pretendMessage(QStringLiteral("alpha"), true);
        MsgF->showViewer();
        bool blockedFirst = false;
        bool freed = false;
        QTimer::singleShot(0, ConfigF, [&] {
            blockedFirst = platform::isBlockedByModal(MsgF);
            MsgF->showViewer();
            freed = !platform::isBlockedByModal(MsgF) && platform::activationTarget(MsgF) == MsgF;
            ConfigF->BBut2Click();
        });
        ConfigF->showModal();
        QVERIFY(blockedFirst);
        QVERIFY(freed);
    }

    // Each stand-in has glyphs in the fonts of the desktop, in the text and in the header alike
    // (a character no font has draws as an empty box), and no two controls look alike.
    void standInsAreDrawn()
    {
        ProgramFixture program;
        QStringList shown;
        for (char16_t c = 0; c < 0x20; ++c) {
            if (c != u'\t' && c != u'\n' && c != u'\r')
                shown << TMsgF::printable(QString(QChar(c)));
        }
        shown << TMsgF::printable(QStringLiteral("\x7f")) << TMsgF::printable(QStringLiteral("\u0098"));
        QCOMPARE(QSet<QString>(shown.cbegin(), shown.cend()).size(), shown.size());
        shown << TMsgF::visibleName(QStringLiteral("\t\u00A0\u200B"));
        for (const QFont& font : {MsgF->MsgLab->font(), MsgF->InfoLab1->font()}) {
            for (const QString& text : shown) {
                QTextLayout layout(text, font);
                layout.beginLayout();
                layout.createLine();
                layout.endLayout();
                for (const QGlyphRun& run : layout.glyphRuns())
                    QVERIFY2(!run.glyphIndexes().contains(0), qPrintable(text + " in " + run.rawFont().familyName()));
            }
        }
    }

    // The sender's line never hides the real address: the name is shortened to fit, characters
    // that are invisible or reorder text show as visible stand-ins, and the whole name is in the
    // label's plain-text tool tip.
    void senderHeader_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shown"); // the name on the label; "…" when it had to be shortened

        const QString nbsp(40, QChar(0x00A0));
        QTest::newRow("ordinary name") << "alpha-pc" << "alpha-pc";
        QTest::newRow("no name") << "" << "";
        QTest::newRow("246 characters") << QString(246, QLatin1Char('w')) << "…";
        QTest::newRow("no-break spaces posing as a header")
            << QStringLiteral("boss-pc") + nbsp + QStringLiteral("(127.1.1.10):") + nbsp << "…";
        QTest::newRow("zero-width, bidi and other spaces")
            << QStringLiteral("bo\u200Bss\u202E-pc\u2066\u3000\uFEFF\u00AD") << QStringLiteral("bo\uFFFDss\uFFFD-pc\uFFFD\u2423\uFFFD\uFFFD");
        QTest::newRow("line break and tab") << QStringLiteral("a\nb\tc") << QStringLiteral("a◄LF►b◄HT►c");
        QTest::newRow("markup") << "<b>boss</b>&amp;" << "<b>boss</b>&amp;";
        QTest::newRow("right-to-left name") << QStringLiteral("שרת-ראשי 12") << QStringLiteral("\u2068שרת-ראשי 12\u2069");
    }
    void senderHeader()
    {
        QFETCH(QString, name);
        QFETCH(QString, shown);
        ProgramFixture program;
        const QString address = QStringLiteral("127.177.177.123");
        MsgF->showSender(name, address);

        const QString text = MsgF->InfoLab1->text();
        const QString head = QStringLiteral("Сообщение от ");
        const QString tail = QStringLiteral(" (") + address + QStringLiteral("):");
        QVERIFY(text.startsWith(head) && text.endsWith(tail));
        const QString onLabel = text.mid(head.size(), text.size() - head.size() - tail.size());
        if (shown == QStringLiteral("…"))
            QVERIFY2(onLabel.contains(shown) && onLabel.size() < name.size(), qPrintable(onLabel));
        else
            QCOMPARE(onLabel, shown);
        for (const char32_t c : QStringView(onLabel).toUcs4()) {
            const bool isolate = c == 0x2068 || c == 0x2069; // ours, around a right-to-left name
            QVERIFY2(isolate || (QChar::isPrint(c) && (c == ' ' || !QChar::isSpace(c))),
                     qPrintable(QString::number(c, 16)));
        }

        // Drawn in one line, inside the label, with the address last and in its own order.
        const QRect room = MsgF->InfoLab1->contentsRect();
        QTextLayout layout(text, MsgF->InfoLab1->font());
        QTextOption option(Qt::AlignHCenter);
        option.setTextDirection(Qt::LeftToRight);
        layout.setTextOption(option);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        line.setLineWidth(100000);
        layout.endLayout();
        QVERIFY(line.naturalTextWidth() <= room.width());
        const int tailStart = int(text.size() - tail.size());
        qreal before = 0;
        for (int i = 0; i < tailStart; ++i)
            before = qMax(before, line.cursorToX(i));
        qreal x = line.cursorToX(tailStart);
        QVERIFY(x >= before);
        for (int i = tailStart + 1; i <= text.size(); ++i) {
            QVERIFY2(line.cursorToX(i) > x, qPrintable(QString::number(i)));
            x = line.cursorToX(i);
        }

        // The whole name, as plain text, in the tool tip.
        const QString tip = MsgF->InfoLab1->toolTip();
        if (name.isEmpty()) {
            QVERIFY(tip.isEmpty());
            return;
        }
        QVERIFY(Qt::mightBeRichText(tip)); // how a tool tip decides, so the escapes are read
        QTextDocument document;
        document.setHtml(tip);
        QCOMPARE(document.toPlainText().remove(QChar::LineSeparator).remove(QLatin1Char('\n')),
                 TMsgF::visibleName(name));
    }

    // Word wrapping lays a stretch without break opportunities out in time growing with the
    // square of its length: half a second for the 64 KiB a sender may send, again and again.
    void wrapping_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("anywhere");

        QString noBreakSpaces;
        while (noBreakSpaces.size() <= TMsgF::LongestWordToWrap)
            noBreakSpaces += QStringLiteral("ab\u00a0");
        // The space after a word counts with it.
        const QString longestWord(TMsgF::LongestWordToWrap - 1, QLatin1Char('w'));

        QTest::newRow("ordinary words") << QStringLiteral("Привет, как дела? Всё хорошо.") << false;
        QTest::newRow("words as long as may be") << (longestWord + QLatin1Char(' ')).repeated(5) << false;
        QTest::newRow("64 KiB of one letter") << QString(MaxMessageBytes, QLatin1Char('A')) << true;
        QTest::newRow("one word too long") << QString(TMsgF::LongestWordToWrap + 1, QChar(0x0436)) << true;
        QTest::newRow("no-break spaces join words") << noBreakSpaces << true;
    }
    void wrapping()
    {
        QFETCH(QString, text);
        QFETCH(bool, anywhere);

        ProgramFixture program;
        MsgF->show();
        // Before it, a text wrapped the other way.
        MsgF->showText(anywhere ? QStringLiteral("a b") : QString(MaxMessageBytes, QLatin1Char('A')));
        MsgF->showText(text);
        QCOMPARE(MsgF->MsgLab->wordWrapMode(),
                 anywhere ? QTextOption::WrapAnywhere : QTextOption::WrapAtWordBoundaryOrAnywhere);
        QCOMPARE(MsgF->MsgLab->document()->toRawText(), text);
    }

    void layout()
    {
        ProgramFixture program;
        const QRect client = MsgF->rect();
        const QList<TBBut*> row = {MsgF->BBut1, MsgF->BBut2, MsgF->BBut5};
        const QStringList captions = {QStringLiteral("OK"), QStringLiteral("Ответить"),
                                      QStringLiteral("В черный список")};
        for (int i = 0; i < row.size(); ++i) {
            QCOMPARE(row[i]->Caption(), captions[i]);
            QVERIFY(client.contains(row[i]->geometry()));
            // Push buttons are 75 to 95 wide, and each caption fits its face.
            QVERIFY(row[i]->width() >= 75 && row[i]->width() <= 95);
            QVERIFY(QFontMetrics(skin::windowFont()).horizontalAdvance(captions[i]) <= row[i]->width());
            QCOMPARE(row[i]->y(), row[0]->y());
            if (i > 0)
                QVERIFY(row[i]->geometry().left() > row[i - 1]->geometry().right());
        }
        // The text sits inside its one-pixel accent border, between the labels and the buttons.
        QCOMPARE(MsgF->Shape1->geometry().adjusted(1, 1, -1, -1), MsgF->MsgLab->geometry());
        QVERIFY(MsgF->Shape1->geometry().bottom() < MsgF->BBut1->y());
        QVERIFY(MsgF->MsgTimeLab->geometry().bottom() < MsgF->InfoLab1->y());
        QVERIFY(MsgF->InfoLab1->geometry().bottom() < MsgF->Shape1->y());
        QVERIFY(MsgF->MsgLab->isReadOnly());
        QCOMPARE(MsgF->MsgTimeLab->textFormat(), Qt::PlainText);
        QCOMPARE(MsgF->InfoLab1->textFormat(), Qt::PlainText);

        MsgF->show();
        QVERIFY(QTest::qWaitForWindowExposed(MsgF));
        const QImage picture = MsgF->grab().toImage();
        QCOMPARE(picture.pixelColor(MsgF->Shape1->geometry().topLeft()), QColor(0xD7, 0xD7, 0x00));
        QCOMPARE(picture.pixelColor(MsgF->MsgLab->geometry().topLeft() + QPoint(2, 2)), QColor(0xED, 0xF2, 0xD8));
    }
};

QTEST_MAIN(MessageViewerTest)
#include "message_viewer_test.moc"
