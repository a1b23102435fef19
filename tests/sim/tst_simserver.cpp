// Tests of SimServer over loopback TCP and over its pseudo-terminal: one
// reply per command to the connection that asked, pacing, and the fault
// modes.

#include "sim/simserver.h"

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// What one client receives, reading by reading, with arrival times.
class Receiver : public QObject
{
public:
    explicit Receiver(QObject *parent = nullptr)
        : QObject(parent)
    {
        clock.start();
    }

    void add(const QByteArray &bytes)
    {
        if (bytes.isEmpty())
            return;
        chunks << bytes;
        times << clock.elapsed();
        all += bytes;
    }

    QList<QByteArray> chunks;
    QList<qint64> times;
    QByteArray all;
    QElapsedTimer clock;
};

class Client : public Receiver
{
public:
    explicit Client(quint16 port)
    {
        connect(&socket, &QTcpSocket::readyRead, this, [this] { add(socket.readAll()); });
        connect(&socket, &QTcpSocket::disconnected, this, [this] { disconnected = true; });
        socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    }
    bool waitConnected() { return socket.waitForConnected(5000); }
    void send(const QByteArray &bytes)
    {
        socket.write(bytes);
        socket.flush();
    }

    QTcpSocket socket;
    bool disconnected = false;
};

// The console's side of the pty: the slave opened as a plain descriptor.
class PtyEnd : public Receiver
{
public:
    explicit PtyEnd(const QString &path)
    {
        fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0)
            return;
        notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this] {
            char buffer[512];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0)
                add(QByteArray(buffer, static_cast<int>(n)));
            else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                hungUp = true;
                notifier->setEnabled(false);
            }
        });
    }
    ~PtyEnd() override { close(); }
    void close()
    {
        delete notifier;
        notifier = nullptr;
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    bool send(const QByteArray &bytes)
    {
        return ::write(fd, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
    }

    int fd = -1;
    QSocketNotifier *notifier = nullptr;
    bool hungUp = false;
};

SimServer::Options loopback()
{
    SimServer::Options o;
    o.address = QHostAddress(QHostAddress::LocalHost);
    o.port = 0;
    return o;
}

} // namespace

Q_DECLARE_METATYPE(SimServer::GarbageMode)

class TstSimServer : public QObject
{
    Q_OBJECT

private slots:
    void listensOnLoopbackByDefault();
    void clientsGetTheirOwnReplies();
    void repliesOnOneConnectionArePaced();
    void replyDelayHoldsBackTheReply();
    void closeAfterCommandsStopsTheConnection();
    void fragmentsArriveSeparately();
    void garbageModes_data();
    void garbageModes();
    void logLinePerOutcome();
    void ptyAnswersCommands();
    void ptyRepliesFallInSeparateSerialWindows();
    void ptySurvivesConsoleReopening();
    void ptySymlinkMadeAndRemoved();
    void ptySymlinkDoesNotReplaceAFile();
    void ptyCloseAfterHangsUp();
};

void TstSimServer::listensOnLoopbackByDefault()
{
    SimServer::Options o;
    QVERIFY(o.address.isLoopback());
    QCOMPARE(o.port, quint16(8126));
    // Port 0 picks a free one and reports it.
    SimServer server(loopback());
    QVERIFY2(server.listenTcp(), qPrintable(server.errorString()));
    QVERIFY(server.tcpPort() != 0);
    QVERIFY(server.tcpAddress().isLoopback());
}

void TstSimServer::clientsGetTheirOwnReplies()
{
    SimServer server(loopback());
    QVERIFY(server.listenTcp());
    Client a(server.tcpPort());
    Client b(server.tcpPort());
    QVERIFY(a.waitConnected());
    QVERIFY(b.waitConnected());
    QTRY_COMPARE(server.tcpClientCount(), 2);

    // Each client sends half a command first: the halves must not meet.
    a.send("*?");
    b.send("*3<");
    b.send("12!");
    a.send("!");
    QTRY_COMPARE(a.all, server.device().infoReply());
    QTRY_COMPARE(b.all.size(), 2 + 2 * 16);
    QCOMPARE(b.all.mid(2 + 4, 2), QByteArray("12"));

    // The state is shared: a sees b's switch.
    a.all.clear();
    a.send("*!");
    QTRY_COMPARE(a.all, b.all);
    QCOMPARE(a.chunks.size(), 2); // nothing else arrived at a
}

