#pragma once
// Name lookups off the GUI thread, on a bounded pool of threads. The answer comes back on the GUI
// thread through its event loop, never inside the call that started the lookup, and never after
// cancelLookup().
#include <QString>

#include <functional>

namespace net {

using LookupHandle = quintptr;

struct LookupResult {
    int error = 0;        // Winsock number; 0 on success
    QString errorText;    // the resolver's own text for the error
    quint32 address = 0;  // IPv4 address, network byte order (host lookups)
    quint16 port = 0;     // host byte order (service lookups)
};

using LookupDone = std::function<void(LookupHandle handle, const LookupResult& result)>;

// Starts resolving an IPv4 host name (a dotted address is taken as it is, without asking the
// resolver). The handle is never 0.
LookupHandle startHostLookup(const QString& host, LookupDone done);
// Starts resolving a TCP service name to its port.
LookupHandle startServiceLookup(const QString& service, LookupDone done);
// Forgets a pending lookup: its answer is dropped. False when nothing was pending under handle.
bool cancelLookup(LookupHandle handle);

// Makes the lookups started from now on wait this long before they ask (tests of late answers).
void setLookupDelay(int milliseconds);

} // namespace net
