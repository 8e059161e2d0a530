// The monitor engine against a slave that no one here wrote: two controllers
// served by pymodbus over a pseudo-terminal, in ASCII and in RTU. The engine
// polls both for several seconds; nothing may fail and the panels and the
// parameter image must show what the slave holds.
#include "app/comsettings.h"
#include "link/serialchannel.h"
#include "monitor/monitorengine.h"
#include "monitor/monitorview.h"
#include "scripteddialogs.h"
#include "setup/parameterimage.h"

#include "deviceprocess.h"
#include "tempworkdir.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <QTcpServer>
#include <map>
#include <memory>

namespace {

const QString Python = QStringLiteral("/usr/bin/python3");

QString slaveScript()
{
    return QDir(qEnvironmentVariable("DUVA_SOURCE_DIR"))
        .filePath("tests/monitor/pymodbus_slave.py");
}

// What pymodbus_slave.py serves, per unit id.
struct Unit
{
    int model;
    int modelClass;
    int pv;
    int sv;
    int setupBase;
    const char *pvText; // as the panel shows it, one decimal
    const char *svText;
};
const std::map<int, Unit> Units = {
    {1, {0x4848, 2, 0x04D2, 0x03E8, 0x1000, "123.4", "100.0"}},
    {2, {0x9696, 4, 0x0929, 0x07D0, 0x2000, "234.5", "200.0"}},
};
constexpr int StatusBits = 0x0003;
constexpr int DecimalPoint = 1;

// The value the slave holds in a setup register of a unit.
int setupValue(const Unit &u, int reg)
{
    switch (reg) {
    case 0x4718:
        return 0; // input type: thermocouple
    case 0x4723:
        return 1; // running
    case 0x471A:
        return 1; // output mode
    case 0x4725:
        return DecimalPoint;
    default:
        return u.setupBase + (reg & 0xFF);
    }
}

bool pymodbusAvailable()
{
    QProcess p;
    p.start(Python, {"-c", "import pymodbus"});
    return p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

struct PeerFraming
{
    const char *name;
    int modBus; // ComSettings::ModBus index: 0 ASCII, 1 RTU
};

} // namespace

class MonitorInterop : public ::testing::TestWithParam<PeerFraming>
{
};

TEST_P(MonitorInterop, PollsTwoPymodbusControllersWithoutError)
{
    if (!pymodbusAvailable())
        GTEST_SKIP()
            << "/usr/bin/python3 cannot import pymodbus (python3-pymodbus is not installed)";

    const PeerFraming framing = GetParam();
    TemporaryWorkDir cwd;
    // The slave ends when its standard input closes.
    DeviceProcess slave(Python, {slaveScript(), QString::fromLatin1(framing.name)});
    ASSERT_TRUE(slave.device().startsWith("/dev/pts/"))
        << "slave device: " << qPrintable(slave.device()) << "\n"
        << qPrintable(slave.errors());
    ASSERT_TRUE(QFile::link(slave.device(), "COM1"));

    // A pseudo-terminal takes 8 data bits without parity only. It has no
    // speed of its own; at 2400 bit/s the RTU reply window is two ticks
    // instead of one, room for a Python slave on a busy machine.
    ComSettings settings;
    settings.select(ComSettings::ComPort, 0);
    settings.select(ComSettings::ComBaudRate, 0);
    settings.select(ComSettings::ComParity, 0);
    settings.select(ComSettings::ComStopBit, 0);
    settings.select(ComSettings::ModBus, framing.modBus);
    settings.select(ComSettings::ComBitLen, 1);

    ScriptedDialogs dialogs;
    SerialChannel channel;
    MonitorEngine engine(channel, [&settings] { return settings.lineSettings(); });
    QSet<int> setupSteps;
    int setupCycles = 0;
    engine.hooks.setupReply = [&setupSteps](int step, const QList<quint16> &) {
        setupSteps.insert(step);
    };
    engine.hooks.setupCycleDone = [&setupCycles] { ++setupCycles; };

    engine.FormShow();
    ASSERT_TRUE(channel.Open()) << qPrintable(dialogs.texts().join('\n'));
    ASSERT_EQ(channel.deviceName(), slave.device());
    engine.setComAddr(1, 1);
    engine.setComAddr(2, 2);
    engine.ConnectSlot(1);
    engine.ConnectSlot(2);

    // Several seconds of polling; longer only while the first setup read
    // cycle has not ended yet.
    QTest::qWait(4000);
    const QDeadlineTimer deadline(10000);
    while (setupCycles == 0 && !deadline.hasExpired())
        QTest::qWait(100);
    // A few monitor cycles after it, so that the selected slot's panel is
    // back from the setup read's colour.
    QTest::qWait(500);

    const MonitorState &st = engine.state();
    const MonitorView &view = engine.view();
    EXPECT_TRUE(dialogs.shown.isEmpty()) << qPrintable(dialogs.texts().join('\n'));
    EXPECT_TRUE(view.errText.isEmpty()) << qPrintable(view.errText);
    for (const auto &[n, unit] : Units) {
        SCOPED_TRACE(n);
        const SlotState &s = st.at(n);
        const SlotPanel &p = view.at(n);
        RecordProperty(QStringLiteral("requests%1").arg(n).toStdString(), s.RequestCount);
        EXPECT_EQ(s.ErrorCount, 0);
        EXPECT_EQ(p.errCount, "0");
        EXPECT_TRUE(s.DeviceRequested);
        EXPECT_TRUE(s.DeviceActive);
        // Hundreds in practice; a loaded machine still manages a few dozen.
        EXPECT_GT(s.RequestCount, 20);
        EXPECT_FALSE(p.doCount.isEmpty());
        EXPECT_GT(p.doCount.toInt(), 0);
        EXPECT_EQ(s.DeviceModel, unit.modelClass);
        EXPECT_EQ(s.DecimalPlaces, DecimalPoint);
        EXPECT_TRUE(s.OnlineConfig);
        EXPECT_FALSE(s.ProgramDisplay);
        EXPECT_TRUE(p.visible);
        EXPECT_FALSE(p.lost);
        EXPECT_EQ(p.modelClass, unit.modelClass);
        EXPECT_EQ(p.runLed, MonitorColor::Green);
        EXPECT_EQ(p.runCaption, "Disconnect");
        EXPECT_EQ(p.pvText, QString::fromLatin1(unit.pvText));
        EXPECT_EQ(p.svText, QString::fromLatin1(unit.svText));
        EXPECT_EQ(p.lamps, StatusLamps(StatusBits, unit.modelClass));
        EXPECT_EQ(p.outQty1, 456);
        EXPECT_EQ(p.outQty2, 123);
        EXPECT_TRUE(p.outRow1Visible);
        EXPECT_FALSE(p.event1);
        EXPECT_FALSE(p.event2);
    }
    // The values the slave holds, read the way the panels show them.
    EXPECT_EQ(view.at(1).pvText, "123.4");
    EXPECT_EQ(view.at(2).svText, "200.0");

    // The setup read cycle ran for the selected slot, every step answered.
    EXPECT_EQ(st.SelectedDevice, 1);
    EXPECT_GE(setupCycles, 1);
    EXPECT_EQ(setupSteps, QSet<int>({6, 7, 8, 9, 10, 11, 12, 13}));
    const Unit &selected = Units.at(1);
    const ParameterImage &image = engine.image();
    EXPECT_EQ(image.at(ParameterImage::ModelEntry), selected.model);
    EXPECT_EQ(image.at(ParameterImage::Identification1Entry), 0x2013);
    EXPECT_EQ(image.at(ParameterImage::Identification2Entry), 0x0001);
    EXPECT_EQ(image.firmwareWord(), 0x010A);
    EXPECT_EQ(image.at(ParameterImage::entryOfRegister(0x4701)), selected.sv);
    EXPECT_EQ(image.at(ParameterImage::entryOfRegister(0x4702)), 456);
    EXPECT_EQ(image.at(ParameterImage::entryOfRegister(0x4703)), 123);
    QList<int> setupRegisters;
    for (int reg = 0x4704; reg <= 0x4725; ++reg)
        setupRegisters.append(reg);
    setupRegisters << 0x101C << 0x101D;
    for (int reg : setupRegisters) {
        const int entry = ParameterImage::entryOfRegister(reg);
        ASSERT_GE(entry, 0) << std::hex << reg;
        EXPECT_EQ(image.at(entry), setupValue(selected, reg)) << "register 0x" << std::hex << reg;
    }

    engine.DisconnectSlot(1);
    engine.DisconnectSlot(2);
    EXPECT_EQ(st.ConnectedCount(), 0);
    engine.FormClose();
    EXPECT_FALSE(channel.Open());
}

INSTANTIATE_TEST_SUITE_P(Framings, MonitorInterop,
                         ::testing::Values(PeerFraming {"ascii", 0}, PeerFraming {"rtu", 1}),
                         [](const ::testing::TestParamInfo<PeerFraming> &info) {
                             return std::string(info.param.name);
                         });

// The same two controllers served by pymodbus over TCP: RTU frames as a
// serial device server carries them, and Modbus TCP as a gateway takes them.
class MonitorInteropNetwork : public ::testing::TestWithParam<LineKind>
{
};

TEST_P(MonitorInteropNetwork, PollsTwoPymodbusControllersThroughTheNetwork)
{
    if (!pymodbusAvailable())
        GTEST_SKIP()
            << "/usr/bin/python3 cannot import pymodbus (python3-pymodbus is not installed)";
    quint16 port = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
        port = probe.serverPort();
    }
    const bool gateway = GetParam() == LineKind::Gateway;
    DeviceProcess slave(Python,
                        {QDir(qEnvironmentVariable("DUVA_SOURCE_DIR"))
                             .filePath("tests/monitor/pymodbus_tcp_slave.py"),
                         gateway ? "gateway" : "transparent", QString::number(port)});
    ASSERT_EQ(slave.device(), QStringLiteral("127.0.0.1:%1").arg(port)) << qPrintable(slave.errors());

