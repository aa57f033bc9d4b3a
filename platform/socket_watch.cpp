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
        Entry& entry = entries_[watch->fd_];
        if (!entry.read && !entry.write)
            entry.generation = ++lastGeneration_;
        (watch->kind_ == SocketWatch::Read ? entry.read : entry.write) = watch;
        update(watch->fd_, entry);
    }

    void remove(SocketWatch* watch)
    {
        const auto it = entries_.find(watch->fd_);
        if (it == entries_.end())
            return;
        SocketWatch*& slot = watch->kind_ == SocketWatch::Read ? it->read : it->write;
        if (slot != watch)
            return;
        slot = nullptr;
        update(watch->fd_, *it);
        if (!it->read && !it->write)
            entries_.erase(it);
    }

    void changed(SocketWatch* watch)
    {
        const auto it = entries_.find(watch->fd_);
        if (it != entries_.end())
            update(watch->fd_, *it);
    }

    int size() const { return int(entries_.size()); }

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
        epoll_ = epoll_create1(EPOLL_CLOEXEC);
        if (epoll_ < 0) {
            std::fprintf(stderr, "pellavine: epoll_create1: %s\n", std::strerror(errno));
            return;
        }
        notifier_ = new QSocketNotifier(epoll_, QSocketNotifier::Read);
        QObject::connect(notifier_, &QSocketNotifier::activated, notifier_, [this] { dispatch(); });
    }

    static quint32 wanted(const Entry& entry)
    {
        quint32 events = 0;
        if (entry.read && entry.read->enabled_)
            events |= EPOLLIN | EPOLLRDHUP;
        if (entry.write && entry.write->enabled_)
            events |= EPOLLOUT;
        return events;
    }

    void update(int fd, Entry& entry)
    {
        if (epoll_ < 0)
            return;
        const quint32 events = wanted(entry);
        // Hang-ups are always reported by epoll, so a socket nobody listens to leaves the set.
        if (events == 0) {
            if (entry.registered)
                epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
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
        if (epoll_ctl(epoll_, entry.registered ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &event) == 0) {
            entry.registered = true;
            entry.events = events;
        }
    }

    void dispatch()
    {
        epoll_event ready[128];
        const int count = epoll_wait(epoll_, ready, 128, 0);
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
        const auto it = entries_.constFind(fd);
        if (it == entries_.constEnd() || it->generation != generation)
            return;
        SocketWatch* watch = kind == SocketWatch::Read ? it->read : it->write;
        if (!watch || !watch->enabled_ || !watch->activated_)
            return;
        const std::function<void()> activated = watch->activated_;
        activated();
    }

    int epoll_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    QHash<int, Entry> entries_;
    quint32 lastGeneration_ = 0;
};

SocketWatch::SocketWatch(int fd, Kind kind, std::function<void()> activated)
    : fd_(fd), kind_(kind), activated_(std::move(activated))
{
    SocketPoller::instance().add(this);
}

SocketWatch::~SocketWatch()
{
    SocketPoller::instance().remove(this);
}

void SocketWatch::setEnabled(bool enabled)
{
    if (enabled_ == enabled)
        return;
    enabled_ = enabled;
    SocketPoller::instance().changed(this);
}

int SocketWatch::watchedSockets()
{
    return SocketPoller::instance().size();
}

} // namespace platform
