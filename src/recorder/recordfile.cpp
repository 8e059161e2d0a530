#include "recorder/recordfile.h"

#include "link/hexcodec.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <utility>

namespace RecordFile {

namespace {

constexpr qint64 LineEndBytes = 2;
// Record 0 is looked for this far; a longer first line is not a record.
constexpr qint64 MaxFirstLine = 4096;
constexpr qint64 CsvChunk = 1 << 16;

// The value of a header digit: a blank counts as 0; -1 when it is not a
// digit, "A".."F" or a blank.
int HeaderDigit(char c)
{
    if (c == ' ')
        return 0;
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

int HexDigit(char c)
{
    return c == ' ' ? -1 : HeaderDigit(c);
}

bool ParseHeader(const QByteArray &bytes, Header &header)
{
    if (bytes.size() != HeaderBytes || !bytes.endsWith("\r\n"))
        return false;
    bool anyAddress = false;
    for (int k = 0; k <= DeviceCount; ++k) {
        const int at = 4 * k;
        const int high = HeaderDigit(bytes[at]);
        const int low = HeaderDigit(bytes[at + 1]);
        if (high < 0 || low < 0)
            return false;
        const int value = high * 16 + low;
        if (k == DeviceCount) {
            // The recorded sample time is what the window's SampleTime can
            // take; it also divides the viewing interval, so never 0.
            header.sampleTime = std::clamp(value, 1, MaxSampleTime);
            break;
        }
        if (bytes[at + 2] != ' ' || bytes[at + 3] != ' ')
            return false;
        header.addresses[size_t(k)] = value;
        anyAddress = anyAddress || value != 0;
    }
    return anyAddress;
}

QString RecordError(qint64 r, const QString &what)
{
    return QStringLiteral("record %1: %2").arg(r).arg(what);
}

// A value in units with one decimal: 253 as "25.3", -5 as "-0.5".
QByteArray Units(qint32 tenths)
{
    const qint64 magnitude = qAbs(qint64(tenths));
    QByteArray text = tenths < 0 ? "-" : "";
    text += QByteArray::number(magnitude / 10);
    text += '.';
    text += char('0' + magnitude % 10);
    return text;
}

} // namespace

// ---- Writer ----

Writer::~Writer()
{
    m_file.close();
}

namespace {

QByteArray headerLine(const std::array<int, DeviceCount> &addresses, int sampleTime)
{
    QByteArray header;
    header.reserve(HeaderBytes);
    for (const int address : addresses)
        header += ByteToHex(address) + "  ";
    return header + ByteToHex(sampleTime) + "\r\n";
}

} // namespace

QString Writer::open(const QString &path, const std::array<int, DeviceCount> &addresses,
                     int sampleTime)
{
    m_file.close();
    m_line.clear();
    m_file.setFileName(path);
    // Unbuffered: every write() goes to the system at once.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return m_file.errorString();
    const QString reason = writeNow(headerLine(addresses, sampleTime));
    if (!reason.isEmpty())
        m_file.close();
    return reason;
}

QString Writer::openStream(FILE *stream, const std::array<int, DeviceCount> &addresses,
                           int sampleTime)
{
    m_file.close();
    m_line.clear();
    m_sync = false;
    if (!m_file.open(stream, QIODevice::WriteOnly | QIODevice::Unbuffered))
        return m_file.errorString();
    const QString reason = writeNow(headerLine(addresses, sampleTime));
    if (!reason.isEmpty())
        m_file.close();
    return reason;
}

QString Writer::append(const QString &path, const std::array<int, DeviceCount> &addresses,
                       int sampleTime)
{
    m_file.close();
    m_line.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return file.errorString();
    const QByteArray header = headerLine(addresses, sampleTime);
    if (file.read(HeaderBytes) != header)
        return QStringLiteral("it records other addresses or another interval (its first line "
                              "differs from \"%1\")")
            .arg(QString::fromLatin1(header.trimmed()));
    int groups = 0;
    for (const int address : addresses)
        groups += address != 0 ? 1 : 0;
    const qint64 length = qint64(GroupLength) * groups + TimeWidth + DateWidth + 2;
    const qint64 records = (file.size() - HeaderBytes) / length;
    // What follows the last whole record may be "End" or a line cut short,
    // never a record of another length.
    const qint64 whole = HeaderBytes + records * length;
    file.seek(whole);
    const QByteArray rest = file.readAll();
    const bool restFits = rest.isEmpty() || rest == "End\r\n" || rest == "End" ||
        (!rest.contains('\n') && !rest.startsWith("End"));
    QByteArray last;
    if (records > 0) {
        file.seek(whole - length);
        last = file.read(length);
    }
    if (!restFits ||
        (records > 0 &&
         (!last.endsWith("\r\n") || last.contains("\r\n\r\n") ||
          last.left(length - 2).contains('\n'))))
        return QStringLiteral("its lines are not the records of these addresses");
    if (!file.resize(whole) || !file.seek(whole))
        return file.errorString();
    file.close();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return m_file.errorString();
    return QString();
}

void Writer::sample(int device, qint32 value)
{
    if (!m_file.isOpen() || device < 0 || device >= DeviceCount)
        return;
    if (value == Recorder::MissingSample) {
        missing(device);
        return;
    }
    // A 16-bit sample takes at most 6 characters; anything longer is cut so
    // that every line keeps its length.
    m_line +=
        ByteToHex(device) + ' ' + QByteArray::number(value).leftJustified(ValueWidth, ' ', true);
}

void Writer::missing(int device)
{
    if (!m_file.isOpen() || device < 0 || device >= DeviceCount)
        return;
    m_line += ByteToHex(device) + " E      ";
}

QString Writer::endLine(const QString &time, const QString &date)
{
    m_line += time.toLatin1().rightJustified(TimeWidth, ' ', true);
    m_line += date.toLatin1().rightJustified(DateWidth, ' ', true);
    m_line += "\r\n";
    const QByteArray line = std::exchange(m_line, QByteArray());
    if (!m_file.isOpen())
        return QStringLiteral("The record file is not open");
    return writeNow(line);
}

QString Writer::finish()
{
    m_line.clear();
    if (!m_file.isOpen())
        return QString();
    const QString reason = writeNow("End\r\n");
    m_file.close();
    return reason;
}

QString Writer::writeNow(const QByteArray &bytes)
{
    const qint64 before = m_file.pos();
    const qint64 written = m_file.write(bytes);
    if (written != bytes.size()) {
        QString reason = m_file.errorString();
        if (m_file.error() == QFileDevice::NoError || written >= 0) {
            // A write cut short sets no error ("Unknown error"): the rest,
            // asked again, gets the system's reason (a file-size limit, a
            // full disk).
            const qint64 done = std::max<qint64>(0, written);
            errno = 0;
            if (::write(m_file.handle(), bytes.constData() + done, size_t(bytes.size() - done)) <
                    0 &&
                errno != 0)
                reason = QString::fromLocal8Bit(strerror(errno));
        }
        // Part of a line would shift every later one (a full disk that
        // frees up again): the file keeps whole lines only.
        m_file.resize(before);
        m_file.seek(before);
        return reason;
    }
    if (m_sync && ::fdatasync(m_file.handle()) != 0)
        return QString::fromLocal8Bit(strerror(errno));
    return QString();
}

// ---- Reader ----

void Reader::close()
{
    m_file.close();
    m_error.clear();
    m_header = Header();
    m_groupDevice = {};
    m_groups = 0;
    m_length = 0;
    m_count = 0;
}

Reader::OpenResult Reader::open(const QString &path)
{
    close();
    const QFileInfo info(path);
    if (!info.exists())
        return OpenResult::Missing;
    // A pipe or a device would block or never end.
    if (!info.isFile()) {
        m_error = QStringLiteral("Not a regular file");
        return OpenResult::Unreadable;
    }
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly)) {
        m_error = m_file.errorString();
        return OpenResult::Unreadable;
    }
    const QByteArray head = m_file.read(HeaderBytes + MaxFirstLine);
    if (m_file.error() != QFileDevice::NoError) {
        m_error = m_file.errorString();
        m_file.close();
        return OpenResult::Unreadable;
    }
    Header header;
    if (!ParseHeader(head.left(HeaderBytes), header)) {
        m_file.close();
        return OpenResult::BadHeader;
    }
    m_header = header;
    for (int d = 0; d < DeviceCount; ++d)
        if (header.addresses[size_t(d)] != 0)
            m_groupDevice[size_t(m_groups++)] = d;

