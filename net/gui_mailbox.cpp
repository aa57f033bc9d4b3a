#include "net/gui_mailbox.h"

#include <QCoreApplication>
#include <QPointer>

namespace net {

class MailboxReceiver final : public QObject {
public:
    MailboxReceiver(std::shared_ptr<GuiMailbox> mailbox, QObject* parent)
        : QObject(parent), mailbox_(std::move(mailbox))
    {
        std::lock_guard<std::mutex> lock(mailbox_->mutex_);
        mailbox_->receiver_ = this;
    }
    ~MailboxReceiver() override
    {
        std::lock_guard<std::mutex> lock(mailbox_->mutex_);
        mailbox_->receiver_ = nullptr;
    }

private:
    std::shared_ptr<GuiMailbox> mailbox_;
};

std::shared_ptr<GuiMailbox> GuiMailbox::instance()
{
    static std::shared_ptr<GuiMailbox> mailbox = std::make_shared<GuiMailbox>();
    static QPointer<QObject> receiver;
    if (!receiver)
        receiver = new MailboxReceiver(mailbox, QCoreApplication::instance());
    return mailbox;
}

void GuiMailbox::post(std::function<void()> work)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (receiver_)
        QMetaObject::invokeMethod(receiver_, std::move(work), Qt::QueuedConnection);
}

} // namespace net
