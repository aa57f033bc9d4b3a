#include "windows/skinned_frame.h"

#include "app/app_state.h"
#include "assets/pictures.h"
#include "controls/skinned_button.h"
#include "platform/modality.h"
#include "platform/platform.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QShowEvent>

namespace skin {
QColor background() { return QColor(0xF6, 0xF9, 0xEC); }
QColor textField() { return QColor(0xED, 0xF2, 0xD8); }
QColor accent() { return QColor(0xD7, 0xD7, 0x00); }
QColor text() { return QColor(0x59, 0x59, 0x00); }
QColor link() { return QColor(0x00, 0x58, 0xB0); }
QFont windowFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(11);
    return font;
}
} // namespace skin

// ----- TSkinImage -----

TSkinImage::TSkinImage(const QPixmap& picture, QWidget* parent)
    : QWidget(parent)
    , picture_(picture)
{
}

void TSkinImage::setPicture(const QPixmap& picture)
{
    picture_ = picture;
    update();
}

void TSkinImage::paintEvent(QPaintEvent*)
{
    if (picture_.isNull())
        return;
    QPainter painter(this);
    painter.drawPixmap(rect(), picture_);
}

// ----- TSkinGroupBox -----

TSkinGroupBox::TSkinGroupBox(const QString& caption, QWidget* parent)
    : QGroupBox(caption, parent)
{
}

void TSkinGroupBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QFontMetrics metrics(font());
    // The line runs at half the text height, with or without a caption, so framed areas line up.
    const int top = metrics.height() / 2;
    painter.setPen(skin::accent());
    painter.drawRect(0, top, width() - 1, height() - 1 - top);
    if (title().isEmpty())
        return;
    const QRect caption(8, 0, metrics.horizontalAdvance(title()) + 6, metrics.height());
    painter.fillRect(caption, palette().color(QPalette::Window));
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(caption, Qt::AlignCenter | Qt::TextSingleLine, title());
}

// ----- TSkinForm -----

namespace {

constexpr int TitleHeight = 22;
constexpr int Edge = 3;
constexpr int ButtonsWidth = 21;  // the top-right piece behind the frame buttons
constexpr int TitleLeftWidth = 88;
constexpr int TitleRightWidth = 69;
constexpr int FrameButtonSize = 16;
constexpr int FrameButtonTop = 3;
constexpr int CloseFromRight = 21;
constexpr int HelpLeftOfClose = 19;

// A skinned window to assistive technology: a frame, or a dialog when shown modally, named by
// its title (the widget's own default would be an anonymous filler).
class AccessibleForm final : public QAccessibleWidget {
public:
    explicit AccessibleForm(TSkinForm* form)
        : QAccessibleWidget(form, QAccessible::Window)
    {
    }

    const TSkinForm* form() const { return static_cast<const TSkinForm*>(widget()); }

    QAccessible::Role role() const override
    {
        return form()->isDialog() ? QAccessible::Dialog : QAccessible::Window;
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.modal = form()->isModalShowing();
        return s;
    }
};

QAccessibleInterface* accessibleForm(const QString& className, QObject* object)
{
    if (className == QLatin1String("TSkinForm") && object && object->isWidgetType())
        return new AccessibleForm(static_cast<TSkinForm*>(object));
    return nullptr;
}

} // namespace

TSkinForm::CompositeLayout TSkinForm::compositeLayout(QSize client)
{
    const int w = client.width();
    const int h = client.height();
    const int titleRightX = w - ButtonsWidth - TitleRightWidth;
    const int closeX = w - CloseFromRight;
    CompositeLayout layout;
    layout.titleLeft = QRect(0, 0, TitleLeftWidth, TitleHeight);
    layout.titleMiddle = QRect(TitleLeftWidth, 0, titleRightX - TitleLeftWidth, TitleHeight);
    layout.titleRight = QRect(titleRightX, 0, TitleRightWidth, TitleHeight);
    layout.buttons = QRect(w - ButtonsWidth, 0, ButtonsWidth, TitleHeight);
    layout.left = QRect(0, TitleHeight, Edge, h - TitleHeight - Edge);
    layout.right = QRect(w - Edge, TitleHeight, Edge, h - TitleHeight - Edge);
    layout.bottom = QRect(Edge, h - Edge, w - 2 * Edge, Edge);
    layout.bottomLeft = QRect(0, h - Edge, Edge, Edge);
    layout.bottomRight = QRect(w - Edge, h - Edge, Edge, Edge);
    layout.close = QRect(closeX, FrameButtonTop, FrameButtonSize, FrameButtonSize);
    layout.help = QRect(closeX - HelpLeftOfClose, FrameButtonTop, FrameButtonSize, FrameButtonSize);
    return layout;
}

