#include "messaging/receiver.h"

#include "app/app_state.h"
#include "app/welcome_window.h"
#include "controls/cool_tray_icon.h"
#include "net/win_socket.h"
#include "platform/cp1251.h"
#include "platform/platform.h"
#include "windows/black_list.h"
#include "windows/message_viewer.h"

#include <QByteArray>
#include <QLabel>
#include <QPlainTextEdit>

namespace {

// Reads and forgets one bounded portion; the connection stays readable for the next
// notification, so a flood is taken a piece at a time between other events.
void discardPortion(TCustomWinSocket* Socket)
{
    static QByteArray scratch(DiscardChunkBytes, Qt::Uninitialized);
    Socket->ReadBuffer(scratch.data(), DiscardChunkBytes);
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
    // Peer first: a reset noticed by the read below ends the connection and its peer with it.
    const QString host = Socket->PeerHostName();
    const QString address = Socket->PeerAddress();
    const int count = qMin(available, int(quint64(MaxMessageBytes) - taken));
    QByteArray bytes(count, Qt::Uninitialized);
    const int received = Socket->ReadBuffer(bytes.data(), count);
    if (received <= 0)
        return;
    bytes.truncate(received);

    AppState& app = App();
    app.LastTime = time;
    app.LastSenderHost = host;
    app.LastSenderAddress = address;
    // Kept exactly as decoded (NUL and all); only what goes on screen is made printable.
    app.LastText = platform::fromCp1251(bytes);

    const QString header = QStringLiteral("Сообщение от ") + host + QStringLiteral(" (") + address + QStringLiteral("):");
    if (MsgF) {
        MsgF->InfoLab1->setText(TMsgF::printable(header));
        MsgF->MsgTimeLab->setText(time);
        MsgF->MsgLab->setPlainText(TMsgF::printable(app.LastText));
    }

    if (app.SoundOn)
        platform::sound().play(app.MessageSoundPath);

    const bool listed = BListF && BListF->IndexOfName(host) >= 0;
    if (!listed) {
        app.FreshMessage = true;
        if (MsgF)
            MsgF->ShowViewer();
    } else {
        // Further messages are handled while the question is open; Yes shows the newest.
        const QString question = QStringLiteral("Получено сообщение от ") + host
                                 + QStringLiteral(", однако этот компьютер занесен в черный список! "
                                                  "Хотите просмотреть сообщение сейчас?");
        if (platform::dialogs().confirm(question) && MsgF)
            MsgF->ShowViewer();
    }

    app.MessageReceived = true;
    if (Form1)
        Form1->TIconQ->setHint(AppTitle + QStringLiteral("\r\nПоследнее сообщение получено в ") + app.LastTime
                               + QStringLiteral(" от ") + app.LastSenderHost + QStringLiteral(" (")
                               + app.LastSenderAddress + QLatin1Char(')'));
}
