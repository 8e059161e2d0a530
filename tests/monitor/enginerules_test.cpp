// The engine's reply rules on a line played by the test, with the test's
// clock: time-outs, bad checks and what follows them, in milliseconds.
#include "app/comsettings.h"
#include "monitor/monitorengine.h"
#include "setup/parameterimage.h"

#include "fakeline.h"
#include "scripteddialogs.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {

// The identification read of controller 1, the first request of a slot.
const QByteArray IdentAscii = ":0103474400046D\r\n";
const QByteArray IdentRtu = QByteArray::fromHex("01034744000410A8");
// The guard after a time-out, rounded up to the line's ticks.
constexpr int Guard = MonitorEngine::GuardMs + 110;

class EngineRules : public ::testing::Test
{
protected:
    ScriptedDialogs dialogs;
    ComSettings settings;
    FakeLine line;
    MonitorEngine engine {line, [this] { return settings.lineSettings(); }};

    void connectSlot1()
    {
        engine.setComAddr(1, 1);
        engine.FormShow();
        ASSERT_TRUE(line.isOpen());
        engine.ConnectSlot(1);
    }

    // Slots 1 and 2 at addresses 1 and 2, polled until slot 2 has joined.
    void pollTwoSlots()
    {
        engine.setComAddr(1, 1);
        engine.setComAddr(2, 2);
        engine.FormShow();
        engine.ConnectSlot(1);
        engine.ConnectSlot(2);
        ASSERT_TRUE(answerUntil([](const QByteArray &r) { return r.startsWith(":02034700"); }));
    }

    // Answers the last request as a controller of model 4848 would: the
    // identification, zeros for any other read, the echo of a write.
    void answer()
    {
        const QByteArray request = line.sent.last();
        const UnwrappedFrame f = AsciiFraming().unwrap(request);
        ASSERT_TRUE(f.checksumOk) << request.constData();
        if (f.function == FnWriteRegister) {
            line.receive(request);
            return;
        }
        const int reg = (quint8(f.data.at(0)) << 8) | quint8(f.data.at(1));
        const int count = quint8(f.data.at(3));
        QList<int> words(count, 0);
        if (reg == 0x4744)
            words = {0x2013, 0x4456, 0x4848, 0};
        ModbusRequest reply {f.address, FnReadRegisters, QByteArray(1, char(2 * count))};
        for (int w : words)
            reply.data.append(char(w >> 8)).append(char(w & 0xFF));
        line.receive(AsciiFraming().wrap(reply));
    }
    // Answers requests until `until` holds of the last one sent, at most n.
    bool answerUntil(const std::function<bool(const QByteArray &)> &until, int n = 200)
    {
        for (int i = 0; i < n; ++i) {
            if (until(line.sent.last()))
                return true;
            answer();
        }
        return false;
    }
};

TEST_F(EngineRules, FiveTimeOutsInARowDisconnectTheController)
{
    connectSlot1();
    ASSERT_EQ(line.sent, QList<QByteArray> {IdentAscii});
    // The time-out counts from the last byte: a reply that trickles in byte
    // by byte is waited for (within twice its window and four ticks).
    for (int i = 0; i < 2; ++i) {
        line.advance(1900);
        line.receive(":");
    }
    EXPECT_EQ(line.sent.size(), 1);
    EXPECT_TRUE(engine.view().errText.isEmpty());

    line.advance(55 * 38);
    EXPECT_EQ(engine.view().errText, "Time out");
    EXPECT_TRUE(engine.view().at(1).lost);
    // Each time after a guard in which a late reply would be heard out.
    for (int i = 0; i < 4; ++i)
        line.advance(55 * 38 + Guard);
    // The same request each time, and then no more.
    EXPECT_EQ(line.sent, QList<QByteArray>(5, IdentAscii));
    EXPECT_FALSE(engine.state().at(1).DeviceRequested);
    EXPECT_EQ(engine.view().at(1).runCaption, "Connect");
    line.advance(5000);
    engine.Timer1Timer();
    EXPECT_EQ(line.sent.size(), 5);
}

TEST_F(EngineRules, RtuSilenceEndsTheFrameAndAShortFrameIsAskedAgain)
{
    settings.select(ComSettings::ModBus, 1);
    connectSlot1();
    ASSERT_EQ(line.sent, QList<QByteArray> {IdentRtu});
    // At 9600 bit/s one tick of silence ends a frame, but one whose length
    // says more is coming is waited for within its total (8 ticks): this
    // one is cut short.
    line.receive(QByteArray::fromHex("0103080000"));
    line.advance(500);
    ASSERT_EQ(line.sent.size(), 2);
    EXPECT_EQ(line.sent.at(1), IdentRtu);
    EXPECT_TRUE(engine.view().errText.isEmpty()) << "a bad frame is not an error";
    // Nothing at all is a time-out (a tick more for an adapter's latency);
    // the request goes again after the guard.
    line.advance(170);
    EXPECT_EQ(engine.view().errText, "Time out");
    EXPECT_EQ(line.sent.size(), 2);
    line.advance(Guard);
    EXPECT_EQ(line.sent.size(), 3);
}

