// info, routes, route, plans, snapshot, restore and watch: the commands
// that read the device's routing.

#include "cli/ctlcommands.h"
#include "cli/report.h"
#include "codec/codec.h"
#include "commands/builders.h"
#include "devicelink/devicesession.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>
#include <QSaveFile>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace ctl {

using devicelink::DeviceSession;

namespace {

using commands::checkNumber;
using commands::Field;
using commands::NumberTest;

using devicelink::RouteCheck;
using devicelink::RouteResult;
using devicelink::Routes;

// Waits for the device information (asked for by the caller) and takes it
// when its counts are usable.
std::optional<StatusReply> learnDevice(DeviceSession &session, Report &report)
{
    const std::optional<StatusReply> info = session.await(StatusReply::DeviceInformation);
    if (!info) {
        report.fail(ExitDevice, session.error());
        return std::nullopt;
    }
    report.document().insert(QStringLiteral("device"), deviceObject(*info));
    if (!info->countsAccepted) {
        report.fail(ExitDevice,
                    QStringLiteral("the device reported unusable port counts (%1 inputs, %2 "
                                   "outputs); its routing map cannot be read")
                        .arg(info->inputs)
                        .arg(info->outputs));
        return std::nullopt;
    }
    return info;
}

// Opens the link, asks for the device information and, right behind it,
// for the routing map, whose arrival also marks where the information
// (which has no terminator) ends.
std::optional<StatusReply> openAndLearn(DeviceSession &session, Report &report)
{
    if (!session.open()) {
        report.fail(ExitDevice, session.error());
        return std::nullopt;
    }
    session.send(commands::refreshCommand());
    session.send(commands::queryCommand());
    return learnDevice(session, report);
}

std::optional<QVector<int>> awaitMap(DeviceSession &session, Report &report)
{
    const std::optional<StatusReply> map = session.await(StatusReply::RoutingMap);
    if (!map) {
        report.fail(ExitDevice, session.error());
        return std::nullopt;
    }
    return map->sources;
}

void reportRoutes(Report &report, const QVector<int> &sources)
{
    report.document().insert(QStringLiteral("routes"), routesArray(sources));
    for (int j = 0; j < sources.size(); ++j)
        report.line(routeLine(j + 1, sources.at(j)));
}

// Reports every wanted route as the check found it; returns the exit code.
// A route the map shows on another input was not taken; one that no map
// came for could not be confirmed (it may well have been taken), and is
// told apart in both formats.
int judge(DeviceSession &session, Report &report, const RouteCheck &check)
{
    if (!check.confirmed() && session.failure() != DeviceSession::Failure::NoReply)
        return report.fail(ExitDevice, session.error());
    QJsonArray routes;
    QStringList missed;
    const int outputs = check.map ? check.map->size() : 0;
    static const char *const states[] = {"taken", "not taken", "not taken", "unconfirmed"};
    for (const RouteResult &route : check.routes) {
        QJsonObject object {{QStringLiteral("output"), route.output},
                            {QStringLiteral("input"), route.input},
                            {QStringLiteral("state"), QLatin1String(states[route.verdict])},
                            {QStringLiteral("found"), QJsonValue::Null}};
        if (route.verdict == RouteResult::Taken)
            object.insert(QStringLiteral("found"), route.input);
        switch (route.verdict) {
        case RouteResult::Taken:
            report.line(routeLine(route.output, route.input));
            break;
        case RouteResult::NoSuchOutput:
            report.line(QStringLiteral("output %1: not on the device (%2 outputs); input %3 not "
                                       "taken")
                            .arg(route.output)
                            .arg(outputs)
                            .arg(route.input));
            missed << QStringLiteral("output %1 does not exist").arg(route.output);
            break;
        case RouteResult::NotTaken:
            object.insert(QStringLiteral("found"), route.found);
            report.line(QStringLiteral("%1 (input %2 asked: not taken)")
                            .arg(routeLine(route.output, route.found))
                            .arg(route.input));
            missed << QStringLiteral("output %1 is on input %2, not %3")
                          .arg(route.output)
                          .arg(route.found)
                          .arg(route.input);
            break;
        case RouteResult::Unconfirmed:
            report.line(QStringLiteral("output %1 \u2190 input %2: sent, not confirmed")
                            .arg(route.output)
                            .arg(route.input));
            break;
        }
        routes.append(object);
    }
    report.document().insert(QStringLiteral("routes"), routes);
    if (!check.confirmed())
        return report.fail(ExitDevice,
                           QStringLiteral("could not confirm %1 routes: %2")
                               .arg(check.routes.size())
                               .arg(session.error()));
    if (missed.isEmpty())
        return ExitOk;
    return report.fail(ExitDevice,
                       QStringLiteral("the device did not take %1 of %2 routes: %3")
                           .arg(missed.size())
                           .arg(check.routes.size())
                           .arg(missed.join(QStringLiteral("; "))));
}

// Sends the switches in the order given, the console's lines with the
// numbers written as the console writes them (no leading zeros), and then
// a refresh as a probe: the device answers in order, so once the
// information comes back every switch it took has been answered.
Routes sendSwitches(DeviceSession &session, const QList<QPair<int, int>> &switches)
{
    Routes wanted;
    for (const auto &route : switches) {
        session.send(
            commands::switchCommand(QString::number(route.first), QString::number(route.second)));
        wanted.insert(route.first, route.second);
    }
    session.send(commands::refreshCommand());
    return wanted;
}

} // namespace

