// SPDX-License-Identifier: GPL-3.0-or-later
#include "decoder/metadatareader.h"

#include <QDataStream>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTextCodec>
#include <QXmlStreamReader>
#include <QtEndian>

#include <libheif/heif.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <vector>

#include "common/decoderprotocol.h"
#include "common/tifftags.h"
#include "decoder/exiftags.h"

namespace MetadataReader {

namespace {

// Pixels per metre as the source states them; 0 when it states none.
struct Resolution
{
    double xPerMetre = 0;
    double yPerMetre = 0;
    bool known() const { return xPerMetre > 0 && yPerMetre > 0; }
};

struct Records
{
    Exiv2::ExifData exif;
    Exiv2::IptcData iptc;
    Exiv2::XmpData xmp;
};

struct Source
{
    std::shared_ptr<const Records> records; // null when the source had none
    QByteArray iccProfile; // an RGB profile; empty when the source had none
    Resolution resolution;
    QByteArray comment; // the JPEG comment, as its bytes
    // Why some or all of the metadata could not be read; empty when it all
    // could. The records hold whatever could.
    QString problem;
};

void addProblem(Source &source, const QString &why)
{
    if (!source.problem.isEmpty())
        source.problem += QStringLiteral("; ");
    source.problem += why;
}

quint32 bigEndian(const QByteArray &bytes, int at, int width)
{
    quint32 value = 0;
    for (int k = 0; k < width; ++k)
        value = (value << 8) | quint8(bytes.at(at + k));
    return value;
}

quint32 littleEndian(const QByteArray &bytes, int at, int width)
{
    quint32 value = 0;
    for (int k = width - 1; k >= 0; --k)
        value = (value << 8) | quint8(bytes.at(at + k));
    return value;
}

// The resolution a file states in its own header, where the format keeps it
// outside EXIF: JFIF's density, PNG's pHYs chunk, the BMP info header.
Resolution headerResolution(const QByteArray &bytes)
{
    Resolution resolution;
    if (bytes.startsWith("\xff\xd8\xff\xe0") && bytes.size() >= 18
        && bytes.mid(6, 5) == QByteArray("JFIF\0", 5)) {
        const quint32 unit = quint8(bytes.at(13));
        const double perUnit = unit == 1 ? 1 / 0.0254 : unit == 2 ? 100.0 : 0;
        resolution.xPerMetre = bigEndian(bytes, 14, 2) * perUnit;
        resolution.yPerMetre = bigEndian(bytes, 16, 2) * perUnit;
    } else if (bytes.startsWith("\x89PNG\r\n\x1a\n")) {
        for (qint64 at = 8; at + 12 <= bytes.size();) {
            const quint32 length = bigEndian(bytes, int(at), 4);
            const QByteArray type = bytes.mid(int(at) + 4, 4);
            if (type == "IDAT" || at + 12 + qint64(length) > bytes.size())
                break;
            if (type == "pHYs" && length == 9 && bytes.at(int(at) + 16) == 1) {
                resolution.xPerMetre = bigEndian(bytes, int(at) + 8, 4);
                resolution.yPerMetre = bigEndian(bytes, int(at) + 12, 4);
            }
            at += 12 + length;
        }
    } else if (bytes.startsWith("BM") && bytes.size() >= 46 && littleEndian(bytes, 14, 4) >= 40) {
        resolution.xPerMetre = qint32(littleEndian(bytes, 38, 4));
        resolution.yPerMetre = qint32(littleEndian(bytes, 42, 4));
    }
    if (!resolution.known())
        resolution = Resolution();
    return resolution;
}

// Whether an ICC profile's header and tag table hold together: the size it
// states is there, it carries the profile signature, and every tag lies
// inside it. (Whether a viewer supports its kind is the viewer's business.)
bool soundProfile(const QByteArray &profile)
{
    if (profile.size() < 132 || profile.mid(36, 4) != "acsp")
        return false;
    const qint64 size = bigEndian(profile, 0, 4);
    const qint64 tags = bigEndian(profile, 128, 4);
    if (size < 132 || size > profile.size() || 132 + 12 * tags > size)
        return false;
    for (qint64 k = 0; k < tags; ++k) {
        const int at = int(132 + 12 * k);
        if (qint64(bigEndian(profile, at + 4, 4)) + bigEndian(profile, at + 8, 4) > size)
            return false;
    }
    return true;
}

Resolution exifResolution(const Exiv2::ExifData &exif)
{
    Resolution resolution;
    const auto x = exif.findKey(Exiv2::ExifKey("Exif.Image.XResolution"));
    const auto y = exif.findKey(Exiv2::ExifKey("Exif.Image.YResolution"));
    if (x == exif.end() || y == exif.end() || x->count() == 0 || y->count() == 0)
        return resolution;
    const auto unit = exif.findKey(Exiv2::ExifKey("Exif.Image.ResolutionUnit"));
    const long code = unit != exif.end() && unit->count() > 0 ? unit->toLong() : 2;
    const double perUnit = code == 2 ? 1 / 0.0254 : code == 3 ? 100.0 : 0;
    resolution.xPerMetre = x->toFloat() * perUnit;
    resolution.yPerMetre = y->toFloat() * perUnit;
    if (!resolution.known())
        resolution = Resolution();
    return resolution;
}

// The packet without the second and later occurrences of a property. Capture
// One and digiKam write packets that state some properties twice (the
// thumbnail's resolution after the picture's, the same digest twice); the
// XMP toolkit refuses such a packet whole ("Duplicate property or field
// node"), although every value in it is readable. The first occurrence is
// the picture's own, so it is the one kept. Everything else stays as the
// source wrote it, cut out of the text rather than written anew. Empty when
// the packet is no well-formed XML.
QString withoutRepeatedProperties(const QString &packet)
{
    static const QString rdf = QStringLiteral("http://www.w3.org/1999/02/22-rdf-syntax-ns#");
    struct Open
    {
        bool holder = false; // its children are properties or fields
        bool top = false; // a description directly under rdf:RDF
        bool root = false; // rdf:RDF itself
        QSet<QString> names; // the names seen among them (nested holders)
    };
    // Every top-level description describes the same resource; the toolkit
    // merges them, so a name repeated in another one is a repeat too.
    QSet<QString> topNames;
    std::vector<Open> open;
    std::vector<std::pair<qint64, qint64>> cuts;
    QXmlStreamReader reader(packet);
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::EndElement) {
            open.pop_back();
        } else if (token == QXmlStreamReader::StartElement) {
            const QString name = reader.namespaceUri() + reader.name();
            if (!open.empty() && open.back().holder) {
                QSet<QString> &seen = open.back().top ? topNames : open.back().names;
                if (seen.contains(name)) {
                    // Its start tag ends here, and a '<' can stand nowhere
                    // inside a tag.
                    const int start
                        = packet.lastIndexOf(QLatin1Char('<'), int(reader.characterOffset()) - 1);
                    reader.skipCurrentElement();
                    cuts.emplace_back(start, reader.characterOffset());
                    continue;
                }
                seen.insert(name);
            }
            Open element;
            const bool inRdf = reader.namespaceUri() == rdf;
            const bool description = inRdf && reader.name() == QLatin1String("Description");
            element.root = inRdf && reader.name() == QLatin1String("RDF");
            element.holder = description
                || reader.attributes().value(rdf, QStringLiteral("parseType"))
                    == QLatin1String("Resource");
            element.top = description && !open.empty() && open.back().root;
            open.push_back(element);
        }
    }
    if (reader.hasError())
        return QString();
    QString repaired = packet;
    std::sort(cuts.begin(), cuts.end());
    for (auto cut = cuts.rbegin(); cut != cuts.rend(); ++cut)
        repaired.remove(int(cut->first), int(cut->second - cut->first));
    return repaired;
}

