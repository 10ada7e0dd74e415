// The option controls: paired spin boxes and sliders, anchors and their
// offsets, the resize controls, the compression read-out, the results log,
// and the logo, colour and font pickers driven through their real dialogs.

#include <QCheckBox>
#include <QColorDialog>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "mainwindow.h"
#include "pictureio.h"
#include "previewmath.h"
#include "testsupport.h"
#include "ui_mainwindow.h"
#include "windowprobe.h"

namespace {

// Counts refreshes of the view: every refresh gives the font sample its
// style sheet again, which the toolkit answers with a StyleChange event
// (checked by the calibration test). Every composition ends with one refresh.
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

QImage solid(int width, int height, QColor color)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

// A point on a check box's indicator: the box may be stretched wider than
// its caption, and only the indicator and caption take clicks.
QPoint boxPoint(QWidget *box)
{
    return QPoint(6, box->height() / 2);
}

const char *const anchorNames[]
    = { "topleft", "top", "topright", "left", "center", "right", "botleft", "bot", "botright" };

const QString logoFilter = QStringLiteral(
    "Images (*.bmp *.gif *.jpeg *.jpg *.jp2 *.png *.webp *.pgm *.pbm *.ppm *.xbm *.xpm *.tiff "
    "*.tif)");

// What a picker dialog showed before the test answered it.
struct SeenDialog
{
    bool seen = false;
    QString className;
    QString title;
    QStringList nameFilters;
    QColor initialColor;
    bool alphaOffered = true;
    QFont initialFont;
};

} // namespace

class OptionsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void scaleConversion_data();
    void scaleConversion();
    void refreshCounterCalibration();

    void pairsFollowEachOther_data();
    void pairsFollowEachOther();
    void pairsComposeOncePerStep_data();
    void pairsComposeOncePerStep();
    void typedScaleStaysAsTyped_data();
    void typedScaleStaysAsTyped();
    void offsetsCompose_data();
    void offsetsCompose();

    void anchorResetsOwnOffsets_data();
    void anchorResetsOwnOffsets();
    void checkedAnchorClickedAgainKeepsOffsets();
    void resetButtons_data();
    void resetButtons();

    void resizeCheckSwitchesSizeControls();
    void sizeControlsComposeTwice();
    void heightAgainstShadow_data();
    void heightAgainstShadow();
    void compressionReadout_data();
    void compressionReadout();
    void clearLog();

    void logoPickerLoadsLogo();
    void logoPickerCancelKeepsLogo();
    void logoPickerUnreadableFile();
    void clearLogoRemovesIt();

    void colourPicker();
    void colourPickerCancelKeepsColour();
    void colourReachesStampedText();
    void fontPicker();
    void fontPickerCancelKeepsFontAndPreview();

private:
    void loadPicture(const QImage &picture);
    std::shared_ptr<SeenDialog> answerLogoDialog(const QString &path);
    QString writeLogo(const QString &name, QColor color, QSize size);

    std::unique_ptr<MainWindow> window;
    Ui::MainWindow *ui = nullptr;
    RefreshCounter refreshes;
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
    // Every window starts from an empty store, whatever the last one saved.
    QSettings(QStringLiteral("Dovrin Halsek"), QStringLiteral("Tarvelo")).clear();

    window = std::make_unique<MainWindow>();
    ui = WindowProbe::ui(*window);

    // A known starting point whatever the stored defaults are. The resize
    // box goes through both states so that its slot settles the size
    // controls whatever state it started in.
    ui->resize_check->setChecked(true);
    ui->resize_check->setChecked(false);
    ui->x_spin->setValue(0);
    ui->y_spin->setValue(0);
    ui->txt_x_spin->setValue(0);
    ui->txt_y_spin->setValue(0);
    ui->shadow_spin->setValue(12);
    ui->width_spin->setValue(1920);
    ui->height_spin->setValue(1920);
    ui->fit_radio->setChecked(true);

    window->resize(1400, 900);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));

    refreshes.count = 0;
    ui->font_pr_label->installEventFilter(&refreshes);
}

