#pragma once

// Simulated controllers on a line played by the test, with the test's clock:
// every frame the engine sends is taken by the controllers of the simulator
// (in process, no pseudo-terminal), answered after the time the line needs
// at its bit rate, and logged. Faults are the test's to set per address.

#include "app/comsettings.h"
#include "link/framing.h"
#include "monitor/monitorengine.h"
#include "setup/parameterimage.h"
#include "setup/registermap.h"
#include "sim/simcontroller.h"

#include "fakeline.h"

#include <QCoreApplication>
#include <functional>
#include <map>

class ControllerLine
{
public:
    enum class Fault {
        None,
        Silent, // the request is lost
        BadChecksum, // the reply's last byte is damaged
        Exception, // exception 04 to every request, nothing applied
        ShortReply, // a read is answered with one register fewer (a whole frame)
        Delay, // the reply comes `delayMs` late (a text reply within its window)
        WrongAddress, // the reply comes from address + 100
        Late, // the reply comes `delayMs` after its reply window, whatever was sent since
        Bursts, // the reply comes in three pieces, a few characters apart
    };

    // One frame that went out, as the line saw it.
    struct Request
    {
        qint64 ms = 0; // when it was sent
        int address = 0;
        int function = 0;
        int reg = 0;
        int value = 0; // a write's value, a read's count
        bool answered = false; // a good reply (an echo, the words) was delivered
        qint64 answeredMs = 0; // when
    };

    ComSettings settings;
    FakeLine line;
    std::map<int, SimController> controllers; // by address
    std::map<int, Fault> faults;
    int delayMs = 150;
    QList<Request> log;
    qsizetype taken = 0; // frames of line.sent already handled
    // Called with each request as it reaches the line, before it is answered:
    // the test may act while the exchange is in flight.
    std::function<void(const Request &)> onRequest;
    // Called once the controller has carried a request out, before its reply
    // leaves.
    std::function<void(const Request &)> onApplied;

    explicit ControllerLine(ModbusMode mode = ModbusMode::Ascii, int baudIndex = 2)
    {
        settings.select(ComSettings::ModBus, mode == ModbusMode::Rtu ? 1 : 0);
        settings.select(ComSettings::ComBaudRate, baudIndex);
    }

    LineSettingsSource source()
    {
        return [this] { return settings.lineSettings(); };
    }
    const Framing &framing() const { return Framing::of(settings.lineSettings().framing); }
    double charMs() const { return CharacterMs(settings.lineSettings()); }

    SimController &add(int address, int model)
    {
        auto [it, inserted] = controllers.try_emplace(address, address, model);
        it->second.set(0x4726, 1); // on-line configuration on
        return it->second;
    }

    // Moves the clock on by `ms`, answering what the engine sends and firing
    // its timers; Timer1 ticks every 1000 ms of the test's clock.
    void run(MonitorEngine &engine, qint64 ms)
    {
        const qint64 until = line.now() + ms;
        while (line.now() < until) {
            QCoreApplication::processEvents();
            if (deliverLate())
                continue;
            if (taken < line.sent.size()) {
                answerNext();
                continue;
            }
            tick(engine, 1);
        }
    }
    // Runs until `done` holds, at most `ms`; true when it does.
    template<class F>
    bool runUntil(MonitorEngine &engine, F done, qint64 ms = 60000)
    {
        const qint64 until = line.now() + ms;
        while (!done() && line.now() < until)
            run(engine, 1);
        return done();
    }

