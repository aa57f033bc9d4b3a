#include "platform/atomic_file.h"
#include "platform/cp1251.h"
#include "platform/desktop_services.h"
#include "tests/support/fake_platform.h"
#include "platform/file_names.h"
#include "platform/host_names.h"
#include "platform/modality.h"
#include "platform/notice_window.h"
#include "platform/session_platform.h"

#include <QCloseEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QWindow>
#include <QtTest/qtestspontaneevent.h>

#include <memory>
#include <stdexcept>

#include <csignal>
#include <iconv.h>
#include <fcntl.h>
#include <unistd.h>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace platform;

namespace {

// What the process writes to stderr while it lives.
class CapturedStandardError {
public:
    CapturedStandardError()
    {
        QVERIFY(file_.open());
        std::fflush(stderr);
        saved_ = dup(STDERR_FILENO);
        dup2(file_.handle(), STDERR_FILENO);
    }
    ~CapturedStandardError() { restore(); }

    QString take()
    {
        restore();
        file_.seek(0); // stderr wrote through the same open file
        return QString::fromUtf8(file_.readAll());
    }

private:
    void restore()
    {
        if (saved_ < 0)
            return;
        std::fflush(stderr);
        dup2(saved_, STDERR_FILENO);
        close(saved_);
        saved_ = -1;
    }

    QTemporaryFile file_;
    int saved_ = -1;
};

enum class Thrown { Nothing, StdException, SomethingElse };

} // namespace

Q_DECLARE_METATYPE(Thrown)

class PlatformTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void dataDir_data()
    {
        QTest::addColumn<QString>("xdg");
        QTest::addColumn<QString>("home");
        QTest::addColumn<QString>("passwd");
        QTest::addColumn<QString>("expected");
        QTest::newRow("xdg set") << "/x/cfg" << "/home/a" << "/home/p" << "/x/cfg/Pellavine/";
        QTest::newRow("xdg relative is ignored") << "cfg" << "/home/a" << "/home/p" << "/home/a/.config/Pellavine/";
        QTest::newRow("home only") << "" << "/home/a/" << "/home/p" << "/home/a/.config/Pellavine/";
        QTest::newRow("home is the root") << "" << "/" << "/home/p" << "/home/p/.config/Pellavine/";
        QTest::newRow("no home at all") << "" << "" << "" << QStringLiteral("/tmp/pellavine-%1/Pellavine/").arg(getuid());
        QTest::newRow("passwd home is the root") << "/" << "" << "/" << QStringLiteral("/tmp/pellavine-%1/Pellavine/").arg(getuid());
    }
    void dataDir()
    {
        QFETCH(QString, xdg);
        QFETCH(QString, home);
        QFETCH(QString, passwd);
        QFETCH(QString, expected);
        QCOMPARE(desktop::dataDirFor(xdg, home, passwd, QStringLiteral("/tmp")), expected);
    }

    // With no home to be found the data folder falls back to the shared temporary folder, where
    // another user may have been first: it is used only when it is private and the user's own.
    // A folder in the user's own home is used as the user has set it up.
    void fallbackDataFolder_data()
    {
        QTest::addColumn<QString>("planted"); // what stood at the folder's place before the start
        QTest::addColumn<QString>("refusal"); // part of the report; empty when the folder is used
        QTest::newRow("nothing: made private") << "" << "";
        QTest::newRow("another user's folder") << "owner" << "владелец — другой пользователь";
        QTest::newRow("own folder open to others") << "open" << "она открыта другим пользователям";
        QTest::newRow("symbolic link to a folder") << "link" << "символическая ссылка";
        QTest::newRow("a file") << "file" << "не папка";
        QTest::newRow("link inside the private folder") << "inner link" << "символическая ссылка";
        QTest::newRow("home folder open to others: used") << "home" << "";
    }
    void fallbackDataFolder()
    {
        QFETCH(QString, planted);
        QFETCH(QString, refusal);
        if (planted == QLatin1String("owner") && geteuid() != 0)
            QSKIP("only root can give a folder to another user");
        QTemporaryDir base;
        const QString outer = base.filePath(QStringLiteral("pellavine-%1").arg(getuid()));
        const QString inner = outer + QStringLiteral("/Pellavine");
        const QString home = base.filePath(QStringLiteral("home"));
        const QString elsewhere = base.filePath(QStringLiteral("elsewhere"));
        QVERIFY(QDir().mkpath(elsewhere));
        const QByteArray outerName = QFile::encodeName(outer);
        if (planted == QLatin1String("owner")) {
            QCOMPARE(mkdir(outerName.constData(), 0700), 0);
            QCOMPARE(chown(outerName.constData(), 65534, 65534), 0);
        } else if (planted == QLatin1String("open")) {
            QCOMPARE(mkdir(outerName.constData(), 0700), 0);
            QCOMPARE(chmod(outerName.constData(), 0777), 0);
        } else if (planted == QLatin1String("link")) {
            QVERIFY(QFile::link(elsewhere, outer));
        } else if (planted == QLatin1String("file")) {
            QFile file(outer);
            QVERIFY(file.open(QIODevice::WriteOnly));
        } else if (planted == QLatin1String("inner link")) {
            QCOMPARE(mkdir(outerName.constData(), 0700), 0);
            QVERIFY(QFile::link(elsewhere, inner));
        } else if (planted == QLatin1String("home")) {
            QCOMPARE(mkdir(QFile::encodeName(home).constData(), 0777), 0);
            QCOMPARE(chmod(QFile::encodeName(home).constData(), 0777), 0);
        }

        QString problem;
        const QString dir = desktop::usableDataDir(QString(), planted == QLatin1String("home") ? home : QString(),
                                                   QString(), base.path(), &problem);
        if (!refusal.isEmpty()) {
            QCOMPARE(dir, QString());
            const QString refused = planted == QLatin1String("inner link") ? inner : outer;
            QVERIFY2(problem.contains(refused + QStringLiteral(" не подходит")) && problem.contains(refusal),
                     qPrintable(problem));
            QVERIFY(QDir(elsewhere).isEmpty());
            return;
        }
        QCOMPARE(problem, QString());
        if (planted == QLatin1String("home")) {
            QCOMPARE(dir, home + QStringLiteral("/.config/Pellavine/"));
            QVERIFY(QFileInfo(dir).isDir());
            return;
        }
        QCOMPARE(dir, inner + QLatin1Char('/'));
        for (const QString& folder : {outer, inner}) {
            struct stat info {};
            QCOMPARE(lstat(QFile::encodeName(folder).constData(), &info), 0);
            QVERIFY(S_ISDIR(info.st_mode));
            QCOMPARE(info.st_mode & 0777, 0700u);
            QCOMPARE(info.st_uid, geteuid());
        }
    }

    // The platform asked of Qt: X11 wherever the session has an X server (XWayland included),
    // native Wayland only without one; the user's variable or -platform always wins.
    void sessionPlatform_data()
    {
        QTest::addColumn<QString>("qpa");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("wayland");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("expected");
        const QStringList plain{"pellavine", "--send", "x"};
        QTest::newRow("X11 session") << "" << ":0" << "" << plain
                                     << QStringList{"pellavine", "-platform", "xcb", "--send", "x"};
        QTest::newRow("Wayland with XWayland") << "" << ":1" << "wayland-1" << plain
                                               << QStringList{"pellavine", "-platform", "xcb", "--send", "x"};
        QTest::newRow("Wayland alone") << "" << "" << "wayland-1" << QStringList{"pellavine"}
                                       << QStringList{"pellavine", "-platform", "wayland"};
        QTest::newRow("user's variable") << "wayland" << ":1" << "wayland-1" << plain << plain;
        QTest::newRow("user's argument") << "" << ":1" << "wayland-1"
                                         << QStringList{"pellavine", "-platform", "wayland"}
                                         << QStringList{"pellavine", "-platform", "wayland"};
        QTest::newRow("no display") << "" << "" << "" << plain << plain;
    }
    void sessionPlatform()
    {
        QFETCH(QString, qpa);
        QFETCH(QString, display);
        QFETCH(QString, wayland);
        QFETCH(QStringList, args);
        QFETCH(QStringList, expected);
        const QByteArray saved[] = {qgetenv("QT_QPA_PLATFORM"), qgetenv("DISPLAY"), qgetenv("WAYLAND_DISPLAY")};
        const char* names[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
        const QString values[] = {qpa, display, wayland};
        for (int i = 0; i < 3; ++i) {
            if (values[i].isEmpty())
                qunsetenv(names[i]);
            else
                qputenv(names[i], values[i].toLocal8Bit());
        }
        std::vector<QByteArray> storage;
        std::vector<char*> argv;
        for (const QString& arg : args)
            storage.push_back(arg.toLocal8Bit());
        for (QByteArray& arg : storage)
            argv.push_back(arg.data());
        ApplicationArguments arguments(static_cast<int>(argv.size()), argv.data());
        for (int i = 0; i < 3; ++i) {
            if (saved[i].isNull())
                qunsetenv(names[i]);
            else
                qputenv(names[i], saved[i]);
        }
        QStringList got;
        for (int i = 0; i < arguments.argc(); ++i)
            got << QString::fromLocal8Bit(arguments.argv()[i]);
        QCOMPARE(got, expected);
        QCOMPARE(arguments.argv()[arguments.argc()], nullptr);
    }

    void exceptionText_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("digit gets a point") << "Asynchronous socket error 10061" << "Asynchronous socket error 10061.";
        QTest::newRow("quote gets none") << "on API 'ASync Lookup'" << "on API 'ASync Lookup'";
        QTest::newRow("closing parenthesis gets none") << "error (5)" << "error (5)";
        QTest::newRow("point stays single") << "done." << "done.";
        QTest::newRow("letter gets a point") << "Cannot open file /a/BList.ini" << "Cannot open file /a/BList.ini.";
        QTest::newRow("empty") << "" << "";
    }
    void exceptionText()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        FakePlatform fake;
        setApplicationTitle(QStringLiteral("Pellavine 1.2"));
        reportException(message);
        QCOMPARE(fake.dialogs.boxes.size(), 1);
        QCOMPARE(fake.dialogs.boxes[0].kind, BoxKind::Error);
        QCOMPARE(fake.dialogs.boxes[0].title, QStringLiteral("Pellavine 1.2"));
        QCOMPARE(fake.dialogs.boxes[0].text, shown);
    }

    // Whatever escapes a handler ends in one report, and the handler's caller goes on: what() read
    // as UTF-8, in the error box while someone can answer it, on stderr once the program is ending
    // by a signal.
    void guardReportsWhatEscapes_data()
    {
        QTest::addColumn<Thrown>("thrown");
        QTest::addColumn<bool>("toStandardError");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("written");
        const QString text = QStringLiteral("Не удалось записать /tmp/файл");
        QTest::newRow("nothing") << Thrown::Nothing << false << QString() << QString();
        QTest::newRow("std exception") << Thrown::StdException << false << text + "." << QString();
        QTest::newRow("anything else") << Thrown::SomethingElse << false << "Unknown exception." << QString();
        QTest::newRow("ending by a signal") << Thrown::StdException << true << QString() << "pellavine: " + text + "\n";
        QTest::newRow("ending, anything else") << Thrown::SomethingElse << true << QString() << "pellavine: Unknown exception\n";
    }
    void guardReportsWhatEscapes()
    {
        QFETCH(Thrown, thrown);
        QFETCH(bool, toStandardError);
        QFETCH(QString, box);
        QFETCH(QString, written);
        FakePlatform fake;
        setApplicationTitle(QStringLiteral("Pellavine 1.2"));
        setReportsToStandardError(toStandardError);
        CapturedStandardError captured;
        const bool ran = runGuarded([thrown] {
            if (thrown == Thrown::StdException)
                throw std::runtime_error("Не удалось записать /tmp/файл");
            if (thrown == Thrown::SomethingElse)
                throw 42;
        });
        const QString got = captured.take();
        setReportsToStandardError(false);
        QCOMPARE(ran, thrown == Thrown::Nothing);
        QCOMPARE(got, written);
        QCOMPARE(fake.dialogs.boxes.size(), box.isEmpty() ? 0 : 1);
        if (!box.isEmpty()) {
            QCOMPARE(fake.dialogs.boxes[0].kind, BoxKind::Error);
            QCOMPARE(fake.dialogs.boxes[0].text, box);
        }
    }

    // Whether anything can play a sound: a PulseAudio/PipeWire server (named, the user's, the
    // system's) or a playback device. Files are made under a scratch root; "user/" is the
    // user's runtime folder.
    void soundOutput_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<bool>("possible");
        QTest::newRow("nothing") << "" << QStringList{} << false;
        QTest::newRow("capture only") << "" << QStringList{"dev/snd/controlC0", "dev/snd/pcmC0D0c"} << false;
        QTest::newRow("playback device") << "" << QStringList{"dev/snd/pcmC1D3p"} << true;
        QTest::newRow("OSS") << "" << QStringList{"dev/dsp"} << true;
        QTest::newRow("user's server") << "" << QStringList{"user/pulse/native"} << true;
        QTest::newRow("server gone") << "" << QStringList{"user/pulse/pid"} << false;
        QTest::newRow("system server") << "" << QStringList{"run/pulse/native"} << true;
        QTest::newRow("named server") << "tcp:sound.lan" << QStringList{} << true;
    }
    void soundOutput()
    {
        QFETCH(QString, server);
        QFETCH(QStringList, files);
        QFETCH(bool, possible);
        QTemporaryDir root;
        for (const QString& file : files) {
            QVERIFY(QDir(root.path()).mkpath(QFileInfo(file).path()));
            QFile f(root.filePath(file));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QCOMPARE(desktop::soundOutputPossible(server, root.filePath("user"), root.path()), possible);
    }

    // With nothing to play on, the real sound service says nothing on stderr even through ALSA
    // (which writes a screenful per failed attempt) and costs next to nothing per sound.
    void soundWithoutDeviceIsQuiet()
    {
        QTemporaryDir runtime;
        qunsetenv("PULSE_SERVER");
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        if (desktop::soundOutputPossible(QString(), runtime.path(), QString()))
            QSKIP("this machine has a sound device");
        qputenv("CANBERRA_DRIVER", "alsa");
        CapturedStandardError captured;
        const QString wav = QString::fromLocal8Bit(qgetenv("PELLAVINE_BIN_DIR")) + "/Msg.wav";
        constexpr int rounds = 200;
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < rounds; ++i)
            desktop::sound().play(wav);
        const qint64 ns = timer.nsecsElapsed();
        const QString written = captured.take();
        qunsetenv("CANBERRA_DRIVER");
        qInfo("one sound without a device: %.1f us", ns / 1000.0 / rounds);
        QCOMPARE(written, QString());
    }

    void fileIgnoringCase()
    {
        QTemporaryDir dir;
        QFile f(dir.filePath(QStringLiteral("Wnd.wav")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QCOMPARE(findFileIgnoringCase(dir.filePath(QStringLiteral("wnd.wav"))), dir.filePath(QStringLiteral("Wnd.wav")));
        QCOMPARE(findFileIgnoringCase(dir.filePath(QStringLiteral("Wnd.wav"))), dir.filePath(QStringLiteral("Wnd.wav")));
        QCOMPARE(findFileIgnoringCase(dir.filePath(QStringLiteral("msg.wav"))), dir.filePath(QStringLiteral("msg.wav")));
    }

    void cp1251EveryByteRoundTrips()
    {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(static_cast<char>(b));
        const QString text = fromCp1251(all);
        QCOMPARE(text.size(), 256);
        QCOMPARE(toCp1251(text), all);
        QCOMPARE(text.at(0), QChar(0)); // NUL is a character, not an end
        QCOMPARE(text.at(0x98), QChar(0x98));
    }

    // Every byte against glibc's converter, both ways. 0x98 is unassigned there; ours keeps it as
    // U+0098 so that any byte sequence survives a round trip.
    void cp1251MatchesIconv()
    {
        const iconv_t cd = iconv_open("UTF-16LE", "CP1251");
        QVERIFY2(cd != iconv_t(-1), "glibc has no CP1251 converter");
        for (int b = 0; b < 256; ++b) {
            char in = static_cast<char>(b);
            char16_t out = 0;
            char* inPtr = &in;
            char* outPtr = reinterpret_cast<char*>(&out);
            size_t inLeft = 1;
            size_t outLeft = sizeof out;
            const bool known = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != size_t(-1);
            const QByteArray byte(1, in);
            QCOMPARE(known, b != 0x98);
            if (!known)
                continue;
            QCOMPARE(fromCp1251(byte), QString(QChar(out)));
            QCOMPARE(toCp1251(QString(QChar(out))), byte);
        }
        iconv_close(cd);
    }

    void cp1251Characters_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ascii") << "Hello, world" << QByteArray("Hello, world");
        QTest::newRow("cyrillic") << QStringLiteral("Привет, Ёж ё") << QByteArray("\xCF\xF0\xE8\xE2\xE5\xF2, \xA8\xE6 \xB8");
        QTest::newRow("punctuation") << QStringLiteral("\u2116 \u20AC \u2014 \u00AB\u00BB") << QByteArray("\xB9 \x88 \x97 \xAB\xBB");
        QTest::newRow("ukrainian") << QStringLiteral("\u0490\u0491\u0404\u0454\u0406\u0456\u0407\u0457") << QByteArray("\xA5\xB4\xAA\xBA\xB2\xB3\xAF\xBF");
        QTest::newRow("unmappable becomes ?") << QStringLiteral("a\u00E9b\u4E2D") << QByteArray("a?b?");
        QTest::newRow("surrogate pair is one ?") << QStringLiteral("x\U0001F600y") << QByteArray("x?y");
        QTest::newRow("blanks only") << "   " << QByteArray("   ");
    }
    void cp1251Characters()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(toCp1251(text), bytes);
        if (!bytes.contains('?'))
            QCOMPARE(fromCp1251(bytes), text);
    }

    // The ACE forms are those of Python's idna codec.
    void hostNamesFromTheResolver_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("name");
        QTest::newRow("UTF-8") << QByteArray("Бухгалтерия-01") << QStringLiteral("Бухгалтерия-01");
        QTest::newRow("ACE") << QByteArray("xn---02-5cdempyz5cui0a1m") << QStringLiteral("бухгалтерия-02");
        QTest::newRow("ACE label, upper case, in a longer name")
            << QByteArray("XN---02-5CDEMPYZ5CUI0A1M.Office") << QStringLiteral("бухгалтерия-02.Office");
        QTest::newRow("ASCII keeps its case") << QByteArray("Alpha-PC") << QStringLiteral("Alpha-PC");
        QTest::newRow("no ACE after the prefix") << QByteArray("xn--") << QStringLiteral("xn--");
    }
    void hostNamesFromTheResolver()
    {
        QFETCH(QByteArray, bytes);
        QTEST(hostNameFromResolver(bytes), "name");
    }

    void hostNamesInFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("readBack");
        const QString ace = QStringLiteral("xn---02-5cdempyz5cui0a1m");
        QTest::newRow("in the code page") << QStringLiteral("Бухгалтерия-01")
                                          << QByteArray("\xC1\xF3\xF5\xE3\xE0\xEB\xF2\xE5\xF0\xE8\xFF-01")
                                          << QStringLiteral("Бухгалтерия-01");
        QTest::newRow("outside it: ACE") << QStringLiteral("Bücher-PC") << QByteArray("xn--bcher-pc-65a")
                                         << QStringLiteral("bücher-pc");
        QTest::newRow("ACE of a name the code page holds stays ACE") << ace << ace.toLatin1() << ace;
        QTest::newRow("ACE not as we write it stays as it is") << QStringLiteral("XN--WGV71A") << QByteArray("XN--WGV71A")
                                                               << QStringLiteral("XN--WGV71A");
        QTest::newRow("no ACE form either: ?") << QStringLiteral("a b\U0001F600") << QByteArray("a b?")
                                               << QStringLiteral("a b?");
    }
    void hostNamesInFiles()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QCOMPARE(hostNameToCp1251(name), bytes);
        QTEST(hostNameFromCp1251(bytes), "readBack");
        QCOMPARE(hostNameToCp1251(hostNameFromCp1251(bytes)), bytes);
    }

    // A write the file system cuts short (disk full, size limit) must not replace a good file.
    void replaceFileKeepsTheOldFileWhenAWriteFails()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("list.ini"));
        QVERIFY(replaceFile(path, QByteArray("old\r\n")));
        QVERIFY(replaceFile(path, QByteArray("new\r\n")));

        rlimit saved = {};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 64;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool written = replaceFile(path, QByteArray(5000, 'x'));
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);

        QVERIFY(!written);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("new\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"list.ini"});
    }

    // Which windows a modal blocks: those showing when it opens, except itself, the program's
    // pop-ups and the notification area's own windows.
    void modalBlocksWhatIsShowingWhenItOpens_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<bool>("blocked");
        QTest::newRow("showing") << "showing" << true;
        QTest::newRow("hidden") << "hidden" << false;
        QTest::newRow("the modal itself") << "modal" << false;
        QTest::newRow("shown while it is open") << "later" << false;
        QTest::newRow("hidden while blocked, shown again") << "reshown" << false;
        QTest::newRow("pop-up menu") << "popup" << false;
        QTest::newRow("tray stand-in") << "exempt" << false;
        QTest::newRow("outside the window manager (Qt's tray icon)") << "bypass" << false;
    }
    void modalBlocksWhatIsShowingWhenItOpens()
    {
        QFETCH(QString, window);
        QFETCH(bool, blocked);
        QWidget modal;
        std::unique_ptr<QWidget> subject;
        if (window == QLatin1String("popup")) {
            auto* menu = new QMenu;
            menu->addAction(QStringLiteral("x"));
            subject.reset(menu);
        } else {
            subject = std::make_unique<QWidget>(nullptr, window == QLatin1String("bypass")
                                                             ? Qt::Window | Qt::BypassWindowManagerHint
                                                             : Qt::Window);
        }
        if (window == QLatin1String("exempt"))
            exemptFromModality(subject.get());
        QWidget* opened = window == QLatin1String("modal") ? subject.get() : &modal;
        if (window != QLatin1String("hidden") && window != QLatin1String("later"))
            subject->show();
        {
            const ModalScope scope(opened);
            opened->show();
            if (window == QLatin1String("later") || window == QLatin1String("reshown")) {
                subject->hide();
                subject->show();
            }
            QCOMPARE(isBlockedByModal(subject.get()), blocked);
            QCOMPARE(scope.blocked().contains(subject.get()), blocked);
            QVERIFY(!isBlockedByModal(opened));
            // Activating a blocked window brings the modal forward instead.
            QCOMPARE(activationTarget(subject.get()), blocked ? opened : subject.get());
        }
        QVERIFY(!isBlockedByModal(subject.get()));
        QCOMPARE(activationTarget(subject.get()), subject.get());
    }

    // A blocked window ignores the mouse, the keyboard and the window manager's close; a window
    // shown while the modal is open takes them all, and so does the blocked one afterwards.
    void blockedWindowsTakeNoInput_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<bool>("shownBefore");
        for (const char* input : {"click", "key", "close"}) {
            QTest::addRow("%s, window shown before", input) << input << true;
            QTest::addRow("%s, window shown while open", input) << input << false;
        }
    }
    void blockedWindowsTakeNoInput()
    {
        QFETCH(QString, input);
        QFETCH(bool, shownBefore);
        QWidget window;
        auto* button = new QPushButton(QStringLiteral("OK"), &window);
        auto* edit = new QLineEdit(&window);
        edit->move(0, 40);
        int clicks = 0;
        connect(button, &QPushButton::clicked, [&] { ++clicks; });
        auto act = [&] {
            if (input == QLatin1String("click")) {
                QTest::mouseClick(button, Qt::LeftButton);
            } else if (input == QLatin1String("key")) {
                QTest::keyClick(edit, Qt::Key_A);
            } else {
                QCloseEvent close;
                // As the window manager's close arrives: spontaneous, at the native window.
                QSpontaneKeyEvent::setSpontaneous(&close);
                qApp->notify(window.windowHandle(), &close);
            }
        };
        auto acted = [&] {
            if (input == QLatin1String("click"))
                return clicks > 0;
            if (input == QLatin1String("key"))
                return !edit->text().isEmpty();
            return !window.isVisible();
        };

        QWidget modal;
        if (shownBefore)
            window.show();
        {
            const ModalScope scope(&modal);
            modal.show();
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            act();
            QCOMPARE(acted(), !shownBefore);
        }
        window.show();
        act();
        QVERIFY(acted());
    }

    // A modal opened from a modal blocks the first; closing it frees the first, while what the
    // first blocked stays blocked until the first closes too.
    void modalsNest()
    {
        QWidget behind, outer, inner;
        behind.show();
        auto outerScope = std::make_unique<ModalScope>(&outer);
        outer.show();
        {
            const ModalScope innerScope(&inner);
            inner.show();
            QVERIFY(isBlockedByModal(&behind) && isBlockedByModal(&outer) && !isBlockedByModal(&inner));
            QCOMPARE(activeModal(), &inner);
            QCOMPARE(activationTarget(&behind), &inner);
            inner.hide();
        }
        QVERIFY(isBlockedByModal(&behind) && !isBlockedByModal(&outer));
        QCOMPARE(activeModal(), &outer);
        QCOMPARE(activationTarget(&behind), &outer);
        outer.hide();
        outerScope.reset();
        QVERIFY(!isBlockedByModal(&behind));
        QCOMPARE(activeModal(), nullptr);
    }

    // The fake's boxes follow the same rule while they are "open" and record what they blocked.
    void fakeBoxesBlockLikeRealOnes()
    {
        FakePlatform fake;
        QWidget before, later;
        before.show();
        bool laterUsable = false;
        fake.dialogs.whileOpen = [&](const RecordedBox&) {
            if (fake.dialogs.boxes.size() > 1)
                return;
            later.show();
            laterUsable = !isBlockedByModal(&later);
            // A box from a box blocks the window shown meanwhile too; the first box's stay blocked.
            fake.dialogs.error(QStringLiteral("inner"));
            QVERIFY(isBlockedByModal(&before));
        };
        fake.dialogs.information(QStringLiteral("outer"));
        QCOMPARE(fake.dialogs.boxes.size(), 2);
        QCOMPARE(fake.dialogs.boxes[0].blocked, QList<QPointer<QWidget>>{&before});
        QVERIFY(fake.dialogs.boxes[1].blocked.contains(&before) && fake.dialogs.boxes[1].blocked.contains(&later));
        QVERIFY(laterUsable);
        QVERIFY(!isBlockedByModal(&before));
    }

    void noticesArriveInOrderAfterThePoster()
    {
        QList<std::pair<unsigned, quintptr>> seen;
        NoticeWindow window([&](unsigned n, quintptr w, qintptr) { seen.append({n, w}); });
        window.post(1025, 1);
        window.post(1026, 2);
        window.post(1025, 3);
        QVERIFY(seen.isEmpty());
        QCoreApplication::processEvents();
        QCOMPARE(seen.size(), 3);
        QCOMPARE(seen[0].second, quintptr(1));
        QCOMPARE(seen[1].first, 1026u);
        QCOMPARE(seen[2].second, quintptr(3));
    }

    void noticesOfADestroyedWindowAreDropped()
    {
        int calls = 0;
        auto* window = new NoticeWindow([&](unsigned, quintptr, qintptr) { ++calls; });
        window->post(1025);
        delete window;
        QCoreApplication::processEvents();
        QCOMPARE(calls, 0);
    }

    void timersTickWithTheirId()
    {
        QList<quintptr> ticks;
        NoticeWindow window([&](unsigned n, quintptr w, qintptr) {
            if (n == NoticeWindow::TimerNotice)
                ticks << w;
        });
        QVERIFY(window.setTimer(7, 10));
        QTRY_VERIFY(ticks.size() >= 2);
        QVERIFY(window.killTimer(7));
        QVERIFY(!window.killTimer(7));
        const auto count = ticks.size();
        QTest::qWait(50); // nothing to wait for: five periods in which no tick comes
        QCOMPARE(ticks.size(), count);
        QVERIFY(std::all_of(ticks.begin(), ticks.end(), [](quintptr id) { return id == 7; }));
    }
};

QTEST_MAIN(PlatformTest)
#include "platform_test.moc"
