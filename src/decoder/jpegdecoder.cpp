// SPDX-License-Identifier: GPL-3.0-or-later
#include "decoder/jpegdecoder.h"

#include <turbojpeg.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <memory>
#include <vector>

#include <jpeglib.h>
#include <sys/mman.h>

#include "common/budget.h"
#include "decoder/hugepages.h"
#include "decoder/mappedfile.h"

namespace JpegDecoder {

namespace {

quint32 number(const unsigned char *at, int width, bool little)
{
    quint32 value = 0;
    for (int k = 0; k < width; ++k)
        value = little ? value | quint32(at[k]) << (8 * k) : (value << 8) | at[k];
    return value;
}

// The orientation tag in a TIFF structure (an EXIF block after its
// "Exif\0\0"), looked for in the first IFD and the ones chained after it,
// as the toolkit's reader looks: 1 when absent, 0 when the structure or the
// value is out of the ordinary.
int tiffOrientation(const unsigned char *tiff, size_t size)
{
    if (size < 8)
        return 0;
    bool little;
    if (number(tiff, 4, false) == 0x49492A00)
        little = true;
    else if (number(tiff, 4, false) == 0x4D4D002A)
        little = false;
    else
        return 0;
    size_t offset = number(tiff + 4, 4, little);
    for (int ifd = 0; ifd < 10; ++ifd) {
        if (offset < 8 || offset + 2 > size)
            return 0;
        const size_t entries = number(tiff + offset, 2, little);
        if (offset + 2 + entries * 12 + 4 > size)
            return 0;
        for (size_t k = 0; k < entries; ++k) {
            const unsigned char *entry = tiff + offset + 2 + k * 12;
            if (number(entry, 2, little) == 0x0112) {
                const int value = int(number(entry + 8, 2, little));
                return value >= 1 && value <= 8 ? value : value == 0 ? 1 : 0;
            }
        }
        offset = number(tiff + offset + 2 + entries * 12, 4, little);
        if (offset == 0)
            return 1;
    }
    return 1;
}

// Writes `from` (width x height pixels of 32 bits, rows packed) into `to`
// as EXIF orientation `orientation` shows it; `to` has rows of
// `toWidth` pixels. Turned pictures are copied in tiles, so that the
// column-wise side stays in the cache.
void orient(const quint32 *from, int width, int height, int orientation, quint32 *to)
{
    const bool turned = orientation >= 5;
    const int toWidth = turned ? height : width;
    if (!turned) {
        for (int y = 0; y < height; ++y) {
            const bool flipY = orientation == 3 || orientation == 4;
            const bool flipX = orientation == 2 || orientation == 3;
            const quint32 *in = from + size_t(flipY ? height - 1 - y : y) * size_t(width);
            quint32 *out = to + size_t(y) * size_t(toWidth);
            if (flipX)
                std::reverse_copy(in, in + width, out);
            else
                std::copy(in, in + width, out);
        }
        return;
    }
    // out(x, y) = in(sx, sy) with, for the output's x and y:
    // 5: (y, x), 6: (y, H-1-x), 7: (W-1-y, H-1-x), 8: (W-1-y, x).
    const bool reverseX = orientation == 7 || orientation == 8; // source x from output y
    const bool reverseY = orientation == 6 || orientation == 7; // source y from output x
    constexpr int Tile = 64;
    const int toHeight = width;
    for (int ty = 0; ty < toHeight; ty += Tile)
        for (int tx = 0; tx < toWidth; tx += Tile) {
            const int yEnd = std::min(ty + Tile, toHeight), xEnd = std::min(tx + Tile, toWidth);
            for (int y = ty; y < yEnd; ++y) {
                const int sx = reverseX ? width - 1 - y : y;
                quint32 *out = to + size_t(y) * size_t(toWidth);
                for (int x = tx; x < xEnd; ++x) {
                    const int sy = reverseY ? height - 1 - x : x;
                    out[x] = from[size_t(sy) * size_t(width) + size_t(sx)];
                }
            }
        }
}

// libjpeg's decompression as TurboJPEG's tjDecompress2 sets it up (the same
// defaults, out colour space and scale), with its two rules: any warning
// fails the decoding, and so does a progressive picture of more than 500
// scans (TJFLAG_LIMITSCANS). The rows go to `sink` a band at a time.
class BandDecoder
{
public:
    BandDecoder()
    {
        info.err = jpeg_std_error(&errors.manager);
        errors.manager.error_exit
            = [](j_common_ptr info) { longjmp(reinterpret_cast<Errors *>(info->err)->jump, 1); };
        // Warnings fail it too, and are not printed.
        errors.manager.emit_message = [](j_common_ptr info, int level) {
            if (level < 0)
                reinterpret_cast<Errors *>(info->err)->warned = true;
        };
        progress.progress_monitor = [](j_common_ptr info) {
            if (info->is_decompressor
                && reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > 500)
                longjmp(reinterpret_cast<Errors *>(info->err)->jump, 1);
        };
        jpeg_create_decompress(&info);
        info.progress = &progress;
    }
    ~BandDecoder() { jpeg_destroy_decompress(&info); }
    BandDecoder(const BandDecoder &) = delete;
    BandDecoder &operator=(const BandDecoder &) = delete;

