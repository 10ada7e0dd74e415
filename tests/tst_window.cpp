// SPDX-License-Identifier: GPL-3.0-or-later
// The window as a whole: every slot is bound to its control, the options
// come back after a restart as they were left, and the controls reach the
// engine.

#include <exiv2/exiv2.hpp>

#include "testsupport.h"
#include "window/qclickablelabel.h"

using namespace TestSupport;

namespace {

QStringList messages;

// Everything the user can set, read generically from the window: the
// checkable buttons, spin boxes, sliders and line edits, font, colour, logo.
QVariantMap options(MainWindow &w)
{
    QVariantMap state { { "font", WindowProbe::textFont(w).toString() },
        { "colour", WindowProbe::textColor(w).rgb() }, { "logo", WindowProbe::logoFileName(w) },
        { "logo pixels",
            WindowProbe::logoImage(w).look().convertToFormat(
                QImage::Format_ARGB32_Premultiplied) } };
    for (QWidget *c : w.findChildren<QWidget *>()) {
        const QString name = c->objectName();
        if (name.isEmpty() || name.startsWith("qt_"))
            continue;
        if (auto *button = qobject_cast<QAbstractButton *>(c); button && button->isCheckable())
            state[name] = button->isChecked();
        else if (auto *spin = qobject_cast<QAbstractSpinBox *>(c))
            state[name] = spin->text();
        else if (auto *slider = qobject_cast<QAbstractSlider *>(c))
            state[name] = slider->value();
        else if (auto *edit = qobject_cast<QLineEdit *>(c))
            state[name] = edit->text();
    }
    return state;
}

// Sets "control=value" in order, as the user would; "font", "colour" and
// "logo" (a file) are the window's own.
void apply(MainWindow &w, const QStringList &changes)
{
    for (const QString &change : changes) {
        const QString name = change.section('=', 0, 0), value = change.section('=', 1);
        QObject *control = w.findChild<QObject *>(name);
        if (name == "font")
            WindowProbe::textFont(w).fromString(value);
        else if (name == "colour")
            WindowProbe::textColor(w) = QColor::fromRgba(value.toUInt(nullptr, 16));
        else if (name == "logo") // as the logo picker leaves it
            WindowProbe::logoImage(w) = QImage(WindowProbe::logoFileName(w) = value);
        else if (auto *button = qobject_cast<QAbstractButton *>(control))
            button->setChecked(value == "1");
        else if (!control->setProperty(qobject_cast<QLineEdit *>(control) ? "text" : "value", value))
            qFatal("cannot set %s", qPrintable(change));
    }
}

} // namespace

class WindowTest : public QObject
{
    Q_OBJECT

private slots:
    void everySlotIsBound();
    void optionsSurviveARestart_data();
    void optionsSurviveARestart();
    void controlsReachTheEngine();
    void proportionalStampFromThePreview();
    void splitterRoomIsKept();
    void previewFillsInFields();
};

// A renamed control silently loses its slot; the toolkit only warns.
void WindowTest::everySlotIsBound()
{
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext &, const QString &message) { messages << message; });
    delete new MainWindow;
    qInstallMessageHandler(previous);
    QCOMPARE(messages.filter("connectSlotsByName"), QStringList());
}

void WindowTest::optionsSurviveARestart_data()
{
    QTest::addColumn<QStringList>("changes"); // "control=value", in this order
    // clang-format off
    QTest::newRow("first run") << QStringList();
    // An anchor resets its own offsets, so these come after it.
    QTest::newRow("anchors, offsets, logo, font") << QStringList { "txt_center_btn=1", "txt_x_spin=-40", "txt_y_spin=9", "logo_botright_btn=1", "x_spin=11", "y_spin=-3",
        "scale_spin=2.5", "logoOpacitySpin=70", "watermarkOpacitySpin=55", "logo=", "font=DejaVu Sans,12,-1,5,75,1,0,0,0,0", "colour=0x80336699" };
    QTest::newRow("bar, preview, output, text") << QStringList { "top_radio=1", "light_radio=1", "shadow_spin=40", "fit_radio=1", "outtif_radio=1", "comp_slider=75",
        "wtrmark_edit=Hello, \"world\"; a=b", "text_fields_check=1", "text_shadow_check=1", "tile_check=1" };
    QTest::newRow("no resize, sizes kept") << QStringList { "resize_check=0", "width_spin=800", "height_spin=600", "aspect_check=1" };
    // clang-format on
}

