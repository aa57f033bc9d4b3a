#include "messaging/batch_sender.h"

#include "net/host_lookup.h"
#include "net/socket_components.h"
#include "net/socket_error.h"
#include "platform/platform.h"

#include <QTimer>

#include <arpa/inet.h>
#include <exception>

namespace {

using namespace net::wsa;

QString lookupReason(int code)
{
    switch (code) {
    case WSAHOST_NOT_FOUND:
    case WSANO_DATA: return QStringLiteral("компьютер с таким именем не найден");
    case WSATRY_AGAIN: return QStringLiteral("имя не найдено: служба имен не ответила");
    default: return QStringLiteral("имя компьютера не удалось определить");
    }
}

QString connectReason(int code, int port)
{
    switch (code) {
    case WSAECONNREFUSED:
        return QStringLiteral("в соединении отказано: на порту %1 сообщения не принимают "
                              "(Pellavine не запущен или его сервер приостановлен)")
            .arg(port);
    case WSAETIMEDOUT: return QStringLiteral("компьютер не ответил");
    case WSAENETDOWN:
    case WSAENETUNREACH:
    case WSAEHOSTDOWN:
    case WSAEHOSTUNREACH: return QStringLiteral("компьютер недоступен по сети");
    case WSAECONNRESET:
    case WSAECONNABORTED: return QStringLiteral("соединение разорвано");
    default: return QStringLiteral("соединение не установлено");
    }
}

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
    Attempt(BatchSender* owner, const QString& host) : QObject(owner), m_owner(owner), m_host(host)
    {
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, [this] { timedOut(); });
    }
    ~Attempt() override
    {
        m_done = true; // a close from here tells nobody
        abandon();
    }

    void start()
    {
        m_timer.start(m_owner->m_timeoutMs);
        int errnoValue = 0;
        m_lookup = net::startHostLookup(
            m_host, [this](net::LookupHandle, const net::LookupResult& result) { guarded([&] { lookedUp(result); }); },
            errnoValue);
        if (m_lookup == 0)
            finish(lookupReason(0), boxed(net::windowsSocketErrorText(net::systemErrorText(errnoValue),
                                                                       net::winsockError(errnoValue),
                                                                       QStringLiteral("WSAASyncGetHostByName"))));
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
        } catch (const ESocketError& e) {
            finish(QStringLiteral("соединение не установлено"), boxed(e.message()));
        } catch (const std::exception& e) {
            finish(QStringLiteral("соединение не установлено"), boxed(QString::fromUtf8(e.what())));
        }
    }

    void lookedUp(const net::LookupResult& result)
    {
        m_lookup = 0;
        if (m_done)
            return;
        if (result.error != 0) {
            finish(lookupReason(result.error),
                   boxed(net::windowsSocketErrorText(result.errorText, result.error, QStringLiteral("ASync Lookup"))));
            return;
        }
        m_stage = Stage::Connect;
        m_cs = new TClientSocket(this);
        m_cs->OnConnect = [this](QObject*, TCustomWinSocket* socket) { guarded([&] { connected(socket); }); };
        m_cs->OnWrite = [this](QObject*, TCustomWinSocket* socket) { guarded([&] { writeMore(socket); }); };
        m_cs->OnDisconnect = [this](QObject*, TCustomWinSocket*) {
            // Ours comes after the attempt has ended; any other is the peer leaving first.
            if (!m_done)
                finish(QStringLiteral("соединение закрыто получателем"),
                       boxed(net::asyncSocketErrorText(WSAECONNRESET)));
        };
        m_cs->OnError = [this](QObject*, TCustomWinSocket*, TErrorEvent kind, int& code) {
            const int taken = code;
            code = 0; // taken over: the layer raises nothing
            failed(kind, taken);
        };
        m_cs->setAddress(dotted(result.address));
        m_cs->setPort(m_owner->m_port);
        m_cs->setActive(true);
    }

    void connected(TCustomWinSocket* socket)
    {
        m_stage = Stage::Write;
        writeMore(socket);
    }

    // The send window writes once and ignores the count; here a part the socket could not take
    // yet goes out with the next write event, so a long text is never cut short.
    void writeMore(TCustomWinSocket* socket)
    {
        const QByteArray& payload = m_owner->m_payload;
        while (!m_done && m_stage == Stage::Write && m_written < payload.size()) {
            const int sent = socket->WriteBuffer(payload.constData() + m_written, int(payload.size() - m_written));
            if (sent < 0 || m_done)
                return; // the write event or the error handler goes on
            if (sent == 0) {
                finish(QStringLiteral("соединение закрыто получателем"), boxed(net::asyncSocketErrorText(WSAECONNRESET)));
                return;
            }
            m_written += sent;
        }
        if (!m_done && m_stage == Stage::Write)
            finish(QString(), QString());
    }

    void failed(TErrorEvent kind, int code)
    {
        if (m_done)
            return;
        if (kind == eeSend)
            finish(QStringLiteral("текст не передан: ") + connectReason(code, m_owner->m_port),
                   boxed(net::windowsSocketErrorText(net::winsockErrorText(code), code, QStringLiteral("send"))));
        else
            finish(connectReason(code, m_owner->m_port), boxed(net::asyncSocketErrorText(code)));
    }

    void timedOut()
    {
        if (m_done)
            return;
        QString reason;
        switch (m_stage) {
        case Stage::Lookup: reason = QStringLiteral("имя компьютера не найдено за %1 с"); break;
        case Stage::Connect: reason = QStringLiteral("компьютер не ответил за %1 с"); break;
        case Stage::Write: reason = QStringLiteral("текст не принят за %1 с"); break;
        }
        finish(reason.arg(seconds(m_owner->m_timeoutMs)), boxed(net::asyncSocketErrorText(WSAETIMEDOUT)));
    }

    // An empty reason means delivered.
    void finish(const QString& reason, const QString& error)
    {
        if (m_done)
            return;
        m_done = true;
        m_timer.stop();
        abandon();
        SendOutcome outcome;
        outcome.host = m_host;
        outcome.delivered = reason.isEmpty();
        outcome.reason = reason;
        outcome.error = error;
        m_owner->attemptDone(this, outcome);
    }

    // Closing after the whole text is written is the end of a message on the wire.
    void abandon()
    {
        if (m_lookup != 0)
            net::cancelLookup(m_lookup);
        m_lookup = 0;
        if (m_cs) {
            try {
                m_cs->setActive(false);
            } catch (...) {
            }
        }
    }

    BatchSender* m_owner;
    QString m_host;
    QTimer m_timer;
    TClientSocket* m_cs = nullptr;
    net::LookupHandle m_lookup = 0;
    Stage m_stage = Stage::Lookup;
    qsizetype m_written = 0;
    bool m_done = false;
};

