// A record file opened again in the recorder: its header, its records on
// the chart, browsing at a coarser interval, a file cut short, bad records,
// and the export.
#include "fakeline.h"
#include "recorder/acquisition.h"
#include "recorder/recorderdata.h"
#include "recorder/recordviewer.h"
#include "recorder/trendchart.h"
#include "scripteddialogs.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Devices 1 and 5 at addresses 1 and 3, recorded every 2 s; device 1 given
// up from record 4 on. Record r holds 200 + r and -10 - r.
QByteArray recording(int records, bool end = true)
{
    QByteArray b = "01  00  00  00  03  00  00  00  00  00  02\r\n";
    for (int r = 0; r < records; ++r) {
        const QByteArray first = r >= 4
            ? QByteArray("00 E      ")
            : ("00 " + QByteArray::number(200 + r)).leftJustified(10, ' ');
        const QByteArray second = ("04 " + QByteArray::number(-10 - r)).leftJustified(10, ' ');
        b += first + second + QByteArray("2:05:09 PM").rightJustified(14, ' ') +
            QByteArray("12/9/2026").rightJustified(12, ' ') + "\r\n";
    }
    if (end)
        b += "End\r\n";
    return b;
}

// Device 1 (address 1) and device 5 (address 3): device 1 holds `first`
// until record `firstEnds`, then "E"; device 5 holds 230 + r % 43.
QByteArray twoDevices(int records, int first, int firstEnds)
{
    QByteArray b = "01  00  00  00  03  00  00  00  00  00  02\r\n";
    for (int r = 0; r < records; ++r) {
        const QByteArray one = r >= firstEnds
            ? QByteArray("00 E      ")
            : ("00 " + QByteArray::number(first)).leftJustified(10, ' ');
        const QByteArray five = ("04 " + QByteArray::number(230 + r % 43)).leftJustified(10, ' ');
        b += one + five + QByteArray("2:05:09 PM").rightJustified(14, ' ') +
            QByteArray("12/9/2026").rightJustified(12, ' ') + "\r\n";
    }
    return b + "End\r\n";
}

class Viewer : public ::testing::Test
{
protected:
    ScriptedDialogs dialogs;
    QTemporaryDir dir;
    FakeLine line;
    Recorder::Data data;
    Recorder::TrendChart chart {data, 1024};
    RecorderAcquisition acq {line, [] { return LineSettings(); }, data};
    RecordViewer viewer {data, chart, acq};

    QString file(const char *name, const QByteArray &bytes)
    {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    }
};

TEST_F(Viewer, OpensShowsAndBrowses)
{
    ASSERT_TRUE(viewer.open(file("rec.txt", recording(10))));
    EXPECT_EQ(acq.comAddr(0), 1);
    EXPECT_EQ(acq.comAddr(4), 3);
    EXPECT_EQ(acq.comAddr(1), 0);
    EXPECT_EQ(acq.sampleTime(), 2);
    EXPECT_FALSE(viewer.view().trackBarVisible); // 10 records within the chart
    EXPECT_EQ(acq.view().loopCnt, " 00000009");
    EXPECT_FALSE(acq.view().timePanelVisible);
    EXPECT_EQ(data.sample(0, 3), 203);
    EXPECT_EQ(data.sample(4, 9), -19);
    EXPECT_EQ(data.sample(0, 4), Recorder::MissingSample);
    EXPECT_TRUE(data.device[0].valueRed); // its trace stops at the first "E"
    EXPECT_TRUE(chart.active());
    // Viewed every 6 s: every third record.
    viewer.browse(0, 6);
    EXPECT_EQ(data.sample(4, 0), -10);
    EXPECT_EQ(data.sample(4, 1), -13);
    EXPECT_EQ(data.sample(4, 2), -16);
    EXPECT_EQ(acq.view().loopCnt, " 00000010");
    // Below the recorded interval the step stays 1.
    viewer.browse(0, 1);
    EXPECT_EQ(data.sample(4, 1), -11);
}

