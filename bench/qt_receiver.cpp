// The receiving end as it would be on QTcpServer/QTcpSocket and Qt's ordinary event loop, to weigh
// against the program's own socket layer: listen queue of 5, accepts, reads everything a
// connection sends and lets it go when the sender has closed; the program's bounds per peer and
// in all (more are closed at once, unread) and its close after 30 s of silence.
//   pv_qt_receiver PORT [shed]
// With `shed` the listener accepts by itself (a QSocketNotifier on QTcpServer's socket) and, out
// of descriptors, takes the waiting connections through a spare descriptor and drops them as the
// program does; the connections are QTcpSockets either way.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int MaxPerPeer = 32;
constexpr int MaxTotal = 512;
constexpr int IdleMs = 30000;
constexpr int AcceptBatch = 64;
constexpr int FirstBackoffMs = 100;
constexpr int LastBackoffMs = 2000;

class Receiver {
public:
    explicit Receiver(bool shed) : shed_(shed)
    {
        clock_.start();
        server_.setListenBacklogSize(5);
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection())
                adopt(socket);
        });
        QObject::connect(&sweep_, &QTimer::timeout, &server_, [this] { sweepIdle(); });
    }

    bool listen(quint16 port)
    {
        if (!server_.listen(QHostAddress::AnyIPv4, port))
            return false;
        if (shed_) {
            server_.pauseAccepting();
            listener_ = int(server_.socketDescriptor());
            spare_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
            acceptable_ = new QSocketNotifier(listener_, QSocketNotifier::Read, &server_);
            QObject::connect(acceptable_, &QSocketNotifier::activated, &server_, [this] { acceptHere(); });
        }
        return true;
    }

    QString error() const { return server_.errorString(); }

private:
    struct Peer {
        quint32 address = 0;
        qint64 lastActivity = 0;
    };

    void adopt(QTcpSocket* socket)
    {
        const quint32 address = socket->peerAddress().toIPv4Address();
        if (peers_.size() >= MaxTotal || perPeer_.value(address) >= MaxPerPeer) {
            socket->abort();
            socket->deleteLater();
            return;
        }
        ++perPeer_[address];
        peers_.insert(socket, Peer{address, clock_.elapsed()});
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            socket->readAll();
            const auto it = peers_.find(socket);
            if (it != peers_.end())
                it->lastActivity = clock_.elapsed();
        });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, socket] { forget(socket); });
        if (!sweep_.isActive())
            sweep_.start(IdleMs / 6);
    }

    void forget(QTcpSocket* socket)
    {
        const auto it = peers_.find(socket);
        if (it == peers_.end())
            return;
        if (--perPeer_[it->address] <= 0)
            perPeer_.remove(it->address);
        peers_.erase(it);
        socket->deleteLater();
        if (peers_.isEmpty())
            sweep_.stop();
    }

    void sweepIdle()
    {
        const qint64 now = clock_.elapsed();
        QList<QTcpSocket*> idle;
        for (auto it = peers_.cbegin(); it != peers_.cend(); ++it) {
            if (now - it->lastActivity >= IdleMs && it.key()->bytesAvailable() == 0)
                idle.append(it.key());
        }
        for (QTcpSocket* socket : idle) {
            forget(socket);
            socket->abort();
        }
    }

    // Qt 6.4's QTcpServer, out of descriptors, neither pauses nor reports an error: the listener
    // stays ready and the loop spins. Hence this accept of our own.
    void acceptHere()
    {
        for (int taken = 0; taken < AcceptBatch; ++taken) {
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) {
                if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                    shedPending();
                return;
            }
            backoffMs_ = 0;
            auto* socket = new QTcpSocket(&server_);
            socket->setSocketDescriptor(fd);
            adopt(socket);
        }
    }

    void shedPending()
    {
        if (spare_ >= 0) {
            ::close(spare_);
            for (int shed = 0; shed < AcceptBatch; ++shed) {
                const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd < 0)
                    break;
                ::close(fd);
            }
            spare_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
            if (spare_ >= 0)
                return;
        }
        backoffMs_ = backoffMs_ == 0 ? FirstBackoffMs : qMin(backoffMs_ * 2, LastBackoffMs);
        acceptable_->setEnabled(false);
        QTimer::singleShot(backoffMs_, &server_, [this] {
            if (spare_ < 0)
                spare_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
            acceptable_->setEnabled(true);
        });
    }

    const bool shed_;
    QTcpServer server_;
    QTimer sweep_;
    QElapsedTimer clock_;
    QHash<QTcpSocket*, Peer> peers_;
    QHash<quint32, int> perPeer_;
    QSocketNotifier* acceptable_ = nullptr;
    int listener_ = -1;
    int spare_ = -1;
    int backoffMs_ = 0;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3 || (argc == 3 && qstrcmp(argv[2], "shed") != 0)) {
        std::fprintf(stderr, "usage: pv_qt_receiver PORT [shed]\n");
        return 2;
    }
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    QCoreApplication app(argc, argv);
    Receiver receiver(argc == 3);
    if (!receiver.listen(quint16(QByteArray(argv[1]).toUShort()))) {
        std::fprintf(stderr, "pv_qt_receiver: %s\n", qPrintable(receiver.error()));
        return 1;
    }
    return app.exec();
}
