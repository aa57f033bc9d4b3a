#include "messaging/address_history.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <stdexcept>

class AddressHistoryTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parseLines_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("empty file") << QByteArray() << QStringList{};
        QTest::newRow("one line, CR LF") << QByteArray("server\r\n") << QStringList{"server"};
        QTest::newRow("no break after the last line") << QByteArray("a\r\nb") << QStringList{"a", "b"};
        QTest::newRow("lone CR LF is one empty entry") << QByteArray("\r\n") << QStringList{""};
        QTest::newRow("empty entry between") << QByteArray("a\r\n\r\nb\r\n") << QStringList{"a", "", "b"};
        QTest::newRow("lone LF and lone CR end lines") << QByteArray("a\nb\rc") << QStringList{"a", "b", "c"};
        QTest::newRow("LF CR is two breaks") << QByteArray("a\n\rb") << QStringList{"a", "", "b"};
        QTest::newRow("NUL ends the text") << QByteArray("a\r\nb\0c\r\nd", 10) << QStringList{"a", "b"};
        QTest::newRow("code page 1251") << QByteArray("\xf1\xe5\xf0\xe2\xe5\xf0\r\n\xa8\xb8\r\n")
                                        << QStringList{QStringLiteral("сервер"), QStringLiteral("Ёё")};
        QTest::newRow("blanks kept") << QByteArray("  host  \r\n") << QStringList{"  host  "};
    }
    void parseLines()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        QCOMPARE(addresses::parseLines(bytes), lines);
    }

    void formatLines_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty list, no bytes") << QStringList{} << QByteArray();
        QTest::newRow("one empty entry") << QStringList{""} << QByteArray("\r\n");
        QTest::newRow("order kept") << QStringList{"b", "a", "c"} << QByteArray("b\r\na\r\nc\r\n");
        QTest::newRow("code page 1251") << QStringList{QStringLiteral("Ёжик"), QStringLiteral("10.0.0.1")}
                                        << QByteArray("\xa8\xe6\xe8\xea\r\n10.0.0.1\r\n");
        QTest::newRow("outside the code page") << QStringList{QStringLiteral("日本 x")} << QByteArray("?? x\r\n");
        QTest::newRow("a name outside it, ACE") << QStringList{QStringLiteral("日本")} << QByteArray("xn--wgv71a\r\n");
    }
    void formatLines()
    {
        QFETCH(QStringList, entries);
        QFETCH(QByteArray, bytes);
        QCOMPARE(addresses::formatLines(entries), bytes);
    }

    // What is saved is what a later load gives back, and the file holds exactly the lines.
    void saveAndLoad_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("empty") << QStringList{};
        QTest::newRow("with an empty entry") << QStringList{"a", "", "b"};
        QTest::newRow("cyrillic and mixed case") << QStringList{QStringLiteral("Сервер"), "Host", "192.168.0.1"};
    }
    void saveAndLoad()
    {
        QFETCH(QStringList, entries);
        QTemporaryDir dir;
        const QString path = dir.filePath("Adrs.ini");
        // An older, longer file is replaced, not overwritten in place.
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write(QByteArray(500, 'x'));
        }
        addresses::save(path, entries);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), addresses::formatLines(entries));
        QCOMPARE(addresses::load(path), entries);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"Adrs.ini"}); // no leftovers
    }

    void failures_data()
    {
        QTest::addColumn<bool>("saving");
        QTest::addColumn<QString>("relative");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("load, missing") << false << "none/Adrs.ini" << "Cannot open file ";
        QTest::newRow("load, a folder") << false << "folder" << "Cannot open file ";
        QTest::newRow("save, missing folder") << true << "none/Adrs.ini" << "Cannot create file ";
        QTest::newRow("save, a folder in the way") << true << "folder" << "Cannot create file ";
    }
    void failures()
    {
        QFETCH(bool, saving);
        QFETCH(QString, relative);
        QFETCH(QString, prefix);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("folder"));
        const QString path = dir.filePath(relative);
        QString message;
        try {
            if (saving)
                addresses::save(path, {"a"});
            else
                addresses::load(path);
        } catch (const std::runtime_error& error) {
            message = QString::fromUtf8(error.what());
        }
        QCOMPARE(message, prefix + path);
        QVERIFY(QFileInfo(dir.filePath("folder")).isDir()); // nothing was put in its place
    }
};

QTEST_GUILESS_MAIN(AddressHistoryTest)
#include "address_history_test.moc"
