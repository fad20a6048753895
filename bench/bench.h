#pragma once

#include <QString>
#include <QVector>

#include <vector>

// Clocks, process figures and the result table shared by every measurement.
namespace Bench {

// CLOCK_MONOTONIC, the same clock in every thread and process of the machine.
qint64 nowNs();
// User plus system time of this process, all threads.
double cpuSeconds();
// A "VmRSS:"-like field of /proc/self/status (or of another process), in kB; -1 if absent.
qint64 statusKb(const char *field, qint64 pid = 0);
// Lowers VmHWM to the current RSS, so a later VmHWM is the peak of what came after.
bool resetPeakRss();
QString loadAverage();
QString cpuModel();

// Runs the event loop for ms milliseconds; the loop blocks as the panel's would.
void runEventLoopFor(int ms);

struct Summary
{
    int count = 0;
    double median = 0;
    double p99 = 0;
    double max = 0;
    double mean = 0;
    double sd = 0;
};
// Percentiles by nearest rank.
Summary summarize(std::vector<double> values);

struct Row
{
    QString figure;
    QString count;
    QString median;
    QString p99;
    QString max;
    QString target;
    QString result; // "met", "MISSED", or empty where no target applies
};

class Table
{
public:
    void addSeries(const QString &figure, const Summary &summary, int decimals,
                   const QString &target = {}, const QString &result = {});
    // One value, already formatted.
    void addValue(const QString &figure, const QString &value, const QString &target = {},
                  const QString &result = {});
    void addNote(const QString &note) { m_notes.append(note); }
    void print() const;
    // True when some figure with a target missed it.
    bool missedAny() const;

private:
    QVector<Row> m_rows;
    QStringList m_notes;
};

QString verdict(bool met);

} // namespace Bench
