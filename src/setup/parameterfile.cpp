#include "setup/parameterfile.h"

#include <QDir>

#include "link/valueformat.h"
#include "setup/registermap.h"
#include "ui/files.h"

#include <QtEndian>

namespace ParameterFile {

QByteArray encode(const ParameterImage &image)
{
    QByteArray bytes(Size, '\0');
    for (int n = 0; n < ParameterImage::Size; ++n)
        qToLittleEndian<qint32>(image.at(n), bytes.data() + 4 * n);
    return bytes;
}

std::optional<ParameterImage> decode(const QByteArray &bytes)
{
    if (bytes.size() != Size)
        return std::nullopt;
    ParameterImage image;
    for (int n = 0; n < ParameterImage::Size; ++n) {
        const qint32 entry = qFromLittleEndian<qint32>(bytes.constData() + 4 * n);
        if (entry < 0 || entry > 0xFFFF)
            return std::nullopt;
        image[n] = entry;
    }
    if (!IsModelCode(image.at(ParameterImage::ModelEntry)))
        return std::nullopt;
    return image;
}

ReadResult read(const QString &path)
{
    ReadResult r;
    // One byte more than a file holds tells a longer file from a good one
    // without reading all of a large one.
    const FileBytes file = ReadFileBytes(path, Size);
    if (file.kind != FileBytes::Kind::Ok) {
        r.kind = file.kind == FileBytes::Kind::Missing ? ReadResult::Kind::Missing
                                                       : ReadResult::Kind::Unreadable;
        r.reason = file.reason;
        return r;
    }
    const QByteArray &bytes = file.bytes;
    const std::optional<ParameterImage> image = decode(bytes);
    if (!image) {
        r.kind = ReadResult::Kind::Invalid;
        return r;
    }
    const int point = image->at(ParameterImage::DecimalPointEntry);
    if (point > MaxDecimalPoint) {
        r.kind = ReadResult::Kind::Invalid;
        r.reason =
            QStringLiteral("Entry %1 (decimal point position, 0x4725) is %2; it holds 0 to %3.")
                .arg(ParameterImage::DecimalPointEntry)
                .arg(point)
                .arg(MaxDecimalPoint);
        return r;
    }
    r.image = *image;
    return r;
}

QString refusalText(const ReadResult &result, const QString &path)
{
    switch (result.kind) {
    case ReadResult::Kind::Missing:
        return QStringLiteral("File not exist, can not open file !");
    case ReadResult::Kind::Unreadable:
        return QStringLiteral("Can not open file %1 : %2")
            .arg(QDir::toNativeSeparators(path), result.reason);
    case ReadResult::Kind::Invalid:
        return result.reason.isEmpty()
            ? QStringLiteral("Incorrect DUVA parameters data!")
            : QStringLiteral("Incorrect DUVA parameters data!\n") + result.reason;
    case ReadResult::Kind::Ok:
        break;
    }
    return QString();
}

QString write(const QString &path, const ParameterImage &image)
{
    return WriteFileWhole(path, encode(image));
}

} // namespace ParameterFile
