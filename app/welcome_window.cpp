#include "app/welcome_window.h"

#include "app/app_state.h"
#include "app/application.h"
#include "app/ini_file.h"
#include "app/settings.h"
#include "assets/pictures.h"
#include "controls/cool_tray_icon.h"
#include "controls/image_list.h"
#include "controls/one_program.h"
#include "messaging/inbox.h"
#include "messaging/receiver.h"
#include "messaging/send_window.h"
#include "net/socket_components.h"
#include "platform/platform.h"
#include "platform/process_limits.h"
#include "windows/about_box.h"
#include "windows/black_list.h"
#include "windows/config_dialog.h"
#include "windows/message_viewer.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>
#include <QToolButton>

#include <stdexcept>

TForm1* Form1 = nullptr;

namespace {
QString idleHint()
{
    return TForm1::tr("За текущий сеанс сообщений не поступало.");
}
QString pauseCaption()
{
    return TForm1::tr("Приостановить сервер Pellavine");
}
QString resumeCaption()
{
    return TForm1::tr("Запустить сервер Pellavine");
}
} // namespace

QString TForm1::firstRunBalloonText()
{
    return tr("Pellavine работает и принимает сообщения. Щелкните по этому значку, чтобы отправить сообщение; "
              "правая кнопка мыши открывает меню.");
}

TForm1::TForm1()
    : TSkinForm(tr("Окно приветствия"), QSize(289, 269), FrameKind::Skin,
                QStringLiteral("welcome_skin"))
{
    Form1 = this;
    buildControls();
    centreOnDesktop();

    SS = new TServerSocket(this);
    SS->setPort(settings::key(&AppState::Port).fallback);
    SS->OnClientRead = [this](QObject* sender, TCustomWinSocket* socket) { SSClientRead(sender, socket); };
    // No peer can hold the program by keeping connections open, and connections never take the
    // descriptors the window system and the files need.
    const ConnectionLimits limits = connectionLimitsFor(platform::descriptorLimit());
    SS->Socket()->SetConnectionLimits(limits.perPeer, limits.total, IdleConnectionMs, ConnectionLifeMs);

    Ef1 = new QTimer(this);
    Ef1->setInterval(settings::key(&AppState::SplashTime).fallback);
    connect(Ef1, &QTimer::timeout, this, [this] { platform::runGuarded([this] { Ef1Timer(); }); });

    buildMenu();
    buildTrayIcon();

    // A second copy of the program ends here, before it reads or shows anything.
    OneProgram1 = new TOneProgram(this);
    OneProgram1->setSwitchToPrevious(false);
    OneProgram1->Loaded();

    platform::runGuarded([this] { FormCreate(); });
}

TForm1::~TForm1()
{
    if (Form1 == this)
        Form1 = nullptr;
}

void TForm1::buildControls()
{
    Image1 = skinPicture();
    makeDragHandle(Image1, [this] { Image1MouseDown(); });
    Image1->setCursor(Qt::WaitCursor);

    Image2 = new TSkinImage(assets::picture(QStringLiteral("emblem")), this);
    Image2->setGeometry(81, 86, 128, 128);
    makeDragHandle(Image2, [this] { Image1MouseDown(); });

    SpeedButton1 = new QToolButton(this);
    SpeedButton1->setGeometry(79, 249, 132, 16);
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setText(QString(WebPageAddress).remove(QStringLiteral("https://")).remove(QLatin1Char('/')));
    SpeedButton1->setCursor(Qt::PointingHandCursor);
    SpeedButton1->setToolTip(tr("Посетить сайт"));
    QFont linkFont = skin::windowFont();
    linkFont.setUnderline(true);
    SpeedButton1->setFont(linkFont);
    SpeedButton1->setStyleSheet(
        QStringLiteral("QToolButton { color: rgb(0,107,215); border: none; background: transparent; padding: 0; }"));
    connect(SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });

    auto makeLabel = [this](const QString& text, const QRect& place, Qt::Alignment align) {
        auto* label = new QLabel(text, this);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(align | Qt::AlignVCenter);
        label->setAttribute(Qt::WA_TranslucentBackground);
        // A label fits its text: one wider than its place (another face than the designer's
        // Arial) grows away from its aligned edge instead of being cut off.
        QRect fitted = place;
        const int needed = label->sizeHint().width();
        if (needed > place.width()) {
            if (align & Qt::AlignRight)
                fitted.setLeft(place.right() + 1 - needed);
            else
                fitted.setWidth(needed);
        }
        label->setGeometry(fitted);
        return label;
    };
    Label1 = makeLabel(QStringLiteral("<ver>"), QRect(255, 5, 28, 14), Qt::AlignRight);
    Label3 = makeLabel(QStringLiteral("Orvath"), QRect(83, 223, 125, 14), Qt::AlignLeft);
    Label2 = makeLabel(QStringLiteral("(Daskemoor)"), QRect(115, 236, 61, 14), Qt::AlignLeft);
}

