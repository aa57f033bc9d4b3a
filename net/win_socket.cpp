#include "net/win_socket.h"

#include "net/socket_error.h"
#include "platform/cp1251.h"
#include "platform/notice_window.h"
#include "platform/platform.h"
#include "platform/socket_watch.h"


#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// While an owner leaves read data untaken, no new read event is due (as with Winsock); this
// timer still notices a peer that goes away meanwhile.
constexpr quintptr ParkTimerId = 1;
constexpr unsigned ParkTimerMs = 200;
// The system's own queue: on Linux a full queue with SYN cookies loses a connection whose sender
// believes it delivered, so the queue is never the short one of Winsock habit.
constexpr int ListenQueueLimit = SOMAXCONN;
constexpr quintptr IdleSweepTimerId = 2;
constexpr quintptr AcceptBackoffTimerId = 3;
// Connections taken per accept notice: a burst is emptied from the queue at once, and other
// events still get their turn between batches.
constexpr int AcceptBatch = 64;
constexpr int FirstBackoffMs = 100;
constexpr int LastBackoffMs = 2000;

quintptr g_lastTicket = 0;

quintptr nextTicket()
{
    return ++g_lastTicket;
}

qintptr socketNoticeParam(int event, int winsockCode)
{
    return qintptr((winsockCode & 0xFFFF) << 16) | qintptr(event & 0xFFFF);
}

int pendingSocketError(int fd)
{
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        return errno;
    return error;
}

// A peer that has gone: an ordinary end of an accepted connection, not an error worth a box.
bool isPeerLoss(int errnoValue)
{
    return errnoValue == ECONNRESET || errnoValue == EPIPE || errnoValue == ECONNABORTED ||
           errnoValue == ETIMEDOUT;
}

// accept() failures that concern only the connection being taken (it went away before it was
// taken); the next one in the queue may be fine.
bool connectionWentAway(int errnoValue)
{
    switch (errnoValue) {
    case ECONNABORTED: case EPROTO: case EPERM: case EINTR: case ENETDOWN: case ENOPROTOOPT:
    case EHOSTDOWN: case ENONET: case EHOSTUNREACH: case EOPNOTSUPP: case ENETUNREACH:
        return true;
    default:
        return false;
    }
}

// Outcomes that Winsock reports with the connect event rather than from connect() itself.
bool isConnectOutcome(int errnoValue)
{
    return errnoValue == ECONNREFUSED || errnoValue == ETIMEDOUT || errnoValue == ENETUNREACH ||
           errnoValue == EHOSTUNREACH || errnoValue == ECONNRESET;
}

TErrorEvent errorKindOf(int event)
{
    switch (event) {
    case FdRead: return eeReceive;
    case FdWrite: return eeSend;
    case FdAccept: return eeAccept;
    case FdConnect: return eeConnect;
    case FdClose: return eeDisconnect;
    default: return eeGeneral;
    }
}

qint64 monotonicMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QString dotted(const sockaddr_in& address)
{
    char text[INET_ADDRSTRLEN] = {};
    if (!inet_ntop(AF_INET, &address.sin_addr, text, sizeof text))
        return QString();
    return QString::fromLatin1(text);
}

} // namespace

TCustomWinSocket::TCustomWinSocket(int ASocket) : life_(std::make_shared<Life>())
{
    life_->self = this;
    addr_.sin_family = AF_INET;
    if (ASocket >= 0)
        adoptSocket(ASocket);
}

TCustomWinSocket::~TCustomWinSocket()
{
    // Destruction is silent: no event reaches the owner any more.
    life_->self = nullptr;
    OnSocketEvent = nullptr;
    OnErrorEvent = nullptr;
    cancelLookup();
    releaseSocket();
    if (window_) {
        // The window may be delivering the notice whose handler destroys us.
        if (life_->dispatching > 0)
            window_->deleteLater();
        else
            delete window_;
        window_ = nullptr;
    }
}

// Handles one notice inside the guard: an error escaping it goes to the error report, and the
// loop goes on.
void TCustomWinSocket::deliver(const std::shared_ptr<Life>& life, unsigned notice, quintptr wParam, qintptr lParam)
{
    // A handler may destroy the object and whatever called us: keep our own reference.
    const std::shared_ptr<Life> keep = life;
    TCustomWinSocket* self = keep->self;
    if (!self)
        return;
    ++keep->dispatching;
    platform::runGuarded([&] { self->wndProc(notice, wParam, lParam); });
    --keep->dispatching;
}

