#include "app/command_line.h"

#include "app/app_state.h"
#include "app/ini_file.h"
#include "app/language.h"
#include "app/settings.h"
#include "messaging/batch_sender.h"
#include "messaging/send_window.h"
#include "platform/cp1251.h"
#include "platform/platform.h"

#include <QCoreApplication>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <string_view>
#include <unistd.h>

namespace {

constexpr int MaxTimeoutSeconds = 3600;

const QString ProgramName = QStringLiteral("pellavine");

struct Option {
    const char* name;
    bool takesValue;
};

constexpr Option Options[] = {
    {"--send", true}, {"--port", true}, {"--timeout", true}, {"--help", false}, {"--version", false},
};

// Qt's own options, which the application object takes wherever they stand; the first ones
// are followed by a value ("-style Fusion", or "-style=Fusion").
struct QtOption {
    std::string_view name;
    bool takesValue;
};

constexpr QtOption QtOptions[] = {
    {"-platform", true},  {"-platformpluginpath", true}, {"-platformtheme", true}, {"-plugin", true},
    {"-session", true},   {"-qwindowgeometry", true},    {"-qwindowicon", true},   {"-qwindowtitle", true},
    {"-display", true},   {"-geometry", true},           {"-style", true},         {"-stylesheet", true},
    {"-reverse", false},  {"-widgetcount", false},       {"-qmljsdebugger", false},
};

// How many arguments a Qt option takes up with its value (none when no argument follows);
// 0: the argument is not one of Qt's.
int qtOptionLength(std::string_view argument, bool anotherFollows)
{
    const std::string_view name = argument.substr(0, argument.find('='));
    for (const QtOption& option : QtOptions) {
        if (option.name == name)
            return option.takesValue && name.size() == argument.size() && anotherFollows ? 2 : 1;
    }
    return 0;
}

CommandLine invalid(const QString& error)
{
    CommandLine result;
    result.kind = CommandLine::Invalid;
    result.error = error;
    return result;
}

bool parsePort(const QString& text, int* port)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok || !settings::TcpPorts.contains(value) || !text.at(0).isDigit())
        return false;
    *port = value;
    return true;
}

bool parseTimeout(const QString& text, int* milliseconds)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value <= 0 || value > MaxTimeoutSeconds)
        return false;
    *milliseconds = qMax(1, int(std::lround(value * 1000)));
    return true;
}

void print(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

void printError(const QString& text)
{
    print(stderr, ProgramName + QStringLiteral(": ") + text + QLatin1Char('\n'));
}

// Nothing of the socket layer is meant to reach a box here, but should anything still be
// reported, it goes to the error stream: there may be no display to show a box on.
class ConsoleDialogs final : public platform::Dialogs {
public:
    void information(const QString& text, QWidget*) override { printError(text); }
    bool confirm(const QString& text) override
    {
        printError(text);
        return false;
    }
    void error(const QString& text, QWidget*) override { printError(text); }
    void beep() override {}
};

// All of standard input, but no more than a text of the longest length can take (UTF-8 has at
// most four bytes a character, plus the line end): *tooLong tells there was more.
QByteArray readStandardInput(bool* tooLong)
{
    const qsizetype cap = qsizetype(TSenderF::MaxTextLength) * 4 + 2;
    QByteArray bytes;
    char buffer[65536];
    *tooLong = false;
    for (;;) {
        const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        bytes.append(buffer, count);
        if (bytes.size() > cap) {
            *tooLong = true;
            break;
        }
    }
    return bytes;
}

int settingsPort(int* port)
{
    // The settings file the program itself reads: none without a usable data folder.
    AppState files;
    files.computePaths(QString(), platform::paths().dataDir());
    *port = settings::read(TIniFile(files.SettingsPath), settings::key(&AppState::Port));
    if (settings::TcpPorts.contains(*port))
        return StatusDelivered;
    printError(CommandLine::tr("%1; укажите порт параметром --port")
                   .arg(settings::invalidPortText(files.SettingsPath, *port)));
    return StatusUsage;
}

int send(const CommandLine& request)
{
    int port = request.port;
    if (port == 0) {
        const int status = settingsPort(&port);
        if (status != StatusDelivered)
            return status;
    }

    QString text;
    bool tooLong = false;
    if (request.words.isEmpty()) {
        if (::isatty(STDIN_FILENO))
            print(stderr, CommandLine::tr("Введите текст сообщения и нажмите Ctrl+D:") + QLatin1Char('\n'));
        text = textFromInput(readStandardInput(&tooLong));
    } else {
        text = request.words.join(QLatin1Char(' '));
    }
    if (text.isEmpty() && !tooLong) {
        printError(TSenderF::missingInputText());
        return StatusUsage;
    }
    if (tooLong || text.size() > TSenderF::MaxTextLength) {
        printError(CommandLine::tr("текст длиннее %1 знаков; сообщение не отправлено").arg(TSenderF::MaxTextLength));
        return StatusUsage;
    }

    BatchSender sender(request.hosts, platform::toCp1251(text), port, request.timeoutMs);
    const bool several = request.hosts.size() > 1;
    bool allDelivered = true;
    sender.OnHostDone = [&](const SendOutcome& outcome) {
        if (outcome.delivered) {
            if (several)
                print(stdout, CommandLine::tr("%1: доставлено").arg(outcome.host) + QLatin1Char('\n'));
            return;
        }
        allDelivered = false;
        print(stderr, CommandLine::tr("%1: не доставлено: %2 — %3").arg(outcome.host, outcome.reason, outcome.error)
                          + QLatin1Char('\n'));
    };
    sender.OnFinished = [] { QCoreApplication::quit(); };
    sender.start();
    QCoreApplication::exec();
    return allDelivered ? StatusDelivered : StatusSomeFailed;
}

} // namespace

