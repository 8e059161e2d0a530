// duva-cli: the configuration program's work from the command line, on the
// same logic as the windows and without a display.
#include "cli/cliline.h"
#include "cli/commands.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

namespace {

struct Command
{
    const char *name;
    const char *synopsis;
    const char *summary;
    int (*run)(const CliCommands::Context &);
    QList<QCommandLineOption> options;
};

const QList<Command> &commands()
{
    using namespace CliCommands;
    static const QList<Command> list = {
        {"scan",
         "scan [--from N] [--to M]",
         "Asks every address of the range which controller answers there (address, model, "
         "firmware per line).",
         scan,
         {{QStringLiteral("from"), QStringLiteral("First address (1)."), QStringLiteral("N")},
          {QStringLiteral("to"), QStringLiteral("Last address (247)."), QStringLiteral("M")}}},
        {"check-line",
         "check-line [--from N] [--to M]",
         "Listens to the line and asks the addresses of the range (1 to 4), then says what "
         "it found: silence, garbage, an echo, bad checksums, colliding replies; each "
         "controller's turnaround, the adapter's latency, and the settings it recommends. "
         "Exit status 0 when the line is clean, 1 when it found a problem.",
         checkLine,
         {{QStringLiteral("from"), QStringLiteral("First address (1)."), QStringLiteral("N")},
          {QStringLiteral("to"), QStringLiteral("Last address (4)."), QStringLiteral("M")}}},
        {"get",
         "get ADDR CODE|REGISTER...",
         "Reads the controller's setup and prints each parameter as the setup view shows it. "
         "A parameter is named by its code (P1-3) or its register (0x4701).",
         get,
         {}},
        {"set",
         "set ADDR CODE=VALUE...",
         "Sets parameters as typed into the setup view (list items by their text or their "
         "position from 0), each read back and printed as the controller holds it.",
         set,
         {}},
        {"backup",
         "backup ADDR... [--dir DIR]",
         "Saves each controller's setup as a parameter file named "
         "duva-addrNNN-MODEL-YYYY-MM-DD.par.",
         backup,
         {{QStringLiteral("dir"), QStringLiteral("Where the files go (the working directory)."),
           QStringLiteral("DIR")}}},
        {"restore",
         "restore FILE ADDR [--verify]",
         "Writes a parameter file to one controller; --verify reads it back and exits 1 naming "
         "the parameters that differ.",
         restore,
         {{QStringLiteral("verify"), QStringLiteral("Read back and compare.")}}},
        {"diff",
         "diff FILE|ADDR FILE|ADDR [--csv]",
         "Compares two setups (parameter files or controllers); exits 1 when they differ.",
         diff,
         {{QStringLiteral("csv"), QStringLiteral("Print the table as CSV.")}}},
        {"program",
         "program get ADDR [FILE] | program put ADDR FILE",
         "Reads the ramp/soak program into a program text file (or standard output), or "
         "writes one to the controller.",
         nullptr,
         {}},
        {"record",
         "record ADDR... --interval S [--duration D] --out FILE [--csv FILE] [--quiet]",
         "Records the process values of up to ten controllers every S seconds into a record "
         "file (and a CSV file), line by line, until the duration is over or SIGINT/SIGTERM.",
         record,
         {{QStringLiteral("interval"), QStringLiteral("Seconds between scans (1 to 120)."),
           QStringLiteral("S")},
          {QStringLiteral("duration"), QStringLiteral("How long: 90s, 30m, 12h, 7d."),
           QStringLiteral("D")},
          {QStringLiteral("out"), QStringLiteral("The record file."), QStringLiteral("FILE")},
          {QStringLiteral("csv"), QStringLiteral("A CSV file written as it goes."),
           QStringLiteral("FILE")}}},
    };
    return list;
}

void commonOptions(QCommandLineParser &parser)
{
    parser.addOptions(CliLine::options());
    parser.addOption({QStringLiteral("json"), QStringLiteral("Print the result as JSON.")});
    parser.addOption({QStringLiteral("quiet"), QStringLiteral("No progress and no scan lines.")});
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("This help.")});
}

