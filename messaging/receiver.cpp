#include "messaging/receiver.h"

#include "app/app_state.h"
#include "app/welcome_window.h"
#include "messaging/inbox.h"
#include "net/peer_names.h"
#include "net/win_socket.h"
#include "platform/cp1251.h"
#include "platform/platform.h"
#include "windows/black_list.h"
#include "windows/message_viewer.h"

#include <QBasicTimer>
#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QPointer>
#include <QScopeGuard>
#include <QTimer>
#include <QTimerEvent>

#include <deque>

namespace {

// A complete message waiting for its sender's name.
struct Arrival {
    QDateTime time;
    QString address;
    QString text;
    QDeadlineTimer nameDue;
    QDeadlineTimer lookupDue; // with a black list in use
};

std::deque<Arrival> g_waiting;
// A black-list question is open (its nested loop may show further messages).
bool g_asking = false;
QPointer<QTimer> g_nameDue;
int g_nameWaitMs = NameWaitMs;
int g_listedNameWaitMs = ListedNameWaitMs;
int g_quietMs = QuietMs;

void showWaiting();

bool blackListInUse()
{
    return BListF && !BListF->isEmpty();
}

QTimer* nameDueTimer()
{
    if (!g_nameDue) {
        g_nameDue = new QTimer(QCoreApplication::instance());
        g_nameDue->setSingleShot(true);
        QObject::connect(g_nameDue, &QTimer::timeout, g_nameDue, [] { showWaiting(); });
        net::peer_names::setAnswered([](const QString&) { showWaiting(); });
    }
    return g_nameDue;
}

// What one connection has brought so far, joined into one message. It hangs on the connection
// as its child, so it ends with the connection however that ends, and completes the message then.
class Incoming final : public QObject {
public:
    explicit Incoming(TCustomWinSocket* connection)
        : QObject(connection), connection_(connection), address_(connection->PeerAddress())
    {
    }
    ~Incoming() override { finish(); }

    const QString& address() const { return address_; }

    void take(const QByteArray& bytes)
    {
        if (bytes_.isEmpty())
            arrived_ = platform::clock().localDateTime();
        bytes_ += bytes;
        lastByte_.start();
        if (!quiet_.isActive())
            quiet_.start(g_quietMs, this);
    }

    // What came so far is the message; a later byte starts the next one. It waits for its
    // name in the queue and is shown from the loop: never from inside a read, a timer of this
    // object or the end of the connection.
    void finish()
    {
        quiet_.stop();
        if (bytes_.isEmpty())
            return;
        g_waiting.push_back(
            Arrival{arrived_, address_, platform::fromCp1251(bytes_), QDeadlineTimer(g_nameWaitMs),
                    QDeadlineTimer(g_listedNameWaitMs)});
        bytes_.clear();
        nameDueTimer()->start(0);
    }

protected:
    void timerEvent(QTimerEvent* event) override
    {
        if (event->timerId() != quiet_.timerId()) {
            QObject::timerEvent(event);
            return;
        }
        // Bytes waiting to be read count as not quiet, seen or not.
        const qint64 left = g_quietMs - lastByte_.elapsed();
        if (left > 0 || connection_->ReceiveLength() > 0)
            quiet_.start(int(qMax<qint64>(left, 1)), this);
        else
            finish();
    }

private:
    TCustomWinSocket* connection_;
    QString address_; // taken at the start: a connection that was reset no longer has one
    QDateTime arrived_;
    QByteArray bytes_;
    QElapsedTimer lastByte_;
    QBasicTimer quiet_;
};

Incoming* incomingOf(TCustomWinSocket* connection)
{
    auto* incoming = static_cast<Incoming*>(connection->Data);
    if (!incoming) {
        incoming = new Incoming(connection);
        connection->Data = incoming;
        // Asked at once, so the name is often known when the message is complete.
        nameDueTimer();
        net::peer_names::request(incoming->address());
    }
    return incoming;
}

// Reads and forgets one bounded portion; the connection stays readable for the next
// notification, so a flood is taken a piece at a time between other events.
void discardPortion(TCustomWinSocket* Socket)
{
    static QByteArray scratch(DiscardChunkBytes, Qt::Uninitialized);
    Socket->ReadBuffer(scratch.data(), DiscardChunkBytes);
}

void showMessage(const Arrival& arrival, const QString& host)
{
    ReceivedMessage message;
    message.arrived = arrival.time;
    message.host = host;
    message.address = arrival.address;
    // Kept exactly as decoded (NUL and all); only what goes on screen is made printable.
    message.text = arrival.text;
    message.listed = BListF && BListF->indexOfName(host) >= 0;
    message.id = inbox().add(message);

    AppState& app = App();
    app.LastTime = arrivalTimeText(message.arrived.time());
    app.LastSenderHost = host;
    app.LastSenderAddress = message.address;
    app.LastText = message.text;
    if (MsgF)
        MsgF->showMessage(message);

    if (app.SoundOn)
        platform::sound().play(app.MessageSoundPath);

    if (!message.listed) {
        app.FreshMessage = true;
        if (MsgF)
            MsgF->showViewer();
    } else if (!g_asking) {
        // Further messages are shown while the question is open; Yes shows the newest.
        const QString question =
            QCoreApplication::translate("Receiver", "Получено сообщение от %1, однако этот компьютер занесен в "
                                                    "черный список! Хотите просмотреть сообщение сейчас?")
                .arg(TMsgF::visibleName(host));
        g_asking = true;
        const QScopeGuard asked([] { g_asking = false; });
        if (platform::dialogs().confirm(question) && MsgF)
            MsgF->showViewer();
    }
    // Else the question is open already: one box, however many messages a listed sender sends
    // meanwhile, and its Yes shows the newest of them.

    app.MessageReceived = true;
    if (Form1)
        Form1->showMessageHint();
}

// Shows waiting messages in the order they were complete, each once its sender's name is known
// or its wait is over. Runs again from inside a box that a message opens; each message is taken
// off the queue before it is shown, so that is safe.
void showWaiting()
{
    QTimer* due = nameDueTimer();
    while (!g_waiting.empty()) {
        const Arrival& first = g_waiting.front();
        QString host;
        const bool named = net::peer_names::known(first.address, host);
        if (!named && g_waiting.size() < size_t(MaxWaitingMessages)) {
            const QDeadlineTimer* until = nullptr;
            if (!first.nameDue.hasExpired())
                until = &first.nameDue;
            // A lookup under way answers through setAnswered; one that could not start is asked again.
            else if (blackListInUse() && !first.lookupDue.hasExpired() && net::peer_names::request(first.address))
                until = &first.lookupDue;
            if (until) {
                due->start(int(qMax<qint64>(1, until->remainingTime())));
                return;
            }
        }
        const Arrival message = first;
        g_waiting.pop_front();
        platform::runGuarded([&] { showMessage(message, named ? host : QString()); });
    }
    due->stop();
}

} // namespace

