// Tests of the device model: framing, every command form of the vocabulary,
// refusals, and the replies read back the way the console reads them.

#include "sim/matrixdevice.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

using Outcome = MatrixDevice::Outcome;

// The console's reading of a device-information reply, written out here on
// its own so that the model's reply is checked against it rather than
// against itself.
struct ConsoleInfo
{
    bool recognised = false;
    char letter = 0;
    QByteArray model;
    int inputs = 0;
    int outputs = 0;
};

ConsoleInfo readInfoAsConsole(const QByteArray &r)
{
    ConsoleInfo info;
    const int n = r.size();
    if (n < 2 || r.at(1) != ':')
        return info;
    if (!(n > 7 && r.at(2) == '\x04' && r.at(7) == 'x' && !r.endsWith('!')))
        return info;
    info.recognised = true;
    info.letter = r.at(0);
    info.model = r.mid(3);
    // Shorter replies than ten bytes make the console fall back to its
    // defaults; none of ours is that short, so they are simply unreadable.
    if (n < 10)
        return info;
    info.inputs = r.mid(n - 10, 2).toInt();
    info.outputs = r.mid(n - 7, 2).toInt();
    return info;
}

// The console's reading of a routing map; empty when it would ignore it.
QVector<int> readMapAsConsole(const QByteArray &r, int outputCount)
{
    if (r.size() < 2 || r.at(1) != ':' || r.size() - 2 != 2 * outputCount || outputCount <= 0)
        return {};
    for (int i = 2; i < r.size(); ++i)
        if (r.at(i) < '0' || r.at(i) > '9')
            return {};
    QVector<int> routes;
    for (int j = 0; j < outputCount; ++j)
        routes << r.mid(2 + 2 * j, 2).toInt();
    return routes;
}

// One field of the device state, as text, so that data tables can name it.
QString probe(const MatrixDevice &d, const QString &field)
{
    const QStringList parts = field.split(QLatin1Char('.'));
    const int port = parts[0].mid(1).toInt();
    const QString what = parts[1];
    if (parts[0].startsWith(QLatin1Char('O'))) {
        const MatrixDevice::OutputCard c = d.outputCard(port);
        if (what == QLatin1String("resolution"))
            return QString::fromLatin1(c.resolution);
        if (what == QLatin1String("mode"))
            return QString::fromLatin1(c.mode);
        if (what == QLatin1String("seamless"))
            return QString::number(c.seamless);
        if (what == QLatin1String("drive"))
            return QString::fromLatin1(c.drive);
        if (what == QLatin1String("brightness"))
            return QString::number(c.brightness);
        if (what == QLatin1String("wall"))
            return QStringLiteral("%1 %2 %3 %4")
                .arg(c.wall.across)
                .arg(c.wall.down)
                .arg(c.wall.column)
                .arg(c.wall.row);
    } else {
        const MatrixDevice::InputCard c = d.inputCard(port);
        if (what == QLatin1String("resolution"))
            return QString::fromLatin1(c.resolution);
        if (what == QLatin1String("resolutionNumber"))
            return QString::number(c.resolutionNumber);
        if (what == QLatin1String("source"))
            return QString::fromLatin1(c.source);
        if (what == QLatin1String("brightness"))
            return QString::number(c.brightness);
        if (what == QLatin1String("edid"))
            return QStringLiteral("preset %1 keyword %2 copy %3")
                .arg(c.edidPreset)
                .arg(QString::fromLatin1(c.edidKeyword))
                .arg(c.edidCopyMonitor);
    }
    return QStringLiteral("?");
}

// Outcome as comparable text: kind, understood, bytes, reply.
QString summary(const Outcome &o)
{
    const char kind = o.kind == Outcome::Command ? 'C' : o.kind == Outcome::Incomplete ? 'I' : 'G';
    return QStringLiteral("%1%2 %3 -> %4")
        .arg(QLatin1Char(kind))
        .arg(o.understood ? QLatin1Char('+') : QLatin1Char('-'))
        .arg(QString::fromLatin1(o.bytes.toHex()), QString::fromLatin1(o.reply.toHex()));
}

QStringList summaries(const QVector<Outcome> &outcomes)
{
    QStringList out;
    for (const Outcome &o : outcomes)
        out << summary(o);
    return out;
}

} // namespace

class TstMatrixDevice : public QObject
{
    Q_OBJECT

private slots:
    void infoReplyReadsBackAsConsole_data();
    void infoReplyReadsBackAsConsole();
    void routingMapReadsBackAsConsole_data();
    void routingMapReadsBackAsConsole();
    void cardAndCodeCommandsSetTheCard_data();
    void cardAndCodeCommandsSetTheCard();
    void refusedCommandsChangeNothing_data();
    void refusedCommandsChangeNothing();
    void framingOutcomes_data();
    void framingOutcomes();
    void framingIsIndependentOfSplits_data();
    void framingIsIndependentOfSplits();
    void sessionsFrameIndependently();
    void flushRecordsWhatIsLeft();
    void plansSaveAndRecallRouting();
    void changePortNumberTakesOutputsFirst();
    void shrinkingInputsResetsOrphanedRoutes();
    void edidCopySplit_data();
    void edidCopySplit();
    void edidKindsReplaceEachOther();
    void recordsKeepEveryOutcome();
};

// ---------------------------------------------------------------- replies

