#include "deviceline.h"
#include "options.h"
#include "simulator.h"
#include "tcpline.h"

#ifdef Q_OS_UNIX
#include "ptyline.h"
#include "quitonsignal.h"
#endif

#include <QCoreApplication>

#include <cstdio>
#include <memory>

namespace {

constexpr int UsageExit = 64; // as orva's

void say(const QString &text)
{
    std::fprintf(stdout, "%s\n", qPrintable(text));
    std::fflush(stdout); // whoever started us waits for this line
}

void complain(const QString &text)
{
    std::fprintf(stderr, "virtual-projector: %s\n", qPrintable(text));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("virtual-projector"));

    Options options;
    QString message;
    switch (Options::parse(QCoreApplication::arguments(), &options, &message)) {
    case Options::Parsed::Help:
        std::fprintf(stdout, "%s", qPrintable(message));
        return 0;
    case Options::Parsed::Error:
        complain(message);
        return UsageExit;
    case Options::Parsed::Run:
        break;
    }

#ifdef Q_OS_UNIX
    QuitOnSignal quitOnSignal;
    if (!quitOnSignal.isValid()) {
        complain(QStringLiteral("cannot watch for Ctrl+C"));
        return 1;
    }
    QObject::connect(&quitOnSignal, &QuitOnSignal::received, &app, &QCoreApplication::quit);
#endif

    std::unique_ptr<Line> line;
    if (options.listens()) {
        auto tcp = std::make_unique<TcpLine>();
        if (!tcp->listen(options.listenHost, quint16(options.listenPort), &message)) {
            complain(message);
            return 1;
        }
        say(QStringLiteral("Virtual projector on %1. Ctrl+C ends it.").arg(tcp->address()));
        line = std::move(tcp);
    } else if (!options.device.isEmpty()) {
        auto device = std::make_unique<DeviceLine>(options.device, options.baud);
        if (!device->open(&message)) {
            complain(QStringLiteral("cannot open %1: %2").arg(options.device, message));
            return 1;
        }
        say(QStringLiteral("Virtual projector on %1 at %2 baud. Ctrl+C ends it.")
                .arg(options.device)
                .arg(options.baud));
        line = std::move(device);
    } else {
#ifdef Q_OS_UNIX
        auto pty = std::make_unique<PtyLine>();
        if (!pty->isValid()) {
            complain(QStringLiteral("cannot open a pseudo-terminal"));
            return 1;
        }
        if (!pty->linkAs(options.port, &message)) {
            complain(message);
            return 1;
        }
        say(QStringLiteral("Virtual projector on COM%1 (%2 -> %3) at %4 baud. Ctrl+C ends it.")
                .arg(options.port)
                .arg(pty->linkPath(), pty->devicePath())
                .arg(options.baud));
        line = std::move(pty);
#endif
    }
    if (!line)
        return 2;

    QObject::connect(line.get(), &Line::failed, &app, [](const QString &reason) {
        complain(QStringLiteral("line lost: %1").arg(reason));
        QCoreApplication::exit(1);
    });
    Simulator simulator(line.get(), options);
    QObject::connect(&simulator, &Simulator::lineDropped, &app, [] {
        say(QStringLiteral("Line dropped, as asked. Ctrl+C ends the program."));
    });
    return app.exec();
}
