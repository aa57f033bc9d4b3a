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
constexpr int ListenQueueLimit = 5;
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

TCustomWinSocket::TCustomWinSocket(int ASocket) : m_life(std::make_shared<Life>())
{
    m_life->self = this;
    m_addr.sin_family = AF_INET;
    if (ASocket >= 0)
        AdoptSocket(ASocket);
}

TCustomWinSocket::~TCustomWinSocket()
{
    // Destruction is silent: no event reaches the owner any more.
    m_life->self = nullptr;
    OnSocketEvent = nullptr;
    OnErrorEvent = nullptr;
    CancelLookup();
    ReleaseSocket();
    if (m_window) {
        // The window may be delivering the notice whose handler destroys us.
        if (m_life->dispatching > 0)
            m_window->deleteLater();
        else
            delete m_window;
        m_window = nullptr;
    }
}

// Handles one notice inside the guard: an error escaping it goes to the error report, and the
// loop goes on.
void TCustomWinSocket::Deliver(const std::shared_ptr<Life>& life, unsigned notice, quintptr wParam, qintptr lParam)
{
    // A handler may destroy the object and whatever called us: keep our own reference.
    const std::shared_ptr<Life> keep = life;
    TCustomWinSocket* self = keep->self;
    if (!self)
        return;
    ++keep->dispatching;
    try {
        self->WndProc(notice, wParam, lParam);
    } catch (const ESocketError& error) {
        platform::reportException(error.message());
    } catch (const std::exception& error) {
        platform::reportException(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        platform::reportException(QStringLiteral("Unknown exception"));
    }
    --keep->dispatching;
}

platform::NoticeWindow* TCustomWinSocket::window()
{
    if (!m_window) {
        const std::shared_ptr<Life> life = m_life;
        m_window = new platform::NoticeWindow(
            [life](unsigned notice, quintptr wParam, qintptr lParam) { Deliver(life, notice, wParam, lParam); });
    }
    return m_window;
}

void TCustomWinSocket::PostNotice(unsigned notice, quintptr wParam, qintptr lParam)
{
    window()->post(notice, wParam, lParam);
}

void TCustomWinSocket::WndProc(unsigned notice, quintptr wParam, qintptr lParam)
{
    switch (notice) {
    case SocketNotice:
        SocketMessage(wParam, int(lParam & 0xFFFF), int((lParam >> 16) & 0xFFFF));
        break;
    case DeferredFreeNotice:
        delete this;
        break;
    case LookupCompleteNotice:
        LookupComplete(wParam, int((lParam >> 16) & 0xFFFF));
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
        ParkTimer();
}

void TCustomWinSocket::SocketMessage(Ticket socket, int event, int errorCode)
{
    // Notices of a socket closed since they were posted are history.
    if (m_socket < 0 || socket != m_ticket)
        return;
    if (event == FdClose && PeerLossIsQuiet())
        errorCode = 0;
    if (errorCode != 0) {
        Error(this, errorKindOf(event), errorCode);
        if (errorCode != 0)
            throw ESocketError(net::asyncSocketErrorText(errorCode));
        return;
    }
    switch (event) {
    case FdConnect: HandleConnect(socket); break;
    case FdClose: DoClose(socket); break;
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

void TCustomWinSocket::CreateSocket()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0)
        throw ESocketError(QString::fromLatin1(net::CantCreateSocket));
    m_socket = fd;
    m_ticket = nextTicket();
    m_connected = false;
    m_bytesReceived = 0;
    m_peerAddress.clear();
    m_peerPort = 0;
}

void TCustomWinSocket::AdoptSocket(int socket)
{
    m_socket = socket;
    m_ticket = nextTicket();
    m_connected = true;
    m_bytesReceived = 0;
    m_lastActivityMs = monotonicMs();
    RememberPeer();
}

void TCustomWinSocket::RememberPeer()
{
    // Kept from the start: after a reset the platform no longer knows the peer, but the owner
    // may still be reading what it sent.
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    if (m_socket >= 0 && getpeername(m_socket, reinterpret_cast<sockaddr*>(&peer), &length) == 0 &&
        peer.sin_family == AF_INET) {
        m_peerAddress = dotted(peer);
        m_peerPort = ntohs(peer.sin_port);
    } else {
        m_peerAddress = dotted(m_addr);
        m_peerPort = ntohs(m_addr.sin_port);
    }
}

void TCustomWinSocket::StopParkTimer()
{
    if (m_window)
        m_window->killTimer(ParkTimerId);
}

void TCustomWinSocket::ReleaseSocket()
{
    StopParkTimer();
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    if (m_socket >= 0)
        ::close(m_socket);
    m_socket = -1;
    m_ticket = 0;
    m_connected = false;
    m_connecting = false;
    m_closePosted = false;
    m_readArmed = true;
    m_recvSinceReadPosted = true;
    m_addr = sockaddr_in{};
    m_addr.sin_family = AF_INET;
}

void TCustomWinSocket::CancelLookup()
{
    if (m_lookupHandle != 0)
        net::cancelLookup(m_lookupHandle);
    m_lookupHandle = 0;
    m_lookupState = lsIdle;
}

void TCustomWinSocket::Close()
{
    HandleClose(m_ticket);
}

void TCustomWinSocket::HandleClose(Ticket socket)
{
    CancelLookup();
    if (m_socket < 0 || socket != m_ticket || m_closing)
        return;
    const std::shared_ptr<Life> life = m_life;
    m_closing = true;
    try {
        Event(this, seDisconnect);
    } catch (...) {
        if (life->self) {
            m_closing = false;
            if (socket == m_ticket)
                ReleaseSocket();
        }
        throw;
    }
    if (!life->self)
        return;
    m_closing = false;
    if (socket == m_ticket)
        ReleaseSocket();
}

void TCustomWinSocket::DoClose(Ticket socket)
{
    // An owner that reads in portions gets the rest of the data before the close.
    if (m_recvSinceReadPosted && ReceiveLength() > 0) {
        m_readArmed = false;
        m_recvSinceReadPosted = false;
        PostNotice(SocketNotice, socket, socketNoticeParam(FdRead, 0));
        PostNotice(SocketNotice, socket, socketNoticeParam(FdClose, 0));
        return;
    }
    HandleClose(socket);
}

// --- readiness to notices ---

void TCustomWinSocket::DoSetAsyncStyles()
{
    if (m_socket < 0)
        return;
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    m_readArmed = true;
    m_recvSinceReadPosted = true;
    m_closePosted = false;

    if (m_asyncStyles & FdAccept) {
        m_readNotifier = new platform::SocketWatch(m_socket, platform::SocketWatch::Read, [this] { OnAcceptable(); });
        m_readNotifier->setEnabled(m_connected);
        return;
    }
    m_readNotifier = new platform::SocketWatch(m_socket, platform::SocketWatch::Read, [this] { OnReadable(); });
    m_writeNotifier = new platform::SocketWatch(m_socket, platform::SocketWatch::Write, [this] { OnWritable(); });
    if (m_connected) {
        m_readNotifier->setEnabled((m_asyncStyles & (FdRead | FdClose)) != 0);
        // A connected socket can be written at once: Winsock says so straight away.
        if (m_asyncStyles & FdWrite)
            PostNotice(SocketNotice, m_ticket, socketNoticeParam(FdWrite, 0));
    }
}

void TCustomWinSocket::OnAcceptable()
{
    // Taken at once rather than through a posted notice: the listen queue is short, and every
    // moment it stays full drops new connections' handshakes (the sender then waits a second).
    Deliver(m_life, SocketNotice, m_ticket, socketNoticeParam(FdAccept, 0));
}

void TCustomWinSocket::OnReadable()
{
    if (m_socket < 0 || m_closePosted) {
        m_readNotifier->setEnabled(false);
        return;
    }
    pollfd state{m_socket, short(POLLIN | POLLRDHUP), 0};
    if (::poll(&state, 1, 0) < 0)
        state.revents = 0;
    int available = 0;
    if (::ioctl(m_socket, FIONREAD, &available) != 0)
        available = 0;
    bool gone = (state.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
    if (!gone && available == 0 && (state.revents & POLLIN)) {
        char probe = 0;
        const ssize_t peeked = ::recv(m_socket, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
        gone = peeked == 0 || (peeked < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
    }
    if (available > 0)
        m_lastActivityMs = monotonicMs();
    // Data first, then the close, so nothing the peer sent before leaving is lost.
    if (available > 0 && m_readArmed) {
        m_readArmed = false;
        m_recvSinceReadPosted = false;
        PostNotice(SocketNotice, m_ticket, socketNoticeParam(FdRead, 0));
    }
    if (gone) {
        PostClose();
        return;
    }
    if (!m_readArmed)
        m_readNotifier->setEnabled(false);
}

void TCustomWinSocket::PostClose()
{
    m_closePosted = true;
    StopParkTimer();
    if (m_readNotifier)
        m_readNotifier->setEnabled(false);
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(false);
    const int error = pendingSocketError(m_socket);
    PostNotice(SocketNotice, m_ticket, socketNoticeParam(FdClose, net::winsockError(error)));
}

void TCustomWinSocket::OnWritable()
{
    m_writeNotifier->setEnabled(false);
    if (m_socket < 0)
        return;
    if (m_connecting) {
        m_connecting = false;
        const int error = pendingSocketError(m_socket);
        PostNotice(SocketNotice, m_ticket, socketNoticeParam(FdConnect, net::winsockError(error)));
        if (error != 0)
            return;
        if (m_asyncStyles & (FdRead | FdClose))
            m_readNotifier->setEnabled(true);
        if (m_asyncStyles & FdWrite)
            PostNotice(SocketNotice, m_ticket, socketNoticeParam(FdWrite, 0));
        return;
    }
    PostNotice(SocketNotice, m_ticket, socketNoticeParam(FdWrite, 0));
}

void TCustomWinSocket::Rearm()
{
    m_recvSinceReadPosted = true;
    if (m_readArmed)
        return;
    m_readArmed = true;
    StopParkTimer();
    if (m_readNotifier && !m_closePosted)
        m_readNotifier->setEnabled(true);
}

void TCustomWinSocket::ParkTimer()
{
    if (m_socket < 0 || m_closePosted || m_readArmed) {
        StopParkTimer();
        return;
    }
    pollfd state{m_socket, short(POLLRDHUP), 0};
    if (::poll(&state, 1, 0) > 0 && (state.revents & (POLLRDHUP | POLLHUP | POLLERR)))
        PostClose();
}

// --- handlers of the notices ---

void TCustomWinSocket::HandleAccept(Ticket) {}

void TCustomWinSocket::HandleConnect(Ticket socket)
{
    if (m_socket < 0 || socket != m_ticket)
        return;
    m_connected = true;
    RememberPeer();
    Event(this, seConnect);
}

void TCustomWinSocket::HandleRead(Ticket socket)
{
    if (m_socket < 0 || socket != m_ticket)
        return;
    const std::shared_ptr<Life> life = m_life;
    Event(this, seRead);
    if (!life->self || m_socket < 0 || socket != m_ticket)
        return;
    if (!m_readArmed && !m_closePosted)
        window()->setTimer(ParkTimerId, ParkTimerMs);
}

void TCustomWinSocket::HandleWrite(Ticket socket)
{
    if (m_socket < 0 || socket != m_ticket || !m_connected)
        return;
    Event(this, seWrite);
}

// --- opening ---

void TCustomWinSocket::RenewSocket(const QString& Service, int Port)
{
    // A failed or abandoned attempt still holds its socket: give it back before the next.
    CancelLookup();
    ReleaseSocket();
    if (Service.isEmpty() && !net::invalidPortText(Port).isEmpty())
        throw ESocketError(net::invalidPortText(Port));
    CreateSocket();
}

void TCustomWinSocket::Open(const QString& Name, const QString& Address, const QString& Service, int Port)
{
    if (m_connected)
        throw ESocketError(QString::fromLatin1(net::SocketAlreadyOpen));
    RenewSocket(Service, Port);
    m_lookupClient = true;
    const std::shared_ptr<Life> life = m_life;
    const Ticket ticket = m_ticket;
    try {
        Event(this, seLookup);
        if (!life->self || ticket != m_ticket)
            return;
        if (!Name.isEmpty()) {
            StartLookup(true, Name);
            m_lookupService = Service;
            m_lookupPort = quint16(Port);
            m_lookupState = lsLookupAddress;
            return;
        }
        if (Address.isEmpty()) {
            int code = net::wsa::NoAddressCode;
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
        m_addr.sin_addr = address;
        ContinueWithService(Service, Port);
    } catch (...) {
        if (life->self)
            HandleClose(ticket);
        throw;
    }
}

void TCustomWinSocket::Listen(const QString& Service, int Port, int QueueSize)
{
    if (m_connected)
        throw ESocketError(QString::fromLatin1(net::CantListenOnOpen));
    RenewSocket(Service, Port);
    m_lookupClient = false;
    m_lookupQueueSize = QueueSize > 0 && QueueSize < ListenQueueLimit ? QueueSize : ListenQueueLimit;
    const std::shared_ptr<Life> life = m_life;
    const Ticket ticket = m_ticket;
    try {
        Event(this, seLookup);
        if (!life->self || ticket != m_ticket)
            return;
        ContinueWithService(Service, Port);
    } catch (...) {
        if (life->self)
            HandleClose(ticket);
        throw;
    }
}

void TCustomWinSocket::StartLookup(bool host, const QString& name)
{
    const std::shared_ptr<Life> life = m_life;
    auto done = [life](net::LookupHandle handle, const net::LookupResult& result) {
        if (life->self)
            life->self->LookupFinished(handle, result);
    };
    int error = 0;
    const net::LookupHandle handle =
        host ? net::startHostLookup(name, done, error) : net::startServiceLookup(name, done, error);
    if (handle == 0)
        net::raiseSocketError(error, host ? "WSAASyncGetHostByName" : "WSAASyncGetServByName");
    m_lookupHandle = handle;
}

void TCustomWinSocket::LookupFinished(net::LookupHandle handle, const net::LookupResult& result)
{
    if (handle == 0 || handle != m_lookupHandle)
        return;
    m_lookupResult = result;
    PostNotice(LookupCompleteNotice, handle, qintptr((result.error & 0xFFFF) << 16));
}

void TCustomWinSocket::LookupComplete(net::LookupHandle handle, int errorCode)
{
    if (handle == 0 || handle != m_lookupHandle)
        return;
    m_lookupHandle = 0;
    const TLookupState state = m_lookupState;
    m_lookupState = lsIdle;
    const std::shared_ptr<Life> life = m_life;
    const Ticket ticket = m_ticket;
    if (errorCode != 0) {
        const QString text = m_lookupResult.errorText;
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
            m_addr.sin_addr.s_addr = m_lookupResult.address;
            ContinueWithService(m_lookupService, m_lookupPort);
        } else if (state == lsLookupService) {
            if (m_lookupClient)
                DoOpen(m_lookupResult.port);
            else
                DoListen(m_lookupResult.port);
        }
    } catch (...) {
        if (life->self)
            HandleClose(ticket);
        throw;
    }
}

void TCustomWinSocket::ContinueWithService(const QString& Service, int Port)
{
    if (!Service.isEmpty()) {
        StartLookup(false, Service);
        m_lookupState = lsLookupService;
        return;
    }
    if (m_lookupClient)
        DoOpen(quint16(Port));
    else
        DoListen(quint16(Port));
}

void TCustomWinSocket::DoOpen(quint16 Port)
{
    m_lookupState = lsIdle;
    m_addr.sin_family = AF_INET;
    m_addr.sin_port = htons(Port);
    DoSetAsyncStyles();
    const std::shared_ptr<Life> life = m_life;
    const Ticket ticket = m_ticket;
    Event(this, seConnecting);
    if (!life->self || ticket != m_ticket)
        return;
    if (::connect(m_socket, reinterpret_cast<const sockaddr*>(&m_addr), sizeof m_addr) == 0 ||
        errno == EINPROGRESS) {
        m_connecting = true;
        m_writeNotifier->setEnabled(true);
        return;
    }
    const int error = errno;
    if (isConnectOutcome(error)) {
        PostNotice(SocketNotice, m_ticket, socketNoticeParam(FdConnect, net::winsockError(error)));
        return;
    }
    net::raiseSocketError(error, "connect");
}

void TCustomWinSocket::DoListen(quint16 Port)
{
    m_lookupState = lsIdle;
    m_addr = sockaddr_in{};
    m_addr.sin_family = AF_INET;
    m_addr.sin_addr.s_addr = htonl(INADDR_ANY);
    m_addr.sin_port = htons(Port);
    // So that a restart right after a shut-down can bind while old connections linger.
    const int reuse = 1;
    ::setsockopt(m_socket, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    if (::bind(m_socket, reinterpret_cast<const sockaddr*>(&m_addr), sizeof m_addr) != 0)
        net::raiseSocketError(errno, "bind");
    DoSetAsyncStyles();
    const std::shared_ptr<Life> life = m_life;
    const Ticket ticket = m_ticket;
    Event(this, seListen);
    if (!life->self || ticket != m_ticket)
        return;
    if (::listen(m_socket, m_lookupQueueSize) != 0)
        net::raiseSocketError(errno, "listen");
    m_connected = true;
    if (m_readNotifier)
        m_readNotifier->setEnabled(true);
}

// --- data ---

int TCustomWinSocket::ReceiveLength()
{
    if (m_socket < 0)
        return 0;
    int available = 0;
    if (::ioctl(m_socket, FIONREAD, &available) != 0)
        return 0;
    return available;
}

void TCustomWinSocket::TransferError(TErrorEvent kind, int errnoValue, const char* api)
{
    if (PeerLossIsQuiet() && isPeerLoss(errnoValue)) {
        HandleClose(m_ticket);
        return;
    }
    int code = net::winsockError(errnoValue);
    const QString text = net::systemErrorText(errnoValue);
    const std::shared_ptr<Life> life = m_life;
    const Ticket ticket = m_ticket;
    Error(this, kind, code);
    if (life->self)
        HandleClose(ticket);
    if (code != 0)
        throw ESocketError(net::windowsSocketErrorText(text, code, QString::fromLatin1(api)));
}

int TCustomWinSocket::ReadBuffer(void* Buf, int Count)
{
    if (!m_connected || m_socket < 0)
        return 0;
    if (Count == -1)
        return ReceiveLength();
    if (Count <= 0 || !Buf) {
        Rearm();
        return 0;
    }
    const ssize_t received = ::recv(m_socket, Buf, size_t(Count), 0);
    const int error = errno;
    Rearm();
    if (received > 0) {
        m_bytesReceived += quint64(received);
        return int(received);
    }
    if (received == 0)
        return 0;
    if (error == EAGAIN || error == EWOULDBLOCK)
        return -1;
    TransferError(eeReceive, error, "recv");
    return -1;
}

QString TCustomWinSocket::ReadText()
{
    if (!m_connected || m_socket < 0)
        return QString();
    const int available = ReceiveLength();
    if (available <= 0) {
        Rearm();
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
    if (!m_connected || m_socket < 0)
        return 0;
    // MSG_NOSIGNAL: a peer that has gone must not end the process with SIGPIPE.
    const ssize_t sent = ::send(m_socket, Buf, size_t(qMax(Count, 0)), MSG_NOSIGNAL);
    if (sent >= 0)
        return int(sent);
    const int error = errno;
    if (error == EAGAIN || error == EWOULDBLOCK) {
        // As with Winsock, a write event follows once the socket takes data again.
        if (m_writeNotifier && !m_closePosted)
            m_writeNotifier->setEnabled(true);
        return -1;
    }
    TransferError(eeSend, error, "send");
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
    if (!m_connected)
        return QString();
    return m_peerAddress;
}

int TCustomWinSocket::PeerPort()
{
    if (!m_connected)
        return 0;
    return m_peerPort;
}

QString TCustomWinSocket::PeerHostName()
{
    if (!m_connected || m_peerAddress.isEmpty())
        return QString();
    return platform::hostNameOf(m_peerAddress);
}

int TCustomWinSocket::LocalPort()
{
    if (m_socket < 0)
        return 0;
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (getsockname(m_socket, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    return ntohs(local.sin_port);
}

// --- listening object and its connections ---

TServerWinSocket::TServerWinSocket(int ASocket) : TCustomWinSocket(ASocket)
{
    m_asyncStyles = FdAccept;
    m_spare = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

TServerWinSocket::~TServerWinSocket()
{
    OnSocketEvent = nullptr;
    OnErrorEvent = nullptr;
    DestroyConnections();
    if (m_spare >= 0)
        ::close(m_spare);
}

void TServerWinSocket::SetConnectionLimits(int PerPeer, int Total, int IdleMs)
{
    m_maxPerPeer = qMax(0, PerPeer);
    m_maxTotal = qMax(0, Total);
    m_idleMs = qMax(0, IdleMs);
    if (m_idleMs == 0 && m_window)
        m_window->killTimer(IdleSweepTimerId);
}

void TServerWinSocket::AddClient(TServerClientWinSocket* client)
{
    if (!m_connections.contains(client))
        m_connections.append(client);
    // Only while connections are open does anything need waking up.
    if (m_idleMs > 0 && !window()->hasTimer(IdleSweepTimerId))
        window()->setTimer(IdleSweepTimerId, unsigned(qBound(20, m_idleMs / 6, 5000)));
}

void TServerWinSocket::RemoveClient(TServerClientWinSocket* client)
{
    m_connections.removeAll(client);
    if (client->m_counted) {
        client->m_counted = false;
        const auto it = m_perPeer.find(client->m_peerKey);
        if (it != m_perPeer.end() && --it.value() <= 0)
            m_perPeer.erase(it);
    }
    if (m_connections.isEmpty() && m_window)
        m_window->killTimer(IdleSweepTimerId);
}

void TServerWinSocket::DestroyConnections()
{
    // Last first; a connection destroyed here closes without telling anyone.
    while (!m_connections.isEmpty())
        delete m_connections.takeLast();
    m_perPeer.clear();
}

void TServerWinSocket::HandleClose(Ticket socket)
{
    if (m_socket >= 0 && socket == m_ticket) {
        DestroyConnections();
        if (m_window)
            m_window->killTimer(AcceptBackoffTimerId);
        m_backoffMs = 0;
    }
    TCustomWinSocket::HandleClose(socket);
}

bool TServerWinSocket::Admits(quint32 peer) const
{
    if (m_maxTotal > 0 && m_connections.size() >= m_maxTotal)
        return false;
    return m_maxPerPeer == 0 || m_perPeer.value(peer) < m_maxPerPeer;
}

void TServerWinSocket::HandleAccept(Ticket socket)
{
    if (m_socket < 0 || socket != m_ticket)
        return;
    const std::shared_ptr<Life> life = m_life;
    for (int taken = 0; taken < AcceptBatch; ++taken) {
        // The address comes with the accept: a peer that reset at once has no name for getpeername.
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const int fd =
            ::accept4(m_socket, reinterpret_cast<sockaddr*>(&from), &fromLength, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            if (error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM)
                ShedPending();
            else if (connectionWentAway(error))
                continue;
            return;
        }
        m_backoffMs = 0;
        if (from.sin_family != AF_INET || !Admits(from.sin_addr.s_addr)) {
            ::close(fd);
            continue;
        }
        TakeConnection(fd, from);
        if (!life->self || m_socket < 0 || socket != m_ticket)
            return;
    }
}

void TServerWinSocket::ShedPending()
{
    // Out of descriptors: the spare makes room to take the waiting connections and drop them, so
    // the listener is not told about them again and again.
    if (m_spare >= 0) {
        ::close(m_spare);
        m_spare = -1;
        for (int shed = 0; shed < AcceptBatch; ++shed) {
            const int fd = ::accept4(m_socket, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                break;
            ::close(fd);
        }
        m_spare = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (m_spare >= 0)
            return;
    }
    // No spare to be had: stop listening for readiness for a while instead of spinning.
    m_backoffMs = m_backoffMs == 0 ? FirstBackoffMs : qMin(m_backoffMs * 2, LastBackoffMs);
    if (m_readNotifier)
        m_readNotifier->setEnabled(false);
    window()->setTimer(AcceptBackoffTimerId, unsigned(m_backoffMs));
}

void TServerWinSocket::Timer(quintptr id)
{
    if (id == AcceptBackoffTimerId) {
        window()->killTimer(AcceptBackoffTimerId);
        if (m_spare < 0)
            m_spare = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (m_readNotifier && m_socket >= 0)
            m_readNotifier->setEnabled(true);
        return;
    }
    if (id == IdleSweepTimerId) {
        SweepIdle();
        return;
    }
    TCustomWinSocket::Timer(id);
}

void TServerWinSocket::SweepIdle()
{
    if (m_idleMs <= 0)
        return;
    const qint64 now = monotonicMs();
    const QList<TServerClientWinSocket*> connections = m_connections;
    for (TServerClientWinSocket* client : connections) {
        // Closing one may end others (or this listener) through the owner's handlers.
        if (!m_connections.contains(client))
            continue;
        // Data waiting to be read is activity too, seen or not.
        if (client->m_socket >= 0 && now - client->m_lastActivityMs >= m_idleMs && client->ReceiveLength() == 0)
            client->Close();
    }
}

void TServerWinSocket::TakeConnection(int fd, const sockaddr_in& from)
{
    const std::shared_ptr<Life> life = m_life;
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
    if (client->m_socket == fd) {
        client->m_addr = from;
        client->RememberPeer();
    }
    if (client->m_server == this && !client->m_counted && m_connections.contains(client)) {
        client->m_peerKey = from.sin_addr.s_addr;
        client->m_counted = true;
        ++m_perPeer[client->m_peerKey];
    }
    if (client->m_connected)
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
        const std::shared_ptr<Life> client = Socket->m_life;
        if (handler)
            handler(this, Socket);
        // Never destroyed inside the handler that reported its close.
        if (client->self)
            Socket->PostNotice(DeferredFreeNotice, 0, 0);
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
    : TCustomWinSocket(ASocket), m_server(ServerWinSocket)
{
    if (m_server) {
        m_server->AddClient(this);
        TServerWinSocket* server = m_server;
        OnSocketEvent = [server](TCustomWinSocket* Socket, SocketEventKind SocketEvent) {
            server->ClientEvent(Socket, SocketEvent);
        };
        OnErrorEvent = [server](TCustomWinSocket* Socket, TErrorEvent ErrorEvent, int& ErrorCode) {
            server->ClientError(Socket, ErrorEvent, ErrorCode);
        };
    }
    DoSetAsyncStyles();
}

TServerClientWinSocket::~TServerClientWinSocket()
{
    if (m_server)
        m_server->RemoveClient(this);
}
