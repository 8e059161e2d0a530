#include "app/comsettings.h"
#include "app/comsettingslogic.h"
#include "app/settingsfile.h"
#include "link/comports.h"
#include "link/duvaerror.h"
#include "ptypeer.h"
#include "scripteddialogs.h"
#include "tempworkdir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Selection
{
    int port, baud, parity, bitLen, stopBit, modBus;
};

Selection selection(const ComSettings &s)
{
    return {s.comPort(), s.comBaudRate(), s.comParity(), s.comBitLen(), s.comStopBit(), s.modBus()};
}

void expectSelection(const ComSettings &s, Selection e, const char *what)
{
    const Selection a = selection(s);
    EXPECT_EQ(a.port, e.port) << what;
    EXPECT_EQ(a.baud, e.baud) << what;
    EXPECT_EQ(a.parity, e.parity) << what;
    EXPECT_EQ(a.bitLen, e.bitLen) << what;
    EXPECT_EQ(a.stopBit, e.stopBit) << what;
    EXPECT_EQ(a.modBus, e.modBus) << what;
}

TEST(ComSettings, DefaultsAndTheirCode)
{
    ComSettings s;
    expectSelection(s, {0, 2, 1, 0, 0, 0}, "design defaults");
    EXPECT_EQ(s.code(), 120);
    EXPECT_TRUE(s.bitLenEnabled());
    EXPECT_EQ(s.modbusMode(), ModbusMode::Ascii);
}

TEST(ComSettings, DecodingClampsEachDigitInOrder)
{
    const struct
    {
        int code;
        Selection sel;
        bool bitLenEnabled;
    } cases[] = {
        {120, {0, 2, 1, 0, 0, 0}, true},
        {51032, {2, 3, 0, 1, 0, 1}, false},
        {99999, {7, 4, 2, 1, 1, 1}, false},
        {-1, {-1, 0, 0, 0, 0, 0}, true},
        // A group a negative code leaves at -1 shows the default the line
        // runs (7 bits, even parity, 9600); no port stays no port.
        {-1000, {0, 0, 0, 0, 0, 0}, true},
        {-100, {0, 0, 1, 0, 0, 0}, true},
        {-55, {-1, 2, 0, 0, 0, 0}, true},
        {-2012345, {-1, 2, 1, 0, 0, 0}, true},
        // RTU is selected first; its 8 data bits stay, whatever the code says.
        {50000, {0, 0, 0, 1, 0, 1}, false},
        {61247, {7, 4, 2, 1, 1, 1}, false},
    };
    for (const auto &c : cases) {
        ComSettings s;
        s.applyCode(c.code);
        expectSelection(s, c.sel, std::to_string(c.code).c_str());
        EXPECT_EQ(s.bitLenEnabled(), c.bitLenEnabled) << c.code;
    }
}

TEST(ComSettings, LineSettingsOfSettingsCodes)
{
    using P = LineParity;
    constexpr ModbusMode A = ModbusMode::Ascii, R = ModbusMode::Rtu;
    // What the line runs: port, baud rate, parity, data and stop bits, framing.
    struct Line
    {
        int comNumber;
        quint32 baud;
        LineParity parity;
        int dataBits;
        int stopBits;
        ModbusMode framing;
    };
    const struct
    {
        int code;
        Line line;
    } cases[] = {
        {120, {1, 9600, P::Even, 7, 1, A}},
        {51032, {3, 19200, P::None, 8, 1, R}},
        {99999, {8, 38400, P::Odd, 8, 2, R}},
        {101, {2, 2400, P::Even, 7, 1, A}}, // parity 1 is even ...
        {201, {2, 2400, P::Odd, 7, 1, A}}, // ... and 2 odd
        {11000, {1, 2400, P::None, 8, 2, A}},
        // RTU runs 8 data bits even where the code says 7.
        {50000, {1, 2400, P::None, 8, 1, R}},
        // No port: the user is asked at opening; the other groups decode.
        {-1, {0, 2400, P::None, 7, 1, A}},
        // Groups left without a selection take their defaults.
        {-2012345, {0, 9600, P::Even, 7, 1, A}},
    };
    for (const auto &c : cases) {
        ComSettings s;
        s.applyCode(c.code);
        const LineSettings l = s.lineSettings();
        EXPECT_EQ(l.comNumber, c.line.comNumber) << c.code;
        EXPECT_EQ(l.baud, c.line.baud) << c.code;
        EXPECT_EQ(l.parity, c.line.parity) << c.code;
        EXPECT_EQ(l.dataBits, c.line.dataBits) << c.code;
        EXPECT_EQ(l.stopBits, c.line.stopBits) << c.code;
        EXPECT_EQ(l.framing, c.line.framing) << c.code;
    }
    // Whatever the code, RTU never runs 7 data bits.
    for (int code = -100; code <= 61247; ++code) {
        ComSettings s;
        s.applyCode(code);
        const LineSettings l = s.lineSettings();
        if (l.framing == R) {
            ASSERT_EQ(l.dataBits, 8) << code;
        }
    }
}

