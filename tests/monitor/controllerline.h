#pragma once

// Simulated controllers on a line played by the test, with the test's clock:
// every frame the engine sends is taken by the controllers of the simulator
// (in process, no pseudo-terminal), answered after the time the line needs
// at its bit rate, and logged. Faults are the test's to set per address.

#include "app/comsettings.h"
#include "link/framing.h"
#include "monitor/monitorengine.h"
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
        Delay, // the reply comes `delayMs` late, within the reply window
        WrongAddress, // the reply comes from address + 100
    };

    // One frame that went out, as the line saw it.
    struct Request
    {
        qint64 ms = 0;
        int address = 0;
        int function = 0;
        int reg = 0;
        int value = 0; // a write's value, a read's count
        bool answered = false; // a good reply (an echo, the words) was delivered
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

    explicit ControllerLine(ModbusMode mode = ModbusMode::Ascii)
    {
        settings.select(ComSettings::ModBus, mode == ModbusMode::Rtu ? 1 : 0);
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
        const QByteArray frame = line.sent.at(taken++);
        const Framing &f = framing();
        const UnwrappedFrame u = f.unwrap(frame);
        pass(frame.size() * charMs());
        if (!u.checksumOk || u.data.size() != 4)
            return;
        Request r;
        r.ms = line.now();
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
        QByteArray bytes = f.wrap(reply);
        if (fx == Fault::BadChecksum)
            bytes[bytes.size() - (settings.lineSettings().framing == ModbusMode::Ascii ? 3 : 1)] ^=
                0x01;
        const bool good = fx == Fault::None || fx == Fault::Delay;
        pass(2 + bytes.size() * charMs() + (fx == Fault::Delay ? delayMs : 0));
        // The engine may have given up meanwhile (the line's device lost).
        if (taken == line.sent.size()) {
            log.last().answered = good && !(reply.function & FnExceptionFlag);
            line.receive(bytes);
        }
    }
    Fault fault(int address) const
    {
        const auto it = faults.find(address);
        return it == faults.end() ? Fault::None : it->second;
    }

    double m_owed = 0;
};
