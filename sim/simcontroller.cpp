#include "sim/simcontroller.h"

#include "sim/simregisters.h"

#include <algorithm>
#include <cmath>

namespace {

// Registers this file refers to by meaning.
constexpr int PvReg = 0x4700;
constexpr int SvReg = 0x4701;
constexpr int Out1Reg = 0x4702;
constexpr int Out2Reg = 0x4703;
constexpr int RangeLowReg = 0x4705;
constexpr int Alarm1HighReg = 0x4706; // alarm n: 0x4706 + 2n high, 0x4707 + 2n low
constexpr int KpReg = 0x470C;
constexpr int Hyst1Reg = 0x4713;
constexpr int Hyst2Reg = 0x4714;
constexpr int OnlineWordReg = 0x4717;
constexpr int InputTypeReg = 0x4718;
constexpr int ModeReg = 0x4719;
constexpr int HeatCoolReg = 0x471A;
constexpr int Alarm1ModeReg = 0x4720;
constexpr int RunStopReg = 0x4723;
constexpr int UnitReg = 0x4724;
constexpr int PointReg = 0x4725;
constexpr int OnlineReg = 0x4726;
constexpr int AtReg = 0x4727;
constexpr int StatusReg = 0x4728;
constexpr int SetupChangedReg = 0x4729;
constexpr int ProgramFlagReg = 0x472B;
constexpr int EventReg = 0x472D;
constexpr int FirstAdjustReg = 0x4732;
constexpr int LastAdjustReg = 0x4738;
constexpr int ModelReg = 0x4746;
constexpr int PidGroupReg = 0x4756;
constexpr int PidTargetReg = 0x475F;
constexpr int SecondsLeftReg = 0x4763;
constexpr int MinutesLeftReg = 0x4764;
constexpr int CurrentStepReg = 0x4765;
constexpr int CurrentPatternReg = 0x4766;
constexpr int StartPatternReg = 0x4767;
constexpr int LastStepReg = 0x4768;
constexpr int CyclesReg = 0x4770;
constexpr int NextPatternReg = 0x4778;
constexpr int StepReg = 0x4780;
constexpr int PidGroupInUseReg = 0x101C;
constexpr int PidTargetInUseReg = 0x101D;

constexpr int ModeManual = 2;
constexpr int ModeOnOff = 1;
constexpr int ModeRampSoak = 3;
constexpr int RunStopRun = 1;
constexpr int RunStopHold = 3;

// Registers that a change on the front panel makes the setup view re-read.
bool isSetupRegister(int reg)
{
    return (reg >= SvReg && reg <= AtReg) || reg == PidGroupReg || reg == PidTargetReg ||
        reg == PidGroupInUseReg || reg == PidTargetInUseReg;
}

int word(const QByteArray &data, int i)
{
    return (static_cast<unsigned char>(data.at(i)) << 8) |
        static_cast<unsigned char>(data.at(i + 1));
}

void appendWord(QByteArray &out, int v)
{
    out.append(char((v >> 8) & 0xFF));
    out.append(char(v & 0xFF));
}

QString hex4(int v)
{
    return QStringLiteral("%1").arg(v & 0xFFFF, 4, 16, QLatin1Char('0')).toUpper();
}

} // namespace

SimController::SimController(int address, int modelCode)
    : m_address(address)
{
    for (const SimRegister &r : SimRegisterTable())
        m_registers[r.address] = r.factory;
    m_registers[ModelReg] = static_cast<quint16>(modelCode);
    m_pv = reg(PvReg);
    updateStatus();
}

bool SimController::exists(int r) const
{
    return m_registers.count(r) != 0;
}

quint16 SimController::value(int r) const
{
    if (r == PvReg && m_pvStatus)
        return static_cast<quint16>(0x8000 | (*m_pvStatus & 0x0F));
    const auto it = m_registers.find(r);
    return it == m_registers.end() ? 0 : it->second;
}

bool SimController::set(int r, quint16 v)
{
    if (!exists(r))
        return false;
    store(r, v);
    if (isSetupRegister(r))
        m_registers[SetupChangedReg] &= ~1;
    if (r != StatusReg)
        updateStatus();
    return true;
}

