#include "support/ctrluiprobe.h"
#include "support/messageboxrecorder.h"
#include "support/ptypair.h"

#include <QtTest>

// The serial link over a pseudo-terminal: the test plays the device on the
// master side.
class TestSerialLink : public QObject
{
    Q_OBJECT

private slots:
    void baudRateList();
    void openSendsRefreshAndEnablesRouting();
    void endToEnd();
    void gathersArrivalsWithin500ms();
    void closeRemovesWiringAndStopsDelay();
    void reopenReadsEachReplyOnce();
    void openFailureWarns();
    void lineLostWhileOpen();

private:
    static QString log(CtrlUiProbe &probe) { return probe.ui().tEdtCurrentDataRES->toPlainText(); }
};

void TestSerialLink::baudRateList()
{
    ctrlUi window;
    CtrlUiProbe probe(window);
    QComboBox *rates = probe.ui().cBoxCOMbaudrate;
    QStringList items;
    for (int i = 0; i < rates->count(); ++i)
        items << rates->itemText(i);
    QCOMPARE(items,
             QStringList({"50",    "75",    "100",   "134",    "150",    "200",   "300",   "600",
                          "1200",  "1800",  "2400",  "4800",   "9600",   "14400", "19200", "38400",
                          "56000", "57600", "76800", "115200", "128000", "256000"}));
    QCOMPARE(rates->currentText(), QStringLiteral("9600"));
    QVERIFY(!rates->isEditable());
}

void TestSerialLink::openSendsRefreshAndEnablesRouting()
{
    PtyPair line;
    QVERIFY(line.isValid());
    ctrlUi window;
    CtrlUiProbe probe(window);
    MessageBoxRecorder boxes;

    probe.ui().cBoxCOMbaudrate->setCurrentText("115200");
    QVERIFY(probe.openSerial(line.slavePath()));
    QCOMPARE(probe.ui().pBtnOpenCOM->text(), QStringLiteral("关闭串口"));
    QCOMPARE(probe.serialPort().baudRate(), 115200);
    QCOMPARE(probe.serialPort().dataBits(), QSerialPort::Data8);
    QCOMPARE(probe.serialPort().parity(), QSerialPort::NoParity);
    QCOMPARE(probe.serialPort().stopBits(), QSerialPort::OneStop);
    QCOMPARE(probe.serialPort().flowControl(), QSerialPort::NoFlowControl);

    QVERIFY(line.waitForBytes(3));
    QCOMPARE(line.take(), QByteArray("*?!"));
    QCOMPARE(probe.ui().tEdtCurrentOutDataASCII->toPlainText(), QStringLiteral("*?!"));
    QCOMPARE(probe.ui().tEdtCurrentOutDataHEX->toPlainText(), QStringLiteral("2A 3F 21"));
    QVERIFY(probe.ui().tWidgetIn->isEnabled());
    QVERIFY(probe.ui().pBtnConnect->isEnabled());
    QVERIFY(probe.ui().lEdtOutputCount->isEnabled());
    QCOMPARE(boxes.count(), 0);
}

void TestSerialLink::endToEnd()
{
    PtyPair line;
    QVERIFY(line.isValid());
    ctrlUi window;
    CtrlUiProbe probe(window);
    MessageBoxRecorder boxes;
    QVERIFY(probe.openSerial(line.slavePath()));
    QVERIFY(line.waitForBytes(3));
    line.take();

    // Device information: 8 inputs, 4 outputs.
    line.write(QByteArray("C:\x04"
                          "HDMIx08-04-SIM0"));
    QTRY_COMPARE(probe.ui().tWidgetOut->rowCount(), 4);
    QCOMPARE(probe.ui().tWidgetIn->rowCount(), 8);
    QCOMPARE(probe.ui().cBoxDeviceNo->currentText(), QStringLiteral("C"));
    QCOMPARE(probe.ui().lEdtDeviceModel->text(), QStringLiteral("HDMIx08-04-SIM0"));

    // Routing map: outputs 1..4 fed by inputs 3, 1, 2, 8.
    line.write("C:03010208");
    QTRY_VERIFY(probe.ui().tWidgetOut->item(3, 2));
    QCOMPARE(probe.ui().tWidgetOut->item(0, 2)->text(), QStringLiteral("输入3"));
    QCOMPARE(probe.ui().tWidgetOut->item(3, 2)->text(), QStringLiteral("输入8"));

    // Route input 5 to output 2.
    probe.ui().tWidgetIn->setCurrentCell(4, 0);
    probe.ui().tWidgetOut->setCurrentCell(1, 1);
    probe.ui().pBtnConnect->click();
    QVERIFY(line.waitForBytes(5));
    QCOMPARE(line.take(), QByteArray("*2<5!"));

    // Close with the button.
    probe.ui().pBtnOpenCOM->click();
    QVERIFY(!probe.serialPort().isOpen());
    QVERIFY(probe.ui().pBtnOpenCOM->text() == QStringLiteral("打开串口")
            || probe.ui().pBtnOpenCOM->text() == QStringLiteral("无可用串口"));
    QCOMPARE(boxes.count(), 0);
}

