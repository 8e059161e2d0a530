#include "app/settingsfile.h"

#include "ui/files.h"

#include "link/duvaerror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

const char SettingsFileName[] = "SETDUVA.$$$";
const char NetworkFileName[] = "SETDUVA.NET";

namespace {

// A settings line is a few characters; a longer one is judged whole up to
// this length and refused beyond it.
constexpr qsizetype MaxLineBytes = 4096;
// How much of a refused line the error box shows.
constexpr qsizetype ShownLineBytes = 100;

QString settingsPath(const QString &dir)
{
    return QDir(dir).filePath(QString::fromLatin1(SettingsFileName));
}

// The line as the error box shows it: printable ASCII as it stands, every
// other byte (control, NUL, 8-bit) as \xNN, a long line cut short.
QString shownLine(const QByteArray &line)
{
    QString out;
    for (const char c : line.left(ShownLineBytes)) {
        const uchar byte = uchar(c);
        if (byte >= 0x20 && byte < 0x7F)
            out += QLatin1Char(char(byte));
        else
            out += QStringLiteral("\\x%1").arg(QString::number(byte, 16).toUpper(), 2,
                                               QLatin1Char('0'));
    }
    if (line.size() > ShownLineBytes)
        out += QLatin1String("...");
    return out;
}

// The error of a settings file that is not used: what is wrong, the file,
// and what the program does instead.
[[noreturn]] void refuse(const QString &what, const QString &path,
                         const QString &instead = QStringLiteral("The default settings are used."))
{
    throw DuvaError(what + QStringLiteral("\nSettings file: ") +
                    QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()) +
                    QLatin1Char('\n') + instead);
}

// The names of the line kinds in the network file.
const char *lineKindName(LineKind kind)
{
    switch (kind) {
    case LineKind::Serial:
        return "serial";
    case LineKind::DeviceServer:
        return "device-server";
    case LineKind::Gateway:
        return "gateway";
    }
    return "serial";
}

// The file's bytes, or a refusal: only a regular file of sensible size is read.
QByteArray readSmallFile(const QString &path, const QString &instead)
{
    const QFileInfo info(path);
    if (!info.isFile())
        refuse(QStringLiteral("Cannot read the file: it is not a regular file"), path, instead);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        refuse(QStringLiteral("Cannot read the file: %1").arg(file.errorString()), path, instead);
    const QByteArray bytes = file.read(MaxLineBytes + 1);
    if (bytes.size() > MaxLineBytes)
        refuse(QStringLiteral("The file is longer than a settings file can be"), path, instead);
    return bytes;
}

} // namespace

