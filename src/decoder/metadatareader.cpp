// SPDX-License-Identifier: GPL-3.0-or-later
#include "decoder/metadatareader.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <QXmlStreamReader>

#include <libheif/heif.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "common/bytes.h"
#include "common/iccprofile.h"
#include "decoder/exiftags.h"
#include "decoder/sourceparts.h"

namespace MetadataReader {

namespace {

void addProblem(Found &source, const QString &why)
{
    if (!source.problem.isEmpty())
        source.problem += QStringLiteral("; ");
    source.problem += why;
}

// The resolution a file states in its own header, where the format keeps it
// outside EXIF: JFIF's density, PNG's pHYs chunk, the BMP info header.
Metadata::Resolution headerResolution(const QByteArray &bytes)
{
    Metadata::Resolution resolution;
    if (bytes.startsWith("\xff\xd8\xff\xe0") && bytes.size() >= 18
        && bytes.mid(6, 5) == QByteArray("JFIF\0", 5)) {
        const quint32 unit = quint8(bytes.at(13));
        const double perUnit = unit == 1 ? 1 / 0.0254 : unit == 2 ? 100.0 : 0;
        resolution.xPerMetre = Bytes::big(bytes, 14, 2) * perUnit;
        resolution.yPerMetre = Bytes::big(bytes, 16, 2) * perUnit;
    } else if (bytes.startsWith("\x89PNG\r\n\x1a\n")) {
        for (qint64 at = 8; at + 12 <= bytes.size();) {
            const quint32 length = Bytes::big(bytes, int(at), 4);
            const QByteArray type = bytes.mid(int(at) + 4, 4);
            if (type == "IDAT" || at + 12 + qint64(length) > bytes.size())
                break;
            if (type == "pHYs" && length == 9 && bytes.at(int(at) + 16) == 1) {
                resolution.xPerMetre = Bytes::big(bytes, int(at) + 8, 4);
                resolution.yPerMetre = Bytes::big(bytes, int(at) + 12, 4);
            }
            at += 12 + length;
        }
    } else if (bytes.startsWith("BM") && bytes.size() >= 46 && Bytes::little(bytes, 14, 4) >= 40) {
        resolution.xPerMetre = qint32(Bytes::little(bytes, 38, 4));
        resolution.yPerMetre = qint32(Bytes::little(bytes, 42, 4));
    }
    if (!resolution.known())
        resolution = Metadata::Resolution();
    return resolution;
}

Metadata::Resolution exifResolution(const Exiv2::ExifData &exif)
{
    Metadata::Resolution resolution;
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
        resolution = Metadata::Resolution();
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
void readXmp(const std::string &packet, Exiv2::XmpData &xmp, Found &source)
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

// The XMP packet of `image` as its file holds it. From a TIFF, Exiv2 hands
// over no packet at all when the XMP toolkit refuses it (a packet stating a
// property twice, as Capture One and digiKam write them); the packet is
// still there, as the TIFF tag that holds it among the EXIF tags.
std::string xmpPacket(const Exiv2::Image &image, const Exiv2::ExifData &exif)
{
    if (!image.xmpPacket().empty())
        return image.xmpPacket();
    const auto tag = exif.findKey(Exiv2::ExifKey("Exif.Image.XMLPacket"));
    if (tag == exif.end() || tag->size() == 0)
        return std::string();
    std::string packet(size_t(tag->size()), '\0');
    tag->copy(reinterpret_cast<Exiv2::byte *>(&packet[0]), Exiv2::invalidByteOrder);
    return packet;
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
        return little ? Bytes::little(tiff, int(at), width) : Bytes::big(tiff, int(at), width);
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

// What a JPEG holds besides what Exiv2 reads of it: an EXIF block
// continued over several segments, which Exiv2 reads only the first of, and
// the extension of its XMP packet, which Exiv2 leaves out. Says in `source`
// when the EXIF block is cut short (Exiv2 reads what it can of such a block
// and drops the rest without a word) or the extension cannot be read.
void readJpegParts(const QByteArray &bytes, Records &records, Found &source)
{
    const std::vector<Metadata::Segment> segments = SourceParts::jpegSegments(bytes);
    int parts = 0;
    const QByteArray exif = SourceParts::jpegExif(segments, &parts);
    const bool cut = parts > 0 && exifCutShort(exif);
    if (parts > 1 && !cut) {
        records.exif.clear();
        Exiv2::ExifParser::decode(records.exif,
            reinterpret_cast<const Exiv2::byte *>(exif.constData()), uint32_t(exif.size()));
    }
    if (cut)
        addProblem(source, QStringLiteral("its EXIF is cut short"));
    // The packet names its extension by the digest of its bytes; the
    // extension is read into the packet's records, and the name goes
    // (it would point at nothing in the output).
    const auto named = records.xmp.findKey(Exiv2::XmpKey("Xmp.xmpNote.HasExtendedXMP"));
    if (named == records.xmp.end())
        return;
    const QByteArray guid = QByteArray::fromStdString(named->toString()).trimmed();
    records.xmp.erase(named);
    QString why;
    const QByteArray extension = SourceParts::xmpExtension(segments, guid, &why);
    Exiv2::XmpData extended;
    if (!extension.isEmpty()) {
        Found reading;
        readXmp(extension.toStdString(), extended, reading);
        if (!reading.problem.isEmpty() || extended.empty())
            why = QStringLiteral("it is malformed");
    }
    if (!why.isEmpty()) {
        addProblem(source, QStringLiteral("its extended XMP could not be read: ") + why);
        return;
    }
    for (const Exiv2::Xmpdatum &datum : extended)
        if (records.xmp.findKey(Exiv2::XmpKey(datum.key())) == records.xmp.end())
            records.xmp.add(datum);
}

// A HEIF or AVIF file: its EXIF and XMP items and its colour profile, as
// libheif finds them. Exiv2 would read the container as a QuickTime movie
// and describe its boxes as XMP of its own making; none of that is the
// photo's, so Exiv2 never sees these files.
Found heifSource(const QByteArray &bytes, const std::shared_ptr<Records> &records)
{
    Found source;
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
            const qint64 start = item.size() >= 4 ? 4 + qint64(Bytes::big(item, 0, 4)) : -1;
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

} // namespace

void prepare()
{
    ExifTags::prepareExiv2();
    // libheif looks for its plug-ins once, on first use; the fence would
    // refuse it the folder.
    heif_init(nullptr);
}

Found read(const QByteArray &bytes)
{
    ExifTags::prepareExiv2();
    Found source;
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
            records->iptc = image->iptcData();
            // Exiv2 drops a packet the XMP toolkit refuses without a word;
            // the packet's text is still there to be read again.
            records->xmp = image->xmpData();
            if (records->xmp.empty())
                readXmp(xmpPacket(*image, records->exif), records->xmp, source);
            source.comment = QByteArray::fromStdString(image->comment());
            if (image->mimeType() == "image/jpeg") {
                readJpegParts(bytes, *records, source);
            } else if (image->mimeType() == "image/png") {
                // Exiv2 takes the text "Description" for the comment; a PNG's
                // comment is its text "Comment", and its description goes
                // over as the description it is.
                QStringList damaged;
                source.pngTexts = SourceParts::pngTexts(bytes, &damaged);
                for (const QString &why : damaged)
                    addProblem(source, why);
                source.comment.clear();
                for (const PngText &text : source.pngTexts)
                    if (text.keyword == QLatin1String("Comment") && source.comment.isEmpty())
                        source.comment = text.text.toUtf8();
            }
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
    // Bytes after the size it states (a writer's padding) are none of it.
    const qint64 stated = Bytes::big(source.iccProfile, 0, 4);
    if (stated < source.iccProfile.size()
        && IccProfile::fault(source.iccProfile.left(int(stated))).isEmpty())
        source.iccProfile.truncate(int(stated));
    const QString damage = IccProfile::fault(source.iccProfile);
    if (!source.iccProfile.isEmpty() && !damage.isEmpty()) {
        source.iccProfile.clear();
        addProblem(source, QStringLiteral("its colour profile is damaged: ") + damage);
    }
    if (!source.resolution.known())
        source.resolution = exifResolution(records->exif);
    if (!records->exif.empty() || !records->iptc.empty() || !records->xmp.empty())
        source.records = records;
    return source;
}

namespace {

// ---- what the metadata says for the fields of a text ----

// An EXIF text as the camera wrote it, up to its first NUL (a copyright
// holds the photographer's and the editor's, NUL-separated); empty when the
// tag is not there.
QString exifText(const Exiv2::ExifData &exif, const char *key)
{
    const auto found = exif.findKey(Exiv2::ExifKey(key));
    if (found == exif.end() || found->count() == 0)
        return QString();
    const std::string text = found->toString();
    return QString::fromStdString(text.substr(0, text.find('\0'))).trimmed();
}

// An XMP property as one text: an alternative language's default (or
// first) entry, an array's items joined by commas.
QString xmpText(const Exiv2::XmpData &xmp, const char *key)
{
    const auto found = xmp.findKey(Exiv2::XmpKey(key));
    if (found == xmp.end() || found->count() == 0)
        return QString();
    const Exiv2::Value &value = found->value();
    std::string text;
    if (const auto *languages = dynamic_cast<const Exiv2::LangAltValue *>(&value)) {
        text = languages->toString("x-default");
        if (text.empty() && !languages->value_.empty())
            text = languages->value_.begin()->second;
    } else if (const auto *items = dynamic_cast<const Exiv2::XmpArrayValue *>(&value)) {
        for (long k = 0; k < items->count(); ++k)
            text += (k > 0 ? ", " : "") + items->toString(k);
    } else {
        text = value.toString();
    }
    return QString::fromStdString(text).trimmed();
}

// The first of `texts` that says anything.
QString firstOf(std::initializer_list<QString> texts)
{
    for (const QString &text : texts)
        if (!text.isEmpty())
            return text;
    return QString();
}

} // namespace

PictureFields fields(const Found &source)
{
    PictureFields fields;
    if (!source.records)
        return fields;
    const Exiv2::ExifData &exif = source.records->exif;
    const Exiv2::XmpData &xmp = source.records->xmp;
    // A date the calendar does not have (EXIF's blanks or zeros for
    // "unknown") is no date: the next source is asked.
    fields.taken
        = firstOf({ PictureDates::normalised(exifText(exif, "Exif.Photo.DateTimeOriginal")),
            PictureDates::normalised(xmpText(xmp, "Xmp.exif.DateTimeOriginal")),
            PictureDates::normalised(xmpText(xmp, "Xmp.photoshop.DateCreated")) });
    fields.artist
        = firstOf({ exifText(exif, "Exif.Image.Artist"), xmpText(xmp, "Xmp.dc.creator") });
    fields.copyright
        = firstOf({ exifText(exif, "Exif.Image.Copyright"), xmpText(xmp, "Xmp.dc.rights") });
    fields.make = firstOf({ exifText(exif, "Exif.Image.Make"), xmpText(xmp, "Xmp.tiff.Make") });
    fields.model = firstOf({ exifText(exif, "Exif.Image.Model"), xmpText(xmp, "Xmp.tiff.Model") });
    fields.lens = firstOf({ exifText(exif, "Exif.Photo.LensModel"),
        xmpText(xmp, "Xmp.exifEX.LensModel"), xmpText(xmp, "Xmp.aux.Lens") });
    return fields;
}

} // namespace MetadataReader