void TestSerialLink::gathersArrivalsWithin500ms()
{
    // The delay itself is under test here, so the arrivals are timed.
    PtyPair line;
    QVERIFY(line.isValid());
    ctrlUi window;
    CtrlUiProbe probe(window);
    QVERIFY(probe.openSerial(line.slavePath()));
    QVERIFY(line.waitForBytes(3));
    line.take();

    QElapsedTimer clock;
    QList<qint64> changes;
    connect(probe.ui().tEdtCurrentDataRES, &QTextEdit::textChanged, this,
            [&] { changes << clock.elapsed(); });

    clock.start();
    line.write("A");
    QTimer::singleShot(100, this, [&] { line.write("B"); });
    QTimer::singleShot(400, this, [&] { line.write("C"); });
    QTimer::singleShot(600, this, [&] { line.write("D"); });

    QTRY_COMPARE_WITH_TIMEOUT(log(probe), QStringLiteral("ABC\nD"), 3000);
    QCOMPARE(changes.size(), 2);
    // A 500 ms timer may fire up to 5 % early (Qt's coarse timers); what
    // matters is that the first three arrivals make one reading before the
    // fourth, and the fourth waits for a delay of its own.
    QVERIFY2(changes.at(0) >= 450 && changes.at(0) < 600,
             qPrintable(QString::number(changes.at(0))));
    QVERIFY2(changes.at(1) >= 1050 && changes.at(1) < 1300,
             qPrintable(QString::number(changes.at(1))));
    QVERIFY(!probe.recvTimer().isActive());
}

void TestSerialLink::closeRemovesWiringAndStopsDelay()
{
    PtyPair line;
    QVERIFY(line.isValid());
    ctrlUi window;
    CtrlUiProbe probe(window);
    QVERIFY(probe.openSerial(line.slavePath()));
    QVERIFY(line.waitForBytes(3));

    line.write("A:");
    QTRY_VERIFY(probe.recvTimer().isActive());
    probe.ui().pBtnOpenCOM->click(); // close within the delay

    QVERIFY(!probe.serialPort().isOpen());
    // A delay left running would read the next line's first bytes early, or
    // add an empty reading after a reopen.
    QVERIFY(!probe.recvTimer().isActive());
    QVERIFY(!QObject::disconnect(&probe.serialPort(), SIGNAL(readyRead()), &window,
                                 SLOT(serialDataReadyRead())));
    QVERIFY(!QObject::disconnect(&probe.recvTimer(), SIGNAL(timeout()), &window,
                                 SLOT(readOutRecvData())));
    QCOMPARE(log(probe), QString());
}

void TestSerialLink::reopenReadsEachReplyOnce()
{
    PtyPair line;
    QVERIFY(line.isValid());
    ctrlUi window;
    CtrlUiProbe probe(window);
    for (int round = 0; round < 3; ++round) {
        QVERIFY(probe.openSerial(line.slavePath()));
        QVERIFY(line.waitForBytes(3));
        line.take();
        if (round < 2)
            probe.ui().pBtnOpenCOM->click();
    }

    QSignalSpy changes(probe.ui().tEdtCurrentDataRES, &QTextEdit::textChanged);
    line.write("B:\x04"
               "ABCDx08-16-PQRS");
    QTRY_COMPARE(probe.ui().tWidgetOut->rowCount(), 16);
    QCOMPARE(log(probe),
             QStringLiteral("B:\x04"
                            "ABCDx08-16-PQRS"));
    QCOMPARE(changes.count(), 1);
}

void TestSerialLink::openFailureWarns()
{
    ctrlUi window;
    CtrlUiProbe probe(window);
    MessageBoxRecorder boxes;
    const QString before = probe.ui().pBtnOpenCOM->text();

    QVERIFY(!probe.openSerial(QStringLiteral("/dev/pts/this-port-does-not-exist")));

    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.boxes().first().icon, QMessageBox::Warning);
    QCOMPARE(boxes.boxes().first().title, QStringLiteral("打开串口失败"));
    QCOMPARE(boxes.boxes().first().text,
             QStringLiteral("打开串口失败,请检查串口是否被占用或多次打开了本程序!"));
    QCOMPARE(probe.ui().pBtnOpenCOM->text(), before);
    QVERIFY(probe.ui().tEdtCurrentOutDataHEX->toPlainText().isEmpty());
    QVERIFY(!probe.ui().pBtnConnect->isEnabled());
}

void TestSerialLink::lineLostWhileOpen()
{
    PtyPair line;
    QVERIFY(line.isValid());
    ctrlUi window;
    CtrlUiProbe probe(window);
    QVERIFY(probe.openSerial(line.slavePath()));
    QVERIFY(line.waitForBytes(3));

    MessageBoxRecorder boxes;
    line.closeMaster();

    // Closed on the first error, reported once: no busy loop of errors.
    QTRY_COMPARE(boxes.count(), 1);
    QVERIFY(!probe.serialPort().isOpen());
    const RecordedBox box = boxes.boxes().first();
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.title, QStringLiteral("串口错误"));
    QVERIFY2(box.text.startsWith(QStringLiteral("串口连接已断开: ")), qPrintable(box.text));
    QVERIFY(box.text.size() > QStringLiteral("串口连接已断开: ").size());
    QVERIFY(probe.ui().pBtnOpenCOM->text() != QStringLiteral("关闭串口"));

    // The console keeps working: a new line opens and gets the refresh.
    PtyPair second;
    QVERIFY(second.isValid());
    QVERIFY(probe.openSerial(second.slavePath()));
    QVERIFY(second.waitForBytes(3));
    QCOMPARE(second.take(), QByteArray("*?!"));
    QCOMPARE(boxes.count(), 1);
}

QTEST_MAIN(TestSerialLink)
#include "tst_seriallink.moc"