void OptionsTest::cleanup()
{
    window.reset();
    ui = nullptr;
}

void OptionsTest::loadPicture(const QImage &picture)
{
    WindowProbe::sourceImage(*window) = PictureIO::toArgb32(picture);
    WindowProbe::stampedImage(*window) = WindowProbe::sourceImage(*window).copy();
    WindowProbe::composeStamp(*window);
    WindowProbe::composeStamp(*window);
    refreshes.count = 0;
}

QString OptionsTest::writeLogo(const QString &name, QColor color, QSize size)
{
    const QString path = dir.filePath(name);
    if (!solid(size.width(), size.height(), color).save(path))
        return QString();
    return path;
}

// Records what the logo dialog offers, then types `path` into it (an empty
// path cancels it).
std::shared_ptr<SeenDialog> OptionsTest::answerLogoDialog(const QString &path)
{
    auto seen = std::make_shared<SeenDialog>();
    TestSupport::onNextModal([seen, path](QWidget *modal) {
        seen->seen = true;
        seen->className = QString::fromLatin1(modal->metaObject()->className());
        seen->title = modal->windowTitle();
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog) {
            modal->close();
            return;
        }
        seen->nameFilters = dialog->nameFilters();
        auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (path.isEmpty() || !edit) {
            dialog->reject();
            return;
        }
        edit->setText(path);
        QTest::keyClick(edit, Qt::Key_Return);
    });
    return seen;
}

// ---- the scale pair's arithmetic ----

void OptionsTest::scaleConversion_data()
{
    QTest::addColumn<double>("factor");
    QTest::addColumn<int>("position");

    QTest::newRow("one") << 1.0 << 100;
    QTest::newRow("2.5") << 2.5 << 250;
    QTest::newRow("0.29 just below 29 in binary") << 0.29 << 29;
    QTest::newRow("0.57 just below 57 in binary") << 0.57 << 57;
    QTest::newRow("smallest") << 0.01 << 1;
    QTest::newRow("largest") << 10.0 << 1000;
}

void OptionsTest::scaleConversion()
{
    QFETCH(double, factor);
    QFETCH(int, position);
    QCOMPARE(PreviewMath::scaleToSlider(factor), position);
    QCOMPARE(PreviewMath::sliderToScale(position), factor);
}

void OptionsTest::refreshCounterCalibration()
{
    WindowProbe::refreshView(*window);
    QCOMPARE(refreshes.count, 1);
    WindowProbe::composeStamp(*window);
    QCOMPARE(refreshes.count, 2);
}

// ---- pairs ----

void OptionsTest::pairsFollowEachOther_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("partner");
    QTest::addColumn<double>("partnerValue");

    QTest::newRow("shadow slider") << "shadow_slider" << 40.0 << "shadow_spin" << 40.0;
    QTest::newRow("shadow spin") << "shadow_spin" << 55.0 << "shadow_slider" << 55.0;
    QTest::newRow("scale spin") << "scale_spin" << 2.5 << "scale_slider" << 250.0;
    QTest::newRow("scale slider") << "scale_slider" << 37.0 << "scale_spin" << 0.37;
    QTest::newRow("logo opacity spin") << "logoOpacitySpin" << 40.0 << "logoOpacitySlider" << 40.0;
    QTest::newRow("logo opacity slider")
        << "logoOpacitySlider" << 60.0 << "logoOpacitySpin" << 60.0;
    QTest::newRow("watermark opacity spin")
        << "watermarkOpacitySpin" << 30.0 << "watermarkOpacitySlider" << 30.0;
    QTest::newRow("watermark opacity slider")
        << "watermarkOpacitySlider" << 70.0 << "watermarkOpacitySpin" << 70.0;
}

