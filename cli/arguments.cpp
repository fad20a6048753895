#include "arguments.h"

#include "link/protocol.h"

#include <QRegularExpression>

namespace {

using Command = Arguments::Command;

struct CommandRow
{
    const char *name;
    Command command;
    const char *options; // which options it takes: p(ort) b(aud) w(ait) j(son) f(orce)
    int leastOperands;
    int mostOperands; // -1: no limit
};

const CommandRow Commands[] = {
    {"ports", Command::Ports, "j", 0, 0},     {"map", Command::Map, "f", 2, 2},
    {"unmap", Command::Unmap, "", 1, 1},      {"send", Command::Send, "pbwj", 1, -1},
    {"report", Command::Report, "pbj", 0, 0},
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
Operates a video projector on its RS-232C control port, through the same port map, engine
and decoders as the ORVA control panel.

Commands:
  ports                  lists COM1 to COM15 and the serial devices of this machine
  map [--force] COMn TARGET
                         maps COMn to a device, tcp://HOST:PORT or rfc2217://HOST:PORT
  unmap COMn             removes the mapping of COMn
  send COMMAND...        sends each command (without its CR) and prints the answer
  report                 the seven status reads, one line each

Options:
  -p, --port N           the port, 1 to 15 or COMn (default: the panel's stored port)
  -b, --baud RATE        9600 or 19200 (default: the panel's stored speed, else 19200)
      --wait MS          how long send waits for an answer (default 1000)
      --json             machine-readable output
      --force            map: replace an existing entry
  -h, --help             this help; orva COMMAND --help for one command
      --version          the version

Results go to standard output, diagnostics to standard error. The stored port and speed are
read, never written.

Exit status: 0 success; 1 a command got no answer, or map or unmap could not do what was
asked; 2 the port could not be opened (absent, refused, busy, permission denied, or an
unusable ports-folder entry); 64 a usage error.
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
            "Usage: orva send [-p N] [-b RATE] [--wait MS] [--json] COMMAND...\n"
            "Sends each COMMAND as it goes on the wire, without its CR (\"CR0\", \"C34\",\n"
            "\"CF LAMPMODE ECO1\"), in turn. For each it waits until a CR has arrived or MS\n"
            "milliseconds have passed (1000), then prints the command, the answer as the panel\n"
            "shows it, and the decoded words for the seven status reads. --json prints one\n"
            "object per command and line: command, reply, rendered, status (or null), answered.\n"
            "Exit status 1 when any command got no answer.\n");
    case Command::Report:
        return QStringLiteral(
            "Usage: orva report [-p N] [-b RATE] [--json]\n"
            "The seven status reads in the panel's order (STATUS, MODE, TEMP, SETTING,\n"
            "LAMP-TIME, LAMP-STATUS, LAMP-MODE), one line each: the caption and the decoded\n"
            "words, \"no answer\", or the answer as the panel shows it when nothing decodes.\n"
            "Each read stands alone. --json gives one object keyed by caption.\n"
            "Exit status 1 when any read got no answer.\n");
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

bool Arguments::parse(const QStringList &arguments, Arguments *parsed, QString *error)
{
    Arguments result;
    const CommandRow *row = nullptr;
    bool operandsOnly = false;
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
        auto allowed = [&](char option) -> bool {
            if (row && !QByteArray(row->options).contains(option))
                return fail(
                    error,
                    QStringLiteral("%1 does not go with %2").arg(name, QLatin1String(row->name)));
            return true;
        };
        if (name == QLatin1String("-h") || name == QLatin1String("--help")) {
            result.help = true;
        } else if (name == QLatin1String("--version")) {
            result.version = true;
        } else if (name == QLatin1String("--json")) {
            if (!allowed('j'))
                return false;
            result.json = true;
        } else if (name == QLatin1String("--force")) {
            if (!allowed('f'))
                return false;
            result.force = true;
        } else if (name == QLatin1String("-p") || name == QLatin1String("--port")) {
            if (!allowed('p') || !takeValue())
                return false;
            result.port = portNumber(value);
            if (result.port == 0)
                return fail(
                    error,
                    QStringLiteral("--port takes 1 to 15 or COM1 to COM15, not \"%1\"").arg(value));
        } else if (name == QLatin1String("-b") || name == QLatin1String("--baud")) {
            if (!allowed('b') || !takeValue())
                return false;
            if (value != QLatin1String("9600") && value != QLatin1String("19200"))
                return fail(error,
                            QStringLiteral("--baud is 9600 or 19200, not \"%1\"").arg(value));
            result.baud = value.toInt();
        } else if (name == QLatin1String("--wait")) {
            if (!allowed('w') || !takeValue())
                return false;
            bool ok = false;
            result.waitMs = value.toInt(&ok);
            if (!ok || result.waitMs < 1 || result.waitMs > 600000)
                return fail(error,
                            QStringLiteral("--wait takes milliseconds from 1 to 600000, not \"%1\"")
                                .arg(value));
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
    // Options given before the command were not checked against it.
    const QByteArray options(row->options);
    if ((result.json && !options.contains('j')) || (result.force && !options.contains('f'))
        || (result.port && !options.contains('p')) || (result.baud && !options.contains('b'))
        || (result.waitMs != 1000 && !options.contains('w')))
        return fail(
            error,
            QStringLiteral("an option given does not go with %1").arg(QLatin1String(row->name)));
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
