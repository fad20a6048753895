// How orva scales with the number of projectors it reads at once.
#include "measures.h"

#include "support/configfolder.h"

#include <QCoreApplication>
#include <QProcess>

#include <memory>
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

} // namespace

void manyPorts(const Options &options, Table &table)
{
    ConfigFolder config; // the children inherit it
    Projectors projectors;
    constexpr int Ports = 15;
    for (int port = 1; port <= Ports; ++port) {
        // Answers after 30 ms (the default delay), paced at 9600 baud.
        if (projectors.start({QStringLiteral("--port"), QString::number(port)}).isEmpty()) {
            table.addValue(QStringLiteral("7 orva report"),
                           QStringLiteral("virtual projector on COM%1 did not start").arg(port));
            return;
        }
    }
    const QStringList report {QStringLiteral("report"), QStringLiteral("-b"),
                              QStringLiteral("9600"), QStringLiteral("-p")};
    timeScales({{QStringLiteral("7 orva report, 1 pseudo-terminal (ms)"),
                 report + QStringList {QStringLiteral("1")}},
                {QStringLiteral("  15 pseudo-terminals at once (ms)"),
                 report + QStringList {QStringLiteral("1-15")}}},
               options.fleetRuns, 2, QStringLiteral("< 2"), table);
}

} // namespace Bench
