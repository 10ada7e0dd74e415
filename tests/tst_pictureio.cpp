// SPDX-License-Identifier: GPL-3.0-or-later
// Reading and writing picture files: damaged and hostile inputs are refused
// without decoding them or blocking, outputs are created exclusively under a
// free name, and nothing is left behind when a write fails.

#include <cmath>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <zlib.h>

#include "testsupport.h"

#include "common/argb.h"
#include "decoder/mappedfile.h"
#include "encode/jpegencoder.h"
#include "io/outputfiles.h"

using namespace TestSupport;
using PictureIO::ReadStatus;

Q_DECLARE_METATYPE(PictureIO::ReadStatus)

class PictureIOTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY((dir = std::make_unique<QTemporaryDir>())->isValid()); }
    void read_data();
    void read();
    void keyedPng_data();
    void keyedPng();
    void jpeg_data();
    void jpeg();
    void phonePictures_data();
    void phonePictures();
    void write_data();
    void write();
    void fileCutShortWhileMapped();
    void collisionTagAtAFixedTime();
    void unwritableFolder();

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString path(const QString &name) const { return dir->filePath(name); }
};

// `image` as OpenJPEG's own encoder writes it, losslessly, into a file of
// `suffix` (JP2 boxes or a bare codestream); empty without the encoder.
QByteArray opjCompressed(const QImage &image, const QString &suffix)
{
    QTemporaryDir dir;
    QProcess encoder;
    encoder.setStandardOutputFile(QProcess::nullDevice());
    encoder.setStandardErrorFile(QProcess::nullDevice());
    if (!image.save(dir.filePath("in.ppm")))
        return QByteArray();
    // Three resolution levels: the default six need 32 pixels each way.
    encoder.start("opj_compress",
        { "-n", "3", "-i", dir.filePath("in.ppm"), "-o", dir.filePath("out." + suffix) });
    encoder.waitForFinished();
    return encoder.exitCode() == 0 ? readFile(dir.filePath("out." + suffix)) : QByteArray();
}

namespace {

// A one-row 16-bit PNG of colour type `colourType` (0 grey, 2 RGB) with the
// samples and the transparent colour (tRNS) given, its chunks written by hand.
QByteArray pngWithKey(int colourType, const QVector<quint16> &samples, const QVector<quint16> &key)
{
    QByteArray png("\x89PNG\r\n\x1a\n", 8), header, row, trns; // big-endian, as QDataStream writes
    QDataStream(&header, QIODevice::WriteOnly)
        << quint32(samples.size() / (colourType == 2 ? 3 : 1)) << quint32(1) << quint8(16)
        << quint8(colourType) << quint8(0) << quint16(0);
    QDataStream rows(&row, QIODevice::WriteOnly), keys(&trns, QIODevice::WriteOnly),
        out(&png, QIODevice::Append);
    rows << quint8(0); // no filter
    for (const quint16 sample : samples)
        rows << sample;
    for (const quint16 sample : key)
        keys << sample;
    // qCompress() puts its own length before the zlib stream.
    for (const QByteArray &typed :
        { "IHDR" + header, "tRNS" + trns, "IDAT" + qCompress(row).mid(4), QByteArray("IEND") }) {
        out << quint32(typed.size() - 4);
        out.writeRawData(typed.constData(), typed.size());
        out << quint32(
            crc32(0, reinterpret_cast<const Bytef *>(typed.constData()), uInt(typed.size())));
    }
    return png;
}

} // namespace

// Qt misreads 16-bit PNGs with a transparent colour; the key is compared
// with the full 16-bit samples, so a colour one step off stays opaque.
void PictureIOTest::keyedPng_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QVector<quint64>>("pixels"); // QRgba64; none: refused as damaged
    const quint64 clear = 0;
    const auto opaque = [](quint16 red, quint16 green, quint16 blue) {
        return quint64(QRgba64::fromRgba64(red, green, blue, 0xffff));
    };
    QTest::newRow("RGB") << pngWithKey(2,
        { 0x1234, 0x5678, 0x9abc, 0x1235, 0x5678, 0x9abc, 0xffff, 0, 0x00ff },
        { 0x1234, 0x5678, 0x9abc })
                         << QVector<quint64> { clear, opaque(0x1235, 0x5678, 0x9abc),
                                opaque(0xffff, 0, 0x00ff) };
    QTest::newRow("grey") << pngWithKey(0, { 0x8001, 0x8000, 0x0001 },
        { 0x8000 }) << QVector<quint64> { opaque(0x8001, 0x8001, 0x8001), clear, opaque(1, 1, 1) };
    const QByteArray whole = pngWithKey(0, { 1, 2, 3 }, { 2 });
    QTest::newRow("cut") << whole.left(whole.indexOf("IDAT") + 6) << QVector<quint64>();
}

