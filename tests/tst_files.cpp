// SPDX-License-Identifier: GPL-3.0-or-later
// What the stamped files hold besides the stamp, through real runs of the
// start button: the source's metadata, colour profile and resolution; the
// same pixels whatever the screen; damaged pictures refused; encodings that
// fit the pixels (no needless alpha, compressed TIF, 4:4:4 JPG, white under
// transparency).

#include <QColorSpace>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <exiv2/exiv2.hpp>

#include <turbojpeg.h>

#include "encode/jpegencoder.h"
#include "exivvalues.h"
#include "testsupport.h"
#include "window/qclickablelabel.h"

using namespace TestSupport;

namespace {

const QByteArray adobeRgb = QColorSpace(QColorSpace::AdobeRgb).iccProfile();

// A camera's photo: 120 x 80 stored, turned by its Orientation 6, at 300 dpi,
// with EXIF (thumbnail and GPS included), IPTC, XMP and an Adobe RGB profile.
void writeCameraPhoto(const QString &path)
{
    QImage pixels = photoLike(120, 80, 5);
    pixels.setDotsPerMeterX(11811);
    pixels.setDotsPerMeterY(11811);
    QVERIFY(pixels.save(path, "jpg", 95));
    auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    image->exifData()["Exif.Image.Make"] = "Tarvelo Camera";
    image->exifData()["Exif.Image.Orientation"] = uint16_t(6);
    image->exifData()["Exif.Photo.PixelXDimension"] = uint32_t(120);
    image->exifData()["Exif.GPSInfo.GPSLatitude"] = "48/1 51/1 24/1";
    // The photo as it was, as its own thumbnail.
    Exiv2::ExifThumb(image->exifData()).setJpegThumbnail(QFile::encodeName(path).toStdString());
    image->iptcData()["Iptc.Application2.Byline"] = "A. Photographer";
    image->xmpData()["Xmp.xmp.Rating"] = "4";
    image->xmpData()["Xmp.tiff.Orientation"] = "6";
    Exiv2::DataBuf profile(
        reinterpret_cast<const Exiv2::byte *>(adobeRgb.constData()), long(adobeRgb.size()));
    image->setIccProfile(profile);
    image->writeMetadata();
}

} // namespace

class FilesTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        window = plainWindow();
        ui = WindowProbe::ui(*window);
        ui->wtrmark_edit->setText("Tarvelo");
        WindowProbe::logoImage(*window) = photoLike(6, 4);
        dir = std::make_unique<QTemporaryDir>();
        src = dir->filePath("src");
        out = qEnvironmentVariable("TARVELO_FILES_OUT", dir->filePath("out"));
        QVERIFY(QDir().mkpath(src) && QDir().mkpath(out));
    }
    void outputs_data()
    {
        QTest::addColumn<QString>("format"); // suffix and quality
        for (const char *format : { "jpg90", "jpg89", "png90", "tif90", "webp90" })
            QTest::newRow(format) << format;
    }
    void outputs();
    void jpegBytes_data();
    void jpegBytes();
    void samePixelsOnAnyScreen();
    void refusesDamagedPictures();

private:
    void add(const QString &name, const QByteArray &bytes)
    {
        QVERIFY(writeFile(src + '/' + name, bytes));
        ui->files_list->addItem(src + '/' + name);
    }
    void run(const QString &suffix, int quality = 90)
    {
        window->findChild<QRadioButton *>("out" + suffix + "_radio")->setChecked(true);
        ui->comp_slider->setValue(quality);
        QVERIFY(stampAll(*window, out));
    }

    std::unique_ptr<MainWindow> window;
    Ui::MainWindow *ui = nullptr;
    std::unique_ptr<QTemporaryDir> dir;
    QString src, out;
};

