#include "controls/skinned_button.h"

#include "platform/platform.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QContextMenuEvent>
#include <QEnterEvent>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTextDocument>
#include <QTimer>

#include <cmath>
#include <stdexcept>

namespace {

QWidget* requireWindow(QWidget* owner)
{
    if (!owner || !owner->isWindow())
        throw std::invalid_argument("Invalid class typecast: a button's owner must be a window");
    return owner;
}

bool isEnterKey(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// What assistive technology sees of a button: a push button with a press action, as Qt's own
// buttons are, instead of an anonymous filler.
class AccessibleButton final : public QAccessibleWidget {
public:
    explicit AccessibleButton(TBBut* button)
        : QAccessibleWidget(button, QAccessible::PushButton)
    {
    }

    TBBut* button() const { return static_cast<TBBut*>(widget()); }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return button()->accessibleText();
        if (t == QAccessible::Description) {
            // The hint tells nothing more when it only repeats the name.
            const QString description = QAccessibleWidget::text(t);
            return description == button()->accessibleText() ? QString() : description;
        }
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.pressed = button()->Down();
        return s;
    }

    QStringList actionNames() const override
    {
        QStringList names;
        if (button()->isEnabled())
            names << pressAction();
        return names + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& action) override
    {
        if (action != pressAction()) {
            QAccessibleWidget::doAction(action);
            return;
        }
        // Later, from the event loop: the handler may open a modal box, which must not run
        // inside the assistive technology's call.
        QPointer<TBBut> target = button();
        QTimer::singleShot(0, target, [target] {
            if (target && target->isEnabled())
                target->Click();
        });
    }

    QStringList keyBindingsForAction(const QString& action) const override
    {
        if (action == pressAction())
            return {QStringLiteral("Space")};
        return QAccessibleWidget::keyBindingsForAction(action);
    }
};

QAccessibleInterface* accessibleButton(const QString& className, QObject* object)
{
    if (className == QLatin1String("TBBut") && object && object->isWidgetType())
        return new AccessibleButton(static_cast<TBBut*>(object));
    return nullptr;
}

} // namespace

TBBut::TBBut(QWidget* owner, QWidget* parent)
    : QWidget(parent ? parent : requireWindow(owner))
    , owner_(requireWindow(owner))
    , font_(owner->font())
    , fontDown_(owner->font())
    , fontColor_(owner->palette().color(QPalette::WindowText))
    , fontDownColor_(fontColor_)
    , color_(QApplication::palette().color(QPalette::Button))
{
    static const bool accessible = (QAccessible::installFactory(accessibleButton), true);
    Q_UNUSED(accessible);
    resize(40, 40);
    // Tab reaches the button, a click does not take the focus from the field being edited.
    setFocusPolicy(Qt::TabFocus);
}

TBBut::~TBBut() = default;

void TBBut::notify(const TNotifyEvent& event)
{
    if (event)
        event(this);
}

void TBBut::Click()
{
    if (OnClick)
        platform::runGuarded([this] { OnClick(this); });
}

QString TBBut::accessibleText() const
{
    return accessibleName().isEmpty() ? caption_ : accessibleName();
}

QPoint TBBut::captionOrigin(QSize button, QSize text)
{
    const double x = button.width() / 2.0 - text.width() / 2.0;
    const double y = button.height() / 2.0 - text.height() / 2.0;
    return {static_cast<int>(std::trunc(x)), static_cast<int>(std::trunc(y))};
}

// ----- properties -----

void TBBut::propertyChanged()
{
    notify(OnPropertyChanged);
    update();
}

QPixmap TBBut::withTransparency(const QPixmap& picture, bool transparent)
{
    if (!transparent || picture.isNull())
        return picture;
    // The colour of the bottom-left pixel is the picture's background.
    const QImage image = picture.toImage();
    const QColor key = image.pixelColor(0, image.height() - 1);
    QPixmap keyed = picture;
    keyed.setMask(picture.createMaskFromColor(key, Qt::MaskInColor));
    return keyed;
}

const QPixmap& TBBut::shown(const QPixmap& picture, const QPixmap& keyed) const
{
    return transpPict_ ? keyed : picture;
}

void TBBut::setPictUp(const QPixmap& picture)
{
    pictUp_ = picture;
    propertyChanged();
    keyedUp_ = withTransparency(pictUp_, true);
}

void TBBut::setPictDown(const QPixmap& picture)
{
    pictDown_ = picture;
    propertyChanged();
    keyedDown_ = withTransparency(pictDown_, true);
}

void TBBut::setPictEn(const QPixmap& picture)
{
    pictEn_ = picture;
    if (pictEn_.isNull()) {
        hot_ = false;
        propertyChanged();
    }
    keyedEn_ = withTransparency(pictEn_, true);
}

void TBBut::setTranspPict(bool on)
{
    transpPict_ = on;
    propertyChanged();
}

void TBBut::setCaption(const QString& text)
{
    caption_ = text;
    propertyChanged();
}