void PictureIOTest::keyedPng()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QVector<quint64>, pixels);
    QVERIFY(writeFile(path("k.png"), bytes));
    const PictureIO::ReadResult read = readPicture(path("k.png"));
    QCOMPARE(read.status, pixels.isEmpty() ? ReadStatus::Damaged : ReadStatus::Ok);
    // The key is compared at 16 bits; the program gets 8.
    for (int x = 0; x < pixels.size(); ++x) {
        const QRgb pixel = read.image.pixel(x, 0);
        QCOMPARE(qAlpha(pixel) ? pixel : 0, pixels[x] ? QRgba64::fromRgba64(pixels[x]).toArgb32() : 0);
    }
}

namespace {

// `jpeg` with an EXIF block in front that records `orientation`.
QByteArray withOrientation(const QByteArray &jpeg, int orientation)
{
    const QByteArray exif("Exif\0\0MM\0\x2a\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0", 25);
    return jpeg.left(2) + segment('\xe1', exif + char(orientation) + QByteArray(6, 0))
        + jpeg.mid(2);
}

// Rings of rising frequency up to the pixel pitch, in three tones: any
// aliasing of a resize shows as rings where there should be flat colour.
QImage zonePlate(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double dx = x + 0.5 - width / 2.0, dy = y + 0.5 - height / 2.0;
            const int grey = qBound(0, int(128 + 127 * std::cos(M_PI * (dx * dx + dy * dy) / width)), 255);
            image.setPixel(x, y, qRgb(grey, grey / 2 + 64, 255 - grey));
        }
    return image;
}

// How `resized`, a zone plate `full` pixels wide resized, differs from
// `reference` where its rings are coarse enough to show (-1: nowhere), and
// how far it strays from the plate's mean tones where they are too fine to.
struct Rings
{
    double psnr = 99;
    double straying = 0;
};
Rings rings(const QImage &resized, const QImage &reference, int full)
{
    const double scale = double(resized.width()) / full;
    double kept = 0, fine = 0;
    int keptCount = 0, fineCount = 0;
    for (int y = 0; y < resized.height(); ++y)
        for (int x = 0; x < resized.width(); ++x) {
            // The rings' frequency there, in cycles per resized pixel.
            const double r = std::hypot(x + 0.5 - resized.width() / 2.0, y + 0.5 - resized.height() / 2.0) / scale;
            const double frequency = r / full / scale;
            const QRgb a = resized.pixel(x, y), b = reference.pixel(x, y);
            if (frequency < 0.2) {
                for (const int shift : { 0, 8, 16 })
                    kept += std::pow(int((a >> shift) & 0xff) - int((b >> shift) & 0xff), 2);
                keptCount += 3;
            } else if (frequency > 1) {
                fine += std::pow(qRed(a) - 128, 2) + std::pow(qGreen(a) - 128, 2) + std::pow(qBlue(a) - 127, 2);
                fineCount += 3;
            }
        }
    Rings result;
    if (kept > 0)
        result.psnr = 10 * std::log10(255.0 * 255.0 * keptCount / kept);
    result.straying = fineCount ? std::sqrt(fine / fineCount) : 0;
    return result;
}

} // namespace

