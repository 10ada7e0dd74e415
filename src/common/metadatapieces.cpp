// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/metadatapieces.h"

#include <QDataStream>
#include <QStringList>

#include <algorithm>

#include "common/boundedreader.h"
#include "common/bytes.h"
#include "common/decoderprotocol.h"

// Packed as a QDataStream: the format and the output size the pieces were
// made for, the resolution (pixels per metre, 0 when unknown), the colour
// profile, why anything could not be carried, then the pieces: JPG segments
// (marker and payload) or PNG chunks (type as a big-endian number, and
// data), in the order they go after the encoder's JFIF header or IHDR
// chunk; then for a TIF the block to stand first in the file, where its
// EXIF and GPS directories start in it, and the first directory's entries
// (tag, type, count, little-endian value).
namespace Metadata {

namespace {

// More pieces than any writer makes: a JPEG takes a few segments, a profile
// of a megabyte sixteen.
constexpr quint32 MaxPieces = 1024;
constexpr quint32 MaxEntries = 1024;
constexpr int MaxSegmentPayload = 65533; // a segment's length field counts itself

bool chunkAllowed(const QByteArray &format, const QByteArray &type)
{
    if (format == "webp")
        return type == "EXIF" || type == "XMP ";
    return type == "tEXt" || type == "zTXt" || type == "iTXt" || type == "eXIf";
}

// Whether what was read is what the decoder may send for its format: pieces
// of the kinds that format takes, where it takes them.
bool sound(const Source &source)
{
    const QByteArray &format = source.format;
    const bool chunked = format == "png" || format == "webp";
    if (!format.isEmpty() && format != "jpg" && !chunked && format != "tif")
        return false;
    if ((format != "jpg" && !source.segments.empty()) || (!chunked && !source.chunks.empty())
        || (format != "tif"
            && (!source.tiffPrefix.isEmpty() || source.exifIfd || source.gpsIfd
                || !source.tiffEntries.empty())))
        return false;
    // APP1 to APP15 and COM: the JFIF header (APP0) and everything else
    // before the scan is the encoder's.
    for (const Segment &segment : source.segments)
        if (!((segment.marker > 0xe0 && segment.marker <= 0xef) || segment.marker == 0xfe)
            || segment.payload.size() > MaxSegmentPayload)
            return false;
    for (const Chunk &chunk : source.chunks)
        if (!chunkAllowed(format, chunk.type))
            return false;
    // A WebP holds one EXIF and one XMP chunk at most.
    const auto exifChunks = std::count_if(source.chunks.begin(), source.chunks.end(),
        [](const Chunk &chunk) { return chunk.type == "EXIF"; });
    if (format == "webp" && (exifChunks > 1 || source.chunks.size() - exifChunks > 1))
        return false;
    // Where each piece goes is checked here; what each holds, before it
    // goes in (encode/piecechecks.h).
    return !source.tiffPrefix.isEmpty() || (!source.exifIfd && !source.gpsIfd);
}

} // namespace

QByteArray formatOf(const QString &suffix)
{
    const QString kind = suffix.toLower();
    if (kind == QLatin1String("jpg") || kind == QLatin1String("jpeg"))
        return "jpg";
    if (kind == QLatin1String("png"))
        return "png";
    if (kind == QLatin1String("tif") || kind == QLatin1String("tiff"))
        return "tif";
    if (kind == QLatin1String("webp"))
        return "webp";
    return QByteArray();
}

QByteArray pack(const Source &source)
{
    QByteArray packed;
    QDataStream out(&packed, QIODevice::WriteOnly);
    out << QString::fromLatin1(source.format) << qint32(source.size.width())
        << qint32(source.size.height()) << source.resolution.xPerMetre
        << source.resolution.yPerMetre << source.iccProfile
        << source.problem.left(DecoderProtocol::MaxErrorText)
        << quint32(source.segments.size() + source.chunks.size());
    for (const Segment &segment : source.segments)
        out << quint32(segment.marker) << segment.payload;
    for (const Chunk &chunk : source.chunks)
        out << Bytes::big(chunk.type.leftJustified(4, '\0', true), 0, 4) << chunk.data;
    out << source.tiffPrefix << source.exifIfd << source.gpsIfd
        << quint32(source.tiffEntries.size());
    for (const TiffEntry &entry : source.tiffEntries)
        out << quint32(entry.tag) << quint32(entry.type) << entry.count << entry.value;
    return packed;
}

Source unpack(const QByteArray &packed)
{
    Source source;
    if (packed.isEmpty()) {
        source.problem = QStringLiteral("the decoder could not hand it over");
        return source;
    }
    // Made by the decoder, so read with every length checked.
    BoundedReader in(packed.constData(), packed.size());
    const qint64 room = packed.size();
    source.format = in.string(4).toLatin1();
    const int width = in.i32();
    const int height = in.i32();
    source.size = QSize(width, height);
    source.resolution.xPerMetre = in.f64();
    source.resolution.yPerMetre = in.f64();
    source.iccProfile = in.bytes(room);
    source.problem = in.string(DecoderProtocol::MaxErrorText);
    const quint32 pieces = in.count(MaxPieces, 8);
    for (quint32 k = 0; in.ok() && k < pieces; ++k) {
        const quint32 code = in.u32();
        const QByteArray bytes = in.bytes(room);
        if (source.format == "png" || source.format == "webp") {
            QByteArray type;
            Bytes::appendBig(type, code, 4);
            source.chunks.push_back({ type, bytes });
        } else {
            // A marker fits a byte, or it is none.
            source.segments.push_back({ code <= 0xff ? quint8(code) : quint8(0), bytes });
        }
    }
    source.tiffPrefix = in.bytes(room);
    source.exifIfd = in.u32();
    source.gpsIfd = in.u32();
    const quint32 entries = in.count(MaxEntries, 16);
    QStringList lost;
    for (quint32 k = 0; in.ok() && k < entries; ++k) {
        const quint32 tag = in.u32(), type = in.u32();
        TiffEntry entry { quint16(tag), quint16(type), in.u32(), in.bytes(room) };
        // A number that does not fit where TIFF keeps it would be cut to
        // another tag's or type's.
        if (tag <= 0xffff && type <= 0xffff)
            source.tiffEntries.push_back(entry);
        else
            lost << QStringLiteral("its TIFF tag %1 was left out: TIFF has no such %2")
                        .arg(tag)
                        .arg(tag > 0xffff ? QStringLiteral("tag") : QStringLiteral("type"));
    }
    if (!in.ok() || !in.atEnd() || width < 0 || height < 0 || !sound(source)) {
        source = Source();
        source.problem = QStringLiteral("the decoder sent a malformed reply");
        return source;
    }
    // A decoder gone wrong could claim anything; a billion pixels per metre
    // is far beyond any printer.
    if (!source.resolution.known() || source.resolution.xPerMetre > 1e9
        || source.resolution.yPerMetre > 1e9)
        source.resolution = Resolution();
    if (!lost.isEmpty()) {
        if (!source.problem.isEmpty())
            lost.prepend(source.problem);
        source.problem = lost.join(QStringLiteral("; "));
    }
    return source;
}

} // namespace Metadata
