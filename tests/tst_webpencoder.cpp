// SPDX-License-Identifier: GPL-3.0-or-later
// WebP output: the RIFF container walked chunk by chunk, the pixels decoded
// again, the metadata read back by Exiv2.

#include <QColorSpace>
#include <QtTest>

#include "encode/encoding.h"
#include "exivvalues.h"
#include "testsupport.h"

using namespace TestSupport;

static const QByteArray adobeRgb = QColorSpace(QColorSpace::AdobeRgb).iccProfile();

namespace {

quint32 little(const QByteArray &bytes, int at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

// The chunks of a WebP file in order; empty when the RIFF structure does
// not hold together to its last byte, padding included.
QStringList chunksOf(const QByteArray &webp)
{
    QStringList chunks;
    int at = 12;
    for (; at + 8 <= webp.size(); at += 8 + int(little(webp, at + 4) + 1) / 2 * 2)
        chunks << QString::fromLatin1(webp.mid(at, 4));
    const bool riff = webp.startsWith("RIFF") && webp.mid(8, 4) == "WEBP";
    return riff && at == webp.size() && little(webp, 4) == quint32(at - 8) ? chunks : QStringList();
}

} // namespace

class WebpEncoderTest : public QObject
{
    Q_OBJECT

private slots:
    void container_data();
    void container();
};

void WebpEncoderTest::container_data()
{
    QTest::addColumn<int>("quality");
    QTest::addColumn<bool>("translucent");
    QTest::addColumn<bool>("metadata");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QStringList>("chunks");
    const QSize size(97, 61); // odd sides: the canvas and the padding show
    // clang-format off
    QTest::newRow("lossy, bare") << 85 << false << false << size << QStringList { "VP8 " };
    QTest::newRow("lossy, translucent") << 70 << true << false << size << QStringList { "VP8X", "ALPH", "VP8 " };
    QTest::newRow("lossy, metadata") << 90 << false << true << size << QStringList { "VP8X", "ICCP", "VP8 ", "EXIF", "XMP " };
    QTest::newRow("lossless, translucent") << 100 << true << false << size << QStringList { "VP8L" };
    QTest::newRow("lossless, metadata") << 100 << false << true << size << QStringList { "VP8X", "ICCP", "VP8L", "EXIF", "XMP " };
    // clang-format on
}

void WebpEncoderTest::container()
{
    QFETCH(int, quality);
    QFETCH(bool, translucent);
    QFETCH(bool, metadata);
    QFETCH(QSize, size);
    QFETCH(QStringList, chunks);
    const QImage image = photoLike(size.width(), size.height(), 5, translucent)
                             .convertToFormat(QImage::Format_ARGB32);
    // A camera's EXIF block and an XMP packet, as the decoder hands them
    // over for a WebP of this size.
    QByteArray exif = QByteArray::fromHex(
        readFile(qEnvironmentVariable("TARVELO_TEST_DATA") + "/metadata/kite-exif.hex"));
    // Without its thumbnail: the first directory (at 8) points to no next one.
    exif.replace(10 + 12 * qFromLittleEndian<quint16>(exif.constData() + 8), 4, "\0\0\0\0", 4);
    // clang-format off
    const QByteArray xmp = "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description xmlns:xmp='http://ns.adobe.com/xap/1.0/' xmp:Rating='4'/></rdf:RDF></x:xmpmeta>";
    // clang-format on
    Metadata::Source source;
    if (metadata)
        source = { "webp", size, {}, { { "EXIF", exif }, { "XMP ", xmp } }, {}, 0, 0, {}, adobeRgb,
            {}, {} };
    const Encoding::Encoded encoded = Encoding::encode(image, "webp", quality, source);
    QCOMPARE(encoded.errorText, "");
    QCOMPARE(encoded.metadataProblem, "");
    const QByteArray &webp = encoded.bytes;
    QCOMPARE(chunksOf(webp), chunks);
    if (chunks.first() == "VP8X") {
        // What the extended header announces is what follows, on the
        // canvas of the picture's size.
        const int flags = quint8(webp[20]);
        QCOMPARE(flags,
            (chunks.contains("ICCP") ? 0x20 : 0) | (translucent ? 0x10 : 0)
                | (chunks.contains("EXIF") ? 0x08 : 0) | (chunks.contains("XMP ") ? 0x04 : 0));
        QCOMPARE(QSize(int(little(webp, 24) & 0xffffff) + 1, int(little(webp, 27) & 0xffffff) + 1),
            size);
    }

    const QImage back = QImage::fromData(webp).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(back.size(), size);
    if (quality == 100) {
        QCOMPARE(back, image); // every pixel, the colour under clear ones too
    } else {
        // Close to the red gradient across a row (blue, the noise, would
        // be far off), and smaller at a lower quality.
        int off = 0;
        for (int x = size.width() / 4; x < size.width(); ++x)
            off += qAbs(qRed(back.pixel(x, 40)) - qRed(image.pixel(x, 40)));
        QVERIFY2(off < 12 * size.width(), qPrintable(QString::number(off)));
        QVERIFY(Encoding::encode(image, "webp", quality - 40).bytes.size() < webp.size());
        QCOMPARE(qAlpha(back.pixel(3, 20)), translucent ? 0 : 255);
    }

    const QMap<QString, QString> values = exivValues(webp);
    QCOMPARE(values.value("Exif.Image.Model"), metadata ? "E-M1" : "");
    QCOMPARE(values.value("Xmp.xmp.Rating"), metadata ? "4" : "");
    QCOMPARE(values.value("icc"), metadata ? adobeRgb.toHex() : QByteArray());
}

TARVELO_TEST_MAIN(WebpEncoderTest)
#include "tst_webpencoder.moc"