SentRecord::~SentRecord()
{
    if (!m_session.sentLines().isEmpty())
        m_report.document().insert(QStringLiteral("sent"), bytesArray(m_session.sentLines()));
}

int runInfo(const Invocation &call, Report &report)
{
    DeviceSession session(call.link);
    const SentRecord record(report, session);
    const std::optional<StatusReply> info = openAndLearn(session, report);
    if (!info)
        return ExitDevice;
    report.line(QStringLiteral("device  %1").arg(info->deviceLetter));
    report.line(QStringLiteral("model   %1").arg(info->model));
    report.line(QStringLiteral("inputs  %1").arg(info->inputs));
    report.line(QStringLiteral("outputs %1").arg(info->outputs));
    return ExitOk;
}

int runRoutes(const Invocation &call, Report &report)
{
    DeviceSession session(call.link);
    const SentRecord record(report, session);
    if (!openAndLearn(session, report))
        return ExitDevice;
    const std::optional<QVector<int>> sources = awaitMap(session, report);
    if (!sources)
        return ExitDevice;
    reportRoutes(report, *sources);
    return ExitOk;
}

int runRoute(const Invocation &call, Report &report)
{
    if (call.arguments.size() % 2 != 0)
        return report.fail(ExitUsage,
                           QStringLiteral("route: OUTPUT '%1' has no INPUT (usage: "
                                          "route OUTPUT INPUT [OUTPUT INPUT ...])")
                               .arg(call.arguments.last()));
    QList<QPair<int, int>> switches;
    for (int i = 0; i < call.arguments.size(); i += 2) {
        const QString &output = call.arguments.at(i);
        const QString &input = call.arguments.at(i + 1);
        if (const auto refusal = checkNumber(NumberTest::RoutePort, Field::OutputPort, output))
            return refuse(report, *refusal);
        if (const auto refusal = checkNumber(NumberTest::RoutePort, Field::InputPort, input))
            return refuse(report, *refusal);
        const int outputNumber = output.toInt();
        for (const auto &earlier : qAsConst(switches)) {
            // Which input is meant cannot be told; the map would confirm only one.
            if (earlier.first == outputNumber)
                return report.fail(ExitUsage,
                                   QStringLiteral("route: output %1 is given twice (inputs %2 "
                                                  "and %3): which one is meant is ambiguous")
                                       .arg(outputNumber)
                                       .arg(earlier.second)
                                       .arg(input.toInt()));
        }
        switches.append({outputNumber, input.toInt()});
    }
    DeviceSession session(call.link);
    const SentRecord record(report, session);
    if (!session.open())
        return report.fail(ExitDevice, session.error());
    // The switches go right behind the question: the map that answers the
    // first one also marks where the information ends.
    session.send(commands::refreshCommand());
    const Routes wanted = sendSwitches(session, switches);
    if (!learnDevice(session, report))
        return ExitDevice;
    return judge(session, report, session.awaitRoutes(wanted));
}