void TstSimServer::repliesOnOneConnectionArePaced()
{
    SimServer::Options o = loopback();
    o.tcpReplyGapMs = 150;
    SimServer server(o);
    QVERIFY(server.listenTcp());
    Client c(server.tcpPort());
    QVERIFY(c.waitConnected());

    c.send("*?!*!*?!");
    QTRY_COMPARE(c.chunks.size(), 3);
    const QByteArray info = server.device().infoReply();
    const QByteArray map = server.device().routingMapReply();
    QCOMPARE(c.chunks, (QList<QByteArray> {info, map, info}));
    // Small allowance for the receiving side being woken late once.
    QVERIFY2(c.times[1] - c.times[0] >= 130, qPrintable(QString::number(c.times[1] - c.times[0])));
    QVERIFY2(c.times[2] - c.times[1] >= 130, qPrintable(QString::number(c.times[2] - c.times[1])));
}

void TstSimServer::replyDelayHoldsBackTheReply()
{
    SimServer::Options o = loopback();
    o.replyDelayMs = 250;
    SimServer server(o);
    QVERIFY(server.listenTcp());
    Client c(server.tcpPort());
    QVERIFY(c.waitConnected());

    const qint64 sent = c.clock.elapsed();
    c.send("*?!");
    QTRY_COMPARE(c.all, server.device().infoReply());
    QVERIFY2(c.times[0] - sent >= 240, qPrintable(QString::number(c.times[0] - sent)));
}

void TstSimServer::closeAfterCommandsStopsTheConnection()
{
    SimServer::Options o = loopback();
    o.closeAfterCommands = 2;
    SimServer server(o);
    QVERIFY(server.listenTcp());
    Client c(server.tcpPort());
    QVERIFY(c.waitConnected());

    c.send("*?!*>O1 TERON END!*2<5!");
    QTRY_VERIFY(c.disconnected);
    // Two commands were taken, the first of them answered; the switch
    // after them never reached the device.
    QCOMPARE(c.all, server.device().infoReply());
    QCOMPARE(server.device().routeOf(2), 2);
    QCOMPARE(server.device().outputCard(1).drive, QByteArray("TERON"));
    QTRY_COMPARE(server.tcpClientCount(), 0);

    // The server keeps serving new clients.
    Client next(server.tcpPort());
    QVERIFY(next.waitConnected());
    next.send("*!");
    QTRY_COMPARE(next.all, server.device().routingMapReply());
}

void TstSimServer::fragmentsArriveSeparately()
{
    SimServer::Options o = loopback();
    o.fragmentBytes = 5;
    o.fragmentGapMs = 40;
    SimServer server(o);
    QSignalSpy transmitted(&server, &SimServer::transmitted);
    QVERIFY(server.listenTcp());
    Client c(server.tcpPort());
    QVERIFY(c.waitConnected());

    c.send("*?!");
    const QByteArray info = server.device().infoReply(); // 18 bytes: 5+5+5+3
    QTRY_COMPARE(c.all, info);
    QCOMPARE(c.chunks.size(), 4);
    for (const QByteArray &chunk : qAsConst(c.chunks))
        QVERIFY(chunk.size() <= 5);
    QVERIFY(c.times.last() - c.times.first() >= 3 * 40 - 20);
    // The whole reply is reported once, when its last piece has gone.
    QTRY_COMPARE(transmitted.size(), 1);
    QCOMPARE(transmitted.first().at(1).toByteArray(), info);
}

