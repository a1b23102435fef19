#ifndef LINK_PLAINMESSAGEBOX_H
#define LINK_PLAINMESSAGEBOX_H

#include <QMessageBox>
#include <QString>

class QWidget;

// The box QMessageBox::warning or QMessageBox::information opens with one
// Ok button and no default given, but its text is taken as characters: the
// static boxes read a text that looks like HTML as HTML, and these texts
// carry words from outside the program (a link's error string).
void showPlainTextBox(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                      const QString &text);

#endif // LINK_PLAINMESSAGEBOX_H
