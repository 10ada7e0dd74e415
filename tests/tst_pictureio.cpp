// Reading and writing picture files: damaged and hostile inputs are refused
// without decoding them, outputs are created exclusively under a free name,
// in the format their suffix names, and nothing is left behind when a write
// fails. Also the batch log's own lines.

#include <QDateTime>
#include <QImageReader>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "batchlog.h"
#include "batchtesting.h"
#include "pictureio.h"
#include "testsupport.h"

using namespace BatchTesting;
using PictureIO::ReadStatus;

Q_DECLARE_METATYPE(PictureIO::ReadStatus)

namespace {

// Lowers the largest file this process may write, so that writing fails the
// way it fails on a full disk, and restores the limit afterwards.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit lowered = saved;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved); }

private:
    rlimit saved {};
};

QString errorTextOf(int error)
{
    return qt_error_string(error);
}

} // namespace

class PictureIOTest : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void readsPicture();
    void refusesBadInput_data();
    void refusesBadInput();
    void refusesSpecialFiles();
    void refusesUnreadableFile();
    void appliesOrientation();
    void sizeLimit_data();
    void sizeLimit();
    void argbIsClearedAndExact();

    void collisionTag_data();
    void collisionTag();
    void outputPath();
    void writesFreshName();
    void tagsAccumulate();
    void danglingLinkIsNeverFollowed();
    void linkToOutsideFileIsLeftAlone();
    void formatFollowsSuffix_data();
    void formatFollowsSuffix();
    void qualityReachesJpegWriter();
    void nullImageCreatesNoFile();
    void missingFolderFails();
    void unsupportedFormatLeavesNothing();
    void failedFlushLeavesNothing_data();
    void failedFlushLeavesNothing();

    void progressLine_data();
    void progressLine();
    void overwriteWarningEscapesNames();
    void refusalLinesNamePictureAndSize();

private:
    QScopedPointer<QTemporaryDir> dir;
    QString path(const QString &name) const { return dir->filePath(name); }
};

void PictureIOTest::init()
{
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
}

void PictureIOTest::readsPicture()
{
    const QImage picture = photoLike(40, 30, 3);
    QVERIFY(writeFile(path("p.png"), encode(picture, "png")));
    const PictureIO::ReadResult read = PictureIO::readImage(path("p.png"));
    QCOMPARE(read.status, ReadStatus::Ok);
    QCOMPARE(read.size, QSize(40, 30));
    QCOMPARE(read.image.convertToFormat(QImage::Format_RGB32), picture);
}

void PictureIOTest::refusesBadInput_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<ReadStatus>("status");
    QTest::addColumn<QSize>("claimed");

    const QByteArray png = encode(photoLike(32, 32), "png");
    QTest::newRow("zero bytes") << "empty.jpg" << QByteArray() << ReadStatus::Unreadable << QSize();
    QTest::newRow("text named jpg")
        << "notes.jpg" << QByteArray("just some words\n") << ReadStatus::Unreadable << QSize();
    QTest::newRow("png cut after its header")
        << "cut.png" << png.left(40) << ReadStatus::Unreadable << QSize();
    QTest::newRow("jpeg 20000x20000")
        << "bomb.jpg" << jpegClaiming(20000, 20000) << ReadStatus::TooLarge << QSize(20000, 20000);
    // A JPEG (and a GIF) cannot claim more than 65535 pixels a side.
    QTest::newRow("jpeg 65500x65500")
        << "bomb2.jpg" << jpegClaiming(65500, 65500) << ReadStatus::TooLarge << QSize(65500, 65500);
    QTest::newRow("png 20000x20000")
        << "bomb.png" << pngClaiming(20000, 20000) << ReadStatus::TooLarge << QSize(20000, 20000);
    QTest::newRow("png 100000x100000") << "bomb2.png" << pngClaiming(100000, 100000)
                                       << ReadStatus::TooLarge << QSize(100000, 100000);
    QTest::newRow("gif 20000x20000")
        << "bomb.gif" << gifClaiming(20000, 20000) << ReadStatus::TooLarge << QSize(20000, 20000);
    QTest::newRow("gif 65535x65535")
        << "bomb2.gif" << gifClaiming(65535, 65535) << ReadStatus::TooLarge << QSize(65535, 65535);
    // Wide but thin stays allowed: the limit is on the pixel count.
    QTest::newRow("png 30000x10 is fine to claim")
        << "strip.png" << pngClaiming(30000, 10) << ReadStatus::Unreadable << QSize(30000, 10);
}

