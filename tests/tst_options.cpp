// The option controls: paired spin boxes and sliders, anchors and their
// offsets, the resize controls, the compression read-out, the results log,
// and the logo, colour and font pickers driven through their real dialogs.

#include <QColorDialog>
#include <QFontDialog>
#include <QTemporaryDir>
#include <QtTest>

#include "testsupport.h"

using namespace TestSupport;

namespace {

const QString logoFilter = QStringLiteral("Images (*.bmp *.gif *.jpeg *.jpg *.jp2 *.png *.webp "
                                          "*.pgm *.pbm *.ppm *.xbm *.xpm *.tiff *.tif)");

// A point on a check box's indicator: the box may be stretched wider than
// its caption, and only the indicator and caption take clicks.
void clickBox(QAbstractButton *box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

double valueOf(QObject *control)
{
    return control->property("value").toDouble();
}

} // namespace

class OptionsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void pairsAndOffsets_data();
    void pairsAndOffsets();
    void typedScaleStaysAsTyped_data();
    void typedScaleStaysAsTyped();
    void anchorResetsOwnOffsets_data();
    void anchorResetsOwnOffsets();
    void checkedAnchorClickedAgainKeepsOffsets();
    void resetButtons_data();
    void resetButtons();
    void resizeControls();
    void heightAgainstShadow_data();
    void heightAgainstShadow();
    void compressionReadout();
    void clearLog();
    void logoPicker();
    void colourPicker();
    void fontPicker();

private:
    void pickLogo(const QString &path);

    std::unique_ptr<MainWindow> window;
    Ui::MainWindow *ui = nullptr;
    std::unique_ptr<RefreshCounter> refreshes;
    QTemporaryDir dir;
};

void OptionsTest::initTestCase()
{
    // Typed numbers use a decimal point whatever the machine's locale.
    QLocale::setDefault(QLocale::c());
    QVERIFY(dir.isValid());
}

void OptionsTest::init()
{
    window = plainWindow();
    ui = WindowProbe::ui(*window);
    ui->fit_radio->setChecked(true);
    refreshes = std::make_unique<RefreshCounter>(*window);
}

void OptionsTest::cleanup()
{
    refreshes.reset();
    window.reset();
}

void OptionsTest::pickLogo(const QString &path)
{
    Modals modals;
    modals.file(path);
    press(ui->browse_logo_btn);
    QCOMPARE(modals.unexpected, 0);
}

void OptionsTest::pairsAndOffsets_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("key");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("partner"); // "" for none
    QTest::addColumn<double>("partnerValue");
    QTest::addColumn<int>("compositions"); // -1: at least one
    // clang-format off
    QTest::newRow("shadow spin") << "shadow_spin" << int(Qt::Key_Up) << 1.0 << "shadow_slider" << 1.0 << 1;
    QTest::newRow("shadow slider") << "shadow_slider" << int(Qt::Key_Right) << 1.0 << "shadow_spin" << 1.0 << 1;
    QTest::newRow("scale spin") << "scale_spin" << int(Qt::Key_Up) << 1.1 << "scale_slider" << 110.0 << 1;
    QTest::newRow("scale slider") << "scale_slider" << int(Qt::Key_Right) << 101.0 << "scale_spin" << 1.01 << 1;
    QTest::newRow("logo opacity spin") << "logoOpacitySpin" << int(Qt::Key_Down) << 99.0 << "logoOpacitySlider" << 99.0 << -1;
    QTest::newRow("logo opacity slider") << "logoOpacitySlider" << int(Qt::Key_Left) << 99.0 << "logoOpacitySpin" << 99.0 << -1;
    QTest::newRow("watermark opacity spin") << "watermarkOpacitySpin" << int(Qt::Key_Down) << 99.0 << "watermarkOpacitySlider" << 99.0 << -1;
    QTest::newRow("watermark opacity slider") << "watermarkOpacitySlider" << int(Qt::Key_Left) << 99.0 << "watermarkOpacitySpin" << 99.0 << -1;
    for (const char *offset : { "x_spin", "y_spin", "txt_x_spin", "txt_y_spin" })
        QTest::newRow(offset) << offset << int(Qt::Key_Up) << 1.0 << "" << 0.0 << 1;
    // clang-format on
}

// One keyboard step changes a control once; its partner follows and the
// picture is composed.
void OptionsTest::pairsAndOffsets()
{
    QFETCH(QString, control);
    QFETCH(int, key);
    QFETCH(double, value);
    QFETCH(QString, partner);
    QFETCH(double, partnerValue);
    QFETCH(int, compositions);
    loadPicture(*window, solid(200, 100, Qt::gray));
    refreshes->count = 0;
    auto *from = window->findChild<QWidget *>(control);
    QTest::keyClick(from, Qt::Key(key));
    QCOMPARE(valueOf(from), value);
    if (!partner.isEmpty())
        QCOMPARE(valueOf(window->findChild<QWidget *>(partner)), partnerValue);
    if (compositions < 0)
        QVERIFY(refreshes->count >= 1);
    else
        QCOMPARE(refreshes->count, compositions);
}

