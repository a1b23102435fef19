#include "codec/codec.h"

#include <QtTest>

class TestCodec : public QObject
{
    Q_OBJECT

private slots:
    void hexText_data();
    void hexText();
    void allDigits_data();
    void allDigits();
};

void TestCodec::hexText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("hex");

    QTest::newRow("query") << QByteArray("*!") << "2A 21";
    QTest::newRow("refresh") << QByteArray("*?!") << "2A 3F 21";
    QTest::newRow("card command") << QByteArray("*>O4 SET1080P60 END!")
                                  << "2A 3E 4F 34 20 53 45 54 31 30 38 30 50 36 30 20 45 4E 44 21";
    QTest::newRow("empty") << QByteArray() << "";
    QTest::newRow("one byte, no space") << QByteArray("*") << "2A";
    QTest::newRow("zero byte") << QByteArray(1, '\0') << "00";
    QTest::newRow("line feed keeps its leading zero, FF upper case")
        << QByteArray("\x0a\xff") << "0A FF";
    QTest::newRow("zero byte inside, bytes after it shown") << QByteArray("*\0!", 3) << "2A 00 21";
    QTest::newRow("bytes above 0x7F") << QByteArray("\xe4\xb8\xad") << "E4 B8 AD";
    QTest::newRow("trailing space byte is still shown") << QByteArray("A ") << "41 20";
}

void TestCodec::hexText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, hex);
    QCOMPARE(bytesToHexText(bytes), hex);
}

void TestCodec::allDigits_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("digits");

    QTest::newRow("empty") << "" << true;
    QTest::newRow("zero") << "0" << true;
    QTest::newRow("leading zeros") << "007" << true;
    QTest::newRow("every digit") << "0123456789" << true;
    QTest::newRow("minus sign") << "-1" << false;
    QTest::newRow("plus sign") << "+1" << false;
    QTest::newRow("decimal point") << "1.5" << false;
    QTest::newRow("space before") << " 5" << false;
    QTest::newRow("space after") << "5 " << false;
    QTest::newRow("letter after digits") << "4a" << false;
    QTest::newRow("full-width one") << QString(QChar(0xFF11)) << false;
    QTest::newRow("slash, just below '0'") << "/" << false;
    QTest::newRow("colon, just above '9'") << ":" << false;
    QTest::newRow("superscript two (Latin-1, not ASCII)") << QString(QChar(0x00B2)) << false;
    QTest::newRow("Arabic-Indic digit") << QString(QChar(0x0661)) << false;
}

void TestCodec::allDigits()
{
    QFETCH(QString, text);
    QFETCH(bool, digits);
    QCOMPARE(isAllDigits(text), digits);
}

QTEST_APPLESS_MAIN(TestCodec)
#include "tst_codec.moc"
