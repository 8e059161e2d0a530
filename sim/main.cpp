// duva-sim: simulated controllers on a pseudo-terminal.
//
// duva-sim --link PATH [--ascii | --rtu] [--baud N] [--parity none|even|odd]
//          [--data 7|8] [--stop 1|2] [--controller ADDR[:MODEL]]... [--pace]
//          [--turnaround MS] [--speed X] [--log FILE]
// duva-sim --listen [HOST:]PORT [--gateway] [the same line options]
// duva-sim --help | --version
//
// Prints the pseudo-terminal's path as its first line, links PATH to it,
// then reads commands from standard input (see simcommands.h). Bytes sent
// at a bit rate other than --baud are noise and get no reply. End of input,
// "quit", SIGINT and SIGTERM remove the link and end the program.
//
// With --listen the line is served over TCP instead (on the loopback address
// unless HOST is given), to one client at a time: the line's own bytes, or
// with --gateway Modbus TCP passed on to the (RTU) line. The first line
// printed is then HOST:PORT.
#include "sim/simcommands.h"
#include "sim/simline.h"
#include "sim/simnetserver.h"
#include "sim/simregisters.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    const ssize_t n = ::write(signalPipe[1], &byte, 1);
    (void)n;
}

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "duva-sim: %s\n", qPrintable(message));
    std::exit(2);
}

// A mistake on the command line: what is wrong, and where to read more.
[[noreturn]] void usageError(const QString &message)
{
    std::fprintf(stderr, "duva-sim: %s\nTry 'duva-sim --help' for more information.\n",
                 qPrintable(message));
    std::exit(2);
}

// Prints `text` and ends the program: 0 once it is written, else 1.
[[noreturn]] void printAndExit(const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) != size_t(bytes.size()) ||
        std::fflush(stdout) != 0) {
        std::fprintf(stderr, "duva-sim: write error: %s\n", std::strerror(errno));
        std::exit(1);
    }
    std::exit(0);
}

