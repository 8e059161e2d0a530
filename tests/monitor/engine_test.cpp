// The engine against simulated controllers on a pseudo-terminal: the
// requests on the line (the simulator's log) and what the panels show.
#include "app/comsettings.h"
#include "link/framing.h"
#include "link/hexcodec.h"
#include "link/serialchannel.h"
#include "monitor/monitorengine.h"
#include "ptypeer.h"
#include "scripteddialogs.h"
#include "setup/registermap.h"
#include "simoncom1.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class MonitorLine : public ::testing::TestWithParam<ModbusMode>
{
protected:
    ScriptedDialogs dialogs;
    ComSettings settings;
    SerialChannel channel;
    std::unique_ptr<SimOnCom1> sim;
    SimLine *line = nullptr;
    std::unique_ptr<MonitorEngine> engine;
    QStringList log; // "01:4744", "01:W472A=5AC3", with " !" when not answered normally
    QStringList rawLog;

    ModbusMode mode() const { return GetParam(); }

    void start(const QList<QPair<int, int>> &controllers)
    {
        sim = std::make_unique<SimOnCom1>(MatchingLine(mode(), settings), controllers);
        ASSERT_TRUE(sim->ok());
        line = &sim->line;
        QObject::connect(line, &SimLine::requestLogged, [this](const QString &text) {
            rawLog << text;
            static const QRegularExpression re(QStringLiteral(
                "addr (\\w\\w) fn (\\w\\w) reg (\\w{4}) (count|value) (\\w+) -> (.*)$"));
            const auto m = re.match(text);
            if (!m.hasMatch())
                return;
            QString entry = m.captured(1) + QLatin1Char(':');
            if (m.captured(2) == QLatin1String("06"))
                entry += QLatin1Char('W') + m.captured(3) + QLatin1Char('=') + m.captured(5);
            else
                entry += m.captured(3);
            log << entry;
        });
        engine =
            std::make_unique<MonitorEngine>(channel, [this] { return settings.lineSettings(); });
        for (int n = 1; n <= SlotCount; ++n)
            engine->setComAddr(n, n);
        engine->FormShow();
        ASSERT_TRUE(channel.Open());
    }

    void TearDown() override
    {
        if (engine)
            engine->FormClose();
        engine.reset();
        sim.reset();
    }

    bool waitFor(const std::function<bool()> &done, int ms = 5000)
    {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < ms)
            QTest::qWait(5);
        return done();
    }
    bool waitForRequests(int n, int ms = 8000)
    {
        return waitFor([&] { return log.size() >= n; }, ms);
    }
    SimController &controller(int address) { return sim->controller(address); }
    const SlotPanel &panel(int n) { return engine->view().at(n); }
};

const QStringList setupReads = {"4713", "4704", "470C", "471B", "4720", "101C", "4730", "4732"};

QStringList prefixed(const QString &address, const QStringList &regs)
{
    QStringList out;
    for (const QString &r : regs)
        out << address + QLatin1Char(':') + r;
    return out;
}

TEST_P(MonitorLine, OneSlotCycleThenSetupThenPolling)
{
    start({{1, 0x4824}});
    engine->ConnectSlot(1);
    ASSERT_TRUE(waitForRequests(19));
    QStringList expected = prefixed("01", {"4744", "4725", "471A", "472D", "4700"});
    expected += prefixed("01", setupReads);
    expected += prefixed("01", {"4725", "472D", "4700", "4725", "472D", "4700"});
    EXPECT_EQ(log.mid(0, 19), expected);

    EXPECT_TRUE(panel(1).visible);
    EXPECT_EQ(panel(1).modelClass, 1);
    EXPECT_EQ(panel(1).runLed, MonitorColor::Green);
    EXPECT_EQ(panel(1).runCaption, "Disconnect");
    EXPECT_FALSE(engine->view().allImageVisible);
    EXPECT_EQ(panel(1).svText, "100.0");
    EXPECT_EQ(panel(1).outLabel1, "OUT1 : Heating");
    // The setup read filled the image.
    EXPECT_EQ(engine->image().at(ParameterImage::entryOfRegister(Reg::InputType)),
              controller(1).value(Reg::InputType));
    EXPECT_EQ(engine->image().at(ParameterImage::entryOfRegister(Reg::RangeHigh)),
              controller(1).value(Reg::RangeHigh));
    EXPECT_EQ(engine->image().at(ParameterImage::PidGroupEntry),
              controller(1).value(Reg::PidGroup));
    EXPECT_EQ(engine->image().at(ParameterImage::ModelEntry), 0x4824);
    EXPECT_EQ(engine->state().at(1).ErrorCount, 0);
    EXPECT_GE(engine->state().at(1).RequestCount, 19);
}

