// Shows the program's framed windows one after another and saves a picture of each, so the
// look can be checked by eye. Usage: pv_show_windows [--out DIR] [--hold MS] [--scale N] [NAME...]
// Names: viewer, blacklist, settings, about, sender, buttons (a sample of push buttons). The windows
// speak the session's language (LANG=en_US.UTF-8 for English).
// Under a real X server the whole screen is saved too (NAME-screen.png), frame and all; --scale
// also saves the window enlarged N times (NAME-xN.png) with its pixels kept square.
#include "app/app_state.h"
#include "app/language.h"
#include "controls/skinned_button.h"
#include "messaging/send_window.h"
#include "platform/platform.h"
#include "windows/about_box.h"
#include "windows/black_list.h"
#include "windows/config_dialog.h"
#include "windows/message_viewer.h"
#include "windows/skinned_frame.h"

#include <QApplication>
#include <QDir>
#include <QEnterEvent>
#include <QEventLoop>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// A frame with the push buttons in their three states: normal, hovered and pressed.
TSkinForm* buttonSample()
{
    auto* form = new TSkinForm(QStringLiteral("Кнопки"), QSize(308, 90), TSkinForm::FrameKind::Composite);
    form->centreOnDesktop();
    form->makePushButton(QStringLiteral("OK"), QRect(20, 40, 75, 23), TSkinForm::ButtonLook::MainAction);
    TBBut* hot = form->makePushButton(QStringLiteral("Ответить"), QRect(110, 40, 78, 23),
                                      TSkinForm::ButtonLook::Other);
    TBBut* down = form->makePushButton(QStringLiteral("Отмена"), QRect(203, 40, 75, 23),
                                       TSkinForm::ButtonLook::Other);
    // Put them in their states once the window is up and active.
    QTimer::singleShot(200, form, [hot, down] {
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QCoreApplication::sendEvent(hot, &enter);
        QEnterEvent enterDown(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QCoreApplication::sendEvent(down, &enterDown);
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), down->mapToGlobal(QPointF(5, 5)),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(down, &press);
    });
    return form;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    // In the session's language, as the program shows them.
    installTranslations(QStringLiteral(PV_TRANSLATIONS_DIR));
    platform::setApplicationTitle(AppTitle);
    App().computePaths(platform::paths().exeDir(), platform::paths().dataDir());

    const std::vector<std::pair<QString, std::function<TSkinForm*()>>> all = {
        {QStringLiteral("viewer"), [] { return new TMsgF; }},
        {QStringLiteral("blacklist"), [] { return new TBListF; }},
        {QStringLiteral("settings"), [] { return new TConfigF; }},
        {QStringLiteral("about"), [] { return new TAboutBox; }},
        {QStringLiteral("sender"), [] { return new TSenderF; }},
        {QStringLiteral("buttons"), [] { return buttonSample(); }},
    };

    QString out = QStringLiteral("artifacts");
    int hold = 600;
    int scale = 1;
    QStringList wanted;
    const QStringList args = QCoreApplication::arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--out") && i + 1 < args.size())
            out = args[++i];
        else if (args[i] == QLatin1String("--hold") && i + 1 < args.size())
            hold = args[++i].toInt();
        else if (args[i] == QLatin1String("--scale") && i + 1 < args.size())
            scale = qBound(1, args[++i].toInt(), 8);
        else
            wanted << args[i];
    }
    QDir().mkpath(out);
    const bool realScreen = QGuiApplication::platformName() == QLatin1String("xcb");

    int shown = 0;
    for (const auto& [name, create] : all) {
        if (!wanted.isEmpty() && !wanted.contains(name))
            continue;
        std::unique_ptr<TSkinForm> window(create());
        window->show();
        window->raise();
        window->activateWindow();
        wait(hold);
        const QString base = QDir(out).filePath(name);
        const QPixmap picture = window->grab();
        picture.save(base + QStringLiteral(".png"));
        if (scale > 1)
            picture.scaled(picture.size() * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                .save(base + QStringLiteral("-x%1.png").arg(scale));
        if (realScreen && window->screen())
            window->screen()->grabWindow(0).save(base + QStringLiteral("-screen.png"));
        std::printf("%s: %s at %d,%d, %dx%d\n", qPrintable(name), qPrintable(window->windowTitle()),
                    window->x(), window->y(), window->width(), window->height());
        window->hide();
        ++shown;
    }
    if (shown == 0) {
        std::fprintf(stderr, "No such window. Names:");
        for (const auto& entry : all)
            std::fprintf(stderr, " %s", qPrintable(entry.first));
        std::fprintf(stderr, "\n");
        return 1;
    }
    return 0;
}