void TstSimServer::garbageModes_data()
{
    QTest::addColumn<SimServer::GarbageMode>("mode");
    QTest::addColumn<QByteArray>("commands");
    QTest::addColumn<QStringList>("expected"); // transmissions in order

    // Every second command gets garbage.
    QTest::newRow("before: own transmission ahead of the reply")
        << SimServer::GarbageMode::Before << QByteArray("*?!*!*?!")
        << QStringList {"info", "garbage", "map", "info"};
    QTest::newRow("prefix: glued to the reply")
        << SimServer::GarbageMode::Prefix << QByteArray("*?!*!*?!")
        << QStringList {"info", "garbage+map", "info"};
    QTest::newRow("instead: the reply is replaced")
        << SimServer::GarbageMode::Instead << QByteArray("*?!*!*?!")
        << QStringList {"info", "garbage", "info"};
    QTest::newRow("a command without reply still gets garbage")
        << SimServer::GarbageMode::Before << QByteArray("*?!*>O1 TERON END!")
        << QStringList {"info", "garbage"};
    QTest::newRow("refused commands count too")
        << SimServer::GarbageMode::Instead << QByteArray("*>O1 NOPE END!*!")
        << QStringList {"garbage"};
}

void TstSimServer::garbageModes()
{
    QFETCH(SimServer::GarbageMode, mode);
    QFETCH(QByteArray, commands);
    QFETCH(QStringList, expected);

    SimServer::Options o = loopback();
    o.garbageEvery = 2;
    o.garbageMode = mode;
    o.garbageBytes = 12;
    o.tcpReplyGapMs = 0;
    SimServer server(o);
    QSignalSpy transmitted(&server, &SimServer::transmitted);
    QVERIFY(server.listenTcp());
    Client c(server.tcpPort());
    QVERIFY(c.waitConnected());

    c.send(commands);
    QTRY_COMPARE(transmitted.size(), expected.size());
    const QByteArray info = server.device().infoReply();
    const QByteArray map = server.device().routingMapReply();
    QByteArray all;
    for (int i = 0; i < expected.size(); ++i) {
        const QByteArray t = transmitted.at(i).at(1).toByteArray();
        all += t;
        const QString &want = expected.at(i);
        if (want == QLatin1String("info")) {
            QCOMPARE(t, info);
        } else if (want == QLatin1String("map")) {
            QCOMPARE(t, map);
        } else {
            QCOMPARE(t.size(), 12 + (want.endsWith(QLatin1String("map")) ? map.size() : 0));
            // Never a ':' where the console looks for one.
            QVERIFY(!t.left(12).contains(':'));
            if (want.endsWith(QLatin1String("map")))
                QCOMPARE(t.mid(12), map);
        }
    }
    QTRY_COMPARE(c.all, all);
}

void TstSimServer::logLinePerOutcome()
{
    SimServer server(loopback());
    QSignalSpy lines(&server, &SimServer::logLine);
    QSignalSpy handled(&server, &SimServer::commandHandled);
    QStringList sink;
    server.setLogFunction([&sink](const QString &l) { sink << l; });
    QVERIFY(server.listenTcp());
    Client c(server.tcpPort());
    QVERIFY(c.waitConnected());

    c.send("hello\n*?!*>O4 FOO END!");
    QTRY_COMPARE(lines.size(), 3);
    QCOMPARE(sink.size(), 3);
    QVERIFY2(sink[0].contains(QLatin1String("not understood: hello\\x0a")), qPrintable(sink[0]));
    QVERIFY2(sink[1].contains(QLatin1String(" understood: *?! (device information)")),
             qPrintable(sink[1]));
    QVERIFY2(sink[2].contains(QLatin1String("not understood: *>O4 FOO END!")), qPrintable(sink[2]));
    QVERIFY(sink[2].contains(QLatin1String("FOO")));
    QCOMPARE(handled.at(1).at(1).toByteArray(), QByteArray("*?!"));
    QCOMPARE(handled.at(1).at(2).toBool(), true);

    // A garbage run without a line feed is logged once the line goes quiet.
    c.send("xyz");
    QTRY_COMPARE(lines.size(), 4);
    QVERIFY(sink[3].contains(QLatin1String("not understood: xyz")));
}