namespace {

double valueOf(QWidget *widget)
{
    if (auto *spin = qobject_cast<QSpinBox *>(widget))
        return spin->value();
    if (auto *spin = qobject_cast<QDoubleSpinBox *>(widget))
        return spin->value();
    if (auto *slider = qobject_cast<QSlider *>(widget))
        return slider->value();
    return -1;
}

void setValueOf(QWidget *widget, double value)
{
    if (auto *spin = qobject_cast<QSpinBox *>(widget))
        spin->setValue(qRound(value));
    else if (auto *spin = qobject_cast<QDoubleSpinBox *>(widget))
        spin->setValue(value);
    else if (auto *slider = qobject_cast<QSlider *>(widget))
        slider->setValue(qRound(value));
}

} // namespace

void OptionsTest::pairsFollowEachOther()
{
    QFETCH(QString, source);
    QFETCH(double, value);
    QFETCH(QString, partner);
    QFETCH(double, partnerValue);

    auto *from = window->findChild<QWidget *>(source);
    auto *to = window->findChild<QWidget *>(partner);
    QVERIFY(from && to);
    setValueOf(from, value);
    QCOMPARE(valueOf(from), value);
    QCOMPARE(valueOf(to), partnerValue);
    QVERIFY(refreshes.count >= 1);
}

void OptionsTest::pairsComposeOncePerStep_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("partner");
    QTest::addColumn<double>("partnerValue");

    QTest::newRow("shadow spin up") << "shadow_spin" << int(Qt::Key_Up) << "shadow_slider" << 13.0;
    QTest::newRow("shadow slider right")
        << "shadow_slider" << int(Qt::Key_Right) << "shadow_spin" << 13.0;
    QTest::newRow("scale spin up") << "scale_spin" << int(Qt::Key_Up) << "scale_slider" << 110.0;
    QTest::newRow("scale slider right")
        << "scale_slider" << int(Qt::Key_Right) << "scale_spin" << 1.01;
}

// One keyboard step changes a control once; the pair settles and the
// picture is composed once.
void OptionsTest::pairsComposeOncePerStep()
{
    QFETCH(QString, source);
    QFETCH(int, key);
    QFETCH(QString, partner);
    QFETCH(double, partnerValue);

    loadPicture(solid(200, 100, Qt::gray));
    auto *from = window->findChild<QWidget *>(source);
    auto *to = window->findChild<QWidget *>(partner);
    QVERIFY(from && to);
    QTest::keyClick(from, Qt::Key(key));
    QCOMPARE(valueOf(to), partnerValue);
    QCOMPARE(refreshes.count, 1);
}

void OptionsTest::typedScaleStaysAsTyped_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("factor");
    QTest::addColumn<int>("position");

    QTest::newRow("2.5") << "2.5" << 2.5 << 250;
    QTest::newRow("0.29") << "0.29" << 0.29 << 29;
    QTest::newRow("0.57") << "0.57" << 0.57 << 57;
    QTest::newRow("largest") << "10" << 10.0 << 1000;
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

void OptionsTest::offsetsCompose_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("x_spin") << "x_spin";
    QTest::newRow("y_spin") << "y_spin";
    QTest::newRow("txt_x_spin") << "txt_x_spin";
    QTest::newRow("txt_y_spin") << "txt_y_spin";
}

void OptionsTest::offsetsCompose()
{
    QFETCH(QString, name);
    auto *spin = window->findChild<QSpinBox *>(name);
    QVERIFY(spin);
    QTest::keyClick(spin, Qt::Key_Up);
    QCOMPARE(spin->value(), 1);
    QCOMPARE(refreshes.count, 1);
}

// ---- anchors and offsets ----

void OptionsTest::anchorResetsOwnOffsets_data()
{
    QTest::addColumn<bool>("logo");
    QTest::addColumn<QString>("anchor");
    for (const char *anchor : anchorNames) {
        QTest::addRow("logo %s", anchor) << true << QString::fromLatin1(anchor);
        QTest::addRow("text %s", anchor) << false << QString::fromLatin1(anchor);
    }
}