void SimController::setEventInput(int input, bool on)
{
    const int bit = input == 1 ? 0x08 : 0x04;
    if (on)
        m_registers[EventReg] |= bit;
    else
        m_registers[EventReg] &= ~bit;
}

void SimController::store(int r, quint16 v)
{
    m_registers[r] = v;
    switch (r) {
    case PvReg:
        m_pv = static_cast<qint16>(v);
        break;
    case OnlineReg:
        m_registers[OnlineWordReg] = (reg(OnlineWordReg) & ~1) | (v != 0 ? 1 : 0);
        break;
    case OnlineWordReg:
        m_registers[OnlineReg] = v & 1;
        break;
    case PidGroupReg:
        m_registers[PidGroupInUseReg] = v;
        break;
    case PidGroupInUseReg:
        m_registers[PidGroupReg] = v;
        break;
    case PidTargetReg:
        m_registers[PidTargetInUseReg] = v;
        break;
    case PidTargetInUseReg:
        m_registers[PidTargetReg] = v;
        break;
    case AtReg:
        m_atElapsed = 0;
        break;
    default:
        break;
    }
}

SimController::Answer SimController::handle(int function, const QByteArray &data, bool broadcast)
{
    const bool keyArmed = m_keyArmed;
    m_keyArmed = false;
    Answer answer;
    if (function == 0x03) {
        if (broadcast) {
            answer.text = QStringLiteral("no reply (broadcast read)");
            return answer;
        }
        return read(data);
    }
    if (function == 0x06)
        return write(data, keyArmed, broadcast);
    answer = exception(function, IllegalFunction, QStringLiteral("function not supported"));
    if (broadcast) {
        answer.reply = false;
        answer.text = QStringLiteral("no reply (broadcast)");
    }
    return answer;
}

SimController::Answer SimController::exception(int function, int code, const QString &why)
{
    Answer a;
    a.reply = true;
    a.function = (function | 0x80) & 0xFF;
    a.data = QByteArray(1, char(code));
    a.text = QStringLiteral("exception %1 (%2)").arg(code, 2, 16, QLatin1Char('0')).arg(why);
    return a;
}

SimController::Answer SimController::read(const QByteArray &data)
{
    if (data.size() < 4)
        return exception(0x03, TooFewData, QStringLiteral("too few data"));
    if (data.size() > 4)
        return exception(0x03, TooManyData, QStringLiteral("too many data"));
    const int start = word(data, 0);
    const int count = word(data, 2);
    if (count < 1 || count > 8)
        return exception(0x03, IllegalData, QStringLiteral("count %1").arg(count));
    for (int r = start; r < start + count; ++r) {
        if (!exists(r))
            return exception(0x03, IllegalAddress, QStringLiteral("no register %1").arg(hex4(r)));
    }
    Answer a;
    a.reply = true;
    a.function = 0x03;
    a.data.append(char(count * 2));
    QStringList words;
    for (int r = start; r < start + count; ++r) {
        appendWord(a.data, value(r));
        words.append(hex4(value(r)));
    }
    a.text = words.join(QLatin1Char(' '));
    // The re-read request of 0x4729 is reported once.
    if (start <= SetupChangedReg && SetupChangedReg < start + count)
        m_registers[SetupChangedReg] |= 1;
    return a;
}

int SimController::checkWrite(int r, int v, bool keyArmed, QString *why) const
{
    const SimRegister *info = FindSimRegister(r);
    if (!info) {
        *why = QStringLiteral("no register %1").arg(hex4(r));
        return IllegalAddress;
    }
    if (info->access == SimAccess::ReadOnly) {
        *why = QStringLiteral("read-only");
        return Refused;
    }
    if (r != OnlineReg && reg(OnlineReg) == 0) {
        *why = QStringLiteral("on-line configuration is off");
        return Refused;
    }
    if (!info->accepts(v)) {
        *why = QStringLiteral("value %1 not accepted").arg(hex4(v));
        return IllegalData;
    }
    if ((info->access == SimAccess::Unlock || info->access == SimAccess::Command) && !keyArmed) {
        *why = QStringLiteral("not unlocked");
        return Refused;
    }
    return 0;
}