void TBBut::setCorner(quint16 inset)
{
    corner_ = inset;
    propertyChanged();
}

void TBBut::setUnMouse(qint8 offset)
{
    unMouse_ = offset;
    propertyChanged();
}

void TBBut::setTransparent(bool on)
{
    transparent_ = on;
    propertyChanged();
}

void TBBut::setParentColor(bool on)
{
    parentColor_ = on;
    propertyChanged();
}

void TBBut::setColor(const QColor& colour)
{
    color_ = colour;
    parentColor_ = false;
    propertyChanged();
}

void TBBut::setParentFont(bool on)
{
    parentFont_ = on;
    propertyChanged();
}

void TBBut::setFont(const QFont& font)
{
    font_ = font;
    parentFont_ = false;
    update();
}

void TBBut::setFontColor(const QColor& colour)
{
    fontColor_ = colour;
    parentFont_ = false;
    update();
}

void TBBut::setFontDown(const QFont& font)
{
    fontDown_ = font;
    update();
}

void TBBut::setFontDownColor(const QColor& colour)
{
    fontDownColor_ = colour;
    update();
}

void TBBut::setUseFontDown(bool on)
{
    useFontDown_ = on;
    propertyChanged();
}

void TBBut::setShape(TBevelShape shape)
{
    if (shape_ == shape)
        return;
    shape_ = shape;
    update();
}

void TBBut::setStyle(TBevelStyle style)
{
    if (style_ == style)
        return;
    style_ = style;
    update();
}

void TBBut::setHint(const QString& text)
{
    hint_ = text;
    // A tool tip that looks like markup would be rendered as rich text: escape it instead.
    setToolTip(Qt::mightBeRichText(text) ? Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal) : text);
}

// ----- painting -----

void TBBut::paintBevel(QPainter& painter)
{
    if (shape_ == bsSpacer)
        return;
    QColor first = palette().color(QPalette::Light);
    QColor second = palette().color(QPalette::Dark);
    if (style_ == bsLowered)
        std::swap(first, second);
    const int right = width() - 1;
    const int bottom = height() - 1;
    auto box = [&painter](int left, int top, int r, int b, const QColor& topLeft, const QColor& bottomRight) {
        painter.setPen(topLeft);
        painter.drawLine(left, top, r, top);
        painter.drawLine(left, top, left, b);
        painter.setPen(bottomRight);
        painter.drawLine(r, top, r, b);
        painter.drawLine(left, b, r, b);
    };
    auto line = [&painter](const QColor& colour, int x1, int y1, int x2, int y2) {
        painter.setPen(colour);
        painter.drawLine(x1, y1, x2, y2);
    };
    switch (shape_) {
    case bsBox:
        box(0, 0, right, bottom, first, second);
        break;
    case bsFrame:
        // An etched frame: two boxes of swapped colours, one pixel apart.
        box(1, 1, right, bottom, first, first);
        box(0, 0, right - 1, bottom - 1, second, second);
        break;
    case bsTopLine:
        line(second, 0, 0, right, 0);
        line(first, 0, 1, right, 1);
        break;
    case bsBottomLine:
        line(second, 0, bottom - 1, right, bottom - 1);
        line(first, 0, bottom, right, bottom);
        break;
    case bsLeftLine:
        line(second, 0, 0, 0, bottom);
        line(first, 1, 0, 1, bottom);
        break;
    case bsRightLine:
        line(second, right - 1, 0, right - 1, bottom);
        line(first, right, 0, right, bottom);
        break;
    case bsSpacer:
        break;
    }
}

void TBBut::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paintBevel(painter);

    if (!transparent_) {
        const QColor background = parentColor_ ? owner_->palette().color(QPalette::Window) : color_;
        // One pixel stays unpainted on every side.
        painter.fillRect(QRect(1, 1, width() - 2, height() - 2), background);
    }

    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const int inset = corner_;
    const int shift = down_ ? unMouse_ : 0;
    const QRect target(inset + shift, inset + shift, width() - 2 * inset, height() - 2 * inset);

    QFont captionFont;
    QColor captionColour;
    if (!down_) {
        if (!pictUp_.isNull()) {
            if (hot_)
                painter.drawPixmap(target, shown(pictEn_, keyedEn_));
            else
                painter.drawPixmap(target, shown(pictUp_, keyedUp_));
        }
        captionFont = parentFont_ ? owner_->font() : font_;
        captionColour = parentFont_ ? owner_->palette().color(QPalette::WindowText) : fontColor_;
    } else {
        if (!pictDown_.isNull())
            painter.drawPixmap(target, shown(pictDown_, keyedDown_));
        else if (!pictEn_.isNull())
            painter.drawPixmap(target, shown(pictEn_, keyedEn_));
        else if (!pictUp_.isNull())
            painter.drawPixmap(target, shown(pictUp_, keyedUp_));
        captionFont = useFontDown_ ? fontDown_ : font_;
        captionColour = useFontDown_ ? fontDownColor_ : fontColor_;
    }

    if (!caption_.isEmpty()) {
        const QFontMetrics metrics(captionFont);
        const QPoint origin =
            captionOrigin(size(), QSize(metrics.horizontalAdvance(caption_), metrics.height())) + QPoint(shift, shift);
        painter.setFont(captionFont);
        painter.setPen(captionColour);
        painter.setBackgroundMode(Qt::TransparentMode);
        painter.drawText(origin.x(), origin.y() + metrics.ascent(), caption_);
    }
    if (hasFocus())
        paintFocusMark(painter);
}

