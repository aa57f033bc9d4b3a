#include "app/ini_file.h"

#include "platform/cp1251.h"
#include "tests/support/unprivileged.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <csignal>

#include <sys/wait.h>
#include <unistd.h>

namespace {

// Test texts are written with "\n"; the program's own files end their lines in CR LF.
QByteArray crlf(const QString& text)
{
    QString copy = text;
    return platform::toCp1251(copy.replace(QStringLiteral("\n"), QStringLiteral("\r\n")));
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}

// The file the writer child keeps rewriting: a counter up front and a large body behind it,
// in long lines, so that putting the bytes on disk is a good part of each write.
QByteArray killTestFile(int counter)
{
    QByteArray bytes = "; written by a child that gets killed\r\n[config]\r\ncounter=";
    bytes += QByteArray::number(counter) + "\r\n\r\n";
    for (int i = 0; i < 16; ++i) {
        bytes += "[s" + QByteArray::number(i) + "]\r\n";
        for (int k = 0; k < 4; ++k)
            bytes += "key" + QByteArray::number(k) + "=" + QByteArray(3000, char('a' + (i + k) % 26)) + "\r\n";
    }
    return bytes;
}

// The child's loop: rewrite the counter until killed (should the parent be gone, for a few seconds).
int runWriter(const QString& path, int base)
{
    try {
        TIniFile ini(path);
        const QDeadlineTimer deadline(5000);
        for (int value = base; !deadline.hasExpired(); ++value)
            ini.WriteInteger(QStringLiteral("config"), QStringLiteral("counter"), value);
    } catch (const EIniFileException&) {
        return 1;
    }
    return 0;
}

} // namespace

class IniFileTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString path(const QString& name = QStringLiteral("Pellavine.ini")) const { return dir_.filePath(name); }

