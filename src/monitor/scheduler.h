#pragma once

#include "monitor/monitorstate.h"

#include <QList>
#include <array>

// What the monitor engine sends next, decided from its records alone: one
// function, no line, no clock of its own. The engine fills the records, asks,
// and carries the decision out; nothing else sends.
//
// The rules:
// - The second half of an unlock pair goes first, whatever else waits, so
//   that the controller takes the write while it is unlocked.
// - A slot is healthy while it is identified and its last exchange was
//   answered. The polling cycle runs over the healthy slots only.
// - After a failed exchange every healthy slot is owed an exchange, and so is
//   one not asked lately: until each has had one, nothing goes to a slot that
//   is not healthy. So one controller that does not answer costs the others
//   one reply window, never more.
// - Single writes go before jobs and polls, in the order committed; one for
//   a slot that may not be asked yet lets those of other slots pass.
// - But outside jobs, a slot that answers and is overdue (owed since a
//   failed exchange, or not asked for a second) is asked before anything
//   else, the one that has waited longest first: by a write of its own
//   when one waits, else by the cycle when the cycle is at it, else by a
//   poll of its process values. A queue of writes, a failing controller or
//   a late reply never keep a controller that answers unasked for longer
//   than one failed reply window and a poll.
// - The job in hand runs in place of the polling while its slot may be asked.
// - A slot that is not healthy (not identified yet, or failing) is probed by
//   its identification read: one probe at each end of the healthy cycle, in
//   turn, or one after another when no slot is healthy.
// - While the cycle reads the selected controller's setup, a slot owed its
//   turn gets a poll of its process values first; and so it does whenever
//   nothing else may go (the cycle at a slot that fails, work for it only).
// - A slot whose last request timed out is not asked again until its guard
//   has passed: a late reply to the old request must not be taken for the
//   answer to a new one. Other slots are asked meanwhile.
// - Work whose reply could be taken for a late reply to an earlier request
//   (the engine finds that when it makes the frame, and records it) waits
//   for the answer to a read of another shape to that slot, which goes
//   first, as soon as the slot may be asked.
namespace Scheduler {

struct SlotRecord
{
    bool polled = false; // connected and taking part in the cycle
    bool healthy = false; // identified, and its last exchange was answered
    bool owed = false; // healthy, and not asked since the last failed exchange or lately
    bool guarded = false; // a late reply may still come: not asked yet
    // Owed since a failed exchange, or not asked for a second: asked before
    // single writes to other slots.
    bool overdue = false;
    qint64 askedAt = 0; // when it was last asked, in the line's ms
    // A reply of it may still come late: asking it may cost a reply window,
    // so it waits while another is owed its turn, as a failing slot does.
    bool inDoubt = false;
    // Work for it waits for the answer to a read of another shape.
    bool otherShapeFirst = false;
};

struct Records
{
    std::array<SlotRecord, SlotCount + 1> slot {}; // [1] .. [4]
    // The slot of the second half of an unlock pair (a single write's or the
    // job's), 0 for none.
    int pairSlot = 0;
    bool pairIsJob = false;
    int pairIndex = 0; // a single write's place in the queue
    // The slot of each single write, in the order they go; a write that must
    // wait for an earlier one to the same address is left out.
    QList<int> singleSlots;
    // The slot of the job in hand: -1 for none, 0 for a broadcast.
    int jobSlot = -1;
    // The slot the polling cycle asks next (a poll or a setup block); 0 when
    // the cycle has nobody to ask.
    int cycleSlot = 0;
    bool cycleReadsSetup = false; // the cycle is in the selected slot's setup read
    // The healthy cycle came round since the last probe.
    bool probeDue = false;
    // The slot probed last, for taking turns.
    int lastProbe = 0;
};

enum class Next {
    Nothing, // nothing may go now (guards, or no work)
    Pair, // the write after its echoed unlock
    Single, // the single write at `index`
    Job, // the job's next item or block
    Probe, // the identification read of `slot`
    Owed, // the process values of `slot`, out of the cycle's order
    OtherShape, // a read of `slot` whose reply cannot be taken for a late one
    Cycle, // the polling cycle's next request
};

struct Decision
{
    Next next = Next::Nothing;
    int slot = 0;
    int index = 0;
    bool operator==(const Decision &) const = default;
};

Decision decide(const Records &r);

} // namespace Scheduler