void TstMatrixDevice::infoReplyReadsBackAsConsole_data()
{
    QTest::addColumn<int>("inputs");
    QTest::addColumn<int>("outputs");
    QTest::addColumn<char>("letter");

    QTest::newRow("1x1, smallest") << 1 << 1 << 'A';
    QTest::newRow("9x72, single-digit inputs") << 9 << 72 << 'B';
    QTest::newRow("16x16, default") << 16 << 16 << 'A';
    QTest::newRow("72x1") << 72 << 1 << 'G';
    QTest::newRow("99x99, largest two-digit") << 99 << 99 << 'H';
}

void TstMatrixDevice::infoReplyReadsBackAsConsole()
{
    QFETCH(int, inputs);
    QFETCH(int, outputs);
    QFETCH(char, letter);

    MatrixDevice device(inputs, outputs, letter);
    const Outcome o = device.handleCommand("*?!");
    QVERIFY(o.understood);
    QCOMPARE(o.reply, device.infoReply());

    const ConsoleInfo info = readInfoAsConsole(o.reply);
    QVERIFY2(info.recognised, o.reply.toHex().constData());
    QCOMPARE(info.letter, letter);
    QCOMPARE(info.inputs, inputs);
    QCOMPARE(info.outputs, outputs);
    QCOMPARE(info.model, device.modelText());
    QVERIFY(!info.model.contains('\0'));
    // Nothing must tempt the console into reading it as a routing map.
    QVERIFY(readMapAsConsole(o.reply, outputs).isEmpty());
}

void TstMatrixDevice::routingMapReadsBackAsConsole_data()
{
    QTest::addColumn<int>("inputs");
    QTest::addColumn<int>("outputs");
    QTest::addColumn<QByteArrayList>("commands");
    QTest::addColumn<QVector<int>>("routes");

    QTest::newRow("power-on 4x4: output k from input k")
        << 4 << 4 << QByteArrayList {} << QVector<int> {1, 2, 3, 4};
    QTest::newRow("power-on 2x4: outputs without own input from input 1")
        << 2 << 4 << QByteArrayList {} << QVector<int> {1, 2, 1, 1};
    QTest::newRow("switch output 3 to input 12, output first")
        << 16 << 4 << QByteArrayList {"*3<12!"} << QVector<int> {1, 2, 12, 4};
    QTest::newRow("leading zeros accepted")
        << 16 << 4 << QByteArrayList {"*004<0007!"} << QVector<int> {1, 2, 3, 7};
    QTest::newRow("later switch of the same output wins")
        << 8 << 2 << QByteArrayList {"*2<5!", "*2<8!", "*1<2!"} << QVector<int> {2, 8};
    QTest::newRow("72 outputs, two digits each") << 72 << 72 << QByteArrayList {"*72<9!"} << [] {
        QVector<int> r;
        for (int k = 1; k <= 71; ++k)
            r << k;
        return r << 9;
    }();
}

void TstMatrixDevice::routingMapReadsBackAsConsole()
{
    QFETCH(int, inputs);
    QFETCH(int, outputs);
    QFETCH(QByteArrayList, commands);
    QFETCH(QVector<int>, routes);

    MatrixDevice device(inputs, outputs, 'D');
    QByteArray lastReply;
    for (const QByteArray &c : commands) {
        const Outcome o = device.handleCommand(c);
        QVERIFY2(o.understood, qPrintable(o.description));
        lastReply = o.reply;
        QCOMPARE(readMapAsConsole(o.reply, outputs), device.routing());
    }
    const Outcome query = device.handleCommand("*!");
    QVERIFY(query.understood);
    QCOMPARE(query.reply.left(2), QByteArray("D:"));
    QCOMPARE(query.reply.size(), 2 + 2 * outputs);
    QVERIFY(!query.reply.endsWith('!'));
    QCOMPARE(readMapAsConsole(query.reply, outputs), routes);
    QCOMPARE(device.routing(), routes);
    // A routing map must never pass for a device-information reply.
    QVERIFY(!readInfoAsConsole(query.reply).recognised);
}

// ---------------------------------------------------------------- vocabulary

