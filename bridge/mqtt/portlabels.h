#ifndef BRIDGE_MQTT_PORTLABELS_H
#define BRIDGE_MQTT_PORTLABELS_H

#include <QMap>
#include <QString>

#include <optional>

// Names for the matrix's inputs and outputs, read from a labels file:
//
//     # the lecture hall rack
//     input.1  = Camera left
//     input.2  = Lectern PC
//     output.3 = Projector
//
// One `key = value` per line, like the bridge's configuration file, so one
// person edits both with the same habits; UTF-8; blank lines and lines
// starting with '#' are ignored. A port without a label is called "Input N"
// or "Output N". An input's name is also what an MQTT client may send to
// route it, so input names must be unique and must not read as a number or
// as another input's default name.
struct PortLabels
{
    QMap<int, QString> inputs;
    QMap<int, QString> outputs;

    QString inputName(int input) const;
    QString outputName(int output) const;
    // The input a name stands for: a label, or "Input N" for an input
    // without one; 0 when no input has that name.
    int inputNamed(const QString &name, int inputCount) const;

    // Reads a labels file's text; on a mistake, nothing and *error names
    // the line ("line 4: ...").
    static std::optional<PortLabels> parse(const QByteArray &text, QString *error);
};

#endif // BRIDGE_MQTT_PORTLABELS_H
