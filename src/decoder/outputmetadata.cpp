// SPDX-License-Identifier: GPL-3.0-or-later
#include "decoder/outputmetadata.h"

#include <QCryptographicHash>
#include <QStringList>
#include <QTextCodec>

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <vector>

#include "common/bytes.h"
#include "common/tifftags.h"
#include "decoder/exiftags.h"
#include "decoder/outputrecords.h"
#include "decoder/sourceparts.h"

namespace OutputMetadata {

using MetadataReader::Found;
using MetadataReader::Records;

namespace {

using SourceParts::ExifSignature;
using SourceParts::ExtensionSignature;
const QByteArray XmpSignature("http://ns.adobe.com/xap/1.0/\0", 29);
// What one JPEG segment holds of an EXIF block (its payload, less the
// signature), of an XMP packet (with room to spare, as the XMP rules ask)
// and of an extension's part.
constexpr int MaxExifBlock = 65533 - 6;
constexpr int MaxStandardXmp = 65000;
constexpr int ExtensionPart = 65400;

// The comment as text: UTF-8 when its bytes are, otherwise Latin-1 (what
// older writers put there).
QString commentText(const QByteArray &comment)
{
    QTextCodec::ConverterState state;
    const QString text
        = QTextCodec::codecForName("UTF-8")->toUnicode(comment.constData(), comment.size(), &state);
    return state.invalidChars == 0 ? text : QString::fromLatin1(comment);
}

void appendChunk(QByteArray &png, const QByteArray &type, const QByteArray &data)
{
    Bytes::appendBig(png, quint32(data.size()), 4);
    const QByteArray body = type + data;
    png.append(body);
    Bytes::appendBig(png,
        quint32(crc32(0L, reinterpret_cast<const Bytef *>(body.constData()), uInt(body.size()))),
        4);
}

// The smallest files of each output format that Exiv2 takes to write
// metadata into: one grey pixel.
QByteArray stubJpeg()
{
    return QByteArray::fromHex("ffd8ffe000104a46494600010100000100010000"
                               "ffc0000b080001000101011100"
                               "ffda0008010100003f00ffd9");
}

QByteArray stubPng()
{
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    appendChunk(png, "IHDR", QByteArray::fromHex("00000001000000010800000000"));
    const QByteArray row(2, '\0');
    uLongf room = compressBound(uLong(row.size()));
    QByteArray packed(int(room), '\0');
    compress(reinterpret_cast<Bytef *>(packed.data()), &room,
        reinterpret_cast<const Bytef *>(row.constData()), uLong(row.size()));
    appendChunk(png, "IDAT", packed.left(int(room)));
    appendChunk(png, "IEND", QByteArray());
    return png;
}

QByteArray stubTiff()
{
    // The header, the pixel (and a byte to keep the directory on a word
    // boundary), then a directory of 8 entries at offset 10.
    QByteArray tiff = QByteArray::fromHex("49492a000a00000000000800");
    const auto entry = [&tiff](quint16 tag, quint16 type, quint32 value) {
        Bytes::appendLittle(tiff, tag, 2);
        Bytes::appendLittle(tiff, type, 2);
        Bytes::appendLittle(tiff, 1, 4);
        Bytes::appendLittle(tiff, value, 4); // a short's value in the first two
    };
    entry(256, 3, 1); // width
    entry(257, 3, 1); // height
    entry(258, 3, 8); // bits per sample
    entry(259, 3, 1); // no compression
    entry(262, 3, 1); // black is zero
    entry(273, 4, 8); // the strip
    entry(277, 3, 1); // one sample
    entry(279, 4, 1); // of one byte
    tiff.append(QByteArray(4, '\0'));
    return tiff;
}

// A TIFF has no comment of its own, nor has a WebP: the image description
// is where their readers show one, else the EXIF user comment, unless the
// source fills both. Returns why it is lost, or nothing; `format` names the
// output in that sentence.
QString placeCommentInExif(Exiv2::ExifData &exif, const QByteArray &comment, const char *format)
{
    const std::string text = commentText(comment).toStdString();
    const auto description = exif.findKey(Exiv2::ExifKey("Exif.Image.ImageDescription"));
    const auto user = exif.findKey(Exiv2::ExifKey("Exif.Photo.UserComment"));
    const auto *userValue
        = user == exif.end() ? nullptr : dynamic_cast<const Exiv2::CommentValue *>(&user->value());
    const QString said = QString::fromStdString(text).trimmed();
    const QString described = description == exif.end()
        ? QString()
        : QString::fromStdString(description->toString()).trimmed();
    const QString commented
        = userValue ? QString::fromStdString(userValue->comment()).trimmed() : QString();
    if (said == described || said == commented)
        return QString(); // already there
    if (described.isEmpty()) {
        exif["Exif.Image.ImageDescription"] = text;
        return QString();
    }
    if (commented.isEmpty() && (user == exif.end() || userValue)) {
        exif["Exif.Photo.UserComment"] = "charset=Unicode " + text;
        return QString();
    }
    return QStringLiteral("its comment has no place in a %1 beside its image description and "
                          "user comment")
        .arg(QLatin1String(format));
}

// A WebP has no place for IPTC datasets: they go over as the XMP
// properties that stand for them (the IPTC Core of photo editors), where the
// packet does not state those already (a packet and the datasets beside it
// usually say the same; where they differ, the packet is the newer word).
// Returns why some could not go over, or nothing.
QString iptcIntoXmp(Records &records)
{
    if (records.iptc.empty())
        return QString();
    const char *charset = records.iptc.detectCharset();
    if (!charset)
        charset = "ISO-8859-1";
    QStringList unplaced;
    for (const Exiv2::Iptcdatum &datum : records.iptc) {
        // The envelope and the record's version describe the IPTC block
        // itself, not the picture.
        if (datum.recordName() != "Application2" || datum.tagName() == "RecordVersion")
            continue;
        Exiv2::IptcData one;
        one.add(datum);
        Exiv2::XmpData made;
        Exiv2::copyIptcToXmp(one, made, charset);
        const QString name = QString::fromStdString(datum.tagName());
        if (made.empty() && !unplaced.contains(name))
            unplaced << name;
    }
    Exiv2::XmpData converted;
    Exiv2::copyIptcToXmp(records.iptc, converted, charset);
    for (const Exiv2::Xmpdatum &datum : converted)
        if (records.xmp.findKey(Exiv2::XmpKey(datum.key())) == records.xmp.end())
            records.xmp.add(datum);
    records.iptc.clear();
    if (unplaced.isEmpty())
        return QString();
    return QStringLiteral("its IPTC %1 %2 no place in a WEBP")
        .arg(unplaced.join(QStringLiteral(", ")),
            unplaced.size() == 1 ? QStringLiteral("has") : QStringLiteral("have"));
}

// A WebP has no resolution of its own: when it carries EXIF anyway, the
// EXIF states the source's where it states none (dots per inch, as cameras
// write it).
void stateResolutionInExif(Exiv2::ExifData &exif, const Metadata::Resolution &resolution)
{
    const auto stated = std::find_if(exif.begin(), exif.end(), ExifTags::resolutionTag);
    if (exif.empty() || !resolution.known() || stated != exif.end())
        return;
    const auto perInch = [](double perMetre) {
        const double dpi = perMetre * 0.0254;
        return std::abs(dpi - std::round(dpi)) < 0.01
            ? Exiv2::URational(uint32_t(std::lround(dpi)), 1)
            : Exiv2::URational(uint32_t(std::lround(dpi * 100)), 100);
    };
    exif["Exif.Image.XResolution"] = perInch(resolution.xPerMetre);
    exif["Exif.Image.YResolution"] = perInch(resolution.yPerMetre);
    exif["Exif.Image.ResolutionUnit"] = uint16_t(2);
}

// `stub` with `exif`, the IPTC and XMP records (and for a JPEG, the
// profile and comment) written into it by Exiv2.
QByteArray writtenInto(const QByteArray &stub, const Exiv2::ExifData &exif,
    const Exiv2::IptcData &iptc, const Exiv2::XmpData &xmp, const Found &source, bool jpeg)
{
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(
        reinterpret_cast<const Exiv2::byte *>(stub.constData()), long(stub.size()));
    image->readMetadata();
    Exiv2::ExifData all = image->exifData();
    for (const Exiv2::Exifdatum &datum : exif)
        if (all.findKey(Exiv2::ExifKey(datum.key())) == all.end())
            all.add(datum);
    image->setExifData(all);
    image->setIptcData(iptc);
    image->setXmpData(xmp);
    if (jpeg && !source.iccProfile.isEmpty()) {
        Exiv2::DataBuf profile(reinterpret_cast<const Exiv2::byte *>(source.iccProfile.constData()),
            long(source.iccProfile.size()));
        image->setIccProfile(profile, false);
    }
    if (jpeg && !source.comment.isEmpty())
        image->setComment(source.comment.toStdString());
    image->writeMetadata();
    Exiv2::BasicIo &io = image->io();
    io.open();
    const Exiv2::DataBuf written = io.read(long(io.size()));
    io.close();
    if (written.size_ <= 0)
        throw std::runtime_error("nothing was written");
    return QByteArray(reinterpret_cast<const char *>(written.pData_), int(written.size_));
}

// `exif` as a TIFF structure of its own, little-endian, whatever its size
// (Exiv2's writer of EXIF blocks leaves out what does not fit a JPEG's
// segment, for every format).
QByteArray tiffBlock(const Exiv2::ExifData &exif)
{
    Exiv2::MemIo io;
    Exiv2::TiffParser::encode(
        io, nullptr, 0, Exiv2::littleEndian, exif, Exiv2::IptcData(), Exiv2::XmpData());
    QByteArray block(int(io.size()), Qt::Uninitialized);
    io.seek(0, Exiv2::BasicIo::beg);
    if (io.read(reinterpret_cast<Exiv2::byte *>(block.data()), long(block.size())) != block.size())
        throw std::runtime_error("the EXIF block could not be written");
    return block;
}

// `exif` as a JPEG's one EXIF segment holds it: when the block is larger,
// its largest tags are left out until it fits, and `dropped` names them.
QByteArray jpegExifBlock(Exiv2::ExifData exif, QStringList &dropped)
{
    for (;;) {
        const QByteArray block = tiffBlock(exif);
        if (block.size() <= MaxExifBlock)
            return block;
        std::vector<std::pair<long, std::string>> sizes;
        for (const Exiv2::Exifdatum &datum : exif)
            sizes.emplace_back(datum.size(), datum.key());
        std::sort(sizes.rbegin(), sizes.rend());
        qint64 excess = block.size() - MaxExifBlock;
        bool erased = false;
        for (const auto &[size, key] : sizes) {
            const auto datum = exif.findKey(Exiv2::ExifKey(key));
            if (excess <= 0 || datum == exif.end())
                continue;
            dropped << QStringLiteral("%1 (%2 KB)")
                           .arg(QString::fromStdString(datum->tagName()))
                           .arg((size + 1023) / 1024);
            excess -= size + 12;
            exif.erase(datum);
            erased = true;
        }
        if (!erased)
            return QByteArray();
    }
}

QByteArray packetOf(const Exiv2::XmpData &xmp, uint16_t flags)
{
    std::string packet;
    if (Exiv2::XmpParser::encode(packet, xmp, flags) != 0)
        throw std::runtime_error("the XMP packet could not be written");
    return QByteArray::fromStdString(packet);
}

// For a WebP: the EXIF as a TIFF structure and the XMP packet, each to be
// a chunk of its own (a WebP's EXIF chunk has no 64 KB limit).
void webpPieces(const Records &records, Metadata::Source &written)
{
    if (!records.exif.empty())
        written.chunks.push_back({ "EXIF", tiffBlock(records.exif) });
    if (!records.xmp.empty())
        written.chunks.push_back(
            { "XMP ", packetOf(records.xmp, Exiv2::XmpParser::useCompactFormat) });
}

// The property a record belongs to: a structure's fields and an array's
// items stay with it.
std::string propertyOf(const std::string &key)
{
    return key.substr(0, key.find_first_of("[/"));
}

// The XMP packet as a JPEG holds it: in one segment when it fits, else its
// largest properties in an extension, in parts of a segment each, named by
// the digest of its bytes in the packet that keeps the rest.
std::vector<Metadata::Segment> xmpSegments(const Exiv2::XmpData &xmp)
{
    std::vector<Metadata::Segment> segments;
    if (xmp.empty())
        return segments;
    const uint16_t compact = Exiv2::XmpParser::useCompactFormat;
    QByteArray standard = packetOf(xmp, compact), extension, guid;
    std::map<std::string, qint64> sizes;
    for (const Exiv2::Xmpdatum &datum : xmp)
        sizes[propertyOf(datum.key())] += qint64(datum.key().size()) + datum.size() + 32;
    std::vector<std::pair<qint64, std::string>> largest;
    for (const auto &[property, size] : sizes)
        largest.emplace_back(size, property);
    std::sort(largest.rbegin(), largest.rend());
    std::set<std::string> moved;
    qint64 estimate = standard.size();
    for (size_t next = 0; standard.size() > MaxStandardXmp;) {
        // Moves by the estimate, then measures what the toolkit writes.
        while (estimate > MaxStandardXmp - 1024 && next < largest.size()) {
            moved.insert(largest[next].second);
            estimate -= largest[next++].first;
        }
        Exiv2::XmpData kept, extended;
        for (const Exiv2::Xmpdatum &datum : xmp)
            (moved.count(propertyOf(datum.key())) ? extended : kept).add(datum);
        extension = packetOf(extended, compact | Exiv2::XmpParser::omitPacketWrapper);
        guid = QCryptographicHash::hash(extension, QCryptographicHash::Md5).toHex().toUpper();
        kept["Xmp.xmpNote.HasExtendedXMP"] = guid.toStdString();
        standard = packetOf(kept, compact);
        if (standard.size() > MaxStandardXmp && next == largest.size())
            throw std::runtime_error("the XMP packet does not fit a JPEG");
        estimate = standard.size();
    }
    segments.push_back({ 0xe1, XmpSignature + standard });
    for (int offset = 0; offset < extension.size(); offset += ExtensionPart) {
        QByteArray part = ExtensionSignature + guid;
        Bytes::appendBig(part, quint32(extension.size()), 4);
        Bytes::appendBig(part, quint32(offset), 4);
        segments.push_back({ 0xe1, part + extension.mid(offset, ExtensionPart) });
    }
    return segments;
}

// The segments Exiv2 put before the stub's scan.
std::vector<Metadata::Segment> jpegSegments(const QByteArray &jpeg)
{
    std::vector<Metadata::Segment> pieces;
    for (const Metadata::Segment &segment : SourceParts::jpegSegments(jpeg))
        // The JFIF header (APP0) is the encoder's own.
        if ((segment.marker > 0xe0 && segment.marker <= 0xef) || segment.marker == 0xfe)
            pieces.push_back(segment);
    return pieces;
}

// The text chunks Exiv2 put after the stub's header.
std::vector<Metadata::Chunk> pngChunks(const QByteArray &png)
{
    std::vector<Metadata::Chunk> pieces;
    for (qint64 at = 8; at + 12 <= png.size();) {
        const quint32 length = Bytes::big(png, int(at), 4);
        const QByteArray type = png.mid(int(at) + 4, 4);
        if (type == "IDAT" || at + 12 + qint64(length) > png.size())
            break;
        if (type == "tEXt" || type == "zTXt" || type == "iTXt" || type == "eXIf")
            pieces.push_back({ type, png.mid(int(at) + 8, int(length)) });
        at += 12 + length;
    }
    return pieces;
}

// The entries of the directory at `at` of a little-endian TIFF, with their
// values; empty when it is no such directory.
std::vector<Metadata::TiffEntry> tiffDirectory(const QByteArray &tiff, qint64 at)
{
    std::vector<Metadata::TiffEntry> entries;
    if (at < 8 || at + 2 > tiff.size())
        return entries;
    const qint64 count = Bytes::little(tiff, int(at), 2);
    if (at + 2 + 12 * count + 4 > tiff.size())
        return entries;
    for (qint64 k = 0; k < count; ++k) {
        const int entry = int(at + 2 + 12 * k);
        Metadata::TiffEntry read;
        read.tag = quint16(Bytes::little(tiff, entry, 2));
        read.type = quint16(Bytes::little(tiff, entry + 2, 2));
        read.count = Bytes::little(tiff, entry + 4, 4);
        const qint64 size = qint64(TiffTags::typeSize(read.type)) * read.count;
        const qint64 from = size <= 4 ? entry + 8 : qint64(Bytes::little(tiff, entry + 8, 4));
        if (size <= 0 || from + size > tiff.size())
            continue;
        read.value = tiff.mid(int(from), int(size));
        entries.push_back(read);
    }
    return entries;
}

// For a TIF: the first directory's tags from the stub Exiv2 wrote the
// first directory's records (and the IPTC and XMP, which go there) into;
// the EXIF and GPS directories from an EXIF block, which as a TIFF
// structure of its own is right at the start of a file as it is.
void tiffPieces(const Records &records, const Found &source, Metadata::Source &written)
{
    Exiv2::ExifData first, rest;
    for (const Exiv2::Exifdatum &datum : records.exif)
        (datum.groupName() == "Image" ? first : rest).add(datum);
    const QByteArray stub
        = writtenInto(stubTiff(), first, records.iptc, records.xmp, source, false);
    if (stub.startsWith(QByteArray("II*\0", 4)))
        for (const Metadata::TiffEntry &entry : tiffDirectory(stub, Bytes::little(stub, 4, 4)))
            if (!TiffTags::structural(entry.tag))
                written.tiffEntries.push_back(entry);
    if (rest.empty())
        return;
    written.tiffPrefix = tiffBlock(rest);
    for (const Metadata::TiffEntry &entry : tiffDirectory(written.tiffPrefix, 8)) {
        if (entry.type != 4 || entry.count != 1)
            continue;
        if (entry.tag == TiffTags::ExifIfdPointer)
            written.exifIfd = Bytes::little(entry.value, 0, 4);
        else if (entry.tag == TiffTags::GpsIfdPointer)
            written.gpsIfd = Bytes::little(entry.value, 0, 4);
    }
    if (written.exifIfd == 0 && written.gpsIfd == 0)
        written.tiffPrefix.clear();
}

// The pieces of `source` for an output of `output.format` into `written`;
// says in `lost` what could not be carried (all of it when they could not
// be made).
void writePieces(
    const Found &source, const Output &output, Metadata::Source &written, QStringList &lost)
{
    const bool jpeg = output.format == "jpg", png = output.format == "png";
    auto records = std::make_shared<Records>();
    if (source.records)
        *records = *source.records;
    // A PNG's own texts go into a PNG as they are, elsewhere as XMP.
    if (!png)
        lost << OutputRecords::textsAsXmp(source.pngTexts, *records);
    OutputRecords::fit(
        *records, { output.format, output.size, source.resolution, !source.iccProfile.isEmpty() });
    if (output.withoutLocation)
        OutputRecords::withoutLocation(*records);
    const Exiv2::ExifData none;
    try {
        if (jpeg) {
            QStringList dropped;
            const QByteArray exif
                = records->exif.empty() ? QByteArray() : jpegExifBlock(records->exif, dropped);
            if (!exif.isEmpty())
                written.segments.push_back({ 0xe1, ExifSignature + exif });
            if (!dropped.isEmpty())
                lost << QStringLiteral("its EXIF %1 did not fit into a JPEG's one EXIF segment "
                                       "of 64 KB")
                            .arg(dropped.join(QStringLiteral(", ")));
            for (const Metadata::Segment &segment : xmpSegments(records->xmp))
                written.segments.push_back(segment);
            if (!records->iptc.empty() || !source.comment.isEmpty() || !source.iccProfile.isEmpty())
                for (const Metadata::Segment &segment : jpegSegments(writtenInto(
                         stubJpeg(), none, records->iptc, Exiv2::XmpData(), source, true)))
                    written.segments.push_back(segment);
        } else if (png) {
            if (!records->exif.empty())
                written.chunks.push_back({ "eXIf", tiffBlock(records->exif) });
            if (!records->iptc.empty() || !records->xmp.empty())
                for (const Metadata::Chunk &chunk : pngChunks(
                         writtenInto(stubPng(), none, records->iptc, records->xmp, source, false)))
                    written.chunks.push_back(chunk);
            bool commented = false;
            for (const MetadataReader::PngText &text : source.pngTexts) {
                written.chunks.push_back(text.chunk);
                commented = commented || text.keyword == QLatin1String("Comment");
            }
            // PNG readers show the text "Comment" as the comment (Exiv2
            // would name it "Description").
            if (!source.comment.isEmpty() && !commented)
                written.chunks.push_back({ "iTXt",
                    QByteArray("Comment\0\0\0\0\0", 12) + commentText(source.comment).toUtf8() });
        } else if (output.format == "tif") {
            if (!source.comment.isEmpty())
                lost << placeCommentInExif(records->exif, source.comment, "TIF");
            if (!records->exif.empty() || !records->iptc.empty() || !records->xmp.empty())
                tiffPieces(*records, source, written);
        } else if (output.format == "webp") {
            if (!source.comment.isEmpty())
                lost << placeCommentInExif(records->exif, source.comment, "WEBP");
            lost << iptcIntoXmp(*records);
            stateResolutionInExif(records->exif, source.resolution);
            webpPieces(*records, written);
        }
    } catch (const std::exception &e) {
        written.segments.clear();
        written.chunks.clear();
        written.tiffPrefix.clear();
        written.exifIfd = written.gpsIfd = 0;
        written.tiffEntries.clear();
        lost = QStringList(QString::fromStdString(e.what()));
    }
    lost.removeAll(QString());
}

} // namespace

Output outputFor(const Metadata::Wanted &wanted, QSize picture)
{
    Output output;
    output.format = Metadata::formatOf(wanted.suffix);
    output.size = ResizeRule::resized(picture, wanted.resize);
    output.keep = wanted.keep;
    output.withoutLocation = wanted.withoutLocation;
    return output;
}

Metadata::Source write(const Found &found, const Output &output)
{
    Found kept = found;
    if (!output.keep) {
        // Stripping leaves out the records, the colour profile, the comment
        // and the texts; the resolution says how large to print and stays.
        kept.records.reset();
        kept.iccProfile.clear();
        kept.comment.clear();
        kept.pngTexts.clear();
        kept.problem.clear();
    }
    Metadata::Source written;
    written.format = output.format;
    written.size = output.size;
    written.resolution = kept.resolution;
    // A JPEG's profile is among its segments.
    if (output.format != "jpg")
        written.iccProfile = kept.iccProfile;
    QStringList lost;
    writePieces(kept, output, written, lost);
    if (!kept.problem.isEmpty())
        lost.prepend(kept.problem);
    written.problem = lost.join(QStringLiteral("; "));
    return written;
}

Metadata::Source problem(const Output &output, const QString &why)
{
    Found found;
    found.problem = why;
    return write(found, output);
}

} // namespace OutputMetadata
