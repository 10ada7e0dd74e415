// Reading and writing picture files: damaged and hostile inputs are refused
// without decoding them, outputs are created exclusively under a free name,
// and nothing is left behind when a write fails.

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

#include "testsupport.h"

using namespace TestSupport;
using PictureIO::ReadStatus;

Q_DECLARE_METATYPE(PictureIO::ReadStatus)

class PictureIOTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void readsPictureTurned();
    void refusesBadInput_data();
    void refusesBadInput();
    void refusesWhatIsNoPictureFile();
    void sizeLimit_data();
    void sizeLimit();
    void argbIsClearedAndExact();
    void collisionTag();
    void writesUnderAFreeName_data();
    void writesUnderAFreeName();
    void failedWriteLeavesNothing_data();
    void failedWriteLeavesNothing();

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString path(const QString &name) const { return dir->filePath(name); }
};

void PictureIOTest::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void PictureIOTest::readsPictureTurned()
{
    const QImage picture = photoLike(40, 30, 3);
    QVERIFY(writeFile(path("p.png"), encode(picture, "png")));
    PictureIO::ReadResult read = PictureIO::readImage(path("p.png"));
    QCOMPARE(read.status, ReadStatus::Ok);
    QCOMPARE(read.size, QSize(40, 30));
    QCOMPARE(read.image.convertToFormat(QImage::Format_RGB32), picture);

    // TIFF keeps an orientation tag: stored 40 x 20, shown turned a quarter.
    QImageWriter writer(path("turned.tif"), "tiff");
    writer.setTransformation(QImageIOHandler::TransformationRotate90);
    QVERIFY(writer.write(picture.copy(0, 0, 40, 20)));
    read = PictureIO::readImage(path("turned.tif"));
    QCOMPARE(read.status, ReadStatus::Ok);
    QCOMPARE(read.image.size(), QSize(20, 40));
    // Turned clockwise, the top-left corner goes to the top-right.
    QCOMPARE(read.image.pixel(19, 0), picture.pixel(0, 0));
}

void PictureIOTest::refusesBadInput_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<ReadStatus>("status");
    QTest::addColumn<QSize>("claimed");
    const auto tooLarge = ReadStatus::TooLarge;
    // clang-format off
    QTest::newRow("zero bytes") << QByteArray() << ReadStatus::Unreadable << QSize();
    QTest::newRow("text") << QByteArray("just some words\n") << ReadStatus::Unreadable << QSize();
    QTest::newRow("png cut after its header") << encode(photoLike(32, 32), "png").left(40) << ReadStatus::Unreadable << QSize();
    QTest::newRow("jpeg 20000x20000") << jpegClaiming(20000, 20000) << tooLarge << QSize(20000, 20000);
    QTest::newRow("jpeg 65500x65500") << jpegClaiming(65500, 65500) << tooLarge << QSize(65500, 65500);
    QTest::newRow("png 20000x20000") << pngClaiming(20000, 20000) << tooLarge << QSize(20000, 20000);
    QTest::newRow("png 100000x100000") << pngClaiming(100000, 100000) << tooLarge << QSize(100000, 100000);
    QTest::newRow("gif 20000x20000") << gifClaiming(20000, 20000) << tooLarge << QSize(20000, 20000);
    QTest::newRow("gif 65535x65535") << gifClaiming(65535, 65535) << tooLarge << QSize(65535, 65535);
    // Wide but thin stays allowed: the limit is on the pixel count.
    QTest::newRow("png 30000x10 is fine to claim") << pngClaiming(30000, 10) << ReadStatus::Unreadable << QSize(30000, 10);
    // clang-format on
}

void PictureIOTest::refusesBadInput()
{
    QFETCH(QByteArray, bytes);
    QFETCH(ReadStatus, status);
    QFETCH(QSize, claimed);
    QVERIFY(writeFile(path("bad"), bytes));
    const PictureIO::ReadResult read = PictureIO::readImage(path("bad"));
    QCOMPARE(read.status, status);
    QVERIFY(read.image.isNull());
    if (claimed.isValid())
        QCOMPARE(read.size, claimed);
    if (status == ReadStatus::Unreadable)
        QVERIFY(!read.errorText.isEmpty()); // the reader's own words
}