// Metadata, profile and resolution carried over, nothing added to a bare
// picture, and each format's encoding fitted to the pixels.
void FilesTest::outputs()
{
    QFETCH(QString, format);
    const QString suffix = format.chopped(2);
    ui->txt_x_spin->setValue(9999); // nothing is drawn on the pictures
    ui->x_spin->setValue(9999);
    writeCameraPhoto(src + "/photo.jpg");
    ui->files_list->addItem(src + "/photo.jpg");
    add("opaque.png", encode(photoLike(64, 48, 4), "png"));
    add("clear.png", encode(photoLike(64, 48, 4, true), "png"));
    run(suffix, format.right(2).toInt());

    const QMap<QString, QString> photo = exivValues(readFile(out + "/photo." + suffix));
    // A WebP has no IPTC: the byline goes over as the XMP creator, and its
    // resolution is stated in its EXIF.
    const bool webp = suffix == "webp";
    const QMap<QString, QString> expected { { "Exif.Image.Make", "Tarvelo Camera" },
        { "Exif.Image.Orientation", "1" },
        // A TIF's own directory gives its size; EXIF's is for compressed data.
        { "Exif.Photo.PixelXDimension", suffix == "tif" ? "" : "80" },
        { "Exif.GPSInfo.GPSLatitude", "48/1 51/1 24/1" },
        { webp ? "Xmp.dc.creator" : "Iptc.Application2.Byline", "A. Photographer" },
        { "Xmp.xmp.Rating", "4" }, { "Xmp.tiff.Orientation", "1" }, { "icc", adobeRgb.toHex() },
        { "Exif.Thumbnail.JPEGInterchangeFormat", "" } };
    for (auto it = expected.begin(); it != expected.end(); ++it)
        QCOMPARE(photo.value(it.key()), it.value());
    const QImage stamped(out + "/photo." + suffix);
    QCOMPARE(stamped.size(), QSize(80, 120));
    QVERIFY(stamped.colorSpace().isValid()); // Qt's decoders find the profile too
    if (webp)
        QCOMPARE(photo.value("Exif.Image.XResolution"), "300/1");
    else
        QCOMPARE(
            QPoint(stamped.dotsPerMeterX(), stamped.dotsPerMeterY()) * 0.0254, QPoint(300, 300));
    // Nothing is added to a picture that had nothing (a TIF's own structure
    // is EXIF to Exiv2).
    const QMap<QString, QString> bare = exivValues(readFile(out + "/opaque." + suffix));
    QCOMPARE(QStringList(bare.keys()).filter(QRegularExpression("^(?!Exif\\.Image\\.)")),
        QStringList({ "comment", "icc" }));
    QVERIFY(bare["icc"].isEmpty() && bare["comment"].isEmpty()
        && (suffix == "tif" || bare.size() == 2));
    QCOMPARE(bare.value("Exif.Image.Compression"), suffix == "tif" ? "5" : ""); // LZW

    const QImage opaque(out + "/opaque." + suffix), clear(out + "/clear." + suffix);
    QCOMPARE(opaque.hasAlphaChannel() + 2 * clear.hasAlphaChannel(), suffix == "jpg" ? 0 : 2);
    if (suffix != "jpg")
        return;
    const QByteArray jpeg = readFile(out + "/opaque.jpg");
    const int frame = jpeg.indexOf("\xff\xc0"); // the sampling factors of Y, Cb and Cr
    QCOMPARE(jpeg.mid(frame + 11, 1) + jpeg.mid(frame + 14, 1) + jpeg.mid(frame + 17, 1),
        QByteArray(format == "jpg90" ? "\x11\x11\x11" : "\x22\x11\x11"));
    for (int y = 0; y < 48; y += 5)
        QVERIFY2(qGray(clear.pixel(8, y)) >= 250, "the transparent quarter turns white");
}

void FilesTest::jpegBytes_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<int>("quality");
    // A clear left quarter, and half-clear pixels in the last, short band of
    // rows only.
    QImage clear = photoLike(70, 53, 2, true);
    for (int y = 45; y < 53; ++y)
        clear.setPixel(60, y, qRgba(200, 10, 10, 128));
    QImage late = photoLike(70, 53, 3).convertToFormat(QImage::Format_ARGB32);
    late.setPixel(5, 47, qRgba(0, 0, 0, 0)); // the last row of a band
    const auto premultiplied = [](const QImage &image) {
        return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    };
    QTest::newRow("opaque, 4:2:0") << photoLike(70, 53) << 89;
    QTest::newRow("opaque, accurate DCT") << photoLike(70, 53) << 96;
    QTest::newRow("clear quarter") << clear << 90;
    QTest::newRow("clear quarter, premultiplied") << premultiplied(clear) << 90;
    QTest::newRow("one clear pixel, premultiplied") << premultiplied(late) << 80;
    QTest::newRow("opaque, premultiplied") << premultiplied(photoLike(70, 53)) << 90;
}