void OptionsTest::anchorResetsOwnOffsets()
{
    QFETCH(bool, logo);
    QFETCH(QString, anchor);

    const QString prefix = logo ? QStringLiteral("logo_") : QStringLiteral("txt_");
    const QString start
        = anchor == QLatin1String("center") ? QStringLiteral("topleft") : QStringLiteral("center");
    auto *startButton = window->findChild<QRadioButton *>(prefix + start + QStringLiteral("_btn"));
    auto *button = window->findChild<QRadioButton *>(prefix + anchor + QStringLiteral("_btn"));
    QVERIFY(startButton && button);
    startButton->setChecked(true);

    ui->x_spin->setValue(5);
    ui->y_spin->setValue(6);
    ui->txt_x_spin->setValue(7);
    ui->txt_y_spin->setValue(8);
    refreshes.count = 0;

    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(button->isChecked());
    QVERIFY(!startButton->isChecked());
    if (logo) {
        QCOMPARE(ui->x_spin->value(), 0);
        QCOMPARE(ui->y_spin->value(), 0);
        QCOMPARE(ui->txt_x_spin->value(), 7);
        QCOMPARE(ui->txt_y_spin->value(), 8);
    } else {
        QCOMPARE(ui->x_spin->value(), 5);
        QCOMPARE(ui->y_spin->value(), 6);
        QCOMPARE(ui->txt_x_spin->value(), 0);
        QCOMPARE(ui->txt_y_spin->value(), 0);
    }
    // The button switched off and the one switched on both run the reset and
    // a composition: two offsets reset, then one composition each.
    QCOMPARE(refreshes.count, 4);
}

void OptionsTest::checkedAnchorClickedAgainKeepsOffsets()
{
    QVERIFY(ui->logo_topleft_btn->isChecked());
    ui->x_spin->setValue(5);
    ui->y_spin->setValue(6);
    refreshes.count = 0;
    QTest::mouseClick(ui->logo_topleft_btn, Qt::LeftButton);
    QVERIFY(ui->logo_topleft_btn->isChecked());
    QCOMPARE(ui->x_spin->value(), 5);
    QCOMPARE(ui->y_spin->value(), 6);
    QCOMPARE(refreshes.count, 0);
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
    refreshes.count = 0;

    // The buttons act as the mouse button goes down.
    QTest::mousePress(logo ? ui->reset_logo_btn : ui->rst_txt_pos_btn, Qt::LeftButton);
    QCOMPARE(ui->x_spin->value(), logo ? 0 : -40);
    QCOMPARE(ui->y_spin->value(), logo ? 0 : 300);
    QCOMPARE(ui->txt_x_spin->value(), logo ? 12 : 0);
    QCOMPARE(ui->txt_y_spin->value(), logo ? -9 : 0);
    QCOMPARE(refreshes.count, 2);
    QTest::mouseRelease(logo ? ui->reset_logo_btn : ui->rst_txt_pos_btn, Qt::LeftButton);
}

// ---- resize, height, compression, log ----

void OptionsTest::resizeCheckSwitchesSizeControls()
{
    QVERIFY(!ui->resize_check->isChecked());
    QVERIFY(!ui->width_spin->isEnabled());
    QVERIFY(!ui->height_spin->isEnabled());
    QVERIFY(!ui->aspect_check->isEnabled());

    QTest::mouseClick(ui->resize_check, Qt::LeftButton, {}, boxPoint(ui->resize_check));
    QVERIFY(ui->resize_check->isChecked());
    QVERIFY(ui->width_spin->isEnabled());
    QVERIFY(ui->height_spin->isEnabled());
    QVERIFY(ui->aspect_check->isEnabled());
    QCOMPARE(refreshes.count, 2);

    QTest::mouseClick(ui->resize_check, Qt::LeftButton, {}, boxPoint(ui->resize_check));
    QVERIFY(!ui->resize_check->isChecked());
    QVERIFY(!ui->width_spin->isEnabled());
    QVERIFY(!ui->height_spin->isEnabled());
    QVERIFY(!ui->aspect_check->isEnabled());
    QCOMPARE(refreshes.count, 4);
}