SimController::Answer SimController::write(const QByteArray &data, bool keyArmed, bool broadcast)
{
    Answer a;
    if (data.size() != 4) {
        a = exception(0x06, data.size() < 4 ? TooFewData : TooManyData,
                      data.size() < 4 ? QStringLiteral("too few data")
                                      : QStringLiteral("too many data"));
    } else {
        const int r = word(data, 0);
        const int v = word(data, 2);
        QString why;
        const int code = checkWrite(r, v, keyArmed, &why);
        if (code != 0) {
            a = exception(0x06, code, why);
        } else {
            const SimRegister *info = FindSimRegister(r);
            if (info->access == SimAccess::KeyRegister) {
                m_keyArmed = true;
                a.text = QStringLiteral("echo (unlocked)");
            } else if (r == Sim::RestoreRegister) {
                restoreFactory();
                a.text = QStringLiteral("echo (factory values restored)");
            } else if (r == Sim::ClearAdjustRegister) {
                clearAdjustments();
                a.text = QStringLiteral("echo (adjustments cleared)");
            } else {
                store(r, static_cast<quint16>(v));
                a.text = QStringLiteral("echo");
            }
            updateStatus();
            a.reply = true;
            a.function = 0x06;
            a.data = data;
        }
    }
    if (broadcast) {
        a.reply = false;
        a.text = a.function == 0x06 ? QStringLiteral("applied, no reply (broadcast)")
                                    : QStringLiteral("refused, no reply (broadcast): ") + a.text;
    }
    return a;
}

void SimController::restoreFactory()
{
    for (const SimRegister &r : SimRegisterTable()) {
        if (r.access == SimAccess::ReadWrite)
            store(r.address, r.factory);
    }
    m_program = Program();
    m_registers[SetupChangedReg] &= ~1;
}

void SimController::clearAdjustments()
{
    for (int r = FirstAdjustReg; r <= LastAdjustReg; ++r)
        store(r, 0);
}

double SimController::unitsPerDegree() const
{
    const int point = std::clamp<int>(reg(PointReg), 0, 3);
    if (reg(InputTypeReg) > 12)
        return std::pow(10.0, point);
    return point <= 1 ? 10.0 : std::pow(10.0, point);
}

double SimController::restValue() const
{
    if (reg(InputTypeReg) > 12)
        return signedReg(RangeLowReg);
    return 25.0 * unitsPerDegree();
}

double SimController::programStepSv(int k) const
{
    // Step set values are held in tenths of the display unit.
    return static_cast<qint16>(reg(StepReg + 2 * k)) * unitsPerDegree() / 10.0;
}

void SimController::startProgram()
{
    m_program = Program();
    m_program.active = true;
    m_program.pattern = std::clamp<int>(reg(StartPatternReg), 0, 7);
    m_program.cyclesLeft = reg(CyclesReg + m_program.pattern);
    m_program.startSv = m_pv;
    m_program.sv = m_pv;
    m_program.enteredIdle[m_program.pattern] = true;
}

int SimController::programPassMinutes(int pattern) const
{
    int minutes = 0;
    for (int s = 0; s <= std::min<int>(reg(LastStepReg + pattern), 7); ++s)
        minutes += reg(StepReg + 2 * (pattern * 8 + s) + 1);
    return minutes;
}

void SimController::runProgram(double seconds)
{
    Program &p = m_program;
    if (!p.active)
        return;
    if (reg(RunStopReg) != RunStopHold && !p.holding)
        p.elapsed += seconds;
    // A step of zero time passes at once and sets nothing: the next step
    // ramps from where the last timed step ended. A pattern whose steps hold
    // no time passes with all its cycles at once; coming back to a pattern
    // with no time passed since it was entered is a loop that holds no time,
    // which the program goes round for ever, holding its set value.
    while (!p.holding) {
        const int k = p.pattern * 8 + p.step;
        const double length = reg(StepReg + 2 * k + 1) * 60.0;
        if (p.elapsed < length)
            break;
        p.elapsed -= length;
        if (length > 0) {
            p.startSv = programStepSv(k);
            std::fill(std::begin(p.enteredIdle), std::end(p.enteredIdle), false);
        }
        if (p.step < std::min<int>(reg(LastStepReg + p.pattern), 7)) {
            ++p.step;
            continue;
        }
        if (p.cyclesLeft > 0 && programPassMinutes(p.pattern) > 0) {
            --p.cyclesLeft;
            p.step = 0;
            continue;
        }
        const int next = reg(NextPatternReg + p.pattern);
        if (next > 7) {
            p.active = false;
            break;
        }
        p.pattern = next;
        p.step = 0;
        p.cyclesLeft = reg(CyclesReg + next);
        if (p.enteredIdle[next])
            p.holding = true;
        p.enteredIdle[next] = true;
    }
    if (!p.active) {
        p.done = true;
        p.sv = p.startSv;
        p.elapsed = 0;
        return;
    }
    if (p.holding) {
        p.sv = p.startSv;
        p.elapsed = 0;
        return;
    }
    const int k = p.pattern * 8 + p.step;
    const double length = reg(StepReg + 2 * k + 1) * 60.0;
    const double target = programStepSv(k);
    p.sv = length > 0 ? p.startSv + (target - p.startSv) * p.elapsed / length : target;
}

