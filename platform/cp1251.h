#pragma once
// Code page 1251, the program's text at every edge (wire, files). Our own table, so the result
// never depends on which converters the Qt build happens to carry.
#include <QByteArray>
#include <QString>

namespace platform {

// Every byte maps to one character; 0x98, unassigned in the code page, maps to U+0098 as on
// the original system, so any byte sequence survives a round trip.
QString fromCp1251(const QByteArray& bytes);

// One byte per character; a character the code page cannot hold becomes '?'.
QByteArray toCp1251(const QString& text);

} // namespace platform
