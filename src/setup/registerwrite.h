#pragma once

#include <QList>
#include <QString>

// One register write of a batch (write-all, program write), with the
// unlock write before it when asked. `step` numbers the write within its
// batch's own count of steps (write-all: 0 to 40, some skipped); -1 when
// the batch counts its writes one by one.
struct RegisterWrite
{
    int reg = 0;
    int value = 0;
    bool unlock = false;
    int step = -1;
};

// How a batch of writes ended: run to its last item (complete) or stopped
// because its controller went away or the window closed, and the items its
// controller did not acknowledge (refused, unanswered, or never sent).
struct BatchWriteReport
{
    bool complete = true;
    int address = 0; // 0: the batch was a broadcast
    int slot = 0; // the configuration window's slot it was asked for
    QList<RegisterWrite> notWritten;
    QList<int> notWrittenItems; // their positions in the batch
    QString why; // why it stopped, for the user; empty when complete
};
