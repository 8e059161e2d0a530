// Parameter files and write-all through the configuration window, against
// simulated controllers: the writes as the simulator logged them, what the
// controllers hold afterwards, the files on disk and the boxes shown.
#include "app/comsettings.h"
#include "monitor/monitorengine.h"
#include "monitor/monitorform.h"
#include "scripteddialogs.h"
#include "setup/compareform.h"
#include "setup/parameterfile.h"
#include "setup/parametertransfer.h"
#include "setup/registermap.h"
#include "setup/setupview.h"
#include "setup/setupviewform.h"
#include "simoncom1.h"

#include <QClipboard>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

namespace {

using F = SetupField;

// Every register write-all writes, in its order (control mode 2).
const QStringList AllSteps = {
    "4726", "4717", "4718", "4719", "471A", "471B", "471C", "471D", "471E", "471F", "4720",
    "4721", "4722", "4723", "4724", "4725", "4701", "4702", "4703", "4704", "4705", "4706",
    "4707", "4708", "4709", "470A", "470B", "470C", "470D", "470E", "470F", "4710", "4711",
    "4712", "4713", "4714", "4715", "4716", "101C", "101D", "4726"};

QStringList without(QStringList list, const QStringList &gone)
{
    for (const QString &g : gone)
        list.removeOne(g);
    return list;
}

class FilesOnTheLine : public ::testing::Test
{
protected:
    ScriptedDialogs dialogs;
    ComSettings settings;
    std::unique_ptr<SimOnCom1> sim;
    std::unique_ptr<MonitorForm> form;
    QStringList writes; // "01:4718=0012", in the order they reached the line
    QList<int> gauge; // the write-all progress, as reported

    void start(ModbusMode mode, const QList<QPair<int, int>> &controllers, int connect = 1)
    {
        sim = std::make_unique<SimOnCom1>(MatchingLine(mode, settings), controllers);
        ASSERT_TRUE(sim->ok());
        QObject::connect(&sim->line, &SimLine::requestLogged, [this](const QString &text) {
            static const QRegularExpression re(
                QStringLiteral("addr (\\w{2}) fn 06 reg (\\w{4}) value (\\w{4})"));
            const auto m = re.match(text);
            if (m.hasMatch())
                writes
                    << QStringLiteral("%1:%2=%3").arg(m.captured(1), m.captured(2), m.captured(3));
        });
        form = std::make_unique<MonitorForm>(nullptr, [this] { return settings.lineSettings(); });
        form->showWindow();
        auto progress = engine().hooks.writeAllProgress;
        engine().hooks.writeAllProgress = [this, progress](int percent) {
            gauge << percent;
            progress(percent);
        };
        for (int n = 1; n <= connect; ++n) {
            form->slotWidgets(n).comAddr->setValue(n);
            QTest::mouseClick(form->slotWidgets(n).runBt, Qt::LeftButton);
            ASSERT_TRUE(QTest::qWaitFor(
                [&] { return engine().view().at(n).visible && !engine().state().ApplyPending; },
                5000));
        }
        ASSERT_TRUE(QTest::qWaitFor([this] { return view().edit(F::KP)->isVisible(); }, 5000));
        settle();
    }
    void TearDown() override
    {
        form.reset();
        sim.reset();
    }

