// Reading and writing picture files: damaged and hostile inputs are refused
// without decoding them or blocking, outputs are created exclusively under a
// free name, and nothing is left behind when a write fails.

#include <cmath>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "testsupport.h"

#include "batch/batchrunner.h"
#include "encode/jpegencoder.h"

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
    void jpeg_data();
    void jpeg();
    void write_data();
    void write();

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString path(const QString &name) const { return dir->filePath(name); }
};

void PictureIOTest::read_data()
{
    QTest::addColumn<QString>("kind"); // what is put at the name
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<ReadStatus>("status");
    QTest::addColumn<QSize>("size");
    const auto unreadable = ReadStatus::Unreadable;
    // TIFF keeps an orientation tag: stored 40 x 20, shown turned a quarter.
    QByteArray turned;
    QBuffer buffer(&turned);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "tiff");
    writer.setTransformation(QImageIOHandler::TransformationRotate90);
    writer.write(photoLike(40, 20));
    // clang-format off
    QTest::newRow("png") << "file" << encode(photoLike(40, 30), "png") << ReadStatus::Ok << QSize(40, 30);
    QTest::newRow("turned tif") << "file" << turned << ReadStatus::Ok << QSize(20, 40);
    QTest::newRow("zero bytes") << "file" << QByteArray() << unreadable << QSize();
    QTest::newRow("text") << "file" << QByteArray("just some words\n") << unreadable << QSize();
    QTest::newRow("png cut after its header") << "file" << encode(photoLike(32, 32), "png").left(40) << ReadStatus::Damaged << QSize();
    QTest::newRow("jpeg claiming 65500 x 65500") << "file" << jpegClaiming(65500, 65500) << ReadStatus::TooLarge << QSize(65500, 65500);
    // Wide but thin is not too large (the limit is on the pixel count), but
    // its 16 x 16 pixels of data are far from 30000 x 10.
    QTest::newRow("jpeg claiming 30000 x 10") << "file" << jpegClaiming(30000, 10) << ReadStatus::Damaged << QSize(30000, 10);
    // Opening a FIFO for reading would wait for a writer forever.
    QTest::newRow("fifo") << "fifo" << QByteArray() << ReadStatus::NotRegularFile << QSize();
    QTest::newRow("folder") << "folder" << QByteArray() << ReadStatus::NotRegularFile << QSize();
    QTest::newRow("nothing") << "" << QByteArray() << ReadStatus::Missing << QSize();
    QTest::newRow("dangling link") << "link" << QByteArray() << ReadStatus::Missing << QSize();
    // clang-format on
}

void PictureIOTest::read()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, bytes);
    QFETCH(ReadStatus, status);
    QFETCH(QSize, size);
    const QString name = path("p.jpg");
    if (kind == "file")
        QVERIFY(writeFile(name, bytes));
    else if (kind == "fifo")
        QVERIFY(::mkfifo(QFile::encodeName(name).constData(), 0600) == 0);
    else if (kind == "folder")
        QVERIFY(QDir().mkdir(name));
    else if (kind == "link")
        QVERIFY(QFile::link(path("nowhere"), name));
    const PictureIO::ReadResult read = PictureIO::readImage(name);
    QCOMPARE(read.status, status);
    QCOMPARE(read.image.isNull(), status != ReadStatus::Ok);
    QCOMPARE(read.errorText.isEmpty(), status == ReadStatus::Ok || status == ReadStatus::TooLarge);
    if (size.isValid())
        QCOMPARE(read.size, size);
    const QLatin1String tag(QTest::currentDataTag());
    if (tag == QLatin1String("png"))
        QCOMPARE(read.image.convertToFormat(QImage::Format_RGB32), photoLike(40, 30));
    if (tag == QLatin1String("turned tif")) // clockwise: top left goes top right
        QCOMPARE(read.image.pixel(19, 0), photoLike(40, 20).pixel(0, 0));
}

