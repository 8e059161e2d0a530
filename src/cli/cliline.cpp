#include "cli/cliline.h"

#include "app/comsettings.h"
#include "app/settingsfile.h"
#include "cli/clishared.h"
#include "find/findlogic.h"
#include "link/comports.h"
#include "link/duvaerror.h"
#include "link/networklink.h"
#include "link/serialchannel.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace CliLine {

namespace {

// The COM number a device named by its path stands for.
constexpr int NamedDeviceNumber = 1;

int choice(const QString &option, const QString &value, const QStringList &accepted)
{
    const int i = int(accepted.indexOf(value.toLower()));
    if (i < 0)
        throw CliUsageError {QStringLiteral("--%1: '%2' is not one of %3")
                                 .arg(option, value, accepted.join(QStringLiteral(", ")))};
    return i;
}

} // namespace

QList<QCommandLineOption> options()
{
    return {
        {QStringLiteral("port"),
         QStringLiteral("The port: COMn as the windows name it, or a "
                        "device such as /dev/ttyUSB0."),
         QStringLiteral("COMn|DEVICE")},
        {QStringLiteral("baud"), QStringLiteral("Baud rate: 2400, 4800, 9600, 19200 or 38400."),
         QStringLiteral("RATE")},
        {QStringLiteral("parity"), QStringLiteral("Parity: none, even or odd."),
         QStringLiteral("PARITY")},
        {QStringLiteral("data"), QStringLiteral("Data bits: 7 or 8 (RTU always uses 8)."),
         QStringLiteral("BITS")},
        {QStringLiteral("stop"), QStringLiteral("Stop bits: 1 or 2."), QStringLiteral("BITS")},
        {QStringLiteral("ascii"), QStringLiteral("Modbus ASCII framing.")},
        {QStringLiteral("rtu"), QStringLiteral("Modbus RTU framing.")},
        {QStringLiteral("network"),
         QStringLiteral("The line through a serial device server at HOST:PORT (the line's own "
                        "frames over TCP)."),
         QStringLiteral("HOST:PORT")},
        {QStringLiteral("gateway"),
         QStringLiteral("With --network: a Modbus TCP gateway (RTU on its line).")},
        {QStringLiteral("timeout"),
         QStringLiteral("The reply window in ms (1 to 60000), for slow controllers, radio links "
                        "and gateways."),
         QStringLiteral("MS")},
        {QStringLiteral("retries"), QStringLiteral("Attempts after a failed one (0 to 20)."),
         QStringLiteral("N")},
        {QStringLiteral("echo"),
         QStringLiteral("Remove the request an adapter echoes: auto, on or off (auto)."),
         QStringLiteral("MODE")},
    };
}