    MonitorEngine &engine() { return form->engine(); }
    SetupViewForm &view() { return form->setupForm(); }
    const SetupViewModel &model() { return form->setupView().model(); }
    QString path(const QString &name) { return QDir(sim->work.path()).filePath(name); }
    // Until a whole setup read has run since now.
    void settle()
    {
        int cycles = 0;
        auto done = engine().hooks.setupCycleDone;
        engine().hooks.setupCycleDone = [&] {
            ++cycles;
            done();
        };
        engine().requestSetupRead();
        EXPECT_TRUE(QTest::qWaitFor([&] { return cycles > 0; }, 5000));
        engine().hooks.setupCycleDone = done;
        QTest::qWait(20);
    }
    // A parameter file: the controller's setup as read, with changes.
    QString file(const QString &name, const QList<QPair<int, int>> &entries)
    {
        ParameterImage image = engine().image();
        for (const auto &[entry, value] : entries)
            image[entry] = value;
        EXPECT_EQ(ParameterFile::write(path(name), image), QString());
        return path(name);
    }
    void open(const QString &file)
    {
        dialogs.fileAnswers << file;
        QTest::mouseClick(view().OpenBt, Qt::LeftButton);
    }
    // Writes a file to the selected controller (or to all) and waits for the
    // end of the run; returns the writes it made.
    QStringList writeAll(const QString &file, bool all = false)
    {
        open(file);
        EXPECT_TRUE(QTest::qWaitFor([&] { return view().OpPanel->isVisible(); }, 3000));
        writes.clear();
        gauge.clear();
        QTest::mouseClick(all ? view().WrAllBt : view().WriteBt, Qt::LeftButton);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !engine().busy(); }, 30000));
        return std::exchange(writes, {});
    }
    static QStringList regs(const QStringList &w)
    {
        QStringList out;
        for (const QString &e : w)
            out << e.mid(3, 4);
        return out;
    }
    QByteArray bytes(const QString &file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

class WriteAllOnTheLine : public FilesOnTheLine, public ::testing::WithParamInterface<ModbusMode>
{
};

TEST_P(WriteAllOnTheLine, StepsFollowTheFilesControlModeAndTheControllerTakesThem)
{
    start(GetParam(), {{1, 0x4848}});
    SimController &c = sim->controller(1);
    struct Case
    {
        int mode;
        QStringList skipped;
    };
    const QList<Case> cases = {
        {2, {}}, {0, {"4702", "4703"}}, {1, {"4702", "4703"}}, {3, {"4701", "4702", "4703"}}};
    for (const Case &k : cases) {
        SCOPED_TRACE(k.mode);
        const QString f = file("mode.par",
                               {{25, k.mode},
                                {12, 100 + k.mode},
                                {6, 500 + k.mode},
                                {2, 250},
                                {3, 750},
                                {1, 321},
                                {23, 0x0010}});
        const QStringList w = writeAll(f);
        EXPECT_EQ(regs(w), without(AllSteps, k.skipped));
        ASSERT_GE(w.size(), 38);
        EXPECT_EQ(w.at(0), "01:4726=0001");
        EXPECT_EQ(w.at(1), "01:4717=0011"); // bit 0 set for the run
        EXPECT_EQ(w.last(), "01:4726=0000"); // the file's bit 0
        EXPECT_EQ(c.value(0x4719), k.mode);
        EXPECT_EQ(c.value(0x470C), 100 + k.mode);
        EXPECT_EQ(c.value(0x4706), 500 + k.mode);
        if (k.mode == 2) {
            EXPECT_EQ(c.value(0x4702), 250);
            EXPECT_EQ(c.value(0x4703), 750);
            EXPECT_TRUE(gauge.contains(2) && gauge.contains(50) && gauge.contains(100));
            EXPECT_TRUE(std::is_sorted(gauge.begin(), gauge.end()));
        }
        // The end: buttons back, gauge gone, the controller read back.
        EXPECT_EQ(model().progressCaption, "Write to the controller");
        EXPECT_FALSE(engine().state().ParamsFromFile);
        c.set(0x470E, 40 + k.mode); // KD changed at the front meanwhile
        settle();
        EXPECT_EQ(view().edit(F::KP)->text(), QStringLiteral("10.%1").arg(k.mode));
        EXPECT_EQ(view().edit(F::KD)->text(), QString::number(40 + k.mode));
        EXPECT_FALSE(view().UpLoadBar->isVisible());
        EXPECT_FALSE(view().OpPanel->isVisible());
        EXPECT_TRUE(view().SaveBt->isEnabled());
        EXPECT_TRUE(view().box(SetupBox::CtrlerBox)->isEnabled());
        // On-line configuration is off now: the next run turns it on itself.
        EXPECT_EQ(c.value(0x4726), 0);
    }
    EXPECT_TRUE(dialogs.texts().isEmpty()) << dialogs.texts().join('|').toStdString();
}

TEST_P(WriteAllOnTheLine, ARefusedRegisterIsTriedFourTimesThenNamed)
{
    start(GetParam(), {{1, 0x4848}});
    // Input type 18 does not exist: the controller refuses it.
    const QStringList w = writeAll(file("bad.par", {{24, 18}, {12, 77}}));
    EXPECT_EQ(w.count("01:4718=0012"), 4);
    EXPECT_EQ(w.count("01:470C=004D"), 1);
    EXPECT_EQ(sim->controller(1).value(0x470C), 77);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.texts().isEmpty(); }, 3000));
    EXPECT_EQ(dialogs.texts().last(),
              "The controller did not take these parameters:\nP3-1 Input Type (0x4718)");
}

