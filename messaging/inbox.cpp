#include "messaging/inbox.h"

#include <algorithm>

quint64 Inbox::add(ReceivedMessage message)
{
    message.id = ++lastId_;
    message.seen = false;
    unseenChars_ += message.text.size();
    ++unseen_;
    kept_.push_back(std::move(message));
    // The newest is never dropped; an older unseen one goes when there are too many.
    while (kept_.size() > 1 && (unseen_ > MaxUnseen || unseenChars_ > MaxUnseenChars)) {
        const ReceivedMessage& oldest = kept_.front();
        if (!oldest.seen) {
            --unseen_;
            unseenChars_ -= oldest.text.size();
        }
        kept_.pop_front();
    }
    dropSeen();
    return lastId_;
}

std::optional<ReceivedMessage> Inbox::newest() const
{
    if (kept_.empty())
        return std::nullopt;
    return kept_.back();
}

std::optional<ReceivedMessage> Inbox::newestUnseen(quint64 besides) const
{
    for (auto it = kept_.rbegin(); it != kept_.rend(); ++it) {
        if (!it->seen && it->id != besides)
            return *it;
    }
    return std::nullopt;
}

int Inbox::unseenBesides(quint64 besides) const
{
    const ReceivedMessage* message = find(besides);
    return unseen_ - (message && !message->seen ? 1 : 0);
}

bool Inbox::markSeen(quint64 id)
{
    auto* message = const_cast<ReceivedMessage*>(find(id));
    if (!message || message->seen)
        return false;
    message->seen = true;
    --unseen_;
    unseenChars_ -= message->text.size();
    if (seenHook_)
        seenHook_(*message);
    dropSeen();
    return true;
}

void Inbox::clear()
{
    auto hook = std::move(seenHook_);
    *this = Inbox{};
    seenHook_ = std::move(hook);
}

const ReceivedMessage* Inbox::find(quint64 id) const
{
    // Ids grow along the list.
    const auto it = std::lower_bound(kept_.begin(), kept_.end(), id,
                                     [](const ReceivedMessage& m, quint64 wanted) { return m.id < wanted; });
    return it != kept_.end() && it->id == id ? &*it : nullptr;
}

void Inbox::dropSeen()
{
    if (kept_.size() < 2)
        return;
    const auto end = std::prev(kept_.end());
    kept_.erase(std::remove_if(kept_.begin(), end, [](const ReceivedMessage& m) { return m.seen; }), end);
}

Inbox& inbox()
{
    static Inbox instance;
    return instance;
}
