// duva-cli: the configuration program's work from the command line, on the
// same logic as the windows and without a display.
#include "cli/cliline.h"
#include "cli/cliport.h"
#include "cli/clishared.h"
#include "cli/commands.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include <csignal>
#include <cstdio>
#include <unistd.h>

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
         "get ADDR [CODE|REGISTER...]",
         "Reads the controller's setup and prints each parameter as the setup view shows it "
         "(the whole setup without a name). A parameter is named by its code (P1-3) or its "
         "register (0x4701).",
         get,
         {}},
        {"set",
         "set ADDR CODE=VALUE...",
         "Sets parameters as typed into the setup view (list items by their text or their "
         "position from 0). Every value is checked against what its register holds before "
         "anything is written; each is read back, compared and printed as the controller "
         "holds it.",
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
         "restore FILE ADDR [--verify] [--dry-run] [--force]",
         "Writes a parameter file ('-': standard input) to one controller; --verify reads it "
         "back and exits 1 naming the parameters that differ. A file of another model is "
         "refused unless --force.",
         restore,
         {{QStringLiteral("verify"), QStringLiteral("Read back and compare.")},
          {QStringLiteral("dry-run"),
           QStringLiteral("Print what would be written; write nothing.")},
          {QStringLiteral("force"), QStringLiteral("Write a file made for another model.")}}},
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
         "record ADDR... --interval S [--duration D] --out FILE [--append|--force] [--csv FILE]",
         "Records the process values of up to ten controllers every S seconds into a record "
         "file (and a CSV file), line by line, until the duration is over or SIGINT/SIGTERM. "
         "An existing record file is continued with --append, replaced with --force, else "
         "refused.",
         record,
         {{QStringLiteral("interval"), QStringLiteral("Seconds between scans (1 to 120)."),
           QStringLiteral("S")},
          {QStringLiteral("duration"), QStringLiteral("How long: 90s, 30m, 12h, 7d."),
           QStringLiteral("D")},
          {QStringLiteral("out"), QStringLiteral("The record file."), QStringLiteral("FILE")},
          {QStringLiteral("csv"), QStringLiteral("A CSV file written as it goes."),
           QStringLiteral("FILE")},
          {QStringLiteral("append"),
           QStringLiteral("Continue an existing record file of the same addresses and interval.")},
          {QStringLiteral("force"), QStringLiteral("Replace an existing record file.")}}},
        {"params",
         "params",
         "Lists every parameter code with its name, register, range and unit.",
         params,
         {}},
        {"show",
         "show FILE.par",
         "Prints a parameter file ('-': standard input) as the setup view would show it.",
         show,
         {}},
        {"watch",
         "watch ADDR [CODE|REGISTER...] [--interval S] [--count N] [--csv]",
         "Polls parameters (the process value without a name) and prints a line each time, "
         "until --count lines or SIGINT/SIGTERM.",
         watch,
         {{QStringLiteral("interval"), QStringLiteral("Seconds between polls (1)."),
           QStringLiteral("S")},
          {QStringLiteral("count"), QStringLiteral("Stop after N polls."), QStringLiteral("N")},
          {QStringLiteral("csv"), QStringLiteral("Print CSV rows.")}}},
    };
    return list;
}

void commonOptions(QCommandLineParser &parser)
{
    parser.addOptions(CliLine::options());
    parser.addOption({QStringLiteral("json"), QStringLiteral("Print the result as JSON.")});
    parser.addOption(
        {QStringLiteral("quiet"), QStringLiteral("Nothing on standard output on success.")});
    parser.addOption({{QStringLiteral("v"), QStringLiteral("verbose")},
                      QStringLiteral("Every frame on standard error.")});
    parser.addOption({QStringLiteral("wait"),
                      QStringLiteral("Wait up to SECONDS for a port another program holds."),
                      QStringLiteral("SECONDS")});
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
        "  --wait SECONDS       wait for a port another program holds\n"
        "Other options: --json, --quiet, -v (frames), --help, --version\n\n"
        "'duva-cli COMMAND --help' describes a command. Exit status: 0 done, 1 failed (a "
        "controller refused or did not answer, the port or a file failed, setups differ), "
        "2 bad usage, 128+N stopped by signal N.\n");
    return text;
}

