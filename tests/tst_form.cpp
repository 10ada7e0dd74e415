// The form and the window shell: every control the rest of the program and
// the stored settings rely on exists under its name and type, with its
// design-time values, status tips, icons and focus order; the window comes up
// titled, with its icon, and asks before it closes.

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMetaMethod>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QtTest>

#include "mainwindow.h"
#include "testsupport.h"
#include "ui_mainwindow.h"

namespace {

QStringList capturedMessages;
QtMessageHandler previousHandler = nullptr;

void captureMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    capturedMessages << message;
    if (previousHandler)
        previousHandler(type, context, message);
}

const char *const anchorNames[] = {"topleft", "top", "topright", "left", "center",
                                   "right", "botleft", "bot", "botright"};

} // namespace

class FormTest : public QObject
{
    Q_OBJECT

private slots:
    void objectsExistWithType_data();
    void objectsExistWithType();
    void designTimeValues_data();
    void designTimeValues();
    void statusTips_data();
    void statusTips();
    void captions_data();
    void captions();
    void iconsLoad_data();
    void iconsLoad();
    void anchorGrids();
    void focusChain();
    void settingsTabIsCurrent();
    void windowShell();
    void slotTable();
    void everySlotIsBoundByName();
    void statusBarShowsTips();
    void exitConfirmation_data();
    void exitConfirmation();
};

void FormTest::objectsExistWithType_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("type");

    const QList<QPair<QString, QString>> objects = {
        {"centralWidget", "QWidget"}, {"main_tab", "QTabWidget"}, {"tab_8", "QWidget"},
        {"tab_9", "QWidget"}, {"tab", "QWidget"}, {"prog_bar", "QProgressBar"},
        {"groupBox_2", "QGroupBox"}, {"statusBar", "QStatusBar"},
        {"settings_scroll", "QScrollArea"}, {"scrollAreaWidgetContents", "QWidget"},
        {"label_8", "QLabel"}, {"groupBox_6", "QGroupBox"}, {"top_radio", "QRadioButton"},
        {"bottom_radio", "QRadioButton"}, {"groupBox_7", "QGroupBox"},
        {"light_radio", "QRadioButton"}, {"dark_radio", "QRadioButton"}, {"label", "QLabel"},
        {"shadow_spin", "QSpinBox"}, {"shadow_slider", "QSlider"}, {"line_10", "QFrame"},
        {"label_9", "QLabel"}, {"groupBox", "QGroupBox"}, {"font_pr_label", "QLabel"},
        {"font_btn", "QPushButton"}, {"font_color_btn", "QPushButton"},
        {"groupBox_9", "QGroupBox"}, {"wtrmark_edit", "QLineEdit"},
        {"groupBox_11", "QGroupBox"}, {"groupBox_4", "QGroupBox"},
        {"rst_txt_pos_btn", "QPushButton"}, {"x_label", "QLabel"}, {"y_label", "QLabel"},
        {"txt_x_spin", "QSpinBox"}, {"txt_y_spin", "QSpinBox"}, {"groupBox_16", "QGroupBox"},
        {"watermarkOpacitySpin", "QSpinBox"}, {"watermarkOpacitySlider", "QSlider"},
        {"line_5", "QFrame"}, {"label_2", "QLabel"}, {"groupBox_8", "QGroupBox"},
        {"logo_label", "QLabel"}, {"browse_logo_btn", "QPushButton"},
        {"clear_logo_btn", "QPushButton"}, {"groupBox_12", "QGroupBox"},
        {"groupBox_13", "QGroupBox"}, {"reset_logo_btn", "QPushButton"},
        {"label_3", "QLabel"}, {"label_4", "QLabel"}, {"x_spin", "QSpinBox"},
        {"y_spin", "QSpinBox"}, {"groupBox_14", "QGroupBox"}, {"scale_spin", "QDoubleSpinBox"},
        {"scale_slider", "QSlider"}, {"groupBox_15", "QGroupBox"},
        {"logoOpacitySpin", "QSpinBox"}, {"logoOpacitySlider", "QSlider"},
        {"line_4", "QFrame"}, {"label_10", "QLabel"}, {"resize_check", "QCheckBox"},
        {"label_5", "QLabel"}, {"width_spin", "QSpinBox"}, {"label_6", "QLabel"},
        {"height_spin", "QSpinBox"}, {"aspect_check", "QCheckBox"}, {"line_3", "QFrame"},
        {"label_11", "QLabel"}, {"groupBox_3", "QGroupBox"}, {"outjpg_radio", "QRadioButton"},
        {"outpng_radio", "QRadioButton"}, {"outtif_radio", "QRadioButton"},
        {"compression_label", "QPushButton"}, {"comp_slider", "QSlider"},
        {"comp_label", "QLabel"}, {"log_plain", "QPlainTextEdit"},
        {"clear_log_btn", "QPushButton"}, {"scrollArea", "QScrollArea"},
        {"scrollAreaWidgetContents_3", "QWidget"}, {"label_7", "QLabel"},
        {"credits_btn", "QPushButton"}, {"actual_radio", "QRadioButton"},
        {"fit_radio", "QRadioButton"}, {"smooth_check", "QCheckBox"},
        {"image_scroll", "QScrollArea"}, {"image_scroll_contents", "QWidget"},
        {"groupBox_5", "QGroupBox"}, {"open_btn", "QPushButton"},
        {"remove_btn", "QPushButton"}, {"clear_btn", "QPushButton"}, {"line_2", "QFrame"},
        {"line", "QFrame"}, {"start_btn", "QPushButton"}, {"groupBox_10", "QGroupBox"},
        {"scrollArea_2", "QScrollArea"}, {"scrollAreaWidgetContents_2", "QWidget"},
        {"files_list", "QListWidget"},
    };
    for (const auto &object : objects)
        QTest::newRow(qPrintable(object.first)) << object.first << object.second;
    for (const char *prefix : {"txt_", "logo_"})
        for (const char *anchor : anchorNames) {
            const QString name = QString::fromLatin1(prefix) + QLatin1String(anchor) + "_btn";
            QTest::newRow(qPrintable(name)) << name << QStringLiteral("QRadioButton");
        }
}