void PictureIOTest::refusesWhatIsNoPictureFile()
{
    // Opening a FIFO for reading would wait for a writer forever.
    QVERIFY(::mkfifo(QFile::encodeName(path("pipe.jpg")).constData(), 0600) == 0);
    QElapsedTimer clock;
    clock.start();
    const PictureIO::ReadResult read = PictureIO::readImage(path("pipe.jpg"));
    QCOMPARE(read.status, ReadStatus::NotRegularFile);
    QVERIFY(!read.errorText.isEmpty());
    QVERIFY(clock.elapsed() < 5000);
    QVERIFY(QDir(dir->path()).mkdir("folder.png"));
    QCOMPARE(PictureIO::readImage(path("folder.png")).status, ReadStatus::NotRegularFile);
    QCOMPARE(PictureIO::readImage(path("absent.png")).status, ReadStatus::Missing);
    QCOMPARE(PictureIO::readImage(QString()).status, ReadStatus::Missing);
    if (::geteuid() == 0)
        QSKIP("file permissions do not stop root");
    QVERIFY(writeFile(path("locked.png"), encode(photoLike(8, 8), "png")));
    QVERIFY(QFile::setPermissions(path("locked.png"), QFileDevice::Permissions()));
    QCOMPARE(PictureIO::readImage(path("locked.png")).status, ReadStatus::Unreadable);
    QCOMPARE(PictureIO::readImage(path("locked.png")).errorText, qt_error_string(EACCES));
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

void PictureIOTest::collisionTag()
{
    QCOMPARE(PictureIO::collisionTag(QDateTime(QDate(2024, 3, 15), QTime(14, 30, 5, 123))),
        QStringLiteral("_20240315143005123"));
    QCOMPARE(PictureIO::collisionTag(QDateTime(QDate(2025, 1, 2), QTime(3, 4, 5, 6))),
        QStringLiteral("_20250102030405006"));
    // The clock's own tag is now, to the millisecond.
    const QDateTime before = QDateTime::currentDateTime();
    const QString now = PictureIO::collisionTag();
    const QDateTime after = QDateTime::currentDateTime();
    QVERIFY(now.startsWith('_'));
    const QDateTime parsed = QDateTime::fromString(now.mid(1), QStringLiteral("yyyyMMddhhmmsszzz"));
    QVERIFY(parsed >= before.addMSecs(-1) && parsed <= after);
}

void PictureIOTest::writesUnderAFreeName_data()
{
    QTest::addColumn<QStringList>("taken"); // "name" a file, "name>target" a link
    QTest::addColumn<QString>("written");
    QTest::newRow("free") << QStringList() << "a.png";
    QTest::newRow("tags accumulate") << QStringList { "a.png", "a_T1.png" } << "a_T1_T2.png";
    // The name looks free (nothing "exists" there), but creating the file
    // through the link would write wherever the link points.
    QTest::newRow("dangling link") << QStringList { "a.png>planted.png" } << "a_T1.png";
    QTest::newRow("link to an outside file") << QStringList { "a.png>precious.png" } << "a_T1.png";
}

void PictureIOTest::writesUnderAFreeName()
{
    QFETCH(QStringList, taken);
    QFETCH(QString, written);
    QTemporaryDir elsewhere;
    QVERIFY(writeFile(elsewhere.filePath("precious.png"), "precious"));
    for (const QString &entry : taken) {
        const QStringList parts = entry.split('>');
        if (parts.size() == 2)
            QVERIFY(QFile::link(elsewhere.filePath(parts[1]), path(parts[0])));
        else
            QVERIFY(writeFile(path(entry), entry.toUtf8()));
    }
    const auto before = snapshot(dir->path());
    const auto outside = snapshot(elsewhere.path());
    const QImage picture = photoLike(30, 20, 7);
    int tags = 0;
    const PictureIO::WriteResult result = PictureIO::writeNew(picture, dir->path(), "a", "png", -1,
        [&tags]() { return QStringLiteral("_T%1").arg(++tags); });
    QVERIFY2(result.ok, qPrintable(result.errorText));
    QCOMPARE(result.path, path(written));
    QCOMPARE(result.renamed, !taken.isEmpty());
    QCOMPARE(tags, written.count("_T"));
    QCOMPARE(QImage(result.path).convertToFormat(QImage::Format_RGB32), picture);
    auto after = snapshot(dir->path());
    after.remove(written);
    QCOMPARE(after, before);
    QCOMPARE(snapshot(elsewhere.path()), outside);
}

void PictureIOTest::failedWriteLeavesNothing_data()
{
    QTest::addColumn<QString>("folder"); // under the test folder
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QSize>("size"); // of the picture; empty: a null one
    QTest::addColumn<int>("limit"); // of the file size, 0 for none
    QTest::addColumn<QString>("error"); // "" for any, "toolkit" for the writer's own
    // clang-format off
    QTest::newRow("null picture") << "" << "png" << QSize() << 0 << "toolkit";
    QTest::newRow("unknown format") << "" << "nosuchformat" << QSize(8, 8) << 0 << "toolkit";
    QTest::newRow("missing folder") << "gone" << "png" << QSize(8, 8) << 0 << qt_error_string(ENOENT);
    QTest::newRow("a file where the folder should be") << "plain" << "png" << QSize(8, 8) << 0 << qt_error_string(ENOTDIR);
    // Small enough to sit in the file's buffer: only the flush can fail.
    QTest::newRow("small png, fails at flush") << "" << "png" << QSize(4, 4) << 10 << qt_error_string(EFBIG);
    // Large enough to fail while the writer writes.
    QTest::newRow("large png, fails while writing") << "" << "png" << QSize(256, 256) << 4096 << "";
    QTest::newRow("large jpg, fails while writing") << "" << "jpg" << QSize(256, 256) << 4096 << "";
    QTest::newRow("large tif, fails while writing") << "" << "tif" << QSize(256, 256) << 4096 << "";
    // clang-format on
}

void PictureIOTest::failedWriteLeavesNothing()
{
    QFETCH(QString, folder);
    QFETCH(QString, suffix);
    QFETCH(QSize, size);
    QFETCH(int, limit);
    QFETCH(QString, error);
    QVERIFY(writeFile(path("plain"), "x"));
    const auto before = snapshot(dir->path());
    const QImage picture = size.isEmpty() ? QImage() : photoLike(size.width(), size.height(), 13);
    PictureIO::WriteResult result;
    {
        ResourceLimit fileSize(RLIMIT_FSIZE, limit > 0 ? rlim_t(limit) : RLIM_INFINITY);
        result = PictureIO::writeNew(picture, path(folder), "x", suffix, 90);
    }
    QVERIFY(!result.ok);
    QCOMPARE(snapshot(dir->path()), before);
    if (error == "toolkit") {
        QImageWriter toolkit(path("probe"), suffix.toLatin1());
        toolkit.write(picture);
        error = toolkit.errorString();
        QFile::remove(path("probe"));
    }
    if (error.isEmpty())
        QVERIFY(!result.errorText.isEmpty());
    else
        QCOMPARE(result.errorText, error);
}

TARVELO_TEST_MAIN(PictureIOTest)
#include "tst_pictureio.moc"
