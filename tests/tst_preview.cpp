// The preview pane: what the preview label shows in both display modes, the
// font sample and the logo thumbnail, the high-quality switch, and dragging
// logo and text with real mouse events on the preview label.

// Mouse events go through the window system layer, as real ones do, so that
// moves carry the held button and the pressed label keeps the mouse grab.
#define QTEST_QPA_MOUSE_HANDLING

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QRadioButton>
#include <QScrollArea>
#include <QSettings>
#include <QSpinBox>
#include <QtTest>

#include <climits>
#include <memory>

#include "mainwindow.h"
#include "pictureio.h"
#include "previewmath.h"
#include "qclickablelabel.h"
#include "testsupport.h"
#include "ui_mainwindow.h"
#include "windowprobe.h"

namespace {

// Counts refreshes of the view. Every refresh gives the font sample its
// style sheet again, and the toolkit answers each new style sheet with a
// StyleChange event; a calibration test below keeps this honest.
class RefreshCounter : public QObject
{
public:
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::StyleChange)
            ++count;
        return false;
    }
};

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

// One-pixel black and white columns: any averaging shows up as grey.
QImage stripes(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, x % 2 ? 0xffffffff : 0xff000000);
    return image;
}

QImage solid(int width, int height, QColor color)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

QImage shownImage(QLabel *label)
{
    return label->pixmap(Qt::ReturnByValue).toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class PreviewTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void fontSampleStyle_data();
    void fontSampleStyle();
    void hitsBox_data();
    void hitsBox();
    void dragStep_data();
    void dragStep();

    void refreshCounterCalibration();
    void fitShowsPictureScaledIntoScrollArea_data();
    void fitShowsPictureScaledIntoScrollArea();
    void actualShowsEveryPixel();
    void switchingModesRedrawsWithoutComposing();
    void windowResizeRefitsPreview();
    void fontSampleFollowsColourAndFont();
    void logoThumbnailFitsLabel();
    void thumbnailKeptWithoutLogo();
    void nullStampedImageKeepsPreview();
    void smoothCheckWarnsOnEverySwitchOn();
    void smoothCheckChangesPreviewScaling();

    void dragLogoAtActualSize();
    void fittedStepsAreTruncatedOneByOne_data();
    void fittedStepsAreTruncatedOneByOne();
    void pressPicksItem_data();
    void pressPicksItem();
    void logoHitBoxIsUnrounded_data();
    void logoHitBoxIsUnrounded();
    void moveWithoutPressChangesNothing();
    void releaseOutsidePreviewEndsDrag();
    void scaleIsFixedAtPress();
    void referencePictureFollowsResize_data();
    void referencePictureFollowsResize();
    void pressWithoutPictureStartsNoDrag();
    void draggedLogoIsStampedWhereDropped();

private:
    void loadPicture(const QImage &picture);
    void useFitMode();
    void useActualMode();
    void placeItems(QPoint logo, QSize logoSize, QPoint text, QSize textSize);

    std::unique_ptr<MainWindow> window;
    Ui::MainWindow *ui = nullptr;
    QClickableLabel *label = nullptr;
    RefreshCounter refreshes;
};

void PreviewTest::init()
{
    // Every window starts from an empty store, whatever the last one saved.
    QSettings(QStringLiteral("Dovrin Halsek"), QStringLiteral("Tarvelo")).clear();

    window = std::make_unique<MainWindow>();
    ui = WindowProbe::ui(*window);
    label = WindowProbe::previewLabel(*window);
    QVERIFY(label);

    // A known starting point whatever the stored defaults are: no resize,
    // offsets 0, no shadow bar and no text (the tests that drag set the
    // boxes of logo and text themselves).
    ui->resize_check->setChecked(false);
    ui->x_spin->setValue(0);
    ui->y_spin->setValue(0);
    ui->txt_x_spin->setValue(0);
    ui->txt_y_spin->setValue(0);
    ui->shadow_spin->setValue(0);
    ui->wtrmark_edit->clear();
    WindowProbe::textFont(*window) = QFont(QStringLiteral("DejaVu Sans"), 12);
    WindowProbe::textColor(*window) = Qt::white;

    // 400 x 300 pixels of room for a fitted preview (the frame takes one
    // pixel on each side).
    ui->image_scroll->setFixedSize(402, 302);
    window->resize(1400, 900);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    useFitMode();

    refreshes.count = 0;
    ui->font_pr_label->installEventFilter(&refreshes);
}

