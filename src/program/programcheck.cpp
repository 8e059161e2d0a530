#include "program/programcheck.h"

#include "link/valueformat.h"
#include "program/programtext.h"
#include "program/programwalk.h"
#include "setup/parameterimage.h"
#include "setup/registermap.h"

#include <QStringList>
#include <cmath>
#include <map>

using namespace ProgramWalk;

namespace {

const QString Arrow = QStringLiteral(" \u2192 ");

QString Where(int pattern, int step)
{
    return step < 0 ? QStringLiteral("Pattern %1").arg(pattern)
                    : QStringLiteral("Pattern %1, step %2").arg(pattern).arg(step);
}

QString RangeValueText(int word, const ControllerRange &range)
{
    return ScaledFormat(word, range.decimals, range.linearInput).trimmed();
}

} // namespace

ControllerRange RangeOfSetup(const ParameterImage &image)
{
    return {image.at(ParameterImage::entryOfRegister(Reg::RangeLow)),
            image.at(ParameterImage::entryOfRegister(Reg::RangeHigh)),
            image.at(ParameterImage::DecimalPointEntry),
            image.at(ParameterImage::InputTypeEntry) > 12};
}

int RegisterUnitsPerUnit(int decimals, bool linearInput)
{
    const int d = qBound(0, decimals, MaxDecimalPoint);
    if (!linearInput && d <= 1)
        return 10;
    int units = 1;
    for (int i = 0; i < d; ++i)
        units *= 10;
    return units;
}

QString DurationText(qint64 minutes)
{
    const qint64 days = minutes / (24 * 60);
    const qint64 rest = minutes % (24 * 60);
    const QString hhmm = QStringLiteral("%1:%2")
                             .arg(rest / 60, 2, 10, QLatin1Char('0'))
                             .arg(rest % 60, 2, 10, QLatin1Char('0'));
    return days > 0 ? QStringLiteral("%1 d %2").arg(days).arg(hhmm) : hhmm;
}

QString RampText(double tenthsPerMinute)
{
    const double units = tenthsPerMinute / 10.0;
    return (units < 0 ? QStringLiteral("-") : QStringLiteral("+")) +
        QString::number(std::abs(units), 'f', 2) + QStringLiteral("/min");
}

int ProgramCheck::errorCount() const
{
    int n = 0;
    for (const CheckFinding &f : findings)
        n += f.level == CheckFinding::Level::Error;
    return n;
}

QString ProgramCheck::errorsText() const
{
    QStringList lines;
    for (const CheckFinding &f : findings)
        if (f.level == CheckFinding::Level::Error)
            lines << f.text;
    return lines.join(QLatin1Char('\n'));
}

namespace {

// Every value the controller refuses to take (it answers the write with an
// exception and keeps what it held), named by pattern, step and field.
QList<CheckFinding> RefusedValues(const RampSoakProgram &program)
{
    using P = RampSoakProgram;
    QList<CheckFinding> errors;
    const auto outside = [&](int pattern, int step, const QString &field, qint64 value,
                             const QString &allowed, const char *code) {
        errors.append({CheckFinding::Level::Error, pattern, step,
                       QStringLiteral("%1: %2 %3 is outside %4 (%5): the controller refuses it")
                           .arg(Where(pattern, step), field)
                           .arg(value)
                           .arg(allowed, QLatin1String(code))});
    };
    for (int p = 0; p < P::Patterns; ++p) {
        const qint32 last = program.LastStep[size_t(p)];
        if (last < 0 || last >= P::StepsPerPattern)
            outside(p, -1, QStringLiteral("last step"), last, QStringLiteral("0..7"), "P3-21");
        const qint32 cycles = program.AdditionalCycles[size_t(p)];
        if (cycles < 0 || cycles > P::MaxCycles)
            outside(p, -1, QStringLiteral("additional cycles"), cycles, QStringLiteral("0..99"),
                    "P3-22");
        const qint32 next = program.NextPattern[size_t(p)];
        if (next < 0 || next > P::ProgramEnd)
            outside(p, -1, QStringLiteral("next pattern"), next,
                    QStringLiteral("0..7 and 8 (Prog End)"), "P3-23");
        for (int s = 0; s < P::StepsPerPattern; ++s) {
            const qint32 value = program.SetValue[size_t(P::index(p, s))];
            if (value < -32768 || value > 32767)
                errors.append({CheckFinding::Level::Error, p, s,
                               QStringLiteral("%1: set value %2 does not fit a register "
                                              "(-3276.8..3276.7, P3-19)")
                                   .arg(Where(p, s), SetValueText(value))});
            const qint32 time = program.StepTime[size_t(P::index(p, s))];
            if (time < 0 || time > P::MaxEditorMinutes)
                outside(p, s, QStringLiteral("time"), time, QStringLiteral("0..900 minutes"),
                        "P3-20");
        }
    }
    return errors;
}

} // namespace

