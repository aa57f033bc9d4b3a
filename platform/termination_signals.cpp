#include "platform/termination_signals.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {
namespace {

int g_pipe[2] = {-1, -1};

void writeSignal(int signal)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[0], &byte, 1);
    errno = saved;
}

} // namespace

void onTerminationSignal(std::function<void(int signal)> handler)
{
    if (g_pipe[0] != -1)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_pipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [handler] {
        unsigned char byte = 0;
        while (::read(g_pipe[1], &byte, 1) == 1)
            handler(byte);
    });

    struct sigaction action = {};
    action.sa_handler = writeSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
}

} // namespace platform