void SimController::updateOutputs(double sv)
{
    const int mode = reg(ModeReg);
    const int heatCool = reg(HeatCoolReg);
    const double upd = unitsPerDegree();
    double heat = 0;
    double cool = 0;
    if (mode == ModeOnOff) {
        const double e = (sv - m_pv) / upd;
        const double hyst1 = static_cast<qint16>(reg(Hyst1Reg)) / upd;
        const double hyst2 = static_cast<qint16>(reg(Hyst2Reg)) / upd;
        if (e > hyst1)
            m_onOffHeat = true;
        else if (e <= 0)
            m_onOffHeat = false;
        if (-e > hyst2)
            m_onOffCool = true;
        else if (e >= 0)
            m_onOffCool = false;
        heat = m_onOffHeat ? 100 : 0;
        cool = m_onOffCool ? 100 : 0;
    } else {
        // The level that holds the set value (1 % per 4 degrees away from
        // the room) plus a proportional part over the band.
        const double band = std::max(0.1, reg(KpReg) / 10.0);
        const double u = (sv - restValue()) / upd / 4.0 + 100.0 * (sv - m_pv) / upd / band;
        heat = std::clamp(u, 0.0, 100.0);
        cool = std::clamp(-u, 0.0, 100.0);
    }
    // Bit 0 of heating/cooling: output 1 cools.
    const double out1 = (heatCool & 1) ? cool : heat;
    const double out2 = heatCool >= 2 ? ((heatCool & 1) ? heat : cool) : 0.0;
    m_registers[Out1Reg] = static_cast<quint16>(std::lround(out1 * 10));
    m_registers[Out2Reg] = static_cast<quint16>(std::lround(out2 * 10));
}

void SimController::updateAlarms(double sv)
{
    const double pv = m_pv;
    const bool running = reg(RunStopReg) == RunStopRun || reg(RunStopReg) == RunStopHold;
    for (int n = 0; n < 3; ++n) {
        const int mode = reg(Alarm1ModeReg + n);
        const double high = signedReg(Alarm1HighReg + 2 * n);
        const double low = signedReg(Alarm1HighReg + 2 * n + 1);
        bool &on = m_alarm[n];
        bool &armed = m_standbyArmed[n];
        if (!running)
            armed = false;
        if (pv <= sv + high && pv >= sv - low)
            armed = true;
        const Program &p = m_program;
        const double stepTarget = p.active ? programStepSv(p.pattern * 8 + p.step) : 0;
        switch (mode) {
        case 1:
            on = pv > sv + high || pv < sv - low;
            break;
        case 2:
            on = pv > sv + high;
            break;
        case 3:
            on = pv < sv - low;
            break;
        case 4:
            on = pv >= sv - low && pv <= sv + high;
            break;
        case 5:
            on = pv > high || pv < low;
            break;
        case 6:
            on = pv > high;
            break;
        case 7:
            on = pv < low;
            break;
        case 8:
            on = armed && (pv > sv + high || pv < sv - low);
            break;
        case 9:
            on = armed && pv > sv + high;
            break;
        case 10:
            on = armed && pv < sv - low;
            break;
        case 11: // on above SV + high, off again below SV + high - low
            if (pv >= sv + high)
                on = true;
            else if (pv <= sv + high - low)
                on = false;
            break;
        case 12: // on below SV - low, off again above SV - low + high
            if (pv <= sv - low)
                on = true;
            else if (pv >= sv - low + high)
                on = false;
            break;
        case 14:
            on = p.done;
            break;
        case 15:
            on = p.active && stepTarget > p.startSv;
            break;
        case 16:
            on = p.active && stepTarget < p.startSv;
            break;
        case 17:
            on = p.active && stepTarget == p.startSv;
            break;
        case 18:
            on = p.active;
            break;
        default:
            on = false;
            break;
        }
    }
}

