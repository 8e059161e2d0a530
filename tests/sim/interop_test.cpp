// duva-sim against masters that no one here wrote: mbpoll (RTU) and a
// pymodbus client (ASCII), over the simulator's pseudo-terminal.
#include "setup/registermap.h"

#include "deviceprocess.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

QString binDir()
{
    return qEnvironmentVariable("DUVA_BIN_DIR");
}

QString sourceDir()
{
    return qEnvironmentVariable("DUVA_SOURCE_DIR");
}

// duva-sim as a child process, driven through its standard input.
class Simulator
{
public:
    Simulator(const QTemporaryDir &dir, const QStringList &args)
        : m_link(dir.filePath("run/COM1"))
        , m_log(dir.filePath("requests.log"))
    {
        m_sim.start(QDir(binDir()).filePath("duva-sim"),
                    QStringList {"--link", m_link, "--log", m_log} + args, 5000);
    }

    QString pty() const { return m_sim.device(); }
    QString link() const { return m_link; }

    QString command(const QString &line)
    {
        QProcess &sim = m_sim.process();
        sim.write(line.toUtf8() + '\n');
        sim.waitForBytesWritten(2000);
        while (!sim.canReadLine() && sim.waitForReadyRead(5000)) { }
        return QString::fromUtf8(sim.readLine()).trimmed();
    }

    QStringList logLines() const
    {
        QFile f(m_log);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    QProcess &process() { return m_sim.process(); }

private:
    QString m_link;
    QString m_log;
    DeviceProcess m_sim; // last member: ended first
};

struct ToolRun
{
    int exitCode = -1;
    QString output;
};

ToolRun runTool(const QString &program, const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    ToolRun r;
    if (!p.waitForStarted(5000))
        return r;
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.output = QString::fromUtf8(p.readAll());
    return r;
}

// mbpoll on the link at 19200 bit/s, 8N1, one poll; -0 takes register
// numbers as they go on the wire. Values to write follow the device.
ToolRun mbpoll(const Simulator &sim, int slave, int reg, const QStringList &more,
               const QStringList &values = {})
{
    return runTool("mbpoll",
                   QStringList {"-m", "rtu", "-b", "19200", "-P", "none", "-d", "8", "-0", "-1",
                                "-o", "1", "-a", QString::number(slave), "-r",
                                QString::number(reg)} +
                       more + QStringList {sim.link()} + values);
}

ToolRun mbpollRead(const Simulator &sim, int slave, int reg, int count)
{
    return mbpoll(sim, slave, reg, {"-c", QString::number(count), "-t", "4:hex"});
}

ToolRun mbpollWrite(const Simulator &sim, int slave, int reg, int value)
{
    return mbpoll(sim, slave, reg, {"-t", "4"}, {QString::number(value)});
}

QString hexWord(int v)
{
    return QStringLiteral("0x%1").arg(v, 4, 16, QLatin1Char('0')).toUpper().replace("0X", "0x");
}

} // namespace

class MbpollTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(QStandardPaths::findExecutable("mbpoll").isEmpty())
            << "mbpoll is missing: run scripts/install-deps";
        sim = std::make_unique<Simulator>(dir,
                                          QStringList {"--rtu", "--baud", "19200", "--parity",
                                                       "none", "--data", "8", "--controller",
                                                       "1:4824", "--controller", "2:9696"});
        ASSERT_TRUE(sim->pty().startsWith("/dev/pts/")) << qPrintable(sim->pty());
    }
    QTemporaryDir dir;
    std::unique_ptr<Simulator> sim;
};

