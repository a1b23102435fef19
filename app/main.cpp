#include "app/ctrlui.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);

    // Not every Qt installation ships "plastique" (qt5-style-plugins does);
    // without it the default style stays.
    if (QStyle *style = QStyleFactory::create(QStringLiteral("plastique")))
        QApplication::setStyle(style);
    QApplication::setPalette(QApplication::style()->standardPalette());

    ctrlUi window;
    window.show();
    return app.exec();
}
