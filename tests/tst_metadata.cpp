// SPDX-License-Identifier: GPL-3.0-or-later
// The metadata carrier between a source file and its stamped copy, fed with
// packets real photographers' tools wrote (tests/data/metadata): the
// decoder's metadata reader and writer, linked into this process, read the
// source and write it for the output, the codec takes it across, the
// encoder writes JPG, PNG, TIF or WEBP, and what arrives is read back with
// Exiv2.

#include <exiv2/exiv2.hpp>

#include "batch/batchrunner.h"
#include "common/bytes.h"
#include "decoder/exiftags.h"
#include "decoder/metadatareader.h"
#include "decoder/outputmetadata.h"
#include "encode/encoding.h"
#include "exivvalues.h"
#include "testsupport.h"

using namespace TestSupport;

namespace {

// What the program gets of `file`'s metadata for an output of `wanted`
// made from a picture of 96 x 64: read and written as the decoder does,
// packed and unpacked as it crosses over.
Metadata::Source carried(const QByteArray &file, const Metadata::Wanted &wanted)
{
    const OutputMetadata::Output output = OutputMetadata::outputFor(wanted, QSize(96, 64));
    return Metadata::unpack(
        Metadata::pack(OutputMetadata::write(MetadataReader::read(file), output)));
}

// EXIF (a TIFF structure) and an XMP packet holding `values` by their
// Exiv2 keys, each record where its key says.
std::pair<QByteArray, QByteArray> records(const QVariantMap &values)
{
    Exiv2::ExifData exif;
    Exiv2::XmpData xmp;
    for (auto value = values.begin(); value != values.end(); ++value) {
        const std::string key = value.key().toStdString(), text = value->toString().toStdString();
        if (value.key().startsWith("Exif."))
            exif[key] = text;
        else if (value.key() == "Xmp.dc.rights")
            xmp[key] = Exiv2::LangAltValue("lang=x-default " + text);
        else if (value.key() == "Xmp.dc.creator")
            xmp[key] = Exiv2::XmpArrayValue(Exiv2::xmpSeq), xmp[key] = text;
        else
            xmp[key] = text;
    }
    Exiv2::Blob blob;
    Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, exif);
    std::string packet;
    Exiv2::XmpParser::encode(packet, xmp);
    return { exif.empty()
            ? QByteArray()
            : QByteArray(reinterpret_cast<const char *>(blob.data()), int(blob.size())),
        QByteArray::fromStdString(packet) };
}

// An XMP packet of one description, `properties` after its namespaces.
QByteArray xmpOf(const QByteArray &properties)
{
    return "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
           "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description rdf:about='' "
           "xmlns:dc='http://purl.org/dc/elements/1.1/' "
           "xmlns:xmpNote='http://ns.adobe.com/xmp/note/'"
        + properties + "</rdf:Description></rdf:RDF></x:xmpmeta>";
}

// A TIF of the program's own, 96 x 64, whose first directory holds `entry`.
QByteArray tiffWith(const Metadata::TiffEntry &entry)
{
    Metadata::Source source;
    source.format = "tif";
    source.size = QSize(96, 64);
    source.tiffEntries = { entry };
    return Encoding::encode(photoLike(96, 64, 6), "tif", -1, source).bytes;
}

// A JPEG whose XMP packet holds a description of 200 KB in its extension,
// as Lightroom and exiftool write long packets: the packet names the
// extension by its digest, and the extension comes in parts, the last first
// (one of them missing when not `whole`).
QByteArray jpegWithExtendedXmp(bool whole = true)
{
    const QByteArray extension = xmpOf("><dc:description><rdf:Alt><rdf:li xml:lang='x-default'>"
        + QByteArray(200000, 'L') + "THE END</rdf:li></rdf:Alt></dc:description>");
    const QByteArray guid
        = QCryptographicHash::hash(extension, QCryptographicHash::Md5).toHex().toUpper();
    QByteArray jpeg = jpegWith({},
        xmpOf(" xmpNote:HasExtendedXMP='" + guid
            + "'><dc:title><rdf:Alt><rdf:li "
              "xml:lang='x-default'>Long</rdf:li></rdf:Alt></dc:title>"),
        {});
    for (int offset = whole ? 0 : 60000; offset < extension.size(); offset += 60000) {
        QByteArray part = QByteArray("http://ns.adobe.com/xmp/extension/\0", 35) + guid;
        Bytes::appendBig(part, quint32(extension.size()), 4);
        Bytes::appendBig(part, quint32(offset), 4);
        jpeg.insert(2, segment('\xe1', part + extension.mid(offset, 60000)));
    }
    return jpeg;
}