    // Record 0 gives the length of every line; without a whole one the file
    // holds no record.
    const qsizetype lf = head.indexOf('\n', HeaderBytes);
    if (lf < 0) {
        close();
        return OpenResult::NoRecords;
    }
    qint64 lineLength = lf - HeaderBytes;
    if (lineLength > 0 && head[lf - 1] == '\r')
        --lineLength;
    const QByteArray first = head.mid(HeaderBytes, lineLength);
    if (first.isEmpty() || first == "End") {
        close();
        return OpenResult::NoRecords;
    }
    m_length = lineLength + LineEndBytes;
    m_count = (m_file.size() - HeaderBytes) / m_length;
    if (m_count == 0) {
        close();
        return OpenResult::NoRecords;
    }
    return OpenResult::Ok;
}

bool Reader::read(qint64 r, Record &out, QString *why)
{
    if (why)
        why->clear();
    if (r < 0 || r >= m_count || !m_file.isOpen())
        return false;
    if (!m_file.seek(r * m_length + HeaderBytes)) {
        if (why)
            *why = RecordError(r, m_file.errorString());
        return false;
    }
    m_buffer.resize(m_length);
    if (m_file.read(m_buffer.data(), m_length) != m_length) {
        if (why)
            *why = RecordError(r, m_file.errorString());
        return false;
    }
    return parse(m_buffer.constData(), r, out, why);
}

