// A listener in a process of its own with few descriptors, for net_test's exhaustion case.
//   pv_listener_child PORT MAXFILES
// Prints "listening" once it listens and "read <text>" for each read. A line "stats" on standard
// input is answered with "stats <loop wake-ups since the last stats> <connections> <open descriptors>".
#include "net/socket_components.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>

#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    const rlimit limit{rlim_t(atoi(argv[2])), rlim_t(atoi(argv[2]))};
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 3;
    QCoreApplication application(argc, argv);
    int wakeUps = 0;
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, [&] { ++wakeUps; });

    TServerSocket server;
    server.OnClientRead = [](QObject*, TCustomWinSocket* socket) {
        std::printf("read %s\n", qPrintable(socket->ReadText()));
        std::fflush(stdout);
    };
    server.setPort(atoi(argv[1]));
    server.setActive(true);
    std::printf("listening\n");
    std::fflush(stdout);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char line[64];
        const ssize_t n = ::read(STDIN_FILENO, line, sizeof line);
        if (n <= 0) {
            QCoreApplication::quit();
            return;
        }
        std::printf("stats %d %d %d\n", wakeUps, server.Socket()->ConnectionCount(),
                    int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size()));
        std::fflush(stdout);
        wakeUps = 0;
    });
    return application.exec();
}