TEST(ComSettings, EncodingRoundTripsEveryValidSelection)
{
    // With RTU the data-bit group is disabled at "8 bits".
    int checked = 0;
    for (int m = 0; m < 2; ++m)
        for (int st = 0; st < 2; ++st)
            for (int b = m; b < 2; ++b)
                for (int p = 0; p < 3; ++p)
                    for (int r = 0; r < 5; ++r)
                        for (int c = 0; c < 8; ++c) {
                            ComSettings s;
                            s.select(ComSettings::ModBus, m);
                            s.select(ComSettings::ComStopBit, st);
                            s.select(ComSettings::ComBitLen, b);
                            s.select(ComSettings::ComParity, p);
                            s.select(ComSettings::ComBaudRate, r);
                            s.select(ComSettings::ComPort, c);
                            ComSettings back;
                            back.applyCode(s.code());
                            ASSERT_EQ(back, s) << s.code();
                            ++checked;
                        }
    EXPECT_EQ(checked, 720);
}

TEST(ComSettings, RtuForcesEightBitsAndAsciiKeepsThem)
{
    ComSettings s;
    s.select(ComSettings::ModBus, 1);
    EXPECT_EQ(s.comBitLen(), 1);
    EXPECT_FALSE(s.bitLenEnabled());
    s.select(ComSettings::ModBus, 0);
    EXPECT_EQ(s.comBitLen(), 1);
    EXPECT_TRUE(s.bitLenEnabled());
    s.select(ComSettings::ComBitLen, 0);
    EXPECT_EQ(s.lineSettings().dataBits, 7);
}

TEST(ComSettings, NoPortSelectedResetsAllGroupsOnShow)
{
    ComSettings s;
    s.applyCode(-1);
    s.select(ComSettings::ModBus, 1);
    s.resetIfNoPort();
    expectSelection(s, {0, 2, 1, 0, 0, 0}, "reset");
    EXPECT_TRUE(s.bitLenEnabled());

    ComSettings kept;
    kept.applyCode(51032);
    kept.resetIfNoPort();
    EXPECT_EQ(kept.code(), 51032);
}

