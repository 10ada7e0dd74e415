// SPDX-License-Identifier: GPL-3.0-or-later
#include "decoder/pngkeyed.h"

#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <limits>
#include <vector>

#include "common/bytes.h"

namespace PngKeyed {

namespace {

struct Source
{
    const QByteArray *bytes;
    size_t position = 0;
    char error[256] = {};
};

void readFromMemory(png_structp png, png_bytep into, png_size_t count)
{
    auto *source = static_cast<Source *>(png_get_io_ptr(png));
    if (source->position + count > size_t(source->bytes->size()))
        png_error(png, "the file ends early");
    memcpy(into, source->bytes->constData() + source->position, count);
    source->position += count;
}

void keepError(png_structp png, png_const_charp message)
{
    auto *source = static_cast<Source *>(png_get_error_ptr(png));
    strncpy(source->error, message, sizeof source->error - 1);
    png_longjmp(png, 1);
}

void dropWarning(png_structp, png_const_charp) { }

// Plain C flow between setjmp and the libpng calls that may jump back: no
// object with a destructor lives in this frame.
bool readRows(png_structp png, png_infop info, png_bytep *rows, int width, int height)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_info(png, info);
    if (int(png_get_image_width(png, info)) != width
        || int(png_get_image_height(png, info)) != height) {
        png_error(png, "its size is not the one its header stated");
    }
    png_set_tRNS_to_alpha(png);
    png_set_gray_to_rgb(png);
    if (QSysInfo::ByteOrder == QSysInfo::LittleEndian)
        png_set_swap(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != png_size_t(width) * 8)
        png_error(png, "its samples are not 16-bit RGBA");
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    return true;
}

} // namespace

bool applies(int fd)
{
    // The chunks before the image data; text chunks could make them long,
    // the ones that matter come first.
    const QByteArray head = Bytes::readAt(fd, 0, 65536);
    if (!head.startsWith("\x89PNG\r\n\x1a\n") || head.size() < 33 || head.mid(12, 4) != "IHDR")
        return false;
    const int depth = quint8(head.at(24)), colourType = quint8(head.at(25));
    if (depth != 16 || (colourType != 0 && colourType != 2))
        return false;
    for (qint64 at = 8; at + 12 <= head.size();) {
        const QByteArray type = head.mid(int(at) + 4, 4);
        if (type == "tRNS")
            return true;
        if (type == "IDAT")
            return false;
        at += 12 + qint64(Bytes::big(head, at, 4));
    }
    return false;
}

QString decode(int fd, QImage &image)
{
    if (image.format() != QImage::Format_RGBA64 || image.isNull())
        return QStringLiteral("no memory for its pixels");
    struct stat file;
    const qint64 size = ::fstat(fd, &file) == 0 ? qint64(file.st_size) : 0;
    if (size <= 0 || size > std::numeric_limits<int>::max())
        return QStringLiteral("its size cannot be read");
    const QByteArray bytes = Bytes::readAt(fd, 0, size);
    Source source;
    source.bytes = &bytes;
    png_structp png
        = png_create_read_struct(PNG_LIBPNG_VER_STRING, &source, keepError, dropWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return QStringLiteral("the decoder ran out of memory");
    }
    png_set_read_fn(png, &source, readFromMemory);
    png_set_crc_action(png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
    std::vector<png_bytep> rows(size_t(image.height()));
    for (int y = 0; y < image.height(); ++y)
        rows[size_t(y)] = image.scanLine(y);
    const bool ok = readRows(png, info, rows.data(), image.width(), image.height());
    png_destroy_read_struct(&png, &info, nullptr);
    return ok ? QString() : QString::fromUtf8(source.error);
}

} // namespace PngKeyed