void TstMatrixDevice::cardAndCodeCommandsSetTheCard_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");

    const QString res = QStringLiteral("O4.resolution");
    // Output resolutions: the keyword form and the code form (address 68 is output 4).
    const struct
    {
        const char *keyword;
        const char *code;
    } outRes[] = {
        {"SET1080P60", "240"},  {"SET1080P50", "241"},   {"SET720P60", "242"},
        {"SET720P50", "243"},   {"SET1280x1024", "244"}, {"SET1366x768", "245"},
        {"SET1280x800", "246"}, {"SET1680x1050", "247"}, {"SET1440x900", "248"},
        {"SET1024x768", "249"}, {"SET480P60", "251"},    {"SET1080P30", "252"},
        {"SET720P30", "253"},
    };
    for (const auto &r : outRes) {
        QTest::addRow("output %s keyword", r.keyword)
            << QByteArray("*>O4 ") + r.keyword + " END!" << res << QString::fromLatin1(r.keyword);
        QTest::addRow("output %s code %s", r.keyword, r.code)
            << QByteArray("*@68,") + r.code + "!" << res << QString::fromLatin1(r.keyword);
    }
    QTest::newRow("output port text with leading zeros")
        << QByteArray("*>O007 SET720P30 END!") << "O7.resolution"
        << "SET720P30";
    QTest::newRow("output 72 by code address 136") << QByteArray("*@136,240!") << "O72.resolution"
                                                   << "SET1080P60";
    QTest::newRow("output 1 by code address 65") << QByteArray("*@65,253!") << "O1.resolution"
                                                 << "SET720P30";

    QTest::newRow("mode HDMIMOD") << QByteArray("*>O4 HDMIMOD END!") << "O4.mode"
                                  << "HDMIMOD";
    QTest::newRow("mode code 238") << QByteArray("*@68,238!") << "O4.mode"
                                   << "HDMIMOD";
    QTest::newRow("mode DVIMOD") << QByteArray("*>O4 DVIMOD END!") << "O4.mode"
                                 << "DVIMOD";
    QTest::newRow("mode code 239") << QByteArray("*@68,239!") << "O4.mode"
                                   << "DVIMOD";
    QTest::newRow("mode OUTYPBPR") << QByteArray("*>O4 OUTYPBPR END!") << "O4.mode"
                                   << "OUTYPBPR";
    QTest::newRow("mode OUTRGB") << QByteArray("*>O4 OUTRGB END!") << "O4.mode"
                                 << "OUTRGB";
    QTest::newRow("mode OUTFOURCE") << QByteArray("*>O4 OUTFOURCE END!") << "O4.mode"
                                    << "OUTFOURCE";
    QTest::newRow("mode 0072 as typed") << QByteArray("*>O0072 HDMIMOD END!") << "O72.mode"
                                        << "HDMIMOD";

    QTest::newRow("seamless DISMODE 1") << QByteArray("*>O4 DISMODE 1 END!") << "O4.seamless"
                                        << "1";
    QTest::newRow("seamless code 234") << QByteArray("*@68,234!") << "O4.seamless"
                                       << "1";
    QTest::newRow("not seamless DISMODE 0") << QByteArray("*>O4 DISMODE 0 END!") << "O4.seamless"
                                            << "0";
    QTest::newRow("not seamless code 235") << QByteArray("*@68,235!") << "O4.seamless"
                                           << "0";

    QTest::newRow("drive TERON") << QByteArray("*>O4 TERON END!") << "O4.drive"
                                 << "TERON";
    QTest::newRow("drive code 236") << QByteArray("*@68,236!") << "O4.drive"
                                    << "TERON";
    QTest::newRow("drive TEROFF") << QByteArray("*>O4 TEROFF END!") << "O4.drive"
                                  << "TEROFF";
    QTest::newRow("drive code 237") << QByteArray("*@68,237!") << "O4.drive"
                                    << "TEROFF";
    QTest::newRow("drive TERNONE") << QByteArray("*>O4 TERNONE END!") << "O4.drive"
                                   << "TERNONE";

    QTest::newRow("output brightness 10") << QByteArray("*>O72 SETLD 10 END!") << "O72.brightness"
                                          << "10";
    QTest::newRow("output brightness 200") << QByteArray("*>O4 SETLD 200 END!") << "O4.brightness"
                                           << "200";
    QTest::newRow("output brightness 080 as typed")
        << QByteArray("*>O4 SETLD 080 END!") << "O4.brightness"
        << "80";

    QTest::newRow("wall 2x2 column 2 row 1")
        << QByteArray("*>O4 OUTSPLIT 2 2 2 1 END!") << "O4.wall"
        << "2 2 2 1";
    QTest::newRow("wall all 1") << QByteArray("*>O1 OUTSPLIT 1 1 1 1 END!") << "O1.wall"
                                << "1 1 1 1";
    QTest::newRow("wall 16x9 corner") << QByteArray("*>O1 OUTSPLIT 16 9 16 9 END!") << "O1.wall"
                                      << "16 9 16 9";

    const char *const inRes[]
        = {"SET1080P60",  "SET720P60",    "SET480P60",   "SET1024x768", "SET1366x768",
           "SET1280x800", "SET1280x1024", "SET1440x900", "SET1680x1050"};
    for (const char *r : inRes)
        QTest::addRow("input %s", r) << QByteArray("*>I4 ") + r + " END!"
                                     << "I4.resolution" << QString::fromLatin1(r);
    for (int n = 1; n <= 4; ++n)
        QTest::addRow("input OUTRES %d", n)
            << QByteArray("*>I72 OUTRES ") + QByteArray::number(n) + " END!"
            << "I72.resolutionNumber" << QString::number(n);

    QTest::newRow("source SRCHDMI") << QByteArray("*>I4 SRCHDMI END!") << "I4.source"
                                    << "SRCHDMI";
    QTest::newRow("source code 224") << QByteArray("*@4,224!") << "I4.source"
                                     << "SRCHDMI";
    QTest::newRow("source SRCVGA") << QByteArray("*>I4 SRCVGA END!") << "I4.source"
                                   << "SRCVGA";
    QTest::newRow("source code 225") << QByteArray("*@4,225!") << "I4.source"
                                     << "SRCVGA";
    QTest::newRow("source SRCCVBS") << QByteArray("*>I4 SRCCVBS END!") << "I4.source"
                                    << "SRCCVBS";
    QTest::newRow("source code 226") << QByteArray("*@4,226!") << "I4.source"
                                     << "SRCCVBS";
    QTest::newRow("source SRCYPBPR") << QByteArray("*>I4 SRCYPBPR END!") << "I4.source"
                                     << "SRCYPBPR";
    QTest::newRow("source code 227") << QByteArray("*@4,227!") << "I4.source"
                                     << "SRCYPBPR";
    QTest::newRow("source code, input address 04 as typed")
        << QByteArray("*@04,224!") << "I4.source"
        << "SRCHDMI";
    QTest::newRow("source code, input 72 is not offset") << QByteArray("*@72,226!") << "I72.source"
                                                         << "SRCCVBS";

    QTest::newRow("input brightness 200") << QByteArray("*>I1 SETLD 200 END!") << "I1.brightness"
                                          << "200";
    QTest::newRow("input brightness 10") << QByteArray("*>I4 SETLD 10 END!") << "I4.brightness"
                                         << "10";

    const struct
    {
        const char *code;
        const char *preset;
    } presets[] = {{"01", "1"}, {"02", "2"}, {"03", "3"}, {"05", "5"},
                   {"06", "6"}, {"07", "7"}, {"08", "8"}};
    for (const auto &p : presets)
        QTest::addRow("EDID preset %s", p.code)
            << QByteArray("*S4") + p.code + "!"
            << "I4.edid"
            << QStringLiteral("preset %1 keyword  copy 0").arg(QLatin1String(p.preset));
    QTest::newRow("EDID preset, input 04 as typed") << QByteArray("*S0403!") << "I4.edid"
                                                    << "preset 3 keyword  copy 0";
    QTest::newRow("EDID preset, input 72") << QByteArray("*S7202!") << "I72.edid"
                                           << "preset 2 keyword  copy 0";
    const char *const edidKeywords[] = {"EDIDDVI1366X768", "EDIDSAMSUNG",      "EDIDHDMI1080P",
                                        "EDIDHDMI4K2K",    "EDIDHDMI1366X768", "EDID3D4K2K"};
    for (const char *k : edidKeywords)
        QTest::addRow("EDID keyword %s", k)
            << QByteArray("*>I4 ") + k + " END!"
            << "I4.edid" << QStringLiteral("preset 0 keyword %1 copy 0").arg(QLatin1String(k));
    QTest::newRow("EDID copy 4 from 5") << QByteArray("*E45!") << "I4.edid"
                                        << "preset 0 keyword  copy 5";
    QTest::newRow("CPEDID monitor first") << QByteArray("*:5 CPEDID 4!") << "I4.edid"
                                          << "preset 0 keyword  copy 5";
}

