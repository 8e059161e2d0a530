#include "setup/setupcompare.h"

#include "link/valueformat.h"
#include "setup/enumerations.h"
#include "setup/registermap.h"
#include "setup/setupcontrols.h"
#include "setup/setupview.h"
#include "setup/writeall.h"

namespace SetupCompare {

namespace {

constexpr int InputTypeEntry = ParameterImage::InputTypeEntry;
constexpr int UnitEntry = ParameterImage::UnitEntry;
constexpr int DecimalPointEntry = ParameterImage::DecimalPointEntry;
constexpr int LockEntry = ParameterImage::LockEntry;
constexpr int OnlineConfigWordEntry = ParameterImage::OnlineConfigWordEntry;

QString listText(int reg, int value)
{
    const Enumeration *e = EnumerationFor(reg);
    const QString text = e ? e->textOf(value) : QString();
    return text.isEmpty() ? QString::number(value) : text;
}

// The code and caption the setup view gives the register's row.
std::pair<QString, QString> nameOf(int reg)
{
    const int viewReg = reg == Reg::PidGroup ? Reg::PidGroupWrite
        : reg == Reg::PidTarget              ? Reg::PidTargetWrite
                                             : reg;
    for (const SetupRow &row : SetupRows())
        if (row.reg == viewReg && *row.caption)
            return {QString::fromLatin1(row.code), QString::fromLatin1(row.caption)};
    if (const RegisterInfo *info = FindRegister(reg))
        return {info->code, info->meaning};
    return {};
}

QString registerText(int reg)
{
    return QStringLiteral("0x") +
        QString::number(reg, 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

QList<int> ComparedEntries(const ParameterImage &reference)
{
    QList<int> out;
    for (const RegisterWrite &w : WriteAll::steps(reference)) {
        // 0x4726 carries the word's bit 0, compared with the word itself.
        const int entry = ParameterImage::entryOfRegister(w.reg);
        if (w.reg == Reg::OnlineConfig || entry < ParameterImage::FirstRegisterEntry ||
            entry > ParameterImage::PidTargetEntry || out.contains(entry))
            continue;
        out.append(entry);
    }
    return out;
}

QString EntryText(const ParameterImage &e, int entry)
{
    const int v = e[entry];
    const int decimals = e[DecimalPointEntry];
    const bool linear = IsLinearInput(e[InputTypeEntry]);
    const int reg = ParameterImage::registerOfEntry(entry);
    // The entries the register table's scale does not say all of.
    switch (entry) {
    case 18: // the dead band has a decimal only with the decimal point
        return TenthsFormat(v, decimals != 0);
    case OnlineConfigWordEntry:
        // Bit 0 is the switch; other bits are shown when set.
        return v > 1 ? listText(reg, v & 1) + QStringLiteral(" (%1)").arg(registerText(v).mid(2))
                     : listText(reg, v);
    case LockEntry:
        return listText(reg, v == 2 ? 0x000B : v);
    case UnitEntry:
        return v < 2 ? listText(reg, v) : UnitText(v, e[InputTypeEntry]);
    case DecimalPointEntry:
        if (v > MaxDecimalPoint)
            return QStringLiteral("%1 (out of its range 0 to %2)").arg(v).arg(MaxDecimalPoint);
        break;
    default:
        break;
    }
    const RegisterInfo *info = FindRegister(reg);
    switch (info ? info->scale : ScaleKind::List) {
    case ScaleKind::Scaled:
        return ScaledFormat(v, decimals, linear).trimmed();
    case ScaleKind::Tenths:
        return TenthsFormat(v, true);
    case ScaleKind::UnsignedTenths:
        return SetupViewLogic::UnsignedTenthsFormat(v);
    case ScaleKind::Hundredths:
        return SetupViewLogic::HundredthsFormat(v);
    case ScaleKind::Integer:
        return QString::number(v);
    case ScaleKind::SignedInteger:
        return SignedIntFormat(v);
    default:
        return listText(reg, v);
    }
}

QList<ParameterDifference> Compare(const ParameterImage &first, const ParameterImage &second,
                                   const QList<int> &entries)
{
    QList<ParameterDifference> out;
    for (const int entry : entries) {
        if (entry < 0 || entry >= ParameterImage::Size || first[entry] == second[entry])
            continue;
        ParameterDifference d;
        d.entry = entry;
        d.reg = ParameterImage::registerOfEntry(entry);
        std::tie(d.code, d.caption) = nameOf(d.reg);
        d.first = EntryText(first, entry);
        d.second = EntryText(second, entry);
        out.append(d);
    }
    return out;
}

CompareReport Report(const QString &title, const QString &firstName, const QString &secondName,
                     const QList<ParameterDifference> &differences, int compared, bool verify)
{
    CompareReport r;
    r.title = title;
    if (differences.isEmpty())
        r.summary = verify ? QStringLiteral("Verified: all %1 parameters match").arg(compared)
                           : QStringLiteral("Identical");
    else if (verify)
        r.summary = QStringLiteral("Not verified: %1 of %2 parameters differ")
                        .arg(differences.size())
                        .arg(compared);
    else
        r.summary = differences.size() == 1
            ? QStringLiteral("1 parameter differs")
            : QStringLiteral("%1 parameters differ").arg(differences.size());
    r.headers = {QStringLiteral("Code"), QStringLiteral("Parameter"), QStringLiteral("Register"),
                 firstName, secondName};
    for (const ParameterDifference &d : differences)
        r.rows.append({d.code, d.caption, registerText(d.reg), d.first, d.second});
    return r;
}

QString ToText(const CompareReport &report)
{
    QStringList lines {report.title, report.summary};
    if (!report.rows.isEmpty()) {
        lines << report.headers.join(QLatin1Char('\t'));
        for (const QStringList &row : report.rows)
            lines << row.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString ToCsv(const CompareReport &report)
{
    QString out;
    auto line = [&out](const QStringList &fields) {
        QStringList quoted;
        for (const QString &f : fields)
            quoted << csvField(f);
        out += quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    };
    line(report.headers);
    for (const QStringList &row : report.rows)
        line(row);
    return out;
}

} // namespace SetupCompare
