#pragma once
// How the program reads and replaces its own files (settings, black list, address history).
#include <QByteArray>
#include <QString>

namespace platform {

// Replaces the file's contents whole: the bytes go to a temporary file in the same folder,
// which then takes the file's place. The old file stays as it was unless every byte was
// written. False on any failure.
bool replaceFile(const QString& path, const QByteArray& bytes);

enum class ReadResult { Read, Missing, Failed };

// Reads a regular file whole. Anything else at the path (a FIFO, a device, a folder) is never
// opened for reading and gives Failed, like a file that cannot be read, so a planted FIFO
// cannot hang the program. Missing: nothing at the path.
ReadResult readFile(const QString& path, QByteArray* bytes);
// The same, reading at most maxBytes; *cut tells whether the file holds more.
ReadResult readFile(const QString& path, QByteArray* bytes, qint64 maxBytes, bool* cut);

// The bytes up to and including the last line break (CR or LF): what a file cut short holds of
// whole lines.
QByteArray wholeLines(const QByteArray& bytes);

} // namespace platform
