// The preview pane: what the preview label shows in both display modes, the
// font sample and the logo thumbnail, the high-quality switch, and dragging
// logo and text with real mouse events on the preview label.

// Mouse events go through the window system layer, as real ones do, so that
// moves carry the held button and the pressed label keeps the mouse grab.
#define QTEST_QPA_MOUSE_HANDLING

#include <QMouseEvent>
#include <QPainter>
#include <QtTest>

#include <climits>

#include "window/previewmath.h"
#include "window/qclickablelabel.h"
#include "testsupport.h"

using namespace TestSupport;

namespace {

// Four coloured quadrants: red, green / blue, yellow.
QImage quadrants(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    QPainter painter(&image);
    painter.fillRect(0, 0, width / 2, height / 2, Qt::red);
    painter.fillRect(width / 2, 0, width - width / 2, height / 2, Qt::green);
    painter.fillRect(0, height / 2, width / 2, height - height / 2, Qt::blue);
    painter.fillRect(width / 2, height / 2, width - width / 2, height - height / 2, Qt::yellow);
    return image;
}

QImage shownImage(QLabel *label)
{
    return label->pixmap(Qt::ReturnByValue).toImage().convertToFormat(QImage::Format_ARGB32);
}

// A move with the left button held that the label did not grab: it reaches
// the window all the same.
void strayMove(QWidget *label, QPoint to)
{
    QMouseEvent move(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(label, &move);
}

struct Drag
{
    bool fit; // else actual size
    QRect logo; // in picture pixels, unscaled size
    double scale; // of the logo
    QRect text;
    QPoint press; // on the preview
    QList<QPoint> moves;
    bool logoHit, textHit;
    QPoint logoAfter, textAfter; // offsets after the moves
    int compositions; // during the moves
};

} // namespace

Q_DECLARE_METATYPE(Drag)

class PreviewTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void fontSampleStyle_data();
    void fontSampleStyle();
    void dragStep_data();
    void dragStep();
    void refreshCounterCalibration();
    void fitShowsPictureScaledIntoScrollArea_data();
    void fitShowsPictureScaledIntoScrollArea();
    void switchingModesRedrawsWithoutComposing();
    void windowResizeRefitsPreview();
    void fontSampleAndThumbnail();
    void nullStampedImageKeepsPreview();
    void smoothCheckWarnsAndChangesScaling();
    void drag_data();
    void drag();
    void releaseOutsidePreviewEndsDrag();
    void scaleIsFixedAtPress();
    void referencePictureFollowsResize_data();
    void referencePictureFollowsResize();
    void pressWithoutPictureStartsNoDrag();

private:
    void placeItems(QRect logo, QRect text);

    std::unique_ptr<MainWindow> window;
    Ui::MainWindow *ui = nullptr;
    QClickableLabel *label = nullptr;
    std::unique_ptr<RefreshCounter> refreshes;
};

void PreviewTest::init()
{
    window = plainWindow();
    ui = WindowProbe::ui(*window);
    label = WindowProbe::previewLabel(*window);
    // 400 x 300 pixels of room for a fitted preview (the frame takes one
    // pixel on each side).
    ui->image_scroll->setFixedSize(402, 302);
    ui->fit_radio->setChecked(true);
    QCoreApplication::processEvents();
    refreshes = std::make_unique<RefreshCounter>(*window);
}

void PreviewTest::cleanup()
{
    refreshes.reset();
    window.reset();
}

// The hit test works on what the last composition left; tests set it here
// directly so that the boxes are exactly known, with the offset boxes
// agreeing.
void PreviewTest::placeItems(QRect logo, QRect text)
{
    ui->x_spin->setValue(logo.x());
    ui->y_spin->setValue(logo.y());
    ui->txt_x_spin->setValue(text.x());
    ui->txt_y_spin->setValue(text.y());
    WindowProbe::logoImage(*window)
        = logo.isEmpty() ? QImage() : solid(logo.width(), logo.height(), Qt::magenta);
    WindowProbe::logoPos(*window) = logo.topLeft();
    WindowProbe::textPos(*window) = text.topLeft();
    WindowProbe::textExtent(*window) = QRect(QPoint(0, 0), text.size());
    refreshes->count = 0;
}

void PreviewTest::fontSampleStyle_data()
{
    QTest::addColumn<QColor>("color");
    QTest::addColumn<QString>("style");
    QTest::newRow("red") << QColor(Qt::red) << "color: #ffff0000";
    QTest::newRow("lower-case digits") << QColor(0xab, 0xcd, 0xef) << "color: #ffabcdef";
    QTest::newRow("alpha is forced opaque") << QColor(0, 0, 255, 40) << "color: #ff0000ff";
    QTest::newRow("invalid colour reads as black") << QColor() << "color: #ff000000";
}

