// SPDX-License-Identifier: GPL-3.0-or-later
#include "decoder/jpeg2000.h"

#include <openjpeg.h>

#include "common/budget.h"

#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace Jpeg2000 {

namespace {

// The file as OpenJPEG reads it: through pread, so that the descriptor's
// position is nobody's concern, and with its length known for the JP2 boxes.
struct Source
{
    int fd;
    qint64 offset;
    qint64 length;
};

OPJ_SIZE_T readSome(void *buffer, OPJ_SIZE_T bytes, void *data)
{
    auto *source = static_cast<Source *>(data);
    const qint64 wanted = std::min<qint64>(qint64(bytes), source->length - source->offset);
    if (wanted <= 0)
        return OPJ_SIZE_T(-1);
    ssize_t count;
    do
        count = ::pread(source->fd, buffer, size_t(wanted), source->offset);
    while (count < 0 && errno == EINTR);
    if (count <= 0)
        return OPJ_SIZE_T(-1);
    source->offset += count;
    return OPJ_SIZE_T(count);
}

OPJ_OFF_T skipSome(OPJ_OFF_T bytes, void *data)
{
    auto *source = static_cast<Source *>(data);
    const qint64 target = std::clamp<qint64>(source->offset + bytes, 0, source->length);
    const qint64 skipped = target - source->offset;
    source->offset = target;
    return bytes != 0 && skipped == 0 ? -1 : skipped;
}

OPJ_BOOL seekTo(OPJ_OFF_T at, void *data)
{
    auto *source = static_cast<Source *>(data);
    if (at < 0 || at > source->length)
        return OPJ_FALSE;
    source->offset = at;
    return OPJ_TRUE;
}

// What OpenJPEG says; its errors mean the file is damaged (or memory ran out).
struct Messages
{
    QStringList errors;
};

void heardError(const char *message, void *data)
{
    static_cast<Messages *>(data)->errors << QString::fromUtf8(message).trimmed();
}

void ignored(const char *, void *) { }

struct CodecFree
{
    void operator()(opj_codec_t *codec) const { opj_destroy_codec(codec); }
};
struct StreamFree
{
    void operator()(opj_stream_t *stream) const { opj_stream_destroy(stream); }
};
struct ImageFree
{
    void operator()(opj_image_t *image) const { opj_image_destroy(image); }
};

// One component's samples brought to 0..255, sampled at the picture's
// pixel (x, y); subsampled components (chroma at half size) are stretched.
class Plane
{
public:
    Plane(const opj_image_t &image, const opj_image_comp_t &component)
        : comp(component)
        , originX(image.x0)
        , originY(image.y0)
    {
        const int precision = std::clamp<int>(int(comp.prec), 1, 31);
        shift = comp.sgnd ? qint64(1) << (precision - 1) : 0;
        maximum = (qint64(1) << precision) - 1;
    }
    const OPJ_INT32 *row(int y) const
    {
        const qint64 at = std::clamp<qint64>(
            (qint64(originY) + y) / std::max<OPJ_UINT32>(comp.dy, 1) - comp.y0, 0, comp.h - 1);
        return comp.data + at * comp.w;
    }
    int at(const OPJ_INT32 *row, int x) const
    {
        const qint64 column = comp.dx <= 1 ? qint64(originX) + x - comp.x0
                                           : (qint64(originX) + x) / comp.dx - comp.x0;
        const qint64 value = qint64(row[std::clamp<qint64>(column, 0, comp.w - 1)]) + shift;
        const qint64 scaled = maximum == 255 ? value : (value * 255 + maximum / 2) / maximum;
        return int(std::clamp<qint64>(scaled, 0, 255));
    }

private:
    const opj_image_comp_t &comp;
    OPJ_UINT32 originX;
    OPJ_UINT32 originY;
    qint64 shift;
    qint64 maximum;
};

int clamped(double value)
{
    return std::clamp(int(value + 0.5), 0, 255);
}

// The decoded components as a picture: grey, grey with alpha, RGB (stored
// as such, as sYCC or as CMYK), with alpha where the file marks a component
// as opacity (or, without such marks, the component after the colours).
QImage toImage(const opj_image_t &decoded, const QSize &size, const PixelStore &store)
{
    const int count = int(decoded.numcomps);
    for (int c = 0; c < count; ++c)
        if (!decoded.comps[c].data || decoded.comps[c].w == 0 || decoded.comps[c].h == 0)
            return QImage();
    const bool cmyk = decoded.color_space == OPJ_CLRSPC_CMYK && count >= 4;
    const int colours = cmyk ? 4 : count >= 3 ? 3 : 1;
    int alpha = -1;
    for (int c = colours; c < count && alpha < 0; ++c)
        if (decoded.comps[c].alpha)
            alpha = c;
    bool marked = false;
    for (int c = 0; c < count; ++c)
        marked = marked || decoded.comps[c].alpha;
    if (alpha < 0 && !marked && count > colours && (colours == 1 ? count == 2 : count == 4))
        alpha = colours;

    const QImage::Format format = colours == 1 && alpha < 0 ? QImage::Format_Grayscale8
        : alpha >= 0                                        ? QImage::Format_ARGB32
                                                            : QImage::Format_RGB32;
    const int depth = format == QImage::Format_Grayscale8 ? 1 : 4;
    const qint64 line = (qint64(size.width()) * depth + 3) / 4 * 4;
    QImage image;
    if (uchar *memory = store ? store(line * size.height()) : nullptr)
        image = QImage(memory, size.width(), size.height(), int(line), format);
    else
        image = QImage(size, format);
    if (image.isNull())
        return image;
    // Every pixel is written below; the rows' padding would keep whatever
    // the memory held before.
    if (line != qint64(size.width()) * depth)
        memset(image.bits(), 0, size_t(image.sizeInBytes()));

    std::vector<Plane> planes;
    for (int c = 0; c < count; ++c)
        planes.emplace_back(decoded, decoded.comps[c]);
    const bool ycc = decoded.color_space == OPJ_CLRSPC_SYCC && colours == 3;
    std::vector<const OPJ_INT32 *> rows(static_cast<size_t>(count));
    for (int y = 0; y < size.height(); ++y) {
        for (int c = 0; c < count; ++c)
            rows[size_t(c)] = planes[size_t(c)].row(y);
        uchar *out = image.scanLine(y);
        const auto sample = [&](int c, int x) { return planes[size_t(c)].at(rows[size_t(c)], x); };
        for (int x = 0; x < size.width(); ++x) {
            if (format == QImage::Format_Grayscale8) {
                out[x] = uchar(sample(0, x));
                continue;
            }
            int r, g, b;
            if (colours == 1) {
                r = g = b = sample(0, x);
            } else if (ycc) {
                const double luma = sample(0, x), cb = sample(1, x) - 128.0,
                             cr = sample(2, x) - 128.0;
                r = clamped(luma + 1.402 * cr);
                g = clamped(luma - 0.344136 * cb - 0.714136 * cr);
                b = clamped(luma + 1.772 * cb);
            } else if (cmyk) {
                const int k = 255 - sample(3, x);
                r = (255 - sample(0, x)) * k / 255;
                g = (255 - sample(1, x)) * k / 255;
                b = (255 - sample(2, x)) * k / 255;
            } else {
                r = sample(0, x);
                g = sample(1, x);
                b = sample(2, x);
            }
            reinterpret_cast<QRgb *>(out)[x] = qRgba(r, g, b, alpha >= 0 ? sample(alpha, x) : 255);
        }
    }
    return image;
}

} // namespace

