// The form and the window shell: every control the rest of the program and
// the stored settings rely on exists under its name and type, with its
// design-time values, texts, status tips, icons and focus order; the window
// comes up titled, with its icon, and asks before it closes.

#include <QMetaMethod>
#include <QStatusBar>
#include <QtTest>

#include "window/qclickablelabel.h"
#include "config.h"
#include "testsupport.h"

using namespace TestSupport;

namespace {

QStringList capturedMessages;

void captureMessages(QtMsgType, const QMessageLogContext &, const QString &message)
{
    capturedMessages << message;
}

const char *const anchorNames[]
    = { "topleft", "top", "topright", "left", "center", "right", "botleft", "bot", "botright" };

} // namespace

class FormTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void objectsExistWithType_data();
    void objectsExistWithType();
    void properties_data();
    void properties();
    void iconsLoad_data();
    void iconsLoad();
    void formDetails();
    void anchorGrids();
    void focusChain();
    void windowShell();
    void slotTable();
    void everySlotIsBoundByName();
    void exitConfirmation_data();
    void exitConfirmation();

private:
    std::unique_ptr<QMainWindow> host; // the bare form, before any option applies
    Ui::MainWindow form;
};

void FormTest::init()
{
    host = std::make_unique<QMainWindow>();
    form.setupUi(host.get());
}

void FormTest::objectsExistWithType_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("type");
    // clang-format off
    const QList<QPair<QString, QString>> objects = { // type, then the names of that type
        { "QWidget", "centralWidget tab_8 tab_9 tab scrollAreaWidgetContents scrollAreaWidgetContents_3 "
            "image_scroll_contents scrollAreaWidgetContents_2" },
        { "QTabWidget", "main_tab" },
        { "QProgressBar", "prog_bar" },
        { "QGroupBox", "groupBox_2 groupBox_6 groupBox_7 groupBox groupBox_9 groupBox_11 groupBox_4 groupBox_16 "
            "groupBox_8 groupBox_12 groupBox_13 groupBox_14 groupBox_15 groupBox_3 groupBox_5 "
            "groupBox_10" },
        { "QStatusBar", "statusBar" },
        { "QScrollArea", "settings_scroll scrollArea image_scroll scrollArea_2" },
        { "QLabel", "label_8 label label_9 font_pr_label x_label y_label label_2 logo_label label_3 label_4 "
            "label_10 label_5 label_6 label_11 comp_label label_7" },
        { "QRadioButton", "top_radio bottom_radio light_radio dark_radio outjpg_radio outpng_radio outtif_radio "
            "actual_radio fit_radio" },
        { "QSpinBox", "shadow_spin txt_x_spin txt_y_spin watermarkOpacitySpin x_spin y_spin logoOpacitySpin "
            "width_spin height_spin" },
        { "QSlider", "shadow_slider watermarkOpacitySlider scale_slider logoOpacitySlider comp_slider" },
        { "QFrame", "line_10 line_5 line_4 line_3 line_2 line" },
        { "QPushButton", "font_btn font_color_btn rst_txt_pos_btn browse_logo_btn clear_logo_btn reset_logo_btn "
            "compression_label clear_log_btn credits_btn open_btn remove_btn clear_btn start_btn" },
        { "QLineEdit", "wtrmark_edit" },
        { "QDoubleSpinBox", "scale_spin" },
        { "QCheckBox", "resize_check aspect_check smooth_check" },
        { "QPlainTextEdit", "log_plain" },
        { "QListWidget", "files_list" },
    };
    // clang-format on
    for (const auto &group : objects)
        for (const QString &name : group.second.split(' '))
            QTest::newRow(qPrintable(name)) << name << group.first;
    for (const char *prefix : { "txt_", "logo_" })
        for (const char *anchor : anchorNames)
            QTest::addRow("%s%s_btn", prefix, anchor)
                << QStringLiteral("%1%2_btn").arg(prefix, anchor) << QStringLiteral("QRadioButton");
}

