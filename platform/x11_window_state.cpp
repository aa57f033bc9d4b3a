#include "platform/x11_window_state.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QWindow>
#include <QWidget>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace platform::x11 {
namespace {

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(connection, 0, static_cast<uint16_t>(strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t result = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    std::free(reply);
    return result;
}

class TrayManagerWatch final : public QAbstractNativeEventFilter {
public:
    TrayManagerWatch(xcb_atom_t manager, std::function<void()> changed)
        : manager_(manager), changed_(std::move(changed))
    {
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override
    {
        if (type != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        switch (event->response_type & 0x7f) {
        case XCB_CLIENT_MESSAGE:
            if (reinterpret_cast<const xcb_client_message_event_t*>(event)->type == manager_)
                changed_();
            break;
        case XCB_DESTROY_NOTIFY:
            // Qt watches the manager's window; any window going away may have been it.
            changed_();
            break;
        default:
            break;
        }
        return false;
    }

private:
    xcb_atom_t manager_;
    std::function<void()> changed_;
};

} // namespace

bool watchTrayManager(std::function<void()> changed)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return false;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return false;
    const xcb_atom_t manager = atom(connection, "MANAGER");
    if (manager == XCB_ATOM_NONE)
        return false;
    // Lives as long as the application; Qt drops filters of a dying application by itself.
    QCoreApplication::instance()->installNativeEventFilter(new TrayManagerWatch(manager, std::move(changed)));
    return true;
}

void skipTaskbar(QWidget* window)
{
    if (!window || QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    // Menus and tips never get a taskbar button; and asking a parented popup for its native
    // window before its parent has one turns all of the parent's children into native windows,
    // which X draws black where they are meant to be see-through.
    const Qt::WindowType type = window->windowType();
    if (type == Qt::Popup || type == Qt::ToolTip)
        return;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return;
    const auto id = static_cast<xcb_window_t>(window->winId());
    const xcb_atom_t state = atom(connection, "_NET_WM_STATE");
    const xcb_atom_t skipTaskbar = atom(connection, "_NET_WM_STATE_SKIP_TASKBAR");
    const xcb_atom_t skipPager = atom(connection, "_NET_WM_STATE_SKIP_PAGER");
    if (state == XCB_ATOM_NONE || skipTaskbar == XCB_ATOM_NONE)
        return;

    if (window->windowHandle() && window->windowHandle()->isExposed()) {
        // A mapped window asks the window manager (EWMH client message to the root).
        const xcb_setup_t* setup = xcb_get_setup(connection);
        const xcb_screen_t* screen = xcb_setup_roots_iterator(setup).data;
        xcb_client_message_event_t message = {};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = id;
        message.type = state;
        message.data.data32[0] = 1; // add
        message.data.data32[1] = skipTaskbar;
        message.data.data32[2] = skipPager;
        message.data.data32[3] = 1; // from an application
        xcb_send_event(connection, 0, screen->root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&message));
    } else {
        // An unmapped window carries the state itself; Qt keeps states it does not manage.
        std::vector<xcb_atom_t> atoms;
        const xcb_get_property_cookie_t cookie = xcb_get_property(connection, 0, id, state, XCB_ATOM_ATOM, 0, 64);
        if (xcb_get_property_reply_t* reply = xcb_get_property_reply(connection, cookie, nullptr)) {
            const auto* data = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
            if (reply->format == 32 && reply->type == XCB_ATOM_ATOM)
                atoms.assign(data, data + reply->value_len);
            std::free(reply);
        }
        for (xcb_atom_t wanted : {skipTaskbar, skipPager}) {
            if (wanted != XCB_ATOM_NONE && std::find(atoms.begin(), atoms.end(), wanted) == atoms.end())
                atoms.push_back(wanted);
        }
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, state, XCB_ATOM_ATOM, 32,
                            static_cast<uint32_t>(atoms.size()), atoms.data());
    }
    xcb_flush(connection);
}

} // namespace platform::x11