QString arrivalTimeText(const QTime& time)
{
    return QString::number(time.hour()) + QLatin1Char(':') + QString::number(time.minute())
           + QLatin1Char(':') + QString::number(time.second());
}

void receiveMessage(TCustomWinSocket* Socket)
{
    if (!Socket)
        return;
    const quint64 taken = Socket->BytesReceived();
    if (taken >= quint64(MaxMessageBytes)) {
        discardPortion(Socket);
        return;
    }
    const int available = Socket->ReceiveLength();
    if (available <= 0) {
        // Nothing to show; a read of nothing still lets the next notification come.
        Socket->ReadBuffer(nullptr, 0);
        return;
    }

    // Before the read: a reset noticed by it ends the connection and its peer address with it.
    Incoming* incoming = incomingOf(Socket);
    const int count = qMin(available, int(quint64(MaxMessageBytes) - taken));
    QByteArray bytes(count, Qt::Uninitialized);
    const int received = Socket->ReadBuffer(bytes.data(), count);
    if (received <= 0)
        return;
    bytes.truncate(received);
    incoming->take(bytes);
    if (Socket->BytesReceived() >= quint64(MaxMessageBytes))
        incoming->finish();
}

ConnectionLimits connectionLimitsFor(long descriptors)
{
    ConnectionLimits limits;
    if (descriptors <= 0)
        return limits;
    // A quarter at least, so a tiny limit still takes a message or two at a time.
    const long room = qMax(descriptors - ReservedDescriptors, descriptors / 4);
    limits.total = int(qBound(4L, room, long(MaxConnections)));
    limits.perPeer = qBound(2, limits.total / 16, MaxConnectionsPerPeer);
    limits.cramped = limits.total < FewConnections;
    return limits;
}

QString crampedLimitText(long descriptors, const ConnectionLimits& limits)
{
    return QCoreApplication::translate("Receiver",
                                       "Системное ограничение числа открытых файлов (%1) слишком мало: Pellavine "
                                       "сможет принимать не более %2 сообщений одновременно. Увеличьте ограничение "
                                       "(ulimit -n) и перезапустите Pellavine.")
        .arg(descriptors)
        .arg(limits.total);
}

void dropWaitingMessages()
{
    g_waiting.clear();
    if (g_nameDue)
        g_nameDue->stop();
}

int waitingMessageCount()
{
    return int(g_waiting.size());
}

void setNameWait(int milliseconds)
{
    g_nameWaitMs = milliseconds;
}

void setListedNameWait(int milliseconds)
{
    g_listedNameWaitMs = milliseconds;
}

void setQuietTime(int milliseconds)
{
    g_quietMs = milliseconds;
}