void FormTest::objectsExistWithType()
{
    QFETCH(QString, name);
    QFETCH(QString, type);
    const QList<QObject *> found = host->findChildren<QObject *>(name);
    QCOMPARE(found.size(), 1);
    QCOMPARE(QString::fromLatin1(found.first()->metaObject()->className()), type);
}

// Ranges, captions, checked states, titles, status tips and other
// properties of the bare form.
void FormTest::properties_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QVariant>("value");
    const auto row = [](const char *name, const char *property, const QVariant &value) {
        QTest::addRow("%s %s", name, property) << QString(name) << QByteArray(property) << value;
    };
    const auto range = [&row](const char *name, const QVariant &minimum, const QVariant &maximum,
                           const QVariant &value) {
        row(name, "minimum", minimum);
        row(name, "maximum", maximum);
        row(name, "value", value);
    };
    // clang-format off
    range("shadow_spin", 0, 1000, 12);
    range("shadow_slider", 0, 1000, 12);
    range("txt_x_spin", -9999, 9999, 0);
    range("txt_y_spin", -9999, 9999, 0);
    range("watermarkOpacitySpin", 0, 100, 100);
    range("watermarkOpacitySlider", 0, 100, 100);
    range("x_spin", -99999, 999999, 0);
    range("y_spin", -99999, 999999, 0);
    range("scale_spin", 0.01, 10.0, 1.0);
    range("scale_slider", 1, 1000, 100);
    range("logoOpacitySpin", 0, 100, 100);
    range("logoOpacitySlider", 0, 100, 100);
    range("width_spin", 10, 99999, 1920);
    range("height_spin", 10, 99999, 1920);
    range("comp_slider", 1, 100, 90);
    range("prog_bar", 0, 100, 0);
    row("top_radio", "text", "Top"); row("bottom_radio", "text", "Bottom"); row("light_radio", "text", "Light");
    row("dark_radio", "text", "Dark"); row("font_btn", "text", " Font"); row("font_color_btn", "text", " Color");
    row("rst_txt_pos_btn", "text", " Reset"); row("reset_logo_btn", "text", " Reset");
    row("browse_logo_btn", "text", " Browse"); row("clear_logo_btn", "text", " Clear");
    row("resize_check", "text", "Enabled"); row("aspect_check", "text", "Preserve Aspect Ratio");
    row("outjpg_radio", "text", "JPG"); row("outpng_radio", "text", "PNG"); row("outtif_radio", "text", "TIF");
    row("compression_label", "text", "Compression (Only with JPG)"); row("clear_log_btn", "text", " Clear");
    row("credits_btn", "text", "Credits"); row("actual_radio", "text", "Actual Size");
    row("fit_radio", "text", "Fit To Screen"); row("smooth_check", "text", "High Quality Preview");
    row("open_btn", "text", " Add Pictures"); row("remove_btn", "text", " Remove"); row("clear_btn", "text", " Clear");
    row("start_btn", "text", " Start Stamping"); row("txt_center_btn", "text", "C");
    row("logo_center_btn", "text", "C"); row("txt_topleft_btn", "text", ""); row("logo_topleft_btn", "text", "");
    row("comp_label", "text", "90%"); row("font_pr_label", "text", "ABCD");
    row("wtrmark_edit", "text", TARVELO_WEBSITE);
    row("label_8", "text", "Shadow"); row("label_9", "text", "Watermark"); row("label_2", "text", "Logo");
    row("label_10", "text", "Resize"); row("label_11", "text", "Output Format");
    row("label", "text", "Shadow Height :"); row("label_5", "text", "Width :"); row("label_6", "text", "Height :");
    row("x_label", "text", "X :"); row("y_label", "text", "Y :"); row("label_3", "text", "X :"); row("label_4", "text", "Y :");
    row("groupBox_2", "title", "Preview"); row("groupBox_5", "title", "Pictures"); row("groupBox_10", "title", "Files");
    row("groupBox_6", "title", "Shadow Position"); row("groupBox_7", "title", "Shadow Type");
    row("groupBox", "title", "Font Options (Preview)"); row("groupBox_9", "title", "Watermark Text");
    row("groupBox_11", "title", "Watermark Align"); row("groupBox_4", "title", "Watermark Position Offset");
    row("groupBox_16", "title", "Watermark Opacity"); row("groupBox_8", "title", "Logo Preview");
    row("groupBox_12", "title", "Logo Align"); row("groupBox_13", "title", "Logo Position Offset");
    row("groupBox_14", "title", "Logo Scale"); row("groupBox_15", "title", "Logo Opacity"); row("groupBox_3", "title", "");
    for (const char *name : { "bottom_radio", "dark_radio", "outjpg_radio", "fit_radio", "txt_topleft_btn", "logo_topleft_btn" })
        row(name, "checked", true);
    for (const char *name : { "top_radio", "light_radio", "outpng_radio", "actual_radio", "resize_check", "aspect_check", "smooth_check", "txt_center_btn" })
        row(name, "checked", false);
    row("scale_spin", "decimals", 2); row("scale_spin", "singleStep", 0.1); row("log_plain", "readOnly", true);
    row("compression_label", "flat", true); row("compression_label", "iconSize", QSize(32, 32));
    row("label_7", "openExternalLinks", true); row("label_7", "wordWrap", true);
    row("top_radio", "statusTip", "Move the shadow bar to the Top of the picure.");
    row("bottom_radio", "statusTip", "Move the shadow bar to the Bottom of the picure.");
    row("light_radio", "statusTip", "Set shadow bar type to Light mode.");
    row("dark_radio", "statusTip", "Set shadow bar type to Dark mode.");
    row("shadow_spin", "statusTip", "Shadow bar height in pixels. Set this to 0 (Zero) to have no shadow bars at all.");
    row("shadow_slider", "statusTip", "Shadow bar height in pixels. Set this to 0 (Zero) to have no shadow bars at all.");
    row("font_btn", "statusTip", "Open font settings for watermark text.");
    row("font_color_btn", "statusTip", "Open font color settings for watermark text.");
    row("font_pr_label", "statusTip", "Selected font preview.");
    row("wtrmark_edit", "statusTip", "Watermark text shoeld be entered here. Or you can leave it empty if you don't need it.");
    row("groupBox_11", "statusTip", "Align watermark text to center, top, bottom, left or right corner of the picture, then set offset positions.");
    row("txt_x_spin", "statusTip", "Depending on the watermark align settings, this value is the horizontal distance from the selected align point.");
    row("txt_y_spin", "statusTip", "Depending on the watermark align settings, this value is the vertical distance from the selected align point.");
    row("rst_txt_pos_btn", "statusTip", "Use this if watermark is out of place or misconfigured in any way.");
    row("groupBox_16", "statusTip", "Set opacity value to a value between 0 and 100. (The lower the opacity value, the more transparent your watermark will be.)");
    row("logo_label", "statusTip", "Preview selected logo image.");
    row("browse_logo_btn", "statusTip", "Browse your computer and select and image to use as logo.");
    row("clear_logo_btn", "statusTip", "Remove selected logo. (Won't delete logo file from your computer.)");
    row("groupBox_12", "statusTip", "Align logo image to center, top, bottom, left or right corner of the picture, then set offset positions.");
    row("x_spin", "statusTip", "Depending on the logo align settings, this value is the horizontal distance from the selected align point.");
    row("y_spin", "statusTip", "Depending on the logo align settings, this value is the vertical distance from the selected align point.");
    row("reset_logo_btn", "statusTip", "Use this if logo is out of place or misconfigured in any way.");
    row("groupBox_14", "statusTip", "Set logo scale here. Original width and height  of logo will be multiplied by this value.");
    row("groupBox_15", "statusTip", "Set logo opacity to a value between 0 and 100. (The lower the opacity value, the more transparent your logo will be.)");
    row("resize_check", "statusTip", "Enable/Disable output picture resize. (Changing resize values might affect logo and watermark positions.)");
    row("width_spin", "statusTip", "Output picture width in pixels.");
    row("height_spin", "statusTip", "Output picture height in pixels.");
    row("aspect_check", "statusTip", "Keep or ignore aspect ratio. This option helps make sure the output image is fit into the selected width and height in a correct proportion.");
    row("groupBox_3", "statusTip", "Set output images format to JPG, PNG ot TIF.");
    row("comp_slider", "statusTip", "Set JPG compression value. This option won't have any effect if PNG or TIF is selected.");
    row("log_plain", "statusTip", "Results log.");
    row("clear_log_btn", "statusTip", "Clear results log.");
    row("image_scroll", "statusTip", "Preview output image. You can drag and drop watermark text and logo and position it as you like.");
    row("actual_radio", "statusTip", "Switch preview image to its Actual size.");
    row("fit_radio", "statusTip", "Fit image into preview window.");
    row("smooth_check", "statusTip", "Switch preview mode to Hight Quality. Note that this won't affect output image quality.");
    row("open_btn", "statusTip", "Add image files to the list. (These are the images you want to put a logo or watermark on them.)");
    row("remove_btn", "statusTip", "Remove images from the list. (This won't delete any files from your computer.)");
    row("clear_btn", "statusTip", "Clear the list of added images. (This won't delete any files from your computer.)");
    row("start_btn", "statusTip", "Start/Stop Tarvelo. (Press this after you have added some files and configured all of the settings.)");
    row("files_list", "statusTip", "List of selected (Added) image files. Click on each one of them to view the preview.");
    row("txt_center_btn", "statusTip", "");
    row("scale_spin", "statusTip", "");
    row("outjpg_radio", "statusTip", "");
    row("credits_btn", "statusTip", "");
    // Controls without a tip of their own.
    for (const char *name : { "txt_center_btn", "scale_spin", "outjpg_radio", "credits_btn" })
        row(name, "statusTip", "");
    // clang-format on
}