void PictureIOTest::refusesBadInput()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(ReadStatus, status);
    QFETCH(QSize, claimed);
    QVERIFY(writeFile(path(name), bytes));
    const PictureIO::ReadResult read = PictureIO::readImage(path(name));
    QCOMPARE(read.status, status);
    QVERIFY(read.image.isNull());
    if (claimed.isValid())
        QCOMPARE(read.size, claimed);
    if (status == ReadStatus::Unreadable)
        QVERIFY(!read.errorText.isEmpty());
}

void PictureIOTest::refusesSpecialFiles()
{
    // Opening a FIFO for reading would wait for a writer forever.
    QVERIFY(::mkfifo(QFile::encodeName(path("pipe.jpg")).constData(), 0600) == 0);
    QElapsedTimer clock;
    clock.start();
    PictureIO::ReadResult read = PictureIO::readImage(path("pipe.jpg"));
    QCOMPARE(read.status, ReadStatus::NotRegularFile);
    QVERIFY(!read.errorText.isEmpty());
    QVERIFY(clock.elapsed() < 5000);

    QVERIFY(QDir(dir->path()).mkdir("folder.png"));
    QCOMPARE(PictureIO::readImage(path("folder.png")).status, ReadStatus::NotRegularFile);

    QCOMPARE(PictureIO::readImage(path("absent.png")).status, ReadStatus::Missing);
    QCOMPARE(PictureIO::readImage(QString()).status, ReadStatus::Missing);
}

void PictureIOTest::refusesUnreadableFile()
{
    if (::geteuid() == 0)
        QSKIP("file permissions do not stop root");
    QVERIFY(writeFile(path("locked.png"), encode(photoLike(8, 8), "png")));
    QVERIFY(QFile::setPermissions(path("locked.png"), QFileDevice::Permissions()));
    const PictureIO::ReadResult read = PictureIO::readImage(path("locked.png"));
    QCOMPARE(read.status, ReadStatus::Unreadable);
    QCOMPARE(read.errorText, errorTextOf(EACCES));
}

void PictureIOTest::appliesOrientation()
{
    // TIFF keeps an orientation tag; the picture is stored 40x20 and shown
    // turned a quarter, 20x40.
    QImage stored(40, 20, QImage::Format_RGB32);
    stored.fill(Qt::blue);
    stored.setPixel(0, 0, qRgb(255, 0, 0));
    QImageWriter writer(path("turned.tif"), "tiff");
    writer.setTransformation(QImageIOHandler::TransformationRotate90);
    QVERIFY(writer.write(stored));

    const PictureIO::ReadResult read = PictureIO::readImage(path("turned.tif"));
    QCOMPARE(read.status, ReadStatus::Ok);
    QCOMPARE(read.image.size(), QSize(20, 40));
    // Turned clockwise, the top-left corner goes to the top-right.
    QCOMPARE(read.image.pixel(19, 0), qRgb(255, 0, 0));
}

void PictureIOTest::sizeLimit_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("300 megapixels exactly") << QSize(20000, 15000) << true;
    QTest::newRow("one pixel more") << QSize(300000001, 1) << false;
    QTest::newRow("17321 squared") << QSize(17321, 17321) << false;
    QTest::newRow("17320 squared") << QSize(17320, 17320) << true;
    QTest::newRow("65535 squared, no int overflow") << QSize(65535, 65535) << false;
    QTest::newRow("invalid") << QSize(-1, -1) << false;
}

void PictureIOTest::sizeLimit()
{
    QFETCH(QSize, size);
    QFETCH(bool, allowed);
    QCOMPARE(PictureIO::sizeAllowed(size), allowed);
}

