#include "tests/support/raw_peer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

sockaddr_in loopback(const char* address, int port)
{
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_port = htons(quint16(port));
    inet_pton(AF_INET, address, &result.sin_addr);
    return result;
}

bool readable(int fd, int timeoutMs)
{
    pollfd state{fd, POLLIN, 0};
    return ::poll(&state, 1, timeoutMs) > 0;
}

} // namespace

int freeTcpPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback("0.0.0.0", 0);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

bool acceptsOnLoopback(int port)
{
    RawPeer peer;
    return peer.connectTo(port);
}

RawPeer::~RawPeer()
{
    close();
}

bool RawPeer::connectTo(int port, const char* from, bool wait)
{
    close();
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (wait ? 0 : SOCK_NONBLOCK), 0);
    if (from) {
        const sockaddr_in local = loopback(from, 0);
        if (::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
            return false;
    }
    const sockaddr_in to = loopback("127.0.0.1", port);
    return ::connect(fd_, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 || (!wait && errno == EINPROGRESS);
}

bool RawPeer::listen(int port, const char* address, int backlog)
{
    close();
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int reuse = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    const sockaddr_in at = loopback(address, port);
    return ::bind(fd_, reinterpret_cast<const sockaddr*>(&at), sizeof at) == 0 && ::listen(fd_, backlog) == 0;
}

bool RawPeer::accept(RawPeer& peer, int timeoutMs)
{
    if (!readable(fd_, timeoutMs))
        return false;
    peer.close();
    peer.fd_ = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    return peer.fd_ >= 0;
}

bool RawPeer::send(const QByteArray& bytes)
{
    qsizetype at = 0;
    while (at < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.constData() + at, size_t(bytes.size() - at), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        at += n;
    }
    return true;
}

bool RawPeer::sendMore(const QByteArray& bytes, qsizetype& at)
{
    while (at < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.constData() + at, size_t(bytes.size() - at), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n <= 0)
            return !(n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK));
        at += n;
    }
    return true;
}

bool RawPeer::readToEnd(QByteArray* received, int timeoutMs)
{
    for (;;) {
        if (!readable(fd_, timeoutMs))
            return false;
        char buffer[65536];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n == 0)
            return true;
        if (n < 0)
            return errno == ECONNRESET;
        if (received)
            received->append(buffer, int(n));
    }
}

void RawPeer::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void RawPeer::reset()
{
    const linger abort{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    close();
}