void PictureIOTest::read_data()
{
    QTest::addColumn<QString>("name"); // or what is put at p.jpg: "fifo", "folder", "link", "nothing"
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<ReadStatus>("status");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRgb>("pixel"); // at (1, 0); 0: not compared
    const auto unreadable = ReadStatus::Unreadable;
    // TIFF keeps an orientation tag: stored 40 x 20, shown turned a quarter.
    QByteArray turned;
    QBuffer buffer(&turned);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "tiff");
    writer.setTransformation(QImageIOHandler::TransformationRotate90);
    writer.write(photoLike(40, 20));
    // The codestream's size (Xsiz, Ysiz) and its one tile's made 65500 x 65500.
    const QByteArray jp2 = opjCompressed(photoLike(40, 30), "jp2");
    QByteArray j2kHuge = opjCompressed(photoLike(40, 30), "j2k");
    if (!j2kHuge.isEmpty())
        for (const int at : { 8, 12, 24, 28 })
            qToBigEndian<quint32>(65500, j2kHuge.data() + at);
    // 1-bit and indexed pictures are expanded by the decoder.
    const QImage mono = photoLike(16, 16).convertToFormat(QImage::Format_Mono);
    QImage palette(6, 4, QImage::Format_Indexed8);
    palette.setColorTable({ qRgb(200, 30, 40), qRgb(10, 20, 250) });
    palette.fill(1);
    palette.setText("Comment", QString(17 << 20, 'x')); // more than the details hold
    // clang-format off
    QTest::newRow("png") << "p.jpg" << encode(photoLike(40, 30), "png") << ReadStatus::Ok << QSize(40, 30) << 0u;
    QTest::newRow("turned tif") << "p.jpg" << turned << ReadStatus::Ok << QSize(20, 40) << 0u;
    QTest::newRow("zero bytes") << "p.jpg" << QByteArray() << unreadable << QSize() << 0u;
    QTest::newRow("text") << "p.jpg" << QByteArray("just some words\n") << unreadable << QSize() << 0u;
    QTest::newRow("png cut after its header") << "p.jpg" << encode(photoLike(32, 32), "png").left(40) << ReadStatus::Damaged << QSize() << 0u;
    QTest::newRow("jpeg claiming 65500 x 65500") << "p.jpg" << jpegClaiming(65500, 65500) << ReadStatus::TooLarge << QSize(65500, 65500) << 0u;
    // Wide but thin is not too large (the limit is on the pixel count), but
    // its 16 x 16 pixels of data are far from 30000 x 10.
    QTest::newRow("jpeg claiming 30000 x 10") << "p.jpg" << jpegClaiming(30000, 10) << ReadStatus::Damaged << QSize(30000, 10) << 0u;
    QTest::newRow("jp2 by opj_compress") << "p.jpg" << jp2 << ReadStatus::Ok << QSize(40, 30) << 0u;
    QTest::newRow("j2k by opj_compress") << "p.jpg" << opjCompressed(photoLike(40, 30), "j2k") << ReadStatus::Ok << QSize(40, 30) << 0u;
    QTest::newRow("jp2 cut short") << "p.jpg" << jp2.left(jp2.size() - 200) << ReadStatus::Damaged << QSize() << 0u;
    QTest::newRow("j2k claiming 65500 x 65500") << "p.jpg" << j2kHuge << ReadStatus::TooLarge << QSize(65500, 65500) << 0u;
    // Opening a FIFO for reading would wait for a writer forever.
    QTest::newRow("fifo") << "fifo" << QByteArray() << ReadStatus::NotRegularFile << QSize() << 0u;
    QTest::newRow("folder") << "folder" << QByteArray() << ReadStatus::NotRegularFile << QSize() << 0u;
    QTest::newRow("nothing") << "nothing" << QByteArray() << ReadStatus::Missing << QSize() << 0u;
    QTest::newRow("dangling link") << "link" << QByteArray() << ReadStatus::Missing << QSize() << 0u;
    QTest::newRow("XBM") << "p.xbm" << encode(mono, "xbm") << ReadStatus::Ok << QSize() << mono.pixel(1, 0);
    QTest::newRow("PNG whose text outgrows the details") << "p.png" << encode(palette, "png") << ReadStatus::Ok << QSize() << qRgb(10, 20, 250);
    // clang-format on
}

