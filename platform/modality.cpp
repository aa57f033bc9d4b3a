#include "platform/modality.h"

#include "platform/platform.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWindow>

namespace platform {
namespace {

const char* const ExemptProperty = "pvNeverBlocked";

QList<ModalScope*>& openScopes()
{
    static QList<ModalScope*> scopes;
    return scopes;
}

bool exempt(const QWidget* window)
{
    const Qt::WindowType type = window->windowType();
    if (type == Qt::Popup || type == Qt::ToolTip || type == Qt::Desktop)
        return true;
    // Windows the window manager does not handle; Qt's own notification-area icon is one.
    if (window->windowFlags().testFlag(Qt::BypassWindowManagerHint))
        return true;
    return window->property(ExemptProperty).toBool();
}

// What a disabled window of the old desktop never received.
bool isUserInput(const QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::NonClientAreaMouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    // No hot look and no hint on a window that cannot be clicked; leaving is let through, so a
    // button that was hot when the modal opened cools down.
    case QEvent::Enter:
    case QEvent::HoverEnter:
    case QEvent::HoverMove:
    case QEvent::ToolTip:
        return true;
    case QEvent::Close:
        // The window manager's close; the program may still close a blocked window itself.
        return event->spontaneous();
    default:
        return false;
    }
}

} // namespace

// Sees every event of the application while a modal is open and drops the user's input to
// blocked windows, wherever Qt delivers it: to the native window or to a widget inside.
class ModalGuard final : public QObject {
public:
    static void attach()
    {
        if (!instance_) {
            instance_ = new ModalGuard;
            qApp->installEventFilter(instance_);
        }
    }
    static void detach()
    {
        if (instance_)
            qApp->removeEventFilter(instance_);
        delete instance_;
        instance_ = nullptr;
    }

    static void forget(QWidget* window)
    {
        for (ModalScope* scope : openScopes())
            scope->blocked_.removeAll(window);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if (type == QEvent::Hide) {
            if (watched->isWidgetType()) {
                auto* widget = static_cast<QWidget*>(watched);
                if (widget->isWindow() && !widget->isVisible())
                    forget(widget);
            }
            return false;
        }
        const bool activation = type == QEvent::WindowActivate;
        if (!activation && !isUserInput(event))
            return false;
        QWidget* window = windowOf(watched);
        if (!window || !isBlockedByModal(window))
            return false;
        if (activation) {
            // The window manager (or a click) activated a blocked window: the modal comes back on
            // top, once the activation is through.
            QTimer::singleShot(0, this, [window = QPointer<QWidget>(window)] {
                if (window && isBlockedByModal(window)) {
                    if (QWidget* modal = activeModal())
                        windowSystem().activate(modal);
                }
            });
            return false;
        }
        return true;
    }

private:
    static QWidget* windowOf(QObject* object)
    {
        if (object->isWidgetType())
            return static_cast<QWidget*>(object)->window();
        if (auto* handle = qobject_cast<QWindow*>(object)) {
            for (ModalScope* scope : openScopes()) {
                for (const QPointer<QWidget>& window : scope->blocked_) {
                    if (window && window->windowHandle() == handle)
                        return window;
                }
            }
        }
        return nullptr;
    }

    static ModalGuard* instance_;
};

ModalGuard* ModalGuard::instance_ = nullptr;

ModalScope::ModalScope(QWidget* modal)
    : modal_(modal)
    , previousActive_(QApplication::activeWindow())
{
    if (modal)
        ModalGuard::forget(modal->window());
    const QList<QWidget*> windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (window == modal || !window->isVisible() || exempt(window))
            continue;
        blocked_ << window;
    }
    // A drag or a held button of a blocked window would otherwise keep the mouse to itself.
    if (QWidget* grabber = QWidget::mouseGrabber(); grabber && blocks(grabber))
        grabber->releaseMouse();
    if (QWidget* grabber = QWidget::keyboardGrabber(); grabber && blocks(grabber))
        grabber->releaseKeyboard();
    ModalGuard::attach();
    openScopes() << this;
}

ModalScope::~ModalScope()
{
    openScopes().removeAll(this);
    if (openScopes().isEmpty())
        ModalGuard::detach();
    // The focus goes back where it was, unless the user has moved on to another window meanwhile.
    if (!modal_ || !previousActive_ || previousActive_ == modal_)
        return;
    const QWidget* now = QApplication::activeWindow();
    if (now && now != modal_ && now->isVisible())
        return;
    if (previousActive_->isVisible() && !isBlockedByModal(previousActive_))
        windowSystem().activate(previousActive_);
}

bool ModalScope::blocks(const QWidget* widget) const
{
    const QWidget* window = widget->window();
    for (const QPointer<QWidget>& blocked : blocked_) {
        if (blocked == window)
            return true;
    }
    return false;
}

QList<QWidget*> ModalScope::blocked() const
{
    QList<QWidget*> windows;
    for (const QPointer<QWidget>& window : blocked_) {
        if (window)
            windows << window;
    }
    return windows;
}

bool isBlockedByModal(const QWidget* widget)
{
    if (!widget)
        return false;
    for (const ModalScope* scope : openScopes()) {
        if (scope->blocks(widget))
            return true;
    }
    return false;
}

QWidget* activeModal()
{
    const QList<ModalScope*>& scopes = openScopes();
    for (auto it = scopes.crbegin(); it != scopes.crend(); ++it) {
        QWidget* modal = (*it)->modal();
        if (modal && modal->isVisible() && !isBlockedByModal(modal))
            return modal;
    }
    return nullptr;
}

QWidget* activationTarget(QWidget* window)
{
    if (!window || !isBlockedByModal(window))
        return window;
    QWidget* modal = activeModal();
    return modal ? modal : window;
}

void unblock(QWidget* window)
{
    if (window)
        ModalGuard::forget(window->window());
}

void exemptFromModality(QWidget* window)
{
    if (window)
        window->setProperty(ExemptProperty, true);
}

} // namespace platform
