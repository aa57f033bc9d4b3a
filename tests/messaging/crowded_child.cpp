// The listener as the program sets it up, in a process with a hard descriptor limit, for
// receiver_test's crowd case.
//   pv_crowded_child PORT MAXFILES
// Prints "listening <total> <per address>" once it listens. A line on standard input is
// answered with "stats <connections> <open descriptors> <painted>", painted 1 when a window
// still renders and a file still opens.
#include "messaging/receiver.h"
#include "net/socket_components.h"
#include "platform/process_limits.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPixmap>
#include <QSocketNotifier>

#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    const rlimit limit{rlim_t(atoi(argv[2])), rlim_t(atoi(argv[2]))};
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 3;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QLabel window(QStringLiteral("Pellavine"));
    window.show();

    const ConnectionLimits limits = connectionLimitsFor(platform::descriptorLimit());
    TServerSocket server;
    server.Socket()->SetConnectionLimits(limits.perPeer, limits.total, IdleConnectionMs, ConnectionLifeMs);
    server.OnClientRead = [](QObject*, TCustomWinSocket* socket) { socket->ReadText(); };
    server.setPort(atoi(argv[1]));
    server.setActive(true);
    std::printf("listening %d %d\n", limits.total, limits.perPeer);
    std::fflush(stdout);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char line[64];
        if (::read(STDIN_FILENO, line, sizeof line) <= 0) {
            QApplication::quit();
            return;
        }
        const int file = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
        const bool painted = file >= 0 && !window.grab().isNull();
        if (file >= 0)
            ::close(file);
        std::printf("stats %d %d %d\n", server.Socket()->ConnectionCount(),
                    int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size()),
                    painted ? 1 : 0);
        std::fflush(stdout);
    });
    return application.exec();
}
