#ifndef BRIDGE_DEVICECHANNEL_H
#define BRIDGE_DEVICECHANNEL_H

#include "devicelink/linkoptions.h"

#include <QObject>
#include <QTimer>

class QIODevice;
class QSerialPort;
class QTcpSocket;

// The one link to the device, kept up for ever: a failed attempt or a lost
// link is retried after a pause that starts at reconnectMinMs and doubles up
// to reconnectMaxMs; a link that came up starts the pauses afresh. Nothing
// here blocks: connecting, reading and waiting all run in the event loop.
class DeviceChannel : public QObject
{
    Q_OBJECT
public:
    DeviceChannel(const devicelink::LinkOptions &link, int reconnectMinMs, int reconnectMaxMs,
                  QObject *parent = nullptr);
    ~DeviceChannel() override;

    void start(); // the first attempt, now
    void stop(); // closes the link; no more attempts
    bool isOpen() const { return m_open; }
    bool isSerial() const { return m_link.kind == devicelink::LinkOptions::Serial; }
    int baud() const { return m_link.baud; }
    QString name() const; // "/dev/ttyUSB0" or "192.168.0.86:8126"
    int retryPauseMs() const { return m_retryPauseMs; } // of the attempt now scheduled

    void write(const QByteArray &bytes);
    // Closes an open link from outside (a device that stopped answering) and
    // schedules the next attempt like any other failure.
    void fail(const QString &reason);

signals:
    void opened();
    // An attempt failed or an open link was lost; the next attempt comes
    // after retryPauseMs().
    void failed(const QString &reason, bool wasOpen);
    void received(const QByteArray &bytes);

private:
    void attempt();
    void tcpConnected();
    void lose(const QString &reason);
    void readAvailable();

    devicelink::LinkOptions m_link;
    int m_reconnectMinMs;
    int m_reconnectMaxMs;
    int m_pauseMs;
    int m_retryPauseMs = 0;
    bool m_open = false;
    bool m_stopped = true;
    QTcpSocket *m_socket = nullptr;
    QSerialPort *m_serial = nullptr;
    QIODevice *m_device = nullptr;
    QTimer m_retryTimer;
    QTimer m_connectTimer; // bounds a TCP connect that gets no answer at all
};

#endif // BRIDGE_DEVICECHANNEL_H
