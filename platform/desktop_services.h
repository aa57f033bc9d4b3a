#pragma once
// The real services on a Linux desktop. Reached through platform::dialogs() and friends.
#include "platform/platform.h"

namespace platform::desktop {

Dialogs& dialogs();
Sound& sound();
Shell& shell();
Paths& paths();
Clock& clock();
WindowSystem& windowSystem();
NameService& nameService();

// The per-user data folder for the given environment (XDG_CONFIG_HOME, HOME, the password
// database's home), else a folder of the user's in fallbackBase (the shared temporary folder;
// *inFallback tells). Never the file-system root. Ends in '/'. Exposed for tests.
QString dataDirFor(const QString& xdgConfigHome, const QString& home, const QString& passwdHome,
                   const QString& fallbackBase, bool* inFallback = nullptr);

// The data folder as the program uses it: the user's own folders are made as needed; one in
// the shared fallbackBase is made private (0700) and used only if it and the program's folder
// in it are real folders of this user that nobody else can enter. Otherwise empty, with the
// report for the user in *problem. Exposed for tests.
QString usableDataDir(const QString& xdgConfigHome, const QString& home, const QString& passwdHome,
                      const QString& fallbackBase, QString* problem);

// Whether anything could play a sound: a PulseAudio (or PipeWire) server named or listening for
// the user or the system, or a sound card with a playback device. `root` prefixes /dev and /run
// (tests). Exposed for tests.
bool soundOutputPossible(const QString& pulseServer, const QString& runtimeDir, const QString& root);

} // namespace platform::desktop
