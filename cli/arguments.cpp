#include "arguments.h"

#include "link/protocol.h"

#include <QRegularExpression>

namespace {

using Command = Arguments::Command;

struct CommandRow
{
    const char *name;
    Command command;
    // Options it takes: p(ort) b(aud) w(ait) j(son) c(sv) m (format) o(utput) f(orce)
    // r (when-ready) u(ntil) t(imeout) e(very).
    const char *options;
    int leastOperands;
    int mostOperands; // -1: no limit
};

const CommandRow Commands[] = {
    {"ports", Command::Ports, "j", 0, 0},        {"map", Command::Map, "f", 2, 2},
    {"unmap", Command::Unmap, "", 1, 1},         {"send", Command::Send, "pbwjcmorte", 1, -1},
    {"report", Command::Report, "pbwjcmo", 0, 0}, {"wait", Command::Wait, "pbute", 0, 0},
};

struct FormatRow
{
    const char *name;
    Arguments::Format format;
};

const FormatRow Formats[] = {
    {"text", Arguments::Format::Text},
    {"json", Arguments::Format::Json},
    {"csv", Arguments::Format::Csv},
    {"prometheus", Arguments::Format::Prometheus},
};

const CommandRow *findCommand(const QString &name)
{
    for (const CommandRow &row : Commands) {
        if (name == QLatin1String(row.name))
            return &row;
    }
    return nullptr;
}

const char *const ProgramHelp = R"(Usage: orva COMMAND [OPTIONS]
Operates video projectors on their RS-232C control ports, through the same port map, engine
and decoders as the ORVA control panel.

Commands:
  ports                  lists COM1 to COM15 and the serial devices of this machine
  map [--force] COMn TARGET
                         maps COMn to a device, tcp://HOST:PORT or rfc2217://HOST:PORT
  unmap COMn             removes the mapping of COMn
  send COMMAND...        sends each command (without its CR) and prints the answer
  report                 the seven status reads, one line each
  wait --until on|standby
                         waits until every projector is on, or in standby

Options:
  -p, --port LIST        ports 1 to 15 or COMn, a list with ranges (1,3,5-8), all at once
                         (default: the panel's stored port)
  -b, --baud RATE        9600 or 19200 (default: the panel's stored speed, else 19200)
      --wait MS          how long a command or read waits for its answer (default 1000)
      --json             one JSON object a port
      --csv              a header line, then a line a port and command
      --format FORMAT    text, json, csv, or (report) prometheus
      --output FILE      writes FILE in one piece (a temporary file, renamed), not standard
                         output
      --when-ready       send: first waits until the projector is neither warming nor cooling
      --until STATE      wait: on or standby
      --timeout S        wait, --when-ready: gives up after S seconds (default 180)
      --every S          wait, --when-ready: reads the status every S seconds (default 1)
      --force            map: replace an existing entry
  -h, --help             this help; orva COMMAND --help for one command
      --version          the version

Results go to standard output in port order, diagnostics to standard error. A port that fails
does not stop the others. The stored port and speed are read, never written.

Exit status, over all ports the highest of: 0 success; 1 a command got no answer, a wait ran
out of time, or map or unmap could not do what was asked; 2 a port could not be opened or was
lost (absent, refused, busy, permission denied, or an unusable ports-folder entry). 64 a usage
error, with no port touched.
)";

QString commandHelp(Command command)
{
    switch (command) {
    case Command::Ports:
        return QStringLiteral(
            "Usage: orva ports [--json]\n"
            "COM1 to COM15, one line each: what the port stands for (a device, tcp://, rfc2217://\n"
            "or the fallback device /dev/ttyS{n-1}), whether it is there, and whether another\n"
            "program holds it or this user may not open it (tried by opening and closing the\n"
            "device at once). Network ports are not probed. Then the serial devices of this\n"
            "machine, each with the orva map line that would map it.\n");
    case Command::Map:
        return QStringLiteral(
            "Usage: orva map [--force] COMn TARGET\n"
            "Maps COMn (1 to 15) to TARGET: a device path (/dev/ttyUSB0,\n"
            "/dev/serial/by-id/..., COM7 on Windows), tcp://HOST:PORT or rfc2217://HOST:PORT.\n"
            "A device becomes a symbolic link (a one-line file on Windows), a network target a\n"
            "one-line file in the ports folder. An existing entry is replaced only with --force;\n"
            "a target that cannot be read is refused and nothing is written.\n");
    case Command::Unmap:
        return QStringLiteral("Usage: orva unmap COMn\n"
                              "Removes the ports-folder entry of COMn; it falls back to its usual "
                              "device.\n");
    case Command::Send:
        return QStringLiteral(
            "Usage: orva send [-p LIST] [-b RATE] [--wait MS] [--json|--csv] [--output FILE]\n"
            "                 [--when-ready [--timeout S] [--every S]] COMMAND...\n"
            "Sends each COMMAND as it goes on the wire, without its CR (\"CR0\", \"C34\",\n"
            "\"CF LAMPMODE ECO1\"), in turn, to every listed port at once. For each it waits "
            "until\n"
            "a CR has arrived or MS milliseconds have passed (1000), then prints the command, the\n"
            "answer as the panel shows it, and the decoded words for the seven status reads;\n"
            "with several ports, a block a port, headed by the port, its target and speed.\n"
            "--json: one object a port (port, target, speed, time, error, answered, commands:\n"
            "command, reply, rendered, status, answered, and the read's value or acknowledged).\n"
            "--csv: as report --csv. --when-ready first reads the status every S seconds (1)\n"
            "until the projector is neither warming nor cooling, for at most --timeout seconds\n"
            "(180); a port that does not get there is sent nothing.\n"
            "Exit status 1 when any command got no answer, 2 when a port failed.\n");
    case Command::Report:
        return QStringLiteral(
            "Usage: orva report [-p LIST] [-b RATE] [--wait MS] [--json|--csv|--format F]\n"
            "                   [--output FILE]\n"
            "The seven status reads in the panel's order (STATUS, MODE, TEMP, SETTING,\n"
            "LAMP-TIME, LAMP-STATUS, LAMP-MODE) on every listed port at once, one line each:\n"
            "the caption and the decoded words, \"no answer\", or the answer as the panel shows\n"
            "it when nothing decodes. Each read stands alone and waits MS milliseconds (1000) at\n"
            "most for its answer.\n"
            "--json: one object a port: port, target, speed, time (ISO 8601), error, answered,\n"
            "lamp_hours, temperatures_c, power (on, standby, warming, cooling, power_fault,\n"
            "temperature_fault, lamp_fault), input, lamp, lamp_mode, and reads keyed by caption.\n"
            "--csv: a header, then a row a port and read: port, target, speed, time, command,\n"
            "rendered, status (the words), answered, acknowledged, lamp_hours,\n"
            "temperature_1_c to temperature_3_c, power, input, lamp, lamp_mode, error.\n"
            "--format prometheus: the text format for node_exporter's textfile collector\n"
            "(orva_up, orva_lamp_use_seconds, orva_temperature_celsius, orva_power_state,\n"
            "orva_lamp_on, orva_scrape_duration_seconds); a silent or missing projector gives\n"
            "orva_up 0 and nothing else. --output FILE replaces FILE only when all is written.\n"
            "Exit status 1 when any read got no answer, 2 when a port failed.\n");
    case Command::Wait:
        return QStringLiteral(
            "Usage: orva wait [-p LIST] [-b RATE] --until on|standby [--timeout S] [--every S]\n"
            "Reads the status of every listed port every S seconds (1) until each is on, or in\n"
            "standby, and prints each state as it changes (\"COM3 warming\", \"COM3 on\"; also\n"
            "\"no answer\"). Exit status 0 when all got there, 1 when --timeout seconds (180)\n"
            "passed first, naming those that did not, 2 when a port failed.\n");
    case Command::None:
        break;
    }
    return QString::fromLatin1(ProgramHelp);
}

bool fail(QString *error, const QString &text)
{
    *error = text;
    return false;
}

} // namespace

QString helpText(Arguments::Command command)
{
    return commandHelp(command);
}

int Arguments::portNumber(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^(?:COM)?([0-9]{1,2})$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(text);
    const int number = match.hasMatch() ? match.captured(1).toInt() : 0;
    return Wire::isUsablePort(number) ? number : 0;
}

bool Arguments::portList(const QString &text, QVector<int> *ports, QString *error)
{
    const QString reason = QStringLiteral(
        "--port takes 1 to 15 or COM1 to COM15, as a list with ranges (1,3,5-8), not \"%1\"");
    for (const QString &item : text.split(QLatin1Char(','))) {
        const QStringList ends = item.trimmed().split(QLatin1Char('-'));
        const int first = portNumber(ends.first());
        const int last = ends.size() == 2 ? portNumber(ends.last()) : first;
        if (ends.size() > 2 || first == 0 || last < first)
            return fail(error, reason.arg(item));
        for (int number = first; number <= last; ++number) {
            if (ports->contains(number))
                return fail(error, QStringLiteral("COM%1 is listed twice").arg(number));
            ports->append(number);
        }
    }
    return true;
}

namespace {

// Seconds, as a whole number or with a fraction, between the bounds; milliseconds out.
bool seconds(const QString &name, const QString &value, double lowest, double highest, int *ms,
             QString *error)
{
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!ok || !(number >= lowest && number <= highest))
        return fail(error,
                    QStringLiteral("%1 takes seconds from %2 to %3, not \"%4\"")
                        .arg(name)
                        .arg(lowest)
                        .arg(highest)
                        .arg(value));
    *ms = int(number * 1000 + 0.5);
    return true;
}

} // namespace

