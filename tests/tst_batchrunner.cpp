// SPDX-License-Identifier: GPL-3.0-or-later
// The runner on its own: no more than workers + 1 pictures held however
// many are queued, and a cancelled ticket is skipped; the metadata the
// decoder writes ahead is for the size the picture comes out at.

#include "exivvalues.h"
#include "testsupport.h"

using namespace TestSupport;

Q_DECLARE_METATYPE(ResizeRule::Rule)

class BatchRunnerTest : public QObject
{
    Q_OBJECT

private slots:
    void boundAndCancel();
    void pixelCapOfTheRun();
    void metadataFollowsTheResize_data();
    void metadataFollowsTheResize();
};

void BatchRunnerTest::boundAndCancel()
{
    QTemporaryDir dir;
    QStringList paths;
    for (int k = 0; k < 8; ++k) {
        paths << dir.filePath(QStringLiteral("p%1.png").arg(k));
        QVERIFY(writeFile(paths.last(), encode(photoLike(16, 12, quint32(k)), "png")));
    }
    BatchOptions options;
    options.suffix = "png";
    options.workers = 2;
    BatchRunner runner(options);
    QCOMPARE(runner.workerCount(), 2);
    QList<int> tickets;
    for (const QString &path : paths)
        tickets << runner.submit(path);
    runner.cancel(tickets[1]);
    // Everything the runner may do without a taker is done by now; what it
    // has not read by then is gone when it looks.
    QTest::qWait(2000);
    for (const QString &path : paths)
        QFile::remove(path);
    QStringList seen;
    for (int k = 0; k < tickets.size(); ++k) {
        BatchResult result;
        if (k == 1)
            continue;
        QVERIFY(runner.take(tickets[k], result, 60000));
        QCOMPARE(result.path, paths[k]);
        seen << (result.status == BatchResult::Status::Stamped ? "stamped" : "missing");
    }
    // Held before the files went: workers + 1, the cancelled one not among them.
    QCOMPARE(seen.join(' '), "stamped stamped stamped missing missing missing missing");
}

// The cap counts pixels, whatever memory there is; both sides keep it. It
// is the run's own, from its options: a read with other limits at the same
// time keeps its own.
void BatchRunnerTest::pixelCapOfTheRun()
{
    QTemporaryDir dir;
    BatchOptions options;
    options.maxMegapixels = 1;
    for (const QSize size : { QSize(1000, 1000), QSize(1001, 1000) }) {
        QImage flat(size, QImage::Format_RGB32);
        flat.fill(Qt::gray);
        QVERIFY(writeFile(dir.filePath("p.png"), encode(flat, "png")));
        const bool over = size.width() > 1000;
        QCOMPARE(stampAlone(dir.filePath("p.png"), options).failure,
            over ? "p.png is too large to stamp: 1001 x 1000 pixels are more than the 1 "
                   "megapixels allowed for one picture."
                 : "");
        QCOMPARE(readPicture(dir.filePath("p.png")).status, PictureIO::ReadStatus::Ok);
    }
}

void BatchRunnerTest::metadataFollowsTheResize_data()
{
    QTest::addColumn<ResizeRule::Rule>("resize");
    QTest::addColumn<QSize>("size"); // of the output
    // clang-format off
    QTest::newRow("full size") << ResizeRule::Rule() << QSize(400, 300);
    QTest::newRow("fitted, decoded smaller") << ResizeRule::Rule { true, { 100, 100 }, true, false } << QSize(100, 75);
    QTest::newRow("stretched, only shrinking") << ResizeRule::Rule { true, { 300, 500 }, false, true } << QSize(300, 300);
    // clang-format on
}

void BatchRunnerTest::metadataFollowsTheResize()
{
    QFETCH(ResizeRule::Rule, resize);
    QFETCH(QSize, size);
    const QByteArray xmp
        = "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
          "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description "
          "xmlns:exif='http://ns.adobe.com/exif/1.0/' exif:PixelXDimension='400' "
          "exif:PixelYDimension='300'/></rdf:RDF></x:xmpmeta>";
    const QByteArray jpeg = encode(photoLike(400, 300), "jpg", 90);
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("p.jpg"),
        jpeg.left(2) + segment('\xe1', QByteArray("http://ns.adobe.com/xap/1.0/\0", 29) + xmp)
            + jpeg.mid(2)));
    BatchOptions options;
    options.stamp.resizeEnabled = resize.enabled;
    options.stamp.resizeWidth = resize.box.width();
    options.stamp.resizeHeight = resize.box.height();
    options.stamp.keepAspectRatio = resize.keepAspectRatio;
    options.stamp.shrinkOnly = resize.shrinkOnly;
    const BatchResult result = stampAlone(dir.filePath("p.jpg"), options);
    QCOMPARE(result.metadataLost, QString());
    QCOMPARE(QImage::fromData(result.bytes).size(), size);
    const QMap<QString, QString> out = exivValues(result.bytes);
    QCOMPARE(out.value("Xmp.exif.PixelXDimension") + 'x' + out.value("Xmp.exif.PixelYDimension"),
        QString("%1x%2").arg(size.width()).arg(size.height()));
}

TARVELO_TEST_MAIN(BatchRunnerTest)
#include "tst_batchrunner.moc"
