// SPDX-License-Identifier: GPL-3.0-or-later
// Turning a stamped picture into the bytes of its file, in memory. Nothing
// here touches the disk or any state shared between calls, so pictures may
// be encoded on any thread while another writes finished ones.

#include "encode/encoding.h"

#include <QBuffer>
#include <QImageWriter>
#include <QStringList>

#include <tiffio.h>
#include <zlib.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

#include "encode/jpegencoder.h"
#include "encode/metadatasplice.h"
#include "encode/piecechecks.h"
#include "encode/webpencoder.h"

namespace Encoding {

namespace {

// ---- TIFF, through libtiff into a growing buffer ----

struct MemoryFile
{
    QByteArray bytes;
    qint64 position = 0;
};

tmsize_t memoryRead(thandle_t handle, void *data, tmsize_t count)
{
    auto *file = static_cast<MemoryFile *>(handle);
    const qint64 available = qMax<qint64>(0, file->bytes.size() - file->position);
    const qint64 done = qMin<qint64>(count, available);
    std::memcpy(data, file->bytes.constData() + file->position, size_t(done));
    file->position += done;
    return tmsize_t(done);
}

tmsize_t memoryWrite(thandle_t handle, void *data, tmsize_t count)
{
    auto *file = static_cast<MemoryFile *>(handle);
    const qint64 end = file->position + count;
    if (end > std::numeric_limits<int>::max())
        return -1;
    if (end > file->bytes.size()) {
        if (end > file->bytes.capacity())
            file->bytes.reserve(int(qMin<qint64>(std::numeric_limits<int>::max(), end * 3 / 2)));
        file->bytes.resize(int(end));
    }
    std::memcpy(file->bytes.data() + file->position, data, size_t(count));
    file->position = end;
    return count;
}

toff_t memorySeek(thandle_t handle, toff_t offset, int whence)
{
    auto *file = static_cast<MemoryFile *>(handle);
    const qint64 base = whence == SEEK_CUR ? file->position
        : whence == SEEK_END               ? file->bytes.size()
                                           : 0;
    const qint64 target = base + qint64(offset);
    if (target < 0 || target > std::numeric_limits<int>::max())
        return toff_t(-1);
    if (target > file->bytes.size())
        file->bytes.append(QByteArray(int(target - file->bytes.size()), '\0'));
    file->position = target;
    return toff_t(target);
}

int memoryClose(thandle_t)
{
    return 0;
}

toff_t memorySize(thandle_t handle)
{
    return toff_t(static_cast<MemoryFile *>(handle)->bytes.size());
}

int noMap(thandle_t, void **, toff_t *)
{
    return 0;
}

void noUnmap(thandle_t, void *, toff_t) { }

// libtiff's errors for this one file, kept instead of printed; its warnings
// (unknown tags and the like) are no failure and go nowhere.
int keepError(TIFF *, void *errors, const char *, const char *format, va_list arguments)
{
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    static_cast<QStringList *>(errors)->append(QString::fromLocal8Bit(text));
    return 1;
}

int dropWarning(TIFF *, void *, const char *, const char *, va_list)
{
    return 1;
}

// RGB, or RGBA with unassociated alpha when some pixel is not opaque; LZW
// with horizontal differencing, which photos compress well under and which
// every TIFF reader knows.
QByteArray encodeTiff(const QImage &image, const Metadata::Resolution &resolution,
    const QByteArray &icc, QString *error)
{
    const bool alpha = hasTranslucentPixel(image);
    const QImage pixels
        = image.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    if (pixels.isNull()) {
        *error = QStringLiteral("Out of memory");
        return QByteArray();
    }
    QStringList errors;
    std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions *)> openOptions(
        TIFFOpenOptionsAlloc(), TIFFOpenOptionsFree);
    TIFFOpenOptionsSetErrorHandlerExtR(openOptions.get(), keepError, &errors);
    TIFFOpenOptionsSetWarningHandlerExtR(openOptions.get(), dropWarning, nullptr);
    MemoryFile file;
    TIFF *tiff = TIFFClientOpenExt("output", "wl", &file, memoryRead, memoryWrite, memorySeek,
        memoryClose, memorySize, noMap, noUnmap, openOptions.get());
    if (!tiff) {
        *error = errors.value(0, QStringLiteral("Unknown error"));
        return QByteArray();
    }
    const int samples = alpha ? 4 : 3;
    const uint32_t rowBytes = uint32_t(pixels.width()) * uint32_t(samples);
    const uint16_t extra[] = { EXTRASAMPLE_UNASSALPHA };
    bool ok = TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(pixels.width()))
        && TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(pixels.height()))
        && TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8)
        && TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples)
        && TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB)
        && TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG)
        && TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW)
        && TIFFSetField(tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL)
        && TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, qMax<uint32_t>(1, (256 * 1024) / rowBytes))
        && (!alpha || TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, extra));
    // TIFF requires a resolution; one the source does not state is given
    // as square pixels of no size (no unit), which is TIFF's way of
    // stating none.
    if (ok)
        ok = TIFFSetField(
                 tiff, TIFFTAG_RESOLUTIONUNIT, resolution.known() ? RESUNIT_INCH : RESUNIT_NONE)
            && TIFFSetField(tiff, TIFFTAG_XRESOLUTION,
                resolution.known() ? float(resolution.xPerMetre * 0.0254) : 1.0f)
            && TIFFSetField(tiff, TIFFTAG_YRESOLUTION,
                resolution.known() ? float(resolution.yPerMetre * 0.0254) : 1.0f);
    if (ok && !icc.isEmpty())
        ok = TIFFSetField(tiff, TIFFTAG_ICCPROFILE, uint32_t(icc.size()), icc.constData());
    // The encoder works on the row it is given (the predictor differences
    // it in place), so each row goes through a scratch copy.
    QByteArray row(int(rowBytes), Qt::Uninitialized);
    for (int y = 0; ok && y < pixels.height(); ++y) {
        std::memcpy(row.data(), pixels.constScanLine(y), rowBytes);
        ok = TIFFWriteScanline(tiff, row.data(), uint32_t(y), 0) == 1;
    }
    ok = ok && TIFFWriteDirectory(tiff);
    TIFFClose(tiff);
    if (!ok) {
        *error = errors.value(0, QStringLiteral("Unknown error"));
        return QByteArray();
    }
    return file.bytes;
}