// The bytes libjpeg-turbo's TurboJPEG API writes for the picture laid onto
// white: as the encoder wrote them before it took a band at a time.
void FilesTest::jpegBytes()
{
    QFETCH(QImage, image);
    QFETCH(int, quality);
    QImage flat = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < flat.height(); ++y)
        for (int x = 0; x < flat.width(); ++x) {
            const QRgb pixel = flat.pixel(x, y);
            const int a = qAlpha(pixel), white = 255 * (255 - a);
            flat.setPixel(x, y,
                qRgb((qRed(pixel) * a + white + 127) / 255, (qGreen(pixel) * a + white + 127) / 255,
                    (qBlue(pixel) * a + white + 127) / 255));
        }
    tjhandle turbo = tjInitCompress();
    unsigned char *bytes = nullptr;
    unsigned long size = 0;
    QCOMPARE(
        tjCompress2(turbo, flat.constBits(), flat.width(), int(flat.bytesPerLine()), flat.height(),
            TJPF_BGRX, &bytes, &size, quality >= 90 ? TJSAMP_444 : TJSAMP_420, quality, 0),
        0);
    const QByteArray expected(reinterpret_cast<const char *>(bytes), int(size));
    tjFree(bytes);
    tjDestroy(turbo);
    QString error;
    QCOMPARE(JpegEncoder::encode(image, quality, 0, 0, &error), expected);
}

// The text is drawn as on a 96 ppi device: a second run of this test under a
// screen of 192 ppi writes the same pixels, and the preview shows them.
void FilesTest::samePixelsOnAnyScreen()
{
    ui->txt_center_btn->setChecked(true);
    add("p.png", encode(photoLike(200, 120, 3), "png"));
    run("png");
    const QImage written = QImage(out + "/p.png").convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(WindowProbe::stampedImage(*window), written);
    if (qEnvironmentVariableIsSet("TARVELO_FILES_OUT"))
        return;
    QVERIFY(written != photoLike(200, 120, 3).convertToFormat(QImage::Format_ARGB32));
    QProcess child; // this very case again, under a screen of 192 ppi
    child.setEnvironment(QProcess::systemEnvironment()
        + QStringList { "QT_FONT_DPI=192", "TARVELO_FILES_OUT=" + dir->filePath("hidpi") });
    child.start(QCoreApplication::applicationFilePath(), { "samePixelsOnAnyScreen" });
    QVERIFY(child.waitForFinished(120000) && child.exitCode() == 0);
    QCOMPARE(QImage(dir->filePath("hidpi/p.png")).convertToFormat(QImage::Format_ARGB32), written);
}

void FilesTest::refusesDamagedPictures()
{
    const QByteArray jpeg = encode(photoLike(64, 48, 9), "jpg", 90),
                     bmp = encode(photoLike(64, 48, 9), "bmp");
    QByteArray png = encode(photoLike(64, 48, 9), "png");
    png[png.indexOf("IDAT") + 40] = char(png[png.indexOf("IDAT") + 40] ^ 0x5a);
    add("cut.jpg", jpeg.left(jpeg.size() / 2));
    add("photo.bmp", bmp);
    add("cut.bmp", bmp.left(bmp.size() * 2 / 3)); // stamped right after a photo of its size
    add("corrupt.png", png);
    // An EXIF block that is no TIFF structure: the picture is still stamped.
    add("odd.jpg",
        jpeg.left(2) + segment('\xe1', QByteArray("Exif\0\0MM\0*\xff\xff", 14)) + jpeg.mid(2));
    run("png");

    QCOMPARE(QDir(out).entryList(QDir::Files), (QStringList { "odd.png", "photo.png" }));
    const QStringList lines = ui->log_plain->toPlainText().split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.value(1).section(':', 0, 1), "cut.jpg is damaged: Corrupt JPEG data");
    QCOMPARE(lines.mid(2),
        (QStringList { "cut.png ... Failed! (1 of 5)",
            "photo.bmp: the text lies outside the picture.", "photo.png ... OK! (2 of 5)",
            "cut.bmp is damaged: its pixel data ends after 6126 of 9216 bytes.",
            "cut.png ... Failed! (3 of 5)", "corrupt.png is damaged: IDAT: CRC error.",
            "corrupt.png ... Failed! (4 of 5)",
            "odd.jpg: its metadata could not be carried over (This does not look like a TIFF "
            "image).",
            "odd.jpg: the text lies outside the picture.", "odd.png ... OK! (5 of 5)",
            "Stamping Completed!", "2 of 5 pictures stamped, 3 failed." }));
    for (int row : { 1, 2, 1, 3 }) { // a damaged picture shows nothing, not the one before it
        QVERIFY(select(*window, row));
        QCOMPARE(WindowProbe::previewLabel(*window)->pixmap(Qt::ReturnByValue).isNull(), row != 1);
    }
}

TARVELO_TEST_MAIN(FilesTest)
#include "tst_files.moc"
