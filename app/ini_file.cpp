#include "app/ini_file.h"

#include "platform/atomic_file.h"
#include "platform/cp1251.h"

#include <QList>

#include <optional>

EIniFileException::EIniFileException(const QString& message)
    : message_(message)
    , utf8_(message.toUtf8())
{
}

namespace {

bool isBlank(QChar ch)
{
    const char16_t c = ch.unicode();
    return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f';
}

QString trimBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text.at(begin)))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

enum class Kind { Blank, Comment, Section, Entry, Other };

struct Line {
    QString text;
    Kind kind = Kind::Other;
    QString name; // section or key name, trimmed
    QString value; // raw text after the '=' of an entry
};

Line classify(const QString& text)
{
    Line line;
    line.text = text;
    const QString trimmed = trimBlanks(text);
    if (trimmed.isEmpty()) {
        line.kind = Kind::Blank;
    } else if (trimmed.startsWith(u';')) {
        line.kind = Kind::Comment;
    } else if (trimmed.startsWith(u'[')) {
        // Without its closing bracket a line is not a header; it is kept and never matched.
        const qsizetype close = trimmed.indexOf(u']');
        if (close > 0) {
            line.kind = Kind::Section;
            line.name = trimBlanks(trimmed.mid(1, close - 1));
        }
    } else if (const qsizetype eq = text.indexOf(u'='); eq >= 0) {
        line.kind = Kind::Entry;
        line.name = trimBlanks(text.left(eq));
        line.value = text.mid(eq + 1);
    }
    return line;
}

// Lines may end in CR LF, LF or a lone CR.
QList<Line> parse(const QString& content)
{
    QList<Line> lines;
    qsizetype start = 0;
    const qsizetype size = content.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar ch = content.at(i);
        if (ch != u'\r' && ch != u'\n')
            continue;
        lines.append(classify(content.mid(start, i - start)));
        if (ch == u'\r' && i + 1 < size && content.at(i + 1) == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < size)
        lines.append(classify(content.mid(start)));
    return lines;
}

bool sameName(const QString& a, const QString& b)
{
    return !a.isEmpty() && a.compare(b, Qt::CaseInsensitive) == 0;
}

// Index of the entry the key names: the first match in the first section of that name that
// holds it. Reads and writes both use this, so a write changes the very line a read returns.
qsizetype findEntry(const QList<Line>& lines, const QString& section, const QString& key)
{
    bool inSection = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const Line& line = lines.at(i);
        if (line.kind == Kind::Section)
            inSection = sameName(line.name, section);
        else if (inSection && line.kind == Kind::Entry && sameName(line.name, key))
            return i;
    }
    return -1;
}

qsizetype findSection(const QList<Line>& lines, const QString& section)
{
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines.at(i).kind == Kind::Section && sameName(lines.at(i).name, section))
            return i;
    }
    return -1;
}

// Missing file: no lines. Unreadable file, or no regular file: nullopt.
std::optional<QList<Line>> load(const QString& path)
{
    QByteArray bytes;
    switch (platform::readFile(path, &bytes)) {
    case platform::ReadResult::Missing:
        return QList<Line>();
    case platform::ReadResult::Failed:
        return std::nullopt;
    case platform::ReadResult::Read:
        break;
    }
    return parse(platform::fromCp1251(bytes));
}

QString unquote(const QString& value)
{
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == u'"' || first == u'\'') && value.back() == first)
            return value.mid(1, value.size() - 2);
    }
    return value;
}

std::optional<int> parseDigits(QStringView digits, int base, bool negative)
{
    if (digits.isEmpty())
        return std::nullopt;
    constexpr qint64 limit = qint64(1) << 31; // magnitude of the most negative int
    qint64 magnitude = 0;
    for (const QChar ch : digits) {
        const char16_t c = ch.unicode();
        int digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            return std::nullopt;
        magnitude = magnitude * base + digit;
        if (magnitude > limit)
            return std::nullopt;
    }
    if (negative)
        return int(-magnitude);
    if (magnitude == limit)
        return std::nullopt;
    return int(magnitude);
}

