// Cutting a link's byte stream into replies: by a map's length, by the map
// that follows a device-information reply, or when the link goes quiet.

#include "matrix/replyframer.h"

#include <QtTest>

namespace {

const QByteArray info4x4 = "A:\004HDMIx04-04-SIM0";
const QByteArray quiet = "<quiet>";

// "M A:..." for a map, "I ..." for device information, "- ..." for anything
// else; control bytes shown as \xNN.
QString shown(const ReplyFramer::Chunk &chunk)
{
    QString bytes;
    for (const char c : chunk.bytes)
        bytes += c >= ' ' && c < 0x7f ? QString(QLatin1Char(c))
                                      : QString::asprintf("\\x%02x", quint8(c));
    return QString("-IM").at(chunk.reply.kind) + ' ' + bytes;
}

} // namespace

class TestReplyFramer : public QObject
{
    Q_OBJECT

private slots:
    void cuts_data();
    void cuts();
};

void TestReplyFramer::cuts_data()
{
    QTest::addColumn<int>("outputCount");
    QTest::addColumn<QList<QByteArray>>("pieces"); // each appended, then taken; <quiet> ends
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QByteArray>("left");

    QTest::newRow("map at its length, the next one held")
        << 4 << QList<QByteArray> {"A:0301", "0204A:01"} << QStringList {"M A:03010204"}
        << QByteArray("A:01");
    QTest::newRow("information then map in one piece: the map's own counts")
        << 0 << QList<QByteArray> {info4x4 + "A:01020304"}
        << QStringList {"I A:\\x04HDMIx04-04-SIM0", "M A:01020304"} << QByteArray();
    QTest::newRow("information alone waits for quiet")
        << 16 << QList<QByteArray> {info4x4, "", quiet} << QStringList {"I A:\\x04HDMIx04-04-SIM0"}
        << QByteArray();
    QTest::newRow("information held while the map after it arrives")
        << 0 << QList<QByteArray> {info4x4 + "A:0102", "0304"}
        << QStringList {"I A:\\x04HDMIx04-04-SIM0", "M A:01020304"} << QByteArray();
    QTest::newRow("information then information")
        << 4 << QList<QByteArray> {info4x4 + info4x4.left(3), info4x4.mid(3), quiet}
        << QStringList {"I A:\\x04HDMIx04-04-SIM0", "I A:\\x04HDMIx04-04-SIM0"} << QByteArray();
    QTest::newRow("noise in front of a map")
        << 4 << QList<QByteArray> {QByteArray("\x01zz\xff", 4), "A:01020304"}
        << QStringList {"- \\x01zz\\xff", "M A:01020304"} << QByteArray();
    QTest::newRow("noise alone ends with quiet") << 4 << QList<QByteArray> {"\xfe\xfd", quiet}
                                                 << QStringList {"- \\xfe\\xfd"} << QByteArray();
    QTest::newRow("a map without a known count ends with quiet, undecoded")
        << 0 << QList<QByteArray> {"A:0102", quiet} << QStringList {"- A:0102"} << QByteArray();
    QTest::newRow("a short map after information is its own chunk at quiet")
        << 0 << QList<QByteArray> {info4x4 + "A:010203", quiet}
        << QStringList {"I A:\\x04HDMIx04-04-SIM0", "- A:010203"} << QByteArray();
    QTest::newRow("a map of unknown length ends where the information begins")
        << 0 << QList<QByteArray> {"A:01020304" + info4x4, quiet}
        << QStringList {"- A:01020304", "I A:\\x04HDMIx04-04-SIM0"} << QByteArray();
    QTest::newRow("information then a map of another client before the asked-for map")
        << 0 << QList<QByteArray> {info4x4 + "A:0102", "0304A:0909", "0909"}
        << QStringList {"I A:\\x04HDMIx04-04-SIM0", "M A:01020304", "M A:09090909"} << QByteArray();
    QTest::newRow("noise glued behind the information is not part of it")
        << 0 << QList<QByteArray> {info4x4 + "\x01zz", quiet}
        << QStringList {"I A:\\x04HDMIx04-04-SIM0", "- \\x01zz"} << QByteArray();
    QTest::newRow("noise glued behind a map ends it")
        << 4 << QList<QByteArray> {"A:0102\xff", "0304", quiet}
        << QStringList {"- A:0102", "- \\xff0304"} << QByteArray();
    QTest::newRow("unusable counts: the map behind is cut off at quiet")
        << 4 << QList<QByteArray> {"A:\004HDMIx00-04-SIM0A:01020304", "", quiet}
        << QStringList {"I A:\\x04HDMIx00-04-SIM0", "M A:01020304"} << QByteArray();
}

void TestReplyFramer::cuts()
{
    QFETCH(int, outputCount);
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QStringList, expected);
    QFETCH(QByteArray, left);
    ReplyFramer framer;
    framer.setOutputCount(outputCount);
    QStringList chunks;
    for (const QByteArray &piece : pieces) {
        const bool isQuiet = piece == quiet;
        if (!isQuiet)
            framer.append(piece);
        for (const ReplyFramer::Chunk &chunk : framer.take(isQuiet))
            chunks << shown(chunk);
    }
    QCOMPARE(chunks, expected);
    QCOMPARE(framer.pending(), left);
}

QTEST_APPLESS_MAIN(TestReplyFramer)
#include "tst_replyframer.moc"