void TstMatrixDevice::cardAndCodeCommandsSetTheCard()
{
    QFETCH(QByteArray, command);
    QFETCH(QString, field);
    QFETCH(QString, value);

    // 72 x 72: every port the console can address exists.
    MatrixDevice device(72, 72);
    QVERIFY2(probe(device, field) != value, "the row must describe a change");
    const MatrixDevice::State before = device.state();

    const Outcome o = device.handleCommand(command);
    QVERIFY2(o.understood, qPrintable(o.description));
    QVERIFY(o.reply.isEmpty());
    QCOMPARE(probe(device, field), value);
    QCOMPARE(device.state().routing, before.routing);
    QCOMPARE(device.inputCount(), 72);
    QCOMPARE(device.outputCount(), 72);
}

void TstMatrixDevice::refusedCommandsChangeNothing_data()
{
    QTest::addColumn<QByteArray>("command");

    // Card frame.
    QTest::newRow("card letter X") << QByteArray("*>X4 SET1080P60 END!");
    QTest::newRow("card letter lower case") << QByteArray("*>o4 SET1080P60 END!");
    QTest::newRow("output port 100") << QByteArray("*>O100 SET1080P60 END!");
    QTest::newRow("output port beyond the 16 outputs") << QByteArray("*>O17 SET1080P60 END!");
    QTest::newRow("input port 0") << QByteArray("*>I0 SRCVGA END!");
    QTest::newRow("input port beyond the 16 inputs") << QByteArray("*>I50 SRCVGA END!");
    QTest::newRow("port with plus sign") << QByteArray("*>O+4 SETLD 100 END!");
    QTest::newRow("port missing") << QByteArray("*>O SET1080P60 END!");
    QTest::newRow("END missing") << QByteArray("*>O4 SET1080P60!");
    QTest::newRow("END glued to keyword") << QByteArray("*>O4 SET1080P60END!");
    QTest::newRow("END lower case") << QByteArray("*>O4 SET1080P60 end!");
    QTest::newRow("keyword missing") << QByteArray("*>O4 END!");
    QTest::newRow("double space") << QByteArray("*>O4  SET1080P60 END!");
    QTest::newRow("space before bang") << QByteArray("*>O4 SET1080P60 END !");
    // Keywords.
    QTest::newRow("unknown keyword") << QByteArray("*>O4 SET1080P61 END!");
    QTest::newRow("EDID keyword with lower x") << QByteArray("*>I4 EDIDDVI1366x768 END!");
    QTest::newRow("resolution with capital X") << QByteArray("*>O4 SET1024X768 END!");
    QTest::newRow("50 Hz resolution on an input card") << QByteArray("*>I4 SET1080P50 END!");
    QTest::newRow("30 Hz resolution on an input card") << QByteArray("*>I4 SET720P30 END!");
    QTest::newRow("source keyword on an output card") << QByteArray("*>O4 SRCVGA END!");
    QTest::newRow("EDID keyword on an output card") << QByteArray("*>O4 EDIDSAMSUNG END!");
    QTest::newRow("OUTRES on an output card") << QByteArray("*>O4 OUTRES 1 END!");
    QTest::newRow("mode keyword on an input card") << QByteArray("*>I4 HDMIMOD END!");
    QTest::newRow("drive keyword on an input card") << QByteArray("*>I4 TERON END!");
    QTest::newRow("DISMODE on an input card") << QByteArray("*>I4 DISMODE 1 END!");
    QTest::newRow("OUTSPLIT on an input card") << QByteArray("*>I4 OUTSPLIT 1 1 1 1 END!");
    QTest::newRow("keyword with an unexpected argument") << QByteArray("*>O4 TERON 1 END!");
    QTest::newRow("DISMODE 2") << QByteArray("*>O4 DISMODE 2 END!");
    QTest::newRow("DISMODE without argument") << QByteArray("*>O4 DISMODE END!");
    QTest::newRow("OUTRES 0") << QByteArray("*>I4 OUTRES 0 END!");
    QTest::newRow("OUTRES 5") << QByteArray("*>I4 OUTRES 5 END!");
    QTest::newRow("brightness 9") << QByteArray("*>O4 SETLD 9 END!");
    QTest::newRow("brightness 201") << QByteArray("*>I4 SETLD 201 END!");
    QTest::newRow("brightness not a number") << QByteArray("*>I4 SETLD 1a0 END!");
    QTest::newRow("brightness with plus sign") << QByteArray("*>O4 SETLD +80 END!");
    QTest::newRow("brightness missing") << QByteArray("*>O4 SETLD END!");
    // Wall.
    QTest::newRow("wall column beyond screens across") << QByteArray("*>O1 OUTSPLIT 1 1 16 1 END!");
    QTest::newRow("wall row beyond screens down") << QByteArray("*>O1 OUTSPLIT 2 2 1 3 END!");
    QTest::newRow("wall 17 screens across") << QByteArray("*>O1 OUTSPLIT 17 1 1 1 END!");
    QTest::newRow("wall with three numbers") << QByteArray("*>O1 OUTSPLIT 2 2 1 END!");
    // Code commands.
    QTest::newRow("code 250, no resolution") << QByteArray("*@68,250!");
    QTest::newRow("code 228, below the output codes") << QByteArray("*@4,228!");
    QTest::newRow("code 233") << QByteArray("*@68,233!");
    QTest::newRow("code 254") << QByteArray("*@68,254!");
    QTest::newRow("output code at an input address") << QByteArray("*@4,240!");
    QTest::newRow("output code at address 64, output 0") << QByteArray("*@64,240!");
    QTest::newRow("output code beyond the 16 outputs") << QByteArray("*@81,240!");
    QTest::newRow("input code beyond the 16 inputs") << QByteArray("*@68,224!");
    QTest::newRow("input code at address 0") << QByteArray("*@0,224!");
    QTest::newRow("code of two digits") << QByteArray("*@68,24!");
    QTest::newRow("code of four digits") << QByteArray("*@68,2400!");
    QTest::newRow("code without comma") << QByteArray("*@68240!");
    QTest::newRow("code without address") << QByteArray("*@,240!");
    // EDID.
    QTest::newRow("EDID preset 04 is not one") << QByteArray("*S404!");
    QTest::newRow("EDID preset 00") << QByteArray("*S400!");
    QTest::newRow("EDID preset for input 0") << QByteArray("*S001!");
    QTest::newRow("EDID preset without input") << QByteArray("*S01!");
    QTest::newRow("EDID preset not digits") << QByteArray("*S4a01!");
    QTest::newRow("EDID copy without numbers") << QByteArray("*E!");
    QTest::newRow("EDID copy with one digit") << QByteArray("*E4!");
    QTest::newRow("EDID copy 0 from 0") << QByteArray("*E00!");
    QTest::newRow("EDID copy with no split in range") << QByteArray("*E999!");
    QTest::newRow("EDID copy not digits") << QByteArray("*E4x5!");
    QTest::newRow("CPEDID monitor 0") << QByteArray("*:0 CPEDID 4!");
    QTest::newRow("CPEDID input 0") << QByteArray("*:5 CPEDID 0!");
    QTest::newRow("CPEDID input beyond the 16 inputs") << QByteArray("*:5 CPEDID 17!");
    QTest::newRow("CPEDID without input") << QByteArray("*:5 CPEDID!");
    // Plans and port count.
    QTest::newRow("save plan 31") << QByteArray("*: SAVEPLAN 31!");
    QTest::newRow("save plan 0") << QByteArray("*: SAVEPLAN 0!");
    QTest::newRow("save plan 1a") << QByteArray("*: SAVEPLAN 1a!");
    QTest::newRow("save plan +5") << QByteArray("*: SAVEPLAN +5!");
    QTest::newRow("save plan without space after colon") << QByteArray("*:SAVEPLAN 5!");
    QTest::newRow("save plan with number after colon") << QByteArray("*:3 SAVEPLAN 5!");
    QTest::newRow("call plan 31") << QByteArray("*: CALLPLAN 31!");
    QTest::newRow("call plan never saved") << QByteArray("*: CALLPLAN 7!");
    QTest::newRow("port count 0 outputs") << QByteArray("*:0 CHANGEPORTNUMBER 8!");
    QTest::newRow("port count 100 inputs") << QByteArray("*:8 CHANGEPORTNUMBER 100!");
    QTest::newRow("port count without outputs") << QByteArray("*: CHANGEPORTNUMBER 8!");
    QTest::newRow("port count with plus sign") << QByteArray("*:8 CHANGEPORTNUMBER +8!");
    QTest::newRow("unknown device keyword") << QByteArray("*:5 RESET 4!");
    // Switch.
    QTest::newRow("switch output 0") << QByteArray("*0<1!");
    QTest::newRow("switch output beyond the 16 outputs") << QByteArray("*17<1!");
    QTest::newRow("switch input 0") << QByteArray("*1<0!");
    QTest::newRow("switch input beyond the 16 inputs") << QByteArray("*1<17!");
    QTest::newRow("switch with two arrows") << QByteArray("*1<2<3!");
    QTest::newRow("switch the wrong way round") << QByteArray("*1>2!");
    QTest::newRow("switch with space") << QByteArray("*1 <2!");
    QTest::newRow("switch with huge number") << QByteArray("*1<99999999999999999999!");
    // Other.
    QTest::newRow("unknown command letter") << QByteArray("*X!");
    QTest::newRow("two question marks") << QByteArray("*?"
                                                      "?!");
    QTest::newRow("query with space") << QByteArray("* !");
}

