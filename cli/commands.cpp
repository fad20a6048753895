#include "commands.h"

#include "destination.h"
#include "fleet.h"
#include "output.h"

#include "engine/protocol.h"
#include "link/capture.h"
#include "link/portchoice.h"
#include "link/portmap.h"
#include "settings/store.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace Commands {

namespace {

using Output::complain;

// The projectors to work on and their speed: as given (-p, --fleet), or the panel's port.
bool selectProjectors(const Arguments &arguments, QVector<Projector> *projectors, int *baud,
                      int *exitCode)
{
    const PortChoice stored = Store::storedChoice();
    *baud = arguments.baud ? arguments.baud : stored.baud();
    QVector<Projector> fleet;
    QString error;
    *exitCode = ExitStatus::Usage;
    if (!arguments.fleet.isEmpty() && !Projectors::readFleet(arguments.fleet, &fleet, &error)) {
        complain(error);
        return false;
    }
    if (!arguments.ports.isEmpty()) {
        if (Projectors::select(arguments.ports, fleet, projectors, &error))
            return true;
        complain(error);
        return false;
    }
    if (!arguments.fleet.isEmpty()) {
        *projectors = fleet;
        if (!fleet.isEmpty())
            return true;
        complain(QStringLiteral("%1 names no projector").arg(arguments.fleet));
        return false;
    }
    // Nothing to work on is a matter of the command line, like a -p that names nothing.
    if (!stored.isUsable()) {
        complain(QStringLiteral("no port given and no usable port stored; give one with -p"));
        return false;
    }
    *exitCode = ExitStatus::PortFailed;
    return Projectors::select({QString::number(stored.portNumber())}, {}, projectors, &error);
}

// --record: each projector's capture file, each opened here once, so that one that cannot be
// written stops the program before any port is touched.
bool chooseCaptures(const Arguments &arguments, QVector<Projector> *projectors)
{
    if (arguments.record.isEmpty())
        return true;
    const QFileInfo path(arguments.record);
    QStringList files;
    if (projectors->size() == 1 && !path.isDir()) {
        files << arguments.record;
    } else {
        if (path.exists() && !path.isDir()) {
            complain(QStringLiteral("--record: %1 is not a folder, and %2 projectors need one")
                         .arg(arguments.record)
                         .arg(projectors->size()));
            return false;
        }
        if (!QDir().mkpath(arguments.record)) {
            complain(QStringLiteral("--record: cannot make the folder %1").arg(arguments.record));
            return false;
        }
        files = Projectors::captureFiles(*projectors, arguments.record);
    }
    for (int i = 0; i < files.size(); ++i) {
        Capture::Writer capture;
        if (!capture.openFile(files.at(i))) {
            complain(capture.error());
            return false;
        }
        (*projectors)[i].capture = files.at(i);
    }
    return true;
}

// The projectors, their speed and, with --record, their capture files: everything that can stop
// a command before any port is touched.
bool chooseProjectors(const Arguments &arguments, QVector<Projector> *projectors, int *baud,
                      int *exitCode)
{
    if (!selectProjectors(arguments, projectors, baud, exitCode))
        return false;
    if (chooseCaptures(arguments, projectors))
        return true;
    *exitCode = ExitStatus::CannotWrite;
    return false;
}

int highest(const QVector<PortRun> &runs)
{
    int exitCode = ExitStatus::Success;
    for (const PortRun &run : runs)
        exitCode = std::max(exitCode, run.exitCode);
    return exitCode;
}

// Where a silent port listened, so that a wrong port or speed shows: "COM3 (/dev/ttyUSB0) at
// 19200 baud". Raw TCP has no speed.
QString where(const PortRun &run)
{
    QString text = run.port;
    if (run.target != run.port)
        text += QStringLiteral(" (%1)").arg(run.target);
    if (PortMap::parse(run.target).kind != PortTarget::Kind::Tcp)
        text += QStringLiteral(" at %1 baud").arg(run.baud);
    return text;
}

// A projector's message, headed by its fleet name when it has one: the address alone does not
// tell a reader which room it is.
void complainAbout(const PortRun &run, const QString &text)
{
    complain(run.name.isEmpty() ? text : run.name + QStringLiteral(": ") + text);
}

QString secondsText(int ms)
{
    return QString::number(ms / 1000.0);
}

int finish(const Arguments &arguments, Destination &destination, const QVector<PortRun> &runs,
           Output::Kind kind)
{
    for (const PortRun &run : runs) {
        if (!run.recordError.isEmpty())
            complainAbout(run, run.recordError);
        if (!run.error.isEmpty())
            complainAbout(run, run.error);
        else if (std::any_of(run.answers.begin(), run.answers.end(),
                             [](const Session::Answer &answer) { return !answer.answered; }))
            complainAbout(run, QStringLiteral("no answer on %1").arg(where(run)));
    }
    QString text;
    switch (arguments.format) {
    case Arguments::Format::Text:
        text = Output::text(runs, kind);
        break;
    case Arguments::Format::Json:
        text = Output::json(runs, kind);
        break;
    case Arguments::Format::Csv:
        text = Output::csv(runs);
        break;
    case Arguments::Format::Prometheus:
        text = Output::prometheus(runs, QDateTime::currentDateTimeUtc(),
                                  QString::fromLocal8Bit(destination.current()));
        break;
    }
    const int exitCode = highest(runs);
    QString error;
    if (destination.write(text.toLocal8Bit(), &error))
        return exitCode;
    complain(error);
    return std::max(exitCode, int(ExitStatus::CannotWrite));
}

// The fleet on this machine: as many at once as asked (all by default) and as the open-file
// limit allows; beyond that they take turns, which is said once.
QVector<PortRun> runFleet(const Arguments &arguments, const QVector<Projector> &projectors,
                          int baud, const Session::Plan &plan)
{
    const int wanted = arguments.jobs == Arguments::AllJobs
        ? int(projectors.size())
        : std::min(arguments.jobs, int(projectors.size()));
    const int atOnce = Fleet::mostAtOnce(wanted, !arguments.record.isEmpty());
    if (atOnce < wanted)
        complain(QStringLiteral("%1 projectors, but at most %2 ports may be open at once here "
                                "(the open-file limit): they take turns")
                     .arg(projectors.size())
                     .arg(atOnce));
    return Fleet::run(projectors, baud, atOnce, plan);
}

// The same commands on every port, after waiting out warm-up and cool-down when asked.
int sendEverywhere(const Arguments &arguments, const QList<QByteArray> &commands, Output::Kind kind)
{
    QVector<Projector> projectors;
    int baud = 0;
    int exitCode = 0;
    if (!chooseProjectors(arguments, &projectors, &baud, &exitCode))
        return exitCode;
    Destination destination(arguments.output);
    QString error;
    if (!destination.open(&error)) {
        complain(error);
        return ExitStatus::CannotWrite;
    }
    Session::Plan plan;
    plan.commands = commands;
    plan.waitMs = arguments.waitMs;
    plan.stopAtSilence = kind == Output::Kind::Report;
    if (arguments.whenReady) {
        plan.until = Session::isReady;
        plan.deadline = QDeadlineTimer(arguments.timeoutMs, Qt::PreciseTimer);
        plan.everyMs = arguments.everyMs;
        plan.notReached = [&](const PortRun &run) {
            return QStringLiteral("%1 not ready within %2 s (%3); nothing sent")
                .arg(run.port, secondsText(arguments.timeoutMs), run.state);
        };
    }
    return finish(arguments, destination, runFleet(arguments, projectors, baud, plan), kind);
}

} // namespace

