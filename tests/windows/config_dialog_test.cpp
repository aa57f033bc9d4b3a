#define QTEST_QPA_MOUSE_HANDLING
#include "controls/skinned_button.h"
#include "controls/spin_edit.h"
#include "tests/support/program_fixture.h"
#include "windows/config_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QtTest>

#include <memory>

namespace {

const QString Notice = QStringLiteral("Некоторые настройки вступят в силу только после перезапуска программы!");

TSpinEdit* spinNamed(const QString& name)
{
    if (name == QLatin1String("autofocustimeed"))
        return ConfigF->autofocustimeed;
    if (name == QLatin1String("PortEd"))
        return ConfigF->PortEd;
    if (name == QLatin1String("sptimeed"))
        return ConfigF->sptimeed;
    return nullptr;
}

QCheckBox* checkNamed(const QString& name)
{
    if (name == QLatin1String("SndEd"))
        return ConfigF->SndEd;
    if (name == QLatin1String("AutoFocusED"))
        return ConfigF->AutoFocusED;
    if (name == QLatin1String("SpTransEd"))
        return ConfigF->SpTransEd;
    return nullptr;
}

// The AppState field a spin field edits.
int storedFor(const QString& name)
{
    if (name == QLatin1String("autofocustimeed"))
        return App().AutoFocusTime;
    if (name == QLatin1String("PortEd"))
        return App().Port;
    return App().SplashTime;
}

// The six controls' states, in the order the dialog stores them.
QString controlsState()
{
    auto flag = [](QCheckBox* box) { return box->isChecked() ? QStringLiteral("on") : QStringLiteral("off"); };
    return QStringList{flag(ConfigF->SndEd), flag(ConfigF->AutoFocusED), ConfigF->autofocustimeed->Text(),
                       ConfigF->PortEd->Text(), ConfigF->sptimeed->Text(), flag(ConfigF->SpTransEd)}
        .join(QLatin1Char(' '));
}

QString appState()
{
    const AppState& a = App();
    auto flag = [](bool on) { return on ? QStringLiteral("on") : QStringLiteral("off"); };
    return QStringList{flag(a.SoundOn), flag(a.AutoFocus), QString::number(a.AutoFocusTime), QString::number(a.Port),
                       QString::number(a.SplashTime), flag(a.SplashTransparent)}
        .join(QLatin1Char(' '));
}

void setNonDefaults()
{
    AppState& a = App();
    a.SoundOn = false;
    a.AutoFocus = false;
    a.AutoFocusTime = 20000;
    a.Port = 5000;
    a.SplashTime = 3000;
    a.SplashTransparent = false;
}

void typeText(QWidget* target, const QString& text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, c.isLetter() ? c.toUpper().unicode() : c.unicode(), Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &press);
    }
}

bool showActive()
{
    ConfigF->show();
    ConfigF->activateWindow();
    return QTest::qWaitForWindowActive(ConfigF);
}

} // namespace

class ConfigDialogTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // A comma as the decimal separator, as on the program's home desktops.
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    }
    void cleanup() { program.reset(); }

    void showsAndStoresStoredNumbers_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("stored");

        QTest::newRow("port 0 shows 1") << "port" << "0" << "PortEd" << "1" << 1;
        QTest::newRow("negative port") << "port" << "-80" << "PortEd" << "1" << 1;
        QTest::newRow("port beyond TCP range") << "port" << "999999" << "PortEd" << "999999" << 999999;
        QTest::newRow("port beyond field") << "port" << "1000000" << "PortEd" << "999999" << 999999;
        QTest::newRow("default port") << "port" << "" << "PortEd" << "243" << 243;
        QTest::newRow("interval too short") << "autofocustime" << "5" << "autofocustimeed" << "1000" << 1000;
        QTest::newRow("interval kept") << "autofocustime" << "12345" << "autofocustimeed" << "12345" << 12345;
        QTest::newRow("splash too long") << "sptime" << "400000" << "sptimeed" << "300000" << 300000;
        QTest::newRow("splash hexadecimal") << "sptime" << "0x1000" << "sptimeed" << "4096" << 4096;
    }
    void showsAndStoresStoredNumbers()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, field);
        QFETCH(QString, shown);
        QFETCH(int, stored);
        QList<ProgramFixture::Setting> settings;
        if (!value.isEmpty())
            settings << ProgramFixture::Setting{QStringLiteral("config"), key, value};
        program = std::make_unique<ProgramFixture>(settings);

        ConfigF->show();
        QCOMPARE(spinNamed(field)->Text(), shown);
        ConfigF->BBut1->Click();
        QCOMPARE(storedFor(field), stored);
        QVERIFY(!ConfigF->isVisible());
    }

    void showsAndStoresSwitches_data()
    {
        QTest::addColumn<QString>("snd");
        QTest::addColumn<QString>("autofocus");
        QTest::addColumn<QString>("sptrans");

        QTest::newRow("all on") << "1" << "1" << "1";
        QTest::newRow("all off") << "0" << "0" << "0";
        QTest::newRow("sound only") << "1" << "0" << "0";
        QTest::newRow("auto-focus only") << "0" << "2" << "0";
        QTest::newRow("transparency only") << "0" << "0" << "1";
    }
    void showsAndStoresSwitches()
    {
        QFETCH(QString, snd);
        QFETCH(QString, autofocus);
        QFETCH(QString, sptrans);
        const QString config = QStringLiteral("config");
        program = std::make_unique<ProgramFixture>(QList<ProgramFixture::Setting>{
            {config, QStringLiteral("snd"), snd},
            {config, QStringLiteral("autofocus"), autofocus},
            {config, QStringLiteral("sptrans"), sptrans}});
        const bool sound = snd != QLatin1String("0");
        const bool focus = autofocus != QLatin1String("0");
        const bool trans = sptrans != QLatin1String("0");

        ConfigF->show();
        QCOMPARE(ConfigF->SndEd->isChecked(), sound);
        QCOMPARE(ConfigF->AutoFocusED->isChecked(), focus);
        QCOMPARE(ConfigF->SpTransEd->isChecked(), trans);
        QCOMPARE(ConfigF->autofocustimeed->isEnabled(), focus);

        // Stored back unchanged, after a round of flipping every box twice.
        for (QCheckBox* box : {ConfigF->SndEd, ConfigF->AutoFocusED, ConfigF->SpTransEd}) {
            box->toggle();
            box->toggle();
        }
        ConfigF->BBut1->Click();
        QCOMPARE(App().SoundOn, sound);
        QCOMPARE(App().AutoFocus, focus);
        QCOMPARE(App().SplashTransparent, trans);
    }

    void typedThenEnter_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("tabFirst");
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("textAfter");

        // Still focused: no clamping happens before "OK" reads the field.
        QTest::newRow("interval 5, Enter") << "autofocustimeed" << "5" << false << 5 << "5";
        QTest::newRow("interval 5, Tab, Enter") << "autofocustimeed" << "5" << true << 1000 << "1000";
        QTest::newRow("port erased") << "PortEd" << "" << false << 1 << "";
        QTest::newRow("port erased, Tab") << "PortEd" << "" << true << 1 << "";
        QTest::newRow("port 999999") << "PortEd" << "999999" << false << 999999 << "999999";
        QTest::newRow("port past field, Enter") << "PortEd" << "1234567" << false << 1234567 << "1234567";
        QTest::newRow("port past field, Tab") << "PortEd" << "1234567" << true << 999999 << "999999";
        QTest::newRow("port with letters") << "PortEd" << "8o8o" << false << 88 << "88";
        QTest::newRow("splash as a fraction") << "sptimeed" << "2,5" << false << 1000 << "2,5";
        QTest::newRow("splash too long, Tab") << "sptimeed" << "300001" << true << 300000 << "300000";
    }
    void typedThenEnter()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(bool, tabFirst);
        QFETCH(int, stored);
        QFETCH(QString, textAfter);
        program = std::make_unique<ProgramFixture>();
        QVERIFY(showActive());

        TSpinEdit* spin = spinNamed(field);
        spin->editor()->setFocus(Qt::TabFocusReason);
        QVERIFY(spin->editor()->hasSelectedText());
        QTest::keyClick(spin->editor(), Qt::Key_Delete);
        typeText(spin->editor(), typed);
        if (tabFirst)
            QTest::keyClick(spin->editor(), Qt::Key_Tab);
        QCOMPARE(spin->Text(), textAfter);

        QWidget* focused = QApplication::focusWidget();
        QVERIFY(focused);
        QTest::keyClick(focused, Qt::Key_Return);
        QCOMPARE(storedFor(field), stored);
        QCOMPARE(program->fake.dialogs.texts(platform::BoxKind::Information), QStringList{Notice});
        QVERIFY(!ConfigF->isVisible());
    }

    void enterActsAsOk_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("beeps");

        QTest::newRow("sound box") << "SndEd" << int(Qt::Key_Return) << 0;
        QTest::newRow("auto-focus box") << "AutoFocusED" << int(Qt::Key_Return) << 0;
        QTest::newRow("transparency box, keypad") << "SpTransEd" << int(Qt::Key_Enter) << 0;
        // The field's own filter still refuses the Enter character after "OK" ran.
        QTest::newRow("interval field") << "autofocustimeed" << int(Qt::Key_Return) << 1;
        QTest::newRow("port field, keypad") << "PortEd" << int(Qt::Key_Enter) << 1;
        QTest::newRow("splash field") << "sptimeed" << int(Qt::Key_Return) << 1;
        QTest::newRow("window itself") << "window" << int(Qt::Key_Return) << 0;
    }
    void enterActsAsOk()
    {
        QFETCH(QString, where);
        QFETCH(int, key);
        QFETCH(int, beeps);
        program = std::make_unique<ProgramFixture>();
        QVERIFY(showActive());
        ConfigF->PortEd->setValue(4321);
        ConfigF->SndEd->setChecked(false);

        QWidget* target = ConfigF;
        if (TSpinEdit* spin = spinNamed(where))
            target = spin->editor();
        else if (QCheckBox* box = checkNamed(where))
            target = box;
        if (target != ConfigF) {
            target->setFocus(Qt::TabFocusReason);
            QVERIFY(target->hasFocus());
        }
        QTest::keyClick(target, Qt::Key(key));

        QCOMPARE(App().Port, 4321);
        QCOMPARE(App().SoundOn, false);
        // Exactly one "OK": the key is not passed on to the window a second time.
        QCOMPARE(program->fake.dialogs.texts(platform::BoxKind::Information), QStringList{Notice});
        QCOMPARE(program->fake.dialogs.beeps, beeps);
        QVERIFY(!ConfigF->isVisible());
    }

    void checkBoxDrivesInterval_data()
    {
        QTest::addColumn<bool>("stored");
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("enabled");

        QTest::newRow("shown checked") << true << "none" << true;
        QTest::newRow("shown unchecked") << false << "none" << false;
        QTest::newRow("click unchecks") << true << "click" << false;
        QTest::newRow("click checks") << false << "click" << true;
        QTest::newRow("space key unchecks") << true << "space" << false;
        QTest::newRow("set by code") << true << "uncheck" << false;
        QTest::newRow("defaults check it") << false << "defaults" << true;
        QTest::newRow("cancel after unchecking restores") << true << "click, cancel" << true;
        QTest::newRow("cancel after checking restores") << false << "click, cancel" << false;
    }
    void checkBoxDrivesInterval()
    {
        QFETCH(bool, stored);
        QFETCH(QString, action);
        QFETCH(bool, enabled);
        program = std::make_unique<ProgramFixture>();
        App().AutoFocus = stored;
        QVERIFY(showActive());
        QCheckBox* box = ConfigF->AutoFocusED;
        if (action.startsWith(QLatin1String("click")))
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
        if (action == QLatin1String("space")) {
            box->setFocus(Qt::TabFocusReason);
            QTest::keyClick(box, Qt::Key_Space);
        }
        if (action == QLatin1String("uncheck"))
            box->setChecked(false);
        if (action == QLatin1String("defaults"))
            ConfigF->BBut4->Click();
        if (action.endsWith(QLatin1String("cancel")))
            ConfigF->BBut2->Click();
        QCOMPARE(box->isChecked(), enabled);
        QCOMPARE(ConfigF->autofocustimeed->isEnabled(), enabled);
        QCOMPARE(App().AutoFocus, stored);
    }

    void defaultsSetControlsOnly()
    {
        program = std::make_unique<ProgramFixture>();
        setNonDefaults();
        const QString before = appState();
        ConfigF->show();
        QCOMPARE(controlsState(), before);

        ConfigF->BBut4->Click();
        QCOMPARE(controlsState(), QStringLiteral("on on 10000 243 2000 on"));
        QCOMPARE(appState(), before);
        QVERIFY(ConfigF->isVisible());
        QVERIFY(program->fake.dialogs.boxes.isEmpty());

        ConfigF->BBut1->Click();
        QCOMPARE(appState(), QStringLiteral("on on 10000 243 2000 on"));
    }

    void okAlwaysShowsNotice_data()
    {
        QTest::addColumn<bool>("change");
        QTest::newRow("nothing changed") << false;
        QTest::newRow("port changed") << true;
    }
    void okAlwaysShowsNotice()
    {
        QFETCH(bool, change);
        program = std::make_unique<ProgramFixture>();
        const QString before = appState();
        for (int round = 1; round <= 2; ++round) {
            ConfigF->show();
            if (change)
                ConfigF->PortEd->setValue(243 + round);
            // The notice comes after the values are stored and before the window closes.
            QString storedWhileOpen;
            bool visibleWhileOpen = false;
            program->fake.dialogs.whileOpen = [&](const platform::RecordedBox&) {
                storedWhileOpen = appState();
                visibleWhileOpen = ConfigF->isVisible();
            };
            ConfigF->BBut1->Click();
            QCOMPARE(program->fake.dialogs.boxes.size(), round);
            const platform::RecordedBox& box = program->fake.dialogs.boxes.last();
            QCOMPARE(box.kind, platform::BoxKind::Information);
            QCOMPARE(box.title, QStringLiteral("Pellavine 1.2"));
            QCOMPARE(box.text, Notice);
            QCOMPARE(storedWhileOpen, appState());
            QVERIFY(visibleWhileOpen);
            QVERIFY(!ConfigF->isVisible());
            QCOMPARE(App().Port, change ? 243 + round : 243);
        }
        if (!change)
            QCOMPARE(appState(), before);
    }

    void cancelRestores_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("Отмена") << "BBut2";
        QTest::newRow("close button") << "BBut3";
    }
    void cancelRestores()
    {
        QFETCH(QString, button);
        program = std::make_unique<ProgramFixture>();
        setNonDefaults();
        const QString before = appState();
        QVERIFY(showActive());
        ConfigF->BBut4->Click();
        ConfigF->PortEd->setText(QStringLiteral("77"));
        TBBut* cancel = button == QLatin1String("BBut2") ? ConfigF->BBut2 : ConfigF->BBut3;
        QTest::mousePress(cancel, Qt::LeftButton, {}, QPoint(8, 8));
        QTest::mouseRelease(cancel, Qt::LeftButton, {}, QPoint(8, 8));
        QVERIFY(!ConfigF->isVisible());
        QCOMPARE(appState(), before);
        QCOMPARE(controlsState(), before);
        QCOMPARE(ConfigF->autofocustimeed->isEnabled(), false);
        QVERIFY(program->fake.dialogs.boxes.isEmpty());
    }

    void windowSoundOnShow_data()
    {
        QTest::addColumn<bool>("soundOn");
        QTest::newRow("sounds on") << true;
        QTest::newRow("sounds off") << false;
    }
    void windowSoundOnShow()
    {
        QFETCH(bool, soundOn);
        program = std::make_unique<ProgramFixture>();
        App().SoundOn = soundOn;
        program->fake.sound.played.clear();
        ConfigF->show();
        const QStringList expected = soundOn ? QStringList{program->fake.paths.exe + QStringLiteral("Wnd.wav")}
                                             : QStringList{};
        QCOMPARE(program->fake.sound.played, expected);
    }

    void modalFromTrayMenu()
    {
        program = std::make_unique<ProgramFixture>();
        bool ranInside = false;
        QTimer::singleShot(0, ConfigF, [&] {
            ranInside = ConfigF->isModalShowing();
            ConfigF->sptimeed->setValue(7000);
            ConfigF->BBut1->Click();
        });
        Form1->N11Click();
        QVERIFY(ranInside);
        QVERIFY(!ConfigF->isModalShowing());
        QCOMPARE(App().SplashTime, 7000);
    }

private:
    std::unique_ptr<ProgramFixture> program;
};

QTEST_MAIN(ConfigDialogTest)
#include "config_dialog_test.moc"