void PreviewTest::cleanup()
{
    window.reset();
    ui = nullptr;
    label = nullptr;
}

// As the picture list does it: the picture as 32-bit ARGB, a copy of it as
// the stamped picture, and two compositions.
void PreviewTest::loadPicture(const QImage &picture)
{
    WindowProbe::sourceImage(*window) = PictureIO::toArgb32(picture);
    WindowProbe::stampedImage(*window) = WindowProbe::sourceImage(*window).copy();
    WindowProbe::composeStamp(*window);
    WindowProbe::composeStamp(*window);
    QCoreApplication::processEvents();
}

void PreviewTest::useFitMode()
{
    ui->fit_radio->setChecked(true);
    QCoreApplication::processEvents();
}

void PreviewTest::useActualMode()
{
    ui->actual_radio->setChecked(true);
    QCoreApplication::processEvents();
}

// The hit test works on what the last composition left; tests set it here
// directly so that the boxes are exactly known.
void PreviewTest::placeItems(QPoint logo, QSize logoSize, QPoint text, QSize textSize)
{
    WindowProbe::logoImage(*window)
        = logoSize.isEmpty() ? QImage() : solid(logoSize.width(), logoSize.height(), Qt::magenta);
    WindowProbe::logoPos(*window) = logo;
    WindowProbe::textPos(*window) = text;
    WindowProbe::textExtent(*window) = QRect(QPoint(0, 0), textSize);
}

// ---- the arithmetic on its own ----

