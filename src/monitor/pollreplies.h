#pragma once

#include "monitor/monitorstate.h"
#include "monitor/monitorview.h"

#include <QList>
#include <QPair>
#include <optional>

// What a reply to a polling step means beyond the slot's own model.
struct PollEffects
{
    bool notAController = false; // the identification failed: the slot is disconnected
    bool paramsStale = false; // the selected controller's setup must be read again
    std::optional<bool> readOutputMode; // the output step runs in the next cycle
    QList<QPair<int, qint32>> imageEntries; // entries of the selected controller's image
    std::optional<quint16> firmware; // the firmware word for the image
};

// Where the reply is taken: whether the slot is the selected one, whether
// the image holds a parameter file (then the controller does not overwrite
// it), and whether the selected controller's input is linear.
struct PollContext
{
    bool selected = false;
    bool paramsFromFile = false;
    bool linearInput = false;
};

// Decodes the reply to a polling step (0 to 5) into the slot's state and
// panel, without any other state.
PollEffects DecodePollReply(PollStep step, const QList<quint16> &words, const PollContext &context,
                            SlotState &slot, SlotPanel &panel);
