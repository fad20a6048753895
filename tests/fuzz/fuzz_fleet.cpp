// A fleet file and a -p list as anybody may write them: the input up to its last NUL is the file,
// the rest the -p value (a command line holds no NUL). What parses must mean the same written
// back; what does not must say where and why.
#include "fuzzing.h"

#include "cli/arguments.h"
#include "cli/projectors.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

namespace {

// Made once: a run writes it and reads it back twice.
const QString &fleetPath()
{
    static const QTemporaryDir folder;
    static const QString path = folder.filePath(QStringLiteral("fleet"));
    return path;
}

bool readFleet(const QByteArray &text, QVector<Projector> *fleet, QString *error)
{
    QFile file(fleetPath());
    require(file.open(QIODevice::WriteOnly | QIODevice::Truncate)
                && file.write(text) == text.size(),
            "writing the fleet file");
    file.close();
    return Projectors::readFleet(fleetPath(), fleet, error);
}

bool same(const QVector<Projector> &one, const QVector<Projector> &other)
{
    return std::equal(one.begin(), one.end(), other.begin(), other.end(),
                      [](const Projector &a, const Projector &b) {
                          return a.name == b.name && a.number == b.number && a.port == b.port
                              && a.target.kind == b.target.kind
                              && a.target.text() == b.target.text();
                      });
}

bool usable(const QVector<Projector> &projectors)
{
    return std::all_of(projectors.begin(), projectors.end(), [](const Projector &p) {
        return (p.number == 0) == (p.target.kind != PortTarget::Kind::Unusable) && !p.port.isEmpty()
            && !p.key().isEmpty();
    });
}

// "FILE:LINE: reason", LINE one of the file's.
void requireWhere(const QString &error, const QByteArray &text)
{
    static const QRegularExpression where(QStringLiteral("^(.*):([0-9]+): \\S"),
                                          QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = where.match(error);
    require(match.hasMatch() && match.captured(1) == fleetPath(),
            "a fleet error without FILE:LINE");
    const int line = match.captured(2).toInt();
    require(line >= 1 && line <= text.count('\n') + 1, "a fleet error on a line the file lacks");
}

// The -p items as orva reads them from its command line.
bool portItems(const QString &value, QStringList *items)
{
    Arguments arguments;
    QString error;
    const bool ok = Arguments::parse({QStringLiteral("report"), QStringLiteral("-p"), value},
                                     &arguments, &error);
    require(ok ? !arguments.ports.isEmpty() : !error.isEmpty(), "-p read without items or reason");
    *items = arguments.ports;
    return ok;
}

bool select(const QStringList &items, const QVector<Projector> &fleet, QVector<Projector> *chosen)
{
    QString error;
    chosen->clear();
    const bool ok = Projectors::select(items, fleet, chosen, &error);
    require(ok
                || (error.startsWith(QLatin1String("--port: \""))
                    || error.endsWith(QLatin1String(" is listed twice"))),
            "a -p error that names no item");
    return ok;
}

void quiet(QtMsgType, const QMessageLogContext &, const QString &) { }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    static const QtMessageHandler silenced = qInstallMessageHandler(quiet); // odd file names
    Q_UNUSED(silenced);
    const QByteArray input(reinterpret_cast<const char *>(bytes), qsizetype(size));
    const qsizetype nul = input.lastIndexOf('\0');
    const QByteArray text = nul < 0 ? input : input.left(nul);

    QVector<Projector> fleet;
    QString error;
    if (readFleet(text, &fleet, &error)) {
        require(error.isEmpty() && usable(fleet), "a fleet projector without a port");
        QSet<QString> names;
        QByteArray written;
        for (const Projector &projector : std::as_const(fleet)) {
            require(!projector.name.isEmpty(), "a fleet projector without a name");
            names.insert(projector.name);
            written += (projector.name + QLatin1Char(' ') + projector.port + QLatin1Char('\n'))
                           .toUtf8();
        }
        require(names.size() == fleet.size(), "a name given twice");
        QVector<Projector> again;
        require(readFleet(written, &again, &error) && same(again, fleet), "fleet round trip");
    } else {
        requireWhere(error, text);
        fleet.clear(); // orva stops here; the -p list is still worth reading
    }
    if (nul < 0)
        return 0;

    QStringList items;
    QVector<Projector> chosen;
    if (!portItems(QString::fromUtf8(input.mid(nul + 1)), &items) || !select(items, fleet, &chosen))
        return 0;
    require(usable(chosen) && chosen.size() >= items.size(), "a -p item that chose nothing");
    QSet<QString> keys;
    QStringList labels;
    for (const Projector &projector : std::as_const(chosen)) {
        keys.insert(projector.key());
        labels << projector.label();
    }
    require(keys.size() == chosen.size(), "one projector chosen twice");
    // The items joined again, and the chosen projectors named one by one, choose the same.
    QStringList rejoined;
    QVector<Projector> again;
    require(portItems(items.join(QLatin1Char(',')), &rejoined) && rejoined == items
                && select(rejoined, fleet, &again) && same(again, chosen),
            "-p round trip");
    require(portItems(labels.join(QLatin1Char(',')), &rejoined) && select(rejoined, fleet, &again)
                && same(again, chosen),
            "-p by the chosen names");
    return 0;
}