void PreviewTest::fontSampleStyle_data()
{
    QTest::addColumn<QColor>("color");
    QTest::addColumn<QString>("style");

    QTest::newRow("red") << QColor(Qt::red) << "color: #ffff0000";
    QTest::newRow("black") << QColor(Qt::black) << "color: #ff000000";
    QTest::newRow("white") << QColor(Qt::white) << "color: #ffffffff";
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

void PreviewTest::hitsBox_data()
{
    QTest::addColumn<QPoint>("mouse");
    QTest::addColumn<double>("left");
    QTest::addColumn<double>("top");
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    QTest::addColumn<double>("scale");
    QTest::addColumn<bool>("hit");

    QTest::newRow("top-left corner is inside")
        << QPoint(10, 20) << 10.0 << 20.0 << 30.0 << 40.0 << 1.0 << true;
    QTest::newRow("last pixel is inside")
        << QPoint(39, 59) << 10.0 << 20.0 << 30.0 << 40.0 << 1.0 << true;
    QTest::newRow("right edge is outside")
        << QPoint(40, 30) << 10.0 << 20.0 << 30.0 << 40.0 << 1.0 << false;
    QTest::newRow("bottom edge is outside")
        << QPoint(20, 60) << 10.0 << 20.0 << 30.0 << 40.0 << 1.0 << false;
    QTest::newRow("left of box") << QPoint(9, 30) << 10.0 << 20.0 << 30.0 << 40.0 << 1.0 << false;
    QTest::newRow("above box") << QPoint(20, 19) << 10.0 << 20.0 << 30.0 << 40.0 << 1.0 << false;
    // At 0.4 the box (100, 50, 30, 30) covers preview x 40 to 52, y 20 to 32.
    QTest::newRow("scaled left edge")
        << QPoint(40, 20) << 100.0 << 50.0 << 30.0 << 30.0 << 0.4 << true;
    QTest::newRow("scaled inside")
        << QPoint(51, 31) << 100.0 << 50.0 << 30.0 << 30.0 << 0.4 << true;
    QTest::newRow("scaled right edge")
        << QPoint(52, 25) << 100.0 << 50.0 << 30.0 << 30.0 << 0.4 << false;
    QTest::newRow("scaled before left")
        << QPoint(39, 25) << 100.0 << 50.0 << 30.0 << 30.0 << 0.4 << false;
    QTest::newRow("fractional width covers 4")
        << QPoint(4, 0) << 0.0 << 0.0 << 4.5 << 4.5 << 1.0 << true;
    QTest::newRow("fractional width ends before 5")
        << QPoint(5, 0) << 0.0 << 0.0 << 4.5 << 4.5 << 1.0 << false;
    QTest::newRow("empty box") << QPoint(0, 0) << 0.0 << 0.0 << 0.0 << 0.0 << 1.0 << false;
    QTest::newRow("negative position")
        << QPoint(0, 0) << -10.0 << -10.0 << 20.0 << 20.0 << 1.0 << true;
}

void PreviewTest::hitsBox()
{
    QFETCH(QPoint, mouse);
    QFETCH(double, left);
    QFETCH(double, top);
    QFETCH(double, width);
    QFETCH(double, height);
    QFETCH(double, scale);
    QFETCH(bool, hit);
    QCOMPARE(PreviewMath::hitsBox(mouse, left, top, width, height, scale, scale), hit);
}

void PreviewTest::dragStep_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("delta");
    QTest::addColumn<double>("scale");
    QTest::addColumn<int>("result");

    QTest::newRow("actual size right") << 0 << 25 << 1.0 << 25;
    QTest::newRow("actual size up") << 0 << -10 << 1.0 << -10;
    QTest::newRow("fitted right truncates 12.5") << 10 << 1 << 0.4 << 12;
    QTest::newRow("fitted left truncates 7.5") << 10 << -1 << 0.4 << 7;
    QTest::newRow("negative truncates toward zero") << 0 << -1 << 0.4 << -2;
    QTest::newRow("crossing zero") << 1 << -1 << 0.4 << -1;
    QTest::newRow("enlarged preview drops small steps") << 10 << 1 << 2.5 << 10;
    QTest::newRow("enlarged preview two pixels") << 10 << -3 << 2.5 << 8;
    QTest::newRow("no movement") << 42 << 0 << 0.4 << 42;
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

// ---- what the preview shows ----

void PreviewTest::refreshCounterCalibration()
{
    WindowProbe::refreshView(*window);
    QCOMPARE(refreshes.count, 1);
    WindowProbe::composeStamp(*window);
    QCOMPARE(refreshes.count, 2);
}

void PreviewTest::fitShowsPictureScaledIntoScrollArea_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("shown");

    QTest::newRow("wide picture reduced") << QSize(1000, 500) << QSize(400, 200);
    QTest::newRow("tall picture reduced") << QSize(300, 600) << QSize(150, 300);
    QTest::newRow("same proportions as the room") << QSize(800, 600) << QSize(400, 300);
    QTest::newRow("small picture enlarged") << QSize(100, 50) << QSize(400, 200);
}

void PreviewTest::fitShowsPictureScaledIntoScrollArea()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, shown);

    loadPicture(quadrants(picture.width(), picture.height()));
    QCOMPARE(label->pixmap(Qt::ReturnByValue).size(), shown);
    QCOMPARE(label->size(), shown);

    const QImage image = shownImage(label);
    const int w = shown.width();
    const int h = shown.height();
    QCOMPARE(image.pixel(w / 4, h / 4), QColor(Qt::red).rgb());
    QCOMPARE(image.pixel(3 * w / 4, h / 4), QColor(Qt::green).rgb());
    QCOMPARE(image.pixel(w / 4, 3 * h / 4), QColor(Qt::blue).rgb());
    QCOMPARE(image.pixel(3 * w / 4, 3 * h / 4), QColor(Qt::yellow).rgb());
}

