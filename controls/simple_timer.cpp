#include "controls/simple_timer.h"

#include "platform/notice_window.h"
#include "platform/platform.h"

namespace {

TSimpleTimerHandler* g_handler = nullptr;
// Ticks being delivered right now: the receiver must outlive them.
int g_dispatchDepth = 0;

} // namespace

// --- TSimpleTimer ---------------------------------------------------------------------------

TSimpleTimer::TSimpleTimer() : systemTimerId_(reinterpret_cast<quintptr>(this))
{
    TSimpleTimerHandler::addRef();
}

TSimpleTimer::TSimpleTimer(quint32 Period, TNotifyEvent OnTick)
    : systemTimerId_(reinterpret_cast<quintptr>(this)), period_(Period), onTick_(std::move(OnTick))
{
    TSimpleTimerHandler::addRef();
}

TSimpleTimer::~TSimpleTimer()
{
    if (running_)
        Stop(true);
    TSimpleTimerHandler::release();
}

void TSimpleTimer::setRunning(bool on)
{
    if (on)
        Start();
    else
        Stop(true);
}

void TSimpleTimer::setPeriod(quint32 period)
{
    if (period == period_)
        return;
    period_ = period;
    if (!running_)
        return;
    if (period != 0)
        Start();
    else
        Stop(false);
}

void TSimpleTimer::setOnTick(TNotifyEvent handler)
{
    onTick_ = std::move(handler);
    if (!onTick_ && running_)
        Stop(false);
}

bool TSimpleTimer::Start()
{
    if (period_ == 0)
        return false;
    if (running_)
        Stop(true);
    TSimpleTimerHandler* handler = TSimpleTimerHandler::Instance();
    if (!handler || !handler->setTimer(systemTimerId_, period_))
        return false;
    running_ = true;
    return true;
}

bool TSimpleTimer::Stop(bool clearRunning)
{
    if (clearRunning)
        running_ = false;
    TSimpleTimerHandler* handler = TSimpleTimerHandler::Instance();
    return handler && handler->killTimer(systemTimerId_);
}

void TSimpleTimer::tick()
{
    if (onTick_) {
        // A copy: the handler may replace itself or free the timer.
        const TNotifyEvent handler = onTick_;
        handler(this);
    }
}

// --- TSimpleTimerHandler --------------------------------------------------------------------

TSimpleTimerHandler::TSimpleTimerHandler() : window_(new platform::NoticeWindow(&TSimpleTimerHandler::onNotice)) {}

TSimpleTimerHandler::~TSimpleTimerHandler()
{
    // Deleting the receiver inside its own tick would pull it from under Qt.
    if (g_dispatchDepth > 0)
        window_->deleteLater();
    else
        delete window_;
}

TSimpleTimerHandler* TSimpleTimerHandler::Instance() { return g_handler; }

void TSimpleTimerHandler::addRef()
{
    if (!g_handler)
        g_handler = new TSimpleTimerHandler;
    ++g_handler->refCount_;
}

void TSimpleTimerHandler::release()
{
    if (!g_handler)
        return;
    if (g_handler->refCount_ > 0)
        --g_handler->refCount_;
    if (g_handler->refCount_ == 0) {
        delete g_handler;
        g_handler = nullptr;
    }
}

void TSimpleTimerHandler::onNotice(unsigned notice, quintptr id, qintptr)
{
    if (notice != platform::NoticeWindow::TimerNotice)
        return;
    ++g_dispatchDepth;
    platform::runGuarded([id] { reinterpret_cast<TSimpleTimer*>(id)->tick(); });
    --g_dispatchDepth;
}

bool TSimpleTimerHandler::setTimer(quintptr id, quint32 period)
{
    return window_->setTimer(id, period);
}

bool TSimpleTimerHandler::killTimer(quintptr id) { return window_->killTimer(id); }
