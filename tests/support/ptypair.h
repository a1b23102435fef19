#ifndef PTYPAIR_H
#define PTYPAIR_H

#include <QByteArray>
#include <QString>

// A pseudo-terminal pair standing in for a serial line: the window opens the
// slave by its path (/dev/pts/N), the test plays the device on the master.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }

    // Device side: write to / read from the master.
    bool write(const QByteArray &bytes);
    QByteArray readAvailable();
    // Pumps the event loop until at least byteCount bytes have been read from
    // the master since the last take(); returns everything read so far.
    bool waitForBytes(int byteCount, int timeoutMs = 5000);
    QByteArray received() const { return m_received; }
    QByteArray take();

    // Closes the device side, as if the line went away.
    void closeMaster();

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QByteArray m_received;
};

#endif // PTYPAIR_H
