#pragma once
// Computer names of peers, found by reverse lookups on platform::nameServiceThreads(), a thread
// per address, so a lookup that hangs holds up no other address's. Answers, failures included,
// are remembered for a while, so a burst from one peer costs one lookup and a peer whose name
// server is dead or slow on purpose costs at most one waiting lookup at a time.
#include <QString>

#include <functional>

namespace net::peer_names {

// The name of a dotted address if an answer is remembered: true, with name (empty when the
// address has none).
bool known(const QString& address, QString& name);

// Starts a lookup of the address unless one is remembered or already under way. `answered`
// runs on the GUI thread's loop once an answer is remembered (never inside this call). True
// while a lookup of the address is under way, so an answer is still to come.
bool request(const QString& address);

// Runs on the GUI thread whenever a lookup ends; one listener (the receiving end).
void setAnswered(std::function<void(const QString& address)> answered);

inline constexpr int RememberMs = 60000;
// How long answers are remembered (ms). Tests shorten it.
void setRememberTime(int milliseconds);
// Forgets every answer, and drops those of lookups still under way (tests).
void forgetAll();

} // namespace net::peer_names