TEST_P(WriteAllOnTheLine, TheBatchKeepsItsControllerAndEndsWhenItGoes)
{
    start(GetParam(), {{1, 0x4848}, {2, 0x4848}}, 2);
    // Slow replies from the target, so that the run can be caught midway.
    sim->line.setFault(1, {SimFault::Kind::Delay, 25});
    open(file("lost.par", {{12, 66}}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return view().OpPanel->isVisible(); }, 3000));
    writes.clear();
    QTest::mouseClick(view().WriteBt, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return writes.size() >= 6; }, 5000));
    // Another controller selected: the rest still goes to address 1.
    QTest::mouseClick(form->slotWidgets(2).image, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return writes.size() >= 12; }, 5000));
    EXPECT_EQ(engine().state().SelectedDevice, 2);
    // The target disconnected: the run ends, unfinished, and says so.
    QTest::mouseClick(form->slotWidgets(1).runBt, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !engine().busy(); }, 3000));
    QTest::qWait(200);
    for (const QString &e : writes)
        EXPECT_TRUE(e.startsWith("01:")) << e.toStdString();
    EXPECT_LT(writes.size(), 30);
    EXPECT_FALSE(engine().state().ParamsFromFile);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.texts().isEmpty(); }, 3000));
    EXPECT_TRUE(dialogs.texts().last().startsWith(
        "Write to the controller at address 1 is incomplete: controller 1 (address 1) is no "
        "longer connected.\nNot written:\n"));
    EXPECT_TRUE(dialogs.texts().last().contains("P1-4 Proportion Band (0x470C)"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return view().SaveBt->isEnabled(); }, 3000));
    EXPECT_FALSE(view().UpLoadBar->isVisible());
    EXPECT_TRUE(view().box(SetupBox::CtrlerBox)->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Framings, WriteAllOnTheLine,
                         ::testing::Values(ModbusMode::Ascii, ModbusMode::Rtu),
                         [](const auto &info) {
                             return info.param == ModbusMode::Ascii ? "Ascii" : "Rtu";
                         });

// Broadcast in RTU, where the silence that paces it is one tick.
TEST_F(FilesOnTheLine, BroadcastLeavesEveryControllerHoldingTheFile)
{
    start(ModbusMode::Rtu, {{1, 0x4824}, {2, 0x4848}, {3, 0x4896}, {4, 0x9696}});
    const QStringList w = writeAll(file("all.par", {{12, 77}, {6, 333}, {33, 2}}), true);
    EXPECT_EQ(w.size(), 39);
    for (const QString &e : w)
        EXPECT_TRUE(e.startsWith("00:")) << e.toStdString();
    for (int a = 1; a <= 4; ++a) {
        EXPECT_EQ(sim->controller(a).value(0x470C), 77) << a;
        EXPECT_EQ(sim->controller(a).value(0x4706), 333) << a;
        EXPECT_EQ(sim->controller(a).value(0x4721), 2) << a;
    }
    EXPECT_EQ(model().progressCaption, "Write to all controller");
    EXPECT_EQ(engine().state().at(1).ErrorCount, 0);
    EXPECT_TRUE(dialogs.texts().isEmpty());
}

