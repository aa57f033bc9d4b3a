#pragma once
// The socket components that windows own: TClientSocket connects, TServerSocket listens. Each
// holds one connection object and turns its events into the handlers below, with the
// component as Sender.
#include "net/socket_error.h"
#include "net/socket_types.h"
#include "net/win_socket.h"

#include <QObject>
#include <QString>

class TAbstractSocket : public QObject {
    Q_OBJECT
public:
    explicit TAbstractSocket(QObject* parent = nullptr);

    // Turns true with the connect (client) or listen (server) event and false with the
    // disconnect event; setting it only starts or ends the work. Setting false also abandons an
    // attempt still being looked up or connected.
    bool Active() const { return active_; }
    void setActive(bool Value);

    // The connection's settings may change only while the component is inactive.
    QString Host() const { return host_; }
    void setHost(const QString& Value);
    QString Address() const { return address_; }
    void setAddress(const QString& Value);
    int Port() const { return port_; }
    void setPort(int Value);
    QString Service() const { return service_; }
    void setService(const QString& Value);

protected:
    virtual void DoActivate(bool Value) = 0;
    virtual void Event(TCustomWinSocket* Socket, SocketEventKind SocketEvent) = 0;
    virtual void Error(TCustomWinSocket* Socket, TErrorEvent ErrorEvent, int& ErrorCode) = 0;
    // Routes the connection object's events and errors to this component.
    void InitSocket(TCustomWinSocket* Socket);

    bool active_ = false;

private:
    void checkInactive() const;
    void setText(QString& field, const QString& Value);

    QString host_;
    QString address_;
    QString service_;
    int port_ = 0;
};

class TCustomSocket : public TAbstractSocket {
    Q_OBJECT
public:
    using TAbstractSocket::TAbstractSocket;

    TSocketNotifyEvent OnLookup;
    TSocketNotifyEvent OnConnecting;
    TSocketNotifyEvent OnConnect;
    TSocketNotifyEvent OnDisconnect;
    TSocketNotifyEvent OnListen;
    TSocketNotifyEvent OnAccept;
    TSocketNotifyEvent OnRead;
    TSocketNotifyEvent OnWrite;
    // Setting ErrorCode to 0 takes the error over; otherwise the layer raises ESocketError.
    TSocketErrorEvent OnError;

protected:
    void Event(TCustomWinSocket* Socket, SocketEventKind SocketEvent) override;
    void Error(TCustomWinSocket* Socket, TErrorEvent ErrorEvent, int& ErrorCode) override;
};

class TClientSocket : public TCustomSocket {
    Q_OBJECT
public:
    explicit TClientSocket(QObject* parent = nullptr);
    ~TClientSocket() override;

    TClientWinSocket* Socket() const { return clientSocket_; }
    TClientType ClientType() const { return ctNonBlocking; }
    void setClientType(TClientType) {}

protected:
    void DoActivate(bool Value) override;

private:
    TClientWinSocket* clientSocket_;
};

class TCustomServerSocket : public TCustomSocket {
    Q_OBJECT
    // Declared first: the handler references below point into it.
    TServerWinSocket* serverSocket_;

public:
    explicit TCustomServerSocket(QObject* parent = nullptr);
    ~TCustomServerSocket() override;

    TServerWinSocket* Socket() const { return serverSocket_; }
    TServerType ServerType() const { return stNonBlocking; }
    void setServerType(TServerType) {}

    // Handlers of the accepted connections, kept by the listening object. Their Sender is
    // the listening object, their Socket the connection.
    TGetSocketEvent& OnGetSocket;
    TSocketNotifyEvent& OnClientConnect;
    TSocketNotifyEvent& OnClientDisconnect;
    TSocketNotifyEvent& OnClientRead;
    TSocketNotifyEvent& OnClientWrite;
    TSocketErrorEvent& OnClientError;

protected:
    void DoActivate(bool Value) override;
};

class TServerSocket : public TCustomServerSocket {
    Q_OBJECT
public:
    using TCustomServerSocket::TCustomServerSocket;
};
