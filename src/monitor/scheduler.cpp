#include "monitor/scheduler.h"

namespace Scheduler {

Decision decide(const Records &r)
{
    bool owed = false;
    bool anyHealthy = false;
    for (int n = 1; n <= SlotCount; ++n) {
        const SlotRecord &s = r.slot[size_t(n)];
        owed = owed || (s.polled && s.owed);
        anyHealthy = anyHealthy || (s.polled && s.healthy);
    }
    // Whether slot n may be asked now; 0 is a broadcast, which nobody answers.
    auto mayAsk = [&](int n) {
        if (n == 0)
            return true;
        if (n < 1 || n > SlotCount)
            return false;
        const SlotRecord &s = r.slot[size_t(n)];
        return s.polled && !s.guarded && ((s.healthy && !s.inDoubt) || !owed);
    };

    // The unlock was just echoed: its write goes now, before anything else.
    const bool pairMayGo = r.pairSlot == 0 ||
        (r.slot[size_t(r.pairSlot)].polled && !r.slot[size_t(r.pairSlot)].guarded);
    if ((r.pairSlot || r.pairIsJob) && pairMayGo)
        return {r.pairIsJob ? Next::Job : Next::Pair, r.pairSlot, r.pairIsJob ? 0 : r.pairIndex};
    for (int n = 1; n <= SlotCount; ++n)
        if (r.slot[size_t(n)].otherShapeFirst && mayAsk(n))
            return {Next::OtherShape, n, 0};
    // Outside jobs, an overdue slot that answers goes before writes to
    // others.
    auto overdue = [&](int n) {
        if (n < 1 || n > SlotCount)
            return false;
        const SlotRecord &s = r.slot[size_t(n)];
        return s.polled && s.healthy && s.overdue && !s.guarded;
    };
    // The one that has waited longest goes first.
    int firstOverdue = 0;
    for (int n = 1; n <= SlotCount && r.jobSlot < 0; ++n)
        if (overdue(n) &&
            (!firstOverdue || r.slot[size_t(n)].askedAt < r.slot[size_t(firstOverdue)].askedAt))
            firstOverdue = n;
    if (firstOverdue) {
        for (int i = 0; i < r.singleSlots.size(); ++i)
            if (r.singleSlots.at(i) == firstOverdue)
                return {Next::Single, firstOverdue, i};
        if (r.cycleSlot == firstOverdue)
            return {Next::Cycle, firstOverdue, 0};
        return {Next::Owed, firstOverdue, 0};
    }
    for (int i = 0; i < r.singleSlots.size(); ++i)
        if (mayAsk(r.singleSlots.at(i)))
            return {Next::Single, r.singleSlots.at(i), i};
    if (r.jobSlot >= 0) {
        if (mayAsk(r.jobSlot))
            return {Next::Job, r.jobSlot, 0};
    }
    if (!owed && (r.probeDue || !anyHealthy)) {
        for (int k = 1; k <= SlotCount; ++k) {
            const int n = (r.lastProbe + k - 1) % SlotCount + 1;
            const SlotRecord &s = r.slot[size_t(n)];
            if (s.polled && !s.healthy && !s.guarded)
                return {Next::Probe, n, 0};
        }
    }
    if (r.cycleReadsSetup)
        for (int n = 1; n <= SlotCount; ++n) {
            const SlotRecord &s = r.slot[size_t(n)];
            if (n != r.cycleSlot && s.polled && s.healthy && s.owed && !s.guarded)
                return {Next::Owed, n, 0};
        }
    if (r.cycleSlot && mayAsk(r.cycleSlot))
        return {Next::Cycle, r.cycleSlot, 0};
    // Whatever waits, a slot owed its turn is never left waiting on it.
    for (int n = 1; n <= SlotCount; ++n) {
        const SlotRecord &s = r.slot[size_t(n)];
        if (s.polled && s.healthy && s.owed && !s.guarded)
            return {Next::Owed, n, 0};
    }
    return {};
}

} // namespace Scheduler