// A PNG of the program's own, whose EXIF holds a user comment of 100 KB,
// more than a JPEG's EXIF segment holds.
QByteArray pngWithLongComment()
{
    Exiv2::ExifData exif;
    exif["Exif.Image.Model"] = "Cam";
    exif["Exif.Photo.UserComment"] = "charset=Ascii " + std::string(100000, 'c');
    Metadata::Source source;
    source.format = "png";
    source.size = QSize(96, 64);
    source.chunks = { { "eXIf", exivBlock(exif, Exiv2::littleEndian) } };
    return Encoding::encode(photoLike(96, 64, 5), "png", -1, source).bytes;
}

} // namespace

using Values = QMap<QString, QString>;

class MetadataTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(!data("kite.xmp").isEmpty());
        MetadataReader::prepare();
    }
    void carriesRealPackets_data();
    void carriesRealPackets();
    void pngKeepsItsRecordsOnce();
    void fieldsFromMetadata_data();
    void fieldsFromMetadata();
    void largeAndOwnMetadata_data();
    void largeAndOwnMetadata();

private:
    QTemporaryDir dir;
};

void MetadataTest::carriesRealPackets_data()
{
    QTest::addColumn<QString>("suffix"); // of the output
    QTest::addColumn<QByteArray>("source"); // the file's bytes
    QTest::addColumn<QString>("xmpName"); // the packet whose properties all arrive
    QTest::addColumn<bool>("stripLocation");
    QTest::addColumn<QString>("problem"); // what the loss line says; empty: none
    QTest::addColumn<QSize>("box"); // resized to fit it; empty: not resized

    const QByteArray exif = QByteArray::fromHex(data("kite-exif.hex"));
    const QByteArray kite = data("kite.xmp"), cups = data("colorfulcups.xmp");
    const QByteArray comment = data("kite-comment.txt");
    // A camera's description stands where a TIF would keep the comment: it
    // goes into the user comment.
    // clang-format off
    for (const char *suffix : { "jpg", "png", "tif", "webp" })
        QTest::addRow("kite %s", suffix) << suffix << jpegWith(exif, kite, comment) << "kite.xmp" << false << "" << QSize();
    QTest::addRow("kite resized") << "jpg" << jpegWith(exif, kite, comment) << "kite.xmp" << false << "" << QSize(48, 48);
    QTest::addRow("colorful cups") << "tif" << jpegWith({}, cups, {}) << "colorfulcups.xmp" << false << "" << QSize();
    QTest::addRow("colorful cups, no location") << "png" << jpegWith({}, cups, comment) << "colorfulcups.xmp" << true << "" << QSize(30, 100);
    QTest::addRow("colorful cups from a TIF") << "jpg" << tiffWith({ 700, 1, quint32(cups.size()), cups }) << "colorfulcups.xmp" << false << "" << QSize();
    // The rest is carried all the same.
    QTest::addRow("malformed XMP") << "jpg" << jpegWith(exif, kite.left(kite.size() / 2), comment) << "" << false << "its XMP packet is malformed" << QSize();
    QTest::addRow("truncated EXIF") << "jpg" << jpegWith(exif.left(60), kite, comment) << "kite.xmp" << false << "*" << QSize();
    // clang-format on

    // A phone picture: libheif's encoder takes the JPEG's EXIF and XMP.
    const QString heifEnc = QStandardPaths::findExecutable("heif-enc");
    if (heifEnc.isEmpty())
        return;
    const QString jpeg = dir.filePath("phone.jpg"), heic = dir.filePath("phone.heic");
    QVERIFY(writeFile(jpeg, jpegWith(exif, kite, {})));
    QCOMPARE(QProcess::execute(heifEnc, { "-q", "50", "-o", heic, jpeg }), 0);
    const QByteArray phone = readFile(heic);
    QTest::addRow("HEIC") << "jpg" << phone << "kite.xmp" << false << "" << QSize();
    // The EXIF item's offset to its TIFF header points past its end.
    QByteArray damaged = phone;
    const int item = damaged.indexOf(QByteArray("\0\0\0\0II*\0", 8));
    QVERIFY(item > 0);
    damaged.replace(item, 4, "\x7f\xff\xff\xff");
    QTest::addRow("HEIC, damaged EXIF item")
        << "tif" << damaged << "kite.xmp" << false << "its EXIF is cut short" << QSize();
}

