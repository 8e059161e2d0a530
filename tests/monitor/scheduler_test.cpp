// The scheduler's rules, driven over its records without a line.
#include "monitor/latereplies.h"
#include "monitor/scheduler.h"

#include <gtest/gtest.h>

namespace {

using namespace Scheduler;

// Slot records from letters, slot 1 first: H healthy, O healthy and owed,
// D healthy, owed and overdue, F failing or not identified, G failing and
// guarded, h healthy and guarded, - not connected.
Records slotsOf(const char *letters)
{
    Records r;
    for (int n = 1; n <= SlotCount; ++n) {
        SlotRecord &s = r.slot[size_t(n)];
        const char c = letters[n - 1];
        s.polled = c != '-';
        s.healthy = c == 'H' || c == 'O' || c == 'D' || c == 'h';
        s.owed = c == 'O' || c == 'D';
        s.overdue = c == 'D';
        s.guarded = c == 'G' || c == 'h';
    }
    return r;
}

TEST(Scheduler, AfterAFailureEveryControllerThatAnswersGoesFirst)
{
    struct Case
    {
        const char *text;
        QList<int> singles;
        int job;
        bool probeDue;
        int cycle;
        Decision expected;
    };
    const Case cases[] = {
        // One controller answers among three empty slots: its cycle goes on
        // while it is owed; the probe waits.
        {"OFFF", {}, -1, true, 1, {Next::Cycle, 1, 0}},
        {"HFFF", {}, -1, true, 1, {Next::Probe, 2, 0}},
        {"HFFF", {}, -1, false, 1, {Next::Cycle, 1, 0}},
        // A write queued for a silent controller waits for the others' turn,
        // and lets a write to a controller that answers pass.
        {"OHF-", {3}, -1, false, 1, {Next::Cycle, 1, 0}},
        {"OHF-", {3, 2}, -1, false, 1, {Next::Single, 2, 1}},
        {"HHF-", {3, 2}, -1, false, 1, {Next::Single, 3, 0}},
        // An overdue controller is asked before anything else: by a write
        // of its own, by the cycle when it is at it, else by a poll; but not
        // in place of a job's next item.
        {"DHF-", {3, 2}, -1, false, 2, {Next::Owed, 1, 0}},
        {"DHF-", {2, 1}, -1, false, 2, {Next::Single, 1, 1}},
        {"DHF-", {}, -1, true, 1, {Next::Cycle, 1, 0}},
        {"HDF-", {}, -1, true, 1, {Next::Owed, 2, 0}},
        {"DH--", {2}, 2, false, 2, {Next::Single, 2, 0}},
        // A job of a failing controller waits the same way; a broadcast
        // never does.
        {"OF--", {}, 2, true, 1, {Next::Cycle, 1, 0}},
        {"HF--", {}, 2, true, 1, {Next::Job, 2, 0}},
        {"OF--", {}, 0, true, 1, {Next::Job, 0, 0}},
        // The cycle at a failing slot and work for it only: the owed one
        // is polled all the same.
        {"OFF-", {2}, 3, false, 2, {Next::Owed, 1, 0}},
        // Nobody answers: the slots are probed one after another.
        {"FFFF", {}, -1, false, 0, {Next::Probe, 1, 0}},
        // A guard keeps its slot waiting, not the others.
        {"HG--", {2}, -1, true, 1, {Next::Cycle, 1, 0}},
        {"hF--", {}, -1, true, 1, {Next::Probe, 2, 0}},
        {"hG--", {}, -1, true, 1, {Next::Nothing, 0, 0}},
    };
    for (const Case &c : cases) {
        Records r = slotsOf(c.text);
        r.singleSlots = c.singles;
        r.jobSlot = c.job;
        r.probeDue = c.probeDue;
        r.cycleSlot = c.cycle;
        EXPECT_EQ(decide(r), c.expected) << c.text << " job " << c.job;
    }
    // The selected controller's setup read waits for the others' turn.
    Records r = slotsOf("OHO-");
    r.cycleSlot = 1;
    r.cycleReadsSetup = true;
    EXPECT_EQ(decide(r), (Decision {Next::Owed, 3, 0}));
    r.cycleReadsSetup = false;
    EXPECT_EQ(decide(r), (Decision {Next::Cycle, 1, 0}));
    // Work that must wait for a read of another shape: that read goes
    // first, once the slot may be asked.
    r = slotsOf("HHF-");
    r.cycleSlot = 1;
    r.singleSlots = {2};
    r.slot[2].otherShapeFirst = true;
    EXPECT_EQ(decide(r), (Decision {Next::OtherShape, 2, 0}));
    r.slot[2].guarded = true;
    EXPECT_EQ(decide(r), (Decision {Next::Cycle, 1, 0}));
    // Of two overdue controllers, the one that waited longest goes first.
    r = slotsOf("DHD-");
    r.cycleSlot = 2;
    r.slot[1].askedAt = 19534;
    r.slot[3].askedAt = 19339;
    EXPECT_EQ(decide(r), (Decision {Next::Owed, 3, 0}));
}

TEST(Scheduler, ProbesTakeTurns)
{
    Records r = slotsOf("HFFF");
    r.probeDue = true;
    r.cycleSlot = 1;
    QList<int> probed;
    for (int i = 0; i < 4; ++i) {
        const Decision d = decide(r);
        ASSERT_EQ(d.next, Next::Probe);
        probed << d.slot;
        r.lastProbe = d.slot;
    }
    EXPECT_EQ(probed, (QList<int> {2, 3, 4, 2}));
}

TEST(Scheduler, TheUnlocksWriteGoesNext)
{
    Records r = slotsOf("OHF-");
    r.singleSlots = {2, 1};
    r.cycleSlot = 1;
    r.pairSlot = 1;
    r.pairIndex = 1;
    EXPECT_EQ(decide(r), (Decision {Next::Pair, 1, 1}));
    r.pairIsJob = true;
    EXPECT_EQ(decide(r), (Decision {Next::Job, 1, 0}));
}

// Every combination of four slots' records, with work for each of them:
// nothing goes to a guarded slot, and nothing to a slot that does not
// answer while one that does is owed its turn.
TEST(Scheduler, NoDecisionBreaksTheFairnessRules)
{
    const char letters[] = "HODFGh-";
    for (int code = 0; code < 7 * 7 * 7 * 7; ++code) {
        char text[5] = {};
        for (int n = 0, c = code; n < 4; ++n, c /= 7)
            text[n] = letters[c % 7];
        for (int work = 0; work < 8; ++work) {
            Records r = slotsOf(text);
            r.probeDue = work & 1;
            if (work & 2)
                r.singleSlots = {3, 1};
            r.jobSlot = work & 4 ? 2 : -1;
            r.cycleSlot = 1;
            const Decision d = decide(r);
            if (d.next == Next::Nothing || d.slot == 0)
                continue;
            const SlotRecord &s = r.slot[size_t(d.slot)];
            bool owed = false;
            for (int n = 1; n <= SlotCount; ++n)
                owed = owed || (r.slot[size_t(n)].polled && r.slot[size_t(n)].owed);
            EXPECT_TRUE(s.polled) << text << " work " << work;
            EXPECT_FALSE(s.guarded) << text << " work " << work;
            EXPECT_TRUE(s.healthy || !owed) << text << " work " << work;
            // Outside jobs, nothing passes a slot that is overdue.
            bool overdue = false;
            for (int n = 1; n <= SlotCount; ++n)
                overdue = overdue ||
                    (r.slot[size_t(n)].overdue && !r.slot[size_t(n)].guarded);
            if (r.jobSlot < 0 && overdue) {
                EXPECT_TRUE(s.overdue) << text << " work " << work;
            }
        }
    }
}

} // namespace

