#pragma once
// Received messages that the user has not seen yet, and the newest one: a message that comes
// while an earlier one is still unread no longer replaces it.
#include <QDateTime>
#include <QString>

#include <deque>
#include <functional>
#include <optional>

// One received message as the program keeps it.
struct ReceivedMessage {
    quint64 id = 0;      // 1, 2, ... in the order the messages were complete; 0 for none
    QDateTime arrived;   // local time of its first byte
    QString host;        // the sender's computer name; empty when it has none (or none in time)
    QString address;     // the sender's IPv4 address, dotted
    QString text;
    bool listed = false; // the sender was on the black list when it came
    // Seen: it was on screen in the viewer when the user closed the viewer, answered, or stepped
    // on to another message. Showing it alone is not enough (the user may be away), and a listed
    // sender's message that the user declined to view is not seen either.
    bool seen = false;
};

class Inbox {
public:
    // At most this many unseen messages, and characters of their texts, are kept; beyond
    // either the oldest unseen go. (64 KiB messages from a flood of senders would else fill
    // the memory.)
    static constexpr int MaxUnseen = 1000;
    static constexpr qsizetype MaxUnseenChars = 8 * 1024 * 1024;

    // Keeps a new message, not seen, as the newest; returns its id.
    quint64 add(ReceivedMessage message);
    std::optional<ReceivedMessage> newest() const;
    // The newest message not seen yet, other than the one with the id `besides`.
    std::optional<ReceivedMessage> newestUnseen(quint64 besides = 0) const;
    int unseenCount() const { return unseen_; }
    // Unseen messages other than the one with the id `besides`.
    int unseenBesides(quint64 besides) const;
    // Marks the message seen. False when it was seen already or is no longer kept.
    bool markSeen(quint64 id);
    // Called with the message each time one becomes seen (a journal keeps that with it).
    void setSeenHook(std::function<void(const ReceivedMessage&)> hook) { seenHook_ = std::move(hook); }
    // Forgets every message (tests); the hook stays.
    void clear();

private:
    const ReceivedMessage* find(quint64 id) const;
    void dropSeen();

    std::deque<ReceivedMessage> kept_; // oldest first: the unseen ones and the newest
    quint64 lastId_ = 0;
    int unseen_ = 0;
    qsizetype unseenChars_ = 0;
    std::function<void(const ReceivedMessage&)> seenHook_;
};

// The program's one inbox.
Inbox& inbox();
