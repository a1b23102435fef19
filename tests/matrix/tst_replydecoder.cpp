#include "matrix/replydecoder.h"

#include <QtTest>

#include <climits>

namespace {

// A string literal as bytes, embedded NULs included.
template<int N> QByteArray lit(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

// Letter, ':' and the 0x04 marker, then the model text.
QByteArray infoReply(const QByteArray &letter, const QByteArray &model)
{
    return letter + ':' + '\x04' + model;
}

// The 8-input, 16-output reply a device sends; byte 7 is its 'x'.
const QByteArray model8x16 = "ABCDx08-16-PQRS";

// Two digits per entry, "A:" in front: what a device sends for a routing map.
QByteArray mapOf(const QVector<int> &sources)
{
    QByteArray map = "A:";
    for (const int source : sources)
        map += QByteArray::number(source).rightJustified(2, '0');
    return map;
}

QVector<int> spreadSources(int count)
{
    QVector<int> sources;
    for (int j = 0; j < count; ++j)
        sources.append((j * 37 + 5) % 100);
    return sources;
}

} // namespace

class TestReplyDecoder : public QObject
{
    Q_OBJECT

private slots:
    void deviceInformation_data();
    void deviceInformation();
    void countField_data();
    void countField();
    void splitInformationReply_data();
    void splitInformationReply();
    void routingMap_data();
    void routingMap();
    void ignored_data();
    void ignored();
};

void TestReplyDecoder::deviceInformation_data()
{
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<QString>("letter");
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("inputs");
    QTest::addColumn<int>("outputs");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("8 inputs 16 outputs")
        << infoReply("B", model8x16) << "B" << QString(model8x16) << 8 << 16 << true;
    QTest::newRow("inputs 00: counts refused, letter and model still read")
        << infoReply("B", "ABCDx00-16-PQRS") << "B"
        << "ABCDx00-16-PQRS" << 0 << 16 << false;
    QTest::newRow("outputs 00: counts refused") << infoReply("C", "ABCDx08-00-PQRS") << "C"
                                                << "ABCDx08-00-PQRS" << 8 << 0 << false;
    QTest::newRow("99 by 99, the largest two digits give")
        << infoReply("H", "ABCDx99-99-PQRS") << "H"
        << "ABCDx99-99-PQRS" << 99 << 99 << true;
    QTest::newRow("1 by 1, the smallest accepted") << infoReply("A", "ABCDx01-01-PQRS") << "A"
                                                   << "ABCDx01-01-PQRS" << 1 << 1 << true;
    QTest::newRow("NUL letter reads as empty text")
        << lit("\0") + ':' + '\x04' + model8x16 << "" << QString(model8x16) << 8 << 16 << true;
    QTest::newRow("letter outside ASCII read as Latin-1")
        << infoReply("\xC4", model8x16) << QStringLiteral("\u00C4") << QString(model8x16) << 8 << 16
        << true;
    QTest::newRow("letter outside A-H still reported")
        << infoReply("Z", model8x16) << "Z" << QString(model8x16) << 8 << 16 << true;
    QTest::newRow("model read as Latin-1, not UTF-8")
        << infoReply("B",
                     "\xE9\xE8"
                     "CDx08-16-PQRS")
        << "B" << QStringLiteral("\u00E9\u00E8CDx08-16-PQRS") << 8 << 16 << true;
    QTest::newRow("model cut at NUL after the counts")
        << infoReply("B", lit("ABCDx08-16-P\0RS")) << "B"
        << "ABCDx08-16-P" << 8 << 16 << true;
    QTest::newRow("model cut at NUL before the counts, counts still read from the end")
        << infoReply("B", lit("AB\0Dx08-16-PQRS")) << "B"
        << "AB" << 8 << 16 << true;
    QTest::newRow("model empty when its first byte is NUL")
        << infoReply("B", lit("\0BCDx08-16-PQRS")) << "B"
        << "" << 8 << 16 << true;
    QTest::newRow("n=8, the shortest: inputs from bytes 0-1 are unreadable")
        << infoReply("B", "12CDx") << "B"
        << "12CDx" << 0 << 12 << false;
    QTest::newRow("n=9: outputs from bytes 3-4") << infoReply("B", "34CDx5") << "B"
                                                 << "34CDx5" << 0 << 34 << false;
    QTest::newRow("n=9 with a digit letter: inputs field '7:' still reads 0")
        << infoReply("7", "34CDx5") << "7"
        << "34CDx5" << 0 << 34 << false;
    QTest::newRow("n=10: window is the whole chunk") << infoReply("B", "56CDx78") << "B"
                                                     << "56CDx78" << 0 << 56 << false;
    QTest::newRow("n=14: outputs field starts at the 'x'") << infoReply("B", "A12Dx9PQRST") << "B"
                                                           << "A12Dx9PQRST" << 12 << 0 << false;
    QTest::newRow("n=15, the shortest with both counts readable")
        << infoReply("B", "AB12x34-PQRS") << "B"
        << "AB12x34-PQRS" << 12 << 34 << true;
    QTest::newRow("long model: counts from the last ten bytes only")
        << infoReply("D", "HDMIx-4K-SERIES-02-03-VWXY") << "D"
        << "HDMIx-4K-SERIES-02-03-VWXY" << 2 << 3 << true;
    QTest::newRow("CR LF appended shifts the window: inputs read '-1'")
        << infoReply("B", "ABCDx08-16-PQRS\r\n") << "B"
        << "ABCDx08-16-PQRS\r\n"
        << -1 << 0 << false;
    QTest::newRow("information followed by a map is one information reply")
        << infoReply("B", model8x16) + "B:01020304050607080910111213141516"
        << "B" << QString(model8x16 + "B:01020304050607080910111213141516") << 12 << 31 << true;
    QTest::newRow("'!' inside, not at the end, is no obstacle")
        << infoReply("B", "AB!Dx08-16-PQRS") << "B"
        << "AB!Dx08-16-PQRS" << 8 << 16 << true;
}

void TestReplyDecoder::deviceInformation()
{
    QFETCH(QByteArray, chunk);
    QFETCH(QString, letter);
    QFETCH(QString, model);
    QFETCH(int, inputs);
    QFETCH(int, outputs);
    QFETCH(bool, accepted);

    // The routing-map length never decides about an information reply.
    for (const int outputCount : {0, 4, 16, 72}) {
        const StatusReply reply = decodeStatusReply(chunk, outputCount);
        QCOMPARE(reply.kind, StatusReply::DeviceInformation);
        QCOMPARE(reply.deviceLetter, letter);
        QCOMPARE(reply.model, model);
        QCOMPARE(reply.inputs, inputs);
        QCOMPARE(reply.outputs, outputs);
        QCOMPARE(reply.countsAccepted, accepted);
        QVERIFY(reply.sources.isEmpty());
    }
}

// The input count field of an otherwise valid reply: every way a two-byte
// field can read, as QByteArray::toInt with base 10 reads it.
void TestReplyDecoder::countField_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<int>("inputs");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("two digits") << lit("42") << 42 << true;
    QTest::newRow("leading zero is decimal, not octal") << lit("08") << 8 << true;
    QTest::newRow("09 is decimal, not octal") << lit("09") << 9 << true;
    QTest::newRow("00 refused") << lit("00") << 0 << false;
    QTest::newRow("leading space") << lit(" 8") << 8 << true;
    QTest::newRow("leading tab") << lit("\t8") << 8 << true;
    QTest::newRow("leading LF") << lit("\n8") << 8 << true;
    QTest::newRow("leading vertical tab") << lit("\v8") << 8 << true;
    QTest::newRow("leading form feed") << lit("\f8") << 8 << true;
    QTest::newRow("leading CR") << lit("\r8") << 8 << true;
    QTest::newRow("trailing space") << lit("8 ") << 8 << true;
    QTest::newRow("trailing CR") << lit("8\r") << 8 << true;
    QTest::newRow("trailing NUL ends the number") << lit("8\0") << 8 << true;
    QTest::newRow("leading NUL reads nothing") << lit("\0"
                                                      "8")
                                               << 0 << false;
    QTest::newRow("plus sign") << lit("+8") << 8 << true;
    QTest::newRow("minus sign gives a negative count") << lit("-8") << -8 << false;
    QTest::newRow("minus zero") << lit("-0") << 0 << false;
    QTest::newRow("trailing letter spoils the whole field") << lit("8x") << 0 << false;
    QTest::newRow("trailing colon spoils the whole field") << lit("8:") << 0 << false;
    QTest::newRow("leading letter") << lit("x8") << 0 << false;
    QTest::newRow("two spaces") << lit("  ") << 0 << false;
    QTest::newRow("sign alone") << lit("+ ") << 0 << false;
    QTest::newRow("hex prefix not honoured") << lit("0x") << 0 << false;
    QTest::newRow("no-break space is not white space") << lit("\xA0"
                                                              "8")
                                                       << 0 << false;
    QTest::newRow("Latin-1 digit-like byte") << lit("\xB2"
                                                    "8")
                                             << 0 << false;
}

