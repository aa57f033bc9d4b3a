#include "windows/message_viewer.h"

#include "app/app_state.h"
#include "app/settings.h"
#include "app/welcome_window.h"
#include "controls/cool_tray_icon.h"
#include "controls/skinned_button.h"
#include "messaging/receiver.h"
#include "messaging/send_window.h"
#include "net/socket_components.h"
#include "platform/modality.h"
#include "platform/platform.h"
#include "windows/black_list.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTextBoundaryFinder>
#include <QTextOption>
#include <QTimer>
#include <QToolButton>

TMsgF* MsgF = nullptr;

namespace {

constexpr int ClientWidth = 308;
constexpr int ClientHeight = 293;

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
// "◀ ещё N" sits at the left of the time's line, clear of the centred time.
constexpr QRect EarlierPlace(Margin, 24, 100, 17);

bool isEnter(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

constexpr int ToolTipLineLength = 64;

bool isControl(char32_t c)
{
    return c < 0x20 || c == 0x7F;
}

constexpr const char* ControlNames[0x20] = {
    "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",  "VT",  "FF", "CR", "SO", "SI",
    "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS", "GS", "RS", "US",
};

// The visible stand-in of a control character: its name between two pointers, "◄BEL►".
// Unicode's control pictures (U+2400 on) are in none of a usual desktop's fonts, so every one
// of them drew as the same empty box. The pointers are in the window font itself (a character
// from another font costs twice the layout time) and outside the code page: no text that came
// in can pass for a stand-in.
QString controlPicture(char32_t c)
{
    return QChar(char16_t(0x25C4)) + QLatin1String(c == 0x7F ? "DEL" : ControlNames[c]) + QChar(char16_t(0x25BA));
}

// Characters that take no room or change the order of what follows: formatting and direction
// controls, line and paragraph separators, unassigned and private ones, and the letters and
// marks that fonts draw as nothing.
bool drawsAsNothing(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Other_Format:
    case QChar::Other_Control:
    case QChar::Other_Surrogate:
    case QChar::Other_PrivateUse:
    case QChar::Other_NotAssigned:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        break;
    }
    return c == 0x034F || c == 0x115F || c == 0x1160 || c == 0x17B4 || c == 0x17B5 || (c >= 0x180B && c <= 0x180F)
           || c == 0x2800 || c == 0x3164 || (c >= 0xFE00 && c <= 0xFE0F) || c == 0xFFA0
           || (c >= 0xE0100 && c <= 0xE01EF);
}

bool hasRightToLeft(const QString& text)
{
    for (const char32_t c : QStringView(text).toUcs4()) {
        const QChar::Direction direction = QChar::direction(c);
        if (direction == QChar::DirR || direction == QChar::DirAL || direction == QChar::DirAN)
            return true;
    }
    return false;
}

} // namespace