void PreviewTest::fontSampleStyle()
{
    QFETCH(QColor, color);
    QFETCH(QString, style);
    QCOMPARE(PreviewMath::fontSampleStyle(color), style);
}

void PreviewTest::dragStep_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("delta");
    QTest::addColumn<double>("scale");
    QTest::addColumn<int>("result");
    QTest::newRow("negative truncates toward zero") << 0 << -1 << 0.4 << -2;
    QTest::newRow("enlarged preview drops small steps") << 10 << 1 << 2.5 << 10;
    QTest::newRow("no scale, no movement") << 42 << 0 << 0.0 << 42;
    QTest::newRow("no scale, movement") << 42 << 1 << 0.0 << INT_MAX;
    QTest::newRow("no scale, movement back") << 42 << -1 << 0.0 << INT_MIN;
}

void PreviewTest::dragStep()
{
    QFETCH(int, offset);
    QFETCH(int, delta);
    QFETCH(double, scale);
    QFETCH(int, result);
    QCOMPARE(PreviewMath::dragStep(offset, delta, scale), result);
}

// Every refresh gives the font sample its style sheet again, which is what
// the counter counts; every composition ends with one refresh.
void PreviewTest::refreshCounterCalibration()
{
    refreshes->count = 0;
    WindowProbe::refreshView(*window);
    QCOMPARE(refreshes->count, 1);
    WindowProbe::composeStamp(*window);
    QCOMPARE(refreshes->count, 2);
}

void PreviewTest::fitShowsPictureScaledIntoScrollArea_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("shown");
    QTest::newRow("wide picture reduced") << QSize(1000, 500) << QSize(400, 200);
    QTest::newRow("tall picture reduced") << QSize(300, 600) << QSize(150, 300);
    QTest::newRow("small picture enlarged") << QSize(100, 50) << QSize(400, 200);
}

void PreviewTest::fitShowsPictureScaledIntoScrollArea()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, shown);
    loadPicture(*window, quadrants(picture.width(), picture.height()));
    QCOMPARE(label->pixmap(Qt::ReturnByValue).size(), shown);
    QCOMPARE(label->size(), shown);
    const QImage image = shownImage(label);
    const int w = shown.width(), h = shown.height();
    QCOMPARE(image.pixel(w / 4, h / 4), QColor(Qt::red).rgb());
    QCOMPARE(image.pixel(3 * w / 4, h / 4), QColor(Qt::green).rgb());
    QCOMPARE(image.pixel(w / 4, 3 * h / 4), QColor(Qt::blue).rgb());
    QCOMPARE(image.pixel(3 * w / 4, 3 * h / 4), QColor(Qt::yellow).rgb());
}

void PreviewTest::switchingModesRedrawsWithoutComposing()
{
    loadPicture(*window, quadrants(1000, 500));
    const qint64 stampedKey = WindowProbe::stampedImage(*window).cacheKey();
    refreshes->count = 0;
    QTest::mouseClick(ui->actual_radio, Qt::LeftButton);
    QVERIFY(ui->actual_radio->isChecked());
    QCOMPARE(label->size(), QSize(1000, 500));
    QCOMPARE(shownImage(label), WindowProbe::stampedImage(*window));
    QTest::mouseClick(ui->fit_radio, Qt::LeftButton);
    QVERIFY(ui->fit_radio->isChecked());
    QCOMPARE(label->size(), QSize(400, 200));
    // Both buttons of each switch refresh; nothing is composed anew.
    QCOMPARE(refreshes->count, 4);
    QCOMPARE(WindowProbe::stampedImage(*window).cacheKey(), stampedKey);
}

void PreviewTest::windowResizeRefitsPreview()
{
    ui->image_scroll->setMinimumSize(0, 0);
    ui->image_scroll->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    window->resize(1300, 850);
    QTRY_COMPARE(window->size(), QSize(1300, 850));
    loadPicture(*window, quadrants(1000, 500));
    const auto fitted = [this]() {
        return QSize(1000, 500).scaled(ui->image_scroll->size() - QSize(2, 2), Qt::KeepAspectRatio);
    };
    const QSize before = label->size();
    QCOMPARE(before, fitted());
    window->resize(1100, 700);
    QTRY_COMPARE(window->size(), QSize(1100, 700));
    QVERIFY(label->size() != before);
    QCOMPARE(label->size(), fitted());
    QCOMPARE(label->pixmap(Qt::ReturnByValue).size(), fitted());
}

