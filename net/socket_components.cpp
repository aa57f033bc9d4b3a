#include "net/socket_components.h"

namespace {

// The queue the listening component asks for.
constexpr int ListenQueueSize = 5;

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
    if (Value != m_active || !Value)
        DoActivate(Value);
}

void TAbstractSocket::CheckInactive() const
{
    if (m_active)
        throw ESocketError(QString::fromLatin1(net::CantChangeWhileActive));
}

void TAbstractSocket::setHost(const QString& Value)
{
    if (Value.compare(m_host, Qt::CaseInsensitive) == 0)
        return;
    CheckInactive();
    m_host = Value;
}

void TAbstractSocket::setAddress(const QString& Value)
{
    if (Value.compare(m_address, Qt::CaseInsensitive) == 0)
        return;
    CheckInactive();
    m_address = Value;
}

void TAbstractSocket::setPort(int Value)
{
    if (Value == m_port)
        return;
    CheckInactive();
    m_port = Value;
}

void TAbstractSocket::setService(const QString& Value)
{
    if (Value.compare(m_service, Qt::CaseInsensitive) == 0)
        return;
    CheckInactive();
    m_service = Value;
}

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
        m_active = true;
        notify(OnConnect, this, Socket);
        break;
    case seListen:
        m_active = true;
        notify(OnListen, this, Socket);
        break;
    case seDisconnect:
        m_active = false;
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

TClientSocket::TClientSocket(QObject* parent) : TCustomSocket(parent), m_clientSocket(new TClientWinSocket(-1))
{
    InitSocket(m_clientSocket);
}

TClientSocket::~TClientSocket()
{
    delete m_clientSocket;
}

void TClientSocket::DoActivate(bool Value)
{
    if (Value)
        m_clientSocket->Open(Host(), Address(), Service(), Port());
    else
        m_clientSocket->Close();
}

TCustomServerSocket::TCustomServerSocket(QObject* parent)
    : TCustomSocket(parent),
      m_serverSocket(new TServerWinSocket(-1)),
      OnGetSocket(m_serverSocket->OnGetSocket),
      OnClientConnect(m_serverSocket->OnClientConnect),
      OnClientDisconnect(m_serverSocket->OnClientDisconnect),
      OnClientRead(m_serverSocket->OnClientRead),
      OnClientWrite(m_serverSocket->OnClientWrite),
      OnClientError(m_serverSocket->OnClientError)
{
    InitSocket(m_serverSocket);
}

TCustomServerSocket::~TCustomServerSocket()
{
    delete m_serverSocket;
}

void TCustomServerSocket::DoActivate(bool Value)
{
    if (Value)
        m_serverSocket->Listen(Service(), Port(), ListenQueueSize);
    else
        m_serverSocket->Close();
}
