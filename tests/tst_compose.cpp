// The window's compositions: composeStamp reads the form's controls, keeps
// the placement state between runs, and the second of two compositions
// places logo and text against the first one's picture and text extent.

#include <QtTest>

#include "testsupport.h"

using namespace TestSupport;

namespace {
const char *const anchorNames[]
    = { "topleft", "top", "topright", "left", "center", "right", "botleft", "bot", "botright" };
} // namespace

class ComposeTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { window.reset(); }
    void barFollowsTheControls_data();
    void barFollowsTheControls();
    void controlsReachTheEngine_data();
    void controlsReachTheEngine();
    void scalingModeOfTheWindowIsUsed();
    void noPictureEmptiesTheResult();

private:
    std::unique_ptr<MainWindow> window;
    Ui::MainWindow *ui = nullptr;
    QImage &stamped() { return WindowProbe::stampedImage(*window); }
};

void ComposeTest::init()
{
    window = plainWindow(false);
    ui = WindowProbe::ui(*window);
}

void ComposeTest::barFollowsTheControls_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("edge"); // "": both edge buttons unchecked
    QTest::addColumn<QString>("tone"); // "": both tone buttons unchecked
    QTest::newRow("5 rows light at the top") << 5 << "top_radio"
                                             << "light_radio";
    QTest::newRow("12 rows dark at the bottom") << 12 << "bottom_radio"
                                                << "dark_radio";
    QTest::newRow("taller than the picture") << 70 << "bottom_radio"
                                             << "light_radio";
    // Restored options can leave a group with nothing checked: no bar then.
    QTest::newRow("no edge checked") << 12 << ""
                                     << "dark_radio";
    QTest::newRow("no tone checked") << 12 << "top_radio"
                                     << "";
}

void ComposeTest::barFollowsTheControls()
{
    QFETCH(int, rows);
    QFETCH(QString, edge);
    QFETCH(QString, tone);
    const QImage picture = photoLike(90, 60);
    loadPicture(*window, picture);
    QCOMPARE(stamped(), PictureIO::toArgb32(picture));

    // Each change recomposes through the controls' own handlers.
    for (QRadioButton *radio :
        { ui->top_radio, ui->bottom_radio, ui->light_radio, ui->dark_radio }) {
        radio->setAutoExclusive(false);
        radio->setChecked(radio->objectName() == edge || radio->objectName() == tone);
    }
    ui->shadow_spin->setValue(rows);

    const bool top = edge == "top_radio", light = tone == "light_radio";
    const int first = edge.isEmpty() || tone.isEmpty() ? 60 : top ? 0 : qMax(0, 60 - rows);
    const int last = top ? qMin(rows, 60) - 1 : 59;
    QCOMPARE(stamped().size(), picture.size());
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 90; x += 7) {
            const QColor original = picture.pixelColor(x, y);
            const QColor expected = y < first || y > last ? original
                : light                                   ? original.lighter(200)
                                                          : original.darker(200);
            QCOMPARE(stamped().pixel(x, y), expected.rgba());
        }
}

void ComposeTest::controlsReachTheEngine_data()
{
    QTest::addColumn<int>("text"); // anchor, 0 to 8 in reading order
    QTest::addColumn<int>("logo");
    for (int i = 0; i < 9; ++i)
        QTest::addRow("text %s, logo %s", anchorNames[i], anchorNames[8 - i]) << i << 8 - i;
}

