#pragma once
// The receiving end: what happens each time an accepted connection has data to read.
#include <QString>
#include <QTime>

class TCustomWinSocket;

// At most this many bytes of one connection are taken; the rest of what that connection sends
// is read and dropped, so one sender cannot make the program grow or stall.
inline constexpr int MaxMessageBytes = 64 * 1024;
// What one read notification drops of a connection past its share; the loop turns in between.
inline constexpr int DiscardChunkBytes = 64 * 1024;
// What peers may hold at the listener at most: connections from one address (a busy terminal
// server sending from many sessions at once stays well below it), connections in all, and how
// long a connection may stay open having sent nothing (ms).
inline constexpr int MaxConnectionsPerPeer = 32;
inline constexpr int MaxConnections = 512;
inline constexpr int IdleConnectionMs = 30000;
// How long a connection may stay open from its accept (ms); what came by then is its message.
// 32,767 characters take 4 s over a 64 kbit/s link; this leaves room for one less than half as
// fast, and a peer that drips holds its place no longer.
inline constexpr int ConnectionLifeMs = 10000;

// Descriptors kept for everything but connections: a thread per hanging name lookup (its event
// dispatcher's wake-up descriptor and the resolver's socket: GLib ends the process when a new
// thread finds no descriptor), the window system, the buses, the files, the journal, the sound
// server, the event loop's own.
inline constexpr long ReservedDescriptors = 192;
// Fewer connections at once than this, and the user hears of it at the start.
inline constexpr int FewConnections = 64;

struct ConnectionLimits {
    int perPeer = MaxConnectionsPerPeer;
    int total = MaxConnections;
    // So few that a busy network may find the program full; worth telling.
    bool cramped = false;
};
// What the listener may hold under the descriptor limit (0: unknown, -1: none): never so much
// that the window system or a file finds no descriptor left.
ConnectionLimits connectionLimitsFor(long descriptors);
// The start's notice of a cramped limit.
QString crampedLimitText(long descriptors, const ConnectionLimits& limits);
// How long a message waits for its sender's name before it is shown without one (ms).
inline constexpr int NameWaitMs = 2000;
// While the black list has entries, a message whose sender's lookup is still under way waits
// for it as long as the resolver takes, up to this (ms): glibc's longest with its defaults
// (5 s, two attempts, three servers), so a listed computer never passes unasked because its
// name came late. Messages behind it wait too.
inline constexpr int ListedNameWaitMs = 30000;
// Messages that may wait for names at once; beyond this the oldest is shown at once.
inline constexpr int MaxWaitingMessages = 100;

// Arrival time as hours:minutes:seconds without leading zeros ("9:5:3").
QString arrivalTimeText(const QTime& time);

// A connection that has sent something and then nothing for this long has sent its message
// (ms). Every sender of ours closes at once after writing; this is for a peer that writes and
// keeps the connection open. Longer than a lost segment takes to come again on a LAN or a VPN
// (twice over), short enough that such a peer's message is not noticeably late.
inline constexpr int QuietMs = 1000;

// Takes what the connection has to read now and joins it to what the connection brought
// before: one connection, one message, however the network splits it. The message is complete
// when the connection ends (the sender closes or resets it, it is closed as idle or the server
// pauses), when the connection's share of MaxMessageBytes is reached, or when it has been quiet
// for QuietMs (what follows then is the next message). Its arrival time is that of its first byte. A complete message is shown
// (recorded, viewer filled, arrival sound, black list, tray tool tip) once the sender's name is
// known, or after NameWaitMs without one; messages are shown in the order they were complete,
// so a long or slow one holds up no other. A notification that yields no bytes shows nothing.
void receiveMessage(TCustomWinSocket* Socket);

// Messages still waiting for a name are dropped (the program is ending).
void dropWaitingMessages();
int waitingMessageCount();
// Tests shorten the wait for a name, and the quiet time.
void setNameWait(int milliseconds);
void setListedNameWait(int milliseconds);
void setQuietTime(int milliseconds);
