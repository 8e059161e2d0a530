// The setup view's entries: an edit committed with Enter, a list item
// picked, the factory box's two commands, and the hidden access field.
#include "setup/setupview.h"

#include "link/valueformat.h"
#include "setup/registermap.h"
#include "ui/dialogs.h"

using F = SetupField;

const QString SetupViewLogic::AccessCode = QStringLiteral("QWK");

bool SetupViewLogic::editable(SetupField field) const
{
    if (context().paramsFromFile)
        return false;
    // On-line configuration is how editing gets switched on.
    if (field == F::ComWrite)
        return true;
    const SetupRow &row = RowOf(field);
    return m_model.at(row.box).enabled && m_model.at(field).enabled;
}

int SetupViewLogic::registerOf(SetupField field) const
{
    // A cooling-only controller's hysteresis field shows 0x4713; it writes
    // what it shows.
    if (field == F::Hyst2 && m_heatCool == 1)
        return Reg::HeatingHysteresis;
    return RowOf(field).reg;
}

int SetupViewLogic::decimalsOf(SetupField field) const
{
    const SetupRow &row = RowOf(field);
    if (row.decimalsKind != EntryDecimals::Scaled)
        return row.decimals;
    // An entry is scaled as the field shows its value: a linear input's
    // value, and any value with two or three decimals, holds the shown
    // digits; a temperature with none or one decimal is kept in tenths.
    const int shown = qBound(0, field == F::SetV ? context().decimals : m_copiedDecimals, 3);
    return linearInput() || shown >= 2 ? shown : 1;
}

void SetupViewLogic::OnKeyPress(SetupField field, QChar key, const QString &text)
{
    const SetupRow &row = RowOf(field);
    if (row.list)
        return;
    m_model.at(field).text = text;
    if (key != QLatin1Char('\r'))
        return;
    m_model.selectField = int(field);
    if (!editable(field)) {
        // Nothing is sent: the field shows what it showed.
        m_model.at(field).text = m_displayed[size_t(field)];
        changed();
        return;
    }
    const int decimals = decimalsOf(field);
    const QByteArray word = EntryToWord(text, decimals);
    if (IsEntryError(word) || !EntryFitsWord(text, decimals)) {
        // The re-read puts the controller's value back.
        if (m_actions.reread)
            m_actions.reread();
        changed();
        return;
    }
    m_entered[registerOf(field)] = text.trimmed();
    if (m_actions.write)
        m_actions.write(context().address, registerOf(field), word.toInt(nullptr, 16),
                        RegisterNeedsUnlock(registerOf(field)));
    changed();
}

void SetupViewLogic::writeRefused(int reg, int value, const TransactionResult &error)
{
    QString name;
    for (const SetupRow &row : SetupRows()) {
        if (row.reg == reg && *row.caption) {
            name = QString::fromLatin1(row.code).isEmpty() ? QString::fromLatin1(row.caption)
                                                           : QString::fromLatin1(row.code) +
                    QLatin1Char(' ') + QString::fromLatin1(row.caption);
            break;
        }
    }
    if (name.isEmpty())
        name = QStringLiteral("Register %1").arg(reg, 4, 16, QLatin1Char('0')).toUpper();
    const auto entered = m_entered.find(reg);
    const QString what = entered != m_entered.end() ? entered->second : QString::number(value);
    QString why;
    if (error.kind == TransactionResult::Kind::WriteRefused && error.exceptionCode != 0)
        why =
            QStringLiteral("exception %1, %2")
                .arg(error.exceptionCode, 2, 16, QLatin1Char('0'))
                .arg(MonitorErrorText(TransactionResult::exception(error.exceptionCode)).trimmed());
    else
        why = MonitorErrorText(error).trimmed();
    m_model.notice = QStringLiteral("%1: the controller refused %2 (%3)").arg(name, what, why);
    ++m_model.noticeSerial;
    changed();
}

void SetupViewLogic::noticeShown(int serial)
{
    if (serial != m_model.noticeSerial)
        return; // a newer one is shown
    m_model.notice.clear();
    changed();
}

void SetupViewLogic::CtrlSetSelect(SetupField field, int position)
{
    const SetupRow &row = RowOf(field);
    SetupControlState &c = m_model.at(field);
    if (!row.list || position < 0 || position >= c.items.size() || !editable(field)) {
        changed();
        return;
    }
    c.position = position;
    m_entered[row.reg] = c.items.at(position);
    // The lock list's third item is written as 0x000B.
    const int value = field == F::LockStatus && position == 2 ? 0x000B : position;
    if (m_actions.write)
        m_actions.write(context().address, row.reg, value, RegisterNeedsUnlock(row.reg));
    if (field == F::HeatCool && m_actions.readOutputMode)
        m_actions.readOutputMode();
    changed();
}

void SetupViewLogic::ClearBt1Click(bool restore)
{
    if (!editable(F::RTDOfs))
        return;
    if (!AppDialogs().askOkCancel(QStringLiteral("Confirm"),
                                  QStringLiteral("Will clear setting, Execute anyway?")))
        return;
    const int reg = restore ? Reg::RestoreDefaults : Reg::ClearAdjustments;
    if (m_actions.write)
        m_actions.write(context().address, reg, CommandKey, RegisterNeedsUnlock(reg));
}

void SetupViewLogic::FWVersionDblClick()
{
    if (!m_model.fwEnabled || !m_model.fwVisible)
        return;
    m_model.fwVisible = false;
    m_model.passVisible = true;
    ++m_model.passFocus;
    changed();
}

void SetupViewLogic::PassLBClick()
{
    m_model.fwVisible = true;
    m_model.passVisible = false;
    changed();
}

void SetupViewLogic::PassEditChange(const QString &text)
{
    m_model.passText = text;
    if (text == AccessCode) {
        m_factoryAccess = true;
        if (m_actions.reread)
            m_actions.reread();
    } else if (text == QLatin1String("probe on")) {
        if (m_actions.showDebug)
            m_actions.showDebug(true);
    } else if (text == QLatin1String("probe off")) {
        if (m_actions.showDebug)
            m_actions.showDebug(false);
    } else {
        m_factoryAccess = false;
        ShowFactory(false);
    }
    changed();
}
