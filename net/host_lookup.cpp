#include "net/host_lookup.h"

#include "net/socket_error.h"

#include <QCoreApplication>
#include <QFutureWatcher>
#include <QHash>
#include <QPointer>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <arpa/inet.h>
#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace net {
namespace {

// Lookups at once: the send window's and a script's few hosts, with room for lookups given up
// while a dead name server holds them (their threads stay until the resolver gives up).
constexpr int MaxLookups = 16;

using Lookup = QFutureWatcher<LookupResult>;

// GUI thread only.
QHash<LookupHandle, QPointer<Lookup>> g_pending;
LookupHandle g_lastHandle = 0;
int g_delayMs = 0;

QThreadPool& lookupThreads()
{
    // Never destroyed: the end of the process does not wait for a lookup a dead name server holds.
    static QThreadPool* const pool = [] {
        auto* threads = new QThreadPool;
        threads->setMaxThreadCount(MaxLookups);
        return threads;
    }();
    return *pool;
}

LookupResult failure(int gaiError, int errnoValue)
{
    LookupResult result;
    result.error = winsockLookupError(gaiError, errnoValue);
    result.errorText = gaiError == EAI_SYSTEM ? systemErrorText(errnoValue)
                                              : QString::fromLocal8Bit(gai_strerror(gaiError));
    return result;
}

LookupResult resolve(const QByteArray& host, const QByteArray& service, int delayMs)
{
    if (delayMs > 0)
        QThread::msleep(ulong(delayMs));
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* list = nullptr;
    errno = 0;
    const int rc = getaddrinfo(host.isEmpty() ? nullptr : host.constData(),
                               service.isEmpty() ? nullptr : service.constData(), &hints, &list);
    if (rc != 0)
        return failure(rc, errno);
    LookupResult result;
    for (const addrinfo* entry = list; entry; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET && entry->ai_addr) {
            const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
            result.address = address->sin_addr.s_addr;
            result.port = ntohs(address->sin_port);
            break;
        }
    }
    freeaddrinfo(list);
    return result;
}

// The watcher hears of the answer through the loop, even of one that is there already.
LookupHandle watch(QFuture<LookupResult> answer, LookupDone done)
{
    LookupHandle handle = ++g_lastHandle;
    if (handle == 0)
        handle = ++g_lastHandle;
    auto* lookup = new Lookup(QCoreApplication::instance());
    g_pending.insert(handle, lookup);
    QObject::connect(lookup, &Lookup::finished, lookup, [lookup, handle, done = std::move(done)] {
        g_pending.remove(handle);
        lookup->deleteLater();
        if (done)
            done(handle, lookup->result());
    });
    lookup->setFuture(std::move(answer));
    return handle;
}

QFuture<LookupResult> resolveLater(const QByteArray& host, const QByteArray& service)
{
    return QtConcurrent::run(&lookupThreads(), resolve, host, service, g_delayMs);
}

} // namespace

LookupHandle startHostLookup(const QString& host, LookupDone done)
{
    // The resolver speaks UTF-8; a dotted address needs none.
    const QByteArray name = host.toUtf8();
    in_addr numeric{};
    if (inet_pton(AF_INET, name.constData(), &numeric) == 1) {
        LookupResult result;
        result.address = numeric.s_addr;
        return watch(QtFuture::makeReadyFuture(result), std::move(done));
    }
    return watch(resolveLater(name, QByteArray()), std::move(done));
}

LookupHandle startServiceLookup(const QString& service, LookupDone done)
{
    return watch(resolveLater(QByteArray(), service.toUtf8()), std::move(done));
}

bool cancelLookup(LookupHandle handle)
{
    const QPointer<Lookup> lookup = g_pending.take(handle);
    if (!lookup)
        return false;
    delete lookup.data();
    return true;
}

void setLookupDelay(int milliseconds)
{
    g_delayMs = milliseconds;
}

} // namespace net
