#include "app/ctrlui.h"

#include <QElapsedTimer>
#include <QScrollBar>
#include <QTextCursor>

namespace {
// Qt lays out a paragraph of the log whole, and one without blanks costs far
// more than its length: 64 KB of digits blocked the window for over a
// second, 1 MB for minutes. A longer reading therefore goes into the log as
// paragraphs of this many characters, which take a few milliseconds each;
// a shorter one is one paragraph, as always.
constexpr int logPieceSize = 4096;
// How long the log may hold the window per turn of the event loop while it
// catches up with a long reading.
constexpr int logBatchMs = 10;

// What QTextEdit::append does, with the text taken as characters. append
// reads any text that looks like HTML as HTML, and a reading is whatever
// the device, or anything else that reaches the port, sends: an image tag
// made the window open a file (/dev/zero froze it and took gigabytes),
// nested tables took minutes to lay out, and a bold tag or an entity showed
// something else than what arrived. Everything else is as append has it:
// a new paragraph in the cursor's formats (none on an empty log), one undo
// step, CR, LF and CRLF inside the text starting paragraphs of their own,
// and the view following the end when it was there.
void appendParagraph(QTextEdit *log, const QString &text)
{
    QScrollBar *bar = log->verticalScrollBar();
    const bool atBottom
        = log->isReadOnly() ? bar->value() >= bar->maximum() : log->textCursor().atEnd();
    const QTextCursor cursor = log->textCursor();
    QTextCursor end(log->document());
    end.beginEditBlock();
    end.movePosition(QTextCursor::End);
    if (log->document()->isEmpty())
        end.setCharFormat(cursor.charFormat());
    else
        end.insertBlock(cursor.blockFormat(), cursor.charFormat());
    end.insertText(text);
    end.endEditBlock();
    if (atBottom)
        bar->setValue(bar->maximum());
}
} // namespace

void ctrlUi::serialDataReadyRead()
{
    // A serial reply trickles in; gather everything that arrives within
    // 500 ms of the first byte into one chunk. Later arrivals do not
    // lengthen the delay.
    if (!recvTimer.isActive())
        recvTimer.start(500);
}

void ctrlUi::readOutRecvData()
{
    if (recvTimer.isActive())
        recvTimer.stop();

    QByteArray chunk;
    switch (ui.sWidgetCommunication->currentIndex()) {
    case 0:
        chunk = serialPort.readAll();
        break;
    case 1:
        chunk = tcpClient.readAll();
        break;
    default:
        break;
    }

    // The parser gets the whole reading at once, even while its text is
    // still on its way into the log.
    const int zero = chunk.indexOf('\0');
    appendToReplyLog(QString::fromUtf8(zero < 0 ? chunk : chunk.left(zero)));
    parseStatusReply(chunk);
}

void ctrlUi::appendToReplyLog(const QString &text)
{
    if (replyLogBacklog.isEmpty() && text.size() <= logPieceSize) {
        appendParagraph(ui.tEdtCurrentDataRES, text);
        return;
    }

    // Every character is kept; only the paragraph breaks are new. Readings
    // keep their order: a short one waits behind the pieces of a long one.
    int at = 0;
    do {
        int size = qMin(logPieceSize, text.size() - at);
        if (at + size < text.size() && text.at(at + size - 1).isHighSurrogate())
            --size; // a character outside the BMP stays in one piece
        replyLogBacklog.append(text.mid(at, size));
        at += size;
    } while (at < text.size());
    if (!replyLogTimer.isActive())
        replyLogTimer.start(0);
}

void ctrlUi::drainReplyLog()
{
    QElapsedTimer batch;
    batch.start();
    while (!replyLogBacklog.isEmpty() && batch.elapsed() < logBatchMs)
        appendParagraph(ui.tEdtCurrentDataRES, replyLogBacklog.takeFirst());
    if (!replyLogBacklog.isEmpty())
        replyLogTimer.start(0);
}

void ctrlUi::clearReplyLog()
{
    // Pieces not yet shown belong to readings from before the clear.
    replyLogBacklog.clear();
    replyLogTimer.stop();
    ui.tEdtCurrentDataRES->clear();
}
