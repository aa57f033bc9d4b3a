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
    // Listens on the wildcard address (at most QueueSize waiting connections, the system's
    // queue for 0 or more than it allows).
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

    bool Connected() const { return connected_; }
    int SocketHandle() const { return socket_; }
    TLookupState LookupState() const { return lookupState_; }
    // Bytes taken from this connection so far, so an owner can bound what one peer costs.
    quint64 BytesReceived() const { return bytesReceived_; }
    // While an error handler runs: the error the layer raises when the handler returns, unless
    // the handler takes the error over.
    QString ErrorMessage() const { return errorMessage_; }

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

    // Asks for the events of asyncStyles_ on the current socket.
    void doSetAsyncStyles();
    void postNotice(unsigned notice, quintptr wParam, qintptr lParam);
    platform::NoticeWindow* window();
    const std::shared_ptr<Life>& life() const { return life_; }

    int asyncStyles_ = FdRead | FdWrite | FdConnect | FdClose;

private:
    friend class TServerWinSocket;

    static void deliver(const std::shared_ptr<Life>& life, unsigned notice, quintptr wParam, qintptr lParam);
    void wndProc(unsigned notice, quintptr wParam, qintptr lParam);
    void socketMessage(Ticket socket, int event, int errorCode);
    void lookupComplete(net::LookupHandle handle, int errorCode);
    void lookupFinished(net::LookupHandle handle, const net::LookupResult& result);
    void parkTimer();

    void createSocket();
    void startOpening(const std::function<void(Ticket socket)>& rest);
    // Drops what an earlier attempt left, checks the port and takes a new socket.
    void renewSocket(const QString& Service, int Port);
    void adoptSocket(int socket);
    void releaseSocket();
    void cancelLookup();
    void startLookup(bool host, const QString& name);
    void continueWithService(const QString& Service, int Port);
    void doOpen(quint16 Port);
    void doListen(quint16 Port);
    void doClose(Ticket socket);

    void onReadable();
    void onWritable();
    void onAcceptable();
    void postClose();
    void rememberPeer();
    void stopParkTimer();
    void rearm();
    // Handles a failed send or receive; returns normally only when the error was taken over.
    void transferError(TErrorEvent kind, int errnoValue, const char* api);

    int socket_ = -1;
    Ticket ticket_ = 0;
    bool connected_ = false;
    sockaddr_in addr_{};
    TLookupState lookupState_ = lsIdle;
    net::LookupHandle lookupHandle_ = 0;
    net::LookupResult lookupResult_;
    QString lookupService_;
    quint16 lookupPort_ = 0;
    bool lookupClient_ = false;
    int lookupQueueSize_ = 0;

    std::shared_ptr<Life> life_;
    platform::NoticeWindow* window_ = nullptr;
    platform::SocketWatch* readNotifier_ = nullptr;
    platform::SocketWatch* writeNotifier_ = nullptr;
    bool connecting_ = false;
    bool closing_ = false;
    bool closePosted_ = false;
    bool readArmed_ = true;
    bool recvSinceReadPosted_ = true;
    quint64 bytesReceived_ = 0;
    qint64 lastActivityMs_ = 0;
    qint64 openedMs_ = 0;
    QString peerAddress_;
    int peerPort_ = 0;
    QString errorMessage_;
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
    TServerClientWinSocket* Connection(int Index) const { return connections_.value(Index); }
    int ConnectionCount() const { return int(connections_.size()); }
    TServerType ServerType() const { return stNonBlocking; }

    // What peers may hold (0: no bound). A connection beyond PerPeer is closed at once, unread.
    // At Total, the connection held longest by the address holding the most is closed to make
    // room (its owner reads what it sent first, as before any close). One that has sent nothing
    // for IdleMs is closed quietly; one open for LifeMs is closed after its unread data is read.
    void SetConnectionLimits(int PerPeer, int Total, int IdleMs, int LifeMs = 0);

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
    void addClient(TServerClientWinSocket* client);
    void removeClient(TServerClientWinSocket* client);
    void destroyConnections();
    bool admits(quint32 peer) const;
    // Closes a connection at the listener's own initiative, its unread data read first.
    void retire(TServerClientWinSocket* client);
    // Frees a place at the total bound; false when the listener itself ended meanwhile.
    bool makeRoom();
    void startSweep();
    void takeConnection(int fd, const sockaddr_in& from);
    void shedPending();
    void sweepIdle();

    QList<TServerClientWinSocket*> connections_;
    QHash<quint32, int> perPeer_;
    int maxPerPeer_ = 0;
    int maxTotal_ = 0;
    int idleMs_ = 0;
    int lifeMs_ = 0;
    // Kept open so that, out of descriptors, a pending connection can still be taken and dropped.
    int spare_ = -1;
    int backoffMs_ = 0;
};

class TServerClientWinSocket : public TCustomWinSocket {
    Q_OBJECT
public:
    TServerClientWinSocket(int ASocket, TServerWinSocket* ServerWinSocket);
    ~TServerClientWinSocket() override;

    TServerWinSocket* ServerWinSocket() const { return server_; }

protected:
    bool PeerLossIsQuiet() const override { return true; }

private:
    friend class TServerWinSocket;
    TServerWinSocket* server_;
    quint32 peerKey_ = 0;
    bool counted_ = false;
};
