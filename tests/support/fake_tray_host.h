#pragma once
// A notification area that records every request and lets a test report mouse and balloon
// activity as the desktop would.
#include "platform/tray_host.h"

#include <QHash>
#include <QList>
#include <QMenu>
#include <QPointer>

namespace platform {

class FakeTrayHost final : public TrayHost {
public:
    struct Request {
        TrayRequest kind;
        TrayIconRecord record;
        bool accepted;
    };
    struct Popup {
        QPointer<QMenu> menu;
        QPoint pos;
    };

    QList<Request> requests;
    // The icons in the tray, each as its last accepted add or modify left it.
    QHash<quintptr, TrayIconRecord> shown;
    QHash<quintptr, QPointer<QMenu>> menus;
    QList<Popup> popups;
    // Runs while a popped-up menu is "open".
    std::function<void(QMenu*)> whilePopup;
    std::optional<QPoint> cursor = QPoint(100, 200);
    Qt::KeyboardModifiers modifiers;
    int doubleClickMs = 60;
    // A desktop without a tray: every request fails.
    bool refuseAll = false;

    bool request(TrayRequest kind, const TrayIconRecord& record) override;
    void setMenu(quintptr id, QMenu* menu) override;
    void popupMenu(QMenu* menu, const QPoint& screenPos) override;
    std::optional<QPoint> cursorPos() override { return cursor; }
    Qt::KeyboardModifiers keyboardModifiers() override { return modifiers; }
    int doubleClickInterval() override { return doubleClickMs; }

    // Reports a notification about icon `id`, as the tray would.
    void send(quintptr id, TrayNotice notice) { notify(id, notice); }
    void send(quintptr id, std::initializer_list<TrayNotice> notices);
    // The tray restarts: its icons are gone and the owners are told.
    void restart();

    // The records of the requests of one kind, oldest first.
    QList<TrayIconRecord> records(TrayRequest kind) const;
    int count(TrayRequest kind) const { return records(kind).size(); }
};

} // namespace platform
