// SPDX-License-Identifier: GPL-3.0-or-later
// The window's reader of selected pictures and logos: only the newest
// request's result arrives, and a cancel drops what is under way; either
// says that nothing is awaited any more.

#include "testsupport.h"
#include "window/pictureloader.h"

using namespace TestSupport;

class PictureLoaderTest : public QObject
{
    Q_OBJECT

private slots:
    void newestOnly();
};

void PictureLoaderTest::newestOnly()
{
    QTemporaryDir dir;
    const QString big = dir.filePath("big.png"), small = dir.filePath("small.png");
    QVERIFY(writeFile(big, encode(photoLike(2400, 1600), "png"))
        && writeFile(small, encode(photoLike(30, 20), "png")));
    PictureLoader loader;
    QSignalSpy settled(&loader, &PictureLoader::settled);
    QStringList arrived;
    QSize size;
    const auto note = [&](const QString &name) {
        return [&, name](PictureLoader::Loaded &loaded) {
            arrived << name;
            size = loaded.converted.size();
        };
    };
    // One read at a time: the big picture has ended (or never started) by
    // the time the small one arrives.
    loader.load(big, true, note("big"));
    loader.cancel();
    QVERIFY(!loader.busy());
    QCOMPARE(settled.count(), 1);
    loader.load(big, true, note("big again"));
    loader.load(small, true, note("small"));
    QVERIFY(loader.busy());
    // Said once, when the newest has arrived.
    QVERIFY(settled.wait(60000));
    QCOMPARE(settled.count(), 2);
    QCOMPARE(arrived, QStringList { "small" });
    QCOMPARE(size, QSize(30, 20));
    // Without conversion the read picture itself comes back.
    loader.load(
        small, false, [&](PictureLoader::Loaded &loaded) { size = loaded.read.image.size() * 2; });
    QTRY_COMPARE(size, QSize(60, 40));
}

TARVELO_TEST_MAIN(PictureLoaderTest)
#include "tst_pictureloader.moc"