    ComSettings settings;
    settings.select(ComSettings::ModBus, 1); // RTU through the device server
    settings.setLineKind(GetParam());
    settings.setNetwork({QStringLiteral("127.0.0.1"), port, 300});
    ScriptedDialogs dialogs;
    SerialChannel channel;
    MonitorEngine engine(channel, [&settings] { return settings.lineSettings(); });
    engine.FormShow();
    engine.setComAddr(1, 1);
    engine.setComAddr(2, 2);
    engine.ConnectSlot(1);
    engine.ConnectSlot(2);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return engine.state().at(1).RequestCount > 20 && engine.state().at(2).RequestCount > 20; },
        15000));
    EXPECT_TRUE(dialogs.shown.isEmpty()) << qPrintable(dialogs.texts().join('\n'));
    for (const auto &[n, unit] : Units) {
        SCOPED_TRACE(n);
        EXPECT_EQ(engine.state().at(n).ErrorCount, 0);
        EXPECT_EQ(engine.state().at(n).DeviceModel, unit.modelClass);
        EXPECT_EQ(engine.view().at(n).pvText, QString::fromLatin1(unit.pvText));
        EXPECT_EQ(engine.view().at(n).svText, QString::fromLatin1(unit.svText));
    }
    engine.FormClose();
}