BatchSender::BatchSender(const QStringList& hosts, const QByteArray& payload, int port, int timeoutMs,
                         QObject* parent)
    : QObject(parent), m_hosts(hosts), m_payload(payload), m_port(port), m_timeoutMs(timeoutMs)
{
}

BatchSender::~BatchSender() = default;

void BatchSender::start()
{
    if (m_hosts.isEmpty() && OnFinished)
        QMetaObject::invokeMethod(this, [this] { if (OnFinished) OnFinished(); }, Qt::QueuedConnection);
    for (int i = 0; i < m_parallel; ++i)
        QMetaObject::invokeMethod(this, [this] { startNext(); }, Qt::QueuedConnection);
}

void BatchSender::startNext()
{
    if (m_next >= m_hosts.size())
        return;
    auto* attempt = new Attempt(this, m_hosts.at(m_next++));
    attempt->start();
}

void BatchSender::attemptDone(Attempt* attempt, const SendOutcome& outcome)
{
    // Inside the attempt's own handlers: it goes once they have returned.
    attempt->deleteLater();
    m_outcomes.append(outcome);
    ++m_done;
    if (OnHostDone)
        OnHostDone(outcome);
    if (finished()) {
        if (OnFinished)
            QMetaObject::invokeMethod(this, [this] { if (OnFinished) OnFinished(); }, Qt::QueuedConnection);
        return;
    }
    QMetaObject::invokeMethod(this, [this] { startNext(); }, Qt::QueuedConnection);
}