platform::NoticeWindow* TCustomWinSocket::window()
{
    if (!window_) {
        const std::shared_ptr<Life> life = life_;
        window_ = new platform::NoticeWindow(
            [life](unsigned notice, quintptr wParam, qintptr lParam) { deliver(life, notice, wParam, lParam); });
    }
    return window_;
}

void TCustomWinSocket::postNotice(unsigned notice, quintptr wParam, qintptr lParam)
{
    window()->post(notice, wParam, lParam);
}

void TCustomWinSocket::wndProc(unsigned notice, quintptr wParam, qintptr lParam)
{
    switch (notice) {
    case SocketNotice:
        socketMessage(wParam, int(lParam & 0xFFFF), int((lParam >> 16) & 0xFFFF));
        break;
    case DeferredFreeNotice:
        delete this;
        break;
    case LookupCompleteNotice:
        lookupComplete(wParam, int((lParam >> 16) & 0xFFFF));
        break;
    case platform::NoticeWindow::TimerNotice:
        Timer(wParam);
        break;
    default:
        break;
    }
}

void TCustomWinSocket::Timer(quintptr id)
{
    if (id == ParkTimerId)
        parkTimer();
}

void TCustomWinSocket::socketMessage(Ticket socket, int event, int errorCode)
{
    // Notices of a socket closed since they were posted are history.
    if (socket_ < 0 || socket != ticket_)
        return;
    if (event == FdClose && PeerLossIsQuiet())
        errorCode = 0;
    if (errorCode != 0) {
        errorMessage_ = net::asyncSocketErrorText(errorCode);
        Error(this, errorKindOf(event), errorCode);
        if (errorCode != 0)
            throw ESocketError(net::asyncSocketErrorText(errorCode));
        return;
    }
    switch (event) {
    case FdConnect: HandleConnect(socket); break;
    case FdClose: doClose(socket); break;
    case FdRead: HandleRead(socket); break;
    case FdWrite: HandleWrite(socket); break;
    case FdAccept: HandleAccept(socket); break;
    default: break;
    }
}

void TCustomWinSocket::Event(TCustomWinSocket* Socket, SocketEventKind SocketEvent)
{
    const auto handler = OnSocketEvent;
    if (handler)
        handler(Socket, SocketEvent);
}

void TCustomWinSocket::Error(TCustomWinSocket* Socket, TErrorEvent ErrorEvent, int& ErrorCode)
{
    const auto handler = OnErrorEvent;
    if (handler)
        handler(Socket, ErrorEvent, ErrorCode);
}

// --- socket life ---

void TCustomWinSocket::createSocket()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0)
        throw ESocketError(QString::fromLatin1(net::CantCreateSocket));
    socket_ = fd;
    ticket_ = nextTicket();
    connected_ = false;
    bytesReceived_ = 0;
    peerAddress_.clear();
    peerPort_ = 0;
}

void TCustomWinSocket::adoptSocket(int socket)
{
    socket_ = socket;
    ticket_ = nextTicket();
    connected_ = true;
    bytesReceived_ = 0;
    lastActivityMs_ = monotonicMs();
    openedMs_ = lastActivityMs_;
    rememberPeer();
}

void TCustomWinSocket::rememberPeer()
{
    // Kept from the start: after a reset the platform no longer knows the peer, but the owner
    // may still be reading what it sent.
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    if (socket_ >= 0 && getpeername(socket_, reinterpret_cast<sockaddr*>(&peer), &length) == 0 &&
        peer.sin_family == AF_INET) {
        peerAddress_ = dotted(peer);
        peerPort_ = ntohs(peer.sin_port);
    } else {
        peerAddress_ = dotted(addr_);
        peerPort_ = ntohs(addr_.sin_port);
    }
}

void TCustomWinSocket::stopParkTimer()
{
    if (window_)
        window_->killTimer(ParkTimerId);
}

void TCustomWinSocket::releaseSocket()
{
    stopParkTimer();
    delete readNotifier_;
    readNotifier_ = nullptr;
    delete writeNotifier_;
    writeNotifier_ = nullptr;
    if (socket_ >= 0)
        ::close(socket_);
    socket_ = -1;
    ticket_ = 0;
    connected_ = false;
    connecting_ = false;
    closePosted_ = false;
    readArmed_ = true;
    recvSinceReadPosted_ = true;
    addr_ = sockaddr_in{};
    addr_.sin_family = AF_INET;
}