// The records of an XMP packet as the source wrote it, into `xmp`; says in
// `source` when they could not be read.
void readXmp(const std::string &packet, Exiv2::XmpData &xmp, Source &source)
{
    xmp.clear();
    if (packet.empty() || Exiv2::XmpParser::decode(xmp, packet) == 0)
        return;
    xmp.clear();
    const QString repaired = withoutRepeatedProperties(QString::fromStdString(packet));
    if (!repaired.isEmpty() && Exiv2::XmpParser::decode(xmp, repaired.toStdString()) == 0)
        return;
    xmp.clear();
    addProblem(source, QStringLiteral("its XMP packet is malformed"));
}

// Whether the first directory of an EXIF block (a TIFF structure) or a
// value it points to reaches past the block's end: Exiv2 reads what it can of
// such a block and drops the rest without a word.
bool exifCutShort(const QByteArray &tiff)
{
    const bool little = tiff.startsWith("II");
    if (tiff.size() < 8 || (!little && !tiff.startsWith("MM")))
        return true;
    const auto number = [&](qint64 at, int width) -> qint64 {
        if (at < 0 || at + width > tiff.size())
            return -1;
        return little ? littleEndian(tiff, int(at), width) : bigEndian(tiff, int(at), width);
    };
    const qint64 directory = number(4, 4);
    const qint64 entries = number(directory, 2);
    if (entries < 0 || directory + 2 + entries * 12 + 4 > tiff.size())
        return true;
    static const int typeBytes[] = { 0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8 };
    for (qint64 k = 0; k < entries; ++k) {
        const qint64 entry = directory + 2 + k * 12;
        const qint64 type = number(entry + 2, 2);
        const qint64 bytes = (type >= 1 && type <= 12 ? typeBytes[type] : 0) * number(entry + 4, 4);
        if (bytes > 4 && number(entry + 8, 4) + bytes > tiff.size())
            return true;
    }
    return false;
}

