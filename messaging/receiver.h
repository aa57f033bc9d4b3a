#pragma once
// The receiving end: what happens each time an accepted connection has data to read.
class TCustomWinSocket;

// At most this many bytes of one connection are taken as its message; the rest of what that
// connection sends is read and dropped, so one sender cannot make the program grow or stall.
inline constexpr int MaxMessageBytes = 64 * 1024;

void ReceiveMessage(TCustomWinSocket* Socket);