void FormTest::objectsExistWithType()
{
    QFETCH(QString, name);
    QFETCH(QString, type);
    QMainWindow host;
    Ui::MainWindow form;
    form.setupUi(&host);
    QObject *object = host.findChild<QObject *>(name);
    QVERIFY2(object, qPrintable("missing " + name));
    QCOMPARE(QString::fromLatin1(object->metaObject()->className()), type);
    QCOMPARE(host.findChildren<QObject *>(name).size(), 1);
}

// Values the form holds right after set-up, before stored options apply.
void FormTest::designTimeValues_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<double>("value");

    QTest::newRow("shadow_spin") << "shadow_spin" << 0.0 << 1000.0 << 12.0;
    QTest::newRow("shadow_slider") << "shadow_slider" << 0.0 << 1000.0 << 12.0;
    QTest::newRow("txt_x_spin") << "txt_x_spin" << -9999.0 << 9999.0 << 0.0;
    QTest::newRow("txt_y_spin") << "txt_y_spin" << -9999.0 << 9999.0 << 0.0;
    QTest::newRow("watermarkOpacitySpin") << "watermarkOpacitySpin" << 0.0 << 100.0 << 100.0;
    QTest::newRow("watermarkOpacitySlider") << "watermarkOpacitySlider" << 0.0 << 100.0 << 100.0;
    QTest::newRow("x_spin") << "x_spin" << -99999.0 << 999999.0 << 0.0;
    QTest::newRow("y_spin") << "y_spin" << -99999.0 << 999999.0 << 0.0;
    QTest::newRow("scale_spin") << "scale_spin" << 0.01 << 10.0 << 1.0;
    QTest::newRow("scale_slider") << "scale_slider" << 1.0 << 1000.0 << 100.0;
    QTest::newRow("logoOpacitySpin") << "logoOpacitySpin" << 0.0 << 100.0 << 100.0;
    QTest::newRow("logoOpacitySlider") << "logoOpacitySlider" << 0.0 << 100.0 << 100.0;
    QTest::newRow("width_spin") << "width_spin" << 10.0 << 99999.0 << 1920.0;
    QTest::newRow("height_spin") << "height_spin" << 10.0 << 99999.0 << 1920.0;
    QTest::newRow("comp_slider") << "comp_slider" << 1.0 << 100.0 << 90.0;
    QTest::newRow("prog_bar") << "prog_bar" << 0.0 << 100.0 << 0.0;
}

