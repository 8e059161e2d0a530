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
// by LoadJpeg and kept once loaded, drawn for the screen's device pixel
// ratio: on a high-density screen the @2x or @3x drawing, marked with its
// ratio so that it takes the picture's design size on screen. A missing or
// broken picture gives a null image.
QImage Picture(const QString &name);
// The same for a given device pixel ratio.
QImage Picture(const QString &name, qreal devicePixelRatio);
