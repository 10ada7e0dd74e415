#include "io/metadata.h"

#include <QDataStream>

#include <exiv2/exiv2.hpp>

#include <mutex>
#include <stdexcept>

namespace Metadata {

struct Records
{
    Exiv2::ExifData exif;
    Exiv2::IptcData iptc;
    Exiv2::XmpData xmp;
};

namespace {

// The XMP toolkit under Exiv2 needs a lock to be used from several threads;
// Exiv2's own log goes nowhere (a problem surfaces as an exception instead).
void prepareExiv2()
{
    static std::once_flag once;
    std::call_once(once, []() {
        static std::recursive_mutex xmpLock;
        Exiv2::XmpParser::initialize(
            [](void *lock, bool locking) {
                auto *mutex = static_cast<std::recursive_mutex *>(lock);
                if (locking)
                    mutex->lock();
                else
                    mutex->unlock();
            },
            &xmpLock);
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    });
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

// Image-structure tags of the first directory: they describe the source's
// own pixel data and would lie about any other file's.
bool structureTag(const Exiv2::Exifdatum &datum)
{
    if (datum.groupName() != "Image")
        return false;
    switch (datum.tag()) {
    case 0x00fe:
    case 0x00ff:
    case 0x0102:
    case 0x0103:
    case 0x0106:
    case 0x010a:
    case 0x0111:
    case 0x0115:
    case 0x0116:
    case 0x0117:
    case 0x011c:
    case 0x013d:
    case 0x0140:
    case 0x0142:
    case 0x0143:
    case 0x0144:
    case 0x0145:
    case 0x014a:
    case 0x0152:
    case 0x0153:
    case 0x015b:
    case 0x0201:
    case 0x0202:
    case 0x0211:
    case 0x0212:
    case 0x8773:
        return true;
    default:
        return false;
    }
}

bool resolutionTag(const Exiv2::Exifdatum &datum)
{
    return datum.groupName() == "Image"
        && (datum.tag() == 0x011a || datum.tag() == 0x011b || datum.tag() == 0x0128);
}

// Embedded pictures: the EXIF thumbnail, the preview images of raw files and
// maker notes. They show the picture as it was, without its stamp.
bool previewTag(const Exiv2::Exifdatum &datum)
{
    const std::string group = datum.groupName();
    const std::string tag = datum.tagName();
    return group == "Thumbnail" || group.rfind("SubImage", 0) == 0
        || (group.rfind("Image", 0) == 0 && group != "Image")
        || group.find("Preview") != std::string::npos || group.find("Thumb") != std::string::npos
        || tag.find("Preview") != std::string::npos || tag.find("Thumbnail") != std::string::npos
        || tag == "JpgFromRaw";
}

template <typename Data, typename Key, typename Value>
void replaceIfPresent(Data &data, const char *key, const Value &value)
{
    const auto found = data.findKey(Key(key));
    if (found != data.end())
        found->setValue(value);
}

} // namespace

void prepare()
{
    prepareExiv2();
}

Source parse(const QByteArray &bytes)
{
    prepareExiv2();
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
        // Formats without any metadata (BMP's kin, PNM) are not Exiv2's.
        if (e.code() != Exiv2::kerFileContainsUnknownImageType)
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
                if (!structureTag(datum) && !previewTag(datum))
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

Source unpack(const QByteArray &packed)
{
    prepareExiv2();
    Source source;
    if (packed.isEmpty()) {
        source.problem = QStringLiteral("the decoder could not hand it over");
        return source;
    }
    QByteArray exif;
    QByteArray iptc;
    QByteArray xmp;
    QDataStream in(packed);
    in >> exif >> iptc >> xmp >> source.iccProfile >> source.resolution.xPerMetre
        >> source.resolution.yPerMetre >> source.problem;
    if (in.status() != QDataStream::Ok) {
        source = Source();
        source.problem = QStringLiteral("the decoder gave an answer that makes no sense");
        return source;
    }
    // A decoder gone wrong could claim anything; a billion pixels per metre
    // is far beyond any printer.
    if (!source.resolution.known() || source.resolution.xPerMetre > 1e9
        || source.resolution.yPerMetre > 1e9)
        source.resolution = Resolution();
    if (source.iccProfile.mid(16, 4) != "RGB ")
        source.iccProfile.clear();
    if (!source.problem.isEmpty())
        return source;
    try {
        auto records = std::make_shared<Records>();
        if (!exif.isEmpty())
            Exiv2::ExifParser::decode(records->exif,
                reinterpret_cast<const Exiv2::byte *>(exif.constData()), uint32_t(exif.size()));
        if (!iptc.isEmpty()
            && Exiv2::IptcParser::decode(records->iptc,
                   reinterpret_cast<const Exiv2::byte *>(iptc.constData()), uint32_t(iptc.size()))
                != 0)
            throw std::runtime_error("its IPTC could not be read");
        if (!xmp.isEmpty() && Exiv2::XmpParser::decode(records->xmp, xmp.toStdString()) != 0)
            throw std::runtime_error("its XMP could not be read");
        if (!records->exif.empty() || !records->iptc.empty() || !records->xmp.empty())
            source.records = records;
    } catch (const std::exception &e) {
        source.problem = QString::fromStdString(e.what());
    }
    return source;
}

QString carryOver(QByteArray &encoded, const Source &source, QSize size)
{
    // Only JPEG gets its profile through Exiv2.
    if (!source.records && (source.iccProfile.isEmpty() || !encoded.startsWith("\xff\xd8")))
        return QString();
    prepareExiv2();
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(
            reinterpret_cast<const Exiv2::byte *>(encoded.constData()), long(encoded.size()));
        image->readMetadata();
        const bool tiff = image->imageType() == Exiv2::ImageType::tiff;
        const bool jpeg = image->imageType() == Exiv2::ImageType::jpeg;
        if (source.records) {
            // The output's own tags first (a TIFF's structure), then the
            // source's, leaving out what described the source's pixels.
            Exiv2::ExifData exif = image->exifData();
            for (const Exiv2::Exifdatum &datum : source.records->exif) {
                if (structureTag(datum) || previewTag(datum) || (tiff && resolutionTag(datum))
                    || exif.findKey(Exiv2::ExifKey(datum.key())) != exif.end())
                    continue;
                exif.add(datum);
            }
            replaceIfPresent<Exiv2::ExifData, Exiv2::ExifKey>(exif, "Exif.Image.Orientation", "1");
            replaceIfPresent<Exiv2::ExifData, Exiv2::ExifKey>(
                exif, "Exif.Photo.PixelXDimension", std::to_string(size.width()));
            replaceIfPresent<Exiv2::ExifData, Exiv2::ExifKey>(
                exif, "Exif.Photo.PixelYDimension", std::to_string(size.height()));
            replaceIfPresent<Exiv2::ExifData, Exiv2::ExifKey>(
                exif, "Exif.Image.ImageWidth", std::to_string(size.width()));
            replaceIfPresent<Exiv2::ExifData, Exiv2::ExifKey>(
                exif, "Exif.Image.ImageLength", std::to_string(size.height()));
            image->setExifData(exif);

            Exiv2::IptcData iptc;
            for (const Exiv2::Iptcdatum &datum : source.records->iptc)
                if (datum.tagName().rfind("Preview", 0) != 0)
                    iptc.add(datum);
            image->setIptcData(iptc);

            Exiv2::XmpData xmp;
            for (const Exiv2::Xmpdatum &datum : source.records->xmp)
                if (datum.key().rfind("Xmp.xmp.Thumbnails", 0) != 0)
                    xmp.add(datum);
            replaceIfPresent<Exiv2::XmpData, Exiv2::XmpKey>(xmp, "Xmp.tiff.Orientation", "1");
            for (const auto &dimension : { std::make_pair("Xmp.exif.PixelXDimension", size.width()),
                     std::make_pair("Xmp.exif.PixelYDimension", size.height()),
                     std::make_pair("Xmp.tiff.ImageWidth", size.width()),
                     std::make_pair("Xmp.tiff.ImageLength", size.height()) })
                replaceIfPresent<Exiv2::XmpData, Exiv2::XmpKey>(
                    xmp, dimension.first, std::to_string(dimension.second));
            image->setXmpData(xmp);
        }
        // The PNG and TIFF encoders embed the profile themselves.
        if (!source.iccProfile.isEmpty() && jpeg) {
            Exiv2::DataBuf profile(
                reinterpret_cast<const Exiv2::byte *>(source.iccProfile.constData()),
                long(source.iccProfile.size()));
            image->setIccProfile(profile, false);
        }
        image->writeMetadata();
        Exiv2::BasicIo &io = image->io();
        io.open();
        const Exiv2::DataBuf written = io.read(long(io.size()));
        io.close();
        if (written.size_ <= 0)
            return QStringLiteral("nothing was written");
        encoded = QByteArray(reinterpret_cast<const char *>(written.pData_), int(written.size_));
        return QString();
    } catch (const std::exception &e) {
        return QString::fromStdString(e.what());
    }
}

} // namespace Metadata
