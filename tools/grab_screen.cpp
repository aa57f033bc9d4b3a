// Saves what an X display shows as a PNG, for the desktop tests and for anyone who wants to look.
//   pv_grab_screen OUT.png [--rect X,Y,W,H]     the screen of $DISPLAY, or a part of it
//   pv_grab_screen --diff A.png B.png [--rect X,Y,W,H]
//                                               prints how many pixels differ (within the part)
//   pv_grab_screen --count FILE.png RRGGBB [--rect X,Y,W,H]
//                                               prints how many pixels have exactly that colour
// Exits 1 when the screen cannot be read or a file cannot be written or read.
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QRect>
#include <QScreen>
#include <QStringList>

#include <cstdio>
#include <optional>

namespace {

std::optional<QRect> parseRect(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;
    int values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = parts[i].trimmed().toInt(&ok);
        if (!ok)
            return std::nullopt;
    }
    if (values[2] <= 0 || values[3] <= 0)
        return std::nullopt;
    return QRect(values[0], values[1], values[2], values[3]);
}

int usage()
{
    std::fprintf(stderr, "usage: pv_grab_screen OUT.png [--rect X,Y,W,H]\n"
                         "       pv_grab_screen --diff A.png B.png [--rect X,Y,W,H]\n"
                         "       pv_grab_screen --count FILE.png RRGGBB [--rect X,Y,W,H]\n");
    return 2;
}

// Pixels that differ between two pictures of one size, inside `part` (all when empty).
long differingPixels(const QImage& a, const QImage& b, QRect part)
{
    const QRect all(QPoint(0, 0), a.size());
    part = part.isNull() ? all : part.intersected(all);
    long count = 0;
    for (int y = part.top(); y <= part.bottom(); ++y)
        for (int x = part.left(); x <= part.right(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                ++count;
    return count;
}

long pixelsOfColour(const QImage& image, QRgb colour, QRect part)
{
    const QRect all(QPoint(0, 0), image.size());
    part = part.isNull() ? all : part.intersected(all);
    long count = 0;
    for (int y = part.top(); y <= part.bottom(); ++y)
        for (int x = part.left(); x <= part.right(); ++x)
            if ((image.pixel(x, y) & 0xffffff) == (colour & 0xffffff))
                ++count;
    return count;
}

} // namespace

int main(int argc, char* argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);

    QRect part;
    const int rectAt = args.indexOf(QStringLiteral("--rect"));
    if (rectAt >= 0) {
        if (rectAt + 1 >= args.size())
            return usage();
        const auto rect = parseRect(args[rectAt + 1]);
        if (!rect)
            return usage();
        part = *rect;
        args.remove(rectAt, 2);
    }

    if (!args.isEmpty() && args.first() == QLatin1String("--diff")) {
        if (args.size() != 3)
            return usage();
        const QImage a(args[1]);
        const QImage b(args[2]);
        if (a.isNull() || b.isNull()) {
            std::fprintf(stderr, "pv_grab_screen: cannot read %s\n", qPrintable(a.isNull() ? args[1] : args[2]));
            return 1;
        }
        if (a.size() != b.size()) {
            std::fprintf(stderr, "pv_grab_screen: the pictures differ in size\n");
            return 1;
        }
        std::printf("%ld\n", differingPixels(a.convertToFormat(QImage::Format_RGB32),
                                             b.convertToFormat(QImage::Format_RGB32), part));
        return 0;
    }

    if (!args.isEmpty() && args.first() == QLatin1String("--count")) {
        bool ok = false;
        const QRgb colour = args.size() == 3 ? args[2].toUInt(&ok, 16) : 0;
        if (!ok || args[2].size() != 6)
            return usage();
        const QImage image(args[1]);
        if (image.isNull()) {
            std::fprintf(stderr, "pv_grab_screen: cannot read %s\n", qPrintable(args[1]));
            return 1;
        }
        std::printf("%ld\n", pixelsOfColour(image.convertToFormat(QImage::Format_RGB32), colour, part));
        return 0;
    }

    if (args.size() != 1)
        return usage();
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "pv_grab_screen: DISPLAY is not set\n");
        return 1;
    }

    // The screen is read from the X server itself; never from an offscreen stand-in.
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication application(argc, argv);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        std::fprintf(stderr, "pv_grab_screen: no screen\n");
        return 1;
    }
    QPixmap picture = part.isNull() ? screen->grabWindow(0)
                                    : screen->grabWindow(0, part.x(), part.y(), part.width(), part.height());
    if (picture.isNull()) {
        std::fprintf(stderr, "pv_grab_screen: the screen could not be read\n");
        return 1;
    }
    if (!picture.save(args.first(), "PNG")) {
        std::fprintf(stderr, "pv_grab_screen: cannot write %s\n", qPrintable(args.first()));
        return 1;
    }
    return 0;
}