void OptionsTest::sizeControlsComposeTwice()
{
    ui->resize_check->setChecked(true);
    refreshes.count = 0;

    QTest::keyClick(ui->width_spin, Qt::Key_Down);
    QCOMPARE(ui->width_spin->value(), 1919);
    QCOMPARE(refreshes.count, 2);

    QTest::mouseClick(ui->aspect_check, Qt::LeftButton, {}, boxPoint(ui->aspect_check));
    QVERIFY(ui->aspect_check->isChecked());
    QCOMPARE(refreshes.count, 4);

    // At its lower end the width box cannot go below 10: nothing changes.
    ui->width_spin->setValue(10);
    refreshes.count = 0;
    QTest::keyClick(ui->width_spin, Qt::Key_Down);
    QCOMPARE(ui->width_spin->value(), 10);
    QCOMPARE(refreshes.count, 0);
}

void OptionsTest::heightAgainstShadow_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("compositions");

    QTest::newRow("equal to the bar") << 300 << 0;
    QTest::newRow("below the bar") << 299 << 0;
    QTest::newRow("lowest") << 10 << 0;
    QTest::newRow("one above the bar") << 301 << 2;
    QTest::newRow("well above") << 1000 << 2;
}

void OptionsTest::heightAgainstShadow()
{
    QFETCH(int, height);
    QFETCH(int, compositions);

    ui->resize_check->setChecked(true);
    ui->shadow_spin->setValue(300);
    refreshes.count = 0;
    ui->height_spin->setValue(height);
    QCOMPARE(ui->height_spin->value(), height);
    QCOMPARE(refreshes.count, compositions);
}

void OptionsTest::compressionReadout_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("75") << 75 << "75%";
    QTest::newRow("lowest") << 1 << "1%";
    QTest::newRow("highest") << 100 << "100%";
}

void OptionsTest::compressionReadout()
{
    QFETCH(int, value);
    QFETCH(QString, text);
    QCOMPARE(ui->comp_label->text(), QStringLiteral("90%"));
    ui->comp_slider->setValue(value);
    QCOMPARE(ui->comp_label->text(), text);
    QCOMPARE(refreshes.count, 0);
}

void OptionsTest::clearLog()
{
    ui->log_plain->appendPlainText(QStringLiteral("first line"));
    ui->log_plain->appendHtml(QStringLiteral("<b>second</b> line"));
    QVERIFY(!ui->log_plain->toPlainText().isEmpty());
    QTest::mousePress(ui->clear_log_btn, Qt::LeftButton);
    QCOMPARE(ui->log_plain->toPlainText(), QString());
    QCOMPARE(ui->log_plain->document()->blockCount(), 1);
    QTest::mouseRelease(ui->clear_log_btn, Qt::LeftButton);
}

// ---- logo picker ----