Decoded decode(int fd, qint64 budgetBytes, const PixelStore &store)
{
    Decoded result;
    struct stat info;
    if (::fstat(fd, &info) != 0) {
        result.errorText = qt_error_string(errno);
        return result;
    }
    // The JP2 file format starts with its signature box; anything else the
    // allow-list let through is a bare codestream.
    Source source { fd, 0, qint64(info.st_size) };
    char first[4] = {};
    const bool boxed = ::pread(fd, first, 4, 0) == 4 && memcmp(first, "\xff\x4f\xff\x51", 4) != 0;

    std::unique_ptr<opj_codec_t, CodecFree> codec(
        opj_create_decompress(boxed ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
    std::unique_ptr<opj_stream_t, StreamFree> stream(opj_stream_create(1 << 16, OPJ_TRUE));
    if (!codec || !stream) {
        result.errorText = QStringLiteral("the decoder ran out of memory");
        return result;
    }
    opj_stream_set_user_data(stream.get(), &source, nullptr);
    opj_stream_set_user_data_length(stream.get(), OPJ_UINT64(source.length));
    opj_stream_set_read_function(stream.get(), readSome);
    opj_stream_set_skip_function(stream.get(), skipSome);
    opj_stream_set_seek_function(stream.get(), seekTo);

    Messages messages;
    opj_set_error_handler(codec.get(), heardError, &messages);
    opj_set_warning_handler(codec.get(), ignored, nullptr);
    opj_set_info_handler(codec.get(), ignored, nullptr);
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    opj_setup_decoder(codec.get(), &parameters);
    // A codestream that ends early is an error, not a picture with its
    // last tiles left grey.
    opj_decoder_set_strict_mode(codec.get(), OPJ_TRUE);

    const auto damaged = [&](const char *fallback) {
        result.damaged = true;
        result.errorText = messages.errors.value(0, QString::fromLatin1(fallback));
        // OpenJPEG says so when an allocation fails; that is no damage.
        if (result.errorText.contains(QLatin1String("memory"), Qt::CaseInsensitive)) {
            result.damaged = false;
            result.errorText = QStringLiteral("the decoder ran out of memory");
        }
        return result;
    };

    opj_image_t *header = nullptr;
    if (!opj_read_header(stream.get(), codec.get(), &header) || !header)
        return damaged("its header cannot be read");
    std::unique_ptr<opj_image_t, ImageFree> image(header);
    const qint64 width = qint64(image->x1) - image->x0, height = qint64(image->y1) - image->y0;
    if (image->numcomps == 0 || width <= 0 || height <= 0)
        return damaged("its header gives no picture");
    result.claimed
        = QSize(int(std::min<qint64>(width, INT_MAX)), int(std::min<qint64>(height, INT_MAX)));
    // OpenJPEG holds every component as 32-bit samples besides the picture
    // made from them; both must fit as well as the stamping that follows.
    qint64 planeBytes = 0;
    for (OPJ_UINT32 c = 0; c < image->numcomps; ++c)
        planeBytes += qint64(image->comps[c].w) * image->comps[c].h * 4;
    if (width > INT_MAX || height > INT_MAX || !Budget::fits(result.claimed, budgetBytes)
        || planeBytes > budgetBytes) {
        result.tooLarge = true;
        return result;
    }

    if (!opj_decode(codec.get(), stream.get(), image.get())
        || !opj_end_decompress(codec.get(), stream.get()) || !messages.errors.isEmpty())
        return damaged("its data cannot be decoded");
    result.image = toImage(*image, result.claimed, store);
    if (result.image.isNull())
        return damaged("a colour component is missing");
    return result;
}

} // namespace Jpeg2000
