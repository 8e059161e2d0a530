// The recorder's acquisition: scans on the line against the simulator in
// both framings (requests from its log), and on a played line for the
// replies and failures the simulator does not make.
#include "app/comsettings.h"
#include "fakeline.h"
#include "link/serialchannel.h"
#include "recorder/acquisition.h"
#include "recorder/recordviewer.h"
#include "recorder/trendchart.h"
#include "scripteddialogs.h"
#include "simoncom1.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

using Recorder::MissingSample;

class RecorderOnTheLine : public ::testing::TestWithParam<ModbusMode>
{
protected:
    ScriptedDialogs dialogs;
    ComSettings settings;
    std::unique_ptr<SimOnCom1> sim;
    SerialChannel channel;
    Recorder::Data data;
    std::unique_ptr<RecorderAcquisition> rec;
    QStringList reads; // "01", the addresses asked, in order
    QList<qint64> updates; // the sample index of each scan's chart update

    void start(const QList<QPair<int, int>> &controllers, const QList<QPair<int, int>> &devices)
    {
        sim = std::make_unique<SimOnCom1>(MatchingLine(GetParam(), settings), controllers);
        ASSERT_TRUE(sim->ok());
        QObject::connect(&sim->line, &SimLine::requestLogged, [this](const QString &text) {
            static const QRegularExpression re(QStringLiteral("addr (\\w{2}) fn 03 reg 4700"));
            const auto m = re.match(text);
            if (m.hasMatch())
                reads << m.captured(1);
        });
        rec = std::make_unique<RecorderAcquisition>(
            channel, [this] { return settings.lineSettings(); }, data);
        rec->hooks.chartUpdate = [this](qint64 i, const QString &) { updates << i; };
        rec->FormShow();
        rec->setComAddr(0, 0);
        for (const auto &[device, address] : devices)
            rec->setComAddr(device, address);
        rec->StartBtClick();
        ASSERT_TRUE(rec->recording());
    }
    void TearDown() override
    {
        rec.reset();
        sim.reset();
    }
    // One scan, as a Timer1 tick starts it.
    bool scan()
    {
        const qint64 before = rec->scanCounter();
        rec->Timer1Timer();
        return QTest::qWaitFor(
            [&] { return rec->scanCounter() > before && !rec->requestOutstanding(); }, 8000);
    }
};

TEST_P(RecorderOnTheLine, EachScanAsksTheDevicesInUseInDeviceOrder)
{
    start({{1, 0x4848}, {3, 0x4824}}, {{0, 1}, {4, 3}});
    ASSERT_TRUE(scan());
    ASSERT_TRUE(scan());
    EXPECT_EQ(reads, QStringList({"01", "03", "01", "03"}));
    EXPECT_EQ(rec->view().loopCnt, " 00000002");
    EXPECT_EQ(updates, QList<qint64>({0, 1}));
    // The simulator's process values, in tenths.
    EXPECT_NEAR(data.sample(0, 1), 253, 20);
    EXPECT_NE(data.sample(4, 1), MissingSample);
    EXPECT_EQ(data.sample(1, 1), 0); // unused devices store nothing
    EXPECT_FALSE(rec->view().startTime.isEmpty());
    EXPECT_FALSE(rec->view().lastTime.isEmpty());
}

TEST_P(RecorderOnTheLine, ASilentDeviceIsGivenUpAfterThreeAttempts)
{
    start({{1, 0x4848}, {3, 0x4824}}, {{0, 1}, {4, 3}});
    sim->line.setFault(1, {SimFault::Kind::Silent, 0});
    // The scan that gives device 1 up completes like any other.
    ASSERT_TRUE(scan());
    EXPECT_EQ(reads, QStringList({"01", "01", "01", "03"}));
    EXPECT_TRUE(data.device[0].valueRed);
    EXPECT_TRUE(data.device[0].failed);
    EXPECT_EQ(data.sample(0, 0), MissingSample);
    EXPECT_EQ(rec->view().errMess, "Device 1 received data TimeOut");
    EXPECT_EQ(rec->view().loopCnt, " 00000001");
    EXPECT_EQ(updates, QList<qint64>({0}));
    // From now on only device 5 is asked; device 1 gets missing marks.
    reads.clear();
    ASSERT_TRUE(scan());
    EXPECT_EQ(reads, QStringList({"03"}));
    EXPECT_EQ(data.sample(0, 1), MissingSample);
    // The last device in service silenced too: the recording stops itself.
    sim->line.setFault(3, {SimFault::Kind::Silent, 0});
    rec->Timer1Timer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rec->recording(); }, 8000));
    EXPECT_EQ(rec->view().startCaption, "START");
    EXPECT_FALSE(rec->holdsPort());
    EXPECT_FALSE(rec->timer1().isActive());
    EXPECT_EQ(rec->view().loopCnt, " 00000003");
    EXPECT_TRUE(dialogs.shown.isEmpty());
}

