#include "net/socket_error.h"

#include <cerrno>
#include <cstring>
#include <netdb.h>

ESocketError::ESocketError(const QString& message) : message_(message), what_(message.toUtf8()) {}

namespace net {

int winsockError(int errnoValue)
{
    using namespace wsa;
    switch (errnoValue) {
    case 0: return 0;
    case EINTR: return WSAEINTR;
    case EBADF: return WSAEBADF;
    case EACCES:
    case EPERM: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE:
    case ENFILE: return WSAEMFILE;
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    // A non-blocking connect under way is Winsock's "would block".
    case EINPROGRESS: return WSAEWOULDBLOCK;
    case EALREADY: return WSAEALREADY;
    case ENOTSOCK: return WSAENOTSOCK;
    case EDESTADDRREQ: return WSAEDESTADDRREQ;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EPROTOTYPE: return WSAEPROTOTYPE;
    case ENOPROTOOPT: return WSAENOPROTOOPT;
    case EPROTONOSUPPORT: return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT: return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP: return WSAEOPNOTSUPP;
    case EPFNOSUPPORT: return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ENETRESET: return WSAENETRESET;
    case ECONNABORTED: return WSAECONNABORTED;
    // A send to a peer that has gone is a reset connection to Winsock.
    case EPIPE:
    case ECONNRESET: return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM: return WSAENOBUFS;
    case EISCONN: return WSAEISCONN;
    case ENOTCONN: return WSAENOTCONN;
    case ESHUTDOWN: return WSAESHUTDOWN;
    case ETOOMANYREFS: return WSAETOOMANYREFS;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case ELOOP: return WSAELOOP;
    case ENAMETOOLONG: return WSAENAMETOOLONG;
    case EHOSTDOWN: return WSAEHOSTDOWN;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    default: return WSASYSCALLFAILURE;
    }
}

int winsockLookupError(int gaiError, int errnoValue)
{
    using namespace wsa;
    switch (gaiError) {
    case 0: return 0;
    case EAI_NONAME: return WSAHOST_NOT_FOUND;
    case EAI_AGAIN: return WSATRY_AGAIN;
    case EAI_FAIL: return WSANO_RECOVERY;
#ifdef EAI_NODATA
    case EAI_NODATA: return WSANO_DATA;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY: return WSANO_DATA;
#endif
    case EAI_SERVICE: return WSATYPE_NOT_FOUND;
    case EAI_MEMORY: return WSAENOBUFS;
    case EAI_SYSTEM: return winsockError(errnoValue);
    default: return WSANO_RECOVERY;
    }
}

QString systemErrorText(int errnoValue)
{
    return QString::fromLocal8Bit(std::strerror(errnoValue));
}

QString winsockErrorText(int code)
{
    for (int errnoValue = 1; errnoValue < 256; ++errnoValue) {
        if (winsockError(errnoValue) == code)
            return systemErrorText(errnoValue);
    }
    return systemErrorText(0);
}

QString windowsSocketErrorText(const QString& systemText, int code, const QString& api)
{
    return QStringLiteral("Windows socket error: %1 (%2), on API '%3'").arg(systemText).arg(code).arg(api);
}

QString asyncSocketErrorText(int code)
{
    return QStringLiteral("Asynchronous socket error %1").arg(code);
}

QString invalidPortText(int port)
{
    if (port >= 1 && port <= 65535)
        return QString();
    return QStringLiteral("Invalid port %1: a port must be a number from 1 to 65535").arg(port);
}

void raiseSocketError(int errnoValue, const char* api)
{
    throw ESocketError(windowsSocketErrorText(systemErrorText(errnoValue), winsockError(errnoValue),
                                              QString::fromLatin1(api)));
}

} // namespace net