TEST_P(MonitorLine, TwoSlotsStepMajorAndTheLateSlotJoinsWithIdentification)
{
    start({{1, 0x4848}, {2, 0x9696}});
    engine->ConnectSlot(1);
    engine->ConnectSlot(2); // joins at the end of the current cycle
    ASSERT_TRUE(waitForRequests(22));
    // Only the slot that joins is identified; the one already polled goes on.
    QStringList expected = prefixed("01", {"4744", "4725", "471A", "472D", "4700"});
    expected << "02:4744"
             << "01:4725"
             << "02:4725"
             << "01:471A"
             << "02:471A"
             << "01:472D"
             << "02:472D"
             << "01:4700"
             << "02:4700";
    expected += prefixed("01", setupReads);
    EXPECT_EQ(log.mid(0, 22), expected) << log.mid(0, 22).join(' ').toStdString();
    ASSERT_TRUE(waitForRequests(28));
    EXPECT_EQ(log.mid(22, 6),
              (QStringList {"01:4725", "02:4725", "01:472D", "02:472D", "01:4700", "02:4700"}))
        << log.mid(22, 6).join(' ').toStdString();
    EXPECT_EQ(panel(2).modelClass, 4);
    EXPECT_TRUE(panel(2).visible);
}

TEST_P(MonitorLine, ProgramDisplayIsReadOnlyForSlotsRunningAProgram)
{
    start({{1, 0x4848}, {2, 0x4848}});
    controller(2).set(Reg::ControlMode, 3); // ramp/soak: the program runs
    ASSERT_TRUE(waitFor([&] { return controller(2).value(Reg::ProgramRunning) == 1; }));
    engine->ConnectSlot(1);
    engine->ConnectSlot(2);
    ASSERT_TRUE(waitFor([&] { return log.count("02:4762") >= 2; }));
    EXPECT_EQ(log.count("01:4762"), 0);
    // Step 3 sits between the status and event steps.
    const int at = int(log.lastIndexOf("02:4762"));
    ASSERT_TRUE(waitForRequests(at + 2));
    EXPECT_EQ(log.at(at - 1), "02:4725");
    EXPECT_EQ(log.at(at + 1), "01:472D");
    EXPECT_TRUE(engine->state().at(2).ProgramDisplay);
    EXPECT_FALSE(panel(2).svText.isEmpty());
}

TEST_P(MonitorLine, AddressChangedWhileRunningReidentifiesAndRereads)
{
    start({{1, 0x4848}, {2, 0x4848}, {5, 0x4896}});
    engine->ConnectSlot(1);
    ASSERT_TRUE(waitForRequests(16));
    engine->setComAddr(1, 5);
    const int before = int(log.size());
    ASSERT_TRUE(waitFor([&] { return log.mid(before).contains("05:4732"); }));
    const QStringList after = log.mid(before);
    const int id = int(after.indexOf("05:4744"));
    ASSERT_GE(id, 0);
    // Identification, the cycle, then the setup of the new controller.
    EXPECT_EQ(after.mid(id, 5), prefixed("05", {"4744", "4725", "471A", "472D", "4700"}));
    EXPECT_EQ(after.mid(id + 5, 8), prefixed("05", setupReads));
    EXPECT_EQ(panel(1).modelClass, 3);
}

TEST_P(MonitorLine, ControllerThatDoesNotIdentifyIsDisconnectedSilently)
{
    start({{1, 0x4848}});
    controller(1).set(Reg::IdentificationWord, 0x1234);
    engine->ConnectSlot(1);
    ASSERT_TRUE(waitFor([&] { return !engine->state().at(1).DeviceRequested; }));
    EXPECT_EQ(panel(1).runCaption, "Connect");
    EXPECT_FALSE(panel(1).visible);
    EXPECT_TRUE(engine->view().allImageVisible);
    QTest::qWait(1500);
    EXPECT_EQ(log, QStringList {"01:4744"});
    EXPECT_TRUE(dialogs.shown.isEmpty());
}

