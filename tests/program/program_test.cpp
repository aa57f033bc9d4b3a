// The real program as a user's session runs it: started, ended by a signal, started twice.
#include "app/ini_file.h"
#include "tests/support/program_fixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <signal.h>

namespace {

QString programPath()
{
    return qEnvironmentVariable("PELLAVINE_BIN_DIR") + QStringLiteral("/pellavine");
}

} // namespace

class ProgramTest : public QObject {
    Q_OBJECT

    QTemporaryDir home;
    QString dataDir() const { return home.filePath(QStringLiteral("config/Pellavine")); }
    QString settingsPath() const { return dataDir() + QStringLiteral("/Pellavine.ini"); }

    QProcess* start()
    {
        auto* process = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("run")));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(programPath(), {});
        return process;
    }

    // The program has created its windows: the first of them holds the single-instance lock.
    bool windowsCreated() const { return QFileInfo::exists(home.filePath(QStringLiteral("run/Pellavine 1.2.lock"))); }

    void writeSettings(int port, int splash)
    {
        QDir().mkpath(dataDir());
        TIniFile ini(settingsPath());
        ini.WriteInteger(QStringLiteral("config"), QStringLiteral("port"), port);
        ini.WriteInteger(QStringLiteral("config"), QStringLiteral("sptime"), splash);
        ini.WriteBool(QStringLiteral("config"), QStringLiteral("firststart"), false);
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(home.isValid());
        QDir(home.path()).removeRecursively();
        QDir().mkpath(home.filePath(QStringLiteral("run")));
        QFile::setPermissions(home.filePath(QStringLiteral("run")), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    void firstRunWritesDefaultsWhenEndedBySignal_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }
    void firstRunWritesDefaultsWhenEndedBySignal()
    {
        QFETCH(int, signal);
        QProcess* program = start();
        QVERIFY(program->waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(windowsCreated(), 8000);
        ::kill(program->processId(), signal);
        QVERIFY(program->waitForFinished(10000));
        QCOMPARE(program->exitStatus(), QProcess::NormalExit);
        QCOMPARE(program->exitCode(), 0);

        const TIniFile ini(settingsPath());
        const QString c = QStringLiteral("config");
        const QString none = QStringLiteral("missing");
        QCOMPARE(ini.ReadString(c, QStringLiteral("port"), none), QStringLiteral("243"));
        QCOMPARE(ini.ReadString(c, QStringLiteral("sptime"), none), QStringLiteral("2000"));
        QCOMPARE(ini.ReadString(c, QStringLiteral("sptrans"), none), QStringLiteral("1"));
        QCOMPARE(ini.ReadString(c, QStringLiteral("snd"), none), QStringLiteral("1"));
        QCOMPARE(ini.ReadString(c, QStringLiteral("autofocus"), none), QStringLiteral("1"));
        QCOMPARE(ini.ReadString(c, QStringLiteral("autofocustime"), none), QStringLiteral("10000"));
        QCOMPARE(ini.ReadString(c, QStringLiteral("firststart"), none), QStringLiteral("0"));
        QCOMPARE(ini.ReadString(QStringLiteral("last"), QStringLiteral("adr"), none), QStringLiteral("localhost"));
        QCOMPARE(ini.ReadString(QStringLiteral("sender"), QStringLiteral("left"), none), QStringLiteral("150"));
    }

    void listensAfterTheSplashAndKeepsItsSettings()
    {
        const int port = freeTcpPort();
        writeSettings(port, 1000);
        QProcess* program = start();
        QVERIFY(program->waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(windowsCreated(), 8000);
        QVERIFY2(!acceptsOnLoopback(port), "listening during the welcome window");
        QTRY_VERIFY_WITH_TIMEOUT(acceptsOnLoopback(port), 8000);
        ::kill(program->processId(), SIGTERM);
        QVERIFY(program->waitForFinished(10000));
        QCOMPARE(program->exitCode(), 0);
        const TIniFile ini(settingsPath());
        QCOMPARE(ini.ReadInteger(QStringLiteral("config"), QStringLiteral("port"), 0), port);
        QCOMPARE(ini.ReadInteger(QStringLiteral("config"), QStringLiteral("sptime"), 0), 1000);
    }

    void secondCopyEndsQuietlyAndAKilledFirstLocksNobodyOut()
    {
        const int port = freeTcpPort();
        writeSettings(port, 1000);
        QProcess* first = start();
        QVERIFY(first->waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(acceptsOnLoopback(port), 8000);

        QProcess* second = start();
        QVERIFY(second->waitForFinished(10000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(first->state(), QProcess::Running);
        QVERIFY(acceptsOnLoopback(port));

        ::kill(first->processId(), SIGKILL);
        QVERIFY(first->waitForFinished(5000));
        QTRY_VERIFY_WITH_TIMEOUT(!acceptsOnLoopback(port), 3000);

        QProcess* third = start();
        QVERIFY(third->waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(acceptsOnLoopback(port), 8000);
        ::kill(third->processId(), SIGTERM);
        QVERIFY(third->waitForFinished(10000));
        QCOMPARE(third->exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(ProgramTest)
#include "program_test.moc"
