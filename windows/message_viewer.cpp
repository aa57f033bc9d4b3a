#include "windows/message_viewer.h"

#include "app/app_state.h"
#include "app/welcome_window.h"
#include "controls/cool_tray_icon.h"
#include "controls/skinned_button.h"
#include "messaging/send_window.h"
#include "net/socket_components.h"
#include "platform/platform.h"
#include "windows/black_list.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTextOption>
#include <QTimer>

TMsgF* MsgF = nullptr;

namespace {

constexpr int ClientWidth = 308;
constexpr int ClientHeight = 293;
constexpr int DesignAutoFocusMs = 10000;

// Three push buttons in a row at the bottom, the text area above them, two label lines below
// the title.
constexpr int Margin = 11;
// Push buttons are 75 to 95 wide; "В черный список" (86 pixels in Arial 11) takes the widest.
constexpr int ButtonWidths[3] = {85, 85, 95};
constexpr int ButtonHeight = 23;
// The row spans the text area above it.
constexpr int ButtonGap = 10;
constexpr int ButtonTop = ClientHeight - 3 - 9 - ButtonHeight;
constexpr int TextTop = 61;
constexpr int TextBottomGap = 8;

bool isEnter(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

TMsgF::TMsgF(QWidget* parent)
    : TSkinForm(QStringLiteral("Просмотр сообщения"), QSize(ClientWidth, ClientHeight), FrameKind::Composite,
                QString(), parent)
{
    MsgF = this;

    auto makeLabel = [this](int top) {
        auto* label = new QLabel(this);
        // Sender names come from the network: never read as markup.
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        label->setGeometry(3, top, ClientWidth - 6, 14);
        return label;
    };
    MsgTimeLab = makeLabel(26);
    InfoLab1 = makeLabel(42);

    const QRect border(Margin, TextTop, ClientWidth - 2 * Margin, ButtonTop - TextBottomGap - TextTop);
    Shape1 = new QWidget(this);
    Shape1->setGeometry(border);
    QPalette accent = Shape1->palette();
    accent.setColor(QPalette::Window, skin::accent());
    Shape1->setPalette(accent);
    Shape1->setAutoFillBackground(true);

    MsgLab = new QPlainTextEdit(this);
    MsgLab->setGeometry(border.adjusted(1, 1, -1, -1));
    MsgLab->setReadOnly(true);
    MsgLab->setFrameShape(QFrame::NoFrame);
    MsgLab->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MsgLab->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A long run without blanks still wraps instead of running off to the right.
    MsgLab->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    MsgLab->viewport()->setCursor(Qt::ArrowCursor);
    QPalette field = MsgLab->palette();
    field.setColor(QPalette::Base, skin::textField());
    field.setColor(QPalette::Text, skin::text());
    MsgLab->setPalette(field);
    MsgLab->setTabChangesFocus(true);
    MsgLab->installEventFilter(this);
    setFocusProxy(MsgLab);

    auto buttonAt = [](int index) {
        int left = Margin;
        for (int i = 0; i < index; ++i)
            left += ButtonWidths[i] + ButtonGap;
        return QRect(left, ButtonTop, ButtonWidths[index], ButtonHeight);
    };
    BBut1 = makePushButton(QStringLiteral("OK"), buttonAt(0), ButtonLook::MainAction);
    BBut2 = makePushButton(QStringLiteral("Ответить"), buttonAt(1), ButtonLook::Other);
    BBut5 = makePushButton(QStringLiteral("В черный список"), buttonAt(2), ButtonLook::Other);
    BBut1->OnClick = [this](QObject*) { BBut1Click(); };
    BBut2->OnClick = [this](QObject*) { BBut2Click(); };
    BBut5->OnClick = [this](QObject*) { BBut5Click(); };

    BBut3 = closeButton();
    BBut4 = helpButton();
    BBut3->OnClick = [this](QObject*) { BBut3Click(); };
    BBut4->OnClick = [this](QObject*) { BBut4Click(); };

    t1 = new QTimer(this);
    t1->setInterval(DesignAutoFocusMs);
    connect(t1, &QTimer::timeout, this, [this] { platform::runGuarded([this] { t1Timer(); }); });

    centreOnDesktop();
    platform::runGuarded([this] { FormCreate(); });
}

TMsgF::~TMsgF()
{
    if (MsgF == this)
        MsgF = nullptr;
}

QString TMsgF::printable(const QString& text)
{
    QString shown = text;
    for (QChar& c : shown) {
        const char16_t u = c.unicode();
        if (u == u'\t' || u == u'\n' || u == u'\r')
            continue;
        if (u < 0x20)
            c = QChar(char16_t(0x2400 + u)); // the control pictures: NUL shows as U+2400
        else if (u == 0x7F)
            c = QChar(char16_t(0x2421));
        else if (u >= 0x80 && u <= 0x9F)
            c = QChar(QChar::ReplacementCharacter);
        else if (u == QChar::ParagraphSeparator || u == QChar::LineSeparator)
            c = QChar(u'\n');
        else if (u == 0xFDD0 || u == 0xFDD1) // the text document's frame marks
            c = QChar(QChar::ReplacementCharacter);
    }
    return shown;
}

void TMsgF::ShowViewer()
{
    // show() of a visible window does nothing, so the show actions run once per showing.
    show();
    platform::windowSystem().activate(this);
}

void TMsgF::FormCreate()
{
    // Read once: a new interval chosen in the settings applies at the next start.
    t1->setInterval(App().AutoFocusTime);
}

void TMsgF::showEvent(QShowEvent* event)
{
    TSkinForm::showEvent(event);
    if (event->spontaneous())
        return;
    MsgLab->setFocus();
    platform::runGuarded([this] { FormShow(); });
}

void TMsgF::FormShow()
{
    AppState& app = App();
    if (app.FreshMessage) {
        if (Form1)
            Form1->TIconQ->setCycleIcons(true);
        // An interval of 0 or less never fires, as with the platform timer this stands for.
        if (app.AutoFocus && t1->interval() > 0)
            t1->start();
    } else if (app.SoundOn) {
        // The sound service finds "Wnd.wav" whatever the letter case of the name.
        platform::sound().play(app.ExeDir + QStringLiteral("wnd.wav"));
    }
}

void TMsgF::hideEvent(QHideEvent* event)
{
    TSkinForm::hideEvent(event);
    // A minimised window still shows; only a real hide ends the attention state.
    if (!isVisible())
        platform::runGuarded([this] { FormHide(); });
}

void TMsgF::FormHide()
{
    if (Form1) {
        Form1->TIconQ->setCycleIcons(false);
        Form1->TIconQ->setIconIndex(Form1->SS->Active() ? 0 : 1);
    }
    t1->stop();
    App().FreshMessage = false;
}

void TMsgF::FormDestroy()
{
    // The viewer keeps nothing on disk.
}

void TMsgF::t1Timer()
{
    platform::windowSystem().activate(this);
    const AppState& app = App();
    if (app.SoundOn)
        platform::sound().play(app.WindowSoundPath);
}

void TMsgF::FormKeyDown(int key)
{
    if (isEnter(key))
        BBut1Click();
}

void TMsgF::keyPressEvent(QKeyEvent* event)
{
    if (isEnter(event->key())) {
        FormKeyDown(event->key());
        return;
    }
    TSkinForm::keyPressEvent(event);
}

bool TMsgF::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == MsgLab && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (isEnter(key)) {
            FormKeyDown(key);
            return true;
        }
    }
    return TSkinForm::eventFilter(watched, event);
}

void TMsgF::BBut1Click()
{
    hide();
}

void TMsgF::BBut2Click()
{
    hide();
    AppState& app = App();
    app.LastAddress = app.LastSenderHost;
    if (SenderF) {
        // A send window already open keeps what is in its address field.
        SenderF->show();
        platform::windowSystem().activate(SenderF);
    }
    hide();
}

void TMsgF::BBut3Click()
{
    hide();
}

void TMsgF::BBut4Click()
{
    openHelp();
}

void TMsgF::BBut5Click()
{
    if (BListF)
        BListF->AddFromViewer(App().LastSenderHost);
}

void TMsgF::Image6MouseDown()
{
    platform::windowSystem().startMove(this);
}
