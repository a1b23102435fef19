// The settings commands, send and list: the console's vocabulary by item
// text or list number, and the console's own builders.

#include "cli/ctlcommands.h"
#include "cli/report.h"
#include "codec/codec.h"
#include "commands/builders.h"
#include "devicelink/devicesession.h"

#include <QJsonArray>

namespace ctl {

using devicelink::DeviceSession;

using commands::CommandPlan;
using commands::OutputImageButton;

namespace {

// A list of the console's items: its rows' texts, in the form's order.
struct ItemList
{
    const char *name; // for messages, e.g. "output resolution"
    const char *category; // the word list shows it under
    QStringList items;
};

template<typename Row, int N> QStringList itemsOf(const Row (&table)[N])
{
    QStringList items;
    for (const Row &row : table)
        items << QString::fromUtf8(row.item);
    return items;
}

const ItemList &outputResolutionList()
{
    static const ItemList list {"output resolution", "resolutions",
                                itemsOf(commands::outputResolutions)};
    return list;
}
const ItemList &inputResolutionList()
{
    static const ItemList list {"input resolution", "resolutions",
                                itemsOf(commands::inputResolutions)};
    return list;
}
const ItemList &modeList()
{
    static const ItemList list {"output mode", "modes", itemsOf(commands::outputModes)};
    return list;
}
const ItemList &sourceList()
{
    static const ItemList list {"input source", "sources", itemsOf(commands::inputSources)};
    return list;
}
const ItemList &edidList()
{
    static const ItemList list {"EDID mode", "edid", itemsOf(commands::edidModes)};
    return list;
}

// The EDID items carry their number ("3:HDMI模式"); the text after it
// names the item too.
QString withoutNumber(const QString &item)
{
    const int colon = item.indexOf(QLatin1Char(':'));
    return colon > 0 && isAllDigits(item.left(colon)) ? item.mid(colon + 1) : item;
}

// The index of the item named by its number in the list (from 1) or its
// text (Latin letters in any case); -1 when there is none.
int findItem(const ItemList &list, const QString &word)
{
    if (!word.isEmpty() && isAllDigits(word) && word.size() < 4) {
        const int number = word.toInt(nullptr, 10);
        return number >= 1 && number <= list.items.size() ? number - 1 : -1;
    }
    for (int i = 0; i < list.items.size(); ++i) {
        const QString &item = list.items.at(i);
        if (word.compare(item, Qt::CaseInsensitive) == 0
            || word.compare(withoutNumber(item), Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

int unknownItem(Report &report, const ItemList &list, const QString &word)
{
    return report.fail(ExitUsage,
                       QStringLiteral("'%1' is no %2 (1 to %3 or a text shown by "
                                      "'matrix-ctl list %4')")
                           .arg(word, QLatin1String(list.name))
                           .arg(list.items.size())
                           .arg(QLatin1String(list.category)));
}

// A setting chosen from a list: finds the item, then builds as the console.
template<typename Build>
int itemSetting(const Invocation &call, Report &report, const ItemList &list, Build build)
{
    const int index = findItem(list, call.arguments.at(1));
    if (index < 0)
        return unknownItem(report, list, call.arguments.at(1));
    return sendPlan(call, report, build(call.arguments.at(0), index));
}

// A word of a fixed choice (on/off, ...), case-insensitive.
int findWord(const QStringList &words, const QString &word)
{
    for (int i = 0; i < words.size(); ++i) {
        if (word.compare(words.at(i), Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

int buttonSetting(const Invocation &call, Report &report, const QStringList &words,
                  const QList<OutputImageButton> &buttons)
{
    const int choice = findWord(words, call.arguments.at(1));
    if (choice < 0)
        return report.fail(
            ExitUsage,
            QStringLiteral("%1: '%2' is not %3")
                .arg(call.command, call.arguments.at(1), words.join(QStringLiteral(", "))));
    return sendPlan(call, report,
                    commands::outputImageButton(call.arguments.at(0), buttons.at(choice)));
}

QJsonArray itemsArray(const ItemList &list)
{
    QJsonArray items;
    for (int i = 0; i < list.items.size(); ++i)
        items.append(QJsonObject {{QStringLiteral("number"), i + 1},
                                  {QStringLiteral("item"), list.items.at(i)}});
    return items;
}

void listItems(Report &report, const QString &title, const ItemList &list)
{
    report.line(title);
    for (int i = 0; i < list.items.size(); ++i)
        report.line(QStringLiteral("  %1  %2").arg(i + 1, 2).arg(list.items.at(i)));
}

} // namespace

int refuse(Report &report, const commands::Refusal &refusal)
{
    static const char *const causes[] = {"not plain digits", "below minimum", "above maximum"};
    report.document().insert(
        QStringLiteral("refusal"),
        QJsonObject {{QStringLiteral("field"), commands::fieldName(refusal.field)},
                     {QStringLiteral("text"), refusal.text},
                     {QStringLiteral("cause"), QLatin1String(causes[refusal.cause])},
                     {QStringLiteral("minimum"), refusal.minimum},
                     {QStringLiteral("maximum"), refusal.maximum}});
    return report.fail(ExitUsage, commands::describeRefusal(refusal));
}

int sendPlan(const Invocation &call, Report &report, const CommandPlan &plan)
{
    if (plan.refusal)
        return refuse(report, *plan.refusal);
    DeviceSession session(call.link);
    const SentRecord record(report, session);
    if (!session.open())
        return report.fail(ExitDevice, session.error());
    for (const QByteArray &line : plan.commands) {
        session.send(line);
        report.line(QStringLiteral("sent %1").arg(QString::fromUtf8(line)));
    }
    if (!session.finish())
        return report.fail(ExitDevice, session.error());
    return ExitOk;
}

int runOutputResolution(const Invocation &call, Report &report)
{
    return itemSetting(call, report, outputResolutionList(), commands::outputResolution);
}

int runOutputMode(const Invocation &call, Report &report)
{
    return itemSetting(call, report, modeList(), commands::outputMode);
}

int runInputResolution(const Invocation &call, Report &report)
{
    return itemSetting(call, report, inputResolutionList(), commands::inputResolution);
}

int runInputSource(const Invocation &call, Report &report)
{
    return itemSetting(call, report, sourceList(), commands::inputSource);
}

int runOutputBrightness(const Invocation &call, Report &report)
{
    return sendPlan(call, report,
                    commands::outputBrightness(call.arguments.at(0), call.arguments.at(1)));
}

int runInputBrightness(const Invocation &call, Report &report)
{
    return sendPlan(call, report,
                    commands::inputBrightness(call.arguments.at(0), call.arguments.at(1)));
}

int runOutputSeamless(const Invocation &call, Report &report)
{
    return buttonSetting(call, report, {QStringLiteral("on"), QStringLiteral("off")},
                         {OutputImageButton::Seamless, OutputImageButton::NotSeamless});
}

int runOutputDrive(const Invocation &call, Report &report)
{
    return buttonSetting(
        call, report, {QStringLiteral("on"), QStringLiteral("off"), QStringLiteral("default")},
        {OutputImageButton::DriveOn, OutputImageButton::DriveOff, OutputImageButton::DriveDefault});
}

int runEdid(const Invocation &call, Report &report)
{
    const int index = findItem(edidList(), call.arguments.at(1));
    if (index < 0)
        return unknownItem(report, edidList(), call.arguments.at(1));
    const bool copies = commands::edidMonitorFieldsEnabled(edidList().items.at(index));
    if (copies && call.arguments.size() < 3)
        return report.fail(ExitUsage,
                           QStringLiteral("edid: mode 1 (%1) copies the EDID of a monitor and "
                                          "needs MONITOR, the output it is on (usage: edid "
                                          "INPUT 1 MONITOR)")
                               .arg(edidList().items.at(0)));
    if (!copies && call.arguments.size() > 2)
        return report.fail(ExitUsage,
                           QStringLiteral("edid: MONITOR '%1' goes only with mode 1 "
                                          "(%2)")
                               .arg(call.arguments.at(2), edidList().items.at(0)));
    return sendPlan(call, report,
                    commands::edid(call.arguments.at(0), index, call.arguments.value(2)));
}

int runWall(const Invocation &call, Report &report)
{
    // The wall boxes list the numbers 1 to 16; nothing else can be chosen.
    static const char *const names[] = {"ACROSS", "DOWN", "COLUMN", "ROW"};
    for (int i = 1; i <= 4; ++i) {
        const QString &word = call.arguments.at(i);
        int value = 0;
        const bool listed = isAllDigits(word) && !word.isEmpty() && !word.startsWith('0')
            && word.size() <= 2 && (value = word.toInt()) >= 1 && value <= commands::wallListLength;
        if (!listed)
            return report.fail(ExitUsage,
                               QStringLiteral("wall: %1 '%2' is not one of the wall "
                                              "sizes 1 to %3")
                                   .arg(QLatin1String(names[i - 1]), word)
                                   .arg(commands::wallListLength));
    }
    const QStringList &a = call.arguments;
    return sendPlan(call, report, commands::wallSplit(a.at(0), a.at(1), a.at(2), a.at(3), a.at(4)));
}

int runPortCount(const Invocation &call, Report &report)
{
    return sendPlan(call, report, commands::portCount(call.arguments.at(0), call.arguments.at(1)));
}

int runSend(const Invocation &call, Report &report)
{
    const QString text = call.arguments.at(0);
    if (text.isEmpty())
        return report.fail(ExitUsage, QStringLiteral("send: TEXT is empty"));
    const CommandPlan plan = commands::freeCommand(text);
    DeviceSession session(call.link);
    const SentRecord record(report, session);
    if (!session.open())
        return report.fail(ExitDevice, session.error());
    for (const QByteArray &line : plan.commands) {
        session.send(line);
        report.line(QStringLiteral("sent %1").arg(printable(line)));
    }

    // Whatever comes back until the link is quiet after a reply, or the
    // timeout: the client does not know what a free command is answered with.
    QJsonArray replies;
    const QDeadlineTimer until = session.deadline();
    for (bool done = false; !done;) {
        const DeviceSession::Event event = session.next(until);
        switch (event.kind) {
        case DeviceSession::Event::Reply: {
            const QByteArray &bytes = event.chunk.bytes;
            StatusReply reply = event.chunk.reply;
            // Without the counts a map is measured by its own length.
            if (reply.kind == StatusReply::Ignored && bytes.size() > 2)
                reply = decodeStatusReply(bytes, (bytes.size() - 2) / 2);
            const QString decoded = reply.kind == StatusReply::DeviceInformation
                ? informationLine(reply)
                : reply.kind == StatusReply::RoutingMap
                ? routesLine(reply.sources)
                : QStringLiteral("not a reply the console knows");
            replies.append(replyObject(bytes, reply));
            report.line(QStringLiteral("reply %1").arg(printable(bytes)));
            report.line(QStringLiteral("  %1").arg(decoded));
            break;
        }
        case DeviceSession::Event::Quiet:
            done = !replies.isEmpty();
            break;
        case DeviceSession::Event::TimedOut:
        case DeviceSession::Event::Interrupted:
            done = true;
            break;
        case DeviceSession::Event::Failed:
            report.document().insert(QStringLiteral("replies"), replies);
            return report.fail(ExitDevice, session.error());
        }
    }
    if (replies.isEmpty())
        report.line(QStringLiteral("no reply within %1 ms").arg(call.link.timeoutMs));
    report.document().insert(QStringLiteral("replies"), replies);
    return ExitOk;
}

int runList(const Invocation &call, Report &report)
{
    const QString what = call.arguments.value(0);
    const QStringList categories = {"resolutions", "modes", "sources", "edid"};
    if (!what.isEmpty() && !categories.contains(what))
        return report.fail(ExitUsage,
                           QStringLiteral("list: '%1' is not %2")
                               .arg(what, categories.join(QStringLiteral(", "))));
    auto wanted = [&](const char *category) { return what.isEmpty() || what == category; };
    QJsonObject &document = report.document();
    if (wanted("resolutions")) {
        listItems(report, QStringLiteral("output resolutions (output-resolution PORT RES):"),
                  outputResolutionList());
        listItems(report, QStringLiteral("input resolutions (input-resolution PORT RES):"),
                  inputResolutionList());
        document.insert(QStringLiteral("outputResolutions"), itemsArray(outputResolutionList()));
        document.insert(QStringLiteral("inputResolutions"), itemsArray(inputResolutionList()));
    }
    if (wanted("modes")) {
        listItems(report, QStringLiteral("output modes (output-mode PORT MODE):"), modeList());
        document.insert(QStringLiteral("modes"), itemsArray(modeList()));
    }
    if (wanted("sources")) {
        listItems(report, QStringLiteral("input sources (input-source PORT SOURCE):"),
                  sourceList());
        document.insert(QStringLiteral("sources"), itemsArray(sourceList()));
    }
    if (wanted("edid")) {
        listItems(report,
                  QStringLiteral("EDID modes (edid INPUT MODE [MONITOR]; MONITOR with mode 1 "
                                 "only):"),
                  edidList());
        document.insert(QStringLiteral("edid"), itemsArray(edidList()));
    }
    return ExitOk;
}

} // namespace ctl