void FormTest::properties()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, property);
    QFETCH(QVariant, value);
    QObject *object = host->findChild<QObject *>(name);
    QVERIFY(object);
    QCOMPARE(object->property(property.constData()), value);
}

void FormTest::iconsLoad_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("resource");
    // clang-format off
    const QList<QPair<QString, QString>> icons = {
        {"top_radio", "arrow-up.png"}, {"bottom_radio", "arrow-down1.png"}, {"light_radio", "configuration22.png"},
        {"dark_radio", "configuration22.png"}, {"font_btn", "document4.png"}, {"font_color_btn", "paint4.png"},
        {"rst_txt_pos_btn", "player7.png"}, {"reset_logo_btn", "player7.png"}, {"browse_logo_btn", "folder47.png"},
        {"clear_logo_btn", "wiping16.png"}, {"compression_label", "jpg11.png"}, {"clear_log_btn", "wiping16.png"},
        {"actual_radio", "size2.png"}, {"fit_radio", "dimensions.png"}, {"open_btn", "add182.png"},
        {"remove_btn", "rounded56.png"}, {"clear_btn", "wiping16.png"}, {"start_btn", "stamp11.png"},
        {"txt_topleft_btn", "U+2196.svg[1].png"}, {"txt_top_btn", "U+2191.svg[1].png"},
        {"txt_topright_btn", "U+2197.svg[1].png"}, {"txt_left_btn", "U+2190.svg[1].png"},
        {"txt_right_btn", "U+2192.svg[1].png"}, {"txt_botleft_btn", "U+2199.svg[1].png"},
        {"txt_bot_btn", "U+2193.svg[1].png"}, {"txt_botright_btn", "U+2198.svg[1].png"},
        {"logo_topleft_btn", "U+2196.svg[1].png"}, {"logo_botright_btn", "U+2198.svg[1].png"}, {"window", "icon.png"},
    };
    // clang-format on
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
    auto *button = window.findChild<QAbstractButton *>(name);
    QVERIFY(button || name == QLatin1String("window"));
    const QIcon icon = name == QLatin1String("window") ? window.windowIcon() : button->icon();
    QVERIFY(!icon.isNull());
    // The button shows the resource's own picture, not a stand-in; the
    // single-colour arrows keep their shape in the button's text colour.
    const auto pixels = [](const QIcon &icon, QImage::Format format) {
        return icon.pixmap(16, 16).toImage().convertToFormat(format);
    };
    const QIcon own(":/Resources/" + resource);
    if (!resource.startsWith("U+")) {
        QCOMPARE(pixels(icon, QImage::Format_ARGB32), pixels(own, QImage::Format_ARGB32));
        return;
    }
    QCOMPARE(pixels(icon, QImage::Format_Alpha8), pixels(own, QImage::Format_Alpha8));
    const QImage shown = pixels(icon, QImage::Format_ARGB32);
    const QRgb text = button->palette().color(QPalette::WindowText).rgb();
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            QVERIFY(qAlpha(shown.pixel(x, y)) < 255 || shown.pixel(x, y) == text);
}