TEST_F(EngineRules, DamagedRepliesAreAskedAgainAtOnce)
{
    connectSlot1();
    const QByteArray damaged[] = {
        // Taken for words, these would fail the identification and drop the
        // controller.
        ":010302FA00\r\n", // the LRC is missing: CR LF are no check digits
        ":010302000GEA\r\n", // not hex
        ":018302FF\r\n", // an exception with a wrong LRC is no exception
    };
    for (const QByteArray &reply : damaged) {
        const qsizetype before = line.sent.size();
        line.receive(reply);
        ASSERT_EQ(line.sent.size(), before + 1) << reply.constData();
        EXPECT_EQ(line.sent.last(), IdentAscii);
    }
    // The third bad reply in a row counts as one time-out of the slot.
    EXPECT_EQ(engine.view().errText, "Received data does not match");
    EXPECT_TRUE(engine.view().at(1).lost);
    EXPECT_EQ(engine.state().at(1).TimeoutRun, 1);
    EXPECT_TRUE(engine.state().at(1).DeviceRequested);

    // The exception with its right LRC is reported.
    line.receive(":0183027A\r\n");
    EXPECT_EQ(engine.view().errText, "illegal address ");
}

TEST_F(EngineRules, ARefusedSendIsAFailedExchangeAndTheChainGoesOn)
{
    connectSlot1();
    ASSERT_TRUE(answerUntil([](const QByteArray &r) { return r.startsWith(":01034700"); }));
    line.failSends = 1;
    answer(); // the next request finds the output full
    const qsizetype before = line.sent.size();
    EXPECT_EQ(engine.view().errText, "Output buffer too small for block");
    EXPECT_EQ(engine.state().at(1).ErrorCount, 1);
    EXPECT_FALSE(engine.state().RequestOutstanding);
    line.advance(1000);
    engine.Timer1Timer();
    ASSERT_EQ(line.sent.size(), before + 1) << "polling resumes with Timer1";
}

TEST_F(EngineRules, AnExceptionCodeNeverPassesForATimeOut)
{
    connectSlot1();
    line.receive(":01830F6D\r\n"); // exception code 15
    EXPECT_EQ(engine.view().errText, "Unknown error");
    EXPECT_EQ(engine.state().at(1).ErrorCount, 1);
    EXPECT_EQ(engine.state().at(1).TimeoutRun, 0);
    EXPECT_FALSE(engine.view().at(1).lost);
}

TEST_F(EngineRules, AWriteGoesOnlyToAControllerThatIsPolled)
{
    connectSlot1();
    ASSERT_TRUE(answerUntil([](const QByteArray &r) { return r.startsWith(":01034700"); }));
    // No connected slot polls address 2: the write is dropped, not sent.
    engine.requestWrite(2, 0x4700, 5, false);
    answer();
    EXPECT_FALSE(line.sent.last().startsWith(":0206"));
    EXPECT_TRUE(engine.queuedWrites().isEmpty());

    // A write for address 1 goes out next and is charged to slot 1.
    engine.requestWrite(1, 0x4700, 0x5AC3, false);
    answer();
    EXPECT_EQ(line.sent.last(), ":010647005AC395\r\n");
    answer(); // its echo
    EXPECT_TRUE(engine.queuedWrites().isEmpty()) << "a done write is forgotten";
}

TEST_F(EngineRules, TheLinesRetriesGiveAWriteItsAttempts)
{
    LineTalk talk;
    talk.retries = 2;
    settings.setTalk(talk);
    connectSlot1();
    ASSERT_TRUE(answerUntil([](const QByteArray &r) { return r.startsWith(":01034700"); }));
    QList<SingleWriteReport> reports;
    engine.hooks.singleWriteEnded = [&](const SingleWriteReport &r) { reports << r; };
    engine.requestWrite(1, 0x4700, 5, false);
    // The controller answers everything but the write.
    const QByteArray write = ":010647000005AD\r\n";
    for (int i = 0; i < 300 && reports.isEmpty(); ++i) {
        if (line.sent.last() == write)
            line.advance(55 * 40);
        else
            answer();
    }
    ASSERT_EQ(reports.size(), 1);
    EXPECT_EQ(reports.at(0).outcome, WriteOutcome::NoAnswer);
    EXPECT_EQ(line.sent.count(write), 3) << "one attempt and two retries";
}

