// SPDX-License-Identifier: GPL-3.0-or-later
#include "encode/jpegencoder.h"

#include <turbojpeg.h>

#include <cmath>
#include <limits>
#include <memory>
#include <new>

#include "encode/encoding.h"

namespace JpegEncoder {

namespace {

// `image` (ARGB32, not premultiplied) over white, opaque.
QImage onWhite(const QImage &image)
{
    QImage flat(image.size(), QImage::Format_RGB32);
    if (flat.isNull())
        return flat;
    const int width = image.width(), height = image.height();
    for (int y = 0; y < height; ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        auto *out = reinterpret_cast<QRgb *>(flat.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int a = qAlpha(in[x]), white = 255 * (255 - a);
            out[x] = qRgb((qRed(in[x]) * a + white + 127) / 255,
                (qGreen(in[x]) * a + white + 127) / 255, (qBlue(in[x]) * a + white + 127) / 255);
        }
    }
    return flat;
}

// Writes the resolution into the JFIF header libjpeg-turbo puts first.
void stateResolution(QByteArray &jpeg, double xPerMetre, double yPerMetre)
{
    if (xPerMetre <= 0 || yPerMetre <= 0 || jpeg.size() < 18 || !jpeg.startsWith("\xff\xd8\xff\xe0")
        || jpeg.mid(6, 5) != QByteArray("JFIF\0", 5))
        return;
    // Whole dots per inch where that is exact enough, else dots per cm.
    const double xInch = xPerMetre * 0.0254, yInch = yPerMetre * 0.0254;
    const bool inch
        = std::abs(xInch - std::round(xInch)) < 0.01 && std::abs(yInch - std::round(yInch)) < 0.01;
    const long x = std::lround(inch ? xInch : xPerMetre / 100);
    const long y = std::lround(inch ? yInch : yPerMetre / 100);
    if (x < 1 || y < 1 || x > 65535 || y > 65535)
        return;
    jpeg[13] = char(inch ? 1 : 2);
    jpeg[14] = char(x >> 8);
    jpeg[15] = char(x & 0xff);
    jpeg[16] = char(y >> 8);
    jpeg[17] = char(y & 0xff);
}

} // namespace

QByteArray encode(
    const QImage &image, int quality, double xPerMetre, double yPerMetre, QString *error)
{
    if (image.isNull()) {
        *error = QStringLiteral("Image is empty");
        return QByteArray();
    }
    QImage pixels = image;
    // Opaque premultiplied pixels (a smoothly resized photo) are their
    // unpremultiplied selves: only translucent ones need the conversion.
    const bool opaquePremultiplied = pixels.format() == QImage::Format_ARGB32_Premultiplied
        && !Encoding::hasTranslucentPixel(pixels);
    if (pixels.format() != QImage::Format_RGB32 && pixels.format() != QImage::Format_ARGB32
        && !opaquePremultiplied)
        pixels = pixels.convertToFormat(
            pixels.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (!opaquePremultiplied && Encoding::hasTranslucentPixel(pixels))
        pixels = onWhite(pixels);
    if (pixels.isNull()) {
        *error = QStringLiteral("Out of memory");
        return QByteArray();
    }

    quality = quality < 0 ? 75 : qBound(1, quality, 100);
    const int subsampling = quality >= 90 ? TJSAMP_444 : TJSAMP_420;
    std::unique_ptr<void, int (*)(tjhandle)> handle(tjInitCompress(), tjDestroy);
    if (!handle) {
        *error = QString::fromLocal8Bit(tjGetErrorStr2(nullptr));
        return QByteArray();
    }
    // The buffer is as large as libjpeg-turbo could ever need, so that it
    // compresses straight into it; untouched pages cost no memory. Each
    // thread keeps its buffer for the next picture: the pages it wrote are
    // then written again instead of being asked of the system anew, which
    // costs more than compressing into them.
    const unsigned long room = tjBufSize(pixels.width(), pixels.height(), subsampling);
    if (room == static_cast<unsigned long>(-1)
        || room > unsigned(std::numeric_limits<int>::max())) {
        *error = QStringLiteral("Image is too large for JPEG");
        return QByteArray();
    }
    thread_local std::unique_ptr<unsigned char[]> kept;
    thread_local unsigned long keptRoom = 0;
    if (keptRoom < room) {
        kept.reset();
        keptRoom = 0;
        // With room to spare, so that a slightly larger picture fits too.
        const unsigned long wanted = room + room / 4;
        kept.reset(new (std::nothrow) unsigned char[wanted]);
        if (!kept) {
            *error = QStringLiteral("Out of memory");
            return QByteArray();
        }
        keptRoom = wanted;
    }
    unsigned char *out = kept.get();
    unsigned long size = keptRoom;
    const int layout = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? TJPF_BGRX : TJPF_XRGB;
    if (tjCompress2(handle.get(), pixels.constBits(), pixels.width(), int(pixels.bytesPerLine()),
            pixels.height(), layout, &out, &size, subsampling, quality, TJFLAG_NOREALLOC)
        != 0) {
        *error = QString::fromLocal8Bit(tjGetErrorStr2(handle.get()));
        return QByteArray();
    }
    QByteArray jpeg(reinterpret_cast<const char *>(out), int(size));
    stateResolution(jpeg, xPerMetre, yPerMetre);
    return jpeg;
}

} // namespace JpegEncoder