void OptionsTest::typedScaleStaysAsTyped_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("factor");
    QTest::addColumn<int>("position");
    QTest::newRow("2.5") << "2.5" << 2.5 << 250;
    // Just below 29 and 57 in binary.
    QTest::newRow("0.29") << "0.29" << 0.29 << 29;
    QTest::newRow("0.57") << "0.57" << 0.57 << 57;
}

void OptionsTest::typedScaleStaysAsTyped()
{
    QFETCH(QString, typed);
    QFETCH(double, factor);
    QFETCH(int, position);
    ui->scale_spin->selectAll();
    QTest::keyClicks(ui->scale_spin, typed);
    QTest::keyClick(ui->scale_spin, Qt::Key_Return);
    QCOMPARE(ui->scale_spin->value(), factor);
    QCOMPARE(ui->scale_slider->value(), position);
}

void OptionsTest::anchorResetsOwnOffsets_data()
{
    QTest::addColumn<bool>("logo");
    QTest::addColumn<QString>("anchor");
    for (const char *anchor :
        { "topleft", "top", "topright", "left", "center", "right", "botleft", "bot", "botright" }) {
        QTest::addRow("logo %s", anchor) << true << QString(anchor);
        QTest::addRow("text %s", anchor) << false << QString(anchor);
    }
}

void OptionsTest::anchorResetsOwnOffsets()
{
    QFETCH(bool, logo);
    QFETCH(QString, anchor);
    const QString prefix = logo ? "logo_" : "txt_";
    auto *start = window->findChild<QRadioButton *>(
        prefix + (anchor == "center" ? "topleft" : "center") + "_btn");
    auto *button = window->findChild<QRadioButton *>(prefix + anchor + "_btn");
    start->setChecked(true);
    ui->x_spin->setValue(5);
    ui->y_spin->setValue(6);
    ui->txt_x_spin->setValue(7);
    ui->txt_y_spin->setValue(8);
    refreshes->count = 0;

    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(button->isChecked() && !start->isChecked());
    QCOMPARE(QPoint(ui->x_spin->value(), ui->y_spin->value()), logo ? QPoint(0, 0) : QPoint(5, 6));
    QCOMPARE(QPoint(ui->txt_x_spin->value(), ui->txt_y_spin->value()),
        logo ? QPoint(7, 8) : QPoint(0, 0));
    // The button switched off and the one switched on both run the reset and
    // a composition: two offsets reset, then one composition each.
    QCOMPARE(refreshes->count, 4);
}

void OptionsTest::checkedAnchorClickedAgainKeepsOffsets()
{
    ui->x_spin->setValue(5);
    refreshes->count = 0;
    QTest::mouseClick(ui->logo_topleft_btn, Qt::LeftButton);
    QVERIFY(ui->logo_topleft_btn->isChecked());
    QCOMPARE(ui->x_spin->value(), 5);
    QCOMPARE(refreshes->count, 0);
}

void OptionsTest::resetButtons_data()
{
    QTest::addColumn<bool>("logo");
    QTest::newRow("logo reset") << true;
    QTest::newRow("text reset") << false;
}

void OptionsTest::resetButtons()
{
    QFETCH(bool, logo);
    ui->x_spin->setValue(-40);
    ui->y_spin->setValue(300);
    ui->txt_x_spin->setValue(12);
    ui->txt_y_spin->setValue(-9);
    refreshes->count = 0;
    // The buttons act as the mouse button goes down.
    QTest::mousePress(logo ? ui->reset_logo_btn : ui->rst_txt_pos_btn, Qt::LeftButton);
    QCOMPARE(
        QPoint(ui->x_spin->value(), ui->y_spin->value()), logo ? QPoint(0, 0) : QPoint(-40, 300));
    QCOMPARE(QPoint(ui->txt_x_spin->value(), ui->txt_y_spin->value()),
        logo ? QPoint(12, -9) : QPoint(0, 0));
    QCOMPARE(refreshes->count, 2);
    QTest::mouseRelease(logo ? ui->reset_logo_btn : ui->rst_txt_pos_btn, Qt::LeftButton);
}

