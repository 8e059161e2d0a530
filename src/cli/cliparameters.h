#pragma once

#include "cli/commands.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

class CliTalk;
struct SetupControlState;
struct SetupViewModel;

// The parameters as the user names them (by code or register) and as `get`
// and `set` print them.
namespace CliCommands {

// Where a parameter the user names is: its setup view field, or a register
// the view does not show.
struct ParameterRef
{
    QString name; // as the user wrote it
    int reg = 0;
    int field = -1; // SetupField, -1 for none
};

// "0x4701", "4701h" or "4701"; -1 for none of these.
int parseRegister(const QString &text);

// The rows that carry a code or write a register; the row shown on this
// controller first. Bad usage for a name that is neither.
ParameterRef findParameter(const QString &name, const SetupViewModel &model);

// A field's value as the setup view shows it.
QString fieldText(const SetupControlState &c, bool list);

// What `get` and `set` print for a parameter.
QString valueOf(CliTalk &t, const ParameterRef &ref);

QJsonObject jsonOf(const ParameterRef &ref, const QString &value);

// A parameter as `get` and `set` print it: a line, or an entry of the JSON
// array printed at the end.
void printParameter(const Context &c, QJsonArray &json, const ParameterRef &ref,
                    const QString &value);

} // namespace CliCommands