void PreviewTest::actualShowsEveryPixel()
{
    loadPicture(quadrants(1000, 500));
    useActualMode();

    const QImage stamped = WindowProbe::stampedImage(*window);
    QCOMPARE(label->size(), stamped.size());
    QCOMPARE(shownImage(label), stamped.convertToFormat(QImage::Format_ARGB32));
}

void PreviewTest::switchingModesRedrawsWithoutComposing()
{
    loadPicture(quadrants(1000, 500));
    const qint64 stampedKey = WindowProbe::stampedImage(*window).cacheKey();
    QCOMPARE(label->size(), QSize(400, 200));

    refreshes.count = 0;
    QTest::mouseClick(ui->actual_radio, Qt::LeftButton);
    QVERIFY(ui->actual_radio->isChecked());
    QCOMPARE(label->size(), QSize(1000, 500));

    QTest::mouseClick(ui->fit_radio, Qt::LeftButton);
    QVERIFY(ui->fit_radio->isChecked());
    QCOMPARE(label->size(), QSize(400, 200));

    // Both buttons of each switch refresh; nothing is composed anew.
    QCOMPARE(refreshes.count, 4);
    QCOMPARE(WindowProbe::stampedImage(*window).cacheKey(), stampedKey);
}

void PreviewTest::windowResizeRefitsPreview()
{
    ui->image_scroll->setMinimumSize(0, 0);
    ui->image_scroll->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    window->resize(1300, 850);
    QTRY_COMPARE(window->size(), QSize(1300, 850));
    loadPicture(quadrants(1000, 500));

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

void PreviewTest::fontSampleFollowsColourAndFont()
{
    const QFont font(QStringLiteral("DejaVu Serif"), 17, QFont::Bold);
    WindowProbe::textColor(*window) = QColor(Qt::red);
    WindowProbe::textFont(*window) = font;
    WindowProbe::refreshView(*window);

    QCOMPARE(ui->font_pr_label->styleSheet(), QStringLiteral("color: #ffff0000"));
    QCOMPARE(ui->font_pr_label->font().family(), QStringLiteral("DejaVu Serif"));
    QCOMPARE(ui->font_pr_label->font().pointSize(), 17);
    QVERIFY(ui->font_pr_label->font().bold());
}

void PreviewTest::logoThumbnailFitsLabel()
{
    WindowProbe::logoImage(*window) = solid(300, 100, Qt::magenta);
    WindowProbe::refreshView(*window);

    const QSize room = ui->logo_label->size() - QSize(2, 2);
    const QPixmap thumbnail = ui->logo_label->pixmap(Qt::ReturnByValue);
    QCOMPARE(thumbnail.size(), QSize(300, 100).scaled(room, Qt::KeepAspectRatio));
    QCOMPARE(thumbnail.toImage().pixel(thumbnail.width() / 2, thumbnail.height() / 2),
        QColor(Qt::magenta).rgb());
}

void PreviewTest::thumbnailKeptWithoutLogo()
{
    WindowProbe::logoImage(*window) = solid(300, 100, Qt::magenta);
    WindowProbe::refreshView(*window);
    const qint64 before = ui->logo_label->pixmap(Qt::ReturnByValue).cacheKey();

    WindowProbe::logoImage(*window) = QImage();
    WindowProbe::refreshView(*window);
    QCOMPARE(ui->logo_label->pixmap(Qt::ReturnByValue).cacheKey(), before);
}

void PreviewTest::nullStampedImageKeepsPreview()
{
    loadPicture(quadrants(1000, 500));
    const qint64 before = label->pixmap(Qt::ReturnByValue).cacheKey();

    WindowProbe::stampedImage(*window) = QImage();
    WindowProbe::refreshView(*window);
    QCOMPARE(label->pixmap(Qt::ReturnByValue).cacheKey(), before);
    QCOMPARE(label->size(), QSize(400, 200));
}

void PreviewTest::smoothCheckWarnsOnEverySwitchOn()
{
    loadPicture(quadrants(1000, 500));
    const qint64 stampedKey = WindowProbe::stampedImage(*window).cacheKey();

    for (int round = 0; round < 2; ++round) {
        refreshes.count = 0;
        auto box = TestSupport::answerNextBox(QMessageBox::Ok);
        QTest::mouseClick(ui->smooth_check, Qt::LeftButton);
        QVERIFY(ui->smooth_check->isChecked());
        QVERIFY(box->seen);
        QCOMPARE(box->className, QStringLiteral("QMessageBox"));
        QCOMPARE(box->title, QStringLiteral("Caution"));
        QCOMPARE(box->text,
            QStringLiteral("Turning this on might make Tarvelo work slower,<br>because it will "
                           "use more CPU power for smooth resizing!<br>I recommend keeping "
                           "this off because it only affects preview mode.<br>You will have "
                           "high quality images produced regardless of this option."));
        QCOMPARE(box->icon, QMessageBox::Information);
        QCOMPARE(box->buttons, QList<QMessageBox::StandardButton> { QMessageBox::Ok });
        QCOMPARE(WindowProbe::transformMode(*window), int(Qt::SmoothTransformation));
        QCOMPARE(refreshes.count, 1);

        // Switching off says nothing.
        refreshes.count = 0;
        auto none = TestSupport::answerNextBox(QMessageBox::Ok, 300);
        QTest::mouseClick(ui->smooth_check, Qt::LeftButton);
        QVERIFY(!ui->smooth_check->isChecked());
        QTest::qWait(400);
        QVERIFY(!none->seen);
        QCOMPARE(WindowProbe::transformMode(*window), int(Qt::FastTransformation));
        QCOMPARE(refreshes.count, 1);
    }
    QCOMPARE(WindowProbe::stampedImage(*window).cacheKey(), stampedKey);
}

void PreviewTest::smoothCheckChangesPreviewScaling()
{
    // Reduced to 0.4, one-pixel stripes stay pure black or white with fast
    // scaling and blend to grey with smooth scaling.
    loadPicture(stripes(1000, 500));
    const auto greyCount = [this]() {
        const QImage image = shownImage(label);
        int grey = 0;
        for (int x = 0; x < image.width(); ++x) {
            const int value = qRed(image.pixel(x, 100));
            if (value > 40 && value < 215)
                ++grey;
        }
        return grey;
    };
    QCOMPARE(greyCount(), 0);

    TestSupport::answerNextBox(QMessageBox::Ok);
    ui->smooth_check->setChecked(true);
    QVERIFY(greyCount() > 300);

    ui->smooth_check->setChecked(false);
    QCOMPARE(greyCount(), 0);
}

// ---- dragging ----

void PreviewTest::dragLogoAtActualSize()
{
    loadPicture(quadrants(1000, 500));
    useActualMode();
    ui->x_spin->setValue(100);
    ui->y_spin->setValue(100);
    placeItems(QPoint(100, 100), QSize(100, 100), QPoint(600, 400), QSize(50, 20));

    QTest::mousePress(label, Qt::LeftButton, {}, QPoint(150, 150));
    QVERIFY(WindowProbe::draggingLogo(*window));
    QVERIFY(!WindowProbe::draggingText(*window));
    QCOMPARE(WindowProbe::previewScaleX(*window), 1.0);
    QCOMPARE(WindowProbe::previewScaleY(*window), 1.0);

    refreshes.count = 0;
    QTest::mouseMove(label, QPoint(160, 145));
    QCOMPARE(ui->x_spin->value(), 110);
    QCOMPARE(ui->y_spin->value(), 95);
    // One composition per changed offset box.
    QCOMPARE(refreshes.count, 2);

    QTest::mouseMove(label, QPoint(175, 140));
    QCOMPARE(ui->x_spin->value(), 125);
    QCOMPARE(ui->y_spin->value(), 90);
    QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(175, 140));
    QVERIFY(!WindowProbe::draggingLogo(*window));

    QCOMPARE(ui->txt_x_spin->value(), 0);
    QCOMPARE(ui->txt_y_spin->value(), 0);
}

