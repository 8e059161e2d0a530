#include "monitor/pollreplies.h"

#include "link/valueformat.h"
#include "setup/parameterimage.h"
#include "setup/registermap.h"

namespace {

int signExtend(int word)
{
    return word >= 0x8000 ? word - 0x10000 : word;
}

} // namespace

PollEffects DecodePollReply(PollStep step, const QList<quint16> &w, const PollContext &context,
                            SlotState &slot, SlotPanel &panel)
{
    auto word = [&w](int i) { return i < w.size() ? int(w.at(i)) : 0; };
    const bool selected = context.selected;
    const bool image = selected && !context.paramsFromFile;
    PollEffects fx;

    switch (step) {
    case PollStep::Identification: {
        if (word(1) != IdentificationValue) {
            fx.notAController = true;
            return fx;
        }
        fx.readOutputMode = true;
        const int cls = ClassOfModel(word(2));
        if (cls)
            slot.DeviceModel = cls;
        slot.idModel = NormalizedModelCode(word(2));
        slot.id1 = word(0);
        slot.id2 = word(3);
        if (selected) {
            fx.imageEntries = {{ParameterImage::ModelEntry, NormalizedModelCode(word(2))},
                               {ParameterImage::Identification2Entry, word(3)},
                               {ParameterImage::Identification1Entry, word(0)}};
        }
        panel.modelClass = slot.DeviceModel;
        panel.modelCode = word(2);
        panel.visible = true;
        break;
    }
    case PollStep::Status: {
        slot.DecimalPlaces = word(0);
        if (image)
            fx.imageEntries = {{ParameterImage::entryOfRegister(Reg::DecimalPoint), word(0)}};
        slot.OnlineConfig = word(1) != 0;
        panel.lamps = StatusLamps(word(3), slot.DeviceModel);
        // Auto-tuning that starts or ends, or a controller whose setup
        // changed at its front, asks for the setup again.
        if (selected && slot.autoTuning != -1 && word(2) != slot.autoTuning)
            fx.paramsStale = true;
        slot.autoTuning = word(2);
        if (!(word(4) & 1) && selected)
            fx.paramsStale = true;
        if (image)
            fx.firmware = quint16(word(5));
        slot.ProgramDisplay = word(6) == 1;
        break;
    }
    case PollStep::Outputs: {
        const OutputAssignment a = OutputAssignmentOf(word(0));
        panel.outLabel1 = a.label1;
        panel.outLabel2 = a.label2;
        panel.outQty1Color = a.bar1;
        panel.outQty2Color = a.bar2;
        panel.outRow1Visible = true;
        panel.outRow2Visible = a.secondRow;
        fx.readOutputMode = false;
        break;
    }
    case PollStep::ProgramDisplay: {
        const ProgramText t =
            ProgramDisplayText(w, slot.lastSv, slot.DecimalPlaces, context.linearInput);
        panel.svText = t.text;
        panel.svTimeDisplay = t.timeDisplay;
        if (selected)
            slot.programDisplayMode = word(0);
        break;
    }
    case PollStep::Events: {
        const bool e1 = word(0) & EventInput1Bit;
        const bool e2 = word(0) & EventInput2Bit;
        if (e1 != slot.EventFlag1 || e2 != slot.EventFlag2)
            fx.paramsStale = true;
        slot.EventFlag1 = panel.event1 = e1;
        slot.EventFlag2 = panel.event2 = e2;
        break;
    }
    case PollStep::ProcessValues: {
        if (image)
            for (int i = 1; i <= 3; ++i)
                fx.imageEntries.append({i, word(i)});
        int pv = word(0);
        const auto code = PvStatusCode(pv);
        panel.pvStatus = code.has_value();
        if (code) {
            panel.pvText = PvStatusText(*code);
            fx.paramsStale = PvStatusAsksReread(*code);
            pv = 0; // the trend samples 0 while a status is shown
        } else {
            panel.pvText = ScaledFormat(pv, slot.DecimalPlaces, context.linearInput);
        }
        slot.output1 = word(2);
        slot.output2 = word(3);
        slot.lastSv = signExtend(word(1));
        slot.lastPv = signExtend(pv);
        if (!slot.ProgramDisplay) {
            panel.svText = ScaledFormat(word(1), slot.DecimalPlaces, context.linearInput);
            panel.svTimeDisplay = false;
        }
        panel.outQty1 = qBound(0, word(2), 1000);
        panel.outQty2 = qBound(0, word(3), 1000);
        break;
    }
    default:
        return fx;
    }
    panel.runLed = MonitorColor::Green;
    return fx;
}