void FormTest::formDetails()
{
    QCOMPARE(form.main_tab->tabText(0), QStringLiteral("Settings"));
    QCOMPARE(form.main_tab->tabText(1), QStringLiteral("Results"));
    QCOMPARE(form.main_tab->tabText(2), QStringLiteral("Help"));
    QCOMPARE(form.main_tab->widget(1), form.tab_9);
    QCOMPARE(form.files_list->editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(form.label_7->text().contains(QLatin1String("Introduction")));
    QVERIFY(form.label_7->text().contains(QLatin1String("http://" TARVELO_WEBSITE)));
    QVERIFY(form.start_btn->font().bold());
    QVERIFY(form.dark_radio->font().bold());
    QCOMPARE(form.label_8->font().pointSize(), 12);
    QVERIFY(form.label_8->font().bold());
    QCOMPARE(host->size(), QSize(1706, 805));
    QCOMPARE(host->windowTitle(), QStringLiteral("Tarvelo"));
    for (QWidget *widget : host->findChildren<QWidget *>())
        QVERIFY2(widget->toolTip().isEmpty(), qPrintable(widget->objectName()));
}

void FormTest::anchorGrids()
{
    for (const char *prefix : { "txt_", "logo_" }) {
        QWidget *box = prefix == QLatin1String("txt_") ? form.groupBox_11 : form.groupBox_12;
        for (const char *anchor : anchorNames) {
            auto *button
                = host->findChild<QRadioButton *>(QStringLiteral("%1%2_btn").arg(prefix, anchor));
            QCOMPARE(button->parentWidget(), box);
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
    QCOMPARE(form.groupBox_12->findChildren<QRadioButton *>().size(), 9);
    for (QRadioButton *button : form.groupBox_12->findChildren<QRadioButton *>())
        QCOMPARE(button->isChecked(), button == form.logo_center_btn);
}

void FormTest::focusChain()
{
    // clang-format off
    const QStringList chain = QStringLiteral(
        "top_radio bottom_radio light_radio dark_radio shadow_spin shadow_slider font_btn "
        "font_color_btn wtrmark_edit txt_topleft_btn txt_top_btn txt_topright_btn txt_left_btn "
        "txt_center_btn txt_right_btn txt_botleft_btn txt_bot_btn txt_botright_btn rst_txt_pos_btn "
        "txt_x_spin txt_y_spin watermarkOpacitySpin watermarkOpacitySlider browse_logo_btn "
        "clear_logo_btn logo_topleft_btn logo_top_btn logo_topright_btn logo_left_btn logo_center_btn "
        "logo_right_btn logo_botleft_btn logo_bot_btn logo_botright_btn reset_logo_btn x_spin y_spin "
        "scale_spin scale_slider logoOpacitySpin logoOpacitySlider resize_check width_spin "
        "height_spin aspect_check outjpg_radio outpng_radio outtif_radio compression_label "
        "comp_slider actual_radio fit_radio smooth_check open_btn remove_btn clear_btn files_list "
        "start_btn log_plain clear_log_btn scrollArea credits_btn image_scroll scrollArea_2 main_tab "
        "settings_scroll")
                                  .split(' ');
    // clang-format on

    // Walk the chain as Tab does and keep the named stops. The tab widget is
    // a compound control (its tab bar takes the focus), so the toolkit files
    // the stop that follows it after the last focusable widget inside it;
    // every other stop keeps the listed order.
    QStringList visited;
    QWidget *first = host->findChild<QWidget *>(chain.first());
    QWidget *w = first;
    do {
        if (chain.contains(w->objectName()) && !visited.contains(w->objectName()))
            visited << w->objectName();
        w = w->nextInFocusChain();
    } while (w != first);
    QStringList expected = chain;
    for (const char *compound : { "main_tab", "settings_scroll" }) {
        QVERIFY2(visited.removeAll(QLatin1String(compound)) == 1, compound);
        expected.removeAll(QLatin1String(compound));
    }
    QCOMPARE(visited, expected);
    for (const QString &name : chain)
        QVERIFY2(host->findChild<QWidget *>(name)->focusPolicy() & Qt::TabFocus, qPrintable(name));
}

void FormTest::windowShell()
{
    MainWindow window;
    QCOMPARE(window.windowTitle(), QStringLiteral("Tarvelo (Version 2.8.0)"));
    QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
    QVERIFY(window.acceptDrops());
    QVERIFY(!window.windowIcon().isNull());
    QCOMPARE(window.statusBar()->objectName(), QStringLiteral("statusBar"));
    QCOMPARE(WindowProbe::ui(window)->main_tab->currentWidget(), WindowProbe::ui(window)->tab_8);

    // The preview label sits centred in the preview scroll area's contents.
    auto *contents = WindowProbe::ui(window)->image_scroll_contents;
    auto *grid = qobject_cast<QGridLayout *>(contents->layout());
    QVERIFY(grid);
    QCOMPARE(grid->count(), 1);
    QWidget *label = grid->itemAtPosition(0, 0)->widget();
    QCOMPARE(label, WindowProbe::previewLabel(window));
    QCOMPARE(
        QString::fromLatin1(label->metaObject()->className()), QStringLiteral("QClickableLabel"));
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
        QCOMPARE(method.access(),
            i - meta.methodOffset() < 4 ? QMetaMethod::Public : QMetaMethod::Private);
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
}

// A renamed control would silently lose its slot; the toolkit only warns.
void FormTest::everySlotIsBoundByName()
{
    capturedMessages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(captureMessages);
    delete new MainWindow;
    qInstallMessageHandler(previous);
    for (const QString &message : qAsConst(capturedMessages))
        QVERIFY2(!message.contains(QLatin1String("connectSlotsByName")), qPrintable(message));
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
    WindowProbe::ui(window)->files_list->addItem(QStringLiteral("/nowhere/kept.jpg"));

    Modals modals;
    modals.box(QMessageBox::StandardButton(answer));
    QCOMPARE(window.close(), closes);
    QCOMPARE(modals.seen.size(), 1);
    QCOMPARE(modals.unexpected, 0);
    QCOMPARE(boxText(modals.seen[0]),
        boxText(QMessageBox::Information, "Confirm", "Are you sure you want to exit?",
            { QMessageBox::Yes, QMessageBox::No }));
    QCOMPARE(window.isVisible(), !closes);
    QCOMPARE(WindowProbe::ui(window)->files_list->count(), 1);
}

TARVELO_TEST_MAIN(FormTest)
#include "tst_form.moc"
