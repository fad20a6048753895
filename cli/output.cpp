#include "output.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace Output {

namespace {

QString number(double value)
{
    return QString::number(value, 'g', 12);
}

// The bytes as they came, one character a byte.
QString replyText(const QByteArray &reply)
{
    return QString::fromLatin1(reply);
}

QString caption(const QByteArray &command)
{
    for (const Decoders::StatusRead &read : Decoders::statusReads()) {
        if (read.command == command)
            return QString::fromLatin1(read.caption);
    }
    return QString::fromLatin1(command);
}

QString nullable(const QString &text)
{
    return text.isEmpty() ? QStringLiteral("null") : json(text);
}

// The values under the names scripts use; "null" where the reply gave none.
struct Field
{
    const char *key;
    QString json;
};

QVector<Field> valueFields(const Decoders::Values &values)
{
    QString temperatures = QStringLiteral("null");
    if (const auto t = values.temperaturesC)
        temperatures
            = QStringLiteral("[%1, %2, %3]").arg(number((*t)[0]), number((*t)[1]), number((*t)[2]));
    return {
        {"lamp_hours",
         values.lampHours ? QString::number(*values.lampHours) : QStringLiteral("null")},
        {"temperatures_c", temperatures},
        {"power", nullable(values.power)},
        {"input", nullable(values.input)},
        {"lamp", nullable(values.lamp)},
        {"lamp_mode", nullable(values.lampMode)},
    };
}

QString head(const PortRun &run)
{
    return QStringLiteral("\"port\": %1, \"name\": %2, \"target\": %3, \"speed\": %4, "
                          "\"time\": %5, \"error\": %6, \"answered\": %7")
        .arg(json(run.port), nullable(run.name), json(run.target))
        .arg(run.baud)
        .arg(json(run.time.toString(Qt::ISODateWithMs)), nullable(run.error),
             json(run.exitCode == ExitStatus::Success));
}

QString sendObject(const Session::Answer &answer)
{
    QString object
        = QStringLiteral("{\"command\": %1, \"reply\": %2, \"rendered\": %3, "
                         "\"status\": %4, \"answered\": %5")
              .arg(json(QString::fromLatin1(answer.command)), json(replyText(answer.reply)),
                   json(answer.rendered), json(answer.status), json(answer.answered));
    for (const Field &field : valueFields(answer.values)) {
        if (field.json != QLatin1String("null"))
            object += QStringLiteral(", \"%1\": %2").arg(QLatin1String(field.key), field.json);
    }
    if (answer.acknowledged)
        object += QStringLiteral(", \"acknowledged\": %1").arg(json(*answer.acknowledged));
    return object + QLatin1Char('}');
}

QString readObject(const Session::Answer &answer)
{
    return QStringLiteral("%1: {\"command\": %2, \"status\": %3, \"reply\": %4, \"rendered\": %5, "
                          "\"answered\": %6%7}")
        .arg(json(caption(answer.command)), json(QString::fromLatin1(answer.command)),
             json(answer.status), json(replyText(answer.reply)), json(answer.rendered),
             json(answer.answered), answer.sent ? QString() : QStringLiteral(", \"sent\": false"));
}

QString csvField(const QString &text)
{
    static const QRegularExpression special(QStringLiteral("[,\"\r\n]"));
    if (!text.contains(special))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString label(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('"'), QLatin1String("\\\""));
    escaped.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return escaped;
}

} // namespace

void out(const QString &text)
{
    const QByteArray line = text.toLocal8Bit() + '\n';
    std::fputs(line.constData(), stdout);
    std::fflush(stdout); // a line seen as it happens, also through a pipe
}

void complain(const QString &text)
{
    const QByteArray line = "orva: " + text.toLocal8Bit() + '\n';
    std::fputs(line.constData(), stderr);
}

