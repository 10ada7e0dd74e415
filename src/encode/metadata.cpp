// SPDX-License-Identifier: GPL-3.0-or-later
#include "encode/metadata.h"

#include <QtEndian>

#include <zlib.h>

#include <algorithm>

#include "common/boundedreader.h"
#include "common/decoderprotocol.h"
#include "common/tifftags.h"

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

quint32 little(const QByteArray &bytes, qint64 at, int width)
{
    const auto *data = reinterpret_cast<const uchar *>(bytes.constData()) + at;
    return width == 2 ? qFromLittleEndian<quint16>(data) : qFromLittleEndian<quint32>(data);
}

// Whether the directory at `at` of the TIFF block `prefix` lies inside it,
// on a word boundary, with every value of its entries inside it too (and
// the Interop directory an EXIF directory points to).
bool directoryInside(const QByteArray &prefix, qint64 at, bool nested = false)
{
    if (at < 8 || at % 2 || at + 2 > prefix.size())
        return false;
    const qint64 count = little(prefix, at, 2);
    if (at + 2 + 12 * count + 4 > prefix.size())
        return false;
    for (qint64 k = 0; k < count; ++k) {
        const qint64 entry = at + 2 + 12 * k;
        const quint16 tag = quint16(little(prefix, entry, 2));
        const int size = TiffTags::typeSize(quint16(little(prefix, entry + 2, 2)));
        const qint64 bytes = qint64(size) * little(prefix, entry + 4, 4);
        const qint64 offset = little(prefix, entry + 8, 4);
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
    for (const TiffSplice::Entry &entry : source.tiffEntries) {
        const int size = TiffTags::typeSize(entry.type);
        if (size == 0 || entry.count == 0 || qint64(size) * entry.count != entry.value.size()
            || TiffTags::structural(entry.tag))
            return false;
        tags.push_back(entry.tag);
    }
    std::sort(tags.begin(), tags.end());
    return std::adjacent_find(tags.begin(), tags.end()) == tags.end();
}

void appendBig(QByteArray &out, quint32 value, int width)
{
    for (int shift = 8 * (width - 1); shift >= 0; shift -= 8)
        out.append(char((value >> shift) & 0xff));
}

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
        appendBig(inserted, quint32(segment.payload.size() + 2), 2);
        inserted.append(segment.payload);
    }
    jpeg.insert(headerEnd, inserted);
    return QString();
}

// The PNG with the chunks after its header chunk, each framed and its CRC
// computed here.
QString splicePng(QByteArray &png, const std::vector<Chunk> &chunks)
{
    if (png.size() < 33 || png.mid(12, 4) != "IHDR"
        || qFromBigEndian<quint32>(png.constData() + 8) != 13)
        return QStringLiteral("the PNG has no header chunk");
    QByteArray inserted;
    for (const Chunk &chunk : chunks) {
        appendBig(inserted, quint32(chunk.data.size()), 4);
        const QByteArray body = chunk.type + chunk.data;
        inserted.append(body);
        appendBig(inserted,
            quint32(
                crc32(0L, reinterpret_cast<const Bytef *>(body.constData()), uInt(body.size()))),
            4);
    }
    png.insert(33, inserted);
    return QString();
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
    source.segments.resize(in.count(MaxPieces, 8));
    for (auto piece = source.segments.begin(); in.ok() && piece != source.segments.end(); ++piece) {
        const quint32 code = in.u32();
        const QByteArray bytes = in.bytes(room);
        if (source.format == "png" || source.format == "webp") {
            QByteArray type;
            appendBig(type, code, 4);
            source.chunks.push_back({ type, bytes });
        } else {
            // A marker fits a byte, or it is none.
            piece->marker = code <= 0xff ? quint8(code) : 0;
            piece->payload = bytes;
        }
    }
    if (source.format == "png" || source.format == "webp")
        source.segments.clear();
    source.tiffPrefix = in.bytes(room);
    source.exifIfd = in.u32();
    source.gpsIfd = in.u32();
    source.tiffEntries.resize(in.count(MaxEntries, 16));
    for (TiffSplice::Entry &entry : source.tiffEntries) {
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