TEST_P(MonitorLine, BadChecksumSendsTheSameRequestAgainAtOnce)
{
    start({{1, 0x4848}});
    line->setFault(1, {SimFault::Kind::BadChecksum, 0});
    engine->ConnectSlot(1);
    // Well within a second: not the one-second timer but the reply handler.
    ASSERT_TRUE(waitForRequests(4, 800));
    EXPECT_EQ(log.mid(0, 4), QStringList(4, "01:4744"));
    // Three bad replies in a row count as one time-out.
    EXPECT_GE(engine->state().at(1).ErrorCount, 1);
    EXPECT_EQ(engine->view().errText, "Received data does not match");
    line->setFault(1, {});
    ASSERT_TRUE(waitFor([&] { return log.contains("01:4725"); }));
}

TEST_P(MonitorLine, ReplyFromAnotherAddressIsNotTheAnswerAndTheWindowGoesOn)
{
    start({{1, 0x4848}});
    line->setFault(1, {SimFault::Kind::WrongAddress, 0});
    engine->ConnectSlot(1);
    // The foreign frame is not taken; the request's own window goes on, and
    // its end is a failed exchange of the slot.
    ASSERT_TRUE(waitForRequests(3, 8000));
    EXPECT_EQ(log.mid(0, 3), QStringList(3, "01:4744"));
    ASSERT_TRUE(waitFor([&] { return engine->state().at(1).ErrorCount >= 1; }, 3000));
    EXPECT_TRUE(panel(1).lost);
    EXPECT_FALSE(panel(1).visible) << "no identification taken from the foreign frame";
}

TEST_P(MonitorLine, ExceptionReplyShowsItsText)
{
    start({{1, 0x4848}});
    engine->ConnectSlot(1);
    ASSERT_TRUE(waitForRequests(8));
    line->setFault(1, {SimFault::Kind::Exception, 2});
    ASSERT_TRUE(waitFor([&] { return engine->state().at(1).ErrorCount > 0; }));
    EXPECT_EQ(engine->view().errText, "illegal address ");
    EXPECT_EQ(engine->view().errColor, MonitorColor::Red);
    EXPECT_EQ(panel(1).runLed, MonitorColor::Red);
    EXPECT_EQ(panel(1).errCount, QString::number(engine->state().at(1).ErrorCount));
    line->setFault(1, {});
}

TEST_P(MonitorLine, WriteWithUnlockSendsTwoFramesThenReadsBack)
{
    start({{1, 0x4848}});
    engine->ConnectSlot(1);
    ASSERT_TRUE(waitFor([&] { return log.contains("01:4732"); }));
    engine->requestWrite(1, Reg::InputType, 3, true);
    const int before = int(log.size());
    ASSERT_TRUE(waitFor([&] { return log.mid(before).contains("01:4732"); }));
    const QStringList after = log.mid(before);
    const int unlock = int(after.indexOf("01:W472A=5AC3"));
    ASSERT_GE(unlock, 0);
    EXPECT_EQ(after.at(unlock + 1), "01:W4718=0003");
    EXPECT_EQ(controller(1).value(Reg::InputType), 3);
    EXPECT_TRUE(engine->queuedWrites().isEmpty());
    // The written parameter is read back: a cycle, then the setup reads.
    EXPECT_TRUE(after.mid(unlock + 2).contains("01:4713"));
    EXPECT_EQ(engine->image().at(ParameterImage::entryOfRegister(Reg::InputType)), 3);
}

TEST_P(MonitorLine, RefusedWriteShowsItsTextAndRereads)
{
    start({{1, 0x4848}, {2, 0x4848}});
    engine->ConnectSlot(1);
    engine->ConnectSlot(2);
    ASSERT_TRUE(waitFor([&] { return log.contains("01:4732"); }));
    const MonitorState &st = engine->state();
    const int polledErrors = st.at(2).ErrorCount;
    engine->requestWrite(1, Reg::ProcessValue, 5, false); // read only
    const int before = int(log.size());
    ASSERT_TRUE(waitFor([&] { return log.mid(before).contains("01:4732"); }));
    EXPECT_TRUE(log.mid(before).contains("01:W4700=0005"));
    EXPECT_EQ(engine->view().errText, "Write data not successed");
    EXPECT_TRUE(engine->queuedWrites().isEmpty());
    // The failure is the selected slot's, not the polled slot's.
    EXPECT_EQ(st.at(1).ErrorCount, 1);
    EXPECT_EQ(st.at(2).ErrorCount, polledErrors);
}