void TstMatrixDevice::refusedCommandsChangeNothing()
{
    QFETCH(QByteArray, command);

    MatrixDevice device(16, 16);
    // Some state to lose: a non-default route and a saved plan 1.
    QVERIFY(device.handleCommand("*2<9!").understood);
    QVERIFY(device.handleCommand("*: SAVEPLAN 1!").understood);
    const MatrixDevice::State before = device.state();

    const Outcome o = device.handleCommand(command);
    QVERIFY2(!o.understood, qPrintable(o.description));
    QVERIFY(!o.description.isEmpty());
    QVERIFY(o.reply.isEmpty());
    QVERIFY(device.state() == before);
    QCOMPARE(device.records().last().bytes, command);
}

// ---------------------------------------------------------------- framing

void TstMatrixDevice::framingOutcomes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("expected"); // kind letter, then the bytes

    QTest::newRow("garbage ends at the next star")
        << QByteArray("xyz*?!") << QStringList {"G xyz", "C *?!"};
    QTest::newRow("line feed ends a garbage run") << QByteArray("ab\ncd") << QStringList {"G ab\n"};
    QTest::newRow("CR LF after a command is garbage")
        << QByteArray("*!\r\n") << QStringList {"C *!", "G \r\n"};
    QTest::newRow("bang outside a command is garbage")
        << QByteArray("!*!") << QStringList {"G !", "C *!"};
    QTest::newRow("star inside a command abandons it")
        << QByteArray("*>O4 SET*?!") << QStringList {"I *>O4 SET", "C *?!"};
    QTest::newRow("two commands back to back")
        << QByteArray("*@68,240!*>O4 SET1080P60 END!")
        << QStringList {"C *@68,240!", "C *>O4 SET1080P60 END!"};
    QTest::newRow("unfinished command waits") << QByteArray("*>O4 SET1080P60 EN") << QStringList {};
    QTest::newRow("garbage run cut at 64 bytes")
        << QByteArray(70, 'x')
        << QStringList {QStringLiteral("G ") + QString(64, QLatin1Char('x'))};
    QTest::newRow("overlong command abandoned at 256 bytes")
        << QByteArray("*") + QByteArray(300, 'A') + "!"
        << QStringList {QStringLiteral("I *") + QString(255, QLatin1Char('A'))};
    QTest::newRow("NUL and high bytes are garbage")
        << QByteArray("\x00\xff*!", 4)
        << QStringList {QStringLiteral("G ") + QString::fromLatin1("\x00\xff", 2), "C *!"};
}

