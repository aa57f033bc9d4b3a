#pragma once
// The receiving end: what happens each time an accepted connection has data to read.
#include <QString>
#include <QTime>

class TCustomWinSocket;

// At most this many bytes of one connection are taken as its message(s); the rest of what that
// connection sends is read and dropped, so one sender cannot make the program grow or stall.
inline constexpr int MaxMessageBytes = 64 * 1024;
// What one read notification drops of a connection past its share; the loop turns in between.
inline constexpr int DiscardChunkBytes = 64 * 1024;
// What peers may hold at the listener: connections from one address (a busy terminal server
// sending from many sessions at once stays well below it), connections in all, and how long a
// connection may stay open having sent nothing (ms).
inline constexpr int MaxConnectionsPerPeer = 32;
inline constexpr int MaxConnections = 512;
inline constexpr int IdleConnectionMs = 30000;
// How long a message waits for its sender's name before it is shown without one (ms).
inline constexpr int NameWaitMs = 2000;
// Messages that may wait for names at once; beyond this the oldest is shown at once.
inline constexpr int MaxWaitingMessages = 100;

// Arrival time as hours:minutes:seconds without leading zeros ("9:5:3").
QString ArrivalTimeText(const QTime& time);

// Takes what the connection has to read now as one message, stamped with its arrival time and
// the sender's address. The message is then shown (recorded, viewer filled, arrival sound,
// black list, tray tool tip) once the sender's name is known, or after NameWaitMs without one;
// messages are shown in the order they arrived. A notification that yields no bytes shows nothing.
void ReceiveMessage(TCustomWinSocket* Socket);

// Messages still waiting for a name are dropped (the program is ending).
void DropWaitingMessages();
int WaitingMessageCount();
// Tests shorten the wait for a name.
void SetNameWait(int milliseconds);