// What may still come late, by address: a reply carries no register.
TEST(LateReplies, ARequestWaitsWhileAReplyOfItsShapeMayStillCome)
{
    const Framing &f = Framing::of(ModbusMode::Rtu);
    const QByteArray setupA = f.wrap(ReadRequest(1, 0x4713, 8));
    const QByteArray setupB = f.wrap(ReadRequest(1, 0x4704, 8));
    const QByteArray events = f.wrap(ReadRequest(1, 0x472D, 1));
    const QByteArray write = f.wrap(WriteRequest(1, 0x470D, 1001));
    LateReplies late;
    late.failed(1, setupA, 0);
    EXPECT_TRUE(late.confusable(f, 1, setupB)); // eight words too
    EXPECT_FALSE(late.confusable(f, 1, setupA)); // the same request again
    EXPECT_FALSE(late.confusable(f, 1, events));
    EXPECT_FALSE(late.confusable(f, 2, setupB)); // another controller
    // An eight-word reply may be setupA's; an exception to a read too.
    QByteArray words(17, '\0');
    words[0] = 16;
    EXPECT_TRUE(late.couldAnswer(f, 1, f.wrap({1, FnReadRegisters, words})));
    EXPECT_FALSE(late.couldAnswer(f, 1, f.wrap({1, FnReadRegisters, QByteArray("\x02\0\0", 3)})));
    EXPECT_TRUE(late.couldAnswer(f, 1, f.wrap({1, FnReadRegisters | FnExceptionFlag, "\x02"})));
    // Its own answer shows nothing; one of another shape shows the line
    // clear, as a controller answers in order.
    late.answered(f, 1, setupA);
    EXPECT_TRUE(late.confusable(f, 1, setupB));
    late.failed(1, write, 0);
    EXPECT_TRUE(late.confusable(f, 1, f.wrap(WriteRequest(1, 0x4711, 5))));
    late.answered(f, 1, events);
    EXPECT_FALSE(late.confusable(f, 1, setupB));
    EXPECT_FALSE(late.confusable(f, 1, f.wrap(WriteRequest(1, 0x4711, 5))));
    // Heard out by a guard: forgotten once it has passed, unless a new
    // doubt came meanwhile.
    late.failed(1, setupA, 0);
    late.hush(1, 1000);
    late.hush(1, 1500); // asked again meanwhile: not lengthened
    late.expire(1, 999);
    EXPECT_TRUE(late.confusable(f, 1, setupB));
    late.expire(1, 1000);
    EXPECT_FALSE(late.confusable(f, 1, setupB));
    late.failed(1, setupA, 0);
    late.hush(1, 2000);
    late.failed(1, setupA, 2500);
    late.expire(1, 3000);
    EXPECT_TRUE(late.confusable(f, 1, setupB));
    // Nothing comes later than a window and a guard after its request.
    late.age(4799, 2300);
    EXPECT_TRUE(late.confusable(f, 1, setupB));
    late.age(4800, 2300);
    EXPECT_FALSE(late.confusable(f, 1, setupB));
}
