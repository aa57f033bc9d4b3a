#pragma once
// The address history file: one recipient per line, code page 1251 (a name it cannot hold in
// ACE form, platform/host_names.h), lines ended by CR LF.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace addresses {

// CR LF, a lone CR and a lone LF each end a line; text after the last break is one more line;
// a NUL ends the text. An empty file holds no lines, a lone CR LF one empty line.
QStringList parseLines(const QByteArray& bytes);
// Every entry followed by CR LF; an empty list gives no bytes.
QByteArray formatLines(const QStringList& entries);

// What is read of the file at most; a larger one gives the whole lines of its start.
inline constexpr qint64 MaxFileBytes = 4 * 1024 * 1024;
// The file's lines. Throws std::runtime_error "Cannot open file <path>" when it cannot be read
// or is no regular file. *cut: the file is larger than MaxFileBytes.
QStringList load(const QString& path, bool* cut = nullptr);
// Replaces the file whole and atomically. Throws std::runtime_error "Cannot create file <path>".
void save(const QString& path, const QStringList& entries);

} // namespace addresses
