// SPDX-License-Identifier: GPL-3.0-or-later
// The metadata carrier between a source file and its stamped copy, fed with
// packets real photographers' tools wrote (tests/data/metadata): the decoder
// process reads the source, the encoder writes JPG, PNG, TIF or WEBP, and what
// arrives is read back with Exiv2.

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <exiv2/exiv2.hpp>

#include "decoder/exiftags.h"
#include "encode/encoding.h"
#include "exivvalues.h"
#include "io/pictureio.h"
#include "testsupport.h"

using namespace TestSupport;

namespace {

QByteArray data(const QString &name)
{
    return readFile(qEnvironmentVariable("TARVELO_TEST_DATA") + "/metadata/" + name);
}

// A small JPEG with the EXIF (a TIFF structure), XMP packet and comment
// given, in segments written after the JFIF header as editors write them.
QByteArray jpegWith(const QByteArray &exif, const QByteArray &xmp, const QByteArray &comment)
{
    const QByteArray jpeg = encode(photoLike(96, 64, 3), "jpg", 90);
    const int app0End = 4 + (quint8(jpeg[4]) << 8 | quint8(jpeg[5]));
    QByteArray segments;
    if (!exif.isEmpty())
        segments += segment('\xe1', QByteArray("Exif\0\0", 6) + exif);
    if (!xmp.isEmpty())
        segments += segment('\xe1', QByteArray("http://ns.adobe.com/xap/1.0/\0", 29) + xmp);
    if (!comment.isEmpty())
        segments += segment('\xfe', comment);
    return jpeg.left(app0End) + segments + jpeg.mid(app0End);
}

} // namespace

class MetadataTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(!data("kite.xmp").isEmpty()); }
    void carriesRealPackets_data();
    void carriesRealPackets();
    void pngKeepsItsRecordsOnce();

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

    const QByteArray exif = QByteArray::fromHex(data("kite-exif.hex"));
    const QByteArray kite = data("kite.xmp"), cups = data("colorfulcups.xmp");
    const QByteArray comment = data("kite-comment.txt");
    // A camera's description stands where a TIF would keep the comment: it
    // goes into the user comment.
    // clang-format off
    for (const char *suffix : { "jpg", "png", "tif", "webp" })
        QTest::addRow("kite %s", suffix) << suffix << jpegWith(exif, kite, comment) << "kite.xmp" << false << "";
    QTest::addRow("colorful cups") << "tif" << jpegWith({}, cups, {}) << "colorfulcups.xmp" << false << "";
    QTest::addRow("colorful cups, no location") << "png" << jpegWith({}, cups, comment) << "colorfulcups.xmp" << true << "";
    // The rest is carried all the same.
    QTest::addRow("malformed XMP") << "jpg" << jpegWith(exif, kite.left(kite.size() / 2), comment) << "" << false << "its XMP packet is malformed";
    QTest::addRow("truncated EXIF") << "jpg" << jpegWith(exif.left(60), kite, comment) << "kite.xmp" << false << "*";
    // clang-format on

    // A phone picture: libheif's encoder takes the JPEG's EXIF and XMP.
    const QString heifEnc = QStandardPaths::findExecutable("heif-enc");
    if (heifEnc.isEmpty())
        return;
    const QString jpeg = dir.filePath("phone.jpg"), heic = dir.filePath("phone.heic");
    QVERIFY(writeFile(jpeg, jpegWith(exif, kite, {})));
    QCOMPARE(QProcess::execute(heifEnc, { "-q", "50", "-o", heic, jpeg }), 0);
    const QByteArray phone = readFile(heic);
    QTest::addRow("HEIC") << "jpg" << phone << "kite.xmp" << false << "";
    // The EXIF item's offset to its TIFF header points past its end.
    QByteArray damaged = phone;
    const int item = damaged.indexOf(QByteArray("\0\0\0\0II*\0", 8));
    QVERIFY(item > 0);
    damaged.replace(item, 4, "\x7f\xff\xff\xff");
    QTest::addRow("HEIC, damaged EXIF item")
        << "tif" << damaged << "kite.xmp" << false << "its EXIF is cut short";
}

void MetadataTest::carriesRealPackets()
{
    QFETCH(QString, suffix);
    QFETCH(QByteArray, source);
    QFETCH(QString, xmpName);
    QFETCH(bool, stripLocation);
    QFETCH(QString, problem);
    const QString path = dir.filePath(QTest::currentDataTag());
    QVERIFY(writeFile(path, source));
    Metadata::Wanted wanted;
    wanted.suffix = suffix;
    wanted.withoutLocation = stripLocation;
    const PictureIO::ReadResult read = PictureIO::readImage(path, wanted);
    QVERIFY(read.status == PictureIO::ReadStatus::Ok);
    const Encoding::Encoded encoded = Encoding::encode(read.image, suffix, 90, read.metadata);
    QVERIFY(!encoded.bytes.isEmpty());
    if (problem == "*")
        QVERIFY(!encoded.metadataProblem.isEmpty());
    else
        QCOMPARE(encoded.metadataProblem, problem);
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
    if (!xmpName.isEmpty())
        QCOMPARE(out.value("Xmp.tiff.ImageWidth", "96"), "96");

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
    QCOMPARE(out.contains("Exif.Image.Model"), withExif || problem == "*");
    QVERIFY(!out.contains("Exif.Thumbnail.JPEGInterchangeFormat"));
    QCOMPARE(out.value("Exif.Photo.PixelXDimension", "96"), "96");

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
    PictureIO::ReadResult read = PictureIO::readImage(jpeg, wanted);
    QVERIFY(writeFile(png, Encoding::encode(read.image, "png", -1, read.metadata).bytes));
    for (const bool keep : { true, false }) {
        wanted.keep = keep;
        read = PictureIO::readImage(png, wanted);
        const QByteArray out = Encoding::encode(read.image, "png", -1, read.metadata).bytes;
        QCOMPARE(out.count("Raw profile type exif") + out.count("XML:com.adobe.xmp"), 2 * keep);
        QCOMPARE(exivValues(out).value("Exif.Image.Model", "(none)"), keep ? "E-M1" : "(none)");
    }
}

TARVELO_TEST_MAIN(MetadataTest)
#include "tst_metadata.moc"
