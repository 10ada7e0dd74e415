// Untrusted pictures: content of a kind not read here never reaches a
// reader, whatever the file is called; the pictures that are read are
// decoded in a decoder process, whose death costs one picture; and the
// program's own conversion copes with whatever a reader returns.

#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <sys/resource.h>
#include <thread>

#include "testsupport.h"

using namespace TestSupport;

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
    void metadataFromTheDecoderIsChecked_data();
    void metadataFromTheDecoderIsChecked();

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
    Modals modals(QVariantList { dir.filePath("out"), int(QMessageBox::Ok) });
    press(ui->start_btn);
    [&]() { QVERIFY2(modals.done(), qPrintable(modals.seen.join('\n'))); }();
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
    // 4.6 GB do not fit in 4 GB: refused by the size its header claims.
    add("huge.jpg", jpegClaiming(17320, 17320));
    reasons << "huge.jpg is too large to stamp: 17320 x 17320 pixels needs 4578 MB, * MB are "
               "available.";
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
        QStringList({ "slow.jpg could not be read: the decoder crashed.",
            "slow.png ... Failed! (1 of 2)", "next.png ... OK! (2 of 2)", "Stamping Completed!",
            "1 of 2 pictures stamped, 1 failed." }));
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

// The decoder reads the file's metadata and hands it over written anew; the
// program takes that no more on trust than the pixels.
void IsolationTest::metadataFromTheDecoderIsChecked_data()
{
    QTest::addColumn<QByteArray>("packed");
    QTest::addColumn<QString>("problem");
    const auto packed = [](const QByteArray &iptc, const QByteArray &xmp, double dpm) {
        QByteArray bytes;
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out << QByteArray() << iptc << xmp << QByteArray("not a profile") << dpm << dpm
            << QString();
        return bytes;
    };
    QTest::newRow("cut short") << packed({}, {}, 0).left(9)
                               << "the decoder gave an answer that makes no sense";
    // A dataset of 64 bytes that holds 2.
    QTest::newRow("IPTC that is none")
        << packed(QByteArray::fromHex("1c020500406162"), {}, 0) << "its IPTC could not be read";
    QTest::newRow("XMP that is none") << packed({}, "<x:xmpmeta", 0) << "its XMP could not be read";
    QTest::newRow("resolution only") << packed({}, {}, 11811) << "";
}

void IsolationTest::metadataFromTheDecoderIsChecked()
{
    QFETCH(QByteArray, packed);
    QFETCH(QString, problem);
    const Metadata::Source source = Metadata::unpack(packed);
    QCOMPARE(source.problem, problem);
    QVERIFY(!source.records && source.iccProfile.isEmpty());
    QCOMPARE(source.resolution.xPerMetre, problem.isEmpty() ? 11811.0 : 0.0);
}

TARVELO_TEST_MAIN(IsolationTest)
#include "tst_isolation.moc"