int runSavePlan(const Invocation &call, Report &report)
{
    return sendPlan(call, report, commands::plan(commands::PlanAction::Save, call.arguments.at(0)));
}

int runRecallPlan(const Invocation &call, Report &report)
{
    const commands::CommandPlan plan
        = commands::plan(commands::PlanAction::Recall, call.arguments.at(0));
    if (plan.refusal)
        return refuse(report, *plan.refusal);
    DeviceSession session(call.link);
    const SentRecord record(report, session);
    if (!session.open())
        return report.fail(ExitDevice, session.error());
    session.send(commands::refreshCommand());
    for (const QByteArray &line : plan.commands)
        session.send(line);
    // The device answers a recall with the routing map it has set, and a
    // plan never saved with nothing: a refresh behind it tells which.
    session.send(commands::refreshCommand());
    if (!learnDevice(session, report))
        return ExitDevice;
    const QDeadlineTimer until = session.deadline();
    for (;;) {
        const DeviceSession::Event event = session.next(until);
        if (event.kind == DeviceSession::Event::Failed)
            return report.fail(ExitDevice, session.error());
        if (event.kind == DeviceSession::Event::TimedOut)
            return report.fail(ExitDevice,
                               QStringLiteral("no answer from %1 within %2 ms")
                                   .arg(session.linkName())
                                   .arg(session.timeoutMs()));
        if (event.kind != DeviceSession::Event::Reply)
            continue;
        if (event.chunk.reply.kind == StatusReply::RoutingMap) {
            reportRoutes(report, event.chunk.reply.sources);
            return ExitOk;
        }
        if (event.chunk.reply.kind == StatusReply::DeviceInformation)
            break;
    }
    session.send(commands::queryCommand());
    const std::optional<QVector<int>> sources = awaitMap(session, report);
    if (!sources)
        return ExitDevice;
    reportRoutes(report, *sources);
    return report.fail(ExitDevice,
                       QStringLiteral("the device did not answer the recall of plan "
                                      "%1 (a plan never saved is refused); the "
                                      "routes shown are the current ones")
                           .arg(call.arguments.at(0)));
}

