#pragma once

#include "link/errortexts.h"
#include "link/framing.h"
#include "setup/parameterimage.h"
#include "setup/registermap.h"
#include "setup/registerwrite.h"

#include <QList>
#include <QString>
#include <functional>

// The work the monitor engine has been given, each piece a record of its
// own: the exchange on the line, the single writes in commit order, and the
// jobs (batches and reads) with one outcome per item.

// What the exchange on the line serves.
enum class Serves {
    Poll, // a polling step (0 to 5) of one slot
    Probe, // a poll outside the cycle: a probe of a slot that fails, or a turn owed
    SetupBlock, // a block of the selected slot's setup read (steps 6 to 13)
    SingleUnlock, // the unlock write before a single write
    SingleWrite,
    JobUnlock, // the unlock write before a batch item
    JobWrite, // a batch item
    JobRead, // a block of a program read or of another slot's setup read
};

// The exchange in flight: what was sent, where, for what, and its attempt.
// A reply is judged against this record alone.
struct Exchange
{
    Serves serves = Serves::Poll;
    int slot = 0; // the slot it is charged to; 0 for a broadcast
    int address = 0;
    QByteArray frame; // as it went on the line
    int step = 0; // Poll, SetupBlock: the step
    quint64 work = 0; // the single write or job it belongs to
    int item = 0; // the job's item or block
    qint64 sentMs = 0; // when it went out, in the line's ms
    bool broadcast() const { return address == 0; }
};

// How one write of a batch, or a single write, ended.
enum class WriteOutcome {
    Waiting, // not ended yet
    Written, // echoed by its controller (a broadcast: sent)
    Refused, // an exception, or an echo that differs
    NoAnswer, // no good reply within its attempts
    NotSent, // never sent: its controller was lost, or the work ended first
};

// A single write committed by the user, queued until its controller echoes
// it or it ends otherwise.
struct SingleWrite
{
    quint64 id = 0;
    int slot = 0; // fixed when committed
    int address = 0;
    RegisterWrite write;
    bool unlocked = false; // its unlock was echoed: the write goes next
    bool sent = false; // at least one frame of it went out
    int failures = 0; // attempts that got no good reply
};

// What became of a single write.
struct SingleWriteReport
{
    int address = 0;
    int reg = 0;
    int value = 0;
    WriteOutcome outcome = WriteOutcome::Waiting;
    TransactionResult error; // of a refusal
    QString why; // for the user: why it was not written; empty when written
};

enum class JobKind {
    WriteAll, // the parameter batch to one controller
    BroadcastWriteAll, // the parameter batch to address 0: nothing answers
    ProgramWrite,
    ProgramRead,
    SetupReadOf, // another slot's setup into an image of its own
};

// A batch or a read, fixed to its slot and address when asked for.
struct Job
{
    quint64 id = 0;
    JobKind kind = JobKind::WriteAll;
    int slot = 0;
    int address = 0;
    // A write batch: its items and one outcome each.
    QList<RegisterWrite> items;
    QList<WriteOutcome> outcomes;
    // A read: its blocks.
    QList<ReadBlock> blocks;
    int next = 0; // the item or block in hand
    bool unlocked = false; // the item in hand's unlock was echoed
    int sentItem = -1; // the last item a frame of which went out
    int failures = 0; // failed attempts of the item or block in hand
    ParameterImage image; // SetupReadOf
    std::function<void(bool ok, const ParameterImage &image)> done; // SetupReadOf
    bool started = false;

    bool writes() const { return kind != JobKind::ProgramRead && kind != JobKind::SetupReadOf; }
    bool broadcast() const { return kind == JobKind::BroadcastWriteAll; }
    int count() const { return int(writes() ? items.size() : blocks.size()); }
};