void WindowTest::optionsSurviveARestart()
{
    QFETCH(QStringList, changes);
    QTemporaryDir dir;
    QVERIFY(photoLike(40, 30, 5, true).save(dir.filePath("logo.png")));
    changes.replaceInStrings(QRegularExpression("^logo=$"), "logo=" + dir.filePath("logo.png"));
    QSettings(QStringLiteral("Dovrin Halsek"), QStringLiteral("Tarvelo")).clear();
    QVariantMap firstRun, left;
    {
        MainWindow w;
        firstRun = options(w);
        apply(w, changes);
        left = options(w);
    } // the window saves its options as it goes
    MainWindow w;
    QTRY_VERIFY(WindowProbe::settled(w)); // the logo is read away from the window's thread
    QCOMPARE(options(w) == firstRun, changes.isEmpty());
    for (auto it = left.cbegin(); it != left.cend(); ++it)
        QVERIFY2(options(w).value(it.key()) == it.value(), qPrintable(it.key()));
    QCOMPARE(WindowProbe::textColor(w).alpha(), 255); // the text colour comes back opaque
}

// The window's two compositions of a new picture equal the engine's own, run
// with the values the test put into the controls.
void WindowTest::controlsReachTheEngine()
{
    const auto window = plainWindow();
    const QImage source = PictureIO::toArgb32(photoLike(500, 400, 2, true));
    const QImage logo = photoLike(100, 50, 4, true);
    WindowProbe::logoImage(*window) = logo;
    apply(*window, { "txt_bot_btn=1", "txt_x_spin=7", "logo_right_btn=1", "y_spin=-5",
                       "scale_spin=1.5", "logoOpacitySpin=60", "watermarkOpacitySpin=35", "top_radio=1",
                       "light_radio=1", "shadow_spin=30", "resize_check=1", "aspect_check=1",
                       "width_spin=450", "height_spin=300", "wtrmark_edit= Anchored " });
    WindowProbe::sourceImage(*window) = source; // as the picture list loads one
    WindowProbe::stampedImage(*window) = source.copy();
    WindowProbe::composeStamp(*window);
    WindowProbe::composeStamp(*window);
    // resize, width, height, aspect, bar rows, edge, tone, text, its opacity,
    // anchor and offsets, logo scale, opacity, anchor and offsets
    const StampOptions o { true, 450, 300, true, 30, ShadowEdge::Top, ShadowTone::Light,
        " Anchored ", 35, Anchor::Bot, 7, 0, 1.5, 60, Anchor::Right, 0, -5 };
    Stamp::Composition c { source.copy(), {}, {}, {}, {}, {} };
    for (int round = 0; round < 2; ++round)
        c = Stamp::compose(source, c.image, c.textExtent, o, WindowProbe::textFont(*window),
            Qt::white, logo, Qt::FastTransformation, c.textPos, c.logoPos);
    QCOMPARE(WindowProbe::stampedImage(*window), c.image);
}

