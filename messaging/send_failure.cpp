#include "messaging/send_failure.h"

#include "net/socket_error.h"
#include "platform/platform.h"

#include <QCoreApplication>

namespace {

using namespace net::wsa;

QString lookupText(int code)
{
    switch (code) {
    case WSAHOST_NOT_FOUND:
    case WSANO_DATA: return QCoreApplication::translate("BatchSender", "компьютер с таким именем не найден");
    case WSATRY_AGAIN: return QCoreApplication::translate("BatchSender", "имя не найдено: служба имен не ответила");
    default: return QCoreApplication::translate("BatchSender", "имя компьютера не удалось определить");
    }
}

QString connectionText(int code, int port)
{
    switch (code) {
    case WSAECONNREFUSED:
        // The batch sender's context, where these words were first written and translated.
        return QCoreApplication::translate("BatchSender",
                                           "в соединении отказано: на порту %1 сообщения не принимают "
                                           "(Pellavine не запущен или его сервер приостановлен)")
            .arg(port);
    case WSAETIMEDOUT: return QCoreApplication::translate("BatchSender", "компьютер не ответил");
    case WSAENETDOWN:
    case WSAENETUNREACH:
    case WSAEHOSTDOWN:
    case WSAEHOSTUNREACH: return QCoreApplication::translate("BatchSender", "компьютер недоступен по сети");
    case WSAECONNRESET:
    case WSAECONNABORTED: return QCoreApplication::translate("BatchSender", "соединение разорвано");
    default: return QCoreApplication::translate("BatchSender", "соединение не установлено");
    }
}

} // namespace

QString sendFailureText(TErrorEvent kind, int code, int port)
{
    switch (kind) {
    case eeLookup: return lookupText(code);
    case eeSend: return QCoreApplication::translate("BatchSender", "текст не передан: %1").arg(connectionText(code, port));
    default: return connectionText(code, port);
    }
}

QString explainedErrorText(const QString& report, const QString& explanation)
{
    QString sentence = explanation;
    if (!sentence.isEmpty())
        sentence = sentence.front().toUpper() + sentence.mid(1) + QLatin1Char('.');
    return platform::exceptionBoxText(report) + QStringLiteral("\n\n") + sentence;
}