qint64 Reader::readAll(qint64 first, const std::function<bool(qint64, const Record &)> &each,
                       QString *why)
{
    if (why)
        why->clear();
    if (first < 0 || first >= m_count || !m_file.isOpen())
        return 0;
    if (!m_file.seek(first * m_length + HeaderBytes)) {
        if (why)
            *why = RecordError(first, m_file.errorString());
        return 0;
    }
    // Whole records a megabyte or so at a time, parsed where they lie.
    const qint64 perChunk = std::max<qint64>(1, (1 << 20) / m_length);
    Record record;
    qint64 r = first;
    while (r < m_count) {
        const qint64 want = std::min(perChunk, m_count - r);
        m_buffer.resize(want * m_length);
        const qint64 got = m_file.read(m_buffer.data(), want * m_length);
        if (got != want * m_length) {
            if (why)
                *why = RecordError(r, m_file.errorString());
            return r - first;
        }
        for (qint64 i = 0; i < want; ++i, ++r) {
            if (!parse(m_buffer.constData() + i * m_length, r, record, why) || !each(r, record))
                return r - first;
        }
    }
    return r - first;
}

bool Reader::parse(const char *line, qint64 r, Record &out, QString *why) const
{
    if (why)
        why->clear();
    const auto fail = [&](const QString &what) {
        if (why)
            *why = RecordError(r, what);
        return false;
    };
    const QByteArrayView bytes(line, m_length);
    if (bytes.startsWith("End\r\n") || bytes.startsWith("\r\n"))
        return false;

    const qint64 expected = qint64(m_groups) * GroupLength + TimeWidth + DateWidth;
    const qsizetype end = bytes.indexOf('\n');
    if (m_length - LineEndBytes != expected || end != m_length - 1 || line[end - 1] != '\r' ||
        bytes.indexOf('\r') != end - 1)
        return fail(QStringLiteral("the line is not %1 characters long").arg(expected));

    Record record;
    record.values.fill(Recorder::MissingSample);
    for (int g = 0; g < m_groups; ++g) {
        const char *group = line + g * GroupLength;
        const int device = m_groupDevice[size_t(g)];
        const int high = HexDigit(group[0]);
        const int low = HexDigit(group[1]);
        if (high < 0 || low < 0 || group[2] != ' ')
            return fail(QStringLiteral("bad device index in group %1").arg(g + 1));
        if (high * 16 + low != device)
            return fail(QStringLiteral("group %1 is not device %2").arg(g + 1).arg(device + 1));
        const char *field = group + 3;
        int i = 0;
        qint32 value = 0;
        if (field[0] == 'E') {
            value = Recorder::MissingSample;
            i = 1;
        } else {
            const bool negative = field[0] == '-';
            i = negative ? 1 : 0;
            const int firstDigit = i;
            for (; i < ValueWidth && field[i] >= '0' && field[i] <= '9'; ++i)
                value = value * 10 + (field[i] - '0'); // at most 7 digits
            if (i == firstDigit)
                return fail(QStringLiteral("no digit in the value of device %1").arg(device + 1));
            if (negative)
                value = -value;
            if (value < -32768 || value > 32767)
                return fail(QStringLiteral("value of device %1 outside 16 bits").arg(device + 1));
        }
        for (; i < ValueWidth; ++i)
            if (field[i] != ' ')
                return fail(
                    QStringLiteral("bad character in the value of device %1").arg(device + 1));
        record.values[size_t(device)] = value;
    }
    const char *stamp = line + m_groups * GroupLength;
    record.time = QString::fromLatin1(stamp, TimeWidth).trimmed();
    record.date = QString::fromLatin1(stamp + TimeWidth, DateWidth).trimmed();
    out = std::move(record);
    return true;
}

