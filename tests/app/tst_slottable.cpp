#include "app/ctrlui.h"

#include <QtTest>

// The window's slots, their order and the way each is wired are relied on by
// the string-based connections made at run time; a renamed or reordered slot
// would fail silently there, so it is pinned here.
class TestSlotTable : public QObject
{
    Q_OBJECT

private slots:
    void slotOrder();
    void errorSlotArgumentIsRegistered();
    void byNameConnections_data();
    void byNameConnections();
    void handMadeConnections_data();
    void handMadeConnections();
    void nothingSentAtStartUp();
};

void TestSlotTable::slotOrder()
{
    const QStringList expected {
        "pBtnOpenCOMclicked()",
        "serialDataReadyRead()",
        "pBtnCommunicationConnectClicked()",
        "displayError(QAbstractSocket::SocketError)",
        "TCPclientConnected()",
        "lEdtInputCountEditingFinished()",
        "sWidgetCommunicationCurrentChanged(int)",
        "readOutRecvData()",
        "pBtnRefreshClicked()",
        "pBtnConnectClicked()",
        "pBtnQueryReqClicked()",
        "tWidgetOutCurrentCellChanged(int)",
        "tWidgetInCurrentCellChanged(int)",
        "on_pushButton_clicked()",
        "on_savePlanPushButton_clicked()",
        "on_loadPushButton_clicked()",
        "on_outResPushButton_clicked()",
        "on_inResPushButton_clicked()",
        "on_outModePushButton_clicked()",
        "on_inSrcPushButton_clicked()",
        "on_inEdidComboBox_currentIndexChanged(QString)",
        "on_inEdidPushButton_clicked()",
        "on_changePortNumButton_clicked()",
        "on_otherSendButton_clicked()",
        "on_wallButton_clicked()",
        "on_inBrightnessButton_clicked()",
        "on_outBrightnessButton_clicked()",
        "on_outSeamlessButton_clicked()",
        "on_notSeamlessButton_clicked()",
        "on_outResOpenButton_clicked()",
        "on_outResCloseButton_clicked()",
        "on_outResNoneButton_clicked()",
    };

    const QMetaObject &meta = ctrlUi::staticMetaObject;
    QCOMPARE(meta.className(), "ctrlUi");
    QCOMPARE(meta.superClass(), &QWidget::staticMetaObject);

    QStringList privateSlots, others;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        if (method.methodType() == QMetaMethod::Slot && method.access() == QMetaMethod::Private)
            privateSlots << QString::fromLatin1(method.methodSignature());
        else
            others << QString::fromLatin1(method.methodSignature());
    }
    QCOMPARE(privateSlots, expected);
    QVERIFY2(others.isEmpty(), qPrintable(others.join(", ")));
    QCOMPARE(meta.propertyCount(), meta.propertyOffset());
}

void TestSlotTable::errorSlotArgumentIsRegistered()
{
    // The socket's error signal reaches displayError through a string-based
    // connection, which needs the enumeration known to the meta-type system.
    const QMetaMethod slot = ctrlUi::staticMetaObject.method(
        ctrlUi::staticMetaObject.indexOfSlot("displayError(QAbstractSocket::SocketError)"));
    QVERIFY(slot.isValid());
    QCOMPARE(slot.parameterTypes().value(0), QByteArray("QAbstractSocket::SocketError"));

    // Asked for the argument types of that slot, the meta-object registers
    // the enumeration under its full name; for any other argument it
    // answers -1.
    const int local = slot.methodIndex() - ctrlUi::staticMetaObject.methodOffset();
    auto registerArgument = [](int method, int argument) {
        int type = -2;
        void *args[] = {&type, &argument};
        ctrlUi::staticMetaObject.d.static_metacall(
            nullptr, QMetaObject::RegisterMethodArgumentMetaType, method, args);
        return type;
    };
    const int type = registerArgument(local, 0);
    QVERIFY(type > 0);
    QCOMPARE(QMetaType::type("QAbstractSocket::SocketError"), type);
    QCOMPARE(registerArgument(local, 0), type);
    QCOMPARE(registerArgument(local, 1), -1);
    QCOMPARE(registerArgument(local + 1, 0), -1);
}

void TestSlotTable::byNameConnections_data()
{
    QTest::addColumn<QString>("sender");
    QTest::addColumn<QByteArray>("signal");
    QTest::addColumn<QByteArray>("slot");

    const char *buttons[] = {
        "pushButton",          "savePlanPushButton", "loadPushButton",    "outResPushButton",
        "inResPushButton",     "outModePushButton",  "inSrcPushButton",   "inEdidPushButton",
        "changePortNumButton", "otherSendButton",    "wallButton",        "inBrightnessButton",
        "outBrightnessButton", "outSeamlessButton",  "notSeamlessButton", "outResOpenButton",
        "outResCloseButton",   "outResNoneButton",
    };
    for (const char *button : buttons) {
        QTest::newRow(button) << QString::fromLatin1(button) << QByteArray(SIGNAL(clicked()))
                              << QByteArray("1on_") + button + "_clicked()";
    }
    QTest::newRow("inEdidComboBox")
        << QStringLiteral("inEdidComboBox") << QByteArray(SIGNAL(currentIndexChanged(QString)))
        << QByteArray(SLOT(on_inEdidComboBox_currentIndexChanged(QString)));
}