void TForm1::buildMenu()
{
    TreyMenu = new QMenu(this);
    auto item = [this](const QString& caption, void (TForm1::*handler)()) {
        QAction* action = TreyMenu->addAction(caption);
        connect(action, &QAction::triggered, this, [this, handler] { platform::runGuarded([this, handler] { (this->*handler)(); }); });
        return action;
    };
    N6 = item(tr("Отправить сообщение..."), &TForm1::N6Click);
    N15 = TreyMenu->addSeparator();
    N8 = item(tr("Последнее сообщение"), &TForm1::N8Click);
    N14 = TreyMenu->addSeparator();
    N11 = item(tr("Настройки..."), &TForm1::N11Click);
    N4 = item(tr("Черный список..."), &TForm1::N4Click);
    N1 = TreyMenu->addSeparator();
    Pellavine2 = item(tr("О Pellavine..."), &TForm1::Pellavine2Click);
    N12 = TreyMenu->addSeparator();
    Pellavine1 = item(WebPageAddress, &TForm1::Pellavine1Click);
    EmailAuthorItem = item(QString(MailAddress).remove(QStringLiteral("mailto:")), &TForm1::EmailAuthorItemClick);
    N5 = TreyMenu->addSeparator();
    N2 = item(pauseCaption(), &TForm1::N2Click);
    N3 = item(tr("Выключить сервер"), &TForm1::N3Click);
    TreyMenu->setDefaultAction(N6);
    QFont bold = N6->font();
    bold.setBold(true);
    N6->setFont(bold);
}

void TForm1::buildTrayIcon()
{
    DefList = new TImageList(this);
    DefList->Add(assets::icon(QStringLiteral("tray_listening")));
    DefList->Add(assets::icon(QStringLiteral("tray_paused")));
    TIconQ = new TCoolTrayIcon(this);
    TIconQ->setIconList(DefList);
    TIconQ->setCycleInterval(250);
    TIconQ->setHint(AppTitle);
    TIconQ->setIconIndex(0);
    TIconQ->setPopupMenu(TreyMenu);
    TIconQ->OnClick = [this](QObject*) { platform::runGuarded([this] { N6Click(); }); };
    TIconQ->Loaded();
}

void TForm1::FormCreate()
{
    AppState& app = App();
    app.computePaths(platform::paths().exeDir(), platform::paths().dataDir());
    // The program runs on without its files; the user hears why once.
    if (const QString problem = platform::paths().dataDirProblem(); !problem.isEmpty())
        platform::dialogs().error(problem);
    const long descriptors = platform::descriptorLimit();
    if (const ConnectionLimits limits = connectionLimitsFor(descriptors); limits.cramped)
        platform::dialogs().information(crampedLimitText(descriptors, limits));

    settings::load(TIniFile(app.SettingsPath), app);

    TIconQ->setHint(AppTitle + QStringLiteral("\r\n") + idleHint());
    SS->setPort(app.Port);
    // A timer of 0 ms or less would fire at once; the splash then simply passes.
    Ef1->setInterval(qMax(0, app.SplashTime));
    setWindowOpacity(app.SplashTransparent ? 230.0 / 255.0 : 1.0);
}

