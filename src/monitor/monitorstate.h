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
    // The identification of the slot's controller was accepted since the
    // slot was connected or its address changed; until then the cycle asks
    // for it again and skips the slot's other steps.
    bool identified = false;
    // The identification words of the slot's controller, for the parameter
    // image while the slot is selected; idModel 0 before the first reply.
    int idModel = 0; // 0x4746, normalized
    int id1 = 0; // 0x4744
    int id2 = 0; // 0x4747
};

// The monitor window's engine record: per slot and per engine fields and
// flags through which the window's other parts meet the engine. The work the
// engine has been given (writes, transfers, reads of other slots) is not
// here: it is kept as records of its own (enginework.h).
struct MonitorState
{
    std::array<SlotState, SlotCount + 1> slot {}; // slot[1] .. slot[4]

    int PollStep = 0; // a PollStep by its number
    int PollDevice = 1; // slot of the current monitor step
    int SelectedDevice = 1; // slot whose setup is shown; target of setup reads and writes
    bool ApplyPending = false;
    bool ParamsStale = false;
    bool ReadOutputMode = true;
    // What the exchange in flight is, as the window's other parts may look
    // at it; the engine keeps the exchange itself as a record of its own.
    bool RequestOutstanding = false;
    int SlaveAddress = 0; // address of the request in flight
    QByteArray LastRequest; // the frame as it went on the line
    quint16 ReplyTicks = 36;
    quint16 ReplyTimer = 0;
    QList<quint16> ReplyWords; // the words of the last accepted read reply
    bool ParamsFromFile = false;
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
    SlotState &at(int n) { return slot[size_t(n)]; }
    const SlotState &at(int n) const { return slot[size_t(n)]; }
};
