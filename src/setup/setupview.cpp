// The setup view's display: the model filled from the parameter image and
// the selected controller's polls, and what is shown or hidden when.
#include "setup/setupview.h"

#include "link/valueformat.h"
#include "setup/enumerations.h"
#include "setup/registermap.h"

using F = SetupField;
using B = SetupBox;

namespace {

// The boxes and lists that follow the editing state (the on-line
// configuration list does not: it switches editing on).
constexpr B EditingBoxes[] = {B::TempBox, B::TuneBox, B::ManuBox, B::OnOffBox, B::PIDBox,
                              B::CtrlBox, B::AlmBox,  B::OPBox,   B::AdjustBox};
constexpr F EditingLists[] = {F::AT,        F::CtrlSet,  F::HeatCool, F::RunStop,
                              F::InputType, F::Pointer,  F::PIDGroup, F::ALM1Mode,
                              F::ALM2Mode,  F::ALM3Mode, F::SALMode,  F::LockStatus};

} // namespace

SetupViewLogic::SetupViewLogic(const ParameterImage &image,
                               std::function<SetupViewContext()> context, SetupViewActions actions)
    : m_image(image)
    , m_context(std::move(context))
    , m_actions(std::move(actions))
{
    for (const SetupRow &row : SetupRows()) {
        SetupControlState &c = m_model.at(row.field);
        c.code = QString::fromLatin1(row.code);
        c.picture = QString::fromLatin1(row.picture);
        if (row.list)
            if (const Enumeration *e = EnumerationFor(row.reg))
                c.items = e->texts();
    }
    m_model.at(F::ProgDisp).visible = false;
    m_model.at(F::PDOffs).visible = false;
    m_model.fwCaption = m_fwDesignCaption;
    // Hidden until the access code is typed.
    m_model.at(B::AdjustBox).visible = false;
}

void SetupViewLogic::changed()
{
    if (m_actions.changed)
        m_actions.changed();
}

bool SetupViewLogic::linearInput() const
{
    return IsLinearInput(m_model.at(F::InputType).position);
}

QString SetupViewLogic::UnsignedTenthsFormat(int value)
{
    return QString::number(value / 10) + QLatin1Char('.') + QString::number(value % 10);
}

QString SetupViewLogic::HundredthsFormat(int value)
{
    const int rest = value % 100;
    return QString::number(value / 100) + (rest < 10 ? QStringLiteral(".0") : QStringLiteral(".")) +
        QString::number(rest);
}

QString SetupViewLogic::FirmwareText(const QString &caption, int major, int minor)
{
    return caption + QLatin1Char(' ') + FirmwareVersionText(major, minor);
}

void SetupViewLogic::setPosition(SetupField f, int value)
{
    SetupControlState &c = m_model.at(f);
    // A value outside the list selects no item.
    c.position = value >= 0 && value < c.items.size() ? value : -1;
}

void SetupViewLogic::resetView()
{
    m_factoryAccess = false;
    HideSetupView();
    m_model.fileButtonsEnabled = true;
    m_model.at(B::CtrlerBox).enabled = true;
    m_model.progress = 0;
    m_showTenths = false;
    // RunStop enabled first, so that the disable takes effect.
    m_model.at(F::RunStop).enabled = true;
    SetEditing(false);
    changed();
}

void SetupViewLogic::ShowSetupView()
{
    if (m_actions.hideEventIndicators)
        m_actions.hideEventIndicators();
    for (B b : {B::CtrlBox, B::CtrlerBox, B::OPBox, B::TempBox, B::TuneBox})
        m_model.at(b).visible = true;
    const int mode = m_model.at(F::CtrlSet).position;
    m_model.at(B::PIDBox).visible = mode == 0 || mode == 3;
    m_model.at(B::OnOffBox).visible = mode == 1;
    m_model.at(B::ManuBox).visible = mode == 2;
    m_model.progBtVisible = true;
    m_model.fwVisible = true;
    m_model.at(B::AlmBox).visible = true;
    m_model.drawBtVisible = true;
    m_model.saveBtVisible = true;
    m_model.openBtVisible = true;
    m_setupShown = true;
    changed();
}

void SetupViewLogic::HideSetupView()
{
    if (m_actions.hideEventIndicators)
        m_actions.hideEventIndicators();
    m_model.progressVisible = false;
    m_model.drawBtVisible = false;
    m_model.opPanelVisible = false;
    m_model.passVisible = false;
    m_model.passText.clear();
    ShowFactory(false);
    for (SetupBoxState &b : m_model.box)
        b.visible = false;
    m_model.progBtVisible = false;
    m_model.fwVisible = false;
    m_model.saveBtVisible = false;
    m_model.openBtVisible = false;
    m_setupShown = false;
    changed();
}