namespace {

// `jpeg` with an EXIF block in front that records `orientation`.
QByteArray withOrientation(const QByteArray &jpeg, int orientation)
{
    QByteArray exif("Exif\0\0MM\0\x2a\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0", 25);
    exif += char(orientation) + QByteArray(6, 0);
    const int length = exif.size() + 2;
    return jpeg.left(2) + "\xff\xe1" + char(length >> 8) + char(length & 0xff) + exif + jpeg.mid(2);
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
    PictureIO::ReadResult read = PictureIO::readImage(path("q.jpg"), false, fit, keepAspectRatio);
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
    const BatchResult run = BatchRunner::stampOne(path("q.jpg"), options);
    QCOMPARE(run.size, expected.size());
    QCOMPARE(run.stamped.size(), resized);
    QVERIFY(rings(run.stamped, whole, qMax(expected.width(), expected.height())).psnr >= 40);
}

void PictureIOTest::write_data()
{
    QTest::addColumn<QStringList>("taken"); // "name" a file, "name>target" a link
    QTest::addColumn<QString>("folder"); // under the test folder
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<int>("side"); // of the picture; 0: a null one
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
    QTest::newRow("null picture") << QStringList() << "" << "png" << 0 << "" << "" << "";
    QTest::newRow("unknown format") << QStringList() << "" << "nosuchformat" << 8 << "" << "" << "";
    QTest::newRow("vanished folder") << QStringList() << "gone" << "png" << 8 << "" << "" << qt_error_string(ENOENT);
    QTest::newRow("a file where the folder should be") << QStringList() << "plain" << "png" << 8 << "" << "" << qt_error_string(ENOTDIR);
    QTest::newRow("read-only folder") << QStringList() << "ro" << "png" << 8 << "read-only" << "" << qt_error_string(::geteuid() ? EACCES : EROFS);
    // Small enough to sit in the file's buffer: only the flush can fail.
    QTest::newRow("small png, fails at flush") << QStringList() << "" << "png" << 4 << "limit 10" << "" << efbig;
    QTest::newRow("large png, fails while writing") << QStringList() << "" << "png" << 256 << "limit 4096" << "" << efbig;
    QTest::newRow("large jpg, fails while writing") << QStringList() << "" << "jpg" << 256 << "limit 4096" << "" << efbig;
    // The TIFF writer seeks, which clears a failed write's error.
    QTest::newRow("large tif, fails while writing") << QStringList() << "" << "tif" << 256 << "limit 4096" << "" << efbig;
    QTest::newRow("full disk") << QStringList() << "full" << "png" << 256 << "full" << "" << qt_error_string(ENOSPC);
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
    if (fault == "full" || fault == "read-only") {
        QVERIFY(QDir().mkdir(path(folder)));
        // Permissions do not stop root; a read-only file system does.
        if (fault == "read-only" && ::geteuid() != 0)
            QVERIFY(QFile::setPermissions(path(folder), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        else if (::mount("tmpfs", QFile::encodeName(path(folder)).constData(), "tmpfs",
                     fault == "full" ? 0 : MS_RDONLY, "size=64k") != 0)
            QSKIP("cannot mount a small file system here");
        else
            unmount = std::shared_ptr<void>(nullptr,
                [at = QFile::encodeName(path(folder))](void *) { ::umount2(at.constData(), MNT_DETACH); });
        if (fault == "full") // filled up to the last few bytes
            writeFile(path("full/filler"), QByteArray(60 * 1024, 'f'));
    }
    auto before = snapshot(dir->path());
    const auto outside = snapshot(elsewhere.path());
    const QImage picture = side ? photoLike(side, side) : QImage();
    int tags = 0;
    PictureIO::WriteResult result;
    {
        const auto limit = lowerLimit(RLIMIT_FSIZE, fault.startsWith("limit") ? fault.mid(6).toUInt() : RLIM_INFINITY);
        result = PictureIO::writeNew(picture, path(folder), "x", suffix, 90,
            [&tags]() { return QStringLiteral("_T%1").arg(++tags); });
    }
    QCOMPARE(result.ok, !written.isEmpty());
    QCOMPARE(result.errorText.isEmpty(), result.ok);
    if (!error.isEmpty())
        QCOMPARE(result.errorText, error);
    if (result.ok) {
        QCOMPARE(result.path, path(written));
        QCOMPARE(result.renamed, !taken.isEmpty());
        QCOMPARE(QImage(result.path), picture);
        before.insert(written, readFile(result.path));
    }
    QCOMPARE(snapshot(dir->path()), before);
    QCOMPARE(snapshot(elsewhere.path()), outside);
}

TARVELO_TEST_MAIN(PictureIOTest)
#include "tst_pictureio.moc"