void PictureIOTest::argbIsClearedAndExact()
{
    const QImage read = photoLike(16, 8, 5, true); // left quarter fully transparent
    const QImage argb = PictureIO::toArgb32(read);
    QCOMPARE(argb.format(), QImage::Format_ARGB32);
    QCOMPARE(argb.size(), read.size());
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            QCOMPARE(argb.pixel(x, y), x < 4 ? 0u : read.pixel(x, y));
    QVERIFY(PictureIO::toArgb32(QImage()).isNull());
}

void PictureIOTest::collisionTag_data()
{
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("tag");
    QTest::newRow("afternoon") << QDateTime(QDate(2024, 3, 15), QTime(14, 30, 5, 123))
                               << "_20240315143005123";
    QTest::newRow("last millisecond of a year")
        << QDateTime(QDate(2023, 12, 31), QTime(23, 59, 59, 999)) << "_20231231235959999";
    QTest::newRow("small numbers get zeros")
        << QDateTime(QDate(2025, 1, 2), QTime(3, 4, 5, 6)) << "_20250102030405006";
}

void PictureIOTest::collisionTag()
{
    QFETCH(QDateTime, when);
    QFETCH(QString, tag);
    QCOMPARE(PictureIO::collisionTag(when), tag);

    // The clock's own tag is now, to the millisecond.
    const QDateTime before = QDateTime::currentDateTime();
    const QString now = PictureIO::collisionTag();
    const QDateTime after = QDateTime::currentDateTime();
    QVERIFY(now.startsWith('_'));
    const QDateTime parsed = QDateTime::fromString(now.mid(1), QStringLiteral("yyyyMMddhhmmsszzz"));
    QVERIFY(parsed.isValid());
    QVERIFY(parsed >= before.addMSecs(-1) && parsed <= after);
}

void PictureIOTest::outputPath()
{
    QCOMPARE(PictureIO::outputPath("/out", "my.trip", "jpg"), QString("/out/my.trip.jpg"));
    // The folder is used as given, even with a trailing slash.
    QCOMPARE(PictureIO::outputPath("/", "a", "png"), QString("//a.png"));
}

void PictureIOTest::writesFreshName()
{
    const QImage picture = photoLike(30, 20, 7);
    int tags = 0;
    const PictureIO::WriteResult result = PictureIO::writeNew(picture, dir->path(), "beach", "png",
        -1, [&tags]() { return QString("_T%1").arg(++tags); });
    QVERIFY2(result.ok, qPrintable(result.errorText));
    QCOMPARE(result.path, path("beach.png"));
    QVERIFY(!result.renamed);
    QCOMPARE(tags, 0);
    QCOMPARE(QImage(result.path).convertToFormat(QImage::Format_RGB32), picture);
    QCOMPARE(fileNames(dir->path()), QStringList { "beach.png" });
}

void PictureIOTest::tagsAccumulate()
{
    QVERIFY(writeFile(path("a.png"), "first"));
    QVERIFY(writeFile(path("a_T1.png"), "second"));
    const auto before = snapshot(dir->path());
    int tags = 0;
    const PictureIO::WriteResult result = PictureIO::writeNew(photoLike(8, 8), dir->path(), "a",
        "png", -1, [&tags]() { return QString("_T%1").arg(++tags); });
    QVERIFY(result.ok);
    QVERIFY(result.renamed);
    QCOMPARE(result.path, path("a_T1_T2.png"));
    QCOMPARE(tags, 2);
    QCOMPARE(readFile(path("a.png")), QByteArray("first"));
    QCOMPARE(readFile(path("a_T1.png")), QByteArray("second"));
    auto after = snapshot(dir->path());
    after.remove("a_T1_T2.png");
    QCOMPARE(after, before);
}

void PictureIOTest::danglingLinkIsNeverFollowed()
{
    // The name looks free (nothing "exists" there), but creating the file
    // through the link would write wherever the link points.
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath("planted.png");
    QVERIFY(QFile::link(target, path("a.png")));
    int tags = 0;
    const PictureIO::WriteResult result = PictureIO::writeNew(photoLike(8, 8), dir->path(), "a",
        "png", -1, [&tags]() { return QString("_T%1").arg(++tags); });
    QVERIFY(result.ok);
    QVERIFY(result.renamed);
    QCOMPARE(result.path, path("a_T1.png"));
    QVERIFY(!QFileInfo::exists(target));
    QCOMPARE(QFileInfo(path("a.png")).symLinkTarget(), target);
}

