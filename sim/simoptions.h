#ifndef SIM_SIMOPTIONS_H
#define SIM_SIMOPTIONS_H

#include <QHostAddress>

// Settings of a SimServer; the fault modes are described in simserver.h.
struct SimServerOptions
{
    enum class GarbageMode { Before, Prefix, Instead };

    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 port = 8126; // 0: any free port, see SimServer::tcpPort()
    int replyDelayMs = 0; // from a command's arrival to its reply
    int tcpReplyGapMs = 20; // minimum pause between two transmissions
    int ptyReplyGapMs = 600; //   on one connection (> 500 ms serial window)
    int closeAfterCommands = 0; // 0: never
    int fragmentBytes = 0; // 0: each transmission in one write
    int fragmentGapMs = 0;
    int garbageEvery = 0; // 0: never
    GarbageMode garbageMode = GarbageMode::Before;
    int garbageBytes = 16;
    quint32 garbageSeed = 1; // the bursts are reproducible
};

#endif // SIM_SIMOPTIONS_H
