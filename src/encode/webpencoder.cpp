// SPDX-License-Identifier: GPL-3.0-or-later
#include "encode/webpencoder.h"

#include <webp/encode.h>

#include <limits>

#include "encode/encoding.h"

namespace WebpEncoder {

namespace {

QString encodingError(WebPEncodingError code)
{
    switch (code) {
    case VP8_ENC_ERROR_OUT_OF_MEMORY:
    case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY:
        return QStringLiteral("Out of memory");
    case VP8_ENC_ERROR_PARTITION0_OVERFLOW:
    case VP8_ENC_ERROR_PARTITION_OVERFLOW:
        return QStringLiteral("The picture holds too much detail for a lossy WebP at this quality");
    case VP8_ENC_ERROR_FILE_TOO_BIG:
        return QStringLiteral("A WebP file cannot be larger than 4 GB");
    default:
        return QStringLiteral("The WebP encoder failed (error %1)").arg(int(code));
    }
}

struct Picture : WebPPicture
{
    Picture() { ok = WebPPictureInit(this) != 0; }
    ~Picture() { WebPPictureFree(this); }
    Picture(const Picture &) = delete;
    Picture &operator=(const Picture &) = delete;
    bool ok = false;
};

struct MemoryWriter : WebPMemoryWriter
{
    MemoryWriter() { WebPMemoryWriterInit(this); }
    ~MemoryWriter() { WebPMemoryWriterClear(this); }
    MemoryWriter(const MemoryWriter &) = delete;
    MemoryWriter &operator=(const MemoryWriter &) = delete;
};

// The pixels into `picture`: as RGB when every pixel is opaque (a lossy
// WebP then has no alpha plane at all), else with their alpha. A lossy
// picture is converted to YUV here, a lossless one kept as ARGB.
bool import(const QImage &image, Picture &picture)
{
    const bool alpha = Encoding::hasTranslucentPixel(image);
    const bool bgr = Q_BYTE_ORDER == Q_LITTLE_ENDIAN;
    // Opaque 32-bit pixels are the same words in all three formats.
    const bool native = image.format() == QImage::Format_RGB32
        || image.format() == QImage::Format_ARGB32
        || (!alpha && image.format() == QImage::Format_ARGB32_Premultiplied);
    const QImage pixels = bgr && native ? image
        : bgr ? image.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32)
              : image.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888);
    if (pixels.isNull())
        return false;
    picture.width = pixels.width();
    picture.height = pixels.height();
    const uint8_t *bits = pixels.constBits();
    const int stride = int(pixels.bytesPerLine());
    if (bgr)
        return alpha ? WebPPictureImportBGRA(&picture, bits, stride)
                     : WebPPictureImportBGRX(&picture, bits, stride);
    return alpha ? WebPPictureImportRGBA(&picture, bits, stride)
                 : WebPPictureImportRGBX(&picture, bits, stride);
}

} // namespace

QByteArray encode(const QImage &image, int quality, QString *error)
{
    if (image.width() > MaxSide || image.height() > MaxSide) {
        *error = QStringLiteral("A WebP picture can be at most %1 x %1 pixels, not %2 x %3")
                     .arg(MaxSide)
                     .arg(image.width())
                     .arg(image.height());
        return QByteArray();
    }
    WebPConfig config;
    Picture picture;
    if (!WebPConfigInit(&config) || !picture.ok) {
        *error = QStringLiteral("The WebP encoder is not the version the program was built with");
        return QByteArray();
    }
    config.lossless = quality >= 100 ? 1 : 0;
    if (config.lossless) {
        // Lossless is exact: the colour under a fully transparent pixel
        // stays as well, as it does in a PNG.
        config.exact = 1;
    } else {
        config.quality = float(quality < 0 ? 75 : qMax(quality, 0));
    }
    picture.use_argb = config.lossless;
    if (!import(image, picture)) {
        *error = QStringLiteral("Out of memory");
        return QByteArray();
    }
    MemoryWriter writer;
    picture.writer = WebPMemoryWrite;
    picture.custom_ptr = &writer;
    if (!WebPEncode(&config, &picture)) {
        *error = encodingError(picture.error_code);
        return QByteArray();
    }
    if (writer.size > size_t(std::numeric_limits<int>::max())) {
        *error = encodingError(VP8_ENC_ERROR_FILE_TOO_BIG);
        return QByteArray();
    }
    return QByteArray(reinterpret_cast<const char *>(writer.mem), int(writer.size));
}

} // namespace WebpEncoder
