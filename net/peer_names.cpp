#include "net/peer_names.h"

#include "platform/platform.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHash>
#include <QObject>
#include <QPointer>
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
    QObject* receiver = nullptr; // GUI thread's end; null once the application is gone
};

class Receiver final : public QObject {
public:
    Receiver(std::shared_ptr<Work> work, QObject* parent) : QObject(parent), m_work(std::move(work))
    {
        std::lock_guard<std::mutex> lock(m_work->mutex);
        m_work->receiver = this;
    }
    ~Receiver() override
    {
        std::lock_guard<std::mutex> lock(m_work->mutex);
        m_work->receiver = nullptr;
    }

private:
    std::shared_ptr<Work> m_work;
};

struct Answer {
    QString name;
    QDeadlineTimer expires;
};

// GUI thread only.
std::shared_ptr<Work> g_work;
QPointer<QObject> g_receiver;
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
        if (work->receiver)
            QMetaObject::invokeMethod(
                work->receiver, [address = address, name, generation = generation] { remember(address, name, generation); },
                Qt::QueuedConnection);
    }
}

std::shared_ptr<Work> work()
{
    if (!g_work)
        g_work = std::make_shared<Work>();
    if (!g_receiver)
        g_receiver = new Receiver(g_work, QCoreApplication::instance());
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
