#include "decoder/metadatareader.h"

#include <QDataStream>
#include <QString>

#include <memory>
#include <stdexcept>

#include "common/exiftags.h"

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
    QString problem; // why the metadata could not be read; empty when it could
};

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

Source parse(const QByteArray &bytes)
{
    ExifTags::prepareExiv2();
    Source source;
    if (bytes.isEmpty())
        return source;
    source.resolution = headerResolution(bytes);
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(
            reinterpret_cast<const Exiv2::byte *>(bytes.constData()), long(bytes.size()));
        image->readMetadata();
        auto records = std::make_shared<Records>();
        records->exif = image->exifData();
        records->iptc = image->iptcData();
        records->xmp = image->xmpData();
        if (image->iccProfileDefined()) {
            const Exiv2::DataBuf *icc = image->iccProfile();
            source.iccProfile
                = QByteArray(reinterpret_cast<const char *>(icc->pData_), int(icc->size_));
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
        // The output is always RGB: a CMYK or grey profile would make viewers
        // misread its pixels, which are not converted.
        if (source.iccProfile.mid(16, 4) != "RGB ")
            source.iccProfile.clear();
        if (!source.resolution.known())
            source.resolution = exifResolution(records->exif);
        if (!records->exif.empty() || !records->iptc.empty() || !records->xmp.empty())
            source.records = records;
    } catch (const Exiv2::AnyError &e) {
        // Formats without any metadata (BMP's kin, PNM, Sun raster, XBM,
        // XPM, JPEG XL) are not Exiv2's: nothing to carry, nothing to say.
        if (e.code() != Exiv2::kerFileContainsUnknownImageType
            && e.code() != Exiv2::kerMemoryContainsUnknownImageType)
            source.problem = QString::fromStdString(e.what());
    } catch (const std::exception &e) {
        source.problem = QString::fromStdString(e.what());
    }
    return source;
}

QByteArray pack(const Source &source)
{
    QByteArray exif;
    QByteArray iptc;
    QByteArray xmp;
    QString problem = source.problem;
    try {
        if (source.records) {
            // Only what the output may keep crosses over: the previews
            // could be large, and the source's structure describes nothing
            // the program will write.
            Exiv2::ExifData exifData;
            for (const Exiv2::Exifdatum &datum : source.records->exif)
                if (!ExifTags::structureTag(datum) && !ExifTags::previewTag(datum))
                    exifData.add(datum);
            if (!exifData.empty()) {
                Exiv2::Blob blob;
                Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, exifData);
                exif = QByteArray(reinterpret_cast<const char *>(blob.data()), int(blob.size()));
            }
            Exiv2::IptcData iptcData;
            for (const Exiv2::Iptcdatum &datum : source.records->iptc)
                if (datum.tagName().rfind("Preview", 0) != 0)
                    iptcData.add(datum);
            if (!iptcData.empty()) {
                const Exiv2::DataBuf buffer = Exiv2::IptcParser::encode(iptcData);
                iptc = QByteArray(reinterpret_cast<const char *>(buffer.pData_), int(buffer.size_));
            }
            Exiv2::XmpData xmpData;
            for (const Exiv2::Xmpdatum &datum : source.records->xmp)
                if (datum.key().rfind("Xmp.xmp.Thumbnails", 0) != 0)
                    xmpData.add(datum);
            std::string packet;
            if (!xmpData.empty() && Exiv2::XmpParser::encode(packet, xmpData) != 0)
                throw std::runtime_error("its XMP could not be written");
            xmp = QByteArray::fromStdString(packet);
        }
    } catch (const std::exception &e) {
        exif.clear();
        iptc.clear();
        xmp.clear();
        problem = QString::fromStdString(e.what());
    }
    QByteArray packed;
    QDataStream out(&packed, QIODevice::WriteOnly);
    out << exif << iptc << xmp << source.iccProfile << source.resolution.xPerMetre
        << source.resolution.yPerMetre << problem;
    return packed;
}

} // namespace

void prepare()
{
    ExifTags::prepareExiv2();
}

QByteArray read(const QByteArray &bytes)
{
    return pack(parse(bytes));
}

QByteArray problem(const QString &why)
{
    Source source;
    source.problem = why;
    return pack(source);
}

} // namespace MetadataReader
