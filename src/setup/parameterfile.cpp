#include "setup/parameterfile.h"

#include "setup/registermap.h"

#include <QFile>
#include <QSaveFile>
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
    QFile file(path);
    if (!file.exists()) {
        r.kind = ReadResult::Kind::Missing;
        return r;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        r.kind = ReadResult::Kind::Unreadable;
        r.reason = file.errorString();
        return r;
    }
    // One byte more than a file holds tells a longer file from a good one
    // without reading all of a large one.
    const QByteArray bytes = file.read(Size + 1);
    if (file.error() != QFileDevice::NoError) {
        r.kind = ReadResult::Kind::Unreadable;
        r.reason = file.errorString();
        return r;
    }
    const std::optional<ParameterImage> image = decode(bytes);
    if (!image) {
        r.kind = ReadResult::Kind::Invalid;
        return r;
    }
    r.image = *image;
    return r;
}

QString write(const QString &path, const ParameterImage &image)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (file.write(encode(image)) != Size) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return reason;
    }
    if (!file.commit())
        return file.errorString();
    return QString();
}

} // namespace ParameterFile