TEST_F(FilesOnTheLine, SavedFileCarriesTheSelectedControllersOwnIdentification)
{
    start(ModbusMode::Ascii, {{1, 0x4848}, {2, 0x9696}}, 2);
    QTest::mouseClick(form->slotWidgets(2).image, Qt::LeftButton);
    settle();
    dialogs.fileAnswers << path("setup"); // typed without its extension
    QTest::mouseClick(view().SaveBt, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.texts().isEmpty(); }, 3000));
    EXPECT_EQ(dialogs.shown.last().title, "Message");
    EXPECT_EQ(dialogs.texts().last(), "Write parameters to file successed");
    const QByteArray saved = bytes(path("setup.par"));
    ASSERT_EQ(saved.size(), 1028);
    EXPECT_EQ(saved.left(4).toHex(), "96960000");
    const SimController &c = sim->controller(2);
    const auto entry = [&](int n) {
        return int(quint8(saved[4 * n]) | quint8(saved[4 * n + 1]) << 8);
    };
    EXPECT_EQ(entry(12), c.value(0x470C));
    EXPECT_EQ(entry(255), c.value(0x4744));
    EXPECT_EQ(entry(254), c.value(0x4747));

    // Overwriting asked; Cancel leaves the file as it is.
    QFile other(path("setup.par"));
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.write(QByteArray(1028, 'x'));
    other.close();
    dialogs.fileAnswers << path("setup.par");
    dialogs.okAnswers << false;
    const int shown = int(dialogs.shown.size());
    QTest::mouseClick(view().SaveBt, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialogs.texts("ask").size() == 1; }, 3000));
    QTest::qWait(100);
    EXPECT_EQ(dialogs.texts("ask").last(), "Do you want to overwrite file : setup.par");
    EXPECT_EQ(bytes(path("setup.par")), QByteArray(1028, 'x'));
    EXPECT_EQ(dialogs.shown.size(), shown + 2); // the dialog and the question, nothing else

    // Asked for during a setup read, the save waits for its end, and opens
    // its dialog outside the line's events.
    int pollStepAtSave = -1;
    bool outstanding = true;
    auto save = engine().hooks.saveToFile;
    engine().hooks.saveToFile = [&] {
        pollStepAtSave = engine().state().PollStep;
        outstanding = engine().state().RequestOutstanding;
        save();
    };
    auto reply = engine().hooks.setupReply;
    bool clicked = false;
    engine().hooks.setupReply = [&](int step, const QList<quint16> &words) {
        reply(step, words);
        if (step == 8 && !clicked) {
            clicked = true;
            QTest::mouseClick(view().SaveBt, Qt::LeftButton);
        }
    };
    dialogs.fileAnswers << path("during.par");
    engine().requestSetupRead();
    ASSERT_TRUE(QTest::qWaitFor([&] { return pollStepAtSave >= 0; }, 5000));
    EXPECT_TRUE(pollStepAtSave < FirstSetupStep || pollStepAtSave > LastSetupStep)
        << pollStepAtSave;
    EXPECT_FALSE(outstanding);
    EXPECT_EQ(bytes(path("during.par")).size(), 1028);
}