void TstSimServer::ptyAnswersCommands()
{
    SimServer::Options o = loopback();
    o.ptyReplyGapMs = 0;
    SimServer server(o);
    server.device().setPortCounts(8, 4);
    QVERIFY2(server.openPty(), qPrintable(server.errorString()));
    QVERIFY(server.ptySlavePath().startsWith(QLatin1String("/dev/")));

    PtyEnd end(server.ptySlavePath());
    QVERIFY(end.fd >= 0);
    // Raw: bytes that a terminal would turn into signals or line edits pass.
    QVERIFY(end.send(QByteArray("\x03\x7f\n", 3)));
    QVERIFY(end.send("*?!"));
    QTRY_COMPARE(end.all, server.device().infoReply());
    QCOMPARE(server.device().records().first().bytes, QByteArray("\x03\x7f\n", 3));
    QVERIFY(end.send("*4<8!"));
    QTRY_COMPARE(end.all.size(), 18 + 2 + 2 * 4);
    QCOMPARE(end.all.right(2), QByteArray("08"));
}

void TstSimServer::ptyRepliesFallInSeparateSerialWindows()
{
    // Default gap: the console gathers serial bytes for 500 ms after the
    // first one, and two replies in one gathering cannot be parsed.
    SimServer server(loopback());
    QVERIFY(server.openPty());
    PtyEnd end(server.ptySlavePath());
    QVERIFY(end.fd >= 0);

    QVERIFY(end.send("*?!*!"));
    QTRY_COMPARE_WITH_TIMEOUT(end.chunks.size(), 2, 3000);
    QCOMPARE(end.chunks[0], server.device().infoReply());
    QCOMPARE(end.chunks[1], server.device().routingMapReply());
    QVERIFY2(end.times[1] - end.times[0] > 500,
             qPrintable(QString::number(end.times[1] - end.times[0])));
}

void TstSimServer::ptySurvivesConsoleReopening()
{
    SimServer::Options o = loopback();
    o.ptyReplyGapMs = 0;
    SimServer server(o);
    QVERIFY(server.openPty());
    {
        PtyEnd first(server.ptySlavePath());
        QVERIFY(first.send("*?!"));
        QTRY_COMPARE(first.all, server.device().infoReply());
    }
    PtyEnd second(server.ptySlavePath());
    QVERIFY(second.fd >= 0);
    QVERIFY(second.send("*!"));
    QTRY_COMPARE(second.all, server.device().routingMapReply());
    QVERIFY(server.isPtyOpen());
}

void TstSimServer::ptySymlinkMadeAndRemoved()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("matrix-tty"));
    QVERIFY(QFile::link(QStringLiteral("/nonexistent"), link)); // a stale link is replaced

    SimServer server(loopback());
    QVERIFY2(server.openPty(link), qPrintable(server.errorString()));
    QCOMPARE(QFileInfo(link).symLinkTarget(), server.ptySlavePath());
    QCOMPARE(server.ptyLinkPath(), link);
    server.closePty();
    QVERIFY(!server.isPtyOpen());
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(!QFileInfo::exists(link));
}

void TstSimServer::ptySymlinkDoesNotReplaceAFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("precious"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("keep me");
    file.close();

    SimServer server(loopback());
    QVERIFY(!server.openPty(path));
    QVERIFY(server.errorString().contains(path));
    QVERIFY(!server.isPtyOpen());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("keep me"));
}

void TstSimServer::ptyCloseAfterHangsUp()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("tty"));
    SimServer::Options o = loopback();
    o.closeAfterCommands = 1;
    o.ptyReplyGapMs = 0;
    SimServer server(o);
    QSignalSpy closed(&server, &SimServer::linkClosed);
    QVERIFY(server.openPty(link));
    PtyEnd end(server.ptySlavePath());

    QVERIFY(end.send("*?!*!"));
    QTRY_VERIFY(end.hungUp);
    QCOMPARE(end.all, server.device().infoReply());
    QCOMPARE(closed.size(), 1);
    QVERIFY(!server.isPtyOpen());
    QVERIFY(!QFileInfo(link).isSymLink());
}

QTEST_GUILESS_MAIN(TstSimServer)
#include "tst_simserver.moc"
