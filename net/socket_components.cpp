#include "net/socket_components.h"

#include <sys/socket.h>

namespace {

// The queue the listening component asks for: the system's, so a burst of senders waits in it
// rather than being lost.
constexpr int ListenQueueSize = SOMAXCONN;

void notify(const TSocketNotifyEvent& event, QObject* sender, TCustomWinSocket* socket)
{
    // A copy: the handler may destroy the component that holds the original.
    const TSocketNotifyEvent handler = event;
    if (handler)
        handler(sender, socket);
}

} // namespace

TAbstractSocket::TAbstractSocket(QObject* parent) : QObject(parent) {}

void TAbstractSocket::setActive(bool Value)
{
    if (Value != active_ || !Value)
        DoActivate(Value);
}

void TAbstractSocket::checkInactive() const
{
    if (active_)
        throw ESocketError(QString::fromLatin1(net::CantChangeWhileActive));
}

// A text equal to the old one without regard to case is no change.
void TAbstractSocket::setText(QString& field, const QString& Value)
{
    if (Value.compare(field, Qt::CaseInsensitive) == 0)
        return;
    checkInactive();
    field = Value;
}

void TAbstractSocket::setHost(const QString& Value) { setText(host_, Value); }
void TAbstractSocket::setAddress(const QString& Value) { setText(address_, Value); }

void TAbstractSocket::setPort(int Value)
{
    if (Value == port_)
        return;
    checkInactive();
    port_ = Value;
}

void TAbstractSocket::setService(const QString& Value) { setText(service_, Value); }

void TAbstractSocket::InitSocket(TCustomWinSocket* Socket)
{
    Socket->OnSocketEvent = [this](TCustomWinSocket* s, SocketEventKind kind) { Event(s, kind); };
    Socket->OnErrorEvent = [this](TCustomWinSocket* s, TErrorEvent kind, int& code) { Error(s, kind, code); };
}

void TCustomSocket::Event(TCustomWinSocket* Socket, SocketEventKind SocketEvent)
{
    switch (SocketEvent) {
    case seLookup: notify(OnLookup, this, Socket); break;
    case seConnecting: notify(OnConnecting, this, Socket); break;
    case seConnect:
        active_ = true;
        notify(OnConnect, this, Socket);
        break;
    case seListen:
        active_ = true;
        notify(OnListen, this, Socket);
        break;
    case seDisconnect:
        active_ = false;
        notify(OnDisconnect, this, Socket);
        break;
    case seAccept: notify(OnAccept, this, Socket); break;
    case seWrite: notify(OnWrite, this, Socket); break;
    case seRead: notify(OnRead, this, Socket); break;
    }
}

void TCustomSocket::Error(TCustomWinSocket* Socket, TErrorEvent ErrorEvent, int& ErrorCode)
{
    const TSocketErrorEvent handler = OnError;
    if (handler)
        handler(this, Socket, ErrorEvent, ErrorCode);
}

TClientSocket::TClientSocket(QObject* parent) : TCustomSocket(parent), clientSocket_(new TClientWinSocket(-1))
{
    InitSocket(clientSocket_);
}

TClientSocket::~TClientSocket()
{
    delete clientSocket_;
}

void TClientSocket::DoActivate(bool Value)
{
    if (Value)
        clientSocket_->Open(Host(), Address(), Service(), Port());
    else
        clientSocket_->Close();
}

TCustomServerSocket::TCustomServerSocket(QObject* parent)
    : TCustomSocket(parent),
      serverSocket_(new TServerWinSocket(-1)),
      OnGetSocket(serverSocket_->OnGetSocket),
      OnClientConnect(serverSocket_->OnClientConnect),
      OnClientDisconnect(serverSocket_->OnClientDisconnect),
      OnClientRead(serverSocket_->OnClientRead),
      OnClientWrite(serverSocket_->OnClientWrite),
      OnClientError(serverSocket_->OnClientError)
{
    InitSocket(serverSocket_);
}

TCustomServerSocket::~TCustomServerSocket()
{
    delete serverSocket_;
}

void TCustomServerSocket::DoActivate(bool Value)
{
    if (Value)
        serverSocket_->Listen(Service(), Port(), ListenQueueSize);
    else
        serverSocket_->Close();
}
