#pragma once
// The one modality rule of the program, for its modal windows and its boxes alike, as the old
// desktop had it: a modal blocks the program's top-level windows that are showing when it opens
// and frees them when it closes. Windows shown while it is open (the viewer, the send window,
// another box) stay usable, and so does the tray icon with its menu. The caller keeps running
// its own nested loop, so sockets and timers are served meanwhile.
//
// A blocked window takes no mouse or keyboard input and cannot be closed by the window manager;
// activating it activates the newest open modal instead. A blocked window that is hidden drops
// out, so showing it again later gives a usable window; one the program shows anew while it is
// showing (the viewer with a fresh message) is freed with unblock().
#include <QList>
#include <QPointer>
#include <QWidget>

namespace platform {

class ModalScope {
public:
    // Blocks the windows showing now, except `modal` itself (the window or box about to be shown
    // modally; null for a box that has no window of its own, as in the tests). A modal that an
    // older scope blocks is freed: it is the one the user must answer.
    explicit ModalScope(QWidget* modal);
    // Frees what this scope blocked (unless another open scope blocks it too) and gives the
    // focus back to the window that had it, when that is usable again.
    ~ModalScope();
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

    QWidget* modal() const { return modal_; }
    // The windows this scope blocks now, in no particular order.
    QList<QWidget*> blocked() const;
    // Whether this scope blocks the window of `widget`.
    bool blocks(const QWidget* widget) const;

private:
    friend class ModalGuard;
    QPointer<QWidget> modal_;
    QList<QPointer<QWidget>> blocked_;
    QPointer<QWidget> previousActive_;
};

// Whether an open modal blocks this top-level window (or the window of this widget).
bool isBlockedByModal(const QWidget* widget);
// The newest open modal that is showing; null when none is.
QWidget* activeModal();
// Where an activation of `window` must go: the window itself, or the newest showing modal when
// the window is blocked.
QWidget* activationTarget(QWidget* window);

// Frees the window from every open modal, as if it had been shown after they opened.
void unblock(QWidget* window);

// Windows a modal never blocks: the stand-ins of the notification area (which the old desktop
// kept in hidden windows) and their balloons.
void exemptFromModality(QWidget* window);

} // namespace platform
