#ifndef SIM_SIMVOCABULARY_H
#define SIM_SIMVOCABULARY_H

// The device's own list of keywords and codes, as the simulator reads the
// command vocabulary. Written apart from the console's tables on purpose:
// when the two disagree, a command the console sends is not understood here.

#include <QByteArray>
#include <QString>

namespace simvocabulary {

constexpr int brightnessMin = 10;
constexpr int brightnessMax = 200;
constexpr int wallMax = 16; // screens across or down a wall
constexpr int outputAddressOffset = 64; // code commands address output k as k + 64

// A resolution keyword, shared by both card kinds, with the code that sets
// it on an output card. Code 250 belongs to no resolution.
struct Resolution
{
    const char *keyword;
    int outputCode;
    bool inputCardToo;
};

const Resolution *resolutionByKeyword(const QByteArray &word);
bool isOutputMode(const QByteArray &word); // HDMIMOD, DVIMOD, OUTYPBPR, ...
bool isOutputDrive(const QByteArray &word); // TERON, TEROFF, TERNONE
bool isInputSource(const QByteArray &word); // SRCHDMI, ...
bool isEdidKeyword(const QByteArray &word);
bool isEdidPreset(int code); // the two-digit codes of "*S"

// What an output card's code sets: the same field and value as the keyword
// the code stands for.
struct OutputCodeEffect
{
    enum Field { None, Resolution, Mode, Drive, Seamless };
    Field field = None;
    QByteArray keyword; // Seamless: "DISMODE 1" or "DISMODE 0"
};
OutputCodeEffect outputCodeEffect(int code);
// The source keyword an input card's code sets; empty when the code is none.
QByteArray inputSourceOfCode(int code);

// A decimal number made of digits only; leading zeros are allowed. A number
// too long for any field reads as a large value so that the range checks
// refuse it rather than the syntax check.
bool toNumber(const QByteArray &text, int *value);
bool isDigits(const QByteArray &text);
QString latin1(const QByteArray &bytes);

} // namespace simvocabulary

#endif // SIM_SIMVOCABULARY_H
