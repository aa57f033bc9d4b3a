#pragma once
// The program's command line. Without arguments the program is the tray program; "--send"
// sends one message from a script and ends, with no window, no display and no single-instance
// guard, so it also runs beside a running tray copy, over ssh and from cron.
#include <QCoreApplication>
#include <QStringList>

struct CommandLine {
    Q_DECLARE_TR_FUNCTIONS(CommandLine)

public:
    static constexpr int DefaultTimeoutMs = 5000;

    enum Kind { Send, Help, Version, Invalid };
    Kind kind = Invalid;
    QStringList hosts;  // in the order given, each once
    QStringList words;  // the text, one word per argument; none: standard input
    int port = 0;       // 0: not given
    int timeoutMs = DefaultTimeoutMs;
    QString error;      // why the arguments are Invalid
};

// Exit statuses of the command line.
enum CommandLineStatus {
    StatusDelivered = 0,  // every host received the text (also --help, --version)
    StatusSomeFailed = 1, // at least one host did not
    StatusUsage = 2,      // wrong arguments or nothing to send; nothing was sent
};

// Whether the arguments are for the command line. Qt's own options alone (-platform, -session
// from a session manager and the like) still start the tray program; beside ours they change
// nothing.
bool isCommandLine(int argc, char* argv[]);

// The arguments after the program name, GNU style: long options, "--opt value" or
// "--opt=value", options and text in any order, "--" ends the options. Qt's own options before
// "--" are passed over.
CommandLine parseCommandLine(const QStringList& arguments);

// The text to send from what standard input gave: the line end(s) that echo and editors put at
// the end are not part of the message.
QString textFromInput(const QByteArray& bytes);

QString usageText();
QString helpText();

// Runs the command line to its end under a console application object; returns the exit status.
int runCommandLine(int argc, char* argv[]);