TMsgF::TMsgF(QWidget* parent)
    : TSkinForm(tr("Просмотр сообщения"), QSize(ClientWidth, ClientHeight), FrameKind::Composite,
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
    BBut1 = makePushButton(tr("OK"), buttonAt(0), ButtonLook::MainAction);
    BBut2 = makePushButton(tr("Ответить"), buttonAt(1), ButtonLook::Other);
    BBut5 = makePushButton(tr("В черный список"), buttonAt(2), ButtonLook::Other);
    BBut1->OnClick = [this](QObject*) { BBut1Click(); };
    BBut2->OnClick = [this](QObject*) { BBut2Click(); };
    BBut5->OnClick = [this](QObject*) { BBut5Click(); };

    earlier_ = new QToolButton(this);
    earlier_->setAutoRaise(true);
    earlier_->setFocusPolicy(Qt::TabFocus);
    earlier_->setCursor(Qt::PointingHandCursor);
    earlier_->setToolTip(tr("Предыдущее непрочитанное сообщение"));
    earlier_->setFont(skin::windowFont());
    earlier_->setStyleSheet(QStringLiteral("QToolButton { color: %1; border: none; background: transparent; "
                                           "padding: 0 2px; } QToolButton:hover, QToolButton:focus "
                                           "{ text-decoration: underline; }")
                                .arg(skin::link().name()));
    earlier_->installEventFilter(this);
    earlier_->hide();
    connect(earlier_, &QToolButton::clicked, this, [this] { platform::runGuarded([this] { earlierClick(); }); });

    BBut3 = closeButton();
    BBut4 = helpButton();
    BBut3->OnClick = [this](QObject*) { BBut3Click(); };
    BBut4->OnClick = [this](QObject*) { BBut4Click(); };
    // Escape does what "OK" does.
    setEscapeButton(BBut1);
    // "◀ ещё N", when it shows, comes right after the text.
    setTabChain({MsgLab, earlier_, BBut1, BBut2, BBut5, BBut4, BBut3});
    makeTitleDragHandles([this] { Image6MouseDown(); });

    t1 = new QTimer(this);
    t1->setInterval(settings::key(&AppState::AutoFocusTime).fallback);
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
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\t' || u == u'\n' || u == u'\r')
            shown += c;
        else if (isControl(u))
            shown += controlPicture(u);
        else if (u >= 0x80 && u <= 0x9F)
            shown += QChar(QChar::ReplacementCharacter);
        else if (u == QChar::ParagraphSeparator || u == QChar::LineSeparator)
            shown += QChar(u'\n');
        else if (u == 0xFDD0 || u == 0xFDD1) // the text document's frame marks
            shown += QChar(QChar::ReplacementCharacter);
        else
            shown += c;
    }
    return shown;
}

QString TMsgF::visibleName(const QString& name)
{
    QString shown;
    shown.reserve(name.size());
    for (const char32_t c : QStringView(name).toUcs4()) {
        if (isControl(c))
            shown += controlPicture(c); // as in the text
        else if (c == 0x20)
            shown += QLatin1Char(' ');
        else if (QChar::category(c) == QChar::Separator_Space)
            shown += QChar(char16_t(0x2423)); // the open box of a visible space
        else if (drawsAsNothing(c))
            shown += QChar(QChar::ReplacementCharacter);
        else
            shown += QString::fromUcs4(&c, 1);
    }
    return shown;
}

void TMsgF::showSender(const QString& name, const QString& address)
{
    // The name is fitted alone, between what the header says before and after it.
    QString head = tr("Сообщение от %1 (%2):");
    const qsizetype at = head.indexOf(QLatin1String("%1"));
    QString tail = head.mid(at + 2).replace(QLatin1String("%2"), address);
    head = head.left(at).replace(QLatin1String("%2"), address);
    const QString shown = visibleName(name);
    const QFontMetrics metrics = InfoLab1->fontMetrics();
    // A pixel or two to spare: the parts measured apart may kern a little wider together.
    const int room = InfoLab1->contentsRect().width() - metrics.horizontalAdvance(head + tail) - 2;
    QString fitted = metrics.elidedText(shown, Qt::ElideMiddle, qMax(0, room));
    // A right-to-left name is kept to its own place instead of carrying the address along.
    if (hasRightToLeft(fitted))
        fitted = QChar(char16_t(0x2068)) + fitted + QChar(char16_t(0x2069));
    InfoLab1->setText(head + fitted + tail);

    // Tool tips read anything that looks like markup as rich text: the name goes in escaped,
    // in lines of our own that are short enough for any screen and wrapped nowhere else.
    QStringList lines;
    QString line;
    for (const QChar c : shown) {
        if (line.size() >= ToolTipLineLength && !c.isLowSurrogate()) {
            lines << line;
            line.clear();
        }
        line += c;
    }
    if (!line.isEmpty())
        lines << line;
    // Assistive technology reads the header with the name whole, as plain text (left empty, it
    // would read the tool tip's markup).
    InfoLab1->setAccessibleDescription(shown.isEmpty() ? QString() : head + shown + tail);
    for (QString& l : lines)
        l = l.toHtmlEscaped();
    InfoLab1->setToolTip(lines.isEmpty() ? QString()
                                         : QStringLiteral("<p style=\"white-space:pre\">")
                                               + lines.join(QStringLiteral("<br>")) + QStringLiteral("</p>"));
}

