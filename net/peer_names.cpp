#include "net/peer_names.h"

#include "net/gui_mailbox.h"
#include "platform/platform.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QSet>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace net::peer_names {
namespace {

// Lookups at once: enough for a busy LAN, few enough that a dead name server costs little.
constexpr int MaxResolvers = 4;
// Addresses waiting for a resolver; beyond this a peer simply goes unnamed.
constexpr int MaxWaiting = 256;
// Remembered answers; the oldest go first beyond this.
constexpr int MaxRemembered = 1024;

// Shared with the resolver threads, which outlive everything else at the end of the process.
struct Work {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<std::pair<QString, quint64>> waiting; // address, generation
    int resolvers = 0;
    int idle = 0;
    std::shared_ptr<GuiMailbox> mailbox;
};

struct Answer {
    QString name;
    QDeadlineTimer expires;
};

// GUI thread only.
std::shared_ptr<Work> g_work;
QHash<QString, Answer> g_answers;
QSet<QString> g_underWay;
std::function<void(const QString&)> g_answered;
int g_rememberMs = RememberMs;
// Answers to lookups started before the last forgetAll() are dropped.
quint64 g_generation = 0;

void remember(const QString& address, const QString& name, quint64 generation)
{
    if (generation != g_generation)
        return;
    g_underWay.remove(address);
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

void resolverLoop(std::shared_ptr<Work> work)
{
    std::unique_lock<std::mutex> lock(work->mutex);
    for (;;) {
        ++work->idle;
        work->ready.wait(lock, [&] { return !work->waiting.empty(); });
        --work->idle;
        const auto [address, generation] = work->waiting.front();
        work->waiting.pop_front();
        lock.unlock();
        const QString name = platform::hostNameOf(address);
        lock.lock();
        work->mailbox->post([address = address, name, generation = generation] { remember(address, name, generation); });
    }
}

std::shared_ptr<Work> work()
{
    if (!g_work) {
        g_work = std::make_shared<Work>();
        g_work->mailbox = GuiMailbox::instance();
    }
    return g_work;
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

void request(const QString& address)
{
    QString ignored;
    if (address.isEmpty() || g_underWay.contains(address) || known(address, ignored))
        return;
    const std::shared_ptr<Work> shared = work();
    std::lock_guard<std::mutex> lock(shared->mutex);
    if (int(shared->waiting.size()) >= MaxWaiting)
        return;
    g_underWay.insert(address);
    shared->waiting.emplace_back(address, g_generation);
    if (shared->idle == 0 && shared->resolvers < MaxResolvers) {
        try {
            std::thread(resolverLoop, shared).detach();
            ++shared->resolvers;
        } catch (const std::system_error&) {
            // No thread to be had now: a running resolver takes it later, or, with none, the peer
            // stays unnamed and a later message asks again.
            if (shared->resolvers == 0) {
                shared->waiting.pop_back();
                g_underWay.remove(address);
                return;
            }
        }
    }
    shared->ready.notify_one();
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
    g_underWay.clear();
    ++g_generation;
}

} // namespace net::peer_names