// Whether the EXIF segment of a JPEG beginning with `bytes` is cut short
// (see above); false when it has none.
bool jpegExifCutShort(const QByteArray &bytes)
{
    if (!bytes.startsWith("\xff\xd8"))
        return false;
    for (int at = 2; at + 10 <= bytes.size() && quint8(bytes.at(at)) == 0xff;) {
        const int marker = quint8(bytes.at(at + 1));
        const int length = int(bigEndian(bytes, at + 2, 2));
        if (marker == 0xda || marker == 0xd9)
            break;
        if (marker == 0xe1 && bytes.mid(at + 4, 6) == QByteArray("Exif\0\0", 6))
            return exifCutShort(bytes.mid(at + 10, length - 8));
        at += 2 + length;
    }
    return false;
}

// A HEIF or AVIF file: its EXIF and XMP items and its colour profile, as
// libheif finds them. Exiv2 would read the container as a QuickTime movie
// and describe its boxes as XMP of its own making; none of that is the
// photo's, so Exiv2 never sees these files.
Source heifSource(const QByteArray &bytes, const std::shared_ptr<Records> &records)
{
    Source source;
    std::unique_ptr<heif_context, void (*)(heif_context *)> context(
        heif_context_alloc(), heif_context_free);
    heif_image_handle *primary = nullptr;
    heif_error error = heif_context_read_from_memory_without_copy(
        context.get(), bytes.constData(), size_t(bytes.size()), nullptr);
    if (error.code == heif_error_Ok)
        error = heif_context_get_primary_image_handle(context.get(), &primary);
    if (error.code != heif_error_Ok) {
        addProblem(source,
            QStringLiteral("its container could not be read: %1")
                .arg(QString::fromUtf8(error.message)));
        return source;
    }
    std::unique_ptr<heif_image_handle, void (*)(const heif_image_handle *)> handle(
        primary, heif_image_handle_release);

    const heif_color_profile_type profileType
        = heif_image_handle_get_color_profile_type(handle.get());
    if (profileType == heif_color_profile_type_prof
        || profileType == heif_color_profile_type_rICC) {
        QByteArray profile(int(heif_image_handle_get_raw_color_profile_size(handle.get())), '\0');
        if (!profile.isEmpty()
            && heif_image_handle_get_raw_color_profile(handle.get(), profile.data()).code
                == heif_error_Ok)
            source.iccProfile = profile;
    }

    const int count = heif_image_handle_get_number_of_metadata_blocks(handle.get(), nullptr);
    std::vector<heif_item_id> ids(size_t(std::max(count, 0)));
    heif_image_handle_get_list_of_metadata_block_IDs(handle.get(), nullptr, ids.data(), count);
    for (const heif_item_id id : ids) {
        const std::string type = heif_image_handle_get_metadata_type(handle.get(), id);
        const std::string content = heif_image_handle_get_metadata_content_type(handle.get(), id);
        QByteArray item(int(heif_image_handle_get_metadata_size(handle.get(), id)), '\0');
        if (heif_image_handle_get_metadata(handle.get(), id, item.data()).code != heif_error_Ok) {
            addProblem(source,
                QStringLiteral("its %1 item could not be read").arg(QString::fromStdString(type)));
            continue;
        }
        if (type == "Exif") {
            // The TIFF structure follows a 4-byte offset to its header
            // (usually 6: past "Exif\0\0").
            const qint64 start = item.size() >= 4 ? 4 + qint64(bigEndian(item, 0, 4)) : -1;
            if (start < 4 || start + 8 > item.size() || exifCutShort(item.mid(int(start)))) {
                addProblem(source, QStringLiteral("its EXIF is cut short"));
                continue;
            }
            try {
                Exiv2::ExifParser::decode(records->exif,
                    reinterpret_cast<const Exiv2::byte *>(item.constData() + start),
                    uint32_t(item.size() - start));
            } catch (const std::exception &e) {
                records->exif.clear();
                addProblem(source, QString::fromStdString(e.what()));
            }
        } else if (type == "mime" && content == "application/rdf+xml") {
            readXmp(item.toStdString(), records->xmp, source);
        }
    }
    return source;
}

