#include "bridge/devicechannel.h"

#include "devicelink/seriallink.h"

#include <QSerialPort>
#include <QTcpSocket>

#include <algorithm>

DeviceChannel::DeviceChannel(const devicelink::LinkOptions &link, int reconnectMinMs,
                             int reconnectMaxMs, QObject *parent)
    : QObject(parent)
    , m_link(link)
    , m_reconnectMinMs(reconnectMinMs)
    , m_reconnectMaxMs(reconnectMaxMs)
    , m_pauseMs(reconnectMinMs)
{
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &DeviceChannel::attempt);
    m_connectTimer.setSingleShot(true);
    connect(&m_connectTimer, &QTimer::timeout, this, [this] {
        lose(QStringLiteral("no answer to the connection within %1 ms").arg(m_link.timeoutMs));
    });
}

DeviceChannel::~DeviceChannel()
{
    stop();
}

QString DeviceChannel::name() const
{
    return devicelink::linkName(m_link);
}

void DeviceChannel::start()
{
    m_stopped = false;
    m_pauseMs = m_reconnectMinMs;
    attempt();
}

void DeviceChannel::stop()
{
    m_stopped = true;
    m_retryTimer.stop();
    m_connectTimer.stop();
    m_open = false;
    if (m_device) {
        disconnect(m_device, nullptr, this, nullptr);
        // What was written still leaves, then the device sees an orderly end.
        if (m_socket && m_socket->state() == QAbstractSocket::ConnectedState) {
            m_socket->flush();
            m_socket->disconnectFromHost();
        }
        m_device->close();
        m_device->deleteLater();
    }
    m_device = nullptr;
    m_socket = nullptr;
    m_serial = nullptr;
}

void DeviceChannel::write(const QByteArray &bytes)
{
    if (m_open && m_device)
        m_device->write(bytes);
}

void DeviceChannel::fail(const QString &reason)
{
    if (m_device)
        lose(reason);
}

void DeviceChannel::attempt()
{
    if (m_stopped)
        return;
    if (isSerial()) {
        m_serial = new QSerialPort(this);
        m_device = m_serial;
        QString error;
        if (!devicelink::openSerialLine(m_serial, m_link, &error)) {
            lose(error);
            return;
        }
        connect(
            m_serial, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
                // A line that fails while open keeps signalling until closed:
                // the first error closes it.
                if (e != QSerialPort::NoError && e != QSerialPort::TimeoutError)
                    lose(QStringLiteral("the serial line failed: %1").arg(m_serial->errorString()));
            });
        connect(m_serial, &QSerialPort::readyRead, this, &DeviceChannel::readAvailable);
        m_open = true;
        m_pauseMs = m_reconnectMinMs;
        emit opened();
        return;
    }

    m_socket = new QTcpSocket(this);
    m_device = m_socket;
    connect(m_socket, &QTcpSocket::connected, this, &DeviceChannel::tcpConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &DeviceChannel::readAvailable);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this] {
        lose(m_socket->error() == QAbstractSocket::RemoteHostClosedError
                 ? QStringLiteral("the device closed the connection")
                 : m_socket->errorString());
    });
    connect(m_socket, &QTcpSocket::disconnected, this,
            [this] { lose(QStringLiteral("the device closed the connection")); });
    m_connectTimer.start(m_link.timeoutMs);
    m_socket->connectToHost(m_link.host, m_link.port);
}

void DeviceChannel::tcpConnected()
{
    m_connectTimer.stop();
    // Commands are a few bytes each: none waits for an acknowledgement.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_open = true;
    m_pauseMs = m_reconnectMinMs;
    emit opened();
}

void DeviceChannel::readAvailable()
{
    if (m_device) {
        const QByteArray bytes = m_device->readAll();
        if (!bytes.isEmpty())
            emit received(bytes);
    }
}

void DeviceChannel::lose(const QString &reason)
{
    if (!m_device)
        return; // the first signal of a failure closes; the rest find nothing
    const bool wasOpen = m_open;
    QIODevice *device = m_device;
    m_device = nullptr;
    m_socket = nullptr;
    m_serial = nullptr;
    m_open = false;
    m_connectTimer.stop();
    disconnect(device, nullptr, this, nullptr);
    if (auto *socket = qobject_cast<QTcpSocket *>(device))
        socket->abort();
    device->close();
    device->deleteLater();

    m_retryPauseMs = m_pauseMs;
    m_pauseMs = std::min(m_reconnectMaxMs, m_pauseMs * 2);
    if (!m_stopped)
        m_retryTimer.start(m_retryPauseMs);
    emit failed(reason, wasOpen);
}