// Every control reaches the engine: the window's two compositions of a new
// picture equal the engine's own, run with the values the test set.
void ComposeTest::controlsReachTheEngine()
{
    QFETCH(int, text);
    QFETCH(int, logo);
    const QImage source = PictureIO::toArgb32(photoLike(500, 400));
    const QImage logoPicture = solid(100, 50, QColor(0, 255, 0, 200));
    const QColor colour(250, 200, 10);
    WindowProbe::logoImage(*window) = logoPicture;
    WindowProbe::textColor(*window) = colour;
    ui->wtrmark_edit->setText(QStringLiteral(" Anchored "));
    // Choosing an anchor zeroes its offsets, so the offsets come after.
    window->findChild<QRadioButton *>(QStringLiteral("txt_%1_btn").arg(anchorNames[text]))
        ->setChecked(true);
    ui->txt_x_spin->setValue(7);
    ui->txt_y_spin->setValue(-3);
    window->findChild<QRadioButton *>(QStringLiteral("logo_%1_btn").arg(anchorNames[logo]))
        ->setChecked(true);
    ui->x_spin->setValue(-10);
    ui->y_spin->setValue(-5);
    ui->scale_spin->setValue(1.5);
    ui->logoOpacitySpin->setValue(60);
    ui->watermarkOpacitySpin->setValue(35);
    ui->top_radio->setChecked(true);
    ui->light_radio->setChecked(true);
    ui->shadow_spin->setValue(30);
    ui->resize_check->setChecked(true);
    ui->aspect_check->setChecked(true);
    ui->width_spin->setValue(450);
    ui->height_spin->setValue(300);
    loadPicture(*window, source);

    StampOptions o;
    o.resizeEnabled = o.keepAspectRatio = true;
    o.resizeWidth = 450;
    o.resizeHeight = 300;
    o.shadowHeight = 30;
    o.shadowEdge = ShadowEdge::Top;
    o.shadowTone = ShadowTone::Light;
    o.watermarkText = QStringLiteral(" Anchored ");
    o.textOpacity = 35;
    o.textAnchor = Anchor(text + 1);
    o.textOffsetX = 7;
    o.textOffsetY = -3;
    o.logoScale = 1.5;
    o.logoOpacity = 60;
    o.logoAnchor = Anchor(logo + 1);
    o.logoOffsetX = -10;
    o.logoOffsetY = -5;
    Stamp::Composition c { source.copy(), {}, {}, {} };
    for (int round = 0; round < 2; ++round)
        c = Stamp::compose(source, c.image, c.textExtent, o, WindowProbe::textFont(*window), colour,
            logoPicture, Qt::FastTransformation, c.textPos, c.logoPos);
    QCOMPARE(WindowProbe::textPos(*window), c.textPos);
    QCOMPARE(WindowProbe::logoPos(*window), c.logoPos);
    QCOMPARE(WindowProbe::textExtent(*window), c.textExtent);
    QCOMPARE(stamped(), c.image);
    QCOMPARE(stamped().size(), QSize(375, 300));
}

void ComposeTest::scalingModeOfTheWindowIsUsed()
{
    const QImage picture = PictureIO::toArgb32(photoLike(301, 211));
    ui->resize_check->setChecked(true);
    ui->aspect_check->setChecked(false);
    ui->width_spin->setValue(123);
    ui->height_spin->setValue(77);
    for (Qt::TransformationMode mode : { Qt::FastTransformation, Qt::SmoothTransformation }) {
        WindowProbe::transformMode(*window) = mode;
        loadPicture(*window, picture);
        QCOMPARE(stamped(), picture.scaled(123, 77, Qt::IgnoreAspectRatio, mode));
    }
}

void ComposeTest::noPictureEmptiesTheResult()
{
    ui->wtrmark_edit->setText(QStringLiteral("Kept"));
    loadPicture(*window, photoLike(120, 80));
    const QPoint textPos = WindowProbe::textPos(*window);
    const QRect extent = WindowProbe::textExtent(*window);
    QVERIFY(!stamped().isNull());

    // The list lost its selection: the next composition gives nothing and
    // the one after that keeps the placement state as it was.
    WindowProbe::sourceImage(*window) = QImage();
    ui->txt_x_spin->setValue(33);
    QVERIFY(stamped().isNull());
    ui->txt_x_spin->setValue(44);
    QVERIFY(stamped().isNull());
    QCOMPARE(WindowProbe::textExtent(*window), extent);
    QCOMPARE(WindowProbe::textPos(*window), textPos + QPoint(33, 0));
}

TARVELO_TEST_MAIN(ComposeTest)
#include "tst_compose.moc"