TSkinForm::TSkinForm(const QString& role, QSize clientSize, FrameKind kind, const QString& skin,
                     QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::Tool)
    , kind_(kind)
{
    static const bool accessible = (QAccessible::installFactory(accessibleForm), true);
    Q_UNUSED(accessible);
    setWindowTitle(AppTitle + QStringLiteral(" (") + role + QLatin1Char(')'));
    setFixedSize(clientSize);

    QPalette colours = palette();
    colours.setColor(QPalette::Window, skin::background());
    colours.setColor(QPalette::WindowText, skin::text());
    colours.setColor(QPalette::Base, skin::textField());
    colours.setColor(QPalette::Text, skin::text());
    colours.setColor(QPalette::ButtonText, skin::text());
    colours.setColor(QPalette::Link, skin::link());
    setPalette(colours);
    setAutoFillBackground(true);
    setFont(skin::windowFont());

    if (kind == FrameKind::Composite)
        buildComposite(clientSize);
    else
        buildSkin(clientSize, skin);
}

TSkinForm::~TSkinForm()
{
    if (modalLoop_)
        modalLoop_->quit();
}

void TSkinForm::buildComposite(QSize client)
{
    const CompositeLayout layout = compositeLayout(client);
    auto piece = [this](const char* name, const QRect& place) {
        auto* image = new TSkinImage(assets::picture(QString::fromLatin1(name)), this);
        image->setGeometry(place);
        return image;
    };
    Image3 = piece("frame_title_left", layout.titleLeft);
    Image6 = piece("frame_title_middle", layout.titleMiddle);
    Image5 = piece("frame_title_right", layout.titleRight);
    Image1 = piece("frame_buttons", layout.buttons);
    Image10 = piece("frame_left", layout.left);
    Image11 = piece("frame_right", layout.right);
    Image9 = piece("frame_bottom", layout.bottom);
    Image7 = piece("frame_bottom_left", layout.bottomLeft);
    Image8 = piece("frame_bottom_right", layout.bottomRight);

    closeButton_ = makeFrameButton(FrameButton::Close, layout.close.topLeft());
    helpButton_ = makeFrameButton(FrameButton::Help, layout.help.topLeft());
    escapeButton_ = closeButton_;
}

void TSkinForm::buildSkin(QSize client, const QString& skin)
{
    skin_ = new TSkinImage(assets::picture(skin), this);
    skin_->setGeometry(QRect(QPoint(0, 0), client));
}

namespace {

QPoint centredIn(const QRect& area, QSize size)
{
    return {area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2};
}

} // namespace

void TSkinForm::centreOnDesktop()
{
    if (QScreen* where = screen())
        move(centredIn(where->availableGeometry(), size()));
}

void TSkinForm::centreOnScreen()
{
    if (QScreen* where = screen())
        move(centredIn(where->geometry(), size()));
}

void TSkinForm::makeDragHandle(QWidget* handle, std::function<void()> mouseDown)
{
    dragHandlers_.insert(handle, std::move(mouseDown));
    handle->installEventFilter(this);
}

void TSkinForm::makeTitleDragHandles(const std::function<void()>& mouseDown)
{
    for (QWidget* handle : {static_cast<QWidget*>(Image3), static_cast<QWidget*>(Image6), static_cast<QWidget*>(Image5)})
        makeDragHandle(handle, mouseDown);
}