// Names come from the program itself; one that could not be read back is refused.
bool validName(const QString& name, const QString& forbidden)
{
    if (name.isEmpty())
        return false;
    for (const QChar ch : name) {
        if (ch == u'\r' || ch == u'\n' || forbidden.contains(ch))
            return false;
    }
    return true;
}

} // namespace

TIniFile::TIniFile(const QString& path)
    : path_(path)
{
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& def) const
{
    const std::optional<QList<Line>> lines = load(path_);
    if (lines) {
        const qsizetype index = findEntry(*lines, trimBlanks(section), trimBlanks(key));
        if (index >= 0)
            return unquote(trimBlanks(lines->at(index).value)).left(MaxValueLength);
    }
    return def.left(MaxValueLength);
}

bool TIniFile::parseInteger(const QString& text, int* result)
{
    std::optional<int> value;
    if (text.size() > 2 && text.at(0) == u'0' && (text.at(1) == u'x' || text.at(1) == u'X')) {
        value = parseDigits(QStringView(text).mid(2), 16, false);
    } else {
        qsizetype i = 0;
        bool negative = false;
        if (i < text.size() && (text.at(i) == u'+' || text.at(i) == u'-')) {
            negative = text.at(i) == u'-';
            ++i;
        }
        int base = 10;
        if (i < text.size() && text.at(i) == u'$') {
            base = 16;
            ++i;
        }
        value = parseDigits(QStringView(text).mid(i), base, negative);
    }
    if (!value)
        return false;
    *result = *value;
    return true;
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int def) const
{
    int value = def;
    if (!parseInteger(ReadString(section, key, QString()), &value))
        return def;
    return value;
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::failWrite() const
{
    throw EIniFileException(QStringLiteral("Unable to write to %1").arg(path_));
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    const QString sectionName = trimBlanks(section);
    const QString keyName = trimBlanks(key);
    if (!validName(sectionName, QStringLiteral("]")) || !validName(keyName, QStringLiteral("=")))
        failWrite();
    // No data folder this run: nothing is kept, as the user was told at the start.
    if (path_.isEmpty())
        return;

    // A file we cannot read is never replaced by one holding only this key.
    std::optional<QList<Line>> loaded = load(path_);
    if (!loaded)
        failWrite();
    QList<QString> lines;
    lines.reserve(loaded->size() + 3);
    for (const Line& line : *loaded)
        lines.append(line.text);

    // A line break inside the value would turn the rest of it into lines of their own.
    QString flat = value;
    flat.replace(u'\r', u' ').replace(u'\n', u' ');

    const qsizetype entry = findEntry(*loaded, sectionName, keyName);
    if (entry >= 0) {
        lines[entry] = loaded->at(entry).name + u'=' + flat;
    } else if (const qsizetype header = findSection(*loaded, sectionName); header >= 0) {
        // End of the section, then back over the blank lines and comments that lead to the next.
        qsizetype end = header + 1;
        while (end < loaded->size() && loaded->at(end).kind != Kind::Section)
            ++end;
        while (end > header + 1
               && (loaded->at(end - 1).kind == Kind::Blank || loaded->at(end - 1).kind == Kind::Comment))
            --end;
        lines.insert(end, keyName + u'=' + flat);
    } else {
        if (!loaded->isEmpty() && loaded->back().kind != Kind::Blank)
            lines.append(QString());
        lines.append(u'[' + sectionName + u']');
        lines.append(keyName + u'=' + flat);
    }

    QString text;
    for (const QString& line : lines)
        text += line + QStringLiteral("\r\n");
    const QByteArray bytes = platform::toCp1251(text);

    if (!platform::replaceFile(path_, bytes))
        failWrite();
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value)
{
    WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}