namespace {

const QString snapshotFormat = QStringLiteral("matrix-ctl snapshot");
// The snapshot versions restore reads; snapshot writes the last.
constexpr int snapshotVersions[] = {1};
// "-" for a file: stdin for restore, stdout for snapshot.
const QString standardStream = QStringLiteral("-");

QString fileName(const QString &path, const char *stream)
{
    return path == standardStream ? QLatin1String(stream) : path;
}

QString versionsUnderstood()
{
    QStringList versions;
    for (const int version : snapshotVersions)
        versions << QString::number(version);
    return versions.join(QStringLiteral(", "));
}

struct Snapshot
{
    QString device;
    QString model;
    int inputs = 0;
    int outputs = 0;
    QVector<int> sources; // entry j: the input of output j + 1
};

// Reads and checks a snapshot file; an empty error means it is usable.
Snapshot readSnapshot(const QString &filePath, QString *error)
{
    Snapshot snapshot;
    const QString path = fileName(filePath, "standard input");
    QFile file(filePath);
    const bool opened = filePath == standardStream ? file.open(stdin, QIODevice::ReadOnly)
                                                   : file.open(QIODevice::ReadOnly);
    const QByteArray text = opened ? file.readAll() : QByteArray();
    if (!opened || file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return snapshot;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
    const QJsonObject object = document.object();
    if (!document.isObject()
        || object.value(QStringLiteral("format")).toString() != snapshotFormat) {
        *error = QStringLiteral("%1 is not a matrix-ctl snapshot%2")
                     .arg(path,
                          parseError.error == QJsonParseError::NoError
                              ? QString()
                              : QStringLiteral(" (%1)").arg(parseError.errorString()));
        return snapshot;
    }
    // A version this program does not know may mean anything: nothing is
    // guessed from it.
    const QJsonValue version = object.value(QStringLiteral("version"));
    const int *end = std::end(snapshotVersions);
    if (std::find(std::begin(snapshotVersions), end, version.toInt(-1)) == end) {
        // Written as the file has it: "2", "\"1\"", "(none)".
        const QByteArray given = QJsonDocument(QJsonArray {version}).toJson(QJsonDocument::Compact);
        *error = QStringLiteral("%1: snapshot version %2 is not understood (this matrix-ctl "
                                "reads version %3)")
                     .arg(path,
                          version.isUndefined() ? QStringLiteral("(none)")
                                                : QString::fromUtf8(given.mid(1, given.size() - 2)),
                          versionsUnderstood());
        return snapshot;
    }
    snapshot.device = object.value(QStringLiteral("device")).toString();
    snapshot.model = object.value(QStringLiteral("model")).toString();
    snapshot.inputs = object.value(QStringLiteral("inputs")).toInt();
    snapshot.outputs = object.value(QStringLiteral("outputs")).toInt();
    if (snapshot.inputs < 1 || snapshot.inputs > 99 || snapshot.outputs < 1
        || snapshot.outputs > 99) {
        *error = QStringLiteral("%1: the port counts must be numbers from 1 to 99").arg(path);
        return snapshot;
    }
    const QJsonArray routes = object.value(QStringLiteral("routes")).toArray();
    snapshot.sources.fill(-1, snapshot.outputs);
    for (const QJsonValue &value : routes) {
        const int output = value.toObject().value(QStringLiteral("output")).toInt(-1);
        const int input = value.toObject().value(QStringLiteral("input")).toInt(-1);
        // Checked against the file's own counts, which restore compares
        // with the device's: a port past them is one the device lacks.
        if (output < 1 || output > snapshot.outputs || input < 0 || input > snapshot.inputs
            || snapshot.sources.at(output - 1) >= 0) {
            *error = QStringLiteral("%1: route %2 is not an output from 1 to %3 (once) with an "
                                    "input from 0 to %4: nothing sent")
                         .arg(path,
                              QString::fromUtf8(
                                  QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact)))
                         .arg(snapshot.outputs)
                         .arg(snapshot.inputs);
            return snapshot;
        }
        snapshot.sources[output - 1] = input;
    }
    if (snapshot.sources.contains(-1)) {
        *error = QStringLiteral("%1: output %2 has no route")
                     .arg(path)
                     .arg(snapshot.sources.indexOf(-1) + 1);
    }
    return snapshot;
}

// Writes the whole text or says why not. A regular file goes through
// QSaveFile: a file already there is replaced only by a complete new one,
// and a full disk leaves it as it was. Anything else (stdout, a device, a
// pipe) cannot be replaced and is written directly, every write checked.
QString writeSnapshot(const QString &path, const QByteArray &text)
{
    if (path == standardStream) {
        const int error = writeOut(text);
        return error == 0 ? QString()
                          : QStringLiteral("cannot write the snapshot to standard output: %1")
                                .arg(QString::fromLocal8Bit(std::strerror(error)));
    }
    const QFileInfo existing(path);
    if (existing.exists() && !existing.isFile()) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)
            || file.write(text) != text.size() || !file.flush())
            return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        file.close();
        return QString();
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    return QString();
}

} // namespace

int runSnapshot(const Invocation &call, Report &report)
{
    const QString path = call.arguments.at(0);
    DeviceSession session(call.link);
    const SentRecord record(report, session);
    const std::optional<StatusReply> info = openAndLearn(session, report);
    if (!info)
        return ExitDevice;
    const std::optional<QVector<int>> sources = awaitMap(session, report);
    if (!sources)
        return ExitDevice;

    const QJsonObject snapshot {{QStringLiteral("format"), snapshotFormat},
                                {QStringLiteral("version"), std::end(snapshotVersions)[-1]},
                                {QStringLiteral("device"), info->deviceLetter},
                                {QStringLiteral("model"), info->model},
                                {QStringLiteral("inputs"), info->inputs},
                                {QStringLiteral("outputs"), info->outputs},
                                {QStringLiteral("routes"), routesArray(*sources)}};
    const QString error = writeSnapshot(path, QJsonDocument(snapshot).toJson());
    if (!error.isEmpty())
        return report.fail(ExitDevice, error);
    if (path == standardStream)
        report.giveAwayStdout();
    report.document().insert(QStringLiteral("file"), path);
    report.document().insert(QStringLiteral("routes"), routesArray(*sources));
    report.line(QStringLiteral("%1 routes of device %2 (%3) written to %4")
                    .arg(sources->size())
                    .arg(info->deviceLetter, info->model, path));
    return ExitOk;
}

