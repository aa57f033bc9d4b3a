#include "platform/cp1251.h"

#include <array>

namespace platform {
namespace {

// Characters of the bytes 0x80 to 0xBF; 0xC0 to 0xFF are U+0410 to U+044F in order.
constexpr std::array<char16_t, 64> High = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // B8
};

char16_t decode(unsigned char byte)
{
    if (byte < 0x80)
        return byte;
    if (byte < 0xC0)
        return High[byte - 0x80];
    return char16_t(0x0410 + (byte - 0xC0));
}

int encode(char16_t ch)
{
    if (ch < 0x80)
        return ch;
    if (ch >= 0x0410 && ch <= 0x044F)
        return 0xC0 + (ch - 0x0410);
    for (int i = 0; i < 64; ++i) {
        if (High[i] == ch)
            return 0x80 + i;
    }
    return -1;
}

} // namespace

QString fromCp1251(const QByteArray& bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char byte : bytes)
        *out++ = QChar(decode(static_cast<unsigned char>(byte)));
    return text;
}

QByteArray toCp1251(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t ch = text.at(i).unicode();
        // A surrogate pair is one character that the code page cannot hold: one '?'.
        if (QChar::isHighSurrogate(ch) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        const int byte = encode(ch);
        bytes.append(byte < 0 ? '?' : static_cast<char>(byte));
    }
    return bytes;
}

} // namespace platform