INSTANTIATE_TEST_SUITE_P(Kinds, MonitorInteropNetwork,
                         ::testing::Values(LineKind::DeviceServer, LineKind::Gateway),
                         [](const auto &info) {
                             return info.param == LineKind::Gateway ? "Gateway" : "DeviceServer";
                         });

// The engine against duva-sim on a pseudo-terminal, with the simulator's
// line timing: a controller whose echo comes after the reply window, as
// behind an adapter that holds bytes. The change reached it and is named
// written, without a second frame.
TEST(MonitorOnTheSimulator, AnEchoAfterItsWindowNamesTheWriteWritten)
{
    TemporaryWorkDir cwd;
    DeviceProcess sim(QDir(qEnvironmentVariable("DUVA_BIN_DIR")).filePath("duva-sim"),
                      {"--link", "COM1", "--pace", "--log", "requests.log", "--controller",
                       "1:4848", "--controller", "2:9696"});
    ASSERT_TRUE(sim.device().startsWith("/dev/pts/")) << qPrintable(sim.errors());
    const auto command = [&sim](const QByteArray &line) {
        QProcess &p = sim.process();
        p.write(line + '\n');
        p.waitForBytesWritten(2000);
        while (!p.canReadLine() && p.waitForReadyRead(5000)) { }
        return QString::fromUtf8(p.readLine()).trimmed();
    };

    ComSettings settings; // ASCII, 9600, opened 8N1 as a pseudo-terminal takes it
    settings.select(ComSettings::ComPort, 0);
    settings.select(ComSettings::ComParity, 0);
    settings.select(ComSettings::ComStopBit, 0);
    settings.select(ComSettings::ComBitLen, 1);
    ScriptedDialogs dialogs;
    SerialChannel channel;
    MonitorEngine engine(channel, [&settings] { return settings.lineSettings(); });
    QList<SingleWriteReport> reports;
    engine.hooks.singleWriteEnded = [&reports](const SingleWriteReport &r) { reports << r; };
    engine.FormShow();
    ASSERT_TRUE(channel.Open()) << qPrintable(dialogs.texts().join('\n'));
    engine.setComAddr(1, 1);
    engine.setComAddr(2, 2);
    engine.ConnectSlot(1);
    engine.ConnectSlot(2);
    QDeadlineTimer whole(15000);
    while (!engine.imageWhole() && !whole.hasExpired())
        QTest::qWait(50);
    ASSERT_TRUE(engine.imageWhole());

    // Two and a half seconds: after the two-second window of the write.
    ASSERT_EQ(command("fault 1 delay 2500"), "ok");
    engine.requestWrite(1, 0x4711, 30003, false);
    QDeadlineTimer ended(20000);
    while (reports.isEmpty() && !ended.hasExpired())
        QTest::qWait(50);
    ASSERT_EQ(command("fault 1 none"), "ok");
    ASSERT_EQ(reports.size(), 1);
    EXPECT_EQ(reports.at(0).outcome, WriteOutcome::Written) << qPrintable(reports.at(0).why);
    EXPECT_EQ(command("get 1 0x4711"), "ok 30003");
    QFile log("requests.log");
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(log.readAll());
    EXPECT_EQ(text.count("addr 01 fn 06 reg 4711"), 1) << qPrintable(text.right(2000));
    engine.FormClose();
}