void FormTest::designTimeValues()
{
    QFETCH(QString, name);
    QFETCH(double, minimum);
    QFETCH(double, maximum);
    QFETCH(double, value);
    QMainWindow host;
    Ui::MainWindow form;
    form.setupUi(&host);
    QObject *object = host.findChild<QObject *>(name);
    QVERIFY(object);
    QCOMPARE(object->property("minimum").toDouble(), minimum);
    QCOMPARE(object->property("maximum").toDouble(), maximum);
    QCOMPARE(object->property("value").toDouble(), value);

    // Typed values beyond the range are clamped by the control itself.
    if (auto *spin = qobject_cast<QSpinBox *>(object)) {
        spin->setValue(int(maximum) + 1);
        QCOMPARE(spin->value(), int(maximum));
        spin->setValue(int(minimum) - 1);
        QCOMPARE(spin->value(), int(minimum));
    }
    if (auto *spin = qobject_cast<QDoubleSpinBox *>(object)) {
        QCOMPARE(spin->decimals(), 2);
        QCOMPARE(spin->singleStep(), 0.1);
        spin->setValue(12.0);
        QCOMPARE(spin->value(), 10.0);
        spin->setValue(0.0);
        QCOMPARE(spin->value(), 0.01);
    }
}

void FormTest::statusTips_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("tip");
    const QList<QPair<QString, QString>> tips = {
        {"top_radio", "Move the shadow bar to the Top of the picure."},
        {"bottom_radio", "Move the shadow bar to the Bottom of the picure."},
        {"light_radio", "Set shadow bar type to Light mode."},
        {"dark_radio", "Set shadow bar type to Dark mode."},
        {"shadow_spin", "Shadow bar height in pixels. Set this to 0 (Zero) to have no shadow bars at all."},
        {"shadow_slider", "Shadow bar height in pixels. Set this to 0 (Zero) to have no shadow bars at all."},
        {"font_btn", "Open font settings for watermark text."},
        {"font_color_btn", "Open font color settings for watermark text."},
        {"font_pr_label", "Selected font preview."},
        {"wtrmark_edit", "Watermark text shoeld be entered here. Or you can leave it empty if you don't need it."},
        {"groupBox_11", "Align watermark text to center, top, bottom, left or right corner of the picture, then set offset positions."},
        {"txt_x_spin", "Depending on the watermark align settings, this value is the horizontal distance from the selected align point."},
        {"txt_y_spin", "Depending on the watermark align settings, this value is the vertical distance from the selected align point."},
        {"rst_txt_pos_btn", "Use this if watermark is out of place or misconfigured in any way."},
        {"groupBox_16", "Set opacity value to a value between 0 and 100. (The lower the opacity value, the more transparent your watermark will be.)"},
        {"logo_label", "Preview selected logo image."},
        {"browse_logo_btn", "Browse your computer and select and image to use as logo."},
        {"clear_logo_btn", "Remove selected logo. (Won't delete logo file from your computer.)"},
        {"groupBox_12", "Align logo image to center, top, bottom, left or right corner of the picture, then set offset positions."},
        {"x_spin", "Depending on the logo align settings, this value is the horizontal distance from the selected align point."},
        {"y_spin", "Depending on the logo align settings, this value is the vertical distance from the selected align point."},
        {"reset_logo_btn", "Use this if logo is out of place or misconfigured in any way."},
        {"groupBox_14", "Set logo scale here. Original width and height  of logo will be multiplied by this value."},
        {"groupBox_15", "Set logo opacity to a value between 0 and 100. (The lower the opacity value, the more transparent your logo will be.)"},
        {"resize_check", "Enable/Disable output picture resize. (Changing resize values might affect logo and watermark positions.)"},
        {"width_spin", "Output picture width in pixels."},
        {"height_spin", "Output picture height in pixels."},
        {"aspect_check", "Keep or ignore aspect ratio. This option helps make sure the output image is fit into the selected width and height in a correct proportion."},
        {"groupBox_3", "Set output images format to JPG, PNG ot TIF."},
        {"comp_slider", "Set JPG compression value. This option won't have any effect if PNG or TIF is selected."},
        {"log_plain", "Results log."},
        {"clear_log_btn", "Clear results log."},
        {"image_scroll", "Preview output image. You can drag and drop watermark text and logo and position it as you like."},
        {"actual_radio", "Switch preview image to its Actual size."},
        {"fit_radio", "Fit image into preview window."},
        {"smooth_check", "Switch preview mode to Hight Quality. Note that this won't affect output image quality."},
        {"open_btn", "Add image files to the list. (These are the images you want to put a logo or watermark on them.)"},
        {"remove_btn", "Remove images from the list. (This won't delete any files from your computer.)"},
        {"clear_btn", "Clear the list of added images. (This won't delete any files from your computer.)"},
        {"start_btn", "Start/Stop Tarvelo. (Press this after you have added some files and configured all of the settings.)"},
        {"files_list", "List of selected (Added) image files. Click on each one of them to view the preview."},
        // Controls without a tip of their own.
        {"txt_center_btn", ""}, {"scale_spin", ""}, {"outjpg_radio", ""}, {"credits_btn", ""},
    };
    for (const auto &tip : tips)
        QTest::newRow(qPrintable(tip.first)) << tip.first << tip.second;
}