TEST_P(RecorderOnTheLine, AStatusCodeIsRecordedAsTheNumberItEncodes)
{
    start({{1, 0x4848}}, {{0, 1}});
    sim->controller(1).setPvStatus(3);
    ASSERT_TRUE(scan());
    EXPECT_EQ(data.sample(0, 0), -32765);
}

TEST_P(RecorderOnTheLine, TheRecordFileIsWrittenLineByLine)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("rec");
    // Status codes give the process values known numbers: 0x8003, 0x8005.
    sim = std::make_unique<SimOnCom1>(MatchingLine(GetParam(), settings),
                                      QList<QPair<int, int>> {{1, 0x4848}, {3, 0x4824}});
    ASSERT_TRUE(sim->ok());
    sim->controller(1).setPvStatus(3);
    sim->controller(3).setPvStatus(5);
    rec = std::make_unique<RecorderAcquisition>(
        channel, [this] { return settings.lineSettings(); }, data);
    rec->clock = [] { return QDateTime(QDate(2026, 12, 9), QTime(14, 5, 9)); };
    rec->FormShow();
    rec->setComAddr(4, 3);
    rec->setSampleTime(5);
    dialogs.fileAnswers << path; // typed without its extension
    rec->SaveBtClick();
    EXPECT_TRUE(rec->saveArmed());
    rec->StartBtClick();
    ASSERT_TRUE(scan());
    QFile file(path + ".txt");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray header = "01  00  00  00  03  00  00  00  00  00  05\r\n";
    const QByteArray line = "00 -32765 04 -32763     2:05:09 PM   12/9/2026\r\n";
    EXPECT_EQ(line.size(), 48); // 46 characters and CR LF
    // On disk already, while the recording runs.
    EXPECT_EQ(file.readAll(), header + line);
    sim->line.setFault(1, {SimFault::Kind::Silent, 0});
    ASSERT_TRUE(scan());
    ASSERT_TRUE(scan());
    rec->StartBtClick(); // STOP
    EXPECT_FALSE(rec->saveArmed());
    file.seek(0);
    const QByteArray missing = "00 E      04 -32763     2:05:09 PM   12/9/2026\r\n";
    EXPECT_EQ(file.readAll(), header + line + missing + missing + "End\r\n");

    // And it opens again.
    Recorder::TrendChart chart(data, 1024);
    RecordViewer viewer(data, chart, *rec);
    EXPECT_TRUE(viewer.open(path + ".txt")) << dialogs.texts().join('|').toStdString();
    EXPECT_EQ(data.sample(4, 2), -32763);
}

INSTANTIATE_TEST_SUITE_P(Framings, RecorderOnTheLine,
                         ::testing::Values(ModbusMode::Ascii, ModbusMode::Rtu),
                         [](const auto &info) {
                             return info.param == ModbusMode::Ascii ? "Ascii" : "Rtu";
                         });

// On a played line (ASCII).
class RecorderPlayed : public ::testing::Test
{
protected:
    ScriptedDialogs dialogs;
    FakeLine line;
    Recorder::Data data;
    RecorderAcquisition rec {line, [] { return LineSettings(); }, data};

    void startWith(int address)
    {
        rec.FormShow();
        rec.setComAddr(0, address);
        rec.StartBtClick();
    }
    // Device 1 at address 1, "Save to File" armed with `path`, then START.
    void startSavingTo(const QString &path)
    {
        rec.FormShow();
        rec.setComAddr(0, 1);
        dialogs.fileAnswers << path;
        rec.SaveBtClick();
        ASSERT_TRUE(rec.saveArmed());
        rec.StartBtClick();
    }
};

