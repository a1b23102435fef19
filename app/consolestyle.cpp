#include "app/consolestyle.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>

void installConsoleStyle()
{
    // qt5-style-plugins provides "plastique"; without it the factory gives
    // nothing and the platform's default style is kept.
    if (QStyle *style = QStyleFactory::create(QStringLiteral("plastique")))
        QApplication::setStyle(style);
    QApplication::setPalette(QApplication::style()->standardPalette());
}