void PreviewTest::fittedStepsAreTruncatedOneByOne_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("afterStep");
    QTest::addColumn<int>("afterStepBack");

    // 1000 x 500 shown at 400 x 200: each preview pixel is 2.5 picture pixels.
    QTest::newRow("right then back") << 1 << 12 << 9;
    QTest::newRow("left then back") << -1 << 7 << 9;
}

void PreviewTest::fittedStepsAreTruncatedOneByOne()
{
    QFETCH(int, step);
    QFETCH(int, afterStep);
    QFETCH(int, afterStepBack);

    loadPicture(quadrants(1000, 500));
    ui->x_spin->setValue(10);
    ui->y_spin->setValue(10);
    placeItems(QPoint(10, 10), QSize(100, 100), QPoint(900, 400), QSize(50, 20));

    QTest::mousePress(label, Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(WindowProbe::draggingLogo(*window));
    QCOMPARE(WindowProbe::previewScaleX(*window), 0.4);
    QCOMPARE(WindowProbe::previewScaleY(*window), 0.4);

    QTest::mouseMove(label, QPoint(20 + step, 20 + step));
    QCOMPARE(ui->x_spin->value(), afterStep);
    QCOMPARE(ui->y_spin->value(), afterStep);
    QTest::mouseMove(label, QPoint(20, 20));
    QCOMPARE(ui->x_spin->value(), afterStepBack);
    QCOMPARE(ui->y_spin->value(), afterStepBack);
    QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(20, 20));
}

