// How matrix-ctl reads its replies in a shared rack: other clients' maps in the
// stream, answers lost to a paced line, noise glued to a reply, many calls at
// once and serial calls in a row. The real executable against small devices on
// loopback and the simulator (TCP and its pty).

#include "commands/builders.h"
#include "sim/simserver.h"

#include <QtNetwork>
#include <QtTest>

#include <functional>

using commands::queryCommand;
using commands::refreshCommand;
using commands::switchCommand;

namespace {

constexpr int callBoundMs = 20000;

// matrix-ctl beside the test while the event loop turns; stdout collected as it comes.
struct Ctl : QProcess
{
    explicit Ctl(const QStringList &arguments)
    {
        connect(this, &QProcess::readyReadStandardOutput,
                [this] { out += readAllStandardOutput(); });
        start(QStringLiteral(MATRIX_CTL_EXECUTABLE), arguments);
    }
    bool finished()
    {
        const bool ended
            = QTest::qWaitFor([&] { return state() == QProcess::NotRunning; }, callBoundMs);
        out += readAllStandardOutput();
        err = QString::fromUtf8(readAllStandardError());
        return ended && exitStatus() == QProcess::NormalExit;
    }
    QByteArray out;
    QString err;
};

// A 16 x 16 matrix on 127.0.0.1 that keeps a routing state and answers "*?!"
// with its information and "*!" or a switch it takes with its map, each as one
// write; what it does besides is its fault.
class FakeMatrix : public QTcpServer
{
public:
    enum Fault {
        None,
        MapBeforeAnswer, // an unasked map right in front of every answer, in the same write
        OtherClient, // another client switches output 16 before each command; its map comes first
        NoiseBehind, // stray bytes glued behind every answer
        Paced, // answers 120 ms apart, at most two waiting (a third pushes the oldest out)
        NoMaps, // answers "*?!" only
    };

    explicit FakeMatrix(Fault fault)
        : m_fault(fault)
    {
        connect(this, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *client = nextPendingConnection())
                connect(client, &QTcpSocket::readyRead, [this, client] { read(client); });
        });
        m_pace.setInterval(120);
        connect(&m_pace, &QTimer::timeout, [this] {
            if (m_waiting.isEmpty() || !m_client)
                return m_pace.stop();
            m_client->write(m_waiting.takeFirst());
        });
        listen(QHostAddress::LocalHost, 0);
    }
    QStringList link() const { return {"--tcp", "127.0.0.1:" + QString::number(serverPort())}; }

    QVector<int> routes = QVector<int>(16, 1);
    QList<QByteArray> commands;

private:
    QByteArray map() const
    {
        QByteArray bytes = "A:";
        for (const int input : routes)
            bytes += QByteArray::number(input).rightJustified(2, '0');
        return bytes;
    }
    void read(QTcpSocket *client)
    {
        m_held += client->readAll();
        for (int end; (end = m_held.indexOf('!')) >= 0;) {
            const QByteArray command = m_held.left(end + 1);
            m_held.remove(0, end + 1);
            commands << command;
            answer(client, command);
        }
    }
    void answer(QTcpSocket *client, const QByteArray &command)
    {
        QByteArray before;
        if (m_fault == OtherClient) {
            routes[15] = routes[15] % 16 + 1;
            before = map();
        }
        QByteArray reply;
        if (command == refreshCommand()) {
            reply = QByteArray("A:\x04HDMIx16-16-FAKE", 18);
        } else if (m_fault != NoMaps && command == queryCommand()) {
            reply = map();
        } else if (m_fault != NoMaps && command.startsWith('*') && command.contains('<')) {
            const int output = command.mid(1, command.indexOf('<') - 1).toInt();
            const int input = command.mid(command.indexOf('<') + 1).chopped(1).toInt();
            if (output < 1 || output > 16 || input < 1 || input > 16)
                return; // refused: no answer
            routes[output - 1] = input;
            reply = map();
        }
        if (m_fault == MapBeforeAnswer && !reply.isEmpty())
            before = map();
        if (m_fault == NoiseBehind && !reply.isEmpty())
            reply += "\x01\x7fnoise";
        if (!before.isEmpty() && m_fault == OtherClient)
            client->write(before); // a write of its own, as from another connection
        else
            reply.prepend(before);
        if (reply.isEmpty())
            return;
        if (m_fault != Paced)
            return void(client->write(reply));
        m_client = client;
        if (m_waiting.size() == 2)
            m_waiting.removeFirst();
        m_waiting << reply;
        if (!m_pace.isActive())
            m_pace.start();
    }

    Fault m_fault;
    QByteArray m_held;
    QTimer m_pace;
    QList<QByteArray> m_waiting;
    QPointer<QTcpSocket> m_client;
};

} // namespace

class TestCtlReader : public QObject
{
    Q_OBJECT

private slots:
    // One call against a device that misbehaves as the row says. "question asked again": the
    // device got "*!" more often than matrix-ctl sends it unasked.
    void unaskedReplies_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("call");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("shown"); // on stdout, or on stderr when the call fails
        QTest::addColumn<int>("queries"); // "*!" the device got; -1: any number

