#pragma once
// Connection objects: one TCP socket each, driven by the GUI thread's event loop. The platform's
// readiness is turned into notices posted to the object's hidden notification window, so events
// reach the owner one at a time, in queue order, also while a modal box runs its own loop.
#include "net/host_lookup.h"
#include "net/socket_types.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <netinet/in.h>

namespace platform {
class NoticeWindow;
class SocketWatch;
}

class TCustomWinSocket : public QObject {
    Q_OBJECT
public:
    // ASocket: an open, connected socket to adopt, or -1.
    explicit TCustomWinSocket(int ASocket);
    ~TCustomWinSocket() override;

    // Closes the connection; the owner hears of it as a disconnect event. A pending lookup is
    // dropped.
    void Close();

    // Starts a connection (a host name is resolved first); everything after the lookup event
    // is reported later as events.
    void Open(const QString& Name, const QString& Address, const QString& Service, int Port);
    // Listens on the wildcard address (at most 5 waiting connections).
    void Listen(const QString& Service, int Port, int QueueSize);

    // Readable bytes now (0 when not connected).
    int ReceiveLength();
    // One receive of at most Count bytes; Count -1 only tells how many bytes are readable.
    // 0 when not connected or the peer has closed, -1 when nothing is there yet.
    int ReadBuffer(void* Buf, int Count);
    // Everything readable now, as code page 1251 text.
    QString ReadText();
    // One send of all bytes; what the platform accepted, -1 when it would block.
    int WriteBuffer(const void* Buf, int Count);
    int WriteText(const QString& Text);

    QString PeerAddress();
    // Blocking reverse lookup of the peer's address; empty when it has no name.
    QString PeerHostName();
    int PeerPort();
    int LocalPort();

    bool Connected() const { return m_connected; }
    int SocketHandle() const { return m_socket; }
    int ASyncStyles() const { return m_asyncStyles; }
    TLookupState LookupState() const { return m_lookupState; }
    // Bytes taken from this connection so far, so an owner can bound what one peer costs.
    quint64 BytesReceived() const { return m_bytesReceived; }

    // Free for the owner of the connection.
    void* Data = nullptr;

    std::function<void(TCustomWinSocket* Socket, SocketEventKind SocketEvent)> OnSocketEvent;
    std::function<void(TCustomWinSocket* Socket, TErrorEvent ErrorEvent, int& ErrorCode)> OnErrorEvent;

protected:
    // Tells a notice's socket apart from a later socket that reuses the same descriptor.
    using Ticket = quintptr;

    struct Life {
        TCustomWinSocket* self = nullptr;
        int dispatching = 0;
    };

    virtual void HandleAccept(Ticket socket);
    virtual void HandleConnect(Ticket socket);
    virtual void HandleClose(Ticket socket);
    virtual void HandleRead(Ticket socket);
    virtual void HandleWrite(Ticket socket);
    virtual void Event(TCustomWinSocket* Socket, SocketEventKind SocketEvent);
    virtual void Error(TCustomWinSocket* Socket, TErrorEvent ErrorEvent, int& ErrorCode);
    // True where a peer that vanishes (reset, broken pipe) is an ordinary close rather than an
    // error to report.
    virtual bool PeerLossIsQuiet() const { return false; }

    // A tick of a timer set on the notification window.
    virtual void Timer(quintptr id);

    // Asks for the events of m_asyncStyles on the current socket.
    void DoSetAsyncStyles();
    void PostNotice(unsigned notice, quintptr wParam, qintptr lParam);
    Ticket CurrentTicket() const { return m_ticket; }
    platform::NoticeWindow* window();
    const std::shared_ptr<Life>& life() const { return m_life; }

    int m_asyncStyles = FdRead | FdWrite | FdConnect | FdClose;

private:
    friend class TServerWinSocket;

    static void Deliver(const std::shared_ptr<Life>& life, unsigned notice, quintptr wParam, qintptr lParam);
    void WndProc(unsigned notice, quintptr wParam, qintptr lParam);
    void SocketMessage(Ticket socket, int event, int errorCode);
    void LookupComplete(net::LookupHandle handle, int errorCode);
    void LookupFinished(net::LookupHandle handle, const net::LookupResult& result);
    void ParkTimer();

