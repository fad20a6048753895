// How orva scales with the number of projectors it reads at once.
#include "measures.h"

#include "support/configfolder.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <memory>
#include <sys/resource.h>
#include <vector>

namespace Bench {

namespace {

QString program(const char *name)
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(name);
}

// Virtual projectors as child processes, ended with this object.
class Projectors
{
public:
    ~Projectors()
    {
        for (const auto &projector : m_processes)
            projector->terminate();
        for (const auto &projector : m_processes) {
            if (!projector->waitForFinished(5000))
                projector->kill();
        }
    }
    // Started with its arguments; its first line says where it serves, or is empty.
    QByteArray start(const QStringList &arguments)
    {
        auto projector = std::make_unique<QProcess>();
        projector->setStandardErrorFile(QProcess::nullDevice());
        projector->start(program("virtual-projector"), arguments);
        const bool ready = projector->waitForReadyRead(10000);
        const QByteArray line = ready ? projector->readLine().trimmed() : QByteArray();
        m_processes.push_back(std::move(projector));
        return line;
    }

private:
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

// Wall time of one run of orva in ms, from start to exit; -1 when it did not succeed.
double timeOrva(const QStringList &arguments)
{
    QProcess orva;
    orva.setStandardOutputFile(QProcess::nullDevice());
    orva.setStandardErrorFile(QProcess::nullDevice());
    const qint64 t0 = nowNs();
    orva.start(program("orva"), arguments);
    if (!orva.waitForFinished(60000)) {
        orva.kill();
        orva.waitForFinished();
        return -1;
    }
    const qint64 t1 = nowNs();
    return orva.exitStatus() == QProcess::NormalExit && orva.exitCode() == 0 ? double(t1 - t0) / 1e6
                                                                             : -1;
}

struct Scale
{
    QString figure;
    QStringList arguments;
};

// The runs of each scale taken in turn, so a slow spell of the machine touches them all.
void timeScales(const QVector<Scale> &scales, int runs, double bound, const QString &boundText,
                Table &table)
{
    QVector<std::vector<double>> times(scales.size());
    int failed = 0;
    for (int run = 0; run < runs; ++run) {
        for (int i = 0; i < scales.size(); ++i) {
            const double ms = timeOrva(scales.at(i).arguments);
            if (ms < 0)
                ++failed;
            else
                times[i].push_back(ms);
        }
    }
    const Summary one = summarize(times.first());
    for (int i = 0; i < scales.size(); ++i) {
        const Summary summary = summarize(times.at(i));
        const bool last = i == scales.size() - 1;
        table.addSeries(scales.at(i).figure, summary, 1);
        if (i == 0 || one.median <= 0)
            continue;
        const double ratio = summary.median / one.median;
        table.addValue(QStringLiteral("  ratio to the first row (medians)"),
                       QString::number(ratio, 'f', 2), last ? boundText : QString(),
                       last ? verdict(failed == 0 && ratio < bound) : QString());
    }
    if (failed > 0)
        table.addNote(QStringLiteral("orva failed or did not finish in %1 runs").arg(failed));
}

// A hundred children hold pipes; the usual limit of 1024 open files is close enough to raise it.
void allowAllOpenFiles()
{
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

void manyPorts(const Options &options, Table &table)
{
    ConfigFolder config; // the children inherit it
    Projectors projectors;
    constexpr int Ports = 15;
    for (int port = 1; port <= Ports; ++port) {
        // Answers after 30 ms (the default delay), paced at 19200 baud, the speed orva uses too.
        if (projectors.start({QStringLiteral("--port"), QString::number(port)}).isEmpty()) {
            table.addValue(QStringLiteral("7 orva report"),
                           QStringLiteral("virtual projector on COM%1 did not start").arg(port));
            return;
        }
    }
    const QStringList report {QStringLiteral("report"), QStringLiteral("-p")};
    timeScales({{QStringLiteral("7 orva report, 1 pseudo-terminal (ms)"),
                 report + QStringList {QStringLiteral("1")}},
                {QStringLiteral("  15 pseudo-terminals at once (ms)"),
                 report + QStringList {QStringLiteral("1-15")}}},
               options.fleetRuns, 2, QStringLiteral("< 2"), table);
}

void manyTargets(const Options &options, Table &table)
{
    allowAllOpenFiles();
    ConfigFolder config;
    Projectors projectors;
    constexpr int Count = 100;
    static const QRegularExpression address(QStringLiteral("tcp://[0-9.]+:[0-9]+"));
    QByteArrayList lines;
    for (int i = 0; i < Count; ++i) {
        // Raw TCP, unpaced, each answer after the default 30 ms.
        const QString served
            = address
                  .match(QString::fromLatin1(projectors.start(
                      {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")})))
                  .captured();
        if (served.isEmpty()) {
            table.addValue(QStringLiteral("8 orva report over raw TCP"),
                           QStringLiteral("virtual projector %1 did not start").arg(i + 1));
            return;
        }
        lines << QStringLiteral("room-%1 %2\n").arg(i + 1).arg(served).toLatin1();
    }
    QTemporaryDir folder;
    QVector<Scale> scales;
    for (const int count : {1, 15, Count}) {
        const QString path = folder.filePath(QStringLiteral("fleet-%1").arg(count));
        QFile fleet(path);
        if (!fleet.open(QIODevice::WriteOnly) || fleet.write(lines.mid(0, count).join()) <= 0) {
            table.addValue(QStringLiteral("8 orva report over raw TCP"),
                           QStringLiteral("cannot write %1").arg(path));
            return;
        }
        scales.append({count == 1 ? QStringLiteral("8 orva report, 1 raw TCP projector (ms)")
                                  : QStringLiteral("  %1 at once, default --jobs (ms)").arg(count),
                       {QStringLiteral("report"), QStringLiteral("--fleet"), path}});
    }
    timeScales(scales, options.fleetRuns, 4, QStringLiteral("< 4"), table);
}

} // namespace Bench