// ---- CSV ----

QString csvField(const QString &field)
{
    static const QString special = QStringLiteral(",\"\r\n");
    bool quote = false;
    for (const QChar c : field)
        quote = quote || special.contains(c);
    if (!quote)
        return field;
    QString quoted = field;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

namespace {

// Reads a number of `min`..`max` digits at `at`, moving past it.
bool Digits(QStringView text, qsizetype &at, int min, int max, int &out)
{
    out = 0;
    int n = 0;
    while (at < text.size() && n < max && text[at] >= QLatin1Char('0') &&
           text[at] <= QLatin1Char('9')) {
        out = out * 10 + (text[at].unicode() - '0');
        ++at;
        ++n;
    }
    return n >= min;
}

bool Expect(QStringView text, qsizetype &at, char c)
{
    if (at >= text.size() || text[at] != QLatin1Char(c))
        return false;
    ++at;
    return true;
}

} // namespace

namespace {

// The date and time of a record's stamp ("h:mm:ss AP", "M/d/yyyy"), read by
// hand: the format parser costs more than all the rest of a record.
bool StampOf(const Record &record, QDate &date, QTime &time)
{
    const QStringView clock = QStringView(record.time).trimmed();
    const QStringView day = QStringView(record.date).trimmed();
    qsizetype at = 0;
    int hour = 0, minute = 0, second = 0, month = 0, dayOfMonth = 0, year = 0;
    bool ok = Digits(clock, at, 1, 2, hour) && Expect(clock, at, ':') &&
        Digits(clock, at, 2, 2, minute) && Expect(clock, at, ':') &&
        Digits(clock, at, 2, 2, second) && Expect(clock, at, ' ') && at + 2 == clock.size();
    if (ok) {
        const QStringView half = clock.mid(at);
        const bool pm = half.compare(QLatin1String("PM"), Qt::CaseInsensitive) == 0;
        ok = (pm || half.compare(QLatin1String("AM"), Qt::CaseInsensitive) == 0) && hour >= 1 &&
            hour <= 12;
        hour = hour % 12 + (pm ? 12 : 0);
    }
    at = 0;
    ok = ok && Digits(day, at, 1, 2, month) && Expect(day, at, '/') &&
        Digits(day, at, 1, 2, dayOfMonth) && Expect(day, at, '/') && Digits(day, at, 4, 4, year) &&
        at == day.size();
    date = QDate(year, month, dayOfMonth);
    time = QTime(hour, minute, second);
    return ok && date.isValid() && time.isValid();
}

} // namespace

QDateTime RecordMoment(const Record &record)
{
    QDate date;
    QTime time;
    if (!StampOf(record, date, time))
        return QDateTime();
    return QDateTime(date, time);
}

QDateTime MomentCache::moment(const Record &record)
{
    QDate date;
    QTime time;
    if (!StampOf(record, date, time))
        return QDateTime();
    // Each local-time conversion asks the system for the time zone (and the
    // C library looks at its file each time): once an hour of stamps is
    // enough, and the moments are kept in UTC.
    if (date != m_date || time.hour() != m_hour) {
        m_date = date;
        m_hour = time.hour();
        const QDateTime base(date, QTime(m_hour, 0));
        m_base = base.isValid() ? std::optional<qint64>(base.toMSecsSinceEpoch()) : std::nullopt;
    }
    if (!m_base) // an hour the clocks skip: asked as it is
        return QDateTime(date, time).toUTC();
    return QDateTime::fromMSecsSinceEpoch(
        *m_base + qint64(time.minute() * 60 + time.second()) * 1000, Qt::UTC);
}

QByteArray csvHeaderRow(const Header &header)
{
    QString top = QStringLiteral("Time");
    for (int d = 0; d < DeviceCount; ++d) {
        const int address = header.addresses[size_t(d)];
        if (address != 0)
            top += QLatin1Char(',') +
                csvField(QStringLiteral("Device %1 (addr %2)").arg(d + 1).arg(address));
    }
    return top.toUtf8() + "\r\n";
}

QByteArray csvRow(const Header &header, const Record &record)
{
    QByteArray out;
    // One ISO 8601 time stamp: spreadsheets of every locale read it the
    // same. A stamp the record file does not hold whole is kept as it is.
    const QDateTime stamp = RecordMoment(record);
    out += stamp.isValid() ? stamp.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toUtf8()
                           : csvField(record.date + QLatin1Char(' ') + record.time).toUtf8();
    for (int d = 0; d < DeviceCount; ++d) {
        if (header.addresses[size_t(d)] == 0)
            continue;
        out += ',';
        const qint32 v = record.values[size_t(d)];
        if (v != Recorder::MissingSample)
            out += Units(v);
    }
    out += "\r\n";
    return out;
}

QString exportCsv(Reader &reader, const QString &path,
                  const std::function<bool(int percent)> &progress)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    const auto abandon = [&](const QString &reason) {
        file.cancelWriting();
        return reason;
    };
    const Header &header = reader.header();
    QByteArray out = csvHeaderRow(header);

    const qint64 count = reader.recordCount();
    int percent = -1;
    Record record;
    QString why;
    for (qint64 r = 0; r < count; ++r) {
        const int now = int(r * 100 / count);
        if (progress && now != percent && !progress(now))
            return abandon(ExportCancelled);
        percent = now;
        if (!reader.read(r, record, &why)) {
            if (!why.isEmpty())
                return abandon(why);
            break; // the recording ends here
        }
        out += csvRow(header, record);
        if (out.size() >= CsvChunk) {
            if (file.write(out) != out.size())
                return abandon(file.errorString());
            out.clear();
        }
    }
    if (progress && !progress(100))
        return abandon(ExportCancelled);
    if (file.write(out) != out.size())
        return abandon(file.errorString());
    if (!file.commit())
        return file.errorString();
    return QString();
}

} // namespace RecordFile