    void CreateSocket();
    // Drops what an earlier attempt left, checks the port and takes a new socket.
    void RenewSocket(const QString& Service, int Port);
    void AdoptSocket(int socket);
    void ReleaseSocket();
    void CancelLookup();
    void StartLookup(bool host, const QString& name);
    void ContinueWithService(const QString& Service, int Port);
    void DoOpen(quint16 Port);
    void DoListen(quint16 Port);
    void DoClose(Ticket socket);

    void OnReadable();
    void OnWritable();
    void OnAcceptable();
    void PostClose();
    void RememberPeer();
    void StopParkTimer();
    void Rearm();
    // Handles a failed send or receive; returns normally only when the error was taken over.
    void TransferError(TErrorEvent kind, int errnoValue, const char* api);

    int m_socket = -1;
    Ticket m_ticket = 0;
    bool m_connected = false;
    sockaddr_in m_addr{};
    TLookupState m_lookupState = lsIdle;
    net::LookupHandle m_lookupHandle = 0;
    net::LookupResult m_lookupResult;
    QString m_lookupService;
    quint16 m_lookupPort = 0;
    bool m_lookupClient = false;
    int m_lookupQueueSize = 0;

    std::shared_ptr<Life> m_life;
    platform::NoticeWindow* m_window = nullptr;
    platform::SocketWatch* m_readNotifier = nullptr;
    platform::SocketWatch* m_writeNotifier = nullptr;
    bool m_connecting = false;
    bool m_closing = false;
    bool m_closePosted = false;
    bool m_readArmed = true;
    bool m_recvSinceReadPosted = true;
    quint64 m_bytesReceived = 0;
    qint64 m_lastActivityMs = 0;
    QString m_peerAddress;
    int m_peerPort = 0;
};

class TClientWinSocket : public TCustomWinSocket {
    Q_OBJECT
public:
    explicit TClientWinSocket(int ASocket) : TCustomWinSocket(ASocket) {}
    TClientType ClientType() const { return ctNonBlocking; }
};

class TServerClientWinSocket;

class TServerWinSocket : public TCustomWinSocket {
    Q_OBJECT
public:
    explicit TServerWinSocket(int ASocket);
    ~TServerWinSocket() override;

    // Accepted connections in accept order.
    TServerClientWinSocket* Connections(int Index) const { return m_connections.value(Index); }
    int ConnectionCount() const { return int(m_connections.size()); }
    TServerType ServerType() const { return stNonBlocking; }

    // What peers may hold (0: no bound). A connection beyond a bound is closed at once, unread;
    // one that has sent nothing for IdleMs is closed quietly.
    void SetConnectionLimits(int PerPeer, int Total, int IdleMs);

    TGetSocketEvent OnGetSocket;
    TSocketNotifyEvent OnClientConnect;
    TSocketNotifyEvent OnClientDisconnect;
    TSocketNotifyEvent OnClientRead;
    TSocketNotifyEvent OnClientWrite;
    TSocketErrorEvent OnClientError;

protected:
    void HandleAccept(Ticket socket) override;
    void HandleClose(Ticket socket) override;
    void Timer(quintptr id) override;
    // Events and errors of the accepted connections.
    virtual void ClientEvent(TCustomWinSocket* Socket, SocketEventKind SocketEvent);
    virtual void ClientError(TCustomWinSocket* Socket, TErrorEvent ErrorEvent, int& ErrorCode);

private:
    friend class TServerClientWinSocket;
    void AddClient(TServerClientWinSocket* client);
    void RemoveClient(TServerClientWinSocket* client);
    void DestroyConnections();
    bool Admits(quint32 peer) const;
    void TakeConnection(int fd, const sockaddr_in& from);
    void ShedPending();
    void SweepIdle();

    QList<TServerClientWinSocket*> m_connections;
    QHash<quint32, int> m_perPeer;
    int m_maxPerPeer = 0;
    int m_maxTotal = 0;
    int m_idleMs = 0;
    // Kept open so that, out of descriptors, a pending connection can still be taken and dropped.
    int m_spare = -1;
    int m_backoffMs = 0;
};

class TServerClientWinSocket : public TCustomWinSocket {
    Q_OBJECT
public:
    TServerClientWinSocket(int ASocket, TServerWinSocket* ServerWinSocket);
    ~TServerClientWinSocket() override;

    TServerWinSocket* ServerWinSocket() const { return m_server; }

protected:
    bool PeerLossIsQuiet() const override { return true; }

private:
    friend class TServerWinSocket;
    TServerWinSocket* m_server;
    quint32 m_peerKey = 0;
    bool m_counted = false;
};
