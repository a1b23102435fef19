// The shared link library: how addresses are read, how SIGINT/SIGTERM reach
// the event loop, and how opening a link fails, each against loopback only.

#include "devicelink/devicesession.h"
#include "devicelink/hostport.h"
#include "devicelink/signalpipe.h"

#include <QtNetwork>
#include <QtTest>

#include <csignal>

using devicelink::DeviceSession;
using devicelink::LinkOptions;

class TestDeviceLink : public QObject
{
    Q_OBJECT

private slots:
    void hostPort_data();
    void hostPort();
    void signalPipe_data();
    void signalPipe();
    void openFailure_data();
    void openFailure();
};

void TestDeviceLink::hostPort_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("minimumPort");
    QTest::addColumn<QString>("host"); // empty: refused
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("error"); // a part of the message when refused

    QTest::newRow("host alone takes the default port")
        << "127.0.0.5" << 1 << "127.0.0.5" << 8126 << "";
    QTest::newRow("name and port") << "localhost:9000" << 1 << "localhost" << 9000 << "";
    QTest::newRow("highest port") << "127.0.0.1:65535" << 1 << "127.0.0.1" << 65535 << "";
    QTest::newRow("v6 in brackets with port") << "[::1]:8200" << 1 << "::1" << 8200 << "";
    QTest::newRow("v6 in brackets alone") << "[::1]" << 1 << "::1" << 8126 << "";
    QTest::newRow("port 0 where a server allows it")
        << "127.0.0.1:0" << 0 << "127.0.0.1" << 0 << "";
    QTest::newRow("port 0 for a client") << "127.0.0.1:0" << 1 << "" << 0 << "from 1 to 65535";
    QTest::newRow("port too high") << "127.0.0.1:65536" << 1 << "" << 0 << "'65536' is not a port";
    QTest::newRow("port with sign") << "127.0.0.1:+80" << 1 << "" << 0 << "'+80' is not a port";
    QTest::newRow("port with blank") << "127.0.0.1: 80" << 1 << "" << 0 << "is not a port";
    QTest::newRow("empty port") << "127.0.0.1:" << 1 << "" << 0 << "'' is not a port";
    QTest::newRow("long zero-padded port") << "127.0.0.1:000080" << 1 << "" << 0 << "is not a port";
    QTest::newRow("host missing") << ":8126" << 1 << "" << 0 << "the host is missing";
    QTest::newRow("empty brackets") << "[]:8126" << 1 << "" << 0 << "the host is missing";
    QTest::newRow("bare v6") << "::1" << 1 << "" << 0 << "in brackets";
    QTest::newRow("unclosed bracket") << "[::1:8126" << 1 << "" << 0 << "expected [ADDRESS]:PORT";
    QTest::newRow("junk after bracket") << "[::1]8126" << 1 << "" << 0 << "expected [ADDRESS]:PORT";
}

void TestDeviceLink::hostPort()
{
    QFETCH(QString, text);
    QFETCH(int, minimumPort);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(QString, error);

    QString message;
    const auto parsed = devicelink::parseHostPort(text, 8126, &message, quint16(minimumPort));
    if (host.isEmpty()) {
        QVERIFY2(!parsed, qPrintable(text + " was accepted"));
        QVERIFY2(message.contains(error), qPrintable(message));
        return;
    }
    QVERIFY2(parsed, qPrintable(message));
    QCOMPARE(parsed->host, host);
    QCOMPARE(int(parsed->port), port);
    // What is shown is read back the same.
    const auto again = devicelink::parseHostPort(devicelink::joinHostPort(host, quint16(port)),
                                                 8126, &message, 0);
    QVERIFY(again);
    QCOMPARE(again->host, host);
    QCOMPARE(int(again->port), port);
}

void TestDeviceLink::signalPipe_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("interrupt") << SIGINT;
    QTest::newRow("terminate") << SIGTERM;
}

void TestDeviceLink::signalPipe()
{
    QFETCH(int, signalNumber);
    devicelink::SignalPipe pipe;
    QVERIFY(pipe.isValid());
    QSignalSpy spy(&pipe, &devicelink::SignalPipe::received);
    ::raise(signalNumber);
    QVERIFY2(spy.wait(5000), "the signal never reached the event loop");
    QCOMPARE(spy.takeFirst().at(0).toInt(), signalNumber);
    // A second pipe while the first lives would steal its signals.
    devicelink::SignalPipe second;
    QVERIFY(!second.isValid());
}

void TestDeviceLink::openFailure_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("message");

    QTest::newRow("tcp port nobody listens on")
        << int(LinkOptions::Tcp) << "cannot connect to 127.0.0.1:";
    QTest::newRow("serial line that does not exist")
        << int(LinkOptions::Serial) << "cannot open the serial line";
}

void TestDeviceLink::openFailure()
{
    QFETCH(int, kind);
    QFETCH(QString, message);

    LinkOptions options;
    options.kind = LinkOptions::Kind(kind);
    options.timeoutMs = 5000;
    if (options.kind == LinkOptions::Tcp) {
        // A port that was free a moment ago: bound, noted, released.
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        options.host = QStringLiteral("127.0.0.1");
        options.port = probe.serverPort();
        probe.close();
    } else {
        options.serialPath = QDir::temp().filePath(QStringLiteral("no-such-serial-line"));
    }

    QElapsedTimer clock;
    clock.start();
    DeviceSession session(options);
    QVERIFY(!session.open());
    QCOMPARE(session.failure(), DeviceSession::Failure::Open);
    QVERIFY2(session.error().contains(message), qPrintable(session.error()));
    // A refusal is reported when it comes, not at the end of the timeout.
    QVERIFY2(clock.elapsed() < options.timeoutMs, qPrintable(QString::number(clock.elapsed())));
}

QTEST_GUILESS_MAIN(TestDeviceLink)
#include "tst_devicelink.moc"