TEST_P(MonitorLine, WriteGoesToTheAddressItWasPreparedFor)
{
    start({{1, 0x4848}, {2, 0x4848}});
    engine->ConnectSlot(1);
    engine->ConnectSlot(2);
    ASSERT_TRUE(waitFor([&] { return log.contains("01:4732"); }));
    engine->requestWrite(1, Reg::Alarm1High, 77, true);
    engine->SelectSlot(2); // the selection moves before the write leaves
    const int before = int(log.size());
    ASSERT_TRUE(waitFor([&] { return log.mid(before).contains("01:W4706=004D"); }));
    EXPECT_TRUE(log.mid(before).contains("01:W472A=5AC3"));
    EXPECT_FALSE(log.mid(before).contains("02:W472A=5AC3"));
    EXPECT_EQ(controller(1).value(Reg::Alarm1High), 77);
}

TEST_P(MonitorLine, SlotConnectedAndAnotherDisconnectedInOneCycleKeepsPolling)
{
    start({{1, 0x4848}, {2, 0x4848}});
    engine->ConnectSlot(1);
    ASSERT_TRUE(waitFor([&] { return log.contains("01:4732"); }));
    // Within one cycle: slot 2 asks to join, slot 1 leaves.
    engine->ConnectSlot(2);
    engine->DisconnectSlot(1);
    const int before = int(log.size());
    ASSERT_TRUE(waitFor([&] { return log.mid(before).count("02:4700") >= 2; }));
    EXPECT_TRUE(log.mid(before).contains("02:4744"));
    EXPECT_TRUE(panel(2).visible);
    EXPECT_EQ(panel(2).runCaption, "Disconnect");
    EXPECT_EQ(engine->state().ConnectedCount(), 1);
}

TEST_P(MonitorLine, ConnectingAgainAfterAnAutomaticDisconnection)
{
    start({{1, 0x4848}});
    controller(1).set(Reg::IdentificationWord, 0x1234);
    engine->ConnectSlot(1);
    ASSERT_TRUE(waitFor([&] { return !engine->state().at(1).DeviceRequested; }));
    controller(1).set(Reg::IdentificationWord, IdentificationValue);
    engine->RunStopBtClick(1);
    ASSERT_TRUE(waitFor([&] { return panel(1).visible; }));
    EXPECT_EQ(panel(1).runCaption, "Disconnect");
}

TEST_P(MonitorLine, CountersAndTheirReset)
{
    start({{1, 0x4848}});
    engine->ConnectSlot(1);
    ASSERT_TRUE(waitForRequests(10));
    // DoCnt shows the requests counted when the last result was reported;
    // the request in flight may already be counted.
    const int shown = panel(1).doCount.toInt();
    const int counted = engine->state().at(1).RequestCount;
    EXPECT_GE(shown, 9);
    EXPECT_TRUE(shown == counted || shown == counted - 1) << shown << " " << counted;
    line->setFault(1, {SimFault::Kind::Exception, 3});
    ASSERT_TRUE(waitFor([&] { return engine->state().at(1).ErrorCount >= 2; }));
    line->setFault(1, {});
    engine->ErrClearBt1MouseDown(1);
    EXPECT_EQ(engine->state().at(1).ErrorCount, 0);
    EXPECT_EQ(panel(1).errCount, "0");
    EXPECT_EQ(panel(1).doCount, "0");
    EXPECT_EQ(engine->view().errText, "No Error");
    EXPECT_EQ(engine->view().errColor, MonitorColor::Teal);
}

TEST_P(MonitorLine, NoSlotNoTraffic)
{
    start({{1, 0x4848}});
    engine->Timer1Timer();
    QTest::qWait(1200);
    EXPECT_TRUE(log.isEmpty());
    EXPECT_FALSE(engine->timer1().isActive());
}

