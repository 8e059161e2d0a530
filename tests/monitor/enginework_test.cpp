// The engine's work when pieces of it overlap: edits during writes and
// transfers, transfers asked for with no controller or another one selected,
// controllers lost mid-transfer, saves right after a selection, replies that
// are not the one asked for, and one controller answering badly. Simulated
// controllers answer on a line played by the test, with the test's clock.
#include "controllerline.h"
#include "scripteddialogs.h"
#include "setup/writeall.h"

#include <QSet>
#include <gtest/gtest.h>

namespace {

class EngineWork : public ::testing::TestWithParam<ModbusMode>
{
protected:
    ScriptedDialogs dialogs;
    ControllerLine cl {GetParam()};
    MonitorEngine engine {cl.line, cl.source()};
    QList<SingleWriteReport> singles;
    QList<BatchWriteReport> batches;

    // Controllers at addresses 1..n (models 4824, 4848, ...), each with a
    // setup of its own, slots 1..n connected, slot 1 selected and read.
    void start(int n)
    {
        const int models[] = {0x4824, 0x4848, 0x4896, 0x9696};
        for (int a = 1; a <= n; ++a)
            sign(cl.add(a, models[a - 1]), a);
        engine.hooks.singleWriteEnded = [this](const SingleWriteReport &r) { singles << r; };
        engine.hooks.writeAllEnded = [this](const BatchWriteReport &r) { batches << r; };
        engine.hooks.programWriteEnded = [this](const BatchWriteReport &r) { batches << r; };
        engine.FormShow();
        engine.timer1().setInterval(24 * 3600 * 1000); // the test's clock ticks it
        for (int a = 1; a <= n; ++a) {
            engine.setComAddr(a, a);
            engine.ConnectSlot(a);
        }
        ASSERT_TRUE(cl.runUntil(
            engine, [&] { return engine.imageWhole(); }, 20000));
    }
    SimController &controller(int address) { return cl.controllers.at(address); }
    int count(const QStringList &requests, const QString &what) const
    {
        return int(requests.count(what));
    }
};

TEST_P(EngineWork, EveryChangeCommittedDuringAWriteReachesItsController)
{
    ASSERT_NO_FATAL_FAILURE(start(2));
    const qsizetype from = cl.log.size();
    // While the first write is on the line: another register, a protected
    // one, and a newer value for the first register.
    cl.onRequest = [&](const ControllerLine::Request &r) {
        if (r.function == FnWriteRegister && r.reg == 0x470D && r.value == 30001) {
            engine.requestWrite(1, 0x4711, 30003, false);
            engine.requestWrite(1, 0x4732, 30005, true);
            engine.requestWrite(1, 0x470D, 30007, false);
            engine.requestWrite(1, 0x4711, 30009, false); // replaces 30003, not yet sent
        }
    };
    engine.requestWrite(1, 0x470D, 30001, false);
    ASSERT_TRUE(cl.runUntil(
        engine, [&] { return singles.size() == 4; }, 10000));
    QStringList writes = cl.requests(1, int(from)).filter(QStringLiteral("W"));
    EXPECT_EQ(
        writes,
        (QStringList {"W470D=30001", "W4711=30009", "W472A=23235", "W4732=30005", "W470D=30007"}));
    // The unlock directly before its write on the line.
    const QStringList all = cl.requests(-1, int(from));
    ASSERT_GT(all.indexOf("1:W4732=30005"), 0);
    EXPECT_EQ(all.at(all.indexOf("1:W4732=30005") - 1), "1:W472A=23235");
    EXPECT_EQ(controller(1).value(0x470D), 30007);
    EXPECT_EQ(controller(1).value(0x4711), 30009);
    EXPECT_EQ(controller(1).value(0x4732), 30005);
    for (const SingleWriteReport &r : singles)
        EXPECT_EQ(r.outcome, WriteOutcome::Written) << std::hex << r.reg;
    EXPECT_TRUE(cl.requests(2, int(from)).filter(QStringLiteral("W")).isEmpty());
}

TEST_P(EngineWork, AChangeDuringWriteToDuvaGoesBetweenItsItemsAndIsNeverOneOfThem)
{
    ASSERT_NO_FATAL_FAILURE(start(2));
    const qsizetype from = cl.log.size();
    int programItems = 0;
    cl.onRequest = [&](const ControllerLine::Request &r) {
        if (r.function != FnWriteRegister || r.reg < ProgramReg::First)
            return;
        if (++programItems == 20) {
            engine.requestWrite(1, 0x470D, 30011, false);
            engine.requestWrite(1, Reg::ProcessValue, 5, false); // read only: refused
        }
    };
    ASSERT_TRUE(engine.startProgramWrite(programWrites()));
    ASSERT_TRUE(cl.runUntil(engine, [&] { return batches.size() == 1 && singles.size() == 2; }));
    EXPECT_TRUE(batches.at(0).complete);
    EXPECT_TRUE(batches.at(0).notWritten.isEmpty());
    EXPECT_EQ(programItems, 153);
    ASSERT_EQ(singles.size(), 2);
    EXPECT_EQ(singles.at(0).outcome, WriteOutcome::Written);
    EXPECT_EQ(singles.at(1).outcome, WriteOutcome::Refused);
    EXPECT_EQ(singles.at(1).reg, Reg::ProcessValue);
    const QStringList writes = cl.requests(1, int(from)).filter(QStringLiteral("W"));
    const qsizetype at = writes.indexOf("W470D=30011");
    ASSERT_GT(at, 19);
    EXPECT_EQ(writes.at(at + 1), "W4700=5");
    EXPECT_EQ(controller(1).value(0x470D), 30011);
    EXPECT_EQ(controller(1).value(ProgramReg::setValue(63)), 163);
}

TEST_P(EngineWork, AProgramReadGoesToTheSlotSelectedAtTheClickOrIsRefused)
{
    cl.add(1, 0x4824);
    SimController &two = cl.add(2, 0x4848);
    two.set(ProgramReg::setValue(9), 777);
    QList<int> ended;
    QStringList why;
    QList<QList<quint16>> blocks;
    engine.hooks.programReadEnded = [&](bool complete, const QString &w) {
        ended << complete;
        why << w;
    };
    engine.hooks.programReply = [&](int, int, const QList<quint16> &words) { blocks << words; };
    engine.FormShow();
    engine.timer1().setInterval(24 * 3600 * 1000);
    engine.setComAddr(1, 1);
    engine.setComAddr(2, 2);
    // Nothing connected: refused at once, and nothing waits for a slot.
    EXPECT_FALSE(engine.requestProgramRead());
    engine.ConnectSlot(2);
    cl.run(engine, 3000);
    EXPECT_TRUE(
        cl.requests().filter(QStringLiteral("R47")).filter(QStringLiteral("R4767")).isEmpty());

    engine.ConnectSlot(1);
    cl.run(engine, 3000);
    engine.SelectSlot(2);
    const qsizetype from = cl.log.size();
    ASSERT_TRUE(engine.requestProgramRead());
    engine.SelectSlot(1); // after the click: the read stays with controller 2
    ASSERT_TRUE(cl.runUntil(
        engine, [&] { return !ended.isEmpty(); }, 20000));
    EXPECT_EQ(ended, QList<int> {true});
    QStringList programReads;
    for (qsizetype i = from; i < cl.log.size(); ++i)
        if (cl.log.at(i).reg >= ProgramReg::First && cl.log.at(i).function == FnReadRegisters)
            programReads << QString::number(cl.log.at(i).address);
    EXPECT_EQ(programReads, QStringList(20, "2"));
    ASSERT_EQ(blocks.size(), 20);
    EXPECT_EQ(blocks.at(6).at(2), 777); // step 9 is the second of the block from step 8

    // Its controller disconnected mid-read: ended, and said why.
    engine.SelectSlot(2);
    int reads = 0;
    cl.onRequest = [&](const ControllerLine::Request &r) {
        if (r.reg >= ProgramReg::First && ++reads == 5)
            engine.RunStopBtClick(2);
    };
    ASSERT_TRUE(engine.requestProgramRead());
    ASSERT_TRUE(cl.runUntil(
        engine, [&] { return ended.size() == 2; }, 5000));
    EXPECT_EQ(ended.at(1), false);
    EXPECT_EQ(why.at(1), "controller 2 (address 2) is no longer connected");
}

TEST_P(EngineWork, TheValueInFlightWhenTheControllerIsLostIsNamedAsNotWritten)
{
    ASSERT_NO_FATAL_FAILURE(start(2));
    int items = 0;
    cl.onRequest = [&](const ControllerLine::Request &r) {
        if (r.function == FnWriteRegister && r.reg >= ProgramReg::First && ++items == 51)
            cl.faults[1] = ControllerLine::Fault::Silent; // unplugged as item 50 goes out
    };
    ASSERT_TRUE(engine.startProgramWrite(programWrites()));
    ASSERT_TRUE(cl.runUntil(
        engine, [&] { return !batches.isEmpty(); }, 60000));
    const BatchWriteReport &r = batches.at(0);
    EXPECT_FALSE(r.complete);
    ASSERT_FALSE(r.notWrittenItems.isEmpty());
    EXPECT_EQ(r.notWrittenItems.first(), 50);
    EXPECT_EQ(r.notWrittenItems.size(), 153 - 50);
    EXPECT_EQ(r.notWritten.first().reg, ProgramReg::First + 50);
    EXPECT_FALSE(engine.state().at(1).DeviceRequested);
    EXPECT_TRUE(engine.state().at(2).DeviceRequested);
}

TEST_P(EngineWork, ASaveHoldsTheControllerSelectedAtTheClickAndNothingElse)
{
    ASSERT_NO_FATAL_FAILURE(start(2));
    QList<ParameterImage> saved;
    engine.hooks.saveToFile = [&] { saved << engine.image(); };
    // Right after selecting the other controller.
    engine.SelectSlot(2);
    engine.requestSave();
    ASSERT_TRUE(cl.runUntil(
        engine, [&] { return saved.size() == 1; }, 10000));
    EXPECT_EQ(saved.at(0).at(ParameterImage::ModelEntry), 0x4848);
    EXPECT_EQ(signatureOf(saved.at(0)), signatureOf(controller(2)));

    // After a parameter file was shown and closed: the controller again.
    engine.loadParameterFile(imageOf(controller(1)));
    engine.requestSave();
    ASSERT_TRUE(cl.runUntil(
        engine, [&] { return saved.size() == 2; }, 10000));
    EXPECT_EQ(signatureOf(saved.at(1)), signatureOf(controller(1))) << "the file, as shown";
    engine.closeParameterFile();
    engine.requestSave();
    ASSERT_TRUE(cl.runUntil(
        engine, [&] { return saved.size() == 3; }, 10000));
    EXPECT_EQ(saved.at(2).at(ParameterImage::ModelEntry), 0x4848);
    EXPECT_EQ(signatureOf(saved.at(2)), signatureOf(controller(2)));

    // Another controller selected while the save waits for the read-back
    // of a write: not saved, and said.
    QStringList refusals;
    engine.hooks.refused = [&](const QString &text) { refusals << text; };
    engine.requestWrite(2, 0x470D, 30015, false);
    ASSERT_TRUE(cl.runUntil(
        engine, [&] { return singles.size() == 1; }, 5000));
    engine.requestSave();
    engine.SelectSlot(1);
    cl.run(engine, 3000);
    EXPECT_EQ(saved.size(), 3);
    EXPECT_EQ(refusals, QStringList {"Save to File not done: another controller was selected."});
}

TEST_P(EngineWork, ClosingTheWindowEndsAComparisonInFlight)
{
    ASSERT_NO_FATAL_FAILURE(start(2));
    QList<bool> done;
    ParameterImage other;
    engine.readSetupOf(2, [&](bool ok, const ParameterImage &image) {
        done << ok;
        other = image;
    });
    cl.run(engine, 150);
    engine.FormClose();
    EXPECT_EQ(done, QList<bool> {false});

    engine.FormShow();
    engine.ConnectSlot(1);
    engine.ConnectSlot(2);
    ASSERT_TRUE(cl.runUntil(
        engine, [&] { return engine.imageWhole(); }, 20000));
    engine.readSetupOf(2, [&](bool ok, const ParameterImage &image) {
        done << ok;
        other = image;
    });
    ASSERT_TRUE(cl.runUntil(
        engine, [&] { return done.size() == 2; }, 10000));
    EXPECT_TRUE(done.at(1));
    EXPECT_EQ(signatureOf(other), signatureOf(controller(2)));
}

TEST_P(EngineWork, WriteAllAfterASingleWriteSendsBothAndEveryStep)
{
    ASSERT_NO_FATAL_FAILURE(start(1));
    ParameterImage file = imageOf(controller(1));
    file[ParameterImage::entryOfRegister(0x470E)] = 55;
    const qsizetype from = cl.log.size();
    engine.requestWrite(1, 0x470D, 30013, false);
    engine.loadParameterFile(file);
    ASSERT_TRUE(engine.startWriteAll(WriteAll::steps(file), false));
    ASSERT_TRUE(cl.runUntil(
        engine, [&] { return batches.size() == 1; }, 20000));
    const QStringList writes = cl.requests(1, int(from)).filter(QStringLiteral("W"));
    ASSERT_GE(writes.size(), 3);
    EXPECT_EQ(writes.at(0), "W470D=30013");
    EXPECT_EQ(writes.at(1), "W4726=1"); // step 0
    EXPECT_EQ(writes.size(), 1 + WriteAll::steps(file).size());
    EXPECT_TRUE(batches.at(0).complete);
    EXPECT_TRUE(batches.at(0).notWritten.isEmpty());
    EXPECT_EQ(controller(1).value(0x470E), 55);
    ASSERT_EQ(singles.size(), 1);
    EXPECT_EQ(singles.at(0).outcome, WriteOutcome::Written);
}

TEST_P(EngineWork, AReplyWithAnotherRegisterCountIsNeverApplied)
{
    ASSERT_NO_FATAL_FAILURE(start(1));
    controller(1).set(ProgramReg::setValue(1), 555);
    QList<QList<quint16>> blocks;
    bool ended = false;
    engine.hooks.programReply = [&](int, int, const QList<quint16> &words) { blocks << words; };
    engine.hooks.programReadEnded = [&](bool complete, const QString &) { ended = complete; };
    int stepReads = 0;
    cl.onRequest = [&](const ControllerLine::Request &r) {
        if (r.function == FnReadRegisters && r.reg == ProgramReg::StepBase)
            cl.faults[1] =
                ++stepReads == 1 ? ControllerLine::Fault::ShortReply : ControllerLine::Fault::None;
    };
    ASSERT_TRUE(engine.requestProgramRead());
    ASSERT_TRUE(cl.runUntil(
        engine, [&] { return ended; }, 20000));
    EXPECT_EQ(stepReads, 2) << "the short reply is asked again";
    ASSERT_EQ(blocks.size(), 20);
    EXPECT_EQ(blocks.at(4).size(), 8);
    EXPECT_EQ(blocks.at(4).at(2), 555);
}

// The longest time between two requests to `address` from log entry `from`
// to now.
qint64 longestGap(const ControllerLine &line, int address, qsizetype from)
{
    qint64 last = line.log.at(from).ms;
    qint64 gap = 0;
    for (qsizetype i = from; i < line.log.size(); ++i)
        if (line.log.at(i).address == address) {
            gap = std::max(gap, line.log.at(i).ms - last);
            last = line.log.at(i).ms;
        }
    return std::max(gap, line.line.now() - last);
}

TEST_P(EngineWork, OneControllerAnsweringBadlyHoldsNobodyUp)
{
    using F = ControllerLine::Fault;
    for (F fault : {F::Exception, F::BadChecksum, F::Silent, F::WrongAddress}) {
        ControllerLine line(GetParam());
        MonitorEngine e(line.line, line.source());
        line.add(1, 0x4848);
        line.add(2, 0x4848);
        line.add(3, 0x4848);
        e.FormShow();
        e.timer1().setInterval(24 * 3600 * 1000);
        for (int a = 1; a <= 3; ++a) {
            e.setComAddr(a, a);
            e.ConnectSlot(a);
        }
        line.run(e, 3000);
        line.faults[2] = fault;
        const qsizetype from = line.log.size();
        line.run(e, 6000);
        // Controllers 1 and 3 keep being polled: no gap over two seconds
        // beyond one reply window of the one that fails.
        for (int a : {1, 3})
            EXPECT_LT(longestGap(line, a, from), 2000 + 2100)
                << "address " << a << ", fault " << int(fault);
        // A controller that answers at once is asked again at once, at most
        // three times: the others are polled many times over.
        if (fault == F::Exception || fault == F::BadChecksum) {
            EXPECT_GT(line.requests(3, int(from)).size(), 15) << int(fault);
        }
        e.FormClose();
    }
}

TEST_P(EngineWork, EmptySlotsAndSilentWritesNeverStarveAControllerThatAnswers)
{
    // Four slots connected, one controller wired: it is polled at least
    // every 2.5 s (one failed window and its own poll), and the empty slots
    // are still given up after five time-outs over at least ten seconds.
    {
        ControllerLine line(GetParam());
        MonitorEngine e(line.line, line.source());
        line.add(1, 0x4848);
        e.FormShow();
        e.timer1().setInterval(24 * 3600 * 1000);
        for (int a = 1; a <= 4; ++a) {
            e.setComAddr(a, a);
            e.ConnectSlot(a);
        }
        line.run(e, 500);
        const qsizetype from = line.log.size();
        ASSERT_TRUE(line.runUntil(
            e, [&] { return e.state().ConnectedCount() == 1; }, 90000));
        EXPECT_GE(line.line.now(), 10000);
        EXPECT_LT(longestGap(line, 1, from), 2500);
        EXPECT_TRUE(e.state().at(1).DeviceRequested);
        e.FormClose();
    }
    // Two changes queued for a controller that went silent: the other two
    // are polled all along, and the changes are named as not written.
    ASSERT_NO_FATAL_FAILURE(start(3));
    cl.run(engine, 1000);
    cl.faults[3] = ControllerLine::Fault::Silent;
    engine.requestWrite(3, 0x470D, 30001, false);
    engine.requestWrite(3, 0x4711, 30003, false);
    const qsizetype from = cl.log.size();
    ASSERT_TRUE(cl.runUntil(
        engine, [&] { return singles.size() == 2; }, 60000));
    EXPECT_LT(longestGap(cl, 1, from), 2500);
    EXPECT_LT(longestGap(cl, 2, from), 2500);
    for (const SingleWriteReport &r : singles)
        EXPECT_NE(r.outcome, WriteOutcome::Written);
}

TEST_P(EngineWork, EveryAppliedReplyIsTheAnswerToItsOwnRequest)
{
    ASSERT_NO_FATAL_FAILURE(start(1));
    controller(1).set(0x4725, 2); // decimal point, in the status read
    // Every setup block shown holds what the controller holds there.
    QStringList wrong;
    engine.hooks.setupReply = [&](int step, const QList<quint16> &words) {
        const ReadBlock *b = ReadBlockForStep(step);
        for (int i = 0; i < b->count && i < words.size(); ++i)
            if (words.at(i) != controller(1).value(b->start + i) && b->start + i != 0x4723)
                wrong << QStringLiteral("%1").arg(b->start + i, 4, 16);
    };
    // Replies that come after their window: each block of the program read
    // and the setup read once.
    QSet<int> lateOnce;
    cl.onRequest = [&](const ControllerLine::Request &r) {
        const bool late = r.function == FnReadRegisters && !lateOnce.contains(r.reg) &&
            (r.reg == 0x4770 || r.reg == 0x470C || r.reg == 0x4704);
        if (late)
            lateOnce.insert(r.reg);
        cl.faults[1] = late ? ControllerLine::Fault::Late : ControllerLine::Fault::None;
    };
    bool ended = false;
    engine.hooks.programReadEnded = [&](bool, const QString &) { ended = true; };
    ASSERT_TRUE(engine.requestProgramRead());
    ASSERT_TRUE(cl.runUntil(
        engine, [&] { return ended; }, 30000));
    engine.requestSetupRead();
    cl.run(engine, 8000);
    EXPECT_EQ(lateOnce.size(), 3);
    EXPECT_TRUE(wrong.isEmpty()) << wrong.join(' ').toStdString();
    EXPECT_EQ(engine.image().at(ParameterImage::DecimalPointEntry), 2);
}

TEST_P(EngineWork, ASaveAfterASelectionWaitsForEveryBlockOfTheNewController)
{
    ASSERT_NO_FATAL_FAILURE(start(2));
    controller(1).set(0x4725, 1);
    controller(2).set(0x4725, 3);
    controller(1).set(0x472A, 0x0164);
    controller(2).set(0x472A, 0x0210);
    controller(1).set(0x4701, 250);
    controller(2).set(0x4701, 420);
    cl.run(engine, 3000);
    QList<ParameterImage> saved;
    engine.hooks.saveToFile = [&] { saved << engine.image(); };
    // Slot 2 selected right after its process values of this cycle were
    // read, Save clicked twice while it waits.
    bool clicked = false;
    cl.onRequest = [&](const ControllerLine::Request &r) {
        if (!clicked && r.address == 2 && r.reg == 0x4700) {
            clicked = true;
            engine.SelectSlot(2);
            engine.requestSave();
            engine.requestSave();
        }
    };
    cl.run(engine, 10000);
    ASSERT_EQ(saved.size(), 1) << "one save per click sequence";
    EXPECT_EQ(saved.at(0).at(ParameterImage::DecimalPointEntry), 3);
    EXPECT_EQ(saved.at(0).at(ParameterImage::FirmwareMajorEntry), 2);
    EXPECT_EQ(saved.at(0).at(ParameterImage::FirmwareMinorEntry), 0x10);
    EXPECT_EQ(saved.at(0).at(1), 420);
    EXPECT_EQ(saved.at(0).at(ParameterImage::ModelEntry), 0x4848);
}

TEST_P(EngineWork, AWriteOnTheLineEndsByItsEchoWhateverTheUserDoes)
{
    ASSERT_NO_FATAL_FAILURE(start(2));
    // Disconnected, and closed, while the write is on the line.
    for (int round = 0; round < 2; ++round) {
        singles.clear();
        const int value = 30001 + round;
        cl.onRequest = [&](const ControllerLine::Request &r) {
            if (r.function == FnWriteRegister && r.reg == 0x470D) {
                if (round == 0)
                    engine.RunStopBtClick(1);
                else
                    engine.FormClose();
            }
        };
        engine.requestWrite(1, 0x470D, value, false);
        ASSERT_TRUE(cl.runUntil(
            engine, [&] { return singles.size() == 1; }, 5000));
        EXPECT_EQ(singles.at(0).outcome, WriteOutcome::Written) << round;
        EXPECT_EQ(controller(1).value(0x470D), value);
        cl.onRequest = nullptr;
        if (round == 0) {
            engine.ConnectSlot(1);
            ASSERT_TRUE(cl.runUntil(
                engine, [&] { return engine.state().at(1).identified; }, 5000));
        }
    }
    EXPECT_FALSE(engine.holdsPort()) << "the line closes after the echo";
}

TEST_P(EngineWork, AProtectedWriteAskedAgainGoesAfterItsUnlockAgain)
{
    ASSERT_NO_FATAL_FAILURE(start(1));
    // The first reply to the write comes from another address.
    int writes = 0;
    cl.onRequest = [&](const ControllerLine::Request &r) {
        const bool first = r.function == FnWriteRegister && r.reg == 0x4732 && ++writes == 1;
        cl.faults[1] = first ? ControllerLine::Fault::WrongAddress : ControllerLine::Fault::None;
    };
    const qsizetype from = cl.log.size();
    engine.requestWrite(1, 0x4732, 30005, true);
    ASSERT_TRUE(cl.runUntil(
        engine, [&] { return singles.size() == 1; }, 20000));
    EXPECT_EQ(singles.at(0).outcome, WriteOutcome::Written);
    const QStringList all = cl.requests(1, int(from));
    EXPECT_EQ(all.count("W4732=30005"), 2);
    for (int i = 0; i < all.size(); ++i) {
        if (all.at(i) == "W4732=30005") {
            EXPECT_EQ(all.value(i - 1), "W472A=23235") << i;
        }
    }
}

TEST_P(EngineWork, AnEchoThatComesAfterItsWindowNamesItsWriteWritten)
{
    ASSERT_NO_FATAL_FAILURE(start(2));
    // The echo of the write comes after its window, into another exchange.
    cl.onRequest = [&](const ControllerLine::Request &r) {
        const bool late = r.function == FnWriteRegister && r.reg == 0x4711;
        cl.faults[1] = late ? ControllerLine::Fault::Late : ControllerLine::Fault::None;
    };
    const qsizetype from = cl.log.size();
    engine.requestWrite(1, 0x4711, 30003, false);
    ASSERT_TRUE(cl.runUntil(
        engine, [&] { return singles.size() == 1; }, 20000));
    EXPECT_EQ(singles.at(0).outcome, WriteOutcome::Written);
    EXPECT_EQ(controller(1).value(0x4711), 30003);
    // Taken as it came: not sent again.
    EXPECT_EQ(cl.requests(1, int(from)).count("W4711=30003"), 1);
}

TEST_P(EngineWork, AfterATimeOutAReadOfAnotherShapeGoesBeforeOneALateReplyCouldAnswer)
{
    ASSERT_NO_FATAL_FAILURE(start(1));
    // One process-value read (four words) answered after its window and the
    // guard, when the identification (four words too) would be on the line.
    cl.delayMs = 400;
    bool once = false;
    cl.onRequest = [&](const ControllerLine::Request &r) {
        const bool late = !once && r.function == FnReadRegisters && r.reg == 0x4700;
        once = once || late;
        cl.faults[1] = late ? ControllerLine::Fault::Late : ControllerLine::Fault::None;
    };
    const qsizetype from = cl.log.size();
    cl.run(engine, 6000);
    const QStringList asked = cl.requests(1, int(from));
    const qsizetype late = asked.indexOf("R4700x4");
    ASSERT_GE(late, 0);
    EXPECT_EQ(asked.value(late + 1), "R472Dx1"); // the events: one word
    // The late reply was taken for nothing: the controller is still the
    // one it was, and polled.
    EXPECT_TRUE(engine.state().at(1).DeviceRequested);
    EXPECT_EQ(engine.view().at(1).modelCode, 0x4824);
    EXPECT_GT(asked.count("R4700x4"), 3);
}

TEST_P(EngineWork, ASetupReadGoesOnWhileTheOthersAnswerSlowly)
{
    ASSERT_NO_FATAL_FAILURE(start(3));
    // The others answer a third of a second late (in binary framing, after
    // their window): each is due a turn again by the time the other has
    // had one.
    cl.delayMs = 350;
    cl.faults[2] = cl.faults[3] = ControllerLine::Fault::Delay;
    const qsizetype from = cl.log.size();
    engine.requestSetupRead();
    EXPECT_TRUE(cl.runUntil(
        engine, [&] { return engine.imageWhole(); }, 15000));
    // At most one turn each between two requests to the controller read.
    QString between;
    for (const QString &request : cl.requests(-1, int(from))) {
        const QString who = request.left(1);
        if (who == "1")
            between.clear();
        else
            EXPECT_FALSE(between.contains(who)) << qPrintable(request);
        between += who;
    }
}

INSTANTIATE_TEST_SUITE_P(BothFramings, EngineWork,
                         ::testing::Values(ModbusMode::Ascii, ModbusMode::Rtu),
                         [](const auto &info) {
                             return info.param == ModbusMode::Ascii ? "Ascii" : "Rtu";
                         });

} // namespace