// Ticking "Scale with the picture" designs the stamp on the picture shown.
// On one twice its size a drag moves the offsets by half the mouse's way,
// the logo shrinks as it reaches the edge, and the preview is drawn as a
// whole new composition would draw it.
void WindowTest::proportionalStampFromThePreview()
{
    auto window = plainWindow();
    Ui::MainWindow *ui = WindowProbe::ui(*window);
    WindowProbe::logoImage(*window) = photoLike(100, 50, 4, true);
    apply(*window, { "actual_radio=1", "logo_left_btn=1", "x_spin=80", "scale_spin=3" });
    for (const QSize size : { QSize(400, 300), QSize(800, 600) }) {
        WindowProbe::sourceImage(*window)
            = PictureIO::toArgb32(photoLike(size.width(), size.height()));
        WindowProbe::stampedImage(*window) = WindowProbe::sourceImage(*window).copy();
        WindowProbe::composeStamp(*window);
        WindowProbe::composeStamp(*window);
        ui->relative_check->setChecked(true); // on the first picture only
    }
    QClickableLabel *label = WindowProbe::previewLabel(*window);
    const double scale = label->width() / 800.0;
    QPoint at = (WindowProbe::logoPos(*window) + QPoint(3, 3)) * scale;
    QTest::mousePress(label, Qt::LeftButton, {}, at);
    for (int step = 0; step < 6; ++step) { // QTest::mouseMove() moves nothing offscreen
        QMouseEvent move(QEvent::MouseMove, at += QPoint(10, 0), Qt::NoButton, Qt::LeftButton, {});
        emit label->mouseMoved(&move);
    }
    QCOMPARE(ui->x_spin->value(), 80 + int(60 / (scale * 2)));
    const QImage dragged = WindowProbe::stampedImage(*window);
    WindowProbe::stampedImage(*window) = dragged.copy(); // composed afresh
    WindowProbe::composeStamp(*window);
    QCOMPARE(WindowProbe::stampedImage(*window), dragged);
    window.reset();
    QCOMPARE(WindowProbe::relativeRef(*std::make_unique<MainWindow>()), 300);
}

// The preview gets most of the right column at first, and the splitter
// comes back where the user left it.
void WindowTest::splitterRoomIsKept()
{
    QSettings(QStringLiteral("Dovrin Halsek"), QStringLiteral("Tarvelo")).clear();
    QList<int> left;
    for (int run = 0; run < 2; ++run) {
        MainWindow w;
        w.resize(1400, 900);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto *splitter = w.findChild<QSplitter *>();
        QList<int> sizes = splitter->sizes();
        QVERIFY(run == 1 ? sizes == left : sizes[0] > 2 * sizes[1]);
        splitter->setSizes({ sizes[0] - 150, sizes[1] + 150 });
        left = splitter->sizes();
    }
}

// With fields on, the preview stamps the text filled in for the picture
// shown, its metadata read once the box is ticked, exactly as the literal
// text; a run says once that a field is unknown.
void WindowTest::previewFillsInFields()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("out"));
    auto window = plainWindow();
    Ui::MainWindow *ui = WindowProbe::ui(*window);
    for (const QString name : { "kite.png", "sky.png" }) {
        QVERIFY(photoLike(120, 90).save(dir.filePath(name)));
        const auto image = Exiv2::ImageFactory::open(dir.filePath(name).toStdString());
        Exiv2::ExifData exif;
        exif["Exif.Photo.DateTimeOriginal"] = "2019:08:09 10:11:12";
        image->setExifData(exif);
        image->writeMetadata();
        ui->files_list->addItem(dir.filePath(name));
    }
    ui->files_list->setCurrentRow(0);
    QTRY_VERIFY(WindowProbe::settled(*window) && !WindowProbe::sourceImage(*window).isNull());
    apply(*window, { "wtrmark_edit={name} {year} {counter:2} {foo}", "text_fields_check=1" });
    QTRY_VERIFY(WindowProbe::settled(*window));
    const QImage filled = WindowProbe::stampedImage(*window);
    apply(*window, { "text_fields_check=0", "wtrmark_edit=kite 2019 01 {foo}" });
    WindowProbe::composeStamp(*window);
    QCOMPARE(WindowProbe::stampedImage(*window), filled);
    apply(*window, { "wtrmark_edit={foo} {counter}", "text_fields_check=1" });
    QVERIFY(stampAll(*window, dir.filePath("out")));
    QCOMPARE(ui->log_plain->toPlainText().count("{foo}"), 1);
}

TARVELO_TEST_MAIN(WindowTest)
#include "tst_window.moc"
