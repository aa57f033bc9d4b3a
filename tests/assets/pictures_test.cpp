#include "assets/pictures.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>
#include <QtTest>

namespace {

QImage argb(const QPixmap& pm)
{
    return pm.toImage().convertToFormat(QImage::Format_ARGB32);
}

bool near(QRgb a, QRgb b, int tolerance)
{
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance
        && qAbs(qBlue(a) - qBlue(b)) <= tolerance && qAbs(qAlpha(a) - qAlpha(b)) <= tolerance;
}

QString describe(QRgb c)
{
    return QStringLiteral("#%1").arg(c, 8, 16, QLatin1Char('0'));
}

// One row or column of a picture, read as a list of pixels.
QList<QRgb> line(const QImage& img, Qt::Orientation o, int index, int from = 0, int count = -1)
{
    const int length = o == Qt::Horizontal ? img.width() : img.height();
    if (count < 0)
        count = length - from;
    QList<QRgb> out;
    for (int i = from; i < from + count; ++i)
        out << (o == Qt::Horizontal ? img.pixel(i, index) : img.pixel(index, i));
    return out;
}

int saturation(const QImage& img)
{
    qint64 sum = 0;
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qAlpha(img.pixel(x, y)) > 128) {
                sum += QColor::fromRgb(img.pixel(x, y)).hsvSaturation();
                ++n;
            }
    return n ? int(sum / n) : 0;
}

} // namespace

class PicturesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void everyPicture_data();
    void everyPicture();
    void opaquePictures_data();
    void opaquePictures();
    void stretchedPiecesAreUniform_data();
    void stretchedPiecesAreUniform();
    void framePiecesMeetWithoutSeams_data();
    void framePiecesMeetWithoutSeams();
    void frameButtonsBlendIntoTitle_data();
    void frameButtonsBlendIntoTitle();
    void unknownNames_data();
    void unknownNames();
    void picturesAreCached();
    void iconsRenderSharplyAtEachSize_data();
    void iconsRenderSharplyAtEachSize();
    void trayIconsDiffer();
};

void PicturesTest::initTestCase()
{
    // Nothing of the library has run yet: the bundled files must be registered by linking alone.
    QVERIFY(QFile::exists(QStringLiteral(":/pictures/emblem.svg")));
}

void PicturesTest::everyPicture_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    const struct {
        const char* name;
        int w, h;
    } table[] = {
        {"frame_title_left", 88, 22}, {"frame_title_middle", 8, 22}, {"frame_title_right", 69, 22},
        {"frame_buttons", 21, 22}, {"frame_left", 3, 8}, {"frame_right", 3, 8}, {"frame_bottom", 8, 3},
        {"frame_bottom_left", 3, 3}, {"frame_bottom_right", 3, 3},
        {"button_main_up", 75, 23}, {"button_main_down", 75, 23}, {"button_main_hot", 75, 23},
        {"button_up", 75, 23}, {"button_down", 75, 23}, {"button_hot", 75, 23},
        {"close_up", 16, 16}, {"close_down", 16, 16}, {"close_hot", 16, 16},
        {"help_up", 16, 16}, {"help_down", 16, 16}, {"help_hot", 16, 16},
        {"welcome_skin", 289, 269}, {"emblem", 128, 128}, {"send_skin", 255, 112},
        {"about_logo", 52, 52}, {"about_icon", 48, 48},
        {"tray_listening", 16, 16}, {"tray_paused", 16, 16}, {"app_icon", 48, 48},
    };
    for (const auto& row : table)
        QTest::newRow(row.name) << QString::fromLatin1(row.name) << QSize(row.w, row.h);
}

void PicturesTest::everyPicture()
{
    QFETCH(QString, name);
    QFETCH(QSize, size);
    QVERIFY(assets::pictureNames().contains(name));
    QCOMPARE(assets::naturalSize(name), size);
    const QPixmap pm = assets::picture(name);
    QVERIFY(!pm.isNull());
    QCOMPARE(pm.size(), size);

    // Drawn, and not a single flat colour.
    const QImage img = argb(pm);
    int visible = 0;
    QSet<QRgb> colours;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            if (qAlpha(img.pixel(x, y)) > 0)
                ++visible;
            colours.insert(img.pixel(x, y));
        }
    QVERIFY2(visible >= img.width() * img.height() / 4, qPrintable(QString::number(visible)));
    QVERIFY(colours.size() >= 2);
}

void PicturesTest::opaquePictures_data()
{
    // Pictures that stand for a window's surface: any hole would show the wrong thing behind,
    // such as the frame buttons' own background in the window colour instead of the title bar.
    QTest::addColumn<QString>("name");
    for (const char* n : {"frame_title_left", "frame_title_middle", "frame_title_right", "frame_buttons",
                          "frame_left", "frame_right", "frame_bottom", "frame_bottom_left",
                          "frame_bottom_right", "close_up", "close_down", "close_hot", "help_up",
                          "help_down", "help_hot", "welcome_skin", "send_skin"})
        QTest::newRow(n) << QString::fromLatin1(n);
}

