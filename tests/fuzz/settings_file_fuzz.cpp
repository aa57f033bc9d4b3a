// The settings file. The input is a file followed by what to write into it: the value's bytes,
// their count (one byte) and the key and kind (one byte). Every key the program reads is read
// with every reader; then the key is written and the file read back: the key reads as written,
// every other section and key reads as before, and the value adds no section or key. Writing the
// same again changes nothing.
#include "tests/fuzz/fuzz_check.h"

#include "app/ini_file.h"
#include "app/settings.h"
#include "platform/cp1251.h"

#include <QList>
#include <QRegularExpression>

#include <cstdint>
#include <cstring>
#include <type_traits>

namespace {

// A key the program keeps in the file, with its default as a number or as a text.
struct Key {
    QString section;
    QString key;
    int integer = 0;
    QString text;
};

QList<Key> programKeys()
{
    QList<Key> keys;
    for (const settings::AnyKey& any : settings::table()) {
        std::visit([&](const auto& k) {
            Key key{QLatin1String(k.section), QLatin1String(k.name), 0, QString()};
            if constexpr (std::is_same_v<std::decay_t<decltype(k)>, settings::Key<QString>>)
                key.text = k.fallback;
            else
                key.integer = int(k.fallback);
            keys.append(key);
        }, any);
    }
    return keys;
}

const QList<Key> Keys = programKeys();
const int KeyCount = int(Keys.size());

// No value decodes to this, so it tells a missing key from an empty one.
const QString Missing(QChar(0xFFFF));

struct Pair {
    QString section, key;
};

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f';
}

QString trimBlanks(const QString& text)
{
    qsizetype begin = 0, end = text.size();
    while (begin < end && isBlank(text.at(begin)))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

bool sameName(const QString& a, const QString& b)
{
    return trimBlanks(a).compare(trimBlanks(b), Qt::CaseInsensitive) == 0;
}

// Names a reader might ask for: what looks like a section or a key in the file, each key with the
// section above it, and the words of the value that is about to be written. A rough cut on purpose:
// a name that is not in the file must simply stay missing.
QList<Pair> candidates(const QString& file, const QString& value, const Pair& written)
{
    QList<Pair> pairs;
    for (const Key& k : Keys)
        pairs.append({k.section, k.key});
    QString section;
    const QStringList lines = file.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    for (const QString& line : lines) {
        if (pairs.size() >= KeyCount + 24)
            break;
        const QString trimmed = trimBlanks(line);
        const qsizetype close = trimmed.indexOf(u']');
        if (trimmed.startsWith(u'[') && close > 0) {
            section = trimmed.mid(1, close - 1);
            pairs.append({section, written.key});
        } else if (const qsizetype eq = line.indexOf(u'='); eq > 0) {
            pairs.append({section, line.left(eq)});
        }
    }
    static const QRegularExpression separators(QStringLiteral("[\\s\\[\\]=;]+"));
    const QStringList words = value.split(separators, Qt::SkipEmptyParts).mid(0, 3);
    for (const QString& word : words) {
        pairs.append({written.section, word});
        pairs.append({word, written.key});
        for (const QString& other : words)
            pairs.append({word, other});
    }
    return pairs;
}

QList<QString> readAll(const TIniFile& ini, const QList<Pair>& pairs)
{
    QList<QString> values;
    for (const Pair& p : pairs)
        values.append(ini.ReadString(p.section, p.key, Missing));
    return values;
}

// What a string value reads back as when nothing about it is trimmed away.
bool readsBackAsIs(const QString& value)
{
    if (value.size() > TIniFile::MaxValueLength || value.contains(u'\r') || value.contains(u'\n'))
        return false;
    if (!value.isEmpty() && (isBlank(value.front()) || isBlank(value.back())))
        return false;
    return !(value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front());
}

QString g_path;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_path = fuzz::scratchFolder() + QStringLiteral("Pellavine.ini");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const int op = data[size - 1];
    const size_t valueSize = std::min<size_t>(data[size - 2], size - 2);
    const size_t fileSize = size - 2 - valueSize;
    const QByteArray file(reinterpret_cast<const char*>(data), qsizetype(fileSize));
    const QByteArray valueBytes(reinterpret_cast<const char*>(data + fileSize), qsizetype(valueSize));
    const Key& key = Keys[(op & 0x0F) % KeyCount];
    const int kind = (op >> 4) % 3; // written as a string, an integer or a boolean

    fuzz::writeFile(g_path, file);
    TIniFile ini(g_path);

    // Every key with every reader: the result is the value or the default, and the readers agree.
    for (const Key& k : Keys) {
        const QString& section = k.section;
        const QString& name = k.key;
        const QString text = ini.ReadString(section, name, k.text);
        FUZZ_CHECK(text.size() <= TIniFile::MaxValueLength);
        const int a = ini.ReadInteger(section, name, k.integer);
        const int b = ini.ReadInteger(section, name, k.integer + 1);
        FUZZ_CHECK(a == b || (a == k.integer && b == k.integer + 1), QStringLiteral("%1 %2").arg(a).arg(b));
        FUZZ_CHECK(ini.ReadBool(section, name, true) == (ini.ReadInteger(section, name, 1) != 0));
        FUZZ_CHECK(ini.ReadBool(section, name, false) == (ini.ReadInteger(section, name, 0) != 0));
    }

    const Pair written{key.section, key.key};
    const QString value = platform::fromCp1251(valueBytes);
    int number = 0;
    std::memcpy(&number, valueBytes.constData(), std::min<size_t>(valueSize, sizeof number));
    const QList<Pair> pairs = candidates(platform::fromCp1251(file), value, written);
    const QList<QString> before = readAll(ini, pairs);

    const auto write = [&] {
        try {
            if (kind == 0)
                ini.WriteString(written.section, written.key, value);
            else if (kind == 1)
                ini.WriteInteger(written.section, written.key, number);
            else
                ini.WriteBool(written.section, written.key, number & 1);
        } catch (const EIniFileException& e) {
            FUZZ_CHECK(false, e.message());
        }
    };
    write();
    const QByteArray afterBytes = fuzz::readFile(g_path);

    const QList<QString> after = readAll(ini, pairs);
    for (qsizetype i = 0; i < pairs.size(); ++i) {
        if (sameName(pairs[i].section, written.section) && sameName(pairs[i].key, written.key))
            continue;
        FUZZ_CHECK(after[i] == before[i], QStringLiteral("[%1] %2:").arg(pairs[i].section, pairs[i].key)
                                              + fuzz::describe(after[i], before[i]));
    }

    if (kind == 0) {
        const QString back = ini.ReadString(written.section, written.key, Missing);
        FUZZ_CHECK(back != Missing);
        if (readsBackAsIs(value))
            FUZZ_CHECK(back == value, back, value);
    } else if (kind == 1) {
        FUZZ_CHECK(ini.ReadInteger(written.section, written.key, 7) == number);
        FUZZ_CHECK(ini.ReadInteger(written.section, written.key, 8) == number);
    } else {
        FUZZ_CHECK(ini.ReadBool(written.section, written.key, !(number & 1)) == bool(number & 1));
        FUZZ_CHECK(ini.ReadString(written.section, written.key, Missing) == QLatin1String(number & 1 ? "1" : "0"));
    }

    write();
    FUZZ_CHECK(fuzz::readFile(g_path) == afterBytes, platform::fromCp1251(fuzz::readFile(g_path)),
               platform::fromCp1251(afterBytes));
    return 0;
}