void PreviewTest::fontSampleAndThumbnail()
{
    WindowProbe::textColor(*window) = QColor(Qt::red);
    WindowProbe::textFont(*window) = QFont(QStringLiteral("DejaVu Serif"), 17, QFont::Bold);
    WindowProbe::logoImage(*window) = solid(300, 100, Qt::magenta);
    WindowProbe::refreshView(*window);
    QCOMPARE(ui->font_pr_label->styleSheet(), QStringLiteral("color: #ffff0000"));
    QCOMPARE(ui->font_pr_label->font().family(), QStringLiteral("DejaVu Serif"));
    QCOMPARE(ui->font_pr_label->font().pointSize(), 17);
    QVERIFY(ui->font_pr_label->font().bold());
    const QPixmap thumbnail = ui->logo_label->pixmap(Qt::ReturnByValue);
    QCOMPARE(thumbnail.size(),
        QSize(300, 100).scaled(ui->logo_label->size() - QSize(2, 2), Qt::KeepAspectRatio));
    QCOMPARE(thumbnail.toImage().pixel(thumbnail.width() / 2, thumbnail.height() / 2),
        QColor(Qt::magenta).rgb());

    // Without a logo the thumbnail is left as it was.
    WindowProbe::logoImage(*window) = QImage();
    WindowProbe::refreshView(*window);
    QCOMPARE(ui->logo_label->pixmap(Qt::ReturnByValue).cacheKey(), thumbnail.cacheKey());
}

void PreviewTest::nullStampedImageKeepsPreview()
{
    loadPicture(*window, quadrants(1000, 500));
    const qint64 before = label->pixmap(Qt::ReturnByValue).cacheKey();
    WindowProbe::stampedImage(*window) = QImage();
    WindowProbe::refreshView(*window);
    QCOMPARE(label->pixmap(Qt::ReturnByValue).cacheKey(), before);
    QCOMPARE(label->size(), QSize(400, 200));
}

void PreviewTest::smoothCheckWarnsAndChangesScaling()
{
    // One-pixel black and white columns: reduced to 0.4 they stay pure with
    // fast scaling and blend to grey with smooth scaling.
    QImage stripes = solid(1000, 500, Qt::black);
    QPainter painter(&stripes);
    for (int x = 1; x < 1000; x += 2)
        painter.fillRect(x, 0, 1, 500, Qt::white);
    painter.end();
    loadPicture(*window, stripes);
    const qint64 stampedKey = WindowProbe::stampedImage(*window).cacheKey();
    const auto greyCount = [this]() {
        const QImage image = shownImage(label);
        int grey = 0;
        for (int x = 0; x < image.width(); ++x)
            grey += qRed(image.pixel(x, 100)) > 40 && qRed(image.pixel(x, 100)) < 215;
        return grey;
    };
    QCOMPARE(greyCount(), 0);

    for (int round = 0; round < 2; ++round) {
        refreshes->count = 0;
        Modals modals;
        modals.box(QMessageBox::Ok);
        QTest::mouseClick(ui->smooth_check, Qt::LeftButton);
        QVERIFY(ui->smooth_check->isChecked());
        QCOMPARE(modals.seen.size(), 1);
        QCOMPARE(boxText(modals.seen[0]),
            boxText(QMessageBox::Information, "Caution",
                "Turning this on might make Tarvelo work slower,<br>because it will use more CPU "
                "power for smooth resizing!<br>"
                "I recommend keeping this off because it only affects preview mode.<br>You will "
                "have high quality images "
                "produced regardless of this option.",
                { QMessageBox::Ok }));
        QCOMPARE(WindowProbe::transformMode(*window), int(Qt::SmoothTransformation));
        QCOMPARE(refreshes->count, 1);
        QVERIFY(greyCount() > 300);

        // Switching off says nothing.
        QTest::mouseClick(ui->smooth_check, Qt::LeftButton);
        QVERIFY(!ui->smooth_check->isChecked());
        QCOMPARE(modals.seen.size(), 1);
        QCOMPARE(WindowProbe::transformMode(*window), int(Qt::FastTransformation));
        QCOMPARE(refreshes->count, 2);
        QCOMPARE(greyCount(), 0);
    }
    QCOMPARE(WindowProbe::stampedImage(*window).cacheKey(), stampedKey);
}

