#include "messaging/receiver.h"

#include "app/app_state.h"
#include "app/welcome_window.h"
#include "controls/cool_tray_icon.h"
#include "net/win_socket.h"
#include "platform/cp1251.h"
#include "platform/platform.h"

void ReceiveMessage(TCustomWinSocket* Socket)
{
    AppState& app = App();
    const QTime now = platform::clock().localTime();
    app.LastTime = QStringLiteral("%1:%2:%3").arg(now.hour()).arg(now.minute()).arg(now.second());
    app.LastSenderHost = Socket->PeerHostName();
    app.LastSenderAddress = Socket->PeerAddress();
    QByteArray bytes(MaxMessageBytes, Qt::Uninitialized);
    const int count = Socket->ReadBuffer(bytes.data(), MaxMessageBytes);
    bytes.resize(qMax(0, count));
    app.LastText = platform::fromCp1251(bytes);
    app.MessageReceived = true;
    Form1->TIconQ->setHint(AppTitle + QStringLiteral("\r\nПоследнее сообщение получено в ") + app.LastTime
                           + QStringLiteral(" от ") + app.LastSenderHost + QStringLiteral(" (")
                           + app.LastSenderAddress + QStringLiteral(")"));
}
