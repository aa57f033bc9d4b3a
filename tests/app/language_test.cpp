// The interface's language: which one each locale gets, the translation in use in the windows and
// the help document of that language.
#include "tests/support/program_fixture.h"

#include "app/language.h"
#include "controls/skinned_button.h"
#include "windows/message_viewer.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const char* const LocaleVariables[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};

// Sets the locale variables as given; an empty value unsets the variable.
void setLocale(const LocaleEnvironment& locale)
{
    const QString values[] = {locale.language, locale.all, locale.messages, locale.lang};
    for (int i = 0; i < 4; ++i) {
        if (values[i].isEmpty())
            qunsetenv(LocaleVariables[i]);
        else
            qputenv(LocaleVariables[i], values[i].toUtf8());
    }
}

QString binDir()
{
    return qEnvironmentVariable("PELLAVINE_BIN_DIR");
}

} // namespace

class LanguageTest : public QObject {
    Q_OBJECT
    LocaleEnvironment started_;

private Q_SLOTS:
    void initTestCase() { started_ = LocaleEnvironment::current(); }

    void cleanup()
    {
        setLocale(started_);
        installTranslations(binDir());
    }

    void choice_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("all");
        QTest::addColumn<QString>("messages");
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QStringList>("translated");
        QTest::addColumn<QString>("chosen");
        const QStringList en = {QStringLiteral("en")};
        QTest::newRow("nothing set") << "" << "" << "" << "" << en << "ru";
        QTest::newRow("C") << "" << "" << "" << "C" << en << "ru";
        QTest::newRow("C.UTF-8") << "" << "" << "" << "C.UTF-8" << en << "ru";
        QTest::newRow("POSIX") << "" << "" << "" << "POSIX" << en << "ru";
        QTest::newRow("Russian") << "" << "" << "" << "ru_RU.UTF-8" << en << "ru";
        QTest::newRow("American") << "" << "" << "" << "en_US.UTF-8" << en << "en";
        QTest::newRow("British") << "" << "" << "" << "en_GB.UTF-8" << en << "en";
        QTest::newRow("English, no country") << "" << "" << "" << "en" << en << "en";
        QTest::newRow("with a modifier") << "" << "" << "" << "en_IE.UTF-8@euro" << en << "en";
        QTest::newRow("untranslated language") << "" << "" << "" << "de_DE.UTF-8" << en << "ru";
        QTest::newRow("no translation at all") << "" << "" << "" << "en_US.UTF-8" << QStringList() << "ru";
        QTest::newRow("LC_MESSAGES over LANG") << "" << "" << "en_US.UTF-8" << "ru_RU.UTF-8" << en << "en";
        QTest::newRow("LC_ALL over LC_MESSAGES") << "" << "ru_RU.UTF-8" << "en_US.UTF-8" << "" << en << "ru";
        QTest::newRow("LC_ALL=C over LANG") << "" << "C" << "" << "en_US.UTF-8" << en << "ru";
        QTest::newRow("LANGUAGE over the locale") << "en" << "" << "" << "ru_RU.UTF-8" << en << "en";
        QTest::newRow("LANGUAGE, first that fits") << "de:en_GB:ru" << "" << "" << "de_DE.UTF-8" << en << "en";
        QTest::newRow("LANGUAGE, source first") << "ru:en" << "" << "" << "en_US.UTF-8" << en << "ru";
        // gettext's rule: a LANGUAGE list replaces the locale, it does not add to it.
        QTest::newRow("LANGUAGE, none fits") << "de:fr" << "" << "" << "en_US.UTF-8" << en << "ru";
        QTest::newRow("LANGUAGE ignored under C") << "en" << "" << "" << "C" << en << "ru";
        QTest::newRow("LANGUAGE ignored, nothing set") << "en" << "" << "" << "" << en << "ru";
        QTest::newRow("country's own translation")
            << "" << "" << "" << "pt_BR.UTF-8" << QStringList{"pt_BR", "pt"} << "pt_BR";
        QTest::newRow("language's translation")
            << "" << "" << "" << "pt_PT.UTF-8" << QStringList{"pt_BR", "pt"} << "pt";
        QTest::newRow("another country's only") << "" << "" << "" << "pt_PT.UTF-8" << QStringList{"pt_BR"} << "ru";
    }

    void choice()
    {
        QFETCH(QString, language);
        QFETCH(QString, all);
        QFETCH(QString, messages);
        QFETCH(QString, lang);
        QFETCH(QStringList, translated);
        QFETCH(QString, chosen);
        QCOMPARE(chooseLanguage({language, all, messages, lang}, translated), chosen);
    }

    // The windows in the session's language, from the translation beside the program: the
    // Russian as written where there is none for it.
    void windows_data()
    {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QStringList>("texts");
        const QStringList russian = {"Pellavine 1.2 (Просмотр сообщения)", "Ответить", "В черный список",
                                     "Сообщение от alpha (127.0.0.7):", "Отправить сообщение...", "Закрыть"};
        QTest::newRow("C") << "C" << russian;
        QTest::newRow("Russian") << "ru_RU.UTF-8" << russian;
        QTest::newRow("German") << "de_DE.UTF-8" << russian;
        QTest::newRow("English") << "en_US.UTF-8"
                                 << QStringList{"Pellavine 1.2 (Message)", "Reply", "Add to black list",
                                                "Message from alpha (127.0.0.7):", "Send message...", "Close"};
    }

    void windows()
    {
        QFETCH(QString, lang);
        QFETCH(QStringList, texts);
        setLocale({QString(), QString(), QString(), lang});
        installTranslations(binDir());
        ProgramFixture program;
        MsgF->showSender(QStringLiteral("alpha"), QStringLiteral("127.0.0.7"));
        const QStringList shown = {MsgF->windowTitle(),          MsgF->BBut2->Caption(),
                                   MsgF->BBut5->Caption(),       MsgF->InfoLab1->text(),
                                   Form1->N6->text(),            MsgF->BBut3->accessibleName()};
        QCOMPARE(shown, texts);
    }

    void installedLanguage()
    {
        setLocale({QString(), QString(), QString(), QStringLiteral("en_GB.UTF-8")});
        QCOMPARE(installTranslations(binDir()), QStringLiteral("en"));
        QCOMPARE(interfaceLanguage(), QStringLiteral("en"));
        // The file chosen must be there: a folder without translations leaves the texts as written.
        QTemporaryDir empty;
        QCOMPARE(installTranslations(empty.path()), SourceLanguage);
        QCOMPARE(QCoreApplication::translate("TMsgF", "Ответить"), QStringLiteral("Ответить"));
    }

    void helpDocument_data()
    {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QString>("opened");
        const QStringList both = {"help.htm", "help.en.htm"};
        QTest::newRow("Russian") << "C" << both << "help.htm";
        QTest::newRow("English") << "en_US.UTF-8" << both << "help.en.htm";
        QTest::newRow("English, no English help") << "en_US.UTF-8" << QStringList{"help.htm"} << "help.htm";
    }

    void helpDocument()
    {
        QFETCH(QString, lang);
        QFETCH(QStringList, present);
        QFETCH(QString, opened);
        setLocale({QString(), QString(), QString(), lang});
        installTranslations(binDir());
        QTemporaryDir folder;
        const QString dir = folder.path() + QLatin1Char('/');
        for (const QString& name : present) {
            QFile file(dir + name);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QCOMPARE(localizedDocument(dir, QStringLiteral("help.htm")), dir + opened);
        AppState state;
        state.computePaths(dir, QString());
        QCOMPARE(state.HelpPath, dir + opened);
    }
};

QTEST_MAIN(LanguageTest)
#include "language_test.moc"
