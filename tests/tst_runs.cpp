// SPDX-License-Identifier: GPL-3.0-or-later
// Runs stamped ahead on worker threads give the bytes of stamping one
// picture at a time; a preview never shows a stale picture; drags redraw
// only what moved yet end as a whole composition.

#include <QStatusBar>

#include "encode/encoding.h"
#include "testsupport.h"
#include "window/qclickablelabel.h"

using namespace TestSupport;

namespace {

QImage shown(MainWindow &w)
{
    return WindowProbe::previewLabel(w)->pixmap(Qt::ReturnByValue).toImage();
}

} // namespace

class RunsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void sameBytesAsOneAtATime_data();
    void sameBytesAsOneAtATime();
    void startWaitsForTheLogo();
    void clearedPreviewStaysEmpty();
    void refusedSelectionShowsNothing();
    void dragsEqualFullComposition_data();
    void dragsEqualFullComposition();

private:
    QString add(const QString &name, const QImage &image, const char *format = "png");

    std::unique_ptr<MainWindow> window;
    Ui::MainWindow *ui = nullptr;
    std::unique_ptr<QTemporaryDir> dir;
};

void RunsTest::init()
{
    window = plainWindow();
    ui = WindowProbe::ui(*window);
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir().mkpath(dir->filePath("out")));
}

QString RunsTest::add(const QString &name, const QImage &image, const char *format)
{
    const QString path = dir->filePath(name);
    if (!image.isNull())
        writeFile(path, encode(image, format));
    ui->files_list->addItem(path);
    return path;
}

void RunsTest::sameBytesAsOneAtATime_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("resize"); // 0 off, 1 keeping proportions, 2 stretched
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("anchor"); // of the logo, 0 to 8; the text's is 8 - anchor
    QTest::newRow("jpg, fitted, centred") << "outjpg_radio" << 1 << "Tarvelo ©" << 4;
    QTest::newRow("png, full size, corner") << "outpng_radio" << 0 << "  padded  " << 8;
    QTest::newRow("tif, stretched, no text") << "outtif_radio" << 2 << " " << 5;
}

// Each picture selected in the list (composed twice for the preview, with
// the run's smooth scaling) and encoded is what the run writes for it.
void RunsTest::sameBytesAsOneAtATime()
{
    QFETCH(QString, format);
    QFETCH(int, resize);
    QFETCH(QString, text);
    QFETCH(int, anchor);
    placeAt(ui, anchor);
    window->findChild<QRadioButton *>(format)->setChecked(true);
    for (auto [spin, value] : { std::pair<QSpinBox *, int> { ui->width_spin, 120 },
             { ui->height_spin, 90 }, { ui->shadow_spin, 7 }, { ui->txt_y_spin, -3 }, { ui->x_spin, 5 }, { ui->logoOpacitySpin, 60 } })
        spin->setValue(value);
    ui->comp_slider->setValue(83);
    ui->resize_check->setChecked(resize > 0);
    ui->aspect_check->setChecked(resize == 1);
    ui->wtrmark_edit->setText(text);
    ui->scale_spin->setValue(1.3);
    WindowProbe::logoImage(*window) = photoLike(21, 13, 9, true);
    const QList<QSize> sizes = { { 300, 200 }, { 90, 160 }, { 41, 41 }, { 640, 480 } };
    for (int k = 0; k < sizes.size(); ++k)
        add(QStringLiteral("p%1.png").arg(k), photoLike(sizes[k].width(), sizes[k].height(), k, k == 1));

    const QString suffix = format.mid(3, 3);
    QList<QByteArray> expected;
    WindowProbe::transformMode(*window) = Qt::SmoothTransformation;
    Metadata::Wanted wanted;
    wanted.suffix = suffix;
    wanted.resize = { resize > 0, QSize(120, 90), resize == 1, false };
    for (int k = 0; k < sizes.size(); ++k) {
        QVERIFY(select(*window, k));
        const Encoding::Encoded encoded = Encoding::encode(WindowProbe::stampedImage(*window),
            suffix, suffix == "jpg" ? 83 : -1,
            readPicture(ui->files_list->item(k)->text(), wanted).metadata);
        QCOMPARE(encoded.metadataProblem, QString());
        expected << encoded.bytes;
    }
    QVERIFY(stampAll(*window, dir->filePath("out")));
    for (int k = 0; k < sizes.size(); ++k)
        QVERIFY(readFile(dir->filePath(QStringLiteral("out/p%1.%2").arg(k).arg(suffix))) == expected[k]);
}