void FormTest::statusTips()
{
    QFETCH(QString, name);
    QFETCH(QString, tip);
    QMainWindow host;
    Ui::MainWindow form;
    form.setupUi(&host);
    auto *widget = host.findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(widget->statusTip(), tip);
    QCOMPARE(widget->toolTip(), QString());
}

void FormTest::captions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("checked");
    const QList<std::tuple<QString, QString, bool>> captions = {
        {"top_radio", "Top", false}, {"bottom_radio", "Bottom", true},
        {"light_radio", "Light", false}, {"dark_radio", "Dark", true},
        {"font_btn", " Font", false}, {"font_color_btn", " Color", false},
        {"rst_txt_pos_btn", " Reset", false}, {"reset_logo_btn", " Reset", false},
        {"browse_logo_btn", " Browse", false}, {"clear_logo_btn", " Clear", false},
        {"resize_check", "Enabled", false}, {"aspect_check", "Preserve Aspect Ratio", false},
        {"outjpg_radio", "JPG", true}, {"outpng_radio", "PNG", false},
        {"outtif_radio", "TIF", false}, {"compression_label", "Compression (Only with JPG)", false},
        {"clear_log_btn", " Clear", false}, {"credits_btn", "Credits", false},
        {"actual_radio", "Actual Size", false}, {"fit_radio", "Fit To Screen", true},
        {"smooth_check", "High Quality Preview", false}, {"open_btn", " Add Pictures", false},
        {"remove_btn", " Remove", false}, {"clear_btn", " Clear", false},
        {"start_btn", " Start Stamping", false}, {"txt_center_btn", "C", false},
        {"logo_center_btn", "C", false}, {"txt_topleft_btn", "", true},
        {"logo_topleft_btn", "", true},
    };
    for (const auto &[name, caption, checked] : captions)
        QTest::newRow(qPrintable(name)) << name << caption << checked;
}