// Whether libheif, not Exiv2, reads the metadata of a file beginning with
// `bytes`: an ISO media file of the still picture kinds.
bool heifContainer(const QByteArray &bytes)
{
    if (bytes.mid(4, 4) != "ftyp")
        return false;
    const heif_filetype_result kind = heif_check_filetype(
        reinterpret_cast<const uint8_t *>(bytes.constData()), int(qMin(bytes.size(), 64)));
    return kind == heif_filetype_yes_supported || kind == heif_filetype_yes_unsupported;
}

Source parse(const QByteArray &bytes)
{
    ExifTags::prepareExiv2();
    Source source;
    if (bytes.isEmpty())
        return source;
    auto records = std::make_shared<Records>();
    try {
        if (heifContainer(bytes)) {
            source = heifSource(bytes, records);
        } else {
            source.resolution = headerResolution(bytes);
            Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(
                reinterpret_cast<const Exiv2::byte *>(bytes.constData()), long(bytes.size()));
            image->readMetadata();
            records->exif = image->exifData();
            if (jpegExifCutShort(bytes))
                addProblem(source, QStringLiteral("its EXIF is cut short"));
            records->iptc = image->iptcData();
            // Exiv2 drops a packet the XMP toolkit refuses without a word;
            // the packet's text is still there to be read again.
            records->xmp = image->xmpData();
            if (records->xmp.empty())
                readXmp(image->xmpPacket(), records->xmp, source);
            source.comment = QByteArray::fromStdString(image->comment());
            if (image->iccProfileDefined()) {
                const Exiv2::DataBuf *icc = image->iccProfile();
                source.iccProfile
                    = QByteArray(reinterpret_cast<const char *>(icc->pData_), int(icc->size_));
            }
        }
        // A TIFF keeps its profile among the EXIF tags; it travels on its own.
        const auto tiffProfile
            = records->exif.findKey(Exiv2::ExifKey("Exif.Image.InterColorProfile"));
        if (tiffProfile != records->exif.end()) {
            if (source.iccProfile.isEmpty()) {
                QByteArray profile(int(tiffProfile->size()), Qt::Uninitialized);
                tiffProfile->copy(
                    reinterpret_cast<Exiv2::byte *>(profile.data()), Exiv2::invalidByteOrder);
                source.iccProfile = profile;
            }
            records->exif.erase(tiffProfile);
        }
    } catch (const Exiv2::AnyError &e) {
        // Formats without any metadata (BMP's kin, PNM, Sun raster, XBM,
        // XPM, JPEG XL) are not Exiv2's: nothing to carry, nothing to say.
        if (e.code() != Exiv2::kerFileContainsUnknownImageType
            && e.code() != Exiv2::kerMemoryContainsUnknownImageType)
            addProblem(source, QString::fromStdString(e.what()));
    } catch (const std::exception &e) {
        addProblem(source, QString::fromStdString(e.what()));
    }
    // The output is always RGB: a CMYK or grey profile would make viewers
    // misread its pixels, which are not converted.
    if (source.iccProfile.mid(16, 4) != "RGB ")
        source.iccProfile.clear();
    // A profile whose own structure does not hold together would mislead
    // every viewer that reads it: the picture goes without it, and says so.
    if (!source.iccProfile.isEmpty() && !soundProfile(source.iccProfile)) {
        source.iccProfile.clear();
        addProblem(source, QStringLiteral("its colour profile is damaged"));
    }
    if (!source.resolution.known())
        source.resolution = exifResolution(records->exif);
    if (!records->exif.empty() || !records->iptc.empty() || !records->xmp.empty())
        source.records = records;
    return source;
}

