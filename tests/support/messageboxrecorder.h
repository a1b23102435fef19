#ifndef MESSAGEBOXRECORDER_H
#define MESSAGEBOXRECORDER_H

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

struct RecordedBox
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    QString text;
};

// Closes every modal message box that opens while it lives, after writing
// down its icon, title and text. Construct it before the action that may
// show a box; the modal box runs its own event loop, in which this
// recorder's timer keeps firing.
class MessageBoxRecorder : public QObject
{
    Q_OBJECT

public:
    explicit MessageBoxRecorder(QObject *parent = nullptr);

    QList<RecordedBox> boxes() const { return m_boxes; }
    int count() const { return m_boxes.size(); }
    void clear() { m_boxes.clear(); }

    // "title / text" of every box so far, one per line, for readable failures.
    QString summary() const;

private:
    void poll();

    QTimer m_timer;
    QPointer<QMessageBox> m_current;
    QList<RecordedBox> m_boxes;
};

#endif // MESSAGEBOXRECORDER_H