// The size controls compose twice: only the second pass places logo and
// text against the new size.
void OptionsTest::resizeControls()
{
    for (bool on : { true, false }) {
        refreshes->count = 0;
        clickBox(ui->resize_check);
        QCOMPARE(ui->resize_check->isChecked(), on);
        QCOMPARE(ui->width_spin->isEnabled(), on);
        QCOMPARE(ui->height_spin->isEnabled(), on);
        QCOMPARE(ui->aspect_check->isEnabled(), on);
        QCOMPARE(refreshes->count, 2);
    }
    ui->resize_check->setChecked(true);
    refreshes->count = 0;
    QTest::keyClick(ui->width_spin, Qt::Key_Down);
    QCOMPARE(ui->width_spin->value(), 1919);
    QCOMPARE(refreshes->count, 2);
    clickBox(ui->aspect_check);
    QVERIFY(ui->aspect_check->isChecked());
    QCOMPARE(refreshes->count, 4);

    // At its lower end the width box cannot go below 10: nothing changes.
    ui->width_spin->setValue(10);
    refreshes->count = 0;
    QTest::keyClick(ui->width_spin, Qt::Key_Down);
    QCOMPARE(ui->width_spin->value(), 10);
    QCOMPARE(refreshes->count, 0);
}

void OptionsTest::heightAgainstShadow_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("compositions");
    QTest::newRow("equal to the bar") << 300 << 0;
    QTest::newRow("one above the bar") << 301 << 2;
}

void OptionsTest::heightAgainstShadow()
{
    QFETCH(int, height);
    QFETCH(int, compositions);
    ui->resize_check->setChecked(true);
    ui->shadow_spin->setValue(300);
    refreshes->count = 0;
    ui->height_spin->setValue(height);
    QCOMPARE(refreshes->count, compositions);
}

void OptionsTest::compressionReadout()
{
    QCOMPARE(ui->comp_label->text(), QStringLiteral("90%"));
    for (int value : { 1, 100 }) {
        ui->comp_slider->setValue(value);
        QCOMPARE(ui->comp_label->text(), QString::number(value) + '%');
    }
    QCOMPARE(refreshes->count, 0);
}

void OptionsTest::clearLog()
{
    ui->log_plain->appendPlainText(QStringLiteral("first line"));
    ui->log_plain->appendHtml(QStringLiteral("<b>second</b> line"));
    QTest::mousePress(ui->clear_log_btn, Qt::LeftButton);
    QCOMPARE(ui->log_plain->toPlainText(), QString());
    QCOMPARE(ui->log_plain->document()->blockCount(), 1);
    QTest::mouseRelease(ui->clear_log_btn, Qt::LeftButton);
}

void OptionsTest::logoPicker()
{
    loadPicture(*window, solid(400, 300, Qt::darkGray));
    const QString path = dir.filePath("logo.png");
    QVERIFY(solid(60, 30, Qt::red).save(path));
    refreshes->count = 0;
    {
        Modals modals;
        modals.file(path);
        press(ui->browse_logo_btn);
        QCOMPARE(modals.seen.size(), 1);
        QCOMPARE(modals.seen[0].className, QStringLiteral("QFileDialog"));
        QCOMPARE(modals.seen[0].title, QStringLiteral("Open Logo"));
        QCOMPARE(modals.seen[0].nameFilters, QStringList { logoFilter });
    }
    QCOMPARE(WindowProbe::logoFileName(*window), path);
    QCOMPARE(WindowProbe::logoImage(*window).size(), QSize(60, 30));
    const QPixmap thumbnail = ui->logo_label->pixmap(Qt::ReturnByValue);
    QCOMPARE(thumbnail.size(),
        QSize(60, 30).scaled(ui->logo_label->size() - QSize(2, 2), Qt::KeepAspectRatio));
    QCOMPARE(thumbnail.toImage().pixel(thumbnail.width() / 2, thumbnail.height() / 2),
        QColor(Qt::red).rgb());
    QCOMPARE(refreshes->count, 1);
    // Anchored top left with offsets 0, scale 1.
    const QImage stamped = WindowProbe::stampedImage(*window);
    QCOMPARE(stamped.pixel(59, 29), QColor(Qt::red).rgb());
    QCOMPARE(stamped.pixel(60, 15), QColor(Qt::darkGray).rgb());

    // A cancelled dialog keeps everything.
    const qint64 logoKey = WindowProbe::logoImage(*window).cacheKey();
    refreshes->count = 0;
    pickLogo(QString());
    QCOMPARE(WindowProbe::logoFileName(*window), path);
    QCOMPARE(WindowProbe::logoImage(*window).cacheKey(), logoKey);
    QCOMPARE(ui->logo_label->pixmap(Qt::ReturnByValue).cacheKey(), thumbnail.cacheKey());
    QCOMPARE(refreshes->count, 0);

    // A file that is no picture is taken by name and gives no logo; the
    // thumbnail only ever shows a logo that could be read.
    const QString bad = dir.filePath("notapicture.png");
    QVERIFY(writeFile(bad, "this is not a picture\n"));
    pickLogo(bad);
    QCOMPARE(WindowProbe::logoFileName(*window), bad);
    QVERIFY(WindowProbe::logoImage(*window).isNull());
    QCOMPARE(ui->logo_label->pixmap(Qt::ReturnByValue).cacheKey(), thumbnail.cacheKey());

    // Clear empties name, logo and thumbnail.
    pickLogo(path);
    refreshes->count = 0;
    press(ui->clear_logo_btn);
    QCOMPARE(WindowProbe::logoFileName(*window), QString());
    QVERIFY(WindowProbe::logoImage(*window).isNull());
    QVERIFY(ui->logo_label->pixmap(Qt::ReturnByValue).isNull());
    QCOMPARE(refreshes->count, 1);
    QCOMPARE(WindowProbe::stampedImage(*window).pixel(59, 29), QColor(Qt::darkGray).rgb());
}

