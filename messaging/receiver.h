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

// Arrival time as hours:minutes:seconds without leading zeros ("9:5:3").
QString ArrivalTimeText(const QTime& time);

// Takes what the connection has to read now as one message: records it, fills the viewer,
// plays the arrival sound, consults the black list and updates the tray tool tip. A
// notification that yields no bytes shows nothing.
void ReceiveMessage(TCustomWinSocket* Socket);