ProgramCheck CheckProgram(const RampSoakProgram &program,
                          const std::optional<ControllerRange> &range)
{
    using Level = CheckFinding::Level;
    ProgramCheck check;
    QList<CheckFinding> errors = RefusedValues(program), warnings, ramps;
    const Chain chain = WalkChain(program);
    if (chain.patterns.isEmpty()) {
        check.runText = QStringLiteral("no start pattern");
        errors.prepend({Level::Error, -1, -1,
                        QStringLiteral("The start pattern %1 is not a pattern 0..7 (P2-2): the "
                                       "controller refuses it")
                            .arg(program.StartPattern)});
        check.timeText = QStringLiteral("Run time not known");
        check.findings = errors;
        return check;
    }
    // A refused value leaves the controller's old one in its place: what
    // would then run is not known here.
    const bool knownRun = errors.isEmpty();

    // The run and its time.
    QStringList run;
    for (int i = 0; i < chain.patterns.size(); ++i) {
        const int p = chain.patterns.at(i);
        QString text = i == 0 ? QStringLiteral("pattern %1").arg(p) : QString::number(p);
        if (Runs(program, p) > 1)
            text += QStringLiteral(" \u00d7%1").arg(Runs(program, p));
        run << text;
    }
    run << (chain.loops() ? QString::number(chain.end) : QStringLiteral("end"));
    check.runText = run.join(Arrow);
    check.endless = chain.loops();
    check.minutes = chain.total;
    if (!knownRun) {
        check.timeText = QStringLiteral("Run time not known: the controller refuses the values "
                                        "named as errors and keeps what it held");
    } else if (chain.loops()) {
        QStringList loop;
        for (int p : chain.loop())
            loop << QString::number(p);
        loop << QString::number(chain.end);
        const qint64 leadIn = chain.leadIn(program);
        if (chain.loopHoldsNoTime(program)) {
            Steps walk(program, {}, Steps::Repeats::FirstTwo);
            Segment seg;
            while (walk.next(seg)) { }
            check.timeText =
                QStringLiteral("Runs without end: pattern %1 holds no time: the set value stays "
                               "at %2 from %3")
                    .arg(loop.join(Arrow), SetValueText(int(walk.value())), DurationText(leadIn));
        } else {
            check.timeText =
                QStringLiteral("Runs without end: pattern %1 (every %2%3)")
                    .arg(loop.join(Arrow), DurationText(chain.total - leadIn),
                         leadIn > 0 ? QStringLiteral(", after %1").arg(DurationText(leadIn))
                                    : QString());
        }
    } else {
        check.timeText = QStringLiteral("Total time %1").arg(DurationText(chain.total));
    }

    if (chain.total == 0)
        warnings.append({Level::Warning, -1, -1, QStringLiteral("The run holds no time")});
    bool reached[RampSoakProgram::Patterns] = {};
    for (int p : chain.patterns)
        reached[p] = true;
    for (int p : chain.patterns) {
        const int last = LastStep(program, p);
        for (int s = 0; s < RampSoakProgram::StepsPerPattern; ++s) {
            const qint32 value = program.SetValue[size_t(RampSoakProgram::index(p, s))];
            const qint32 time = program.StepTime[size_t(RampSoakProgram::index(p, s))];
            if (s > last) {
                if (value != 0 || time != 0)
                    warnings.append({Level::Warning, p, s,
                                     QStringLiteral("%1 holds %2 for %3 past the last step %4: "
                                                    "it never runs")
                                         .arg(Where(p, s), SetValueText(value), StepTimeText(time))
                                         .arg(last)});
                continue;
            }
            if (time == 0)
                warnings.append({Level::Warning, p, s,
                                 QStringLiteral("%1 has the time 00:00: the step is skipped")
                                     .arg(Where(p, s))});
            if (range) {
                // Both sides in register units times ten: exact integers.
                const int units = RegisterUnitsPerUnit(range->decimals, range->linearInput);
                const qint64 scaled = qint64(value) * units;
                const qint64 low = qint64(qint16(quint16(range->low))) * 10;
                const qint64 high = qint64(qint16(quint16(range->high))) * 10;
                if (scaled < low)
                    errors.append({Level::Error, p, s,
                                   QStringLiteral("%1: set value %2 is below Range Low %3 (P3-4)")
                                       .arg(Where(p, s), SetValueText(value),
                                            RangeValueText(range->low, *range))});
                else if (scaled > high)
                    errors.append({Level::Error, p, s,
                                   QStringLiteral("%1: set value %2 is above Range High %3 (P3-3)")
                                       .arg(Where(p, s), SetValueText(value),
                                            RangeValueText(range->high, *range))});
            }
        }
    }
    QStringList unreached;
    for (int p = 0; p < RampSoakProgram::Patterns; ++p)
        if (!reached[p] && PassOf(program, p).sum > 0)
            unreached << QString::number(p);
    if (!unreached.isEmpty())
        warnings.append(
            {Level::Warning, -1, -1,
             QStringLiteral("%1 %2 %3 never reached from pattern %4")
                 .arg(unreached.size() == 1 ? QStringLiteral("Pattern")
                                            : QStringLiteral("Patterns"),
                      unreached.join(QStringLiteral(", ")),
                      unreached.size() == 1 ? QStringLiteral("is") : QStringLiteral("are"))
                 .arg(program.StartPattern)});

    // The ramps: the steepest of each step over its runs, through the chain
    // and, for a loop, back into it once more.
    struct Ramp
    {
        double rate = 0;
        qint64 from = 0;
        qint64 to = 0;
        qint64 time = 0;
    };
    std::map<int, Ramp> steepest; // by step index
    // Only the first two runs of a repeated pattern differ: the walk passes
    // over the others at once, however many there are.
    Steps steps(program, {}, Steps::Repeats::FirstTwo);
    Segment seg;
    bool first = true;
    while (steps.next(seg) && seg.lap <= 1) {
        const int k = RampSoakProgram::index(seg.pattern, seg.step);
        if (first) {
            first = false;
            ramps.append({Level::Note, seg.pattern, seg.step,
                          QStringLiteral("%1: from the process value at the start to %2 in %3")
                              .arg(Where(seg.pattern, seg.step), SetValueText(int(seg.to)),
                                   StepTimeText(int(seg.end - seg.start)))});
            continue;
        }
        const double rate = double(seg.to - seg.from) / double(seg.end - seg.start);
        auto it = steepest.find(k);
        if (it == steepest.end() || std::abs(rate) > std::abs(it->second.rate))
            steepest[k] = {rate, seg.from, seg.to, seg.end - seg.start};
        if (rate != 0 && std::abs(rate) > std::abs(check.steepest)) {
            check.steepest = rate;
            check.steepestPattern = seg.pattern;
            check.steepestStep = seg.step;
        }
        if (seg.lap == 1)
            break; // the way back into the loop is in
    }
    for (const auto &[k, r] : steepest) {
        const int p = k / RampSoakProgram::StepsPerPattern;
        const int s = k % RampSoakProgram::StepsPerPattern;
        ramps.append({Level::Note, p, s,
                      QStringLiteral("%1: %2 (%3 to %4 in %5)")
                          .arg(Where(p, s), RampText(r.rate), SetValueText(int(r.from)),
                               SetValueText(int(r.to)), StepTimeText(int(r.time)))});
    }
    if (check.steepestPattern >= 0)
        ramps.prepend({Level::Note, check.steepestPattern, check.steepestStep,
                       QStringLiteral("Steepest ramp %1 in pattern %2, step %3")
                           .arg(RampText(check.steepest))
                           .arg(check.steepestPattern)
                           .arg(check.steepestStep)});
    check.findings = errors + warnings + ramps;
    return check;
}