bool TSkinForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
        // Windows built on this one may watch their own controls too: only the handles drag.
        const auto handler = dragHandlers_.constFind(watched);
        if (handler != dragHandlers_.constEnd()) {
            (*handler)();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TSkinForm::openHelp()
{
    platform::shell().open(App().HelpPath);
}

void TSkinForm::playWindowSound()
{
    if (App().SoundOn)
        platform::sound().play(App().WindowSoundPath);
}

namespace {

// A button of the skinned look with its three faces, the pictures base_up, base_down, base_hot.
TBBut* skinnedButton(QWidget* owner, QWidget* parent, const QString& base, bool useFontDown)
{
    auto* button = new TBBut(owner, parent);
    button->setShape(TBBut::bsSpacer);
    button->setCorner(0);
    button->setUnMouse(0);
    button->setUseFontDown(useFontDown);
    button->setPictUp(assets::picture(base + QStringLiteral("_up")));
    button->setPictDown(assets::picture(base + QStringLiteral("_down")));
    button->setPictEn(assets::picture(base + QStringLiteral("_hot")));
    return button;
}

} // namespace

TBBut* TSkinForm::makeFrameButton(FrameButton which, QPoint at, QWidget* parent)
{
    const QString base = which == FrameButton::Close ? QStringLiteral("close") : QStringLiteral("help");
    TBBut* button = skinnedButton(this, parent, base, true);
    button->setGeometry(QRect(at, QSize(FrameButtonSize, FrameButtonSize)));
    // Named like its hint, also where a window drops the hint.
    if (which == FrameButton::Close) {
        button->setHint(tr("Закрыть"));
        button->setAccessibleName(tr("Закрыть"));
    } else {
        button->setHint(tr("Справка"));
        button->setAccessibleName(tr("Справка"));
        button->OnClick = [](QObject*) { openHelp(); };
    }
    button->raise();
    return button;
}

TBBut* TSkinForm::makePushButton(const QString& caption, const QRect& geometry, ButtonLook look,
                                 QWidget* parent)
{
    const QString base = look == ButtonLook::MainAction ? QStringLiteral("button_main")
                                                        : QStringLiteral("button");
    TBBut* button = skinnedButton(this, parent, base, false);
    button->setCaption(caption);
    button->setGeometry(geometry);
    return button;
}

void TSkinForm::showEvent(QShowEvent* event)
{
    // The program shows no taskbar button for any of its windows; this runs before the window
    // is mapped, which is when window managers read it.
    platform::windowSystem().hideTaskbarButton(this);
    QWidget::showEvent(event);
    // A spontaneous show is the window coming back from minimised, not a new showing.
    if (!event->spontaneous())
        platform::runGuarded([this] { FormShow(); });
}

void TSkinForm::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    // A minimised window is still showing; only a real hide ends a modal show.
    if (!isVisible())
        Q_EMIT hidden();
}

namespace {

bool within(const QWidget* outer, const QWidget* widget)
{
    return widget == outer || outer->isAncestorOf(widget);
}

QWidget* lastTakingFocus(QWidget* window)
{
    for (QWidget* w = window->previousInFocusChain(); w != window; w = w->previousInFocusChain()) {
        if (w->focusPolicy() != Qt::NoFocus)
            return w;
    }
    return nullptr;
}

} // namespace

void TSkinForm::setTabChain(std::initializer_list<QWidget*> widgets)
{
    // Each goes to the end of the chain in turn, so the first leads it and a showing starts
    // there. Qt leaves a widget where it is when asked to put it after the one before it round
    // the chain (the frame buttons, made first, lead it at the start): such a one is moved one
    // place on first.
    for (QWidget* widget : widgets) {
        QWidget* last = lastTakingFocus(this);
        if (!last || within(widget, last))
            continue;
        setTabOrder(last, widget);
        if (within(widget, lastTakingFocus(this)))
            continue;
        QWidget* after = widget->nextInFocusChain();
        while (after != this && (within(widget, after) || after->focusPolicy() == Qt::NoFocus))
            after = after->nextInFocusChain();
        setTabOrder(after, widget);
        setTabOrder(lastTakingFocus(this), widget);
    }
}

void TSkinForm::keyPressEvent(QKeyEvent* event)
{
    // Whatever has the focus let Escape through: it does what the close button does.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && escapeButton_
        && escapeButton_->isEnabled()) {
        event->accept();
        escapeButton_->Click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TSkinForm::showModal()
{
    if (isVisible()) {
        platform::windowSystem().activate(this);
        return;
    }
    QEventLoop loop;
    QPointer<TSkinForm> alive(this);
    connect(this, &TSkinForm::hidden, &loop, &QEventLoop::quit);
    const platform::ModalScope scope(this);
    modalLoop_ = &loop;
    show();
    platform::windowSystem().activate(this);
    if (isVisible())
        loop.exec();
    if (alive)
        modalLoop_ = nullptr;
}
