#pragma once
// The message viewer: shows the last received message (time, sender, text). While it is open
// for a new message it animates the tray icon and, if enabled, takes the focus back now and then.
// Messages not seen yet are a step away: "◀ ещё N" in its header shows them one by one.
#include "messaging/inbox.h"
#include "windows/skinned_frame.h"

class QLabel;
class QPlainTextEdit;
class QTimer;
class QToolButton;
class TBBut;

class TMsgF : public TSkinForm {
    Q_OBJECT
public:
    explicit TMsgF(QWidget* parent = nullptr);
    ~TMsgF() override;

    QLabel* MsgTimeLab = nullptr;   // arrival time
    QLabel* InfoLab1 = nullptr;     // "Сообщение от name (address):"
    QWidget* Shape1 = nullptr;      // the accent border around the text
    QPlainTextEdit* MsgLab = nullptr; // the text, read-only, plain
    TBBut* BBut1 = nullptr;         // "OK"
    TBBut* BBut2 = nullptr;         // "Ответить"
    TBBut* BBut5 = nullptr;         // "В черный список"
    TBBut* BBut3 = nullptr;         // frame close
    TBBut* BBut4 = nullptr;         // frame help
    QTimer* t1 = nullptr;           // auto-focus repeat

    // Shows the viewer, or only brings it to the front when it is already showing (the show
    // actions then do not run again); either way it is usable, whatever dialog is open.
    void showViewer();

    // Fills the time, the sender's line and the text from a received message; "Ответить" and
    // "В черный список" then act on its sender.
    void showMessage(const ReceivedMessage& message);
    const ReceivedMessage& shownMessage() const { return shown_; }
    // Fills the viewer with the newest message, when there is one.
    void showNewest();
    // "◀ ещё N": N messages besides the one shown are unseen; hidden when there are none.
    QToolButton* earlierButton() const { return earlier_; }
    // The message shown counts as seen; the newest unseen one is shown instead.
    void earlierClick();

    // Remote text as it may be put on screen: control characters, NUL among them, become visible
    // stand-ins (their names, "◄NUL►") instead of cutting or garbling the text; tabs and line
    // breaks stay.
    static QString printable(const QString& text);
    // A computer name as it may be put on screen: besides control characters, every character
    // that is invisible or reorders text (spaces other than the plain one, zero-width and
    // direction controls) is shown by a visible stand-in, so a name cannot pass for another.
    static QString visibleName(const QString& name);

    // The header "Сообщение от NAME (ADDRESS):". The address is always shown in full; the name
    // is shortened in the middle to fit the label, and whole in its plain-text tool tip.
    void showSender(const QString& name, const QString& address);

    // Puts the text into MsgLab. A text with a long stretch that offers no line break is wrapped
    // anywhere: wrapped at word boundaries, laying out such a stretch takes time growing with the
    // square of its length (half a second for 64 KiB), which any sender could repeat at will.
    void showText(const QString& text);
    // Longest stretch without a line break opportunity that is still wrapped at word boundaries.
    static constexpr int LongestWordToWrap = 1000;

    // --- Handlers ---
    void FormCreate();
    void FormShow() override;
    void FormHide();
    // Runs once at process end, before the window is deleted.
    void FormDestroy();
    void FormKeyDown(int key);
    void t1Timer();
    void BBut1Click(); // OK
    void BBut2Click(); // Ответить
    void BBut3Click(); // close button
    void BBut4Click(); // help
    void BBut5Click(); // В черный список
    void Image6MouseDown();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void markShownSeen();
    void showUnseenCount();

    QToolButton* earlier_ = nullptr;
    ReceivedMessage shown_;
    // The program is ending: the viewer goes, but what it shows was not read.
    bool ending_ = false;
};

extern TMsgF* MsgF;
