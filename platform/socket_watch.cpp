#include "platform/socket_watch.h"

#include <QCoreApplication>
#include <QHash>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/epoll.h>
#include <unistd.h>

namespace platform {

class SocketPoller {
public:
    static SocketPoller& instance()
    {
        // Lives as long as the process: watches may outlive the application object in tests.
        static SocketPoller* poller = new SocketPoller;
        return *poller;
    }

    void add(SocketWatch* watch)
    {
        Entry& entry = m_entries[watch->m_fd];
        if (!entry.read && !entry.write)
            entry.generation = ++m_lastGeneration;
        (watch->m_kind == SocketWatch::Read ? entry.read : entry.write) = watch;
        update(watch->m_fd, entry);
    }

    void remove(SocketWatch* watch)
    {
        const auto it = m_entries.find(watch->m_fd);
        if (it == m_entries.end())
            return;
        SocketWatch*& slot = watch->m_kind == SocketWatch::Read ? it->read : it->write;
        if (slot != watch)
            return;
        slot = nullptr;
        update(watch->m_fd, *it);
        if (!it->read && !it->write)
            m_entries.erase(it);
    }

    void changed(SocketWatch* watch)
    {
        const auto it = m_entries.find(watch->m_fd);
        if (it != m_entries.end())
            update(watch->m_fd, *it);
    }

    int size() const { return int(m_entries.size()); }

private:
    struct Entry {
        SocketWatch* read = nullptr;
        SocketWatch* write = nullptr;
        quint32 generation = 0;
        quint32 events = 0;
        bool registered = false;
    };

    SocketPoller()
    {
        m_epoll = epoll_create1(EPOLL_CLOEXEC);
        if (m_epoll < 0) {
            std::fprintf(stderr, "pellavine: epoll_create1: %s\n", std::strerror(errno));
            return;
        }
        m_notifier = new QSocketNotifier(m_epoll, QSocketNotifier::Read);
        QObject::connect(m_notifier, &QSocketNotifier::activated, m_notifier, [this] { dispatch(); });
    }

    static quint32 wanted(const Entry& entry)
    {
        quint32 events = 0;
        if (entry.read && entry.read->m_enabled)
            events |= EPOLLIN | EPOLLRDHUP;
        if (entry.write && entry.write->m_enabled)
            events |= EPOLLOUT;
        return events;
    }

    void update(int fd, Entry& entry)
    {
        if (m_epoll < 0)
            return;
        const quint32 events = wanted(entry);
        // Hang-ups are always reported by epoll, so a socket nobody listens to leaves the set.
        if (events == 0) {
            if (entry.registered)
                epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
            entry.registered = false;
            entry.events = 0;
            return;
        }
        if (entry.registered && events == entry.events)
            return;
        epoll_event event{};
        event.events = events;
        // The generation tells a descriptor number apart from its reuse by a later socket.
        event.data.u64 = (quint64(entry.generation) << 32) | quint32(fd);
        if (epoll_ctl(m_epoll, entry.registered ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &event) == 0) {
            entry.registered = true;
            entry.events = events;
        }
    }

    void dispatch()
    {
        epoll_event ready[128];
        const int count = epoll_wait(m_epoll, ready, 128, 0);
        for (int i = 0; i < count; ++i) {
            const int fd = int(quint32(ready[i].data.u64));
            const quint32 generation = quint32(ready[i].data.u64 >> 32);
            const quint32 what = ready[i].events;
            const bool trouble = (what & (EPOLLHUP | EPOLLERR)) != 0;
            // A callback may remove any watch, its own included: look the socket up each time.
            if (what & (EPOLLIN | EPOLLRDHUP) || trouble)
                fire(fd, generation, SocketWatch::Read);
            if (what & EPOLLOUT || trouble)
                fire(fd, generation, SocketWatch::Write);
        }
    }

    void fire(int fd, quint32 generation, SocketWatch::Kind kind)
    {
        const auto it = m_entries.constFind(fd);
        if (it == m_entries.constEnd() || it->generation != generation)
            return;
        SocketWatch* watch = kind == SocketWatch::Read ? it->read : it->write;
        if (!watch || !watch->m_enabled || !watch->m_activated)
            return;
        const std::function<void()> activated = watch->m_activated;
        activated();
    }

    int m_epoll = -1;
    QSocketNotifier* m_notifier = nullptr;
    QHash<int, Entry> m_entries;
    quint32 m_lastGeneration = 0;
};

SocketWatch::SocketWatch(int fd, Kind kind, std::function<void()> activated)
    : m_fd(fd), m_kind(kind), m_activated(std::move(activated))
{
    SocketPoller::instance().add(this);
}

SocketWatch::~SocketWatch()
{
    SocketPoller::instance().remove(this);
}

void SocketWatch::setEnabled(bool enabled)
{
    if (m_enabled == enabled)
        return;
    m_enabled = enabled;
    SocketPoller::instance().changed(this);
}

int SocketWatch::watchedSockets()
{
    return SocketPoller::instance().size();
}

} // namespace platform