    // Requests to `address` (-1: all) of `function` (0: all), as "W470D=1001",
    // "R4744x4".
    QStringList requests(int address = -1, int from = 0) const
    {
        QStringList out;
        for (qsizetype i = from; i < log.size(); ++i) {
            const Request &r = log.at(i);
            if (address >= 0 && r.address != address)
                continue;
            const QString at = address < 0 ? QStringLiteral("%1:").arg(r.address) : QString();
            out << at +
                    (r.function == FnWriteRegister
                         ? QStringLiteral("W%1=%2").arg(r.reg, 4, 16, QLatin1Char('0')).arg(r.value)
                         : QStringLiteral("R%1x%2")
                               .arg(r.reg, 4, 16, QLatin1Char('0'))
                               .arg(r.value))
                        .toUpper()
                        .replace(QLatin1Char('X'), QLatin1Char('x'));
        }
        return out;
    }

private:
    void tick(MonitorEngine &engine, int ms)
    {
        const qint64 before = line.now() / 1000;
        line.advance(ms);
        if (line.now() / 1000 != before)
            engine.Timer1Timer();
    }
    void pass(double ms)
    {
        m_owed += ms;
        const int whole = int(m_owed);
        m_owed -= whole;
        if (whole > 0)
            line.advance(whole);
    }

    void answerNext()
    {
        const qint64 sentMs = line.sentAt.value(taken, line.now());
        const QByteArray frame = line.sent.at(taken++);
        const Framing &f = framing();
        const UnwrappedFrame u = f.unwrap(frame);
        pass(frame.size() * charMs());
        if (!u.checksumOk || u.data.size() != 4)
            return;
        Request r;
        r.ms = sentMs;
        r.address = u.address;
        r.function = u.function;
        r.reg = (quint8(u.data.at(0)) << 8) | quint8(u.data.at(1));
        r.value = (quint8(u.data.at(2)) << 8) | quint8(u.data.at(3));
        log.append(r);
        if (onRequest)
            onRequest(r);
        if (u.address == 0) {
            for (auto &[address, c] : controllers)
                if (fault(address) != Fault::Silent)
                    c.handle(u.function, u.data, true);
            return;
        }
        auto it = controllers.find(u.address);
        const Fault fx = fault(u.address);
        if (it == controllers.end() || fx == Fault::Silent)
            return;
        ModbusRequest reply {u.address, 0, {}};
        if (fx == Fault::Exception) {
            reply.function = u.function | FnExceptionFlag;
            reply.data = QByteArray(1, char(SimController::Refused));
        } else {
            const SimController::Answer a = it->second.handle(u.function, u.data);
            if (!a.reply)
                return;
            reply.function = a.function;
            reply.data = a.data;
            if (fx == Fault::ShortReply && a.function == FnReadRegisters &&
                reply.data.size() >= 3) {
                reply.data.chop(2);
                reply.data[0] = char(reply.data.size() - 1);
            }
        }
        if (fx == Fault::WrongAddress)
            reply.address = u.address + 100;
        if (onApplied)
            onApplied(r);
        QByteArray bytes = f.wrap(reply);
        if (fx == Fault::BadChecksum)
            bytes[bytes.size() - (settings.lineSettings().framing == ModbusMode::Ascii ? 3 : 1)] ^=
                0x01;
        // A short reply damages only reads.
        const bool good = fx == Fault::None || fx == Fault::Bursts ||
            (fx == Fault::ShortReply && u.function != FnReadRegisters);
        // A controller answers in order: behind a reply still on its way,
        // the next one waits its turn.
        qint64 behind = -1;
        for (const Pending &p : m_late)
            if (p.address == u.address)
                behind = std::max(behind, p.at);
        if (behind >= 0 && fx != Fault::Late && fx != Fault::Delay) {
            m_late.push_back({std::max(behind + 1, line.now() + qint64(2 + bytes.size() * charMs())),
                              log.size() - 1, bytes, good && !(reply.function & FnExceptionFlag),
                              u.address});
            return;
        }
        if (fx == Fault::Late || fx == Fault::Delay) {
            // Late: after the engine gave up on it, into the next exchange
            // or into the silence after the time-out. Delayed: a text reply
            // within its window (a binary one is late too). The line
            // meanwhile carries other exchanges.
            const qint64 window = fx == Fault::Late
                ? 55 * (framing().replyTicks(36, settings.lineSettings().baud) + 1)
                : 0;
            m_late.push_back({std::max(behind + 1, line.now() + qint64(2 + bytes.size() * charMs()) +
                                                   window + delayMs),
                              log.size() - 1, bytes, !(reply.function & FnExceptionFlag),
                              u.address});
            return;
        }
        if (fx == Fault::Bursts) {
            pass(2);
            const qsizetype third = bytes.size() / 3;
            const qsizetype entry = log.size() - 1;
            for (int piece = 0; piece < 3 && taken == line.sent.size(); ++piece) {
                const QByteArray part =
                    piece < 2 ? bytes.mid(piece * third, third) : bytes.mid(2 * third);
                pass(part.size() * charMs() + 3 * charMs());
                if (taken != line.sent.size())
                    break;
                if (piece == 2) {
                    log[entry].answered = !(reply.function & FnExceptionFlag);
                    log[entry].answeredMs = line.now();
                }
                line.receive(part);
            }
            return;
        }
        pass(2 + bytes.size() * charMs());
        // The engine may have given up meanwhile (the line's device lost).
        if (taken == line.sent.size()) {
            log.last().answered = good && !(reply.function & FnExceptionFlag);
            log.last().answeredMs = line.now();
            line.receive(bytes);
        }
    }
    // A late reply whose time has come leaves; true when one did.
    bool deliverLate()
    {
        for (auto it = m_late.begin(); it != m_late.end(); ++it) {
            if (it->at > line.now())
                continue;
            const Pending p = *it;
            m_late.erase(it);
            // Late, but the controller's own answer: a write's echo tells
            // that it took the value.
            log[p.entry].answered = p.good;
            log[p.entry].answeredMs = line.now();
            line.receive(p.bytes);
            return true;
        }
        return false;
    }
    Fault fault(int address) const
    {
        const auto it = faults.find(address);
        return it == faults.end() ? Fault::None : it->second;
    }

