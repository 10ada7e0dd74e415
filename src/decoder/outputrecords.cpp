// SPDX-License-Identifier: GPL-3.0-or-later
#include "decoder/outputrecords.h"

#include <QDateTime>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <set>

#include "decoder/exiftags.h"

namespace OutputRecords {

using MetadataReader::PngText;
using MetadataReader::Records;

namespace {

template <typename Data, typename Key, typename Value>
void replaceIfPresent(Data &data, const char *key, const Value &value)
{
    const auto found = data.findKey(Key(key));
    if (found != data.end())
        found->setValue(value);
}

bool has(const Exiv2::ExifData &exif, const char *key)
{
    return exif.findKey(Exiv2::ExifKey(key)) != exif.end();
}

long number(const Exiv2::ExifData &exif, const char *key)
{
    const auto found = exif.findKey(Exiv2::ExifKey(key));
    return found != exif.end() && found->count() > 0 ? found->toLong() : -1;
}

bool inGroup(const Exiv2::ExifData &exif, const char *group)
{
    for (const Exiv2::Exifdatum &datum : exif)
        if (datum.groupName() == group)
            return true;
    return false;
}

// The tags a JPEG's and a TIF's EXIF directory require, where the source
// left them out, with the values that say "as the standard has it": EXIF
// 2.3, Flashpix 1.0, sRGB unless a profile says otherwise. A GPS directory
// requires its version.
void versions(Exiv2::ExifData &exif, bool profiled)
{
    if (inGroup(exif, "Photo")) {
        if (!has(exif, "Exif.Photo.ExifVersion"))
            exif["Exif.Photo.ExifVersion"] = "48 50 51 48"; // "0230"
        if (!has(exif, "Exif.Photo.FlashpixVersion"))
            exif["Exif.Photo.FlashpixVersion"] = "48 49 48 48"; // "0100"
        const long space = number(exif, "Exif.Photo.ColorSpace");
        if (space != 1 && space != 0xffff)
            exif["Exif.Photo.ColorSpace"] = uint16_t(profiled ? 0xffff : 1);
    }
    if (inGroup(exif, "GPSInfo") && !has(exif, "Exif.GPSInfo.GPSVersionID"))
        exif["Exif.GPSInfo.GPSVersionID"] = "2 3 0 0";
}

// A JPEG's EXIF: its resolution as the output states it (or EXIF's own 72
// pixels per inch where neither says one), how its chroma is sited, its
// components (Y, Cb, Cr) and its pixel size, which JPEG readers require.
void forJpeg(Exiv2::ExifData &exif, const Fit &output)
{
    if (exif.empty())
        return; // nothing is added to a picture that had none
    const long unit = number(exif, "Exif.Image.ResolutionUnit");
    if (output.resolution.known()) {
        exif["Exif.Image.XResolution"]
            = Exiv2::URational(int(std::lround(output.resolution.xPerMetre * 0.0254)), 1);
        exif["Exif.Image.YResolution"]
            = Exiv2::URational(int(std::lround(output.resolution.yPerMetre * 0.0254)), 1);
        exif["Exif.Image.ResolutionUnit"] = uint16_t(2);
    } else if (!has(exif, "Exif.Image.XResolution") || !has(exif, "Exif.Image.YResolution")
        || unit < 1 || unit > 3) {
        exif["Exif.Image.XResolution"] = Exiv2::URational(72, 1);
        exif["Exif.Image.YResolution"] = Exiv2::URational(72, 1);
        exif["Exif.Image.ResolutionUnit"] = uint16_t(2);
    }
    const long siting = number(exif, "Exif.Image.YCbCrPositioning");
    if (siting != 1 && siting != 2)
        exif["Exif.Image.YCbCrPositioning"] = uint16_t(1);
    if (!has(exif, "Exif.Photo.ComponentsConfiguration"))
        exif["Exif.Photo.ComponentsConfiguration"] = "1 2 3 0";
    exif["Exif.Photo.PixelXDimension"] = uint32_t(output.size.width());
    exif["Exif.Photo.PixelYDimension"] = uint32_t(output.size.height());
    versions(exif, output.profiled);
}

// A TIF's EXIF: what describes compressed data alone goes (the TIFF's own
// directory gives its size), and the Interop directory, whose rules (DCF's)
// are a JPEG's: TIFF readers refuse its index, and libtiff knows no such
// directory.
void forTiff(Exiv2::ExifData &exif, const Fit &output)
{
    for (auto datum = exif.begin(); datum != exif.end();)
        datum = datum->groupName() == "Iop" || datum->key() == "Exif.Photo.InteroperabilityTag"
            ? exif.erase(datum)
            : std::next(datum);
    for (const char *key : { "Exif.Photo.PixelXDimension", "Exif.Photo.PixelYDimension",
             "Exif.Photo.ComponentsConfiguration", "Exif.Photo.CompressedBitsPerPixel" }) {
        const auto found = exif.findKey(Exiv2::ExifKey(key));
        if (found != exif.end())
            exif.erase(found);
    }
    versions(exif, output.profiled);
}

// An XMP property as one text: an alternative language's default (or
// first) entry, an array's first item.
QString xmpText(const Exiv2::XmpData &xmp, const char *key)
{
    const auto found = xmp.findKey(Exiv2::XmpKey(key));
    if (found == xmp.end() || found->count() == 0)
        return QString();
    if (const auto *languages = dynamic_cast<const Exiv2::LangAltValue *>(&found->value()))
        return QString::fromStdString(languages->toString("x-default")).trimmed();
    return QString::fromStdString(found->toString(0)).trimmed();
}

// A PNG's creation time (free text, by the PNG rules in the form of RFC
// 1123, often ISO 8601 or EXIF's form instead) as an XMP date; empty when
// it is none of those.
QString xmpDate(const QString &text)
{
    QString trimmed = text.trimmed();
    static const QRegularExpression spaced(QStringLiteral("^(\\d{4}-\\d\\d-\\d\\d) (\\d\\d:)"));
    trimmed.replace(spaced, QStringLiteral("\\1T\\2"));
    for (const QDateTime &date : { QDateTime::fromString(trimmed, Qt::ISODate),
             QDateTime::fromString(trimmed, Qt::RFC2822Date),
             QDateTime::fromString(trimmed, QStringLiteral("yyyy:MM:dd HH:mm:ss")) })
        if (date.isValid())
            return date.toString(Qt::ISODate);
    const QDate day = QDate::fromString(trimmed, Qt::ISODate);
    return day.isValid() ? day.toString(Qt::ISODate) : QString();
}

struct Property
{
    const char *keyword;
    const char *key;
    Exiv2::TypeId type;
};

const Property Properties[] = {
    { "Title", "Xmp.dc.title", Exiv2::langAlt },
    { "Author", "Xmp.dc.creator", Exiv2::xmpSeq },
    { "Description", "Xmp.dc.description", Exiv2::langAlt },
    { "Copyright", "Xmp.dc.rights", Exiv2::langAlt },
    { "Creation Time", "Xmp.xmp.CreateDate", Exiv2::xmpText },
    { "Software", "Xmp.xmp.CreatorTool", Exiv2::xmpText },
    // "Device used to create the image", as the PNG rules have it.
    { "Source", "Xmp.tiff.Model", Exiv2::xmpText },
};

} // namespace

void fit(Records &records, const Fit &output)
{
    const bool tiff = output.format == "tif";
    Exiv2::ExifData &exif = records.exif;
    // Exiv2 keeps a tag whose value lay outside a damaged block as one of no
    // value, which TIFF does not have.
    for (auto datum = exif.begin(); datum != exif.end();)
        datum = ExifTags::structureTag(*datum) || ExifTags::previewTag(*datum)
                || (tiff && ExifTags::resolutionTag(*datum)) || datum->size() == 0
            ? exif.erase(datum)
            : std::next(datum);
    // The XMP and IPTC records travel on their own, not as EXIF tags.
    for (const char *key : { "Exif.Image.XMLPacket", "Exif.Image.IPTCNAA" }) {
        const auto found = exif.findKey(Exiv2::ExifKey(key));
        if (found != exif.end())
            exif.erase(found);
    }
    replaceIfPresent<Exiv2::ExifData, Exiv2::ExifKey>(exif, "Exif.Image.Orientation", "1");
    replaceIfPresent<Exiv2::ExifData, Exiv2::ExifKey>(
        exif, "Exif.Photo.PixelXDimension", std::to_string(output.size.width()));
    replaceIfPresent<Exiv2::ExifData, Exiv2::ExifKey>(
        exif, "Exif.Photo.PixelYDimension", std::to_string(output.size.height()));
    if (output.format == "jpg")
        forJpeg(exif, output);
    else if (tiff)
        forTiff(exif, output);

    Exiv2::IptcData iptc;
    for (const Exiv2::Iptcdatum &datum : records.iptc)
        if (datum.tagName().rfind("Preview", 0) != 0)
            iptc.add(datum);
    records.iptc = iptc;

    // The extension the source's packet named was read into it, or is lost
    // (and said to be): the name would point at nothing.
    Exiv2::XmpData xmp;
    for (const Exiv2::Xmpdatum &datum : records.xmp)
        if (datum.key().rfind("Xmp.xmp.Thumbnails", 0) != 0
            && datum.key() != "Xmp.xmpNote.HasExtendedXMP")
            xmp.add(datum);
    replaceIfPresent<Exiv2::XmpData, Exiv2::XmpKey>(xmp, "Xmp.tiff.Orientation", "1");
    for (const auto &dimension : { std::make_pair("Xmp.exif.PixelXDimension", output.size.width()),
             std::make_pair("Xmp.exif.PixelYDimension", output.size.height()),
             std::make_pair("Xmp.tiff.ImageWidth", output.size.width()),
             std::make_pair("Xmp.tiff.ImageLength", output.size.height()) })
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

QStringList textsAsXmp(const std::vector<PngText> &texts, Records &records)
{
    QStringList lost;
    std::set<std::string> added; // by the texts, and so open to another author
    for (const PngText &text : texts) {
        if (text.keyword == QLatin1String("Comment"))
            continue;
        const QString named = QStringLiteral("its PNG text \"%1\"").arg(text.keyword);
        const auto property = std::find_if(std::begin(Properties), std::end(Properties),
            [&](const Property &p) { return text.keyword == QLatin1String(p.keyword); });
        if (property == std::end(Properties)) {
            lost << named + QStringLiteral(" has no XMP property to go as");
            continue;
        }
        const QString value = text.keyword == QLatin1String("Creation Time") ? xmpDate(text.text)
                                                                             : text.text.trimmed();
        if (value.isEmpty()) {
            if (!text.text.trimmed().isEmpty())
                lost << named + QStringLiteral(" is no date XMP can hold");
            continue;
        }
        QString said = xmpText(records.xmp, property->key);
        if (said.isEmpty() && text.keyword == QLatin1String("Source")) {
            const auto model = records.exif.findKey(Exiv2::ExifKey("Exif.Image.Model"));
            if (model != records.exif.end())
                said = QString::fromStdString(model->toString()).trimmed();
        }
        const bool again = added.count(property->key) > 0;
        if (!said.isEmpty() && said != value && !(again && property->type == Exiv2::xmpSeq)) {
            lost << named + QStringLiteral(" says otherwise than its XMP, which was kept");
            continue;
        }
        if (!said.isEmpty() && said == value)
            continue;
        const std::string written = property->type == Exiv2::langAlt
            ? "lang=\"x-default\" " + value.toStdString()
            : value.toStdString();
        records.xmp[property->key] = written;
        added.insert(property->key);
    }
    return lost;
}

} // namespace OutputRecords
