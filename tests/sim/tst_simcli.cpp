// Tests of the matrix-sim executable: its options, what it prints, and that
// it serves on loopback and cleans up on SIGINT/SIGTERM.

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

const QString kSim = QStringLiteral(MATRIX_SIM_EXECUTABLE);

// A running matrix-sim; killed if the test ends early.
class SimProcess
{
public:
    explicit SimProcess(const QStringList &args) { process.start(kSim, args); }
    ~SimProcess()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    // Waits for the line starting with prefix on stdout and returns the rest.
    QString waitForLine(const QString &prefix)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 10000) {
            out += process.readAllStandardOutput();
            for (const QByteArray &line : out.split('\n'))
                if (line.startsWith(prefix.toLatin1()) && out.contains(line + '\n'))
                    return QString::fromLocal8Bit(line.mid(prefix.size()));
            if (!process.waitForReadyRead(200) && process.state() == QProcess::NotRunning)
                break;
        }
        return QString();
    }

    quint16 tcpPort()
    {
        const QString rest = waitForLine(QStringLiteral("tcp 127.0.0.1:"));
        return static_cast<quint16>(rest.toUInt());
    }

    bool signal(int sig) { return ::kill(static_cast<pid_t>(process.processId()), sig) == 0; }

    QProcess process;
    QByteArray out;
};

// Sends bytes and collects what comes back until the expected count has
// arrived or the connection ends.
struct Exchange
{
    QByteArray received;
    QList<QByteArray> chunks;
    bool disconnected = false;
};

Exchange exchange(quint16 port, const QByteArray &send, int expectBytes, bool expectDisconnect)
{
    Exchange x;
    QTcpSocket socket;
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] {
        const QByteArray b = socket.readAll();
        x.received += b;
        x.chunks << b;
    });
    QObject::connect(&socket, &QTcpSocket::disconnected, [&] { x.disconnected = true; });
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(5000))
        return x;
    socket.write(send);
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 5000
           && (x.received.size() < expectBytes || (expectDisconnect && !x.disconnected)))
        QTest::qWait(10);
    // The socket's own close on destruction is not the server's doing.
    QObject::disconnect(&socket, nullptr, nullptr, nullptr);
    return x;
}

} // namespace

class TstSimCli : public QObject
{
    Q_OBJECT

private slots:
    void helpDocumentsTheOptions();
    void badOptionsExitWithTwo_data();
    void badOptionsExitWithTwo();
    void servesOnLoopbackAndStopsOnSigterm();
    void ptyLinkRemovedOnSigint();
    void faultOptionsReachTheServer_data();
    void faultOptionsReachTheServer();
};

void TstSimCli::helpDocumentsTheOptions()
{
    QProcess p;
    p.start(kSim, {QStringLiteral("--help")});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    const QString help = QString::fromLocal8Bit(p.readAllStandardOutput());
    for (const char *option : {"--tcp", "--no-tcp", "--pty", "--pty-link", "--inputs", "--outputs",
                               "--device", "--reply-delay", "--reply-gap", "--pty-reply-gap",
                               "--close-after", "--fragment", "--garbage", "--seed", "--quiet"})
        QVERIFY2(help.contains(QLatin1String(option)), option);
    QVERIFY(help.contains(QLatin1String("127.0.0.1:8126")));
}

void TstSimCli::badOptionsExitWithTwo_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");

    QTest::newRow("unknown option") << QStringList {"--bogus"} << "bogus";
    QTest::newRow("stray argument") << QStringList {"extra"} << "extra";
    QTest::newRow("inputs 0") << QStringList {"--inputs", "0"} << "--inputs";
    QTest::newRow("outputs 100") << QStringList {"--outputs", "100"} << "--outputs";
    QTest::newRow("device I") << QStringList {"--device", "I"} << "--device";
    QTest::newRow("tcp without port") << QStringList {"--tcp", "127.0.0.1"} << "--tcp";
    QTest::newRow("tcp port 70000") << QStringList {"--tcp", "127.0.0.1:70000"} << "--tcp";
    QTest::newRow("tcp host name") << QStringList {"--tcp", "matrix.example:8126"} << "--tcp";
    QTest::newRow("tcp IPv6 without brackets") << QStringList {"--tcp", "::1:8126"} << "--tcp";
    QTest::newRow("no-tcp without pty") << QStringList {"--no-tcp"} << "--no-tcp";
    QTest::newRow("close-after 0") << QStringList {"--close-after", "0"} << "--close-after";
    QTest::newRow("fragment without gap") << QStringList {"--fragment", "4"} << "--fragment";
    QTest::newRow("garbage mode unknown")
        << QStringList {"--garbage", "2:sometimes"} << "--garbage";
    QTest::newRow("garbage length 0") << QStringList {"--garbage", "1:before:0"} << "--garbage";
    QTest::newRow("value missing") << QStringList {"--inputs"} << "inputs";
}

