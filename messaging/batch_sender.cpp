#include "messaging/batch_sender.h"

#include "messaging/send_failure.h"
#include "net/host_lookup.h"
#include "net/socket_components.h"
#include "net/socket_error.h"
#include "platform/platform.h"

#include <QTimer>

#include <arpa/inet.h>

namespace {

using namespace net::wsa;

QString seconds(int milliseconds)
{
    return QString::number(milliseconds / 1000.0);
}

// As the application's error box would show it.
QString boxed(const QString& text)
{
    return platform::exceptionBoxText(text);
}

QString dotted(quint32 networkOrder)
{
    in_addr address{};
    address.s_addr = networkOrder;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return QString::fromLatin1(text);
}

} // namespace

class BatchSender::Attempt final : public QObject {
public:
    Attempt(BatchSender* owner, const QString& host) : QObject(owner), owner_(owner), host_(host)
    {
        timer_.setSingleShot(true);
        connect(&timer_, &QTimer::timeout, this, [this] { timedOut(); });
    }
    ~Attempt() override
    {
        done_ = true; // a close from here tells nobody
        abandon();
    }

    void start()
    {
        timer_.start(owner_->timeoutMs_);
        lookup_ = net::startHostLookup(
            host_, [this](net::LookupHandle, const net::LookupResult& result) { guarded([&] { lookedUp(result); }); });
    }

private:
    enum class Stage { Lookup, Connect, Write };

    // Whatever a handler throws ends this host's attempt; nothing goes on to the socket layer,
    // which would put it in a box.
    template <class F>
    void guarded(F&& handler)
    {
        try {
            handler();
        } catch (...) {
            finish(BatchSender::tr("соединение не установлено"), boxed(platform::currentExceptionText()));
        }
    }

    void lookedUp(const net::LookupResult& result)
    {
        lookup_ = 0;
        if (done_)
            return;
        if (result.error != 0) {
            finish(sendFailureText(eeLookup, result.error, owner_->port_),
                   boxed(net::windowsSocketErrorText(result.errorText, result.error, QStringLiteral("ASync Lookup"))));
            return;
        }
        stage_ = Stage::Connect;
        cs_ = new TClientSocket(this);
        cs_->OnConnect = [this](QObject*, TCustomWinSocket* socket) { guarded([&] { connected(socket); }); };
        cs_->OnWrite = [this](QObject*, TCustomWinSocket* socket) { guarded([&] { writeMore(socket); }); };
        cs_->OnDisconnect = [this](QObject*, TCustomWinSocket*) {
            // Ours comes after the attempt has ended; any other is the peer leaving first.
            if (!done_)
                finish(BatchSender::tr("соединение закрыто получателем"),
                       boxed(net::asyncSocketErrorText(WSAECONNRESET)));
        };
        cs_->OnError = [this](QObject*, TCustomWinSocket*, TErrorEvent kind, int& code) {
            const int taken = code;
            code = 0; // taken over: the layer raises nothing
            failed(kind, taken);
        };
        cs_->setAddress(dotted(result.address));
        cs_->setPort(owner_->port_);
        cs_->setActive(true);
    }

    void connected(TCustomWinSocket* socket)
    {
        stage_ = Stage::Write;
        writeMore(socket);
    }

    // The send window writes once and ignores the count; here a part the socket could not take
    // yet goes out with the next write event, so a long text is never cut short.
    void writeMore(TCustomWinSocket* socket)
    {
        const QByteArray& payload = owner_->payload_;
        while (!done_ && stage_ == Stage::Write && written_ < payload.size()) {
            const int sent = socket->WriteBuffer(payload.constData() + written_, int(payload.size() - written_));
            if (sent < 0 || done_)
                return; // the write event or the error handler goes on
            if (sent == 0) {
                finish(BatchSender::tr("соединение закрыто получателем"), boxed(net::asyncSocketErrorText(WSAECONNRESET)));
                return;
            }
            written_ += sent;
        }
        if (!done_ && stage_ == Stage::Write)
            finish(QString(), QString());
    }

    void failed(TErrorEvent kind, int code)
    {
        if (done_)
            return;
        if (kind == eeSend)
            finish(sendFailureText(kind, code, owner_->port_),
                   boxed(net::windowsSocketErrorText(net::winsockErrorText(code), code, QStringLiteral("send"))));
        else
            finish(sendFailureText(kind, code, owner_->port_), boxed(net::asyncSocketErrorText(code)));
    }

    void timedOut()
    {
        if (done_)
            return;
        QString reason;
        switch (stage_) {
        case Stage::Lookup: reason = BatchSender::tr("имя компьютера не найдено за %1 с"); break;
        case Stage::Connect: reason = BatchSender::tr("компьютер не ответил за %1 с"); break;
        case Stage::Write: reason = BatchSender::tr("текст не принят за %1 с"); break;
        }
        finish(reason.arg(seconds(owner_->timeoutMs_)), boxed(net::asyncSocketErrorText(WSAETIMEDOUT)));
    }

    // An empty reason means delivered.
    void finish(const QString& reason, const QString& error)
    {
        if (done_)
            return;
        done_ = true;
        timer_.stop();
        abandon();
        SendOutcome outcome;
        outcome.host = host_;
        outcome.delivered = reason.isEmpty();
        outcome.reason = reason;
        outcome.error = error;
        owner_->attemptDone(this, outcome);
    }

    // Closing after the whole text is written is the end of a message on the wire.
    void abandon()
    {
        if (lookup_ != 0)
            net::cancelLookup(lookup_);
        lookup_ = 0;
        if (cs_) {
            try {
                cs_->setActive(false);
            } catch (...) {
            }
        }
    }

    BatchSender* owner_;
    QString host_;
    QTimer timer_;
    TClientSocket* cs_ = nullptr;
    net::LookupHandle lookup_ = 0;
    Stage stage_ = Stage::Lookup;
    qsizetype written_ = 0;
    bool done_ = false;
};

BatchSender::BatchSender(const QStringList& hosts, const QByteArray& payload, int port, int timeoutMs,
                         QObject* parent)
    : QObject(parent), hosts_(hosts), payload_(payload), port_(port), timeoutMs_(timeoutMs)
{
}

BatchSender::~BatchSender() = default;

void BatchSender::start()
{
    if (hosts_.isEmpty() && OnFinished)
        QMetaObject::invokeMethod(this, [this] { if (OnFinished) OnFinished(); }, Qt::QueuedConnection);
    for (int i = 0; i < parallel_; ++i)
        QMetaObject::invokeMethod(this, [this] { startNext(); }, Qt::QueuedConnection);
}

void BatchSender::startNext()
{
    if (next_ >= hosts_.size())
        return;
    auto* attempt = new Attempt(this, hosts_.at(next_++));
    attempt->start();
}

void BatchSender::attemptDone(Attempt* attempt, const SendOutcome& outcome)
{
    // Inside the attempt's own handlers: it goes once they have returned.
    attempt->deleteLater();
    outcomes_.append(outcome);
    ++done_;
    if (OnHostDone)
        OnHostDone(outcome);
    if (finished()) {
        if (OnFinished)
            QMetaObject::invokeMethod(this, [this] { if (OnFinished) OnFinished(); }, Qt::QueuedConnection);
        return;
    }
    QMetaObject::invokeMethod(this, [this] { startNext(); }, Qt::QueuedConnection);
}