void TstMatrixDevice::framingOutcomes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, expected);

    MatrixDevice device;
    MatrixDevice::Session session;
    QStringList got;
    for (const Outcome &o : device.feed(session, bytes)) {
        const char kind = o.kind == Outcome::Command ? 'C'
            : o.kind == Outcome::Incomplete          ? 'I'
                                                     : 'G';
        got << QString(QLatin1Char(kind)) + QLatin1Char(' ')
                + QString::fromLatin1(o.bytes.constData(), o.bytes.size());
        if (o.kind != Outcome::Command)
            QVERIFY(!o.understood);
    }
    QCOMPARE(got, expected);
}

void TstMatrixDevice::framingIsIndependentOfSplits_data()
{
    QTest::addColumn<QByteArray>("script");

    QTest::newRow("console session") << QByteArray(
        "*?!*!*3<12!*@68,240!*>O4 SET1080P60 END!*>I04 OUTRES 1 END!"
        "*>I04 SET1080P60 END!*@04,224!*>I04 SRCHDMI END!*S402!*>I4 EDIDSAMSUNG END!"
        "*E45!*:5 CPEDID 4!*: SAVEPLAN 5!*1<1!*: CALLPLAN 5!*>O4 OUTSPLIT 2 2 2 1 END!"
        "*:8 CHANGEPORTNUMBER 16!*!");
    QByteArray rough("junk\n*?!\r\n*>O4 SET*>O4 FOO END!*@68,250!xx*0<1!*: CALLPLAN 9!\xff");
    rough += '\0';
    rough += "*!yy";
    QTest::newRow("garbage, refusals and an abandoned command") << rough;
}

