#include "app/program.h"

#include "app/app_state.h"
#include "app/application.h"
#include "app/language.h"
#include "app/welcome_window.h"
#include "assets/pictures.h"
#include "controls/application_link.h"
#include "messaging/receiver.h"
#include "messaging/send_window.h"
#include "platform/platform.h"
#include "platform/process_limits.h"
#include "platform/session_platform.h"
#include "platform/tray_host.h"
#include "platform/termination_signals.h"
#include "windows/about_box.h"
#include "windows/black_list.h"
#include "windows/config_dialog.h"
#include "windows/message_viewer.h"

#include <QApplication>

namespace {

template <class Window>
void destroyWindow(Window*& window)
{
    if (!window)
        return;
    // A file that cannot be written is reported, and the next window still writes its own.
    platform::runGuarded([window] { window->FormDestroy(); });
    delete window;
    window = nullptr;
}

} // namespace

void createWindows()
{
    controls::ApplicationLink& link = controls::applicationLink();
    link.terminate = [] { Application().Terminate(); };
    link.hideMainFormAtStart = [] { Application().ShowMainForm = false; };
    link.mainForm = []() -> QWidget* { return Form1; };
    link.hideTaskbarButton = [] {
        for (QWidget* window : QApplication::topLevelWidgets())
            platform::windowSystem().hideTaskbarButton(window);
    };
    new TForm1;
    new TAboutBox;
    new TMsgF;
    new TSenderF;
    new TConfigF;
    new TBListF;
}

void destroyWindows()
{
    if (Form1)
        platform::runGuarded([] { Form1->FormClose(); });
    // After the listener has let its connections go, which completes what they brought.
    dropWaitingMessages();
    destroyWindow(BListF);
    destroyWindow(ConfigF);
    destroyWindow(SenderF);
    destroyWindow(MsgF);
    destroyWindow(AboutBox);
    destroyWindow(Form1);
}

int runProgram(int argc, char* argv[])
{
    // X11 or Wayland: decided before the application object connects to either.
    platform::ApplicationArguments arguments(argc, argv);
    QApplication application(arguments.argc(), arguments.argv());
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(QStringLiteral("Pellavine"));
    QApplication::setApplicationVersion(VersionText);
    // Before any window or text exists: every text is translated when it is made.
    installTranslations(QApplication::applicationDirPath());

    Application().Title = AppTitle;
    platform::setApplicationTitle(AppTitle);
    Application().HelpFile = HelpFileName;
    QApplication::setWindowIcon(assets::icon(QStringLiteral("app_icon")));

    // Logout, shutdown and Ctrl+C end the program as "Выключить сервер" does; nobody is there
    // to answer a box any more, so what goes wrong from then on goes to stderr.
    platform::onTerminationSignal([](int) {
        platform::setReportsToStandardError(true);
        Application().Terminate();
    });

    // Room for many connections at once; the listener bounds what peers may hold.
    platform::raiseDescriptorLimit();
    createWindows();
    Application().Run();
    destroyWindows();
    platform::releaseTrayHost();
    return 0;
}