bool isCommandLine(int argc, char* argv[])
{
    // Qt's options alone still start the tray program (a session manager restarts it with
    // "-session ID"); anything else, before or after them, is for the command line.
    for (int i = 1; i < argc;) {
        const int length = qtOptionLength(argv[i], i + 1 < argc);
        if (length == 0)
            return true;
        i += length;
    }
    return false;
}

CommandLine parseCommandLine(const QStringList& arguments)
{
    CommandLine result;
    result.kind = CommandLine::Send;
    bool sendGiven = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--")) {
            result.words += arguments.mid(i + 1);
            break;
        }
        // The application object of the command line leaves Qt's options in place.
        if (const int length = qtOptionLength(argument.toStdString(), i + 1 < arguments.size())) {
            i += length - 1;
            continue;
        }
        if (!argument.startsWith(QLatin1Char('-')) || argument == QLatin1String("-")) {
            result.words << argument;
            continue;
        }

        QString name = argument;
        QString value;
        bool hasValue = false;
        const qsizetype equals = argument.indexOf(QLatin1Char('='));
        if (argument.startsWith(QLatin1String("--")) && equals > 2) {
            name = argument.left(equals);
            value = argument.mid(equals + 1);
            hasValue = true;
        }
        const Option* option = nullptr;
        for (const Option& known : Options) {
            if (name == QLatin1String(known.name))
                option = &known;
        }
        if (!option)
            return invalid(CommandLine::tr("неизвестный параметр «%1»").arg(name));
        if (!option->takesValue) {
            if (hasValue)
                return invalid(CommandLine::tr("параметр «%1» не принимает значения").arg(name));
            result.kind = name == QLatin1String("--help") ? CommandLine::Help : CommandLine::Version;
            return result;
        }
        if (!hasValue) {
            if (i + 1 >= arguments.size())
                return invalid(CommandLine::tr("параметру «%1» нужно значение").arg(name));
            value = arguments.at(++i);
        }

        if (name == QLatin1String("--send")) {
            sendGiven = true;
            for (const QString& item : value.split(QLatin1Char(','))) {
                const QString host = item.trimmed();
                if (host.isEmpty())
                    continue;
                if (!result.hosts.contains(host, Qt::CaseInsensitive))
                    result.hosts << host;
            }
        } else if (name == QLatin1String("--port")) {
            if (!parsePort(value, &result.port))
                return invalid(CommandLine::tr("неверный порт «%1»: нужно число от %2 до %3")
                                   .arg(value, QString::number(settings::TcpPorts.min),
                                        QString::number(settings::TcpPorts.max)));
        } else if (!parseTimeout(value, &result.timeoutMs)) {
            return invalid(CommandLine::tr("неверное время ожидания «%1»: нужно число секунд больше 0 и не больше %2")
                               .arg(value, QString::number(MaxTimeoutSeconds)));
        }
    }
    if (result.hosts.isEmpty())
        return invalid(sendGiven ? CommandLine::tr("не указан получатель")
                                 : CommandLine::tr("не указан получатель: нужен параметр --send"));
    return result;
}