void TstMatrixDevice::framingIsIndependentOfSplits()
{
    QFETCH(QByteArray, script);

    MatrixDevice whole;
    MatrixDevice::Session wholeSession;
    const QStringList reference = summaries(whole.feed(wholeSession, script));
    QVERIFY(reference.size() > 5);

    auto replay = [&](const QList<QByteArray> &pieces, const QString &how) {
        MatrixDevice device;
        MatrixDevice::Session session;
        QVector<Outcome> outcomes;
        for (const QByteArray &p : pieces)
            outcomes += device.feed(session, p);
        const QStringList got = summaries(outcomes);
        if (got != reference || device.state() != whole.state()) {
            qWarning() << "split" << how;
            return false;
        }
        return session.pendingBytes() == wholeSession.pendingBytes();
    };

    for (int at = 0; at <= script.size(); ++at)
        QVERIFY(replay({script.left(at), script.mid(at)}, QStringLiteral("at %1").arg(at)));

    QList<QByteArray> bytes;
    for (int i = 0; i < script.size(); ++i)
        bytes << script.mid(i, 1);
    QVERIFY(replay(bytes, QStringLiteral("byte by byte")));

    QRandomGenerator random(4711);
    for (int round = 0; round < 200; ++round) {
        QList<QByteArray> pieces;
        for (int i = 0; i < script.size();) {
            const int n = random.bounded(1, 12);
            pieces << script.mid(i, n);
            i += n;
        }
        QVERIFY(replay(pieces, QStringLiteral("random round %1").arg(round)));
    }
}

void TstMatrixDevice::sessionsFrameIndependently()
{
    MatrixDevice device(16, 16);
    MatrixDevice::Session a;
    MatrixDevice::Session b;
    // Interleaved halves: each connection's half command must not be
    // completed by the other's bytes.
    QVERIFY(device.feed(a, "*3<").isEmpty());
    QVERIFY(device.feed(b, "*?").isEmpty());
    const QVector<Outcome> fromA = device.feed(a, "12!");
    const QVector<Outcome> fromB = device.feed(b, "!");
    QCOMPARE(fromA.size(), 1);
    QCOMPARE(fromA.first().bytes, QByteArray("*3<12!"));
    QVERIFY(fromA.first().understood);
    QCOMPARE(fromB.size(), 1);
    QCOMPARE(fromB.first().reply, device.infoReply());
    // ...while the state is shared.
    QCOMPARE(device.routeOf(3), 12);
}

void TstMatrixDevice::flushRecordsWhatIsLeft()
{
    MatrixDevice device;
    MatrixDevice::Session s;
    device.feed(s, "*>O4 SET");
    QVERIFY(s.inCommand());
    QVector<Outcome> left = device.flush(s);
    QCOMPARE(left.size(), 1);
    QCOMPARE(left.first().kind, Outcome::Incomplete);
    QCOMPARE(left.first().bytes, QByteArray("*>O4 SET"));
    QVERIFY(!s.inCommand());

    device.feed(s, "abc");
    left = device.flush(s);
    QCOMPARE(left.size(), 1);
    QCOMPARE(left.first().kind, Outcome::Garbage);
    QCOMPARE(left.first().bytes, QByteArray("abc"));
    QVERIFY(device.flush(s).isEmpty());
    // A flushed session starts clean: "!" alone does not end a command.
    QCOMPARE(device.feed(s, "!*!").size(), 2);
}

// ---------------------------------------------------------------- device commands

void TstMatrixDevice::plansSaveAndRecallRouting()
{
    MatrixDevice device(16, 4);
    QVERIFY(device.handleCommand("*1<9!").understood);
    QVERIFY(device.handleCommand("*: SAVEPLAN 5!").understood);
    QVERIFY(device.handleCommand("*1<2!").understood);
    QVERIFY(device.handleCommand("*4<16!").understood);
    QVERIFY(device.handleCommand("*: SAVEPLAN 30!").understood);
    QCOMPARE(device.plan(5), (QVector<int> {9, 2, 3, 4}) + device.state().routing.mid(4));

    const Outcome call = device.handleCommand("*: CALLPLAN 05!");
    QVERIFY2(call.understood, qPrintable(call.description));
    QCOMPARE(device.routing(), (QVector<int> {9, 2, 3, 4}));
    QCOMPARE(readMapAsConsole(call.reply, 4), (QVector<int> {9, 2, 3, 4}));

    QVERIFY(device.handleCommand("*: CALLPLAN 30!").understood);
    QCOMPARE(device.routing(), (QVector<int> {2, 2, 3, 16}));
    // Saving gives no reply: only the map-producing commands answer.
    QVERIFY(device.handleCommand("*: SAVEPLAN 1!").reply.isEmpty());
}

void TstMatrixDevice::changePortNumberTakesOutputsFirst()
{
    MatrixDevice device(16, 16, 'E');
    const Outcome o = device.handleCommand("*:8 CHANGEPORTNUMBER 72!");
    QVERIFY2(o.understood, qPrintable(o.description));
    QCOMPARE(device.inputCount(), 72);
    QCOMPARE(device.outputCount(), 8);
    const ConsoleInfo info = readInfoAsConsole(o.reply);
    QVERIFY(info.recognised);
    QCOMPARE(info.letter, 'E');
    QCOMPARE(info.inputs, 72);
    QCOMPARE(info.outputs, 8);
    // The next map has the new length the console now expects.
    QCOMPARE(device.handleCommand("*!").reply.size(), 2 + 2 * 8);
}