void OptionsTest::logoPickerLoadsLogo()
{
    loadPicture(solid(400, 300, Qt::darkGray));
    ui->wtrmark_edit->clear();
    ui->shadow_spin->setValue(0);
    const QString path = writeLogo(QStringLiteral("logo.png"), Qt::red, QSize(60, 30));
    QVERIFY(!path.isEmpty());
    refreshes.count = 0;

    auto seen = answerLogoDialog(path);
    QTest::mousePress(ui->browse_logo_btn, Qt::LeftButton);
    QVERIFY(seen->seen);
    QCOMPARE(seen->className, QStringLiteral("QFileDialog"));
    QCOMPARE(seen->title, QStringLiteral("Open Logo"));
    QCOMPARE(seen->nameFilters, QStringList { logoFilter });

    QCOMPARE(WindowProbe::logoFileName(*window), path);
    QCOMPARE(WindowProbe::logoImage(*window).size(), QSize(60, 30));
    const QPixmap thumbnail = ui->logo_label->pixmap(Qt::ReturnByValue);
    QCOMPARE(thumbnail.size(),
        QSize(60, 30).scaled(ui->logo_label->size() - QSize(2, 2), Qt::KeepAspectRatio));
    QCOMPARE(thumbnail.toImage().pixel(thumbnail.width() / 2, thumbnail.height() / 2),
        QColor(Qt::red).rgb());
    QCOMPARE(refreshes.count, 1);

    // Anchored top left with offsets 0, scale 1.
    const QImage stamped
        = WindowProbe::stampedImage(*window).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(stamped.pixel(30, 15), QColor(Qt::red).rgb());
    QCOMPARE(stamped.pixel(59, 29), QColor(Qt::red).rgb());
    QCOMPARE(stamped.pixel(60, 15), QColor(Qt::darkGray).rgb());
    QTest::mouseRelease(ui->browse_logo_btn, Qt::LeftButton);
}

void OptionsTest::logoPickerCancelKeepsLogo()
{
    const QString path = writeLogo(QStringLiteral("kept.png"), Qt::blue, QSize(40, 40));
    QVERIFY(!path.isEmpty());
    answerLogoDialog(path);
    QTest::mousePress(ui->browse_logo_btn, Qt::LeftButton);
    QTest::mouseRelease(ui->browse_logo_btn, Qt::LeftButton);
    QCOMPARE(WindowProbe::logoFileName(*window), path);
    const qint64 logoKey = WindowProbe::logoImage(*window).cacheKey();
    const qint64 thumbnailKey = ui->logo_label->pixmap(Qt::ReturnByValue).cacheKey();
    QVERIFY(!WindowProbe::logoImage(*window).isNull());
    refreshes.count = 0;

    auto seen = answerLogoDialog(QString());
    QTest::mousePress(ui->browse_logo_btn, Qt::LeftButton);
    QVERIFY(seen->seen);
    QCOMPARE(WindowProbe::logoFileName(*window), path);
    QCOMPARE(WindowProbe::logoImage(*window).cacheKey(), logoKey);
    QCOMPARE(ui->logo_label->pixmap(Qt::ReturnByValue).cacheKey(), thumbnailKey);
    QCOMPARE(refreshes.count, 0);
    QTest::mouseRelease(ui->browse_logo_btn, Qt::LeftButton);
}

void OptionsTest::logoPickerUnreadableFile()
{
    const QString good = writeLogo(QStringLiteral("good.png"), Qt::blue, QSize(40, 40));
    QVERIFY(!good.isEmpty());
    answerLogoDialog(good);
    QTest::mousePress(ui->browse_logo_btn, Qt::LeftButton);
    QTest::mouseRelease(ui->browse_logo_btn, Qt::LeftButton);
    const qint64 thumbnailKey = ui->logo_label->pixmap(Qt::ReturnByValue).cacheKey();

    const QString bad = dir.filePath(QStringLiteral("notapicture.png"));
    {
        QFile file(bad);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("this is not a picture\n");
    }
    auto seen = answerLogoDialog(bad);
    QTest::mousePress(ui->browse_logo_btn, Qt::LeftButton);
    QVERIFY(seen->seen);
    QCOMPARE(WindowProbe::logoFileName(*window), bad);
    QVERIFY(WindowProbe::logoImage(*window).isNull());
    // The thumbnail only ever shows a logo that could be read.
    QCOMPARE(ui->logo_label->pixmap(Qt::ReturnByValue).cacheKey(), thumbnailKey);
    QTest::mouseRelease(ui->browse_logo_btn, Qt::LeftButton);
}

