#pragma once
// A hidden receiver of posted notices and timer ticks on the GUI thread's event loop: what
// the program's components use where a window procedure would receive window messages.
#include <QHash>
#include <QObject>

#include <functional>

namespace platform {

class NoticeWindow final : public QObject {
public:
    static constexpr unsigned TimerNotice = 0x0113;

    using Handler = std::function<void(unsigned notice, quintptr wParam, qintptr lParam)>;

    explicit NoticeWindow(Handler handler, QObject* parent = nullptr);
    ~NoticeWindow() override;

    // Queues a notice; it is delivered later, after the notices and events queued before it.
    void post(unsigned notice, quintptr wParam = 0, qintptr lParam = 0);

    // A periodic timer delivering TimerNotice with wParam = id. Setting an id again restarts it.
    bool setTimer(quintptr id, unsigned periodMs);
    bool killTimer(quintptr id);
    bool hasTimer(quintptr id) const { return timers_.contains(id); }

protected:
    bool event(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    Handler handler_;
    QHash<quintptr, int> timers_;
};

} // namespace platform