void FormTest::captions()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(bool, checked);
    QMainWindow host;
    Ui::MainWindow form;
    form.setupUi(&host);
    auto *button = host.findChild<QAbstractButton *>(name);
    QVERIFY(button);
    QCOMPARE(button->text(), caption);
    QCOMPARE(button->isChecked(), checked);

    QCOMPARE(form.comp_label->text(), QStringLiteral("90%"));
    QCOMPARE(form.font_pr_label->text(), QStringLiteral("ABCD"));
    QCOMPARE(form.groupBox_2->title(), QStringLiteral("Preview"));
    QCOMPARE(form.groupBox_5->title(), QStringLiteral("Pictures"));
    QCOMPARE(form.groupBox_10->title(), QStringLiteral("Files"));
    QCOMPARE(form.groupBox_6->title(), QStringLiteral("Shadow Position"));
    QCOMPARE(form.groupBox_7->title(), QStringLiteral("Shadow Type"));
    QCOMPARE(form.groupBox->title(), QStringLiteral("Font Options (Preview)"));
    QCOMPARE(form.groupBox_9->title(), QStringLiteral("Watermark Text"));
    QCOMPARE(form.groupBox_11->title(), QStringLiteral("Watermark Align"));
    QCOMPARE(form.groupBox_4->title(), QStringLiteral("Watermark Position Offset"));
    QCOMPARE(form.groupBox_16->title(), QStringLiteral("Watermark Opacity"));
    QCOMPARE(form.groupBox_8->title(), QStringLiteral("Logo Preview"));
    QCOMPARE(form.groupBox_12->title(), QStringLiteral("Logo Align"));
    QCOMPARE(form.groupBox_13->title(), QStringLiteral("Logo Position Offset"));
    QCOMPARE(form.groupBox_14->title(), QStringLiteral("Logo Scale"));
    QCOMPARE(form.groupBox_15->title(), QStringLiteral("Logo Opacity"));
    QCOMPARE(form.groupBox_3->title(), QString());
    QCOMPARE(form.label_8->text(), QStringLiteral("Shadow"));
    QCOMPARE(form.label_9->text(), QStringLiteral("Watermark"));
    QCOMPARE(form.label_2->text(), QStringLiteral("Logo"));
    QCOMPARE(form.label_10->text(), QStringLiteral("Resize"));
    QCOMPARE(form.label_11->text(), QStringLiteral("Output Format"));
    QCOMPARE(form.label->text(), QStringLiteral("Shadow Height :"));
    QCOMPARE(form.label_5->text(), QStringLiteral("Width :"));
    QCOMPARE(form.label_6->text(), QStringLiteral("Height :"));
    QCOMPARE(form.x_label->text(), QStringLiteral("X :"));
    QCOMPARE(form.y_label->text(), QStringLiteral("Y :"));
    QCOMPARE(form.label_3->text(), QStringLiteral("X :"));
    QCOMPARE(form.label_4->text(), QStringLiteral("Y :"));
    QCOMPARE(form.main_tab->tabText(0), QStringLiteral("Settings"));
    QCOMPARE(form.main_tab->tabText(1), QStringLiteral("Results"));
    QCOMPARE(form.main_tab->tabText(2), QStringLiteral("Help"));
    QCOMPARE(form.main_tab->widget(1), form.tab_9);
    QVERIFY(form.log_plain->isReadOnly());
    QCOMPARE(form.files_list->editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(form.compression_label->isFlat());
    QCOMPARE(form.compression_label->iconSize(), QSize(32, 32));
    QVERIFY(form.label_7->openExternalLinks());
    QVERIFY(form.label_7->wordWrap());
    QVERIFY(form.label_7->text().contains(QLatin1String("Introduction")));
    QVERIFY(form.label_7->text().contains(QLatin1String("http://" TARVELO_WEBSITE)));
    QCOMPARE(form.wtrmark_edit->text(), QStringLiteral(TARVELO_WEBSITE));
    QVERIFY(form.start_btn->font().bold());
    QVERIFY(form.dark_radio->font().bold());
    QCOMPARE(form.label_8->font().pointSize(), 12);
    QVERIFY(form.label_8->font().bold());
    QCOMPARE(host.size(), QSize(1706, 805));
    QCOMPARE(host.windowTitle(), QStringLiteral("Tarvelo"));
}

