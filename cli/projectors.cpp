#include "projectors.h"

#include "engine/protocol.h"
#include "link/portchoice.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>

#include <algorithm>

namespace Projectors {

namespace {

bool fail(QString *error, const QString &text)
{
    *error = text;
    return false;
}

const QString Forms = QStringLiteral(
    "1 to 15 or COMn, a range (5-8), tcp://HOST:PORT, rfc2217://HOST:PORT or a device");

// One port, a range of ports when allowed, or a target; appended to *out. `more` names what else
// the caller would have taken.
bool parse(const QString &text, bool ranges, QVector<Projector> *out, QString *reason,
           const QString &more = {})
{
    static const QRegularExpression numbers(
        QStringLiteral("^(?:COM)?([0-9]{1,2})(?:-(?:COM)?([0-9]{1,2}))?$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = numbers.match(text);
    const int first = match.captured(1).toInt();
    const int last = match.hasCaptured(2) ? match.captured(2).toInt() : first;
    if (match.hasMatch() && (ranges || !match.hasCaptured(2)) && PortChoice::isUsablePort(first)
        && PortChoice::isUsablePort(last) && first <= last) {
        for (int number = first; number <= last; ++number) {
            Projector projector;
            projector.number = number;
            projector.port = QStringLiteral("COM%1").arg(number);
            out->append(projector);
        }
        return true;
    }
    // Parsed as an entry of the ports folder is, so the rules and the words are the same.
    const PortTarget target = PortMap::parse(text);
    if (target.kind != PortTarget::Kind::Unusable) {
        Projector projector;
        projector.target = target;
        projector.port = text;
        out->append(projector);
        return true;
    }
    return fail(reason,
                text.contains(QLatin1String("://"))
                    ? QStringLiteral("\"%1\": %2").arg(text, target.problem)
                    : QStringLiteral("\"%1\" is not a port: write %2%3").arg(text, Forms, more));
}

} // namespace

bool readFleet(const QString &path, QVector<Projector> *fleet, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return fail(error, QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    static const QRegularExpression nameRule(QStringLiteral("^[A-Za-z][A-Za-z0-9._-]*$"));
    static const QRegularExpression portName(QStringLiteral("^COM[0-9]+$"),
                                             QRegularExpression::CaseInsensitiveOption);
    QHash<QString, int> lineOf;
    for (int number = 1; !file.atEnd(); ++number) {
        // readLine(n) stops at n - 1 bytes: room for the longest line, its newline and one byte
        // that tells a longer line.
        QByteArray raw = file.readLine(MaxLineBytes + 3);
        const auto bad = [&](const QString &reason) {
            return fail(error, QStringLiteral("%1:%2: %3").arg(path).arg(number).arg(reason));
        };
        if (raw.size() - (raw.endsWith('\n') ? 1 : 0) > MaxLineBytes)
            return bad(QStringLiteral("the line is longer than %1 bytes").arg(MaxLineBytes));
        // '#' is never part of a UTF-8 sequence, and a comment may be in any encoding.
        if (const qsizetype comment = raw.indexOf('#'); comment >= 0)
            raw.truncate(comment);
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString line = utf8(raw);
        // Qt opens a device by the UTF-8 of its name: a path in another encoding names another.
        if (utf8.hasError())
            return bad(QStringLiteral("write names and targets in UTF-8"));
        const QStringList fields
            = line.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        if (fields.isEmpty())
            continue;
        if (fields.size() != 2)
            return bad(QStringLiteral("write a name, blanks, then a port or a target"));
        const QString &name = fields.at(0);
        if (!nameRule.match(name).hasMatch() || portName.match(name).hasMatch())
            return bad(QStringLiteral("\"%1\" is not a name: a letter first, then letters, "
                                      "digits, \".\", \"_\" or \"-\"; not COMn")
                           .arg(name));
        if (lineOf.contains(name))
            return bad(QStringLiteral("\"%1\" is named twice (first on line %2)")
                           .arg(name)
                           .arg(lineOf.value(name)));
        if (fleet->size() >= MaxFleet)
            return bad(QStringLiteral("more than %1 projectors").arg(MaxFleet));
        QString reason;
        if (!parse(fields.at(1), false, fleet, &reason))
            return bad(reason);
        fleet->last().name = name;
        lineOf.insert(name, number);
    }
    return true;
}

bool select(const QStringList &items, const QVector<Projector> &fleet, QVector<Projector> *chosen,
            QString *error)
{
    for (const QString &item : items) {
        const auto named = std::find_if(fleet.begin(), fleet.end(),
                                        [&](const Projector &p) { return p.name == item; });
        QString reason;
        if (named != fleet.end())
            chosen->append(*named);
        else if (!parse(item, true, chosen, &reason,
                        fleet.isEmpty() ? QString() : QStringLiteral(", or a name of the fleet")))
            return fail(error, QStringLiteral("--port: ") + reason);
    }
    QSet<QString> keys;
    for (const Projector &projector : std::as_const(*chosen)) {
        if (keys.contains(projector.key()))
            return fail(error, QStringLiteral("%1 is listed twice").arg(projector.label()));
        keys.insert(projector.key());
    }
    return true;
}

QStringList captureFiles(const QVector<Projector> &projectors, const QString &folder)
{
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._-]"));
    QSet<QString> taken;
    QStringList files;
    for (const Projector &projector : projectors) {
        const QString stem = QString(projector.label()).replace(unsafe, QStringLiteral("_"));
        QString name = stem + QStringLiteral(".capture");
        for (int n = 2; taken.contains(name.toLower()); ++n)
            name = QStringLiteral("%1-%2.capture").arg(stem).arg(n);
        taken.insert(name.toLower());
        files << folder + QLatin1Char('/') + name;
    }
    return files;
}

} // namespace Projectors