void TBBut::paintFocusMark(QPainter& painter)
{
    // A dotted rectangle inside the edge, over the picture, in the window's text colour.
    const int inset = height() > 20 ? 3 : 1;
    QPen pen(owner_->palette().color(QPalette::WindowText), 1, Qt::DotLine);
    pen.setCosmetic(true);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRect(inset, inset, width() - 2 * inset - 1, height() - 2 * inset - 1));
}

// ----- keyboard -----

void TBBut::setKeyDown(bool down)
{
    down_ = down;
    setStyle(down ? bsLowered : bsRaised);
    repaint();
}

void TBBut::keyPressEvent(QKeyEvent* event)
{
    // Space presses and its release clicks, as with the mouse; Enter clicks at once.
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        if (!event->isAutoRepeat() && !spaceHeld_) {
            spaceHeld_ = true;
            setKeyDown(true);
        }
        event->accept();
        return;
    }
    if (isEnterKey(event->key())) {
        if (!event->isAutoRepeat())
            Click();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TBBut::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Space || event->isAutoRepeat() || !spaceHeld_) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    spaceHeld_ = false;
    setKeyDown(false);
    event->accept();
    Click();
}

void TBBut::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    update();
}

void TBBut::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    // Focus gone with Space still down: no click, as a mouse released outside gives none.
    if (spaceHeld_) {
        spaceHeld_ = false;
        down_ = false;
        setStyle(bsRaised);
    }
    update();
}

// ----- pointer -----

void TBBut::trackPointer(bool over)
{
    if (over == pointerOver_)
        return;
    pointerOver_ = over;
    if (over)
        pointerEntered();
    else
        pointerLeft();
}

void TBBut::pressed()
{
    if (mouseInside_) {
        down_ = true;
        setStyle(bsLowered);
        repaint();
    }
    buttonHeld_ = true;
    notify(OnPress);
}

void TBBut::pointerEntered()
{
    if (!isEnabled())
        return;
    mouseInside_ = true;
    if (!pictEn_.isNull() && owner_->isActiveWindow()) {
        hot_ = true;
        repaint();
    } else {
        hot_ = false;
    }
    // Left while held and come back: pressed again.
    if (buttonHeld_)
        pressed();
    notify(OnMouseEnter);
}

void TBBut::pointerLeft()
{
    if (!isEnabled())
        return;
    mouseInside_ = false;
    if (down_) {
        down_ = false;
        setStyle(bsRaised);
    }
    if (hot_) {
        hot_ = false;
        repaint();
    }
    notify(OnMouseLeave);
}

void TBBut::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    trackPointer(true);
}

void TBBut::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    trackPointer(false);
}

void TBBut::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    if (OnMouseMove)
        OnMouseMove(this, event->modifiers(), at.x(), at.y());
    // While a button is held the mouse belongs to us, and no enter or leave may come: follow
    // the pointer ourselves.
    trackPointer(rect().contains(at));
}

void TBBut::mousePressEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    trackPointer(rect().contains(at));
    if (OnMouseDown)
        OnMouseDown(this, event->button(), event->modifiers(), at.x(), at.y());
    if (event->button() == Qt::LeftButton)
        pressed();
}

void TBBut::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    QPointer<TBBut> alive(this);
    trackPointer(rect().contains(at));
    if (OnMouseUp)
        OnMouseUp(this, event->button(), event->modifiers(), at.x(), at.y());
    if (!alive || event->button() != Qt::LeftButton)
        return;
    if (mouseInside_) {
        down_ = false;
        repaint();
        setStyle(bsRaised);
        // Let the raised look reach the screen, and pending timers and sockets have their
        // turn, before the handler runs; input waits, so no second click can slip in here.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        if (!alive)
            return;
        Click();
        if (!alive)
            return;
    }
    buttonHeld_ = false;
    notify(OnRelease);
}

void TBBut::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    // Not a press: the release that follows clicks once more.
    QPointer<TBBut> alive(this);
    notify(OnPropertyChanged);
    if (!alive)
        return;
    update();
    notify(OnDBClick);
}

void TBBut::contextMenuEvent(QContextMenuEvent* event)
{
    bool handled = false;
    if (OnContextPopup)
        OnContextPopup(this, event->pos(), handled);
    if (handled)
        event->accept();
    else
        event->ignore();
}
