// The window's compositions: composeStamp reads the form's controls, keeps
// the placement state between runs, and the second of two compositions
// places logo and text against the first one's picture and text extent.

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPainter>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QtTest>

#include <memory>

#include "mainwindow.h"
#include "testsupport.h"
#include "ui_mainwindow.h"
#include "windowprobe.h"

namespace {

// Colour ramps, so that a shaded row differs from an untouched one in every
// pixel.
QImage ramps(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 7) % 256, (y * 5 + 40) % 256, (x + y) % 200 + 30));
    return image;
}

QImage solid(int width, int height, QRgb colour)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

// Where QPainter puts the text's bounding box when drawing it at (0, 0) on
// a copy of `picture`.
QRect boundingOf(const QImage &picture, const QString &text, const QFont &font, QColor colour)
{
    QImage copy = picture.copy();
    QPainter painter(&copy);
    painter.setPen(colour);
    painter.setFont(font);
    QRect bounding;
    painter.drawText(QRect(0, 0, 99999, 99999), 0, text, &bounding);
    return bounding;
}

QRgb shaded(QRgb pixel, bool light)
{
    const QColor colour(qRed(pixel), qGreen(pixel), qBlue(pixel));
    return (light ? colour.lighter(200) : colour.darker(200)).rgba();
}

} // namespace

class ComposeTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void barFollowsTheControls_data();
    void barFollowsTheControls();
    void uncheckedGroupsGiveNoBar();
    void anchorsOffsetsAndScaleFromTheControls();
    void secondCompositionPlacesByFirstResult();
    void opacityAndScaleOfTheLogo();
    void scalingModeOfTheWindowIsUsed();
    void noPictureEmptiesTheResult();

private:
    void loadPicture(const QImage &picture);
    MainWindow &w() { return *window; }

    std::unique_ptr<MainWindow> window;
    Ui::MainWindow *ui = nullptr;
    const QFont font = QFont(QStringLiteral("DejaVu Sans"), 14);
};

void ComposeTest::init()
{
    QSettings(QStringLiteral("Dovrin Halsek"), QStringLiteral("Tarvelo")).clear();
    window = std::make_unique<MainWindow>();
    ui = WindowProbe::ui(w());
    // A known starting point: no resize, no bar, no text, no logo, offsets 0.
    ui->resize_check->setChecked(false);
    ui->shadow_spin->setValue(0);
    ui->wtrmark_edit->clear();
    ui->txt_topleft_btn->setChecked(true);
    ui->logo_topleft_btn->setChecked(true);
    ui->x_spin->setValue(0);
    ui->y_spin->setValue(0);
    ui->txt_x_spin->setValue(0);
    ui->txt_y_spin->setValue(0);
    ui->scale_spin->setValue(1.0);
    ui->logoOpacitySpin->setValue(100);
    ui->watermarkOpacitySpin->setValue(100);
    WindowProbe::logoImage(w()) = QImage();
    WindowProbe::textFont(w()) = font;
    WindowProbe::textColor(w()) = Qt::white;
    WindowProbe::textExtent(w()) = QRect();
}

void ComposeTest::cleanup()
{
    window.reset();
}

// What the picture list does with a newly selected picture.
void ComposeTest::loadPicture(const QImage &picture)
{
    WindowProbe::sourceImage(w()) = picture;
    WindowProbe::stampedImage(w()) = picture.copy();
    WindowProbe::composeStamp(w());
    WindowProbe::composeStamp(w());
}

void ComposeTest::barFollowsTheControls_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("top");
    QTest::addColumn<bool>("light");
    QTest::newRow("5 rows light at the top") << 5 << true << true;
    QTest::newRow("12 rows dark at the bottom") << 12 << false << false;
    QTest::newRow("taller than the picture") << 70 << false << true;
}

void ComposeTest::barFollowsTheControls()
{
    QFETCH(int, rows);
    QFETCH(bool, top);
    QFETCH(bool, light);
    const QImage picture = ramps(90, 60);
    loadPicture(picture);
    QCOMPARE(WindowProbe::stampedImage(w()), picture);

    // Each change recomposes through the controls' own handlers.
    (top ? ui->top_radio : ui->bottom_radio)->setChecked(true);
    (light ? ui->light_radio : ui->dark_radio)->setChecked(true);
    ui->shadow_spin->setValue(rows);

    const QImage &stamped = WindowProbe::stampedImage(w());
    QCOMPARE(stamped.size(), picture.size());
    const int first = top ? 0 : qMax(0, 60 - rows);
    const int last = top ? qMin(rows, 60) - 1 : 59;
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 90; x += 7) {
            const QRgb original = picture.pixel(x, y);
            const QRgb expected = (y >= first && y <= last) ? shaded(original, light) : original;
            QCOMPARE(stamped.pixel(x, y), expected);
        }
    }
}

