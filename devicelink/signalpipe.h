#ifndef DEVICELINK_SIGNALPIPE_H
#define DEVICELINK_SIGNALPIPE_H

#include <QObject>

class QSocketNotifier;

namespace devicelink {

// Turns SIGINT and SIGTERM into a Qt signal. The handler only writes one
// byte into a socket pair (nothing else is safe there); the event loop reads
// it and emits received(). One instance at a time: the handler is
// process-wide. The handlers stay installed after the instance is gone, and
// a signal then is written to nobody and ignored.
class SignalPipe : public QObject
{
    Q_OBJECT
public:
    explicit SignalPipe(QObject *parent = nullptr);
    ~SignalPipe() override;

    // False when the socket pair could not be made (no signal is caught).
    bool isValid() const { return m_notifier != nullptr; }

signals:
    void received(int signalNumber);

private:
    void readPipe();

    QSocketNotifier *m_notifier = nullptr;
};

} // namespace devicelink

#endif // DEVICELINK_SIGNALPIPE_H
