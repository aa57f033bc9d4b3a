#pragma once
// The settings file: a Windows-style private-profile (INI) file in code page 1251.
// Every call goes to the file itself; nothing is cached between calls, so two objects on the
// same path, or a hand edit between calls, always see the file as it is now.
#include <QByteArray>
#include <QString>

#include <exception>

// A write the file system refused. The writing handler stops at the key that failed.
class EIniFileException : public std::exception {
public:
    explicit EIniFileException(const QString& message);
    const QString& message() const { return message_; }
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    QString message_;
    QByteArray utf8_;
};

class TIniFile {
public:
    // Longest string a read returns, as the platform's profile reader does.
    static constexpr int MaxValueLength = 2047;

    explicit TIniFile(const QString& path);

    const QString& FileName() const { return path_; }

    // Section and key names match regardless of letter case. The value loses its outer
    // blanks and one pair of enclosing quotes. A missing file, section or key gives the default.
    QString ReadString(const QString& section, const QString& key, const QString& def) const;
    // Decimal with optional sign, "$" hexadecimal after the sign, or "0x"/"0X" hexadecimal;
    // empty, malformed or out-of-range values give the default.
    int ReadInteger(const QString& section, const QString& key, int def) const;
    // An integer; any non-zero value is true.
    bool ReadBool(const QString& section, const QString& key, bool def) const;

    // Creates the file, the section and the key as needed, replaces the key's value and keeps
    // every other line. The file is replaced atomically, and never when it could not be read
    // (or is no regular file). Throws EIniFileException on failure. An empty path (no data
    // folder) reads the defaults and writes nothing.
    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    void WriteBool(const QString& section, const QString& key, bool value);

    // The integer rules of ReadInteger on an already read string; false when it is not a number.
    static bool parseInteger(const QString& text, int* result);

private:
    [[noreturn]] void failWrite() const;

    QString path_;
};