void LoadSettingsFile(ComSettings &settings, const QString &dir)
{
    const QString path = settingsPath(dir);
    const QFileInfo info(path);
    if (!info.exists()) {
        settings.selectDefaults();
        return;
    }
    // Opening a FIFO would wait for a writer forever, a device could be
    // anything: only a regular file is read.
    if (!info.isFile())
        refuse(QStringLiteral("Cannot read the file: it is not a regular file"), path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        refuse(QStringLiteral("Cannot read the file: %1").arg(file.errorString()), path);
    // The whole first line with its end; a line that does not end within
    // the limit is refused whole, never judged by its beginning.
    QByteArray line = file.readLine(MaxLineBytes + 3);
    const bool whole = line.endsWith('\n') || file.atEnd();
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    // Editors on some systems put a UTF-8 byte-order mark first.
    if (line.startsWith("\xEF\xBB\xBF"))
        line.remove(0, 3);
    // The conversion would stop at a NUL byte and take what stands before it.
    bool ok = false;
    const int code = whole && line.size() <= MaxLineBytes && !line.contains('\0')
        ? QString::fromLatin1(line).toInt(&ok, 10)
        : 0;
    if (!ok)
        refuse(QStringLiteral("'%1' is not a valid integer value").arg(shownLine(line)), path);
    settings.applyCode(code);
}

void SaveSettingsFile(const ComSettings &settings, const QString &dir)
{
    const QString path = settingsPath(dir);
    // The code must bring back what the dialog shows; a selection it cannot
    // carry is refused, never saved as another one.
    ComSettings back;
    back.applyCode(settings.code());
    for (int g = 0; g < ComSettings::GroupCount; ++g)
        if (back.index(ComSettings::Group(g)) != settings.index(ComSettings::Group(g)))
            throw DuvaError(QStringLiteral("Cannot write %1: the selections cannot be kept in "
                                           "the settings code (choose a COM port)")
                                .arg(path));
    const QString failure = WriteFileWhole(path, QByteArray::number(settings.code()) + "\r\n");
    if (!failure.isEmpty())
        throw DuvaError(QStringLiteral("Cannot write %1: %2").arg(path, failure));
}

void LoadNetworkFile(ComSettings &settings, const QString &dir)
{
    const QString path = QDir(dir).filePath(QString::fromLatin1(NetworkFileName));
    const QString instead = QStringLiteral("The line stays as it was.");
    if (!QFileInfo::exists(path)) {
        settings.setLineKind(LineKind::Serial);
        return;
    }
    QByteArray bytes = readSmallFile(path, instead);
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    LineKind kind = LineKind::Serial;
    NetworkTarget target;
    LineTalk talk;
    bool hasHost = false;
    bool hasPort = false;
    for (QByteArray line : bytes.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        const auto bad = [&](const QString &why) {
            refuse(QStringLiteral("'%1': %2").arg(shownLine(line), why), path, instead);
        };
        const qsizetype equals = line.indexOf('=');
        if (equals < 0)
            bad(QStringLiteral("not a setting (key=value)"));
        const QByteArray key = line.left(equals).trimmed();
        const QByteArray value = line.mid(equals + 1).trimmed();
        bool ok = false;
        if (key == "line") {
            if (value == "serial")
                kind = LineKind::Serial;
            else if (value == "device-server")
                kind = LineKind::DeviceServer;
            else if (value == "gateway")
                kind = LineKind::Gateway;
            else
                bad(QStringLiteral("the line is serial, device-server or gateway"));
        } else if (key == "host") {
            // A name or an address; nothing that could not be one.
            const bool sane = !value.isEmpty() && value.size() <= 253 &&
                std::all_of(value.begin(), value.end(),
                            [](char c) { return uchar(c) > 0x20 && uchar(c) < 0x7F; });
            if (!sane)
                bad(QStringLiteral("the host is a name or an address"));
            target.host = QString::fromLatin1(value);
            hasHost = true;
        } else if (key == "port") {
            const int port = value.toInt(&ok);
            if (!ok || port < 1 || port > 65535)
                bad(QStringLiteral("the port is 1 to 65535"));
            target.port = quint16(port);
            hasPort = true;
        } else if (key == "echo") {
            if (value == "automatic")
                talk.echo = EchoRemoval::Automatic;
            else if (value == "on")
                talk.echo = EchoRemoval::On;
            else if (value == "off")
                talk.echo = EchoRemoval::Off;
            else
                bad(QStringLiteral("the echo is automatic, on or off"));
        } else if (key == "timeout" || key == "pause" || key == "retries") {
            const int low = key == "retries" ? -1 : 0;
            const int high = key == "timeout" ? LineTalk::MaximumReplyTimeoutMs
                : key == "pause"              ? LineTalk::MaximumPauseMs
                                              : LineTalk::MaximumRetries;
            const int number = value == "auto" ? low : value.toInt(&ok);
            if ((value != "auto" && !ok) || number < low || number > high)
                bad(QStringLiteral("the %1 is auto or 0 to %2")
                        .arg(QString::fromLatin1(key))
                        .arg(high));
            (key == "timeout"     ? talk.replyTimeoutMs
                 : key == "pause" ? talk.pauseMs
                                  : talk.retries) = number;
        } else if (key == "margin") {
            const int margin = value.toInt(&ok);
            if (!ok || margin < 0 || margin > NetworkTarget::MaximumMarginMs)
                bad(QStringLiteral("the margin is 0 to %1 ms").arg(NetworkTarget::MaximumMarginMs));
            target.marginMs = margin;
        } else {
            bad(QStringLiteral("unknown setting"));
        }
    }
    if (kind != LineKind::Serial && (!hasHost || !hasPort))
        refuse(QStringLiteral("A network line needs its host and its port"), path, instead);
    settings.setLineKind(kind);
    settings.setTalk(talk);
    if (hasHost || hasPort)
        settings.setNetwork(target);
}

void SaveNetworkFile(const ComSettings &settings, const QString &dir)
{
    const QString path = QDir(dir).filePath(QString::fromLatin1(NetworkFileName));
    const NetworkTarget &target = settings.network();
    QByteArray text = QByteArray("line=") + lineKindName(settings.lineKind()) + "\r\n";
    if (!target.host.isEmpty())
        text += "host=" + target.host.toLatin1() + "\r\n";
    if (target.port != 0)
        text += "port=" + QByteArray::number(target.port) + "\r\n";
    text += "margin=" + QByteArray::number(target.marginMs) + "\r\n";
    const LineTalk &talk = settings.talk();
    const auto automatic = [](int value, int none) {
        return value == none ? QByteArray("auto") : QByteArray::number(value);
    };
    text += QByteArray("echo=") +
        (talk.echo == EchoRemoval::On        ? "on"
             : talk.echo == EchoRemoval::Off ? "off"
                                             : "automatic") +
        "\r\n";
    text += "timeout=" + automatic(talk.replyTimeoutMs, 0) + "\r\n";
    text += "retries=" + automatic(talk.retries, -1) + "\r\n";
    text += "pause=" + QByteArray::number(talk.pauseMs) + "\r\n";
    const QString failure = WriteFileWhole(path, text);
    if (!failure.isEmpty())
        throw DuvaError(QStringLiteral("Cannot write %1: %2").arg(path, failure));
}
