#pragma once
// Kinds, notices and handler types shared by the connection objects and the socket components.
#include <QtGlobal>

#include <functional>

class QObject;
class TCustomWinSocket;
class TServerClientWinSocket;

// What a connection object reports to its owner.
enum SocketEventKind {
    seLookup = 0,
    seConnecting = 1,
    seConnect = 2,
    seDisconnect = 3,
    seListen = 4,
    seAccept = 5,
    seWrite = 6,
    seRead = 7,
};

// Where an error happened; handed to the error handlers with the code.
enum TErrorEvent {
    eeGeneral = 0,
    eeSend = 1,
    eeReceive = 2,
    eeConnect = 3,
    eeDisconnect = 4,
    eeAccept = 5,
    eeLookup = 6,
};

// Only the event-driven modes exist: the program never blocks a thread on a socket.
enum TClientType { ctNonBlocking = 0 };
enum TServerType { stNonBlocking = 0 };

// Network events a connection object asks to be told about (Winsock's bit values).
enum TAsyncStyle : int {
    FdRead = 1,
    FdWrite = 2,
    FdOob = 4,
    FdAccept = 8,
    FdConnect = 16,
    FdClose = 32,
};

enum TLookupState { lsIdle = 0, lsLookupAddress = 1, lsLookupService = 2 };

// Notices posted to a connection object's notification window.
// SocketNotice: wParam names the socket, lParam holds the event (low 16 bits) and the error code
// (high 16 bits). LookupCompleteNotice: wParam is the lookup handle, the error in lParam's high bits.
constexpr unsigned SocketNotice = 1025;
constexpr unsigned DeferredFreeNotice = 1026;
constexpr unsigned LookupCompleteNotice = 1027;

using TSocketNotifyEvent = std::function<void(QObject* Sender, TCustomWinSocket* Socket)>;
using TSocketErrorEvent =
    std::function<void(QObject* Sender, TCustomWinSocket* Socket, TErrorEvent ErrorEvent, int& ErrorCode)>;
// Lets the owner of a listening socket supply the object for a newly accepted connection.
using TGetSocketEvent = std::function<void(QObject* Sender, int Socket, TServerClientWinSocket*& ClientSocket)>;
