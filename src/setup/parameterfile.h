#pragma once

#include "setup/parameterimage.h"

#include <QByteArray>
#include <QString>
#include <optional>

// The parameter file (".par"): the 257 entries of the parameter image in
// entry order, each a 32-bit little-endian integer holding a register value
// 0 to 65535; exactly 1028 bytes, no header and no check sum.
namespace ParameterFile {

constexpr int Size = ParameterImage::Size * 4;
inline const QString Extension = QStringLiteral("par");
// Both spellings: Linux names are case-sensitive.
inline const QString Filter = QStringLiteral("Duva parameters files (*.par *.PAR)");

QByteArray encode(const ParameterImage &image);
// The image a file's bytes hold, or nothing when they are not a parameter
// file: not exactly 1028 bytes, no known model code in entry 0, or an entry
// outside 0..65535.
std::optional<ParameterImage> decode(const QByteArray &bytes);

// What reading a file gave.
struct ReadResult
{
    enum class Kind { Ok, Missing, Unreadable, Invalid };
    Kind kind = Kind::Ok;
    ParameterImage image; // when Ok
    QString reason; // the system's reason when Unreadable; the entry out of
                    // its range when Invalid for that
};
ReadResult read(const QString &path);
// What the user is told when `path` read as `result`: empty for Ok, else
// "File not exist, can not open file !", "Can not open file <path> : <reason>"
// or "Incorrect DUVA parameters data!" (with the entry out of its range on a
// second line, when that is why).
QString refusalText(const ReadResult &result, const QString &path);
// Replaces the file at `path` with the image, or leaves it as it was; the
// empty string on success, else the system's reason.
QString write(const QString &path, const ParameterImage &image);

} // namespace ParameterFile
