// The whole way of a ramp/soak program against the simulator, in the real
// windows: read from the controller, checked against its range, corrected
// and written, run by the controller while the recorder records it, then
// compared with that recording. The run takes two minutes of real time: a
// program's steps count in whole minutes and a recording in seconds of the
// clock.
#include "app/comsettings.h"
#include "app/mainform.h"
#include "app/startup.h"
#include "monitor/monitorform.h"
#include "program/programcompareform.h"
#include "program/programform.h"
#include "recorder/recorderform.h"
#include "scripteddialogs.h"
#include "setup/setupviewform.h"
#include "simoncom1.h"

#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QStringList Items(const QListWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

TEST(ProgramRun, ReadCheckWriteRunRecordAndCompare)
{
    ScriptedDialogs dialogs;
    ComSettings settings;
    SimOnCom1 sim(MatchingLine(ModbusMode::Ascii, settings), {{1, 0x4848}});
    ASSERT_TRUE(sim.ok());
    SimController &c = sim.controller(1);
    c.set(0x4723, 0); // stopped: the process value rests at 25.0
    c.set(0x4719, 3); // ramp/soak control
    c.set(0x4704, 3000); // Range High 300.0
    // Pattern 0: up to 40.0 in a minute, then 450.0 for a minute (a slip:
    // above the range), then the end.
    c.set(0x4768, 1);
    c.set(0x4778, 8);
    c.set(0x4780, 400);
    c.set(0x4781, 1);
    c.set(0x4782, 4500);
    c.set(0x4783, 1);

    std::unique_ptr<MainForm> main = CreateWindows(settings);
    main->Monitor1Click();
    MonitorForm *monitor = main->monitorForm();
    ProgramForm *form = main->programForm();
    QTest::mouseClick(monitor->slotWidgets(1).runBt, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return monitor->setupForm().ProgBt->isEnabled(); }, 5000));
    QTest::mouseClick(monitor->setupForm().ProgBt, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->isVisible(); }, 2000));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return form->editor().controllerRange().has_value(); }, 10000));

    // Read: the check beside the curve names the slip.
    QTest::mouseClick(form->ReadSBt, Qt::LeftButton);
    const auto idle = [&] {
        return QTest::qWaitFor(
            [&] { return !form->editor().transferring() && form->ReadSBt->isEnabled(); }, 20000);
    };
    ASSERT_TRUE(idle());
    QTest::qWait(50); // the window renders
    QStringList shown = Items(form->ProgCheck);
    ASSERT_GE(shown.size(), 3);
    EXPECT_EQ(shown.at(0), "Run: pattern 0 \u2192 end");
    EXPECT_EQ(shown.at(1), "Total time 00:02");
    EXPECT_EQ(shown.at(2),
              "\u2716 Pattern 0, step 1: set value 450.0 is above Range High 300.0 (P3-3)");

    // Corrected to 40.0 in the editor: the error is gone, the write asks
    // nothing and the controller holds the program.
    ProgramEditor &e = form->editor();
    e.ProgTableClick(3, 1);
    e.EditPBtClick();
    e.SPEditChange("40");
    e.POKBtClick();
    EXPECT_EQ(e.model().check.errorCount(), 0);
    dialogs.shown.clear();
    QTest::mouseClick(form->WrBt, Qt::LeftButton);
    ASSERT_TRUE(idle());
    EXPECT_TRUE(dialogs.shown.isEmpty());
    EXPECT_EQ(c.value(0x4782), 400);

    // The recorder takes the line and records the controller every second;
    // the controller runs its program from the first record on.
    monitor->ExitBt2Click();
    main->Recorder1Click();
    RecorderForm *recorder = main->recorderForm();
    recorder->device(0).comAddr->setValue(1);
    recorder->SampleTime->setValue(1);
    const QString recordFile = QDir(sim.work.path()).filePath("run.txt");
    dialogs.fileAnswers << recordFile;
    QTest::mouseClick(recorder->SaveBt, Qt::LeftButton);
    QTest::mouseClick(recorder->StartBt, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo(recordFile).size() > 44; }, 5000));
    c.set(0x4723, 1); // run
    QTest::qWait(126000);
    QTest::mouseClick(recorder->StartBt, Qt::LeftButton);
    QTest::qWait(300);

    // Compared with what the program planned.
    dialogs.fileAnswers << recordFile;
    form->CompareBtClick();
    ProgramCompareForm &compare = form->compareForm();
    ASSERT_TRUE(compare.isVisible());
    // The program started at the first record. The start is found where
    // the recorded value follows the plan best, backed off over the lag to
    // where the value began to move: a few seconds late, as a process value
    // in tenths shows a ramp's first tenths only then. The user moves it
    // to the first record.
    EXPECT_LE(compare.comparison().view().start, 8);
    compare.comparison().setStart(0);
    const ProgramCompare::Result &r = compare.comparison().result();
    EXPECT_EQ(r.programSeconds, 120);
    EXPECT_GE(r.compared, 110);
    EXPECT_GE(r.afterEnd, 1);
    EXPECT_EQ(r.missing, 0);
    // The controller follows with a lag of 20 s: 15.0 up in 60 s, so the
    // process value trails the ramp by up to 0.25 x 20 = 5.0, most at the
    // ramp's end, and closes in during the hold.
    EXPECT_LT(r.largest, -30.0);
    EXPECT_GT(r.largest, -60.0);
    const qint64 at = r.samples.at(r.largestAt).seconds;
    EXPECT_GE(at, 45);
    EXPECT_LE(at, 70);
    ASSERT_EQ(r.steps.size(), 2);
    EXPECT_LT(r.steps.at(0).mean, r.steps.at(1).mean);
    EXPECT_LT(r.steps.at(1).mean, 0.0);
    QTest::qWait(50);
    EXPECT_TRUE(compare.CompResult->toPlainText().startsWith("Largest deviation -"));

    const QString csvFile = QDir(sim.work.path()).filePath("run.csv");
    dialogs.fileAnswers << csvFile;
    QTest::mouseClick(compare.CompExportBt, Qt::LeftButton);
    QFile f(csvFile);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().count("\r\n"), r.samples.size() + 1);
}

} // namespace
