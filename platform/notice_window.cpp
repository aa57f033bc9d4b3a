#include "platform/notice_window.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimerEvent>

namespace platform {
namespace {

const QEvent::Type NoticeEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

class NoticeEvent final : public QEvent {
public:
    NoticeEvent(unsigned notice, quintptr wParam, qintptr lParam)
        : QEvent(NoticeEventType), notice(notice), wParam(wParam), lParam(lParam)
    {
    }
    unsigned notice;
    quintptr wParam;
    qintptr lParam;
};

} // namespace

NoticeWindow::NoticeWindow(Handler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler))
{
}

NoticeWindow::~NoticeWindow()
{
    QCoreApplication::removePostedEvents(this, NoticeEventType);
}

void NoticeWindow::post(unsigned notice, quintptr wParam, qintptr lParam)
{
    QCoreApplication::postEvent(this, new NoticeEvent(notice, wParam, lParam));
}

bool NoticeWindow::setTimer(quintptr id, unsigned periodMs)
{
    killTimer(id);
    const int qtId = startTimer(static_cast<int>(periodMs), Qt::PreciseTimer);
    if (qtId == 0)
        return false;
    timers_.insert(id, qtId);
    return true;
}

bool NoticeWindow::killTimer(quintptr id)
{
    const auto it = timers_.find(id);
    if (it == timers_.end())
        return false;
    QObject::killTimer(it.value());
    timers_.erase(it);
    return true;
}

bool NoticeWindow::event(QEvent* event)
{
    if (event->type() == NoticeEventType) {
        const auto* notice = static_cast<NoticeEvent*>(event);
        if (handler_)
            handler_(notice->notice, notice->wParam, notice->lParam);
        return true;
    }
    return QObject::event(event);
}

void NoticeWindow::timerEvent(QTimerEvent* event)
{
    for (auto it = timers_.cbegin(); it != timers_.cend(); ++it) {
        if (it.value() == event->timerId()) {
            const quintptr id = it.key();
            if (handler_)
                handler_(TimerNotice, id, 0);
            return;
        }
    }
}

} // namespace platform