// Damaged means refused, whatever the format; what is read whole keeps its
// own colours (no grey stand-ins for a colour table that went missing).
void PictureIOTest::read()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(ReadStatus, status);
    QFETCH(QSize, size);
    QFETCH(QRgb, pixel);
    const QString kind = name;
    name = path(name.contains('.') ? name : "p.jpg");
    const QLatin1String tag(QTest::currentDataTag());
    if (bytes.isEmpty()
        && (tag.contains(QLatin1String("j2k")) || tag.contains(QLatin1String("jp2"))))
        QSKIP("opj_compress (libopenjp2-tools) is missing");
    if (kind.contains('.'))
        QVERIFY(writeFile(name, bytes));
    else if (kind == "fifo")
        QVERIFY(::mkfifo(QFile::encodeName(name).constData(), 0600) == 0);
    else if (kind == "folder")
        QVERIFY(QDir().mkdir(name));
    else if (kind == "link")
        QVERIFY(QFile::link(path("nowhere"), name));
    const PictureIO::ReadResult read = readPicture(name);
    QVERIFY2(read.status == status, qPrintable(read.errorText));
    QCOMPARE(read.image.isNull(), status != ReadStatus::Ok);
    // 1-bit and indexed pictures too: the decoder expands them, not the program.
    QVERIFY(read.image.isNull() || Argb::ready(read.image));
    QCOMPARE(read.errorText.isEmpty(), status == ReadStatus::Ok || status == ReadStatus::TooLarge);
    if (size.isValid())
        QCOMPARE(read.size, size);
    if (pixel)
        QCOMPARE(read.image.pixel(1, 0), pixel);
    if (tag == QLatin1String("png") || tag.endsWith(QLatin1String("by opj_compress")))
        QCOMPARE(read.image.convertToFormat(QImage::Format_RGB32), photoLike(40, 30));
    if (tag == QLatin1String("turned tif")) // clockwise: top left goes top right
        QCOMPARE(read.image.pixel(19, 0), photoLike(40, 20).pixel(0, 0));
}

void PictureIOTest::phonePictures_data()
{
    // Run in the test folder on s.png colour, s16.png 16-bit colour, g.png
    // grey, g16.png 16-bit grey, a.png with a clear quarter, t.png another
    // picture and o.png of odd size; after a | the property put in the
    // place of the HEIC's "pixi" box.
    QTest::addColumn<QString>("encode");
    // clang-format off
    for (const char *row : { "avifenc -y 420 s.png x.avif", "avifenc -y 444 s.png x.avif", "avifenc -y 400 g.png x.avif",
             "avifenc -y 400 -d 10 g16.png x.avif", "avifenc -d 10 s16.png x.avif", "avifenc -d 12 s16.png x.avif",
             "avifenc a.png x.avif", "avifenc -g 2x2 s.png x.avif", "avifenc --irot 1 --imir 0 s.png x.avif",
             "heif-enc -A s.png t.png -o x.avif", "heif-enc s.png -o x.heic", "heif-enc -p chroma=444 s.png -o x.heic",
             "heif-enc g.png -o x.heic", "heif-enc -b 10 g16.png -o x.heic", "heif-enc -b 10 s16.png -o x.heic",
             "heif-enc -b 12 s16.png -o x.heic", "heif-enc a.png -o x.heic",
             "heif-enc o.png -o x.heic", // an odd size goes into a grid of the coded, even-sized tile
             "heif-enc s.png -o x.heic|irot\1", "heif-enc s.png -o x.heic|imir\1", "heif-enc s.png t.png -o x.heic" })
        QTest::newRow(row) << QString(row);
    // clang-format on
}

