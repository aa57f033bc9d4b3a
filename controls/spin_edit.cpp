#include "controls/spin_edit.h"

#include "platform/platform.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <limits>

namespace {

constexpr int ButtonWidth = 15;
constexpr int EditorFrame = 2;

bool isEnterKey(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// A spin box to assistive technology, its value the text shown.
class AccessibleSpinEdit final : public QAccessibleWidget {
public:
    explicit AccessibleSpinEdit(TSpinEdit* field)
        : QAccessibleWidget(field, QAccessible::SpinBox)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return static_cast<const TSpinEdit*>(widget())->Text();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* accessibleSpinEdit(const QString& className, QObject* object)
{
    if (className == QLatin1String("TSpinEdit") && object && object->isWidgetType())
        return new AccessibleSpinEdit(static_cast<TSpinEdit*>(object));
    return nullptr;
}

} // namespace

// ----- TSpinEditor -----

TSpinEditor::TSpinEditor(TSpinEdit* owner)
    : QLineEdit(owner)
    , owner_(owner)
{
    // Composed text would bypass the character filter.
    setAttribute(Qt::WA_InputMethodEnabled, false);
}

void TSpinEditor::keyPressEvent(QKeyEvent* event)
{
    if (!owner_->keyDown(event))
        QLineEdit::keyPressEvent(event);
}

void TSpinEditor::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    // A click places the caret where it lands; any other way in selects the whole number, and
    // coming back from a context menu keeps the selection the menu acted on.
    if (event->reason() != Qt::MouseFocusReason && event->reason() != Qt::PopupFocusReason)
        selectAll();
}

void TSpinEditor::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    // Another window or a menu coming up does not leave the field.
    if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason)
        owner_->exited();
}

// ----- TSpinButton -----

TSpinButton::TSpinButton(Direction direction, QWidget* parent)
    : QWidget(parent)
    , direction_(direction)
    , repeat_(new QTimer(this))
{
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
    connect(repeat_, &QTimer::timeout, this, &TSpinButton::repeat);
}

void TSpinButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QPalette& colours = palette();
    painter.fillRect(rect(), held_ ? colours.color(QPalette::Mid) : colours.color(QPalette::Window));
    painter.setPen(colours.color(QPalette::Mid));
    painter.drawLine(0, 0, 0, height() - 1);

    // A small filled triangle in the middle, pointing up or down.
    const int half = 3;
    const int cx = (width() + 1) / 2;
    const int cy = height() / 2;
    QPolygon arrow;
    if (direction_ == Up)
        arrow << QPoint(cx - half, cy + 1) << QPoint(cx + half, cy + 1) << QPoint(cx, cy + 1 - half);
    else
        arrow << QPoint(cx - half, cy - 1) << QPoint(cx + half, cy - 1) << QPoint(cx, cy - 1 + half);
    const QColor ink = colours.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText);
    painter.setPen(ink);
    painter.setBrush(ink);
    painter.drawPolygon(arrow);
}

void TSpinButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    held_ = true;
    update();
    repeat_->start(FirstRepeatMs);
    Q_EMIT step();
}

void TSpinButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        release();
    else
        QWidget::mouseReleaseEvent(event);
}

void TSpinButton::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // A button that can no longer be released by the user must not keep stepping.
    if (event->type() == QEvent::EnabledChange && !isEnabled())
        release();
}

void TSpinButton::release()
{
    repeat_->stop();
    if (held_) {
        held_ = false;
        update();
    }
}

void TSpinButton::repeat()
{
    if (!held_ || !isVisible()) {
        release();
        return;
    }
    if (repeat_->interval() != RepeatMs)
        repeat_->setInterval(RepeatMs);
    Q_EMIT step();
}

// ----- TSpinEdit -----

TSpinEdit::TSpinEdit(QWidget* parent)
    : QWidget(parent)
    , editor_(new TSpinEditor(this))
    , up_(new TSpinButton(TSpinButton::Up, editor_))
    , down_(new TSpinButton(TSpinButton::Down, editor_))
{
    static const bool accessible = (QAccessible::installFactory(accessibleSpinEdit), true);
    Q_UNUSED(accessible);
    setFocusProxy(editor_);
    setFocusPolicy(editor_->focusPolicy());
    editor_->setTextMargins(0, 0, ButtonWidth, 0);
    editor_->setText(QStringLiteral("0"));

    auto arrow = [this](TSpinButton* button, void (TSpinEdit::*stepper)()) {
        connect(button, &TSpinButton::step, this, [this, stepper] {
            if (!editor_->hasFocus())
                editor_->setFocus(Qt::MouseFocusReason);
            platform::runGuarded([this, stepper] { (this->*stepper)(); });
        });
    };
    arrow(up_, &TSpinEdit::UpClick);
    arrow(down_, &TSpinEdit::DownClick);
    resize(121, 21);
    layoutButtons();
}

void TSpinEdit::setAccessibleCaption(const QString& name)
{
    setAccessibleName(name);
    editor_->setAccessibleName(name);
}

void TSpinEdit::setMinValue(int value)
{
    minValue_ = value;
}

void TSpinEdit::setMaxValue(int value)
{
    maxValue_ = value;
}

