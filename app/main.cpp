#include "app/program.h"
#include "link/capture.h"
#include "panel/look.h"

#include <QApplication>

#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

constexpr int UsageExit = 64; // as orva's
constexpr int CannotWriteExit = 73; // as orva's for a file it cannot write

const char HelpText[]
    = "Usage: orva-control [--record FILE] [--help] [--version] [Qt's options]\n"
      "Opens the control panel on the port and speed its port dialog stored;\n"
      "when none is stored, or the port does not open, the dialog comes up.\n"
      "\n"
      "      --record FILE  appends to FILE every chunk written to the projector and read\n"
      "                     from it, as it goes, and each open, close, lost line and failed\n"
      "                     open (docs/capture.md); an open on another port or speed begins\n"
      "                     a new capture in the file. A FILE that cannot be opened for\n"
      "                     appending ends the program at once with exit status 73.\n"
      "  -h, --help         this help\n"
      "  -v, --version      the version\n"
      "\n"
      "Qt's own options are taken as Qt documents them (-platform NAME,\n"
      "-style NAME, -reverse, ...).\n";

// Qt's options for every program (QGuiApplication, QApplication, X11), one dash or two;
// QApplication takes them out of argv. The first list takes a value, as "-style fusion" or
// "-style=fusion".
const char *const QtValueOptions[] = {
    "platform",    "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "session",       "style",  "stylesheet",
    "display",     "geometry",           "qmljsdebugger",
};
const char *const QtFlagOptions[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

bool isOneOf(const char *name, size_t length, const char *const *names, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (std::strlen(names[i]) == length && std::strncmp(name, names[i], length) == 0)
            return true;
    }
    return false;
}

// --help and --version answer before the window system is asked for anything, so they work
// without a display; an option that neither this program nor Qt takes is refused the same way,
// and so is a capture file that cannot be opened. Returns the exit status, or -1 to go on.
int answerCommandLine(int argc, char *argv[], std::unique_ptr<Capture::Writer> *capture)
{
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        if (!std::strcmp(argument, "-h") || !std::strcmp(argument, "--help")) {
            std::fputs(HelpText, stdout);
            return 0;
        }
        if (!std::strcmp(argument, "-v") || !std::strcmp(argument, "--version")) {
            std::printf("orva-control %s\n", ORVA_VERSION);
            return 0;
        }
    }
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        if (argument[0] != '-') {
            std::fprintf(stderr, "orva-control: unexpected argument %s (see --help)\n", argument);
            return UsageExit;
        }
        const char *name = argument + (argument[1] == '-' ? 2 : 1);
        const char *equals = std::strchr(name, '=');
        const size_t length = equals ? size_t(equals - name) : std::strlen(name);
        if (argument[1] == '-' && length == 6 && !std::strncmp(name, "record", 6)) {
            const char *path = equals ? equals + 1 : i + 1 < argc ? argv[++i] : "";
            if (!*path) {
                std::fprintf(stderr, "orva-control: --record needs a file name (see --help)\n");
                return UsageExit;
            }
            auto writer = std::make_unique<Capture::Writer>();
            if (!writer->openFile(QFile::decodeName(path))) {
                std::fprintf(stderr, "orva-control: %s\n", qPrintable(writer->error()));
                return CannotWriteExit;
            }
            *capture = std::move(writer);
            continue;
        }
        if (isOneOf(name, length, QtValueOptions, std::size(QtValueOptions))) {
            if (!equals)
                ++i; // its value
            continue;
        }
        if (!equals && isOneOf(name, length, QtFlagOptions, std::size(QtFlagOptions)))
            continue;
        std::fprintf(stderr, "orva-control: unknown option %s (see --help)\n", argument);
        return UsageExit;
    }
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    std::unique_ptr<Capture::Writer> capture;
    if (const int status = answerCommandLine(argc, argv, &capture); status >= 0)
        return status;
    QApplication app(argc, argv);
    Look::install();
    Program program;
    if (capture)
        program.record(std::move(capture));
    program.start();
    return app.exec();
}