QString mainHelp()
{
    QString text = QStringLiteral(
        "Usage: duva-cli [LINE OPTIONS] COMMAND [ARGS]\n"
        "Configures DUVA controllers without a window: the line settings are those of "
        "SETDUVA.$$$ in the working directory unless the options say otherwise.\n\n"
        "Commands:\n");
    for (const Command &c : commands())
        text += QStringLiteral("  %1\n").arg(QString::fromLatin1(c.synopsis));
    text += QStringLiteral(
        "\nLine options:\n"
        "  --port COMn|DEVICE   COMn as the windows name it, or a device path\n"
        "  --baud RATE          2400, 4800, 9600, 19200 or 38400\n"
        "  --parity PARITY      none, even or odd\n"
        "  --data BITS          7 or 8\n"
        "  --stop BITS          1 or 2\n"
        "  --ascii | --rtu      Modbus framing\n"
        "  --network HOST:PORT  through a serial device server (add --gateway for a\n"
        "                       Modbus TCP gateway)\n"
        "Other options: --json, --quiet, --help, --version\n\n"
        "'duva-cli COMMAND --help' describes a command. Exit status: 0 done, 1 a controller "
        "refused or did not answer (or the port failed), 2 bad usage.\n");
    return text;
}

int usageError(const QString &text)
{
    std::fprintf(stderr, "duva-cli: %s\nTry 'duva-cli --help'.\n", text.toLocal8Bit().constData());
    return CliCommands::BadUsage;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("duva-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(DUVA_VERSION));

    QStringList args = QCoreApplication::arguments();
    // The command is the first argument that is neither an option nor an
    // option's value.
    QCommandLineParser first;
    commonOptions(first);
    first.addOption({QStringLiteral("version"), QStringLiteral("The version.")});
    first.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    if (!first.parse(args))
        return usageError(first.errorText());
    if (first.isSet(QStringLiteral("version"))) {
        std::printf("duva-cli %s\n", DUVA_VERSION);
        return 0;
    }
    const QStringList positional = first.positionalArguments();
    if (positional.isEmpty()) {
        if (first.isSet(QStringLiteral("help"))) {
            std::fputs(mainHelp().toLocal8Bit().constData(), stdout);
            return 0;
        }
        return usageError(QStringLiteral("no command given"));
    }
    QString name = positional.first();
    const Command *command = nullptr;
    for (const Command &c : commands())
        if (name == QLatin1String(c.name))
            command = &c;
    if (!command)
        return usageError(QStringLiteral("'%1' is not a command").arg(name));

    // The command's own parse: the line options may stand before or after it.
    QCommandLineParser parser;
    commonOptions(parser);
    parser.addOptions(command->options);
    if (!parser.parse(args))
        return usageError(parser.errorText());
    QStringList rest = parser.positionalArguments().mid(1);
    auto run = command->run;
    if (!run) { // program get|put
        const QString sub = rest.value(0);
        run = sub == QLatin1String("get") ? CliCommands::programGet
            : sub == QLatin1String("put") ? CliCommands::programPut
                                          : nullptr;
        if (!run && !parser.isSet(QStringLiteral("help")))
            return usageError(
                QStringLiteral("usage: duva-cli %1").arg(QString::fromLatin1(command->synopsis)));
        rest = rest.mid(1);
    }
    if (parser.isSet(QStringLiteral("help"))) {
        QString help =
            QStringLiteral("Usage: duva-cli [LINE OPTIONS] %1\n%2\n")
                .arg(QString::fromLatin1(command->synopsis), QString::fromLatin1(command->summary));
        if (!command->options.isEmpty()) {
            help += QStringLiteral("\nOptions:\n");
            for (const QCommandLineOption &o : command->options)
                help +=
                    QStringLiteral("  --%1%2  %3\n")
                        .arg(o.names().first(),
                             o.valueName().isEmpty() ? QString() : QLatin1Char(' ') + o.valueName(),
                             o.description());
        }
        help += QStringLiteral("\nLine options and --json, --quiet: see 'duva-cli --help'.\n");
        std::fputs(help.toLocal8Bit().constData(), stdout);
        return 0;
    }
    try {
        CliCommands::Context context;
        context.parser = &parser;
        context.args = rest;
        context.json = parser.isSet(QStringLiteral("json"));
        context.quiet = parser.isSet(QStringLiteral("quiet"));
        QString warning;
        context.line = CliLine::settingsFrom(parser, &warning);
        if (!warning.isEmpty())
            std::fprintf(stderr, "duva-cli: %s\n", warning.toLocal8Bit().constData());
        return run(context);
    } catch (const CliUsageError &e) {
        return usageError(e.text);
    }
}
