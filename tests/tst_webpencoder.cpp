// SPDX-License-Identifier: GPL-3.0-or-later
// WebP output: the RIFF container walked chunk by chunk, the pixels decoded
// again by libwebp, the metadata read back by Exiv2.

#include <QColorSpace>
#include <QtTest>

#include <exiv2/exiv2.hpp>
#include <webp/decode.h>

#include <cmath>

#include "encode/encoding.h"
#include "exivvalues.h"
#include "testsupport.h"

using namespace TestSupport;

namespace {

quint32 little(const QByteArray &bytes, int at, int width)
{
    quint32 value = 0;
    for (int k = width - 1; k >= 0; --k)
        value = value << 8 | quint8(bytes[at + k]);
    return value;
}

// The chunks of a WebP file in order, each "type:size"; empty when the
// RIFF structure does not hold together to its last byte.
QStringList chunksOf(const QByteArray &webp)
{
    if (!webp.startsWith("RIFF") || webp.mid(8, 4) != "WEBP"
        || little(webp, 4, 4) != quint32(webp.size() - 8))
        return {};
    QStringList chunks;
    int at = 12;
    while (at + 8 <= webp.size()) {
        const quint32 size = little(webp, at + 4, 4);
        chunks << QString::fromLatin1(webp.mid(at, 4));
        at += 8 + int(size) + int(size & 1);
    }
    return at == webp.size() ? chunks : QStringList();
}

QImage decoded(const QByteArray &webp)
{
    int width = 0, height = 0;
    uint8_t *pixels = WebPDecodeBGRA(
        reinterpret_cast<const uint8_t *>(webp.constData()), size_t(webp.size()), &width, &height);
    if (!pixels)
        return QImage();
    const QImage image = QImage(pixels, width, height, QImage::Format_ARGB32).copy();
    WebPFree(pixels);
    return image;
}

// Three gradients, the left quarter clear when `translucent`.
QImage gradients(QSize size, bool translucent)
{
    QImage image(size, QImage::Format_ARGB32);
    const int w = size.width(), h = size.height();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y,
                qRgba(x * 255 / w, y * 255 / h, (x + y) * 255 / (w + h),
                    translucent && x < w / 4 ? 0 : 255));
    return image;
}

// The mean difference of the colours of the visible pixels.
double meanError(const QImage &a, const QImage &b)
{
    double sum = 0;
    int counted = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            if (qAlpha(q) == 0)
                continue;
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q))
                + std::abs(qBlue(p) - qBlue(q));
            counted += 3;
        }
    return sum / qMax(counted, 1);
}

// Metadata as the decoder writes it for a WebP of `size`.
Metadata::Source metadataFor(QSize size)
{
    Exiv2::ExifData exif;
    exif["Exif.Image.Make"] = "Tarvelo Camera";
    exif["Exif.Photo.PixelXDimension"] = uint32_t(size.width());
    Exiv2::Blob tiff;
    Exiv2::ExifParser::encode(tiff, Exiv2::littleEndian, exif);
    Exiv2::XmpData xmp;
    xmp["Xmp.dc.title"] = "lang=x-default Harbour at dawn";
    std::string packet;
    Exiv2::XmpParser::encode(packet, xmp);
    Metadata::Source source;
    source.format = "webp";
    source.size = size;
    source.iccProfile = QColorSpace(QColorSpace::AdobeRgb).iccProfile();
    source.chunks.push_back(
        { "EXIF", QByteArray(reinterpret_cast<const char *>(tiff.data()), int(tiff.size())) });
    source.chunks.push_back({ "XMP ", QByteArray::fromStdString(packet) });
    return source;
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
    QTest::addColumn<QStringList>("chunks"); // empty: refused
    const QSize size(97, 61); // odd sides: the canvas and the padding show
    // clang-format off
    QTest::newRow("lossy, bare") << 85 << false << false << size << QStringList { "VP8 " };
    QTest::newRow("lossy, translucent") << 70 << true << false << size << QStringList { "VP8X", "ALPH", "VP8 " };
    QTest::newRow("lossy, metadata") << 90 << false << true << size << QStringList { "VP8X", "ICCP", "VP8 ", "EXIF", "XMP " };
    QTest::newRow("lossless, translucent") << 100 << true << false << size << QStringList { "VP8L" };
    QTest::newRow("lossless, metadata") << 100 << true << true << size << QStringList { "VP8X", "ICCP", "VP8L", "EXIF", "XMP " };
    QTest::newRow("too wide") << 85 << false << false << QSize(16384, 2) << QStringList();
    // clang-format on
}

void WebpEncoderTest::container()
{
    QFETCH(int, quality);
    QFETCH(bool, translucent);
    QFETCH(bool, metadata);
    QFETCH(QSize, size);
    QFETCH(QStringList, chunks);
    // Noise where every pixel is kept, gradients where the lossy encoder
    // may leave out what the eye misses.
    const QImage image = quality < 100 ? gradients(size, translucent)
                                       : photoLike(size.width(), size.height(), 5, translucent)
                                             .convertToFormat(QImage::Format_ARGB32);
    const Encoding::Encoded encoded = Encoding::encode(
        image, "webp", quality, metadata ? metadataFor(size) : Metadata::Source());
    if (chunks.isEmpty()) {
        QCOMPARE(encoded.errorText,
            "A WebP picture can be at most 16383 x 16383 pixels, not "
            "16384 x 2");
        QVERIFY(encoded.bytes.isEmpty());
        return;
    }
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
        QCOMPARE(QSize(int(little(webp, 24, 3)) + 1, int(little(webp, 27, 3)) + 1), size);
    }

    const QImage back = decoded(webp);
    QCOMPARE(back.size(), size);
    if (quality == 100) {
        QCOMPARE(back, image); // every pixel, the colour under clear ones too
    } else {
        QVERIFY2(meanError(back, image) < 3, qPrintable(QString::number(meanError(back, image))));
        QVERIFY(Encoding::encode(image, "webp", quality - 40).bytes.size() < webp.size());
        for (int y = 0; y < size.height(); y += 7)
            QCOMPARE(qAlpha(back.pixel(3, y)), translucent ? 0 : 255);
    }

    const QMap<QString, QString> values = exivValues(webp);
    QCOMPARE(values.value("Exif.Image.Make"), metadata ? "Tarvelo Camera" : "");
    QCOMPARE(values.value("Xmp.dc.title"), metadata ? "lang=\"x-default\" Harbour at dawn" : "");
    QCOMPARE(values.value("icc"),
        metadata ? QColorSpace(QColorSpace::AdobeRgb).iccProfile().toHex() : QByteArray());
}

TARVELO_TEST_MAIN(WebpEncoderTest)
#include "tst_webpencoder.moc"
