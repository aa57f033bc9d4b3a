// The program's receiving end without its windows: its socket layer with the limits it derives
// from the descriptor limit, and its read handler, which joins, names and records each message.
// Each message recorded is counted on standard output ("messages N").
//   pv_program_receiver PORT
#include "app/app_state.h"
#include "messaging/inbox.h"
#include "messaging/receiver.h"
#include "net/socket_components.h"
#include "platform/process_limits.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: pv_program_receiver PORT\n");
        return 2;
    }
    platform::raiseDescriptorLimit();
    QApplication application(argc, argv);
    App().SoundOn = false;
    const ConnectionLimits limits = connectionLimitsFor(platform::descriptorLimit());
    TServerSocket server;
    server.Socket()->SetConnectionLimits(limits.perPeer, limits.total, IdleConnectionMs, ConnectionLifeMs);
    server.OnClientRead = [](QObject*, TCustomWinSocket* socket) { receiveMessage(socket); };
    server.setPort(QByteArray(argv[1]).toInt());
    server.setActive(true);
    int counted = 0;
    QTimer count;
    QObject::connect(&count, &QTimer::timeout, [&counted] {
        const auto newest = inbox().newest();
        const int recorded = newest ? int(newest->id) : 0;
        if (recorded == counted)
            return;
        counted = recorded;
        std::printf("messages %d\n", counted);
        std::fflush(stdout);
    });
    count.start(20);
    return application.exec();
}
