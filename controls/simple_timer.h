#pragma once
// A light periodic timer, created in code. All timers of the process share one hidden receiver
// of their ticks (TSimpleTimerHandler), made with the first timer and destroyed with the last.
#include <QtGlobal>

#include <functional>

namespace platform {
class NoticeWindow;
}

class TSimpleTimer {
public:
    using TNotifyEvent = std::function<void(TSimpleTimer* Sender)>;

    TSimpleTimer();
    TSimpleTimer(quint32 Period, TNotifyEvent OnTick);
    ~TSimpleTimer();
    TSimpleTimer(const TSimpleTimer&) = delete;
    TSimpleTimer& operator=(const TSimpleTimer&) = delete;

    // The id the ticks carry: the timer's own address.
    quintptr SystemTimerId() const { return systemTimerId_; }

    // Meant to run. It may be true while no ticks come (Period 0, no OnTick).
    bool Running() const { return running_; }
    // true starts (again, from now, when running); false stops.
    void setRunning(bool on);

    quint32 Period() const { return period_; }
    // 0 while running stops the ticks but keeps Running; a later non-zero period resumes them.
    void setPeriod(quint32 period);

    const TNotifyEvent& OnTick() const { return onTick_; }
    // An empty handler while running stops the ticks but keeps Running.
    void setOnTick(TNotifyEvent handler);

private:
    friend class TSimpleTimerHandler;

    bool Start();
    bool Stop(bool clearRunning);
    void tick();

    quintptr systemTimerId_;
    bool running_ = false;
    quint32 period_ = 1000;
    TNotifyEvent onTick_;
};

// The shared receiver of the timers' ticks. At most one exists.
class TSimpleTimerHandler {
public:
    // The handler while one exists, else null.
    static TSimpleTimerHandler* Instance();
    int RefCount() const { return refCount_; }

private:
    friend class TSimpleTimer;

    TSimpleTimerHandler();
    ~TSimpleTimerHandler();

    static void addRef();
    static void release();
    // The receiver's procedure: a tick carries the timer in its id.
    static void onNotice(unsigned notice, quintptr id, qintptr);
    bool setTimer(quintptr id, quint32 period);
    bool killTimer(quintptr id);

    int refCount_ = 0;
    platform::NoticeWindow* window_;
};
