// The comparison of a program with a recording, on a record file written
// here byte by byte and read as the application reads it, with every figure
// worked out by hand.
#include "app/recordingloader.h"
#include "program/programcompare.h"
#include "program/programcompareform.h"
#include "program/programcomparison.h"
#include "scripteddialogs.h"

#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

using namespace ProgramCompare;
using P = RampSoakProgram;

// One device at address 1, sampled every 30 s (1E): six records from
// 10:00:00 AM, the fourth given up ("E").
const QByteArray RecordBytes = "01  00  00  00  00  00  00  00  00  00  1E\r\n"
                               "00 100       10:00:00 AM   12/9/2026\r\n"
                               "00 110       10:00:30 AM   12/9/2026\r\n"
                               "00 90        10:01:00 AM   12/9/2026\r\n"
                               "00 E         10:01:30 AM   12/9/2026\r\n"
                               "00 260       10:02:00 AM   12/9/2026\r\n"
                               "00 300       10:02:30 AM   12/9/2026\r\n"
                               "End\r\n";

// 10.0 for a minute, then up to 20.0 in a minute, then the end.
P TwoSteps()
{
    P program;
    program.LastStep[0] = 1;
    program.NextPattern[0] = P::ProgramEnd;
    program.SetValue[0] = 100;
    program.StepTime[0] = 1;
    program.SetValue[1] = 200;
    program.StepTime[1] = 1;
    return program;
}

class Compare : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString path;
    Recording recording;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath("run.txt");
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(RecordBytes);
        f.close();
        const QString failure = LoadRecording(path, recording);
        ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
    }
};

TEST_F(Compare, DeviationBandStepsAndCsv)
{
    // Planned, from the recorded 10.0 at the start: 10.0 at 0, 30 and 60 s
    // (step 0 holds, step 1 starts there), 15.0 at 90 s (missing), 20.0 at
    // 120 s, the program's end; the record at 150 s is after it.
    // Deviations: 0, +1.0, -1.0, -, +6.0. Outside +-5.0: one sample, 30 s.
    // Step 0: (0 + 1.0) / 2 = +0.5; step 1: (-1.0 + 6.0) / 2 = +2.5.
    const Result r = compare(TwoSteps(), recording, Settings {});
    ASSERT_EQ(r.samples.size(), 6);
    EXPECT_EQ(r.programSeconds, 120);
    EXPECT_EQ(r.compared, 4);
    EXPECT_EQ(r.missing, 1);
    EXPECT_EQ(r.afterEnd, 1);
    EXPECT_DOUBLE_EQ(r.largest, 60.0);
    EXPECT_EQ(r.largestAt, 4);
    EXPECT_EQ(r.samples.at(4).seconds, 120);
    EXPECT_EQ(r.outside, 1);
    EXPECT_EQ(r.outsideSeconds, 30);
    ASSERT_EQ(r.steps.size(), 2);
    EXPECT_EQ(r.steps.at(0).step, 0);
    EXPECT_DOUBLE_EQ(r.steps.at(0).mean, 5.0);
    EXPECT_EQ(r.steps.at(0).samples, 2);
    EXPECT_EQ(r.steps.at(1).step, 1);
    EXPECT_DOUBLE_EQ(r.steps.at(1).mean, 25.0);
    EXPECT_EQ(r.steps.at(1).samples, 2);
    EXPECT_EQ(csv(r),
              QByteArray("Time,Planned,Actual,Deviation\r\n"
                         "2026-12-09 10:00:00,10.00,10.00,0.00\r\n"
                         "2026-12-09 10:00:30,10.00,11.00,1.00\r\n"
                         "2026-12-09 10:01:00,10.00,9.00,-1.00\r\n"
                         "2026-12-09 10:01:30,15.00,,\r\n"
                         "2026-12-09 10:02:00,20.00,26.00,6.00\r\n"
                         "2026-12-09 10:02:30,,30.00,\r\n"));
    EXPECT_TRUE(r.notes.contains("1 record holds no value (E) for device 1: not compared, left "
                                 "out of the chart."));
    EXPECT_TRUE(r.notes.contains("The recording goes on for 0:00:30 after the program's end "
                                 "(1 record): not compared, drawn in grey."));
}

