#include "net/host_lookup.h"
#include "net/socket_components.h"
#include "net/socket_error.h"
#include "platform/cp1251.h"
#include "tests/support/fake_platform.h"
#include "tests/support/raw_peer.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>
#include <poll.h>

using platform::BoxKind;
using platform::FakePlatform;

namespace {

// What a component reported, in order, as short words.
struct Journal {
    QStringList events;
    QList<TErrorEvent> errorKinds;
    QList<int> errorCodes;
    QStringList reads;

    TSocketNotifyEvent note(const QString& word)
    {
        return [this, word](QObject*, TCustomWinSocket*) { events << word; };
    }
    // Records an error; a handler that keeps the code leaves it to the layer to raise.
    TSocketErrorEvent error(bool takeOver)
    {
        return [this, takeOver](QObject*, TCustomWinSocket*, TErrorEvent kind, int& code) {
            events << QStringLiteral("error");
            errorKinds << kind;
            errorCodes << code;
            if (takeOver)
                code = 0;
        };
    }
};

void watchClient(TClientSocket& client, Journal& journal, bool takeOverErrors)
{
    client.OnLookup = journal.note(QStringLiteral("lookup"));
    client.OnConnecting = journal.note(QStringLiteral("connecting"));
    client.OnConnect = journal.note(QStringLiteral("connect"));
    client.OnDisconnect = journal.note(QStringLiteral("disconnect"));
    client.OnError = journal.error(takeOverErrors);
}

void watchServer(TServerSocket& server, Journal& journal)
{
    server.OnListen = journal.note(QStringLiteral("listen"));
    server.OnAccept = journal.note(QStringLiteral("accept"));
    server.OnDisconnect = journal.note(QStringLiteral("stop"));
    server.OnClientConnect = journal.note(QStringLiteral("client connect"));
    server.OnClientDisconnect = journal.note(QStringLiteral("client disconnect"));
    server.OnClientError = journal.error(false);
    server.OnClientRead = [&journal](QObject*, TCustomWinSocket* socket) {
        journal.events << QStringLiteral("read");
        journal.reads << socket->ReadText();
    };
}

} // namespace

class NetTest : public QObject {
    Q_OBJECT

    std::unique_ptr<FakePlatform> fake_;

    QStringList errorBoxes() const { return fake_->dialogs.texts(BoxKind::Error); }

    // A listening component on a fresh port.
    bool startServer(TServerSocket& server, int& port)
    {
        port = freeTcpPort();
        server.setPort(port);
        server.setActive(true);
        return server.Active();
    }

    // Connects a client component to port and waits until both ends know of it.
    bool connectClient(TClientSocket& client, TServerSocket& server, int port, int expectedConnections = 1)
    {
        client.setHost(QStringLiteral("127.0.0.1"));
        client.setPort(port);
        client.setActive(true);
        return QTest::qWaitFor([&] { return client.Active() && server.Socket()->ConnectionCount() == expectedConnections; },
                               3000);
    }

private Q_SLOTS:
    void init()
    {
        fake_ = std::make_unique<FakePlatform>();
        platform::setApplicationTitle(QStringLiteral("Pellavine 1.2"));
    }
    void cleanup()
    {
        net::setLookupDelay(0);
        fake_.reset();
    }

    void errorNumbers_data()
    {
        QTest::addColumn<int>("errnoValue");
        QTest::addColumn<int>("code");
        QTest::newRow("refused") << ECONNREFUSED << 10061;
        QTest::newRow("reset") << ECONNRESET << 10054;
        QTest::newRow("address in use") << EADDRINUSE << 10048;
        QTest::newRow("access denied") << EACCES << 10013;
        QTest::newRow("would block") << EAGAIN << 10035;
        QTest::newRow("connect under way") << EINPROGRESS << 10035;
        QTest::newRow("timed out") << ETIMEDOUT << 10060;
        QTest::newRow("network unreachable") << ENETUNREACH << 10051;
        QTest::newRow("host unreachable") << EHOSTUNREACH << 10065;
        QTest::newRow("address not available") << EADDRNOTAVAIL << 10049;
        QTest::newRow("broken pipe") << EPIPE << 10054;
    }
    void errorNumbers()
    {
        QFETCH(int, errnoValue);
        QFETCH(int, code);
        QCOMPARE(net::winsockError(errnoValue), code);
        try {
            net::raiseSocketError(errnoValue, "bind");
            QFAIL("no exception");
        } catch (const ESocketError& error) {
            QCOMPARE(error.message(), QStringLiteral("Windows socket error: %1 (%2), on API 'bind'")
                                          .arg(QString::fromLocal8Bit(std::strerror(errnoValue)))
                                          .arg(code));
        }
    }

