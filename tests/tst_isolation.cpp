// SPDX-License-Identifier: GPL-3.0-or-later
// Untrusted pictures: content of a kind not read here never reaches a
// reader, whatever the file is called; the pictures that are read are
// decoded in a decoder process, whose death costs one picture; and the
// program's own conversion copes with whatever a reader returns.

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "common/decoderreply.h"
#include "decoder/zygote.h"
#include "io/decoderconversation.h"
#include "io/decoderparent.h"
#include "testsupport.h"

using namespace TestSupport;

namespace {

// The bytes other than zero in `memory`, wherever it holds any.
quint32 leftovers(int memory)
{
    quint32 found = 0;
    char block[4096];
    for (off_t at = ::lseek(memory, 0, SEEK_DATA); at >= 0; at = ::lseek(memory, at, SEEK_DATA))
        for (const off_t end = ::lseek(memory, at, SEEK_HOLE); at < end; at += sizeof block) {
            const ssize_t count = ::pread(memory, block, sizeof block, at);
            found += quint32(std::count_if(
                block, block + std::max<ssize_t>(count, 0), [](char c) { return c != 0; }));
        }
    return found;
}

// A stand-in decoder: this test program, started by the pool in place of
// tarvelo-decoder, starts a decoder for each picture as the real one does,
// which speaks the protocol the way the file it gets asks for ("standin:"
// and a misdeed at its end). Otherwise it answers honestly with a 4 x 3
// picture whose colour is its process id, but for the top left pixel: the
// number of bytes of earlier pictures it found in the memory it was handed.
int standInDecoder(const DecoderProtocol::Start &)
{
    using namespace DecoderProtocol;
    Request request;
    int fds[2];
    if (receiveRequest(request, fds[0], fds[1]) == Received::Gone)
        return 0;
    QFile file;
    file.open(fds[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    const QByteArray misdeed = file.readAll().split(':').last();

    Reply reply;
    reply.outcome = Outcome::Decoded;
    reply.width = 4, reply.height = 3;
    reply.format = QImage::Format_RGB32;
    reply.bytesPerLine = 16;
    QByteArray details = DecoderReply::write(DecoderReply::Details());
    // After the error text (4 bytes, none), the colour table's count.
    if (misdeed == "colours") // QDataStream would reserve 4 GB for it
        details.replace(4, 4, QByteArray::fromHex("40000000"));
    if (misdeed == "claimed" || misdeed == "cap") { // no header claims this
        reply.width = reply.height = misdeed == "cap" ? 20000 : 4000;
        reply.bytesPerLine = reply.width * 4;
    } else if (misdeed == "mono") {
        reply.format = QImage::Format_Mono, reply.bytesPerLine = 4;
    } else if (misdeed == "rows") {
        reply.bytesPerLine = 1 << 30;
    } else if (misdeed == "magic") {
        reply.magic = 0;
    }
    const qint64 pixels = qint64(reply.bytesPerLine) * reply.height;
    reply.detailsOffset = (pixels + 4095) & ~4095;
    reply.detailsBytes = details.size();
    const pid_t me = ::getpid();
    const QRgb colour = qRgb(me & 0xff, (me >> 8) & 0xff, (me >> 16) & 0xff);
    QRgb picture[12];
    std::fill(picture, picture + 12, colour);
    picture[0] = 0xff000000 | std::min(leftovers(fds[1]), 0xffffffu);
    struct stat memory;
    if (::fstat(fds[1], &memory) == 0 && memory.st_size >= reply.detailsOffset + details.size()) {
        ::pwrite(fds[1], picture, sizeof picture, 0);
        ::pwrite(fds[1], details.constData(), size_t(details.size()), reply.detailsOffset);
    }
    ::close(fds[1]);
    ::send(SocketFd, &reply, sizeof reply, MSG_NOSIGNAL);
    return 0;
}

// Started as the stand-in, this program is that and nothing else.
const bool standIn = qEnvironmentVariableIsSet("TARVELO_STAND_IN")
    && ::fcntl(DecoderProtocol::SocketFd, F_GETFD) != -1
    && (::_exit(Zygote::run(standInDecoder)), true);

} // namespace

class IsolationTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { window = plainWindow(), ui = WindowProbe::ui(*window); }
    void hostileFilesCostOnePictureEach();
    void killedDecoderCostsOnePicture();
    void conversionTakesEveryFormat_data();
    void conversionTakesEveryFormat();
    void hostileReplyCostsOnePictureAndItsDecoder_data();
    void hostileReplyCostsOnePictureAndItsDecoder();
    void decoderKeepsNothingOfTheCallers();
    void decoderCannotSignalOthers();
    void messagesSayWhatIsWrong_data();
    void messagesSayWhatIsWrong();

private:
    QString add(const QString &name, const QByteArray &content);
    QStringList run();

    std::unique_ptr<MainWindow> window;
    Ui::MainWindow *ui = nullptr;
    QTemporaryDir dir;
    std::shared_ptr<void> addressSpace;
};

// The whole test runs in 4 GB of address space, with a temporary folder of
// its own that must stay empty.
void IsolationTest::initTestCase()
{
    addressSpace = lowerLimit(RLIMIT_AS, rlim_t(4) << 30);
    QVERIFY(QDir().mkpath(dir.filePath("tmp")) && QDir().mkpath(dir.filePath("out")));
    qputenv("TMPDIR", QFile::encodeName(dir.filePath("tmp")));
}

QString IsolationTest::add(const QString &name, const QByteArray &content)
{
    if (!writeFile(dir.filePath(name), content))
        qFatal("cannot write %s", qPrintable(name));
    ui->files_list->addItem(dir.filePath(name));
    return dir.filePath(name);
}

// Runs the batch through the start button, text and logo set; the log.
QStringList IsolationTest::run()
{
    ui->wtrmark_edit->setText("Tarvelo");
    WindowProbe::logoImage(*window) = photoLike(6, 4);
    ui->outpng_radio->setChecked(true);
    [&]() { QVERIFY(stampAll(*window, dir.filePath("out"))); }();
    return ui->log_plain->toPlainText().split('\n', Qt::SkipEmptyParts);
}

void IsolationTest::hostileFilesCostOnePictureEach()
{
    // clang-format off
    const QList<QPair<QString, QByteArray>> hostile = {
        // An RLE scanline whose runs overrun its 16 pixels.
        { "overrun.hdr (HDR)", "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 4 +X 16\n" + QByteArray::fromHex("02020010ff09").repeated(40) },
        { "frame.mng (MNG)", "\x8aMNG\r\n\x1a\n" + QByteArray::fromHex("0000001c4d4844527fffffff7fffffff") + QByteArray(20, 0) },
        // Indexed colour, no colour table.
        { "indexed.psd (Photoshop)", "8BPS" + QByteArray::fromHex("00010000000000000001000000100000001000080002") + QByteArray(270, 0) },
        // Run-length tables for 32767 rows of 4 channels.
        { "tables.rgb (SGI)", QByteArray::fromHex("01da010100037fff7fff0004") + QByteArray(500, '\xff') },
        { "bounding.eps (PostScript)", "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 20000 20000\nshowpage\n" },
        { "claim.tga", QByteArray::fromHex("000002000000000000000000204e204e2028") + QByteArray(200, 17) },
    };
    // clang-format on
    QStringList reasons;
    for (const auto &file : hostile) {
        const QString name = file.first.section(' ', 0, 0),
                      kind = file.first.section(' ', 1).remove('(').remove(')');
        const QString held = kind.isEmpty() ? "." : " (it holds " + kind + " data).";
        add(name, file.second);
        reasons << name + " is not a picture of a kind this program reads" + held;
        add(QFileInfo(name).completeBaseName() + ".jpg", file.second);
        reasons << QFileInfo(name).completeBaseName() + ".jpg is not a JPEG picture" + held;
    }
    // 2.2 GB do not fit in a share of 4 GB, 300 megapixels are over the
    // cap: both refused by the size the header claims.
    add("big.jpg", jpegClaiming(12000, 12000));
    reasons << "big.jpg is too large to stamp: 12000 x 12000 pixels needs 2198 MB, * MB are "
               "available.";
    add("huge.jpg", jpegClaiming(17320, 17320));
    reasons << "huge.jpg is too large to stamp: 17320 x 17320 pixels are more than the 150 "
               "megapixels allowed for one picture.";
    add("photo.jpg", encode(photoLike(16, 16), "png")); // misnamed, but a PNG is read

    const QStringList lines = run();
    const int total = reasons.size() + 1;
    for (int k = 0; k < reasons.size(); ++k) {
        const int at = lines.indexOf(
            QRegularExpression(QRegularExpression::wildcardToRegularExpression(reasons[k])));
        QVERIFY2(at > 0, qPrintable(reasons[k]));
        const QString name = QFileInfo(ui->files_list->item(k)->text()).completeBaseName();
        QCOMPARE(lines.value(at + 1),
            QString("%1.png ... Failed! (%2 of %3)").arg(name).arg(k + 1).arg(total));
    }
    QVERIFY(lines.contains(QString("photo.png ... OK! (%1 of %1)").arg(total)));
    QCOMPARE(lines.mid(lines.size() - 2),
        QStringList({ "Stamping Completed!",
            QString("1 of %1 pictures stamped, %2 failed.").arg(total).arg(total - 1) }));
    QCOMPARE(QDir(dir.filePath("out")).entryList(QDir::Files), QStringList { "photo.png" });
    QCOMPARE(QDir(dir.filePath("tmp")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), {});
}

// The decoder is killed while it reads the first picture: that picture
// fails, a new decoder reads the next.
void IsolationTest::killedDecoderCostsOnePicture()
{
    const QString slow
        = QFileInfo(add("slow.jpg", encode(photoLike(6000, 4500), "jpg", 100))).canonicalFilePath();
    add("next.png", encode(photoLike(20, 10), "png"));
    std::atomic<int> killed { 0 };
    std::atomic<bool> done { false };
    std::thread killer([&]() {
        while (!done && !killed)
            for (const int pid : decoders(slow))
                killed = ::kill(pid, SIGKILL) == 0 ? pid : 0;
    });
    const QStringList lines = run();
    done = true;
    killer.join();
    QVERIFY(killed > 0);
    QCOMPARE(lines.mid(lines.indexOf("slow.jpg could not be read: the decoder crashed.")),
        QStringList(
            { "slow.jpg could not be read: the decoder crashed.", "slow.png ... Failed! (1 of 2)",
                "next.png: the text lies outside the picture.", "next.png ... OK! (2 of 2)",
                "Stamping Completed!", "1 of 2 pictures stamped, 1 failed." }));
    QCOMPARE(QImage(dir.filePath("out/next.png")).size(), QSize(20, 10));
}

void IsolationTest::conversionTakesEveryFormat_data()
{
    QTest::addColumn<QImage>("read"); // every pixel holds index 1, or 0 for grey
    QTest::addColumn<QRgb>("expected");
    QImage indexed(3, 2, QImage::Format_Indexed8);
    indexed.fill(1);
    QTest::newRow("indexed, no colour table") << indexed << qRgb(1, 1, 1);
    indexed.setColorTable({ qRgb(200, 0, 0) });
    QTest::newRow("indexed, table too short") << indexed << qRgb(1, 1, 1);
    indexed.setColorTable({ qRgb(200, 0, 0), qRgb(0, 0, 200) });
    QTest::newRow("indexed, full table") << indexed << qRgb(0, 0, 200);
    for (const QImage::Format format : { QImage::Format_Mono, QImage::Format_MonoLSB }) {
        QImage mono(3, 2, format);
        mono.fill(1);
        mono.setColorTable({});
        QTest::newRow(qPrintable(QString("1-bit, no table, format %1").arg(format)))
            << mono << qRgb(255, 255, 255);
    }
    QImage grey(3, 2, QImage::Format_Grayscale16);
    grey.fill(0);
    QTest::newRow("16-bit grey") << grey << qRgb(0, 0, 0);
}

void IsolationTest::conversionTakesEveryFormat()
{
    QFETCH(QImage, read);
    QFETCH(QRgb, expected);
    const QImage argb = PictureIO::toArgb32(read);
    QCOMPARE(argb.size(), read.size());
    QCOMPARE(argb.pixel(1, 0), expected);
}

void IsolationTest::hostileReplyCostsOnePictureAndItsDecoder_data()
{
    QTest::addColumn<QByteArray>("signature"); // a PNG's claims 4 x 3, a JPEG's nothing
    QTest::addColumn<QByteArray>("misdeed");
    const QByteArray png = encode(photoLike(4, 3), "png"), jpeg = "\xff\xd8\xff\xe0";
    QTest::newRow("colour table of a billion") << png << QByteArray("colours");
    QTest::newRow("larger than the header") << png << QByteArray("claimed");
    QTest::newRow("over the pixel cap") << jpeg << QByteArray("cap");
    QTest::newRow("rows of a gigabyte") << png << QByteArray("rows");
    QTest::newRow("1-bit pixels to expand") << png << QByteArray("mono");
    QTest::newRow("no reply at all") << jpeg << QByteArray("magic");
}

// Every picture gets a decoder of its own, which finds nothing of the
// picture before in its memory, pixels or details. A decoder taken over by
// a file sends whatever it likes: the picture fails, the next is read.
void IsolationTest::hostileReplyCostsOnePictureAndItsDecoder()
{
    QFETCH(QByteArray, signature);
    QFETCH(QByteArray, misdeed);
    qputenv("TARVELO_STAND_IN", "1");
    DecoderParent::setPathForTesting(QCoreApplication::applicationFilePath());
    const std::shared_ptr<void> real(nullptr, [](void *) {
        qunsetenv("TARVELO_STAND_IN");
        DecoderParent::setPathForTesting(QString());
    });
    // The decoder's process id, and what it found of earlier pictures in
    // the memory of the pool that read them.
    const PictureBuffers buffers;
    const auto readHere = [&](const QString &name) {
        return PictureIO::readImage(dir.filePath(name), PictureIO::ReadLimits(), buffers);
    };
    const auto decoderOf = [&](const QString &name) {
        const PictureIO::ReadResult read = readHere(name);
        [&]() { QCOMPARE(read.status, PictureIO::ReadStatus::Ok); }();
        const QRgb colour = read.image.pixel(3, 2);
        return qMakePair(pid_t(qRed(colour) | qGreen(colour) << 8 | qBlue(colour) << 16),
            read.image.pixel(0, 0) & 0xffffff);
    };
    writeFile(dir.filePath("honest.png"), signature + "standin:honest");
    writeFile(dir.filePath("hostile.png"), signature + "standin:" + misdeed);
    const auto first = decoderOf("honest.png");
    QVERIFY(first.first > 0);
    const auto second = decoderOf("honest.png");
    QVERIFY(second.first > 0 && second.first != first.first);
    QCOMPARE(second.second, 0u);
    QTRY_VERIFY(::kill(first.first, 0) != 0); // ended and reaped

    const PictureIO::ReadResult hostile = readHere("hostile.png");
    QCOMPARE(hostile.status, PictureIO::ReadStatus::Unreadable);
    QCOMPARE(
        hostile.errorText, "hostile.png could not be read: the decoder sent a malformed reply.");
    QVERIFY(hostile.image.isNull());
    const auto next = decoderOf("honest.png");
    QVERIFY(next.first > 0 && next.first != second.first);
    QCOMPARE(next.second, 0u);
}

// The decoders' parent keeps nothing of its caller's (a descriptor left
// open, the environment, under test the capabilities of root); a decoder
// has, while it reads a picture, no descriptor but its socket and the two
// it was handed, a fence, a processor time limit it cannot ignore, and an
// empty file system.
void IsolationTest::decoderKeepsNothingOfTheCallers()
{
    DecoderParent::setPathForTesting(QString()); // a fresh parent
    const int leaked = ::open("/dev/null", O_RDONLY); // not closed on exec
    qputenv("TARVELO_SECRET", "42");
    const QString fifo = dir.filePath("held.png");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // A decoder waits for a picture that comes when the test is done.
    const int writer = ::open(QFile::encodeName(fifo).constData(), O_RDWR);
    std::thread reading([&]() {
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_CLOEXEC);
        PictureBuffers buffers;
        DecoderConversation::decode(fd, "png",
            { PictureIO::ReadLimits().memoryBudget(), Budget::DefaultMaxPixels, {} }, buffers);
        ::close(fd);
    });
    const std::shared_ptr<void> done(nullptr, [&](void *) {
        ::close(writer);
        reading.join();
    });
    QTRY_COMPARE(decoders(QFileInfo(fifo).canonicalFilePath()).size(), 1);
    ::close(leaked);
    qunsetenv("TARVELO_SECRET");
    const QString parent = QString("/proc/%1/").arg(decoderParents().value(0));
    const QString decoder = QString("/proc/%1/").arg(decoders().value(0));
    const auto status = [](const QString &proc) {
        return QString(readFile(proc + "status"))
            .split('\n')
            .filter(QRegularExpression("^(CapEff|CapBnd|NoNewPrivs|Seccomp):"))
            .replaceInStrings(QRegularExpression("\\s+"), " ");
    };
    // What each descriptor is, in order, socket and inode numbers left out.
    const auto descriptors = [](const QString &proc) {
        QStringList open;
        for (const QString &fd :
            QDir(proc + "fd")
                .entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
            char target[4096] = {};
            ::readlink(QFile::encodeName(proc + "fd/" + fd).constData(), target, sizeof target - 1);
            open << QString(target).remove(QRegularExpression(":\\[\\d+\\]"));
        }
        return open;
    };
    // Its decoder's report socket and process descriptor besides its own.
    QCOMPARE(descriptors(parent),
        QStringList(
            { "/dev/null", "/dev/null", "/dev/null", "socket", "anon_inode:[pidfd]", "socket" }));
    QCOMPARE(descriptors(decoder),
        QStringList({ "/dev/null", "/dev/null", "/dev/null", "socket",
            QFileInfo(fifo).canonicalFilePath(), "/memfd:tarvelo-picture (deleted)" }));
    QCOMPARE(readFile(parent + "environ").replace('\0', ""), QByteArray()); // wiped
    QCOMPARE(status(parent),
        QStringList({ "CapEff: 0000000000000000", "CapBnd: 0000000000000000", "NoNewPrivs: 1",
            "Seccomp: 0" }));
    QCOMPARE(status(decoder).last(), "Seccomp: 2");
    const auto cpu = QRegularExpression("Max cpu time\\s+(\\d+)\\s+(\\d+)")
                         .match(QString(readFile(decoder + "limits")));
    QCOMPARE(cpu.captured(1).toInt(), DecoderConversation::CpuSeconds);
    QCOMPARE(cpu.captured(2).toInt(), DecoderConversation::CpuSeconds + 1); // hard
    if (QFileInfo(decoder + "ns/mnt").symLinkTarget()
        == QFileInfo("/proc/self/ns/mnt").symLinkTarget())
        qWarning("no mount namespace of its own: the decoder can look up paths");
    else
        QCOMPARE(QDir(decoder + "root").entryList(QDir::AllEntries | QDir::NoDotAndDotDot), {});
}