private Q_SLOTS:
    void initTestCase() { QVERIFY(dir_.isValid()); }
    void init() { QFile::remove(path()); }

    void readString_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("def");
        QTest::addColumn<QString>("expected");

        const QString longA(3000, u'a');
        const QString exact(TIniFile::MaxValueLength, u'b');

        QTest::newRow("plain") << "[last]\r\nadr=host1\r\n" << "last" << "adr" << "d" << "host1";
        QTest::newRow("missing file content") << "" << "last" << "adr" << "localhost" << "localhost";
        QTest::newRow("missing key") << "[last]\r\nother=x\r\n" << "last" << "adr" << "localhost" << "localhost";
        QTest::newRow("missing section") << "[config]\r\nadr=x\r\n" << "last" << "adr" << "localhost" << "localhost";
        QTest::newRow("key in another section only") << "[config]\r\nadr=x\r\n[last]\r\n" << "last" << "adr" << "d" << "d";
        QTest::newRow("empty value is not the default") << "[last]\r\nadr=\r\n" << "last" << "adr" << "d" << "";
        QTest::newRow("blank value is empty") << "[last]\r\nadr=   \t \r\n" << "last" << "adr" << "d" << "";
        QTest::newRow("key and section in other case") << "[Config]\r\nPORT=7\r\n" << "config" << "port" << "d" << "7";
        QTest::newRow("lookup in other case") << "[config]\r\nport=7\r\n" << "CONFIG" << "Port" << "d" << "7";
        QTest::newRow("cyrillic names in other case")
            << QStringLiteral("[Связь]\r\nАдрес=узел\r\n") << QStringLiteral("СВЯЗЬ") << QStringLiteral("адрес") << "d"
            << QStringLiteral("узел");
        QTest::newRow("cyrillic yo in other case")
            << QStringLiteral("[ёлка]\r\nk=1\r\n") << QStringLiteral("Ёлка") << "K" << "d" << "1";
        QTest::newRow("blanks around names and value")
            << "  [ last ]  \r\n \t adr \t=  host 2 \t\r\n" << "last" << "adr" << "d" << "host 2";
        QTest::newRow("double quotes dropped") << "[s]\r\nk=\"  a b  \"\r\n" << "s" << "k" << "d" << "  a b  ";
        QTest::newRow("single quotes dropped") << "[s]\r\nk= ' x' \r\n" << "s" << "k" << "d" << " x";
        QTest::newRow("only one pair of quotes") << "[s]\r\nk=\"\"x\"\"\r\n" << "s" << "k" << "d" << "\"x\"";
        QTest::newRow("mismatched quotes kept") << "[s]\r\nk=\"x'\r\n" << "s" << "k" << "d" << "\"x'";
        QTest::newRow("lone quote kept") << "[s]\r\nk=\"\r\n" << "s" << "k" << "d" << "\"";
        QTest::newRow("pair of quotes is empty") << "[s]\r\nk=''\r\n" << "s" << "k" << "d" << "";
        QTest::newRow("inner quotes kept") << "[s]\r\nk=a\"b\"\r\n" << "s" << "k" << "d" << "a\"b\"";
        QTest::newRow("equals sign in the value") << "[s]\r\nk=a=b\r\n" << "s" << "k" << "d" << "a=b";
        QTest::newRow("comment is not an entry") << "[s]\r\n;k=1\r\n  ; k=2\r\n" << "s" << "k" << "d" << "d";
        QTest::newRow("comment does not end the section") << "[s]\r\n; note\r\n\r\nk=1\r\n" << "s" << "k" << "d" << "1";
        QTest::newRow("entry before any section ignored") << "k=1\r\n[s]\r\n" << "s" << "k" << "d" << "d";
        QTest::newRow("header without bracket is no section") << "[s\r\nk=1\r\n" << "s" << "k" << "d" << "d";
        QTest::newRow("header without bracket does not end the section")
            << "[s]\r\n[t\r\nk=1\r\n" << "s" << "k" << "d" << "1";
        QTest::newRow("line without equals is no entry") << "[s]\r\nk\r\n" << "s" << "k" << "d" << "d";
        QTest::newRow("first of duplicate keys") << "[s]\r\nk=1\r\nK=2\r\n" << "s" << "k" << "d" << "1";
        QTest::newRow("key in second copy of a section") << "[s]\r\na=1\r\n[t]\r\nk=0\r\n[S]\r\nk=2\r\n" << "s" << "k" << "d" << "2";
        QTest::newRow("LF line ends") << "[s]\nk=1\nj=2\n" << "s" << "j" << "d" << "2";
        QTest::newRow("lone CR line ends") << "[s]\rk=1\rj=2\r" << "s" << "j" << "d" << "2";
        QTest::newRow("mixed line ends") << "[t]\r\n[s]\rk=1\nj=2" << "s" << "j" << "d" << "2";
        QTest::newRow("CR in the value ends the line") << "[s]\r\nk=a\rb=c\r\n" << "s" << "k" << "d" << "a";
        QTest::newRow("empty key never matches") << "[s]\r\n=1\r\n" << "s" << "" << "d" << "d";
        QTest::newRow("value cut at the limit") << "[s]\r\nk=" + longA + "\r\n" << "s" << "k" << "d"
                                                << longA.left(TIniFile::MaxValueLength);
        QTest::newRow("value at the limit") << "[s]\r\nk=" + exact + "\r\n" << "s" << "k" << "d" << exact;
        QTest::newRow("quotes dropped before the cut") << "[s]\r\nk='" + exact + "'\r\n" << "s" << "k" << "d" << exact;
        QTest::newRow("default cut at the limit") << "" << "s" << "k" << longA << longA.left(TIniFile::MaxValueLength);
    }
    void readString()
    {
        QFETCH(QString, content);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, def);
        QFETCH(QString, expected);
        if (!content.isEmpty())
            writeBytes(path(), platform::toCp1251(content));
        QCOMPARE(TIniFile(path()).ReadString(section, key, def), expected);
    }

    void readInteger_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("def");
        QTest::addColumn<int>("expected");

        QTest::newRow("decimal") << "2000" << 243 << 2000;
        QTest::newRow("leading zeros") << "007" << 243 << 7;
        QTest::newRow("plus sign") << "+5" << 243 << 5;
        QTest::newRow("minus sign") << "-150" << 243 << -150;
        QTest::newRow("0x hexadecimal") << "0x100" << 243 << 256;
        QTest::newRow("0X upper case") << "0XfF" << 243 << 255;
        QTest::newRow("dollar hexadecimal") << "$1F" << 243 << 31;
        QTest::newRow("signed dollar") << "-$10" << 243 << -16;
        QTest::newRow("quoted number") << "'12'" << 243 << 12;
        QTest::newRow("blanks trimmed") << "  12  " << 243 << 12;
        QTest::newRow("largest") << "2147483647" << 243 << 2147483647;
        QTest::newRow("smallest") << "-2147483648" << 243 << int(-2147483647 - 1);
        QTest::newRow("largest hexadecimal") << "0x7FFFFFFF" << 243 << 2147483647;
        QTest::newRow("smallest dollar") << "-$80000000" << 243 << int(-2147483647 - 1);
        QTest::newRow("zero") << "0" << 243 << 0;

        QTest::newRow("empty") << "" << 243 << 243;
        QTest::newRow("blank") << " " << 243 << 243;
        QTest::newRow("letters") << "abc" << 243 << 243;
        QTest::newRow("trailing letters") << "12abc" << 243 << 243;
        QTest::newRow("bare 0x") << "0x" << 243 << 243;
        QTest::newRow("bare dollar") << "$" << 243 << 243;
        QTest::newRow("bare plus") << "+" << 243 << 243;
        QTest::newRow("bare minus") << "-" << 77 << 77;
        QTest::newRow("double sign") << "--5" << 243 << 243;
        QTest::newRow("blank inside") << "1 2" << 243 << 243;
        QTest::newRow("blank inside quotes") << "\" 12\"" << 243 << 243;
        QTest::newRow("decimal point") << "1.5" << 243 << 243;
        QTest::newRow("bad hex digit") << "0x1G" << 243 << 243;
        QTest::newRow("hex digits without prefix") << "1F" << 243 << 243;
        QTest::newRow("sign after 0x") << "0x-1" << 243 << 243;
        QTest::newRow("sign before 0x") << "-0x10" << 243 << 243;
        QTest::newRow("dollar before sign") << "$-10" << 243 << 243;
        QTest::newRow("x without zero") << "x10" << 243 << 243;
        QTest::newRow("one past largest") << "2147483648" << 243 << 243;
        QTest::newRow("one past smallest") << "-2147483649" << 243 << 243;
        QTest::newRow("hexadecimal out of range") << "0x80000000" << 243 << 243;
        QTest::newRow("all ones is not minus one") << "0xFFFFFFFF" << 243 << 243;
        QTest::newRow("far too many digits") << "99999999999999999999999" << 243 << 243;
        QTest::newRow("cyrillic letters") << QStringLiteral("пять") << 243 << 243;
    }
    void readInteger()
    {
        QFETCH(QString, value);
        QFETCH(int, def);
        QFETCH(int, expected);
        writeBytes(path(), platform::toCp1251(QStringLiteral("[config]\r\nport=") + value + QStringLiteral("\r\n")));
        QCOMPARE(TIniFile(path()).ReadInteger(QStringLiteral("config"), QStringLiteral("port"), def), expected);
    }

    void readBool_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<bool>("def");
        QTest::addColumn<bool>("expected");

        QTest::newRow("one") << "snd=1" << false << true;
        QTest::newRow("zero") << "snd=0" << true << false;
        QTest::newRow("two is true") << "snd=2" << false << true;
        QTest::newRow("negative is true") << "snd=-1" << false << true;
        QTest::newRow("hexadecimal zero") << "snd=0x0" << true << false;
        QTest::newRow("hexadecimal non-zero") << "snd=$10" << false << true;
        QTest::newRow("word gives true default") << "snd=yes" << true << true;
        QTest::newRow("word gives false default") << "snd=true" << false << false;
        QTest::newRow("empty gives default") << "snd=" << true << true;
        QTest::newRow("missing gives true default") << "port=0" << true << true;
        QTest::newRow("missing gives false default") << "port=1" << false << false;
    }
    void readBool()
    {
        QFETCH(QString, content);
        QFETCH(bool, def);
        QFETCH(bool, expected);
        writeBytes(path(), crlf(QStringLiteral("[config]\n") + content + u'\n'));
        QCOMPARE(TIniFile(path()).ReadBool(QStringLiteral("config"), QStringLiteral("snd"), def), expected);
    }

    void missingFileGivesDefaults()
    {
        const TIniFile ini(path(QStringLiteral("absent/none.ini")));
        QCOMPARE(ini.ReadString(QStringLiteral("last"), QStringLiteral("adr"), QStringLiteral("localhost")),
                 QStringLiteral("localhost"));
        QCOMPARE(ini.ReadInteger(QStringLiteral("config"), QStringLiteral("port"), 243), 243);
        QCOMPARE(ini.ReadBool(QStringLiteral("config"), QStringLiteral("snd"), true), true);
        QVERIFY(!QFile::exists(ini.FileName()));
    }

    // Each write changes one key and leaves every other line of the file as it was.
    void write_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");

        const QString handEdited = QStringLiteral(
            "; Pellavine settings, edited by hand\n"
            "[config]\n"
            "port=243\n"
            "  sptime = 2000 \n"
            "a line nobody understands\n"
            "\n"
            "[sender]\n"
            "left=150\n"
            "\n"
            "; the last address\n"
            "\n"
            "[last]\n"
            "adr=\"host 1\"\n");
        QTest::newRow("hand-edited file keeps all but the key")
            << crlf(handEdited) << "config" << "sptime" << "3000"
            << crlf(QString(handEdited).replace(QStringLiteral("  sptime = 2000 "), QStringLiteral("sptime=3000")));
        QTest::newRow("key in other case keeps its spelling")
            << crlf("[Config]\nPORT=1\n") << "config" << "port" << "256" << crlf("[Config]\nPORT=256\n");
        QTest::newRow("new key before trailing blanks and comments")
            << crlf("[config]\nport=1\n\n; sender\n[sender]\nleft=1\n") << "CONFIG" << "snd" << "1"
            << crlf("[config]\nport=1\nsnd=1\n\n; sender\n[sender]\nleft=1\n");
        QTest::newRow("new key at the end of the last section")
            << crlf("[config]\nport=1\n[last]\nadr=a\n\n\n") << "last" << "x" << "2"
            << crlf("[config]\nport=1\n[last]\nadr=a\nx=2\n\n\n");
        QTest::newRow("new key when the last line has no line end")
            << QByteArray("[config]\r\nport=1") << "config" << "snd" << "0" << crlf("[config]\nport=1\nsnd=0\n");
        QTest::newRow("new key into an empty section")
            << crlf("[config]\n[last]\nadr=x\n") << "config" << "port" << "5" << crlf("[config]\nport=5\n[last]\nadr=x\n");
        QTest::newRow("commented-out key is not the key")
            << crlf("[config]\n;port=1\n") << "config" << "port" << "2" << crlf("[config]\nport=2\n;port=1\n");
        QTest::newRow("new section at the end")
            << crlf("[config]\nport=1\n") << "last" << "adr" << "h" << crlf("[config]\nport=1\n\n[last]\nadr=h\n");
        QTest::newRow("new section after a trailing blank line")
            << crlf("[config]\nport=1\n\n") << "last" << "adr" << "h" << crlf("[config]\nport=1\n\n[last]\nadr=h\n");
        QTest::newRow("new file") << QByteArray() << "last" << "adr" << "h" << crlf("[last]\nadr=h\n");
        QTest::newRow("empty file") << QByteArray("") << "last" << "adr" << "h" << crlf("[last]\nadr=h\n");
        QTest::newRow("first of duplicate keys replaced")
            << crlf("[config]\nport=1\nport=2\n") << "config" << "port" << "9" << crlf("[config]\nport=9\nport=2\n");
        QTest::newRow("key in the second copy of a section")
            << crlf("[config]\nport=1\n[config]\nsnd=0\n") << "config" << "snd" << "1"
            << crlf("[config]\nport=1\n[config]\nsnd=1\n");
        QTest::newRow("new key goes to the first copy of a section")
            << crlf("[config]\nport=1\n[config]\nsnd=0\n") << "config" << "sptime" << "5"
            << crlf("[config]\nport=1\nsptime=5\n[config]\nsnd=0\n");
        QTest::newRow("entry before any section is left alone")
            << crlf("port=1\n[config]\n") << "config" << "port" << "2" << crlf("port=1\n[config]\nport=2\n");
        QTest::newRow("header without bracket is no section")
            << crlf("[config\nport=1\n") << "config" << "port" << "2" << crlf("[config\nport=1\n\n[config]\nport=2\n");
        QTest::newRow("blanks in a header") << crlf("[ config ]\nport=1\n") << "config" << "port" << "2"
                                            << crlf("[ config ]\nport=2\n");
        QTest::newRow("LF line ends become CR LF")
            << QByteArray("[config]\nport=1\n;c\n") << "config" << "port" << "2" << crlf("[config]\nport=2\n;c\n");
        QTest::newRow("lone CR line ends become CR LF")
            << QByteArray("[config]\rport=1\r") << "config" << "port" << "2" << crlf("[config]\nport=2\n");
        QTest::newRow("value stored unchanged") << QByteArray() << "last" << "adr" << "  'x'  "
                                                << crlf("[last]\nadr=  'x'  \n");
        QTest::newRow("line breaks in a value stay on its line")
            << crlf("[last]\nadr=a\n") << "last" << "adr" << "b\r\n[config]\nport=1"
            << crlf("[last]\nadr=b  [config] port=1\n");
        QTest::newRow("empty value") << crlf("[last]\nadr=a\n") << "last" << "adr" << "" << crlf("[last]\nadr=\n");
        QTest::newRow("cyrillic key in other case")
            << crlf(QStringLiteral("[Связь]\nАдрес=a\n")) << QStringLiteral("связь") << QStringLiteral("АДРЕС") << "b"
            << crlf(QStringLiteral("[Связь]\nАдрес=b\n"));
    }
    void write()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        if (!before.isNull())
            writeBytes(path(), before);
        TIniFile ini(path());
        ini.WriteString(section, key, value);
        QCOMPARE(readBytes(path()), after);
    }

    // What a write puts on disk reads back the same, for the value types the program stores.
    void writeThenRead_data()
    {
        QTest::addColumn<int>("number");
        QTest::newRow("zero") << 0;
        QTest::newRow("port") << 243;
        QTest::newRow("negative position") << -150;
        QTest::newRow("largest") << 2147483647;
        QTest::newRow("smallest") << int(-2147483647 - 1);
    }
    void writeThenRead()
    {
        QFETCH(int, number);
        TIniFile ini(path());
        ini.WriteInteger(QStringLiteral("sender"), QStringLiteral("left"), number);
        QCOMPARE(readBytes(path()), crlf(QStringLiteral("[sender]\nleft=%1\n").arg(number)));
        QCOMPARE(ini.ReadInteger(QStringLiteral("sender"), QStringLiteral("left"), 150), number);
    }

    void boolWrittenBackAsOne()
    {
        writeBytes(path(), crlf(QStringLiteral("[config]\nsnd=2\nsptrans=-3\n")));
        TIniFile ini(path());
        const bool snd = ini.ReadBool(QStringLiteral("config"), QStringLiteral("snd"), false);
        const bool sptrans = ini.ReadBool(QStringLiteral("config"), QStringLiteral("sptrans"), false);
        QVERIFY(snd);
        QVERIFY(sptrans);
        ini.WriteBool(QStringLiteral("config"), QStringLiteral("snd"), snd);
        ini.WriteBool(QStringLiteral("config"), QStringLiteral("firststart"), false);
        QCOMPARE(readBytes(path()), crlf(QStringLiteral("[config]\nsnd=1\nsptrans=-3\nfirststart=0\n")));
    }

    // Bytes on disk are code page 1251, whatever the value holds.
    void codePage_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("readBack");
        QTest::newRow("russian") << QStringLiteral("Привет, мир") << QByteArray("\xcf\xf0\xe8\xe2\xe5\xf2, \xec\xe8\xf0")
                                 << QStringLiteral("Привет, мир");
        QTest::newRow("yo and euro") << QStringLiteral("Ёё€№") << QByteArray("\xa8\xb8\x88\xb9") << QStringLiteral("Ёё€№");
        QTest::newRow("outside the code page") << QStringLiteral("a✓日b") << QByteArray("a??b") << QStringLiteral("a??b");
    }
    void codePage()
    {
        QFETCH(QString, value);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, readBack);
        TIniFile ini(path());
        ini.WriteString(QStringLiteral("Связь"), QStringLiteral("Адрес"), value);
        // "[Связь]" and "Адрес" in code page 1251
        const QByteArray expected = QByteArray("[\xd1\xe2\xff\xe7\xfc]\r\n\xc0\xe4\xf0\xe5\xf1=") + bytes + "\r\n";
        QCOMPARE(readBytes(path()), expected);
        QCOMPARE(ini.ReadString(QStringLiteral("СВЯЗЬ"), QStringLiteral("адрес"), QString()), readBack);
    }

    // Nothing is remembered between calls: every call sees the file as it is now.
    void everyCallGoesToTheFile()
    {
        TIniFile first(path());
        TIniFile second(path());
        first.WriteInteger(QStringLiteral("config"), QStringLiteral("port"), 1);
        QCOMPARE(second.ReadInteger(QStringLiteral("config"), QStringLiteral("port"), 243), 1);

        writeBytes(path(), crlf(QStringLiteral("[config]\nport=2\n")));
        QCOMPARE(first.ReadInteger(QStringLiteral("config"), QStringLiteral("port"), 243), 2);

        second.WriteBool(QStringLiteral("config"), QStringLiteral("snd"), false);
        first.WriteInteger(QStringLiteral("config"), QStringLiteral("sptime"), 500);
        QCOMPARE(readBytes(path()), crlf(QStringLiteral("[config]\nport=2\nsnd=0\nsptime=500\n")));

        QVERIFY(QFile::remove(path()));
        QCOMPARE(first.ReadInteger(QStringLiteral("config"), QStringLiteral("port"), 243), 243);
    }

    void refusedWrite_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("existing");

        QTest::newRow("parent is a regular file") << "plain.txt/Pellavine.ini" << "config" << "port" << false;
        QTest::newRow("missing folder") << "no-such-folder/Pellavine.ini" << "config" << "port" << false;
        QTest::newRow("path is a folder") << "a-folder" << "config" << "port" << false;
        QTest::newRow("key holding an equals sign") << "Pellavine.ini" << "config" << "a=b" << true;
        QTest::newRow("empty key") << "Pellavine.ini" << "config" << "  " << true;
        QTest::newRow("section holding a bracket") << "Pellavine.ini" << "con]fig" << "port" << true;
        QTest::newRow("key holding a line break") << "Pellavine.ini" << "config" << "a\nb" << true;
    }
    void refusedWrite()
    {
        QFETCH(QString, target);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(bool, existing);
        writeBytes(path(QStringLiteral("plain.txt")), "not a folder");
        QVERIFY(QDir(dir_.path()).mkpath(QStringLiteral("a-folder")));
        const QByteArray original = crlf(QStringLiteral("[config]\nport=1\n"));
        if (existing)
            writeBytes(path(target), original);

        TIniFile ini(path(target));
        QString message;
        try {
            ini.WriteInteger(section, key, 5);
        } catch (const EIniFileException& e) {
            message = e.message();
            QCOMPARE(QString::fromUtf8(e.what()), message);
        }
        QCOMPARE(message, QStringLiteral("Unable to write to ") + path(target));
        if (existing)
            QCOMPARE(readBytes(path(target)), original);
        QCOMPARE(readBytes(path(QStringLiteral("plain.txt"))), QByteArray("not a folder"));
    }

    // Permission cases; root ignores file permissions, so under root they run as nobody.
    void refusedByPermissions_data()
    {
        QTest::addColumn<bool>("lockFolder");
        QTest::addColumn<bool>("lockFile");
        QTest::newRow("read-only folder") << true << false;
        QTest::newRow("unreadable file is not replaced") << false << true;
    }
    void refusedByPermissions()
    {
        QFETCH(bool, lockFolder);
        QFETCH(bool, lockFile);
        PV_RUN_UNPRIVILEGED();
        const QString folder = path(QStringLiteral("locked"));
        QVERIFY(QDir().mkpath(folder));
        const QString file = folder + QStringLiteral("/Pellavine.ini");
        const QByteArray original = crlf(QStringLiteral("[config]\nport=1\n"));
        writeBytes(file, original);
        const auto fullAccess = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
        if (lockFile)
            QVERIFY(QFile::setPermissions(file, QFileDevice::WriteOwner));
        if (lockFolder)
            QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));

        QString message;
        try {
            TIniFile(file).WriteInteger(QStringLiteral("config"), QStringLiteral("port"), 5);
        } catch (const EIniFileException& e) {
            message = e.message();
        }
        QFile::setPermissions(folder, fullAccess);
        QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QCOMPARE(message, QStringLiteral("Unable to write to ") + file);
        QCOMPARE(readBytes(file), original);
    }

    // A child process rewrites the file in a loop and is killed at random moments: the file
    // must always be whole and hold one of the values written, never an older one.
    void killDuringWrites()
    {
        const QString file = path(QStringLiteral("killed.ini"));
        writeBytes(file, killTestFile(1));
        TIniFile ini(file);
        // Kill within the first few writes, however fast the machine is at the moment.
        QElapsedTimer timer;
        timer.start();
        ini.WriteInteger(QStringLiteral("config"), QStringLiteral("counter"), 0);
        const int window = int(std::clamp<qint64>(timer.nsecsElapsed() / 1000 * 4, 1000, 200000));
        QCOMPARE(readBytes(file), killTestFile(0));
        int last = 0;
        int rounds = 0;
        int advanced = 0;
        QElapsedTimer elapsed;
        elapsed.start();
        while (elapsed.elapsed() < 1500) {
            // A plain fork: no start-up cost, so the kills come thick and land inside writes.
            const pid_t pid = fork();
            QVERIFY(pid >= 0);
            if (pid == 0)
                _exit(runWriter(file, last + 1));
            QThread::usleep(QRandomGenerator::global()->bounded(0, window));
            ::kill(pid, SIGKILL);
            int status = 0;
            QCOMPARE(waitpid(pid, &status, 0), pid);
            QVERIFY2(WIFSIGNALED(status), "the writer stopped by itself: a write failed");
            ++rounds;

            const int value = ini.ReadInteger(QStringLiteral("config"), QStringLiteral("counter"), -1);
            QVERIFY2(value >= last, qPrintable(QStringLiteral("round %1: %2 after %3").arg(rounds).arg(value).arg(last)));
            QVERIFY2(readBytes(file) == killTestFile(value), qPrintable(QStringLiteral("torn file in round %1").arg(rounds)));
            if (value > last)
                ++advanced;
            last = value;
        }
        // Without writes that got through, the checks above prove nothing.
        QVERIFY2(advanced > 0, qPrintable(QStringLiteral("no write finished in %1 rounds").arg(rounds)));
        qInfo("%d rounds, %d with finished writes, last value %d", rounds, advanced, last);
    }
};

PV_TEST_GUILESS_MAIN(IniFileTest)

#include "ini_file_test.moc"