TEST_F(MbpollTest, IdentificationAndEveryReadStep)
{
    const ToolRun ident = mbpollRead(*sim, 2, 0x4744, 4);
    ASSERT_EQ(ident.exitCode, 0) << qPrintable(ident.output);
    for (const char *word : {"0x2013", "0x4456", "0x9696", "0x0001"})
        EXPECT_TRUE(ident.output.contains(word)) << word << qPrintable(ident.output);

    for (const ReadBlock &b : ReadBlocks()) {
        const ToolRun r = mbpollRead(*sim, 1, b.start, b.count);
        EXPECT_EQ(r.exitCode, 0) << "step " << b.step << qPrintable(r.output);
        // One line per register: "[18244]: 	0x2013".
        for (int a = b.start; a < b.start + b.count; ++a)
            EXPECT_TRUE(r.output.contains(QStringLiteral("[%1]:").arg(a)))
                << "step " << b.step << " " << a;
    }
}

TEST_F(MbpollTest, ExceptionsEchoAndRefusals)
{
    ToolRun r = mbpollRead(*sim, 1, 0x4739, 1);
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.output.contains("Illegal data address")) << qPrintable(r.output);
    r = mbpollRead(*sim, 1, 0x4700, 9);
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.output.contains("Illegal data value")) << qPrintable(r.output);

    r = mbpollWrite(*sim, 1, 0x4701, 555); // libmodbus checks the echo
    EXPECT_EQ(r.exitCode, 0) << qPrintable(r.output);
    EXPECT_EQ(sim->command("get 1 0x4701"), "ok 555");

    r = mbpollWrite(*sim, 1, 0x4746, 0x4848);
    EXPECT_NE(r.exitCode, 0) << qPrintable(r.output);
    EXPECT_EQ(sim->command("get 1 0x4746"), QStringLiteral("ok %1").arg(0x4824));
}

TEST_F(MbpollTest, UnlockRule)
{
    EXPECT_NE(mbpollWrite(*sim, 1, 0x4730, 1).exitCode, 0);
    EXPECT_EQ(mbpollWrite(*sim, 1, 0x472A, 0x5AC3).exitCode, 0);
    const ToolRun r = mbpollWrite(*sim, 1, 0x4730, 1);
    EXPECT_EQ(r.exitCode, 0) << qPrintable(r.output);
    EXPECT_EQ(sim->command("get 1 0x4730"), "ok 1");
    EXPECT_EQ(sim->command("get 1 0x472A"), QStringLiteral("ok %1").arg(0x010A));
}

TEST_F(MbpollTest, FaultSwitchedOnAndOffThroughStandardInput)
{
    EXPECT_EQ(sim->command("fault 1 silent"), "ok");
    ToolRun r = mbpollRead(*sim, 1, 0x4745, 1);
    EXPECT_NE(r.exitCode, 0) << qPrintable(r.output);
    EXPECT_EQ(sim->command("fault 1 badcrc"), "ok");
    r = mbpollRead(*sim, 1, 0x4745, 1);
    EXPECT_NE(r.exitCode, 0) << qPrintable(r.output);
    EXPECT_EQ(sim->command("fault 1 none"), "ok");
    r = mbpollRead(*sim, 1, 0x4745, 1);
    EXPECT_EQ(r.exitCode, 0) << qPrintable(r.output);
    EXPECT_TRUE(r.output.contains(hexWord(0x4456))) << qPrintable(r.output);
    EXPECT_EQ(sim->command("pvstatus 1 5"), "ok");
    r = mbpollRead(*sim, 1, 0x4700, 1);
    EXPECT_TRUE(r.output.contains("0x8005")) << qPrintable(r.output);

    const QStringList log = sim->logLines();
    ASSERT_EQ(log.size(), 4);
    EXPECT_TRUE(log[0].endsWith("addr 01 fn 03 reg 4745 count 1 -> no reply [fault silent]"))
        << qPrintable(log[0]);
    EXPECT_TRUE(log[1].endsWith("addr 01 fn 03 reg 4745 count 1 -> 4456 [fault badcrc]"))
        << qPrintable(log[1]);
    EXPECT_TRUE(log[2].endsWith("addr 01 fn 03 reg 4745 count 1 -> 4456")) << qPrintable(log[2]);
}

