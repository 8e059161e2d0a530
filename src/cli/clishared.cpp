#include "cli/clishared.h"

#include "cli/clidialogs.h"
#include "cli/cliline.h"
#include "link/trafficlog.h"
#include "recorder/recordfile.h"

#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <utility>

namespace CliCommands {

std::atomic<int> stopAsked {0};
std::function<QString()> lineLoss;

namespace {

bool lossSaid = false;
QString outputError;
QStringList said;
QJsonObject result;
bool tracing = false;
qint64 tracedUpTo = 0;

} // namespace

void traceFrames(bool on)
{
    tracing = on;
    tracedUpTo = TrafficLog::shared().newest();
}

void printFrames()
{
    if (!tracing)
        return;
    const TrafficLog &log = TrafficLog::shared();
    if (log.newest() <= tracedUpTo)
        return;
    for (const QString &line : TrafficLines(log, tracedUpTo + 1, -1))
        std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    tracedUpTo = log.newest();
}

bool sayLoss(const QString &text)
{
    if (text.isEmpty())
        return false;
    if (!std::exchange(lossSaid, true))
        printErr(text);
    return true;
}

void printOut(const QString &text)
{
    if (!outputError.isEmpty())
        return;
    const QByteArray bytes = text.toLocal8Bit();
    errno = 0;
    if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) != size_t(bytes.size()) ||
        std::fflush(stdout) != 0 || std::ferror(stdout)) {
        outputError = QString::fromLocal8Bit(std::strerror(errno ? errno : EIO));
    }
}

QString outputFailure()
{
    return outputError;
}

void printErr(const QString &message)
{
    // The windows number their controllers' slots; the command line has
    // none: a controller is its address.
    static const QRegularExpression slot(
        QStringLiteral("[Cc]ontroller [1-4] \\(address (\\d+)\\)"));
    QString text = message;
    text.replace(slot, QStringLiteral("address \\1"));
    said << text;
    std::fprintf(stderr, "duva-cli: %s\n", text.toLocal8Bit().constData());
}

QString errorsSaid()
{
    return said.join(QLatin1Char('\n'));
}

void printJson(const QJsonObject &value)
{
    result = value;
}

QJsonObject jsonResult()
{
    return result;
}

void printJsonLine(const QJsonObject &value)
{
    printOut(QString::fromUtf8(QJsonDocument(value).toJson(QJsonDocument::Compact)) +
             QLatin1Char('\n'));
}

bool interrupted()
{
    return stopAsked != 0 || !outputError.isEmpty();
}

void progress(const QString &text)
{
    static const bool terminal = ::isatty(STDERR_FILENO);
    if (terminal)
        std::fprintf(stderr, "\r%s\033[K", text.toLocal8Bit().constData());
}

void progressDone()
{
    progress(QString());
}

bool waitFor(const std::function<bool()> &done, qint64 timeoutMs, bool interruptible)
{
    if (done())
        return true;
    QEventLoop loop;
    QElapsedTimer elapsed;
    elapsed.start();
    auto check = [&] {
        printFrames();
        if (done() || (interruptible && interrupted()) ||
            (timeoutMs >= 0 && elapsed.elapsed() > timeoutMs) || (lineLoss && sayLoss(lineLoss())))
            loop.quit();
    };
    // Looked at whenever the events in hand are done, so the next step
    // follows at once; the timer only watches the clock and the signals.
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                     &loop, check);
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, check);
    tick.start(50);
    loop.exec();
    return done();
}

QString saidSince(const CliDialogs &dialogs, qsizetype from)
{
    waitFor([&] { return dialogs.messages.size() > from; }, 1000);
    return dialogs.textsFrom(from).trimmed();
}

QString csvFieldOf(const QString &text)
{
    return RecordFile::csvField(text);
}

QPair<int, int> addressRange(const Context &c, int last)
{
    const QCommandLineParser &p = *c.parser;
    const int first = p.isSet(QStringLiteral("from"))
        ? wholeNumber(QStringLiteral("--from"), p.value(QStringLiteral("from")), 1, 247)
        : 1;
    if (p.isSet(QStringLiteral("to")))
        last = wholeNumber(QStringLiteral("--to"), p.value(QStringLiteral("to")), 1, 247);
    if (last < first)
        throw CliUsageError {QStringLiteral("--to %1 is below --from %2").arg(last).arg(first)};
    return {first, last};
}

QString hex4(int reg)
{
    return QStringLiteral("0x") +
        QString::number(reg, 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

QList<int> addressesOf(const QStringList &args)
{
    QList<int> out;
    for (const QString &a : args)
        out << address(a);
    return out;
}

int wholeNumber(const QString &option, const QString &text, int low, int high)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < low || v > high)
        throw CliUsageError {QStringLiteral("%1: '%2' is not a number %3 to %4")
                                 .arg(option, text)
                                 .arg(low)
                                 .arg(high)};
    return v;
}

void needArgs(const Context &c, int low, int high, const QString &usage)
{
    if (c.args.size() < low || (high >= 0 && c.args.size() > high))
        throw CliUsageError {QStringLiteral("usage: duva-cli %1").arg(usage)};
}

int address(const QString &arg)
{
    return wholeNumber(QStringLiteral("address"), arg, 1, 247);
}

} // namespace CliCommands
