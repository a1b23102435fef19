#ifndef BRIDGE_CLIENTSERVER_H
#define BRIDGE_CLIENTSERVER_H

#include "bridge/bridgeoptions.h"

#include <QList>
#include <QObject>

class BridgeClient;
class MatrixBridge;
class QTcpServer;

// The bridge's TCP side: clients speak the device's protocol to it as to
// the device. Their bytes are cut into commands at each "!" and handed to
// the MatrixBridge in arrival order; every reading of the device goes to
// every client. A client that does not read what it is sent is cut off
// before it can hold up the device or the others.
class ClientServer : public QObject
{
    Q_OBJECT
public:
    ClientServer(MatrixBridge *bridge, int maxClients, QObject *parent = nullptr);
    ~ClientServer() override;

    // Read-write clients on one address, read-only ones (which may only ask
    // "*?!" and "*!") on another. False: see errorString().
    bool listen(const ListenAddress &where, bool readOnly);
    // "127.0.0.1:8126" as bound (the port chosen when 0 was asked for).
    QString boundAddress(bool readOnly) const;
    quint16 port(bool readOnly) const;
    QString errorString() const { return m_error; }

    int clientCount() const { return m_clients.size(); }
    void closeAll(); // stops listening and closes every client

private:
    void accept(QTcpServer *server, bool readOnly);
    void broadcast(const QByteArray &bytes);
    void remove(BridgeClient *client, const QString &why);

    MatrixBridge *m_bridge;
    int m_maxClients;
    QTcpServer *m_readWrite = nullptr;
    QTcpServer *m_readOnly = nullptr;
    QList<BridgeClient *> m_clients;
    QString m_error;
};

#endif // BRIDGE_CLIENTSERVER_H
