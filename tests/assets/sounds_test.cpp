#include <QDir>
#include <QFile>
#include <QtEndian>
#include <QtTest>

namespace {

struct Wave {
    QString error;
    quint16 format = 0;
    quint16 channels = 0;
    quint32 rate = 0;
    quint32 byteRate = 0;
    quint16 blockAlign = 0;
    quint16 bits = 0;
    QList<qint16> samples;
};

Wave failed(const QString& why)
{
    Wave w;
    w.error = why;
    return w;
}

quint16 u16(const QByteArray& b, qsizetype at)
{
    return qFromLittleEndian<quint16>(b.constData() + at);
}

quint32 u32(const QByteArray& b, qsizetype at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}

// Reads a RIFF/WAVE file chunk by chunk, as a player would.
Wave readWave(const QByteArray& b)
{
    Wave w;
    if (b.size() < 12 || !b.startsWith("RIFF") || b.mid(8, 4) != "WAVE")
        return failed(QStringLiteral("not a RIFF/WAVE file"));
    if (u32(b, 4) != quint32(b.size() - 8))
        return failed(QStringLiteral("RIFF size %1, file %2").arg(u32(b, 4)).arg(b.size()));
    bool haveFormat = false;
    bool haveData = false;
    qsizetype at = 12;
    while (at + 8 <= b.size()) {
        const QByteArray id = b.mid(at, 4);
        const quint32 size = u32(b, at + 4);
        const qsizetype body = at + 8;
        if (body + qsizetype(size) > b.size())
            return failed(QStringLiteral("chunk %1 runs past the end").arg(QString::fromLatin1(id)));
        if (id == "fmt ") {
            if (size < 16)
                return failed(QStringLiteral("short format chunk"));
            w.format = u16(b, body);
            w.channels = u16(b, body + 2);
            w.rate = u32(b, body + 4);
            w.byteRate = u32(b, body + 8);
            w.blockAlign = u16(b, body + 12);
            w.bits = u16(b, body + 14);
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat)
                return failed(QStringLiteral("data before format"));
            if (size % 2)
                return failed(QStringLiteral("odd data size"));
            for (quint32 i = 0; i < size; i += 2)
                w.samples << qint16(u16(b, body + i));
            haveData = true;
        }
        at = body + size + (size & 1);
    }
    if (!haveFormat || !haveData)
        return failed(QStringLiteral("format or data chunk missing"));
    return w;
}

} // namespace

class SoundsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void generatedSound_data();
    void generatedSound();
    void readerRejectsBrokenFiles_data();
    void readerRejectsBrokenFiles();
};

void SoundsTest::generatedSound_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<double>("minSeconds");
    QTest::addColumn<double>("maxSeconds");
    QTest::newRow("send") << QStringLiteral("Send.wav") << 0.25 << 0.40;
    QTest::newRow("window") << QStringLiteral("Wnd.wav") << 0.10 << 0.20;
    QTest::newRow("message") << QStringLiteral("Msg.wav") << 0.50 << 0.75;
}

void SoundsTest::generatedSound()
{
    QFETCH(QString, file);
    QFETCH(double, minSeconds);
    QFETCH(double, maxSeconds);
    const QString dir = qEnvironmentVariable("PELLAVINE_BIN_DIR");
    QVERIFY2(!dir.isEmpty(), "PELLAVINE_BIN_DIR is not set");
    QFile f(QDir(dir).filePath(file));
    QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(f.fileName()));
    const Wave w = readWave(f.readAll());
    QVERIFY2(w.error.isEmpty(), qPrintable(w.error));

    QCOMPARE(w.format, quint16(1)); // PCM
    QCOMPARE(w.channels, quint16(1));
    QCOMPARE(w.rate, quint32(22050));
    QCOMPARE(w.bits, quint16(16));
    QCOMPARE(w.blockAlign, quint16(2));
    QCOMPARE(w.byteRate, quint32(44100));

    const double seconds = double(w.samples.size()) / w.rate;
    QVERIFY2(seconds >= minSeconds && seconds <= maxSeconds, qPrintable(QString::number(seconds)));

    int peak = 0;
    for (qint16 s : w.samples)
        peak = qMax(peak, qAbs(int(s)));
    // never clipped, moderate, but clearly audible
    QVERIFY2(peak < 32767 * 8 / 10, qPrintable(QString::number(peak)));
    QVERIFY2(peak > 32767 / 5, qPrintable(QString::number(peak)));

    // faded in and out: no click at either end
    const int edge = 32767 / 100;
    QVERIFY2(qAbs(int(w.samples.first())) <= edge, qPrintable(QString::number(w.samples.first())));
    QVERIFY2(qAbs(int(w.samples.last())) <= edge, qPrintable(QString::number(w.samples.last())));
    for (int i = 0; i < 10; ++i) {
        QVERIFY(qAbs(int(w.samples[i])) <= 4 * edge);
        QVERIFY(qAbs(int(w.samples[w.samples.size() - 1 - i])) <= 4 * edge);
    }
}

void SoundsTest::readerRejectsBrokenFiles_data()
{
    // The checks above are only as good as the reader: it must not pass a damaged file.
    QByteArray good("RIFF", 4);
    good += QByteArray(4, 0) + "WAVE" + "fmt " + QByteArray::fromHex("10000000" "0100" "0100" "22560000" "44ac0000" "0200" "1000")
        + "data" + QByteArray::fromHex("04000000" "01000200");
    qToLittleEndian<quint32>(quint32(good.size() - 8), good.data() + 4);

    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("valid");
    QTest::newRow("good") << good << true;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("not wave") << QByteArray(good).replace(8, 4, "AVI ") << false;
    QTest::newRow("wrong riff size") << QByteArray(good).append(2, '\0') << false;
    QByteArray truncated = good.left(good.size() - 2);
    qToLittleEndian<quint32>(quint32(truncated.size() - 8), truncated.data() + 4);
    QTest::newRow("data runs past the end") << truncated << false;
    QByteArray noData = good.left(12 + 8 + 16);
    qToLittleEndian<quint32>(quint32(noData.size() - 8), noData.data() + 4);
    QTest::newRow("no data chunk") << noData << false;
}

void SoundsTest::readerRejectsBrokenFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, valid);
    const Wave w = readWave(bytes);
    QCOMPARE(w.error.isEmpty(), valid);
    if (valid) {
        QCOMPARE(w.samples, (QList<qint16>{1, 2}));
        QCOMPARE(w.rate, quint32(22050));
    }
}

QTEST_GUILESS_MAIN(SoundsTest)
#include "sounds_test.moc"