void PicturesTest::opaquePictures()
{
    QFETCH(QString, name);
    const QImage img = argb(assets::picture(name));
    QVERIFY(!img.isNull());
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            QVERIFY2(qAlpha(img.pixel(x, y)) == 255, qPrintable(QStringLiteral("hole at %1,%2").arg(x).arg(y)));
}

void PicturesTest::stretchedPiecesAreUniform_data()
{
    // A piece that the frame stretches must look the same all along the stretch.
    QTest::addColumn<QString>("name");
    QTest::addColumn<Qt::Orientation>("stretch");
    QTest::newRow("title middle") << QStringLiteral("frame_title_middle") << Qt::Horizontal;
    QTest::newRow("bottom") << QStringLiteral("frame_bottom") << Qt::Horizontal;
    QTest::newRow("left") << QStringLiteral("frame_left") << Qt::Vertical;
    QTest::newRow("right") << QStringLiteral("frame_right") << Qt::Vertical;
}

void PicturesTest::stretchedPiecesAreUniform()
{
    QFETCH(QString, name);
    QFETCH(Qt::Orientation, stretch);
    const QImage img = argb(assets::picture(name));
    const Qt::Orientation across = stretch == Qt::Horizontal ? Qt::Vertical : Qt::Horizontal;
    const int steps = stretch == Qt::Horizontal ? img.width() : img.height();
    const QList<QRgb> first = line(img, across, 0);
    for (int i = 1; i < steps; ++i)
        QCOMPARE(line(img, across, i), first);
}

void PicturesTest::framePiecesMeetWithoutSeams_data()
{
    // Neighbouring pieces of the composite frame: the last line of one against the first
    // line of the next.
    QTest::addColumn<QString>("a");
    QTest::addColumn<Qt::Orientation>("lineOrientation");
    QTest::addColumn<int>("lineA");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("lineB");
    const auto col = Qt::Vertical;
    const auto row = Qt::Horizontal;
    QTest::newRow("title left | middle") << QStringLiteral("frame_title_left") << col << 87 << QStringLiteral("frame_title_middle") << 0;
    QTest::newRow("title middle | right") << QStringLiteral("frame_title_middle") << col << 7 << QStringLiteral("frame_title_right") << 0;
    QTest::newRow("title right | buttons") << QStringLiteral("frame_title_right") << col << 68 << QStringLiteral("frame_buttons") << 0;
    QTest::newRow("left edge / corner") << QStringLiteral("frame_left") << row << 7 << QStringLiteral("frame_bottom_left") << 0;
    QTest::newRow("right edge / corner") << QStringLiteral("frame_right") << row << 7 << QStringLiteral("frame_bottom_right") << 0;
    QTest::newRow("corner | bottom") << QStringLiteral("frame_bottom_left") << col << 2 << QStringLiteral("frame_bottom") << 0;
    QTest::newRow("bottom | corner") << QStringLiteral("frame_bottom") << col << 7 << QStringLiteral("frame_bottom_right") << 0;
}

void PicturesTest::framePiecesMeetWithoutSeams()
{
    QFETCH(QString, a);
    QFETCH(Qt::Orientation, lineOrientation);
    QFETCH(int, lineA);
    QFETCH(QString, b);
    QFETCH(int, lineB);
    const QList<QRgb> la = line(argb(assets::picture(a)), lineOrientation, lineA);
    const QList<QRgb> lb = line(argb(assets::picture(b)), lineOrientation, lineB);
    QCOMPARE(la.size(), lb.size());
    for (int i = 0; i < la.size(); ++i)
        QVERIFY2(near(la[i], lb[i], 2), qPrintable(QStringLiteral("pixel %1: %2 vs %3").arg(i).arg(describe(la[i]), describe(lb[i]))));
}

void PicturesTest::frameButtonsBlendIntoTitle_data()
{
    // The 16x16 frame buttons sit 3 px from the top on the plain end of a title bar; their
    // edges must carry on the bar's colours. `x` is where the button's left column lands in the
    // picture behind it.
    QTest::addColumn<QString>("glyph");
    QTest::addColumn<QString>("behind");
    QTest::addColumn<int>("x");
    // Framed windows put the close button 20 or 21 px from the right edge and the help button
    // 18 or 19 px to its left: x 0..1 in the button corner, 50..52 in the right title piece.
    for (const char* state : {"up", "hot", "down"}) {
        const QString close = QStringLiteral("close_") + QLatin1String(state);
        const QString help = QStringLiteral("help_") + QLatin1String(state);
        for (int x : {0, 1})
            QTest::newRow(qPrintable(QStringLiteral("%1 on frame corner at %2").arg(close).arg(x))) << close << QStringLiteral("frame_buttons") << x;
        for (int x : {50, 51, 52})
            QTest::newRow(qPrintable(QStringLiteral("%1 on title right at %2").arg(help).arg(x))) << help << QStringLiteral("frame_title_right") << x;
        QTest::newRow(qPrintable(close + QStringLiteral(" on send skin"))) << close << QStringLiteral("send_skin") << 234;
        QTest::newRow(qPrintable(help + QStringLiteral(" on send skin"))) << help << QStringLiteral("send_skin") << 216;
    }
}

