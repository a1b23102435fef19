#include "app/consolestyle.h"
#include "app/ctrlui.h"
#include "link/serialportscan.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    // The port list is ready by the time the window fills its port box.
    startSerialPortScan();

    QApplication app(argc, argv);
    installConsoleStyle();
    // The menu entry's icon, for the title bar and the task switcher.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/matrix-console.png")));

    ctrlUi window;
    window.show();
    return app.exec();
}
