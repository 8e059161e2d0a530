#pragma once

#include <QString>

#include <optional>

class SimLine;

// The simulator's command language, one command a line, each answered with
// one line: "ok" (for get: "ok" and the value in decimal) or "error: ...".
//
//   set ADDR REG VALUE      sets a register as the front panel would
//   get ADDR REG            reads a register
//   fault ADDR none|silent|badcrc|wrongaddr|split|delay MS|exception CODE
//   pvstatus ADDR CODE|off  shows status code 0..15 in the process value
//   event ADDR 1|2 on|off   switches an event input
//   move OLD NEW            gives the (first) controller at OLD the address
//                           NEW, 1..247; a taken NEW makes two controllers
//                           share it, and their replies collide
//   unplug | replug         takes the whole line away and back
//   quit                    ends the simulator
//
// REG and VALUE are hexadecimal with 0x, or decimal (VALUE may be negative).
class SimCommands
{
public:
    explicit SimCommands(SimLine &line)
        : m_line(line)
    { }

    // Runs one command line; the answer has no line end. Blank lines and
    // lines starting with '#' give an empty answer (nothing to print).
    QString execute(const QString &commandLine);
    bool quitRequested() const { return m_quit; }

    // A number as the commands take it: 0x... hexadecimal or decimal.
    static std::optional<long> parseNumber(const QString &text);

private:
    SimLine &m_line;
    bool m_quit = false;
};