void PicturesTest::frameButtonsBlendIntoTitle()
{
    QFETCH(QString, glyph);
    QFETCH(QString, behind);
    QFETCH(int, x);
    const QImage g = argb(assets::picture(glyph));
    const QImage bar = argb(assets::picture(behind));
    // the outer ring of the button: every pressed or hovered look keeps inside it
    for (int i = 0; i < 16; ++i) {
        const QPoint ring[] = {{i, 0}, {i, 15}, {0, i}, {15, i}};
        for (const QPoint& p : ring) {
            const QRgb a = g.pixel(p);
            const QRgb b = bar.pixel(x + p.x(), 3 + p.y());
            QVERIFY2(near(a, b, 3), qPrintable(QStringLiteral("%1,%2: %3 vs %4").arg(p.x()).arg(p.y()).arg(describe(a), describe(b))));
        }
    }
}

void PicturesTest::unknownNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("empty") << QString();
    QTest::newRow("unknown") << QStringLiteral("no_such_picture");
    QTest::newRow("with extension") << QStringLiteral("emblem.svg");
    QTest::newRow("with folder") << QStringLiteral("pictures/emblem");
    QTest::newRow("climbing out") << QStringLiteral("../pictures/emblem");
    QTest::newRow("case differs") << QStringLiteral("Emblem");
}

void PicturesTest::unknownNames()
{
    QFETCH(QString, name);
    QVERIFY(assets::picture(name).isNull());
    QVERIFY(assets::icon(name).isNull());
    QVERIFY(!assets::naturalSize(name).isValid());
    // asking twice gives the same answer (the miss is remembered, not turned into an entry)
    QVERIFY(assets::picture(name).isNull());
}

void PicturesTest::picturesAreCached()
{
    const QPixmap a = assets::picture(QStringLiteral("welcome_skin"));
    const QPixmap b = assets::picture(QStringLiteral("welcome_skin"));
    QVERIFY(!a.isNull());
    QCOMPARE(a.cacheKey(), b.cacheKey());
}

void PicturesTest::iconsRenderSharplyAtEachSize_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("side");
    for (const char* n : {"tray_listening", "tray_paused", "app_icon"})
        for (int side : {16, 22, 24, 32, 48, 64})
            QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(QLatin1String(n)).arg(side))) << QString::fromLatin1(n) << side;
}

void PicturesTest::iconsRenderSharplyAtEachSize()
{
    QFETCH(QString, name);
    QFETCH(int, side);
    const QIcon icon = assets::icon(name);
    QVERIFY(!icon.isNull());
    const QImage got = argb(icon.pixmap(QSize(side, side)));
    QCOMPARE(got.size(), QSize(side, side));

    // Drawn straight from the vector picture at this size, not scaled from another size.
    QSvgRenderer renderer(QStringLiteral(":/pictures/%1.svg").arg(name));
    QImage want(side, side, QImage::Format_ARGB32_Premultiplied);
    want.fill(Qt::transparent);
    QPainter p(&want);
    p.setRenderHint(QPainter::Antialiasing);
    renderer.render(&p, QRectF(0, 0, side, side));
    p.end();
    want = want.convertToFormat(QImage::Format_ARGB32);
    int off = 0;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            if (!near(got.pixel(x, y), want.pixel(x, y), 8))
                ++off;
    QVERIFY2(off == 0, qPrintable(QStringLiteral("%1 pixels differ").arg(off)));
}

void PicturesTest::trayIconsDiffer()
{
    const QImage listening = argb(assets::icon(QStringLiteral("tray_listening")).pixmap(16, 16));
    const QImage paused = argb(assets::icon(QStringLiteral("tray_paused")).pixmap(16, 16));
    QCOMPARE(listening.size(), QSize(16, 16));
    QCOMPARE(paused.size(), QSize(16, 16));
    int differing = 0;
    int shown = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const QRgb a = listening.pixel(x, y);
            const QRgb b = paused.pixel(x, y);
            if (qAlpha(a) > 0 || qAlpha(b) > 0)
                ++shown;
            if (!near(a, b, 40))
                ++differing;
        }
    // told apart at a glance: most of the drawn pixels differ clearly ...
    QVERIFY2(differing * 2 > shown, qPrintable(QStringLiteral("%1 of %2").arg(differing).arg(shown)));
    // ... and the paused one is the greyed look
    QVERIFY2(saturation(paused) < 40, qPrintable(QString::number(saturation(paused))));
    QVERIFY2(saturation(listening) > 100, qPrintable(QString::number(saturation(listening))));
}

QTEST_MAIN(PicturesTest)
#include "pictures_test.moc"
