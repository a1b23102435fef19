#ifndef CODEC_CODEC_H
#define CODEC_CODEC_H

#include <QByteArray>
#include <QString>

// Hex preview of a command line: two upper-case digits per byte, one space
// between bytes, nothing at either end ("*?!" gives "2A 3F 21").
QString bytesToHexText(const QByteArray &bytes);

// True when every character, read as Latin-1, is an ASCII digit 0-9. The
// empty text answers true: callers follow up with a range test that refuses
// it. Signs, spaces and full-width digits answer false.
bool isAllDigits(const QString &text);

// Bytes for people, in logs and messages: printable ASCII as it is, every
// other byte (and the backslash, so the result reads back unambiguously)
// as \xNN with lower-case digits.
QString printable(const QByteArray &bytes);

#endif // CODEC_CODEC_H