void ComposeTest::uncheckedGroupsGiveNoBar()
{
    const QImage picture = ramps(40, 30);
    ui->shadow_spin->setValue(10);
    loadPicture(picture);
    QVERIFY(WindowProbe::stampedImage(w()) != picture);

    // Restored options can leave a group with nothing checked.
    ui->light_radio->setAutoExclusive(false);
    ui->dark_radio->setAutoExclusive(false);
    ui->light_radio->setChecked(false);
    ui->dark_radio->setChecked(false);
    WindowProbe::composeStamp(w());
    QCOMPARE(WindowProbe::stampedImage(w()), picture);

    ui->dark_radio->setChecked(true);
    ui->top_radio->setAutoExclusive(false);
    ui->bottom_radio->setAutoExclusive(false);
    ui->top_radio->setChecked(false);
    ui->bottom_radio->setChecked(false);
    WindowProbe::composeStamp(w());
    QCOMPARE(WindowProbe::stampedImage(w()), picture);
}

void ComposeTest::anchorsOffsetsAndScaleFromTheControls()
{
    const QImage picture = ramps(500, 400);
    WindowProbe::logoImage(w()) = solid(100, 50, 0xff00ff00);
    ui->wtrmark_edit->setText(QStringLiteral("Anchored"));
    // Choosing an anchor zeroes its offsets, so the offsets come after.
    ui->txt_center_btn->setChecked(true);
    ui->txt_x_spin->setValue(7);
    ui->txt_y_spin->setValue(-3);
    ui->logo_botright_btn->setChecked(true);
    ui->x_spin->setValue(-10);
    ui->y_spin->setValue(-5);
    ui->scale_spin->setValue(1.5);
    loadPicture(picture);

    const QRect extent = boundingOf(picture, QStringLiteral("Anchored"), font, Qt::white);
    QCOMPARE(WindowProbe::textExtent(w()).size(), extent.size());
    QCOMPARE(WindowProbe::textPos(w()),
        QPoint(250 - extent.width() / 2 + 7, 200 - extent.height() / 2 - 3));
    // 150 x 75 at the bottom right corner, 10 and 5 pixels in.
    QCOMPARE(WindowProbe::logoPos(w()), QPoint(500 - 150 - 10, 400 - 75 - 5));
    const QImage &stamped = WindowProbe::stampedImage(w());
    QCOMPARE(stamped.pixel(340, 320), QRgb(0xff00ff00));
    QCOMPARE(stamped.pixel(489, 394), QRgb(0xff00ff00));
    QCOMPARE(stamped.pixel(490, 394), picture.pixel(490, 394));
    QCOMPARE(stamped.pixel(489, 395), picture.pixel(489, 395));
}

void ComposeTest::secondCompositionPlacesByFirstResult()
{
    const QImage picture = ramps(400, 300);
    WindowProbe::logoImage(w()) = solid(40, 20, 0xffff00ff);
    ui->txt_botright_btn->setChecked(true);
    ui->logo_botright_btn->setChecked(true);
    ui->resize_check->setChecked(true);
    ui->aspect_check->setChecked(true);
    ui->width_spin->setValue(200);
    ui->height_spin->setValue(200);
    ui->wtrmark_edit->setText(QStringLiteral("Corner text"));

    WindowProbe::sourceImage(w()) = picture;
    WindowProbe::stampedImage(w()) = picture.copy();
    WindowProbe::textExtent(w()) = QRect();

    // First run: the text is measured on the 400 x 300 copy and both are
    // placed against that size, although the result is 200 x 150.
    const QRect measured = boundingOf(picture, QStringLiteral("Corner text"), font, Qt::white);
    WindowProbe::composeStamp(w());
    QCOMPARE(WindowProbe::stampedImage(w()).size(), QSize(200, 150));
    QCOMPARE(WindowProbe::textPos(w()), QPoint(400 - measured.width(), 300 - measured.height()));
    QCOMPARE(WindowProbe::logoPos(w()), QPoint(400 - 40, 300 - 20));
    const QRect drawn = WindowProbe::textExtent(w());
    QCOMPARE(drawn.size(), measured.size());
    QCOMPARE(drawn.topLeft(), WindowProbe::textPos(w()));

    // Second run: against the first result's size and the extent it drew.
    WindowProbe::composeStamp(w());
    QCOMPARE(WindowProbe::textPos(w()), QPoint(200 - drawn.width(), 150 - drawn.height()));
    QCOMPARE(WindowProbe::logoPos(w()), QPoint(160, 130));
    QCOMPARE(WindowProbe::stampedImage(w()).pixel(199, 149), QRgb(0xffff00ff));

    // A font change alone does not renew the extent: the next run still
    // places by the text as last drawn, and only then draws the new size.
    const QRect before = WindowProbe::textExtent(w());
    WindowProbe::textFont(w()) = QFont(QStringLiteral("DejaVu Sans"), 30);
    WindowProbe::composeStamp(w());
    QCOMPARE(WindowProbe::textPos(w()), QPoint(200 - before.width(), 150 - before.height()));
    QVERIFY(WindowProbe::textExtent(w()).height() > before.height());
}