// Every kind of phone picture the encoders make is read as their own
// decoders read it, turned as they turn it; cut short, or with a byte of
// its coded data or declared size changed, it is refused or read at its
// size, never crashes a decoder nor shows an earlier picture's pixels.
void PictureIOTest::phonePictures()
{
    QFETCH(QString, encode);
    const QImage photo = photoLike(256, 192);
    const QImage sources[] = { photo, photo.convertToFormat(QImage::Format_RGBX64),
        photo.convertToFormat(QImage::Format_Grayscale8),
        photo.convertToFormat(QImage::Format_Grayscale16), photoLike(256, 192, 5, true),
        photoLike(256, 192, 9).mirrored(), photoLike(257, 193) };
    for (int k = 0; k < 7; ++k)
        QVERIFY(sources[k].save(path(QString("s s16 g g16 a t o").section(' ', k, k) + ".png")));
    const auto run = [this](const QString &command) {
        return QProcess::execute(
            "sh", { "-c", "cd '" + dir->path() + "' && " + command + " >/dev/null 2>&1" });
    };
    if (run(encode.section('|', 0, 0)) != 0)
        QSKIP(qPrintable(encode.section(' ', 0, 0) + " failed or is missing"));
    const QString file = path(encode.section('|', 0, 0).section(' ', -1));
    QByteArray bytes = readFile(file);
    const int pixi = bytes.indexOf(QByteArray("\0\0\0\x10pixi", 8));
    if (encode.contains('|') && pixi > 0)
        QVERIFY(writeFile(file,
            bytes.replace(pixi + 4, 12, encode.section('|', 1).toLatin1() + QByteArray(7, '\0'))));
    // What the library's own tool decodes it to; avifdec leaves the turns
    // to the viewer.
    const QString tool
        = file.endsWith("heic") || encode.contains("irot") ? "heif-convert " : "avifdec ";
    QCOMPARE(run(tool + QFileInfo(file).fileName() + " r.png && (mv r-1.png r.png || true)"), 0);
    const QImage expected
        = QImage(path("r.png")).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    // One pool for every read below, as a run shares it: a reused buffer
    // must never show the picture read before.
    const PictureBuffers buffers;
    const auto readWith = [&buffers](const QString &name) {
        return PictureIO::readImage(name, PictureIO::ReadLimits(), buffers);
    };
    const PictureIO::ReadResult read = readWith(file);
    QVERIFY2(read.status == ReadStatus::Ok, qPrintable(read.errorText));
    const QImage image = read.image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QCOMPARE(image.size(), expected.size());
    double error = 1;
    for (qsizetype k = 0; k < image.sizeInBytes(); ++k)
        error += std::pow(image.constBits()[k] - expected.constBits()[k], 2);
    const double psnr = 10 * std::log10(255.0 * 255 * image.sizeInBytes() / error);
    QVERIFY2(psnr >= 40, qPrintable(QString::number(psnr)));

    // A byte of its coded data changed; a bit of its declared height
    // ("ispe"), to which a reader may scale the picture (libavif does).
    QByteArray changed = bytes, resized = bytes;
    changed.data()[(bytes.indexOf("mdat") + bytes.size()) / 2] ^= 0x55;
    resized.data()[bytes.indexOf("ispe") + 14] ^= 4;
    QImage earlier(400, 300, QImage::Format_ARGB32);
    earlier.fill(qRgb(1, 254, 3));
    QVERIFY(earlier.save(path("earlier.png")));
    for (const QByteArray &damaged : { bytes.left(bytes.size() * 2 / 3), changed, resized }) {
        QVERIFY(readWith(path("earlier.png")).status == ReadStatus::Ok);
        QVERIFY(writeFile(file, damaged));
        const PictureIO::ReadResult again = readWith(file);
        // A tile's own declared size is no picture's: read whole, the
        // picture is the one it was.
        QVERIFY2(again.status == ReadStatus::Damaged
                || (damaged == changed && again.status == ReadStatus::Ok)
                || (again.status == ReadStatus::Ok && again.image == read.image),
            qPrintable(again.errorText));
        const auto *pixels = reinterpret_cast<const QRgb *>(again.image.constBits());
        const auto end = pixels + again.image.sizeInBytes() / 4;
        QVERIFY(again.image.isNull()
            || (again.image.size() == read.image.size()
                && std::find(pixels, end, earlier.pixel(0, 0)) == end));
    }
}