        using F = FakeMatrix;
        QTest::newRow("map before the information: info")
            << int(F::MapBeforeAnswer) << "info" << 0 << "outputs 16" << 1;
        QTest::newRow("map before the information: routes")
            << int(F::MapBeforeAnswer) << "routes" << 0 << "output 16 \u2190 input 1" << 1;
        QTest::newRow("map before the information: route")
            << int(F::MapBeforeAnswer) << "route 5 9" << 0 << "output 5 \u2190 input 9" << 0;
        QTest::newRow("another client's maps: info")
            << int(F::OtherClient) << "info" << 0 << "inputs  16" << 1;
        QTest::newRow("another client's maps: route")
            << int(F::OtherClient) << "route 5 9 6 10" << 0 << "output 6 \u2190 input 10" << -1;
        QTest::newRow("noise glued behind: info keeps its counts")
            << int(F::NoiseBehind) << "info" << 0 << "outputs 16" << 1;
        QTest::newRow("noise glued behind: route")
            << int(F::NoiseBehind) << "route 5 9" << 0 << "output 5 \u2190 input 9" << 0;
        QTest::newRow("paced, the first answer pushed out: the map before the information counts")
            << int(F::Paced) << "route 5 9" << 0 << "output 5 \u2190 input 9" << 0;
        QTest::newRow("paced, one refused: the map asked for after silence judges")
            << int(F::Paced) << "route 5 9 6 17" << 1
            << "did not take 1 of 2 routes: output 6 is on input 1, not 17" << 1;
        QTest::newRow("a route refused is not taken")
            << int(F::None) << "route 5 17" << 1
            << "did not take 1 of 1 routes: output 5 is on input 1, not 17" << 1;
        QTest::newRow("no map ever: could not confirm, after asking again")
            << int(F::NoMaps) << "--timeout 600 route 5 9" << 1 << "could not confirm 1 routes"
            << -2;
    }
    void unaskedReplies()
    {
        QFETCH(int, fault);
        QFETCH(QString, call);
        QFETCH(int, exitCode);
        QFETCH(QString, shown);
        QFETCH(int, queries);

        FakeMatrix device {FakeMatrix::Fault(fault)};
        QVERIFY(device.isListening());
        Ctl run(device.link() + call.split(' '));
        QVERIFY2(run.finished(), qPrintable(run.err));
        QVERIFY2(run.exitCode() == exitCode,
                 qPrintable(QString::number(run.exitCode()) + ": " + run.err));
        const QString text = exitCode == 0 ? QString::fromUtf8(run.out) : run.err;
        QVERIFY2(text.contains(shown), qPrintable(text));
        const int asked = int(device.commands.count(queryCommand()));
        if (queries >= 0)
            QCOMPARE(asked, queries);
        else if (queries == -2)
            QVERIFY2(asked >= 2, qPrintable(QString::number(asked))); // asked, then again
    }

    // 20 calls at once against one simulator: each sees the others' switches announced in its
    // stream, and every one succeeds.
    void concurrentCalls()
    {
        SimServer server;
        SimServer::Options options;
        options.port = 0;
        server.setOptions(options);
        QVERIFY(server.listenTcp());
        const QStringList link {"--tcp", "127.0.0.1:" + QString::number(server.tcpPort())};
        std::vector<std::unique_ptr<Ctl>> calls;
        for (int i = 0; i < 20; ++i) {
            const QString n = QString::number(i / 2 + 1);
            calls.push_back(std::make_unique<Ctl>(
                link + (i % 2 ? QStringList {"info"} : QStringList {"route", n, n})));
        }
        for (const auto &call : calls) {
            QVERIFY2(call->finished(), qPrintable(call->err));
            QVERIFY2(call->exitCode() == 0,
                     qPrintable(call->arguments().join(' ') + ": " + call->err));
        }
        for (int output = 1; output <= 10; ++output)
            QCOMPARE(server.device().routing().at(output - 1), output);
    }

    // Calls in a row on the simulator's pty, which paces its replies and drops the oldest when
    // questions come faster: each call starts while the last one's answers are still on the line.
    void serialCallsInARow()
    {
        SimServer server;
        SimServer::Options options;
        options.ptyReplyGapMs = 300;
        server.setOptions(options);
        QVERIFY2(server.openPty(), qPrintable(server.errorString()));
        const QStringList link {"--serial", server.ptySlavePath()};
        for (int output = 1; output <= 6; ++output) {
            Ctl route(link + QStringList {"route", QString::number(output), "9"});
            QVERIFY2(route.finished(), qPrintable(route.err));
            QVERIFY2(route.exitCode() == 0,
                     qPrintable(QString("call %1: %2").arg(output).arg(route.err)));
        }
        for (int output = 1; output <= 6; ++output)
            QCOMPARE(server.device().routing().at(output - 1), 9);
        Ctl routes(link + QStringList {"routes"});
        QVERIFY2(routes.finished() && routes.exitCode() == 0, qPrintable(routes.err));
        QVERIFY2(routes.out.contains("output 6 \u2190 input 9"), routes.out.constData());
    }
};

QTEST_GUILESS_MAIN(TestCtlReader)
#include "tst_ctlreader.moc"