// ---- PNG, through Qt's writer ----

void appendChunk(QByteArray &png, const QByteArray &type, const QByteArray &data)
{
    const auto be32 = [&png](quint32 value) {
        for (int shift = 24; shift >= 0; shift -= 8)
            png.append(char((value >> shift) & 0xff));
    };
    be32(quint32(data.size()));
    const QByteArray body = type + data;
    png.append(body);
    be32(quint32(crc32(0L, reinterpret_cast<const Bytef *>(body.constData()), uInt(body.size()))));
}

// Whether a chunk is a text chunk, which Qt's writer makes from the
// picture's texts: a PNG source's texts go over with the rest of its
// metadata (checked, its records once, and not past the user's choice to
// leave the metadata out), never through the picture.
bool textChunk(const QByteArray &type)
{
    return type == "tEXt" || type == "zTXt" || type == "iTXt";
}

// Qt's writer always states a resolution (the image's); the output states
// the source's, or none. The profile is put in here as well (the decoder
// sends it as it is, not as a chunk).
QByteArray finishPng(const QByteArray &png, const Metadata::Source &metadata, QString *error)
{
    const Metadata::Resolution &resolution = metadata.resolution;
    const QByteArray &icc = metadata.iccProfile;
    QByteArray iccp;
    if (!icc.isEmpty()) {
        uLongf room = compressBound(uLong(icc.size()));
        QByteArray packed(int(room), Qt::Uninitialized);
        if (compress2(reinterpret_cast<Bytef *>(packed.data()), &room,
                reinterpret_cast<const Bytef *>(icc.constData()), uLong(icc.size()), 9)
            != Z_OK) {
            *error = QStringLiteral("The colour profile could not be compressed");
            return QByteArray();
        }
        iccp = QByteArray("ICC profile\0\0", 13) + packed.left(int(room));
    }
    QByteArray out = png.left(8);
    out.reserve(png.size() + iccp.size() + 33);
    qint64 at = 8;
    while (at + 12 <= png.size()) {
        quint32 length = 0;
        for (int k = 0; k < 4; ++k)
            length = (length << 8) | quint8(png.at(int(at) + k));
        const QByteArray type = png.mid(int(at) + 4, 4);
        const qint64 next = at + 12 + length;
        if (next > png.size())
            break;
        if (type != "pHYs" && type != "iCCP" && !textChunk(type))
            out.append(png.constData() + at, int(next - at));
        if (type == "IHDR" && resolution.known()) {
            QByteArray phys;
            for (const double perMetre : { resolution.xPerMetre, resolution.yPerMetre }) {
                const quint32 value = quint32(std::lround(perMetre));
                for (int shift = 24; shift >= 0; shift -= 8)
                    phys.append(char((value >> shift) & 0xff));
            }
            phys.append(char(1)); // per metre
            appendChunk(out, "pHYs", phys);
        }
        if (type == "IHDR" && !iccp.isEmpty())
            appendChunk(out, "iCCP", iccp);
        at = next;
    }
    return out;
}