void MetadataTest::carriesRealPackets()
{
    QFETCH(QString, suffix);
    QFETCH(QByteArray, source);
    QFETCH(QString, xmpName);
    QFETCH(bool, stripLocation);
    QFETCH(QString, problem);
    QFETCH(QSize, box);
    Metadata::Wanted wanted;
    wanted.suffix = suffix;
    wanted.withoutLocation = stripLocation;
    wanted.resize = { box.isValid(), box, true, false };
    const QSize size
        = box.isValid() ? QSize(96, 64).scaled(box, Qt::KeepAspectRatio) : QSize(96, 64);
    const Metadata::Source metadata = carried(source, wanted);
    const Encoding::Encoded encoded
        = Encoding::encode(photoLike(size.width(), size.height()), suffix, 90, metadata);
    QVERIFY(!encoded.bytes.isEmpty());
    // "*": any problem at all.
    QCOMPARE(
        problem == "*" && !encoded.metadataProblem.isEmpty() ? problem : encoded.metadataProblem,
        problem);
    const QMap<QString, QString> out = exivValues(encoded.bytes);

    // Every property of the packet arrives, with the location gone when
    // asked; none is made up from the container (a HEIF's boxes).
    QStringList names;
    for (const QString &key : out.keys())
        if (key.startsWith("Xmp."))
            names << key.section('.', 2).section(QRegularExpression("[/\\[]"), 0, 0);
    // Each property the packet states, by the last part of its Exiv2 key
    // ("Lens" for Xmp.aux.Lens).
    const QRegularExpression property("<(?!rdf:|x:)\\w+:(\\w+)[ />]");
    for (auto match = property.globalMatch(QString::fromUtf8(data(xmpName))); match.hasNext();) {
        const QString name = match.next().captured(1);
        QVERIFY2(
            names.contains(name) != (stripLocation && name.startsWith("GPS")), qPrintable(name));
    }
    QVERIFY(names.filter(QRegularExpression("^(MimeType|CompatibleBrands)$")).isEmpty());
    // The sizes stated anywhere are the output's.
    const QString width = QString::number(size.width()), height = QString::number(size.height());
    for (const char *key : { "Xmp.tiff.ImageWidth", "Xmp.exif.PixelXDimension" })
        QCOMPARE(out.value(key, width), width);
    for (const char *key : { "Xmp.tiff.ImageLength", "Xmp.exif.PixelYDimension" })
        QCOMPARE(out.value(key, height), height);

    // The source's EXIF arrives, less its thumbnail and with the output's
    // own size and orientation.
    Exiv2::ExifData exif;
    const QByteArray tiff = QByteArray::fromHex(data("kite-exif.hex"));
    Exiv2::ExifParser::decode(
        exif, reinterpret_cast<const Exiv2::byte *>(tiff.constData()), uint32_t(tiff.size()));
    // A TIF and a WebP keep the comment in the EXIF.
    const bool inExif = suffix == "tif" || suffix == "webp";
    const bool withExif = source.contains("OLYMPUS") && problem != "*" && !problem.contains("EXIF");
    for (const Exiv2::Exifdatum &datum : exif) {
        const QString key = QString::fromStdString(datum.key());
        if (withExif && !ExifTags::structureTag(datum) && !ExifTags::resolutionTag(datum)
            && !key.endsWith("Tag") && !key.contains("Thumbnail") && !key.contains("Pixel")
            && !key.contains("Olympus") && !(inExif && key.endsWith("UserComment")))
            QCOMPARE(out.value(key, "(none)"), QString::fromStdString(datum.toString()));
    }
    QCOMPARE(out.contains("Exif.Image.Model"), withExif);
    QVERIFY(!out.contains("Exif.Thumbnail.JPEGInterchangeFormat"));
    // Written for another size, none of it goes in, and that is said.
    QCOMPARE(Encoding::encode(photoLike(size.width() + 1, size.height()), suffix, 90, metadata)
                 .metadataProblem,
        "it was written for another size");
    // The pixel size EXIF states is the output's, wherever it states one.
    QCOMPARE(out.value("Exif.Photo.PixelXDimension", width), width);
    QCOMPARE(out.value("Exif.Photo.PixelYDimension", height), height);

    const QString comment = QString::fromUtf8(data("kite-comment.txt"));
    const bool commented = source.contains(comment.toUtf8());
    if (!inExif)
        QCOMPARE(out.value("comment"), commented ? comment : "");
    else if (commented)
        QCOMPARE(out.value("Exif.Photo.UserComment"), "charset=Unicode " + comment);
}

