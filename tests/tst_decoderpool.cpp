// SPDX-License-Identifier: GPL-3.0-or-later
// The decoders' parent: one that died costs at most the picture its decoder
// was reading, and the next picture is read by a new one; no decoder
// outlives its picture.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "io/decoderpool.h"
#include "io/pictureio.h"
#include "testsupport.h"

using namespace TestSupport;

namespace {

DecoderPool::Result decode(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    DecoderPool::Limits limits;
    limits.budgetBytes = PictureIO::memoryBudget();
    limits.maxPixels = PictureIO::maxPixels();
    const DecoderPool::Result result = DecoderPool::decode(fd, "png", limits);
    ::close(fd);
    return result;
}

} // namespace

class DecoderPoolTest : public QObject
{
    Q_OBJECT

private slots:
    void killedParentCostsAtMostOnePicture();
};

void DecoderPoolTest::killedParentCostsAtMostOnePicture()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.png"), fifo = dir.filePath("held");
    QVERIFY(writeFile(path, encode(photoLike(24, 16), "png")));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const auto killParent = []() {
        const QList<int> parents = decoderParents();
        QCOMPARE(parents.size(), 1);
        QCOMPARE(::kill(parents.first(), SIGKILL), 0);
        const QString stat = QString("/proc/%1/stat").arg(parents.first());
        QTRY_VERIFY(readFile(stat).isEmpty() || readFile(stat).contains(") Z "));
    };
    QCOMPARE(decode(path).kind, DecoderPool::Result::Decoded);
    QTRY_VERIFY(decoders().isEmpty()); // its decoder ended with its picture
    killParent();
    const DecoderPool::Result again = decode(path);
    QVERIFY2(again.kind == DecoderPool::Result::Decoded, qPrintable(again.errorText));
    QCOMPARE(again.image.size(), QSize(24, 16));

    // A decoder waits for a picture that does not come while its parent dies.
    const int writer = ::open(QFile::encodeName(fifo).constData(), O_RDWR);
    DecoderPool::Result held;
    std::thread reading([&]() { held = decode(fifo); });
    QTRY_VERIFY(!decoders(QFileInfo(fifo).canonicalFilePath()).isEmpty());
    killParent();
    reading.join();
    ::close(writer);
    QCOMPARE(held.kind, DecoderPool::Result::DecoderFailed);
    QCOMPARE(held.errorText, "the decoder crashed");
    QCOMPARE(decode(path).kind, DecoderPool::Result::Decoded);
}

TARVELO_TEST_MAIN(DecoderPoolTest)
#include "tst_decoderpool.moc"
