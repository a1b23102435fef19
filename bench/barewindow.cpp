// The baseline of the start-up bench: the least a Qt Widgets program does
// to put a window on the screen.

#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(1100, 654);
    window.show();
    return app.exec();
}