void ComposeTest::opacityAndScaleOfTheLogo()
{
    const QImage picture = solid(400, 300, 0xff000000);
    WindowProbe::logoImage(w()) = solid(300, 100, 0xffff0000);
    ui->scale_spin->setValue(0.5);
    ui->logoOpacitySpin->setValue(50);
    loadPicture(picture);

    const QImage &stamped = WindowProbe::stampedImage(w());
    // Drawn 150 x 50 at the top left, half opaque over black.
    const QRgb inside = stamped.pixel(149, 49);
    QVERIFY2(qAbs(qRed(inside) - 128) <= 1, qPrintable(QString::number(inside, 16)));
    QCOMPARE(qGreen(inside), 0);
    QCOMPARE(stamped.pixel(0, 0), inside);
    QCOMPARE(stamped.pixel(150, 0), QRgb(0xff000000));
    QCOMPARE(stamped.pixel(0, 50), QRgb(0xff000000));

    // The watermark opacity control at 0 hides the text but still measures it.
    ui->wtrmark_edit->setText(QStringLiteral("Invisible"));
    ui->watermarkOpacitySpin->setValue(0);
    WindowProbe::composeStamp(w());
    QCOMPARE(WindowProbe::stampedImage(w()).pixel(200, 10), QRgb(0xff000000));
    QCOMPARE(WindowProbe::textExtent(w()).size(),
        boundingOf(picture, QStringLiteral("Invisible"), font, Qt::white).size());
}

void ComposeTest::scalingModeOfTheWindowIsUsed()
{
    const QImage picture = ramps(301, 211);
    ui->resize_check->setChecked(true);
    ui->aspect_check->setChecked(false);
    ui->width_spin->setValue(123);
    ui->height_spin->setValue(77);
    for (Qt::TransformationMode mode : { Qt::FastTransformation, Qt::SmoothTransformation }) {
        WindowProbe::transformMode(w()) = mode;
        loadPicture(picture);
        const QImage expected = picture.scaled(123, 77, Qt::IgnoreAspectRatio, mode);
        QCOMPARE(WindowProbe::stampedImage(w()), expected);
    }
}

void ComposeTest::noPictureEmptiesTheResult()
{
    ui->wtrmark_edit->setText(QStringLiteral("Kept"));
    loadPicture(ramps(120, 80));
    const QPoint textPos = WindowProbe::textPos(w());
    const QRect extent = WindowProbe::textExtent(w());
    QVERIFY(!WindowProbe::stampedImage(w()).isNull());

    // The list lost its selection: the next composition gives nothing and
    // the one after that keeps the placement state as it was.
    WindowProbe::sourceImage(w()) = QImage();
    ui->txt_x_spin->setValue(33);
    QVERIFY(WindowProbe::stampedImage(w()).isNull());
    ui->txt_x_spin->setValue(44);
    QVERIFY(WindowProbe::stampedImage(w()).isNull());
    QCOMPARE(WindowProbe::textExtent(w()), extent);
    QCOMPARE(WindowProbe::textPos(w()), textPos + QPoint(33, 0));
}

TARVELO_TEST_MAIN(ComposeTest)
#include "tst_compose.moc"
