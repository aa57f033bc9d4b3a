#pragma once
#include <QByteArray>
#include <QString>

namespace platform {

// Replaces the file's contents whole: the bytes go to a temporary file in the same folder,
// which then takes the file's place. The old file stays as it was unless every byte was
// written. False on any failure.
bool replaceFile(const QString& path, const QByteArray& bytes);

} // namespace platform
