#ifndef SIM_PTYENDPOINT_H
#define SIM_PTYENDPOINT_H

#include "sim/linkendpoint.h"

#include <QElapsedTimer>
#include <QString>

class QSocketNotifier;

// The master side of a pseudo-terminal in raw mode, the simulator's serial
// line. A slave descriptor of our own stays open so that the pty survives
// the console closing and reopening the port. Optionally a symlink to the
// slave is made, and removed again when the endpoint closes.
class PtyEndpoint : public LinkEndpoint
{
    Q_OBJECT
public:
    // With a non-empty linkPath the symlink is made there: an existing
    // symlink is replaced, anything else is refused. Null, with *error
    // set, when the pty cannot be had.
    static PtyEndpoint *open(const QString &linkPath, QString *error, QObject *parent);
    ~PtyEndpoint() override;

    QString slavePath() const { return m_slavePath; }
    QString linkPath() const { return m_linkPath; }

    QByteArray read(int maxBytes) override;
    bool hasUnread() const override;
    void write(const QByteArray &bytes) override;
    qint64 unwritten() const override { return m_backlog.size(); }
    // Waits (up to two seconds) until the console has read what was
    // written: closing the master would discard it.
    void close() override;
    void abort() override { release(); }

private:
    PtyEndpoint(int master, int slave, const QString &slavePath, const QString &linkPath,
                QObject *parent);
    void writeBacklog();
    bool consoleHasReadEverything() const;
    void release();

    int m_master;
    int m_slave;
    QString m_slavePath;
    QString m_linkPath;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QByteArray m_backlog;
    QElapsedTimer m_clock;
    qint64 m_lastWrite = -1;
    qint64 m_lingerDeadline = -1;
};

#endif // SIM_PTYENDPOINT_H