void PreviewTest::drag_data()
{
    QTest::addColumn<Drag>("d");
    // 1000 x 500 shown at 400 x 200: each preview pixel is 2.5 picture pixels.
    const QRect logo(10, 10, 100, 100), far(900, 400, 50, 20);
    // clang-format off
    QTest::newRow("actual size") << Drag { false, { 100, 100, 100, 100 }, 1.0, far, { 150, 150 }, { { 160, 145 }, { 175, 140 } }, true, false, { 125, 90 }, far.topLeft(), 4 };
    QTest::newRow("fitted step right") << Drag { true, logo, 1.0, far, { 20, 20 }, { { 21, 21 } }, true, false, { 12, 12 }, far.topLeft(), 2 };
    QTest::newRow("fitted step left") << Drag { true, logo, 1.0, far, { 20, 20 }, { { 19, 19 } }, true, false, { 7, 7 }, far.topLeft(), 2 };
    QTest::newRow("fitted steps truncated one by one") << Drag { true, logo, 1.0, far, { 20, 20 }, { { 21, 21 }, { 20, 20 } }, true, false, { 9, 9 }, far.topLeft(), 4 };
    // At 0.4 the logo covers preview x and y 4 to 44.
    QTest::newRow("fitted left edge") << Drag { true, logo, 1.0, far, { 4, 4 }, {}, true, false, logo.topLeft(), far.topLeft(), 0 };
    QTest::newRow("fitted right edge") << Drag { true, logo, 1.0, far, { 44, 20 }, {}, false, false, logo.topLeft(), far.topLeft(), 0 };
    QTest::newRow("fitted bottom edge") << Drag { true, logo, 1.0, far, { 20, 44 }, {}, false, false, logo.topLeft(), far.topLeft(), 0 };
    // A 3 x 3 logo at scale 1.5 covers 4.5 x 4.5 pixels from (200, 200).
    QTest::newRow("inside the fractional column") << Drag { false, { 200, 200, 3, 3 }, 1.5, far, { 204, 204 }, {}, true, false, { 200, 200 }, far.topLeft(), 0 };
    QTest::newRow("beyond it") << Drag { false, { 200, 200, 3, 3 }, 1.5, far, { 205, 204 }, {}, false, false, { 200, 200 }, far.topLeft(), 0 };
    QTest::newRow("below it") << Drag { false, { 200, 200, 3, 3 }, 1.5, far, { 204, 205 }, {}, false, false, { 200, 200 }, far.topLeft(), 0 };
    // clang-format on

    // Logo box x 100..200, y 100..200; text box x 150..350, y 150..200. The
    // logo wins when both were hit.
    const auto pick = [](const char *name, QPoint press, bool logo, bool text) {
        const QPoint moved(9, -2);
        QTest::newRow(name) << Drag { false, { 100, 100, 100, 100 }, 1.0, { 150, 150, 200, 50 },
            press, { press + QPoint(7, 3), press + moved }, logo, text,
            QPoint(100, 100) + (logo ? moved : QPoint()),
            QPoint(150, 150) + (text && !logo ? moved : QPoint()), logo || text ? 4 : 0 };
    };
    pick("logo only", { 120, 120 }, true, false);
    pick("logo top-left corner", { 100, 100 }, true, false);
    pick("text only", { 300, 180 }, false, true);
    pick("overlap", { 160, 160 }, true, true);
    pick("overlap last pixel", { 199, 199 }, true, true);
    pick("logo right edge, text inside", { 200, 160 }, false, true);
    pick("text bottom edge is outside", { 300, 200 }, false, false);
    pick("nothing", { 50, 50 }, false, false);
}

void PreviewTest::drag()
{
    QFETCH(Drag, d);
    loadPicture(*window, quadrants(1000, 500));
    (d.fit ? ui->fit_radio : ui->actual_radio)->setChecked(true);
    ui->scale_spin->setValue(d.scale);
    placeItems(d.logo, d.text);

    QTest::mousePress(label, Qt::LeftButton, {}, d.press);
    QCOMPARE(WindowProbe::draggingLogo(*window), d.logoHit);
    QCOMPARE(WindowProbe::draggingText(*window), d.textHit);
    QCOMPARE(WindowProbe::previewScaleX(*window), d.fit ? 0.4 : 1.0);
    QCOMPARE(WindowProbe::previewScaleY(*window), d.fit ? 0.4 : 1.0);
    for (const QPoint &to : d.moves)
        QTest::mouseMove(label, to);
    QCOMPARE(QPoint(ui->x_spin->value(), ui->y_spin->value()), d.logoAfter);
    QCOMPARE(QPoint(ui->txt_x_spin->value(), ui->txt_y_spin->value()), d.textAfter);
    // One composition per changed offset box.
    QCOMPARE(refreshes->count, d.compositions);
    QTest::mouseRelease(label, Qt::LeftButton, {}, d.moves.isEmpty() ? d.press : d.moves.last());
    QVERIFY(!WindowProbe::draggingLogo(*window));
    QVERIFY(!WindowProbe::draggingText(*window));

    // Without a press, moves change nothing, even with the button held.
    strayMove(label, d.press + QPoint(30, 30));
    QCOMPARE(QPoint(ui->x_spin->value(), ui->y_spin->value()), d.logoAfter);
    QCOMPARE(QPoint(ui->txt_x_spin->value(), ui->txt_y_spin->value()), d.textAfter);
}

