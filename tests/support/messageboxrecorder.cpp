#include "support/messageboxrecorder.h"

#include <QAbstractButton>
#include <QApplication>

MessageBoxRecorder::MessageBoxRecorder(QObject *parent)
    : QObject(parent)
{
    m_timer.setInterval(5);
    connect(&m_timer, &QTimer::timeout, this, &MessageBoxRecorder::poll);
    m_timer.start();
}

QString MessageBoxRecorder::summary() const
{
    QStringList lines;
    for (const RecordedBox &box : m_boxes)
        lines << box.title + QStringLiteral(" / ") + box.text;
    return lines.join(QLatin1Char('\n'));
}

void MessageBoxRecorder::poll()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    // A box stays the active modal widget until its loop has handled the
    // click; remember it so that it is recorded once.
    if (box == m_current)
        return;
    m_current = box;
    m_boxes.append({box->icon(), box->windowTitle(), box->text()});
    if (QAbstractButton *ok = box->button(QMessageBox::Ok))
        ok->click();
    else
        box->reject();
}
