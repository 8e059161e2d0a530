#include "program/programwalk.h"

#include <algorithm>

namespace ProgramWalk {

int LastStep(const Program &program, int pattern)
{
    return std::clamp(program.LastStep[size_t(pattern)], 0, Program::StepsPerPattern - 1);
}

qint64 Runs(const Program &program, int pattern)
{
    return std::clamp<qint64>(qint64(program.AdditionalCycles[size_t(pattern)]) + 1, 0, 0x10000);
}

qint64 Time(const Program &program, int pattern, int step)
{
    return std::clamp<qint64>(program.StepTime[size_t(Program::index(pattern, step))], 0, 0xFFFF);
}

qint64 Value(const Program &program, int pattern, int step)
{
    return program.SetValue[size_t(Program::index(pattern, step))];
}

int Next(const Program &program, int pattern)
{
    const qint32 next = program.NextPattern[size_t(pattern)];
    return IsPattern(next) ? next : Program::ProgramEnd;
}

QList<int> Chain::loop() const
{
    if (!loops())
        return {};
    return patterns.mid(patterns.indexOf(end));
}

qint64 Chain::leadIn(const Program &program) const
{
    qint64 time = 0;
    for (int p : patterns) {
        if (p == end)
            break;
        time += PassOf(program, p).sum * Runs(program, p);
    }
    return time;
}

Chain WalkChain(const Program &program)
{
    Chain chain;
    const int start = program.StartPattern;
    if (!IsPattern(start))
        return chain;
    chain.largest = chain.smallest = Value(program, start, 0);
    bool visited[Program::Patterns] = {};
    int p = start;
    while (IsPattern(p) && !visited[p]) {
        visited[p] = true;
        chain.patterns.append(p);
        qint64 sum = 0;
        for (int s = 0; s <= LastStep(program, p); ++s) {
            chain.largest = std::max(chain.largest, Value(program, p, s));
            chain.smallest = std::min(chain.smallest, Value(program, p, s));
            sum += Time(program, p, s);
        }
        chain.total += sum * Runs(program, p);
        p = Next(program, p);
    }
    chain.end = p;
    return chain;
}

Pass PassOf(const Program &program, int pattern)
{
    Pass pass;
    for (int s = 0; s <= LastStep(program, pattern); ++s) {
        const qint64 t = Time(program, pattern, s);
        if (t == 0)
            continue;
        pass.step[size_t(pass.count)] = s;
        pass.time[size_t(pass.count)] = t;
        pass.sum += t;
        ++pass.count;
    }
    return pass;
}

Steps::Steps(const Program &program, std::optional<qint64> startValue, Repeats repeats)
    : m_program(program)
    , m_startValue(startValue)
    , m_repeats(repeats)
    , m_pattern(program.StartPattern)
    , m_value(startValue.value_or(0))
{
    for (int p = 0; p < Program::Patterns; ++p)
        m_passes[size_t(p)] = PassOf(program, p);
    m_loopStart = WalkChain(program).end;
    if (IsPattern(m_pattern))
        m_visited[m_pattern] = true;
}

bool Steps::next(Segment &out)
{
    while (IsPattern(m_pattern)) {
        const Pass &pass = m_passes[size_t(m_pattern)];
        if (pass.count > 0 && m_cycle < Runs(m_program, m_pattern)) {
            const int s = pass.step[size_t(m_index)];
            const qint64 to = Value(m_program, m_pattern, s);
            if (m_first)
                m_value = m_startValue.value_or(to);
            m_first = false;
            out.pattern = m_pattern;
            out.step = s;
            out.cycle = m_cycle;
            out.lap = m_lap;
            out.start = m_time;
            out.end = m_time + pass.time[size_t(m_index)];
            out.from = m_value;
            out.to = to;
            m_time = out.end;
            m_value = to;
            m_idle = 0;
            if (++m_index == pass.count) {
                m_index = 0;
                ++m_cycle;
                const qint64 runs = Runs(m_program, m_pattern);
                if (m_repeats == Repeats::FirstTwo && m_cycle == 2 && runs > 2) {
                    // The runs after the second are the second again.
                    m_time += (runs - 2) * pass.sum;
                    m_cycle = runs;
                }
            }
            return true;
        }
        // The pattern is done: on to the next one.
        if (++m_idle > Program::Patterns) {
            m_holding = true; // round a loop that holds no time, for ever
            break;
        }
        const int next = Next(m_program, m_pattern);
        if (IsPattern(next)) {
            if (next == m_loopStart && m_visited[next])
                ++m_lap;
            m_visited[next] = true;
        }
        m_pattern = next;
        m_cycle = 0;
        m_index = 0;
    }
    m_pattern = Program::ProgramEnd;
    return false;
}

} // namespace ProgramWalk
