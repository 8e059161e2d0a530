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

QString nameOf(int reg)
{
    const QString name = WriteAll::describe(reg);
    const RegisterInfo *info = FindRegister(reg);
    if (!info || info->code.isEmpty() || name.startsWith(info->code))
        return name;
    return info->code + QLatin1Char(' ') + name;
}

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

bool ParameterRef::program() const
{
    return reg >= ProgramReg::First && reg <= ProgramReg::Last;
}

QList<ParameterRef> findParameters(const QString &name, const SetupViewModel &model)
{
    const int reg = parseRegister(name);
    QList<const SetupRow *> rows;
    for (const SetupRow &row : SetupRows()) {
        const bool byCode = reg < 0 && *row.code &&
            QString::fromLatin1(row.code).compare(name, Qt::CaseInsensitive) == 0;
        if (byCode || (reg >= 0 && row.reg == reg))
            rows << &row;
    }
    // The codes the view prints in a label of its own (P1-7 or P1-8, P1-11
    // or P1-12), and those of the program registers, are the register
    // map's.
    if (rows.isEmpty() && reg < 0) {
        const int alias = name.compare(QLatin1String("P1-12"), Qt::CaseInsensitive) == 0
            ? Reg::Output1Period
            : -1;
        QList<ParameterRef> refs;
        for (const RegisterInfo &info : RegisterMap()) {
            if (info.address != alias && info.code.compare(name, Qt::CaseInsensitive) != 0)
                continue;
            ParameterRef ref;
            ref.name = name;
            ref.reg = info.address;
            for (const SetupRow &row : SetupRows())
                if (row.reg == info.address && ref.field < 0)
                    ref.field = int(row.field);
            refs << ref;
        }
        if (!refs.isEmpty())
            return refs;
    }
    ParameterRef ref;
    ref.name = name;
    std::stable_sort(rows.begin(), rows.end(), [&](const SetupRow *a, const SetupRow *b) {
        return model.at(a->field).visible && !model.at(b->field).visible;
    });
    if (!rows.isEmpty()) {
        ref.field = int(rows.first()->field);
        ref.reg = rows.first()->reg;
        return {ref};
    }
    if (reg < 0)
        throw CliUsageError {QStringLiteral("'%1' is neither a parameter code such as P1-3 nor "
                                            "a register number such as 0x4701 "
                                            "('duva-cli params' lists them)")
                                 .arg(name)};
    if (!FindRegister(reg))
        throw CliUsageError {QStringLiteral("the controller has no register %1").arg(hex4(reg))};
    ref.reg = reg;
    return {ref};
}

ParameterRef findParameter(const QString &name, const SetupViewModel &model)
{
    const QList<ParameterRef> refs = findParameters(name, model);
    if (refs.size() > 1)
        throw CliUsageError {QStringLiteral("%1 names %2 registers (%3 to %4): name one by its "
                                            "register")
                                 .arg(name)
                                 .arg(refs.size())
                                 .arg(hex4(refs.first().reg), hex4(refs.last().reg))};
    return refs.first();
}

QString fieldText(const SetupControlState &c, bool list)
{
    if (!list)
        return c.text.trimmed();
    return c.position >= 0 && c.position < c.items.size() ? c.items.at(c.position) : QString();
}

QString valueOf(CliTalk &t, const ParameterRef &ref, const QMap<int, int> &program)
{
    if (ref.program() && program.contains(ref.reg)) {
        const int v = program.value(ref.reg);
        const RegisterInfo *info = FindRegister(ref.reg);
        return info && info->scale == ScaleKind::SignedTenths ? TenthsFormat(v, true)
                                                              : QString::number(v);
    }
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
        QStringLiteral("%1 is not a parameter the program reads").arg(nameOf(ref.reg))};
}

