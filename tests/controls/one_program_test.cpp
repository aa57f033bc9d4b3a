#include "controls/application_link.h"
#include "controls/one_program.h"
#include "tests/support/fake_platform.h"
#include "tests/support/unprivileged.h"
#include "platform/instance_lock.h"
#include "platform/platform.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <fcntl.h>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

using platform::InstanceLock;

namespace {

const char HoldLock[] = "--hold-lock";

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
    QTemporaryDir data_;
    QTemporaryDir tmp_; // $TMPDIR
    std::unique_ptr<platform::FakePlatform> fake_;
    int terminations_ = 0;
    int hiddenMainForms_ = 0;

    // The user's private folder for the program, in a temporary folder of the test's own.
    QString localFolder() const { return tmp_.filePath(QStringLiteral("pellavine-%1").arg(getuid())); }
    void useTemporaryFolder() { qputenv("TMPDIR", QFile::encodeName(tmp_.path())); }

    static void setRuntime(const QString& folder)
    {
        if (folder.isNull())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder));
    }

    // Starts a copy of this test program holding the lock `name`; null when it did not get it.
    QProcess* startHolder(const QString& name)
    {
        auto* child = new QProcess(this);
        child->start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(HoldLock), name});
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
        QVERIFY(data_.isValid());
        QVERIFY(tmp_.isValid());
        controls::applicationLink().terminate = [this] { ++terminations_; };
        controls::applicationLink().hideMainFormAtStart = [this] { ++hiddenMainForms_; };
    }
    void init()
    {
        terminations_ = 0;
        hiddenMainForms_ = 0;
        fake_ = std::make_unique<platform::FakePlatform>();
        fake_->paths.data = data_.path() + QLatin1Char('/');
        setRuntime(runtime_.path());
        platform::setApplicationTitle(QStringLiteral("Pellavine 1.2"));
    }
    void cleanup()
    {
        fake_.reset();
        qunsetenv("TMPDIR");
        QFile::remove(localFolder());
        QDir(localFolder()).removeRecursively();
        // Whatever a case left in the lock file's place.
        const QString path = runtime_.filePath(InstanceLock::lockFileName(QStringLiteral("Pellavine 1.2")));
        QFile::remove(path);
        QDir().rmdir(path);
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

    // The runtime folder, else the user's private folder on this computer: never a shared one
    // such as /tmp, where another user could take the lock's place first, nor the data folder,
    // which other computers may share.
    void lockDirectory_data()
    {
        QTest::addColumn<QString>("runtime"); // "%run" stands for an existing runtime folder
        QTest::addColumn<QString>("expected"); // "%local" for the private folder in $TMPDIR
        QTest::newRow("runtime folder") << "%run" << "%run/";
        QTest::newRow("with slash") << "%run/" << "%run/";
        QTest::newRow("unset") << QString() << "%local/";
        QTest::newRow("relative is ignored") << "run" << "%local/";
        QTest::newRow("missing folder") << "/nonexistent/run" << "%local/";
    }
    void lockDirectory()
    {
        QFETCH(QString, runtime);
        QFETCH(QString, expected);
        useTemporaryFolder();
        const auto expand = [this](QString text) {
            return text.replace(QLatin1String("%run"), runtime_.path()).replace(QLatin1String("%local"), localFolder());
        };
        setRuntime(runtime.isNull() ? QString() : expand(runtime));
        QCOMPARE(InstanceLock::lockDirectory(), expand(expected));
        QVERIFY(fake_->paths.data != expand(expected));
        InstanceLock lock;
        QVERIFY(lock.acquire(QStringLiteral("Pellavine 1.2")));
        QCOMPARE(QFileInfo(localFolder()).permissions() & 0x0077, QFileDevice::Permissions());
    }

    // Something in the lock file's place, or no place for it, is no other copy: this copy runs
    // on and says what is wrong; it advises removing what is in the way only when something is.
    void lockThatCannotBeMade_data()
    {
        QTest::addColumn<QString>("planted");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("inTheWay");
        QTest::newRow("symbolic link") << "link" << "символическая ссылка" << true;
        QTest::newRow("folder") << "folder" << "папка" << true;
        QTest::newRow("FIFO") << "fifo" << "не обычный файл" << true;
        QTest::newRow("no runtime folder and no private folder") << "nowhere" << "XDG_RUNTIME_DIR не задана" << false;
        QTest::newRow("runtime folder not writable") << "read-only" << "можно писать" << false;
    }
    void lockThatCannotBeMade()
    {
        QFETCH(QString, planted);
        QFETCH(QString, reason);
        QFETCH(bool, inTheWay);
        if (planted == QLatin1String("read-only"))
            PV_RUN_UNPRIVILEGED(); // root writes anywhere
        const QString path = runtime_.filePath(InstanceLock::lockFileName(platform::applicationTitle()));
        const QByteArray name = QFile::encodeName(path);
        if (planted == QLatin1String("link"))
            QVERIFY(QFile::link(runtime_.filePath(QStringLiteral("elsewhere")), path));
        else if (planted == QLatin1String("folder"))
            QVERIFY(QDir().mkdir(path));
        else if (planted == QLatin1String("fifo"))
            QCOMPARE(mkfifo(name.constData(), 0600), 0);
        else if (planted == QLatin1String("read-only"))
            QCOMPARE(chmod(QFile::encodeName(runtime_.path()).constData(), 0500), 0);
        if (planted == QLatin1String("nowhere")) {
            setRuntime(QString());
            useTemporaryFolder();
            QFile file(localFolder());
            QVERIFY(file.open(QIODevice::WriteOnly)); // a file where the private folder belongs
        }

        TOneProgram guard;
        guard.Loaded();
        chmod(QFile::encodeName(runtime_.path()).constData(), 0700);
        QVERIFY(!guard.SecondCopy());
        QCOMPARE(terminations_, 0);
        QCOMPARE(hiddenMainForms_, 0);
        const QStringList reports = fake_->dialogs.texts(platform::BoxKind::Error);
        QCOMPARE(reports.size(), 1);
        QVERIFY2(reports[0].contains(reason), qPrintable(reports[0]));
        QCOMPARE(reports[0].contains(QStringLiteral("Удалите")), inTheWay);
        if (planted != QLatin1String("nowhere"))
            QVERIFY2(reports[0].contains(path), qPrintable(reports[0]));
        QVERIFY(!QFileInfo::exists(runtime_.filePath(QStringLiteral("elsewhere"))));
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
        refused->start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(HoldLock), name});
        QVERIFY(refused->waitForFinished(5000));
        QCOMPARE(refused->exitCode(), 2);
    }

    // A program started by the holder must not keep the lock alive once the holder is gone.
    void startedProgramsDoNotInheritTheLock()
    {
        const QString name = QStringLiteral("inherited");
        QProcess holder;
        holder.start(QCoreApplication::applicationFilePath(),
                     {QString::fromLatin1(HoldLock), name, QStringLiteral("spawn")});
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
        QTest::addColumn<bool>("runtimeFolder");
        QTest::newRow("first copy") << false << true << false << true;
        QTest::newRow("second copy with handler") << true << true << false << true;
        QTest::newRow("second copy without handler") << true << false << false << true;
        QTest::newRow("second copy, switch to previous") << true << true << true << true;
        QTest::newRow("first copy, lock in the data folder") << false << true << false << false;
        QTest::newRow("second copy, lock in the data folder") << true << true << false << false;
    }
    void guard()
    {
        QFETCH(bool, otherCopy);
        QFETCH(bool, handler);
        QFETCH(bool, switchToPrevious);
        QFETCH(bool, runtimeFolder);
        if (!runtimeFolder)
            setRuntime(QString());
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
        QVERIFY(fake_->dialogs.boxes.isEmpty());
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
    if (argc >= 3 && qstrcmp(argv[1], HoldLock) == 0)
        return holdLock(argv[2], argc > 3);
    unprivileged::enterIfChild(argc, argv);
    QApplication application(argc, argv);
    OneProgramTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "one_program_test.moc"
