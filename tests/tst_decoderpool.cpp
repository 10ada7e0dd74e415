// The decoder processes kept for reuse: one that died while idle is never
// handed out, the next picture gets a live one.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include "io/decoderpool.h"
#include "io/pictureio.h"
#include "testsupport.h"

using namespace TestSupport;

namespace {

// This process's running children that are decoders.
QList<int> decoders()
{
    QList<int> found;
    for (const QString &task : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        for (const QByteArray &pid : readFile("/proc/self/task/" + task + "/children").split(' '))
            if (!pid.trimmed().isEmpty()
                && QFileInfo("/proc/" + pid + "/exe").symLinkTarget().endsWith("tarvelo-decoder")
                && !readFile("/proc/" + pid + "/stat").contains(") Z "))
                found << pid.toInt();
    return found;
}

} // namespace

class DecoderPoolTest : public QObject
{
    Q_OBJECT

private slots:
    void killedIdleDecoder();
};

void DecoderPoolTest::killedIdleDecoder()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.png");
    QVERIFY(writeFile(path, encode(photoLike(24, 16), "png")));
    const auto decode = [&] {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        const DecoderPool::Result result
            = DecoderPool::decode(fd, "png", PictureIO::memoryBudget());
        ::close(fd);
        return result;
    };
    QCOMPARE(decode().kind, DecoderPool::Result::Decoded);
    const QList<int> idle = decoders();
    QVERIFY(!idle.isEmpty());
    for (const int pid : idle)
        QCOMPARE(::kill(pid, SIGKILL), 0);
    QTRY_VERIFY(decoders().isEmpty() || !idle.contains(decoders().first()));
    const DecoderPool::Result again = decode();
    QCOMPARE(again.kind, DecoderPool::Result::Decoded);
    QCOMPARE(again.image.size(), QSize(24, 16));
}

TARVELO_TEST_MAIN(DecoderPoolTest)
#include "tst_decoderpool.moc"