void SimController::updateStatus()
{
    int status = 0;
    if (reg(AtReg) == 1)
        status |= 0x80;
    if (reg(Out1Reg) > 0)
        status |= 0x40;
    if (reg(Out2Reg) > 0)
        status |= 0x20;
    if (m_alarm[0])
        status |= 0x10;
    if (m_alarm[1])
        status |= 0x02;
    if (m_alarm[2])
        status |= 0x01;
    if (reg(UnitReg) == 1)
        status |= 0x04;
    else if (reg(UnitReg) == 0)
        status |= 0x08;
    m_registers[StatusReg] = static_cast<quint16>(status);
}

void SimController::advance(double seconds)
{
    if (seconds <= 0)
        return;
    const int mode = reg(ModeReg);
    const int runStop = reg(RunStopReg);
    const bool running = runStop == RunStopRun || runStop == RunStopHold;

    if (reg(AtReg) == 1) {
        m_atElapsed += seconds;
        if (m_atElapsed >= AutoTuningSeconds)
            m_registers[AtReg] = 0;
    }

    // The program runs in Ramp/Soak mode while the controller runs; a stop or
    // another mode resets it.
    if (mode != ModeRampSoak || !running) {
        m_program = Program();
    } else if (!m_program.active && !m_program.done && runStop == RunStopRun) {
        startProgram();
    }
    runProgram(seconds);
    if (m_program.active || m_program.done)
        m_registers[SvReg] = static_cast<quint16>(std::lround(m_program.sv));
    const double sv = static_cast<qint16>(reg(SvReg));

    double target = restValue();
    double lag = DriftLagSeconds;
    if (!running) {
        m_registers[Out1Reg] = 0;
        m_registers[Out2Reg] = 0;
    } else if (mode == ModeManual) {
        const int heatCool = reg(HeatCoolReg);
        const double out1 = reg(Out1Reg) / 10.0;
        const double out2 = reg(Out2Reg) / 10.0;
        const double heat = (heatCool & 1) ? (heatCool >= 2 ? out2 : 0) : out1;
        const double cool = (heatCool & 1) ? out1 : (heatCool >= 2 ? out2 : 0);
        target = restValue() + (heat - cool) * 4.0 * unitsPerDegree();
        lag = ControlLagSeconds;
    } else {
        updateOutputs(sv);
        target = sv;
        lag = ControlLagSeconds;
    }
    m_pv += (target - m_pv) * (1.0 - std::exp(-seconds / lag));
    // Keep the value clear of the status-code range (high byte 0x80).
    m_pv = std::clamp(m_pv, -19999.0, 32000.0);
    m_registers[PvReg] = static_cast<quint16>(static_cast<qint16>(std::lround(m_pv)));

    const Program &p = m_program;
    m_registers[ProgramFlagReg] = p.active ? 1 : 0;
    if (p.active) {
        const int k = p.pattern * 8 + p.step;
        const double left = std::max(0.0, reg(StepReg + 2 * k + 1) * 60.0 - p.elapsed);
        const int secondsLeft = static_cast<int>(std::ceil(left));
        m_registers[SecondsLeftReg] = static_cast<quint16>(std::min(secondsLeft, 0xFFFF));
        m_registers[MinutesLeftReg] = static_cast<quint16>(secondsLeft / 60);
        m_registers[CurrentStepReg] = static_cast<quint16>(p.step);
        m_registers[CurrentPatternReg] = static_cast<quint16>(p.pattern);
    } else {
        m_registers[SecondsLeftReg] = 0;
        m_registers[MinutesLeftReg] = 0;
    }
    updateAlarms(sv);
    updateStatus();
}
