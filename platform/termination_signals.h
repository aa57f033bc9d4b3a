#pragma once
#include <functional>

namespace platform {

// Turns SIGTERM, SIGINT and SIGHUP (logout, shutdown, Ctrl+C) into a call on the GUI thread's
// event loop, so the program can shut down in order instead of dying with its files unwritten.
// Call once, after the application object exists.
void onTerminationSignal(std::function<void(int signal)> handler);

} // namespace platform
