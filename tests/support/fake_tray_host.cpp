#include "tests/support/fake_tray_host.h"

namespace platform {

bool FakeTrayHost::request(TrayRequest kind, const TrayIconRecord& record)
{
    bool accepted = !refuseAll;
    if (accepted) {
        const bool present = shown.contains(record.id);
        switch (kind) {
        case TrayRequest::Add:
            accepted = !present;
            if (accepted)
                shown.insert(record.id, record);
            break;
        case TrayRequest::Modify:
            accepted = present;
            if (accepted)
                shown.insert(record.id, record);
            break;
        case TrayRequest::Delete:
            accepted = shown.remove(record.id) > 0;
            break;
        case TrayRequest::SetVersion:
            accepted = present;
            break;
        }
    }
    requests << Request{kind, record, accepted};
    return accepted;
}

void FakeTrayHost::setMenu(quintptr id, QMenu* menu)
{
    if (menu)
        menus.insert(id, menu);
    else
        menus.remove(id);
}

void FakeTrayHost::popupMenu(QMenu* menu, const QPoint& screenPos)
{
    popups << Popup{menu, screenPos};
    if (whilePopup)
        whilePopup(menu);
}

void FakeTrayHost::send(quintptr id, std::initializer_list<TrayNotice> notices)
{
    for (TrayNotice notice : notices)
        notify(id, notice);
}

void FakeTrayHost::restart()
{
    shown.clear();
    notify(0, TrayNotice::Restarted);
}

QList<TrayIconRecord> FakeTrayHost::records(TrayRequest kind) const
{
    QList<TrayIconRecord> result;
    for (const Request& request : requests) {
        if (request.kind == kind)
            result << request.record;
    }
    return result;
}

} // namespace platform
