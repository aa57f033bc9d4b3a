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

// The user's folder for the program on this computer, where nothing better is at hand:
// base/pellavine-UID (base: the temporary folder, $TMPDIR or /tmp). No '/' at the end.
QString localFolder(const QString& base);

// Why the folder may not hold the user's files, creating it (0700) when missing: empty when it
// is a real folder (no link) owned by this user with no access for others.
QString privateFolderProblem(const QString& path);

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
