// SPDX-License-Identifier: GPL-3.0-or-later
#include "encode/metadatasplice.h"

#include <zlib.h>

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

} // namespace

QString carryOver(QByteArray &encoded, const Source &source, QSize size)
{
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
