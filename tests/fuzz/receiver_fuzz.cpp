// The receiving end, over real loopback connections to the program's windows on the platform
// fakes. The input is a little script of what senders do, one operation after another, each a
// byte whose low four bits say what it is, then its arguments:
//
//   0 f          connect from sender f % 4 (127.0.0.1 to 127.0.0.4; each has its own name)
//   1 c          close connection c (c % open connections)
//   2 c          reset it
//   3 c          shut down its sending side
//   4 c k b      send 1 + k % 80 KiB of the byte b on connection c (past the per-connection share)
//   5 h m s      the clock moves to h % 24 : m % 60 : s % 60
//   6 a          the black list question is answered with a & 1 from now on
//   7 to 15: c lo hi   send (lo + 256 hi) % 4096 bytes, which follow, on connection c; with
//                c & 0x80 the next operation follows at once (the two arrive together)
//
// Other than with 0x80, each operation waits until the program has shown what was sent (after
// a short quiet time when the connection stays open), so the splits are the input's.
// Properties: every message shows exactly the next bytes its connection sent, up to the
// per-connection share, with the sender's address, name and the time, in the viewer's labels
// and text, in the last-message fields and in the tray tooltip with the count of unread
// messages; messages from the black-listed sender ask first, and no other box opens; nothing is
// lost, no message appears that nobody sent, and every connection the senders close is let go.
#include "tests/fuzz/fuzz_check.h"

#include "tests/support/program_fixture.h"

#include "controls/cool_tray_icon.h"
#include "net/socket_components.h"
#include "platform/cp1251.h"
#include "platform/tray_host.h"
#include "windows/black_list.h"
#include "windows/message_viewer.h"

#include <QDeadlineTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTextDocument>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace {

constexpr int Senders = 4;
const char* const Address[Senders] = {"127.0.0.1", "127.0.0.2", "127.0.0.3", "127.0.0.4"};
// The second has no name; the third's is too long for the tooltip; the fourth is black-listed.
const char* const Name[Senders] = {
    "alpha-pc", "", "a-computer-whose-name-is-long-enough-to-push-the-tooltip-past-its-limit.example.lan",
    "delta-pc"};
constexpr int Listed = 3;
constexpr int MaxOpen = 8;
// Generous: a loaded machine is slow, but a message is never seconds late.
constexpr int PatienceMs = 10000;
// Short, so that a connection left open costs the run little.
constexpr int QuietTimeMs = 20;

struct Connection {
    int fd = -1;
    int from = 0;
    bool open = true; // false once the sender closed, reset or shut down its side
    QByteArray sent;
    QString shown; // the texts of the messages shown for it, one after another
};

struct Harness {
    ProgramFixture* program = nullptr;
    int port = 0;
    std::vector<Connection> connections;
    int current = -1; // the connection whose bytes are on their way, if any
    QString time;
    int shownFrom[Senders] = {};
    int shown = 0;             // messages shown for this input, none of them seen
    qsizetype shownChars = 0;
    bool shownSince = false; // a message since the tooltip was last checked
};

Harness* g_harness = nullptr;

QString address(int from) { return QLatin1String(Address[from]); }
QString name(int from) { return QString::fromUtf8(Name[from]); }

QString expectedText(const Connection& c)
{
    return platform::fromCp1251(c.sent.left(MaxMessageBytes));
}