// A file cut short while a decoder has it mapped reads as zeros past its new
// end, and says so, instead of ending the process.
void PictureIOTest::fileCutShortWhileMapped()
{
    const QByteArray jpeg = encode(photoLike(300, 200), "jpg", 90);
    QVERIFY(jpeg.size() > 3 * 4096 && writeFile(path("cut.jpg"), jpeg));
    QFile file(path("cut.jpg"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const MappedFile mapped(file.handle(), MappedFile::Largest);
    QCOMPARE(mapped.bytes(), jpeg);
    QVERIFY(!mapped.cutShort() && QFile::resize(path("cut.jpg"), 5000));
    QCOMPARE(mapped.bytes().mid(5000), QByteArray(jpeg.size() - 5000, '\0'));
    QVERIFY(mapped.cutShort());
}

void PictureIOTest::jpeg_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("fit"); // empty: the whole picture
    QTest::addColumn<bool>("keepAspectRatio");
    QTest::addColumn<QSize>("decoded"); // with a fit
    const QImage photo = photoLike(45, 29);
    // clang-format off
    for (int orientation = 1; orientation <= 8; ++orientation)
        QTest::addRow("4:2:0, orientation %d", orientation) << withOrientation(encode(photo, "jpg", 90), orientation) << QSize() << true << QSize();
    QString error;
    QTest::newRow("4:4:4, turned") << withOrientation(JpegEncoder::encode(photo, 95, 0, 0, &error), 7) << QSize() << true << QSize();
    const QByteArray chart = encode(zonePlate(1600, 1200), "jpg", 95);
    QTest::newRow("chart fitted, 1/4") << chart << QSize(180, 180) << true << QSize(400, 300);
    QTest::newRow("chart fitted, 1/2") << chart << QSize(360, 360) << true << QSize(800, 600);
    QTest::newRow("chart turned and stretched, 1/2") << withOrientation(chart, 8) << QSize(250, 350) << false << QSize(600, 800);
    QTest::newRow("chart halved, not shrunk") << chart << QSize(800, 800) << true << QSize(1600, 1200);
    QByteArray progressive;
    QBuffer into(&progressive);
    QImageWriter writer(&into, "jpg");
    writer.setProgressiveScanWrite(true);
    QVERIFY(writer.write(zonePlate(1000, 700)));
    QTest::newRow("progressive, in bands") << progressive << QSize() << true << QSize();
    // clang-format on
}

// Colour JPEGs decode to the toolkit reader's pixels, orientation applied;
// read for a fit, they come smaller and resize to what the whole picture
// resizes to, without rings that are not there.
void PictureIOTest::jpeg()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, fit);
    QFETCH(bool, keepAspectRatio);
    QFETCH(QSize, decoded);
    QVERIFY(writeFile(path("q.jpg"), bytes));
    QImageReader reader(path("q.jpg"));
    reader.setAutoTransform(true);
    const QImage expected = reader.read().convertToFormat(QImage::Format_ARGB32);
    PictureIO::ReadResult read = readPicture(path("q.jpg"), std::nullopt, fit, keepAspectRatio);
    QCOMPARE(read.status, ReadStatus::Ok);
    QCOMPARE(read.size, expected.size());
    QImage picture = PictureIO::toArgb32(std::move(read.image));
    if (fit.isEmpty()) {
        QCOMPARE(picture, expected);
        return;
    }
    QCOMPARE(picture.size(), decoded);
    // Against the resize of the whole picture: the same where the rings
    // are coarse, no more rings where they are too fine to show.
    const QSize resized = expected.size().scaled(fit, keepAspectRatio ? Qt::KeepAspectRatio : Qt::IgnoreAspectRatio);
    const QImage whole = expected.scaled(resized, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const Rings fitted = rings(picture.scaled(resized, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), whole, qMax(expected.width(), expected.height()));
    const Rings before = rings(whole, whole, qMax(expected.width(), expected.height()));
    QVERIFY2(fitted.psnr >= 40 && fitted.straying <= before.straying * 1.25 + 0.5,
             qPrintable(QStringLiteral("%1 dB, %2 against %3").arg(fitted.psnr).arg(fitted.straying).arg(before.straying)));
    // A run resizing to the box makes its picture the same way.
    BatchOptions options;
    options.stamp.resizeEnabled = true;
    options.stamp.resizeWidth = fit.width();
    options.stamp.resizeHeight = fit.height();
    options.stamp.keepAspectRatio = keepAspectRatio;
    options.stamp.shadowHeight = 0;
    options.keepImages = true;
    const BatchResult run = stampAlone(path("q.jpg"), options);
    QCOMPARE(run.size, expected.size());
    QCOMPARE(run.stamped.size(), resized);
    QVERIFY(rings(run.stamped, whole, qMax(expected.width(), expected.height())).psnr >= 40);
}

void PictureIOTest::write_data()
{
    QTest::addColumn<QStringList>("taken"); // "name" a file, "name>target" a link
    QTest::addColumn<QString>("folder"); // under the test folder
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<int>("side"); // of the picture
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("written"); // "" when the write fails
    QTest::addColumn<QString>("error"); // "" for any
    const QString efbig = qt_error_string(EFBIG);
    // clang-format off
    QTest::newRow("free") << QStringList() << "" << "png" << 8 << "" << "x.png" << "";
    QTest::newRow("tags accumulate") << QStringList { "x.png", "x_T1.png" } << "" << "png" << 8 << "" << "x_T1_T2.png" << "";
    // Nothing "exists" at a dangling link, yet creating the file through it
    // would write wherever it points.
    QTest::newRow("dangling link") << QStringList { "x.png>planted.png" } << "" << "png" << 8 << "" << "x_T1.png" << "";
    QTest::newRow("link to an outside file") << QStringList { "x.png>precious.png" } << "" << "png" << 8 << "" << "x_T1.png" << "";
    QTest::newRow("vanished folder") << QStringList() << "gone" << "png" << 8 << "" << "" << qt_error_string(ENOENT);
    QTest::newRow("a file where the folder should be") << QStringList() << "plain" << "png" << 8 << "" << "" << qt_error_string(ENOTDIR);
    QTest::newRow("read-only folder") << QStringList() << "ro" << "png" << 8 << "read-only" << "" << qt_error_string(::geteuid() ? EACCES : EROFS);
    // Small enough to sit in the file's buffer: only the flush can fail.
    QTest::newRow("small png, fails at flush") << QStringList() << "" << "png" << 4 << "limit 10" << "" << efbig;
    QTest::newRow("large png, fails while writing") << QStringList() << "" << "png" << 256 << "limit 4096" << "" << efbig;
    // clang-format on
}

