// Code page 1251 both ways. Bytes: decoding never fails, one character per byte, and encoding
// what was decoded gives the bytes back. The same input read as UTF-16 text: one byte per
// character (a surrogate pair is one character), and decoding that gives back every character
// the code page holds and '?' for any other.
#include "tests/fuzz/fuzz_check.h"

#include "platform/cp1251.h"

#include <QSet>

#include <cstdint>
#include <cstring>

namespace {

// The 256 characters of the code page, as the decoder gives them.
QSet<char16_t> g_codePage;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    QByteArray all(256, '\0');
    for (int i = 0; i < 256; ++i)
        all[i] = char(i);
    const QString decoded = platform::fromCp1251(all);
    for (const QChar c : decoded)
        g_codePage.insert(c.unicode());
    // Otherwise two bytes would decode alike and no encoder could give both back.
    FUZZ_CHECK(g_codePage.size() == 256, QStringLiteral("%1 distinct characters").arg(g_codePage.size()));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString text = platform::fromCp1251(bytes);
    FUZZ_CHECK(text.size() == bytes.size());
    FUZZ_CHECK(platform::toCp1251(text) == bytes);

    QString any(qsizetype(size / 2), Qt::Uninitialized);
    for (qsizetype i = 0; i < any.size(); ++i) {
        char16_t unit;
        std::memcpy(&unit, data + 2 * i, sizeof unit);
        any[i] = QChar(unit);
    }
    const QByteArray encoded = platform::toCp1251(any);
    const QString back = platform::fromCp1251(encoded);
    qsizetype at = 0;
    for (qsizetype i = 0; i < any.size(); ++i, ++at) {
        FUZZ_CHECK(at < back.size(), back, any);
        const char16_t c = any.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < any.size() && any.at(i + 1).isLowSurrogate()) {
            FUZZ_CHECK(back.at(at) == QLatin1Char('?'), back, any);
            ++i;
            continue;
        }
        const QChar expected = g_codePage.contains(c) ? QChar(c) : QLatin1Char('?');
        FUZZ_CHECK(back.at(at) == expected, back, any);
    }
    FUZZ_CHECK(at == back.size(), back, any);
    return 0;
}