TEST_F(FilesOnTheLine, AnOpenedFileIsShownUntilCancelAndARefusedOneChangesNothing)
{
    start(ModbusMode::Ascii, {{1, 0x4824}});
    const auto entries = engine().image().entries();
    const QByteArray good = bytes(file("good.par", {{0, 0x9696}, {12, 123}}));
    auto variant = [&](const char *name, QByteArray b) {
        QFile f(path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(b);
        return path(name);
    };
    QByteArray model = good;
    model[0] = char(0x25);
    QByteArray big = good;
    big[12 * 4 + 2] = 1; // entry 12 = 0x1007B
    for (const QString &f : {variant("short.par", good.left(1027)), variant("long.par", good + 'x'),
                             variant("model.par", model), variant("big.par", big)}) {
        open(f);
        EXPECT_EQ(dialogs.texts().last(), "Incorrect DUVA parameters data!") << f.toStdString();
        EXPECT_EQ(engine().image().entries(), entries) << f.toStdString();
        EXPECT_FALSE(engine().state().ParamsFromFile);
    }
    open(path("none.par"));
    EXPECT_EQ(dialogs.texts().last(), "File not exist, can not open file !");
    EXPECT_EQ(dialogs.shown.last().title, "Message");
    EXPECT_FALSE(view().OpPanel->isVisible());

    // A 9696 file on a 4824 controller: shown, editing off, until Cancel,
    // whatever the controller reports meanwhile.
    open(path("good.par"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return view().OpPanel->isVisible(); }, 3000));
    EXPECT_EQ(view().edit(F::KP)->text(), "12.3");
    EXPECT_FALSE(view().SaveBt->isEnabled());
    EXPECT_FALSE(view().OpenBt->isEnabled());
    EXPECT_FALSE(view().DrawBt->isEnabled());
    EXPECT_FALSE(view().box(SetupBox::CtrlerBox)->isEnabled());
    EXPECT_FALSE(view().box(SetupBox::TempBox)->isEnabled());
    sim->controller(1).set(0x470C, 55); // the controller asks to be read again
    QTest::qWait(1500);
    EXPECT_EQ(view().edit(F::KP)->text(), "12.3");
    EXPECT_EQ(engine().image()[12], 123);
    QTest::mouseClick(view().LoadBt, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return view().edit(F::KP)->text() == "5.5"; }, 5000));
    EXPECT_FALSE(view().OpPanel->isVisible());
    EXPECT_TRUE(view().SaveBt->isEnabled());
    EXPECT_TRUE(view().box(SetupBox::CtrlerBox)->isEnabled());
    EXPECT_EQ(engine().image()[0], 0x4824);

    // A file opened while a setup read runs: the rest of the read touches
    // neither the image nor the view.
    auto reply = engine().hooks.setupReply;
    bool opened = false;
    engine().hooks.setupReply = [&](int step, const QList<quint16> &words) {
        reply(step, words);
        if (step == 7 && !opened) {
            opened = true;
            dialogs.fileAnswers << path("good.par");
            form->transfer().OpenBtClick();
        }
    };
    engine().requestSetupRead();
    ASSERT_TRUE(QTest::qWaitFor([&] { return opened; }, 5000));
    QTest::qWait(500);
    EXPECT_EQ(engine().image()[12], 123);
    EXPECT_EQ(view().edit(F::KP)->text(), "12.3");
    EXPECT_TRUE(view().OpPanel->isVisible());
}

} // namespace

