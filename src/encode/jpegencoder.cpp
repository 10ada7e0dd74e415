// SPDX-License-Identifier: GPL-3.0-or-later
#include "encode/jpegencoder.h"

// jpeglib.h takes size_t and FILE from what comes before it.
#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <new>

namespace JpegEncoder {

namespace {

// Rows of `width` ARGB32 pixels (not premultiplied) over white, opaque,
// into `out`'s rows.
void onWhite(const uchar *in, qsizetype bytesPerLine, int width, int rows, QImage &out)
{
    for (int y = 0; y < rows; ++y) {
        const auto *from = reinterpret_cast<const QRgb *>(in + y * bytesPerLine);
        auto *to = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int a = qAlpha(from[x]), white = 255 * (255 - a);
            to[x] = qRgb((qRed(from[x]) * a + white + 127) / 255,
                (qGreen(from[x]) * a + white + 127) / 255,
                (qBlue(from[x]) * a + white + 127) / 255);
        }
    }
}

// Whether every pixel of `rows` rows of `width` 32-bit words is opaque. A
// whole row at a time, without an early exit inside it, so that the
// compiler can use vector instructions.
bool opaqueRows(const uchar *in, qsizetype bytesPerLine, int width, int rows)
{
    QRgb all = 0xffffffffu;
    for (int y = 0; y < rows; ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(in + y * bytesPerLine);
        for (int x = 0; x < width; ++x)
            all &= line[x];
    }
    return qAlpha(all) == 255;
}

// libjpeg ends a compression that fails by jumping back to where it was
// started, with its message kept.
struct ErrorExit
{
    jpeg_error_mgr manager;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void leave(j_common_ptr info)
{
    auto *exit = reinterpret_cast<ErrorExit *>(info->err);
    (*info->err->format_message)(info, exit->message);
    longjmp(exit->jump, 1);
}

// Compresses a picture into a buffer of the largest size its JPEG can take,
// a band of rows at a time: each band is checked for translucent pixels
// while it is in the cache, just before libjpeg reads it, and laid onto
// white only when it holds some. A picture is thus read from memory once.
// The pixels come out as if the whole picture had been laid onto white
// first (white under an opaque pixel changes nothing), and the parameters
// are those of libjpeg-turbo's TurboJPEG compression, so that the bytes are
// the same as that writes.
class Compressor
{
public:
    Compressor(unsigned char *buffer, unsigned long room)
    {
        info.err = jpeg_std_error(&errors.manager);
        errors.manager.error_exit = leave;
        errors.message[0] = '\0';
        jpeg_create_compress(&info);
        destination.next_output_byte = buffer;
        destination.free_in_buffer = room;
        destination.init_destination = [](j_compress_ptr) {};
        // The buffer holds the largest JPEG the picture can give: running
        // out of it is an error, not a reason to grow.
        destination.empty_output_buffer = [](j_compress_ptr info) -> boolean {
            ERREXIT(info, JERR_BUFFER_SIZE);
            return FALSE;
        };
        destination.term_destination = [](j_compress_ptr) {};
        info.dest = &destination;
        start = buffer;
    }
    ~Compressor() { jpeg_destroy_compress(&info); }
    Compressor(const Compressor &) = delete;
    Compressor &operator=(const Compressor &) = delete;

    bool compress(const QImage &image, int quality, int subsampling)
    {
        pixels = &image;
        if (setjmp(errors.jump))
            return false;
        info.image_width = JDIMENSION(image.width());
        info.image_height = JDIMENSION(image.height());
        info.input_components = 4;
        info.in_color_space = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRX : JCS_EXT_XRGB;
        jpeg_set_defaults(&info);
        jpeg_set_quality(&info, quality, TRUE);
        info.dct_method = quality >= 96 ? JDCT_ISLOW : JDCT_FASTEST;
        jpeg_set_colorspace(&info, JCS_YCbCr);
        const int luma = subsampling == TJSAMP_444 ? 1 : 2;
        info.comp_info[0].h_samp_factor = info.comp_info[0].v_samp_factor = luma;
        for (const int chroma : { 1, 2 })
            info.comp_info[chroma].h_samp_factor = info.comp_info[chroma].v_samp_factor = 1;
        jpeg_start_compress(&info, TRUE);
        while (info.next_scanline < info.image_height) {
            const int rows = prepareBand(int(info.next_scanline));
            if (rows <= 0)
                ERREXIT(&info, JERR_OUT_OF_MEMORY);
            jpeg_write_scanlines(&info, band, JDIMENSION(rows));
        }
        jpeg_finish_compress(&info);
        return true;
    }

    unsigned long size() const { return (unsigned long)(destination.next_output_byte - start); }
    QString errorText() const { return QString::fromLocal8Bit(errors.message); }

private:
    static constexpr int BandRows = 16;

    // Points `band` at the rows from `y` on, as they are or laid onto
    // white; returns how many, 0 when there was no memory for that.
    int prepareBand(int y)
    {
        const QImage &image = *pixels;
        const int rows = std::min(BandRows, image.height() - y);
        const uchar *first = image.constScanLine(y);
        const qsizetype bytesPerLine = image.bytesPerLine();
        const QImage::Format format = image.format();
        if (format == QImage::Format_RGB32
            || opaqueRows(first, bytesPerLine, image.width(), rows)) {
            for (int k = 0; k < rows; ++k)
                band[k] = const_cast<uchar *>(first + k * bytesPerLine);
            return rows;
        }
        if (flat.isNull())
            flat = QImage(image.width(), BandRows, QImage::Format_RGB32);
        if (flat.isNull())
            return 0;
        if (format == QImage::Format_ARGB32_Premultiplied) {
            // Translucent premultiplied pixels are taken back to their own
            // colours first, by the toolkit's conversion, row for row.
            const QImage straight = QImage(first, image.width(), rows, bytesPerLine, format)
                                        .convertToFormat(QImage::Format_ARGB32);
            if (straight.isNull())
                return 0;
            onWhite(straight.constBits(), straight.bytesPerLine(), image.width(), rows, flat);
        } else {
            onWhite(first, bytesPerLine, image.width(), rows, flat);
        }
        for (int k = 0; k < rows; ++k)
            band[k] = flat.scanLine(k);
        return rows;
    }

    jpeg_compress_struct info {};
    ErrorExit errors {};
    jpeg_destination_mgr destination {};
    const unsigned char *start = nullptr;
    const QImage *pixels = nullptr;
    QImage flat; // a band laid onto white
    JSAMPROW band[BandRows] = {};
};

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
    // The three layouts the program composes in are taken as they are; any
    // other is converted first, keeping its alpha channel when it has one.
    QImage pixels = image;
    const QImage::Format format = pixels.format();
    if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32
        && format != QImage::Format_ARGB32_Premultiplied)
        pixels = pixels.convertToFormat(
            pixels.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (pixels.isNull()) {
        *error = QStringLiteral("Out of memory");
        return QByteArray();
    }
    quality = quality < 0 ? 75 : qBound(1, quality, 100);
    const int subsampling = quality >= 90 ? TJSAMP_444 : TJSAMP_420;
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
    Compressor compressor(kept.get(), keptRoom);
    if (!compressor.compress(pixels, quality, subsampling)) {
        *error = compressor.errorText();
        return QByteArray();
    }
    QByteArray jpeg(reinterpret_cast<const char *>(kept.get()), int(compressor.size()));
    stateResolution(jpeg, xPerMetre, yPerMetre);
    return jpeg;
}

} // namespace JpegEncoder