QByteArray encodeWithQt(const QImage &image, const QByteArray &format, int quality, QString *error)
{
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (quality >= 0)
        writer.setQuality(quality);
    if (!writer.write(image)) {
        *error = writer.errorString();
        return QByteArray();
    }
    return encoded;
}

} // namespace

bool hasTranslucentPixel(const QImage &image)
{
    if (!image.hasAlphaChannel())
        return false;
    if (image.format() != QImage::Format_ARGB32
        && image.format() != QImage::Format_ARGB32_Premultiplied)
        return hasTranslucentPixel(image.convertToFormat(QImage::Format_ARGB32));
    // A whole row at a time, without an early exit inside it, so that the
    // compiler can use vector instructions: this runs for every output.
    const int width = image.width(), height = image.height();
    for (int y = 0; y < height; ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        QRgb all = 0xffffffffu;
        for (int x = 0; x < width; ++x)
            all &= line[x];
        if (qAlpha(all) != 255)
            return true;
    }
    return false;
}

Encoded encode(
    const QImage &image, const QString &suffix, int quality, const Metadata::Source &source)
{
    Encoded result;
    if (image.isNull()) {
        result.errorText = QStringLiteral("Image is empty");
        return result;
    }
    const QByteArray format = Metadata::formatOf(suffix);
    // Metadata written for another output is none of this one's: nothing of
    // it goes in, not even the profile, and the loss is said.
    Metadata::Source metadata = source;
    if (!metadata.format.isEmpty()
        && (metadata.format != format || metadata.size != image.size())) {
        metadata = Metadata::Source();
        metadata.problem = source.format != format
            ? QStringLiteral("it was written for another format")
            : QStringLiteral("it was written for another size");
    }
    // Nothing a decoder sent goes in unchecked; what fails its check is left
    // out, and the rest goes in.
    PieceChecks::leaveOutFaulty(metadata);
    const Metadata::Resolution &resolution = metadata.resolution;
    if (format == "jpg") {
        result.bytes = JpegEncoder::encode(
            image, quality, resolution.xPerMetre, resolution.yPerMetre, &result.errorText);
    } else if (format == "tif") {
        result.bytes = encodeTiff(image, resolution, metadata.iccProfile, &result.errorText);
    } else if (format == "png") {
        // Opaque pictures are written as RGB: the same pixels, a quarter less.
        const QImage pixels = image.hasAlphaChannel() && !hasTranslucentPixel(image)
            ? image.convertToFormat(QImage::Format_RGB32)
            : image;
        result.bytes = encodeWithQt(pixels, "png", quality, &result.errorText);
        if (!result.bytes.isEmpty())
            result.bytes = finishPng(result.bytes, metadata, &result.errorText);
    } else if (format == "webp") {
        result.bytes = WebpEncoder::encode(image, quality, &result.errorText);
    } else {
        result.bytes = encodeWithQt(image, suffix.toLatin1(), quality, &result.errorText);
        return result; // other formats keep no metadata
    }
    if (result.bytes.isEmpty()) {
        if (result.errorText.isEmpty())
            result.errorText = QStringLiteral("Unknown error");
        return result;
    }
    // What the decoder could not write is lost whatever happens here; what
    // it could is carried over all the same.
    const QString carried = Metadata::carryOver(result.bytes, metadata, image.size());
    result.metadataProblem = metadata.problem.isEmpty() || carried.isEmpty()
        ? metadata.problem + carried
        : metadata.problem + QStringLiteral("; ") + carried;
    return result;
}

} // namespace Encoding