void FormTest::iconsLoad_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("resource");
    const QList<QPair<QString, QString>> icons = {
        {"top_radio", "arrow-up.png"}, {"bottom_radio", "arrow-down1.png"},
        {"light_radio", "configuration22.png"}, {"dark_radio", "configuration22.png"},
        {"font_btn", "document4.png"}, {"font_color_btn", "paint4.png"},
        {"rst_txt_pos_btn", "player7.png"}, {"reset_logo_btn", "player7.png"},
        {"browse_logo_btn", "folder47.png"}, {"clear_logo_btn", "wiping16.png"},
        {"compression_label", "jpg11.png"}, {"clear_log_btn", "wiping16.png"},
        {"actual_radio", "size2.png"}, {"fit_radio", "dimensions.png"},
        {"open_btn", "add182.png"}, {"remove_btn", "rounded56.png"},
        {"clear_btn", "wiping16.png"}, {"start_btn", "stamp11.png"},
        {"txt_topleft_btn", "U+2196.svg[1].png"}, {"txt_top_btn", "U+2191.svg[1].png"},
        {"txt_topright_btn", "U+2197.svg[1].png"}, {"txt_left_btn", "U+2190.svg[1].png"},
        {"txt_right_btn", "U+2192.svg[1].png"}, {"txt_botleft_btn", "U+2199.svg[1].png"},
        {"txt_bot_btn", "U+2193.svg[1].png"}, {"txt_botright_btn", "U+2198.svg[1].png"},
        {"logo_topleft_btn", "U+2196.svg[1].png"}, {"logo_botright_btn", "U+2198.svg[1].png"},
        {"window", "icon.png"},
    };
    for (const auto &icon : icons)
        QTest::newRow(qPrintable(icon.first)) << icon.first << icon.second;
}

void FormTest::iconsLoad()
{
    QFETCH(QString, name);
    QFETCH(QString, resource);
    MainWindow window;
    const QImage picture(":/Resources/" + resource);
    QVERIFY2(!picture.isNull(), qPrintable(resource));
    QVERIFY(picture.width() >= 16 && picture.height() >= 16);

    QIcon icon;
    if (name == QLatin1String("window")) {
        QVERIFY(!QImage(QStringLiteral("://Resources/icon.png")).isNull());
        icon = window.windowIcon();
    } else {
        auto *button = window.findChild<QAbstractButton *>(name);
        QVERIFY(button);
        icon = button->icon();
    }
    QVERIFY(!icon.isNull());
    // The button shows the resource's own picture, not a stand-in.
    const QImage shown = icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage expected = QIcon(":/Resources/" + resource).pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(shown, expected);
}

void FormTest::anchorGrids()
{
    QMainWindow host;
    Ui::MainWindow form;
    form.setupUi(&host);
    for (const char *prefix : {"txt_", "logo_"}) {
        auto *box = host.findChild<QGroupBox *>(prefix == QLatin1String("txt_") ? "groupBox_11" : "groupBox_12");
        QVERIFY(box);
        for (const char *anchor : anchorNames) {
            auto *button = host.findChild<QRadioButton *>(QString::fromLatin1(prefix) + QLatin1String(anchor) + "_btn");
            QVERIFY(button);
            QCOMPARE(button->parentWidget(), static_cast<QWidget *>(box));
            QCOMPARE(button->font().pointSize(), 10);
            QVERIFY(button->font().bold());
            QCOMPARE(button->maximumWidth(), 50);
            QCOMPARE(button->iconSize(), QSize(16, 16));
        }
    }
    // Checking an anchor unchecks the rest of its own grid only.
    form.txt_botright_btn->setChecked(true);
    QVERIFY(!form.txt_topleft_btn->isChecked());
    QVERIFY(form.logo_topleft_btn->isChecked());
    form.logo_center_btn->setChecked(true);
    QVERIFY(form.txt_botright_btn->isChecked());
    QVERIFY(!form.logo_topleft_btn->isChecked());
    int checkedLogo = 0;
    for (const char *anchor : anchorNames)
        checkedLogo += host.findChild<QRadioButton *>(QLatin1String("logo_") + QLatin1String(anchor) + "_btn")->isChecked();
    QCOMPARE(checkedLogo, 1);
}

