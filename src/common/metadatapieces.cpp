// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/metadatapieces.h"

#include <QDataStream>

#include <algorithm>

#include "common/boundedreader.h"
#include "common/bytes.h"
#include "common/decoderprotocol.h"
#include "common/tifftags.h"

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
constexpr quint16 InteropIfdPointer = 40965;

bool chunkAllowed(const QByteArray &format, const QByteArray &type)
{
    if (format == "webp")
        return type == "EXIF" || type == "XMP ";
    return type == "tEXt" || type == "zTXt" || type == "iTXt" || type == "eXIf";
}

// Whether the directory at `at` of the TIFF block `prefix` lies inside it,
// on a word boundary, with every value of its entries inside it too (and
// the Interop directory an EXIF directory points to).
bool directoryInside(const QByteArray &prefix, qint64 at, bool nested = false)
{
    if (at < 8 || at % 2 || at + 2 > prefix.size())
        return false;
    const qint64 count = Bytes::little(prefix, at, 2);
    if (at + 2 + 12 * count + 4 > prefix.size())
        return false;
    for (qint64 k = 0; k < count; ++k) {
        const qint64 entry = at + 2 + 12 * k;
        const quint16 tag = quint16(Bytes::little(prefix, entry, 2));
        const int size = TiffTags::typeSize(quint16(Bytes::little(prefix, entry + 2, 2)));
        const qint64 bytes = qint64(size) * Bytes::little(prefix, entry + 4, 4);
        const qint64 offset = Bytes::little(prefix, entry + 8, 4);
        if (size == 0 || (bytes > 4 && (offset % 2 || offset + bytes > prefix.size())))
            return false;
        if (tag == InteropIfdPointer
            && (nested || bytes != 4 || !directoryInside(prefix, offset, true)))
            return false;
    }
    return true;
}

// Whether what was read is what the decoder may send for its format.
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
    if (source.tiffPrefix.isEmpty() ? source.exifIfd || source.gpsIfd
                                    : source.tiffPrefix.size() < 8)
        return false;
    for (const quint32 at : { source.exifIfd, source.gpsIfd })
        if (at && !directoryInside(source.tiffPrefix, at))
            return false;
    std::vector<quint16> tags;
    for (const TiffEntry &entry : source.tiffEntries) {
        const int size = TiffTags::typeSize(entry.type);
        if (size == 0 || entry.count == 0 || qint64(size) * entry.count != entry.value.size()
            || TiffTags::structural(entry.tag))
            return false;
        tags.push_back(entry.tag);
    }
    std::sort(tags.begin(), tags.end());
    return std::adjacent_find(tags.begin(), tags.end()) == tags.end();
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
    source.tiffEntries.resize(in.count(MaxEntries, 16));
    for (TiffEntry &entry : source.tiffEntries) {
        const quint32 tag = in.u32(), type = in.u32();
        entry.tag = tag <= 0xffff ? quint16(tag) : 0;
        entry.type = type <= 0xffff ? quint16(type) : 0;
        entry.count = in.u32();
        entry.value = in.bytes(room);
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
    // The output is always RGB: a CMYK or grey profile would make viewers
    // misread its pixels.
    if (source.iccProfile.mid(16, 4) != "RGB ")
        source.iccProfile.clear();
    return source;
}

} // namespace Metadata