TEST(DuvaSim, EndOfInputRemovesTheLink)
{
    QTemporaryDir dir;
    Simulator sim(dir, {});
    ASSERT_TRUE(sim.pty().startsWith("/dev/pts/"));
    EXPECT_EQ(QFileInfo(sim.link()).symLinkTarget(), sim.pty());
    EXPECT_EQ(sim.command("get 1 0x4746"), QStringLiteral("ok %1").arg(0x4848));
    EXPECT_EQ(sim.command("get 9 0x4746"), "error: no controller at address 9");
    sim.process().closeWriteChannel();
    ASSERT_TRUE(sim.process().waitForFinished(5000));
    EXPECT_EQ(sim.process().exitCode(), 0);
    EXPECT_FALSE(QFileInfo(sim.link()).isSymLink());
}

TEST(DuvaSim, SigtermRemovesTheLink)
{
    QTemporaryDir dir;
    Simulator sim(dir, {"--rtu"});
    ASSERT_TRUE(QFileInfo(sim.link()).isSymLink());
    sim.process().terminate();
    ASSERT_TRUE(sim.process().waitForFinished(5000));
    EXPECT_FALSE(QFileInfo(sim.link()).isSymLink());
}

TEST(DuvaSim, BadCommandLinesAreRefused)
{
    for (const QStringList &args :
         {QStringList {"--controller", "1"}, QStringList {"--link", "x", "--parity", "mark"},
          QStringList {"--link", "x", "--controller", "0"},
          QStringList {"--link", "x", "--ascii", "--rtu"},
          QStringList {"--link", "x", "--controller", "3:zz"}}) {
        const ToolRun r = runTool(QDir(binDir()).filePath("duva-sim"), args);
        EXPECT_EQ(r.exitCode, 2) << qPrintable(args.join(' '));
        EXPECT_TRUE(r.output.startsWith("duva-sim: ")) << qPrintable(r.output);
    }
}

TEST(Pymodbus, AsciiMasterSeesAController)
{
    const QString python = "/usr/bin/python3";
    ASSERT_TRUE(QFileInfo(python).isExecutable());
    QTemporaryDir dir;
    Simulator sim(dir, {"--controller", "1:4896", "--controller", "2:4848"});
    ASSERT_TRUE(sim.pty().startsWith("/dev/pts/"));
    QStringList args {QDir(sourceDir()).filePath("tests/sim/pymodbus_master.py"), sim.link(),
                      "check"};
    for (const ReadBlock &b : ReadBlocks())
        args << QStringLiteral("%1:%2").arg(b.start, 4, 16, QLatin1Char('0')).arg(b.count);
    for (const ReadBlock &b : ProgramReadBlocks())
        args << QStringLiteral("%1:%2").arg(b.start, 4, 16, QLatin1Char('0')).arg(b.count);
    const ToolRun r = runTool(python, args);
    EXPECT_EQ(r.exitCode, 0) << qPrintable(r.output);
    EXPECT_FALSE(r.output.contains("FAIL")) << qPrintable(r.output);
    EXPECT_TRUE(r.output.contains("broadcast applied: ok")) << qPrintable(r.output);

    // A fault through standard input, seen by the same master.
    EXPECT_EQ(sim.command("fault 1 exception 11"), "ok");
    ToolRun read = runTool(python, {args[0], sim.link(), "read", "1", "0x4745", "1"});
    EXPECT_EQ(read.output.trimmed(), "exception 11") << qPrintable(read.output);
    EXPECT_EQ(sim.command("fault 1 none"), "ok");
    read = runTool(python, {args[0], sim.link(), "read", "1", "0x4745", "1"});
    EXPECT_EQ(read.output.trimmed(), "4456") << qPrintable(read.output);

    const QStringList log = sim.logLines();
    EXPECT_TRUE(
        log.filter("addr 00 fn 06 reg 4701 value 0321 -> applied, no reply (broadcast)").size() ==
        1);
    EXPECT_TRUE(log.last().endsWith("addr 01 fn 03 reg 4745 count 1 -> 4456"))
        << qPrintable(log.last());
}