void FormTest::focusChain()
{
    const QStringList chain = {
        "top_radio", "bottom_radio", "light_radio", "dark_radio", "shadow_spin", "shadow_slider",
        "font_btn", "font_color_btn", "wtrmark_edit", "txt_topleft_btn", "txt_top_btn",
        "txt_topright_btn", "txt_left_btn", "txt_center_btn", "txt_right_btn", "txt_botleft_btn",
        "txt_bot_btn", "txt_botright_btn", "rst_txt_pos_btn", "txt_x_spin", "txt_y_spin",
        "watermarkOpacitySpin", "watermarkOpacitySlider", "browse_logo_btn", "clear_logo_btn",
        "logo_topleft_btn", "logo_top_btn", "logo_topright_btn", "logo_left_btn",
        "logo_center_btn", "logo_right_btn", "logo_botleft_btn", "logo_bot_btn",
        "logo_botright_btn", "reset_logo_btn", "x_spin", "y_spin", "scale_spin", "scale_slider",
        "logoOpacitySpin", "logoOpacitySlider", "resize_check", "width_spin", "height_spin",
        "aspect_check", "outjpg_radio", "outpng_radio", "outtif_radio", "compression_label",
        "comp_slider", "actual_radio", "fit_radio", "smooth_check", "open_btn", "remove_btn",
        "clear_btn", "files_list", "start_btn", "log_plain", "clear_log_btn", "scrollArea",
        "credits_btn", "image_scroll", "scrollArea_2", "main_tab", "settings_scroll"};
    QMainWindow host;
    Ui::MainWindow form;
    form.setupUi(&host);

    // Walk the chain as Tab does, from the first stop, and keep the named
    // stops. The tab widget is a compound control (its tab bar takes the
    // focus), so the toolkit files the stop that follows it after the last
    // focusable widget inside it; every other stop keeps the listed order.
    QStringList visited;
    QWidget *first = host.findChild<QWidget *>(chain.first());
    QVERIFY(first);
    QWidget *w = first;
    do {
        if (chain.contains(w->objectName()) && !visited.contains(w->objectName()))
            visited << w->objectName();
        w = w->nextInFocusChain();
    } while (w != first);

    QStringList expected = chain;
    for (const char *compound : {"main_tab", "settings_scroll"}) {
        QVERIFY2(visited.contains(QLatin1String(compound)), compound);
        visited.removeAll(QLatin1String(compound));
        expected.removeAll(QLatin1String(compound));
    }
    QCOMPARE(visited, expected);
    for (const QString &name : chain)
        QVERIFY2(host.findChild<QWidget *>(name)->focusPolicy() & Qt::TabFocus, qPrintable(name));
}

void FormTest::settingsTabIsCurrent()
{
    MainWindow window;
    auto *tabs = window.findChild<QTabWidget *>("main_tab");
    QVERIFY(tabs);
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(tabs->currentWidget()->objectName(), QStringLiteral("tab_8"));
}

void FormTest::windowShell()
{
    MainWindow window;
    QCOMPARE(window.windowTitle(), QStringLiteral("Tarvelo (Version 2.8.0)"));
    QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
    QVERIFY(window.acceptDrops());
    QVERIFY(!window.windowIcon().isNull());
    QVERIFY(window.statusBar());
    QCOMPARE(window.statusBar()->objectName(), QStringLiteral("statusBar"));

    // The preview label sits centred in the preview scroll area's contents.
    auto *contents = window.findChild<QWidget *>("image_scroll_contents");
    QVERIFY(contents);
    auto *grid = qobject_cast<QGridLayout *>(contents->layout());
    QVERIFY(grid);
    QCOMPARE(grid->count(), 1);
    QWidget *label = grid->itemAtPosition(0, 0)->widget();
    QVERIFY(label);
    QCOMPARE(QString::fromLatin1(label->metaObject()->className()), QStringLiteral("QClickableLabel"));
    QCOMPARE(label->parentWidget(), contents);
    QCOMPARE(grid->itemAtPosition(0, 0)->alignment(), Qt::AlignCenter);
    QCOMPARE(grid->contentsMargins(), QMargins(0, 0, 0, 0));
}

