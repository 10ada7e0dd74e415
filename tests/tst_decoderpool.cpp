// The decoder processes kept for reuse: one that died while idle is never
// handed out, the next picture gets a live one; one that met a damaged file
// serves no other.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

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
    void killedOrRetired();
};

// One that died while idle is passed over; the one that read a damaged file
// is gone after it.
void DecoderPoolTest::killedOrRetired()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.png"), cut = dir.filePath("b.png");
    QVERIFY(writeFile(path, encode(photoLike(24, 16), "png")));
    QVERIFY(writeFile(cut, encode(photoLike(24, 16), "png").left(60)));
    QCOMPARE(decode(path).kind, DecoderPool::Result::Decoded);
    const QList<int> idle = decoders();
    QVERIFY(!idle.isEmpty());
    for (const int pid : idle)
        QCOMPARE(::kill(pid, SIGKILL), 0);
    // Dead (a zombie, or reaped) before the pool is asked again.
    QTRY_VERIFY(std::all_of(idle.begin(), idle.end(), [](int pid) {
        const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
        return stat.isEmpty() || stat.contains(") Z ");
    }));
    const DecoderPool::Result again = decode(path);
    QVERIFY2(again.kind == DecoderPool::Result::Decoded, qPrintable(again.errorText));
    QCOMPARE(again.image.size(), QSize(24, 16));
    const QList<int> before = decoders();
    QCOMPARE(decode(cut).kind, DecoderPool::Result::Damaged);
    // One idle decoder fewer: the one that read the damaged file is gone.
    QCOMPARE(decoders().size(), before.size() - 1);
    QCOMPARE(decode(path).kind, DecoderPool::Result::Decoded);
}

TARVELO_TEST_MAIN(DecoderPoolTest)
#include "tst_decoderpool.moc"
