#include "setup/writeall.h"

#include "setup/registermap.h"
#include "setup/setupcontrols.h"

namespace WriteAll {

namespace {

constexpr int SetValueStep = 16;
constexpr int FirstOutputLevelStep = 17;
constexpr int ControlModeEntry = ParameterImage::ControlModeEntry;
constexpr int OnlineConfigWordEntry = ParameterImage::OnlineConfigWordEntry;
constexpr int ProgramControl = 3;
constexpr int ManualControl = 2;

// The register and image entry of a step; the entry is -1 for step 0.
std::pair<int, int> stepTarget(int step)
{
    if (step == 0 || step == LastStep)
        return {Reg::OnlineConfig, OnlineConfigWordEntry};
    if (step == 1)
        return {Reg::OnlineConfigWord, OnlineConfigWordEntry};
    if (step <= 15)
        return {Reg::InputType + step - 2, 24 + step - 2};
    if (step <= 37)
        return {Reg::SetValue + step - 16, 1 + step - 16};
    return step == 38 ? std::pair {Reg::PidGroup, ParameterImage::PidGroupEntry}
                      : std::pair {Reg::PidTarget, ParameterImage::PidTargetEntry};
}

} // namespace

QList<RegisterWrite> steps(const ParameterImage &image)
{
    const int mode = image.at(ControlModeEntry);
    QList<RegisterWrite> out;
    for (int step = 0; step <= LastStep; ++step) {
        if (step == SetValueStep && mode == ProgramControl)
            continue;
        if ((step == FirstOutputLevelStep || step == FirstOutputLevelStep + 1) &&
            mode != ManualControl)
            continue;
        const auto [reg, entry] = stepTarget(step);
        int value = image.at(entry) & 0xFFFF;
        if (step == 0)
            value = 1;
        else if (step == 1)
            value |= 1;
        else if (step == LastStep)
            value &= 1;
        out.append({reg, value, RegisterNeedsUnlock(reg), step});
    }
    return out;
}

int percentAfter(int step)
{
    return (step + 1) * 100 / LastStep;
}

QString describe(int reg)
{
    QString code;
    QString caption;
    // The view writes the PID group and its target through registers of
    // their own; its rows name them.
    const int viewReg = reg == Reg::PidGroup ? Reg::PidGroupWrite
        : reg == Reg::PidTarget              ? Reg::PidTargetWrite
                                             : reg;
    for (const SetupRow &row : SetupRows()) {
        if (row.reg == viewReg && *row.caption) {
            code = QString::fromLatin1(row.code);
            caption = QString::fromLatin1(row.caption);
            break;
        }
    }
    if (caption.isEmpty()) {
        if (const RegisterInfo *info = FindRegister(reg)) {
            code = info->code;
            caption = info->meaning;
        }
    }
    const QString name =
        QStringLiteral("0x") + QStringLiteral("%1").arg(reg, 4, 16, QLatin1Char('0')).toUpper();
    const QString text = code.isEmpty() ? caption : code + QLatin1Char(' ') + caption;
    return text.isEmpty() ? name : text + QStringLiteral(" (") + name + QLatin1Char(')');
}

} // namespace WriteAll