void TestSlotTable::byNameConnections()
{
    QFETCH(QString, sender);
    QFETCH(QByteArray, signal);
    QFETCH(QByteArray, slot);

    ctrlUi window;
    QObject *widget = window.findChild<QObject *>(sender);
    QVERIFY(widget);
    // Exactly one connection: the first disconnect finds it, the second finds
    // nothing left.
    QVERIFY(QObject::disconnect(widget, signal.constData(), &window, slot.constData()));
    QVERIFY(!QObject::disconnect(widget, signal.constData(), &window, slot.constData()));
}

void TestSlotTable::handMadeConnections_data()
{
    QTest::addColumn<QString>("sender");
    QTest::addColumn<QByteArray>("signal");
    QTest::addColumn<QByteArray>("slot");

    QTest::newRow("mode box") << "cBoxCommunicationSet"
                              << QByteArray(SIGNAL(currentIndexChanged(int)))
                              << QByteArray(SLOT(sWidgetCommunicationCurrentChanged(int)));
    QTest::newRow("open serial") << "pBtnOpenCOM" << QByteArray(SIGNAL(clicked()))
                                 << QByteArray(SLOT(pBtnOpenCOMclicked()));
    QTest::newRow("connect TCP") << "pBtnCommunicationConnect" << QByteArray(SIGNAL(clicked()))
                                 << QByteArray(SLOT(pBtnCommunicationConnectClicked()));
    QTest::newRow("input count") << "lEdtInputCount" << QByteArray(SIGNAL(editingFinished()))
                                 << QByteArray(SLOT(lEdtInputCountEditingFinished()));
    QTest::newRow("output count, same slot")
        << "lEdtOutputCount" << QByteArray(SIGNAL(editingFinished()))
        << QByteArray(SLOT(lEdtInputCountEditingFinished()));
    QTest::newRow("refresh") << "pBtnRefresh" << QByteArray(SIGNAL(clicked()))
                             << QByteArray(SLOT(pBtnRefreshClicked()));
    QTest::newRow("switch") << "pBtnConnect" << QByteArray(SIGNAL(clicked()))
                            << QByteArray(SLOT(pBtnConnectClicked()));
    QTest::newRow("query") << "pBtnQueryReq" << QByteArray(SIGNAL(clicked()))
                           << QByteArray(SLOT(pBtnQueryReqClicked()));
    QTest::newRow("outputs table")
        << "tWidgetOut" << QByteArray(SIGNAL(currentCellChanged(int, int, int, int)))
        << QByteArray(SLOT(tWidgetOutCurrentCellChanged(int)));
    QTest::newRow("inputs table") << "tWidgetIn"
                                  << QByteArray(SIGNAL(currentCellChanged(int, int, int, int)))
                                  << QByteArray(SLOT(tWidgetInCurrentCellChanged(int)));
}

void TestSlotTable::handMadeConnections()
{
    QFETCH(QString, sender);
    QFETCH(QByteArray, signal);
    QFETCH(QByteArray, slot);

    ctrlUi window;
    QObject *widget = window.findChild<QObject *>(sender);
    QVERIFY(widget);
    QVERIFY(QObject::disconnect(widget, signal.constData(), &window, slot.constData()));
    QVERIFY(!QObject::disconnect(widget, signal.constData(), &window, slot.constData()));
}

void TestSlotTable::nothingSentAtStartUp()
{
    ctrlUi window;
    auto *ascii = window.findChild<QTextEdit *>("tEdtCurrentOutDataASCII");
    auto *hex = window.findChild<QTextEdit *>("tEdtCurrentOutDataHEX");
    QVERIFY(ascii && hex);
    QVERIFY(ascii->toPlainText().isEmpty());
    QVERIFY(hex->toPlainText().isEmpty());
    // The routing controls wait for a link.
    for (const char *name : {"tWidgetIn", "tWidgetOut", "pBtnRefresh", "pBtnConnect",
                             "pBtnQueryReq", "lEdtInputCount", "lEdtOutputCount"}) {
        auto *widget = window.findChild<QWidget *>(name);
        QVERIFY2(widget && !widget->isEnabled(), name);
    }
}

QTEST_MAIN(TestSlotTable)
#include "tst_slottable.moc"
