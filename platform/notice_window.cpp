#include "platform/notice_window.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimerEvent>

namespace platform {
namespace {

const QEvent::Type kNoticeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class NoticeEvent final : public QEvent {
public:
    NoticeEvent(unsigned notice, quintptr wParam, qintptr lParam)
        : QEvent(kNoticeEvent), notice(notice), wParam(wParam), lParam(lParam)
    {
    }
    unsigned notice;
    quintptr wParam;
    qintptr lParam;
};

} // namespace

NoticeWindow::NoticeWindow(Handler handler, QObject* parent)
    : QObject(parent), m_handler(std::move(handler))
{
}

NoticeWindow::~NoticeWindow()
{
    QCoreApplication::removePostedEvents(this, kNoticeEvent);
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
    m_timers.insert(id, qtId);
    return true;
}

bool NoticeWindow::killTimer(quintptr id)
{
    const auto it = m_timers.find(id);
    if (it == m_timers.end())
        return false;
    QObject::killTimer(it.value());
    m_timers.erase(it);
    return true;
}

bool NoticeWindow::event(QEvent* event)
{
    if (event->type() == kNoticeEvent) {
        const auto* notice = static_cast<NoticeEvent*>(event);
        if (m_handler)
            m_handler(notice->notice, notice->wParam, notice->lParam);
        return true;
    }
    return QObject::event(event);
}

void NoticeWindow::timerEvent(QTimerEvent* event)
{
    for (auto it = m_timers.cbegin(); it != m_timers.cend(); ++it) {
        if (it.value() == event->timerId()) {
            const quintptr id = it.key();
            if (m_handler)
                m_handler(TimerNotice, id, 0);
            return;
        }
    }
}

} // namespace platform
