// orva-bench: how quickly the panel reacts and what it costs, measured on the real window, engine
// and serial port over a pseudo-terminal (and through ser2net). Run on demand; not one of the
// tests.

#include "bench.h"
#include "measures.h"
#include "panel/look.h"

#include <QApplication>
#include <QThread>

#include <cstdio>
#include <cstring>
#include <sys/utsname.h>

namespace {

void usage()
{
    std::printf("usage: orva-bench [--quick] [--compact] [--flood-seconds N]\n"
                "                  [--only SECTION[,SECTION...]]\n"
                "  --quick          short runs (fewer samples, 2 s hold, 5 s floods)\n"
                "  --compact        window at its start-up height: echo and STATUS lines not "
                "drawn\n"
                "  --flood-seconds  length of each flood (60, quick 5)\n"
                "  --only           click, reply, rfc2217 (both over ser2net), receive, hold,\n"
                "                   flood (idle and 19200 baud), fastflood, startup, fleet,\n"
                "                   fleettcp and fleet1000 (orva on many virtual projectors)\n");
}

} // namespace

int main(int argc, char *argv[])
{
    // Headless unless told otherwise; the start-up child inherits the choice.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--startup-child") == 0)
            return Bench::startupChild(argc, argv);
    }

    Bench::Options options;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg = argv[i];
        if (arg == "--quick") {
            options.makeQuick();
        } else if (arg == "--flood-seconds" && i + 1 < argc) {
            options.floodSeconds = qMax(1, QByteArray(argv[++i]).toInt());
        } else if (arg == "--compact") {
            options.compact = true;
        } else if (arg == "--only" && i + 1 < argc) {
            options.only = QString::fromLatin1(argv[++i]).split(QLatin1Char(','));
        } else {
            usage();
            return arg == "--help" || arg == "-h" ? 0 : 2;
        }
    }

    QApplication app(argc, argv);
    Look::install();

    utsname system {};
    uname(&system);
    std::printf("orva-bench (%s run, window %s)\n", options.quick ? "quick" : "full",
                options.compact ? "compact" : "expanded");
    std::printf("machine: %s, %d cores, Linux %s\n", qPrintable(Bench::cpuModel()),
                QThread::idealThreadCount(), system.release);
    std::printf("Qt %s (built with %s), platform %s\n", qVersion(), QT_VERSION_STR,
                qPrintable(QGuiApplication::platformName()));
    std::printf("load average at start: %s\n\n", qPrintable(Bench::loadAverage()));
    std::fflush(stdout);

    Bench::Table table;
    struct Section
    {
        QStringList names;
        void (*run)(const Bench::Options &, Bench::Table &);
    };
    const Section sections[] = {
        {{QStringLiteral("click")}, Bench::clickToWire},
        {{QStringLiteral("reply")}, Bench::replyToStatus},
        {{QStringLiteral("rfc2217")}, Bench::overRfc2217},
        {{QStringLiteral("receive")}, Bench::receiveCost},
        {{QStringLiteral("hold")}, Bench::holdRhythm},
        {{QStringLiteral("flood"), QStringLiteral("fastflood")}, Bench::flood},
        {{QStringLiteral("startup")}, Bench::startUp},
        {{QStringLiteral("fleet")}, Bench::manyPorts},
        {{QStringLiteral("fleettcp")}, Bench::manyTargets},
        {{QStringLiteral("fleet1000")}, Bench::thousandTargets},
    };
    for (const Section &section : sections) {
        if (!options.runsAny(section.names))
            continue;
        const QString name = section.names.join(QLatin1Char('/'));
        std::fprintf(stderr, "%s...\n", qPrintable(name));
        const QString load = Bench::loadAverage();
        section.run(options, table);
        table.addNote(QStringLiteral("load average around %1: %2 before, %3 after")
                          .arg(name, load, Bench::loadAverage()));
    }
    table.print();
    // So that a check can gate on it.
    return table.missedAny() ? 1 : 0;
}