    // Connect, write and read over the loopback, with the events of both ends in order.
    void roundTrip_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("byService"); // the port named as a service on both ends
        QTest::newRow("dotted host") << "127.0.0.1" << "" << "hello" << false;
        QTest::newRow("host name") << "localhost" << "" << QString::fromUtf8("Привет, мир!") << false;
        QTest::newRow("address only") << "" << "127.0.0.1" << "  " << false;
        QTest::newRow("service") << "127.0.0.1" << "" << "by service" << true;
    }
    void roundTrip()
    {
        QFETCH(QString, host);
        QFETCH(QString, address);
        QFETCH(QString, text);
        QFETCH(bool, byService);
        TServerSocket server;
        Journal serverLog;
        watchServer(server, serverLog);
        const int port = freeTcpPort();
        if (byService)
            server.setService(QString::number(port));
        else
            server.setPort(port);
        server.setActive(true);
        QTRY_VERIFY(server.Active());
        QCOMPARE(serverLog.events, QStringList{"listen"});

        TClientSocket client;
        Journal clientLog;
        watchClient(client, clientLog, false);
        client.setHost(host);
        client.setAddress(address);
        if (byService)
            client.setService(QString::number(port));
        else
            client.setPort(port);
        client.setActive(true);
        QVERIFY(!client.Active()); // only the connect event makes it active
        QTRY_VERIFY(client.Active());
        QCOMPARE(clientLog.events, (QStringList{"lookup", "connecting", "connect"}));
        QTRY_COMPARE(server.Socket()->ConnectionCount(), 1);
        QCOMPARE(serverLog.events, (QStringList{"listen", "client connect", "accept"}));

        const QByteArray bytes = platform::toCp1251(text);
        QCOMPARE(client.Socket()->WriteText(text), int(bytes.size()));
        QTRY_COMPARE(serverLog.reads, QStringList{text});
        QCOMPARE(server.Socket()->Connection(0)->BytesReceived(), quint64(bytes.size()));
        QCOMPARE(client.Socket()->PeerAddress(), QStringLiteral("127.0.0.1"));
        QCOMPARE(client.Socket()->PeerPort(), port);

        client.setActive(false);
        QVERIFY(!client.Active());
        QCOMPARE(clientLog.events.last(), QStringLiteral("disconnect"));
        QTRY_COMPARE(server.Socket()->ConnectionCount(), 0);
        QCOMPARE(serverLog.events.last(), QStringLiteral("client disconnect"));
        QCOMPARE(serverLog.reads, QStringList{text}); // the close is no read
        QVERIFY(errorBoxes().isEmpty());
    }

    // One text in two segments is two read events, each with what had arrived.
    void twoSegments()
    {
        TServerSocket server;
        Journal serverLog;
        watchServer(server, serverLog);
        int port = 0;
        QVERIFY(startServer(server, port));
        TClientSocket client;
        QVERIFY(connectClient(client, server, port));

        client.Socket()->WriteText(QStringLiteral("first "));
        QTRY_COMPARE(serverLog.reads.size(), 1);
        client.Socket()->WriteText(QStringLiteral("second"));
        QTRY_COMPARE(serverLog.reads.size(), 2);
        QCOMPARE(serverLog.reads, (QStringList{"first ", "second"}));
        QTest::qWait(50); // nothing to wait for: a while in which no third read comes
        QCOMPARE(serverLog.reads.size(), 2);
    }

    // Nobody listens: the error handler hears of it, and an untaken error reaches the box.
    void refusedConnect_data()
    {
        QTest::addColumn<bool>("takeOver");
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("left to the layer") << false << QStringList{"Asynchronous socket error 10061."};
        QTest::newRow("taken over") << true << QStringList{};
    }
    void refusedConnect()
    {
        QFETCH(bool, takeOver);
        QFETCH(QStringList, boxes);
        const int port = freeTcpPort();
        TClientSocket client;
        Journal log;
        watchClient(client, log, takeOver);
        client.setHost(QStringLiteral("127.0.0.1"));
        client.setPort(port);
        client.setActive(true);
        QTRY_COMPARE(log.errorKinds.size(), 1);
        QCOMPARE(log.errorKinds[0], eeConnect);
        QCOMPARE(log.errorCodes[0], 10061);
        QTRY_COMPARE(errorBoxes(), boxes);
        QVERIFY(!client.Active());
        QVERIFY(!client.Socket()->Connected());
        QVERIFY(!log.events.contains("connect"));

        // The next attempt starts afresh and succeeds once someone listens.
        TServerSocket server;
        server.setPort(port);
        server.setActive(true);
        QVERIFY(server.Active());
        client.setActive(true);
        QTRY_VERIFY(client.Active());
        QTRY_COMPARE(server.Socket()->ConnectionCount(), 1);
    }

    // A name that cannot be resolved: lookup kind, and a box naming "ASync Lookup" with no
    // closing point.
    void unresolvableName_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("service");
        QTest::addColumn<bool>("takeOver");
        QTest::addColumn<int>("lowestCode");
        QTest::addColumn<int>("highestCode");
        // The resolver may answer "not found", "try again" or "no data" depending on the network.
        QTest::newRow("host left to the layer") << "no-such-host.invalid" << "" << false << 11001 << 11004;
        QTest::newRow("host taken over") << "no-such-host.invalid" << "" << true << 11001 << 11004;
        QTest::newRow("service left to the layer") << "127.0.0.1" << "no-such-service" << false << 10109 << 10109;
    }
    void unresolvableName()
    {
        QFETCH(QString, host);
        QFETCH(QString, service);
        QFETCH(bool, takeOver);
        QFETCH(int, lowestCode);
        QFETCH(int, highestCode);
        TClientSocket client;
        Journal log;
        watchClient(client, log, takeOver);
        client.setHost(host);
        client.setService(service);
        client.setPort(freeTcpPort());
        client.setActive(true);
        QTRY_COMPARE_WITH_TIMEOUT(log.errorKinds.size(), 1, 15000);
        QCOMPARE(log.errorKinds[0], eeLookup);
        const int code = log.errorCodes[0];
        QVERIFY2(code >= lowestCode && code <= highestCode, qPrintable(QString::number(code)));
        QVERIFY(!client.Active());
        QVERIFY(!log.events.contains("connecting"));
        QCOMPARE(client.Socket()->SocketHandle(), -1); // closed after the failed lookup
        if (takeOver) {
            QVERIFY(errorBoxes().isEmpty());
            return;
        }
        QCOMPARE(errorBoxes().size(), 1);
        const QString box = errorBoxes()[0];
        QVERIFY2(box.startsWith("Windows socket error: "), qPrintable(box));
        QVERIFY2(box.endsWith(QStringLiteral(" (%1), on API 'ASync Lookup'").arg(code)), qPrintable(box));
        QVERIFY(!box.contains(QStringLiteral(": (")));  // the resolver's own text is there
    }

    // Errors of listening that go to the code that set Active.
    void listenErrors_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("messageStart");
        QTest::addColumn<QString>("messageEnd");
        QTest::newRow("port in use") << -1 << "Windows socket error: " << " (10048), on API 'bind'";
        QTest::newRow("port 0") << 0 << "Invalid port 0" << "65535";
        QTest::newRow("port 70000") << 70000 << "Invalid port 70000" << "65535";
        QTest::newRow("port 999999") << 999999 << "Invalid port 999999" << "65535";
        QTest::newRow("negative port") << -5 << "Invalid port -5" << "65535";
    }
    void listenErrors()
    {
        QFETCH(int, port);
        QFETCH(QString, messageStart);
        QFETCH(QString, messageEnd);
        TServerSocket first;
        int busyPort = 0;
        QVERIFY(startServer(first, busyPort));
        if (port == -1)
            port = busyPort;

        TServerSocket second;
        Journal log;
        watchServer(second, log);
        second.setPort(port);
        try {
            second.setActive(true);
            QFAIL("listening did not fail");
        } catch (const ESocketError& error) {
            QVERIFY2(error.message().startsWith(messageStart), qPrintable(error.message()));
            QVERIFY2(error.message().endsWith(messageEnd), qPrintable(error.message()));
        }
        QVERIFY(!second.Active());
        QCOMPARE(second.Socket()->SocketHandle(), -1);
        QVERIFY(!log.events.contains("listen"));
        QVERIFY(first.Active()); // the listener that holds the port is untouched
    }

    void connectInvalidPort_data()
    {
        QTest::addColumn<int>("port");
        QTest::newRow("0") << 0;
        QTest::newRow("70000") << 70000;
        QTest::newRow("65536") << 65536;
    }
    void connectInvalidPort()
    {
        QFETCH(int, port);
        TClientSocket client;
        Journal log;
        watchClient(client, log, false);
        client.setHost(QStringLiteral("127.0.0.1"));
        client.setPort(port);
        try {
            client.setActive(true);
            QFAIL("connecting did not fail");
        } catch (const ESocketError& error) {
            QVERIFY2(error.message().contains(QStringLiteral("Invalid port %1").arg(port)), qPrintable(error.message()));
        }
        QCOMPARE(client.Socket()->SocketHandle(), -1);
        QTest::qWait(50); // nothing to wait for: a while in which no event and no box comes
        QVERIFY(log.events.isEmpty());
        QVERIFY(errorBoxes().isEmpty());
    }

    // Settings of an active component stay as they are; an equal value (any letter case) is no change.
    void changeWhileActive_data()
    {
        QTest::addColumn<bool>("onServer");
        QTest::addColumn<QString>("property");
        QTest::addColumn<bool>("sameValue");
        for (bool onServer : {true, false}) {
            const char* side = onServer ? "server" : "client";
            for (const char* property : {"Port", "Host", "Address", "Service"}) {
                QTest::addRow("%s %s changed", side, property) << onServer << QString::fromLatin1(property) << false;
                QTest::addRow("%s %s same", side, property) << onServer << QString::fromLatin1(property) << true;
            }
        }
    }
    void changeWhileActive()
    {
        QFETCH(bool, onServer);
        QFETCH(QString, property);
        QFETCH(bool, sameValue);
        TServerSocket server;
        int port = 0;
        QVERIFY(startServer(server, port));
        TClientSocket client;
        QVERIFY(connectClient(client, server, port));
        TAbstractSocket& socket = onServer ? static_cast<TAbstractSocket&>(server) : client;

        const QString host = socket.Host();
        auto change = [&] {
            if (property == "Port")
                socket.setPort(sameValue ? socket.Port() : socket.Port() + 1);
            else if (property == "Host")
                socket.setHost(sameValue ? socket.Host().toUpper() : QStringLiteral("elsewhere"));
            else if (property == "Address")
                socket.setAddress(sameValue ? socket.Address() : QStringLiteral("10.0.0.1"));
            else
                socket.setService(sameValue ? socket.Service() : QStringLiteral("http"));
        };
        if (sameValue) {
            change();
        } else {
            try {
                change();
                QFAIL("no exception");
            } catch (const ESocketError& error) {
                QCOMPARE(error.message(), QStringLiteral("Can't change value while socket is active"));
            }
        }
        QCOMPARE(socket.Port(), port);
        QCOMPARE(socket.Host(), host);
        QVERIFY(socket.Address().isEmpty());
        QVERIFY(socket.Service().isEmpty());
        QVERIFY(socket.Active());
    }

    // However the peer ends, what it sent is read, its connection leaves the list, no box appears
    // and no empty read is reported.
    void peerEnds_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<bool>("reset");
        QTest::newRow("close without data") << QByteArray() << false;
        QTest::newRow("data then close") << QByteArray("xyz") << false;
        QTest::newRow("reset without data") << QByteArray() << true;
        QTest::newRow("data then reset") << QByteArray("abc\xcf") << true;
    }
    void peerEnds()
    {
        QFETCH(QByteArray, payload);
        QFETCH(bool, reset);
        TServerSocket server;
        Journal log;
        watchServer(server, log);
        QStringList addresses;
        server.OnClientRead = [&](QObject* sender, TCustomWinSocket* socket) {
            QCOMPARE(sender, server.Socket());
            log.events << "read";
            log.reads << socket->ReadText();
            addresses << socket->PeerAddress();
        };
        int port = 0;
        QVERIFY(startServer(server, port));

        RawPeer peer;
        QVERIFY(peer.connectTo(port));
        // Sent, the data is in the program's socket before the end arrives.
        if (!payload.isEmpty())
            QVERIFY(peer.send(payload));
        if (reset)
            peer.reset();
        else
            peer.close();

        QTRY_VERIFY(log.events.contains("client disconnect"));
        QTRY_COMPARE(server.Socket()->ConnectionCount(), 0);
        const QStringList expectedReads =
            payload.isEmpty() ? QStringList{} : QStringList{platform::fromCp1251(payload)};
        QCOMPARE(log.reads, expectedReads);
        if (!payload.isEmpty())
            QCOMPARE(addresses, QStringList{"127.0.0.1"});
        QVERIFY(log.errorKinds.isEmpty());
        QTest::qWait(50); // nothing to wait for: a while in which no box comes
        QVERIFY(errorBoxes().isEmpty());
        QVERIFY(server.Active());
    }

    // A reader that takes at most a few bytes per event still gets everything before the close.
    void boundedReader()
    {
        TServerSocket server;
        QByteArray received;
        int readEvents = 0;
        bool disconnected = false;
        quint64 counted = 0;
        server.OnClientRead = [&](QObject*, TCustomWinSocket* socket) {
            ++readEvents;
            char buffer[4];
            const int n = socket->ReadBuffer(buffer, sizeof buffer);
            if (n > 0)
                received.append(buffer, n);
            counted = socket->BytesReceived();
        };
        server.OnClientDisconnect = [&](QObject*, TCustomWinSocket*) { disconnected = true; };
        int port = 0;
        QVERIFY(startServer(server, port));

        RawPeer peer;
        QVERIFY(peer.connectTo(port));
        QVERIFY(peer.send("0123456789"));
        peer.close();
        QTRY_VERIFY(disconnected);
        QCOMPARE(received, QByteArray("0123456789"));
        QCOMPARE(counted, quint64(10));
        QCOMPARE(readEvents, 3);
        QTRY_COMPARE(server.Socket()->ConnectionCount(), 0);
    }

    // A handler that leaves the data unread gets no further read events, but the end of the
    // connection still arrives.
    void unreadData()
    {
        TServerSocket server;
        int readEvents = 0;
        bool disconnected = false;
        server.OnClientRead = [&](QObject*, TCustomWinSocket*) { ++readEvents; };
        server.OnClientDisconnect = [&](QObject*, TCustomWinSocket*) { disconnected = true; };
        int port = 0;
        QVERIFY(startServer(server, port));
        RawPeer peer;
        QVERIFY(peer.connectTo(port));
        QVERIFY(peer.send("unread"));
        QTRY_COMPARE(readEvents, 1);
        QVERIFY(peer.send("more"));
        QTest::qWait(50); // nothing to wait for: a while in which no further read event comes
        QCOMPARE(readEvents, 1);
        QVERIFY(!disconnected);
        peer.close();
        QTRY_VERIFY(disconnected);
        QCOMPARE(readEvents, 1);
        QTRY_COMPARE(server.Socket()->ConnectionCount(), 0);
    }

    // Data and the peer's close both waiting when the loop next runs: the data is read first.
    void dataBeforeTheCloseQueuedWithIt()
    {
        TServerSocket server;
        Journal journal;
        watchServer(server, journal);
        int port = 0;
        QVERIFY(startServer(server, port));
        RawPeer peer;
        QVERIFY(peer.connectTo(port));
        QTRY_COMPARE(server.Socket()->ConnectionCount(), 1);
        const int fd = server.Socket()->Connection(0)->SocketHandle();
        QVERIFY(peer.send("last words"));
        peer.close();
        pollfd state{fd, POLLRDHUP, 0};
        QCOMPARE(::poll(&state, 1, 3000), 1);

        QTRY_VERIFY(journal.events.contains(QStringLiteral("client disconnect")));
        QCOMPARE(journal.reads, QStringList{QStringLiteral("last words")});
        QVERIFY(journal.events.indexOf(QStringLiteral("read")) < journal.events.indexOf(QStringLiteral("client disconnect")));
    }

    // No computer holds the listener: beyond its share a connection is closed at once, unread;
    // at the total the address holding the most gives up the connection it has held longest
    // (what it sent is read first), so the newcomer gets in.
    void connectionBounds_data()
    {
        QTest::addColumn<QList<int>>("held");  // last byte of each held connection's address, in order
        QTest::addColumn<int>("newcomer");
        QTest::addColumn<int>("evicted");      // index into held; -1: the newcomer is refused
        QTest::newRow("over its share") << QList<int>{2, 2} << 2 << -1;
        QTest::newRow("full: the oldest of the address holding most") << QList<int>{3, 2, 2} << 4 << 1;
        QTest::newRow("full: of two holding most, the longer held") << QList<int>{4, 2, 2, 3, 3} << 5 << 1;
        QTest::newRow("full: the newcomer's own address holds most") << QList<int>{2, 3, 2} << 2 << 0;
    }
    void connectionBounds()
    {
        QFETCH(QList<int>, held);
        QFETCH(int, newcomer);
        QFETCH(int, evicted);
        TServerSocket server;
        Journal journal;
        watchServer(server, journal);
        const int perPeer = evicted < 0 ? 2 : 3;
        server.Socket()->SetConnectionLimits(perPeer, evicted < 0 ? 0 : int(held.size()), 0);
        int port = 0;
        QVERIFY(startServer(server, port));

        std::vector<std::unique_ptr<RawPeer>> peers;
        for (int i = 0; i < held.size(); ++i) {
            peers.push_back(std::make_unique<RawPeer>());
            QVERIFY(peers.back()->connectTo(port, qPrintable(QStringLiteral("127.0.0.%1").arg(held[i]))));
            QTRY_COMPARE(server.Socket()->ConnectionCount(), i + 1);
        }
        // Sent but not yet read when the newcomer arrives: the layer still takes it.
        if (evicted >= 0)
            peers[evicted]->send(QByteArray("last words"));
        RawPeer late;
        QVERIFY(late.connectTo(port, qPrintable(QStringLiteral("127.0.0.%1").arg(newcomer))));
        late.send("newcomer"); // the listener may have shut it already
        if (evicted < 0) {
            QTRY_VERIFY(late.ended());
            QCOMPARE(server.Socket()->ConnectionCount(), int(held.size()));
            QVERIFY(journal.reads.isEmpty());
            return;
        }
        QTRY_VERIFY(peers[evicted]->ended());
        QTRY_COMPARE(journal.reads, (QStringList{QStringLiteral("last words"), QStringLiteral("newcomer")}));
        QVERIFY(!late.ended());
        for (int i = 0; i < held.size(); ++i)
            QVERIFY(i == evicted || !peers[i]->ended());
        QTRY_COMPARE(server.Socket()->ConnectionCount(), int(held.size()));
        QVERIFY(errorBoxes().isEmpty());
    }

    // However it drips, a connection ends at its deadline, and what it sent by then is read.
    void connectionLifeBounded()
    {
        TServerSocket server;
        Journal journal;
        watchServer(server, journal);
        server.Socket()->SetConnectionLimits(0, 0, 400, 1000);
        int port = 0;
        QVERIFY(startServer(server, port));
        RawPeer drip, brief;
        QVERIFY(drip.connectTo(port));
        QElapsedTimer since;
        since.start();
        QVERIFY(brief.connectTo(port));
        brief.send("brief");
        brief.close();
        while (!drip.ended() && since.elapsed() < 5000) {
            drip.send(".");
            QTest::qWait(100);
        }
        QVERIFY(drip.ended());
        QVERIFY2(since.elapsed() >= 1000, qPrintable(QString::number(since.elapsed())));
        QTRY_COMPARE(server.Socket()->ConnectionCount(), 0);
        QVERIFY(journal.reads.contains(QStringLiteral("brief")));
        QVERIFY(journal.reads.join(QString()).count(QLatin1Char('.')) >= 5);
        QVERIFY(errorBoxes().isEmpty());
    }

    void idleConnectionsClosed()
    {
        TServerSocket server;
        Journal journal;
        watchServer(server, journal);
        server.Socket()->SetConnectionLimits(0, 0, 500);
        int port = 0;
        QVERIFY(startServer(server, port));
        RawPeer idle, busy;
        QVERIFY(idle.connectTo(port));
        QVERIFY(busy.connectTo(port));
        QTRY_COMPARE(server.Socket()->ConnectionCount(), 2);
        // The pace is the point: one byte every 100 ms for three times the idle limit.
        for (int i = 0; i < 15; ++i) {
            QVERIFY(busy.send("."));
            QTest::qWait(100);
        }
        QVERIFY(idle.ended());
        QCOMPARE(server.Socket()->ConnectionCount(), 1);
        QVERIFY(!busy.ended());
        QCOMPARE(journal.reads.join(QString()).size(), 15);
        QVERIFY(errorBoxes().isEmpty());
    }

    // Data waiting unread (its handler has not taken it yet) is activity: the sweep leaves the
    // connection and its message alone, and closes it once the data is read and nothing follows.
    void unreadDataIsActivity()
    {
        TServerSocket server;
        TCustomWinSocket* waiting = nullptr;
        server.OnClientRead = [&](QObject*, TCustomWinSocket* socket) { waiting = socket; };
        server.Socket()->SetConnectionLimits(0, 0, 300);
        int port = 0;
        QVERIFY(startServer(server, port));
        RawPeer peer;
        QVERIFY(peer.connectTo(port));
        peer.send("unread");
        QTRY_VERIFY(waiting);
        QTest::qWait(1000); // more than three idle times, a sweep every 50 ms
        QVERIFY(!peer.ended());
        QCOMPARE(waiting->ReadText(), QStringLiteral("unread"));
        QTRY_VERIFY(peer.ended());
    }

    // Out of descriptors, the listener neither spins nor stays stuck: a process allowed 40
    // descriptors is offered 60 connections; it sheds what it cannot take, sleeps, and takes a
    // message again once the holder lets go.
    void outOfDescriptors()
    {
        QProcess child;
        const int port = freeTcpPort();
        child.start(QCoreApplication::applicationDirPath() + QStringLiteral("/pv_listener_child"),
                    {QString::number(port), QStringLiteral("40")});
        QVERIFY(child.waitForReadyRead(5000));
        QCOMPARE(child.readLine().trimmed(), QByteArray("listening"));
        const auto stats = [&child] {
            child.write("stats\n");
            QByteArray line;
            for (int i = 0; i < 50 && !line.startsWith("stats"); ++i) {
                if (!child.canReadLine())
                    child.waitForReadyRead(100);
                if (child.canReadLine())
                    line = child.readLine().trimmed();
            }
            return line.split(' ');
        };
        const int fdsBefore = stats().value(3).toInt();
        QVERIFY(fdsBefore > 0);

        std::vector<std::unique_ptr<RawPeer>> holder;
        for (int i = 0; i < 60; ++i) {
            holder.push_back(std::make_unique<RawPeer>());
            QVERIFY(holder.back()->connectTo(port, "127.0.0.2", false));
            // One at a time, so the short listen queue never drops the handshake.
            pollfd state{holder.back()->fd(), POLLOUT, 0};
            ::poll(&state, 1, 200);
        }
        QTRY_VERIFY(stats().value(2).toInt() >= 25);
        stats();
        QTest::qWait(1000); // the wake-ups of one second are counted
        const QList<QByteArray> busy = stats();
        QVERIFY2(busy.value(1).toInt() < 200, busy.join(' ').constData());
        QVERIFY(busy.value(2).toInt() < 40);
        // What it cannot take it closes at once, rather than leave the peers waiting unanswered.
        QVERIFY(std::any_of(holder.begin(), holder.end(), [](const auto& peer) { return peer->ended(); }));

        holder.clear();
        QTRY_COMPARE(stats().value(2).toInt(), 0);
        RawPeer other;
        QVERIFY(other.connectTo(port, "127.0.0.3"));
        QVERIFY(other.send("after the flood"));
        QByteArray heard;
        QTRY_VERIFY((heard += child.readAll()).contains("read after the flood"));
        QVERIFY(stats().value(3).toInt() <= fdsBefore + 1);
        child.closeWriteChannel();
        QVERIFY(child.waitForFinished(5000));
    }

    void peerNames()
    {
        TServerSocket server;
        QString address;
        QString name;
        server.OnClientRead = [&](QObject*, TCustomWinSocket* socket) {
            socket->ReadText();
            address = socket->PeerAddress();
            name = socket->PeerHostName();
        };
        int port = 0;
        QVERIFY(startServer(server, port));
        RawPeer peer;
        QVERIFY(peer.connectTo(port));
        fake_->names.setName(QStringLiteral("127.0.0.1"), QStringLiteral("peer-one"));
        QVERIFY(peer.send("x"));
        QTRY_VERIFY(!address.isEmpty());
        QCOMPARE(address, QStringLiteral("127.0.0.1"));
        QCOMPARE(name, QStringLiteral("peer-one"));

        // A closed connection has neither.
        TClientSocket idle;
        QVERIFY(idle.Socket()->PeerAddress().isEmpty());
        QVERIFY(idle.Socket()->PeerHostName().isEmpty());
    }

    // Stopping the server closes its open connections without their events, and it can
    // listen again on the same port at once.
    void serverStop()
    {
        TServerSocket server;
        Journal log;
        watchServer(server, log);
        int port = 0;
        QVERIFY(startServer(server, port));
        RawPeer first;
        RawPeer second;
        QVERIFY(first.connectTo(port));
        QVERIFY(second.connectTo(port));
        QTRY_COMPARE(server.Socket()->ConnectionCount(), 2);

        server.setActive(false);
        QVERIFY(!server.Active());
        QCOMPARE(server.Socket()->ConnectionCount(), 0);
        QCOMPARE(log.events.last(), QStringLiteral("stop"));
        QVERIFY(!log.events.contains("client disconnect"));
        QVERIFY(first.readToEnd());
        QVERIFY(second.readToEnd());

        server.setActive(true);
        QVERIFY(server.Active());
        RawPeer third;
        QVERIFY(third.connectTo(port));
        QTRY_COMPARE(server.Socket()->ConnectionCount(), 1);
        QVERIFY(errorBoxes().isEmpty());
    }

    // A lookup still pending when the attempt is given up never comes back.
    void abandonedLookup_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("deactivated") << "deactivate";
        QTest::newRow("closed") << "close";
        QTest::newRow("destroyed") << "destroy";
        QTest::newRow("opened again") << "reopen";
    }
    void abandonedLookup()
    {
        QFETCH(QString, how);
        TServerSocket server;
        int port = 0;
        QVERIFY(startServer(server, port));
        net::setLookupDelay(150);

        Journal log;
        auto client = std::make_unique<TClientSocket>();
        watchClient(*client, log, false);
        client->setHost(QStringLiteral("localhost"));
        client->setPort(port);
        client->setActive(true);
        QCOMPARE(client->Socket()->LookupState(), lsLookupAddress);
        QCOMPARE(log.events, QStringList{"lookup"});
        if (how == "deactivate")
            client->setActive(false);
        else if (how == "close")
            client->Socket()->Close();
        else if (how == "destroy")
            client.reset();
        else
            client->setActive(true);
        if (client)
            QCOMPARE(client->Socket()->LookupState(), how == "reopen" ? lsLookupAddress : lsIdle);

        QTest::qWait(400); // past the lookup's 150 ms: nothing to wait for where it was cancelled
        if (how == "reopen") {
            // Only the new attempt connects.
            QTRY_VERIFY(client->Active());
            QCOMPARE(log.events.count("connect"), 1);
            QCOMPARE(server.Socket()->ConnectionCount(), 1);
        } else {
            QVERIFY(!log.events.contains("connecting"));
            QVERIFY(!log.events.contains("connect"));
            QVERIFY(!log.events.contains("error"));
            QCOMPARE(server.Socket()->ConnectionCount(), 0);
        }
        QVERIFY(errorBoxes().isEmpty());
    }

    // Handlers may close or destroy what reported to them.
    void handlersThatEndThings_data()
    {
        QTest::addColumn<QString>("action");
        QTest::newRow("read handler closes its connection") << "close connection";
        QTest::newRow("read handler stops the server") << "stop server";
        QTest::newRow("read handler destroys the server") << "destroy server";
        QTest::newRow("connect handler destroys the client") << "destroy client";
        QTest::newRow("disconnect handler stops the server") << "stop on disconnect";
    }
    void handlersThatEndThings()
    {
        QFETCH(QString, action);
        auto server = std::make_unique<TServerSocket>();
        int port = 0;
        QVERIFY(startServer(*server, port));
        bool handled = false;
        bool disconnected = false;
        server->OnClientDisconnect = [&](QObject*, TCustomWinSocket*) {
            disconnected = true;
            if (action == "stop on disconnect") {
                server->setActive(false);
                handled = true;
            }
        };
        server->OnClientRead = [&](QObject*, TCustomWinSocket* socket) {
            socket->ReadText();
            if (action == "close connection")
                socket->Close();
            else if (action == "stop server")
                server->setActive(false);
            else if (action == "destroy server")
                server.reset();
            else
                return;
            handled = true;
        };
        auto client = std::make_unique<TClientSocket>();
        client->OnConnect = [&](QObject*, TCustomWinSocket* socket) {
            socket->WriteText(QStringLiteral("bye"));
            if (action == "destroy client") {
                client.reset();
                handled = true;
            } else if (action == "stop on disconnect") {
                socket->Close();
            }
        };
        client->setHost(QStringLiteral("127.0.0.1"));
        client->setPort(port);
        client->setActive(true);
        QTRY_VERIFY(handled);
        QTest::qWait(50); // nothing to wait for: the notices still queued for what is gone are handled
        if (action == "close connection") {
            QVERIFY(disconnected);
            QTRY_COMPARE(server->Socket()->ConnectionCount(), 0);
            QVERIFY(server->Active());
        } else if (action == "stop server" || action == "stop on disconnect") {
            QVERIFY(!server->Active());
            QCOMPARE(server->Socket()->ConnectionCount(), 0);
        } else if (action == "destroy client") {
            QTRY_VERIFY(disconnected);
            QTRY_COMPARE(server->Socket()->ConnectionCount(), 0);
        }
        QVERIFY(errorBoxes().isEmpty());
    }

    // Writing to a peer that has gone never kills the process. On an accepted connection it
    // only ends the connection; on a client it is a send error.
    void writeToGonePeer()
    {
        TServerSocket server;
        Journal log;
        watchServer(server, log);
        int port = 0;
        QVERIFY(startServer(server, port));
        RawPeer peer;
        QVERIFY(peer.connectTo(port));
        QTRY_COMPARE(server.Socket()->ConnectionCount(), 1);
        QPointer<TServerClientWinSocket> connection = server.Socket()->Connection(0);
        peer.close();
        // The peer's end arrives, unseen by the event loop.
        pollfd arrived{connection->SocketHandle(), POLLRDHUP, 0};
        QCOMPARE(::poll(&arrived, 1, 3000), 1);
        QVERIFY(connection);
        int last = 0;
        for (int i = 0; i < 3; ++i)
            last = connection->WriteText(QStringLiteral("late"));
        QCOMPARE(last, 0); // closed by the failed send
        QVERIFY(log.events.contains("client disconnect"));
        QTRY_COMPARE(server.Socket()->ConnectionCount(), 0);
        QVERIFY(log.errorKinds.isEmpty());
        QVERIFY(errorBoxes().isEmpty());
    }

    void clientSendError_data()
    {
        QTest::addColumn<bool>("takeOver");
        QTest::newRow("left to the layer") << false;
        QTest::newRow("taken over") << true;
    }
    void clientSendError()
    {
        QFETCH(bool, takeOver);
        const int port = freeTcpPort();
        RawPeer listener;
        QVERIFY(listener.listen(port));
        TClientSocket client;
        Journal log;
        watchClient(client, log, takeOver);
        client.setHost(QStringLiteral("127.0.0.1"));
        client.setPort(port);
        client.setActive(true);
        QTRY_VERIFY(client.Active());
        RawPeer accepted;
        QVERIFY(listener.accept(accepted));
        accepted.reset();
        // The loop does not run: the reset, once it is there, is met by the send below.
        pollfd arrived{client.Socket()->SocketHandle(), POLLIN, 0};
        QCOMPARE(::poll(&arrived, 1, 3000), 1);
        bool raised = false;
        try {
            QCOMPARE(client.Socket()->WriteText(QStringLiteral("x")), -1);
        } catch (const ESocketError& error) {
            raised = true;
            QVERIFY2(error.message().endsWith(QStringLiteral("(10054), on API 'send'")), qPrintable(error.message()));
        }
        QCOMPARE(raised, !takeOver);
        QCOMPARE(log.errorKinds, QList<TErrorEvent>{eeSend});
        QCOMPARE(log.errorCodes, QList<int>{10054});
        QVERIFY(!client.Active());
        QCOMPARE(log.events.last(), QStringLiteral("disconnect"));
        QTest::qWait(50); // nothing to wait for: a stale close notice of the old socket reports nothing
        QVERIFY(errorBoxes().isEmpty());
    }

    // A client whose server goes away hears a disconnect and becomes inactive.
    void serverCloses()
    {
        const int port = freeTcpPort();
        RawPeer listener;
        QVERIFY(listener.listen(port));
        TClientSocket client;
        Journal log;
        watchClient(client, log, false);
        QStringList reads;
        client.OnRead = [&](QObject*, TCustomWinSocket* socket) { reads << socket->ReadText(); };
        client.setHost(QStringLiteral("127.0.0.1"));
        client.setPort(port);
        client.setActive(true);
        QTRY_VERIFY(client.Active());
        RawPeer accepted;
        QVERIFY(listener.accept(accepted));
        QVERIFY(accepted.send("welcome"));
        accepted.close();
        QTRY_VERIFY(!client.Active());
        QCOMPARE(reads, QStringList{"welcome"});
        QCOMPARE(log.events, (QStringList{"lookup", "connecting", "connect", "disconnect"}));
        QVERIFY(errorBoxes().isEmpty());
    }

    void noAddress_data()
    {
        QTest::addColumn<bool>("takeOver");
        QTest::newRow("left to the layer") << false;
        QTest::newRow("taken over") << true;
    }
    void noAddress()
    {
        QFETCH(bool, takeOver);
        TClientSocket client;
        Journal log;
        watchClient(client, log, takeOver);
        client.setPort(freeTcpPort());
        bool raised = false;
        try {
            client.setActive(true);
        } catch (const ESocketError& error) {
            raised = true;
            QCOMPARE(error.message(), QStringLiteral("No address specified"));
        }
        QCOMPARE(raised, !takeOver);
        QCOMPARE(log.errorKinds, QList<TErrorEvent>{eeLookup});
        QCOMPARE(log.errorCodes, QList<int>{1110});
        QCOMPARE(client.Socket()->SocketHandle(), -1);
    }
};

QTEST_MAIN(NetTest)
#include "net_test.moc"