EntryRange rangeOf(int reg, int decimals)
{
    EntryRange r;
    r.decimals = decimals;
    const RegisterInfo *info = FindRegister(reg);
    const ScaleKind scale = info ? info->scale : ScaleKind::Integer;
    // The formatters read a word above 0x8000 as negative and 0x8000 itself
    // as +32768: a signed register holds -32767 to 32767 as written.
    if (scale == ScaleKind::Scaled || scale == ScaleKind::Tenths ||
        scale == ScaleKind::SignedTenths || scale == ScaleKind::SignedInteger) {
        r.low = -32767;
        r.high = 32767;
    }
    return r;
}

QString EntryRange::text() const
{
    auto shown = [this](qint64 v) {
        if (decimals == 0)
            return QString::number(v);
        qint64 scale = 1;
        for (int i = 0; i < decimals; ++i)
            scale *= 10;
        const QString sign = v < 0 ? QStringLiteral("-") : QString();
        const qint64 a = v < 0 ? -v : v;
        return sign + QString::number(a / scale) + QLatin1Char('.') +
            QString::number(a % scale).rightJustified(decimals, QLatin1Char('0'));
    };
    return shown(low) + QStringLiteral(" to ") + shown(high);
}

int checkEntry(const ParameterRef &ref, const QString &value, int decimals)
{
    static const QRegularExpression form(QStringLiteral("^(-?)([0-9]*)(?:\\.([0-9]*))?$"));
    const QString text = value.trimmed();
    const QRegularExpressionMatch m = form.match(text);
    const EntryRange range = rangeOf(ref.reg, decimals);
    const QString name = nameOf(ref.reg);
    if (!m.hasMatch() || (m.captured(2).isEmpty() && m.captured(3).isEmpty()))
        throw CliFailure {QStringLiteral("%1: '%2' is not a number (it holds %3)")
                              .arg(name, value, range.text())};
    const QString whole = m.captured(2);
    QString fraction = m.captured(3);
    // A value the register would keep cut is refused, not rounded.
    while (fraction.size() > decimals && fraction.endsWith(QLatin1Char('0')))
        fraction.chop(1);
    if (fraction.size() > decimals)
        throw CliFailure {
            QStringLiteral("%1: '%2' has more decimals than the register keeps (%3); it would "
                           "be written as %4")
                .arg(name, value)
                .arg(decimals)
                .arg(m.captured(1) + (whole.isEmpty() ? QStringLiteral("0") : whole) +
                     (decimals > 0 ? QLatin1Char('.') + fraction.left(decimals) : QString()))};
    qint64 n = 0;
    for (const QChar ch : whole + fraction.leftJustified(decimals, QLatin1Char('0'))) {
        n = n * 10 + (ch.unicode() - '0');
        if (n > 1000000)
            break;
    }
    if (!m.captured(1).isEmpty())
        n = -n;
    if (n < range.low || n > range.high)
        throw CliFailure {QStringLiteral("%1: %2 is out of range: the register holds %3")
                              .arg(name, value, range.text())};
    return int(n) & 0xFFFF;
}

QJsonValue numberOf(const QString &text)
{
    bool ok = false;
    const double v = text.trimmed().remove(QLatin1Char(' ')).toDouble(&ok);
    return ok ? QJsonValue(v) : QJsonValue();
}

QJsonObject jsonOf(const ParameterRef &ref, const QString &value, int position)
{
    const RegisterInfo *info = FindRegister(ref.reg);
    QJsonObject o;
    o[QStringLiteral("code")] = info ? info->code : QString();
    o[QStringLiteral("register")] = hex4(ref.reg);
    o[QStringLiteral("name")] = nameOf(ref.reg);
    const bool list = ref.field >= 0 && RowOf(SetupField(ref.field)).list;
    // A list's value is its item's position; its text is the item.
    o[QStringLiteral("value")] =
        list ? (position >= 0 ? QJsonValue(position) : QJsonValue()) : numberOf(value);
    o[QStringLiteral("text")] = value;
    return o;
}

void printParameter(const Context &c, QJsonArray &json, const ParameterRef &ref,
                    const QString &value, int position)
{
    if (c.json)
        json.append(jsonOf(ref, value, position));
    else
        printOut(QStringLiteral("%1: %2\n").arg(nameOf(ref.reg), value));
}

} // namespace CliCommands