// The options in the GNU layout: names and value from column 2, the
// description from column 30, wrapped before column 80.
QString optionsHelp(const QList<QCommandLineOption> &options)
{
    constexpr int Column = 30;
    constexpr int Width = 79;
    QString text;
    for (const QCommandLineOption &option : options) {
        QString names;
        for (const QString &name : option.names())
            names += (names.isEmpty() ? QString() : QStringLiteral(", ")) +
                (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
        if (option.names().first().size() > 1)
            names.prepend(QStringLiteral("    "));
        if (!option.valueName().isEmpty())
            names += '=' + option.valueName();
        QString line = QStringLiteral("  ") + names;
        if (line.size() >= Column - 1) {
            text += line + '\n';
            line.clear();
        }
        for (const QString &word : option.description().split(QLatin1Char(' '))) {
            if (line.size() > Column && line.size() + 1 + word.size() > Width) {
                text += line + '\n';
                line.clear();
            }
            if (line.size() < Column)
                line = line.leftJustified(Column);
            else
                line += ' ';
            line += word;
        }
        text += line + '\n';
    }
    return text;
}

void say(const QString &line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("duva-sim"));

    QCommandLineParser parser;
    const QCommandLineOption linkOpt(QStringLiteral("link"),
                                     QStringLiteral("Make PATH a link to the line."),
                                     QStringLiteral("PATH"));
    const QCommandLineOption asciiOpt(QStringLiteral("ascii"),
                                      QStringLiteral("ASCII framing (default)."));
    const QCommandLineOption rtuOpt(QStringLiteral("rtu"), QStringLiteral("RTU framing."));
    const QCommandLineOption baudOpt(QStringLiteral("baud"), QStringLiteral("Bit rate (9600)."),
                                     QStringLiteral("N"), QStringLiteral("9600"));
    const QCommandLineOption parityOpt(QStringLiteral("parity"),
                                       QStringLiteral("none, even or odd (even)."),
                                       QStringLiteral("P"), QStringLiteral("even"));
    const QCommandLineOption dataOpt(QStringLiteral("data"),
                                     QStringLiteral("Data bits, 7 or 8 (7)."), QStringLiteral("N"),
                                     QStringLiteral("7"));
    const QCommandLineOption stopOpt(QStringLiteral("stop"),
                                     QStringLiteral("Stop bits, 1 or 2 (1)."), QStringLiteral("N"),
                                     QStringLiteral("1"));
    const QCommandLineOption controllerOpt(
        QStringLiteral("controller"),
        QStringLiteral("A controller at ADDR (1 to 247) with the model code MODEL in hex "
                       "(4848); may be repeated, also with the same ADDR (their replies "
                       "collide). Default: one at address 1."),
        QStringLiteral("ADDR[:MODEL]"));
    const QCommandLineOption paceOpt(QStringLiteral("pace"),
                                     QStringLiteral("Time the line as a real one."));
    const QCommandLineOption turnaroundOpt(QStringLiteral("turnaround"),
                                           QStringLiteral("Delay before a paced reply, ms (2)."),
                                           QStringLiteral("MS"), QStringLiteral("2"));
    const QCommandLineOption speedOpt(QStringLiteral("speed"),
                                      QStringLiteral("Simulated time runs X times faster (1)."),
                                      QStringLiteral("X"), QStringLiteral("1"));
    const QCommandLineOption echoOpt(
        QStringLiteral("echo"),
        QStringLiteral("The adapter lets the master hear its own requests (two-wire RS-485)."));
    const QCommandLineOption latencyOpt(
        QStringLiteral("latency"),
        QStringLiteral("The adapter's latency timer, ms: bytes reach the master in packets of "
                       "62 when full, else after MS (0: at once)."),
        QStringLiteral("MS"), QStringLiteral("0"));
    const QCommandLineOption strayOpt(
        QStringLiteral("stray"),
        QStringLiteral("A stray byte before every ASCII reply (a transceiver's turn-on glitch)."));
    const QCommandLineOption noiseOpt(
        QStringLiteral("noise"),
        QStringLiteral("A garbage byte on the line every MS ms (0: none)."), QStringLiteral("MS"),
        QStringLiteral("0"));
    const QCommandLineOption listenOpt(
        QStringLiteral("listen"),
        QStringLiteral("Serve the line over TCP on HOST:PORT (HOST 127.0.0.1 when left out) "
                       "instead of a pseudo-terminal."),
        QStringLiteral("[HOST:]PORT"));
    const QCommandLineOption gatewayOpt(
        QStringLiteral("gateway"),
        QStringLiteral("With --listen: Modbus TCP to an RTU line, as a gateway."));
    const QCommandLineOption logOpt(QStringLiteral("log"), QStringLiteral("Request log file."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption helpOpt({QStringLiteral("h"), QStringLiteral("help")},
                                     QStringLiteral("display this help and exit"));
    const QCommandLineOption versionOpt(QStringLiteral("version"),
                                        QStringLiteral("output version information and exit"));
    const QList<QCommandLineOption> options = {
        linkOpt, listenOpt,  gatewayOpt,    asciiOpt, rtuOpt,        baudOpt,   parityOpt,
        dataOpt, stopOpt,    controllerOpt, paceOpt,  turnaroundOpt, speedOpt,  logOpt,
        echoOpt, latencyOpt, strayOpt,      noiseOpt, helpOpt,       versionOpt};
    parser.addOptions(options);
    if (!parser.parse(app.arguments()))
        usageError(parser.errorText());
    if (parser.isSet(helpOpt))
        printAndExit(
            QStringLiteral(
                "Usage: duva-sim --link PATH [OPTION]...\n"
                "  or:  duva-sim --listen [HOST:]PORT [--gateway] [OPTION]...\n"
                "Serve simulated DUVA controllers (Modbus slaves) on a pseudo-terminal.\n"
                "Prints the pseudo-terminal's path, links PATH to it, and reads commands\n"
                "from standard input, one a line (set, get, fault, pvstatus, event, move,\n"
                "unplug, replug, quit; see duva-sim(1)).\n\n") +
            optionsHelp(options) + QStringLiteral("\nReport bugs to: duva@example.com\n"));
    if (parser.isSet(versionOpt))
        printAndExit(QStringLiteral("duva-sim (DUVA configuration program) " DUVA_VERSION "\n"
                                    "Copyright (C) 2026 DUVA configuration program team\n"));
    if (!parser.positionalArguments().isEmpty())
        usageError(QStringLiteral("unexpected argument ") + parser.positionalArguments().first());
    const bool network = parser.isSet(listenOpt);
    if (!parser.isSet(linkOpt) && !network)
        usageError(QStringLiteral("--link PATH or --listen [HOST:]PORT is required"));
    if (parser.isSet(linkOpt) && network)
        usageError(QStringLiteral("--link and --listen exclude each other"));
    if (parser.isSet(asciiOpt) && parser.isSet(rtuOpt))
        usageError(QStringLiteral("--ascii and --rtu exclude each other"));
    const bool gateway = parser.isSet(gatewayOpt);
    if (gateway && !network)
        usageError(QStringLiteral("--gateway goes with --listen"));
    if (gateway && parser.isSet(asciiOpt))
        usageError(QStringLiteral("a gateway's line is RTU: --gateway excludes --ascii"));
    QHostAddress listenHost(QHostAddress::LocalHost);
    quint16 listenPort = 0;
    if (network) {
        const QString value = parser.value(listenOpt);
        const qsizetype colon = value.lastIndexOf(QLatin1Char(':'));
        const QString host = colon < 0 ? QString() : value.left(colon);
        bool portOk = false;
        const int port = value.mid(colon + 1).toInt(&portOk);
        if (!portOk || port < 0 || port > 65535 ||
            (!host.isEmpty() && !listenHost.setAddress(host)))
            usageError(QStringLiteral("bad --listen ") + value +
                       QStringLiteral(" (an IP address and a port, such as 127.0.0.1:4001)"));
        listenPort = quint16(port);
    }

    SimLineSettings settings;
    settings.mode = parser.isSet(rtuOpt) || gateway ? ModbusMode::Rtu : ModbusMode::Ascii;
    bool ok = false;
    settings.baud = parser.value(baudOpt).toInt(&ok);
    if (!ok || settings.baud < 50 || settings.baud > 4'000'000)
        usageError(QStringLiteral("bad --baud ") + parser.value(baudOpt));
    const QString parity = parser.value(parityOpt);
    if (parity == QLatin1String("none"))
        settings.parity = Parity::None;
    else if (parity == QLatin1String("even"))
        settings.parity = Parity::Even;
    else if (parity == QLatin1String("odd"))
        settings.parity = Parity::Odd;
    else
        usageError(QStringLiteral("--parity takes none, even or odd"));
    settings.dataBits = parser.value(dataOpt).toInt();
    if (settings.dataBits != 7 && settings.dataBits != 8)
        usageError(QStringLiteral("--data takes 7 or 8"));
    settings.stopBits = parser.value(stopOpt).toInt();
    if (settings.stopBits != 1 && settings.stopBits != 2)
        usageError(QStringLiteral("--stop takes 1 or 2"));
    const int turnaround = parser.value(turnaroundOpt).toInt(&ok);
    if (!ok || turnaround < 0 || turnaround > 10000)
        usageError(QStringLiteral("bad --turnaround ") + parser.value(turnaroundOpt));
    const double speed = parser.value(speedOpt).toDouble(&ok);
    if (!ok || speed <= 0 || speed > 10000)
        usageError(QStringLiteral("bad --speed ") + parser.value(speedOpt));

    SimWire wire;
    wire.echo = parser.isSet(echoOpt);
    wire.strayByte = parser.isSet(strayOpt);
    wire.latencyMs = parser.value(latencyOpt).toInt(&ok);
    if (!ok || wire.latencyMs < 0 || wire.latencyMs > 1000)
        usageError(QStringLiteral("bad --latency ") + parser.value(latencyOpt));
    wire.noiseMs = parser.value(noiseOpt).toInt(&ok);
    if (!ok || wire.noiseMs < 0 || wire.noiseMs > 60000)
        usageError(QStringLiteral("bad --noise ") + parser.value(noiseOpt));

    SimLine line(settings);
    line.setPacing(parser.isSet(paceOpt), turnaround);
    line.setWire(wire);
    line.setSpeed(speed);
    QStringList controllers = parser.values(controllerOpt);
    if (controllers.isEmpty())
        controllers.append(QStringLiteral("1"));
    for (const QString &entry : controllers) {
        const QStringList parts = entry.split(QLatin1Char(':'));
        const int address = parts.at(0).toInt(&ok);
        if (!ok || parts.size() > 2)
            usageError(QStringLiteral("bad --controller ") + entry);
        int model = Sim::DefaultModel;
        if (parts.size() == 2) {
            QString code = parts.at(1);
            if (code.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
                code = code.mid(2);
            model = code.toInt(&ok, 16);
            if (!ok || model < 0 || model > 0xFFFF)
                usageError(QStringLiteral("bad model code in --controller ") + entry);
        }
        if (!line.addController(address, model))
            usageError(QStringLiteral("address 1 to 247: --controller ") + entry);
    }
    // SIGINT and SIGTERM end the program through the event loop, so that
    // the link is removed; they are caught before the link exists.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        fail(QStringLiteral("cannot create the signal pipe"));
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGPIPE, SIG_IGN);
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);

    QString error;
    if (parser.isSet(logOpt) && !line.setLogFile(parser.value(logOpt), &error))
        fail(error);
    std::unique_ptr<SimNetServer> server;
    if (network) {
        server = std::make_unique<SimNetServer>(line, gateway);
        QObject::connect(server.get(), &SimNetServer::logged, &line,
                         [&line](const QString &text) { line.note(text); });
        if (!server->listen(listenHost, listenPort, &error))
            fail(error);
        line.startWithoutTerminal();
        say(listenHost.toString() + QLatin1Char(':') + QString::number(server->port()));
    } else {
        if (!line.open(&error))
            fail(error);
        if (!line.makeLink(parser.value(linkOpt), &error))
            fail(error);
        say(line.ptyPath());
    }

    SimCommands commands(line);
    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input.setEnabled(false);
            QCoreApplication::quit();
            return;
        }
        pending.append(buffer, n);
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QString command = QString::fromUtf8(pending.left(end));
            pending.remove(0, end + 1);
            const QString answer = commands.execute(command);
            if (!answer.isEmpty())
                say(answer);
            if (commands.quitRequested()) {
                input.setEnabled(false);
                QCoreApplication::quit();
                return;
            }
        }
    });

    const int status = app.exec();
    line.close();
    return status;
}