TEST_P(MonitorLine, WriteAllBatchGoesItemByItemThenRereads)
{
    start({{1, 0x4848}});
    engine->ConnectSlot(1);
    ASSERT_TRUE(waitFor([&] { return log.contains("01:4732"); }));
    int ended = 0;
    QList<int> progress;
    QObject::connect(engine.get(), &MonitorEngine::viewChanged,
                     [&] { progress << engine->view().upLoadBar; });
    engine->hooks.writeAllEnded = [&](const BatchWriteReport &) { ++ended; };
    // One write per item, the item number as the value.
    QList<MonitorEngine::WriteItem> items;
    for (int i = 0; i <= MonitorEngine::WriteAllItems; ++i)
        items.append({Reg::Alarm1High, i, false});
    const int before = int(log.size());
    engine->startWriteAll(items, false);
    ASSERT_TRUE(waitFor([&] { return ended == 1; }, 10000));
    const QStringList after = log.mid(before);
    // Items 0 to 40, each once, in order.
    QStringList writes;
    for (const QString &e : after)
        if (e.contains(":W4706="))
            writes << e;
    ASSERT_EQ(writes.size(), MonitorEngine::WriteAllItems + 1);
    EXPECT_EQ(writes.first(), "01:W4706=0000");
    EXPECT_EQ(writes.last(), "01:W4706=0028");
    EXPECT_TRUE(progress.contains(50)) << "half way after 20 of 40";
    EXPECT_FALSE(engine->busy());
    // Polling resumes and the parameters are read back.
    ASSERT_TRUE(waitFor([&] { return log.mid(before).contains("01:4732"); }));
    EXPECT_EQ(controller(1).value(Reg::Alarm1High), 40);
}

TEST_P(MonitorLine, WriteAllGivesUpAnItemAfterFourAttempts)
{
    start({{1, 0x4848}});
    engine->ConnectSlot(1);
    ASSERT_TRUE(waitFor([&] { return log.contains("01:4732"); }));
    int ended = 0;
    engine->hooks.writeAllEnded = [&](const BatchWriteReport &) { ++ended; };
    // The middle item writes a read-only register: refused every time.
    engine->startWriteAll({{Reg::Alarm1Low, 38}, {Reg::ProcessValue, 39}, {Reg::Alarm1Low, 40}},
                          false);
    ASSERT_TRUE(waitFor([&] { return ended == 1; }, 10000));
    EXPECT_EQ(log.count("01:W4700=0027"), 4);
    EXPECT_EQ(log.count("01:W4707=0028"), 1);
    EXPECT_EQ(engine->state().at(1).ErrorCount, 4);
}

TEST_P(MonitorLine, ProgramReadRunsItsOwnStepsThenPollingResumes)
{
    start({{1, 0x4848}});
    engine->ConnectSlot(1);
    ASSERT_TRUE(waitFor([&] { return log.contains("01:4732"); }));
    QList<QList<quint16>> replies;
    QList<int> firstSteps;
    int ended = 0;
    engine->hooks.programReply = [&](int phase, int firstStep, const QList<quint16> &words) {
        replies << words;
        if (phase == 4)
            firstSteps << firstStep;
    };
    engine->hooks.programReadEnded = [&](bool complete, const QString &) {
        ended += complete ? 1 : 100;
    };
    const int before = int(log.size());
    engine->requestProgramRead();
    ASSERT_TRUE(waitFor([&] { return ended == 1; }, 10000));
    EXPECT_EQ(replies.size(), 20);
    EXPECT_EQ(firstSteps.first(), 0);
    EXPECT_EQ(firstSteps.last(), 60);
    QStringList reads;
    for (const QString &e : log.mid(before))
        if (e >= "01:4767" && e <= "01:47FF")
            reads << e;
    QStringList expected = {"01:4767", "01:4770", "01:4768", "01:4778"};
    for (int n = 0; n < ProgramReg::Steps; n += 4)
        expected << QStringLiteral("01:%1")
                        .arg(ProgramReg::setValue(n), 4, 16)
                        .toUpper()
                        .replace("0X", "");
    EXPECT_EQ(reads, expected);
    EXPECT_EQ(replies.at(0).size(), 1);
    EXPECT_EQ(replies.at(4).at(0), controller(1).value(ProgramReg::setValue(0)));
    const int end = int(log.size());
    ASSERT_TRUE(waitFor([&] { return log.mid(end).contains("01:4700"); }));
}

TEST_P(MonitorLine, ProgramWriteReportsEveryItem)
{
    start({{1, 0x4848}});
    engine->ConnectSlot(1);
    ASSERT_TRUE(waitFor([&] { return log.contains("01:4732"); }));
    int reported = 0;
    engine->hooks.programWriteProgress = [&](int) { ++reported; };
    QList<MonitorEngine::WriteItem> items;
    for (int item = 0; item < 3; ++item)
        items.append({ProgramReg::cycles(item), item + 1, false});
    engine->startProgramWrite(items);
    ASSERT_TRUE(waitFor([&] { return !engine->busy() && reported == 3; }, 5000));
    EXPECT_EQ(controller(1).value(ProgramReg::cycles(2)), 3);
    const int end = int(log.size());
    ASSERT_TRUE(waitFor([&] { return log.mid(end).contains("01:4700"); }));
}

