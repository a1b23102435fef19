#ifndef BRIDGE_MATRIXBRIDGE_H
#define BRIDGE_MATRIXBRIDGE_H

#include "bridge/bridgeoptions.h"
#include "matrix/replyframer.h"

#include <QElapsedTimer>
#include <QObject>
#include <QQueue>
#include <QTimer>
#include <QVector>

class DeviceChannel;

// The device as the bridge keeps it: the one link (see DeviceChannel), the
// queue of commands for it, and what its replies say.
//
// Commands (from clients and the bridge's own requests) leave one at a time,
// each in one write, in the order they were submitted, at least the command
// gap apart; on a serial line at least the time the previous one takes on
// the wire. While the link is down nothing is queued: a route carried out
// minutes later, when nobody expects it, is worse than one refused.
//
// Every reading of the device is decoded (framed as matrix-ctl frames it)
// and, as it arrives, handed on for the clients; only the answer to the
// bridge's own poll is held back, and passed on when the routing map changed
// (a switch at the front panel), so that polls do not fill consoles' logs.
class MatrixBridge : public QObject
{
    Q_OBJECT
public:
    explicit MatrixBridge(const BridgeOptions &options, QObject *parent = nullptr);
    ~MatrixBridge() override;

    void start();
    void stop(); // closes the link; queued commands are dropped

    // Link open and the device's information read.
    bool isUp() const { return m_up; }
    QString deviceName() const;
    // The last device information and routing map read (kind Ignored and
    // empty before the first).
    StatusReply information() const { return m_information; }
    QVector<int> routing() const { return m_routing; }

    // A complete command for the device from `origin` (a client's address,
    // "mqtt", ...), queued behind the others. False, and logged, when the
    // link is down: the command is dropped.
    bool submit(const QByteArray &commandLine, const QString &origin);

signals:
    void deviceLinkChanged(bool up); // up once the information has been read
    void informationReceived(const StatusReply &reply); // each one decoded
    void routingReceived(const QVector<int> &sources); // each one, changed or not
    // Bytes of the device for every client, in the order they came.
    void readingForClients(const QByteArray &bytes);

private:
    struct Queued
    {
        QByteArray bytes;
        QString origin; // empty: the bridge's own request
        StatusReply::Kind answer = StatusReply::Ignored; // awaited for our own requests
        bool poll = false;
    };

    void opened();
    void failed(const QString &reason, bool wasOpen);
    void received(const QByteArray &bytes);
    void handleChunks(const QList<ReplyFramer::Chunk> &chunks);
    void request(const QByteArray &bytes, StatusReply::Kind answer, bool poll = false);
    void sendNext();
    void poll();
    void dropQueue(const QString &reason);
    void setUp(bool up);
    int wireTimeMs(int bytes) const;
    int quietGapMs() const;

    BridgeOptions m_options;
    DeviceChannel *m_channel = nullptr;
    ReplyFramer m_framer;
    QTimer m_quietTimer; // the end of a reply that carries no length
    QTimer m_gapTimer; // between two commands
    QTimer m_pollTimer;
    QTimer m_answerTimer; // bounds the wait for the answer to a request of our own
    StatusReply::Kind m_awaited = StatusReply::Ignored;
    QQueue<Queued> m_queue;
    bool m_up = false;
    bool m_pollOutstanding = false; // bytes are held back until its answer is cut
    StatusReply m_information;
    QVector<int> m_routing;
    QString m_lastFailure; // logged once, not once per attempt
    bool m_everUp = false;
};

#endif // BRIDGE_MATRIXBRIDGE_H