QString textFromInput(const QByteArray& bytes)
{
    QString text = QString::fromLocal8Bit(bytes);
    while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r')))
        text.chop(1);
    return text;
}

QString usageText()
{
    return CommandLine::tr(
        "Использование: pellavine --send КОМУ [--port ПОРТ] [--timeout СЕКУНДЫ] [--] [ТЕКСТ...]\n"
        "Подробнее: pellavine --help\n");
}

QString helpText()
{
    return CommandLine::tr(
               "Использование:\n"
               "  pellavine\n"
               "  pellavine --send КОМУ [--port ПОРТ] [--timeout СЕКУНДЫ] [--] [ТЕКСТ...]\n"
               "  pellavine --help | --version\n"
               "\n"
               "Без параметров запускает Pellavine в области уведомлений.\n"
               "\n"
               "С параметром --send отправляет ТЕКСТ (слова через пробел), а если ТЕКСТ не указан,\n"
               "то стандартный ввод, на каждый компьютер КОМУ и завершается. Окно, значок и дисплей\n"
               "не нужны (работает по ssh и из cron), уже запущенной копии программы не мешает.\n"
               "\n"
               "Параметры:\n"
               "  --send КОМУ        имя компьютера или IP-адрес получателя; несколько получателей\n"
               "                     можно указать через запятую или повторив --send\n"
               "  --port ПОРТ        порт получателей; по умолчанию порт из файла настроек\n"
               "                     (~/.config/Pellavine/Pellavine.ini), иначе %4\n"
               "  --timeout СЕКУНДЫ  сколько ждать поиска имени, соединения и передачи для каждого\n"
               "                     получателя (по умолчанию %1)\n"
               "  --help             показать эту справку и выйти\n"
               "  --version          показать версию и выйти\n"
               "  --                 дальше только текст, даже если он начинается с «-»\n"
               "Значение можно писать и через знак равенства: --port=2430.\n"
               "\n"
               "Текст отправляется в кодировке Windows-1251, как из окна отправки: знаки, которых в ней\n"
               "нет, заменяются на «?»; в тексте не больше %2 знаков. Переводы строки в конце\n"
               "стандартного ввода отбрасываются. Одновременно отправляется не больше %3 сообщений.\n"
               "Если получателей несколько, для каждого выводится строка о том, что с ним стало.\n"
               "\n"
               "Код завершения:\n"
               "  0  сообщение доставлено всем получателям\n"
               "  1  хотя бы одному получателю не доставлено (причина в строке на стандартном\n"
               "     выводе ошибок)\n"
               "  2  ошибка в параметрах или нечего отправить; ничего не отправлено\n"
               "\n"
               "Пример:\n"
               "  printf 'Файловый сервер перезагрузится через 10 минут' | pellavine --send buh-01,192.168.1.15\n")
        .arg(CommandLine::DefaultTimeoutMs / 1000)
        .arg(TSenderF::MaxTextLength)
        .arg(BatchSender::DefaultParallel)
        .arg(settings::key(&AppState::Port).fallback);
}

int runCommandLine(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Pellavine"));
    QCoreApplication::setApplicationVersion(VersionText);
    installTranslations(QCoreApplication::applicationDirPath());
    platform::setApplicationTitle(AppTitle);
    ConsoleDialogs dialogs;
    platform::setDialogs(&dialogs);

    const CommandLine request = parseCommandLine(QCoreApplication::arguments().mid(1));
    int status = StatusUsage;
    switch (request.kind) {
    case CommandLine::Help:
        print(stdout, helpText());
        status = StatusDelivered;
        break;
    case CommandLine::Version:
        print(stdout, AppTitle + QLatin1Char('\n'));
        status = StatusDelivered;
        break;
    case CommandLine::Invalid:
        printError(request.error);
        print(stderr, usageText());
        status = StatusUsage;
        break;
    case CommandLine::Send:
        status = send(request);
        break;
    }
    platform::setDialogs(nullptr);
    return status;
}
