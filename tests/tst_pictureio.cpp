// Reading and writing picture files: damaged and hostile inputs are refused
// without decoding them or blocking, outputs are created exclusively under a
// free name, and nothing is left behind when a write fails.

#include <sys/mount.h>
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
    void init() { QVERIFY((dir = std::make_unique<QTemporaryDir>())->isValid()); }
    void read_data();
    void read();
    void write_data();
    void write();
    void collisionTagAtAFixedTime();
    void unwritableFolder();

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

void PictureIOTest::collisionTagAtAFixedTime()
{
    // Every field apart: 2024-11-03 07:05:09.046, afternoon hours in 24.
    QCOMPARE(PictureIO::collisionTag(QDateTime(QDate(2024, 11, 3), QTime(7, 5, 9, 46))),
        "_20241103070509046");
    QCOMPARE(PictureIO::collisionTag(QDateTime(QDate(1999, 1, 30), QTime(23, 59, 58, 7))),
        "_19990130235958007");
}

// Writable folders are left as they were; /sys takes no file even from
// root.
void PictureIOTest::unwritableFolder()
{
    QVERIFY(PictureIO::unwritableReason(dir->path()).isEmpty());
    QCOMPARE(QDir(dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), {});
    QCOMPARE(PictureIO::unwritableReason("/sys"), qt_error_string(EACCES));
    QCOMPARE(PictureIO::unwritableReason(path("none")), qt_error_string(ENOENT));
}

TARVELO_TEST_MAIN(PictureIOTest)
#include "tst_pictureio.moc"
