// SPDX-License-Identifier: GPL-3.0-or-later
// The decoders' parent: one that died costs at most the picture its decoder
// was reading, and the next picture is read by a new one; no decoder
// outlives its picture.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "io/decoderconversation.h"
#include "testsupport.h"

using namespace TestSupport;

namespace {

DecoderConversation::Result decode(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    DecoderConversation::Limits limits;
    limits.budgetBytes = PictureIO::ReadLimits().memoryBudget();
    limits.maxPixels = Budget::DefaultMaxPixels;
    PictureBuffers buffers;
    const DecoderConversation::Result result
        = DecoderConversation::decode(fd, "png", limits, buffers);
    ::close(fd);
    return result;
}

} // namespace

class DecoderParentTest : public QObject
{
    Q_OBJECT

private slots:
    void killedParentCostsAtMostOnePicture();
};

void DecoderParentTest::killedParentCostsAtMostOnePicture()
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
    QCOMPARE(decode(path).kind, DecoderConversation::Result::Decoded);
    QTRY_VERIFY(decoders().isEmpty()); // its decoder ended with its picture
    killParent();
    const DecoderConversation::Result again = decode(path);
    QVERIFY2(again.kind == DecoderConversation::Result::Decoded, qPrintable(again.errorText));
    QCOMPARE(again.image.size(), QSize(24, 16));

    // A decoder waits for a picture that does not come while its parent dies.
    const int writer = ::open(QFile::encodeName(fifo).constData(), O_RDWR);
    DecoderConversation::Result held;
    std::thread reading([&]() { held = decode(fifo); });
    QTRY_VERIFY(!decoders(QFileInfo(fifo).canonicalFilePath()).isEmpty());
    killParent();
    reading.join();
    ::close(writer);
    QCOMPARE(held.kind, DecoderConversation::Result::DecoderFailed);
    QCOMPARE(held.errorText, "the decoder crashed");
    QCOMPARE(decode(path).kind, DecoderConversation::Result::Decoded);
}

TARVELO_TEST_MAIN(DecoderParentTest)
#include "tst_decoderparent.moc"