// Once fenced in, a decoder can signal its own process, no other.
void IsolationTest::decoderCannotSignalOthers()
{
    const pid_t other = ::fork();
    if (other == 0) {
        ::pause();
        ::_exit(0);
    }
    const std::shared_ptr<void> reaped(nullptr, [other](void *) {
        DecoderConversation::setSignalTargetForTesting(0);
        ::kill(other, SIGKILL);
        ::waitpid(other, nullptr, 0);
    });
    const QString photo = dir.filePath("target.png");
    writeFile(photo, encode(photoLike(8, 8), "png"));
    DecoderConversation::setSignalTargetForTesting(-1); // itself
    QCOMPARE(readPicture(photo).errorText, "target.png could not be read: the decoder crashed.");
    DecoderConversation::setSignalTargetForTesting(other);
    QCOMPARE(readPicture(photo).status, PictureIO::ReadStatus::Ok);
    QVERIFY(!QTest::qWaitFor([&]() { return ::waitpid(other, nullptr, WNOHANG) == other; }, 300));
}

void IsolationTest::messagesSayWhatIsWrong_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error"); // empty: read
    QTest::addColumn<QString>("metadata"); // the metadata's problem
    // An RGB profile whose tag count no profile can have.
    QByteArray profile(200, '\0');
    profile.replace(0, 4, QByteArray::fromHex("000000c8")).replace(12, 8, "mntrRGB ");
    profile.replace(20, 4, "XYZ ");
    profile.replace(36, 4, "acsp").replace(128, 4, QByteArray::fromHex("fffffff0"));
    const QByteArray jpeg = encode(photoLike(16, 16), "jpg");
    // An "ftyp" box of 8 bytes cannot hold the brand that names the kind.
    const QByteArray avif = QByteArray::fromHex("00000008") + "ftypavif" + QByteArray(64, '\0');
    // clang-format off
    QTest::newRow("PPM has no metadata") << "p.ppm" << encode(photoLike(4, 4), "ppm") << "" << "";
    QTest::newRow("XPM has no metadata") << "p.xpm" << encode(photoLike(4, 4), "xpm") << "" << "";
    QTest::newRow("bad colour profile") << "p.jpg" << jpeg.left(2) + segment('\xe2', QByteArray("ICC_PROFILE\0\1\1", 14) + profile) + jpeg.mid(2) << "" << "its colour profile is damaged: its tag table does not fit it";
    const QByteArray runs = QByteArray::fromHex("59a66a95000000100000000200000008000000030000000200000001000000060000ffff00ff801f00");
    QTest::newRow("Sun raster of runs") << "p.ras" << runs << "p.ras could not be read: Unable to read image data (its pixels are run-length coded, which is not read here)." << "";
    QTest::newRow("AVIF with a broken box") << "p.avif" << avif << "p.avif could not be read: its AVIF header is malformed." << "";
    // clang-format on
}

// No metadata line where there is no metadata; a bad colour profile costs
// the metadata, not the picture; a refusal says what is really wrong.
void IsolationTest::messagesSayWhatIsWrong()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    QFETCH(QString, metadata);
    QVERIFY(writeFile(dir.filePath(name), bytes));
    Metadata::Wanted wanted;
    wanted.suffix = "png";
    const PictureIO::ReadResult read = readPicture(dir.filePath(name), wanted);
    QCOMPARE(read.errorText, error);
    QCOMPARE(read.status,
        error.isEmpty() ? PictureIO::ReadStatus::Ok : PictureIO::ReadStatus::Unreadable);
    QCOMPARE(read.metadata.problem, metadata);
    QVERIFY(read.metadata.iccProfile.isEmpty());
}

TARVELO_TEST_MAIN(IsolationTest)
#include "tst_isolation.moc"
