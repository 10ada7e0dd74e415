#include "encode/metadata.h"

#include <QTextCodec>

#include <iterator>
#include <stdexcept>

#include "common/boundedreader.h"
#include "common/decoderprotocol.h"
#include "common/exiftags.h"

namespace Metadata {

struct Records
{
    Exiv2::ExifData exif;
    Exiv2::IptcData iptc;
    Exiv2::XmpData xmp;
};

namespace {

template <typename Data, typename Key, typename Value>
void replaceIfPresent(Data &data, const char *key, const Value &value)
{
    const auto found = data.findKey(Key(key));
    if (found != data.end())
        found->setValue(value);
}

// Takes what Exiv2 wrote into `encoded`; gives `problem`, or why nothing
// was written.
QString finish(QByteArray &encoded, Exiv2::Image &image, const QString &problem)
{
    Exiv2::BasicIo &io = image.io();
    io.open();
    const Exiv2::DataBuf written = io.read(long(io.size()));
    io.close();
    if (written.size_ <= 0)
        return QStringLiteral("nothing was written");
    encoded = QByteArray(reinterpret_cast<const char *>(written.pData_), int(written.size_));
    return problem;
}

} // namespace

void prepare()
{
    ExifTags::prepareExiv2();
}

Source unpack(const QByteArray &packed)
{
    ExifTags::prepareExiv2();
    Source source;
    if (packed.isEmpty()) {
        source.problem = QStringLiteral("the decoder could not hand it over");
        return source;
    }
    // Made by the decoder, so read with every length checked.
    BoundedReader in(packed.constData(), packed.size());
    const QByteArray exif = in.bytes(packed.size());
    const QByteArray iptc = in.bytes(packed.size());
    const QByteArray xmp = in.bytes(packed.size());
    source.iccProfile = in.bytes(packed.size());
    source.resolution.xPerMetre = in.f64();
    source.resolution.yPerMetre = in.f64();
    source.problem = in.string(DecoderProtocol::MaxErrorText);
    // The comment came later than the rest: a reply may end before it.
    if (in.ok() && !in.atEnd())
        source.comment = in.bytes(packed.size());
    if (!in.ok() || !in.atEnd()) {
        source = Source();
        source.problem = QStringLiteral("the decoder sent a malformed reply");
        return source;
    }
    // A decoder gone wrong could claim anything; a billion pixels per metre
    // is far beyond any printer.
    if (!source.resolution.known() || source.resolution.xPerMetre > 1e9
        || source.resolution.yPerMetre > 1e9)
        source.resolution = Resolution();
    if (source.iccProfile.mid(16, 4) != "RGB ")
        source.iccProfile.clear();
    // A problem may leave part of the records readable (EXIF beside a
    // malformed XMP packet): that part is kept.
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
        source.records.reset();
        source.problem = source.problem.isEmpty()
            ? QString::fromStdString(e.what())
            : source.problem + QStringLiteral("; ") + QString::fromStdString(e.what());
    }
    return source;
}

Source withoutLocation(const Source &source)
{
    if (!source.records)
        return source;
    ExifTags::prepareExiv2();
    auto records = std::make_shared<Records>(*source.records);
    for (auto datum = records->exif.begin(); datum != records->exif.end();)
        datum = datum->groupName() == "GPSInfo" || datum->key() == "Exif.Image.GPSTag"
            ? records->exif.erase(datum)
            : std::next(datum);
    for (auto datum = records->xmp.begin(); datum != records->xmp.end();)
        datum = datum->key().rfind("Xmp.exif.GPS", 0) == 0 ? records->xmp.erase(datum)
                                                           : std::next(datum);
    Source stripped = source;
    stripped.records = records;
    if (records->exif.empty() && records->iptc.empty() && records->xmp.empty())
        stripped.records.reset();
    return stripped;
}

QString commentText(const QByteArray &comment)
{
    QTextCodec::ConverterState state;
    const QString text
        = QTextCodec::codecForName("UTF-8")->toUnicode(comment.constData(), comment.size(), &state);
    return state.invalidChars == 0 ? text : QString::fromLatin1(comment);
}

QString carryOver(QByteArray &encoded, const Source &source, QSize size)
{
    // Only JPEG gets its profile through Exiv2, and PNG has its comment.
    const bool png = encoded.startsWith("\x89PNG");
    if (!source.records
        && (png
            || (source.comment.isEmpty()
                && (source.iccProfile.isEmpty() || !encoded.startsWith("\xff\xd8")))))
        return QString();
    ExifTags::prepareExiv2();
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(
            reinterpret_cast<const Exiv2::byte *>(encoded.constData()), long(encoded.size()));
        image->readMetadata();
        const bool tiff = image->imageType() == Exiv2::ImageType::tiff;
        const bool jpeg = image->imageType() == Exiv2::ImageType::jpeg;
        QString lost;
        if (source.records || (tiff && !source.comment.isEmpty())) {
            // The output's own tags first (a TIFF's structure), then the
            // source's, leaving out what described the source's pixels.
            Exiv2::ExifData exif = image->exifData();
            const Exiv2::ExifData none;
            for (const Exiv2::Exifdatum &datum : source.records ? source.records->exif : none) {
                if (ExifTags::structureTag(datum) || ExifTags::previewTag(datum)
                    || (tiff && ExifTags::resolutionTag(datum))
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
            // A TIFF has no comment of its own: the image description is
            // where TIFF readers show one, else the EXIF user comment, unless
            // the source fills both.
            if (tiff && !source.comment.isEmpty()) {
                const std::string text = commentText(source.comment).toStdString();
                const auto description
                    = exif.findKey(Exiv2::ExifKey("Exif.Image.ImageDescription"));
                const auto user = exif.findKey(Exiv2::ExifKey("Exif.Photo.UserComment"));
                const auto *userValue = user == exif.end()
                    ? nullptr
                    : dynamic_cast<const Exiv2::CommentValue *>(&user->value());
                const QString said = QString::fromStdString(text).trimmed();
                const QString described = description == exif.end()
                    ? QString()
                    : QString::fromStdString(description->toString()).trimmed();
                const QString commented = userValue
                    ? QString::fromStdString(userValue->comment()).trimmed()
                    : QString();
                if (said == described || said == commented) {
                    // already there
                } else if (described.isEmpty()) {
                    exif["Exif.Image.ImageDescription"] = text;
                } else if (commented.isEmpty() && (user == exif.end() || userValue)) {
                    exif["Exif.Photo.UserComment"] = "charset=Unicode " + text;
                } else {
                    lost = QStringLiteral("its comment has no place in a TIF beside its image "
                                          "description and user comment");
                }
            }
            image->setExifData(exif);
            if (!source.records) {
                image->writeMetadata();
                return finish(encoded, *image, lost);
            }

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
        if (jpeg && !source.comment.isEmpty())
            image->setComment(source.comment.toStdString());
        image->writeMetadata();
        return finish(encoded, *image, lost);
    } catch (const std::exception &e) {
        return QString::fromStdString(e.what());
    }
}

} // namespace Metadata
