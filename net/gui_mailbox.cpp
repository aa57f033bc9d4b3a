#include "net/gui_mailbox.h"

#include <QCoreApplication>
#include <QPointer>

namespace net {

class MailboxReceiver final : public QObject {
public:
    MailboxReceiver(std::shared_ptr<GuiMailbox> mailbox, QObject* parent)
        : QObject(parent), m_mailbox(std::move(mailbox))
    {
        std::lock_guard<std::mutex> lock(m_mailbox->m_mutex);
        m_mailbox->m_receiver = this;
    }
    ~MailboxReceiver() override
    {
        std::lock_guard<std::mutex> lock(m_mailbox->m_mutex);
        m_mailbox->m_receiver = nullptr;
    }

private:
    std::shared_ptr<GuiMailbox> m_mailbox;
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
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_receiver)
        QMetaObject::invokeMethod(m_receiver, std::move(work), Qt::QueuedConnection);
}

} // namespace net
