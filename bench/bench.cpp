#include "bench.h"

#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>

namespace Bench {

qint64 nowNs()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

qint64 statusKb(const char *field, qint64 pid)
{
    QFile file(pid > 0 ? QStringLiteral("/proc/%1/status").arg(pid)
                       : QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray name = QByteArray(field) + ':';
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith(name))
            return line.mid(name.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

bool resetPeakRss()
{
    QFile file(QStringLiteral("/proc/self/clear_refs"));
    return file.open(QIODevice::WriteOnly) && file.write("5") == 1;
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    const QList<QByteArray> fields = file.readAll().split(' ');
    return QString::fromLatin1(fields.mid(0, 3).join(' '));
}

QString cpuModel()
{
    QFile file(QStringLiteral("/proc/cpuinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("model name"))
            return QString::fromLatin1(line.mid(line.indexOf(':') + 1).trimmed());
    }
    return QStringLiteral("?");
}

void runEventLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(qMax(0, ms), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

Summary summarize(std::vector<double> values)
{
    Summary summary;
    summary.count = int(values.size());
    if (values.empty())
        return summary;
    std::sort(values.begin(), values.end());
    const auto rank = [&](double p) {
        const auto index = std::size_t(std::ceil(p * double(values.size()))) - 1;
        return values[std::min(index, values.size() - 1)];
    };
    summary.median = rank(0.5);
    summary.p99 = rank(0.99);
    summary.max = values.back();
    double sum = 0;
    for (const double v : values)
        sum += v;
    summary.mean = sum / double(values.size());
    double squares = 0;
    for (const double v : values)
        squares += (v - summary.mean) * (v - summary.mean);
    summary.sd = values.size() > 1 ? std::sqrt(squares / double(values.size() - 1)) : 0.0;
    return summary;
}

QString verdict(bool met)
{
    return met ? QStringLiteral("met") : QStringLiteral("MISSED");
}

void Table::addSeries(const QString &figure, const Summary &summary, int decimals,
                      const QString &target, const QString &result)
{
    Row row;
    row.figure = figure;
    row.count = QString::number(summary.count);
    if (summary.count > 0) {
        row.median = QString::number(summary.median, 'f', decimals);
        row.p99 = QString::number(summary.p99, 'f', decimals);
        row.max = QString::number(summary.max, 'f', decimals);
    } else {
        row.median = row.p99 = row.max = QStringLiteral("-");
    }
    row.target = target;
    row.result = result;
    m_rows.append(row);
}

void Table::addValue(const QString &figure, const QString &value, const QString &target,
                     const QString &result)
{
    m_rows.append({figure, QStringLiteral("1"), value, QStringLiteral("-"), QStringLiteral("-"),
                   target, result});
}

bool Table::missedAny() const
{
    for (const Row &row : m_rows) {
        if (row.result == QLatin1String("MISSED"))
            return true;
    }
    return false;
}

void Table::print() const
{
    const QStringList header
        = {QStringLiteral("figure"), QStringLiteral("n"),   QStringLiteral("median"),
           QStringLiteral("p99"),    QStringLiteral("max"), QStringLiteral("target"),
           QStringLiteral("result")};
    QVector<int> widths;
    for (const QString &title : header)
        widths.append(int(title.size()));
    for (const Row &row : m_rows) {
        const QStringList cells
            = {row.figure, row.count, row.median, row.p99, row.max, row.target, row.result};
        for (int i = 0; i < cells.size(); ++i)
            widths[i] = qMax(widths[i], int(cells[i].size()));
    }
    const auto line = [&](const QStringList &cells) {
        QString text;
        for (int i = 0; i < cells.size(); ++i) {
            // Text left, numbers right.
            const bool left = i == 0 || i >= 5;
            text += left ? cells[i].leftJustified(widths[i]) : cells[i].rightJustified(widths[i]);
            if (i + 1 < cells.size())
                text += QStringLiteral("  ");
        }
        while (text.endsWith(QLatin1Char(' ')))
            text.chop(1);
        std::printf("%s\n", qPrintable(text));
    };
    line(header);
    QString rule;
    for (int i = 0; i < widths.size(); ++i)
        rule += QString(widths[i], QLatin1Char('-')) + (i + 1 < widths.size() ? "  " : "");
    std::printf("%s\n", qPrintable(rule));
    for (const Row &row : m_rows)
        line({row.figure, row.count, row.median, row.p99, row.max, row.target, row.result});
    for (const QString &note : m_notes)
        std::printf("%s\n", qPrintable(note));
    std::fflush(stdout);
}

} // namespace Bench
