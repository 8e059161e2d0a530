#include "cli/cliparameters.h"

#include "cli/cliline.h"
#include "cli/clishared.h"
#include "cli/clitalk.h"
#include "link/valueformat.h"
#include "setup/registermap.h"
#include "setup/setupcompare.h"
#include "setup/setupcontrols.h"
#include "setup/setupview.h"
#include "setup/writeall.h"

#include <QRegularExpression>

#include <algorithm>

namespace CliCommands {

int parseRegister(const QString &text)
{
    static const QRegularExpression hex(
        QStringLiteral("^(?:0x([0-9a-f]{1,4})|([0-9a-f]{1,4})h|([0-9a-f]{4}))$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = hex.match(text);
    if (!m.hasMatch())
        return -1;
    for (int i = 1; i <= 3; ++i)
        if (!m.captured(i).isEmpty())
            return m.captured(i).toInt(nullptr, 16);
    return -1;
}

ParameterRef findParameter(const QString &name, const SetupViewModel &model)
{
    ParameterRef ref;
    ref.name = name;
    const int reg = parseRegister(name);
    QList<const SetupRow *> rows;
    for (const SetupRow &row : SetupRows()) {
        const bool byCode = reg < 0 && *row.code &&
            QString::fromLatin1(row.code).compare(name, Qt::CaseInsensitive) == 0;
        if (byCode || (reg >= 0 && row.reg == reg))
            rows << &row;
    }
    std::stable_sort(rows.begin(), rows.end(), [&](const SetupRow *a, const SetupRow *b) {
        return model.at(a->field).visible && !model.at(b->field).visible;
    });
    if (!rows.isEmpty()) {
        ref.field = int(rows.first()->field);
        ref.reg = rows.first()->reg;
        return ref;
    }
    if (reg < 0)
        throw CliUsageError {QStringLiteral("'%1' is neither a parameter code such as P1-3 nor "
                                            "a register number such as 0x4701")
                                 .arg(name)};
    if (!FindRegister(reg))
        throw CliUsageError {QStringLiteral("the controller has no register %1").arg(hex4(reg))};
    ref.reg = reg;
    return ref;
}

QString fieldText(const SetupControlState &c, bool list)
{
    if (!list)
        return c.text.trimmed();
    return c.position >= 0 && c.position < c.items.size() ? c.items.at(c.position) : QString();
}

QString valueOf(CliTalk &t, const ParameterRef &ref)
{
    const SetupViewModel &model = t.session().setupView().model();
    if (ref.field >= 0) {
        const SetupField f = SetupField(ref.field);
        return fieldText(model.at(f), RowOf(f).list);
    }
    const ParameterImage &image = t.engine().image();
    const int entry = ParameterImage::entryOfRegister(ref.reg);
    if (entry >= 0)
        return SetupCompare::EntryText(image, entry);
    if (ref.reg == Reg::ProcessValue)
        return t.engine().view().at(t.engine().state().SelectedDevice).pvText.trimmed();
    if (ref.reg == Reg::Firmware)
        return FirmwareVersionText(image[ParameterImage::FirmwareMajorEntry],
                                   image[ParameterImage::FirmwareMinorEntry]);
    throw CliUsageError {
        QStringLiteral("%1 is not a parameter the program reads").arg(WriteAll::describe(ref.reg))};
}

QJsonObject jsonOf(const ParameterRef &ref, const QString &value)
{
    const RegisterInfo *info = FindRegister(ref.reg);
    QJsonObject o;
    o[QStringLiteral("parameter")] = ref.name;
    o[QStringLiteral("code")] = info ? info->code : QString();
    o[QStringLiteral("register")] = hex4(ref.reg);
    o[QStringLiteral("name")] = WriteAll::describe(ref.reg);
    o[QStringLiteral("value")] = value;
    return o;
}

void printParameter(const Context &c, QJsonArray &json, const ParameterRef &ref,
                    const QString &value)
{
    if (c.json)
        json.append(jsonOf(ref, value));
    else
        printOut(QStringLiteral("%1: %2\n").arg(WriteAll::describe(ref.reg), value));
}

} // namespace CliCommands