TEST_F(RecorderPlayed, RepliesAndStrayTalkers)
{
    startWith(1);
    rec.Timer1Timer();
    ASSERT_EQ(line.sent.size(), 1);
    EXPECT_EQ(line.sent.last(), ":010347000001B4\r\n");
    line.receive(":010302FF38C3\r\n");
    EXPECT_EQ(data.sample(0, 0), -200);
    EXPECT_EQ(rec.scanCounter(), 1);

    // Another address answering, then a damaged reply: failures of the
    // device asked, which is asked again at once; the third gives it up.
    rec.Timer1Timer();
    line.receive(":020302000AEF\r\n");
    EXPECT_EQ(rec.view().errMess, "Device 1 Received data does not match");
    EXPECT_EQ(line.sent.size(), 3);
    line.receive(":010302000AF1\r\n");
    EXPECT_EQ(line.sent.size(), 4);
    line.receive(":0183027A\r\n"); // an exception: the device stays current
    EXPECT_EQ(rec.view().errMess, "Device 1 illegal address ");
    EXPECT_FALSE(rec.recording()); // third failure: nobody left
    EXPECT_TRUE(data.device[0].valueRed);
}

TEST_F(RecorderPlayed, ARecordFileThatCannotBeMadeStopsTheStart)
{
    QTemporaryDir dir;
    ASSERT_NO_FATAL_FAILURE(startSavingTo(dir.filePath("no/such/folder/rec.txt")));
    EXPECT_FALSE(rec.recording());
    EXPECT_FALSE(line.isOpen());
    EXPECT_FALSE(rec.saveArmed());
    QTest::qWait(10);
    ASSERT_EQ(dialogs.texts().size(), 1);
    EXPECT_TRUE(dialogs.texts().at(0).startsWith("Can not create file "));
    EXPECT_TRUE(dialogs.texts().at(0).contains("rec.txt"));
}

TEST_F(RecorderPlayed, ALineThatCannotBeWrittenDisarmsTheSaveAndSaysWhy)
{
    QTemporaryDir dir;
    ASSERT_NO_FATAL_FAILURE(startSavingTo(dir.filePath("rec.txt")));
    ASSERT_TRUE(rec.recording());
    rec.Timer1Timer();
    line.receive(":010302FF38C3\r\n");
    ASSERT_EQ(rec.scanCounter(), 1);
    // The file may not grow beyond its header and first line.
    rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = rlim_t(QFileInfo(dir.filePath("rec.txt")).size());
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    rec.Timer1Timer();
    line.receive(":010302FF38C3\r\n");
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(rec.recording()); // the recording goes on
    EXPECT_FALSE(rec.saveArmed()); // the file is closed, the button free
    QTest::qWait(10);
    ASSERT_EQ(dialogs.texts().size(), 1);
    EXPECT_TRUE(dialogs.texts().at(0).startsWith("Can not write file "));
    EXPECT_TRUE(dialogs.texts().at(0).endsWith("rec.txt : File too large"))
        << dialogs.texts().at(0).toStdString();
}

TEST_F(RecorderPlayed, SampleTimeAndTicksDuringAScan)
{
    rec.setSampleTime(120);
    startWith(1);
    EXPECT_EQ(rec.timer1().interval(), 120000);
    rec.Timer1Timer();
    rec.Timer1Timer(); // while the request is out: ignored
    EXPECT_EQ(line.sent.size(), 1);
    rec.setSampleTime(500);
    EXPECT_EQ(rec.sampleTime(), 120);
}

TEST_F(RecorderPlayed, PortFailureAndLostDeviceAreSaid)
{
    line.failOpening = true;
    startWith(1);
    EXPECT_FALSE(rec.recording());
    EXPECT_EQ(rec.view().startCaption, "START");
    QTest::qWait(10);
    ASSERT_EQ(dialogs.texts().size(), 1);
    EXPECT_TRUE(dialogs.texts().at(0).startsWith("Comport did not exist !!!\n"));
    EXPECT_TRUE(dialogs.texts().at(0).contains("not found"));

    line.failOpening = false;
    rec.setComAddr(1, 2);
    rec.StartBtClick();
    ASSERT_TRUE(rec.recording());
    rec.Timer1Timer();
    line.lose();
    line.advance(2000); // the reply window ends on a device that is gone
    // The recording rides it out: the scan's samples are missing, the loss
    // is said once, and the next scan finds the line again.
    EXPECT_TRUE(rec.recording());
    EXPECT_EQ(rec.view().loopCnt, " 00000001");
    QTest::qWait(10);
    EXPECT_EQ(dialogs.texts().last(), "The serial device /dev/ttyUSB0 was removed");
    EXPECT_EQ(dialogs.texts().size(), 2);
    const int sentBefore = int(line.sent.size());
    rec.Timer1Timer();
    EXPECT_FALSE(line.deviceLost());
    EXPECT_EQ(line.sent.size(), sentBefore + 1);
}

} // namespace