void PictureIOTest::write()
{
    QFETCH(QStringList, taken);
    QFETCH(QString, folder);
    QFETCH(QString, suffix);
    QFETCH(int, side);
    QFETCH(QString, fault);
    QFETCH(QString, written);
    QFETCH(QString, error);
    QTemporaryDir elsewhere;
    std::shared_ptr<void> unmount; // when the case ends
    QVERIFY(writeFile(elsewhere.filePath("precious.png"), "precious") && writeFile(path("plain"), "x"));
    for (const QString &entry : taken)
        QVERIFY(entry.contains('>') ? QFile::link(elsewhere.filePath(entry.section('>', 1)), path(entry.section('>', 0, 0)))
                                    : writeFile(path(entry), entry.toUtf8()));
    if (fault == "read-only") {
        QVERIFY(QDir().mkdir(path(folder)));
        // Permissions do not stop root; a read-only file system does.
        if (::geteuid() != 0)
            QVERIFY(QFile::setPermissions(path(folder), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        else if (::mount("tmpfs", QFile::encodeName(path(folder)).constData(), "tmpfs",
                     MS_RDONLY, "size=64k") != 0)
            QSKIP("cannot mount a small file system here");
        else
            unmount = std::shared_ptr<void>(nullptr,
                [at = QFile::encodeName(path(folder))](void *) { ::umount2(at.constData(), MNT_DETACH); });
    }
    auto before = snapshot(dir->path());
    const auto outside = snapshot(elsewhere.path());
    const QByteArray picture = encode(photoLike(side, side), qPrintable(suffix));
    int tags = 0;
    OutputFiles::WriteResult result;
    {
        const auto limit = lowerLimit(RLIMIT_FSIZE, fault.startsWith("limit") ? fault.mid(6).toUInt() : RLIM_INFINITY);
        result = OutputFiles::createNew(picture, path(folder), "x", suffix,
            [&tags]() { return QStringLiteral("_T%1").arg(++tags); });
    }
    QCOMPARE(result.ok, !written.isEmpty());
    QCOMPARE(result.errorText.isEmpty(), result.ok);
    if (!error.isEmpty())
        QCOMPARE(result.errorText, error);
    if (result.ok) {
        QCOMPARE(result.path, path(written));
        QCOMPARE(result.renamed, !taken.isEmpty());
        QCOMPARE(readFile(result.path), picture);
        before.insert(written, readFile(result.path));
    }
    QCOMPARE(snapshot(dir->path()), before);
    QCOMPARE(snapshot(elsewhere.path()), outside);
}

void PictureIOTest::collisionTagAtAFixedTime()
{
    // Every field apart: 2024-11-03 07:05:09.046, afternoon hours in 24.
    QCOMPARE(OutputFiles::collisionTag(QDateTime(QDate(2024, 11, 3), QTime(7, 5, 9, 46))),
        "_20241103070509046");
    QCOMPARE(OutputFiles::collisionTag(QDateTime(QDate(1999, 1, 30), QTime(23, 59, 58, 7))),
        "_19990130235958007");
}

// Writable folders are left as they were; /sys takes no file even from
// root.
void PictureIOTest::unwritableFolder()
{
    QVERIFY(OutputFiles::unwritableReason(dir->path()).isEmpty());
    QCOMPARE(QDir(dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), {});
    QCOMPARE(OutputFiles::unwritableReason("/sys"), qt_error_string(EACCES));
    QCOMPARE(OutputFiles::unwritableReason(path("none")), qt_error_string(ENOENT));
}

TARVELO_TEST_MAIN(PictureIOTest)
#include "tst_pictureio.moc"