TEST_F(EngineRules, AWritesFailuresAreChargedToTheSlotItAddresses)
{
    ASSERT_NO_FATAL_FAILURE(pollTwoSlots());
    engine.SelectSlot(2);
    engine.requestWrite(1, 0x4700, 5, false);
    answer();
    ASSERT_TRUE(line.sent.last().startsWith(":0106"));
    line.advance(55 * 38); // controller 1 does not answer the write
    EXPECT_EQ(engine.state().at(1).ErrorCount, 1);
    EXPECT_EQ(engine.state().at(2).ErrorCount, 0) << "not the selected slot's";
    EXPECT_TRUE(engine.view().at(1).lost);
}

TEST_F(EngineRules, DisconnectingDropsQueuedWorkAndReconnectingStartsWithIdentification)
{
    connectSlot1();
    answer();
    engine.requestWrite(1, 0x4700, 0x5AC3, true);
    engine.requestProgramRead();
    engine.RunStopBtClick(1); // disconnect
    EXPECT_FALSE(engine.busy());

    line.advance(55 * 40);
    const qsizetype before = line.sent.size();
    engine.RunStopBtClick(1); // connect again
    ASSERT_EQ(line.sent.size(), before + 1);
    EXPECT_EQ(line.sent.last(), IdentAscii);
}

TEST_F(EngineRules, ACorrectedAddressIsIdentifiedAtOnce)
{
    connectSlot1();
    line.advance(55 * 38); // no answer: "Lost Communication"
    ASSERT_TRUE(engine.view().at(1).lost);
    engine.setComAddr(1, 7);
    line.advance(55 * 38);
    // The new address is identified, not polled as if it were the old one.
    EXPECT_EQ(line.sent.last(), ":07034744000467\r\n");
    EXPECT_TRUE(engine.state().ParamsStale);
}

TEST_F(EngineRules, IdentificationStartsAtTheLowestActiveSlot)
{
    engine.setComAddr(2, 2);
    engine.FormShow();
    engine.ConnectSlot(2); // slot 1 stays unconnected
    ASSERT_TRUE(answerUntil([](const QByteArray &r) { return r.startsWith(":02034700"); }));
    engine.setComAddr(2, 5);
    ASSERT_TRUE(answerUntil([](const QByteArray &r) { return !r.startsWith(":02"); }));
    EXPECT_EQ(line.sent.last(), ":05034744000469\r\n");
}

TEST_F(EngineRules, RtuNoiseDropsNobodyButLastingSilenceDoes)
{
    settings.select(ComSettings::ModBus, 1);
    connectSlot1();
    // Five two-tick windows (one of silence, one for an adapter's latency),
    // each with its guard, pass in three seconds.
    line.advance(3000);
    EXPECT_GE(engine.state().at(1).TimeoutRun, 5);
    EXPECT_TRUE(engine.state().at(1).DeviceRequested);
    EXPECT_TRUE(engine.view().at(1).lost);
    // Silence as long as five text time-outs disconnects, and says why.
    line.advance(10000);
    EXPECT_FALSE(engine.state().at(1).DeviceRequested);
    EXPECT_EQ(engine.view().at(1).runCaption, "Connect");
    EXPECT_EQ(engine.view().at(1).note, "No answer \u2013 disconnected");
    engine.ConnectSlot(1);
    EXPECT_TRUE(engine.view().at(1).note.isEmpty());
}

TEST_F(EngineRules, EveryRequestStartsAfresh)
{
    connectSlot1();
    // A frame cut short, then silence: the next request's reply is taken.
    line.receive(":0103");
    line.advance(55 * 38 + Guard);
    answer();
    EXPECT_TRUE(engine.view().at(1).visible) << "the identification was applied";
    // Bytes waiting on the line are thrown away before every request.
    for (qsizetype i = 0; i < line.log.size(); ++i)
        if (line.log.at(i) == "send") {
            EXPECT_TRUE(i > 0 && line.log.at(i - 1) == "discard") << i;
        }
}

TEST_F(EngineRules, ProgramReadReadsItsBlocksWhole)
{
    connectSlot1();
    ASSERT_TRUE(answerUntil([](const QByteArray &r) { return r.startsWith(":01034700"); }));
    engine.requestProgramRead();
    QList<QByteArray> reads;
    for (int i = 0; i < 6; ++i) {
        answer();
        reads << line.sent.last();
    }
    EXPECT_EQ(
        reads.mid(0, 5),
        (QList<QByteArray> {":0103476700014D\r\n", ":0103477000083D\r\n", ":01034768000845\r\n",
                            ":01034778000835\r\n", ":0103478000082D\r\n"}));
}

