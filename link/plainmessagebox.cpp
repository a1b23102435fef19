#include "link/plainmessagebox.h"

void showPlainTextBox(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                      const QString &text)
{
    QMessageBox box(icon, title, text, QMessageBox::NoButton, parent);
    box.setTextFormat(Qt::PlainText);
    // The static boxes make their accepting button the default one.
    box.setDefaultButton(box.addButton(QMessageBox::Ok));
    box.exec();
}
