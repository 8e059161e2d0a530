#pragma once

#include "link/errortexts.h"
#include "link/framing.h"

#include <QByteArray>
#include <QList>
#include <array>

constexpr int SlotCount = 4;

// The steps of a polling cycle, by their numbers; 6 to 13 read the selected
// controller's setup.
enum class PollStep : int {
    Identification = 0,
    Status = 1,
    Outputs = 2,
    ProgramDisplay = 3,
    Events = 4,
    ProcessValues = 5,
    FirstSetup = 6,
    LastSetup = 13,
};

// What the engine's requests serve, besides the writes of single
// parameters, which go before the next request whatever it serves.
enum class EngineWork {
    Polling, // the polling cycle and the setup read of the selected slot
    WriteAll, // the parameter batch to the selected controller
    BroadcastWriteAll, // the parameter batch to every controller, unanswered
    ProgramWrite, // the program batch to the selected controller
    ProgramReadRequested, // the program read starts after the next reply
    ProgramRead, // the program read of the selected controller
    SetupReadOtherRequested, // the setup read of another slot starts with the next request
    SetupReadOther, // the setup of another slot into an image of its own
};

// What the engine keeps per slot (index 1 to 4).
struct SlotState
{
    bool DeviceRequested = false; // connected by the user
    bool DeviceActive = false; // polled in the current cycle
    int DeviceAddress = 1;
    int DeviceModel = 0; // model class 1..4, 0 unknown
    int DecimalPlaces = 0;
    bool OnlineConfig = false;
    bool ProgramDisplay = false;
    bool EventFlag1 = false;
    bool EventFlag2 = false;
    int RequestCount = 0;
    int ErrorCount = 0;
    int TimeoutRun = 0;
    qint64 timeoutRunStart = 0; // line tick of the request that began the run

    // Kept for the panels and the setup view.
    int autoTuning = -1; // 0x4727 of the previous status reply; -1 before the first
    int lastSv = 0; // signed
    int lastPv = 0; // signed; 0 while a status code is shown
    int output1 = 0;
    int output2 = 0;
    int programDisplayMode = 0; // 0x4762 of the selected slot's last program reply
    int historyCount = 0; // samples in the slot's trend history
    // The identification words of the slot's controller, for the parameter
    // image while the slot is selected; idModel 0 before the first reply.
    int idModel = 0; // 0x4746, normalized
    int id1 = 0; // 0x4744
    int id2 = 0; // 0x4747
};

// The monitor window's engine record: per slot and per engine fields, flags
// and batch counters through which the window's other parts meet the engine.
struct MonitorState
{
    std::array<SlotState, SlotCount + 1> slot {}; // slot[1] .. slot[4]

    int PollStep = 0; // a PollStep by its number
    int PollDevice = 1; // slot of the current monitor step
    int SelectedDevice = 1; // slot whose setup is shown; target of setup reads and writes
    bool ApplyPending = false;
    bool ParamsStale = false;
    bool ReadOutputMode = true;
    bool RequestOutstanding = false;
    int SlaveAddress = 0; // address of the request in flight
    int RequestSlot = 1; // slot the request in flight is charged to
    QByteArray LastRequest; // the frame as it went on the line
    quint16 ReplyTicks = 36;
    quint16 ReplyTimer = 0;
    QList<quint16> ReplyWords;
    TransactionResult ErrorCode; // the result being reported
    ModbusRequest PendingWrite; // the write to send (address 0 broadcasts)
    bool UnlockPending = false;
    bool WritePending = false;
    int BatchCounter = 0;
    int BatchRetry = 0;
    // What the engine does besides polling; one thing at a time.
    EngineWork work = EngineWork::Polling;
    int ProgramReadStep = 0; // 0..4
    int ProgramStepCounter = 0; // step 4 reads the step values from 0x4780 + 2 * this
    bool ParamsFromFile = false;
    bool SaveToFilePending = false;
    bool SetupViewPending = false;
    bool ChartShown = false;

    // Number of requested slots; 0 means the engine is idle.
    int ConnectedCount() const
    {
        int n = 0;
        for (int i = 1; i <= SlotCount; ++i)
            n += slot[size_t(i)].DeviceRequested ? 1 : 0;
        return n;
    }
    bool WriteAll() const
    {
        return work == EngineWork::WriteAll || work == EngineWork::BroadcastWriteAll;
    }
    bool BroadcastWrite() const { return work == EngineWork::BroadcastWriteAll; }
    bool ProgramWriteActive() const { return work == EngineWork::ProgramWrite; }
    bool ProgramReadRequested() const { return work == EngineWork::ProgramReadRequested; }
    bool ProgramReadActive() const { return work == EngineWork::ProgramRead; }
    SlotState &at(int n) { return slot[size_t(n)]; }
    const SlotState &at(int n) const { return slot[size_t(n)]; }
};
