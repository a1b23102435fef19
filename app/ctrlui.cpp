#include "app/ctrlui.h"
#include "app/consolestyle.h"

#include <QIntValidator>

ctrlUi::ctrlUi(QWidget *parent)
    : QWidget(parent)
{
    ui.setupUi(this);
    applyDeferredStyleSheets(this);

    refreshSerialPortList();
    fillBaudRateList();
    setupRoutingTables();

    auto *countValidator = new QIntValidator(0, 100, this);
    ui.lEdtInputCount->setValidator(countValidator);
    ui.lEdtOutputCount->setValidator(countValidator);

    // Connected only now, after the form has filled the combo box, so that
    // the mode switch does not run during construction.
    connect(ui.cBoxCommunicationSet, SIGNAL(currentIndexChanged(int)), this,
            SLOT(sWidgetCommunicationCurrentChanged(int)));
    connect(ui.pBtnOpenCOM, SIGNAL(clicked()), this, SLOT(pBtnOpenCOMclicked()));
    connect(ui.pBtnCommunicationConnect, SIGNAL(clicked()), this,
            SLOT(pBtnCommunicationConnectClicked()));
    connect(ui.lEdtInputCount, SIGNAL(editingFinished()), this,
            SLOT(lEdtInputCountEditingFinished()));
    connect(ui.lEdtOutputCount, SIGNAL(editingFinished()), this,
            SLOT(lEdtInputCountEditingFinished()));
    connect(ui.pBtnRefresh, SIGNAL(clicked()), this, SLOT(pBtnRefreshClicked()));
    connect(ui.pBtnConnect, SIGNAL(clicked()), this, SLOT(pBtnConnectClicked()));
    connect(ui.pBtnQueryReq, SIGNAL(clicked()), this, SLOT(pBtnQueryReqClicked()));
    connect(ui.tWidgetOut, SIGNAL(currentCellChanged(int, int, int, int)), this,
            SLOT(tWidgetOutCurrentCellChanged(int)));
    connect(ui.tWidgetIn, SIGNAL(currentCellChanged(int, int, int, int)), this,
            SLOT(tWidgetInCurrentCellChanged(int)));

    // A serial line that fails while open is closed and reported once. This
    // handler is a plain member, not a slot, so the slot table stays as it is.
    connect(&serialPort, &QSerialPort::errorOccurred, this, &ctrlUi::serialPortErrorOccurred);

    replyLogTimer.setSingleShot(true);
    connect(&replyLogTimer, &QTimer::timeout, this, &ctrlUi::drainReplyLog);
}

// The members die in reverse order (the reply log's backlog, socket, timer,
// serial port, then the widgets); destroying a link closes it without
// sending anything.
ctrlUi::~ctrlUi() = default;
