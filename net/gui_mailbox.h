#pragma once
// Hands results from worker threads to the GUI thread's loop. Once the application object is
// gone (the program is ending) whatever is posted is dropped instead of reaching a dead loop.
#include <QObject>

#include <functional>
#include <memory>
#include <mutex>

namespace net {

class GuiMailbox {
public:
    // The process's mailbox; first asked for on the GUI thread.
    static std::shared_ptr<GuiMailbox> instance();

    // From any thread: `work` runs later on the GUI thread, or never.
    void post(std::function<void()> work);

private:
    friend class MailboxReceiver;
    std::mutex mutex_;
    QObject* receiver_ = nullptr;
};

} // namespace net
