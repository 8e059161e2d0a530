#pragma once

#include "cli/commands.h"
#include "setup/parameterimage.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QString>

class CliTalk;
struct RampSoakProgram;
struct SetupControlState;
struct SetupViewModel;
class SetupViewLogic;

// The parameters as the user names them (by code or register), the values
// the registers can hold, and how `get` and `set` print them.
namespace CliCommands {

// Where a parameter the user names is: its setup view field, or a register
// the view does not show (a ramp/soak program register among them).
struct ParameterRef
{
    QString name; // as the user wrote it
    int reg = 0;
    int field = -1; // SetupField, -1 for none
    bool program() const;
};

// A register as messages name it: "P1-7 I Offset (0x470F)", with the code
// of the register map where the view prints it in a label of its own.
QString nameOf(int reg);

// "0x4701", "4701h" or "4701"; -1 for none of these.
int parseRegister(const QString &text);

// Every register a name stands for: one, or the eight or sixty-four
// registers of a program code (P3-21: the last steps of patterns 0 to 7).
// A code's row shown on this controller comes first. Bad usage for a name
// that is neither a code nor a register.
QList<ParameterRef> findParameters(const QString &name, const SetupViewModel &model);
// The one register a name stands for; bad usage when it names several.
ParameterRef findParameter(const QString &name, const SetupViewModel &model);

// A field's value as the setup view shows it.
QString fieldText(const SetupControlState &c, bool list);

// What `get` and `set` print for a parameter; `program` holds the program
// registers' values when the command read them.
QString valueOf(CliTalk &t, const ParameterRef &ref, const QMap<int, int> &program = {});

// The controller's ramp/soak program, register by register; false (said)
// when the read does not finish.
bool readProgram(CliTalk &t, int addr, QMap<int, int> &values);
// The whole program (progress on standard error when asked); false (said)
// when the read does not finish.
bool readWholeProgram(CliTalk &t, int addr, RampSoakProgram &program, bool showProgress);

// The range of an entry: the lowest and highest word the register holds at
// its sign, with `decimals` implied decimals.
struct EntryRange
{
    qint64 low = 0;
    qint64 high = 65535;
    int decimals = 0;
    QString text() const; // "-3276.7 to 3276.7"
};
EntryRange rangeOf(int reg, int decimals);

// A typed value checked against the register: the word to write, or
// CliFailure naming the parameter and what it holds (a value out of
// range, one with more decimals than the register keeps, not a number).
int checkEntry(const ParameterRef &ref, const QString &value, int decimals);

// The value as a number, for JSON (null when it is none).
QJsonValue numberOf(const QString &text);

// A list's value in JSON is its position (-1: none), its text the item.
QJsonObject jsonOf(const ParameterRef &ref, const QString &value, int position = -1);

// A parameter as `get` and `set` print it: a line, or an entry of the JSON
// array printed at the end.
void printParameter(const Context &c, QJsonArray &json, const ParameterRef &ref,
                    const QString &value, int position = -1);

// A parameter file as the command line reads it ('-': standard input),
// refused with CliFailure naming what is wrong with it.
struct ParameterFileRead
{
    QString name; // as messages name it
    ParameterImage image;
    QByteArray bytes;
};
ParameterFileRead readParameterFile(const QString &arg);

} // namespace CliCommands
