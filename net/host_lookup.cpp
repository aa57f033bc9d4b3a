#include "net/host_lookup.h"

#include "net/gui_mailbox.h"

#include "net/socket_error.h"
#include "platform/cp1251.h"

#include <QHash>

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>

namespace net {
namespace {

QHash<LookupHandle, LookupDone> g_pending; // GUI thread only
LookupHandle g_lastHandle = 0;
std::atomic<int> g_delayMs{0};

void deliver(LookupHandle handle, const LookupResult& result)
{
    const auto it = g_pending.find(handle);
    if (it == g_pending.end())
        return;
    const LookupDone done = std::move(it.value());
    g_pending.erase(it);
    if (done)
        done(handle, result);
}

void post(const std::shared_ptr<GuiMailbox>& mailbox, LookupHandle handle, const LookupResult& result)
{
    mailbox->post([handle, result] { deliver(handle, result); });
}

LookupResult failure(int gaiError, int errnoValue)
{
    LookupResult result;
    result.error = winsockLookupError(gaiError, errnoValue);
    result.errorText = gaiError == EAI_SYSTEM ? systemErrorText(errnoValue)
                                              : QString::fromLocal8Bit(gai_strerror(gaiError));
    return result;
}

LookupResult resolve(const QByteArray& host, const QByteArray& service)
{
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

LookupHandle start(const QByteArray& host, const QByteArray& service, LookupDone done, int& errnoValue)
{
    const std::shared_ptr<GuiMailbox> shared = GuiMailbox::instance();
    LookupHandle handle = ++g_lastHandle;
    if (handle == 0)
        handle = ++g_lastHandle;

    // A dotted address needs no resolver; it still answers later, as every lookup does.
    in_addr numeric{};
    if (service.isEmpty() && inet_pton(AF_INET, host.constData(), &numeric) == 1) {
        g_pending.insert(handle, std::move(done));
        LookupResult result;
        result.address = numeric.s_addr;
        post(shared, handle, result);
        return handle;
    }

    g_pending.insert(handle, std::move(done));
    const int delay = g_delayMs.load();
    try {
        std::thread([shared, handle, host, service, delay] {
            if (delay > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(delay));
            post(shared, handle, resolve(host, service));
        }).detach();
    } catch (const std::system_error& error) {
        g_pending.remove(handle);
        errnoValue = error.code().value() ? error.code().value() : EAGAIN;
        return 0;
    }
    return handle;
}

} // namespace

LookupHandle startHostLookup(const QString& host, LookupDone done, int& errnoValue)
{
    return start(platform::toCp1251(host), QByteArray(), std::move(done), errnoValue);
}

LookupHandle startServiceLookup(const QString& service, LookupDone done, int& errnoValue)
{
    return start(QByteArray(), platform::toCp1251(service), std::move(done), errnoValue);
}

bool cancelLookup(LookupHandle handle)
{
    return g_pending.remove(handle) > 0;
}

void setLookupDelay(int milliseconds)
{
    g_delayMs.store(milliseconds);
}

} // namespace net
