#include "arguments.h"

#include "engine/protocol.h"
#include "link/portchoice.h"

#include <QRegularExpression>

namespace {

using Command = Arguments::Command;

struct CommandRow
{
    const char *name;
    Command command;
    // Options it takes: p(ort) b(aud) w(ait) j(son) c(sv) m (format) o(utput) f(orce)
    // r (when-ready) u(ntil) t(imeout) e(very) F(leet) J(obs) R(ecord).
    const char *options;
    int leastOperands;
    int mostOperands; // -1: no limit
};

const CommandRow Commands[] = {
    {"ports", Command::Ports, "j", 0, 0},
    {"map", Command::Map, "f", 2, 2},
    {"unmap", Command::Unmap, "", 1, 1},
    {"send", Command::Send, "pbwjcmorteFJR", 1, -1},
    {"report", Command::Report, "pbwjcmoFJR", 0, 0},
    {"wait", Command::Wait, "pbuteFJR", 0, 0},
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
  -p, --port LIST        ports 1 to 15 or COMn, ranges (5-8), targets (tcp://HOST:PORT,
                         rfc2217://HOST:PORT, a device) and names of the fleet, separated by
                         commas; all at once (default: the whole fleet, else the panel's
                         stored port)
      --fleet FILE       names projectors, a line each: NAME, blanks, a port or a target;
                         "#" starts a comment
      --jobs N           works at most N ports at once (default: all, as far as this
                         system's open-file limit allows; beyond it they take turns)
  -b, --baud RATE        9600 or 19200 (default: the panel's stored speed, else 19200)
      --wait MS          milliseconds a command or read waits for its answer (default 1000)
      --json             one JSON object a port
      --csv              a header line, then a line a port and command
      --format FORMAT    text, json, csv, or (report) prometheus
      --output FILE      writes FILE in one piece (a temporary file beside it, synced and
                         renamed), not standard output; a regular file or a new one
      --record PATH      send, report, wait: appends every chunk written to and read from
                         each projector, as it goes, with its opens, closes and losses, to a
                         capture file (docs/capture.md): PATH itself for one projector; for
                         several, or when PATH is a folder, PATH/NAME.capture a projector,
                         NAME its fleet name or port with all but letters, digits, ".", "_"
                         and "-" made "_" (tcp___10.0.4.22_4001.capture), "-2" added to a
                         name taken; the folder is made when missing
      --when-ready       send: first waits until the projector is neither warming nor cooling
      --until STATE      wait: on or standby
      --timeout S        wait, --when-ready: gives up after S seconds (default 180)
      --every S          wait, --when-ready: reads the status every S seconds (default 1)
      --force            map: replace an existing entry
  -h, --help             this help; orva COMMAND --help for one command
      --version          the version

A fleet file names projectors, one a line; -p may then pick them by name:
    # building A
    a-101   rfc2217://10.0.4.21:4001
    a-102   tcp://10.0.4.22:4001
    lab     COM3
A bad line, or a name given twice, is a usage error naming the file and the line number, and
no port is touched.

Results go to standard output in the order of the ports (or of the fleet file), diagnostics to
standard error; why a port failed is said there once (in text, its block says "no result").
A port that fails does not stop the others. The stored port and speed are read,
never written.

Exit status, over all ports the highest of: 0 success; 1 a command got no answer, a wait ran
out of time, or map or unmap could not do what was asked; 2 a port could not be opened or was
lost (absent, refused, busy, permission denied, or an unusable ports-folder entry). 64 a usage
error (a bad fleet file line among them, named by file and line number; or no -p, no fleet and
no usable stored port), with no port touched. 73 the --output file could not be written (its
folder, a full disk, something other than a file at the path); the old file is left as it was;
or a --record file could not be opened for appending, then before any port is touched, or
written.
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
            "Usage: orva send [-p LIST] [--fleet FILE] [--jobs N] [-b RATE] [--wait MS]\n"
            "                 [--json|--csv] [--output FILE] [--record PATH]\n"
            "                 [--when-ready [--timeout S] [--every S]] COMMAND...\n"
            "Sends each COMMAND as it goes on the wire, without its CR (\"CR0\", \"C34\",\n"
            "\"CF LAMPMODE ECO1\"), in turn, to every listed port at once. For each it waits\n"
            "until a CR has arrived or MS milliseconds have passed (1000), then prints the\n"
            "command, the answer as the panel shows it, and the decoded words for the seven\n"
            "status reads; with several ports, a block a port, headed by its name, the port,\n"
            "its target and speed.\n"
            "--json: one object a port (port, name, target, speed, time, error, answered,\n"
            "commands: command, reply, rendered, status, answered, and the read's value or\n"
            "acknowledged). --csv: as report --csv.\n"
            "--when-ready first reads the status every S seconds (1) until the projector is\n"
            "neither warming nor cooling, for at most --timeout seconds (180); a projector that\n"
            "does not get there is sent nothing.\n"
            "Exit status 1 when any command got no answer, 2 when a port failed.\n");
    case Command::Report:
        return QStringLiteral(
            "Usage: orva report [-p LIST] [--fleet FILE] [--jobs N] [-b RATE] [--wait MS]\n"
            "                   [--json|--csv|--format F] [--output FILE] [--record PATH]\n"
            "The seven status reads in the panel's order (STATUS, MODE, TEMP, SETTING,\n"
            "LAMP-TIME, LAMP-STATUS, LAMP-MODE) on every listed port at once, one line each:\n"
            "the caption and the decoded words, \"no answer\", or the answer as the panel shows\n"
            "it when nothing decodes. Each read stands alone and waits MS milliseconds (1000) at\n"
            "most for its answer. Once a read goes unanswered, the rest of that port's reads are\n"
            "not sent and count as unanswered (JSON: \"sent\": false): one silent window, not "
            "seven.\n"
            "--json: one object a port: port, name, target, speed, time (ISO 8601), error,\n"
            "answered, lamp_hours, temperatures_c, power (on, standby, warming, cooling,\n"
            "power_fault, temperature_fault, lamp_fault), input, lamp, lamp_mode, and reads keyed\n"
            "by caption.\n"
            "--csv: a header, then a row a port and read: port, name, target, speed, time,\n"
            "command, rendered, status (the words), answered, acknowledged, lamp_hours,\n"
            "temperature_1_c to temperature_3_c, power, input, lamp, lamp_mode, error.\n"
            "--format prometheus: the text format for node_exporter's textfile collector\n"
            "(orva_up, orva_lamp_use_seconds, orva_temperature_celsius, orva_power_state,\n"
            "orva_lamp_on, orva_scrape_duration_seconds), labelled with port, target and, from\n"
            "a fleet file, projector; a silent or missing projector gives orva_up 0 and its\n"
            "duration, nothing else. --output FILE replaces FILE only once all is written,\n"
            "so that a crontab line can feed node_exporter (--collector.textfile.directory):\n"
            "  * * * * * orva report --fleet /etc/orva/fleet --format prometheus\n"
            "      --output /var/lib/prometheus/node-exporter/orva.prom   (one line)\n"
            "Exit status 1 when any read got no answer, 2 when a port failed.\n");
    case Command::Wait:
        return QStringLiteral(
            "Usage: orva wait [-p LIST] [--fleet FILE] [--jobs N] [-b RATE] --until on|standby\n"
            "                 [--timeout S] [--every S] [--record PATH]\n"
            "Reads the status of every listed port every S seconds (1) until each is on, or in\n"
            "standby, and prints each state as it changes (\"COM3 warming\", \"a-101 on\"; also\n"
            "\"no answer\"). Exit status 0 when all got there, 1 when --timeout seconds (180)\n"
            "passed first, naming those that did not, 2 when a port failed. Ports wait their\n"
            "turn beyond --jobs, within the same --timeout.\n");
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
    return PortChoice::isUsablePort(number) ? number : 0;
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
            if (!takeValue())
                return false;
            // Checked once the fleet file is read: an item may be one of its names.
            for (const QString &item : value.split(QLatin1Char(',')))
                result.ports << item.trimmed();
        } else if (name == QLatin1String("--fleet")) {
            option('F');
            if (!takeValue())
                return false;
            if (value.isEmpty())
                return fail(error, QStringLiteral("--fleet needs a file name"));
            result.fleet = value;
        } else if (name == QLatin1String("--jobs")) {
            option('J');
            if (!takeValue())
                return false;
            bool ok = false;
            result.jobs = value.toInt(&ok);
            if (!ok || result.jobs < 1)
                return fail(
                    error,
                    QStringLiteral("--jobs takes a whole number from 1, not \"%1\"").arg(value));
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
        } else if (name == QLatin1String("--record")) {
            option('R');
            if (!takeValue())
                return false;
            if (value.isEmpty())
                return fail(error, QStringLiteral("--record needs a file or folder name"));
            result.record = value;
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
