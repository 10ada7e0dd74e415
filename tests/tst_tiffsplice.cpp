// SPDX-License-Identifier: GPL-3.0-or-later
// The source's TIFF metadata placed into an encoded TIFF: what a reader
// finds afterwards, the pixels untouched, and every malformed block refused
// with the file left as the encoder wrote it.

#include <QtTest>

#include "encode/encoding.h"
#include "encode/tiffsplice.h"
#include "exivvalues.h"
#include "testsupport.h"

using TiffSplice::Entry;

namespace {

// A picture large enough for several strips, no two rows alike.
QImage gradient()
{
    QImage image(600, 200, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x % 256, y, (x * y) % 251));
    return image;
}

// An EXIF block with a photo tag and a GPS tag, as the decoder makes it,
// and where its two directories start.
QByteArray exifBlock(quint32 &exifIfd, quint32 &gpsIfd)
{
    Exiv2::ExifData exif;
    exif["Exif.Photo.ExposureTime"] = Exiv2::URational(1, 250);
    exif["Exif.GPSInfo.GPSLatitudeRef"] = "N";
    Exiv2::Blob blob;
    Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, exif);
    Exiv2::ExifData back;
    Exiv2::ExifParser::decode(back, blob.data(), uint32_t(blob.size()));
    exifIfd = quint32(back["Exif.Image.ExifTag"].toLong());
    gpsIfd = quint32(back["Exif.Image.GPSTag"].toLong());
    return QByteArray(reinterpret_cast<const char *>(blob.data()), int(blob.size()));
}

Entry entry(quint16 tag, quint16 type, quint32 count, const QByteArray &value)
{
    return { tag, type, count, value };
}

} // namespace

class TiffSpliceTest : public QObject
{
    Q_OBJECT

private slots:
    void readersFindTheSourcesTagsAndTheSamePixels();
    void malformedBlocksAreRefused_data();
    void malformedBlocksAreRefused();
};

void TiffSpliceTest::readersFindTheSourcesTagsAndTheSamePixels()
{
    const QImage image = gradient();
    QByteArray tiff = Encoding::encode(image, "tif", -1, Metadata::Source()).bytes;
    quint32 exifIfd = 0, gpsIfd = 0;
    const QByteArray prefix = exifBlock(exifIfd, gpsIfd);
    // The width is the encoder's to say: the source's is left out.
    const std::vector<Entry> entries { entry(315, 2, 4, QByteArray("Ann\0", 4)),
        entry(18246, 3, 1, QByteArray("\4\0", 2)), entry(256, 4, 1, QByteArray("\7\0\0\0", 4)) };
    QCOMPARE(TiffSplice::splice(tiff, prefix, exifIfd, gpsIfd, entries), QString());

    const QMap<QString, QString> values = exivValues(tiff);
    QCOMPARE(values.value("Exif.Image.Artist"), QString("Ann"));
    QCOMPARE(values.value("Exif.Image.Rating"), QString("4"));
    QCOMPARE(values.value("Exif.Photo.ExposureTime"), QString("1/250"));
    QCOMPARE(values.value("Exif.GPSInfo.GPSLatitudeRef"), QString("N"));
    QCOMPARE(values.value("Exif.Image.ImageWidth"), QString("600"));
    QImage back = QImage::fromData(tiff, "TIFF");
    QCOMPARE(back.convertToFormat(QImage::Format_RGB32), image);
}

void TiffSpliceTest::malformedBlocksAreRefused_data()
{
    QTest::addColumn<int>("prefixBytes");
    QTest::addColumn<int>("exifShift"); // added to where the EXIF directory is
    QTest::addColumn<QVector<int>>("entry"); // tag, type, count, value bytes
    const QVector<int> artist { 315, 2, 4, 4 };
    QTest::newRow("cut-short block") << 5 << 0 << artist;
    QTest::newRow("directory off a word") << -1 << 1 << artist;
    QTest::newRow("directory past the block") << -1 << 100000 << artist;
    QTest::newRow("count beyond its value") << -1 << 0 << QVector<int> { 315, 2, 40, 4 };
    QTest::newRow("type unknown") << -1 << 0 << QVector<int> { 315, 13, 1, 4 };
    QTest::newRow("no value") << -1 << 0 << QVector<int> { 315, 2, 0, 0 };
    QTest::newRow("tag given twice") << -1 << 0 << QVector<int> { 315, 2, 4, 4, 315 };
}

void TiffSpliceTest::malformedBlocksAreRefused()
{
    QFETCH(int, prefixBytes);
    QFETCH(int, exifShift);
    QFETCH(QVector<int>, entry);
    const QByteArray encoded = Encoding::encode(gradient(), "tif", -1, Metadata::Source()).bytes;
    quint32 exifIfd = 0, gpsIfd = 0;
    QByteArray prefix = exifBlock(exifIfd, gpsIfd);
    if (prefixBytes >= 0)
        prefix.truncate(prefixBytes);
    std::vector<Entry> entries { ::entry(quint16(entry[0]), quint16(entry[1]), quint32(entry[2]),
        QByteArray(entry[3], 'a')) };
    if (entry.size() > 4)
        entries.push_back(entries.front());
    QByteArray tiff = encoded;
    QVERIFY(!TiffSplice::splice(tiff, prefix, exifIfd + quint32(exifShift), gpsIfd, entries)
                 .isEmpty());
    QCOMPARE(tiff, encoded);
}

TARVELO_TEST_MAIN(TiffSpliceTest)
#include "tst_tiffsplice.moc"
