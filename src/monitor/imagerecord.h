#pragma once

#include "monitor/monitorstate.h"

#include <QString>
#include <array>
#include <optional>

// Which blocks of the selected controller's image have been read since the
// image was last marked (another controller selected, a parameter file
// closed, a write, a change at the controller's front). A block counts by
// when its request left, as a number that grows with every request: a reply
// to a request sent before the mark counts for nothing. The image is whole
// when every block has been read since the mark: the status read (decimal
// point, firmware), the process values (set value, output levels) and the
// eight setup blocks.
class ImageRecord
{
public:
    // The steps whose blocks make the image, in the order they are read.
    static constexpr std::array<int, 10> Blocks {
        int(PollStep::Status), int(PollStep::ProcessValues), 6, 7, 8, 9, 10, 11, 12, 13};

    static bool holds(int step)
    {
        return step == int(PollStep::Status) || step == int(PollStep::ProcessValues) ||
            (step >= int(PollStep::FirstSetup) && step <= int(PollStep::LastSetup));
    }
    // Everything read so far counts for nothing: it is read again.
    void mark(quint64 now) { m_mark = now; }
    // The block of `step` was read by the request sent at `sent`.
    void read(int step, quint64 sent)
    {
        if (holds(step) && sent > m_mark)
            m_readAt[size_t(step)] = sent;
        if (holds(step))
            m_failures[size_t(step)] = 0;
    }
    // A read of the block failed; how many times in a row.
    int failed(int step) { return holds(step) ? ++m_failures[size_t(step)] : 0; }
    bool fresh(int step) const { return m_readAt[size_t(step)] > m_mark; }
    // The first setup step not read since the mark; none when all are.
    std::optional<int> nextSetupStep() const
    {
        for (int step = int(PollStep::FirstSetup); step <= int(PollStep::LastSetup); ++step)
            if (!fresh(step))
                return step;
        return std::nullopt;
    }
    // The first block not read since the mark; none when the image is whole.
    std::optional<int> missing() const
    {
        for (int step : Blocks)
            if (!fresh(step))
                return step;
        return std::nullopt;
    }
    bool whole() const { return !missing(); }

private:
    quint64 m_mark = 0;
    std::array<quint64, int(PollStep::LastSetup) + 1> m_readAt {};
    std::array<int, int(PollStep::LastSetup) + 1> m_failures {};
};
