#include "app/recordingloader.h"

#include "recorder/recorderdata.h"
#include "recorder/recordfile.h"

static_assert(ProgramCompare::Devices == RecordFile::DeviceCount);
static_assert(ProgramCompare::MissingValue == Recorder::MissingSample);

QString LoadRecording(const QString &path, ProgramCompare::Recording &out)
{
    using Open = RecordFile::Reader::OpenResult;
    RecordFile::Reader reader;
    switch (reader.open(path)) {
    case Open::Ok:
        break;
    case Open::Missing:
        return RecordFile::MissingFile;
    case Open::Unreadable:
        return QStringLiteral("Can not open file %1 : %2").arg(path, reader.errorString());
    case Open::BadHeader:
        return RecordFile::BadFormat;
    case Open::NoRecords:
        return QStringLiteral("The recording holds no record.");
    }
    ProgramCompare::Recording r;
    r.fileName = path;
    r.addresses = reader.header().addresses;
    r.sampleTime = reader.header().sampleTime;
    const qint64 count = reader.recordCount();
    r.moments.reserve(count);
    r.values.reserve(count);
    QString why;
    RecordFile::MomentCache moments;
    reader.readAll(
        0,
        [&](qint64, const RecordFile::Record &record) {
            r.moments.append(moments.moment(record));
            r.values.append(record.values);
            return true;
        },
        &why);
    if (!why.isEmpty())
        r.damaged = QStringLiteral("The recording is damaged (%1): compared up to the "
                                   "record before.")
                        .arg(why);
    if (r.values.isEmpty())
        return r.damaged.isEmpty() ? QStringLiteral("The recording holds no record.") : r.damaged;
    out = std::move(r);
    return QString();
}