TEST_F(Viewer, AGivenUpDevicesTraceIsScaledAndComesBackWithValidRecords)
{
    // Device 1 sits at 800 and is given up at record 50; device 5 moves
    // between 230 and 272. The trace drawn before the "E" is in the scale.
    ASSERT_TRUE(viewer.open(file("gone.txt", twoDevices(100, 800, 50))));
    EXPECT_GE(chart.maxScaleText().toInt(), 800);
    EXPECT_LE(chart.minScaleText().toInt(), 230);
    EXPECT_TRUE(data.device[0].valueRed);

    // Past the first "E" and back to records that are all valid: the trace
    // is drawn again, with no red box and no silver address box.
    const int w = data.width();
    ASSERT_TRUE(viewer.open(file("later.txt", twoDevices(w + 10, 800, w + 3))));
    EXPECT_FALSE(data.device[0].valueRed);
    viewer.browse(10, 2);
    EXPECT_TRUE(data.device[0].valueRed);
    EXPECT_FALSE(data.device[0].shown);
    viewer.browse(0, 2);
    EXPECT_TRUE(data.device[0].shown);
    EXPECT_FALSE(data.device[0].valueRed);
    EXPECT_FALSE(data.device[0].comAddrSilver);
    EXPECT_EQ(data.device[0].valueText, "80.0");
}

TEST_F(Viewer, AFileCutShortOpensWithItsCompleteRecords)
{
    QByteArray killed = recording(3, false);
    killed += "00 203     04 -13  "; // the scan in progress when it died
    ASSERT_TRUE(viewer.open(file("killed.txt", killed)));
    EXPECT_EQ(acq.view().loopCnt, " 00000002");
    EXPECT_EQ(data.sample(0, 2), 202);
    EXPECT_TRUE(dialogs.shown.isEmpty());
}

TEST_F(Viewer, BadFilesAreNamedAndShowNothing)
{
    QByteArray bad = recording(5);
    bad.replace(44 + 2 * 48 + 3, 3, "1a ");
    EXPECT_FALSE(viewer.open(file("bad.txt", bad)));
    EXPECT_FALSE(chart.active());
    ASSERT_EQ(dialogs.texts().size(), 1);
    EXPECT_TRUE(dialogs.texts().at(0).startsWith(
        "Incorrected format or data in file !!!\nbad.txt: record 2"))
        << dialogs.texts().at(0).toStdString();
    EXPECT_FALSE(viewer.open(file("header.txt", "01  00\r\n")));
    EXPECT_EQ(dialogs.texts().last(), "Incorrected format or data in file !!!");
    EXPECT_FALSE(viewer.open(dir.filePath("none.txt")));
    EXPECT_EQ(dialogs.texts().last(), "File not exist, can not open file !");
}

TEST_F(Viewer, LongRecordingsGetATrackBarAndExportWhole)
{
    const int w = data.width();
    ASSERT_TRUE(viewer.open(file("long.txt", recording(w + 5))));
    EXPECT_TRUE(viewer.view().trackBarVisible);
    EXPECT_EQ(viewer.view().trackMax, 5);
    viewer.browse(5, 2);
    EXPECT_EQ(data.sample(4, 0), -15);

    dialogs.fileAnswers << dir.filePath("long"); // typed without its extension
    viewer.ExportBtClick({});
    QFile csv(dir.filePath("long.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csv.readAll().split('\n');
    EXPECT_EQ(lines.at(0), "Time,Device 1 (addr 1),Device 5 (addr 3)\r");
    EXPECT_EQ(lines.at(1), "2026-12-09 14:05:09,20.0,-1.0\r");
    EXPECT_EQ(lines.at(6), "2026-12-09 14:05:09,,-1.5\r");
    EXPECT_EQ(lines.size(), w + 5 + 2); // header, every record, the last line end
    EXPECT_EQ(dialogs.texts().last(), QStringLiteral("Exported %1 records to long.csv").arg(w + 5));
}

} // namespace