void TestReplyDecoder::countField()
{
    QFETCH(QByteArray, field);
    QFETCH(int, inputs);
    QFETCH(bool, accepted);

    // Bytes 8-9 of an 18-byte reply are its input count field.
    const QByteArray chunk = infoReply("B", "ABCDx" + field + "-16-PQRS");
    QCOMPARE(chunk.size(), 18);

    const StatusReply reply = decodeStatusReply(chunk, 16);
    QCOMPARE(reply.kind, StatusReply::DeviceInformation);
    QCOMPARE(reply.inputs, inputs);
    QCOMPARE(reply.outputs, 16);
    QCOMPARE(reply.countsAccepted, accepted);
}

// A reply that arrives in two reads is judged by its first part alone: from
// the eighth byte on it is an information reply, but only the whole reply
// places its count fields right.
void TestReplyDecoder::splitInformationReply_data()
{
    QTest::addColumn<int>("length");

    const QByteArray whole = infoReply("B", model8x16);
    for (int length = 0; length <= whole.size(); ++length)
        QTest::addRow("first %d bytes", length) << length;
}

void TestReplyDecoder::splitInformationReply()
{
    QFETCH(int, length);

    const QByteArray whole = infoReply("B", model8x16);
    const StatusReply reply = decodeStatusReply(whole.left(length), 8);

    if (length < 8) {
        QCOMPARE(reply.kind, StatusReply::Ignored);
        return;
    }
    QCOMPARE(reply.kind, StatusReply::DeviceInformation);
    QCOMPARE(reply.deviceLetter, QStringLiteral("B"));
    QCOMPARE(reply.model, QString(model8x16.left(length - 3)));
    QCOMPARE(reply.countsAccepted, length == whole.size());
}

