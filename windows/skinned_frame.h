#pragma once
// The common look of the program's windows: borderless, a fixed client size, the light olive
// palette, and either a frame of nine pictures with close and help buttons at the top right or
// one picture over the whole window. Windows are dragged by their title pieces. Escape presses
// the window's close button (or the button the window names instead), and assistive technology
// sees a frame, or a dialog for the modal ones, named by the window's title.
#include <QColor>
#include <QFont>
#include <QGroupBox>
#include <QHash>
#include <QPixmap>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

#include <functional>
#include <initializer_list>

class TBBut;

// A picture stretched over its whole rectangle; paints nothing while the picture is missing.
class TSkinImage : public QWidget {
    Q_OBJECT
public:
    explicit TSkinImage(const QPixmap& picture, QWidget* parent);
    const QPixmap& picture() const { return picture_; }
    void setPicture(const QPixmap& picture);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap picture_;
};

// A group frame of the skinned look: a one-pixel line in the accent colour, the caption (when
// there is one) set into its top line. Every framed area of the program's windows is one.
class TSkinGroupBox : public QGroupBox {
    Q_OBJECT
public:
    explicit TSkinGroupBox(const QString& caption, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};

class TSkinForm : public QWidget {
    Q_OBJECT
public:
    enum class FrameKind {
        Composite, // nine pictures around the edges, close and help buttons
        Skin,      // one picture over the whole window, the window adds its own buttons
    };
    enum class ButtonLook {
        MainAction, // "OK", "Отправить"
        Other,
    };
    enum class FrameButton { Close, Help };

    // role: the window's part of the title "Pellavine 1.2 (role)". skin: the picture of a
    // Skin window (unused for Composite).
    TSkinForm(const QString& role, QSize clientSize, FrameKind kind, const QString& skin = QString(),
              QWidget* parent = nullptr);
    ~TSkinForm() override;

    FrameKind frameKind() const { return kind_; }

    // A window shown modally is a dialog to assistive technology, the others are frames.
    bool isDialog() const { return dialog_; }
    void setDialog(bool on) { dialog_ = on; }

    // The button Escape presses: the close button unless the window names another.
    TBBut* escapeButton() const { return escapeButton_; }
    void setEscapeButton(TBBut* button) { escapeButton_ = button; }

    // Tab visits the widgets in this order, and wraps from the last to the first.
    void setTabChain(std::initializer_list<QWidget*> widgets);

    // Composite frame pieces (null on a Skin window).
    TSkinImage* Image3 = nullptr;  // title, left
    TSkinImage* Image6 = nullptr;  // title, stretched middle
    TSkinImage* Image5 = nullptr;  // title, right
    TSkinImage* Image1 = nullptr;  // behind the frame buttons
    TSkinImage* Image10 = nullptr; // left edge
    TSkinImage* Image11 = nullptr; // right edge
    TSkinImage* Image9 = nullptr;  // bottom edge
    TSkinImage* Image7 = nullptr;  // bottom left corner
    TSkinImage* Image8 = nullptr;  // bottom right corner

    // The frame's close and help buttons (Composite only; a Skin window makes its own with
    // makeFrameButton). The help button opens the help document; close does nothing until the
    // window gives it a handler.
    TBBut* closeButton() const { return closeButton_; }
    TBBut* helpButton() const { return helpButton_; }
    // The whole-window picture of a Skin window (null on a Composite one).
    TSkinImage* skinPicture() const { return skin_; }

    // Where the pieces and buttons of a composite frame go for a client area of the given size.
    struct CompositeLayout {
        QRect titleLeft, titleMiddle, titleRight, buttons;
        QRect left, right, bottom, bottomLeft, bottomRight;
        QRect close, help;
    };
    static CompositeLayout compositeLayout(QSize client);

    // Centre the window on the work area of its screen (the desktop without panels), or on the
    // whole screen.
    void centreOnDesktop();
    void centreOnScreen();

    // Any mouse button pressed on `handle` runs `mouseDown`, the window's drag handler, which
    // moves the window as its title bar would.
    void makeDragHandle(QWidget* handle, std::function<void()> mouseDown);
    // The same for the three title pieces of a composite frame.
    void makeTitleDragHandles(const std::function<void()>& mouseDown);

    // Opens the help document with the desktop's program for it; the result is ignored.
    static void openHelp();
    // The window sound, when sounds are on.
    static void playWindowSound();

    // The window's handler of being shown, run on each showing (not on coming back from
    // minimised); what it throws is reported.
    virtual void FormShow() {}

    // A 16 x 16 close or help button with its three pictures and hint; help buttons open the
    // help document.
    TBBut* makeFrameButton(FrameButton which, QPoint at, QWidget* parent = nullptr);
    // A caption button with the push-button faces of the given look.
    TBBut* makePushButton(const QString& caption, const QRect& geometry, ButtonLook look,
                          QWidget* parent = nullptr);

    // Shows the window modally and returns when it is hidden or closed: the program's windows
    // showing now are blocked meanwhile, those shown later are not (platform/modality.h).
    // Events keep flowing. A window that is already showing is only brought forward.
    void showModal();
    bool isShowing() const { return isVisible(); }
    bool isModalShowing() const { return modalLoop_ != nullptr; }

Q_SIGNALS:
    void hidden();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildComposite(QSize client);
    void buildSkin(QSize client, const QString& skin);

    FrameKind kind_;
    TBBut* closeButton_ = nullptr;
    TBBut* helpButton_ = nullptr;
    TSkinImage* skin_ = nullptr;
    TBBut* escapeButton_ = nullptr;
    bool dialog_ = false;
    QHash<const QObject*, std::function<void()>> dragHandlers_;
    class QEventLoop* modalLoop_ = nullptr;
};

// The fixed look every window shares.
namespace skin {
QColor background();  // #F6F9EC
QColor textField();   // #EDF2D8
QColor accent();      // #D7D700
QColor text();        // #595900
QColor link();        // #0058B0
QFont windowFont();   // Arial, 11 pixels
} // namespace skin