void PictureIOTest::linkToOutsideFileIsLeftAlone()
{
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath("precious.png");
    QVERIFY(writeFile(target, "precious"));
    QVERIFY(QFile::link(target, path("a.png")));
    const PictureIO::WriteResult result = PictureIO::writeNew(
        photoLike(8, 8), dir->path(), "a", "png", -1, []() { return QString("_T"); });
    QVERIFY(result.ok);
    QCOMPARE(result.path, path("a_T.png"));
    QCOMPARE(readFile(target), QByteArray("precious"));
}

void PictureIOTest::formatFollowsSuffix_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QByteArray>("format");
    QTest::newRow("jpg") << "jpg" << QByteArray("jpeg");
    QTest::newRow("png") << "png" << QByteArray("png");
    QTest::newRow("tif") << "tif" << QByteArray("tiff");
}

void PictureIOTest::formatFollowsSuffix()
{
    QFETCH(QString, suffix);
    QFETCH(QByteArray, format);
    const PictureIO::WriteResult result
        = PictureIO::writeNew(photoLike(24, 16), dir->path(), "x", suffix, 90);
    QVERIFY(result.ok);
    // Detect by content, not by name.
    QFile file(result.path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QImageReader::imageFormat(&file), format);
}

void PictureIOTest::qualityReachesJpegWriter()
{
    const QImage picture = photoLike(128, 96, 11);
    const auto write = [&](const QString &name, int quality) {
        const PictureIO::WriteResult result
            = PictureIO::writeNew(picture, dir->path(), name, "jpg", quality);
        return result.ok ? result.path : QString();
    };
    const QString low = write("low", 5);
    const QString high = write("high", 98);
    const QString standard = write("standard", -1);
    QVERIFY(!low.isEmpty() && !high.isEmpty() && !standard.isEmpty());
    QVERIFY(QFileInfo(low).size() * 2 < QFileInfo(high).size());

    // The same quality through the toolkit's own writer gives the same bytes.
    QCOMPARE(readFile(high), encode(picture, "jpg", 98));
    QCOMPARE(readFile(standard), encode(picture, "jpg", -1));

    const auto difference = [&picture](const QString &file) {
        const QImage decoded = QImage(file).convertToFormat(QImage::Format_RGB32);
        qint64 sum = 0;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                sum += qAbs(qRed(decoded.pixel(x, y)) - qRed(picture.pixel(x, y)));
        return sum;
    };
    QVERIFY(difference(high) * 3 < difference(low));
}

void PictureIOTest::nullImageCreatesNoFile()
{
    QImageWriter toolkit;
    toolkit.write(QImage());
    const PictureIO::WriteResult result
        = PictureIO::writeNew(QImage(), dir->path(), "x", "png", -1);
    QVERIFY(!result.ok);
    QCOMPARE(result.errorText, toolkit.errorString());
    QVERIFY(fileNames(dir->path()).isEmpty());
}

void PictureIOTest::missingFolderFails()
{
    const PictureIO::WriteResult result
        = PictureIO::writeNew(photoLike(8, 8), path("gone"), "x", "png", -1);
    QVERIFY(!result.ok);
    QCOMPARE(result.errorText, errorTextOf(ENOENT));
    QVERIFY(fileNames(dir->path()).isEmpty());

    // A file where the folder should be.
    QVERIFY(writeFile(path("plain"), "x"));
    const PictureIO::WriteResult inFile
        = PictureIO::writeNew(photoLike(8, 8), path("plain"), "x", "png", -1);
    QVERIFY(!inFile.ok);
    QCOMPARE(inFile.errorText, errorTextOf(ENOTDIR));
}

void PictureIOTest::unsupportedFormatLeavesNothing()
{
    const PictureIO::WriteResult result
        = PictureIO::writeNew(photoLike(8, 8), dir->path(), "x", "nosuchformat", -1);
    QVERIFY(!result.ok);
    QImageWriter toolkit(path("probe.nosuchformat"), "nosuchformat");
    toolkit.write(photoLike(8, 8));
    QCOMPARE(result.errorText, toolkit.errorString());
    QFile::remove(path("probe.nosuchformat"));
    QVERIFY(fileNames(dir->path()).isEmpty());
}