void TstMatrixDevice::shrinkingInputsResetsOrphanedRoutes()
{
    MatrixDevice device(16, 16);
    QVERIFY(device.handleCommand("*1<12!").understood);
    QVERIFY(device.handleCommand("*2<3!").understood);
    QVERIFY(device.handleCommand("*16<15!").understood);
    QVERIFY(device.handleCommand("*: SAVEPLAN 2!").understood);

    QVERIFY(device.handleCommand("*:4 CHANGEPORTNUMBER 8!").understood);
    // Input 12 is gone: output 1 falls back to input 1; output 2 keeps 3.
    QCOMPARE(device.routing(), (QVector<int> {1, 3, 3, 4}));
    // Output 16 is hidden but its route to input 15 is gone too: back to 1.
    QCOMPARE(device.routeOf(16), 1);
    // A plan saved with more inputs is recalled within the current ones.
    QVERIFY(device.handleCommand("*: CALLPLAN 2!").understood);
    QCOMPARE(device.routing(), (QVector<int> {1, 3, 3, 4}));

    QVERIFY(device.handleCommand("*:16 CHANGEPORTNUMBER 16!").understood);
    QCOMPARE(device.routeOf(2), 3);
    QCOMPARE(device.routeOf(16), 1);
}

void TstMatrixDevice::edidCopySplit_data()
{
    QTest::addColumn<int>("ports"); // inputs = outputs
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<bool>("understood");
    QTest::addColumn<int>("input"); // 0: nothing changes
    QTest::addColumn<int>("monitor");

    QTest::newRow("45 on 16x16: input 4 from output 5")
        << 16 << QByteArray("*E45!") << true << 4 << 5;
    QTest::newRow("123 on 16x16: only 12 from 3 fits")
        << 16 << QByteArray("*E123!") << true << 12 << 3;
    QTest::newRow("123 on 32x32: 1 from 23 or 12 from 3, ambiguous")
        << 32 << QByteArray("*E123!") << true << 0 << 0;
    QTest::newRow("1616 on 16x16: 16 from 16") << 16 << QByteArray("*E1616!") << true << 16 << 16;
    QTest::newRow("045 on 16x16: leading zero of the input")
        << 16 << QByteArray("*E045!") << true << 4 << 5;
    QTest::newRow("7272 on 72x72: 72 from 72") << 72 << QByteArray("*E7272!") << true << 72 << 72;
    QTest::newRow("999 on 16x16: no split fits") << 16 << QByteArray("*E999!") << false << 0 << 0;
}

void TstMatrixDevice::edidCopySplit()
{
    QFETCH(int, ports);
    QFETCH(QByteArray, command);
    QFETCH(bool, understood);
    QFETCH(int, input);
    QFETCH(int, monitor);

    MatrixDevice device(ports, ports);
    const MatrixDevice::State before = device.state();
    const Outcome o = device.handleCommand(command);
    QCOMPARE(o.understood, understood);
    QVERIFY(o.reply.isEmpty());
    if (input == 0) {
        QVERIFY(device.state() == before);
        return;
    }
    QCOMPARE(device.inputCard(input).edidCopyMonitor, monitor);
}

void TstMatrixDevice::edidKindsReplaceEachOther()
{
    MatrixDevice device(32, 32);
    QVERIFY(device.handleCommand("*S402!").understood);
    QVERIFY(device.handleCommand("*>I4 EDIDSAMSUNG END!").understood);
    QCOMPARE(device.inputCard(4).edidPreset, 2);
    QCOMPARE(device.inputCard(4).edidKeyword, QByteArray("EDIDSAMSUNG"));

    // An ambiguous copy changes nothing; the CPEDID that follows it settles it.
    QVERIFY(device.handleCommand("*E123!").understood);
    QCOMPARE(device.inputCard(12).edidCopyMonitor, 0);
    QVERIFY(device.handleCommand("*:3 CPEDID 12!").understood);
    QCOMPARE(device.inputCard(12).edidCopyMonitor, 3);

    QVERIFY(device.handleCommand("*:7 CPEDID 4!").understood);
    QCOMPARE(device.inputCard(4).edidCopyMonitor, 7);
    QCOMPARE(device.inputCard(4).edidPreset, 0);
    QVERIFY(device.inputCard(4).edidKeyword.isEmpty());

    QVERIFY(device.handleCommand("*S408!").understood);
    QCOMPARE(device.inputCard(4).edidPreset, 8);
    QCOMPARE(device.inputCard(4).edidCopyMonitor, 0);
}

void TstMatrixDevice::recordsKeepEveryOutcome()
{
    MatrixDevice device;
    MatrixDevice::Session s;
    device.feed(s, "zz\n*?!*>O4 NOPE END!");
    const QVector<Outcome> &r = device.records();
    QCOMPARE(r.size(), 3);
    QCOMPARE(r[0].kind, Outcome::Garbage);
    QVERIFY(!r[0].understood);
    QVERIFY(r[1].understood);
    QCOMPARE(r[1].description, QStringLiteral("device information"));
    QVERIFY(!r[2].understood);
    QVERIFY2(r[2].description.contains(QLatin1String("NOPE")), qPrintable(r[2].description));

    device.setRecordLimit(2);
    device.handleCommand("*!");
    QCOMPARE(device.records().size(), 2);
    QCOMPARE(device.records().last().bytes, QByteArray("*!"));
    QCOMPARE(device.records().first().bytes, QByteArray("*>O4 NOPE END!"));
}

QTEST_APPLESS_MAIN(TstMatrixDevice)
#include "tst_matrixdevice.moc"