void SetupViewLogic::SetEditing(bool enabled)
{
    if (m_model.at(F::RunStop).enabled == enabled)
        return;
    for (B b : EditingBoxes)
        m_model.at(b).enabled = enabled;
    m_model.fwEnabled = enabled;
    for (F f : EditingLists)
        m_model.at(f).enabled = enabled;
    const SetupViewContext ctx = context();
    if (!ctx.chartShown && ctx.connected > 0)
        m_model.fwVisible = true;
    m_model.passVisible = false;
    if (!enabled)
        ShowFactory(false);
    changed();
}

void SetupViewLogic::ShowAlarmLimits(int mode, int alarm)
{
    static const F high[] = {F::UpLimit1, F::UpLimit2, F::UpLimit3};
    static const F low[] = {F::DnLimit1, F::DnLimit2, F::DnLimit3};
    if (alarm < 1 || alarm > 3)
        return;
    setRow(high[alarm - 1], AlarmModeUsesHigh(mode));
    setRow(low[alarm - 1], AlarmModeUsesLow(mode));
}

void SetupViewLogic::DisplayParameters()
{
    const ParameterImage &e = m_image;
    const SetupViewContext ctx = context();
    const int decimals = m_copiedDecimals;
    // The input type the view is about to show decides how the values are
    // scaled, so that a controller's first display is right too.
    const bool linear = IsLinearInput(e[24]);
    auto scaled = [&](int entry) { return ScaledFormat(e[entry], decimals, linear); };

    setPosition(F::Pointer, decimals); // 1
    m_model.fwCaption = FirmwareText(m_fwDesignCaption, e[252], e[253]); // 2
    setText(F::SetV, scaled(1)); // 3
    if (ctx.paramsFromFile) { // 4
        m_showTenths = true;
        setText(F::OUTQ1, TenthsFormat(e[2], m_showTenths));
        setText(F::OUTQ2, TenthsFormat(e[3], m_showTenths));
    }
    static const F limits[] = {F::UpLimit,  F::DnLimit,  F::UpLimit1, F::DnLimit1,
                               F::UpLimit2, F::DnLimit2, F::UpLimit3, F::DnLimit3};
    for (int i = 0; i < 8; ++i) // 5
        setText(limits[i], scaled(4 + i));
    m_showTenths = decimals != 0; // 6
    setText(F::DeadBand1, TenthsFormat(e[18], m_showTenths));
    setText(F::DeadBand2, TenthsFormat(e[18], m_showTenths));
    m_showTenths = true; // 7
    setText(F::KP, TenthsFormat(e[12], m_showTenths));
    setText(F::KI, QString::number(e[13]));
    const bool pd = e[13] == 0; // 8
    m_model.labelOfs = pd ? QStringLiteral("P1-8") : QStringLiteral("P1-7");
    setRow(F::PDOffs, pd);
    setRow(F::SumOffs, !pd);
    setText(F::KD, QString::number(e[14])); // 9
    setText(F::SumOffs, UnsignedTenthsFormat(e[15]));
    setText(F::PDOffs, UnsignedTenthsFormat(e[16]));
    setText(F::Coeff, HundredthsFormat(e[17]));
    setText(F::CurrHi, SignedIntFormat(e[21])); // 10
    setText(F::CurrLo, SignedIntFormat(e[22]));
    setPosition(F::ComWrite, e[23] & 1); // 11
    setPosition(F::InputType, e[24]);
    setPosition(F::CtrlSet, e[25]);
    if (!ctx.chartShown) // 12
        controlModeLayout(e[25]);
    setPosition(F::HeatCool, e[26]); // 13
    heatingCoolingRows(e[26], decimals, linear);
    const bool dual = e[26] >= 2; // 14
    m_model.out2Panel = dual;
    setRow(F::OUTQ2, dual);
    setRow(F::HCPeriod2, dual);
    for (F f : {F::ALM3Mode, F::UpLimit3, F::DnLimit3})
        setRow(f, !dual);
    setText(F::HCPeriodPID1, QString::number(e[27])); // 15
    setText(F::HCPeriod1, QString::number(e[27]));
    setText(F::HCPeriodPID2, QString::number(e[28]));
    setText(F::HCPeriod2, QString::number(e[28]));
    m_showTenths = true; // 16
    setText(F::TPOffs, TenthsFormat(e[29], m_showTenths));
    // 17: the lock list writes 0x000B for its third item; a controller
    // may report either that or the item's position.
    setPosition(F::LockStatus, e[30] == 0x000B ? 2 : e[30]);
    setPosition(F::SALMode, e[31]);
    setPosition(F::ALM1Mode, e[32]); // 18
    ShowAlarmLimits(e[32], 1);
    setPosition(F::ALM2Mode, e[33]);
    ShowAlarmLimits(e[33], 2);
    if (m_model.at(F::ALM3Mode).visible) {
        setPosition(F::ALM3Mode, e[34]);
        ShowAlarmLimits(e[34], 3);
    }
    setPosition(F::RunStop, e[35]); // 19
    SetupControlState &unit = m_model.at(F::DegUnit); // 20
    unit.items = BaseUnitTexts();
    if (e[36] < 2) {
        setPosition(F::DegUnit, e[36]);
    } else {
        unit.items << UnitText(e[36], e[24]);
        unit.position = 2;
    }
    const int inputType = m_model.at(F::InputType).position;
    unit.enabled = inputType >= 0 && inputType <= LastTemperatureInput && ctx.onlineConfig;
    SetupControlState &group = m_model.at(F::PIDGroup); // 21
    const QStringList eventItems {PidGroupEventText()};
    if (m_copiedEvent2) {
        // Held while the event input stays active.
        if (group.items != eventItems) {
            group.items = eventItems;
            group.position = 0;
        }
    } else if (const int mode = m_model.at(F::CtrlSet).position; mode == 0 || mode == 3) {
        if (group.items == eventItems)
            group.items = PidGroupViewTexts();
        setPosition(F::PIDGroup, e[38]);
        setText(F::PIDAimValue, scaled(39));
    }
    setPosition(F::AT, m_copiedAutoTuning); // 22
    changed();
}

