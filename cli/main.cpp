// orva: the ports, commands and status reports of many projectors, from a shell or a script.
#include "arguments.h"
#include "commands.h"
#include "exitstatus.h"
#include "output.h"

#include "engine/protocol.h"
#include "link/portchoice.h"
#include "link/portinfo.h"
#include "link/portmap.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>

namespace {

using Output::complain;
using Output::json;
using Output::out;

using namespace ExitStatus;

int ports(const Arguments &arguments)
{
    QStringList objects;
    QHash<QString, int> mappedAs;
    struct Row
    {
        QString port, target, state;
    };
    QVector<Row> rows;
    for (int number = PortChoice::LowestPortNumber; number <= PortChoice::HighestPortNumber;
         ++number) {
        const PortInfo::Report report = PortInfo::probe(number);
        const QString target = report.target.kind == PortTarget::Kind::Unusable
            ? report.target.entry
            : report.target.text();
        if (report.target.kind == PortTarget::Kind::Device && !report.target.entry.isEmpty())
            mappedAs.insert(report.target.device, number);
        const QString state = PortInfo::stateText(report.state);
        if (arguments.json) {
            objects << QStringLiteral("{\"port\": %1, \"target\": %2, \"mapped\": %3, "
                                      "\"state\": %4, \"detail\": %5}")
                           .arg(json(QStringLiteral("COM%1").arg(number)), json(target),
                                json(!report.target.entry.isEmpty()), json(state),
                                json(report.detail));
            continue;
        }
        Row row {QStringLiteral("COM%1").arg(number), target, state};
        if (!report.detail.isEmpty())
            row.state += QStringLiteral(" (%1)").arg(report.detail);
        if (report.target.entry.isEmpty())
            row.state += QStringLiteral(" [no entry]");
        rows << row;
    }
    // The state column starts where the longest target ends, so a long entry keeps it aligned.
    int targetWidth = 30;
    for (const Row &row : rows)
        targetWidth = std::max(targetWidth, int(row.target.size()));
    for (const Row &row : rows)
        out(row.port.leftJustified(6) + row.target.leftJustified(targetWidth) + QLatin1Char(' ')
            + row.state);
    const QVector<PortInfo::Device> devices = PortInfo::devices();
    int nextFree = PortChoice::LowestPortNumber;
    // A number whose usual device is there (COM1 on most Windows machines) is not offered.
    auto usualDeviceIsThere = [&](int number) {
        const QString usual = PortMap::resolve(number).device;
        return std::any_of(devices.begin(), devices.end(),
                           [&](const PortInfo::Device &device) { return device.path == usual; });
    };
    auto freeNumber = [&] {
        while (nextFree <= PortChoice::HighestPortNumber
               && (PortMap::hasEntry(nextFree) || usualDeviceIsThere(nextFree)))
            ++nextFree;
        return nextFree <= PortChoice::HighestPortNumber ? nextFree++ : 0;
    };
    if (!arguments.json && !devices.isEmpty())
        out(QStringLiteral("\nSerial devices of this machine:"));
    for (const PortInfo::Device &device : devices) {
        const QString name = device.byId.isEmpty() ? device.path : device.byId;
#ifdef Q_OS_WIN
        int mapped = mappedAs.value(device.path); // COM23: no file to resolve
#else
        int mapped = mappedAs.value(QFileInfo(device.path).canonicalFilePath());
#endif
        // A device that is some port's fallback needs no entry.
        for (int n = PortChoice::LowestPortNumber; !mapped && n <= PortChoice::HighestPortNumber;
             ++n) {
            const PortTarget target = PortMap::resolve(n);
            if (target.entry.isEmpty() && target.device == device.path)
                mapped = n;
        }
        const int number = mapped ? 0 : freeNumber();
        const QString map = mapped ? QString()
            : number               ? QStringLiteral("orva map COM%1 %2").arg(number).arg(name)
                                   : QString();
        if (arguments.json) {
            objects << QStringLiteral("{\"device\": %1, \"byId\": %2, \"manufacturer\": %3, "
                                      "\"description\": %4, \"serialNumber\": %5, \"mappedAs\": "
                                      "%6, \"map\": %7}")
                           .arg(json(device.path), json(device.byId), json(device.manufacturer),
                                json(device.description), json(device.serialNumber),
                                mapped ? json(QStringLiteral("COM%1").arg(mapped))
                                       : QStringLiteral("null"),
                                map.isEmpty() ? QStringLiteral("null") : json(map));
            continue;
        }
        const QString about = PortInfo::maker(device);
        QString line = QStringLiteral("  %1").arg(name);
        if (!about.isEmpty())
            line += QStringLiteral(" (%1)").arg(about);
        line += mapped      ? QStringLiteral(": mapped as COM%1").arg(mapped)
            : map.isEmpty() ? QString()
                            : QStringLiteral(": ") + map;
        out(line);
    }
    if (arguments.json)
        out(QStringLiteral("[") + objects.join(QStringLiteral(",\n ")) + QStringLiteral("]"));
    return Success;
}

int said(const PortMap::Change &change)
{
    if (!change.done()) {
        complain(change.message);
        return change.outcome == PortMap::Change::Outcome::BadTarget ? Usage : NoAnswer;
    }
    out(change.message);
    if (!change.warning.isEmpty())
        complain(change.warning);
    return Success;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orva"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORVA_VERSION));

    Arguments arguments;
    QString error;
    if (!Arguments::parse(QCoreApplication::arguments().mid(1), &arguments, &error)) {
        complain(error);
        return Usage;
    }
    if (arguments.version) {
        out(QStringLiteral("orva %1").arg(QStringLiteral(ORVA_VERSION)));
        return Success;
    }
    if (arguments.help) {
        std::fputs(helpText(arguments.command).toLocal8Bit().constData(), stdout);
        return Success;
    }
    switch (arguments.command) {
    case Arguments::Command::Ports:
        return ports(arguments);
    case Arguments::Command::Map:
        return said(PortMap::map(Arguments::portNumber(arguments.operands.at(0)),
                                 arguments.operands.at(1), arguments.force));
    case Arguments::Command::Unmap:
        return said(PortMap::unmap(Arguments::portNumber(arguments.operands.at(0))));
    case Arguments::Command::Send:
        return Commands::send(arguments);
    case Arguments::Command::Report:
        return Commands::report(arguments);
    case Arguments::Command::Wait:
        return Commands::wait(arguments);
    case Arguments::Command::None:
        break;
    }
    return Usage;
}