void PreviewTest::pressPicksItem_data()
{
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<bool>("logo");
    QTest::addColumn<bool>("text");

    // Logo box x 100..200, y 100..200; text box x 150..350, y 150..200.
    QTest::newRow("logo only") << QPoint(120, 120) << true << false;
    QTest::newRow("logo top-left corner") << QPoint(100, 100) << true << false;
    QTest::newRow("text only") << QPoint(300, 180) << false << true;
    QTest::newRow("overlap") << QPoint(160, 160) << true << true;
    QTest::newRow("overlap last pixel") << QPoint(199, 199) << true << true;
    QTest::newRow("logo right edge is outside") << QPoint(200, 120) << false << false;
    QTest::newRow("logo right edge, text inside") << QPoint(200, 160) << false << true;
    QTest::newRow("text bottom edge is outside") << QPoint(300, 200) << false << false;
    QTest::newRow("text right edge is outside") << QPoint(350, 160) << false << false;
    QTest::newRow("nothing") << QPoint(50, 50) << false << false;
}

void PreviewTest::pressPicksItem()
{
    QFETCH(QPoint, press);
    QFETCH(bool, logo);
    QFETCH(bool, text);

    loadPicture(quadrants(1000, 500));
    useActualMode();
    ui->x_spin->setValue(100);
    ui->y_spin->setValue(100);
    ui->txt_x_spin->setValue(150);
    ui->txt_y_spin->setValue(150);
    placeItems(QPoint(100, 100), QSize(100, 100), QPoint(150, 150), QSize(200, 50));

    QTest::mousePress(label, Qt::LeftButton, {}, press);
    QCOMPARE(WindowProbe::draggingLogo(*window), logo);
    QCOMPARE(WindowProbe::draggingText(*window), text);

    QTest::mouseMove(label, press + QPoint(7, 3));
    QTest::mouseMove(label, press + QPoint(9, -2));
    // The logo wins when both were hit.
    QCOMPARE(ui->x_spin->value(), logo ? 109 : 100);
    QCOMPARE(ui->y_spin->value(), logo ? 98 : 100);
    QCOMPARE(ui->txt_x_spin->value(), text && !logo ? 159 : 150);
    QCOMPARE(ui->txt_y_spin->value(), text && !logo ? 148 : 150);

    QTest::mouseRelease(label, Qt::LeftButton, {}, press + QPoint(9, -2));
    QVERIFY(!WindowProbe::draggingLogo(*window));
    QVERIFY(!WindowProbe::draggingText(*window));
}

