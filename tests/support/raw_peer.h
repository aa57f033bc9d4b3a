#pragma once
// The other computer of the network tests: a TCP peer on the loopback written with plain
// sockets, nothing of the program's socket layer. It runs on the test's thread; where the program
// has to run meanwhile, its non-blocking calls go into a QTRY_ condition.
#include <QByteArray>

// A TCP port nobody listens on right now.
int freeTcpPort();
// Whether something accepts connections on the port of 127.0.0.1.
bool acceptsOnLoopback(int port);

class RawPeer {
public:
    RawPeer() = default;
    ~RawPeer();
    RawPeer(const RawPeer&) = delete;
    RawPeer& operator=(const RawPeer&) = delete;

    // Connects to the port of 127.0.0.1, from a loopback address of its own (127.0.0.2 ...,
    // as another computer) when `from` is given. With `wait` false the connect is only started.
    bool connectTo(int port, const char* from = nullptr, bool wait = true);
    // Listens on the port of a loopback address.
    bool listen(int port, const char* address = "127.0.0.1", int backlog = 5);
    // On a listening peer: the next connection becomes `peer`, waiting up to timeoutMs for one.
    bool accept(RawPeer& peer, int timeoutMs = 3000);

    // All of the bytes, blocking until the other side has room.
    bool send(const QByteArray& bytes);
    // What the other side takes now of the bytes from `at` on, without blocking; moves `at` on.
    // True once all is sent, or once the other side is gone (then `at` tells how far it got).
    bool sendMore(const QByteArray& bytes, qsizetype& at);
    // Reads until the other side closes or resets (true) or nothing comes for timeoutMs (false).
    bool readToEnd(QByteArray* received = nullptr, int timeoutMs = 3000);
    // Whether the other side has closed by now; takes what was sent meanwhile.
    bool ended() { return readToEnd(nullptr, 0); }
    void close();
    // Closing with a zero linger time sends a reset instead of a normal end.
    void reset();

    int fd() const { return fd_; }

private:
    int fd_ = -1;
};
