#pragma once

#include "recorder/recorderdata.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <QtGlobal>

#include <array>
#include <functional>
#include <optional>

// The record file: a recording written scan by scan as plain text with
// fixed-width fields and CR LF line ends.
//
// Header line, 42 characters: for devices 1 to 10 the address as two
// upper-case hex digits and two blanks, then the sample time in seconds as
// two hex digits. Then one line per completed scan: for each device in use,
// in device order, a 10-character group (the device index 0..9 as two hex
// digits, a blank, the sample in tenths left-aligned in 7 characters, or "E"
// and six blanks when the device has been given up), then the time right-
// aligned in 14 characters and the date right-aligned in 12. Every record
// line of a file has the same length, 10 n + 26 for n devices in use, so
// record r starts at byte r L + 44 (L: line length + 2). The last line is
// "End".
namespace RecordFile {

constexpr int DeviceCount = Recorder::DeviceCount;
constexpr int HeaderLength = 42;
constexpr qint64 HeaderBytes = HeaderLength + 2;
constexpr int GroupLength = 10;
constexpr int ValueWidth = 7;
constexpr int TimeWidth = 14;
constexpr int DateWidth = 12;
constexpr int MaxSampleTime = 120;

inline const QString Extension = QStringLiteral("txt");
// Both spellings: Linux names are case-sensitive.
inline const QString Filter = QStringLiteral("Text files (*.txt *.TXT)");
inline const QString CsvFilter = QStringLiteral("CSV files (*.csv *.CSV)");

// The recorder window's messages about the file, titled "Message".
inline const QString MessageTitle = QStringLiteral("Message");
inline const QString MissingFile = QStringLiteral("File not exist, can not open file !");
inline const QString BadFormat = QStringLiteral("Incorrected format or data in file !!!");
// What exportCsv() returns when its progress callback cancelled it.
inline const QString ExportCancelled = QStringLiteral("Export cancelled");

// Writes a recording. Every line goes to the file as soon as it is complete
// (the file is unbuffered), so a crash loses at most the scan in progress.
class Writer
{
public:
    Writer() = default;
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;
    // Closes the file as it is, without "End".
    ~Writer();

    // When on (the default), every line is also forced to the disk
    // (fdatasync), so a power cut loses at most the scan in progress too.
    void setSyncEachLine(bool on) { m_sync = on; }

    // Creates the file (an existing one is emptied) and writes the header:
    // the low 8 bits of each address and of the sample time. The empty
    // string on success, else the system's reason (nothing is then open).
    QString open(const QString &path, const std::array<int, DeviceCount> &addresses,
                 int sampleTime);
    // Continues an existing recording of the same addresses and sample time:
    // its final "End" and a line cut short by a crash are taken off, and the
    // next lines follow its last whole record. The empty string on success,
    // else why the file cannot be continued (nothing is then changed).
    QString append(const QString &path, const std::array<int, DeviceCount> &addresses,
                   int sampleTime);
    // An open file written elsewhere than a regular file (standard output):
    // the writer takes it over without syncing it.
    QString openStream(FILE *stream, const std::array<int, DeviceCount> &addresses, int sampleTime);
    bool isOpen() const { return m_file.isOpen(); }

    // The device's group (device 0..9) on the line in progress; nothing
    // while no file is open. A sample is a signed 16-bit value; the missing
    // mark writes the "E" group.
    void sample(int device, qint32 value);
    void missing(int device);
    // Ends the line in progress with the scan's time and date and writes it
    // to the file at once. The empty string on success, else the reason.
    QString endLine(const QString &time, const QString &date);
    // Writes "End" and closes the file (a line in progress is dropped). The
    // empty string on success, else the reason.
    QString finish();

private:
    QString writeNow(const QByteArray &bytes);

    QFile m_file;
    QByteArray m_line;
    bool m_sync = true;
};

struct Header
{
    std::array<int, DeviceCount> addresses {}; // 0: device not in use
    // The recorded sample time in seconds, limited to 1..120 as the
    // window's SampleTime takes it.
    int sampleTime = 1;
};

struct Record
{
    // Per device: the sample, or the missing mark for an "E" group and for
    // every device not in use.
    std::array<qint32, DeviceCount> values {};
    QString time;
    QString date;
};

// When a record was taken, from its time and date ("h:mm:ss AP",
// "M/d/yyyy"); invalid when the record does not hold them whole.
QDateTime RecordMoment(const Record &record);

// The same for the records of a whole file, in order, at a fraction of the
// cost: the moments come in UTC (toLocalTime() shows them as recorded).
class MomentCache
{
public:
    QDateTime moment(const Record &record);

private:
    QDate m_date;
    int m_hour = -1;
    std::optional<qint64> m_base; // the hour's start, ms since the epoch
};

// Reads a record file by record number, without loading it whole.
class Reader
{
public:
    enum class OpenResult { Ok, Missing, Unreadable, BadHeader, NoRecords };

    // Checks the header and reads record 0's length. The record count takes
    // only complete records: a file cut in the middle of a line, as a
    // recording killed before its "End", opens with every line it holds
    // whole, and the final "End" is not counted.
    OpenResult open(const QString &path);
    void close();
    // The system's reason when open() gave Unreadable.
    QString errorString() const { return m_error; }

    const Header &header() const { return m_header; }
    // The devices in use, n: the groups of every record line.
    int groupCount() const { return m_groups; }
    qint64 recordLength() const { return m_length; } // L
    qint64 recordCount() const { return m_count; } // N

    // Record r (0..N - 1). False with an empty reason where the recording
    // ends ("End", an empty line, or r beyond the last record); false with
    // a reason naming the record ("record 17: ...") when the line is not a
    // valid record line of this file.
    bool read(qint64 r, Record &out, QString *why = nullptr);
    // Records first, first + 1, ... read in order in one pass (large reads,
    // no seek per record), each handed to `each` with its number, until
    // the recording ends, a record is not valid (as read() says, in `why`)
    // or `each` returns false. Gives the number of records handed over.
    qint64 readAll(qint64 first, const std::function<bool(qint64 r, const Record &record)> &each,
                   QString *why = nullptr);

private:
    bool parse(const char *line, qint64 r, Record &out, QString *why) const;

    QFile m_file;
    QString m_error;
    Header m_header;
    std::array<int, DeviceCount> m_groupDevice {}; // device of group g
    int m_groups = 0;
    qint64 m_length = 0;
    qint64 m_count = 0;
    QByteArray m_buffer;
};

// A field as RFC 4180 writes it: quoted, with its quotes doubled, when it
// holds a comma, a quote, CR or LF; as it is otherwise.
QString csvField(const QString &field);

// The CSV rows of exportCsv(): the header row and one record's row, each
// ended by CR LF. The command line writes them as a recording goes.
QByteArray csvHeaderRow(const Header &header);
QByteArray csvRow(const Header &header, const Record &record);

// Writes the whole recording as CSV (RFC 4180, CR LF line ends): a header
// row "Time,Device n (addr m)" for each device in use, then a row per record
// with its time stamp in ISO 8601 ("2026-12-09 17:15:07") and each value in
// units with one decimal (an empty cell for a missing one). `progress` gets the percent done
// whenever it changes and may return false to cancel. The file is replaced only when everything was
// written; the empty string on success, ExportCancelled, or the reason (a bad record, the system's
// reason).
QString exportCsv(Reader &reader, const QString &path,
                  const std::function<bool(int percent)> &progress = {});

} // namespace RecordFile
