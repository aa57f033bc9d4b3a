// Renders the program's pictures to PNG files for a visual check: each picture at its natural
// size and enlarged, a framed window put together from the frame pieces, the button faces with
// captions and the tray icons at their usual sizes.
//
//   pv_render_pictures <output folder>

#include "assets/pictures.h"

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QPainter>

#include <cstdio>

namespace {

QImage checkerboard(const QSize& size)
{
    QImage img(size, QImage::Format_ARGB32);
    QPainter p(&img);
    for (int y = 0; y < size.height(); y += 8)
        for (int x = 0; x < size.width(); x += 8)
            p.fillRect(x, y, 8, 8, ((x + y) / 8) % 2 ? QColor(0xCC, 0xCC, 0xCC) : QColor(0xF4, 0xF4, 0xF4));
    return img;
}

QImage enlarged(const QPixmap& pm, int factor)
{
    const QSize size = pm.size() * factor;
    QImage img = checkerboard(size);
    QPainter p(&img);
    p.drawPixmap(QRect(QPoint(0, 0), size), pm);
    return img;
}

void drawFace(QPainter& p, const QRect& r, const QString& face, const QString& caption)
{
    p.drawPixmap(r, assets::picture(face));
    p.setPen(QColor(0x59, 0x59, 0x00));
    p.drawText(r, Qt::AlignCenter, caption);
}

// A composite window as the frame code lays it out: W x H with the nine pieces.
QImage framedWindow(int w, int h, const QString& closeState, const QString& helpState)
{
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(QColor(0xF6, 0xF9, 0xEC));
    QPainter p(&img);
    p.drawPixmap(0, 0, assets::picture(QStringLiteral("frame_title_left")));
    const int rightStart = w - 21 - 69;
    p.drawPixmap(QRect(88, 0, rightStart - 88, 22), assets::picture(QStringLiteral("frame_title_middle")));
    p.drawPixmap(rightStart, 0, assets::picture(QStringLiteral("frame_title_right")));
    p.drawPixmap(w - 21, 0, assets::picture(QStringLiteral("frame_buttons")));
    p.drawPixmap(QRect(0, 22, 3, h - 25), assets::picture(QStringLiteral("frame_left")));
    p.drawPixmap(QRect(w - 3, 22, 3, h - 25), assets::picture(QStringLiteral("frame_right")));
    p.drawPixmap(QRect(3, h - 3, w - 6, 3), assets::picture(QStringLiteral("frame_bottom")));
    p.drawPixmap(0, h - 3, assets::picture(QStringLiteral("frame_bottom_left")));
    p.drawPixmap(w - 3, h - 3, assets::picture(QStringLiteral("frame_bottom_right")));
    p.drawPixmap(w - 21, 3, assets::picture(closeState));
    p.drawPixmap(w - 21 - 18, 3, assets::picture(helpState));
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(11);
    p.setFont(f);
    p.fillRect(QRect(12, 40, w - 24, 100), QColor(0xD7, 0xD7, 0x00));
    p.fillRect(QRect(13, 41, w - 26, 98), QColor(0xED, 0xF2, 0xD8));
    p.setPen(QColor(0x59, 0x59, 0x00));
    p.drawText(QRect(18, 46, w - 36, 90), Qt::TextWordWrap, QStringLiteral("Текст сообщения в поле #EDF2D8."));
    drawFace(p, QRect(w / 2 - 100, h - 36, 95, 23), QStringLiteral("button_main_up"), QStringLiteral("OK"));
    drawFace(p, QRect(w / 2 + 5, h - 36, 75, 23), QStringLiteral("button_up"), QStringLiteral("Отмена"));
    return img;
}

QImage scaled(const QImage& img, int factor)
{
    return img.scaled(img.size() * factor, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

QImage buttonSheet()
{
    QImage img(2 * 110 + 20, 3 * 33 + 20, QImage::Format_ARGB32);
    img.fill(QColor(0xF6, 0xF9, 0xEC));
    QPainter p(&img);
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(11);
    p.setFont(f);
    const QStringList states = {QStringLiteral("up"), QStringLiteral("hot"), QStringLiteral("down")};
    for (int row = 0; row < states.size(); ++row) {
        drawFace(p, QRect(10, 10 + row * 33, 95, 23), QStringLiteral("button_main_") + states[row], QStringLiteral("Отправить"));
        drawFace(p, QRect(125, 10 + row * 33, 75, 23), QStringLiteral("button_") + states[row], QStringLiteral("Отмена"));
        p.drawPixmap(210, 13 + row * 33, assets::picture(QStringLiteral("close_") + states[row]));
    }
    return img;
}

QImage traySheet()
{
    const QList<int> sizes = {16, 22, 24, 32, 48};
    QImage img(420, 200, QImage::Format_ARGB32);
    img.fill(QColor(0xE8, 0xE8, 0xE8));
    QPainter p(&img);
    p.fillRect(0, 100, 420, 100, QColor(0x30, 0x30, 0x30));
    const QStringList names = {QStringLiteral("tray_listening"), QStringLiteral("tray_paused"), QStringLiteral("app_icon")};
    for (int band = 0; band < 2; ++band) {
        int x = 8;
        for (const QString& name : names) {
            for (int s : sizes) {
                p.drawPixmap(x, band * 100 + 8 + (48 - s), assets::icon(name).pixmap(s, s));
                x += s + 4;
            }
            x += 10;
        }
    }
    return img;
}

// The welcome and send windows with their controls roughly where the windows put them.
QImage welcomeWindow()
{
    QImage img = assets::picture(QStringLiteral("welcome_skin")).toImage();
    QPainter p(&img);
    p.drawPixmap(81, 86, assets::picture(QStringLiteral("emblem")));
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(11);
    p.setFont(f);
    p.setPen(QColor(0x59, 0x59, 0x00));
    p.drawText(QRect(255, 5, 28, 14), Qt::AlignRight, QStringLiteral("1.2"));
    p.drawText(QRect(83, 223, 125, 14), 0, QStringLiteral("Orvath"));
    p.drawText(QRect(115, 236, 61, 14), 0, QStringLiteral("(Daskemoor)"));
    f.setUnderline(true);
    p.setFont(f);
    p.setPen(QColor(0, 107, 215));
    p.drawText(QRect(79, 249, 132, 16), Qt::AlignCenter, QStringLiteral("http://pellavine.example"));
    return img;
}

QImage sendWindow()
{
    QImage img = assets::picture(QStringLiteral("send_skin")).toImage();
    QPainter p(&img);
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(11);
    p.setFont(f);
    p.setPen(QColor(0x59, 0x59, 0x00));
    p.drawText(13, 32 + 11, QStringLiteral(" Кому:"));
    p.drawText(14, 61 + 11, QStringLiteral("Текст:"));
    for (int y : {29, 57}) {
        p.fillRect(56, y, 189, 22, QColor(0x9C, 0xA3, 0x5A));
        p.fillRect(57, y + 1, 187, 20, QColor(0xED, 0xF2, 0xD8));
    }
    p.drawText(60, 29 + 15, QStringLiteral("buhgalteria"));
    drawFace(p, QRect(90, 82, 75, 23), QStringLiteral("button_main_up"), QStringLiteral("Отправить"));
    p.drawPixmap(216, 3, assets::picture(QStringLiteral("help_up")));
    p.drawPixmap(234, 3, assets::picture(QStringLiteral("close_up")));
    p.drawText(QRect(221, 96, 28, 14), Qt::AlignRight, QStringLiteral("1.2"));
    return img;
}

QImage aboutPanel()
{
    QImage img(356, 150, QImage::Format_ARGB32);
    img.fill(QColor(0xF6, 0xF9, 0xEC));
    QPainter p(&img);
    p.fillRect(0, 0, 356, 80, Qt::black);
    p.drawPixmap(14, 14, assets::picture(QStringLiteral("about_logo")));
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(19);
    p.setFont(f);
    p.setPen(QColor(0x80, 0, 0));
    p.drawText(80, 34, QStringLiteral("Daskemoor"));
    p.fillRect(10, 88, 336, 58, QColor(0xD7, 0xD7, 0x00));
    p.fillRect(11, 89, 334, 56, QColor(0xED, 0xF2, 0xD8));
    p.drawPixmap(18, 93, assets::picture(QStringLiteral("about_icon")));
    f.setPixelSize(32);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(0x68, 0x78, 0x28));
    p.drawText(76, 130, QStringLiteral("Pellavine"));
    return img;
}

bool save(const QImage& img, const QString& path)
{
    if (img.save(path))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral(".")))
        return 1;
    bool ok = true;
    const QStringList names = assets::pictureNames();
    for (const QString& name : names) {
        const QPixmap pm = assets::picture(name);
        ok &= save(pm.toImage(), out.filePath(name + QStringLiteral(".png")));
        const int side = qMax(pm.width(), pm.height());
        const int factor = side <= 24 ? 12 : side <= 60 ? 6 : side <= 90 ? 4 : side <= 140 ? 3 : 2;
        ok &= save(enlarged(pm, factor), out.filePath(name + QStringLiteral("_big.png")));
    }
    ok &= save(framedWindow(308, 293, QStringLiteral("close_up"), QStringLiteral("help_up")), out.filePath(QStringLiteral("_frame.png")));
    ok &= save(scaled(framedWindow(200, 80, QStringLiteral("close_hot"), QStringLiteral("help_down")), 4), out.filePath(QStringLiteral("_frame_zoom.png")));
    ok &= save(scaled(buttonSheet(), 2), out.filePath(QStringLiteral("_buttons.png")));
    ok &= save(scaled(welcomeWindow(), 2), out.filePath(QStringLiteral("_welcome.png")));
    ok &= save(scaled(sendWindow(), 3), out.filePath(QStringLiteral("_send.png")));
    ok &= save(scaled(aboutPanel(), 2), out.filePath(QStringLiteral("_about.png")));
    ok &= save(traySheet(), out.filePath(QStringLiteral("_tray.png")));
    ok &= save(scaled(traySheet(), 3).copy(0, 0, 1260, 170), out.filePath(QStringLiteral("_tray_zoom.png")));
    return ok ? 0 : 1;
}