void TMsgF::showText(const QString& text)
{
    // The layout's own idea of where a line may break, so that no stretch it would have to
    // search through is missed (a no-break space joins words, for one).
    QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, text);
    qsizetype last = 0;
    bool longStretch = false;
    while (!longStretch && breaks.toNextBoundary() >= 0) {
        longStretch = breaks.position() - last > LongestWordToWrap;
        last = breaks.position();
    }
    const QTextOption::WrapMode mode =
        longStretch ? QTextOption::WrapAnywhere : QTextOption::WrapAtWordBoundaryOrAnywhere;
    if (MsgLab->wordWrapMode() != mode) {
        // A new wrap mode lays out the old text again: empty it first.
        MsgLab->clear();
        MsgLab->setWordWrapMode(mode);
    }
    MsgLab->setPlainText(text);
}

void TMsgF::showMessage(const ReceivedMessage& message)
{
    shown_ = message;
    showSender(message.host, message.address);
    MsgTimeLab->setText(arrivalTimeText(message.arrived.time()));
    showText(printable(message.text));
    showUnseenCount();
}

void TMsgF::showNewest()
{
    if (const std::optional<ReceivedMessage> newest = inbox().newest())
        showMessage(*newest);
}

void TMsgF::earlierClick()
{
    markShownSeen();
    if (const std::optional<ReceivedMessage> next = inbox().newestUnseen())
        showMessage(*next);
}

void TMsgF::markShownSeen()
{
    if (inbox().markSeen(shown_.id)) {
        shown_.seen = true;
        if (Form1)
            Form1->showMessageHint();
    }
    showUnseenCount();
}

void TMsgF::showUnseenCount()
{
    const int others = inbox().unseenBesides(shown_.id);
    if (others <= 0) {
        earlier_->hide();
        return;
    }
    earlier_->setText(tr("◀ ещё %1").arg(others));
    // Read out with its count, which the picture of the arrow does not say.
    earlier_->setAccessibleName(tr("%1 (ещё %2)").arg(earlier_->toolTip()).arg(others));
    QRect place = EarlierPlace;
    place.setWidth(qMin(EarlierPlace.width(), earlier_->sizeHint().width()));
    earlier_->setGeometry(place);
    earlier_->show();
}

void TMsgF::showViewer()
{
    // Also over a dialog opened while the viewer was showing: a window the dialog blocks would
    // only hand its activation on to the dialog, and the new message stay hidden behind it.
    platform::unblock(this);
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
    if (!event->spontaneous())
        MsgLab->setFocus();
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
    // Closed, answered or hidden by the desktop: the user had the message in front of them.
    if (!ending_)
        markShownSeen();
}

void TMsgF::FormDestroy()
{
    // The viewer keeps nothing on disk.
    ending_ = true;
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
    if ((watched == MsgLab || watched == earlier_) && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (isEnter(key) && watched == earlier_) {
            // Enter on the focused "◀ ещё N" steps, as Space does.
            earlier_->click();
            return true;
        }
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
    // To the sender of the message shown. A name with hidden characters cannot be typed or
    // looked up, and may be dressed up as another computer's: the reply then goes to the
    // address the message came from.
    const bool plainName = visibleName(shown_.host) == shown_.host;
    App().LastAddress = plainName ? shown_.host : shown_.address;
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
        BListF->addFromViewer(shown_.host);
}

void TMsgF::Image6MouseDown()
{
    platform::windowSystem().startMove(this);
}
