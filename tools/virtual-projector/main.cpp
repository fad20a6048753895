#include "deviceline.h"
#include "link/openfiles.h"
#include "options.h"
#include "replay.h"
#include "simulator.h"
#include "tcpline.h"

#ifdef Q_OS_UNIX
#include "ptyline.h"
#include "quitonsignal.h"
#endif

#include <QCoreApplication>

#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

namespace {

constexpr int UsageExit = 64; // as orva's
constexpr int CannotWriteExit = 73; // as orva's for a file it cannot write

void say(const QString &text)
{
    std::fprintf(stdout, "%s\n", qPrintable(text));
    std::fflush(stdout); // whoever started us waits for this line
}

void complain(const QString &text)
{
    std::fprintf(stderr, "virtual-projector: %s\n", qPrintable(text));
}

// Each projector holds its port and its client open, besides what every program holds.
constexpr qint64 OpenFilesPerProjector = 2;
constexpr qint64 OpenFilesBesides = 64;

bool roomForFleet(int count, QString *message)
{
    const qint64 needed = count * OpenFilesPerProjector + OpenFilesBesides;
    const qint64 allowed = allowOpenFiles(needed);
    if (allowed >= needed)
        return true;
    *message = QStringLiteral("cannot serve %1 projectors: each holds %2 open files (its port and "
                              "its client), and no more than %3 may be open here, enough for %4; "
                              "a higher hard limit (ulimit -Hn) makes room for more")
                   .arg(count)
                   .arg(OpenFilesPerProjector)
                   .arg(allowed)
                   .arg(qMax<qint64>(0, (allowed - OpenFilesBesides) / OpenFilesPerProjector));
    return false;
}

// All of them or none: on a failure what was opened is closed again. `addresses` gets where
// each one really listens.
bool listenAll(const Options &options, std::vector<std::unique_ptr<Line>> *lines,
               QStringList *addresses, QString *message)
{
    QString host = options.listenHost;
    for (int i = 0; i < options.count; ++i) {
        auto tcp = std::make_unique<TcpLine>();
        if (!tcp->listen(host, quint16(options.listenPort + i), message)) {
            lines->clear();
            return false;
        }
        // A name is looked up once, and the fleet stays on the address the first one took.
        host = tcp->hostAddress().toString();
        addresses->append(tcp->address());
        lines->push_back(std::move(tcp));
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("virtual-projector"));

    Options options;
    QString message;
    switch (Options::parse(QCoreApplication::arguments(), &options, &message)) {
    case Options::Parsed::Help:
        std::fprintf(stdout, "%s", qPrintable(message));
        return 0;
    case Options::Parsed::Error:
        complain(message);
        return UsageExit;
    case Options::Parsed::Run:
        break;
    }

    // Read whole before anything starts: a bad capture opens no port.
    std::optional<Replay> replay;
    if (!options.replayPath.isEmpty() && !replay.emplace().load(options.replayPath, &message)) {
        complain(message);
        return UsageExit;
    }

#ifdef Q_OS_UNIX
    QuitOnSignal quitOnSignal;
    if (!quitOnSignal.isValid()) {
        complain(QStringLiteral("cannot watch for Ctrl+C"));
        return 1;
    }
    QObject::connect(&quitOnSignal, &QuitOnSignal::received, &app, &QCoreApplication::quit);
#endif

    // Before the line: a capture that cannot be written stops everything.
    Capture::Writer capture;
    if (!options.record.isEmpty() && !capture.openFile(options.record)) {
        complain(capture.error());
        return CannotWriteExit;
    }
    Capture::Header header;
    header.program = QStringLiteral("virtual-projector");
    header.version = QStringLiteral(ORVA_VERSION);
    header.speed = options.baud;

    std::vector<std::unique_ptr<Line>> lines;
    QStringList addresses;
    if (options.listens()) {
        if (!roomForFleet(options.count, &message)
            || !listenAll(options, &lines, &addresses, &message)) {
            complain(message);
            return 1;
        }
        header.port = header.target = addresses.first();
        if (addresses.size() == 1)
            say(QStringLiteral("Virtual projector on %1. Ctrl+C ends it.").arg(addresses.first()));
        else
            say(QStringLiteral("Virtual projectors on %1 to %2 (%3). Ctrl+C ends them.")
                    .arg(addresses.first(), addresses.last())
                    .arg(addresses.size()));
    } else if (!options.device.isEmpty()) {
        auto device = std::make_unique<DeviceLine>(options.device, options.baud);
        if (!device->open(&message)) {
            complain(QStringLiteral("cannot open %1: %2").arg(options.device, message));
            return 1;
        }
        say(QStringLiteral("Virtual projector on %1 at %2 baud. Ctrl+C ends it.")
                .arg(options.device)
                .arg(options.baud));
        header.port = header.target = options.device;
        lines.push_back(std::move(device));
    } else {
#ifdef Q_OS_UNIX
        auto pty = std::make_unique<PtyLine>();
        if (!pty->isValid()) {
            complain(QStringLiteral("cannot open a pseudo-terminal"));
            return 1;
        }
        if (!pty->linkAs(options.port, &message)) {
            complain(message);
            return 1;
        }
        say(QStringLiteral("Virtual projector on COM%1 (%2 -> %3) at %4 baud. Ctrl+C ends it.")
                .arg(options.port)
                .arg(pty->linkPath(), pty->devicePath())
                .arg(options.baud));
        header.port = QStringLiteral("COM%1").arg(options.port);
        header.target = pty->devicePath();
        lines.push_back(std::move(pty));
#endif
    }
    if (lines.empty())
        return 2;
    if (capture.isOpen()) {
        if (!capture.begin(header)) {
            complain(capture.error());
            return CannotWriteExit;
        }
        lines.front()->record(&capture);
        // A serial line is there from now on; a network one opens with each client.
        if (!options.listens())
            capture.opened();
    }

    std::vector<std::unique_ptr<Simulator>> simulators;
    size_t dropped = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        Line *line = lines[i].get();
        QObject::connect(line, &Line::failed, &app, [](const QString &reason) {
            complain(QStringLiteral("line lost: %1").arg(reason));
            QCoreApplication::exit(1);
        });
        Options own = options;
        own.projector.lampHours += int(i);
        auto simulator = std::make_unique<Simulator>(line, own);
        if (addresses.size() > 1)
            simulator->setLogName(addresses.at(int(i)));
        if (replay)
            simulator->setReplay(*replay);
        // All hang up at once: one line says so.
        QObject::connect(simulator.get(), &Simulator::lineDropped, &app, [&dropped, &lines] {
            if (++dropped < lines.size())
                return;
            say(lines.size() == 1
                    ? QStringLiteral("Line dropped, as asked. Ctrl+C ends the program.")
                    : QStringLiteral("Lines dropped, as asked. Ctrl+C ends the program."));
        });
        simulators.push_back(std::move(simulator));
    }
    return app.exec();
}