void OptionsTest::colourPicker()
{
    loadPicture(*window, solid(600, 200, Qt::darkGray));
    WindowProbe::textFont(*window) = QFont(QStringLiteral("DejaVu Sans"), 40, QFont::Bold);
    WindowProbe::textColor(*window) = QColor(0x12, 0x34, 0x56);
    ui->wtrmark_edit->setText(QStringLiteral("HHHH"));
    const auto reddish = [this]() {
        const QImage image = WindowProbe::stampedImage(*window);
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                count += qRed(image.pixel(x, y)) > 200 && qGreen(image.pixel(x, y)) < 60
                    && qBlue(image.pixel(x, y)) < 60;
        return count;
    };
    QCOMPARE(reddish(), 0);

    // Cancelled: the colour stays, nothing is composed.
    QColor initial;
    bool alphaOffered = true;
    const auto answer = [&](const QColor &choice) {
        Modals modals;
        modals.any([&](QWidget *modal) {
            auto *dialog = qobject_cast<QColorDialog *>(modal);
            if (!dialog)
                return false;
            initial = dialog->currentColor();
            alphaOffered = dialog->testOption(QColorDialog::ShowAlphaChannel);
            dialog->setCurrentColor(choice);
            choice.isValid() ? dialog->accept() : dialog->reject();
            return true;
        });
        refreshes->count = 0;
        press(ui->font_color_btn);
        QCOMPARE(modals.seen.size(), 1);
    };
    answer(QColor());
    QCOMPARE(WindowProbe::textColor(*window), QColor(0x12, 0x34, 0x56));
    QCOMPARE(refreshes->count, 0);

    // It starts from white, not from the current colour, and offers no alpha.
    answer(QColor(Qt::red));
    QCOMPARE(initial, QColor(Qt::white));
    QVERIFY(!alphaOffered);
    QCOMPARE(WindowProbe::textColor(*window), QColor(Qt::red));
    QCOMPARE(ui->font_pr_label->styleSheet(), QStringLiteral("color: #ffff0000"));
    QVERIFY(reddish() > 200);
}

void OptionsTest::fontPicker()
{
    loadPicture(*window, solid(600, 200, Qt::darkGray));
    WindowProbe::textFont(*window) = QFont(QStringLiteral("DejaVu Sans"), 24);
    ui->wtrmark_edit->setText(QStringLiteral("Tarvelo"));
    const QImage before = WindowProbe::stampedImage(*window);
    QFont initial;
    const auto answer = [&](bool accept) {
        Modals modals;
        modals.any([&](QWidget *modal) {
            auto *dialog = qobject_cast<QFontDialog *>(modal);
            if (!dialog)
                return false;
            initial = dialog->currentFont();
            dialog->setCurrentFont(QFont(QStringLiteral("DejaVu Serif"), 40));
            accept ? dialog->accept() : dialog->reject();
            return true;
        });
        press(ui->font_btn);
        QCOMPARE(modals.seen.size(), 1);
        QCOMPARE(modals.seen[0].className, QStringLiteral("QFontDialog"));
        QCOMPARE(initial.family(), QStringLiteral("DejaVu Sans"));
        QCOMPARE(initial.pointSize(), 24);
    };
    // A cancelled dialog keeps the font, and the picture as it was.
    answer(false);
    QCOMPARE(WindowProbe::textFont(*window).family(), QStringLiteral("DejaVu Sans"));
    QCOMPARE(WindowProbe::textFont(*window).pointSize(), 24);
    QCOMPARE(WindowProbe::stampedImage(*window), before);

    answer(true);
    QCOMPARE(WindowProbe::textFont(*window).family(), QStringLiteral("DejaVu Serif"));
    QCOMPARE(WindowProbe::textFont(*window).pointSize(), 40);
    QCOMPARE(ui->font_pr_label->font().family(), QStringLiteral("DejaVu Serif"));
    QCOMPARE(ui->font_pr_label->font().pointSize(), 40);
}

TARVELO_TEST_MAIN(OptionsTest)
#include "tst_options.moc"