void TForm1::FormDestroy()
{
    // Whatever the send window wrote, the next run is not the first.
    AppState written = App();
    written.FirstStart = false;
    TIniFile ini(written.SettingsPath);
    settings::saveMainWindowKeys(ini, written);
}

void TForm1::FormClose()
{
    SS->setActive(false);
}

void TForm1::FormShow()
{
    TIconQ->HideTaskbarButton();
    Ef1->start();
}

void TForm1::Ef1Timer()
{
    Ef1->stop();
    TIconQ->setIconVisible(true);
    TIconQ->HideToTray();
    try {
        startListening();
    } catch (...) {
        // Nothing listens (the port is taken or not valid): the tray shows the paused server, so
        // that the user sees it and resuming tries again, and the error goes on to its box.
        N2->setText(resumeCaption());
        TIconQ->setIconIndex(1);
        throw;
    }
    // Says that messages are received: only once they are.
    if (App().FirstStart)
        TIconQ->ShowBalloon(AppTitle, firstRunBalloonText(), TCoolTrayIcon::bitInfo, 60);
}

void TForm1::startListening()
{
    if (!settings::TcpPorts.contains(SS->Port()))
        throw std::runtime_error(settings::invalidPortText(App().SettingsPath, SS->Port()).toStdString());
    SS->setActive(true);
}

void TForm1::Image1MouseDown()
{
    platform::windowSystem().startMove(this);
}

void TForm1::SpeedButton1Click()
{
    platform::shell().open(WebPageAddress);
}

void TForm1::SSClientRead(QObject* Sender, TCustomWinSocket* Socket)
{
    Q_UNUSED(Sender);
    receiveMessage(Socket);
}

void TForm1::showMessageHint()
{
    const AppState& app = App();
    if (!app.MessageReceived)
        return;
    QString hint = AppTitle;
    // Second: the tooltip keeps only its first 127 characters, and a long name may fill the last line.
    if (const int unseen = inbox().unseenCount(); unseen > 0)
        hint += QStringLiteral("\r\n") + tr("Непрочитанных сообщений: %1").arg(unseen);
    // One pass, so that a name holding "%2" stays as it is.
    hint += QStringLiteral("\r\n")
            + tr("Последнее сообщение получено в %1 от %2 (%3)")
                  .arg(app.LastTime, TMsgF::visibleName(app.LastSenderHost), app.LastSenderAddress);
    TIconQ->setHint(hint);
}

void TForm1::N6Click()
{
    if (MsgF->isVisible()) {
        platform::windowSystem().activate(MsgF);
        return;
    }
    SenderF->show();
    platform::windowSystem().activate(SenderF);
}

void TForm1::N8Click()
{
    if (App().MessageReceived) {
        // The last message, with the way to those not seen yet.
        if (!MsgF->isVisible())
            MsgF->showNewest();
        MsgF->show();
        platform::windowSystem().activate(MsgF);
    } else {
        platform::dialogs().information(idleHint());
    }
}

void TForm1::N11Click()
{
    ConfigF->showModal();
}

void TForm1::N4Click()
{
    BListF->showModal();
}

void TForm1::Pellavine2Click()
{
    AboutBox->showModal();
}

void TForm1::Pellavine1Click()
{
    platform::shell().open(WebPageAddress);
}

void TForm1::EmailAuthorItemClick()
{
    platform::shell().open(MailAddress);
}

void TForm1::N2Click()
{
    if (MsgF->isVisible()) {
        platform::dialogs().information(tr("Закройте текущее сообщение!"));
        return;
    }
    if (SS->Active()) {
        if (!platform::dialogs().confirm(
                tr("При остановке сервера посылаемые вам сообщения приниматься не будут! Продолжить?")))
            return;
        SS->setActive(false);
        N2->setText(resumeCaption());
        TIconQ->setIconIndex(1);
    } else {
        // Throws when the port is taken; caption and icon then stay as they are.
        startListening();
        N2->setText(pauseCaption());
        TIconQ->setIconIndex(0);
    }
}

void TForm1::N3Click()
{
    Application().Terminate();
}
