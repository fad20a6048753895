// How orva scales with the number of projectors it reads at once.
#include "measures.h"

#include "support/configfolder.h"
#include "support/freeports.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <memory>
#include <sys/resource.h>
#include <unistd.h>
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
    // `count` projectors in one process on consecutive free ports; the first port, or 0. Ports
    // found free may be taken before the projectors listen: then others are tried.
    quint16 startFleet(int count)
    {
        const QString served = QStringLiteral("(%1)").arg(count);
        for (int attempt = 0; attempt < 5; ++attempt) {
            const quint16 first = freePorts(count);
            if (first != 0
                && start({QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(first),
                          QStringLiteral("--count"), QString::number(count)})
                       .contains(served.toLatin1()))
                return first;
        }
        return 0;
    }
    qint64 lastPid() const { return m_processes.empty() ? 0 : m_processes.back()->processId(); }

private:
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

// One run of orva, seen from the small process that spawned it.
struct Run
{
    double ms = -1; // from start to exit; -1 when it did not succeed
    double peakMb = 0; // resident memory
    int threads = 0; // the most it had at once
    double cpuMs = 0; // user and system
};

// A run succeeds when orva exits 0; what it writes is not kept.
Run runOrva(const QStringList &arguments)
{
    QProcess measure;
    measure.setStandardErrorFile(QProcess::nullDevice());
    measure.start(program("orva-bench-measure"),
                  QStringList {QProcess::nullDevice(), program("orva")} + arguments);
    Run run;
    if (!measure.waitForFinished(120000)) {
        measure.kill();
        measure.waitForFinished();
        return run;
    }
    // "ms WALL exit STATUS maxrss-kb PEAK threads MOST cpu-ms CPU"
    const QList<QByteArray> fields = measure.readAllStandardOutput().trimmed().split(' ');
    if (fields.size() != 10 || fields.at(3) != "0")
        return run;
    run.ms = fields.at(1).toDouble();
    run.peakMb = fields.at(5).toDouble() / 1024.0;
    run.threads = fields.at(7).toInt();
    run.cpuMs = fields.at(9).toDouble();
    return run;
}

struct Scale
{
    QString figure;
    QStringList arguments;
    double peakMbBound = 0; // when set, its memory and threads get rows, memory with this target
};

// User and system time of another process so far, in ms (10 ms ticks); 0 when it is gone.
double cpuMsOf(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray stat = file.readAll();
    // utime and stime, fields 14 and 15, after a command name that may hold blanks.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) * 1000.0
        / double(sysconf(_SC_CLK_TCK));
}

// The runs of each scale taken in turn, so a slow spell of the machine touches them all. With
// `server`, the process serving every projector, its CPU time during the watched scales too.
void timeScales(const QVector<Scale> &scales, int runs, double bound, const QString &boundText,
                Table &table, qint64 server = 0)
{
    QVector<std::vector<double>> times(scales.size());
    QVector<std::vector<double>> peaks(scales.size());
    QVector<std::vector<double>> threads(scales.size());
    QVector<std::vector<double>> cpu(scales.size());
    QVector<std::vector<double>> serverCpu(scales.size());
    int failed = 0;
    for (int round = 0; round < runs; ++round) {
        for (int i = 0; i < scales.size(); ++i) {
            const double serverBefore = cpuMsOf(server);
            const Run run = runOrva(scales.at(i).arguments);
            serverCpu[i].push_back(cpuMsOf(server) - serverBefore);
            if (run.ms < 0) {
                ++failed;
                continue;
            }
            times[i].push_back(run.ms);
            peaks[i].push_back(run.peakMb);
            threads[i].push_back(run.threads);
            cpu[i].push_back(run.cpuMs);
        }
    }
    const Summary one = summarize(times.first());
    for (int i = 0; i < scales.size(); ++i) {
        const Scale &scale = scales.at(i);
        const Summary summary = summarize(times.at(i));
        const bool last = i == scales.size() - 1;
        table.addSeries(scale.figure, summary, 1);
        if (i > 0 && one.median > 0) {
            const double ratio = summary.median / one.median;
            table.addValue(QStringLiteral("  ratio to the first row (medians)"),
                           QString::number(ratio, 'f', 2), last ? boundText : QString(),
                           last ? verdict(failed == 0 && ratio < bound) : QString());
        }
        if (scale.peakMbBound > 0) {
            const Summary peak = summarize(peaks.at(i));
            table.addSeries(QStringLiteral("  orva's peak resident memory (MB)"), peak, 1,
                            QStringLiteral("max < %1").arg(scale.peakMbBound),
                            verdict(peak.count > 0 && peak.max < scale.peakMbBound));
            table.addSeries(QStringLiteral("  orva's threads, most at once"),
                            summarize(threads.at(i)), 0);
            table.addSeries(QStringLiteral("  orva's CPU time, user and system (ms)"),
                            summarize(cpu.at(i)), 0);
            if (server > 0)
                table.addSeries(QStringLiteral("  virtual-projector's CPU time meanwhile (ms)"),
                                summarize(serverCpu.at(i)), 0);
        }
    }
    if (failed > 0)
        table.addNote(QStringLiteral("orva failed or did not finish in %1 runs").arg(failed));
}