    double m_owed = 0;
    struct Pending
    {
        qint64 at;
        qsizetype entry; // in the log
        QByteArray bytes;
        bool good;
        int address;
    };
    QList<Pending> m_late; // late replies on their way
};

// Registers that tell the controllers' setups apart, one per setup block;
// no single write of these tests touches them.
inline const int Signatures[] = {0x4715, 0x4706, 0x470E, 0x471D, 0x4721, 0x101D};

inline void sign(SimController &c, int identity)
{
    const int values[] = {10, 100, 20, 5, 1, 300};
    for (int i = 0; i < 6; ++i)
        c.set(Signatures[i], quint16(values[i] + identity));
}

inline QList<int> signatureOf(const ParameterImage &image)
{
    QList<int> out;
    for (int reg : Signatures)
        out << image.at(ParameterImage::entryOfRegister(reg));
    return out;
}

inline QList<int> signatureOf(const SimController &c)
{
    QList<int> out;
    for (int reg : Signatures)
        out << c.value(reg);
    return out;
}

// A controller's setup as a parameter file holds it.
inline ParameterImage imageOf(const SimController &c)
{
    ParameterImage image;
    for (int reg = 0x4701; reg <= 0x4725; ++reg)
        if (const int e = ParameterImage::entryOfRegister(reg); e > 0)
            image[e] = c.value(reg);
    image[ParameterImage::entryOfRegister(0x101C)] = c.value(0x101C);
    image[ParameterImage::entryOfRegister(0x101D)] = c.value(0x101D);
    image[ParameterImage::ModelEntry] = c.modelCode();
    return image;
}

// The 153 program values, position by position: start pattern 1, last steps
// 7, cycles 2, next patterns 8, set values 100 + k tenths, times 10 minutes.
inline QList<RegisterWrite> programWrites()
{
    QList<RegisterWrite> out;
    for (int p = 0; p < ProgramReg::Count; ++p) {
        const int reg = ProgramReg::First + p;
        int value = 1;
        if (reg >= ProgramReg::StepBase)
            value = (reg - ProgramReg::StepBase) % 2 ? 10 : 100 + (reg - ProgramReg::StepBase) / 2;
        else if (reg >= ProgramReg::NextPatternBase)
            value = 8;
        else if (reg >= ProgramReg::CyclesBase)
            value = 2;
        else if (reg >= ProgramReg::LastStepBase)
            value = 7;
        out.append({reg, value, false, p});
    }
    return out;
}