void TestReplyDecoder::routingMap_data()
{
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<int>("outputCount");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QVector<int>>("sources");

    const QVector<int> none;

    QTest::newRow("4 outputs") << lit("A:03010204") << 4 << true << QVector<int> {3, 1, 2, 4};
    QTest::newRow("4 outputs, last digit missing") << lit("A:0301020") << 4 << false << none;
    QTest::newRow("4 outputs, one digit more") << lit("A:030102045") << 4 << false << none;
    QTest::newRow("4 outputs, one pair more") << lit("A:0301020405") << 4 << false << none;
    QTest::newRow("4 outputs, one pair fewer") << lit("A:030102") << 4 << false << none;
    QTest::newRow("4 outputs, '!' appended") << lit("A:03010204!") << 4 << false << none;
    QTest::newRow("4 outputs, CR LF appended") << lit("A:03010204\r\n") << 4 << false << none;
    QTest::newRow("4 outputs, CR LF in place of the last pair")
        << lit("A:030102\r\n") << 4 << false << none;
    QTest::newRow("entries with a leading zero are decimal")
        << lit("A:0809") << 2 << true << QVector<int> {8, 9};
    QTest::newRow("entries 00 and 99 kept as sent")
        << lit("A:0099") << 2 << true << QVector<int> {0, 99};
    QTest::newRow("one output") << lit("A:07") << 1 << true << QVector<int> {7};
    QTest::newRow("letter is not examined: NUL")
        << lit("\0:1020") << 2 << true << QVector<int> {10, 20};
    QTest::newRow("letter is not examined: digit")
        << lit("7:1020") << 2 << true << QVector<int> {10, 20};
    QTest::newRow("space inside a pair refuses the map") << lit("A:01 2") << 2 << false << none;
    QTest::newRow("sign inside a pair refuses the map") << lit("A:01+2") << 2 << false << none;
    QTest::newRow("NUL pair refuses the map") << lit("A:0102\0\0") << 3 << false << none;
    QTest::newRow("NUL-only map refused") << lit("A:\0\0") << 1 << false << none;
    QTest::newRow("NUL at the start refuses an otherwise long enough map") << lit("A:\0"
                                                                                  "102")
                                                                           << 2 << false << none;
    QTest::newRow("empty map while outputCount is 0") << lit("A:") << 0 << false << none;
    QTest::newRow("empty map while outputCount is negative") << lit("A:") << -1 << false << none;
    QTest::newRow("pairs while outputCount is negative") << lit("A:0102") << -1 << false << none;
    QTest::newRow("outputCount INT_MAX") << lit("A:0102") << INT_MAX << false << none;
    QTest::newRow("outputCount INT_MIN") << lit("A:0102") << INT_MIN << false << none;
    QTest::newRow("16 outputs, 34 bytes")
        << mapOf(spreadSources(16)) << 16 << true << spreadSources(16);
    QTest::newRow("16-output map while 8 outputs are known")
        << mapOf(spreadSources(16)) << 8 << false << none;
    QTest::newRow("72 outputs of the default configuration, 146 bytes")
        << mapOf(spreadSources(72)) << 72 << true << spreadSources(72);
    QTest::newRow("255 outputs, 512 bytes")
        << mapOf(spreadSources(255)) << 255 << true << spreadSources(255);
    QTest::newRow("255 outputs, one pair short")
        << mapOf(spreadSources(254)) << 255 << false << none;
    QTest::newRow("information reply with '!' appended, tried as a map")
        << infoReply("B", model8x16) + '!' << 8 << false << none;
    QTest::newRow("'4' instead of 0x04 makes an all-digit map")
        << lit("B:4123456789") << 5 << true << QVector<int> {41, 23, 45, 67, 89};
}

