#include "cli/clishared.h"

#include "cli/clidialogs.h"
#include "cli/cliline.h"

#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <cstdio>
#include <unistd.h>
#include <utility>

namespace CliCommands {

std::atomic<bool> stopAsked {false};
std::function<QString()> lineLoss;

namespace {
bool lossSaid = false;
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
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

void printErr(const QString &text)
{
    std::fprintf(stderr, "duva-cli: %s\n", text.toLocal8Bit().constData());
}

void printJson(const QJsonValue &value)
{
    const QJsonDocument doc =
        value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    printOut(QString::fromUtf8(doc.toJson(QJsonDocument::Indented)));
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

bool waitFor(const std::function<bool()> &done, qint64 timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QElapsedTimer elapsed;
    elapsed.start();
    auto check = [&] {
        if (done() || stopAsked || (timeoutMs >= 0 && elapsed.elapsed() > timeoutMs) ||
            (lineLoss && sayLoss(lineLoss())))
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
