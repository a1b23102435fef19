#ifndef SIM_LINKENDPOINT_H
#define SIM_LINKENDPOINT_H

// The transport under one connection of the simulator: a TCP client's socket
// or the master side of the pty. It moves bytes and knows how to hang up;
// framing, replies and pacing are the link's business.

#include <QByteArray>
#include <QObject>

class LinkEndpoint : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // At most maxBytes of what has arrived; empty when nothing has.
    virtual QByteArray read(int maxBytes) = 0;
    // Whether read() would return something right now.
    virtual bool hasUnread() const = 0;
    // Hands bytes to the transport. unwritten() counts those not yet passed
    // on to the other side; drained() says it dropped to zero.
    virtual void write(const QByteArray &bytes) = 0;
    virtual qint64 unwritten() const = 0;
    // Hangs up once the other side had its chance to read what was
    // written; closed() follows.
    virtual void close() = 0;
    // Hangs up now, without closed().
    virtual void abort() = 0;

signals:
    void readable();
    void drained();
    void closed(); // by close(), or the other side hung up
};

#endif // SIM_LINKENDPOINT_H
