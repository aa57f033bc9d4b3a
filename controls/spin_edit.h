#pragma once
// A one-line numeric field with up and down arrow buttons at its right edge. Its value is read
// from the text without clamping and written with clamping into [MinValue, MaxValue]; leaving
// the field rewrites an out-of-range number clamped. Only characters that may form a number are
// typed; anything else is dropped with a beep.
#include <QColor>
#include <QLineEdit>
#include <QWidget>

#include <functional>

class QTimer;
class TSpinEdit;

// The editor inside a TSpinEdit: filters typed characters, steps on Up and Down, selects its
// text on entry and clamps on exit.
class TSpinEditor : public QLineEdit {
    Q_OBJECT
public:
    explicit TSpinEditor(TSpinEdit* owner);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    TSpinEdit* owner_;
};

// One arrow button. Steps once when pressed; held down, steps again after the first delay and
// then at every repeat interval until released.
class TSpinButton : public QWidget {
    Q_OBJECT
public:
    enum Direction { Up, Down };
    static constexpr int FirstRepeatMs = 400;
    static constexpr int RepeatMs = 100;

    TSpinButton(Direction direction, QWidget* parent);
    Direction direction() const { return direction_; }
    bool isHeld() const { return held_; }

Q_SIGNALS:
    void step();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void release();
    void repeat();

    Direction direction_;
    QTimer* repeat_;
    bool held_ = false;
};

class TSpinEdit : public QWidget {
    Q_OBJECT
public:
    // Key is a Qt::Key; a handler that sets it to 0 stops the field's own handling of the key.
    using TKeyEvent = std::function<void(QObject* Sender, int& Key, Qt::KeyboardModifiers Shift)>;

    explicit TSpinEdit(QWidget* parent = nullptr);

    int MinValue() const { return minValue_; }
    void setMinValue(int value);
    int MaxValue() const { return maxValue_; }
    void setMaxValue(int value);
    int Increment() const { return increment_; }
    void setIncrement(int value) { increment_ = value; }
    // Typing allowed; the arrows still step while it is off.
    bool EditorEnabled() const { return editorEnabled_; }
    void setEditorEnabled(bool on);
    // No typing, no stepping, no cut or paste.
    bool ReadOnly() const { return readOnly_; }
    void setReadOnly(bool on);
    const QColor& Color() const { return color_; }
    void setColor(const QColor& colour);

    // The text as a decimal number, or MinValue when it is none. Never clamped.
    int Value() const;
    // Shows the value clamped into the range (left as it is when MinValue equals MaxValue).
    void setValue(int value);
    QString Text() const;
    void setText(const QString& text);
    int CheckValue(qint64 value) const;

    // Reads a decimal integer with an optional sign; false when the text is none.
    static bool parseValue(const QString& text, int& value);
    // Whether a typed character may go into the field (Enter never does).
    static bool IsValidChar(QChar c);

    // Steps by +Increment or -Increment, as the Up and Down keys and the arrow buttons do.
    void UpClick();
    void DownClick();

    TSpinEditor* editor() const { return editor_; }
    // The name assistive technology reads, for the field and for the editor that takes the focus.
    void setAccessibleCaption(const QString& name);
    TSpinButton* upButton() const { return up_; }
    TSpinButton* downButton() const { return down_; }

    // Raised for every key pressed in the field, before the field handles it.
    TKeyEvent OnKeyDown;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class TSpinEditor;
    void layoutButtons();
    void applyEditable();
    // Called by the editor on a key press; true when the key was taken.
    bool keyDown(QKeyEvent* event);
    bool typedKey(QKeyEvent* event);
    void exited();

    TSpinEditor* editor_;
    TSpinButton* up_;
    TSpinButton* down_;
    int minValue_ = 0;
    int maxValue_ = 0;
    int increment_ = 1;
    bool editorEnabled_ = true;
    bool readOnly_ = false;
    QColor color_;
};