int runRestore(const Invocation &call, Report &report)
{
    const QString path = call.arguments.at(0);
    QString error;
    const Snapshot snapshot = readSnapshot(path, &error);
    if (!error.isEmpty())
        return report.fail(ExitUsage, error);
    report.document().insert(QStringLiteral("file"), path);
    const QString name = fileName(path, "standard input");

    DeviceSession session(call.link);
    const SentRecord record(report, session);
    const std::optional<StatusReply> info = openAndLearn(session, report);
    if (!info)
        return ExitDevice;
    if (info->inputs != snapshot.inputs || info->outputs != snapshot.outputs) {
        return report.fail(ExitUsage,
                           QStringLiteral("%1 was taken from a device with %2 inputs and %3 "
                                          "outputs (%4, %5); this one has %6 inputs and %7 "
                                          "outputs: nothing sent")
                               .arg(name)
                               .arg(snapshot.inputs)
                               .arg(snapshot.outputs)
                               .arg(snapshot.device, snapshot.model)
                               .arg(info->inputs)
                               .arg(info->outputs));
    }
    const std::optional<QVector<int>> current = awaitMap(session, report);
    if (!current)
        return ExitDevice;

    QList<QPair<int, int>> switches;
    for (int j = 0; j < snapshot.outputs; ++j) {
        const int input = snapshot.sources.at(j);
        if (input == current->at(j))
            continue;
        if (input == 0) {
            // The device reported no input there; no switch can ask for that.
            report.warn(QStringLiteral("output %1 had no input in %2; left on input %3")
                            .arg(j + 1)
                            .arg(name)
                            .arg(current->at(j)));
            continue;
        }
        switches.append({j + 1, input});
    }
    report.document().insert(QStringLiteral("switched"), switches.size());
    if (switches.isEmpty()) {
        report.document().insert(QStringLiteral("routes"), QJsonArray());
        report.line(QStringLiteral("nothing to switch: the routes of %1 hold").arg(name));
        return ExitOk;
    }
    const Routes wanted = sendSwitches(session, switches);
    return judge(session, report, session.awaitRoutes(wanted));
}

int runWatch(const Invocation &call, Report &report)
{
    report.startStream();
    DeviceSession session(call.link);
    if (!session.open())
        return report.fail(ExitDevice, session.error());
    session.stopOnSignals();
    // The output count is needed to tell where a routing map ends.
    session.send(commands::refreshCommand());

    QTimer poll;
    if (call.pollMs > 0) {
        QObject::connect(&poll, &QTimer::timeout, &session,
                         [&session] { session.send(commands::queryCommand()); });
        poll.start(call.pollMs);
    }
    int shown = 0;
    std::optional<QVector<int>> lastMap;
    for (;;) {
        const DeviceSession::Event event = session.next(QDeadlineTimer(QDeadlineTimer::Forever));
        if (event.kind == DeviceSession::Event::Interrupted)
            return ExitOk;
        if (event.kind == DeviceSession::Event::Failed)
            return report.fail(ExitDevice, session.error());
        if (event.kind != DeviceSession::Event::Reply)
            continue;
        const StatusReply &reply = event.chunk.reply;
        const QByteArray &bytes = event.chunk.bytes;
        QString text;
        switch (reply.kind) {
        case StatusReply::DeviceInformation:
            text = informationLine(reply);
            break;
        case StatusReply::RoutingMap:
            // Polled maps are news only when they differ.
            if (call.pollMs > 0 && lastMap == reply.sources)
                continue;
            lastMap = reply.sources;
            text = routesLine(reply.sources);
            break;
        case StatusReply::Ignored:
            text = QStringLiteral("unrecognised %1 bytes: %2")
                       .arg(bytes.size())
                       .arg(printable(bytes));
            break;
        }
        // Nobody reads any more: watching on would only hold the link.
        if (!report.stream(text, {{QStringLiteral("reply"), replyObject(bytes, reply)}}))
            return ExitDevice;
        if (reply.kind == StatusReply::Ignored)
            continue; // noise does not count
        if (call.count > 0 && ++shown >= call.count)
            return ExitOk;
    }
}

} // namespace ctl