int send(const Arguments &arguments)
{
    QList<QByteArray> commands;
    for (const QString &text : arguments.operands)
        commands << text.toLatin1();
    return sendEverywhere(arguments, commands, Output::Kind::Send);
}

int report(const Arguments &arguments)
{
    QList<QByteArray> commands;
    for (const Decoders::StatusRead &read : Decoders::statusReads())
        commands << read.command;
    return sendEverywhere(arguments, commands, Output::Kind::Report);
}

int wait(const Arguments &arguments)
{
    QVector<Projector> projectors;
    int baud = 0;
    int exitCode = 0;
    if (!chooseProjectors(arguments, &projectors, &baud, &exitCode))
        return exitCode;
    Session::Plan plan;
    plan.until = [&](const QString &now) {
        return now == arguments.until;
    };
    plan.changed = [](const PortRun &run) {
        Output::out(run.label() + QLatin1Char(' ') + run.state);
    };
    // Ports that wait their turn beyond --jobs wait within the same time.
    plan.deadline = QDeadlineTimer(arguments.timeoutMs, Qt::PreciseTimer);
    plan.everyMs = arguments.everyMs;
    const QVector<PortRun> runs = runFleet(arguments, projectors, baud, plan);
    QStringList late;
    for (const PortRun &run : runs) {
        if (!run.recordError.isEmpty())
            complainAbout(run, run.recordError);
        if (!run.error.isEmpty())
            complainAbout(run, run.error);
        else if (run.exitCode != ExitStatus::Success)
            late << QStringLiteral("%1 (%2)").arg(run.label(), run.state);
    }
    if (!late.isEmpty())
        complain(QStringLiteral("not %1 within %2 s: %3")
                     .arg(arguments.until, secondsText(arguments.timeoutMs),
                          late.join(QStringLiteral(", "))));
    return highest(runs);
}

} // namespace Commands
