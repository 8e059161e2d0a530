// The record file: the bytes the writer leaves, what the reader takes back
// and refuses, and the CSV export.
//
// Devices 1 and 5 at addresses 1 and 3, sample time 5 s: two groups, record
// lines of 20 + 14 + 12 = 46 characters, L = 48.
#include "recorder/recordfile.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <ostream>
#include <sys/resource.h>

// File contents print as text when a comparison fails.
void PrintTo(const QByteArray &bytes, std::ostream *os)
{
    *os << ::testing::PrintToString(bytes.toStdString());
}

namespace {

using namespace RecordFile;

constexpr qint32 Missing = Recorder::MissingSample;

const QByteArray Head = "01  00  00  00  03  00  00  00  00  00  05\r\n";
const QByteArray Line0 = "00 253    04 -5         2:05:07 PM   12/9/2026\r\n";
const QByteArray Line1 = "00 -32768 04 E          2:05:12 PM   12/9/2026\r\n";
const QByteArray Line2 = "00 0      04 E         10:00:00 AM  12/10/2026\r\n";
const QByteArray End = "End\r\n";

const std::array<int, 10> Addresses {1, 0, 0, 0, 3, 0, 0, 0, 0, 0};

class RecordFileTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString path(const QString &name = QStringLiteral("rec.txt")) const
    {
        return dir.filePath(name);
    }
    QByteArray bytes(const QString &name = QStringLiteral("rec.txt")) const
    {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
    }
    void put(const QByteArray &content, const QString &name = QStringLiteral("rec.txt"))
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(content), content.size());
    }
};

TEST_F(RecordFileTest, WritesLinesAtOnceAndReadsThemBack)
{
    Writer w;
    ASSERT_EQ(w.open(path(), Addresses, 5), QString());
    EXPECT_EQ(bytes(), Head);
    w.sample(0, 253);
    w.sample(4, -5);
    ASSERT_EQ(w.endLine(QStringLiteral("2:05:07 PM"), QStringLiteral("12/9/2026")), QString());
    // On the disk before the next scan.
    EXPECT_EQ(bytes(), Head + Line0);
    w.sample(0, -32768);
    w.missing(4);
    ASSERT_EQ(w.endLine(QStringLiteral("2:05:12 PM"), QStringLiteral("12/9/2026")), QString());
    w.sample(0, 0);
    w.sample(4, Missing);
    ASSERT_EQ(w.endLine(QStringLiteral("10:00:00 AM"), QStringLiteral("12/10/2026")), QString());
    ASSERT_EQ(w.finish(), QString());
    EXPECT_FALSE(w.isOpen());
    EXPECT_EQ(bytes(), Head + Line0 + Line1 + Line2 + End);

    Reader r;
    ASSERT_EQ(r.open(path()), Reader::OpenResult::Ok);
    EXPECT_EQ(r.header().addresses, Addresses);
    EXPECT_EQ(r.header().sampleTime, 5);
    EXPECT_EQ(r.recordLength(), 48);
    EXPECT_EQ(r.recordCount(), 3); // "End" is no record
    Record rec;
    QString why;
    ASSERT_TRUE(r.read(1, rec, &why)) << why.toStdString();
    EXPECT_EQ(rec.values,
              (std::array<qint32, 10> {-32768, Missing, Missing, Missing, Missing, Missing, Missing,
                                       Missing, Missing, Missing}));
    EXPECT_EQ(rec.time, QStringLiteral("2:05:12 PM"));
    EXPECT_EQ(rec.date, QStringLiteral("12/9/2026"));
    ASSERT_TRUE(r.read(0, rec, &why));
    EXPECT_EQ(rec.values[0], 253);
    EXPECT_EQ(rec.values[4], -5);
    ASSERT_TRUE(r.read(2, rec, &why));
    EXPECT_EQ(rec.values[0], 0);
    EXPECT_EQ(rec.values[4], Missing);
    EXPECT_EQ(rec.time, QStringLiteral("10:00:00 AM"));
    EXPECT_FALSE(r.read(3, rec, &why));
    EXPECT_EQ(why, QString());
}

// A line that does not fit on the disk leaves no part of it behind, so the
// lines written after the disk has room again stay in their places.
TEST_F(RecordFileTest, FailedWriteLeavesWholeLinesOnly)
{
    Writer w;
    ASSERT_EQ(w.open(path(), Addresses, 5), QString());
    w.sample(0, 253);
    w.sample(4, -5);
    ASSERT_EQ(w.endLine(QStringLiteral("2:05:07 PM"), QStringLiteral("12/9/2026")), QString());

    // The file may grow by 20 bytes only: the next line fails half-written.
    rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = rlim_t(Head.size() + Line0.size() + 20);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    w.sample(0, -32768);
    w.missing(4);
    const QString reason = w.endLine(QStringLiteral("2:05:12 PM"), QStringLiteral("12/9/2026"));
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(reason, "File too large"); // the system's reason, not "Unknown error"

    w.sample(0, 0);
    w.missing(4);
    ASSERT_EQ(w.endLine(QStringLiteral("10:00:00 AM"), QStringLiteral("12/10/2026")), QString());
    ASSERT_EQ(w.finish(), QString());
    EXPECT_EQ(bytes(), Head + Line0 + Line2 + End);
}