    // Writes the picture, `width` x `height` at 1/`denominator`, to the sink
    // from its start, in rows of 4 bytes a pixel; false on any error or
    // warning, or when the sink takes no more.
    bool decode(const unsigned char *file, size_t size, int denominator, int layout, int width,
        int height, const PixelSink &sink)
    {
        if (setjmp(errors.jump))
            return false;
        jpeg_mem_src(&info, file, static_cast<unsigned long>(size));
        jpeg_read_header(&info, TRUE);
        info.out_color_space = layout == TJPF_BGRX ? JCS_EXT_BGRX : JCS_EXT_XRGB;
        info.scale_num = 1;
        info.scale_denom = unsigned(denominator);
        jpeg_start_decompress(&info);
        if (errors.warned || int(info.output_width) != width || int(info.output_height) != height
            || info.output_components != 4)
            return false;
        const qint64 stride = qint64(width) * 4;
        // Up to a huge page of rows (2 MB): few calls to the sink, and a
        // band that stays in the cache between libjpeg writing it and the
        // sink reading it. A new process pays for every page it touches
        // first, so the band is one huge page where the system gives them.
        constexpr qint64 Huge = 2 << 20;
        const int bandRows = int(std::clamp<qint64>(Huge / stride, 1, 256));
        if (!band.reserve(stride * bandRows))
            return false;
        rows.resize(size_t(bandRows));
        for (int k = 0; k < bandRows; ++k)
            rows[size_t(k)] = band.data + stride * k;
        while (info.output_scanline < info.output_height) {
            const qint64 first = info.output_scanline;
            int filled = 0;
            while (filled < bandRows && info.output_scanline < info.output_height)
                filled += int(jpeg_read_scanlines(
                    &info, rows.data() + filled, JDIMENSION(bandRows - filled)));
            if (errors.warned || !sink.write(first * stride, band.data, filled * stride))
                return false;
        }
        jpeg_finish_decompress(&info);
        return !errors.warned;
    }

private:
    struct Errors
    {
        jpeg_error_mgr manager;
        jmp_buf jump;
        bool warned = false;
    };
    jpeg_decompress_struct info {};
    Errors errors {};
    jpeg_progress_mgr progress {};
    // Memory of its own, aligned to and advised as huge pages.
    struct Band
    {
        unsigned char *data = nullptr;
        void *mapped = MAP_FAILED;
        size_t length = 0;
        ~Band()
        {
            if (mapped != MAP_FAILED)
                ::munmap(mapped, length);
        }
        bool reserve(qint64 bytes)
        {
            if (mapped != MAP_FAILED)
                ::munmap(mapped, length);
            mapped = MAP_FAILED;
            data = hugePageMemory(size_t(bytes), &mapped, &length);
            return data != nullptr;
        }
    } band;
    std::vector<JSAMPROW> rows;
};

} // namespace

int orientation(const unsigned char *jpeg, size_t size)
{
    if (size < 4 || jpeg[0] != 0xff || jpeg[1] != 0xd8)
        return 0;
    int found = 1;
    int blocks = 0;
    size_t at = 2;
    while (at + 4 <= size) {
        if (jpeg[at] != 0xff)
            return 0;
        const unsigned char marker = jpeg[at + 1];
        if (marker == 0xff) { // fill byte
            ++at;
            continue;
        }
        if (marker == 0xda || marker == 0xd9) // the scan begins: no more headers
            return found;
        const size_t length = number(jpeg + at + 2, 2, false);
        if (length < 2 || at + 2 + length > size)
            return 0;
        const unsigned char *data = jpeg + at + 4;
        if (marker == 0xe1 && length - 2 > 6 && std::equal(data, data + 6, "Exif\0\0")) {
            if (++blocks > 1)
                return 0;
            found = tiffOrientation(data + 6, length - 2 - 6);
        }
        at += 2 + length;
    }
    return 0;
}

bool decode(const MappedFile &mapped, qint64 budgetBytes, const PixelStore &store, QSize fit,
    bool keepAspectRatio, Decoded &result, const PixelSink &sink)
{
    if (mapped.bytes().isEmpty())
        return false;
    const auto *file = reinterpret_cast<const unsigned char *>(mapped.bytes().constData());
    const auto fileSize = size_t(mapped.bytes().size());
    std::unique_ptr<void, int (*)(tjhandle)> handle(tjInitDecompress(), tjDestroy);
    int width = 0, height = 0, subsampling = 0, colourSpace = 0;
    if (!handle
        || tjDecompressHeader3(
               handle.get(), file, fileSize, &width, &height, &subsampling, &colourSpace)
            != 0
        || (colourSpace != TJCS_YCbCr && colourSpace != TJCS_RGB) || width <= 0 || height <= 0)
        return false;
    const int turn = orientation(file, fileSize);
    if (turn == 0)
        return false;
    const bool turned = turn >= 5;

    // Refused by the size the header claims, before anything is decoded.
    if (!Budget::fits(QSize(width, height), budgetBytes)) {
        result.claimed = QSize(width, height);
        result.tooLarge = true;
        return true;
    }
    const QSize full = turned ? QSize(height, width) : QSize(width, height);

    // The smallest scale whose picture is still twice the resized one in
    // both directions. DCT scaling is a block filter of its own, sharper
    // than the smooth resize: with at least a halving left to the resize,
    // the result is the resize of the whole picture within what the eye
    // (and the JPEG encoding after it) can tell.
    int denominator = 1;
    if (!fit.isEmpty()) {
        const QSize wanted
            = full.scaled(fit, keepAspectRatio ? Qt::KeepAspectRatio : Qt::IgnoreAspectRatio);
        for (const int candidate : { 8, 4, 2 }) {
            const tjscalingfactor factor { 1, candidate };
            if (TJSCALED(full.width(), factor) >= 2 * wanted.width()
                && TJSCALED(full.height(), factor) >= 2 * wanted.height()) {
                denominator = candidate;
                break;
            }
        }
    }
    const tjscalingfactor factor { 1, denominator };
    const int decodedWidth = TJSCALED(width, factor), decodedHeight = TJSCALED(height, factor);
    const QSize size
        = turned ? QSize(decodedHeight, decodedWidth) : QSize(decodedWidth, decodedHeight);
    const qint64 bytes = Budget::pixelBytes(size, QImage::Format_RGB32);
    if (bytes <= 0)
        return false;

    // BGRX writes 0xff into the fourth byte: opaque, as RGB32 has it.
    const int layout = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? TJPF_BGRX : TJPF_XRGB;
    if (sink && turn == 1) {
        if (!BandDecoder().decode(
                file, fileSize, denominator, layout, decodedWidth, decodedHeight, sink)
            || mapped.cutShort())
            return false;
        uchar *view = sink.view(bytes);
        if (!view)
            return false;
        result.image
            = QImage(view, size.width(), size.height(), size.width() * 4, QImage::Format_RGB32);
        result.claimed = size;
        result.full = full;
        return !result.image.isNull();
    }

    // Where the pixels end: the program's memory, or a picture of its own.
    QImage image;
    uchar *memory = store ? store(bytes) : nullptr;
    if (memory)
        image = QImage(memory, size.width(), size.height(), size.width() * 4, QImage::Format_RGB32);
    else
        image = QImage(size, QImage::Format_RGB32);
    if (image.isNull())
        return false;

    // A turned picture is decoded as stored and turned on the way into its
    // memory; an upright one is decoded where it ends.
    std::vector<quint32> stored;
    unsigned char *target = image.bits();
    if (turn != 1) {
        stored.resize(size_t(decodedWidth) * size_t(decodedHeight));
        target = reinterpret_cast<unsigned char *>(stored.data());
    }
    // Any warning (libjpeg fills what it could not decode with grey) hands
    // the file to the toolkit's reader, which tells damage from harmless
    // trailing bytes as it always has.
    if (tjDecompress2(handle.get(), file, fileSize, target, decodedWidth, decodedWidth * 4,
            decodedHeight, layout, TJFLAG_LIMITSCANS)
            != 0
        || mapped.cutShort())
        return false;
    if (turn != 1)
        orient(stored.data(), decodedWidth, decodedHeight, turn,
            reinterpret_cast<quint32 *>(image.bits()));

    result.image = image;
    result.claimed = size;
    result.full = full;
    return true;
}

} // namespace JpegDecoder
