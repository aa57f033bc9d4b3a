#pragma once
// The program's push button: paints itself from three pictures (normal, pressed, hovered) with
// a centred caption and reports a click when the left button is released over it. Tab reaches
// it (a click never takes the focus), Space and Enter press it, and assistive technology sees a
// push button named by its caption (or its accessible name) with a press action.
#include <QFont>
#include <QColor>
#include <QPixmap>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QWidget>

#include <functional>

class TBBut : public QWidget {
    Q_OBJECT
public:
    // The bevel the button is built on. bsSpacer draws nothing; every button of the program uses it.
    enum TBevelShape { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
    enum TBevelStyle { bsLowered, bsRaised };

    using TNotifyEvent = std::function<void(QObject* Sender)>;
    using TMouseEvent = std::function<void(QObject* Sender, Qt::MouseButton Button,
                                           Qt::KeyboardModifiers Shift, int X, int Y)>;
    using TMouseMoveEvent = std::function<void(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y)>;
    // Handled = true keeps the default context menu handling from running.
    using TContextPopupEvent = std::function<void(QObject* Sender, QPoint MousePos, bool& Handled)>;

    // owner: the window the button belongs to; its font and colour are the button's "parent"
    // font and colour. parent: the widget the button sits on (the owner when null). Throws
    // std::invalid_argument when owner is not a top-level window.
    explicit TBBut(QWidget* owner, QWidget* parent = nullptr);
    ~TBBut() override;

    // Raises OnClick. An exception escaping the handler is reported, never rethrown.
    void Click();
    // The name assistive technology reads: the accessible name when one is set, else the caption.
    QString accessibleText() const;

    QWidget* Owner() const { return owner_; }

    // Pictures
    const QPixmap& PictUp() const { return pictUp_; }
    const QPixmap& PictDown() const { return pictDown_; }
    const QPixmap& PictEn() const { return pictEn_; }
    void setPictUp(const QPixmap& picture);
    void setPictDown(const QPixmap& picture);
    void setPictEn(const QPixmap& picture);
    bool TranspPict() const { return transpPict_; }
    void setTranspPict(bool on);

    // Look
    const QString& Caption() const { return caption_; }
    void setCaption(const QString& text);
    int Corner() const { return corner_; }
    void setCorner(quint16 inset);
    int UnMouse() const { return unMouse_; }
    void setUnMouse(qint8 offset);
    bool Transparent() const { return transparent_; }
    void setTransparent(bool on);
    bool ParentColor() const { return parentColor_; }
    void setParentColor(bool on);
    const QColor& Color() const { return color_; }
    void setColor(const QColor& colour);
    bool ParentFont() const { return parentFont_; }
    void setParentFont(bool on);
    // The caption font and its colour (a window's font carries a colour; QFont does not).
    const QFont& Font() const { return font_; }
    void setFont(const QFont& font);
    const QColor& FontColor() const { return fontColor_; }
    void setFontColor(const QColor& colour);
    const QFont& FontDown() const { return fontDown_; }
    void setFontDown(const QFont& font);
    const QColor& FontDownColor() const { return fontDownColor_; }
    void setFontDownColor(const QColor& colour);
    bool UseFontDown() const { return useFontDown_; }
    void setUseFontDown(bool on);

    TBevelShape Shape() const { return shape_; }
    void setShape(TBevelShape shape);
    TBevelStyle Style() const { return style_; }
    void setStyle(TBevelStyle style);
    using QWidget::setStyle;

    // The tool tip, always shown as plain text.
    const QString& Hint() const { return hint_; }
    void setHint(const QString& text);

    // State, read-only from outside.
    bool MouseInside() const { return mouseInside_; }
    bool ButtonHeld() const { return buttonHeld_; }
    bool Down() const { return down_; }
    bool Hot() const { return hot_; }

    // Where the caption's top-left corner goes: half the free room on each axis, worked out in
    // real numbers and truncated toward zero (a caption wider than the button starts left of 0).
    static QPoint captionOrigin(QSize button, QSize text);

    TNotifyEvent OnClick;
    TNotifyEvent OnDBClick;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;
    TNotifyEvent OnPress;
    TNotifyEvent OnRelease;
    TNotifyEvent OnPropertyChanged;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;
    TContextPopupEvent OnContextPopup;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void paintFocusMark(class QPainter& painter);
    void setKeyDown(bool down);
    void pressed();
    void pointerEntered();
    void pointerLeft();
    void trackPointer(bool over);
    void propertyChanged();
    void notify(const TNotifyEvent& event);
    void paintBevel(class QPainter& painter);
    static QPixmap withTransparency(const QPixmap& picture, bool transparent);
    const QPixmap& shown(const QPixmap& picture, const QPixmap& keyed) const;

    QWidget* owner_;
    QPixmap pictUp_, pictDown_, pictEn_;
    // The pictures with their keyed-out background, used when TranspPict is on.
    QPixmap keyedUp_, keyedDown_, keyedEn_;
    bool transpPict_ = false;
    bool transparent_ = false;
    bool parentFont_ = true;
    bool parentColor_ = true;
    bool useFontDown_ = true;
    quint16 corner_ = 4;
    qint8 unMouse_ = 1;
    QString caption_;
    QString hint_;
    QFont font_, fontDown_;
    QColor fontColor_, fontDownColor_;
    QColor color_;
    TBevelShape shape_ = bsBox;
    TBevelStyle style_ = bsRaised;

    bool mouseInside_ = false;
    bool buttonHeld_ = false;
    bool down_ = false;
    bool hot_ = false;
    // Whether the pointer is over the button, as last seen; enter and leave run on its changes.
    bool pointerOver_ = false;
    // Space went down on the focused button and has not come up yet.
    bool spaceHeld_ = false;
};
