#pragma once
#include <QString>

namespace platform {

// The file itself when it exists; otherwise the one entry of its folder whose name differs
// only in letter case ("wnd.wav" finds "Wnd.wav"); otherwise the path unchanged.
QString findFileIgnoringCase(const QString& path);

} // namespace platform