void OptionsTest::clearLogoRemovesIt()
{
    loadPicture(solid(400, 300, Qt::darkGray));
    ui->wtrmark_edit->clear();
    ui->shadow_spin->setValue(0);
    const QString path = writeLogo(QStringLiteral("cleared.png"), Qt::red, QSize(60, 30));
    answerLogoDialog(path);
    QTest::mousePress(ui->browse_logo_btn, Qt::LeftButton);
    QTest::mouseRelease(ui->browse_logo_btn, Qt::LeftButton);
    QVERIFY(!ui->logo_label->pixmap(Qt::ReturnByValue).isNull());
    refreshes.count = 0;

    QTest::mousePress(ui->clear_logo_btn, Qt::LeftButton);
    QCOMPARE(WindowProbe::logoFileName(*window), QString());
    QVERIFY(WindowProbe::logoImage(*window).isNull());
    QVERIFY(ui->logo_label->pixmap(Qt::ReturnByValue).isNull());
    QCOMPARE(ui->logo_label->text(), QString());
    QCOMPARE(refreshes.count, 1);
    const QImage stamped
        = WindowProbe::stampedImage(*window).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(stamped.pixel(30, 15), QColor(Qt::darkGray).rgb());
    QTest::mouseRelease(ui->clear_logo_btn, Qt::LeftButton);
}

// ---- colour and font pickers ----

namespace {

std::shared_ptr<SeenDialog> answerColourDialog(const QColor &choice)
{
    auto seen = std::make_shared<SeenDialog>();
    TestSupport::onNextModal([seen, choice](QWidget *modal) {
        seen->seen = true;
        seen->className = QString::fromLatin1(modal->metaObject()->className());
        seen->title = modal->windowTitle();
        auto *dialog = qobject_cast<QColorDialog *>(modal);
        if (!dialog) {
            modal->close();
            return;
        }
        seen->initialColor = dialog->currentColor();
        seen->alphaOffered = dialog->testOption(QColorDialog::ShowAlphaChannel);
        if (!choice.isValid()) {
            dialog->reject();
            return;
        }
        dialog->setCurrentColor(choice);
        dialog->accept();
    });
    return seen;
}

std::shared_ptr<SeenDialog> answerFontDialog(const QFont &choice, bool accept)
{
    auto seen = std::make_shared<SeenDialog>();
    TestSupport::onNextModal([seen, choice, accept](QWidget *modal) {
        seen->seen = true;
        seen->className = QString::fromLatin1(modal->metaObject()->className());
        auto *dialog = qobject_cast<QFontDialog *>(modal);
        if (!dialog) {
            modal->close();
            return;
        }
        seen->initialFont = dialog->currentFont();
        dialog->setCurrentFont(choice);
        if (accept)
            dialog->accept();
        else
            dialog->reject();
    });
    return seen;
}

} // namespace

void OptionsTest::colourPicker()
{
    // No picture: the font sample follows all the same.
    WindowProbe::textColor(*window) = QColor(Qt::green);
    WindowProbe::refreshView(*window);

    auto seen = answerColourDialog(QColor(Qt::red));
    QTest::mousePress(ui->font_color_btn, Qt::LeftButton);
    QVERIFY(seen->seen);
    QCOMPARE(seen->className, QStringLiteral("QColorDialog"));
    // It starts from white, not from the current colour, and offers no alpha.
    QCOMPARE(seen->initialColor, QColor(Qt::white));
    QVERIFY(!seen->alphaOffered);
    QCOMPARE(WindowProbe::textColor(*window), QColor(Qt::red));
    QCOMPARE(ui->font_pr_label->styleSheet(), QStringLiteral("color: #ffff0000"));
    QTest::mouseRelease(ui->font_color_btn, Qt::LeftButton);
}