void PictureIOTest::failedFlushLeavesNothing_data()
{
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QSize>("size");
    // Small enough to sit in the file's buffer: only the flush can fail.
    QTest::newRow("small png, fails at flush") << 10 << "png" << QSize(4, 4);
    // Large enough to fail while the writer writes.
    QTest::newRow("large png, fails while writing") << 4096 << "png" << QSize(256, 256);
    QTest::newRow("large jpg, fails while writing") << 4096 << "jpg" << QSize(256, 256);
    QTest::newRow("large tif, fails while writing") << 4096 << "tif" << QSize(256, 256);
}

void PictureIOTest::failedFlushLeavesNothing()
{
    QFETCH(int, limit);
    QFETCH(QString, suffix);
    QFETCH(QSize, size);
    const QImage picture = photoLike(size.width(), size.height(), 13);
    QVERIFY(encode(picture, suffix == "tif" ? "tiff" : qPrintable(suffix)).size() > limit);

    PictureIO::WriteResult result;
    {
        FileSizeLimit fileSizeLimit { rlim_t(limit) };
        result = PictureIO::writeNew(picture, dir->path(), "x", suffix, 90);
    }
    QVERIFY(!result.ok);
    QVERIFY(!result.errorText.isEmpty());
    QVERIFY(fileNames(dir->path()).isEmpty());
    if (limit == 10)
        QCOMPARE(result.errorText, errorTextOf(EFBIG));
}

void PictureIOTest::progressLine_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<bool>("written");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("total");
    QTest::addColumn<QString>("line");
    QTest::newRow("ok") << "beach"
                        << "jpg" << true << 2 << 5 << "beach.jpg ... OK! (2 of 5)";
    QTest::newRow("failed") << "beach"
                            << "jpg" << false << 2 << 5 << "beach.jpg ... Failed! (2 of 5)";
    QTest::newRow("dotted name") << "my.trip"
                                 << "png" << true << 10 << 12 << "my.trip.png ... OK! (10 of 12)";
    QTest::newRow("markup stays text") << "a&b<i>"
                                       << "tif" << true << 1 << 1 << "a&b<i>.tif ... OK! (1 of 1)";
}

void PictureIOTest::progressLine()
{
    QFETCH(QString, base);
    QFETCH(QString, suffix);
    QFETCH(bool, written);
    QFETCH(int, position);
    QFETCH(int, total);
    QFETCH(QString, line);
    QCOMPARE(BatchLog::progressLine(base, suffix, written, position, total), line);
}

void PictureIOTest::overwriteWarningEscapesNames()
{
    QCOMPARE(
        BatchLog::overwriteWarning("D:/out", "beach", "jpg", "D:/out/beach_20240315143005123.jpg"),
        QString("<b><font color=\"#ffc90e\">Warning</font></b> - File D:/out/beach.jpg saved "
                "with new name D:/out/beach_20240315143005123.jpg to avoid overwrite because "
                "it already existed!"));
    QCOMPARE(BatchLog::overwriteWarning("/t&t", "a&b<i>", "png", "/t&t/a&b<i>_1.png"),
        QString(
            "<b><font color=\"#ffc90e\">Warning</font></b> - File /t&amp;t/a&amp;b&lt;i&gt;.png "
            "saved with new name /t&amp;t/a&amp;b&lt;i&gt;_1.png to avoid overwrite "
            "because it already existed!"));
}

void PictureIOTest::refusalLinesNamePictureAndSize()
{
    const QString tooLarge = BatchLog::tooLarge("bomb.jpg", QSize(20000, 20000));
    QVERIFY(tooLarge.contains("bomb.jpg"));
    QVERIFY(tooLarge.contains("20000 x 20000"));
    QVERIFY(tooLarge.contains("300 megapixels"));
    QCOMPARE(BatchLog::outOfMemory("big.png", QSize(9000, 8000)),
        QString("big.png (9000 x 8000 pixels) could not be stamped: not enough memory."));
}

TARVELO_TEST_MAIN(PictureIOTest)
#include "tst_pictureio.moc"
