#include "codec/codec.h"

#include <QtTest>

class TestCodec : public QObject
{
    Q_OBJECT
private slots:
    void hexText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("hex");
        QTest::newRow("refresh") << QByteArray("*?!") << "2A 3F 21";
        QTest::newRow("card command")
            << QByteArray("*>O4 SET1080P60 END!")
            << "2A 3E 4F 34 20 53 45 54 31 30 38 30 50 36 30 20 45 4E 44 21";
        QTest::newRow("empty") << QByteArray() << "";
        QTest::newRow("one byte, no space") << QByteArray("*") << "2A";
        QTest::newRow("zero byte and what follows") << QByteArray("\0!", 2) << "00 21";
        QTest::newRow("leading zero digit, upper case, no line break")
            << QByteArray("\n\xff") << "0A FF";
        QTest::newRow("trailing blank byte kept") << QByteArray("A ") << "41 20";
    }
    void hexText()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, hex);
        QCOMPARE(bytesToHexText(bytes), hex);
    }

    void allDigits()
    {
        for (const QString digits : {"", "0", "007", "0123456789"})
            QVERIFY2(isAllDigits(digits), qPrintable(digits));
        // Signs, blanks, points, neighbours of '0' and '9', and digits that
        // are not ASCII: full-width one, superscript two, Arabic-Indic one.
        for (const QString other :
             {"-1", "+1", "1.5", " 5", "5 ", "4a", "/", ":", "\uFF11", "\u00B2", "\u0661"})
            QVERIFY2(!isAllDigits(other), qPrintable(other));
    }
};

QTEST_APPLESS_MAIN(TestCodec)
#include "tst_codec.moc"
