// The floor for the benchmarks: a raw epoll receiver, with a listen queue of 5 (the queue of the
// program's Winsock origins) or the one given. It accepts, reads everything a connection sends and
// closes it when the sender has closed; each connection that brought data is counted on standard
// output ("messages N").
//   pv_epoll_receiver PORT [QUEUE]
#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: pv_epoll_receiver PORT [QUEUE]\n");
        return 2;
    }
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(std::atoi(argv[1])));
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, argc == 3 ? std::atoi(argv[2]) : 5) != 0) {
        std::perror("pv_epoll_receiver");
        return 1;
    }
    const int poller = epoll_create1(EPOLL_CLOEXEC);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = listener;
    epoll_ctl(poller, EPOLL_CTL_ADD, listener, &event);
    epoll_event ready[256];
    char buffer[65536];
    static bool brought[1 << 20];
    long messages = 0;
    for (;;) {
        const int n = epoll_wait(poller, ready, 256, -1);
        for (int i = 0; i < n; ++i) {
            const int fd = ready[i].data.fd;
            if (fd == listener) {
                for (;;) {
                    const int client = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                    if (client < 0)
                        break;
                    epoll_event e{};
                    e.events = EPOLLIN | EPOLLRDHUP;
                    e.data.fd = client;
                    epoll_ctl(poller, EPOLL_CTL_ADD, client, &e);
                }
                continue;
            }
            ssize_t got;
            while ((got = recv(fd, buffer, sizeof buffer, 0)) > 0) {
                if (fd < int(sizeof brought) && !brought[fd]) {
                    brought[fd] = true;
                    std::printf("messages %ld\n", ++messages);
                    std::fflush(stdout);
                }
            }
            if (got == 0 || (ready[i].events & (EPOLLHUP | EPOLLERR))) {
                epoll_ctl(poller, EPOLL_CTL_DEL, fd, nullptr);
                if (fd < int(sizeof brought))
                    brought[fd] = false;
                close(fd);
            }
        }
    }
}
