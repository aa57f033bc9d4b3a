#include "controls/application_link.h"
#include "controls/one_program.h"
#include "platform/instance_lock.h"
#include "platform/platform.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

using platform::InstanceLock;

namespace {

const char kHoldLock[] = "--hold-lock";

// The child side of the cross-process tests: takes the lock, says so, and waits to be killed.
// With "spawn" it first starts a program of its own that outlives it.
int holdLock(const char* name, bool spawn)
{
    InstanceLock lock;
    if (!lock.acquire(QString::fromUtf8(name)))
        return 2;
    pid_t started = 0;
    if (spawn) {
        // The pipe closes when the program has really started (close-on-exec), not before.
        int started_pipe[2];
        if (pipe2(started_pipe, O_CLOEXEC) != 0)
            return 3;
        started = fork();
        if (started == 0) {
            execlp("sleep", "sleep", "30", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(started_pipe[1]);
        char byte;
        while (read(started_pipe[0], &byte, 1) > 0) {
        }
        close(started_pipe[0]);
    }
    std::printf("held %d\n", int(started));
    std::fflush(stdout);
    for (int i = 0; i < 600; ++i)
        usleep(100000);
    return 0;
}

} // namespace

class OneProgramTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir runtime_;
    int terminations_ = 0;
    int hiddenMainForms_ = 0;

    // Starts a copy of this test program holding the lock `name`; null when it did not get it.
    QProcess* startHolder(const QString& name)
    {
        auto* child = new QProcess(this);
        child->start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kHoldLock), name});
        if (!child->waitForReadyRead(5000) || !child->readAll().startsWith("held")) {
            child->kill();
            child->waitForFinished();
            delete child;
            return nullptr;
        }
        return child;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(runtime_.isValid());
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime_.path()));
        controls::applicationLink().terminate = [this] { ++terminations_; };
        controls::applicationLink().hideMainFormAtStart = [this] { ++hiddenMainForms_; };
    }
    void init()
    {
        terminations_ = 0;
        hiddenMainForms_ = 0;
        platform::setApplicationTitle(QStringLiteral("Pellavine 1.2"));
    }

    void lockFileName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("title") << "Pellavine 1.2" << "Pellavine 1.2.lock";
        QTest::newRow("slashes") << "a/b/../c" << "a_b_.._c.lock";
        QTest::newRow("parent folder") << ".." << "...lock";
        QTest::newRow("empty") << "" << ".lock";
        QTest::newRow("cyrillic") << "Пелла" << "Пелла.lock";
    }
    void lockFileName()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(InstanceLock::lockFileName(name), expected);
    }

    // A name too long for a file name is cut to fit; the cut is on whole characters.
    void lockFileNameFitsAnyFileSystem_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("latin") << QString(300, QLatin1Char('x'));
        QTest::newRow("two-byte characters") << QString(200, QChar(0x0416));
    }
    void lockFileNameFitsAnyFileSystem()
    {
        QFETCH(QString, name);
        const QString file = InstanceLock::lockFileName(name);
        QVERIFY(file.endsWith(QLatin1String(".lock")));
        QVERIFY(QFile::encodeName(file).size() <= 255);
        QVERIFY(name.startsWith(file.chopped(5)));
        InstanceLock lock;
        QVERIFY(lock.acquire(name));
    }

    void lockDirectory_data()
    {
        QTest::addColumn<QByteArray>("runtime");
        QTest::addColumn<QString>("expected");
        const QString fallback = QStringLiteral("/tmp/pellavine-%1/").arg(getuid());
        QTest::newRow("runtime folder") << QByteArray("/run/user/77") << "/run/user/77/";
        QTest::newRow("with slash") << QByteArray("/run/user/77/") << "/run/user/77/";
        QTest::newRow("unset") << QByteArray() << fallback;
        QTest::newRow("relative is ignored") << QByteArray("run") << fallback;
    }
    void lockDirectory()
    {
        QFETCH(QByteArray, runtime);
        QFETCH(QString, expected);
        const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
        if (runtime.isNull())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", runtime);
        const QString folder = InstanceLock::lockDirectory();
        qputenv("XDG_RUNTIME_DIR", saved);
        QCOMPARE(folder, expected);
        if (!runtime.startsWith('/')) {
            // The shared fallback must be private to the user.
            struct stat info {};
            QCOMPARE(lstat(QFile::encodeName(folder).constData(), &info), 0);
            QVERIFY(S_ISDIR(info.st_mode));
            QCOMPARE(info.st_mode & 0777, 0700u);
        }
    }

    void secondLockInThisProcess_data()
    {
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("releaseFirst");
        QTest::addColumn<bool>("expected");
        QTest::newRow("same name while held") << "Pellavine 1.2" << false << false;
        QTest::newRow("same name after release") << "Pellavine 1.2" << true << true;
        QTest::newRow("other name") << "Pellavine 1.3" << false << true;
        QTest::newRow("name that maps to another file") << "Pellavine/1.2" << false << true;
    }
    void secondLockInThisProcess()
    {
        QFETCH(QString, second);
        QFETCH(bool, releaseFirst);
        QFETCH(bool, expected);
        InstanceLock first;
        QVERIFY(first.acquire(QStringLiteral("Pellavine 1.2")));
        if (releaseFirst)
            first.release();
        InstanceLock other;
        QCOMPARE(other.acquire(second), expected);
        QCOMPARE(other.held(), expected);
    }

    // A lock held by another process refuses us; once that process is killed it is ours.
    void lockOfKilledHolderIsFree()
    {
        const QString name = QStringLiteral("killed holder");
        QProcess* child = startHolder(name);
        QVERIFY(child);
        InstanceLock lock;
        QVERIFY(!lock.acquire(name));
        ::kill(pid_t(child->processId()), SIGKILL);
        QVERIFY(child->waitForFinished(5000));
        QVERIFY(lock.acquire(name));
        // And now the other way round: a new child cannot have it.
        QProcess* refused = new QProcess(this);
        refused->start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kHoldLock), name});
        QVERIFY(refused->waitForFinished(5000));
        QCOMPARE(refused->exitCode(), 2);
    }

    // A program started by the holder must not keep the lock alive once the holder is gone.
    void startedProgramsDoNotInheritTheLock()
    {
        const QString name = QStringLiteral("inherited");
        QProcess holder;
        holder.start(QCoreApplication::applicationFilePath(),
                     {QString::fromLatin1(kHoldLock), name, QStringLiteral("spawn")});
        QVERIFY(holder.waitForReadyRead(5000));
        const QList<QByteArray> said = holder.readAll().trimmed().split(' ');
        QCOMPARE(said.value(0), QByteArray("held"));
        const pid_t sleeper = pid_t(said.value(1).toInt());
        QVERIFY(sleeper > 0);
        ::kill(pid_t(holder.processId()), SIGKILL);
        QVERIFY(holder.waitForFinished(5000));
        InstanceLock again;
        const bool got = again.acquire(name);
        ::kill(sleeper, SIGKILL);
        QVERIFY(got);
    }

    void guard_data()
    {
        QTest::addColumn<bool>("otherCopy");
        QTest::addColumn<bool>("handler");
        QTest::addColumn<bool>("switchToPrevious");
        QTest::newRow("first copy") << false << true << false;
        QTest::newRow("second copy with handler") << true << true << false;
        QTest::newRow("second copy without handler") << true << false << false;
        QTest::newRow("second copy, switch to previous") << true << true << true;
    }
    void guard()
    {
        QFETCH(bool, otherCopy);
        QFETCH(bool, handler);
        QFETCH(bool, switchToPrevious);
        InstanceLock running;
        if (otherCopy)
            QVERIFY(running.acquire(platform::applicationTitle()));

        TOneProgram guard;
        QVERIFY(guard.SwitchToPrevious());
        guard.setSwitchToPrevious(switchToPrevious);
        QList<QObject*> senders;
        if (handler)
            guard.AlreadyExist = [&senders](QObject* sender) { senders << sender; };
        QVERIFY(!guard.OwnsMutex());
        guard.Loaded();

        QVERIFY(guard.OwnsMutex());
        QCOMPARE(guard.SecondCopy(), otherCopy);
        QCOMPARE(terminations_, otherCopy ? 1 : 0);
        QCOMPARE(hiddenMainForms_, otherCopy ? 1 : 0);
        QCOMPARE(senders.size(), otherCopy && handler ? 1 : 0);
        if (!senders.isEmpty())
            QCOMPARE(senders.first(), &guard);
    }

    // The first copy holds the lock for its whole run and gives it up when it ends.
    void lockLastsAsLongAsTheGuard()
    {
        auto first = std::make_unique<TOneProgram>();
        first->Loaded();
        QVERIFY(!first->SecondCopy());
        TOneProgram second;
        second.Loaded();
        QVERIFY(second.SecondCopy());
        first.reset();
        TOneProgram third;
        third.Loaded();
        QVERIFY(!third.SecondCopy());
        QCOMPARE(terminations_, 1);
    }

    // The lock is named after the first 255 characters of the title.
    void longTitleIsCut()
    {
        const QString title(255, QLatin1Char('t'));
        platform::setApplicationTitle(title + QStringLiteral("first"));
        TOneProgram first;
        first.Loaded();
        platform::setApplicationTitle(title + QStringLiteral("second"));
        TOneProgram second;
        second.Loaded();
        QVERIFY(!first.SecondCopy());
        QVERIFY(second.SecondCopy());
    }
};

int main(int argc, char* argv[])
{
    if (argc >= 3 && qstrcmp(argv[1], kHoldLock) == 0)
        return holdLock(argv[2], argc > 3);
    QApplication application(argc, argv);
    OneProgramTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "one_program_test.moc"
