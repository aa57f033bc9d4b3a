// The main window: start-up state, the welcome time, and the tray menu's commands.
#include "tests/support/program_fixture.h"
#include "tests/support/unprivileged.h"

#include "controls/cool_tray_icon.h"
#include "controls/skinned_button.h"
#include "messaging/send_window.h"
#include "net/socket_components.h"
#include "platform/cp1251.h"
#include "platform/modality.h"
#include "windows/black_list.h"
#include "windows/config_dialog.h"
#include "windows/message_viewer.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>


using platform::BoxKind;
using platform::isBlockedByModal;
using platform::TrayNotice;
using platform::TrayRequest;

namespace {

const QString Pause = QStringLiteral("Приостановить сервер Pellavine");
const QString Resume = QStringLiteral("Запустить сервер Pellavine");

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void firstRunStartsWithTheDefaults()
    {
        ProgramFixture program;
        const AppState& app = App();
        QCOMPARE(app.Port, 243);
        QCOMPARE(app.SplashTime, 2000);
        QVERIFY(app.SplashTransparent && app.SoundOn && app.AutoFocus && app.FirstStart);
        QCOMPARE(app.AutoFocusTime, 10000);
        QCOMPARE(app.LastAddress, QStringLiteral("localhost"));
        QCOMPARE(app.SettingsPath, program.dataFile(QStringLiteral("Pellavine.ini")));
        QCOMPARE(app.BlackListPath, program.dataFile(QStringLiteral("BList.ini")));
        QCOMPARE(app.HelpPath, program.fake.paths.exe + QStringLiteral("help.htm"));
        QCOMPARE(app.MessageSoundPath, program.fake.paths.exe + QStringLiteral("Msg.wav"));
        QCOMPARE(Form1->TIconQ->Hint(),
                 QStringLiteral("Pellavine 1.2\r\nЗа текущий сеанс сообщений не поступало."));
        QCOMPARE(Form1->Ef1->interval(), 2000);
        QVERIFY(!Form1->SS->Active());
        QVERIFY(!Form1->TIconQ->IconVisible());
    }

    void settingsAreReadFromTheFile()
    {
        ProgramFixture program({{"Config", "PORT", "0x100"}, {"config", "sptime", "1500"},
                                {"config", "snd", "0"}, {"config", "autofocustime", "abc"},
                                {"last", "adr", "  \"server\"  "}});
        QCOMPARE(App().Port, 256);
        QCOMPARE(App().SplashTime, 1500);
        QCOMPARE(Form1->Ef1->interval(), 1500);
        QCOMPARE(Form1->SS->Port(), 256);
        QVERIFY(!App().SoundOn);
        QCOMPARE(App().AutoFocusTime, 10000);
        QCOMPARE(App().LastAddress, QStringLiteral("server"));
    }

