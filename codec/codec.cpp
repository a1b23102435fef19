#include "codec/codec.h"

QString bytesToHexText(const QByteArray &bytes)
{
    const QString hex = QString::fromLatin1(bytes.toHex());
    QString text;
    text.reserve(hex.size() + hex.size() / 2);
    for (int j = 0; j < hex.size(); j += 2) {
        text += hex.midRef(j, 2);
        text += QLatin1Char(' ');
    }
    return text.trimmed().toUpper();
}

bool isAllDigits(const QString &text)
{
    // Characters outside Latin-1 become '?', which is not a digit.
    const QByteArray bytes = text.toLatin1();
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < '0' || byte > '9')
            return false;
    }
    return true;
}

QString printable(const QByteArray &bytes)
{
    static const char hexDigits[] = "0123456789abcdef";
    QString text;
    text.reserve(bytes.size() * 4);
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7f && u != '\\') {
            text += QLatin1Char(c);
        } else {
            text += QLatin1String("\\x");
            text += QLatin1Char(hexDigits[u >> 4]);
            text += QLatin1Char(hexDigits[u & 15]);
        }
    }
    return text;
}
