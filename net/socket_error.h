#pragma once
// The socket layer's exception and its error numbers. Codes are Winsock's on every platform, so
// handlers and boxes show the same numbers wherever the program runs.
#include <QByteArray>
#include <QString>

#include <exception>

class ESocketError : public std::exception {
public:
    explicit ESocketError(const QString& message);
    const QString& message() const { return message_; }
    const char* what() const noexcept override { return what_.constData(); }

private:
    QString message_;
    QByteArray what_;
};

namespace net {

namespace wsa {
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEDESTADDRREQ = 10039;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAEPROTOTYPE = 10041;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAESOCKTNOSUPPORT = 10044;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEPFNOSUPPORT = 10046;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAENETRESET = 10052;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETOOMANYREFS = 10059;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAELOOP = 10062;
constexpr int WSAENAMETOOLONG = 10063;
constexpr int WSAEHOSTDOWN = 10064;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSASYSCALLFAILURE = 10107;
constexpr int WSATYPE_NOT_FOUND = 10109;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;
// Reported when a client is opened with neither a host nor an address.
constexpr int NoAddressCode = 1110;
} // namespace wsa

inline const char* const CantChangeWhileActive = "Can't change value while socket is active";
inline const char* const SocketAlreadyOpen = "Socket already open";
inline const char* const CantCreateSocket = "Can't create new socket";
inline const char* const NoAddressSpecified = "No address specified";
inline const char* const CantListenOnOpen = "Can't listen on an open socket";

// The Winsock number for an errno value of a socket call.
int winsockError(int errnoValue);
// The Winsock number for a getaddrinfo() result (errnoValue is used for EAI_SYSTEM).
int winsockLookupError(int gaiError, int errnoValue);
// The system's own text for an errno value.
QString systemErrorText(int errnoValue);
// The system's text for a Winsock number of a socket call (the first errno value that maps to it).
QString winsockErrorText(int code);

// "Windows socket error: <text> (<code>), on API '<api>'"
QString windowsSocketErrorText(const QString& systemText, int code, const QString& api);
// "Asynchronous socket error <code>"
QString asyncSocketErrorText(int code);
// The text of a port that no socket can use, or an empty text for a usable one.
QString invalidPortText(int port);

// Throws the Windows socket error for errno value errnoValue of the call api.
[[noreturn]] void raiseSocketError(int errnoValue, const char* api);

} // namespace net