// A PNG keeps its records in text chunks, which also come back as the
// picture's texts: they go over once with its metadata, and not at all
// when the metadata is left out.
void MetadataTest::pngKeepsItsRecordsOnce()
{
    Metadata::Wanted wanted;
    wanted.suffix = "png";
    const QString jpeg = dir.filePath("source.jpg"), png = dir.filePath("source.png");
    QVERIFY(writeFile(
        jpeg, jpegWith(QByteArray::fromHex(data("kite-exif.hex")), data("kite.xmp"), {})));
    PictureIO::ReadResult read = readPicture(jpeg, wanted);
    QVERIFY(writeFile(png, Encoding::encode(read.image, "png", -1, read.metadata).bytes));
    for (const bool keep : { true, false }) {
        wanted.keep = keep;
        read = readPicture(png, wanted);
        const QByteArray out = Encoding::encode(read.image, "png", -1, read.metadata).bytes;
        QCOMPARE(out.count("eXIf") + out.count("XML:com.adobe.xmp"), 2 * keep);
        QCOMPARE(exivValues(out).value("Exif.Image.Model", "(none)"), keep ? "E-M1" : "(none)");
    }
}

void MetadataTest::fieldsFromMetadata_data()
{
    QTest::addColumn<QVariantMap>("values");
    QTest::addColumn<QString>("fields"); // taken|artist|copyright|make|model|lens
    const QVariantMap exif { { "Exif.Photo.DateTimeOriginal", "2024:05:17 14:03:22" },
        { "Exif.Image.Artist", "Ann Example" }, { "Exif.Image.Copyright", "(c) Ann" },
        { "Exif.Image.Make", "Canon" }, { "Exif.Image.Model", "Canon EOS R5" },
        { "Exif.Photo.LensModel", "RF50mm F1.8 STM" } };
    const QVariantMap xmp { { "Xmp.exif.DateTimeOriginal", "2023-01-02T03:04:05+01:00" },
        { "Xmp.dc.creator", "Bo Bild" }, { "Xmp.dc.rights", "(c) Bo" }, { "Xmp.tiff.Make", "SONY" },
        { "Xmp.tiff.Model", "ILCE-7M3" }, { "Xmp.aux.Lens", "FE 85mm F1.8" } };
    QVariantMap both = xmp;
    both.insert(exif);
    QVariantMap blankDate = xmp;
    blankDate.remove("Xmp.exif.DateTimeOriginal");
    blankDate.insert("Xmp.photoshop.DateCreated", "2022-12-24");
    blankDate.insert("Exif.Photo.DateTimeOriginal", "    :  :     :  :  ");
    // clang-format off
    QTest::newRow("EXIF") << exif << "2024-05-17T14:03:22|Ann Example|(c) Ann|Canon|Canon EOS R5|RF50mm F1.8 STM";
    QTest::newRow("XMP") << xmp << "2023-01-02T03:04:05|Bo Bild|(c) Bo|SONY|ILCE-7M3|FE 85mm F1.8";
    QTest::newRow("EXIF before XMP") << both << "2024-05-17T14:03:22|Ann Example|(c) Ann|Canon|Canon EOS R5|RF50mm F1.8 STM";
    QTest::newRow("blank EXIF date, XMP's date alone") << blankDate << "2022-12-24|Bo Bild|(c) Bo|SONY|ILCE-7M3|FE 85mm F1.8";
    QTest::newRow("none") << QVariantMap() << "|||||";
    // clang-format on
}