int usageError(const QString &text)
{
    std::fprintf(stderr, "duva-cli: %s\nTry 'duva-cli --help'.\n", text.toLocal8Bit().constData());
    return CliCommands::BadUsage;
}

// The first SIGINT, SIGTERM or SIGHUP ends the command's waits, so that it
// ends its work and closes the port as it does on success; a second one
// puts the port's settings back and ends the program at once.
void onSignal(int signal)
{
    if (CliCommands::stopAsked.exchange(signal) != 0) {
        CliPort::restoreSettingsNow();
        ::_exit(128 + signal);
    }
}

void catchSignals()
{
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(s, &action, nullptr);
    // A closed pipe is a write error of standard output, a file grown to
    // the size limit a write error of its file: each said as such.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

// What ends every command: the JSON document, standard output checked, the
// port's settings as they were.
int finish(const CliCommands::Context &context, const QString &command, int status)
{
    using namespace CliCommands;
    printFrames();
    const int signal = stopAsked;
    // Ended by a signal before its work was done; record and watch end so.
    if (signal != 0 && command != QLatin1String("record") && command != QLatin1String("watch")) {
        printErr(QStringLiteral("stopped by signal %1").arg(signal));
        status = 128 + signal;
    }
    if (context.json) {
        QJsonObject doc = jsonResult();
        if (status != Done) {
            const QString said = errorsSaid();
            doc[QStringLiteral("error")] = QJsonObject {
                {QStringLiteral("status"), status},
                {QStringLiteral("message"), said.isEmpty() ? QStringLiteral("failed") : said}};
        }
        if (!doc.isEmpty())
            printOut(QString::fromUtf8(QJsonDocument(doc).toJson(QJsonDocument::Indented)));
    }
    CliPort::restoreSettingsNow();
    const QString output = outputFailure();
    if (!output.isEmpty()) {
        std::fprintf(stderr, "duva-cli: standard output: %s\n", output.toLocal8Bit().constData());
        if (status == Done)
            status = Failed;
    }
    return status;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    catchSignals();
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
    CliCommands::Context context;
    context.parser = &parser;
    context.args = rest;
    context.json = parser.isSet(QStringLiteral("json"));
    context.quiet = parser.isSet(QStringLiteral("quiet"));
    context.verbose = parser.isSet(QStringLiteral("v"));
    CliCommands::traceFrames(context.verbose);
    int status = CliCommands::Done;
    try {
        if (parser.isSet(QStringLiteral("wait")))
            context.waitSeconds = CliCommands::wholeNumber(
                QStringLiteral("--wait"), parser.value(QStringLiteral("wait")), 0, 86400);
        QString warning;
        if (command->run != CliCommands::params && command->run != CliCommands::show)
            context.line = CliLine::settingsFrom(parser, &warning);
        if (!warning.isEmpty())
            CliCommands::printErr(warning);
        status = run(context);
    } catch (const CliUsageError &e) {
        status = usageError(e.text);
        // The error object only: a result begun before it is no result.
        if (context.json) {
            const QJsonObject doc {{QStringLiteral("error"),
                                    QJsonObject {{QStringLiteral("status"), status},
                                                 {QStringLiteral("message"), e.text}}}};
            CliCommands::printOut(
                QString::fromUtf8(QJsonDocument(doc).toJson(QJsonDocument::Indented)));
            context.json = false;
        }
    } catch (const CliFailure &e) {
        CliCommands::printErr(e.text);
        status = CliCommands::Failed;
    }
    return finish(context, name, status);
}
