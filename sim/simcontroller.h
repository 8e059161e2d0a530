#pragma once

#include <QByteArray>
#include <QString>

#include <map>
#include <optional>

// One simulated controller: its registers, the rules by which it takes
// requests, and a plausible process: the process value follows the set value
// with a first-order lag while running, drifts back to 25.0 when stopped,
// follows the output levels in manual mode, and a ramp/soak program runs
// through its patterns and steps.
class SimController
{
public:
    // What the controller answers to one request.
    struct Answer
    {
        bool reply = false; // false: nothing is sent (broadcast)
        int function = 0; // function byte of the reply (with 0x80 for an exception)
        QByteArray data; // data after the function byte
        QString text; // what was answered, for the request log
    };

    // Modbus exception codes the controller sends.
    static constexpr int IllegalFunction = 0x01;
    static constexpr int IllegalAddress = 0x02;
    static constexpr int IllegalData = 0x03;
    static constexpr int Refused = 0x04; // read-only, on-line configuration off, not unlocked
    static constexpr int TooFewData = 0x0C;
    static constexpr int TooManyData = 0x0D;

    // Time constants of the process, in simulated seconds.
    static constexpr double ControlLagSeconds = 20.0;
    static constexpr double DriftLagSeconds = 60.0;
    static constexpr double AutoTuningSeconds = 60.0;

    SimController(int address, int modelCode);

    int address() const { return m_address; }
    void setAddress(int address) { m_address = address; }
    int modelCode() const { return m_registers.at(0x4746); }

    // One request (function and the data after the function byte). A
    // broadcast is applied like any write but never answered.
    Answer handle(int function, const QByteArray &data, bool broadcast = false);

    bool exists(int reg) const;
    // The register's current value as a read would see it.
    quint16 value(int reg) const;
    // Sets a register as the front panel would, bypassing the write rules
    // (read-only registers included); keeps the mirrored registers in step
    // and, for a setup register, clears bit 0 of 0x4729. False when the
    // register does not exist.
    bool set(int reg, quint16 value);

    // A status code (0 to 15) shown in the process value instead of the
    // value, or none.
    void setPvStatus(std::optional<int> code) { m_pvStatus = code; }
    void setEventInput(int input, bool on);

    // Advances the process by the given simulated time.
    void advance(double seconds);

    // The process value as the controller holds it internally (register units).
    double processValue() const { return m_pv; }
    bool programRunning() const { return m_program.active; }

private:
    struct Program
    {
        bool active = false;
        bool done = false;
        int pattern = 0;
        int step = 0;
        int cyclesLeft = 0;
        double elapsed = 0; // seconds into the current step
        double startSv = 0; // set value at the start of the step
        double sv = 0; // the program's current set value
        // Going round a loop whose patterns hold no time, for ever.
        bool holding = false;
        // The patterns entered since the last step that held time ended.
        bool enteredIdle[8] = {};
    };

    Answer read(const QByteArray &data);
    Answer write(const QByteArray &data, bool keyArmed, bool broadcast);
    static Answer exception(int function, int code, const QString &why);
    int checkWrite(int reg, int value, bool keyArmed, QString *why) const;
    void store(int reg, quint16 value);
    void restoreFactory();
    void clearAdjustments();

    int reg(int r) const { return m_registers.at(r); }
    qint16 signedReg(int r) const { return static_cast<qint16>(m_registers.at(r)); }
    double unitsPerDegree() const;
    double restValue() const;
    void runProgram(double seconds);
    void startProgram();
    int programPassMinutes(int pattern) const;
    double programStepSv(int k) const;
    void updateOutputs(double sv);
    void updateAlarms(double sv);
    void updateStatus();

    int m_address;
    std::map<int, quint16> m_registers;
    std::optional<int> m_pvStatus;
    bool m_keyArmed = false; // the previous request wrote the key to 0x472A
    double m_pv = 250;
    double m_atElapsed = 0;
    bool m_onOffHeat = false;
    bool m_onOffCool = false;
    bool m_alarm[3] = {false, false, false};
    bool m_standbyArmed[3] = {false, false, false};
    int m_lastRunStop = -1;
    int m_lastMode = -1;
    Program m_program;
};