void SetupViewLogic::controlModeLayout(int mode)
{
    SetupViewModel &m = m_model;
    auto hidden = [&](B b) { return !m.at(b).visible; };
    switch (mode) {
    case 0:
        if (hidden(B::PIDBox) || !m.at(F::SetV).visible) {
            m.at(B::PIDBox).visible = true;
            m.at(B::OnOffBox).visible = m.at(B::ManuBox).visible = false;
            setRow(F::SetV, true);
            setRow(F::ProgDisp, false);
            showAutoTuningRow(true);
        }
        break;
    case 1:
        if (hidden(B::OnOffBox)) {
            m.at(B::PIDBox).visible = m.at(B::ManuBox).visible = false;
            m.at(B::OnOffBox).visible = true;
            setRow(F::SetV, true);
            setRow(F::ProgDisp, false);
            showAutoTuningRow(false);
        }
        break;
    case 2:
        if (hidden(B::ManuBox)) {
            m.at(B::PIDBox).visible = m.at(B::OnOffBox).visible = false;
            m.at(B::ManuBox).visible = true;
            setRow(F::SetV, true);
            setRow(F::ProgDisp, false);
            showAutoTuningRow(false);
        }
        break;
    case 3:
        setPosition(F::ProgDisp, context().programDisplayMode);
        if (hidden(B::PIDBox) || !m.at(F::ProgDisp).visible) {
            m.at(B::PIDBox).visible = true;
            m.at(B::OnOffBox).visible = m.at(B::ManuBox).visible = false;
            setRow(F::SetV, false);
            setRow(F::ProgDisp, true);
        }
        showAutoTuningRow(false);
        break;
    default:
        break;
    }
}

void SetupViewLogic::heatingCoolingRows(int heatCool, int decimals, bool linear)
{
    const ParameterImage &e = m_image;
    m_heatCool = heatCool;
    const bool cooling = heatCool & 1;
    // Output 1 heats or cools; output 2 does the other.
    const QString out1 = cooling ? QStringLiteral("rowcool") : QStringLiteral("rowheat");
    const QString out2 = cooling ? QStringLiteral("rowheat") : QStringLiteral("rowcool");
    m_model.at(F::HCPeriodPID1).picture = m_model.at(F::HCPeriod1).picture = out1;
    m_model.at(F::HCPeriodPID2).picture = m_model.at(F::HCPeriod2).picture = out2;
    const QString period = cooling ? QStringLiteral("P1-12") : QStringLiteral("P1-11");
    m_model.at(F::HCPeriodPID1).code = m_model.at(F::HCPeriod1).code = period;
    const QString heating = ScaledFormat(e[19], decimals, linear);
    if (!cooling) {
        setRow(F::Hyst1, true);
        setText(F::Hyst1, heating);
        if (heatCool == 0) {
            setRow(F::Hyst2, false);
        } else {
            setText(F::Hyst2, ScaledFormat(e[20], decimals, linear));
            setRow(F::Hyst2, true);
        }
    } else {
        setRow(F::Hyst2, true);
        if (heatCool == 1) {
            // Cooling only: the one hysteresis is register 0x4713.
            setText(F::Hyst2, heating);
            setRow(F::Hyst1, false);
        } else {
            setText(F::Hyst1, heating);
            setText(F::Hyst2, ScaledFormat(e[20], decimals, linear));
            setRow(F::Hyst1, true);
        }
    }
}

