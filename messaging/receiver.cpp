#include "messaging/receiver.h"

#include "app/app_state.h"
#include "app/welcome_window.h"
#include "controls/cool_tray_icon.h"
#include "net/peer_names.h"
#include "net/win_socket.h"
#include "platform/cp1251.h"
#include "platform/platform.h"
#include "windows/black_list.h"
#include "windows/message_viewer.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScopeGuard>
#include <QTimer>

#include <deque>

namespace {

struct Arrival {
    QString time;
    QString address;
    QString text;
    QDeadlineTimer nameDue;
};

std::deque<Arrival> g_waiting;
// A black-list question is open (its nested loop may show further messages).
bool g_asking = false;
QPointer<QTimer> g_nameDue;
int g_nameWaitMs = NameWaitMs;

void showWaiting();

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

// Reads and forgets one bounded portion; the connection stays readable for the next
// notification, so a flood is taken a piece at a time between other events.
void discardPortion(TCustomWinSocket* Socket)
{
    static QByteArray scratch(DiscardChunkBytes, Qt::Uninitialized);
    Socket->ReadBuffer(scratch.data(), DiscardChunkBytes);
}

void showMessage(const Arrival& message, const QString& host)
{
    AppState& app = App();
    app.LastTime = message.time;
    app.LastSenderHost = host;
    app.LastSenderAddress = message.address;
    // Kept exactly as decoded (NUL and all); only what goes on screen is made printable.
    app.LastText = message.text;

    if (MsgF) {
        MsgF->ShowSender(host, message.address);
        MsgF->MsgTimeLab->setText(message.time);
        MsgF->ShowText(TMsgF::printable(app.LastText));
    }

    if (app.SoundOn)
        platform::sound().play(app.MessageSoundPath);

    const bool listed = BListF && BListF->IndexOfName(host) >= 0;
    if (!listed) {
        app.FreshMessage = true;
        if (MsgF)
            MsgF->ShowViewer();
    } else if (!g_asking) {
        // Further messages are shown while the question is open; Yes shows the newest.
        const QString question = QStringLiteral("Получено сообщение от ") + TMsgF::visibleName(host)
                                 + QStringLiteral(", однако этот компьютер занесен в черный список! "
                                                  "Хотите просмотреть сообщение сейчас?");
        g_asking = true;
        const QScopeGuard asked([] { g_asking = false; });
        if (platform::dialogs().confirm(question) && MsgF)
            MsgF->ShowViewer();
    }
    // Else the question is open already: one box, however many messages a listed sender sends
    // meanwhile, and its Yes shows the newest of them.

    app.MessageReceived = true;
    if (Form1)
        Form1->TIconQ->setHint(AppTitle + QStringLiteral("\r\nПоследнее сообщение получено в ") + app.LastTime
                               + QStringLiteral(" от ") + TMsgF::visibleName(app.LastSenderHost) + QStringLiteral(" (")
                               + app.LastSenderAddress + QLatin1Char(')'));
}

// Shows waiting messages in arrival order, each once its sender's name is known or its wait is
// over. Runs again from inside a box that a message opens; each message is taken off the queue
// before it is shown, so that is safe.
void showWaiting()
{
    QTimer* due = nameDueTimer();
    while (!g_waiting.empty()) {
        const Arrival& first = g_waiting.front();
        QString host;
        const bool named = net::peer_names::known(first.address, host);
        if (!named && !first.nameDue.hasExpired() && g_waiting.size() < size_t(MaxWaitingMessages)) {
            due->start(int(qMax<qint64>(1, first.nameDue.remainingTime())));
            return;
        }
        const Arrival message = first;
        g_waiting.pop_front();
        platform::runGuarded([&] { showMessage(message, named ? host : QString()); });
    }
    due->stop();
}

} // namespace

QString ArrivalTimeText(const QTime& time)
{
    return QString::number(time.hour()) + QLatin1Char(':') + QString::number(time.minute())
           + QLatin1Char(':') + QString::number(time.second());
}

void ReceiveMessage(TCustomWinSocket* Socket)
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

    const QString time = ArrivalTimeText(platform::clock().localTime());
    // Address first: a reset noticed by the read below ends the connection and its peer with it.
    const QString address = Socket->PeerAddress();
    const int count = qMin(available, int(quint64(MaxMessageBytes) - taken));
    QByteArray bytes(count, Qt::Uninitialized);
    const int received = Socket->ReadBuffer(bytes.data(), count);
    if (received <= 0)
        return;
    bytes.truncate(received);

    g_waiting.push_back(Arrival{time, address, platform::fromCp1251(bytes), QDeadlineTimer(g_nameWaitMs)});
    nameDueTimer();
    net::peer_names::request(address);
    showWaiting();
}

void DropWaitingMessages()
{
    g_waiting.clear();
    if (g_nameDue)
        g_nameDue->stop();
}

int WaitingMessageCount()
{
    return int(g_waiting.size());
}

void SetNameWait(int milliseconds)
{
    g_nameWaitMs = milliseconds;
}