// A hundred children hold pipes, and a thousand free ports are found by holding them; the usual
// limit of 1024 open files is too close for either.
void allowAllOpenFiles()
{
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// A scale for each count: a fleet file naming the first `count` targets room-1, room-2, ...;
// none when a file cannot be written. With a bound, the first and the last scale get rows for
// orva's memory and threads.
QVector<Scale> fleetScales(const QTemporaryDir &folder, const QStringList &targets,
                           const QVector<int> &counts, const QString &firstFigure,
                           double peakMbBound = 0)
{
    QVector<Scale> scales;
    for (const int count : counts) {
        QByteArray lines;
        for (int i = 0; i < count; ++i)
            lines += QStringLiteral("room-%1 %2\n").arg(i + 1).arg(targets.at(i)).toLatin1();
        const QString path = folder.filePath(QStringLiteral("fleet-%1").arg(count));
        QFile fleet(path);
        if (!fleet.open(QIODevice::WriteOnly) || fleet.write(lines) != lines.size())
            return {};
        const bool watched = count == counts.first() || count == counts.last();
        scales.append({scales.isEmpty()
                           ? firstFigure
                           : QStringLiteral("  %1 at once, default --jobs (ms)").arg(count),
                       {QStringLiteral("report"), QStringLiteral("--fleet"), path},
                       watched ? peakMbBound : 0});
    }
    return scales;
}

// The whole fleet once more, as node_exporter's textfile collector would read it: every
// projector up, and nothing promtool finds fault with.
void checkPrometheus(const QString &fleet, int count, Table &table)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("fleet.prom"));
    const Run run = runOrva({QStringLiteral("report"), QStringLiteral("--fleet"), fleet,
                             QStringLiteral("--format"), QStringLiteral("prometheus"),
                             QStringLiteral("--output"), path});
    const QString figure = QStringLiteral("  the same, named, --format prometheus (ms)");
    if (run.ms < 0) {
        table.addValue(figure, QStringLiteral("orva failed"), QStringLiteral("exit 0"),
                       verdict(false));
        return;
    }
    table.addValue(figure,
                   QStringLiteral("%1 (peak %2 MB, %3 threads)")
                       .arg(run.ms, 0, 'f', 1)
                       .arg(run.peakMb, 0, 'f', 1)
                       .arg(run.threads));
    QFile file(path);
    int up = 0;
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (line.startsWith("orva_up{") && line.contains("projector=\"room-")
                && line.endsWith(" 1"))
                ++up;
        }
    }
    table.addValue(QStringLiteral("  orva_up 1, named"),
                   QStringLiteral("%1 of %2").arg(up).arg(count), QString::number(count),
                   verdict(up == count));
    const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
    if (promtool.isEmpty()) {
        table.addNote(QStringLiteral("promtool is not installed (Debian's prometheus package): "
                                     "the Prometheus text was not checked"));
        return;
    }
    QProcess check;
    check.setProcessChannelMode(QProcess::MergedChannels);
    check.setStandardInputFile(path);
    check.start(promtool, {QStringLiteral("check"), QStringLiteral("metrics")});
    const bool ended = check.waitForFinished(60000);
    const QByteArray said = check.readAll().trimmed();
    const bool clean = ended && check.exitStatus() == QProcess::NormalExit && check.exitCode() == 0
        && said.isEmpty();
    table.addValue(QStringLiteral("  promtool check metrics"),
                   clean ? QStringLiteral("clean")
                         : QStringLiteral("exit %1: %2")
                               .arg(check.exitCode())
                               .arg(QString::fromLocal8Bit(said.split('\n').value(0))),
                   QStringLiteral("clean"), verdict(clean));
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
    const QString title = QStringLiteral("8 orva report over raw TCP");
    static const QRegularExpression address(QStringLiteral("tcp://[0-9.]+:[0-9]+"));
    QStringList targets;
    for (int i = 0; i < Count; ++i) {
        // Raw TCP, unpaced, each answer after the default 30 ms.
        const QString served
            = address
                  .match(QString::fromLatin1(projectors.start(
                      {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")})))
                  .captured();
        if (served.isEmpty()) {
            table.addValue(title, QStringLiteral("virtual projector %1 did not start").arg(i + 1));
            return;
        }
        targets << served;
    }
    QTemporaryDir folder;
    const QVector<Scale> scales = fleetScales(
        folder, targets, {1, 15, Count}, QStringLiteral("8 orva report, 1 raw TCP projector (ms)"));
    if (scales.isEmpty()) {
        table.addValue(title, QStringLiteral("cannot write a fleet file"));
        return;
    }
    timeScales(scales, options.fleetRuns, 4, QStringLiteral("< 4"), table);
}

void thousandTargets(const Options &options, Table &table)
{
    allowAllOpenFiles(); // the search for free ports holds them all at once
    ConfigFolder config;
    Projectors projectors;
    constexpr int Count = 1000;
    constexpr double PeakMbBound = 150;
    const QString title = QStringLiteral("9 orva report, one virtual-projector --count 1000");
    const quint16 first = projectors.startFleet(Count);
    if (first == 0) {
        table.addValue(title, QStringLiteral("the virtual projectors did not start"));
        return;
    }
    QStringList targets;
    for (int i = 0; i < Count; ++i)
        targets << QStringLiteral("tcp://127.0.0.1:%1").arg(first + i);
    QTemporaryDir folder;
    const QVector<Scale> scales
        = fleetScales(folder, targets, {1, 100, Count},
                      QStringLiteral("9 orva report, 1 of one --count 1000 (ms)"), PeakMbBound);
    if (scales.isEmpty()) {
        table.addValue(title, QStringLiteral("cannot write a fleet file"));
        return;
    }
    timeScales(scales, options.fleetRuns, 2, QStringLiteral("< 2"), table, projectors.lastPid());
    checkPrometheus(scales.last().arguments.last(), Count, table);
}

} // namespace Bench