void PreviewTest::releaseOutsidePreviewEndsDrag()
{
    loadPicture(*window, quadrants(1000, 500));
    ui->actual_radio->setChecked(true);
    placeItems(QRect(0, 0, 100, 100), QRect(0, 0, 100, 100));
    QTest::mousePress(label, Qt::LeftButton, {}, QPoint(50, 50));
    QVERIFY(WindowProbe::draggingLogo(*window) && WindowProbe::draggingText(*window));
    // Out over the settings column, still dragging; the release comes there.
    const QPoint outside = label->mapFrom(window.get(), QPoint(20, 300));
    QVERIFY(!label->rect().contains(outside));
    QTest::mouseMove(label, outside);
    QCOMPARE(ui->x_spin->value(), outside.x() - 50);
    QCOMPARE(ui->y_spin->value(), outside.y() - 50);
    QTest::mouseRelease(label, Qt::LeftButton, {}, outside);
    QVERIFY(!WindowProbe::draggingLogo(*window) && !WindowProbe::draggingText(*window));
    strayMove(label, QPoint(90, 90));
    QCOMPARE(ui->x_spin->value(), outside.x() - 50);
    QCOMPARE(ui->txt_x_spin->value(), 0);
}

void PreviewTest::scaleIsFixedAtPress()
{
    loadPicture(*window, quadrants(1000, 500));
    placeItems(QRect(0, 0, 100, 100), QRect(900, 400, 50, 20));
    QTest::mousePress(label, Qt::LeftButton, {}, QPoint(20, 20));
    QCOMPARE(WindowProbe::previewScaleX(*window), 0.4);
    // The preview grows to actual size in the middle of the drag; the steps
    // still count at the scale of the press.
    ui->actual_radio->setChecked(true);
    QCOMPARE(label->size(), QSize(1000, 500));
    QTest::mouseMove(label, QPoint(22, 20));
    QCOMPARE(ui->x_spin->value(), 5);
    QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(22, 20));
}

void PreviewTest::referencePictureFollowsResize_data()
{
    QTest::addColumn<bool>("resize");
    QTest::addColumn<double>("scale");
    // The preview shows a 500 x 250 stamped picture of a 1000 x 500 source.
    QTest::newRow("resized: the stamped picture") << true << 1.0;
    QTest::newRow("not resized: the source picture") << false << 0.5;
}

void PreviewTest::referencePictureFollowsResize()
{
    QFETCH(bool, resize);
    QFETCH(double, scale);
    loadPicture(*window, quadrants(1000, 500));
    ui->actual_radio->setChecked(true);
    ui->resize_check->setChecked(resize);
    placeItems(QRect(0, 0, 400, 200), QRect(900, 400, 50, 20));
    WindowProbe::stampedImage(*window) = quadrants(500, 250);
    WindowProbe::refreshView(*window);
    QCOMPARE(label->size(), QSize(500, 250));
    QTest::mousePress(label, Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(WindowProbe::draggingLogo(*window));
    QCOMPARE(WindowProbe::previewScaleX(*window), scale);
    QCOMPARE(WindowProbe::previewScaleY(*window), scale);
    QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(10, 10));
}

void PreviewTest::pressWithoutPictureStartsNoDrag()
{
    loadPicture(*window, quadrants(1000, 500));
    placeItems(QRect(0, 0, 1000, 500), QRect(0, 0, 1000, 500));
    WindowProbe::previewScaleX(*window) = 3.0;
    // The list lost its selection: no source picture, the preview still up.
    WindowProbe::sourceImage(*window) = QImage();
    QTest::mousePress(label, Qt::LeftButton, {}, QPoint(50, 50));
    QVERIFY(!WindowProbe::draggingLogo(*window) && !WindowProbe::draggingText(*window));
    QCOMPARE(WindowProbe::previewScaleX(*window), 3.0);
    QTest::mouseMove(label, QPoint(80, 80));
    QCOMPARE(ui->x_spin->value(), 0);
    QCOMPARE(ui->txt_x_spin->value(), 0);
    QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(80, 80));
}

TARVELO_TEST_MAIN(PreviewTest)
#include "tst_preview.moc"
