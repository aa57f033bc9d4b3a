#pragma once
// Readiness of a socket, told on the GUI thread's event loop. All watches share one epoll set that
// the loop sees as a single descriptor, so connections that sit idle cost the loop nothing per
// turn, however many there are. (A notifier per socket, as QTcpSocket has, is polled on every
// turn: bench/run.sh shows each connection costing two to three times the CPU with 500 held.)
#include <functional>

namespace platform {

class SocketWatch {
public:
    enum Kind { Read, Write };

    // Starts disabled. `activated` runs on the loop while the socket is
    // ready and the watch is enabled (level-triggered: again on the next turn unless the
    // condition is taken away or the watch disabled). A hang-up or error counts as ready.
    SocketWatch(int fd, Kind kind, std::function<void()> activated);
    ~SocketWatch();
    SocketWatch(const SocketWatch&) = delete;
    SocketWatch& operator=(const SocketWatch&) = delete;

    void setEnabled(bool enabled);
    bool isEnabled() const { return enabled_; }
    int socket() const { return fd_; }
    Kind kind() const { return kind_; }

    // How many sockets the shared set holds now (tests).
    static int watchedSockets();

private:
    friend class SocketPoller;
    int fd_;
    Kind kind_;
    bool enabled_ = false;
    std::function<void()> activated_;
};

} // namespace platform
