#ifndef TESTS_SUPPORT_MOSQUITTOBROKER_H
#define TESTS_SUPPORT_MOSQUITTOBROKER_H

#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

// Debian's mosquitto on 127.0.0.1 and a free port, with a configuration the
// test writes: started, stopped and started again on the same port, killed
// at the end. Files the configuration names (passwords, certificates) go in
// dir().
class MosquittoBroker
{
public:
    static constexpr int startTimeoutMs = 5000;

    MosquittoBroker()
    {
        QTcpServer probe; // a port nobody holds now; the broker takes it next
        if (probe.listen(QHostAddress::LocalHost, 0))
            m_port = probe.serverPort();
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&m_process, &QProcess::readyRead,
                         [this] { m_log += m_process.readAll(); });
    }
    ~MosquittoBroker() { stop(); }

    quint16 port() const { return m_port; }
    QString dir() const { return m_dir.path(); }
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString log() const { return QString::fromLocal8Bit(m_log); }

    // Lines for the listener, after "listener PORT 127.0.0.1": TLS files,
    // password_file, allow_anonymous false...
    void setListenerConfig(const QString &lines) { m_listenerConfig = lines; }

    // Starts the broker and waits until it accepts connections; false, with
    // the broker's own words in log(), when it does not in time.
    bool start()
    {
        QFile conf(path(QStringLiteral("mosquitto.conf")));
        if (!conf.open(QIODevice::WriteOnly))
            return false;
        // As root, mosquitto would drop to its own user and could not read
        // the test's files.
        conf.write("persistence false\nlog_dest stderr\nlog_type error\nlog_type warning\n"
                   + QByteArray(geteuid() == 0 ? "user root\n" : "") + "listener "
                   + QByteArray::number(m_port) + " 127.0.0.1\n"
                   + (m_listenerConfig.contains("allow_anonymous") ? "" : "allow_anonymous true\n")
                   + m_listenerConfig.toUtf8() + "\n");
        conf.close();
        m_process.start(QStringLiteral("/usr/sbin/mosquitto"), {"-c", conf.fileName()});
        return m_process.waitForStarted(startTimeoutMs)
            && QTest::qWaitFor(
                   [this] {
                       QTcpSocket socket;
                       socket.connectToHost(QHostAddress::LocalHost, m_port);
                       return m_process.state() == QProcess::NotRunning
                           || socket.waitForConnected(100);
                   },
                   startTimeoutMs)
            && m_process.state() == QProcess::Running;
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(startTimeoutMs))
            m_process.kill();
        m_process.waitForFinished(startTimeoutMs);
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QByteArray m_log;
    QString m_listenerConfig;
    quint16 m_port = 0;
};

#endif // TESTS_SUPPORT_MOSQUITTOBROKER_H