// A recording killed before its "End": every whole line counts, a half line
// does not.
TEST_F(RecordFileTest, FileWithoutEndOpensWithItsCompleteRecords)
{
    Reader r;
    put(Head + Line0 + Line1 + Line2);
    ASSERT_EQ(r.open(path()), Reader::OpenResult::Ok);
    EXPECT_EQ(r.recordCount(), 3);
    Record rec;
    EXPECT_TRUE(r.read(2, rec));
    EXPECT_EQ(rec.date, QStringLiteral("12/10/2026"));

    put(Head + Line0 + Line1 + Line2.left(23));
    ASSERT_EQ(r.open(path()), Reader::OpenResult::Ok);
    EXPECT_EQ(r.recordCount(), 2);
    EXPECT_TRUE(r.read(1, rec));
    EXPECT_EQ(rec.values[0], -32768);
    EXPECT_FALSE(r.read(2, rec));

    put(Head + Line0.left(30));
    EXPECT_EQ(r.open(path()), Reader::OpenResult::NoRecords);
    put(Head + End);
    EXPECT_EQ(r.open(path()), Reader::OpenResult::NoRecords);
    EXPECT_EQ(r.open(path(QStringLiteral("none.txt"))), Reader::OpenResult::Missing);
}

TEST_F(RecordFileTest, RefusesBadHeaders)
{
    const QList<QByteArray> bad {
        "01  00  00  00  03  00  00  00  00  00  5\r\n", // 41 characters
        "01  00  00  00  0G  00  00  00  00  00  05\r\n",
        "01  00  00  00  03 .00  00  00  00  00  05\r\n",
        "00  00  00  00  00  00  00  00  00  00  05\r\n", // no device
    };
    Reader r;
    for (const QByteArray &head : bad) {
        put(head + Line0 + End);
        EXPECT_EQ(r.open(path()), Reader::OpenResult::BadHeader) << head.constData();
    }
    // A blank counts as a zero digit; a sample time of 0 is taken as 1 s.
    put(" 1  00  00  00  03  00  00  00  00  00    \r\n" + Line0 + End);
    ASSERT_EQ(r.open(path()), Reader::OpenResult::Ok);
    EXPECT_EQ(r.header().addresses, Addresses);
    EXPECT_EQ(r.header().sampleTime, 1);
}

TEST_F(RecordFileTest, RefusesBadRecordsByNumber)
{
    put(Head + Line0 //
        + "00 70000  04 -5         2:05:07 PM   12/9/2026\r\n" +
        "00 253    05 -5         2:05:07 PM   12/9/2026\r\n" +
        "00 1a     04 -5         2:05:07 PM   12/9/2026\r\n" +
        "00 -      04 -5         2:05:07 PM   12/9/2026\r\n" +
        "00 253    04 -5        2:05:07 PM   12/9/2026\r\n" // 45 characters
        + End);
    Reader r;
    ASSERT_EQ(r.open(path()), Reader::OpenResult::Ok);
    ASSERT_EQ(r.recordCount(), 6);
    Record rec;
    QString why;
    const QStringList expected {
        QString(),
        QStringLiteral("record 1: value of device 1 outside 16 bits"),
        QStringLiteral("record 2: group 2 is not device 5"),
        QStringLiteral("record 3: bad character in the value of device 1"),
        QStringLiteral("record 4: no digit in the value of device 1"),
        QStringLiteral("record 5: the line is not 46 characters long"),
    };
    for (int i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(r.read(i, rec, &why), expected[i].isEmpty());
        EXPECT_EQ(why, expected[i]);
    }
}

TEST_F(RecordFileTest, ExportsTheWholeRecordingAsCsv)
{
    put(Head + Line0 + Line1 + Line2 + End);
    Reader r;
    ASSERT_EQ(r.open(path()), Reader::OpenResult::Ok);
    QList<int> seen;
    const QString csv = path(QStringLiteral("rec.csv"));
    ASSERT_EQ(exportCsv(r, csv,
                        [&](int percent) {
                            seen << percent;
                            return true;
                        }),
              QString());
    EXPECT_EQ(bytes(QStringLiteral("rec.csv")),
              "Time,Device 1 (addr 1),Device 5 (addr 3)\r\n"
              "2026-12-09 14:05:07,25.3,-0.5\r\n"
              "2026-12-09 14:05:12,-3276.8,\r\n"
              "2026-12-10 10:00:00,0.0,\r\n");
    EXPECT_EQ(seen, (QList<int> {0, 33, 66, 100}));

    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import csv,sys; rows=list(csv.reader(open(sys.argv[1], "
                                 "newline=''))); print(len(rows), len(rows[0]))"),
                  csv});
    ASSERT_TRUE(python.waitForFinished(30000));
    EXPECT_EQ(python.readAllStandardOutput(), "4 3\n");

    EXPECT_EQ(csvField(QStringLiteral("a,\"b")), QStringLiteral("\"a,\"\"b\""));
}

TEST_F(RecordFileTest, CancelledOrFailedExportLeavesNoFile)
{
    put(Head + Line0 + "00 253    04 -5         2:05:07 PM   12/9/2026 \r\n" + End);
    Reader r;
    ASSERT_EQ(r.open(path()), Reader::OpenResult::Ok);
    const QString csv = path(QStringLiteral("rec.csv"));
    EXPECT_EQ(exportCsv(r, csv, [](int) { return true; }),
              QStringLiteral("record 1: the line is not 46 characters long"));
    EXPECT_FALSE(QFile::exists(csv));

    put(Head + Line0 + Line1 + End);
    ASSERT_EQ(r.open(path()), Reader::OpenResult::Ok);
    EXPECT_EQ(exportCsv(r, csv, [](int percent) { return percent < 50; }), ExportCancelled);
    EXPECT_FALSE(QFile::exists(csv));
}

} // namespace