class SettingsFile : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString path() const { return QDir(dir.path()).filePath("SETDUVA.$$$"); }
    void write(const QByteArray &content)
    {
        QFile f(path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    QByteArray read()
    {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    // The error box's text for a refused file in `dir`.
    QString refusal(const QString &what) const
    {
        return what + "\nSettings file: " + path() + "\nThe default settings are used.";
    }
};

TEST_F(SettingsFile, MissingFileGivesDefaultsWithoutError)
{
    ComSettings s;
    s.applyCode(51032);
    EXPECT_NO_THROW(LoadSettingsFile(s, dir.path()));
    EXPECT_EQ(s.code(), 120);
    EXPECT_TRUE(s.bitLenEnabled());
}

TEST_F(SettingsFile, FirstSaveWritesOneLineWithCrLf)
{
    ComSettings s;
    SaveSettingsFile(s, dir.path());
    EXPECT_EQ(read(), "120\r\n");
    s.applyCode(51032);
    SaveSettingsFile(s, dir.path());
    EXPECT_EQ(read(), "51032\r\n");
}

TEST_F(SettingsFile, LoadAcceptsLineEndsAndMissingLastEnd)
{
    for (const QByteArray &content :
         {QByteArray("51032\r\n"), QByteArray("51032"), QByteArray("51032\n"),
          QByteArray("51032\r\n120\r\n"),
          QByteArray("\xEF\xBB\xBF"
                     "51032\r\n"),
          QByteArray(4091, '0') + "51032\r\n"}) { // the longest line judged
        write(content);
        ComSettings s;
        LoadSettingsFile(s, dir.path());
        EXPECT_EQ(s.code(), 51032) << content.constData();
        EXPECT_FALSE(s.bitLenEnabled());
    }
}

TEST_F(SettingsFile, FaultyLineRaisesTheConversionTextAndChangesNothing)
{
    const struct
    {
        QByteArray content;
        const char *text;
    } cases[] = {
        {"abc\r\n", "'abc' is not a valid integer value"},
        {"\r\n", "'' is not a valid integer value"},
        {"", "'' is not a valid integer value"},
        {"12x\r\n", "'12x' is not a valid integer value"},
        {"99999999999\r\n", "'99999999999' is not a valid integer value"},
        // Judged whole, not by its first 63 bytes.
        {"120" + QByteArray(70, ' ') + "9\r\n",
         "'120                                                                      9' is not a "
         "valid integer value"},
        // Too long to be judged: refused, shown cut short.
        {QByteArray(4092, '0') + "51032\r\n",
         "'0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
         "000000000000...' is not a valid integer value"},
        // No raw control bytes in the box.
        {QByteArray("12\0"
                    "3\x1B[2J\xFF\r\n",
                    11),
         "'12\\x003\\x1B[2J\\xFF' is not a valid integer value"},
    };
    for (const auto &c : cases) {
        write(c.content);
        ComSettings s;
        try {
            LoadSettingsFile(s, dir.path());
            ADD_FAILURE() << "no error for " << c.content.left(80).constData();
        } catch (const DuvaError &e) {
            EXPECT_EQ(e.text().toStdString(), refusal(QString::fromLatin1(c.text)).toStdString());
        }
        EXPECT_EQ(s.code(), 120) << "the selections keep their defaults";
    }
}

TEST_F(SettingsFile, TheNetworkLineKeepsItsOwnFileAndTheCodeItsFiveDigits)
{
    ComSettings s;
    s.applyCode(51032);
    ComSettingsLogic dialog(s, dir.path());
    dialog.NetworkClick(LineKind::Gateway);
    dialog.HostEditChange(" 10.0.0.5 ");
    dialog.MarginEditChange(450);
    dialog.TalkChange({EchoRemoval::On, 1500, 4, 20});
    dialog.OKBt1Click();
    // Peers reading SETDUVA.$$$ still find the COM port setting there.
    EXPECT_EQ(read(), "51032\r\n");
    QFile net(QDir(dir.path()).filePath("SETDUVA.NET"));
    ASSERT_TRUE(net.open(QIODevice::ReadOnly));
    EXPECT_EQ(net.readAll(),
              "line=gateway\r\nhost=10.0.0.5\r\nport=502\r\nmargin=450\r\n"
              "echo=on\r\ntimeout=1500\r\nretries=4\r\npause=20\r\n");
    // The gateway talks RTU: 8 bits, whatever the groups hold.
    const LineSettings line = s.lineSettings();
    EXPECT_EQ(line.kind, LineKind::Gateway);
    EXPECT_EQ(line.framing, ModbusMode::Rtu);
    EXPECT_EQ(line.network.text(), "10.0.0.5:502");

    ComSettings loaded;
    LoadNetworkFile(loaded, dir.path());
    EXPECT_EQ(loaded.lineKind(), LineKind::Gateway);
    EXPECT_EQ(loaded.network(), (NetworkTarget {"10.0.0.5", 502, 450}));
    EXPECT_EQ(loaded.talk(), (LineTalk {EchoRemoval::On, 1500, 4, 20}));
    EXPECT_EQ(loaded.lineSettings().talk, (LineTalk {EchoRemoval::On, 1500, 4, 20}));

    // A COM port chosen again makes the line serial; the device is kept.
    dialog.RadioClick(ComSettings::ComPort, 4);
    dialog.OKBt1Click();
    EXPECT_EQ(read(), "51034\r\n");
    LoadNetworkFile(loaded, dir.path());
    EXPECT_EQ(loaded.lineKind(), LineKind::Serial);
    EXPECT_EQ(loaded.network().host, "10.0.0.5");
}

TEST_F(SettingsFile, AFaultyNetworkFileIsRefusedNamingTheLineAndChangesNothing)
{
    const QString netPath = QDir(dir.path()).filePath("SETDUVA.NET");
    const auto load = [&](const QByteArray &content) -> QString {
        QFile f(netPath);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
        f.close();
        ComSettings s;
        s.setLineKind(LineKind::DeviceServer);
        s.setNetwork({"plc", 4001, 300});
        try {
            LoadNetworkFile(s, dir.path());
        } catch (const DuvaError &e) {
            EXPECT_EQ(s.lineKind(), LineKind::DeviceServer);
            EXPECT_EQ(s.network(), (NetworkTarget {"plc", 4001, 300}));
            return e.text().section('\n', 0, 0);
        }
        return QStringLiteral("accepted");
    };
    EXPECT_EQ(load("line=device-server\nhost=gw1\nport=4001"), "accepted");
    EXPECT_EQ(load("line=modem\r\n"), "'line=modem': the line is serial, device-server or gateway");
    EXPECT_EQ(load("line=gateway\r\nhost=gw\r\nport=70000\r\n"),
              "'port=70000': the port is 1 to 65535");
    EXPECT_EQ(load("line=gateway\r\nhost=a b\r\nport=502\r\n"),
              "'host=a b': the host is a name or an address");
    EXPECT_EQ(load("line=gateway\r\nport=502\r\n"), "A network line needs its host and its port");
    EXPECT_EQ(load("line=gateway\r\nhost=gw\r\nport=502\r\nspeed=9600\r\n"),
              "'speed=9600': unknown setting");
    EXPECT_EQ(load("line=gateway\r\nhost=gw\r\nport=502\r\nmargin=-1\r\n"),
              "'margin=-1': the margin is 0 to 5000 ms");
}

TEST(SettingsFileInWorkDir, AFifoIsRefusedAtOnceInsteadOfWaitingForAWriter)
{
    TemporaryWorkDir work;
    ASSERT_EQ(::mkfifo("SETDUVA.$$$", 0600), 0);
    ComSettings s;
    s.applyCode(51032);
    auto load = std::async(std::launch::async, [&s]() -> QString {
        try {
            LoadSettingsFile(s);
        } catch (const DuvaError &e) {
            return e.text();
        }
        return QStringLiteral("<no error>");
    });
    if (load.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
        ADD_FAILURE() << "loading waits for a writer of the FIFO";
        // Release the reader, so that the test ends.
        const int fd = ::open("SETDUVA.$$$", O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    }
    EXPECT_EQ(load.get().toStdString(),
              ("Cannot read the file: it is not a regular file\nSettings file: " +
               QDir::currentPath() + "/SETDUVA.$$$\nThe default settings are used.")
                  .toStdString());
    EXPECT_EQ(s.code(), 51032);
}

TEST_F(SettingsFile, NegativeCodeLeavesNoPortSelected)
{
    write("-1\r\n");
    ComSettings s;
    LoadSettingsFile(s, dir.path());
    EXPECT_EQ(s.comPort(), -1);
    EXPECT_EQ(s.lineSettings().comNumber, 0);
}

TEST_F(SettingsFile, FailedSaveReportsTheReasonAndKeepsTheOldFile)
{
    write("51032\r\n");
    // A directory in the place of the temporary file's folder cannot be
    // written: make the folder read-only (root ignores that, so also try a
    // path whose parent is a file).
    const QString blocked = QDir(dir.path()).filePath("notadir");
    QFile f(blocked);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    ComSettings s;
    try {
        SaveSettingsFile(s, QDir(blocked).filePath("sub"));
        ADD_FAILURE() << "save into a missing folder succeeded";
    } catch (const DuvaError &e) {
        EXPECT_TRUE(e.text().contains("SETDUVA.$$$")) << e.text().toStdString();
    }
    EXPECT_EQ(read(), "51032\r\n");
}

TEST(ComSettingsDialog, AssignDeviceBindsTheSelectedNumber)
{
    TemporaryWorkDir work;
    ScriptedDialogs dialogs;
    PtyPeer adapter;
    ComSettings settings;
    settings.select(ComSettings::ComPort, 2); // COM3
    ComSettingsLogic logic(settings);
    const QList<SerialDevice> devices = {
        {adapter.device(), QString(), QStringLiteral("Maker, serial number A1")}};

    dialogs.itemAnswers.enqueue(-1); // Cancel: nothing is written
    EXPECT_FALSE(logic.AssignBtClick(devices));
    EXPECT_FALSE(QFileInfo("COM3").isSymLink());

    dialogs.itemAnswers.enqueue(0);
    ASSERT_TRUE(logic.AssignBtClick(devices));
    EXPECT_EQ(comPortDevice(3), adapter.device());
    ASSERT_EQ(dialogs.shown.size(), 2);
    EXPECT_EQ(dialogs.shown.last().title, "Assign device to COM3");
    EXPECT_EQ(dialogs.shown.last().text, adapter.device() + " - Maker, serial number A1");

    EXPECT_FALSE(logic.AssignBtClick({}));
    EXPECT_EQ(dialogs.texts().last(), "No serial device was found on this computer.");
}

} // namespace

TEST_F(SettingsFile, OkSavesOnlyACodeThatReadsBackAsShown)
{
    // -11 loads as no port at 9600 bit/s; no code brings that back, so OK
    // refuses and the file keeps its bytes (19 would read back as COM8 at
    // 4800 bit/s).
    write("-11\r\n");
    ComSettings s;
    LoadSettingsFile(s, dir.path());
    EXPECT_EQ(s.comPort(), -1);
    EXPECT_EQ(s.comBaudRate(), 2);
    ComSettingsLogic dialog(s, dir.path());
    EXPECT_THROW(dialog.OKBt1Click(), DuvaError);
    EXPECT_EQ(read(), "-11\r\n");
    // Shown, the dialog resets to the defaults, which save as 120.
    dialog.FormShow();
    dialog.OKBt1Click();
    EXPECT_EQ(read(), "120\r\n");
}
