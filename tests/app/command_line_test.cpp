// The command line: its arguments, and the real program sending from a script, with no display,
// to raw loopback listeners and beside a running tray copy.
#include "app/command_line.h"
#include "messaging/send_window.h"
#include "tests/support/program_fixture.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

namespace {

QString programPath()
{
    return qEnvironmentVariable("PELLAVINE_BIN_DIR") + QStringLiteral("/pellavine");
}

// Everything the next connection to `listener` carried up to its close; "(no connection)" when
// none came. A connection the program made is already queued by the time it has ended.
QByteArray takeMessage(RawPeer& listener, int waitMs = 5000)
{
    RawPeer connection;
    if (!listener.accept(connection, waitMs))
        return "(no connection)";
    QByteArray bytes;
    if (!connection.readToEnd(&bytes, 5000))
        return bytes + "(not closed)";
    return bytes;
}

struct Run {
    int status = -1; // -1: crashed or never ended
    QString out;
    QString err;
};

} // namespace

class CommandLineTest : public QObject {
    Q_OBJECT

    QTemporaryDir home;
    int port = 0;

    // No display of any kind: an application object that needs one would abort the program.
    QProcessEnvironment consoleEnvironment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        return env;
    }

    void start(QProcess& process, const QStringList& arguments, const QByteArray& input)
    {
        process.setProcessEnvironment(consoleEnvironment());
        process.start(programPath(), arguments);
        QVERIFY(process.waitForStarted());
        // Written out now: the caller may block on a listener rather than run an event loop.
        process.write(input);
        while (process.bytesToWrite() > 0 && process.waitForBytesWritten(5000)) {
        }
        process.closeWriteChannel();
    }

    Run run(const QStringList& arguments, const QByteArray& input = {})
    {
        QProcess process;
        start(process, arguments, input);
        return finish(process);
    }

    Run finish(QProcess& process)
    {
        Run result;
        if (!process.waitForFinished(30000))
            process.kill();
        if (process.exitStatus() == QProcess::NormalExit && process.state() == QProcess::NotRunning)
            result.status = process.exitCode();
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

    // Runs the current case again in a child of this test program, in user and mount namespaces
    // of its own whose /etc/hosts is `hosts`; skips where such namespaces cannot be made.
    void runWithHosts(const QByteArray& hosts)
    {
        QTemporaryFile file;
        QVERIFY(file.open() && file.write(hosts) == hosts.size() && file.flush());
        const QStringList unshare{"--user", "--map-root-user", "--mount"};
        if (QProcess::execute(QStringLiteral("unshare"), unshare + QStringList{"true"}) != 0)
            QSKIP("no user and mount namespaces here");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PELLAVINE_OWN_HOSTS"), QStringLiteral("1"));
        QProcess child;
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        const QString test = QString::fromLatin1(QTest::currentTestFunction()) + QLatin1Char(':')
                             + QString::fromUtf8(QTest::currentDataTag());
        const QString script = QStringLiteral("mount --bind \"$0\" /etc/hosts && exec \"$@\"");
        child.start(QStringLiteral("unshare"), unshare + QStringList{"sh", "-c", script, file.fileName(),
                                                                     QCoreApplication::applicationFilePath(), test});
        QVERIFY(child.waitForFinished(60000));
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, child.readAll().constData());
    }

    QStringList sendTo(const QString& hosts) const
    {
        return {QStringLiteral("--send"), hosts, QStringLiteral("--port"), QString::number(port)};
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(home.isValid()); }
    void init() { port = freeTcpPort(); }

    void commandLineOrTrayProgram_data()
    {
        QTest::addColumn<QByteArrayList>("arguments");
        QTest::addColumn<bool>("commandLine");
        QTest::newRow("no arguments") << QByteArrayList{} << false;
        QTest::newRow("Qt's -platform") << QByteArrayList{"-platform", "offscreen"} << false;
        QTest::newRow("session manager") << QByteArrayList{"-session", "1234"} << false;
        QTest::newRow("--send") << QByteArrayList{"--send", "pc"} << true;
        QTest::newRow("--platform is not Qt's") << QByteArrayList{"--platform"} << true;
        QTest::newRow("a word") << QByteArrayList{"hello"} << true;
        QTest::newRow("Qt's options only") << QByteArrayList{"-style=Fusion", "-reverse", "-display", ":1"} << false;
        QTest::newRow("Qt's option before --send") << QByteArrayList{"-style", "Fusion", "--send", "pc"} << true;
        QTest::newRow("a word after Qt's option") << QByteArrayList{"-reverse", "hello"} << true;
    }
    void commandLineOrTrayProgram()
    {
        QFETCH(QByteArrayList, arguments);
        QFETCH(bool, commandLine);
        arguments.prepend("pellavine");
        std::vector<char*> argv;
        for (QByteArray& argument : arguments)
            argv.push_back(argument.data());
        QCOMPARE(isCommandLine(int(argv.size()), argv.data()), commandLine);
    }

    void parse_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("hosts");
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<QString>("error");
        const int send = CommandLine::Send, invalid = CommandLine::Invalid;
        const int wait = CommandLine::DefaultTimeoutMs;
        QTest::newRow("hosts by comma and repeat, each once")
            << QStringList{"--send", "pc1, pc2,,PC1", "--send=pc3", "hi"} << send
            << QStringList{"pc1", "pc2", "pc3"} << QStringList{"hi"} << 0 << wait << QString();
        QTest::newRow("options after the text")
            << QStringList{"a", "--send", "pc", "b", "--port=2430", "--timeout", "0.5"} << send
            << QStringList{"pc"} << QStringList{"a", "b"} << 2430 << 500 << QString();
        QTest::newRow("-- ends the options")
            << QStringList{"--send", "pc", "--", "--port", "-x"} << send << QStringList{"pc"}
            << QStringList{"--port", "-x"} << 0 << wait << QString();
        QTest::newRow("Qt's options anywhere before --")
            << QStringList{"-style", "Fusion", "--send", "pc", "-reverse", "hi", "-style=x", "--", "-reverse"}
            << send << QStringList{"pc"} << QStringList{"hi", "-reverse"} << 0 << wait << QString();
        QTest::newRow("a value that looks like an option")
            << QStringList{"--send", "--port"} << send << QStringList{"--port"} << QStringList{} << 0 << wait
            << QString();
        QTest::newRow("--help wins over what follows")
            << QStringList{"--help", "--bogus"} << int(CommandLine::Help) << QStringList{} << QStringList{} << 0
            << wait << QString();
        QTest::newRow("--version") << QStringList{"--version"} << int(CommandLine::Version) << QStringList{}
                                   << QStringList{} << 0 << wait << QString();
        QTest::newRow("unknown option") << QStringList{"--send", "pc", "--bogus"} << invalid << QStringList{}
                                        << QStringList{} << 0 << wait << QStringLiteral("«--bogus»");
        QTest::newRow("short option") << QStringList{"-h"} << invalid << QStringList{} << QStringList{} << 0
                                      << wait << QStringLiteral("«-h»");
        QTest::newRow("missing value") << QStringList{"--send"} << invalid << QStringList{} << QStringList{} << 0
                                       << wait << QStringLiteral("нужно значение");
        QTest::newRow("value to --version") << QStringList{"--version=2"} << invalid << QStringList{}
                                            << QStringList{} << 0 << wait << QStringLiteral("не принимает");
        QTest::newRow("port out of range") << QStringList{"--send", "pc", "--port", "65536"} << invalid
                                           << QStringList{} << QStringList{} << 0 << wait
                                           << QStringLiteral("«65536»");
        QTest::newRow("port not a number") << QStringList{"--send", "pc", "--port=-1"} << invalid << QStringList{}
                                           << QStringList{} << 0 << wait << QStringLiteral("«-1»");
        QTest::newRow("timeout of zero") << QStringList{"--send", "pc", "--timeout", "0"} << invalid
                                         << QStringList{} << QStringList{} << 0 << wait << QStringLiteral("«0»");
        QTest::newRow("text but no host") << QStringList{"hello"} << invalid << QStringList{} << QStringList{}
                                          << 0 << wait << QStringLiteral("--send");
        QTest::newRow("only empty hosts") << QStringList{"--send", " , "} << invalid << QStringList{}
                                          << QStringList{} << 0 << wait << QStringLiteral("получатель");
    }
    void parse()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        const CommandLine parsed = parseCommandLine(arguments);
        QTEST(int(parsed.kind), "kind");
        if (!error.isEmpty()) {
            QVERIFY2(parsed.error.contains(error), qPrintable(parsed.error));
            return;
        }
        QCOMPARE(parsed.error, QString());
        QTEST(parsed.hosts, "hosts");
        QTEST(parsed.words, "words");
        QTEST(parsed.port, "port");
        QTEST(parsed.timeoutMs, "timeoutMs");
    }

    void bytesAtTheListener_data()
    {
        QTest::addColumn<QStringList>("text");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray restart = "\xD1\xE5\xF0\xE2\xE5\xF0 \xEF\xE5\xF0\xE5\xE7\xE0\xE3\xF0\xF3\xE7\xE8\xF2\xF1\xFF";
        QTest::newRow("Cyrillic words joined by a blank")
            << QStringList{"Сервер", "перезагрузится"} << QByteArray() << restart;
        QTest::newRow("outside the code page") << QStringList{"€ 日本 😀"} << QByteArray() << QByteArray("\x88 ?? ?");
        QTest::newRow("standard input, its line end dropped")
            << QStringList{} << QByteArray("Сервер перезагрузится\n") << restart;
        QTest::newRow("standard input keeps inner line ends")
            << QStringList{} << QByteArray("a\r\nb\n\n") << QByteArray("a\r\nb");
        QTest::newRow("blanks are a text") << QStringList{"  "} << QByteArray() << QByteArray("  ");
        QTest::newRow("text after --") << QStringList{"--", "--port", "-x"} << QByteArray()
                                       << QByteArray("--port -x");
        QTest::newRow("longest text") << QStringList{QString(TSenderF::MaxTextLength, QLatin1Char('x'))}
                                      << QByteArray() << QByteArray(TSenderF::MaxTextLength, 'x');
    }
    void bytesAtTheListener()
    {
        QFETCH(QStringList, text);
        QFETCH(QByteArray, input);
        RawPeer listener;
        QVERIFY(listener.listen(port));
        QProcess process;
        start(process, sendTo(QStringLiteral("127.0.0.1")) + text, input);
        QTEST(takeMessage(listener), "bytes");
        const Run result = finish(process);
        QCOMPARE(result.err, QString());
        QCOMPARE(result.out, QString()); // one host: quiet on success
        QCOMPARE(result.status, int(StatusDelivered));
    }

    // The way a desktop or a wrapper script may call it: Qt's options first.
    void qtOptionsBeforeTheSend()
    {
        RawPeer listener;
        QVERIFY(listener.listen(port));
        QProcess process;
        start(process, QStringList{"-style", "Fusion"} + sendTo(QStringLiteral("127.0.0.1")) + QStringList{"hi"}, {});
        QCOMPARE(takeMessage(listener), QByteArray("hi"));
        QCOMPARE(finish(process).status, int(StatusDelivered));
    }

    void refusedWithoutSending_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("--help") << QStringList{"--help"} << QByteArray() << int(StatusDelivered)
                                << QStringLiteral("--timeout СЕКУНДЫ") << QString();
        QTest::newRow("--version") << QStringList{"--version"} << QByteArray() << int(StatusDelivered)
                                   << QStringLiteral("Pellavine 1.2\n") << QString();
        QTest::newRow("unknown option") << QStringList{"--bogus"} << QByteArray() << int(StatusUsage) << QString()
                                        << QStringLiteral("pellavine: неизвестный параметр «--bogus»\nИспользование:");
        QTest::newRow("empty text") << QStringList{"--send", "127.0.0.1"} << QByteArray("\n") << int(StatusUsage)
                                    << QString() << TSenderF::missingInputText();
        QTest::newRow("text too long")
            << QStringList{"--send", "127.0.0.1", QString(TSenderF::MaxTextLength + 1, QLatin1Char('x'))}
            << QByteArray() << int(StatusUsage) << QString() << QStringLiteral("длиннее 32767");
        QTest::newRow("standard input too long") << QStringList{"--send", "127.0.0.1"}
                                                 << QByteArray(4 * TSenderF::MaxTextLength + 8, 'x')
                                                 << int(StatusUsage) << QString() << QStringLiteral("длиннее 32767");
    }
    void refusedWithoutSending()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(QString, out);
        QFETCH(QString, err);
        RawPeer listener;
        QVERIFY(listener.listen(port));
        const Run result = run(arguments + QStringList{"--port", QString::number(port)}, input);
        QTEST(result.status, "status");
        QVERIFY2(out.isEmpty() ? result.out.isEmpty() : result.out.contains(out), qPrintable(result.out));
        QVERIFY2(err.isEmpty() ? result.err.isEmpty() : result.err.contains(err), qPrintable(result.err));
        if (result.status != StatusDelivered)
            QCOMPARE(takeMessage(listener, 0), QByteArray("(no connection)"));
    }

    // --help and the messages in the session's language; Russian, as written, under C.
    void sessionLanguage_data()
    {
        QTest::addColumn<QStringList>("locale");
        QTest::addColumn<QString>("help");
        QTest::addColumn<QString>("error");
        QTest::newRow("C") << QStringList{"LANG=C"} << "Использование:\n" << "pellavine: неизвестный параметр «-x»\n";
        QTest::newRow("en_US") << QStringList{"LANG=en_US.UTF-8"} << "Usage:\n" << "pellavine: unknown option \"-x\"\n";
        QTest::newRow("LC_ALL") << QStringList{"LC_ALL=en_GB.UTF-8", "LANG=ru_RU.UTF-8"} << "Usage:\n"
                                << "pellavine: unknown option \"-x\"\n";
        QTest::newRow("LANGUAGE under C") << QStringList{"LANGUAGE=en", "LANG=C"} << "Использование:\n"
                                          << "pellavine: неизвестный параметр «-x»\n";
    }
    void sessionLanguage()
    {
        QFETCH(QStringList, locale);
        QFETCH(QString, help);
        QFETCH(QString, error);
        QProcessEnvironment env = consoleEnvironment();
        for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"})
            env.remove(QString::fromLatin1(name));
        for (const QString& setting : locale)
            env.insert(setting.section(QLatin1Char('='), 0, 0), setting.section(QLatin1Char('='), 1));
        for (const QStringList& arguments : {QStringList{"--help"}, QStringList{"-x"}}) {
            QProcess process;
            process.setProcessEnvironment(env);
            process.start(programPath(), arguments);
            const Run result = finish(process);
            if (arguments.first() == QLatin1String("--help"))
                QVERIFY2(result.out.startsWith(help), qPrintable(result.out));
            else
                QVERIFY2(result.err.startsWith(error), qPrintable(result.err));
        }
    }

    void severalHostsOneRefusing()
    {
        RawPeer first, second;
        QVERIFY(first.listen(port, "127.0.0.1") && second.listen(port, "127.0.0.2"));
        // Nothing listens on 127.0.0.3 at that port: refused.
        const Run result = run(sendTo(QStringLiteral("127.0.0.1,127.0.0.3")) +
                               QStringList{"--send", "127.0.0.2", "Привет"});
        QCOMPARE(result.status, int(StatusSomeFailed));
        QCOMPARE(takeMessage(first), QByteArray("\xCF\xF0\xE8\xE2\xE5\xF2"));
        QCOMPARE(takeMessage(second), QByteArray("\xCF\xF0\xE8\xE2\xE5\xF2"));
        QStringList delivered = result.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        delivered.sort();
        QCOMPARE(delivered, QStringList({"127.0.0.1: доставлено", "127.0.0.2: доставлено"}));
        const QStringList failed = result.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(failed.size(), 1);
        QVERIFY2(failed[0].startsWith(QStringLiteral("127.0.0.3: не доставлено: в соединении отказано")),
                 qPrintable(failed[0]));
        QVERIFY2(failed[0].endsWith(QStringLiteral(" — Asynchronous socket error 10061.")), qPrintable(failed[0]));
    }

    void unknownName()
    {
        const Run result = run(sendTo(QStringLiteral("nosuch.invalid")) + QStringList{"--timeout", "20", "hi"});
        QCOMPARE(result.status, int(StatusSomeFailed));
        QVERIFY2(result.err.startsWith(QStringLiteral("nosuch.invalid: не доставлено: ")), qPrintable(result.err));
        QVERIFY2(result.err.contains(QStringLiteral("on API 'ASync Lookup'")), qPrintable(result.err));
    }

    void hostThatNeverAnswers()
    {
        RawPeer silent;
        QVERIFY(silent.listen(port, "127.0.0.1", 0));
        // Connections nobody accepts, until the queue is full and further ones get no answer.
        RawPeer queued[3];
        for (RawPeer& peer : queued)
            peer.connectTo(port, nullptr, false);
        const Run result = run(sendTo(QStringLiteral("127.0.0.1")) + QStringList{"--timeout=1", "hi"});
        QCOMPARE(result.status, int(StatusSomeFailed));
        QCOMPARE(result.err, QStringLiteral("127.0.0.1: не доставлено: компьютер не ответил за 1 с — "
                                            "Asynchronous socket error 10060.\n"));
    }

    // The tray program's start says the same of such a port.
    void portOutOfRangeInTheSettingsFile()
    {
        const QString settings = home.filePath(QStringLiteral("config/Pellavine/Pellavine.ini"));
        QDir().mkpath(QFileInfo(settings).path());
        TIniFile(settings).WriteInteger(QStringLiteral("config"), QStringLiteral("port"), 999999);
        const Run result = run({"--send", "127.0.0.1", "hi"});
        QFile::remove(settings);
        QCOMPARE(result.status, int(StatusUsage));
        QCOMPARE(result.err, QStringLiteral("pellavine: В файле настроек %1 неверный порт 999999: нужно число от 1 до "
                                            "65535; укажите порт параметром --port\n")
                                 .arg(settings));
    }

    // Through the system's resolver, whose names are UTF-8: a script's message to a name from
    // /etc/hosts arrives, and the tray copy shows its sender by that name, an ACE one decoded.
    void namesOfTheSystemResolver_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("UTF-8") << QStringLiteral("бухгалтерия-02");
        QTest::newRow("ACE") << QStringLiteral("xn---02-5cdempyz5cui0a1m");
    }
    void namesOfTheSystemResolver()
    {
        QFETCH(QString, name);
        if (qEnvironmentVariableIsEmpty("PELLAVINE_OWN_HOSTS"))
            return runWithHosts("127.0.0.1 " + name.toUtf8() + "\n");
        ProgramFixture program({{"config", "port", QString::number(port)}});
        platform::setNameService(nullptr);
        program.passSplash();
        QProcess process;
        start(process, sendTo(name) + QStringList{"Привет"}, {});
        QTRY_COMPARE_WITH_TIMEOUT(App().LastText, QStringLiteral("Привет"), 10000);
        QCOMPARE(App().LastSenderHost, QStringLiteral("бухгалтерия-02"));
        QCOMPARE(finish(process).status, int(StatusDelivered));
    }

    void besideARunningTrayCopy()
    {
        // The tray copy holds the single-instance lock and listens on the port of its settings;
        // the command line takes the same port from the same kind of settings file.
        ProgramFixture program({{"config", "port", QString::number(port)}});
        program.passSplash();
        QVERIFY(acceptsOnLoopback(port));
        QDir().mkpath(home.filePath(QStringLiteral("config/Pellavine")));
        TIniFile(home.filePath(QStringLiteral("config/Pellavine/Pellavine.ini")))
            .WriteInteger(QStringLiteral("config"), QStringLiteral("port"), port);

        QProcess process;
        start(process, {"--send", "localhost", "Сервер", "перезагрузится"}, {});
        QTRY_COMPARE_WITH_TIMEOUT(App().LastText, QStringLiteral("Сервер перезагрузится"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(process.state(), QProcess::NotRunning, 10000);
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), int(StatusDelivered));
        QCOMPARE(process.readAllStandardError(), QByteArray());
        QCOMPARE(App().LastSenderAddress, QStringLiteral("127.0.0.1"));
    }
};

QTEST_MAIN(CommandLineTest)
#include "command_line_test.moc"
