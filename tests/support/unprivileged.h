#pragma once
// Permission cases under root. Root reads and writes files whatever their mode, so a test that
// needs a file its user cannot read runs, under root, in a copy of the test program that has
// given up root for the user nobody. Run by an ordinary user, it simply runs in place.
//
//     void someCase() { PV_RUN_UNPRIVILEGED(); ...the case... }
//     PV_TEST_MAIN(SomeTest)
#include <QCoreApplication>
#include <QProcess>
#include <QTest>

#include <cstdlib>
#include <cstring>
#include <grp.h>
#include <unistd.h>

namespace unprivileged {

inline constexpr char Flag[] = "--unprivileged";
inline constexpr uid_t Nobody = 65534;
inline constexpr int Impossible = 77;

// First thing in main(): in the child copy, gives up root for good and takes the flag off the
// arguments; ends at once when that cannot be done (no such user in this user namespace).
inline void enterIfChild(int& argc, char** argv)
{
    if (argc < 2 || std::strcmp(argv[1], Flag) != 0)
        return;
    if (setgroups(0, nullptr) != 0 || setgid(Nobody) != 0 || setuid(Nobody) != 0 || setuid(0) == 0)
        std::_Exit(Impossible);
    for (int i = 1; i < argc; ++i)
        argv[i] = argv[i + 1];
    --argc;
}

// Runs the current test function and data row in the child and reports its result here.
inline void runInChild()
{
    QString test = QString::fromLatin1(QTest::currentTestFunction());
    if (const char* tag = QTest::currentDataTag())
        test += QLatin1Char(':') + QString::fromUtf8(tag);
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(Flag), test});
    QVERIFY(child.waitForFinished(60000));
    const QByteArray output = child.readAll();
    if (child.exitStatus() == QProcess::NormalExit && child.exitCode() == Impossible)
        QSKIP("running as root, and this system has no unprivileged user to run the case as");
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, output.constData());
}

} // namespace unprivileged

// Under root: runs the rest of the test function as nobody in a child process, then returns.
#define PV_RUN_UNPRIVILEGED()                                                                        \
    do {                                                                                             \
        if (geteuid() == 0) {                                                                        \
            unprivileged::runInChild();                                                              \
            return;                                                                                  \
        }                                                                                            \
    } while (false)

// QTEST_MAIN that can also be the unprivileged child.
#define PV_TEST_MAIN(TestObject) \
    QTEST_MAIN_WRAPPER(TestObject, unprivileged::enterIfChild(argc, argv); QTEST_MAIN_SETUP())
#define PV_TEST_GUILESS_MAIN(TestObject) \
    QTEST_MAIN_WRAPPER(TestObject, unprivileged::enterIfChild(argc, argv); QTEST_QAPP_SETUP(QCoreApplication))