void TCustomWinSocket::cancelLookup()
{
    if (lookupHandle_ != 0)
        net::cancelLookup(lookupHandle_);
    lookupHandle_ = 0;
    lookupState_ = lsIdle;
}

void TCustomWinSocket::Close()
{
    HandleClose(ticket_);
}

void TCustomWinSocket::HandleClose(Ticket socket)
{
    cancelLookup();
    if (socket_ < 0 || socket != ticket_ || closing_)
        return;
    const std::shared_ptr<Life> life = life_;
    closing_ = true;
    try {
        Event(this, seDisconnect);
    } catch (...) {
        if (life->self) {
            closing_ = false;
            if (socket == ticket_)
                releaseSocket();
        }
        throw;
    }
    if (!life->self)
        return;
    closing_ = false;
    if (socket == ticket_)
        releaseSocket();
}

void TCustomWinSocket::doClose(Ticket socket)
{
    // An owner that reads in portions gets the rest of the data before the close.
    if (recvSinceReadPosted_ && ReceiveLength() > 0) {
        readArmed_ = false;
        recvSinceReadPosted_ = false;
        postNotice(SocketNotice, socket, socketNoticeParam(FdRead, 0));
        postNotice(SocketNotice, socket, socketNoticeParam(FdClose, 0));
        return;
    }
    HandleClose(socket);
}

// --- readiness to notices ---

void TCustomWinSocket::doSetAsyncStyles()
{
    if (socket_ < 0)
        return;
    delete readNotifier_;
    readNotifier_ = nullptr;
    delete writeNotifier_;
    writeNotifier_ = nullptr;
    readArmed_ = true;
    recvSinceReadPosted_ = true;
    closePosted_ = false;

    if (asyncStyles_ & FdAccept) {
        readNotifier_ = new platform::SocketWatch(socket_, platform::SocketWatch::Read, [this] { onAcceptable(); });
        readNotifier_->setEnabled(connected_);
        return;
    }
    readNotifier_ = new platform::SocketWatch(socket_, platform::SocketWatch::Read, [this] { onReadable(); });
    writeNotifier_ = new platform::SocketWatch(socket_, platform::SocketWatch::Write, [this] { onWritable(); });
    if (connected_) {
        readNotifier_->setEnabled((asyncStyles_ & (FdRead | FdClose)) != 0);
        // A connected socket can be written at once: Winsock says so straight away.
        if (asyncStyles_ & FdWrite)
            postNotice(SocketNotice, ticket_, socketNoticeParam(FdWrite, 0));
    }
}

void TCustomWinSocket::onAcceptable()
{
    // Taken at once rather than through a posted notice: the listen queue is short, and every
    // moment it stays full drops new connections' handshakes (the sender then waits a second).
    deliver(life_, SocketNotice, ticket_, socketNoticeParam(FdAccept, 0));
}

