// duva-cli against the simulator on a pseudo-terminal: each command run as
// the user runs it, its output, exit status and what reached the line.
#include "link/serialchannel.h"
#include "monitor/monitorengine.h"
#include "monitor/monitorform.h"
#include "recorder/recordfile.h"
#include "scripteddialogs.h"
#include "setup/setupviewform.h"
#include "simoncom1.h"
#include "simonnetwork.h"

#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <termios.h>
#include <unistd.h>

namespace {

struct CliRun
{
    int status = -1;
    QString out;
    QString err;
};

QString cliPath()
{
    return qEnvironmentVariable("DUVA_BIN_DIR") + QStringLiteral("/duva-cli");
}

// Runs duva-cli in the simulator's directory, the event loop turning (the
// simulator lives in this process). `prepare` sets the process up further
// (its standard output, a file-size limit).
CliRun cli(const QStringList &args, int timeoutMs = 20000,
           const std::function<void(QProcess &)> &prepare = {})
{
    QProcess p;
    if (prepare)
        prepare(p);
    p.start(cliPath(), args);
    EXPECT_TRUE(p.waitForStarted(5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, timeoutMs))
        << args.join(' ').toStdString();
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished(2000);
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Runs duva-cli on a disk that holds `bytes` bytes per file (prlimit's file
// size limit): writes beyond fail with "File too large", as they fail on a
// full disk, for any user and in any CI.
CliRun cliOnSmallDisk(qint64 bytes, const QStringList &args)
{
    QProcess p;
    p.start("prlimit", QStringList {QString("--fsize=%1").arg(bytes), cliPath()} + args);
    EXPECT_TRUE(p.waitForStarted(5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 20000));
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QString today()
{
    return QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
}

} // namespace

TEST(Cli, ScanGetAndSetAsTheSetupViewShowsThem)
{
    SimOnCom1 sim(SimLineSettings(), {{1, 0x4848}, {3, 0x4824}});
    ASSERT_TRUE(sim.ok());
    QStringList log;
    QObject::connect(&sim.line, &SimLine::requestLogged, [&](const QString &l) { log << l; });

    CliRun r = cli({"--port", "COM1", "--quiet", "scan", "--to", "4"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "1\tDUVA 4848\t1.0A\n3\tDUVA 4824\t1.0A\n");

    // Scaled by the controller's decimal point (one, the factory setting),
    // a list by its item's text.
    sim.controller(1).set(0x4720, 5);
    r = cli({"get", "1", "P1-3", "0x4720", "--port", "COM1"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(
        r.out.toStdString(),
        "P1-3 Target SV (0x475F): 100.0\nP3-8 Alarm1 (0x4720): 5 Absolute Upper/Lower Limit\n");

    // A protected register goes after the unlock, and is read back.
    log.clear();
    r = cli({"set", "1", "4732h=-1.5"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "RTD Offset (0x4732): -1.5\n");
    EXPECT_EQ(sim.controller(1).value(0x4732), 0xFFF1);
    const QStringList writes = log.filter(" fn 06 ");
    ASSERT_EQ(writes.size(), 2) << log.join('\n').toStdString();
    EXPECT_TRUE(writes[0].contains("reg 472A value 5AC3")) << writes[0].toStdString();
    EXPECT_TRUE(writes[1].contains("reg 4732 value FFF1")) << writes[1].toStdString();

    // A list item by its position; JSON for scripts.
    r = cli({"--json", "set", "1", "P3-8=2"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(sim.controller(1).value(0x4720), 2);
    EXPECT_TRUE(r.out.contains("\"text\": \"2 Upper Limit\"")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("\"value\": 2")) << r.out.toStdString();

    // A value the register cannot hold: refused naming its range, nothing sent.
    log.clear();
    r = cli({"set", "1", "P1-3=9999"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.toStdString(),
              "duva-cli: P1-3 Target SV (0x475F): 9999 is out of range: the "
              "register holds -3276.7 to 3276.7\n");
    // A controller whose on-line configuration is off takes no change.
    sim.controller(1).set(0x4726, 0);
    r = cli({"set", "1", "P1-3=50"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("P1-3 Target SV (0x475F)")) << r.err.toStdString();
    EXPECT_TRUE(log.filter(" fn 06 ").isEmpty()) << log.join('\n').toStdString();
}

TEST(Cli, BackupIsTheWindowsFileAndRestoreVerifies)
{
    ScriptedDialogs dialogs;
    SimOnCom1 sim(SimLineSettings(), {{5, 0x4848}});
    ASSERT_TRUE(sim.ok());
    sim.controller(5).set(0x470C, 123); // P1-4, a value the factory does not hold
    sim.controller(5).set(0x4723, 0); // stopped: the output levels stay as they are

    const QString dir = sim.work.path();
    CliRun r = cli({"backup", "5", "--dir", dir});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    const QString name = dir + "/duva-addr005-4848-" + today() + ".par";
    EXPECT_EQ(r.out, name + "\n");
    const QByteArray cliBytes = fileBytes(name);
    ASSERT_EQ(cliBytes.size(), 1028);
    EXPECT_EQ(cliBytes.left(4), QByteArray::fromHex("48480000")); // model, little-endian
    EXPECT_EQ(cliBytes.mid(12 * 4, 4), QByteArray::fromHex("7b000000")); // 0x470C = 123

    // The window saves the same controller to the same bytes.
    {
        ComSettings settings;
        MonitorForm form(nullptr, [&settings] { return settings.lineSettings(); });
        form.showWindow();
        form.slotWidgets(1).comAddr->setValue(5);
        QTest::mouseClick(form.slotWidgets(1).runBt, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return form.engine().imageWhole(); }, 10000));
        dialogs.fileAnswers.enqueue(dir + "/window.par");
        QTest::mouseClick(form.setupForm().SaveBt, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(dir + "/window.par"); }, 10000));
        form.endWork();
    }
    EXPECT_EQ(fileBytes(dir + "/window.par"), cliBytes);

    // A file the controller takes in part: exit 1, the refused parameter
    // named, and the read-back shows it.
    QByteArray refused = cliBytes;
    refused[32 * 4] = char(19); // 0x4720 alarm 1 mode: no such mode
    QFile f(dir + "/refused.par");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(refused);
    f.close();
    sim.controller(5).set(0x470C, 50);
    // A value none of the list's items: refused before the line is used,
    // unless forced.
    r = cli({"restore", dir + "/refused.par", "5", "--verify"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.toStdString(),
              "duva-cli: " + (dir + "/refused.par").toStdString() +
                  ": P3-8 Alarm1 (0x4720) holds 19, none of its items (--force writes it "
                  "anyway)\n");
    EXPECT_EQ(sim.controller(5).value(0x470C), 50);
    r = cli({"restore", dir + "/refused.par", "5", "--verify", "--force"});
    EXPECT_EQ(r.status, 1) << r.out.toStdString();
    EXPECT_TRUE(r.err.contains("P3-8 Alarm1 (0x4720)")) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("Not verified: 1 of 37 parameters differ")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("P3-8\tAlarm1\t0x4720\t2 Upper Limit\t19")) << r.out.toStdString();
    EXPECT_EQ(sim.controller(5).value(0x470C), 123); // the rest was written

    r = cli({"restore", name, "5", "--verify"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("Verified: all 37 parameters match")) << r.out.toStdString();

    // The comparison of a file and a controller.
    sim.controller(5).set(0x470C, 124);
    r = cli({"diff", name, "5", "--csv"});
    EXPECT_EQ(r.status, 1);
    const QString expected = "Code,Parameter,Register,duva-addr005-4848-" + today() +
        ".par,Address 5\r\nP1-4,Proportion Band,0x470C,12.3,12.4\r\n";
    EXPECT_EQ(r.out.toStdString(), expected.toStdString());
}

TEST(Cli, ProgramFileToTheControllerAndBack)
{
    SimOnCom1 sim(SimLineSettings(), {{1, 0x4848}});
    ASSERT_TRUE(sim.ok());
    // Start pattern 2; pattern 0 ends after step 3; its first step -10.5 for 90 min.
    QByteArray text = "2\r\n3  0  0  0  0  0  0  0  \r\n";
    for (int line = 3; line <= 20; ++line) {
        QByteArray row;
        for (int i = 0; i < 8; ++i)
            row += line == 5 && i == 0 ? "-105  " : line == 13 && i == 0 ? "90  " : "0  ";
        text += row + "\r\n";
    }
    const QString in = sim.work.path() + "/in.txt";
    QFile f(in);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
    f.close();

    CliRun r = cli({"program", "put", "1", in, "--port", "COM1"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(sim.controller(1).value(0x4767), 2);
    EXPECT_EQ(sim.controller(1).value(0x4768), 3);
    EXPECT_EQ(sim.controller(1).value(0x4780), 0xFF97); // -105
    EXPECT_EQ(sim.controller(1).value(0x4781), 90);

    const QString out = sim.work.path() + "/out.txt";
    r = cli({"program", "get", "1", out});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(fileBytes(out), text);

    // A file that is not a program changes nothing.
    f.setFileName(in);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("1  2  x\r\n");
    f.close();
    r = cli({"program", "put", "1", in});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("'x' is not a valid integer value")) << r.err.toStdString();
    EXPECT_EQ(sim.controller(1).value(0x4767), 2);
}

TEST(Cli, RecordKilledKeepsEveryCompleteLine)
{
    SimOnCom1 sim(SimLineSettings(), {{1, 0x4848}, {2, 0x4848}});
    ASSERT_TRUE(sim.ok());
    // SIGTERM ends the file with "End".
    QProcess p;
    const QString ended = sim.work.path() + "/ended.txt";
    p.start(cliPath(), {"record", "1", "--interval", "1", "--quiet", "--out", ended});
    ASSERT_TRUE(p.waitForStarted(5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return fileBytes(ended).count("\r\n") >= 2; }, 10000))
        << p.readAllStandardError().toStdString();
    p.terminate();
    ASSERT_TRUE(QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 5000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_TRUE(fileBytes(ended).endsWith("\r\nEnd\r\n")) << fileBytes(ended).toStdString();

    // Killed outright (last: a pseudo-terminal left by a killed program keeps its
    // settings and refuses to open again), every complete line stays.
    const QString out = sim.work.path() + "/rec.txt";
    const QString csv = sim.work.path() + "/rec.csv";
    p.start(cliPath(), {"record", "1", "2", "--interval", "1", "--out", out, "--csv", csv});
    ASSERT_TRUE(p.waitForStarted(5000));
    // Three scans in the file, then killed outright.
    ASSERT_TRUE(QTest::qWaitFor([&] { return fileBytes(out).count("\r\n") >= 4; }, 10000));
    ::kill(pid_t(p.processId()), SIGKILL);
    ASSERT_TRUE(QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 5000));

    const QByteArray bytes = fileBytes(out);
    EXPECT_TRUE(bytes.startsWith("01  02  00  00  00  00  00  00  00  00  01\r\n"))
        << bytes.toStdString();
    EXPECT_FALSE(bytes.contains("End"));
    RecordFile::Reader reader;
    ASSERT_EQ(reader.open(out), RecordFile::Reader::OpenResult::Ok);
    EXPECT_GE(reader.recordCount(), 3);
    RecordFile::Record record;
    for (qint64 i = 0; i < reader.recordCount(); ++i)
        EXPECT_TRUE(reader.read(i, record)) << i;
    EXPECT_TRUE(fileBytes(csv).startsWith("Time,Device 1 (addr 1),Device 2 (addr 2)\r\n"));
}

TEST(Cli, BadUsageAndPortsThatFail)
{
    SimOnCom1 sim(SimLineSettings(), {{1, 0x4848}});
    ASSERT_TRUE(sim.ok());
    const struct
    {
        QStringList args;
        const char *message;
    } usage[] = {
        {{}, "duva-cli: no command given\n"},
        {{"frobnicate"}, "duva-cli: 'frobnicate' is not a command\n"},
        {{"get"}, "duva-cli: usage: duva-cli get ADDR [CODE|REGISTER...]\n"},
        {{"get", "248", "P1-3"}, "duva-cli: address: '248' is not a number 1 to 247\n"},
        {{"get", "1", "P9-9"},
         "duva-cli: 'P9-9' is neither a parameter code such as P1-3 nor a register number such "
         "as 0x4701 ('duva-cli params' lists them)\n"},
        {{"--baud", "1200", "scan"},
         "duva-cli: --baud: '1200' is not one of 2400, 4800, 9600, 19200, 38400\n"},
        {{"record", "1", "--interval", "0", "--out", "x.txt"},
         "duva-cli: --interval: '0' is not a number 1 to 120\n"},
    };
    for (const auto &u : usage) {
        const CliRun r = cli(u.args);
        EXPECT_EQ(r.status, 2) << u.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.startsWith(u.message)) << r.err.toStdString();
    }

    // A device that is not there, a port another program holds, a
    // controller that does not answer.
    CliRun r = cli({"--port", sim.work.path() + "/ttyNONE", "scan"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("not found")) << r.err.toStdString();
    {
        SerialChannel holder;
        holder.setComNumber(1);
        holder.setOpen(true);
        ASSERT_TRUE(holder.Open());
        r = cli({"get", "1", "P1-3"});
        EXPECT_EQ(r.status, 1);
        // One line, naming the port and the program that holds it.
        const QString device = QFile::symLinkTarget(sim.work.path() + "/COM1");
        EXPECT_EQ(r.err,
                  QString("duva-cli: COM1 (%1) is in use by cli_test (pid %2); --wait "
                          "SECONDS waits for it\n")
                      .arg(device)
                      .arg(::getpid()));
        // --wait: the port is free after a second, the command goes on.
        QTimer::singleShot(1000, [&] { holder.setOpen(false); });
        r = cli({"get", "1", "P1-3", "--quiet", "--wait", "10"});
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(r.out, "P1-3 Target SV (0x475F): 100.0\n");
    }
    // Nothing answers a scan: a failure, not an empty success.
    r = cli({"scan", "--from", "5", "--to", "6"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.startsWith("duva-cli: no controller answered at addresses 5 to 6 on COM1"))
        << r.err.toStdString();

    // A command ended by SIGTERM closes the port as on success: its
    // terminal settings are as they were, and the next command opens it.
    const QByteArray slave = QFile::encodeName(QFile::symLinkTarget(sim.work.path() + "/COM1"));
    const int fd = ::open(slave.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    struct termios before = {};
    ASSERT_EQ(::tcgetattr(fd, &before), 0);
    QProcess watch;
    watch.start(cliPath(), {"watch", "1", "P1-3"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return watch.canReadLine(); }, 10000));
    EXPECT_TRUE(watch.readLine().endsWith("P1-3=100.0\n"));
    watch.terminate();
    ASSERT_TRUE(QTest::qWaitFor([&] { return watch.state() == QProcess::NotRunning; }, 5000));
    EXPECT_EQ(watch.exitCode(), 0);
    struct termios after = {};
    ASSERT_EQ(::tcgetattr(fd, &after), 0);
    ::close(fd);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    r = cli({"get", "9", "P1-3"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.startsWith("duva-cli: address 9: no reply on COM1")) << r.err.toStdString();
}

// What an administrator leaves unattended: a full disk, a closed pipe and an
// existing recording are failures said at once, never success.
TEST(Cli, FullDiskAndClosedOutputAreFailures)
{
    SimOnCom1 sim(SimLineSettings(), {{1, 0x4848}});
    ASSERT_TRUE(sim.ok());
    const QString dir = sim.work.path();

    // A good backup of the same name stays as it was.
    const QString name = dir + "/duva-addr001-4848-" + today() + ".par";
    writeFile(name, "the backup of yesterday");
    CliRun r = cliOnSmallDisk(512, {"backup", "1", "--dir", dir});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(r.err.contains(name) && r.err.contains("File too large")) << r.err.toStdString();
    EXPECT_EQ(fileBytes(name), "the backup of yesterday");
    const QString program = dir + "/oven.txt";
    writeFile(program, "the program of yesterday");
    r = cliOnSmallDisk(100, {"program", "get", "1", program});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("oven.txt: cannot be written: File too large"))
        << r.err.toStdString() << r.out.toStdString();
    EXPECT_EQ(fileBytes(program), "the program of yesterday");

    // The record file fills up: the recording ends at once, the file keeps
    // its header and whole lines only. A record line of one device is 36
    // characters and CR LF.
    const QString out = dir + "/full.txt";
    QElapsedTimer took;
    took.start();
    r = cliOnSmallDisk(
        44 + 2 * 38 + 3,
        {"record", "1", "--interval", "1", "--duration", "60s", "--out", out, "--quiet"});
    EXPECT_LT(took.elapsed(), 10000);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.toStdString(),
              "duva-cli: " + out.toStdString() + ": cannot be written: File too large\n");
    EXPECT_EQ(fileBytes(out).size(), 44 + 2 * 38);

    // Standard output that cannot be written.
    r = cli({"params"}, 20000, [](QProcess &p) { p.setStandardOutputFile("/dev/full"); });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "duva-cli: standard output: No space left on device\n");

    // A recording read by `head -2`: the pipe closes, the record file ends
    // with "End" and the exit status says it.
    const QString piped = dir + "/piped.txt";
    QProcess sh;
    sh.start("bash",
             {"-c",
              QString("'%1' record 1 --interval 1 --out '%2' | head -2 >/dev/null; "
                      "echo ${PIPESTATUS[0]}")
                  .arg(cliPath(), piped)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return sh.state() == QProcess::NotRunning; }, 15000));
    EXPECT_EQ(sh.readAllStandardOutput(), "1\n");
    EXPECT_TRUE(sh.readAllStandardError().contains("standard output: Broken pipe"));
    EXPECT_TRUE(fileBytes(piped).endsWith("\r\nEnd\r\n")) << fileBytes(piped).toStdString();

    // An existing recording is refused, continued or replaced as asked.
    r = cli({"record", "1", "--interval", "1", "--out", piped, "--duration", "2s"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.toStdString(),
              "duva-cli: " + piped.toStdString() +
                  ": the file exists; --append continues it, --force "
                  "replaces it\n");
    const QByteArray before = fileBytes(piped);
    r = cli({"record", "1", "--interval", "2", "--out", piped, "--append", "--duration", "2s"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("other addresses or another interval")) << r.err.toStdString();
    EXPECT_EQ(fileBytes(piped), before);
    r = cli({"record", "1", "--interval", "1", "--out", piped, "--append", "--duration", "2s",
             "--json"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    // One JSON object a line, a value in the units shown.
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    EXPECT_GE(lines.size(), 1);
    for (const QString &line : lines) {
        const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
        EXPECT_EQ(o["samples"].toArray().at(0).toObject()["address"].toInt(), 1)
            << line.toStdString();
        EXPECT_TRUE(o["samples"].toArray().at(0).toObject()["value"].isDouble())
            << line.toStdString();
    }
    // The recording waited for its last reply: nothing is left on the line
    // for the next command.
    r = cli({"scan", "--to", "2", "--quiet"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "1\tDUVA 4848\t1.0A\n");
    const QByteArray continued = fileBytes(piped);
    EXPECT_TRUE(continued.startsWith(before.chopped(5))) << continued.toStdString();
    EXPECT_EQ(continued.count("End"), 1);
    EXPECT_TRUE(continued.endsWith("\r\nEnd\r\n"));
    RecordFile::Reader reader;
    ASSERT_EQ(reader.open(piped), RecordFile::Reader::OpenResult::Ok);
    EXPECT_GT(reader.recordCount(), (before.size() - 49) / 38);
    RecordFile::Record record;
    for (qint64 i = 0; i < reader.recordCount(); ++i)
        EXPECT_TRUE(reader.read(i, record)) << i;
}

TEST(Cli, ValuesCheckedBeforeAnythingIsWritten)
{
    SimOnCom1 sim(SimLineSettings(), {{1, 0x4848}});
    ASSERT_TRUE(sim.ok());
    QStringList log;
    QObject::connect(&sim.line, &SimLine::requestLogged, [&](const QString &l) { log << l; });
    sim.controller(1).set(0x470C, 123);

    // 6500.0 would be 65000 tenths, read back as -53.6; 5.55 would be cut
    // to 5.5. Neither is written, nor the good value before them.
    CliRun r = cli({"set", "1", "P1-4=20.5", "P1-4=6500"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.toStdString(),
              "duva-cli: P1-4 Proportion Band (0x470C): 6500 is out of "
              "range: the register holds -3276.7 to 3276.7\n");
    r = cli({"--json", "set", "1", "P1-4=5.55"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.toStdString(),
              "duva-cli: P1-4 Proportion Band (0x470C): '5.55' has more "
              "decimals than the register keeps (1); it would be written "
              "as 5.5\n");
    EXPECT_TRUE(r.out.contains("\"status\": 1")) << r.out.toStdString();
    EXPECT_TRUE(log.filter(" fn 06 ").isEmpty()) << log.join('\n').toStdString();
    EXPECT_EQ(sim.controller(1).value(0x470C), 123);

    // Every code of the register map: the integral offset, the last steps
    // of the program's patterns.
    sim.controller(1).set(0x470F, 25);
    sim.controller(1).set(0x4769, 5);
    r = cli({"get", "1", "P1-7", "P3-21"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith("P1-7 I Offset (0x470F): 2.5\n")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("(0x4769): 5\n")) << r.out.toStdString();

    // The controller keeps another value than the one written: an error.
    QObject::connect(&sim.line, &SimLine::requestLogged, [&](const QString &l) {
        if (l.contains("reg 470C value 00CD"))
            QTimer::singleShot(0, [&] { sim.controller(1).set(0x470C, 200); });
    });
    r = cli({"set", "1", "P1-4=20.5"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.toStdString(),
              "duva-cli: P1-4 Proportion Band (0x470C): 20.5 was written, "
              "the controller holds 20.0\n");
}

TEST(Cli, RestoreChecksTheModelAndShowsWhatItWouldWrite)
{
    SimOnCom1 sim(SimLineSettings(), {{1, 0x4848}});
    ASSERT_TRUE(sim.ok());
    QStringList log;
    QObject::connect(&sim.line, &SimLine::requestLogged, [&](const QString &l) { log << l; });
    const QString dir = sim.work.path();
    CliRun r = cli({"--quiet", "backup", "1", "--dir", dir});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, ""); // quiet on success
    QByteArray bytes = fileBytes(dir + "/duva-addr001-4848-" + today() + ".par");
    bytes[0] = char(0x96);
    bytes[1] = char(0x96);
    bytes[12 * 4] = char(77); // P1-4 7.7
    bytes[12 * 4 + 1] = 0;
    writeFile(dir + "/other.par", bytes);
    log.clear();
    r = cli({"restore", dir + "/other.par", "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.toStdString(),
              "duva-cli: " + (dir + "/other.par").toStdString() +
                  " is a parameter file of model 9696, the controller at "
                  "address 1 is a 4848 (--force writes it anyway)\n");
    r = cli({"restore", dir + "/other.par", "1", "--dry-run", "--force"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("P1-4 Proportion Band (0x470C): 7.7 (now 47.6)\n"))
        << r.out.toStdString();
    EXPECT_TRUE(log.filter(" fn 06 ").isEmpty()) << log.join('\n').toStdString();

    // '-' is standard input; -v prints the frames.
    r = cli({"show", "-"}, 20000, [&](QProcess &p) { p.setStandardInputFile(dir + "/other.par"); });
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith("Model: 9696\n")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("P1-4 Proportion Band (0x470C): 7.7\n")) << r.out.toStdString();
    r = cli({"-v", "get", "1", "P1-4"});
    EXPECT_TRUE(r.err.contains(">  :0103474400046D  address 1, read 4744, 4 registers"))
        << r.err.toStdString();

    // A file cut short is no parameter file, said in the user's terms.
    writeFile(dir + "/short.par", bytes.left(1027));
    r = cli({"show", dir + "/short.par"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.toStdString(),
              "duva-cli: " + (dir + "/short.par").toStdString() +
                  ": not a parameter file: it holds 1027 bytes, a parameter "
                  "file 1028\n");
}

// The bash completion, as bash calls it: the words split at its word breaks
// (':' and '=' among them), the line as typed.
TEST(Cli, CompletionTakesOptionValuesWhole)
{
    const QString script =
        qEnvironmentVariable("DUVA_SOURCE_DIR") + "/packaging/completion/duva-cli";
    const QString cases = QString(R"(
source '%1'
t() { COMP_LINE="$1"; COMP_POINT=${#COMP_LINE}; shift; COMP_WORDS=("$@")
      COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); COMPREPLY=(); _duva_cli; echo "${COMPREPLY[*]}"; }
t "duva-cli --network 10.0.0.5:4001 ba" duva-cli --network 10.0.0.5 : 4001 ba
t "duva-cli --parity=o" duva-cli --parity = o
t "%2 set 1 P2-1" %2 set 1 P2-1
t "%2 watch 1 P3-2" %2 watch 1 P3-2
)")
                              .arg(script, cliPath());
    QProcess bash;
    bash.start("bash", {"-c", cases});
    ASSERT_TRUE(bash.waitForFinished(10000));
    EXPECT_EQ(bash.readAllStandardOutput().toStdString(),
              "backup\nodd\nP2-11= P2-12= P2-10= P2-1=\nP3-2 P3-21 P3-22 P3-23 P3-20\n");
}

TEST(Cli, NetworkLinesThatCannotBeReachedEndSayingWhy)
{
    TemporaryWorkDir work;
    quint16 refused = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
        refused = probe.serverPort();
    }
    // A peer that accepts and closes at once.
    QTcpServer closer;
    ASSERT_TRUE(closer.listen(QHostAddress::LocalHost));
    QObject::connect(&closer, &QTcpServer::newConnection, [&] {
        while (QTcpSocket *s = closer.nextPendingConnection()) {
            s->close();
            s->deleteLater();
        }
    });
    const QString refusedAt = QStringLiteral("127.0.0.1:%1").arg(refused);
    const QString closerAt = QStringLiteral("127.0.0.1:%1").arg(closer.serverPort());
    const struct
    {
        QStringList args;
        QString err;
    } cases[] = {
        {{"--network", refusedAt, "get", "1", "P1-3"},
         "duva-cli: Cannot reach " + refusedAt + ": connection refused\n"},
        {{"--network", "no-such-host.invalid:502", "--gateway", "backup", "1"},
         "duva-cli: Cannot reach no-such-host.invalid:502: host not found\n"},
        {{"--network", closerAt, "get", "1", "P1-3"},
         "duva-cli: The connection to " + closerAt +
             " was lost: the remote host closed the connection\n"},
        {{"--network", refusedAt, "scan", "--to", "3"},
         "duva-cli: Cannot reach " + refusedAt +
             ": connection refused\nduva-cli: The line was not reached: no address was asked\n"},
    };
    for (const auto &c : cases) {
        QElapsedTimer took;
        took.start();
        const CliRun r = cli(c.args);
        EXPECT_EQ(r.status, 1) << c.args.join(' ').toStdString();
        EXPECT_EQ(r.err.toStdString(), c.err.toStdString());
        EXPECT_LT(took.elapsed(), 10000);
    }
}

TEST(Cli, RecordRidesOutADroppedConnection)
{
    ComSettings settings;
    SimOnNetwork sim(LineKind::DeviceServer, ModbusMode::Ascii, settings, {{1, 0x4848}});
    ASSERT_TRUE(sim.ok());
    QProcess p;
    p.start(cliPath(),
            {"--network", QStringLiteral("127.0.0.1:%1").arg(sim.server.port()), "record", "1",
             "--interval", "1", "--duration", "6s", "--out", "r.dat"});
    ASSERT_TRUE(p.waitForStarted(5000));
    QTest::qWait(2300);
    sim.server.dropClient(); // a gateway's reboot
    ASSERT_TRUE(QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 15000));
    EXPECT_EQ(p.exitCode(), 0);
    const QStringList rows =
        QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    // A row a second: values before the drop, a missing one or so while the
    // line came back, values again after.
    ASSERT_GE(rows.size(), 5);
    EXPECT_FALSE(rows.first().endsWith(','));
    EXPECT_FALSE(rows.last().endsWith(',')) << rows.join('|').toStdString();
    // A gap, when the drop cost a sample, is said once.
    EXPECT_LE(QString::fromUtf8(p.readAllStandardError())
                  .count(QStringLiteral("(the recording goes on; samples are missing until the "
                                        "line is back)")),
              1);
}

TEST(Cli, CheckLineSaysWhatTheWireModelDoes)
{
    SimOnCom1 sim(SimLineSettings(), {{1, 0x4848}, {2, 0x4848}});
    ASSERT_TRUE(sim.ok());
    sim.line.setPacing(true);
    const auto check = [](const QStringList &more) {
        const CliRun r = cli(QStringList {"--json", "check-line", "--to", "2"} + more);
        const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QStringList kinds;
        for (const QJsonValue &f : o.value("findings").toArray())
            kinds << f.toObject().value("kind").toString();
        if (o.isEmpty())
            ADD_FAILURE() << r.err.toStdString();
        return std::make_tuple(r.status, kinds, o);
    };
    // An echoing USB adapter with its 16 ms latency timer: the line works.
    sim.line.setWire({true, 16, 62, false, 0});
    auto [status, kinds, o] = check({});
    EXPECT_EQ(status, 0) << QJsonDocument(o).toJson().toStdString();
    EXPECT_EQ(kinds, QStringList {"echo"});
    EXPECT_GE(o.value("latency_ms").toInt(), 10);
    EXPECT_LE(o.value("latency_ms").toInt(), 40);
    EXPECT_EQ(o.value("controllers").toArray().size(), 2);
    EXPECT_TRUE(o.value("recommended").toString().contains("remove echo on"));

    // A stray byte before each reply is no problem.
    sim.line.setWire({false, 0, 62, true, 0});
    std::tie(status, kinds, o) = check({});
    EXPECT_EQ(status, 0) << kinds.join(' ').toStdString();

    // Nobody in the range, and the wrong speed: silence.
    sim.line.setWire({});
    std::tie(status, kinds, o) = check({"--from", "5", "--to", "6"});
    EXPECT_EQ(status, 1);
    EXPECT_EQ(kinds, QStringList {"silent"});
    std::tie(status, kinds, o) = check({"--baud", "19200"});
    EXPECT_EQ(kinds, QStringList {"silent"});

    // Two controllers on one address.
    ASSERT_TRUE(sim.line.addController(2, 0x4848));
    std::tie(status, kinds, o) = check({});
    EXPECT_EQ(status, 1);
    EXPECT_EQ(kinds, QStringList {"collision"});

    // Noise that spoils every frame.
    sim.line.setWire({false, 0, 62, false, 8});
    std::tie(status, kinds, o) = check({});
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(kinds.contains("garbled")) << kinds.join(' ').toStdString();
}

TEST(Cli, WindowsLogicThroughAnEchoingAdapter)
{
    // The configuration window's logic (get) and the address scan through
    // a two-wire adapter that echoes and hands bytes over every 16 ms, with
    // a glitch byte before each ASCII reply.
    for (const ModbusMode mode : {ModbusMode::Ascii, ModbusMode::Rtu}) {
        ComSettings settings;
        SimLineSettings line = MatchingLine(mode, settings);
        QStringList port {"--port", "COM1"};
        if (mode == ModbusMode::Rtu) {
            line.baud = 38400;
            line.parity = Parity::None;
            port << "--rtu"
                 << "--baud"
                 << "38400"
                 << "--parity"
                 << "none";
        }
        SimOnCom1 sim(line, {{1, 0x4848}, {2, 0x4848}, {3, 0x4824}, {4, 0x4848}});
        ASSERT_TRUE(sim.ok());
        sim.line.setPacing(true);
        sim.line.setWire({true, 16, 62, true, 0});
        CliRun r = cli(port + QStringList {"--quiet", "scan", "--to", "5"});
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(r.out,
                  "1\tDUVA 4848\t1.0A\n2\tDUVA 4848\t1.0A\n3\tDUVA 4824\t1.0A\n4\tDUVA "
                  "4848\t1.0A\n");
        r = cli(port + QStringList {"get", "3", "P1-3"});
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(r.out, "P1-3 Target SV (0x475F): 100.0\n");
        r = cli(port + QStringList {"set", "4", "P1-3=50"});
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(sim.controller(4).value(0x475F), 500);
    }
}
