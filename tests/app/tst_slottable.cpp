#include "app/ctrlui.h"

#include <QtTest>

// The slots, their order and their wiring are relied on by connections made
// by name and by signature text at run time, where a renamed slot would
// fail silently.
class TestSlotTable : public QObject
{
    Q_OBJECT
private slots:
    void slotOrder();
    void wiring();
};

void TestSlotTable::slotOrder()
{
    const QString expected = QStringLiteral(
        "pBtnOpenCOMclicked() serialDataReadyRead() pBtnCommunicationConnectClicked() "
        "displayError(QAbstractSocket::SocketError) TCPclientConnected() "
        "lEdtInputCountEditingFinished() sWidgetCommunicationCurrentChanged(int) "
        "readOutRecvData() pBtnRefreshClicked() pBtnConnectClicked() pBtnQueryReqClicked() "
        "tWidgetOutCurrentCellChanged(int) tWidgetInCurrentCellChanged(int) "
        "on_pushButton_clicked() on_savePlanPushButton_clicked() on_loadPushButton_clicked() "
        "on_outResPushButton_clicked() on_inResPushButton_clicked() "
        "on_outModePushButton_clicked() on_inSrcPushButton_clicked() "
        "on_inEdidComboBox_currentIndexChanged(QString) on_inEdidPushButton_clicked() "
        "on_changePortNumButton_clicked() on_otherSendButton_clicked() on_wallButton_clicked() "
        "on_inBrightnessButton_clicked() on_outBrightnessButton_clicked() "
        "on_outSeamlessButton_clicked() on_notSeamlessButton_clicked() "
        "on_outResOpenButton_clicked() on_outResCloseButton_clicked() "
        "on_outResNoneButton_clicked()");
    const QMetaObject &meta = ctrlUi::staticMetaObject;
    QStringList methods; // every method of the class: private slots only
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod m = meta.method(i);
        methods << QString::fromLatin1(m.methodSignature())
                + (m.methodType() == QMetaMethod::Slot && m.access() == QMetaMethod::Private ? ""
                                                                                             : "?");
    }
    QCOMPARE(methods.join(' '), expected);
    QCOMPARE(meta.superClass(), &QWidget::staticMetaObject);
}

void TestSlotTable::wiring()
{
    // Each connection exists exactly once: the first disconnect finds it,
    // the second finds nothing. The first ten are made by hand, the rest by
    // name when the form is built.
    const char *table[][3] = {
        {"cBoxCommunicationSet", SIGNAL(currentIndexChanged(int)),
         SLOT(sWidgetCommunicationCurrentChanged(int))},
        {"pBtnOpenCOM", SIGNAL(clicked()), SLOT(pBtnOpenCOMclicked())},
        {"pBtnCommunicationConnect", SIGNAL(clicked()), SLOT(pBtnCommunicationConnectClicked())},
        {"lEdtInputCount", SIGNAL(editingFinished()), SLOT(lEdtInputCountEditingFinished())},
        {"lEdtOutputCount", SIGNAL(editingFinished()), SLOT(lEdtInputCountEditingFinished())},
        {"pBtnRefresh", SIGNAL(clicked()), SLOT(pBtnRefreshClicked())},
        {"pBtnConnect", SIGNAL(clicked()), SLOT(pBtnConnectClicked())},
        {"pBtnQueryReq", SIGNAL(clicked()), SLOT(pBtnQueryReqClicked())},
        {"tWidgetOut", SIGNAL(currentCellChanged(int, int, int, int)),
         SLOT(tWidgetOutCurrentCellChanged(int))},
        {"tWidgetIn", SIGNAL(currentCellChanged(int, int, int, int)),
         SLOT(tWidgetInCurrentCellChanged(int))},
        {"inEdidComboBox", SIGNAL(currentIndexChanged(QString)),
         SLOT(on_inEdidComboBox_currentIndexChanged(QString))},
    };
    ctrlUi window;
    auto once = [&](const char *name, const char *signal, const char *slot) {
        QObject *sender = window.findChild<QObject *>(name);
        return sender && QObject::disconnect(sender, signal, &window, slot)
            && !QObject::disconnect(sender, signal, &window, slot);
    };
    for (const auto &row : table)
        QVERIFY2(once(row[0], row[1], row[2]), row[0]);
    for (const char *button :
         {"pushButton", "savePlanPushButton", "loadPushButton", "outResPushButton",
          "inResPushButton", "outModePushButton", "inSrcPushButton", "inEdidPushButton",
          "changePortNumButton", "otherSendButton", "wallButton", "inBrightnessButton",
          "outBrightnessButton", "outSeamlessButton", "notSeamlessButton", "outResOpenButton",
          "outResCloseButton", "outResNoneButton"}) {
        const QByteArray slot = QByteArray("1on_") + button + "_clicked()";
        QVERIFY2(once(button, SIGNAL(clicked()), slot), button);
    }
}

QTEST_MAIN(TestSlotTable)
#include "tst_slottable.moc"