void TCustomWinSocket::onReadable()
{
    if (socket_ < 0 || closePosted_) {
        readNotifier_->setEnabled(false);
        return;
    }
    pollfd state{socket_, short(POLLIN | POLLRDHUP), 0};
    if (::poll(&state, 1, 0) < 0)
        state.revents = 0;
    int available = 0;
    if (::ioctl(socket_, FIONREAD, &available) != 0)
        available = 0;
    bool gone = (state.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
    if (!gone && available == 0 && (state.revents & POLLIN)) {
        char probe = 0;
        const ssize_t peeked = ::recv(socket_, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
        gone = peeked == 0 || (peeked < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
    }
    if (available > 0)
        lastActivityMs_ = monotonicMs();
    // Data first, then the close, so nothing the peer sent before leaving is lost.
    if (available > 0 && readArmed_) {
        readArmed_ = false;
        recvSinceReadPosted_ = false;
        postNotice(SocketNotice, ticket_, socketNoticeParam(FdRead, 0));
    }
    if (gone) {
        postClose();
        return;
    }
    if (!readArmed_)
        readNotifier_->setEnabled(false);
}

void TCustomWinSocket::postClose()
{
    closePosted_ = true;
    stopParkTimer();
    if (readNotifier_)
        readNotifier_->setEnabled(false);
    if (writeNotifier_)
        writeNotifier_->setEnabled(false);
    const int error = pendingSocketError(socket_);
    postNotice(SocketNotice, ticket_, socketNoticeParam(FdClose, net::winsockError(error)));
}

void TCustomWinSocket::onWritable()
{
    writeNotifier_->setEnabled(false);
    if (socket_ < 0)
        return;
    if (connecting_) {
        connecting_ = false;
        const int error = pendingSocketError(socket_);
        postNotice(SocketNotice, ticket_, socketNoticeParam(FdConnect, net::winsockError(error)));
        if (error != 0)
            return;
        if (asyncStyles_ & (FdRead | FdClose))
            readNotifier_->setEnabled(true);
        if (asyncStyles_ & FdWrite)
            postNotice(SocketNotice, ticket_, socketNoticeParam(FdWrite, 0));
        return;
    }
    postNotice(SocketNotice, ticket_, socketNoticeParam(FdWrite, 0));
}

void TCustomWinSocket::rearm()
{
    recvSinceReadPosted_ = true;
    if (readArmed_)
        return;
    readArmed_ = true;
    stopParkTimer();
    if (readNotifier_ && !closePosted_)
        readNotifier_->setEnabled(true);
}

void TCustomWinSocket::parkTimer()
{
    if (socket_ < 0 || closePosted_ || readArmed_) {
        stopParkTimer();
        return;
    }
    pollfd state{socket_, short(POLLRDHUP), 0};
    if (::poll(&state, 1, 0) > 0 && (state.revents & (POLLRDHUP | POLLHUP | POLLERR)))
        postClose();
}

// --- handlers of the notices ---

void TCustomWinSocket::HandleAccept(Ticket) {}

void TCustomWinSocket::HandleConnect(Ticket socket)
{
    if (socket_ < 0 || socket != ticket_)
        return;
    connected_ = true;
    rememberPeer();
    Event(this, seConnect);
}

void TCustomWinSocket::HandleRead(Ticket socket)
{
    if (socket_ < 0 || socket != ticket_)
        return;
    const std::shared_ptr<Life> life = life_;
    Event(this, seRead);
    if (!life->self || socket_ < 0 || socket != ticket_)
        return;
    if (!readArmed_ && !closePosted_)
        window()->setTimer(ParkTimerId, ParkTimerMs);
}

void TCustomWinSocket::HandleWrite(Ticket socket)
{
    if (socket_ < 0 || socket != ticket_ || !connected_)
        return;
    Event(this, seWrite);
}

// --- opening ---

void TCustomWinSocket::renewSocket(const QString& Service, int Port)
{
    // A failed or abandoned attempt still holds its socket: give it back before the next.
    cancelLookup();
    releaseSocket();
    if (Service.isEmpty() && !net::invalidPortText(Port).isEmpty())
        throw ESocketError(net::invalidPortText(Port));
    createSocket();
}

void TCustomWinSocket::Open(const QString& Name, const QString& Address, const QString& Service, int Port)
{
    if (connected_)
        throw ESocketError(QString::fromLatin1(net::SocketAlreadyOpen));
    renewSocket(Service, Port);
    lookupClient_ = true;
    startOpening([&](Ticket ticket) {
        if (!Name.isEmpty()) {
            startLookup(true, Name);
            lookupService_ = Service;
            lookupPort_ = quint16(Port);
            lookupState_ = lsLookupAddress;
            return;
        }
        if (Address.isEmpty()) {
            const std::shared_ptr<Life> life = life_;
            int code = net::wsa::NoAddressCode;
            errorMessage_ = QString::fromLatin1(net::NoAddressSpecified);
            Error(this, eeLookup, code);
            if (!life->self)
                return;
            HandleClose(ticket);
            if (code != 0)
                throw ESocketError(QString::fromLatin1(net::NoAddressSpecified));
            return;
        }
        in_addr address{};
        if (inet_aton(platform::toCp1251(Address).constData(), &address) == 0)
            net::raiseSocketError(EADDRNOTAVAIL, "connect");
        addr_.sin_addr = address;
        continueWithService(Service, Port);
    });
}

void TCustomWinSocket::Listen(const QString& Service, int Port, int QueueSize)
{
    if (connected_)
        throw ESocketError(QString::fromLatin1(net::CantListenOnOpen));
    renewSocket(Service, Port);
    lookupClient_ = false;
    lookupQueueSize_ = QueueSize > 0 && QueueSize < ListenQueueLimit ? QueueSize : ListenQueueLimit;
    startOpening([&](Ticket) { continueWithService(Service, Port); });
}

// Opening and listening alike: the lookup event, then the rest on the socket, unless a handler has
// closed or destroyed it meanwhile. Whatever is thrown closes the socket and goes on to the caller.
void TCustomWinSocket::startOpening(const std::function<void(Ticket socket)>& rest)
{
    const std::shared_ptr<Life> life = life_;
    const Ticket ticket = ticket_;
    try {
        Event(this, seLookup);
        if (!life->self || ticket != ticket_)
            return;
        rest(ticket);
    } catch (...) {
        if (life->self)
            HandleClose(ticket);
        throw;
    }
}

void TCustomWinSocket::startLookup(bool host, const QString& name)
{
    const std::shared_ptr<Life> life = life_;
    auto done = [life](net::LookupHandle handle, const net::LookupResult& result) {
        if (life->self)
            life->self->lookupFinished(handle, result);
    };
    lookupHandle_ = host ? net::startHostLookup(name, done) : net::startServiceLookup(name, done);
}

void TCustomWinSocket::lookupFinished(net::LookupHandle handle, const net::LookupResult& result)
{
    if (handle == 0 || handle != lookupHandle_)
        return;
    lookupResult_ = result;
    postNotice(LookupCompleteNotice, handle, qintptr((result.error & 0xFFFF) << 16));
}

void TCustomWinSocket::lookupComplete(net::LookupHandle handle, int errorCode)
{
    if (handle == 0 || handle != lookupHandle_)
        return;
    lookupHandle_ = 0;
    const TLookupState state = lookupState_;
    lookupState_ = lsIdle;
    const std::shared_ptr<Life> life = life_;
    const Ticket ticket = ticket_;
    if (errorCode != 0) {
        const QString text = lookupResult_.errorText;
        errorMessage_ = net::windowsSocketErrorText(text, errorCode, QStringLiteral("ASync Lookup"));
        Error(this, eeLookup, errorCode);
        if (!life->self)
            return;
        HandleClose(ticket);
        if (errorCode != 0)
            throw ESocketError(net::windowsSocketErrorText(text, errorCode, QStringLiteral("ASync Lookup")));
        return;
    }
    try {
        if (state == lsLookupAddress) {
            addr_.sin_addr.s_addr = lookupResult_.address;
            continueWithService(lookupService_, lookupPort_);
        } else if (state == lsLookupService) {
            if (lookupClient_)
                doOpen(lookupResult_.port);
            else
                doListen(lookupResult_.port);
        }
    } catch (...) {
        if (life->self)
            HandleClose(ticket);
        throw;
    }
}

void TCustomWinSocket::continueWithService(const QString& Service, int Port)
{
    if (!Service.isEmpty()) {
        startLookup(false, Service);
        lookupState_ = lsLookupService;
        return;
    }
    if (lookupClient_)
        doOpen(quint16(Port));
    else
        doListen(quint16(Port));
}

void TCustomWinSocket::doOpen(quint16 Port)
{
    lookupState_ = lsIdle;
    addr_.sin_family = AF_INET;
    addr_.sin_port = htons(Port);
    doSetAsyncStyles();
    const std::shared_ptr<Life> life = life_;
    const Ticket ticket = ticket_;
    Event(this, seConnecting);
    if (!life->self || ticket != ticket_)
        return;
    if (::connect(socket_, reinterpret_cast<const sockaddr*>(&addr_), sizeof addr_) == 0 ||
        errno == EINPROGRESS) {
        connecting_ = true;
        writeNotifier_->setEnabled(true);
        return;
    }
    const int error = errno;
    if (isConnectOutcome(error)) {
        postNotice(SocketNotice, ticket_, socketNoticeParam(FdConnect, net::winsockError(error)));
        return;
    }
    net::raiseSocketError(error, "connect");
}

void TCustomWinSocket::doListen(quint16 Port)
{
    lookupState_ = lsIdle;
    addr_ = sockaddr_in{};
    addr_.sin_family = AF_INET;
    addr_.sin_addr.s_addr = htonl(INADDR_ANY);
    addr_.sin_port = htons(Port);
    // So that a restart right after a shut-down can bind while old connections linger.
    const int reuse = 1;
    ::setsockopt(socket_, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    if (::bind(socket_, reinterpret_cast<const sockaddr*>(&addr_), sizeof addr_) != 0)
        net::raiseSocketError(errno, "bind");
    doSetAsyncStyles();
    const std::shared_ptr<Life> life = life_;
    const Ticket ticket = ticket_;
    Event(this, seListen);
    if (!life->self || ticket != ticket_)
        return;
    if (::listen(socket_, lookupQueueSize_) != 0)
        net::raiseSocketError(errno, "listen");
    connected_ = true;
    if (readNotifier_)
        readNotifier_->setEnabled(true);
}

// --- data ---

int TCustomWinSocket::ReceiveLength()
{
    if (socket_ < 0)
        return 0;
    int available = 0;
    if (::ioctl(socket_, FIONREAD, &available) != 0)
        return 0;
    return available;
}

void TCustomWinSocket::transferError(TErrorEvent kind, int errnoValue, const char* api)
{
    if (PeerLossIsQuiet() && isPeerLoss(errnoValue)) {
        HandleClose(ticket_);
        return;
    }
    int code = net::winsockError(errnoValue);
    const QString text = net::systemErrorText(errnoValue);
    const std::shared_ptr<Life> life = life_;
    const Ticket ticket = ticket_;
    errorMessage_ = net::windowsSocketErrorText(text, code, QString::fromLatin1(api));
    Error(this, kind, code);
    if (life->self)
        HandleClose(ticket);
    if (code != 0)
        throw ESocketError(net::windowsSocketErrorText(text, code, QString::fromLatin1(api)));
}

int TCustomWinSocket::ReadBuffer(void* Buf, int Count)
{
    if (!connected_ || socket_ < 0)
        return 0;
    if (Count == -1)
        return ReceiveLength();
    if (Count <= 0 || !Buf) {
        rearm();
        return 0;
    }
    const ssize_t received = ::recv(socket_, Buf, size_t(Count), 0);
    const int error = errno;
    rearm();
    if (received > 0) {
        bytesReceived_ += quint64(received);
        return int(received);
    }
    if (received == 0)
        return 0;
    if (error == EAGAIN || error == EWOULDBLOCK)
        return -1;
    transferError(eeReceive, error, "recv");
    return -1;
}

QString TCustomWinSocket::ReadText()
{
    if (!connected_ || socket_ < 0)
        return QString();
    const int available = ReceiveLength();
    if (available <= 0) {
        rearm();
        return QString();
    }
    QByteArray bytes(available, Qt::Uninitialized);
    const int received = ReadBuffer(bytes.data(), available);
    if (received <= 0)
        return QString();
    bytes.truncate(received);
    return platform::fromCp1251(bytes);
}

int TCustomWinSocket::WriteBuffer(const void* Buf, int Count)
{
    if (!connected_ || socket_ < 0)
        return 0;
    // MSG_NOSIGNAL: a peer that has gone must not end the process with SIGPIPE.
    const ssize_t sent = ::send(socket_, Buf, size_t(qMax(Count, 0)), MSG_NOSIGNAL);
    if (sent >= 0)
        return int(sent);
    const int error = errno;
    if (error == EAGAIN || error == EWOULDBLOCK) {
        // As with Winsock, a write event follows once the socket takes data again.
        if (writeNotifier_ && !closePosted_)
            writeNotifier_->setEnabled(true);
        return -1;
    }
    transferError(eeSend, error, "send");
    return -1;
}

int TCustomWinSocket::WriteText(const QString& Text)
{
    const QByteArray bytes = platform::toCp1251(Text);
    return WriteBuffer(bytes.constData(), int(bytes.size()));
}

// --- addresses ---

QString TCustomWinSocket::PeerAddress()
{
    if (!connected_)
        return QString();
    return peerAddress_;
}

int TCustomWinSocket::PeerPort()
{
    if (!connected_)
        return 0;
    return peerPort_;
}

QString TCustomWinSocket::PeerHostName()
{
    if (!connected_ || peerAddress_.isEmpty())
        return QString();
    return platform::hostNameOf(peerAddress_);
}

int TCustomWinSocket::LocalPort()
{
    if (socket_ < 0)
        return 0;
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (getsockname(socket_, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    return ntohs(local.sin_port);
}

// --- listening object and its connections ---

TServerWinSocket::TServerWinSocket(int ASocket) : TCustomWinSocket(ASocket)
{
    asyncStyles_ = FdAccept;
    spare_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

TServerWinSocket::~TServerWinSocket()
{
    OnSocketEvent = nullptr;
    OnErrorEvent = nullptr;
    destroyConnections();
    if (spare_ >= 0)
        ::close(spare_);
}

void TServerWinSocket::SetConnectionLimits(int PerPeer, int Total, int IdleMs, int LifeMs)
{
    maxPerPeer_ = qMax(0, PerPeer);
    maxTotal_ = qMax(0, Total);
    idleMs_ = qMax(0, IdleMs);
    lifeMs_ = qMax(0, LifeMs);
    if (window_)
        window_->killTimer(IdleSweepTimerId);
    if (!connections_.isEmpty())
        startSweep();
}

void TServerWinSocket::startSweep()
{
    // A tenth of the shorter bound: a connection ends at most that late.
    int period = 0;
    for (const int bound : {idleMs_, lifeMs_}) {
        if (bound > 0)
            period = period == 0 ? bound : qMin(period, bound);
    }
    if (period > 0 && !window()->hasTimer(IdleSweepTimerId))
        window()->setTimer(IdleSweepTimerId, unsigned(qBound(20, period / 10, 1000)));
}

void TServerWinSocket::addClient(TServerClientWinSocket* client)
{
    if (!connections_.contains(client))
        connections_.append(client);
    // Only while connections are open does anything need waking up.
    startSweep();
}

void TServerWinSocket::removeClient(TServerClientWinSocket* client)
{
    connections_.removeAll(client);
    if (client->counted_) {
        client->counted_ = false;
        const auto it = perPeer_.find(client->peerKey_);
        if (it != perPeer_.end() && --it.value() <= 0)
            perPeer_.erase(it);
    }
    if (connections_.isEmpty() && window_)
        window_->killTimer(IdleSweepTimerId);
}

void TServerWinSocket::destroyConnections()
{
    // Last first; a connection destroyed here closes without telling anyone.
    while (!connections_.isEmpty())
        delete connections_.takeLast();
    perPeer_.clear();
}

void TServerWinSocket::HandleClose(Ticket socket)
{
    if (socket_ >= 0 && socket == ticket_) {
        destroyConnections();
        if (window_)
            window_->killTimer(AcceptBackoffTimerId);
        backoffMs_ = 0;
    }
    TCustomWinSocket::HandleClose(socket);
}

bool TServerWinSocket::admits(quint32 peer) const
{
    return maxPerPeer_ == 0 || perPeer_.value(peer) < maxPerPeer_;
}

void TServerWinSocket::retire(TServerClientWinSocket* client)
{
    const std::shared_ptr<Life> life = client->life_;
    // What it sent and nobody has read yet reaches the owner first, as before any close.
    if (client->socket_ >= 0 && client->ReceiveLength() > 0)
        client->HandleRead(client->ticket_);
    if (life->self)
        client->Close();
    // Freed later from the loop; it stops counting now.
    if (life->self)
        removeClient(client);
}

bool TServerWinSocket::makeRoom()
{
    // The address holding the most gives up the connection it has held longest: however many
    // connections others keep open, one from an address with few always gets in.
    int most = 0;
    for (auto it = perPeer_.cbegin(); it != perPeer_.cend(); ++it)
        most = qMax(most, it.value());
    for (TServerClientWinSocket* client : std::as_const(connections_)) {
        if (client->counted_ && perPeer_.value(client->peerKey_) == most) {
            const std::shared_ptr<Life> life = life_;
            retire(client);
            return life->self && socket_ >= 0;
        }
    }
    return true;
}

void TServerWinSocket::HandleAccept(Ticket socket)
{
    if (socket_ < 0 || socket != ticket_)
        return;
    const std::shared_ptr<Life> life = life_;
    for (int taken = 0; taken < AcceptBatch; ++taken) {
        // The address comes with the accept: a peer that reset at once has no name for getpeername.
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const int fd =
            ::accept4(socket_, reinterpret_cast<sockaddr*>(&from), &fromLength, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            if (error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM)
                shedPending();
            else if (connectionWentAway(error))
                continue;
            return;
        }
        backoffMs_ = 0;
        if (from.sin_family != AF_INET || !admits(from.sin_addr.s_addr)) {
            ::close(fd);
            continue;
        }
        if (maxTotal_ > 0 && connections_.size() >= maxTotal_ && (!makeRoom() || socket != ticket_)) {
            ::close(fd);
            return;
        }
        takeConnection(fd, from);
        if (!life->self || socket_ < 0 || socket != ticket_)
            return;
    }
}

void TServerWinSocket::shedPending()
{
    // Out of descriptors: the spare makes room to take the waiting connections and drop them, so
    // the listener is not told about them again and again.
    if (spare_ >= 0) {
        ::close(spare_);
        spare_ = -1;
        for (int shed = 0; shed < AcceptBatch; ++shed) {
            const int fd = ::accept4(socket_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                break;
            ::close(fd);
        }
        spare_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (spare_ >= 0)
            return;
    }
    // No spare to be had: stop listening for readiness for a while instead of spinning.
    backoffMs_ = backoffMs_ == 0 ? FirstBackoffMs : qMin(backoffMs_ * 2, LastBackoffMs);
    if (readNotifier_)
        readNotifier_->setEnabled(false);
    window()->setTimer(AcceptBackoffTimerId, unsigned(backoffMs_));
}

void TServerWinSocket::Timer(quintptr id)
{
    if (id == AcceptBackoffTimerId) {
        window()->killTimer(AcceptBackoffTimerId);
        if (spare_ < 0)
            spare_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (readNotifier_ && socket_ >= 0)
            readNotifier_->setEnabled(true);
        return;
    }
    if (id == IdleSweepTimerId) {
        sweepIdle();
        return;
    }
    TCustomWinSocket::Timer(id);
}

void TServerWinSocket::sweepIdle()
{
    if (idleMs_ <= 0 && lifeMs_ <= 0)
        return;
    const qint64 now = monotonicMs();
    const std::shared_ptr<Life> life = life_;
    const QList<TServerClientWinSocket*> connections = connections_;
    for (TServerClientWinSocket* client : connections) {
        // Closing one may end others (or this listener) through the owner's handlers.
        if (!life->self)
            return;
        if (!connections_.contains(client) || client->socket_ < 0)
            continue;
        // Past its time a connection ends whatever it still sends: dripping buys nothing.
        if (lifeMs_ > 0 && now - client->openedMs_ >= lifeMs_)
            retire(client);
        // Data waiting to be read is activity too, seen or not.
        else if (idleMs_ > 0 && now - client->lastActivityMs_ >= idleMs_ && client->ReceiveLength() == 0)
            client->Close();
    }
}

void TServerWinSocket::takeConnection(int fd, const sockaddr_in& from)
{
    const std::shared_ptr<Life> life = life_;
    TServerClientWinSocket* client = nullptr;
    const auto getSocket = OnGetSocket;
    if (getSocket) {
        try {
            getSocket(this, fd, client);
        } catch (...) {
            if (!client)
                ::close(fd);
            throw;
        }
        if (!life->self) {
            if (!client)
                ::close(fd);
            return;
        }
    }
    if (!client)
        client = new TServerClientWinSocket(fd, this);
    if (client->socket_ == fd) {
        client->addr_ = from;
        client->rememberPeer();
    }
    if (client->server_ == this && !client->counted_ && connections_.contains(client)) {
        client->peerKey_ = from.sin_addr.s_addr;
        client->counted_ = true;
        ++perPeer_[client->peerKey_];
    }
    if (client->connected_)
        client->Event(client, seConnect);
    if (!life->self)
        return;
    Event(this, seAccept);
}

void TServerWinSocket::ClientEvent(TCustomWinSocket* Socket, SocketEventKind SocketEvent)
{
    TSocketNotifyEvent handler;
    switch (SocketEvent) {
    case seConnect: handler = OnClientConnect; break;
    case seRead: handler = OnClientRead; break;
    case seWrite: handler = OnClientWrite; break;
    case seDisconnect: {
        handler = OnClientDisconnect;
        const std::shared_ptr<Life> client = Socket->life_;
        if (handler)
            handler(this, Socket);
        // Never destroyed inside the handler that reported its close.
        if (client->self)
            Socket->postNotice(DeferredFreeNotice, 0, 0);
        return;
    }
    default: return;
    }
    if (handler)
        handler(this, Socket);
}

void TServerWinSocket::ClientError(TCustomWinSocket* Socket, TErrorEvent ErrorEvent, int& ErrorCode)
{
    const auto handler = OnClientError;
    if (handler)
        handler(this, Socket, ErrorEvent, ErrorCode);
}

TServerClientWinSocket::TServerClientWinSocket(int ASocket, TServerWinSocket* ServerWinSocket)
    : TCustomWinSocket(ASocket), server_(ServerWinSocket)
{
    if (server_) {
        server_->addClient(this);
        TServerWinSocket* server = server_;
        OnSocketEvent = [server](TCustomWinSocket* Socket, SocketEventKind SocketEvent) {
            server->ClientEvent(Socket, SocketEvent);
        };
        OnErrorEvent = [server](TCustomWinSocket* Socket, TErrorEvent ErrorEvent, int& ErrorCode) {
            server->ClientError(Socket, ErrorEvent, ErrorCode);
        };
    }
    doSetAsyncStyles();
}

TServerClientWinSocket::~TServerClientWinSocket()
{
    if (server_)
        server_->removeClient(this);
}
