// duva-cli program get and put: the ramp/soak program and its text file.
#include "cli/clidialogs.h"
#include "cli/cliline.h"
#include "cli/cliparameters.h"
#include "cli/clishared.h"
#include "cli/clitalk.h"
#include "program/programfile.h"
#include "program/programtransfer.h"
#include "setup/writeall.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>

#include <optional>

namespace CliCommands {

bool readWholeProgram(CliTalk &t, int addr, RampSoakProgram &program, bool showProgress)
{
    bool ended = false;
    bool complete = false;
    QString why;
    t.engine().hooks.programReply = [&](int phase, int firstStep, const QList<quint16> &words) {
        ProgramTransfer::applyReply(program, phase, firstStep, words);
        if (showProgress && phase == 4)
            progress(QStringLiteral("reading step %1 of 64").arg(firstStep + 4));
    };
    t.engine().hooks.programReadEnded = [&](bool whole, const QString &reason) {
        ended = true;
        complete = whole;
        why = reason;
    };
    const bool started = t.engine().requestProgramRead();
    if (started)
        waitFor([&] { return ended; });
    t.engine().hooks.programReply = nullptr;
    t.engine().hooks.programReadEnded = nullptr;
    progressDone();
    if (!started) {
        printErr(QStringLiteral("address %1: the program read did not start").arg(addr));
        return false;
    }
    if (!complete) {
        printErr(QStringLiteral("address %1: Read from Duva did not finish: %2.")
                     .arg(addr)
                     .arg(why.isEmpty() ? QStringLiteral("the controller is no longer connected")
                                        : why));
        return false;
    }
    return true;
}

int programGet(const Context &c)
{
    needArgs(c, 1, 2, QStringLiteral("program get ADDR [FILE]"));
    const int addr = address(c.args.at(0));
    const QString file = c.args.value(1);
    CliTalk t(c);
    if (!t.openOne(addr))
        return Failed;
    RampSoakProgram program;
    if (!readWholeProgram(t, addr, program, !c.quiet))
        return Failed;
    // The file is replaced only once the program is whole and written.
    if (!file.isEmpty() && file != QLatin1String("-")) {
        const QString failure = ProgramFile::write(file, program);
        if (!failure.isEmpty()) {
            printErr(QStringLiteral("%1: cannot be written: %2").arg(file, failure));
            return Failed;
        }
    }
    if (c.json) {
        QJsonArray values;
        for (int p = 0; p < RampSoakProgram::Values; ++p)
            values.append(program.atPosition(p));
        printJson(
            QJsonObject {{QStringLiteral("address"), addr}, {QStringLiteral("values"), values}});
    } else if (file.isEmpty() || file == QLatin1String("-")) {
        printOut(QString::fromLatin1(ProgramFile::encode(program)).remove(QLatin1Char('\r')));
    }
    return Done;
}

int programPut(const Context &c)
{
    needArgs(c, 2, 2, QStringLiteral("program put ADDR FILE"));
    const int addr = address(c.args.at(0));
    const QString file = c.args.at(1);
    ProgramFile::ReadResult read;
    if (file == QLatin1String("-")) {
        QFile in;
        if (!in.open(stdin, QIODevice::ReadOnly))
            throw CliFailure {QStringLiteral("standard input: %1").arg(in.errorString())};
        // A program file is a few kilobytes; a megabyte is none.
        const QByteArray bytes = in.read(1 << 20);
        const ProgramFile::ParseResult parsed = ProgramFile::parse(bytes);
        using P = ProgramFile::ParseResult::Kind;
        read.kind = parsed.kind == P::Ok   ? ProgramFile::ReadResult::Kind::Ok
            : parsed.kind == P::BadToken   ? ProgramFile::ReadResult::Kind::BadToken
            : parsed.kind == P::OutOfRange ? ProgramFile::ReadResult::Kind::OutOfRange
                                           : ProgramFile::ReadResult::Kind::DataLength;
        read.token = parsed.token;
        read.program = parsed.program;
    } else {
        read = ProgramFile::read(file);
    }
    using K = ProgramFile::ReadResult::Kind;
    if (read.kind != K::Ok) {
        const QString why = read.kind == K::Missing ? ProgramFile::MissingFile
            : read.kind == K::Unreadable
            ? QStringLiteral("Can not open file %1 : %2").arg(file, read.reason)
            : read.kind == K::DataLength ? ProgramFile::DataLengthError
            : read.kind == K::BadToken   ? ProgramFile::BadTokenMessage(read.token)
                                         : ProgramFile::OutOfRangeMessage(read.token);
        throw CliFailure {QStringLiteral("%1: %2").arg(
            file == QLatin1String("-") ? QStringLiteral("standard input") : file, why)};
    }
    CliTalk t(c);
    if (!t.openOne(addr))
        return Failed;
    std::optional<BatchWriteReport> report;
    t.engine().hooks.programWriteProgress = [&](int done) {
        if (!c.quiet)
            progress(QStringLiteral("writing %1 of %2").arg(done).arg(RampSoakProgram::Values));
    };
    t.engine().hooks.programWriteEnded = [&](const BatchWriteReport &r) { report = r; };
    if (!t.engine().startProgramWrite(ProgramTransfer::writes(read.program))) {
        printErr(QStringLiteral("address %1: the program write did not start").arg(addr));
        return Failed;
    }
    waitFor([&] { return report.has_value(); });
    progressDone();
    if (!report)
        return Failed;
    QStringList notWritten;
    for (const RegisterWrite &w : report->notWritten)
        notWritten << nameOf(w.reg);
    if (!report->complete) {
        printErr(QStringLiteral("address %1: Write to Duva did not finish: %2.")
                     .arg(addr)
                     .arg(report->why.isEmpty()
                              ? QStringLiteral("the controller is no longer connected")
                              : report->why));
    } else if (!notWritten.isEmpty()) {
        printErr(QStringLiteral("address %1: the controller did not take these values:\n%2")
                     .arg(addr)
                     .arg(notWritten.join(QLatin1Char('\n'))));
    }
    return report->complete && notWritten.isEmpty() ? Done : Failed;
}

} // namespace CliCommands