// A logo chosen and Start pressed at once, the selected picture being read
// too: the run waits for both, asks no logo question and stamps with the
// logo; pressed again meanwhile, Start stops it before it asks anything.
void RunsTest::startWaitsForTheLogo()
{
    ui->outpng_radio->setChecked(true);
    const QString logo = dir->filePath("logo.png"), out = dir->filePath("out");
    QImage red(10, 6, QImage::Format_RGB32);
    red.fill(qRgb(255, 0, 0));
    QVERIFY(writeFile(logo, encode(red, "png")));
    add("p.png", photoLike(60, 40));
    for (const bool stop : { false, true }) {
        Modals modals(stop ? QVariantList { logo, QMessageBox::Yes }
                           : QVariantList { logo, out, QMessageBox::Yes, QMessageBox::Ok });
        press(ui->browse_logo_btn);
        QVERIFY(WindowProbe::readingLogo(*window));
        ui->files_list->setCurrentRow(0);
        if (stop)
            QTimer::singleShot(0, [&] { press(ui->start_btn); });
        press(ui->start_btn);
        QTRY_VERIFY2(modals.done(), qPrintable(modals.seen.join('\n')));
        QCOMPARE(modals.seen.last(),
            stop ? "Warning | Are you you want to stop stamping?" : "Tarvelo | Done");
        QCOMPARE(ui->start_btn->text().trimmed(), QStringLiteral("Start Stamping"));
        QCOMPARE(QDir(out).entryList(QDir::Files), QStringList { "p.png" });
        QCOMPARE(QImage(out + "/p.png").pixel(9, 5), qRgb(255, 0, 0));
    }
}

// After Clear nothing comes back on a resize or a view switch, and nothing
// can be dragged.
void RunsTest::clearedPreviewStaysEmpty()
{
    ui->wtrmark_edit->setText("Drag me");
    add("a.png", photoLike(60, 40));
    QVERIFY(select(*window, 0));
    QVERIFY(!shown(*window).isNull());
    press(ui->clear_btn);
    window->resize(window->size() + QSize(40, 30));
    ui->fit_radio->setChecked(!ui->fit_radio->isChecked());
    QTest::mousePress(WindowProbe::previewLabel(*window), Qt::LeftButton, {}, QPoint(2, 2));
    QVERIFY(shown(*window).isNull());
    QVERIFY(!WindowProbe::draggingText(*window) && !WindowProbe::draggingLogo(*window));
}

// A picture that cannot be shown shows nothing under its selection, not the
// picture before, and the status bar says why as the run would log it.
void RunsTest::refusedSelectionShowsNothing()
{
    add("good.png", photoLike(18, 12));
    add("gone.png", QImage());
    QVERIFY(writeFile(add("bomb.jpg", QImage()), jpegClaiming(20000, 20000)));
    QDir().mkpath(add("folder.png", QImage()));
    // The bomb is too large or damaged, depending on the memory there is.
    const QStringList reasons { "gone.png: " + qt_error_string(ENOENT), "bomb.jpg is *.", "Not a regular file" };
    for (int row = 1; row <= 3; ++row) {
        QVERIFY(select(*window, 0));
        QCOMPARE(shown(*window).size(), QSize(18, 12));
        QVERIFY(window->statusBar()->currentMessage().isEmpty());
        QVERIFY(select(*window, row));
        QVERIFY(shown(*window).isNull() && WindowProbe::stampedImage(*window).isNull());
        const QString said = window->statusBar()->currentMessage();
        QVERIFY2(QRegularExpression(QRegularExpression::wildcardToRegularExpression(reasons[row - 1]))
                     .match(said).hasMatch(), qPrintable(said));
    }
}

void RunsTest::dragsEqualFullComposition_data()
{
    QTest::addColumn<bool>("fit");
    QTest::newRow("actual size") << false;
    QTest::newRow("fitted") << true;
}

// Random drags of text and logo through the mouse, over each other and off
// the picture's edges: the stamped picture is the one a whole new
// composition gives.
void RunsTest::dragsEqualFullComposition()
{
    QFETCH(bool, fit);
    (fit ? ui->fit_radio : ui->actual_radio)->setChecked(true);
    ui->wtrmark_edit->setText("Drag me ©");
    ui->txt_center_btn->setChecked(true);
    ui->shadow_spin->setValue(9);
    ui->scale_spin->setValue(0.7);
    ui->logoOpacitySpin->setValue(70);
    WindowProbe::textFont(*window).setItalic(true);
    WindowProbe::logoImage(*window) = photoLike(120, 80, 5, true);
    add("p.png", photoLike(1500, 1100, 4));
    QVERIFY(select(*window, 0));
    QClickableLabel *label = WindowProbe::previewLabel(*window);
    quint32 seed = 12345;
    const auto random = [&seed](int n) { return int(((seed = seed * 1664525u + 1013904223u) >> 8) % n); };
    for (int drag = 0; drag < 16; ++drag) {
        const double sx = label->width() / double(WindowProbe::stampedImage(*window).width());
        const double sy = label->height() / double(WindowProbe::stampedImage(*window).height());
        const QPoint item = drag % 2 ? WindowProbe::logoPos(*window) : WindowProbe::textPos(*window);
        QPoint at(int((item.x() + 4) * sx) + 1, int((item.y() + 4) * sy) + 1);
        QTest::mousePress(label, Qt::LeftButton, {}, at);
        QVERIFY(WindowProbe::draggingLogo(*window) || WindowProbe::draggingText(*window));
        for (int step = 0; step < 5; ++step)
            QTest::mouseMove(label, at += QPoint(random(161) - 80, random(121) - 60));
        QTest::mouseRelease(label, Qt::LeftButton, {}, at);
    }
    const QImage dragged = WindowProbe::stampedImage(*window);
    WindowProbe::stampedImage(*window) = dragged.copy(); // so the next composition starts afresh
    WindowProbe::composeStamp(*window);
    QCOMPARE(WindowProbe::stampedImage(*window), dragged);
}

TARVELO_TEST_MAIN(RunsTest)
#include "tst_runs.moc"