void PreviewTest::logoHitBoxIsUnrounded_data()
{
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<bool>("hit");

    // A 3 x 3 logo at scale 1.5 covers 4.5 x 4.5 pixels from (200, 200).
    QTest::newRow("inside the fractional column") << QPoint(204, 204) << true;
    QTest::newRow("beyond it") << QPoint(205, 204) << false;
    QTest::newRow("below it") << QPoint(204, 205) << false;
}

void PreviewTest::logoHitBoxIsUnrounded()
{
    QFETCH(QPoint, press);
    QFETCH(bool, hit);

    loadPicture(quadrants(1000, 500));
    useActualMode();
    ui->scale_spin->setValue(1.5);
    placeItems(QPoint(200, 200), QSize(3, 3), QPoint(900, 400), QSize(50, 20));

    QTest::mousePress(label, Qt::LeftButton, {}, press);
    QCOMPARE(WindowProbe::draggingLogo(*window), hit);
    QTest::mouseRelease(label, Qt::LeftButton, {}, press);
}

void PreviewTest::moveWithoutPressChangesNothing()
{
    loadPicture(quadrants(1000, 500));
    useActualMode();
    ui->x_spin->setValue(100);
    ui->y_spin->setValue(100);
    placeItems(QPoint(100, 100), QSize(100, 100), QPoint(100, 100), QSize(100, 100));

    // A move with the button held that did not start on the label: the
    // label still hands it to the window, which has no drag going.
    refreshes.count = 0;
    QMouseEvent move(
        QEvent::MouseMove, QPointF(180, 170), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(label, &move);
    QMouseEvent further(
        QEvent::MouseMove, QPointF(190, 190), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(label, &further);

    QCOMPARE(ui->x_spin->value(), 100);
    QCOMPARE(ui->y_spin->value(), 100);
    QCOMPARE(ui->txt_x_spin->value(), 0);
    QCOMPARE(ui->txt_y_spin->value(), 0);
    QCOMPARE(refreshes.count, 0);
}

void PreviewTest::releaseOutsidePreviewEndsDrag()
{
    loadPicture(quadrants(1000, 500));
    useActualMode();
    placeItems(QPoint(0, 0), QSize(100, 100), QPoint(0, 0), QSize(100, 100));

    QTest::mousePress(label, Qt::LeftButton, {}, QPoint(50, 50));
    QVERIFY(WindowProbe::draggingLogo(*window));
    QVERIFY(WindowProbe::draggingText(*window));
    QTest::mouseMove(label, QPoint(60, 50));
    QCOMPARE(ui->x_spin->value(), 10);

    // Out over the settings column, still dragging; the release comes there.
    const QPoint outside = label->mapFrom(window.get(), QPoint(20, 300));
    QVERIFY(!label->rect().contains(outside));
    QTest::mouseMove(label, outside);
    const int x = ui->x_spin->value();
    const int y = ui->y_spin->value();
    QCOMPARE(x, 10 + outside.x() - 60);
    QCOMPARE(y, outside.y() - 50);
    QTest::mouseRelease(label, Qt::LeftButton, {}, outside);
    QVERIFY(!WindowProbe::draggingLogo(*window));
    QVERIFY(!WindowProbe::draggingText(*window));

    // Later moves change nothing, even with a button held.
    QMouseEvent move(
        QEvent::MouseMove, QPointF(90, 90), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(label, &move);
    QCOMPARE(ui->x_spin->value(), x);
    QCOMPARE(ui->y_spin->value(), y);
    QCOMPARE(ui->txt_x_spin->value(), 0);
}

void PreviewTest::scaleIsFixedAtPress()
{
    loadPicture(quadrants(1000, 500));
    placeItems(QPoint(0, 0), QSize(100, 100), QPoint(900, 400), QSize(50, 20));

    QTest::mousePress(label, Qt::LeftButton, {}, QPoint(20, 20));
    QCOMPARE(WindowProbe::previewScaleX(*window), 0.4);

    // The preview grows to actual size in the middle of the drag; the steps
    // still count at the scale of the press.
    ui->actual_radio->setChecked(true);
    QCOMPARE(label->size(), QSize(1000, 500));
    QTest::mouseMove(label, QPoint(22, 20));
    QCOMPARE(ui->x_spin->value(), 5);
    QCOMPARE(WindowProbe::previewScaleX(*window), 0.4);
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

    loadPicture(quadrants(1000, 500));
    useActualMode();
    ui->resize_check->setChecked(resize);
    WindowProbe::stampedImage(*window) = quadrants(500, 250);
    WindowProbe::refreshView(*window);
    QCOMPARE(label->size(), QSize(500, 250));
    placeItems(QPoint(0, 0), QSize(400, 200), QPoint(900, 400), QSize(50, 20));

    QTest::mousePress(label, Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(WindowProbe::draggingLogo(*window));
    QCOMPARE(WindowProbe::previewScaleX(*window), scale);
    QCOMPARE(WindowProbe::previewScaleY(*window), scale);
    QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(10, 10));
}

void PreviewTest::pressWithoutPictureStartsNoDrag()
{
    loadPicture(quadrants(1000, 500));
    placeItems(QPoint(0, 0), QSize(1000, 500), QPoint(0, 0), QSize(1000, 500));
    WindowProbe::previewScaleX(*window) = 3.0;
    WindowProbe::previewScaleY(*window) = 3.0;

    // The list lost its selection: no source picture, the preview still up.
    WindowProbe::sourceImage(*window) = QImage();
    QTest::mousePress(label, Qt::LeftButton, {}, QPoint(50, 50));
    QVERIFY(!WindowProbe::draggingLogo(*window));
    QVERIFY(!WindowProbe::draggingText(*window));
    QCOMPARE(WindowProbe::previewScaleX(*window), 3.0);
    QTest::mouseMove(label, QPoint(80, 80));
    QCOMPARE(ui->x_spin->value(), 0);
    QCOMPARE(ui->txt_x_spin->value(), 0);
    QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(80, 80));
}

// With the compositor behind the spin boxes the logo ends up stamped where
// it was dropped, and the preview shows it there right after each step.
void PreviewTest::draggedLogoIsStampedWhereDropped()
{
    loadPicture(solid(1000, 500, Qt::darkGray));
    useActualMode();
    ui->wtrmark_edit->clear();
    WindowProbe::logoImage(*window) = solid(40, 40, Qt::magenta);
    ui->x_spin->setValue(100);
    ui->y_spin->setValue(100);
    QCOMPARE(WindowProbe::logoPos(*window), QPoint(100, 100));

    QTest::mousePress(label, Qt::LeftButton, {}, QPoint(120, 120));
    QVERIFY(WindowProbe::draggingLogo(*window));
    QTest::mouseMove(label, QPoint(145, 110));
    QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(145, 110));

    QCOMPARE(WindowProbe::logoPos(*window), QPoint(125, 90));
    const QImage stamped
        = WindowProbe::stampedImage(*window).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(stamped.pixel(125, 90), QColor(Qt::magenta).rgb());
    QCOMPARE(stamped.pixel(164, 129), QColor(Qt::magenta).rgb());
    QCOMPARE(stamped.pixel(124, 90), QColor(Qt::darkGray).rgb());
    QCOMPARE(stamped.pixel(165, 129), QColor(Qt::darkGray).rgb());
    QCOMPARE(stamped.pixel(110, 110), QColor(Qt::darkGray).rgb());

    const QImage shown = shownImage(label);
    QCOMPARE(shown.pixel(130, 95), QColor(Qt::magenta).rgb());
    QCOMPARE(shown.pixel(110, 110), QColor(Qt::darkGray).rgb());
}

TARVELO_TEST_MAIN(PreviewTest)
#include "tst_preview.moc"