INSTANTIATE_TEST_SUITE_P(BothFramings, MonitorLine,
                         ::testing::Values(ModbusMode::Ascii, ModbusMode::Rtu),
                         [](const auto &info) {
                             return info.param == ModbusMode::Ascii ? "Ascii" : "Rtu";
                         });

// Time-outs are framing-specific: ASCII waits 36 ticks, RTU a tick or two.
class MonitorTimeouts : public MonitorLine
{
};

TEST_P(MonitorTimeouts, BroadcastWriteIsPacedBySilence)
{
    start({{1, 0x4848}, {2, 0x4848}});
    engine->ConnectSlot(1);
    ASSERT_TRUE(waitFor([&] { return log.contains("01:4732"); }));
    int ended = 0;
    engine->hooks.writeAllEnded = [&](const BatchWriteReport &) { ++ended; };
    QList<MonitorEngine::WriteItem> items; // the last four items of a batch
    for (int i = 37; i <= 40; ++i)
        items.append({Reg::Alarm2High, i, false});
    engine->startWriteAll(items, true);
    ASSERT_TRUE(waitFor([&] { return ended == 1; }, 10000));
    EXPECT_EQ(log.count("00:W4708=0025"), 1);
    EXPECT_EQ(log.count("00:W4708=0028"), 1);
    // Both controllers took it; nobody answered, and nothing counts as an error.
    EXPECT_EQ(controller(1).value(Reg::Alarm2High), 40);
    EXPECT_EQ(controller(2).value(Reg::Alarm2High), 40);
    EXPECT_EQ(engine->state().at(1).ErrorCount, 0);
    EXPECT_FALSE(engine->busy());
}

INSTANTIATE_TEST_SUITE_P(BothFramings, MonitorTimeouts,
                         ::testing::Values(ModbusMode::Ascii, ModbusMode::Rtu),
                         [](const auto &info) {
                             return info.param == ModbusMode::Ascii ? "Ascii" : "Rtu";
                         });

TEST(MonitorPort, ConnectingWithoutAnOpenPortWarnsOnce)
{
    TemporaryWorkDir work;
    ASSERT_TRUE(QFile::link(QDir(work.path()).filePath("missing-device"), "COM1"));
    ScriptedDialogs dialogs;
    ComSettings settings;
    SerialChannel channel;
    MonitorEngine engine(channel, [&settings] { return settings.lineSettings(); });
    engine.FormShow();
    EXPECT_FALSE(channel.Open());
    engine.ConnectSlot(1);
    QTest::qWait(2200);
    EXPECT_EQ(dialogs.texts(),
              (QStringList {"Com port not exist\nCOM1 not found", "Com port not exist"}));
    EXPECT_EQ(dialogs.texts("error"), QStringList());
    EXPECT_FALSE(engine.state().at(1).DeviceRequested);
    EXPECT_FALSE(engine.timer1().isActive());
}

TEST(MonitorPort, ARemovedAdapterIsFoundAgainUnderItsName)
{
    TemporaryWorkDir work;
    auto first = std::make_unique<PtyPeer>();
    ASSERT_TRUE(first->linkAs("COM1"));
    ScriptedDialogs dialogs;
    ComSettings settings;
    SerialChannel channel;
    MonitorEngine engine(channel, [&settings] { return settings.lineSettings(); });
    engine.FormShow();
    engine.ConnectSlot(1);
    EXPECT_EQ(first->read(17), ":0103474400046D\r\n");

    first->closeMaster(); // the adapter is pulled out
    ASSERT_TRUE(QTest::qWaitFor([&] { return channel.deviceLost(); }, 3000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine.view().at(1).lost; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.texts().isEmpty(); }, 2000));
    EXPECT_TRUE(dialogs.texts().first().startsWith("The serial device "));

    // Plugged in again, it comes back as COM1: polling resumes by itself.
    PtyPeer second;
    ASSERT_TRUE(second.linkAs("COM1"));
    EXPECT_EQ(second.read(17, 5000), ":0103474400046D\r\n");
    EXPECT_TRUE(engine.state().at(1).DeviceRequested);
    engine.FormClose();
}

} // namespace