void TstSimCli::badOptionsExitWithTwo()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);

    QProcess p;
    // Port 0, in case an option slips through and it starts serving.
    p.start(kSim, QStringList {"--tcp", "127.0.0.1:0"} + args);
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 2);
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    QVERIFY2(err.contains(message), qPrintable(err));
    QVERIFY(p.readAllStandardOutput().isEmpty());
}

void TstSimCli::servesOnLoopbackAndStopsOnSigterm()
{
    SimProcess sim({"--tcp", "127.0.0.1:0", "--inputs", "8", "--outputs", "4", "--device", "C"});
    const quint16 port = sim.tcpPort();
    QVERIFY(port != 0);

    const Exchange x = exchange(port, "*?!", 18, false);
    QCOMPARE(x.received, QByteArray("C:\x04HDMIx08-04-SIM0"));

    QVERIFY(sim.signal(SIGTERM));
    QVERIFY(sim.process.waitForFinished(10000));
    QCOMPARE(sim.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process.exitCode(), 0);
    const QString err = QString::fromLocal8Bit(sim.process.readAllStandardError());
    QVERIFY2(err.contains(QLatin1String("understood: *?! (device information)")), qPrintable(err));
}

void TstSimCli::ptyLinkRemovedOnSigint()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("matrix-tty"));
    SimProcess sim({"--no-tcp", "--pty-link", link});
    const QString slave = sim.waitForLine(QStringLiteral("pty "));
    QVERIFY(slave.startsWith(QLatin1String("/dev/")));
    QCOMPARE(QFileInfo(link).symLinkTarget(), slave);

    QVERIFY(sim.signal(SIGINT));
    QVERIFY(sim.process.waitForFinished(10000));
    QCOMPARE(sim.process.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

void TstSimCli::faultOptionsReachTheServer_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("send");
    QTest::addColumn<int>("bytes"); // expected total received
    QTest::addColumn<bool>("disconnected");
    QTest::addColumn<int>("largestChunk");
    QTest::addColumn<bool>("colonAllowed");

    QTest::newRow("close after one command")
        << QStringList {"--close-after", "1"} << QByteArray("*?!*?!") << 18 << true << 18 << true;
    QTest::newRow("garbage instead of the reply") << QStringList {"--garbage", "1:instead:4"}
                                                  << QByteArray("*?!") << 4 << false << 4 << false;
    QTest::newRow("fragments of 3 bytes")
        << QStringList {"--fragment", "3:30"} << QByteArray("*?!") << 18 << false << 3 << true;
}

void TstSimCli::faultOptionsReachTheServer()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, send);
    QFETCH(int, bytes);
    QFETCH(bool, disconnected);
    QFETCH(int, largestChunk);
    QFETCH(bool, colonAllowed);

    SimProcess sim(QStringList {"--tcp", "127.0.0.1:0", "--quiet"} + args);
    const quint16 port = sim.tcpPort();
    QVERIFY(port != 0);
    const Exchange x = exchange(port, send, bytes, disconnected);
    QCOMPARE(x.received.size(), bytes);
    QCOMPARE(x.disconnected, disconnected);
    for (const QByteArray &c : x.chunks)
        QVERIFY(c.size() <= largestChunk);
    if (!colonAllowed)
        QVERIFY(!x.received.contains(':'));
}

QTEST_GUILESS_MAIN(TstSimCli)
#include "tst_simcli.moc"
