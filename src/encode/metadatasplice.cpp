// SPDX-License-Identifier: GPL-3.0-or-later
#include "encode/metadatasplice.h"

#include <webp/mux.h>
#include <zlib.h>

#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "common/bytes.h"
#include "encode/tiffsplice.h"

namespace Metadata {

namespace {

// The JPEG with the segments after its JFIF header, where the encoder's
// header ends.
QString spliceJpeg(QByteArray &jpeg, const std::vector<Segment> &segments)
{
    if (jpeg.size() < 6 || !jpeg.startsWith("\xff\xd8\xff\xe0"))
        return QStringLiteral("the JPEG has no JFIF header");
    const int headerEnd = 4 + (quint8(jpeg.at(4)) << 8 | quint8(jpeg.at(5)));
    if (headerEnd > jpeg.size())
        return QStringLiteral("the JPEG has no JFIF header");
    QByteArray inserted;
    for (const Segment &segment : segments) {
        inserted.append('\xff').append(char(segment.marker));
        Bytes::appendBig(inserted, quint32(segment.payload.size() + 2), 2);
        inserted.append(segment.payload);
    }
    jpeg.insert(headerEnd, inserted);
    return QString();
}

// The PNG with the chunks after its header chunk, each framed and its CRC
// computed here.
QString splicePng(QByteArray &png, const std::vector<Chunk> &chunks)
{
    if (png.size() < 33 || png.mid(12, 4) != "IHDR" || Bytes::big(png, 8, 4) != 13)
        return QStringLiteral("the PNG has no header chunk");
    QByteArray inserted;
    for (const Chunk &chunk : chunks) {
        Bytes::appendBig(inserted, quint32(chunk.data.size()), 4);
        const QByteArray body = chunk.type + chunk.data;
        inserted.append(body);
        Bytes::appendBig(inserted,
            quint32(
                crc32(0L, reinterpret_cast<const Bytef *>(body.constData()), uInt(body.size()))),
            4);
    }
    png.insert(33, inserted);
    return QString();
}

// `bare`, a complete WebP file, with the source's profile and records as
// chunks of their own, which the mux puts where they go. Returns why they could not be put in (the
// file is then left as it was).
QString spliceWebp(QByteArray &bare, const Source &metadata)
{
    std::vector<std::pair<const char *, QByteArray>> chunks;
    if (!metadata.iccProfile.isEmpty())
        chunks.emplace_back("ICCP", metadata.iccProfile);
    for (const Chunk &chunk : metadata.chunks)
        chunks.emplace_back(chunk.type == "EXIF" ? "EXIF" : "XMP ", chunk.data);
    if (chunks.empty())
        return QString();
    const WebPData image { reinterpret_cast<const uint8_t *>(bare.constData()),
        size_t(bare.size()) };
    std::unique_ptr<WebPMux, void (*)(WebPMux *)> mux(WebPMuxCreate(&image, 0), WebPMuxDelete);
    WebPMuxError error = mux ? WEBP_MUX_OK : WEBP_MUX_BAD_DATA;
    for (auto chunk = chunks.begin(); error == WEBP_MUX_OK && chunk != chunks.end(); ++chunk) {
        const WebPData data { reinterpret_cast<const uint8_t *>(chunk->second.constData()),
            size_t(chunk->second.size()) };
        error = WebPMuxSetChunk(mux.get(), chunk->first, &data, 0);
    }
    WebPData assembled;
    WebPDataInit(&assembled);
    if (error == WEBP_MUX_OK)
        error = WebPMuxAssemble(mux.get(), &assembled);
    if (error == WEBP_MUX_OK && assembled.size > size_t(std::numeric_limits<int>::max()))
        error = WEBP_MUX_MEMORY_ERROR;
    if (error == WEBP_MUX_OK)
        bare = QByteArray(reinterpret_cast<const char *>(assembled.bytes), int(assembled.size));
    WebPDataClear(&assembled);
    if (error == WEBP_MUX_OK)
        return QString();
    return error == WEBP_MUX_MEMORY_ERROR
        ? QStringLiteral("there was not enough memory to put it into the WebP file")
        : QStringLiteral("libwebp could not put it into the WebP file (error %1)").arg(int(error));
}

} // namespace

QString carryOver(QByteArray &encoded, const Source &source, QSize size)
{
    // A WebP's profile goes in as a chunk like its records.
    if (source.format == "webp")
        return size != source.size ? QStringLiteral("it was written for another size")
                                   : spliceWebp(encoded, source);
    if (source.segments.empty() && source.chunks.empty() && source.tiffPrefix.isEmpty()
        && source.tiffEntries.empty())
        return QString();
    if (size != source.size)
        return QStringLiteral("it was written for another size");
    if (source.format == "jpg")
        return spliceJpeg(encoded, source.segments);
    if (source.format == "png")
        return splicePng(encoded, source.chunks);
    return TiffSplice::splice(
        encoded, source.tiffPrefix, source.exifIfd, source.gpsIfd, source.tiffEntries);
}

} // namespace Metadata