bool Arguments::parse(const QStringList &arguments, Arguments *parsed, QString *error)
{
    Arguments result;
    const CommandRow *row = nullptr;
    bool operandsOnly = false;
    QString given; // the letters of the options given, checked against the command at the end
    QStringList givenNames;
    bool formatGiven = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (operandsOnly || !argument.startsWith(QLatin1Char('-'))
            || argument == QLatin1String("-")) {
            if (!row) {
                row = findCommand(argument);
                if (!row)
                    return fail(error, QStringLiteral("unknown command \"%1\"").arg(argument));
                result.command = row->command;
            } else {
                result.operands << argument;
            }
            continue;
        }
        if (argument == QLatin1String("--")) {
            operandsOnly = true;
            continue;
        }
        QString name = argument;
        QString value;
        bool hasValue = false;
        if (const int equals = argument.indexOf(QLatin1Char('='));
            argument.startsWith(QLatin1String("--")) && equals > 0) {
            name = argument.left(equals);
            value = argument.mid(equals + 1);
            hasValue = true;
        }
        auto takeValue = [&]() -> bool {
            if (hasValue)
                return true;
            if (i + 1 >= arguments.size())
                return fail(error, QStringLiteral("%1 needs a value").arg(name));
            value = arguments.at(++i);
            return true;
        };
        auto option = [&](char letter) {
            given += QLatin1Char(letter);
            givenNames << name;
        };
        auto setFormat = [&](Format format) -> bool {
            if (formatGiven && result.format != format)
                return fail(error, QStringLiteral("give one output format, not two"));
            formatGiven = true;
            result.format = format;
            result.json = format == Format::Json;
            return true;
        };
        if (name == QLatin1String("-h") || name == QLatin1String("--help")) {
            result.help = true;
        } else if (name == QLatin1String("--version")) {
            result.version = true;
        } else if (name == QLatin1String("--json")) {
            option('j');
            if (!setFormat(Format::Json))
                return false;
        } else if (name == QLatin1String("--csv")) {
            option('c');
            if (!setFormat(Format::Csv))
                return false;
        } else if (name == QLatin1String("--format")) {
            option('m');
            if (!takeValue())
                return false;
            const FormatRow *format = nullptr;
            for (const FormatRow &candidate : Formats) {
                if (value == QLatin1String(candidate.name))
                    format = &candidate;
            }
            if (!format)
                return fail(error,
                            QStringLiteral("--format is text, json, csv or prometheus, not \"%1\"")
                                .arg(value));
            if (!setFormat(format->format))
                return false;
        } else if (name == QLatin1String("--force")) {
            option('f');
            result.force = true;
        } else if (name == QLatin1String("-p") || name == QLatin1String("--port")) {
            option('p');
            if (!takeValue() || !portList(value, &result.ports, error))
                return false;
        } else if (name == QLatin1String("-b") || name == QLatin1String("--baud")) {
            option('b');
            if (!takeValue())
                return false;
            if (value != QLatin1String("9600") && value != QLatin1String("19200"))
                return fail(error,
                            QStringLiteral("--baud is 9600 or 19200, not \"%1\"").arg(value));
            result.baud = value.toInt();
        } else if (name == QLatin1String("--wait")) {
            option('w');
            if (!takeValue())
                return false;
            bool ok = false;
            result.waitMs = value.toInt(&ok);
            if (!ok || result.waitMs < 1 || result.waitMs > 600000)
                return fail(error,
                            QStringLiteral("--wait takes milliseconds from 1 to 600000, not \"%1\"")
                                .arg(value));
        } else if (name == QLatin1String("--output")) {
            option('o');
            if (!takeValue())
                return false;
            if (value.isEmpty())
                return fail(error, QStringLiteral("--output needs a file name"));
            result.output = value;
        } else if (name == QLatin1String("--when-ready")) {
            option('r');
            result.whenReady = true;
        } else if (name == QLatin1String("--until")) {
            option('u');
            if (!takeValue())
                return false;
            if (value != QLatin1String("on") && value != QLatin1String("standby"))
                return fail(error,
                            QStringLiteral("--until is on or standby, not \"%1\"").arg(value));
            result.until = value;
        } else if (name == QLatin1String("--timeout")) {
            option('t');
            if (!takeValue() || !seconds(name, value, 0.1, 86400, &result.timeoutMs, error))
                return false;
        } else if (name == QLatin1String("--every")) {
            option('e');
            if (!takeValue() || !seconds(name, value, 0.05, 3600, &result.everyMs, error))
                return false;
        } else {
            return fail(error, QStringLiteral("unknown option %1").arg(name));
        }
    }
    if (result.help || result.version) {
        *parsed = result;
        return true;
    }
    if (!row)
        return fail(error, QStringLiteral("no command given; orva --help lists them"));
    const QByteArray options(row->options);
    for (int i = 0; i < given.size(); ++i) {
        if (!options.contains(given.at(i).toLatin1()))
            return fail(error,
                        QStringLiteral("%1 does not go with %2")
                            .arg(givenNames.at(i), QLatin1String(row->name)));
    }
    if (result.format == Format::Prometheus && result.command != Command::Report)
        return fail(error, QStringLiteral("--format prometheus goes with report only"));
    if (result.command == Command::Send && !result.whenReady
        && (given.contains(QLatin1Char('t')) || given.contains(QLatin1Char('e'))))
        return fail(error, QStringLiteral("--timeout and --every go with --when-ready"));
    if (result.command == Command::Wait && result.until.isEmpty())
        return fail(error, QStringLiteral("wait needs --until on or --until standby"));
    if (result.operands.size() < row->leastOperands
        || (row->mostOperands >= 0 && result.operands.size() > row->mostOperands))
        return fail(error,
                    QStringLiteral("wrong number of arguments for %1; orva %1 --help")
                        .arg(QLatin1String(row->name)));
    if (result.command == Command::Map || result.command == Command::Unmap) {
        if (portNumber(result.operands.first()) == 0
            || !result.operands.first().startsWith(QLatin1String("COM"), Qt::CaseInsensitive))
            return fail(error,
                        QStringLiteral("\"%1\" is not COM1 to COM15").arg(result.operands.first()));
    }
    if (result.command == Command::Send) {
        for (const QString &command : result.operands) {
            for (const QChar c : command) {
                // One byte a character on the wire; the CR is added.
                if (c.unicode() > 0xFF || c == QLatin1Char('\r') || c == QLatin1Char('\n'))
                    return fail(
                        error,
                        QStringLiteral(
                            "command \"%1\" holds a line end or a character outside Latin-1")
                            .arg(command));
            }
        }
    }
    *parsed = result;
    return true;
}
