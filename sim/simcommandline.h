#ifndef SIM_SIMCOMMANDLINE_H
#define SIM_SIMCOMMANDLINE_H

// matrix-sim's command line: the options it offers and what they ask for.

#include "sim/simserver.h"

#include <QCommandLineParser>
#include <QString>

struct SimConfig
{
    SimServer::Options server;
    int inputs = 16;
    int outputs = 16;
    char letter = 'A';
    bool tcp = true;
    bool pty = false;
    QString ptyLink;
    bool quiet = false;
};

// The description, the options and the LINK argument, for --help and parsing.
void describeOptions(QCommandLineParser *parser);
// Reads what the parser found into *config; false with *error for the user.
bool parseConfig(const QCommandLineParser &parser, SimConfig *config, QString *error);

#endif // SIM_SIMCOMMANDLINE_H