void OptionsTest::colourPickerCancelKeepsColour()
{
    WindowProbe::textColor(*window) = QColor(0x12, 0x34, 0x56);
    WindowProbe::refreshView(*window);
    refreshes.count = 0;

    auto seen = answerColourDialog(QColor());
    QTest::mousePress(ui->font_color_btn, Qt::LeftButton);
    QVERIFY(seen->seen);
    QCOMPARE(WindowProbe::textColor(*window), QColor(0x12, 0x34, 0x56));
    QCOMPARE(ui->font_pr_label->styleSheet(), QStringLiteral("color: #ff123456"));
    QCOMPARE(refreshes.count, 0);
    QTest::mouseRelease(ui->font_color_btn, Qt::LeftButton);
}

void OptionsTest::colourReachesStampedText()
{
    loadPicture(solid(600, 200, Qt::darkGray));
    ui->shadow_spin->setValue(0);
    WindowProbe::textFont(*window) = QFont(QStringLiteral("DejaVu Sans"), 40, QFont::Bold);
    WindowProbe::textColor(*window) = Qt::white;
    ui->wtrmark_edit->setText(QStringLiteral("HHHH"));

    const auto reddish = [this]() {
        const QImage image
            = WindowProbe::stampedImage(*window).convertToFormat(QImage::Format_ARGB32);
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb pixel = image.pixel(x, y);
                if (qRed(pixel) > 200 && qGreen(pixel) < 60 && qBlue(pixel) < 60)
                    ++count;
            }
        return count;
    };
    QCOMPARE(reddish(), 0);

    answerColourDialog(QColor(Qt::red));
    QTest::mousePress(ui->font_color_btn, Qt::LeftButton);
    QTest::mouseRelease(ui->font_color_btn, Qt::LeftButton);
    QVERIFY(reddish() > 200);
}

void OptionsTest::fontPicker()
{
    const QFont start(QStringLiteral("DejaVu Sans"), 11);
    WindowProbe::textFont(*window) = start;

    auto seen = answerFontDialog(QFont(QStringLiteral("DejaVu Serif"), 20), true);
    QTest::mousePress(ui->font_btn, Qt::LeftButton);
    QVERIFY(seen->seen);
    QCOMPARE(seen->className, QStringLiteral("QFontDialog"));
    QCOMPARE(seen->initialFont.family(), start.family());
    QCOMPARE(seen->initialFont.pointSize(), 11);

    QCOMPARE(WindowProbe::textFont(*window).family(), QStringLiteral("DejaVu Serif"));
    QCOMPARE(WindowProbe::textFont(*window).pointSize(), 20);
    QCOMPARE(ui->font_pr_label->font().family(), QStringLiteral("DejaVu Serif"));
    QCOMPARE(ui->font_pr_label->font().pointSize(), 20);
    QTest::mouseRelease(ui->font_btn, Qt::LeftButton);
}

void OptionsTest::fontPickerCancelKeepsFontAndPreview()
{
    loadPicture(solid(600, 200, Qt::darkGray));
    WindowProbe::textFont(*window) = QFont(QStringLiteral("DejaVu Sans"), 24);
    ui->wtrmark_edit->setText(QStringLiteral("Tarvelo"));
    WindowProbe::composeStamp(*window);
    const QImage before = WindowProbe::stampedImage(*window);

    auto seen = answerFontDialog(QFont(QStringLiteral("DejaVu Serif"), 40), false);
    QTest::mousePress(ui->font_btn, Qt::LeftButton);
    QVERIFY(seen->seen);
    QCOMPARE(WindowProbe::textFont(*window).family(), QStringLiteral("DejaVu Sans"));
    QCOMPARE(WindowProbe::textFont(*window).pointSize(), 24);
    QCOMPARE(ui->font_pr_label->font().pointSize(), 24);
    QCOMPARE(WindowProbe::stampedImage(*window), before);
    QTest::mouseRelease(ui->font_btn, Qt::LeftButton);
}

TARVELO_TEST_MAIN(OptionsTest)
#include "tst_options.moc"