LineSettings settingsFrom(const QCommandLineParser &parser, QString *warning)
{
    // The settings file first, as the windows load it at start.
    ComSettings settings;
    try {
        LoadSettingsFile(settings);
    } catch (const DuvaError &e) {
        if (warning)
            *warning = e.text();
        settings = ComSettings();
    }
    try {
        LoadNetworkFile(settings);
    } catch (const DuvaError &e) {
        if (warning)
            *warning = e.text();
        settings.setLineKind(LineKind::Serial);
    }
    // Each option selects its item as the settings dialog would, with the
    // dialog's rules (RTU takes 8 data bits).
    if (parser.isSet(QStringLiteral("ascii")) && parser.isSet(QStringLiteral("rtu")))
        throw CliUsageError {QStringLiteral("--ascii and --rtu exclude each other")};
    if (parser.isSet(QStringLiteral("baud"))) {
        QStringList rates;
        for (int rate : BaudRates)
            rates << QString::number(rate);
        settings.select(
            ComSettings::ComBaudRate,
            choice(QStringLiteral("baud"), parser.value(QStringLiteral("baud")), rates));
    }
    if (parser.isSet(QStringLiteral("parity")))
        settings.select(
            ComSettings::ComParity,
            choice(QStringLiteral("parity"), parser.value(QStringLiteral("parity")),
                   {QStringLiteral("none"), QStringLiteral("even"), QStringLiteral("odd")}));
    if (parser.isSet(QStringLiteral("data")))
        settings.select(ComSettings::ComBitLen,
                        choice(QStringLiteral("data"), parser.value(QStringLiteral("data")),
                               {QStringLiteral("7"), QStringLiteral("8")}));
    if (parser.isSet(QStringLiteral("stop")))
        settings.select(ComSettings::ComStopBit,
                        choice(QStringLiteral("stop"), parser.value(QStringLiteral("stop")),
                               {QStringLiteral("1"), QStringLiteral("2")}));
    if (parser.isSet(QStringLiteral("ascii")))
        settings.select(ComSettings::ModBus, 0);
    if (parser.isSet(QStringLiteral("rtu")))
        settings.select(ComSettings::ModBus, 1);
    if (parser.isSet(QStringLiteral("data")) && settings.modbusMode() == ModbusMode::Rtu &&
        parser.value(QStringLiteral("data")) == QLatin1String("7"))
        throw CliUsageError {QStringLiteral("--data 7: RTU framing always uses 8 data bits")};

    if (parser.isSet(QStringLiteral("gateway")) && !parser.isSet(QStringLiteral("network")))
        throw CliUsageError {QStringLiteral("--gateway goes with --network HOST:PORT")};
    if (parser.isSet(QStringLiteral("network"))) {
        if (parser.isSet(QStringLiteral("port")))
            throw CliUsageError {QStringLiteral("--network and --port exclude each other")};
        const QString value = parser.value(QStringLiteral("network"));
        const qsizetype colon = value.lastIndexOf(QLatin1Char(':'));
        bool ok = false;
        const int port = colon > 0 ? value.mid(colon + 1).toInt(&ok) : 0;
        if (!ok || port < 1 || port > 65535)
            throw CliUsageError {
                QStringLiteral("--network: '%1' is not HOST:PORT (such as 10.0.0.5:4001)")
                    .arg(value)};
        NetworkTarget target = settings.network();
        target.host = value.left(colon);
        // "[::1]:502": an IPv6 address stands in brackets.
        if (target.host.startsWith(QLatin1Char('[')) && target.host.endsWith(QLatin1Char(']')))
            target.host = target.host.mid(1, target.host.size() - 2);
        if (target.host.isEmpty())
            throw CliUsageError {QStringLiteral("--network: '%1' names no host").arg(value)};
        target.port = quint16(port);
        settings.setNetwork(target);
        settings.setLineKind(parser.isSet(QStringLiteral("gateway")) ? LineKind::Gateway
                                                                     : LineKind::DeviceServer);
    }
    LineSettings line = settings.lineSettings();
    const auto number = [&](const char *option, int low, int high) {
        const QString text = parser.value(QLatin1String(option));
        bool ok = false;
        const int n = text.toInt(&ok);
        if (!ok || n < low || n > high)
            throw CliUsageError {QStringLiteral("--%1: '%2' is not a number from %3 to %4")
                                     .arg(QLatin1String(option), text)
                                     .arg(low)
                                     .arg(high)};
        return n;
    };
    if (parser.isSet(QStringLiteral("timeout")))
        line.talk.replyTimeoutMs = number("timeout", 1, LineTalk::MaximumReplyTimeoutMs);
    if (parser.isSet(QStringLiteral("retries")))
        line.talk.retries = number("retries", 0, LineTalk::MaximumRetries);
    if (parser.isSet(QStringLiteral("echo")))
        line.talk.echo = EchoRemoval(
            choice(QStringLiteral("echo"), parser.value(QStringLiteral("echo")),
                   {QStringLiteral("auto"), QStringLiteral("on"), QStringLiteral("off")}));
    if (line.isNetwork())
        return line;
    if (parser.isSet(QStringLiteral("port"))) {
        const QString port = parser.value(QStringLiteral("port"));
        static const QRegularExpression comName(QStringLiteral("^COM([1-9][0-9]{0,2})$"),
                                                QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch m = comName.match(port);
        if (m.hasMatch()) {
            line.comNumber = m.captured(1).toInt();
        } else if (port.contains(QLatin1Char('/'))) {
            setComPortDevice(NamedDeviceNumber, port);
            line.comNumber = NamedDeviceNumber;
        } else {
            throw CliUsageError {QStringLiteral("--port: '%1' is neither COMn nor a device path "
                                                "such as /dev/ttyUSB0")
                                     .arg(port)};
        }
    }
    if (line.comNumber == 0)
        throw CliUsageError {QStringLiteral("no port is selected in SETDUVA.$$$: name one with "
                                            "--port")};
    return line;
}

QString describe(const LineSettings &settings)
{
    if (settings.isNetwork())
        return FindLogic::SettingText(settings);
    QString device = comPortDevice(settings.comNumber);
    const QString port = QStringLiteral("COM%1").arg(settings.comNumber);
    const QString name =
        device.isEmpty() || device == port ? port : port + QStringLiteral(" = ") + device;
    return QStringLiteral("%1 (%2)").arg(name, FindLogic::SettingText(settings));
}

bool reached(Line &line, const LineSettings &settings)
{
    if (!line.isOpen())
        return false;
    // A network line connects after the opening: its loss is known within
    // the connect time-out (a peer that accepts and closes at once a moment
    // after).
    if (settings.isNetwork()) {
        CliCommands::waitFor([&] { return !line.connecting() || line.deviceLost(); },
                             NetworkLink::ConnectTimeoutMs + 1000);
        CliCommands::waitFor([&] { return line.deviceLost(); }, 100);
    }
    if (!line.deviceLost())
        return true;
    CliCommands::sayLoss(line.lossText());
    return false;
}

std::unique_ptr<Line> create(const LineSettings &)
{
    auto channel = std::make_unique<SerialChannel>();
    channel->setObjectName(QStringLiteral("ApdComPort1"));
    channel->setStopBits(0);
    return channel;
}

} // namespace CliLine