TEST_F(Compare, ALaterStartAShorterRecordingAndAnotherScale)
{
    // Started at the second record (10:00:30, 110 read as hundredths: 1.1),
    // a program of 10.0 for 5 min: the recording ends 2 min into it.
    // Planned 10.0 throughout, from 1.1 (11 tenths) towards it: step 0
    // ramps from the start value, 11 + 89 x t / 300 tenths.
    P program;
    program.NextPattern[0] = P::ProgramEnd;
    program.SetValue[0] = 100;
    program.StepTime[0] = 5;
    Settings settings;
    settings.startRecord = 1;
    settings.recordDecimals = 2;
    const Result r = compare(program, recording, settings);
    ASSERT_EQ(r.samples.size(), 5);
    EXPECT_EQ(r.samples.at(3).seconds, 90);
    // At 90 s: planned 11 + 89 x 90 / 300 = 37.7 tenths, recorded 260 / 10 = 26.
    EXPECT_DOUBLE_EQ(r.samples.at(3).planned, 37.7);
    EXPECT_DOUBLE_EQ(r.samples.at(3).actual, 26.0);
    EXPECT_EQ(r.afterEnd, 0);
    EXPECT_TRUE(r.notes.contains("The recorded values are taken as hundredths (2 decimals) and "
                                 "shown in tenths, as the program holds its set values."));
    EXPECT_TRUE(r.notes.contains("The recording ends 0:02:00 into the program, which runs "
                                 "0:05:00: the rest of the program is not compared."));
}

TEST_F(Compare, TheWindowsLogicOpensExportsAndRefusesABadFile)
{
    ScriptedDialogs dialogs;
    const P program = TwoSteps();
    ProgramComparison comparison(program, {});
    comparison.setLoader(LoadRecording);
    dialogs.fileAnswers << path;
    ASSERT_TRUE(comparison.open());
    EXPECT_EQ(comparison.view().devices, QStringList {"Device 1 (address 1)"});
    EXPECT_EQ(comparison.view().startMax, 5);
    EXPECT_TRUE(comparison.view().summary.startsWith(
        "Largest deviation +6.0 at 0:02:00 into the program (10:02:00 AM 12/9/2026)\n"
        "Outside \u00b15.0: 0:00:30 (1 of 4 samples)\n"));

    const QString out = dir.filePath("run.csv");
    dialogs.fileAnswers << out;
    comparison.exportCsv();
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().startsWith("Time,Planned,Actual,Deviation\r\n2026-12-09 10:00:00,"));

    // A file that is no recording is refused; the comparison shown stays.
    const QString bad = dir.filePath("bad.txt");
    QFile b(bad);
    ASSERT_TRUE(b.open(QIODevice::WriteOnly));
    b.write("not a recording\r\n");
    b.close();
    dialogs.shown.clear();
    dialogs.fileAnswers << bad;
    EXPECT_FALSE(comparison.open());
    ASSERT_EQ(dialogs.shown.size(), 2);
    EXPECT_EQ(dialogs.shown.at(1).text, "Incorrected format or data in file !!!");
    EXPECT_EQ(comparison.view().startMax, 5);
}

TEST_F(Compare, AClickOnTheChartMovesTheProgramsStart)
{
    ScriptedDialogs dialogs;
    const P program = TwoSteps();
    ProgramCompareForm form(program, nullptr);
    form.comparison().setLoader(LoadRecording);
    ASSERT_TRUE(form.comparison().openPath(path));
    EXPECT_EQ(form.comparison().view().start, 0); // where the recording follows the plan best
    // The chart's plot runs from x 52 to 690 over 0..150 s: 60 s, the third
    // record, lies at x 307 of the chart's 700.
    const int x = 307 * form.CompChart->width() / 700;
    QTest::mouseClick(form.CompChart, Qt::LeftButton, {}, QPoint(x, form.CompChart->height() / 2));
    EXPECT_EQ(form.comparison().view().start, 2);
    EXPECT_EQ(form.comparison().result().before.size(), 2);
    EXPECT_TRUE(form.comparison().result().notes.contains(
        "The recording begins 0:01:00 (2 records) before the program's start: drawn in grey, not "
        "compared."));
}

TEST(CompareTimes, TimeOutsideTheBandIsCountedFromTheTimeStamps)
{
    // Sampled every 30 s, but the line slowed after the second record: the
    // third came 2 min after it. 10.0 held for 3 min; the records at 30 s
    // and 150 s are 20.0 off: 120 s and 30 s outside the band, not 2 x 30.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("slow.txt");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("01  00  00  00  00  00  00  00  00  00  1E\r\n"
            "00 100       10:00:00 AM   12/9/2026\r\n"
            "00 300       10:00:30 AM   12/9/2026\r\n"
            "00 300       10:02:30 AM   12/9/2026\r\n"
            "00 100       10:03:00 AM   12/9/2026\r\n"
            "End\r\n");
    f.close();
    Recording recording;
    ASSERT_TRUE(LoadRecording(path, recording).isEmpty());
    P program;
    program.NextPattern[0] = P::ProgramEnd;
    program.SetValue[0] = 100;
    program.StepTime[0] = 3;
    const Result r = compare(program, recording, Settings {});
    EXPECT_EQ(r.compared, 4);
    EXPECT_EQ(r.outside, 2);
    EXPECT_EQ(r.outsideSeconds, 150);
}

} // namespace