// What the decoder reads for the text's fields, for the preview (nothing
// else asked) and for a run (with the output's metadata, from one
// reading); and with fields on, "{name} {date}" stamps the very pixels of
// the text it stands for.
void MetadataTest::fieldsFromMetadata()
{
    QFETCH(QVariantMap, values);
    QFETCH(QString, fields);
    const auto [exif, xmp] = records(values);
    const QString path = dir.filePath("kite.jpg");
    QVERIFY(writeFile(path, jpegWith(exif, values.isEmpty() ? QByteArray() : xmp, {})));
    Metadata::Wanted wanted;
    wanted.suffix = "png";
    for (const auto &asked : { std::optional<Metadata::Wanted>(), std::optional(wanted) }) {
        const PictureIO::ReadResult read = readPicture(path, asked, {}, true, true);
        const PictureFields &f = read.fields;
        QCOMPARE(QStringList({ f.taken, f.artist, f.copyright, f.make, f.model, f.lens }).join('|'),
            fields);
        QCOMPARE(read.metadata.chunks.empty(), !asked || values.isEmpty());
    }

    BatchOptions options;
    options.suffix = "png";
    options.stamp.watermarkText = "{name} {date}";
    options.textFields = true;
    const QByteArray filled = stampAlone(path, options).bytes;
    const QDate date = fields.isEmpty() || fields.startsWith('|')
        ? QFileInfo(path).lastModified().date()
        : QDate::fromString(fields.left(10), "yyyy-MM-dd");
    options.stamp.watermarkText = "kite " + date.toString("yyyy-MM-dd");
    options.textFields = false;
    const QByteArray literal = stampAlone(path, options).bytes;
    QVERIFY(!filled.isEmpty());
    QCOMPARE(filled, literal);
}

