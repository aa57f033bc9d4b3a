#include "net/peer_names.h"

#include "platform/platform.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFutureWatcher>
#include <QHash>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

namespace net::peer_names {
namespace {

// Lookups under way (running or waiting for a thread); beyond this a peer simply goes unnamed.
constexpr int MaxUnderWay = 256;
// Remembered answers; the oldest go first beyond this.
constexpr int MaxRemembered = 1024;

struct Answer {
    QString name;
    QDeadlineTimer expires;
};

using Lookup = QFutureWatcher<QString>;

// GUI thread only.
QHash<QString, Answer> g_answers;
QHash<QString, QPointer<Lookup>> g_underWay;
std::function<void(const QString&)> g_answered;
int g_rememberMs = RememberMs;

void remember(const QString& address, const QString& name)
{
    if (g_answers.size() >= MaxRemembered) {
        for (auto it = g_answers.begin(); it != g_answers.end();)
            it = it->expires.hasExpired() ? g_answers.erase(it) : std::next(it);
        if (g_answers.size() >= MaxRemembered)
            g_answers.clear();
    }
    g_answers.insert(address, Answer{name, QDeadlineTimer(g_rememberMs)});
    const auto answered = g_answered;
    if (answered)
        answered(address);
}

} // namespace

bool known(const QString& address, QString& name)
{
    const auto it = g_answers.constFind(address);
    if (it == g_answers.constEnd())
        return false;
    if (it->expires.hasExpired()) {
        g_answers.erase(it);
        return false;
    }
    name = it->name;
    return true;
}

bool request(const QString& address)
{
    QString ignored;
    if (g_underWay.contains(address))
        return true;
    if (address.isEmpty() || g_underWay.size() >= MaxUnderWay || known(address, ignored))
        return false;
    // A thread per address (platform::NameLookupThreads at most): one that hangs holds up no other.
    auto* lookup = new Lookup(QCoreApplication::instance());
    g_underWay.insert(address, lookup);
    QObject::connect(lookup, &Lookup::finished, lookup, [lookup, address] {
        g_underWay.remove(address);
        lookup->deleteLater();
        remember(address, lookup->result());
    });
    lookup->setFuture(QtConcurrent::run(&platform::nameServiceThreads(), platform::hostNameOf, address));
    return true;
}

void setAnswered(std::function<void(const QString& address)> answered)
{
    g_answered = std::move(answered);
}

void setRememberTime(int milliseconds)
{
    g_rememberMs = milliseconds;
}

void forgetAll()
{
    g_answers.clear();
    // A lookup's watcher gone, its answer is never delivered.
    for (const QPointer<Lookup>& lookup : std::as_const(g_underWay))
        delete lookup.data();
    g_underWay.clear();
}

} // namespace net::peer_names
