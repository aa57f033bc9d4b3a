#pragma once
// Computer names at the program's edges. The system's resolver speaks UTF-8 (names from
// /etc/hosts, mDNS or a Windows DNS server are raw UTF-8); the program's files speak code page 1251.
#include <QByteArray>
#include <QString>

namespace platform {

// A name as the resolver gives it: UTF-8, each label in ACE form ("xn--...") in its Unicode form.
QString hostNameFromResolver(const QByteArray& bytes);

// A name for a code page 1251 file: as it is where the code page holds it, else in its ACE form
// (ASCII), else with '?' for what the code page lacks, as any text.
QByteArray hostNameToCp1251(const QString& name);
// A line of such a file: in ACE form, and written so because the code page cannot hold the name,
// it is the name in its Unicode form; any other line is the name as it stands. So a file read
// and written again keeps its bytes.
QString hostNameFromCp1251(const QByteArray& bytes);

} // namespace platform