void TestReplyDecoder::routingMap()
{
    QFETCH(QByteArray, chunk);
    QFETCH(int, outputCount);
    QFETCH(bool, accepted);
    QFETCH(QVector<int>, sources);

    const StatusReply reply = decodeStatusReply(chunk, outputCount);
    QCOMPARE(reply.kind, accepted ? StatusReply::RoutingMap : StatusReply::Ignored);
    QCOMPARE(reply.sources, sources);
    QVERIFY(reply.deviceLetter.isEmpty());
    QVERIFY(reply.model.isEmpty());
    QCOMPARE(reply.countsAccepted, false);
}

void TestReplyDecoder::ignored_data()
{
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<int>("outputCount");

    QTest::newRow("empty") << QByteArray() << 4;
    QTest::newRow("one byte ':'") << lit(":") << 0;
    QTest::newRow("one byte letter") << lit("A") << 4;
    QTest::newRow("prefix alone with outputs known") << lit("A:") << 4;
    QTest::newRow("second byte ';' before a map") << lit("A;03010204") << 4;
    QTest::newRow("second byte NUL before a map") << lit("A\0"
                                                         "03010204")
                                                  << 4;
    QTest::newRow("colon first, not second") << lit(":A03010204") << 4;
    QTest::newRow("second byte not ':' before information") << lit("B-\x04") + model8x16 << 8;
    QTest::newRow("'4' in place of 0x04") << lit("B:4") + model8x16 << 8;
    QTest::newRow("'X' upper case in place of 'x'") << infoReply("B", "ABCDX08-16-PQRS") << 8;
    QTest::newRow("'x' one byte early") << infoReply("B", "ABCx08-16-PQRS") << 8;
    QTest::newRow("'x' one byte late") << infoReply("B", "ABCDEx08-16-PQRS") << 8;
    QTest::newRow("n=7, one byte short of the 'x'") << infoReply("B", "ABCD") << 8;
    QTest::newRow("information reply with '!' appended") << infoReply("B", model8x16) + '!' << 8;
    QTest::newRow("n=9 information candidate ending in '!'") << infoReply("B", "ABCDx!") << 3;
    QTest::newRow("a command echoed back") << lit("*?!") << 1;
    QTest::newRow("CR LF alone") << lit("\r\n") << 0;
}

void TestReplyDecoder::ignored()
{
    QFETCH(QByteArray, chunk);
    QFETCH(int, outputCount);

    const StatusReply reply = decodeStatusReply(chunk, outputCount);
    QCOMPARE(reply.kind, StatusReply::Ignored);
    QVERIFY(reply.sources.isEmpty());
    QVERIFY(reply.deviceLetter.isEmpty());
    QVERIFY(reply.model.isEmpty());
    QCOMPARE(reply.countsAccepted, false);
}

QTEST_APPLESS_MAIN(TestReplyDecoder)

#include "tst_replydecoder.moc"