TEST_F(EngineRules, TwoSlotsOnOneAddressAreNamed)
{
    engine.setComAddr(1, 3);
    engine.setComAddr(2, 3);
    engine.FormShow();
    engine.ConnectSlot(1);
    EXPECT_TRUE(engine.view().at(1).note.isEmpty());
    engine.ConnectSlot(2);
    EXPECT_EQ(engine.view().at(2).note, "Address 3 is also polled by slot 1");
    engine.setComAddr(2, 4);
    EXPECT_TRUE(engine.view().at(2).note.isEmpty());
    EXPECT_TRUE(dialogs.shown.isEmpty()) << "said beside the slot, not in a box";
}

TEST_F(EngineRules, AControllerThatDoesNotIdentifyIsDroppedSilently)
{
    connectSlot1();
    line.receive(":01030800001234484800001E\r\n"); // not a DUVA
    EXPECT_FALSE(engine.state().at(1).DeviceRequested);
    EXPECT_FALSE(engine.view().at(1).visible);
    EXPECT_EQ(engine.view().at(1).runCaption, "Connect");
    EXPECT_TRUE(dialogs.shown.isEmpty());
}

TEST_F(EngineRules, DisconnectingTheSelectedSlotSelectsAnother)
{
    for (int n = 1; n <= 3; ++n)
        engine.setComAddr(n, n);
    engine.FormShow();
    engine.ConnectSlot(1);
    engine.ConnectSlot(2);
    engine.ConnectSlot(3);
    // Slots 2 and 3 join when slot 1's cycle ends.
    ASSERT_TRUE(answerUntil([](const QByteArray &r) { return r.startsWith(":03034700"); }));
    EXPECT_EQ(engine.state().SelectedDevice, 1);
    engine.DisconnectSlot(1);
    EXPECT_EQ(engine.state().SelectedDevice, 2);
    EXPECT_EQ(engine.view().selPanelSlot, 2);
    EXPECT_TRUE(engine.view().selPanelVisible);
    // Clicking the selected slot again does nothing; another one is selected.
    engine.Image1Click(3);
    EXPECT_EQ(engine.state().SelectedDevice, 3);
    EXPECT_TRUE(engine.state().ParamsStale);
}

TEST_F(EngineRules, ARemovedDeviceIsSaidOnceAndPollingResumesWhenItIsBack)
{
    ASSERT_NO_FATAL_FAILURE(pollTwoSlots());
    line.lose();
    line.failOpening = true;
    line.advance(55 * 38); // the request in flight finds no line
    // Every connected slot shows it at once, not after half a minute.
    EXPECT_TRUE(engine.view().at(1).lost);
    EXPECT_TRUE(engine.view().at(2).lost);
    for (int i = 0; i < 20; ++i) {
        line.advance(1000);
        engine.Timer1Timer(); // looks for the device every second
    }
    QTest::qWait(10);
    EXPECT_EQ(dialogs.texts(), QStringList {"The serial device /dev/ttyUSB0 was removed"});
    EXPECT_TRUE(engine.state().at(1).DeviceRequested) << "the controllers did not fail";
    EXPECT_TRUE(engine.state().at(2).DeviceRequested);

    // Back under its name: the next tick opens it again and polling resumes.
    line.failOpening = false;
    const qsizetype before = line.sent.size();
    engine.Timer1Timer();
    EXPECT_TRUE(line.isOpen());
    EXPECT_FALSE(line.deviceLost());
    ASSERT_GT(line.sent.size(), before);
    EXPECT_FALSE(engine.view().at(1).lost);
    answer();
    EXPECT_GT(line.sent.size(), before + 1);
}

TEST_F(EngineRules, AnotherSlotsSetupIsReadIntoAnImageOfItsOwn)
{
    ASSERT_NO_FATAL_FAILURE(pollTwoSlots());
    ASSERT_EQ(engine.state().SelectedDevice, 1);
    const qint32 selectedEntry = engine.image().at(1);

    bool done = false;
    ParameterImage other;
    int setupReplies = 0;
    engine.hooks.setupReply = [&](int, const QList<quint16> &) { ++setupReplies; };
    engine.readSetupOf(2, [&](bool ok, const ParameterImage &image) {
        done = ok;
        other = image;
    });
    QList<QByteArray> reads;
    while (!done && reads.size() < 10) {
        answer();
        if (line.sent.last().startsWith(":02"))
            reads << line.sent.last();
    }
    ASSERT_TRUE(done);
    EXPECT_EQ(
        reads.mid(0, 6),
        (QList<QByteArray> {":02034713000899\r\n", ":020347040008A8\r\n", ":0203470C0007A1\r\n",
                            ":0203471B000594\r\n", ":0203472000058F\r\n", ":0203101C0002CD\r\n"}));
    EXPECT_EQ(other.at(ParameterImage::ModelEntry), 0x4848);
    // Nothing of it reached the window or the selected controller's image.
    EXPECT_EQ(setupReplies, 0);
    EXPECT_EQ(engine.image().at(1), selectedEntry);
    EXPECT_FALSE(engine.busy());
}

} // namespace
