#include "program/programcurve.h"

#include "program/programwalk.h"
#include "ui/canvas.h"

#include <QColor>
#include <algorithm>
#include <array>

namespace {

using Program = RampSoakProgram;
using namespace ProgramWalk;

constexpr int Width = ProgramCurveSize.width();
constexpr int Height = ProgramCurveSize.height();
constexpr int PenWidth = 2;
// A line starting this far right cannot reach the picture, even with the
// corner of its square end.
constexpr int Beyond = Width + PenWidth;

const QColor Green(0, 128, 0);
const QColor Blue(0, 0, 255);
const QColor Navy(0, 0, 128);
const QColor Olive(128, 128, 0);

// Integer scaling: by a whole factor when the range fits `room`, else divided
// by the smallest whole divisor that makes it fit.
struct Scale
{
    qint64 times = 1;
    qint64 divisor = 1;

    Scale(qint64 range, qint64 room)
    {
        if (room < range)
            divisor = (range + room - 1) / room;
        else
            times = room / range;
    }
    qint64 operator()(qint64 v) const { return v * times / divisor; }
};

// Draws the lines of the walk from point to point. A run of lines that stay
// on one column in one colour is drawn as the single line its pieces cover,
// and lines that start right of the picture are left out: a program with
// many repetitions of short steps then costs a few hundred lines, and the
// picture is the same as with every line drawn.
class Pen
{
public:
    Pen(Canvas &canvas, QPoint at)
        : m_canvas(canvas)
        , m_at(at)
    { }

    QPoint at() const { return m_at; }
    // Goes to `to` without drawing; only for a point right of the picture.
    void moveTo(QPoint to)
    {
        flush();
        m_at = to;
    }

    void lineTo(QPoint to, const QColor &colour)
    {
        if (m_at.x() >= Beyond) {
            m_at = to;
            return;
        }
        if (to.x() != m_at.x()) {
            flush();
            m_canvas.line(m_at, to, colour, PenWidth);
        } else {
            if (m_run && m_runColour != colour)
                flush();
            if (!m_run) {
                m_run = true;
                m_runColour = colour;
                m_low = m_high = m_at.y();
            }
            m_low = std::min(m_low, to.y());
            m_high = std::max(m_high, to.y());
        }
        m_at = to;
    }

    void flush()
    {
        if (m_run)
            m_canvas.line({m_at.x(), m_low}, {m_at.x(), m_high}, m_runColour, PenWidth);
        m_run = false;
    }

private:
    Canvas &m_canvas;
    QPoint m_at;
    bool m_run = false;
    QColor m_runColour;
    int m_low = 0;
    int m_high = 0;
};

} // namespace

bool DrawProgramCurve(const Program &program, Canvas &canvas)
{
    const int start = program.StartPattern;
    if (!IsPattern(start))
        return false;
    const Chain chain = WalkChain(program);
    if (chain.total == 0)
        return false;

    // Set values from the largest (2 pixels below the top) down to the
    // smallest, 90 pixels further down; time from 0 to the chain's whole time
    // across the width.
    const Scale vertical(std::max<qint64>(chain.largest - chain.smallest, 1), Height - 5);
    const Scale horizontal(chain.total, Width);
    const auto y = [&](qint64 value) { return int(vertical(chain.largest - value) + 2); };
    // The walk below passes at most 620 patterns, all of the chain, and each
    // adds at most the chain's whole time: no x exceeds 620 * 620.
    const auto x = [&](qint64 time) { return int(horizontal(time)); };

    // What one pass through each pattern draws: its steps with time, each
    // adding its time and going to its set value.
    struct Drawn
    {
        int count = 0;
        std::array<qint64, Program::StepsPerPattern> time {};
        std::array<int, Program::StepsPerPattern> y {};
        qint64 sum = 0;
    };
    std::array<Drawn, Program::Patterns> passes;
    for (int p = 0; p < Program::Patterns; ++p) {
        const ProgramWalk::Pass steps = PassOf(program, p);
        Drawn &pass = passes[size_t(p)];
        pass.count = steps.count;
        pass.time = steps.time;
        pass.sum = steps.sum;
        for (int i = 0; i < steps.count; ++i)
            pass.y[size_t(i)] = y(Value(program, p, steps.step[size_t(i)]));
    }

    if (canvas.size() != ProgramCurveSize)
        canvas.resize(ProgramCurveSize);
    canvas.fillRect(QRect(QPoint(0, 0), ProgramCurveSize), Qt::black);
    canvas.fillRect(QRect(QPoint(1, 1), ProgramCurveSize - QSize(2, 2)), Qt::white);

    QColor colour = start == chain.end ? Blue : Green;
    Pen pen(canvas, QPoint(0, y(Value(program, start, 0))));
    bool visited[Program::Patterns] = {};
    qint64 time = 0; // pen.at().x() is always x(time)
    bool ended = false;
    int p = start;
    for (int n = 0; n < Width; ++n) {
        visited[p] = true;
        const Drawn &pass = passes[size_t(p)];
        const qint64 runs = Runs(program, p);
        for (qint64 r = 0; pass.sum > 0 && r < runs; ++r) {
            if (pen.at().x() >= Beyond) {
                // Nothing more can show: straight to where the pattern ends.
                time += (runs - r) * pass.sum;
                pen.moveTo(QPoint(x(time), pass.y[size_t(pass.count - 1)]));
                break;
            }
            const int column = pen.at().x();
            for (int i = 0; i < pass.count; ++i) {
                time += pass.time[size_t(i)];
                pen.lineTo(QPoint(x(time), pass.y[size_t(i)]), colour);
            }
            // A pass that kept to one column is repeated by the passes after
            // it that keep to it too: they cover nothing new and end where it
            // ended. Only a divided scale holds a column for more than one
            // minute.
            if (pen.at().x() == column && horizontal.times == 1) {
                const qint64 columnEnd = (column + 1) * horizontal.divisor; // next column's time
                const qint64 same = std::min((columnEnd - 1 - time) / pass.sum, runs - r - 1);
                time += same * pass.sum;
                r += same;
            }
        }
        const int next = Next(program, p);
        if (next == Program::ProgramEnd) {
            ended = true;
            break;
        }
        if (visited[next])
            colour = Navy;
        else if (next == chain.end)
            colour = Blue;
        if (pen.at().x() >= Width)
            break;
        p = next;
    }
    pen.flush();
    if (ended)
        canvas.line(pen.at(), QPoint(Width - 2, pen.at().y()), Olive, PenWidth);
    else if (chain.loopHoldsNoTime(program) && pen.at().x() < Width - 2)
        // Round a loop that holds no time for ever: the value is held.
        canvas.line(pen.at(), QPoint(Width - 2, pen.at().y()), Navy, PenWidth);
    return true;
}
