#include "matrix/replydecoder.h"

#include <QtTest>

namespace {

// A string literal as bytes, embedded NULs included.
template<int N> QByteArray lit(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

// "-" for an ignored chunk, "I letter|model|inputs|outputs|ok-or-no" for
// device information, "M e1,e2,..." for a routing map. Fields that do not
// belong to the kind are shown whenever they are set, so leaks show up too.
QString describe(const StatusReply &reply)
{
    QString text = QString("-IM").at(reply.kind);
    if (reply.kind == StatusReply::DeviceInformation || !reply.deviceLetter.isEmpty()
        || !reply.model.isEmpty() || reply.inputs || reply.outputs || reply.countsAccepted)
        text += ' ' + reply.deviceLetter + '|' + reply.model + '|' + QString::number(reply.inputs)
            + '|' + QString::number(reply.outputs) + (reply.countsAccepted ? "|ok" : "|no");
    QStringList sources;
    for (const int source : reply.sources)
        sources << QString::number(source);
    return sources.isEmpty() ? text : text + ' ' + sources.join(',');
}

const QByteArray info8x16 = "B:\004ABCDx08-16-PQRS";

} // namespace

class TestReplyDecoder : public QObject
{
    Q_OBJECT

private slots:
    void decode_data();
    void decode();
    void mapLength();
};

void TestReplyDecoder::decode_data()
{
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<int>("outputCount");
    QTest::addColumn<QString>("expected");

    QTest::newRow("18-byte information reply, 8 by 16, leading zero decimal")
        << info8x16 << 4 << "I B|ABCDx08-16-PQRS|8|16|ok";
    QTest::newRow("inputs 00 refused, letter and model still read")
        << lit("B:\004ABCDx00-16-PQRS") << 4 << "I B|ABCDx00-16-PQRS|0|16|no";
    QTest::newRow("outputs 00 refused")
        << lit("B:\004ABCDx08-00-PQRS") << 4 << "I B|ABCDx08-00-PQRS|8|0|no";
    QTest::newRow("'!' appended: neither information nor map") << info8x16 + '!' << 8 << "-";
    // Byte 7 lies beyond the chunk but is an 'x' in memory.
    QTest::newRow("n=7 ignored") << QByteArray::fromRawData(info8x16.constData(), 7) << 8 << "-";
    QTest::newRow("n=8, counts read from the start")
        << lit("B:\00434CDx") << 8 << "I B|34CDx|0|34|no";
    QTest::newRow("'4' in place of 0x04") << lit("B:4ABCDx08-16-PQRS") << 8 << "-";
    QTest::newRow("'X' in place of 'x'") << lit("B:\004ABCDX08-16-PQRS") << 8 << "-";
    QTest::newRow("NUL letter reads empty")
        << lit("\0:\004ABCDx08-16-PQRS") << 8 << "I |ABCDx08-16-PQRS|8|16|ok";
    QTest::newRow("model cut at NUL, counts still read")
        << lit("B:\004AB\0Dx08-16-PQRS") << 8 << "I B|AB|8|16|ok";
    QTest::newRow("information and map in one chunk: counts from the last ten bytes")
        << info8x16 + "B:01020304050607080910111213141516" << 8
        << "I B|ABCDx08-16-PQRSB:01020304050607080910111213141516|12|31|ok";
    QTest::newRow("count ' 8' reads 8")
        << lit("B:\004ABCDx 8-16-PQRS") << 8 << "I B|ABCDx 8-16-PQRS|8|16|ok";
    QTest::newRow("count '8x' reads 0")
        << lit("B:\004ABCDx8x-16-PQRS") << 8 << "I B|ABCDx8x-16-PQRS|0|16|no";
    QTest::newRow("4-output map") << lit("A:03010204") << 4 << "M 3,1,2,4";
    QTest::newRow("map entries 08 and 09 decimal, 00 kept") << lit("A:080900") << 3 << "M 8,9,0";
    QTest::newRow("map one digit short") << lit("A:0301020") << 4 << "-";
    QTest::newRow("map one digit more") << lit("A:030102045") << 4 << "-";
    QTest::newRow("map with '!'") << lit("A:03010204!") << 4 << "-";
    QTest::newRow("map with CR LF") << lit("A:03010204\r\n") << 4 << "-";
    QTest::newRow("NUL pair refuses the map") << lit("A:0102\0\0") << 3 << "-";
    QTest::newRow("empty map while outputCount is 0") << lit("A:") << 0 << "-";
    QTest::newRow("second byte not ':'") << lit("A;03010204") << 4 << "-";
    QTest::newRow("empty chunk") << QByteArray() << 0 << "-";
    QTest::newRow("one-byte chunk") << lit(":") << 0 << "-";
}

void TestReplyDecoder::decode()
{
    QFETCH(QByteArray, chunk);
    QFETCH(int, outputCount);
    QFETCH(QString, expected);
    QCOMPARE(describe(decodeStatusReply(chunk, outputCount)), expected);
}

void TestReplyDecoder::mapLength()
{
    // The length a reader waits for is the length the decoder accepts.
    for (const int outputs : {1, 4, 16, 72, 99}) {
        const QByteArray map = "A:" + QByteArray(2 * outputs, '1');
        QCOMPARE(routingMapLength(outputs), map.size());
        QCOMPARE(decodeStatusReply(map, outputs).kind, StatusReply::RoutingMap);
    }
    QCOMPARE(routingMapLength(72), 146);
}

QTEST_APPLESS_MAIN(TestReplyDecoder)

#include "tst_replydecoder.moc"