void TSpinEdit::setEditorEnabled(bool on)
{
    editorEnabled_ = on;
    applyEditable();
}

void TSpinEdit::setReadOnly(bool on)
{
    readOnly_ = on;
    applyEditable();
}

void TSpinEdit::applyEditable()
{
    // QLineEdit's own read-only state refuses typing, cut and paste alike.
    editor_->setReadOnly(readOnly_ || !editorEnabled_);
}

void TSpinEdit::setColor(const QColor& colour)
{
    color_ = colour;
    QPalette colours = editor_->palette();
    colours.setColor(QPalette::Base, colour);
    editor_->setPalette(colours);
}

bool TSpinEdit::parseValue(const QString& text, int& value)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    if (i == text.size())
        return false;
    qint64 magnitude = 0;
    const qint64 limit = negative ? -qint64(std::numeric_limits<int>::min()) : std::numeric_limits<int>::max();
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return false;
        magnitude = magnitude * 10 + (c - u'0');
        if (magnitude > limit)
            return false;
    }
    value = int(negative ? -magnitude : magnitude);
    return true;
}

int TSpinEdit::Value() const
{
    int value = 0;
    return parseValue(editor_->text(), value) ? value : minValue_;
}

int TSpinEdit::CheckValue(qint64 value) const
{
    if (maxValue_ != minValue_) {
        if (value < minValue_)
            return minValue_;
        if (value > maxValue_)
            return maxValue_;
    }
    // Without a range, a step past the ends of int stops there instead of wrapping.
    return int(std::clamp<qint64>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

void TSpinEdit::setValue(int value)
{
    editor_->setText(QString::number(CheckValue(value)));
}

QString TSpinEdit::Text() const
{
    return editor_->text();
}

void TSpinEdit::setText(const QString& text)
{
    editor_->setText(text);
}

bool TSpinEdit::IsValidChar(QChar c)
{
    const char16_t u = c.unicode();
    if (u == u'\r' || u == u'\n')
        return false;
    if (u >= u'0' && u <= u'9')
        return true;
    if (u == u'+' || u == u'-')
        return true;
    if (QLocale().decimalPoint() == QString(c))
        return true;
    // Backspace and the editing shortcuts (Ctrl+C, Ctrl+V, Ctrl+X, ...) arrive as control characters.
    return u < 0x20 || u == 0x7F;
}

void TSpinEdit::UpClick()
{
    if (readOnly_) {
        platform::dialogs().beep();
        return;
    }
    setValue(CheckValue(qint64(Value()) + increment_));
}

void TSpinEdit::DownClick()
{
    if (readOnly_) {
        platform::dialogs().beep();
        return;
    }
    setValue(CheckValue(qint64(Value()) - increment_));
}

bool TSpinEdit::keyDown(QKeyEvent* event)
{
    int key = event->key();
    if (OnKeyDown) {
        // The handler may close the window; a failed handler ends the key's handling here.
        QPointer<TSpinEdit> alive(this);
        const bool ok = platform::runGuarded([&] { OnKeyDown(this, key, event->modifiers()); });
        if (!alive || !ok)
            return true;
        if (key == 0) {
            event->accept();
            return true;
        }
    }
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
        if (key == Qt::Key_Up)
            UpClick();
        else
            DownClick();
        event->accept();
        return true;
    }
    return typedKey(event);
}

bool TSpinEdit::typedKey(QKeyEvent* event)
{
    // Enter is never typed into the field, with or without modifiers, and never passed on.
    if (isEnterKey(event->key())) {
        platform::dialogs().beep();
        event->accept();
        return true;
    }
    const QString text = event->text();
    if (text.isEmpty())
        return false;
    const Qt::KeyboardModifiers mods = event->modifiers();
    // Ctrl combinations are the editing shortcuts (copy, cut, paste, select all), whatever text
    // the keyboard layer attaches to them; the editor itself refuses them while read-only.
    if (mods & Qt::ControlModifier)
        return false;
    // Alt combinations are the window's shortcuts, not typing.
    if (mods & Qt::AltModifier) {
        event->ignore();
        return true;
    }
    bool valid = true;
    for (const QChar c : text) {
        if (!IsValidChar(c)) {
            valid = false;
            break;
        }
        // Printable characters are typing, refused while typing is off.
        if (c.unicode() >= 0x20 && c.unicode() != 0x7F && (!editorEnabled_ || readOnly_)) {
            valid = false;
            break;
        }
    }
    if (valid)
        return false;
    platform::dialogs().beep();
    event->accept();
    return true;
}

void TSpinEdit::exited()
{
    const int value = Value();
    if (CheckValue(value) != value)
        setValue(value);
}

void TSpinEdit::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutButtons();
}

void TSpinEdit::layoutButtons()
{
    editor_->setGeometry(rect());
    const int inner = qMax(2, height() - 2 * EditorFrame);
    const int upHeight = inner / 2;
    const int x = width() - EditorFrame - ButtonWidth;
    up_->setGeometry(x, EditorFrame, ButtonWidth, upHeight);
    down_->setGeometry(x, EditorFrame + upHeight, ButtonWidth, inner - upHeight);
}
