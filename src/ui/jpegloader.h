#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// Decodes a JPEG picture with libjpeg. A picture that libjpeg cannot decode
// cleanly (an error, or any warning such as a truncated file) is refused:
// the result is a null image and `error` says why. A half-decoded picture is
// never returned.
QImage LoadJpeg(const QByteArray &data, QString *error = nullptr);

// A picture from the program's resources (":/pictures/<name>.jpg"), decoded
// by LoadJpeg and kept once loaded. A missing or broken picture gives a null
// image.
QImage Picture(const QString &name);