void MetadataTest::largeAndOwnMetadata_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<Values>("values"); // read back; "#N": of N characters or more
    QTest::addColumn<QByteArray>("bytes"); // in the output file
    QTest::addColumn<QString>("problem"); // a part of the loss line; empty: none
    const QByteArray extended = jpegWithExtendedXmp(), comment = pngWithLongComment();
    const QByteArray tiff = tiffWith({ 272, 2, 4, QByteArray("Cam", 4) }); // the camera's model
    QImage konqi = photoLike(96, 64, 7);
    for (const auto &[key, text] :
        { std::make_pair("Author", "Konqi Painter"), std::make_pair("Title", "Flying Konqi"),
            std::make_pair("Creation Time", "2019-05-14 10:20:30"),
            std::make_pair("Disclaimer", "None") })
        konqi.setText(key, text);
    const QByteArray texts = encode(konqi, "png");
    const Values asXmp { { "Xmp.dc.creator", "Konqi Painter" },
        { "Xmp.dc.title", "lang=\"x-default\" Flying Konqi" },
        { "Xmp.xmp.CreateDate", "2019-05-14T10:20:30" } };
    const QString noDisclaimer = "its PNG text \"Disclaimer\" has no XMP property to go as";
    // clang-format off
    QTest::newRow("extended XMP into JPG") << "jpg" << extended << Values { { "Xmp.dc.title", "lang=\"x-default\" Long" } }
                                           << QByteArray("THE END</rdf:li>") << "";
    for (const char *suffix : { "png", "tif" })
        QTest::addRow("extended XMP into %s", suffix) << suffix << extended
            << Values { { "Xmp.dc.description", "#200000" }, { "Xmp.xmpNote.HasExtendedXMP", "" } } << QByteArray() << "";
    QTest::newRow("extension not whole") << "png" << jpegWithExtendedXmp(false)
                                         << Values { { "Xmp.dc.title", "lang=\"x-default\" Long" }, { "Xmp.xmpNote.HasExtendedXMP", "" } }
                                         << QByteArray() << "its extended XMP could not be read";
    for (const char *suffix : { "png", "tif", "webp" })
        QTest::addRow("long user comment into %s", suffix) << suffix << comment << Values { { "Exif.Photo.UserComment", "#100000" } } << QByteArray() << "";
    // A JPEG keeps what fits and requires its pixel size.
    QTest::newRow("long user comment into JPG") << "jpg" << comment << Values { { "Exif.Photo.UserComment", "" },
        { "Exif.Image.Model", "Cam" }, { "Exif.Photo.PixelXDimension", "96" }, { "Exif.Image.YCbCrPositioning", "1" } }
                                                << QByteArray() << "its EXIF UserComment (98 KB) did not fit";
    QTest::newRow("TIF's width not into JPG") << "jpg" << tiff << Values { { "Exif.Image.Model", "Cam" },
        { "Exif.Image.ImageWidth", "" }, { "Exif.Photo.PixelYDimension", "64" } } << QByteArray() << "";
    QTest::newRow("PNG's texts into PNG") << "png" << texts << Values() << QByteArray("tEXtDisclaimer\0None") << "";
    QTest::newRow("PNG's texts into JPG") << "jpg" << texts << asXmp << QByteArray() << noDisclaimer;
    QTest::newRow("PNG's texts into TIF") << "tif" << texts << asXmp << QByteArray() << noDisclaimer;
    // clang-format on
}

// Metadata larger than a JPEG segment, and a PNG's own texts, carried into
// every format as far as it holds them, the rest said.
void MetadataTest::largeAndOwnMetadata()
{
    QFETCH(QString, suffix);
    QFETCH(QByteArray, source);
    QFETCH(Values, values);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, problem);
    const QString path = dir.filePath(QTest::currentDataTag());
    QVERIFY(writeFile(path, source));
    Metadata::Wanted wanted;
    wanted.suffix = suffix;
    const PictureIO::ReadResult read = readPicture(path, wanted);
    QVERIFY(read.status == PictureIO::ReadStatus::Ok);
    const Encoding::Encoded encoded = Encoding::encode(read.image, suffix, 90, read.metadata);
    QVERIFY2(problem.isEmpty() ? encoded.metadataProblem.isEmpty()
                               : encoded.metadataProblem.contains(problem),
        qPrintable(encoded.metadataProblem));
    const QMap<QString, QString> out = exivValues(encoded.bytes);
    for (auto value = values.begin(); value != values.end(); ++value)
        if (value->startsWith('#'))
            QVERIFY2(
                out.value(value.key()).size() >= value->mid(1).toInt(), qPrintable(value.key()));
        else
            QCOMPARE(out.value(value.key()), *value);
    QVERIFY(encoded.bytes.contains(bytes));
}

TARVELO_TEST_MAIN(MetadataTest)
#include "tst_metadata.moc"