void SetupViewLogic::ShowFactory(bool show)
{
    if (m_factoryShown == show)
        return;
    if (show) {
        m_model.at(B::AdjustBox).visible = true;
    } else {
        m_model.at(B::AdjustBox).visible = false;
        m_model.passText.clear();
        m_model.passVisible = false;
        m_model.fwVisible = true;
        m_factoryAccess = false;
    }
    m_factoryShown = show;
    changed();
}

void SetupViewLogic::applySetupStep(int step, const QList<quint16> &words)
{
    const SetupViewContext ctx = context();
    auto word = [&](int i) { return i < words.size() ? int(words.at(i)) : 0; };
    switch (step) {
    case 6:
        SetEditing(ctx.onlineConfig);
        if (!ctx.programRunning)
            setText(F::SetV, ScaledFormat(ctx.sv, ctx.decimals, linearInput()));
        m_model.progBtEnabled = words.size() > 6 && word(6) == 3;
        break;
    case 11:
        setText(F::OUTQ1, TenthsFormat(ctx.output1, true));
        setText(F::OUTQ2, TenthsFormat(ctx.output2, true));
        m_copiedDecimals = ctx.decimals;
        m_copiedAutoTuning = ctx.autoTuning;
        m_copiedEvent2 = ctx.eventInput2;
        DisplayParameters();
        break;
    case 12:
        if (words.size() >= 2) {
            setPosition(F::OutputType1, word(0));
            setPosition(F::OutputType2, word(1));
        }
        break;
    case 13:
        if (words.size() >= 7) {
            setText(F::RTDOfs, TenthsFormat(word(0), true));
            setText(F::RTDGain, SignedIntFormat(word(1)));
            setText(F::TCOfs, SignedIntFormat(word(2)));
            setText(F::TCGain, SignedIntFormat(word(3)));
            setText(F::ColdOfs, TenthsFormat(word(4), true));
            setText(F::mVOfs, SignedIntFormat(word(5)));
            setText(F::mVGain, SignedIntFormat(word(6)));
        }
        break;
    default:
        break;
    }
    changed();
}

void SetupViewLogic::endSetupCycle()
{
    const SetupViewContext ctx = context();
    setPosition(F::AT, ctx.autoTuning);
    if (!m_setupShown && ctx.setupViewPending)
        ShowSetupView();
    if (m_factoryAccess && !m_factoryShown)
        ShowFactory(true);
    if (m_model.selectField >= 0)
        ++m_model.select;
    changed();
}

void SetupViewLogic::showFileLoaded()
{
    DisplayParameters();
    m_model.opPanelVisible = true;
    SetEditing(false);
    m_model.fileButtonsEnabled = false;
    m_model.at(B::CtrlerBox).enabled = false;
    changed();
}

void SetupViewLogic::showFileClosed()
{
    m_model.opPanelVisible = false;
    m_model.fileButtonsEnabled = true;
    m_model.at(B::CtrlerBox).enabled = true;
    changed();
}

void SetupViewLogic::showWriteStarted(const QString &caption)
{
    m_model.opPanelVisible = false;
    m_model.progressCaption = caption;
    m_model.progress = 0;
    m_model.progressVisible = true;
    changed();
}

void SetupViewLogic::showWriteProgress(int percent)
{
    m_model.progress = percent;
    changed();
}

void SetupViewLogic::showWaiting(const QString &text)
{
    m_model.progressCaption = text;
    m_model.progress = 0;
    m_model.progressVisible = !text.isEmpty();
    changed();
}

void SetupViewLogic::showWriteEnded()
{
    m_model.progressVisible = false;
    m_model.progress = 0;
    m_model.opPanelVisible = false;
    m_model.fileButtonsEnabled = true;
    m_model.at(B::CtrlerBox).enabled = true;
    changed();
}

void SetupViewLogic::DrawBtClick()
{
    const SetupViewContext ctx = context();
    if (ctx.chartShown) {
        if (m_actions.showChart)
            m_actions.showChart(false);
        if (ctx.connected > 0) {
            ShowSetupView();
            if (m_actions.reread)
                m_actions.reread();
        }
        changed();
        return;
    }
    // The view goes, all but DrawBt, which brings it back.
    m_model.opPanelVisible = false;
    m_model.passVisible = false;
    ShowFactory(false);
    for (SetupBoxState &b : m_model.box)
        b.visible = false;
    m_model.progBtVisible = false;
    m_model.fwVisible = false;
    m_model.saveBtVisible = false;
    m_model.openBtVisible = false;
    m_setupShown = false;
    if (m_actions.showChart)
        m_actions.showChart(true);
    changed();
}