    // What a run starts with from the file is what it leaves there: each key is read into its
    // place and written back from it (in its written form; the first run is over after any run).
    void settingsSurviveARun_data()
    {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("left");
        QTest::newRow("port") << "config" << "port" << "4321" << "4321";
        QTest::newRow("splash time, hexadecimal") << "config" << "sptime" << "0x5DC" << "1500";
        QTest::newRow("transparency off") << "config" << "sptrans" << "0" << "0";
        QTest::newRow("sound, 2 is true") << "config" << "snd" << "2" << "1";
        QTest::newRow("auto-focus off") << "config" << "autofocus" << "0" << "0";
        QTest::newRow("auto-focus time") << "config" << "autofocustime" << "20000" << "20000";
        QTest::newRow("first start") << "config" << "firststart" << "1" << "0";
        QTest::newRow("send window's left") << "sender" << "left" << "-20" << "-20";
        QTest::newRow("send window's top") << "sender" << "top" << "77" << "77";
        QTest::newRow("last address") << "last" << "adr" << "сервер-1" << "сервер-1";
    }
    void settingsSurviveARun()
    {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, left);
        ProgramFixture program({{section, key, value}});
        destroyWindows();
        QCOMPARE(TIniFile(program.dataFile(QStringLiteral("Pellavine.ini"))).ReadString(section, key, QString()), left);
    }

    // A port beyond the TCP range is refused in Russian, in the command line's words, at the
    // start and on resuming; nothing listens.
    void portOutOfRangeIsToldInRussian_data()
    {
        QTest::addColumn<int>("port");
        QTest::newRow("0") << 0;
        QTest::newRow("999999") << 999999;
    }
    void portOutOfRangeIsToldInRussian()
    {
        QFETCH(int, port);
        ProgramFixture program({{"config", "port", QString::number(port)}});
        const QString told = QStringLiteral("В файле настроек %1 неверный порт %2: нужно число от 1 до 65535.")
                                 .arg(program.dataFile(QStringLiteral("Pellavine.ini")))
                                 .arg(port);
        QVERIFY(!platform::runGuarded([] { Form1->Ef1Timer(); }));
        QCOMPARE(program.fake.dialogs.texts(BoxKind::Error), QStringList{told});
        Form1->N2->trigger();
        QCOMPARE(program.fake.dialogs.texts(BoxKind::Error), QStringList(2, told));
        QVERIFY(!Form1->SS->Active());
    }

    void transparency_data()
    {
        QTest::addColumn<QString>("sptrans");
        QTest::addColumn<double>("opacity");
        QTest::newRow("on") << "1" << 230.0 / 255.0;
        QTest::newRow("off") << "0" << 1.0;
    }
    void transparency()
    {
        QFETCH(QString, sptrans);
        QFETCH(double, opacity);
        ProgramFixture program({{"config", "sptrans", sptrans}});
        QVERIFY(qAbs(Form1->windowOpacity() - opacity) < 0.01);
    }

    void welcomeWindowDragsByEitherPicture_data()
    {
        QTest::addColumn<bool>("emblem");
        QTest::addColumn<int>("button");
        QTest::newRow("background, left") << false << int(Qt::LeftButton);
        QTest::newRow("background, right") << false << int(Qt::RightButton);
        QTest::newRow("emblem, middle") << true << int(Qt::MiddleButton);
    }
    void welcomeWindowDragsByEitherPicture()
    {
        QFETCH(bool, emblem);
        QFETCH(int, button);
        ProgramFixture program;
        QWidget* picture = emblem ? static_cast<QWidget*>(Form1->Image2) : Form1->Image1;
        const QPoint at = emblem ? QPoint(64, 64) : QPoint(20, 20);
        QCOMPARE(Form1->childAt(picture->mapTo(Form1, at)), picture);
        QTest::mousePress(picture, Qt::MouseButton(button), {}, at);
        QCOMPARE(program.fake.windows.moves.size(), 1);
        QCOMPARE(program.fake.windows.moves.first().data(), Form1);
    }

    void firstRunBalloonOnlyOnTheFirstRun_data()
    {
        QTest::addColumn<QString>("firststart");
        QTest::addColumn<bool>("balloon");
        QTest::newRow("first run") << "1" << true;
        QTest::newRow("later run") << "0" << false;
    }
    void firstRunBalloonOnlyOnTheFirstRun()
    {
        QFETCH(QString, firststart);
        QFETCH(bool, balloon);
        ProgramFixture program({{"config", "port", QString::number(freeTcpPort())}, {"config", "firststart", firststart}});
        program.passSplash();
        QVERIFY(Form1->TIconQ->IconVisible());
        QVERIFY(!Form1->isVisible());
        QList<platform::TrayIconRecord> balloons;
        for (const auto& record : program.fake.tray.records(TrayRequest::Modify)) {
            if (!record.infoText.isEmpty())
                balloons << record;
        }
        QCOMPARE(balloons.size(), balloon ? 1 : 0);
        if (balloon) {
            QCOMPARE(balloons[0].infoTitle, QStringLiteral("Pellavine 1.2"));
            QCOMPARE(balloons[0].infoText, TForm1::firstRunBalloonText().left(255));
            QCOMPARE(balloons[0].infoFlags, 1u);
            QCOMPARE(balloons[0].timeoutOrVersion, 60000u);
        }
    }

    void listensOnlyAfterTheWelcomeTime()
    {
        const int port = freeTcpPort();
        ProgramFixture program({{"config", "port", QString::number(port)}, {"config", "sptime", "300"}});
        // The send window shows the welcome window while the windows are created.
        QVERIFY(Form1->isVisible());
        QVERIFY(!acceptsOnLoopback(port));
        QTRY_VERIFY_WITH_TIMEOUT(Form1->SS->Active(), 3000);
        QVERIFY(acceptsOnLoopback(port));
        QVERIFY(!Form1->isVisible());
        QVERIFY(Form1->TIconQ->IconVisible());
    }

    void theMenuHasItsItemsInOrder()
    {
        ProgramFixture program;
        const QList<QAction*> items = Form1->TreyMenu->actions();
        const QList<QAction*> expected = {Form1->N6, Form1->N15, Form1->N8, Form1->N14, Form1->N11,
                                          Form1->N4, Form1->N1, Form1->Pellavine2, Form1->N12, Form1->Pellavine1,
                                          Form1->EmailAuthorItem, Form1->N5, Form1->N2, Form1->N3};
        QCOMPARE(items, expected);
        const QStringList captions = {"Отправить сообщение...", "", "Последнее сообщение", "", "Настройки...",
                                      "Черный список...", "", "О Pellavine...", "", WebPageAddress,
                                      QString(MailAddress).remove(QStringLiteral("mailto:")), "", Pause,
                                      "Выключить сервер"};
        for (int i = 0; i < items.size(); ++i) {
            QCOMPARE(items[i]->isSeparator(), captions[i].isEmpty());
            if (!captions[i].isEmpty())
                QCOMPARE(items[i]->text(), captions[i]);
        }
        QCOMPARE(Form1->TreyMenu->defaultAction(), Form1->N6);
        QVERIFY(Form1->N6->font().bold());
    }

    void pauseAsksAndResumeDoesNot()
    {
        ProgramFixture program({{"config", "port", QString::number(freeTcpPort())}});
        program.passSplash();
        QVERIFY(Form1->SS->Active());

        program.fake.dialogs.answers = {false};
        Form1->N2Click();
        QCOMPARE(program.fake.dialogs.texts(BoxKind::Confirmation),
                 QStringList{"При остановке сервера посылаемые вам сообщения приниматься не будут! Продолжить?"});
        QVERIFY(Form1->SS->Active());
        QCOMPARE(Form1->N2->text(), Pause);

        program.fake.dialogs.answers = {true};
        Form1->N2Click();
        QVERIFY(!Form1->SS->Active());
        QCOMPARE(Form1->N2->text(), Resume);
        QCOMPARE(Form1->TIconQ->IconIndex(), 1);

        Form1->N2Click();
        QCOMPARE(program.fake.dialogs.texts(BoxKind::Confirmation).size(), 2);
        QVERIFY(Form1->SS->Active());
        QCOMPARE(Form1->N2->text(), Pause);
        QCOMPARE(Form1->TIconQ->IconIndex(), 0);
    }

    void resumeOnATakenPortKeepsThePausedState()
    {
        const int port = freeTcpPort();
        ProgramFixture program({{"config", "port", QString::number(port)}});
        program.passSplash();
        program.fake.dialogs.answers = {true};
        Form1->N2Click();
        TServerSocket squatter;
        squatter.setPort(port);
        squatter.setActive(true);
        // The menu runs its handlers guarded: the error goes to the error box.
        Form1->N2->trigger();
        QCOMPARE(program.fake.dialogs.texts(BoxKind::Error).size(), 1);
        QVERIFY(program.fake.dialogs.texts(BoxKind::Error)[0].contains(QStringLiteral("'bind'")));
        QCOMPARE(Form1->N2->text(), Resume);
        QCOMPARE(Form1->TIconQ->IconIndex(), 1);
    }

    // A port another program holds: the error, then the paused state and no word of receiving;
    // once the port is free, resuming listens.
    void aTakenPortAtTheStartShowsThePausedState()
    {
        const int port = freeTcpPort();
        TServerSocket squatter;
        squatter.setPort(port);
        squatter.setActive(true);
        ProgramFixture program({{"config", "port", QString::number(port)}, {"config", "firststart", "1"}});
        platform::runGuarded([] { Form1->Ef1Timer(); }); // as the splash timer runs it
        QCOMPARE(program.fake.dialogs.texts(BoxKind::Error).size(), 1);
        QVERIFY(Form1->TIconQ->IconVisible());
        QCOMPARE(Form1->N2->text(), Resume);
        QCOMPARE(Form1->TIconQ->IconIndex(), 1);
        for (const auto& record : program.fake.tray.records(TrayRequest::Modify))
            QVERIFY2(record.infoText.isEmpty(), qPrintable(record.infoText));

        squatter.setActive(false);
        Form1->N2Click();
        QVERIFY(Form1->SS->Active());
        QCOMPARE(Form1->N2->text(), Pause);
        QCOMPARE(Form1->TIconQ->IconIndex(), 0);
    }

    void pausingWhileAMessageIsShownIsRefused()
    {
        ProgramFixture program({{"config", "port", QString::number(freeTcpPort())}});
        program.passSplash();
        MsgF->show();
        Form1->N2Click();
        QCOMPARE(program.fake.dialogs.texts(BoxKind::Information), QStringList{"Закройте текущее сообщение!"});
        QVERIFY(program.fake.dialogs.texts(BoxKind::Confirmation).isEmpty());
        QVERIFY(Form1->SS->Active());
    }

    void lastMessageBeforeAnyMessageTellsSo()
    {
        ProgramFixture program;
        Form1->N8Click();
        QCOMPARE(program.fake.dialogs.texts(BoxKind::Information),
                 QStringList{"За текущий сеанс сообщений не поступало."});
        QVERIFY(!MsgF->isVisible());
        App().MessageReceived = true;
        Form1->N8Click();
        QVERIFY(MsgF->isVisible());
        QVERIFY(!App().FreshMessage);
    }

    void leftClickSendsOrFocusesTheViewer()
    {
        ProgramFixture program({{"config", "port", QString::number(freeTcpPort())}});
        program.passSplash();
        const auto id = quintptr(Form1->TIconQ);
        program.fake.tray.send(id, {TrayNotice::LeftDown, TrayNotice::LeftUp});
        QTRY_VERIFY(SenderF->isVisible());
        SenderF->hide();

        MsgF->show();
        program.fake.windows.activations.clear();
        program.fake.tray.send(id, {TrayNotice::LeftDown, TrayNotice::LeftUp});
        QTRY_VERIFY(!program.fake.windows.activations.isEmpty());
        QCOMPARE(program.fake.windows.activations.last().data(), static_cast<QWidget*>(MsgF));
        QVERIFY(!SenderF->isVisible());
    }

    void linksOpenWithTheShell()
    {
        ProgramFixture program;
        Form1->Pellavine1Click();
        Form1->EmailAuthorItemClick();
        Form1->SpeedButton1Click();
        QCOMPARE(program.fake.shell.opened, (QStringList{WebPageAddress, MailAddress, WebPageAddress}));
    }

    void welcomeLabels_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QRect>("place");
        QTest::addColumn<int>("alignment");
        QTest::newRow("version, right-aligned") << "Label1" << VersionText << QRect(255, 5, 28, 14) << int(Qt::AlignRight);
        QTest::newRow("author") << "Label3" << "Orvath" << QRect(83, 223, 125, 14) << int(Qt::AlignLeft);
        QTest::newRow("maker") << "Label2" << "(Daskemoor)" << QRect(115, 236, 61, 14) << int(Qt::AlignLeft);
    }
    void welcomeLabels()
    {
        QFETCH(QString, label);
        QFETCH(QString, text);
        QFETCH(QRect, place);
        QFETCH(int, alignment);
        ProgramFixture program;
        const QLabel* shown = label == QLatin1String("Label1") ? Form1->Label1
                              : label == QLatin1String("Label2") ? Form1->Label2 : Form1->Label3;
        QCOMPARE(shown->text(), text);
        QCOMPARE(shown->y(), place.y());
        QCOMPARE(shown->height(), place.height());
        // The aligned edge stays where it is placed; the text is never cut off.
        if (alignment == Qt::AlignRight)
            QCOMPARE(shown->geometry().right(), place.right());
        else
            QCOMPARE(shown->x(), place.x());
        QVERIFY(shown->width() >= place.width());
        QVERIFY(shown->fontMetrics().horizontalAdvance(text) <= shown->width());
        QCOMPARE(int(shown->alignment() & Qt::AlignHorizontal_Mask), alignment);
    }

    // A dialog from the tray blocks the windows showing at that moment. The viewer shown while it
    // is open is usable; a second dialog from the tray blocks the first until it closes, and
    // asking for the first again only brings it forward.
    void dialogsFromTheTrayLeaveLaterWindowsUsable()
    {
        ProgramFixture program({{"config", "port", QString::number(freeTcpPort())}});
        program.passSplash();
        SenderF->show();
        bool viewerUsable = false;
        bool secondBlocksFirst = false;
        bool firstFreedAfterSecond = false;
        QTimer::singleShot(0, ConfigF, [&] {
            App().MessageReceived = true;
            Form1->N8Click();
            viewerUsable = isBlockedByModal(SenderF) && !isBlockedByModal(ConfigF) && MsgF->isVisible()
                           && !isBlockedByModal(MsgF);
            QTest::mouseClick(MsgF->BBut1, Qt::LeftButton);
            viewerUsable = viewerUsable && !MsgF->isVisible();
            QTimer::singleShot(0, BListF, [&] {
                Form1->N11Click();
                secondBlocksFirst = ConfigF->isModalShowing() && isBlockedByModal(ConfigF) && !isBlockedByModal(BListF);
                // The blocked dialog's "Отмена" does nothing.
                QTest::mouseClick(ConfigF->BBut2, Qt::LeftButton);
                secondBlocksFirst = secondBlocksFirst && ConfigF->isVisible();
                BListF->BBut2Click();
            });
            Form1->N4Click();
            firstFreedAfterSecond = !isBlockedByModal(ConfigF) && isBlockedByModal(SenderF);
            ConfigF->BBut2Click();
        });
        Form1->N11Click();
        QVERIFY(viewerUsable);
        QVERIFY(secondBlocksFirst);
        QVERIFY(firstFreedAfterSecond);
        QVERIFY(!ConfigF->isVisible() && !BListF->isVisible());
        QVERIFY(!isBlockedByModal(SenderF));
    }

    // "Выключить сервер" from the tray while a dialog, or a box over it, is open: every loop
    // ends and every file is written, with what the open dialog held.
    void shutDownWhileADialogIsOpen_data()
    {
        QTest::addColumn<bool>("boxOpen");
        QTest::newRow("black list open") << false;
        QTest::newRow("a box over the black list") << true;
    }
    void shutDownWhileADialogIsOpen()
    {
        QFETCH(bool, boxOpen);
        auto program = std::make_unique<ProgramFixture>(
            QList<ProgramFixture::Setting>{{"config", "port", QString::number(freeTcpPort())}});
        program->passSplash();
        const QString blist = program->dataFile(QStringLiteral("BList.ini"));
        const QString ini = program->dataFile(QStringLiteral("Pellavine.ini"));
        QTimer::singleShot(0, Form1, [&] {
            QTimer::singleShot(0, BListF, [&] {
                BListF->UsrEd->setText(QStringLiteral("вася"));
                BListF->BBut4Click();
                if (boxOpen) {
                    program->fake.dialogs.whileOpen = [](const platform::RecordedBox&) { Form1->N3->trigger(); };
                    BListF->BBut4Click(); // no name: "Введите имя компьютера!"
                } else {
                    Form1->N3->trigger();
                }
            });
            Form1->N4->trigger();
        });
        QCOMPARE(Application().Run(), 0);
        QVERIFY(Application().Terminated());
        QCOMPARE(program->fake.dialogs.boxes.size(), boxOpen ? 1 : 0);
        destroyWindows();
        QFile list(blist);
        QVERIFY(list.open(QIODevice::ReadOnly));
        QCOMPARE(list.readAll(), platform::toCp1251(QStringLiteral("ВАСЯ\r\n")));
        QCOMPARE(TIniFile(ini).ReadString(QStringLiteral("config"), QStringLiteral("firststart"), QString()),
                 QStringLiteral("0"));
        QVERIFY(QFile::exists(program->dataFile(QStringLiteral("Adrs.ini"))));
    }

    void shutDownEndsTheLoopAndWritesEveryFile()
    {
        auto program = std::make_unique<ProgramFixture>(QList<ProgramFixture::Setting>{{"config", "port", QString::number(freeTcpPort())}});
        const QString ini = program->dataFile(QStringLiteral("Pellavine.ini"));
        const QString adrs = program->dataFile(QStringLiteral("Adrs.ini"));
        const QString blist = program->dataFile(QStringLiteral("BList.ini"));
        QFile::remove(ini);
        Form1->N3Click();
        QVERIFY(Application().Terminated());
        App().Port = 4321;
        destroyWindows();
        QVERIFY(QFile::exists(adrs));
        QVERIFY(QFile::exists(blist));
        const TIniFile file(ini);
        QCOMPARE(file.ReadInteger(QStringLiteral("config"), QStringLiteral("port"), 0), 4321);
        QCOMPARE(file.ReadString(QStringLiteral("config"), QStringLiteral("firststart"), QString()), QStringLiteral("0"));
        QCOMPARE(file.ReadString(QStringLiteral("last"), QStringLiteral("adr"), QString()), QStringLiteral("localhost"));
        QVERIFY(!file.ReadString(QStringLiteral("sender"), QStringLiteral("left"), QString()).isEmpty());
    }

    // A list file that could not be read (a FIFO, or no read permission) does not hang the start,
    // is reported, and is not replaced at shut-down by what this run put in the empty list.
    void filesThatCannotBeReadAreKept_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("fifo"); // else a file of mode 0200
        QTest::newRow("BList.ini, FIFO") << "BList.ini" << true;
        QTest::newRow("BList.ini, write-only") << "BList.ini" << false;
        QTest::newRow("Adrs.ini, FIFO") << "Adrs.ini" << true;
        QTest::newRow("Adrs.ini, write-only") << "Adrs.ini" << false;
        QTest::newRow("Pellavine.ini, FIFO") << "Pellavine.ini" << true;
    }
    void filesThatCannotBeReadAreKept()
    {
        QFETCH(QString, file);
        QFETCH(bool, fifo);
        if (!fifo)
            PV_RUN_UNPRIVILEGED();
        ProgramFixture program;
        destroyWindows();
        const QString path = program.dataFile(file);
        const QByteArray kept("KEPT-1\r\nKEPT-2\r\n");
        QFile::remove(path);
        if (fifo) {
            QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else {
            QFile planted(path);
            QVERIFY(planted.open(QIODevice::WriteOnly));
            planted.write(kept);
            planted.close();
            QVERIFY(planted.setPermissions(QFileDevice::WriteOwner));
        }
        program.fake.dialogs.boxes.clear();
        createWindows();
        const bool settings = file == QLatin1String("Pellavine.ini");
        // An unreadable settings file gives the defaults, as a missing one does.
        QCOMPARE(program.fake.dialogs.texts(BoxKind::Error),
                 settings ? QStringList{} : QStringList{QStringLiteral("Cannot open file ") + path + QLatin1Char('.')});
        QCOMPARE(App().Port, 243);

        // What the run adds to the lists, which start empty; the black list's OK does not keep
        // its window open over a file that cannot be helped.
        BListF->addFromViewer(QStringLiteral("ВАСЯ"));
        BListF->show();
        program.fake.dialogs.boxes.clear();
        BListF->BBut1Click();
        QVERIFY(!BListF->isVisible());
        const QString notSaved = TBListF::notSavedText().arg(path);
        QCOMPARE(program.fake.dialogs.texts(BoxKind::Error),
                 file == QLatin1String("BList.ini") ? QStringList{notSaved} : QStringList{});
        SenderF->ADRL->setEditText(QStringLiteral("server"));
        SenderF->FormClose();
        program.fake.dialogs.boxes.clear();
        destroyWindows();

        QStringList reports;
        if (settings)
            reports = QStringList(2, QStringLiteral("Unable to write to ") + path + QLatin1Char('.'));
        else
            reports << (file == QLatin1String("BList.ini") ? notSaved : TSenderF::historyNotSavedText().arg(path));
        QCOMPARE(program.fake.dialogs.texts(BoxKind::Error), reports);
        if (fifo) {
            struct stat status {};
            QCOMPARE(lstat(QFile::encodeName(path).constData(), &status), 0);
            QVERIFY(S_ISFIFO(status.st_mode));
        } else {
            QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
            QFile left(path);
            QVERIFY(left.open(QIODevice::ReadOnly));
            QCOMPARE(left.readAll(), kept);
        }
    }

    // Without a usable data folder the program says why once, runs on its defaults, and neither
    // reads nor writes any file (not in the working folder either).
    void noDataFolder()
    {
        ProgramFixture program;
        destroyWindows();
        QTemporaryDir working;
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(working.path()));
        program.fake.paths.data.clear();
        program.fake.paths.problem = QStringLiteral("Папка не подходит.");
        program.fake.dialogs.boxes.clear();
        createWindows();
        QCOMPARE(program.fake.dialogs.texts(BoxKind::Error), QStringList{program.fake.paths.problem});
        QVERIFY(App().SettingsPath.isEmpty() && App().BlackListPath.isEmpty() && App().AddressListPath.isEmpty());
        BListF->addFromViewer(QStringLiteral("ВАСЯ"));
        BListF->BBut1Click();
        SenderF->ADRL->setEditText(QStringLiteral("server"));
        SenderF->FormClose();
        destroyWindows();
        QDir::setCurrent(before);
        QCOMPARE(program.fake.dialogs.texts(BoxKind::Error), QStringList{program.fake.paths.problem});
        QCOMPARE(QDir(working.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList{});
    }
};

PV_TEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
