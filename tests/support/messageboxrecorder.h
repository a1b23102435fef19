#ifndef TESTS_SUPPORT_MESSAGEBOXRECORDER_H
#define TESTS_SUPPORT_MESSAGEBOXRECORDER_H

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

struct RecordedBox
{
    QMessageBox::Icon icon;
    QString title;
    QString text;
};

// Closes every modal message box that opens while it lives, after writing
// down its icon, title and text. Construct it before the action; the box's
// own event loop keeps this recorder's timer firing.
class MessageBoxRecorder : public QObject
{
public:
    MessageBoxRecorder()
    {
        connect(&m_timer, &QTimer::timeout, this, &MessageBoxRecorder::poll);
        m_timer.start(5);
    }
    QList<RecordedBox> boxes() const { return m_boxes; }
    int count() const { return m_boxes.size(); }
    void clear() { m_boxes.clear(); }
    // "title / text" of every box, one per line, for readable failures.
    QString summary() const
    {
        QStringList lines;
        for (const RecordedBox &box : m_boxes)
            lines << box.title + " / " + box.text;
        return lines.join('\n');
    }

private:
    void poll()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        // A box stays active until its loop has handled the click: record it once.
        if (!box || !box->isVisible() || box == m_current)
            return;
        m_current = box;
        m_boxes.append({box->icon(), box->windowTitle(), box->text()});
        box->button(QMessageBox::Ok)->click();
    }
    QTimer m_timer;
    QPointer<QMessageBox> m_current;
    QList<RecordedBox> m_boxes;
};

#endif // TESTS_SUPPORT_MESSAGEBOXRECORDER_H
