#include "sim/simregisters.h"

#include <algorithm>

bool SimRegister::accepts(int value) const
{
    if (!allowed.isEmpty())
        return allowed.contains(value);
    return value >= minValue && value <= maxValue && !holes.contains(value);
}

namespace {

using A = SimAccess;

constexpr quint16 neg(int v)
{
    return static_cast<quint16>(v & 0xFFFF);
}

SimRegister rw(int address, quint16 factory, int maxValue = 0xFFFF)
{
    return SimRegister {address, factory, A::ReadWrite, 0, maxValue, {}, {}};
}

SimRegister ro(int address, quint16 factory = 0)
{
    return SimRegister {address, factory, A::ReadOnly, 0, 0xFFFF, {}, {}};
}

SimRegister unlocked(int address, quint16 factory, int maxValue = 0xFFFF)
{
    return SimRegister {address, factory, A::Unlock, 0, maxValue, {}, {}};
}

// The factory values, all in one place. A K-type thermocouple controller in
// degrees C with one decimal, in PID mode, running, heating on output 1 with
// a relay, set to 100.0 C; alarm 1 watches 4.0 C above the set value. On-line
// configuration is enabled so that a configuration program can write at once.
// Pattern 0 of the ramp/soak program holds a short example (ramp to 100.0 in
// 10 minutes, soak 20 minutes, down to 50.0 in 10 minutes); the other
// patterns are empty and end the program.
QList<SimRegister> build()
{
    QList<SimRegister> t;
    t << ro(0x4700, 250); // process value 25.0
    t << rw(0x4701, 1000); // set value 100.0
    t << rw(0x4702, 0, 1000) << rw(0x4703, 0, 1000); // output levels, 0.1 %
    t << rw(0x4704, 13000) << rw(0x4705, neg(-2000)); // range 1300.0 .. -200.0
    t << rw(0x4706, 40) << rw(0x4707, 40); // alarm 1 high / low: 4.0
    t << rw(0x4708, 40) << rw(0x4709, 40) << rw(0x470A, 40) << rw(0x470B, 40);
    t << rw(0x470C, 476); // proportional band 47.6
    t << rw(0x470D, 260) << rw(0x470E, 41); // integral 260 s, derivative 41 s
    t << rw(0x470F, 0) << rw(0x4710, 0); // integral offset, PD offset
    t << rw(0x4711, 100); // P coefficient 1.00
    t << rw(0x4712, 0); // dead band
    t << rw(0x4713, 0) << rw(0x4714, 0); // hysteresis
    t << rw(0x4715, 0) << rw(0x4716, 0); // analog output adjustments
    t << rw(0x4717, 1); // on-line configuration word, bit 0
    t << rw(0x4718, 0, 17); // input type K
    t << rw(0x4719, 0, 3); // control mode PID
    t << rw(0x471A, 0, 3); // heating
    t << rw(0x471B, 20) << rw(0x471C, 20); // control periods, seconds
    t << rw(0x471D, 0); // input offset
    t << SimRegister {0x471E, 0, A::ReadWrite, 0, 0, {0, 1, 0x0B}, {}}; // key lock
    t << rw(0x471F, 0, 3); // system alarm
    SimRegister alarm = rw(0x4720, 2, 18); // alarm 1 mode: upper limit
    alarm.holes = {13};
    t << alarm;
    alarm.address = 0x4721;
    alarm.factory = 0;
    t << alarm;
    alarm.address = 0x4722;
    t << alarm;
    t << rw(0x4723, 1, 3); // run
    t << rw(0x4724, 1, 3); // unit C
    t << rw(0x4725, 1, 3); // decimal point position 1
    t << rw(0x4726, 1, 1); // on-line configuration in force
    t << rw(0x4727, 0, 1); // auto-tuning
    t << ro(0x4728) << ro(0x4729, 1);
    t << SimRegister {0x472A, Sim::FirmwareVersion, A::KeyRegister, 0, 0, {Sim::CommandKey}, {}};
    t << ro(0x472B);
    // 0x472C, 0x472E and 0x472F are reserved and read as zero, so that the
    // status area 0x4725 to 0x472F reads as one block.
    t << ro(0x472C) << ro(0x472D) << ro(0x472E) << ro(0x472F);
    t << unlocked(0x4730, 0, 5) << unlocked(0x4731, 0, 2); // output types: relay
    // Factory adjustments as measured at calibration.
    t << unlocked(0x4732, 3) << unlocked(0x4733, neg(-12)) << unlocked(0x4734, 5)
      << unlocked(0x4735, 8) << unlocked(0x4736, neg(-4)) << unlocked(0x4737, 2)
      << unlocked(0x4738, neg(-6));
    t << ro(0x4744, 0x2013) << ro(0x4745, Sim::IdentificationWord) << ro(0x4746, Sim::DefaultModel)
      << ro(0x4747, 0x0001);
    t << SimRegister {Sim::RestoreRegister, 0, A::Command, 0, 0, {Sim::CommandKey}, {}};
    t << SimRegister {Sim::ClearAdjustRegister, 0, A::Command, 0, 0, {Sim::CommandKey}, {}};
    t << rw(0x4756, 0, 4); // PID group, also at 0x101C
    t << rw(0x475F, 1000); // its target SV, also at 0x101D
    t << rw(0x4762, 0, 2); // program display
    t << ro(0x4763) << ro(0x4764) << ro(0x4765) << ro(0x4766); // running program
    t << rw(0x4767, 0, 7); // start pattern
    for (int p = 0; p < 8; ++p)
        t << rw(0x4768 + p, p == 0 ? 2 : 0, 7); // last step
    for (int p = 0; p < 8; ++p)
        t << rw(0x4770 + p, 0, 99); // additional cycles
    for (int p = 0; p < 8; ++p)
        t << rw(0x4778 + p, 8, 8); // next pattern: program end
    const int example[3][2] = {{1000, 10}, {1000, 20}, {500, 10}};
    for (int k = 0; k < 64; ++k) {
        const bool inExample = k < 3;
        t << rw(0x4780 + 2 * k, inExample ? example[k][0] : 0); // set value, 0.1
        t << rw(0x4781 + 2 * k, inExample ? example[k][1] : 0, 900); // minutes
    }
    t << rw(0x101C, 0, 4) << rw(0x101D, 1000);
    std::sort(t.begin(), t.end(),
              [](const SimRegister &a, const SimRegister &b) { return a.address < b.address; });
    return t;
}

} // namespace

const QList<SimRegister> &SimRegisterTable()
{
    static const QList<SimRegister> table = build();
    return table;
}

const SimRegister *FindSimRegister(int address)
{
    const QList<SimRegister> &t = SimRegisterTable();
    const auto it = std::lower_bound(t.cbegin(), t.cend(), address,
                                     [](const SimRegister &r, int a) { return r.address < a; });
    return (it != t.cend() && it->address == address) ? &*it : nullptr;
}