QString json(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray {text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

QString json(const std::optional<QString> &text)
{
    return text ? json(*text) : QStringLiteral("null");
}

QString json(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString text(const QVector<PortRun> &runs, Kind kind)
{
    const bool headed = runs.size() > 1;
    QStringList blocks;
    for (const PortRun &run : runs) {
        QStringList lines;
        if (headed) {
            const QString name = run.name.isEmpty() ? QString() : run.name + QLatin1Char(' ');
            const QString target
                = run.target == run.port ? QString() : run.target + QStringLiteral(", ");
            lines << QStringLiteral("%1%2 (%3%4 baud)").arg(name, run.port, target).arg(run.baud);
        }
        for (const Session::Answer &answer : run.answers) {
            const QString words = !answer.answered ? QStringLiteral("no answer")
                : answer.status                    ? *answer.status
                                                   : QString();
            if (kind == Kind::Report)
                lines << caption(answer.command) + QStringLiteral(": ")
                        + (words.isEmpty() ? answer.rendered : words);
            else
                lines << QString::fromLatin1(answer.command) + QLatin1Char('\t') + answer.rendered
                        + (words.isEmpty() ? QString() : QLatin1Char('\t') + words);
        }
        // The reason is on standard error, once; the block only says there is nothing more.
        if (headed && !run.error.isEmpty())
            lines << QStringLiteral("no result (see standard error)");
        if (!lines.isEmpty())
            blocks << lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
    }
    return blocks.join(QLatin1Char('\n'));
}

QString json(const QVector<PortRun> &runs, Kind kind)
{
    QString result;
    for (const PortRun &run : runs) {
        QStringList parts;
        if (kind == Kind::Report) {
            for (const Field &field : valueFields(run.values))
                parts << QStringLiteral("\"%1\": %2").arg(QLatin1String(field.key), field.json);
            QStringList reads;
            for (const Session::Answer &answer : run.answers)
                reads << readObject(answer);
            parts << QStringLiteral("\"reads\": {%1}").arg(reads.join(QStringLiteral(", ")));
        } else {
            QStringList commands;
            for (const Session::Answer &answer : run.answers)
                commands << sendObject(answer);
            parts << QStringLiteral("\"commands\": [%1]").arg(commands.join(QStringLiteral(", ")));
        }
        result += QStringLiteral("{%1, %2}\n").arg(head(run), parts.join(QStringLiteral(", ")));
    }
    return result;
}

QString csv(const QVector<PortRun> &runs)
{
    QString result = QStringLiteral(
        "port,name,target,speed,time,command,rendered,status,answered,acknowledged,lamp_hours,"
        "temperature_1_c,temperature_2_c,temperature_3_c,power,input,lamp,lamp_mode,error\n");
    for (const PortRun &run : runs) {
        const QStringList where {run.port, run.name, run.target, QString::number(run.baud),
                                 run.time.toString(Qt::ISODateWithMs)};
        auto row = [&](const QStringList &fields) {
            QStringList escaped;
            for (const QString &field : where + fields)
                escaped << csvField(field);
            result += escaped.join(QLatin1Char(',')) + QLatin1Char('\n');
        };
        for (const Session::Answer &answer : run.answers) {
            const Decoders::Values &v = answer.values;
            QStringList temperatures {QString(), QString(), QString()};
            if (v.temperaturesC) {
                for (int i = 0; i < 3; ++i)
                    temperatures[i] = number((*v.temperaturesC)[i]);
            }
            row(QStringList {QString::fromLatin1(answer.command), answer.rendered,
                             answer.status.value_or(QString()), json(answer.answered),
                             answer.acknowledged ? json(*answer.acknowledged) : QString(),
                             v.lampHours ? QString::number(*v.lampHours) : QString()}
                + temperatures + QStringList {v.power, v.input, v.lamp, v.lampMode, QString()});
        }
        if (!run.error.isEmpty())
            row(QStringList(13, QString()) << run.error);
    }
    return result;
}

namespace {

constexpr char LastAnswerMetric[] = "orva_last_answer_timestamp_seconds";

QString unixSeconds(const QDateTime &time)
{
    return QString::number(time.toMSecsSinceEpoch() / 1000.0, 'f', 3);
}

// The last-answer times of an earlier file, by label set.
QHash<QString, QString> lastAnswers(const QString &previous)
{
    QHash<QString, QString> times;
    const QString start = QLatin1String(LastAnswerMetric) + QLatin1Char('{');
    for (const QString &line : previous.split(QLatin1Char('\n'))) {
        const qsizetype end = line.lastIndexOf(QStringLiteral("} "));
        if (line.startsWith(start) && end > 0)
            times.insert(line.mid(start.size(), end - start.size()), line.mid(end + 2));
    }
    return times;
}

// Faults as the reads report them, in every power state: the lamp from STATUS or LAMP-STATUS
// (a lamp that failed while warming up shows only in LAMP-STATUS), the others from STATUS.
// Absent where no read that carries one was answered.
struct Faults
{
    std::optional<bool> lamp, temperature, power;
};

Faults faults(const PortRun &run)
{
    Faults found;
    const QString &power = run.values.power;
    if (!power.isEmpty()) {
        found.lamp = power == QLatin1String("lamp_fault");
        found.temperature = power == QLatin1String("temperature_fault");
        found.power = power == QLatin1String("power_fault");
    }
    if (!run.values.lamp.isEmpty())
        found.lamp = found.lamp.value_or(false) || run.values.lamp == QLatin1String("failure");
    return found;
}

} // namespace

QString prometheus(const QVector<PortRun> &runs, const QDateTime &now, const QString &previous)
{
    const QHash<QString, QString> earlier = lastAnswers(previous);
    struct Family
    {
        const char *name;
        const char *help;
        std::function<QStringList(const PortRun &, const QString &labels)> samples;
    };
    const auto sample = [](const QString &labels, const QString &more, const QString &value) {
        return QStringLiteral("{%1%2} %3").arg(labels, more, value);
    };
    const Family families[] = {
        {"orva_up", "1 when the projector answered every status read, else 0.",
         [&](const PortRun &run, const QString &labels) {
             return QStringList {sample(labels, {},
                                        run.exitCode == ExitStatus::Success ? QStringLiteral("1")
                                                                            : QStringLiteral("0"))};
         }},
        {"orva_down_reason",
         "1 with why orva_up is 0: silent (opened, a read went unanswered), refused, "
         "unreachable, absent, busy, permission, unusable (the ports-folder entry or target), "
         "lost (while open).",
         [&](const PortRun &run, const QString &labels) {
             if (run.exitCode == ExitStatus::Success || run.failure.isEmpty())
                 return QStringList();
             return QStringList {sample(labels, QStringLiteral(",reason=\"%1\"").arg(run.failure),
                                        QStringLiteral("1"))};
         }},
        {"orva_lamp_use_seconds", "Lamp use as the projector counts it in whole hours.",
         [&](const PortRun &run, const QString &labels) {
             if (!run.values.lampHours)
                 return QStringList();
             return QStringList {
                 sample(labels, {}, QString::number(qint64(*run.values.lampHours) * 3600))};
         }},
        {"orva_temperature_celsius", "The three temperature sensors.",
         [&](const PortRun &run, const QString &labels) {
             QStringList lines;
             if (const auto t = run.values.temperaturesC) {
                 for (int i = 0; i < 3; ++i)
                     lines << sample(labels, QStringLiteral(",sensor=\"%1\"").arg(i + 1),
                                     number((*t)[i]));
             }
             return lines;
         }},
        {"orva_power_state", "1 for the power state the projector is in, 0 for the others.",
         [&](const PortRun &run, const QString &labels) {
             QStringList lines;
             if (run.values.power.isEmpty())
                 return lines;
             for (const QString &state : Decoders::powerStates())
                 lines << sample(labels, QStringLiteral(",state=\"%1\"").arg(state),
                                 state == run.values.power ? QStringLiteral("1")
                                                           : QStringLiteral("0"));
             return lines;
         }},
        {"orva_fault",
         "1 when the projector reports the fault, else 0: lamp from STATUS (Lamp Failure) or "
         "LAMP-STATUS (failure), temperature and power from STATUS; in every power state.",
         [&](const PortRun &run, const QString &labels) {
             QStringList lines;
             const Faults found = faults(run);
             const std::pair<const char *, std::optional<bool>> kinds[] = {
                 {"lamp", found.lamp}, {"temperature", found.temperature}, {"power", found.power}};
             for (const auto &[kind, value] : kinds) {
                 if (value)
                     lines << sample(labels,
                                     QStringLiteral(",fault=\"%1\"").arg(QLatin1String(kind)),
                                     *value ? QStringLiteral("1") : QStringLiteral("0"));
             }
             return lines;
         }},
        {LastAnswerMetric,
         "When the projector last answered a report, Unix time; while it is silent, the time "
         "carried over from the file this one replaced.",
         [&](const PortRun &run, const QString &labels) {
             const bool answered
                 = std::any_of(run.answers.begin(), run.answers.end(),
                               [](const Session::Answer &answer) { return answer.answered; });
             const QString time = answered ? unixSeconds(run.time) : earlier.value(labels);
             return time.isEmpty() ? QStringList() : QStringList {sample(labels, {}, time)};
         }},
        {"orva_lamp_on", "1 when the lamp is lit, 0 when it is off or has failed.",
         [&](const PortRun &run, const QString &labels) {
             if (run.values.lamp.isEmpty())
                 return QStringList();
             return QStringList {sample(labels, {},
                                        run.values.lamp == QLatin1String("on")
                                            ? QStringLiteral("1")
                                            : QStringLiteral("0"))};
         }},
        {"orva_scrape_duration_seconds", "How long opening the port and the reads took.",
         [&](const PortRun &run, const QString &labels) {
             return QStringList {sample(labels, {}, QString::number(run.seconds, 'f', 3))};
         }},
    };
    QString result;
    for (const Family &family : families) {
        QStringList lines;
        for (const PortRun &run : runs) {
            QString labels = QStringLiteral("port=\"%1\",target=\"%2\"")
                                 .arg(label(run.port), label(run.target));
            if (!run.name.isEmpty())
                labels = QStringLiteral("projector=\"%1\",").arg(label(run.name)) + labels;
            for (const QString &line : family.samples(run, labels))
                lines << QLatin1String(family.name) + line;
        }
        if (lines.isEmpty())
            continue;
        result += QStringLiteral("# HELP %1 %2\n# TYPE %1 gauge\n")
                      .arg(QLatin1String(family.name), QLatin1String(family.help));
        result += lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
    }
    return result
        + QStringLiteral("# HELP orva_report_timestamp_seconds When this report was made, Unix "
                         "time.\n# TYPE orva_report_timestamp_seconds gauge\n"
                         "orva_report_timestamp_seconds %1\n")
              .arg(unixSeconds(now));
}

} // namespace Output
