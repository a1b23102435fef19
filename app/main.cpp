#include "app/consolestyle.h"
#include "app/ctrlui.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    installConsoleStyle();

    ctrlUi window;
    window.show();
    return app.exec();
}
