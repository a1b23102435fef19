#include "app/consolestyle.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>

void installConsoleStyle()
{
    // qt5-style-plugins provides "plastique"; without it the factory gives
    // nothing and the platform's default style is kept.
    if (QStyle *style = QStyleFactory::create(QStringLiteral("plastique")))
        QApplication::setStyle(style);
    QApplication::setPalette(QApplication::style()->standardPalette());
}

void applyDeferredStyleSheets(QWidget *form)
{
    static const char property[] = "deferredStyleSheet";
    const QList<QWidget *> widgets = form->findChildren<QWidget *>();
    for (QWidget *widget : widgets) {
        // Most widgets have no dynamic property at all: skip the lookup.
        if (widget->dynamicPropertyNames().isEmpty())
            continue;
        const QVariant sheet = widget->property(property);
        if (!sheet.isValid())
            continue;
        widget->setStyleSheet(sheet.toString());
        widget->setProperty(property, QVariant());
    }
}
