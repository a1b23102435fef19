#include "app/consolestyle.h"
#include "app/ctrlui.h"
#include "link/serialportscan.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // The port list is ready by the time the window fills its port box.
    startSerialPortScan();

    QApplication app(argc, argv);
    installConsoleStyle();

    ctrlUi window;
    window.show();
    return app.exec();
}
