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