namespace {

class CompareOnTheLine : public FilesOnTheLine
{
protected:
    CompareForm &compare() { return form->compareForm(); }
    QStringList row(int r)
    {
        QStringList out;
        for (int c = 0; c < compare().DiffGrid->columnCount(); ++c)
            out << compare().DiffGrid->item(r, c)->text();
        return out;
    }
    // Waits for the compare window to show a new report.
    bool reported(int ms)
    {
        const bool shown = QTest::qWaitFor([&] { return compare().isVisible(); }, ms);
        return shown;
    }
};

TEST_F(CompareOnTheLine, WriteAllIsVerifiedByReadingItBack)
{
    ASSERT_NO_FATAL_FAILURE(start(ModbusMode::Ascii, {{1, 0x4848}}));
    writeAll(file("good.par", {{4, 12000}}));
    ASSERT_TRUE(reported(10000));
    EXPECT_EQ(compare().TitleLB->text(), "The controller at address 1 after writing the file");
    EXPECT_EQ(compare().SummaryLB->text(), "Verified: all 37 parameters match");
    compare().hide();

    // The controller refuses input type 18: the one parameter not verified.
    writeAll(file("bad.par", {{24, 18}}));
    ASSERT_TRUE(reported(10000));
    EXPECT_EQ(compare().SummaryLB->text(), "Not verified: 1 of 37 parameters differ");
    ASSERT_EQ(compare().DiffGrid->rowCount(), 1);
    EXPECT_EQ(row(0), (QStringList {"P3-1", "Input Type", "0x4718", "K-Type", "18"}));
}

TEST_F(CompareOnTheLine, BroadcastIsVerifiedOnEveryControllerAndNamesTheOneGone)
{
    ASSERT_NO_FATAL_FAILURE(
        start(ModbusMode::Rtu, {{1, 0x4824}, {2, 0x4848}, {3, 0x4896}, {4, 0x9696}}, 4));
    const QString f = file("all.par", {{13, 300}});
    sim->line.setFault(3, {SimFault::Kind::Silent, 0}); // unplugged
    writeAll(f, true);
    ASSERT_TRUE(reported(60000));
    EXPECT_EQ(compare().SummaryLB->text(),
              "Controller 1 (address 1): Verified: all 37 parameters match\n"
              "Controller 2 (address 2): Verified: all 37 parameters match\n"
              "Controller 3 (address 3): not verified, it could not be read back\n"
              "Controller 4 (address 4): Verified: all 37 parameters match");
}

TEST_F(CompareOnTheLine, ComparesWithAnotherControllerAndAFileWritingNothing)
{
    ASSERT_NO_FATAL_FAILURE(start(ModbusMode::Ascii, {{1, 0x4848}, {2, 0x4848}}, 2));
    sim->controller(2).set(0x4704, 12000);
    sim->controller(2).set(0x4720, 5);
    writes.clear();
    dialogs.itemAnswers << 0;
    QTest::mouseClick(view().CompareCtrlBt, Qt::LeftButton);
    ASSERT_TRUE(reported(10000));
    EXPECT_EQ(compare().TitleLB->text(),
              "Controller 1 (address 1) against Controller 2 (address 2)");
    EXPECT_EQ(compare().SummaryLB->text(), "2 parameters differ");
    ASSERT_EQ(compare().DiffGrid->rowCount(), 2);
    EXPECT_EQ(row(0),
              (QStringList {"P3-8", "Alarm1", "0x4720", "2 Upper Limit",
                            "5 Absolute Upper/Lower Limit"}));
    EXPECT_EQ(row(1), (QStringList {"P3-3", "Range High", "0x4704", "1300.0", "1200.0"}));
    // The table as CSV and on the clipboard.
    dialogs.fileAnswers << path("diff.csv");
    QTest::mouseClick(compare().CsvBt, Qt::LeftButton);
    EXPECT_EQ(bytes(path("diff.csv")),
              "Code,Parameter,Register,Controller 1 (address 1),Controller 2 (address 2)\r\n"
              "P3-8,Alarm1,0x4720,2 Upper Limit,5 Absolute Upper/Lower Limit\r\n"
              "P3-3,Range High,0x4704,1300.0,1200.0\r\n");
    QTest::mouseClick(compare().CopyBt, Qt::LeftButton);
    EXPECT_TRUE(QGuiApplication::clipboard()->text().startsWith(
        "Controller 1 (address 1) against Controller 2 (address 2)\n2 parameters differ\n"));
    compare().hide();

    dialogs.fileAnswers << file("cmp.par", {{33, 1}});
    QTest::mouseClick(view().CompareFileBt, Qt::LeftButton);
    ASSERT_TRUE(reported(5000));
    EXPECT_EQ(compare().SummaryLB->text(), "1 parameter differs");
    EXPECT_EQ(
        row(0),
        (QStringList {"P3-9", "Alarm2", "0x4721", "0 Alarm Disabled", "1 Upper/Lower Limit"}));
    EXPECT_TRUE(writes.isEmpty()) << writes.join(' ').toStdString();
}

} // namespace