// The viewer shows every character: line breaks (CR LF, CR, LF) as one break each, other control
// characters as pictures; TMsgF::printable() is the viewer's own rule for the latter.
QString viewerText(const QString& text)
{
    QString shown = TMsgF::printable(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    return shown;
}

// What the viewer's document holds, its paragraphs one line each.
QString viewerShows()
{
    return MsgF->MsgLab->document()->toRawText().replace(QChar::ParagraphSeparator, u'\n');
}

QString hint(int from, int unseen)
{
    return QStringLiteral("Pellavine 1.2\r\nНепрочитанных сообщений: ") + QString::number(unseen)
           + QStringLiteral("\r\nПоследнее сообщение получено в ") + g_harness->time + QStringLiteral(" от ") + name(from)
           + QStringLiteral(" (") + address(from) + QLatin1Char(')');
}

QString question()
{
    return QStringLiteral("Получено сообщение от ") + name(Listed)
           + QStringLiteral(", однако этот компьютер занесен в черный список! Хотите просмотреть сообщение сейчас?");
}

// "Сообщение от NAME (ADDRESS):": the address in full, the name whole or shortened in the middle
// to fit, and whole in the label's tool tip.
void checkHeader(const QString& host, const QString& from)
{
    const QString head = QStringLiteral("Сообщение от "), tail = QStringLiteral(" (") + from + QStringLiteral("):");
    const QString header = MsgF->InfoLab1->text();
    FUZZ_CHECK(header.startsWith(head) && header.endsWith(tail), header, head + host + tail);
    const QString shown = header.mid(head.size(), header.size() - head.size() - tail.size());
    const qsizetype cut = shown.indexOf(QChar(0x2026));
    if (cut < 0) {
        FUZZ_CHECK(shown == host, shown, host);
    } else {
        FUZZ_CHECK(host.startsWith(shown.left(cut)) && host.endsWith(shown.mid(cut + 1))
                       && shown.size() - 1 < host.size(),
                   shown, host);
    }
    QTextDocument tip;
    tip.setHtml(MsgF->InfoLab1->toolTip());
    const QString whole = tip.toPlainText().remove(QLatin1Char('\n')).remove(QChar::LineSeparator);
    FUZZ_CHECK(whole == host, whole, host);
}

// A message is being shown: its sound starts once the viewer is filled.
void messageShown()
{
    FUZZ_CHECK(g_harness->current >= 0, QStringLiteral("a message nobody sent: ") + App().LastText);
    Connection& c = g_harness->connections[size_t(g_harness->current)];
    const QString text = App().LastText;
    const QString expected = expectedText(c);
    FUZZ_CHECK(!text.isEmpty());
    FUZZ_CHECK(expected.mid(c.shown.size(), text.size()) == text, text, expected.mid(c.shown.size(), text.size()));
    c.shown += text;
    ++g_harness->shownFrom[c.from];
    ++g_harness->shown;
    g_harness->shownChars += text.size();
    g_harness->shownSince = true;

    FUZZ_CHECK(App().LastSenderAddress == address(c.from), App().LastSenderAddress, address(c.from));
    FUZZ_CHECK(App().LastSenderHost == name(c.from), App().LastSenderHost, name(c.from));
    FUZZ_CHECK(App().LastTime == g_harness->time, App().LastTime, g_harness->time);
    checkHeader(name(c.from), address(c.from));
    FUZZ_CHECK(MsgF->MsgTimeLab->text() == g_harness->time, MsgF->MsgTimeLab->text(), g_harness->time);
    FUZZ_CHECK(viewerShows() == viewerText(text), viewerShows(), viewerText(text));
}

void checkTooltip(int from)
{
    // Every message shown is unread; past the inbox's bounds the oldest go.
    int unseen = inbox().unseenCount();
    if (g_harness->shown <= Inbox::MaxUnseen && g_harness->shownChars <= Inbox::MaxUnseenChars)
        FUZZ_CHECK(unseen == g_harness->shown, QStringLiteral("%1 unread of %2").arg(unseen).arg(g_harness->shown));
    else
        FUZZ_CHECK(unseen >= 1 && unseen <= Inbox::MaxUnseen, QStringLiteral("%1 unread").arg(unseen));
    const QString expected = hint(from, unseen);
    FUZZ_CHECK(Form1->TIconQ->Hint() == expected, Form1->TIconQ->Hint(), expected);
    const auto& icons = g_harness->program->fake.tray.shown;
    FUZZ_CHECK(icons.size() == 1, QStringLiteral("%1 icons").arg(icons.size()));
    const QString tip = icons.begin()->tip;
    FUZZ_CHECK(tip == platform::TrayIconRecord::clip(expected, platform::TrayIconRecord::TipLimit), tip, expected);
}

int openCount()
{
    int count = 0;
    for (const Connection& c : g_harness->connections)
        count += c.open ? 1 : 0;
    return count;
}

int programConnections() { return Form1->SS->Socket()->ConnectionCount(); }

template <class Done>
void spinUntil(Done done, const char* what)
{
    const QDeadlineTimer deadline(PatienceMs);
    while (!done()) {
        FUZZ_CHECK(!deadline.hasExpired(),
                   QStringLiteral("%1: program holds %2 connections, senders %3; waiting messages %4")
                       .arg(QLatin1String(what))
                       .arg(programConnections())
                       .arg(openCount())
                       .arg(waitingMessageCount()));
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

bool taken(const Connection& c)
{
    return c.shown.size() == qMin<qsizetype>(c.sent.size(), MaxMessageBytes) && waitingMessageCount() == 0;
}

// Waits until the program has shown what is on its way; checks the tooltip it left.
void settle()
{
    if (g_harness->current < 0)
        return;
    const Connection& c = g_harness->connections[size_t(g_harness->current)];
    spinUntil([&c] { return taken(c); }, "message not shown");
    if (g_harness->shownSince)
        checkTooltip(c.from);
    g_harness->shownSince = false;
    g_harness->current = -1;
}

// The connection that operation byte b names, opening one when there is none.
int pick(uint8_t b);

void connectFrom(int from)
{
    settle();
    if (openCount() >= MaxOpen)
        return;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    FUZZ_CHECK(fd >= 0, QString::fromLocal8Bit(strerror(errno)));
    // The port is chosen at connect time, where loopback may reuse ports still in TIME_WAIT.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, Address[from], &local.sin_addr);
    FUZZ_CHECK(::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0,
               QString::fromLocal8Bit(strerror(errno)));
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(quint16(g_harness->port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    FUZZ_CHECK(::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0,
               QString::fromLocal8Bit(strerror(errno)));
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    g_harness->connections.push_back(Connection{fd, from, true, {}, {}});
    spinUntil([] { return programConnections() == openCount(); }, "connection not accepted");
}

int pick(uint8_t b)
{
    if (openCount() == 0)
        connectFrom(0);
    int n = (b & 0x7F) % openCount();
    for (size_t i = 0; i < g_harness->connections.size(); ++i) {
        if (g_harness->connections[i].open && n-- == 0)
            return int(i);
    }
    return -1;
}

// Makes connection i the one whose bytes are on their way; what another had sent is shown first.
void startOn(int i)
{
    if (g_harness->current != i)
        settle();
    g_harness->current = i;
}

void sendBytes(int i, const QByteArray& bytes)
{
    startOn(i);
    Connection& c = g_harness->connections[size_t(i)];
    qsizetype at = 0;
    const QDeadlineTimer deadline(PatienceMs);
    while (at < bytes.size()) {
        const ssize_t n = ::send(c.fd, bytes.constData() + at, size_t(bytes.size() - at), MSG_NOSIGNAL);
        if (n > 0) {
            c.sent += bytes.mid(at, n);
            at += n;
            continue;
        }
        FUZZ_CHECK(n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK), QString::fromLocal8Bit(strerror(errno)));
        // The program is not taking what it is sent.
        FUZZ_CHECK(!deadline.hasExpired(), QStringLiteral("sending stalled after %1 bytes").arg(c.sent.size()));
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

// The sender closes (or resets, or stops sending): what it sent is still shown, then the program
// lets the connection go.
void endConnection(int i, int how)
{
    startOn(i);
    Connection& c = g_harness->connections[size_t(i)];
    if (how == 2) {
        const linger abort{1, 0};
        ::setsockopt(c.fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }
    if (how == 3) {
        ::shutdown(c.fd, SHUT_WR);
    } else {
        ::close(c.fd);
        c.fd = -1;
    }
    c.open = false;
    settle();
    spinUntil([] { return programConnections() == openCount(); }, "closed connection kept");
    if (c.fd >= 0)
        ::close(c.fd);
    c.fd = -1;
}

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    bool more() const { return at < size; }
    uint8_t byte() { return at < size ? data[at++] : 0; }
    QByteArray bytes(size_t count)
    {
        count = std::min(count, size - at);
        const QByteArray result(reinterpret_cast<const char*>(data + at), qsizetype(count));
        at += count;
        return result;
    }
};

void setTime(int h, int m, int s)
{
    g_harness->program->fake.clock.time = QTime(h, m, s);
    g_harness->time = QStringLiteral("%1:%2:%3").arg(h).arg(m).arg(s);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::startApplication();
    g_harness = new Harness;
    g_harness->port = freeTcpPort();
    g_harness->program = new ProgramFixture({{QStringLiteral("config"), QStringLiteral("port"), QString::number(g_harness->port)}});
    // The windows live as long as the process; their folder goes with a normal end.
    std::atexit([] { g_harness->program->folder.remove(); });
    platform::FakePlatform& fake = g_harness->program->fake;
    fuzz::writeFile(App().BlackListPath, platform::toCp1251(name(Listed).toUpper()) + "\r\n");
    BListF->FormCreate();
    for (int i = 0; i < Senders; ++i)
        fake.names.setName(address(i), name(i));
    // Every name is known before the first input, so each message is shown as it is read.
    net::peer_names::setRememberTime(std::numeric_limits<int>::max());
    for (int i = 0; i < Senders; ++i)
        net::peer_names::request(address(i));
    spinUntil(
        [] {
            QString ignored;
            for (int i = 0; i < Senders; ++i) {
                if (!net::peer_names::known(address(i), ignored))
                    return false;
            }
            return true;
        },
        "names");
    setQuietTime(QuietTimeMs);
    fake.sound.whilePlaying = [](const QString& path) {
        if (path == App().MessageSoundPath)
            messageShown();
    };
    g_harness->program->passSplash();
    FUZZ_CHECK(Form1->SS->Active());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    platform::FakePlatform& fake = g_harness->program->fake;
    setTime(12, 0, 0);
    fake.dialogs.defaultAnswer = false;
    for (int& n : g_harness->shownFrom)
        n = 0;
    g_harness->shown = 0;
    g_harness->shownChars = 0;

    Reader in{data, size};
    bool together = false; // the last send is not waited for
    while (in.more()) {
        const int op = in.byte() & 0x0F;
        if (!together || op == 0 || op == 5 || op == 6)
            settle();
        together = false;
        switch (op) {
        case 0:
            connectFrom(in.byte() % Senders);
            break;
        case 1:
        case 2:
        case 3:
            endConnection(pick(in.byte()), op);
            break;
        case 4: {
            const int i = pick(in.byte());
            const int kib = 1 + in.byte() % 80;
            sendBytes(i, QByteArray(kib * 1024, char(in.byte())));
            break;
        }
        case 5: {
            const int h = in.byte() % 24, m = in.byte() % 60, s = in.byte() % 60;
            setTime(h, m, s);
            break;
        }
        case 6:
            fake.dialogs.defaultAnswer = in.byte() & 1;
            break;
        default: {
            const uint8_t b = in.byte();
            const int i = pick(b);
            const size_t count = (in.byte() + 256u * in.byte()) % 4096u;
            sendBytes(i, in.bytes(count));
            together = (b & 0x80) != 0;
            break;
        }
        }
    }
    settle();
    for (size_t i = 0; i < g_harness->connections.size(); ++i) {
        if (g_harness->connections[i].open)
            endConnection(int(i), 1);
    }
    FUZZ_CHECK(programConnections() == 0);
    g_harness->connections.clear();

    // Only the black list question, once for each message from the listed sender.
    for (const platform::RecordedBox& box : fake.dialogs.boxes) {
        FUZZ_CHECK(box.kind == platform::BoxKind::Confirmation && box.text == question(), box.text);
    }
    FUZZ_CHECK(fake.dialogs.boxes.size() == g_harness->shownFrom[Listed],
               QStringLiteral("%1 questions, %2 messages").arg(fake.dialogs.boxes.size()).arg(g_harness->shownFrom[Listed]));

    // The next input starts from a hidden viewer, with nothing recorded or unread.
    MsgF->hide();
    inbox().clear();
    fake.dialogs.boxes.clear();
    fake.sound.played.clear();
    fake.windows.activations.clear();
    fake.windows.moves.clear();
    fake.tray.requests.clear();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