// ---- the metadata written for the output ----

struct Piece
{
    quint32 code = 0; // a JPEG marker, or a PNG chunk type as a big-endian number
    QByteArray bytes;
};

struct TiffEntry
{
    quint16 tag = 0;
    quint16 type = 0;
    quint32 count = 0;
    QByteArray value; // little-endian
};

struct Written
{
    std::vector<Piece> pieces;
    QByteArray prefix;
    quint32 exifIfd = 0;
    quint32 gpsIfd = 0;
    std::vector<TiffEntry> entries;
};

template <typename Data, typename Key, typename Value>
void replaceIfPresent(Data &data, const char *key, const Value &value)
{
    const auto found = data.findKey(Key(key));
    if (found != data.end())
        found->setValue(value);
}

// The comment as text: UTF-8 when its bytes are, otherwise Latin-1 (what
// older writers put there).
QString commentText(const QByteArray &comment)
{
    QTextCodec::ConverterState state;
    const QString text
        = QTextCodec::codecForName("UTF-8")->toUnicode(comment.constData(), comment.size(), &state);
    return state.invalidChars == 0 ? text : QString::fromLatin1(comment);
}

void appendBig32(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToBigEndian(value, bytes);
    out.append(bytes, 4);
}

void appendChunk(QByteArray &png, const QByteArray &type, const QByteArray &data)
{
    appendBig32(png, quint32(data.size()));
    const QByteArray body = type + data;
    png.append(body);
    appendBig32(png,
        quint32(crc32(0L, reinterpret_cast<const Bytef *>(body.constData()), uInt(body.size()))));
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
        char bytes[12] = {};
        qToLittleEndian(tag, bytes);
        qToLittleEndian(type, bytes + 2);
        qToLittleEndian(quint32(1), bytes + 4);
        if (type == 3)
            qToLittleEndian(quint16(value), bytes + 8);
        else
            qToLittleEndian(value, bytes + 8);
        tiff.append(bytes, 12);
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

// The records as the output keeps them: nothing that described the
// source's pixels or shows the picture as it was, the orientation 1 (the
// pixels are turned already) and the output's size.
void fitForOutput(Records &records, QSize size, bool tiff)
{
    Exiv2::ExifData &exif = records.exif;
    for (auto datum = exif.begin(); datum != exif.end();)
        datum = ExifTags::structureTag(*datum) || ExifTags::previewTag(*datum)
                || (tiff && ExifTags::resolutionTag(*datum))
            ? exif.erase(datum)
            : std::next(datum);
    replaceIfPresent<Exiv2::ExifData, Exiv2::ExifKey>(exif, "Exif.Image.Orientation", "1");
    replaceIfPresent<Exiv2::ExifData, Exiv2::ExifKey>(
        exif, "Exif.Photo.PixelXDimension", std::to_string(size.width()));
    replaceIfPresent<Exiv2::ExifData, Exiv2::ExifKey>(
        exif, "Exif.Photo.PixelYDimension", std::to_string(size.height()));
    replaceIfPresent<Exiv2::ExifData, Exiv2::ExifKey>(
        exif, "Exif.Image.ImageWidth", std::to_string(size.width()));
    replaceIfPresent<Exiv2::ExifData, Exiv2::ExifKey>(
        exif, "Exif.Image.ImageLength", std::to_string(size.height()));

    Exiv2::IptcData iptc;
    for (const Exiv2::Iptcdatum &datum : records.iptc)
        if (datum.tagName().rfind("Preview", 0) != 0)
            iptc.add(datum);
    records.iptc = iptc;

    Exiv2::XmpData xmp;
    for (const Exiv2::Xmpdatum &datum : records.xmp)
        if (datum.key().rfind("Xmp.xmp.Thumbnails", 0) != 0)
            xmp.add(datum);
    replaceIfPresent<Exiv2::XmpData, Exiv2::XmpKey>(xmp, "Xmp.tiff.Orientation", "1");
    for (const auto &dimension : { std::make_pair("Xmp.exif.PixelXDimension", size.width()),
             std::make_pair("Xmp.exif.PixelYDimension", size.height()),
             std::make_pair("Xmp.tiff.ImageWidth", size.width()),
             std::make_pair("Xmp.tiff.ImageLength", size.height()) })
        replaceIfPresent<Exiv2::XmpData, Exiv2::XmpKey>(
            xmp, dimension.first, std::to_string(dimension.second));
    records.xmp = xmp;
}

void withoutLocation(Records &records)
{
    for (auto datum = records.exif.begin(); datum != records.exif.end();)
        datum = datum->groupName() == "GPSInfo" || datum->key() == "Exif.Image.GPSTag"
            ? records.exif.erase(datum)
            : std::next(datum);
    for (auto datum = records.xmp.begin(); datum != records.xmp.end();)
        datum = datum->key().rfind("Xmp.exif.GPS", 0) == 0 ? records.xmp.erase(datum)
                                                           : std::next(datum);
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
void stateResolutionInExif(Exiv2::ExifData &exif, const Resolution &resolution)
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

// For a WebP: the EXIF as a TIFF structure and the XMP packet, each to be
// a chunk of its own.
void webpPieces(const Records &records, Written &written)
{
    if (!records.exif.empty()) {
        Exiv2::Blob blob;
        Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, records.exif);
        if (!blob.empty())
            written.pieces.push_back({ bigEndian("EXIF", 0, 4),
                QByteArray(reinterpret_cast<const char *>(blob.data()), int(blob.size())) });
    }
    if (!records.xmp.empty()) {
        std::string packet;
        if (Exiv2::XmpParser::encode(packet, records.xmp, Exiv2::XmpParser::useCompactFormat) != 0)
            throw std::runtime_error("its XMP packet could not be written");
        written.pieces.push_back({ bigEndian("XMP ", 0, 4), QByteArray::fromStdString(packet) });
    }
}

// `stub` with the records (and for a JPEG, the profile and comment) written
// into it by Exiv2.
QByteArray writtenInto(const QByteArray &stub, const Records &records, const Source &source,
    bool jpeg, const Exiv2::ExifData &exif)
{
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(
        reinterpret_cast<const Exiv2::byte *>(stub.constData()), long(stub.size()));
    image->readMetadata();
    Exiv2::ExifData all = image->exifData();
    for (const Exiv2::Exifdatum &datum : exif)
        if (all.findKey(Exiv2::ExifKey(datum.key())) == all.end())
            all.add(datum);
    image->setExifData(all);
    image->setIptcData(records.iptc);
    image->setXmpData(records.xmp);
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

// The segments Exiv2 put before the stub's scan.
std::vector<Piece> jpegSegments(const QByteArray &jpeg)
{
    std::vector<Piece> pieces;
    for (int at = 2; at + 4 <= jpeg.size() && quint8(jpeg.at(at)) == 0xff;) {
        const quint32 marker = quint8(jpeg.at(at + 1));
        const int length = int(bigEndian(jpeg, at + 2, 2));
        if (marker == 0xda || length < 2 || at + 2 + length > jpeg.size())
            break;
        // The JFIF header (APP0) is the encoder's own.
        if ((marker > 0xe0 && marker <= 0xef) || marker == 0xfe)
            pieces.push_back({ marker, jpeg.mid(at + 4, length - 2) });
        at += 2 + length;
    }
    return pieces;
}

// The text chunks Exiv2 put after the stub's header.
std::vector<Piece> pngChunks(const QByteArray &png)
{
    std::vector<Piece> pieces;
    for (qint64 at = 8; at + 12 <= png.size();) {
        const quint32 length = bigEndian(png, int(at), 4);
        const QByteArray type = png.mid(int(at) + 4, 4);
        if (type == "IDAT" || at + 12 + qint64(length) > png.size())
            break;
        if (type == "tEXt" || type == "zTXt" || type == "iTXt" || type == "eXIf")
            pieces.push_back({ bigEndian(type, 0, 4), png.mid(int(at) + 8, int(length)) });
        at += 12 + length;
    }
    return pieces;
}

// The entries of the directory at `at` of a little-endian TIFF, with their
// values; empty when it is no such directory.
std::vector<TiffEntry> tiffDirectory(const QByteArray &tiff, qint64 at)
{
    std::vector<TiffEntry> entries;
    if (at < 8 || at + 2 > tiff.size())
        return entries;
    const qint64 count = littleEndian(tiff, int(at), 2);
    if (at + 2 + 12 * count + 4 > tiff.size())
        return entries;
    for (qint64 k = 0; k < count; ++k) {
        const int entry = int(at + 2 + 12 * k);
        TiffEntry read;
        read.tag = quint16(littleEndian(tiff, entry, 2));
        read.type = quint16(littleEndian(tiff, entry + 2, 2));
        read.count = littleEndian(tiff, entry + 4, 4);
        const qint64 size = qint64(TiffTags::typeSize(read.type)) * read.count;
        const qint64 from = size <= 4 ? entry + 8 : qint64(littleEndian(tiff, entry + 8, 4));
        if (size <= 0 || from + size > tiff.size())
            continue;
        read.value = tiff.mid(int(from), int(size));
        entries.push_back(read);
    }
    return entries;
}

// For a TIF: the first directory's tags from the stub Exiv2 wrote the
// first directory's records (and the IPTC and XMP, which go there) into;
// the EXIF and GPS directories from Exiv2's own EXIF block, which as a
// TIFF structure of its own is right at the start of a file as it is.
void tiffPieces(const Records &records, const Source &source, Written &written)
{
    Exiv2::ExifData first, rest;
    for (const Exiv2::Exifdatum &datum : records.exif)
        (datum.groupName() == "Image" ? first : rest).add(datum);
    const QByteArray stub = writtenInto(stubTiff(), records, source, false, first);
    if (stub.startsWith(QByteArray("II*\0", 4)))
        for (const TiffEntry &entry : tiffDirectory(stub, littleEndian(stub, 4, 4)))
            if (!TiffTags::structural(entry.tag))
                written.entries.push_back(entry);
    if (rest.empty())
        return;
    Exiv2::Blob blob;
    Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, rest);
    written.prefix = QByteArray(reinterpret_cast<const char *>(blob.data()), int(blob.size()));
    for (const TiffEntry &entry : tiffDirectory(written.prefix, 8)) {
        if (entry.type != 4 || entry.count != 1)
            continue;
        if (entry.tag == TiffTags::ExifIfdPointer)
            written.exifIfd = littleEndian(entry.value, 0, 4);
        else if (entry.tag == TiffTags::GpsIfdPointer)
            written.gpsIfd = littleEndian(entry.value, 0, 4);
    }
    if (written.exifIfd == 0 && written.gpsIfd == 0)
        written.prefix.clear();
}

// The pieces of `source` for an output of `output.format`; says in
// `problem` why they could not be made (nothing is carried then).
Written write(Source source, const MetadataReader::Output &output, QString &problem)
{
    Written written;
    const bool tiff = output.format == "tif";
    auto records = std::make_shared<Records>();
    if (source.records)
        *records = *source.records;
    fitForOutput(*records, output.size, tiff);
    if (output.withoutLocation)
        withoutLocation(*records);
    const bool any = !records->exif.empty() || !records->iptc.empty() || !records->xmp.empty();
    try {
        if (output.format == "jpg") {
            if (any || !source.comment.isEmpty() || !source.iccProfile.isEmpty())
                written.pieces
                    = jpegSegments(writtenInto(stubJpeg(), *records, source, true, records->exif));
        } else if (output.format == "png") {
            if (any)
                written.pieces
                    = pngChunks(writtenInto(stubPng(), *records, source, false, records->exif));
            // PNG readers show the text "Comment" as the comment (Exiv2
            // would name it "Description").
            if (!source.comment.isEmpty())
                written.pieces.push_back({ bigEndian("iTXt", 0, 4),
                    QByteArray("Comment\0\0\0\0\0", 12) + commentText(source.comment).toUtf8() });
        } else if (tiff) {
            QString lost;
            if (!source.comment.isEmpty())
                lost = placeCommentInExif(records->exif, source.comment, "TIF");
            if (!records->exif.empty() || !records->iptc.empty() || !records->xmp.empty())
                tiffPieces(*records, source, written);
            problem = lost;
        } else if (output.format == "webp") {
            QStringList lost;
            if (!source.comment.isEmpty())
                lost << placeCommentInExif(records->exif, source.comment, "WEBP");
            lost << iptcIntoXmp(*records);
            stateResolutionInExif(records->exif, source.resolution);
            webpPieces(*records, written);
            lost.removeAll(QString());
            problem = lost.join(QStringLiteral("; "));
        }
    } catch (const std::exception &e) {
        written = Written();
        problem = QString::fromStdString(e.what());
    }
    return written;
}

QByteArray pack(const Source &source, const MetadataReader::Output &output)
{
    Source kept = source;
    if (!output.keep) {
        // Stripping leaves out the records, the colour profile and the
        // comment; the resolution says how large to print and stays.
        kept.records.reset();
        kept.iccProfile.clear();
        kept.comment.clear();
        kept.problem.clear();
    }
    QString problem = kept.problem;
    QString lost;
    const Written written = write(kept, output, lost);
    if (!lost.isEmpty())
        problem = problem.isEmpty() ? lost : problem + QStringLiteral("; ") + lost;
    // A JPEG's profile is among its segments.
    const QByteArray icc = output.format == "jpg" ? QByteArray() : kept.iccProfile;

    QByteArray packed;
    QDataStream out(&packed, QIODevice::WriteOnly);
    out << QString::fromLatin1(output.format) << qint32(output.size.width())
        << qint32(output.size.height()) << kept.resolution.xPerMetre << kept.resolution.yPerMetre
        << icc << problem.left(DecoderProtocol::MaxErrorText) << quint32(written.pieces.size());
    for (const Piece &piece : written.pieces)
        out << piece.code << piece.bytes;
    out << written.prefix << written.exifIfd << written.gpsIfd << quint32(written.entries.size());
    for (const TiffEntry &entry : written.entries)
        out << quint32(entry.tag) << quint32(entry.type) << entry.count << entry.value;
    return packed;
}

} // namespace

void prepare()
{
    ExifTags::prepareExiv2();
    // libheif looks for its plug-ins once, on first use; the fence would
    // refuse it the folder.
    heif_init(nullptr);
}

QByteArray read(const QByteArray &bytes, const Output &output)
{
    return pack(parse(bytes), output);
}

QByteArray problem(const Output &output, const QString &why)
{
    Source source;
    source.problem = why;
    return pack(source, output);
}

} // namespace MetadataReader