// The slot table is the contract between the form's object names and the
// window: sixty slots, in order, and no signals of the window's own.
void FormTest::slotTable()
{
    const QMetaObject &meta = MainWindow::staticMetaObject;
    QStringList names;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        QCOMPARE(method.methodType(), QMetaMethod::Slot);
        names << QString::fromLatin1(method.methodSignature());
    }
    QCOMPARE(names.size(), 60);
    QCOMPARE(names.at(0), QStringLiteral("previewMouseClicked(QMouseEvent*)"));
    QCOMPARE(names.at(3), QStringLiteral("onUpdateAvailable(QString)"));
    QCOMPARE(names.at(4), QStringLiteral("on_browse_logo_btn_pressed()"));
    QCOMPARE(names.at(13), QStringLiteral("on_files_list_currentRowChanged(int)"));
    QCOMPARE(names.at(23), QStringLiteral("on_wtrmark_edit_textChanged(QString)"));
    QCOMPARE(names.at(26), QStringLiteral("on_start_btn_pressed()"));
    QCOMPARE(names.at(38), QStringLiteral("on_txt_topleft_btn_toggled(bool)"));
    QCOMPARE(names.at(55), QStringLiteral("on_logo_botright_btn_toggled(bool)"));
    QCOMPARE(names.at(59), QStringLiteral("on_watermarkOpacitySlider_valueChanged(int)"));
    for (int i = 0; i < 4; ++i)
        QCOMPARE(meta.method(meta.methodOffset() + i).access(), QMetaMethod::Public);
    for (int i = 4; i < 60; ++i)
        QCOMPARE(meta.method(meta.methodOffset() + i).access(), QMetaMethod::Private);
}

// A renamed control would silently lose its slot; the toolkit only warns.
void FormTest::everySlotIsBoundByName()
{
    capturedMessages.clear();
    previousHandler = qInstallMessageHandler(captureMessages);
    {
        MainWindow window;
    }
    qInstallMessageHandler(previousHandler);
    for (const QString &message : qAsConst(capturedMessages))
        QVERIFY2(!message.contains(QLatin1String("connectSlotsByName")), qPrintable(message));
}

void FormTest::statusBarShowsTips()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *start = window.findChild<QWidget *>("start_btn");
    QVERIFY(start);
    QTest::mouseMove(start);
    QStatusTipEvent enter(start->statusTip());
    QApplication::sendEvent(start, &enter);
    QCOMPARE(window.statusBar()->currentMessage(), start->statusTip());
    QStatusTipEvent leave{QString()};
    QApplication::sendEvent(start, &leave);
    QCOMPARE(window.statusBar()->currentMessage(), QString());
}

void FormTest::exitConfirmation_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closes");
    QTest::newRow("yes") << int(QMessageBox::Yes) << true;
    QTest::newRow("no") << int(QMessageBox::No) << false;
    QTest::newRow("escape") << int(QMessageBox::NoButton) << false;
}

void FormTest::exitConfirmation()
{
    QFETCH(int, answer);
    QFETCH(bool, closes);
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *list = window.findChild<QListWidget *>("files_list");
    list->addItem(QStringLiteral("/nowhere/kept.jpg"));

    auto seen = TestSupport::answerNextBox(QMessageBox::StandardButton(answer));
    const bool closed = window.close();
    QVERIFY(seen->seen);
    QCOMPARE(seen->title, QStringLiteral("Confirm"));
    QCOMPARE(seen->text, QStringLiteral("Are you sure you want to exit?"));
    QCOMPARE(seen->icon, QMessageBox::Information);
    QCOMPARE(seen->buttons.size(), 2);
    QVERIFY(seen->buttons.contains(QMessageBox::Yes));
    QVERIFY(seen->buttons.contains(QMessageBox::No));
    QCOMPARE(closed, closes);
    QCOMPARE(window.isVisible(), !closes);
    QCOMPARE(list->count(), 1);
}

TARVELO_TEST_MAIN(FormTest)
#include "tst_form.moc"
