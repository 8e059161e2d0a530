#include "ui/jpegloader.h"

#include <QFile>
#include <QGuiApplication>
#include <QHash>

#include <csetjmp>
#include <cstdio>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

namespace {

struct ErrorManager
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX] = {};
    bool warned = false;
};

void onError(j_common_ptr info)
{
    auto *err = reinterpret_cast<ErrorManager *>(info->err);
    info->err->format_message(info, err->message);
    std::longjmp(err->jump, 1);
}

void onMessage(j_common_ptr info, int level)
{
    // Level -1 is a warning: corrupt or truncated data that libjpeg would
    // otherwise paint over with grey.
    if (level < 0) {
        auto *err = reinterpret_cast<ErrorManager *>(info->err);
        if (!err->warned)
            info->err->format_message(info, err->message);
        err->warned = true;
    }
}

// Everything that must survive a longjmp lives outside decode()'s frame.
struct Decoder
{
    jpeg_decompress_struct info {};
    ErrorManager err;
    QImage image;
};

bool decode(Decoder &d, const QByteArray &data)
{
    d.info.err = jpeg_std_error(&d.err.pub);
    d.err.pub.error_exit = onError;
    d.err.pub.emit_message = onMessage;
    if (setjmp(d.err.jump)) {
        jpeg_destroy_decompress(&d.info);
        return false;
    }
    jpeg_create_decompress(&d.info);
    jpeg_mem_src(&d.info, reinterpret_cast<const unsigned char *>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&d.info, TRUE);
    d.info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&d.info);
    if (d.info.output_components != 3 || d.info.output_width == 0 || d.info.output_height == 0 ||
        d.info.output_width > 16384 || d.info.output_height > 16384) {
        std::snprintf(d.err.message, sizeof d.err.message, "unsupported picture size or format");
        jpeg_destroy_decompress(&d.info);
        return false;
    }
    d.image = QImage(int(d.info.output_width), int(d.info.output_height), QImage::Format_RGB888);
    if (d.image.isNull()) {
        std::snprintf(d.err.message, sizeof d.err.message, "out of memory");
        jpeg_destroy_decompress(&d.info);
        return false;
    }
    while (d.info.output_scanline < d.info.output_height) {
        JSAMPROW row = d.image.scanLine(int(d.info.output_scanline));
        jpeg_read_scanlines(&d.info, &row, 1);
    }
    jpeg_finish_decompress(&d.info);
    jpeg_destroy_decompress(&d.info);
    if (d.err.warned)
        return false;
    return true;
}

} // namespace

QImage LoadJpeg(const QByteArray &data, QString *error)
{
    if (data.isEmpty()) {
        if (error)
            *error = QStringLiteral("empty picture");
        return QImage();
    }
    Decoder d;
    if (!decode(d, data)) {
        if (error)
            *error = QString::fromLatin1(d.err.message);
        return QImage();
    }
    return d.image.convertToFormat(QImage::Format_RGB32);
}

QImage Picture(const QString &name)
{
    const auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
    return Picture(name, app ? app->devicePixelRatio() : 1.0);
}

QImage Picture(const QString &name, qreal devicePixelRatio)
{
    const int ratio = devicePixelRatio >= 2.5 ? 3 : devicePixelRatio >= 1.5 ? 2 : 1;
    const QString key = ratio == 1 ? name : QStringLiteral("%1@%2x").arg(name).arg(ratio);
    static QHash<QString, QImage> cache;
    auto it = cache.constFind(key);
    if (it != cache.constEnd())
        return *it;
    QFile file(QStringLiteral(":/pictures/%1.jpg").arg(key));
    QImage image;
    if (file.open(QIODevice::ReadOnly)) {
        QString error;
        image = LoadJpeg(file.readAll(), &error);
        if (image.isNull())
            qWarning("picture %s refused: %s", qPrintable(key), qPrintable(error));
        else
            image.setDevicePixelRatio(ratio);
    } else if (ratio != 1) {
        image = Picture(name, 1.0); // drawn for ordinary screens only
    } else {
        qWarning("picture %s missing", qPrintable(name));
    }
    cache.insert(key, image);
    return image;
}
