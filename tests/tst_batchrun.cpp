// The batch run, driven through the real start button with its real boxes
// and folder dialog: what is written (names, formats, quality, pixels), what
// the log and the progress bar show, stopping, the list changing under the
// run, and hostile inputs and failing disks, which must never cost a crash,
// an existing file or a file outside the output folder.

#include <QCheckBox>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "batchtesting.h"
#include "mainwindow.h"
#include "pictureio.h"
#include "testsupport.h"
#include "ui_mainwindow.h"
#include "windowprobe.h"

using namespace BatchTesting;

namespace {

const QString tagPattern = QStringLiteral("_\\d{17}");

// A tiny file system of its own, to fill up. Mounting needs privileges the
// test may not have; then the test is skipped.
class TinyDisk
{
public:
    explicit TinyDisk(const QString &path)
        : path(path)
    {
        mounted
            = ::mount("tmpfs", QFile::encodeName(path).constData(), "tmpfs", 0, "size=64k") == 0;
    }
    ~TinyDisk()
    {
        if (mounted)
            ::umount2(QFile::encodeName(path).constData(), MNT_DETACH);
    }
    bool mounted = false;

private:
    QString path;
};

// The largest file this process may write, lowered for a while: writes past
// it fail as on a full disk, for root too.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit lowered = saved;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved); }

private:
    rlimit saved {};
};

// A read-only file system over a folder, which stops root as well.
class ReadOnlyMount
{
public:
    explicit ReadOnlyMount(const QString &path)
        : path(path)
    {
        mounted
            = ::mount("tmpfs", QFile::encodeName(path).constData(), "tmpfs", MS_RDONLY, "size=64k")
            == 0;
    }
    ~ReadOnlyMount()
    {
        if (mounted)
            ::umount2(QFile::encodeName(path).constData(), MNT_DETACH);
    }
    bool mounted = false;

private:
    QString path;
};

// Caps the address space for a while, so that a huge allocation fails
// instead of being granted and then filled.
class AddressSpaceLimit
{
public:
    explicit AddressSpaceLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_AS, &saved);
        rlimit lowered = saved;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_AS, &lowered);
    }
    ~AddressSpaceLimit() { setrlimit(RLIMIT_AS, &saved); }

private:
    rlimit saved {};
};

// Incompressible pixels: its PNG is about as large as the picture.
QImage noise(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    quint32 state = 77;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            image.setPixel(x, y, 0xff000000u | (state >> 8));
        }
    return image;
}

QString progress(const QString &name, int position, int total, bool ok = true)
{
    return QStringLiteral("%1 ... %2 (%3 of %4)")
        .arg(name, ok ? "OK!" : "Failed!")
        .arg(position)
        .arg(total);
}

} // namespace

class BatchRunTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void outputSuffix_data();
    void outputSuffix();
    void emptyListWarns();
    void cancelledFolderDialogDoesNothing();
    void vanishedFolderIsAnError();
    void questions_data();
    void questions();
    void runWritesEveryPicture();
    void smoothDuringRunOnly_data();
    void smoothDuringRunOnly();
    void composesTwiceWithSmoothScaling_data();
    void composesTwiceWithSmoothScaling();
    void dottedNameKeepsItsDots();
    void sameBaseNameGetsTagAndWarning();
    void tagsAccumulateInRun();
    void outputIntoSourceFolder();
    void missingFileAtPositionTwo_data();
    void missingFileAtPositionTwo();
    void stopDeclined();
    void stopConfirmed_data();
    void stopConfirmed();
    void listShrinks_data();
    void listShrinks();
    void listGrows();
    void outputFormats_data();
    void outputFormats();
    void formatChangedDuringRun();
    void qualityFixedAtStart();
    void danglingLinkAtOutputName();
    void fullDiskLeavesNothing();
    void fileSizeLimitLeavesNothing();
    void outputFolderRemovedDuringRun();
    void readOnlyOutputFolder();
    void unreadablePicture();
    void outOfMemoryIsAFailure();
    void badInputs();
    void warningEscapesNames();

private:
    QString addPicture(const QString &name, const QImage &image, const char *format = "png");
    std::unique_ptr<ModalScript> startRun(bool expectDone = true);
    void press(QPushButton *button);
    QStringList log() const { return logLines(ui->log_plain); }

    std::unique_ptr<MainWindow> window;
    Ui::MainWindow *ui = nullptr;
    std::unique_ptr<QTemporaryDir> dir;
    QString src;
    QString out;
};

void BatchRunTest::init()
{
    QSettings(QStringLiteral("Dovrin Halsek"), QStringLiteral("Tarvelo")).clear();
    window = std::make_unique<MainWindow>();
    ui = WindowProbe::ui(*window);

    // Stamp nothing visible unless a test asks for it: no resize, no bar,
    // text and logo present (so that no question is asked) but placed far
    // outside every picture.
    ui->resize_check->setChecked(false);
    ui->shadow_spin->setValue(0);
    ui->wtrmark_edit->setText("Tarvelo");
    ui->txt_x_spin->setValue(9999);
    QImage logo(6, 4, QImage::Format_ARGB32);
    logo.fill(Qt::red);
    WindowProbe::logoImage(*window) = logo;
    ui->x_spin->setValue(999999);
    ui->outpng_radio->setChecked(true);
    ui->actual_radio->setChecked(true);

    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    src = dir->filePath("src");
    out = dir->filePath("out");
    QVERIFY(QDir().mkpath(src));
    QVERIFY(QDir().mkpath(out));
}

void BatchRunTest::cleanup()
{
    window.reset();
    ui = nullptr;
    dir.reset();
}

QString BatchRunTest::addPicture(const QString &name, const QImage &image, const char *format)
{
    const QString path = src + '/' + name;
    QDir().mkpath(QFileInfo(path).path());
    if (!writeFile(path, encode(image, format, 95)))
        qFatal("cannot write %s", qPrintable(path));
    ui->files_list->addItem(path);
    return path;
}

void BatchRunTest::press(QPushButton *button)
{
    QTest::mousePress(button, Qt::LeftButton);
    QTest::mouseRelease(button, Qt::LeftButton);
}

// Presses Start, choosing `out` in the folder dialog and (when expected)
// answering the "Done" box; more boxes can be scripted before pressing.
std::unique_ptr<ModalScript> BatchRunTest::startRun(bool expectDone)
{
    auto script = std::make_unique<ModalScript>();
    script->file(out);
    if (expectDone)
        script->box(QMessageBox::Ok);
    press(ui->start_btn);
    return script;
}

void BatchRunTest::outputSuffix_data()
{
    QTest::addColumn<QString>("checked");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("jpg") << "outjpg_radio"
                         << "jpg";
    QTest::newRow("png") << "outpng_radio"
                         << "png";
    QTest::newRow("tif") << "outtif_radio"
                         << "tif";
    QTest::newRow("none") << ""
                          << "jpg";
}

void BatchRunTest::outputSuffix()
{
    QFETCH(QString, checked);
    QFETCH(QString, suffix);
    for (QRadioButton *radio : { ui->outjpg_radio, ui->outpng_radio, ui->outtif_radio }) {
        radio->setAutoExclusive(false);
        radio->setChecked(radio->objectName() == checked);
    }
    QCOMPARE(WindowProbe::outputSuffix(*window), suffix);
}

void BatchRunTest::emptyListWarns()
{
    ModalScript script;
    script.box(QMessageBox::Ok);
    press(ui->start_btn);
    QCOMPARE(script.seen.size(), 1); // and no folder dialog after it
    QCOMPARE(script.unexpected, 0);
    QCOMPARE(script.seen[0].className, QString("QMessageBox"));
    QCOMPARE(script.seen[0].icon, QMessageBox::Warning);
    QCOMPARE(script.seen[0].title, QString("No pictures to stamp!"));
    QCOMPARE(script.seen[0].text, QString("First add some pictures using Add Pictures button."));
    QCOMPARE(script.seen[0].buttons, QList<QMessageBox::StandardButton> { QMessageBox::Ok });
    QVERIFY(log().isEmpty());
    QCOMPARE(ui->start_btn->text(), QString(" Start Stamping"));
}

void BatchRunTest::cancelledFolderDialogDoesNothing()
{
    addPicture("a.png", photoLike(8, 8));
    ModalScript script;
    script.file(QString());
    press(ui->start_btn);
    QCOMPARE(script.seen.size(), 1);
    QCOMPARE(script.unexpected, 0);
    QCOMPARE(script.seen[0].className, QString("QFileDialog"));
    QCOMPARE(script.seen[0].title, QString("Select Output Folder"));
    QVERIFY(script.seen[0].dirsOnly);
    // Folders only (the toolkit reports ShowDirsOnly as its old DirectoryOnly mode).
    QVERIFY(script.seen[0].fileMode == QFileDialog::Directory || script.seen[0].fileMode == 4);
    QVERIFY(log().isEmpty());
    QCOMPARE(ui->main_tab->currentIndex(), 0);
    QVERIFY(fileNames(out).isEmpty());
}

void BatchRunTest::vanishedFolderIsAnError()
{
    addPicture("a.png", photoLike(8, 8));
    const auto before = snapshot(dir->path(), out);
    // The folder is gone by the time the dialog has returned it.
    ModalScript script;
    script.file(out, [this]() { QDir(out).removeRecursively(); }).box(QMessageBox::Ok);
    press(ui->start_btn);
    QCOMPARE(script.seen.size(), 2);
    QCOMPARE(script.unexpected, 0);
    QCOMPARE(script.seen[1].icon, QMessageBox::Warning);
    QCOMPARE(script.seen[1].title, QString("Error"));
    QCOMPARE(script.seen[1].text, QString("What's goin on here?!"));
    QCOMPARE(script.seen[1].buttons, QList<QMessageBox::StandardButton> { QMessageBox::Ok });
    QVERIFY(log().isEmpty());
    QVERIFY(!QFileInfo::exists(out));
    QCOMPARE(snapshot(dir->path(), out), before);
}

void BatchRunTest::questions_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("withLogo");
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<QStringList>("asked");
    QTest::addColumn<bool>("runs");

    const QString noText = "Are you going to go on stamping without any watermarks?";
    const QString noLogo = "Are you going to go on stamping without a logo?";
    QTest::newRow("blank text, No")
        << "  \t " << true << QList<int> { QMessageBox::No } << QStringList { noText } << false;
    QTest::newRow("blank text, Yes")
        << "   " << true << QList<int> { QMessageBox::Yes } << QStringList { noText } << true;
    QTest::newRow("no logo, No") << "text" << false << QList<int> { QMessageBox::No }
                                 << QStringList { noLogo } << false;
    QTest::newRow("no logo, Yes") << "text" << false << QList<int> { QMessageBox::Yes }
                                  << QStringList { noLogo } << true;
    QTest::newRow("neither, Yes Yes")
        << "" << false << QList<int> { QMessageBox::Yes, QMessageBox::Yes }
        << QStringList { noText, noLogo } << true;
    QTest::newRow("neither, Yes No")
        << "" << false << QList<int> { QMessageBox::Yes, QMessageBox::No }
        << QStringList { noText, noLogo } << false;
    QTest::newRow("neither, No") << "" << false << QList<int> { QMessageBox::No }
                                 << QStringList { noText } << false;
}

void BatchRunTest::questions()
{
    QFETCH(QString, text);
    QFETCH(bool, withLogo);
    QFETCH(QList<int>, answers);
    QFETCH(QStringList, asked);
    QFETCH(bool, runs);
    ui->wtrmark_edit->setText(text);
    if (!withLogo)
        WindowProbe::logoImage(*window) = QImage();
    addPicture("a.png", photoLike(8, 8));

    ModalScript script;
    script.file(out);
    for (int answer : answers)
        script.box(QMessageBox::StandardButton(answer));
    if (runs)
        script.box(QMessageBox::Ok);
    press(ui->start_btn);

    QCOMPARE(script.unexpected, 0);
    QVERIFY(script.done());
    for (int k = 0; k < asked.size(); ++k) {
        const SeenModal &box = script.seen.at(k + 1);
        QCOMPARE(box.title, QString("Warning"));
        QCOMPARE(box.text, asked[k]);
        QCOMPARE(box.icon, QMessageBox::Warning);
        QCOMPARE(box.buttons,
            (QList<QMessageBox::StandardButton> { QMessageBox::Yes, QMessageBox::No }));
    }
    QCOMPARE(fileNames(out), runs ? QStringList { "a.png" } : QStringList());
    QCOMPARE(log().isEmpty(), !runs);
}

void BatchRunTest::runWritesEveryPicture()
{
    const QImage a = photoLike(30, 20, 1), b = photoLike(25, 40, 2), c = photoLike(9, 7, 3);
    addPicture("a.png", a);
    addPicture("b.jpg", b, "jpg");
    addPicture("c.tif", c, "tiff");
    const auto sources = snapshot(src);

    StepHook hook(ui->log_plain);
    QString captionDuring;
    int modeDuring = -1, tabDuring = -1;
    bool stampingDuring = false;
    hook.at(1, [&]() {
        captionDuring = ui->start_btn->text();
        modeDuring = WindowProbe::transformMode(*window);
        tabDuring = ui->main_tab->currentIndex();
        stampingDuring = WindowProbe::stamping(*window);
    });
    auto script = startRun();

    QCOMPARE(script->unexpected, 0);
    QCOMPARE(script->seen.size(), 2);
    const SeenModal &done = script->seen[1];
    QCOMPARE(done.icon, QMessageBox::Information);
    QCOMPARE(done.title, QString("Tarvelo"));
    QCOMPARE(done.text, QString("Done"));
    QCOMPARE(done.buttons, QList<QMessageBox::StandardButton> { QMessageBox::Ok });

    QCOMPARE(captionDuring, QString("Stop"));
    QCOMPARE(modeDuring, int(Qt::SmoothTransformation));
    QCOMPARE(tabDuring, 1);
    QVERIFY(stampingDuring);

    QCOMPARE(fileNames(out), (QStringList { "a.png", "b.png", "c.png" }));
    QCOMPARE(QImage(out + "/a.png").convertToFormat(QImage::Format_RGB32), a);
    QCOMPARE(QImage(out + "/b.png").convertToFormat(QImage::Format_RGB32),
        QImage(src + "/b.jpg").convertToFormat(QImage::Format_RGB32));
    QCOMPARE(QImage(out + "/c.png").convertToFormat(QImage::Format_RGB32), c);
    QCOMPARE(snapshot(src), sources);

    QCOMPARE(log(),
        (QStringList { "Stamping Started ...", "<hr>", progress("a.png", 1, 3), "<hr>",
            progress("b.png", 2, 3), "<hr>", progress("c.png", 3, 3), "<hr>",
            "Stamping Completed!" }));
    QCOMPARE(ui->prog_bar->minimum(), 0);
    QCOMPARE(ui->prog_bar->maximum(), 2);
    QCOMPARE(ui->prog_bar->value(), 2);
    QCOMPARE(ui->main_tab->currentIndex(), 1);
    QCOMPARE(ui->start_btn->text(), QString("Start Stamping"));
    QVERIFY(!WindowProbe::stamping(*window));
    QCOMPARE(WindowProbe::transformMode(*window), int(Qt::FastTransformation));
    // The last picture stays loaded; the list's selection is not touched.
    QCOMPARE(WindowProbe::sourceImage(*window).size(), QSize(9, 7));
    QCOMPARE(ui->files_list->currentRow(), -1);

    // A second run into the same folder keeps every first output.
    script.reset();
    const auto firstOutputs = snapshot(out);
    const auto again = startRun();
    QCOMPARE(again->unexpected, 0);
    QCOMPARE(fileNames(out).size(), 6);
    auto after = snapshot(out);
    for (auto it = firstOutputs.cbegin(); it != firstOutputs.cend(); ++it)
        QCOMPARE(after.value(it.key()), it.value());
    QCOMPARE(log().count("Stamping Started ..."), 2);
}

void BatchRunTest::smoothDuringRunOnly_data()
{
    QTest::addColumn<bool>("smoothChecked");
    QTest::newRow("check off") << false;
    QTest::newRow("check on") << true;
}

void BatchRunTest::smoothDuringRunOnly()
{
    QFETCH(bool, smoothChecked);
    // Set quietly: the mode must come from the check box after the run, not
    // from whatever the mode was before it.
    ui->smooth_check->blockSignals(true);
    ui->smooth_check->setChecked(smoothChecked);
    ui->smooth_check->blockSignals(false);
    WindowProbe::transformMode(*window)
        = smoothChecked ? Qt::FastTransformation : Qt::SmoothTransformation;
    addPicture("a.png", photoLike(8, 8));
    const auto script = startRun();
    QCOMPARE(script->unexpected, 0);
    QCOMPARE(WindowProbe::transformMode(*window),
        int(smoothChecked ? Qt::SmoothTransformation : Qt::FastTransformation));
}

void BatchRunTest::composesTwiceWithSmoothScaling_data()
{
    QTest::addColumn<QString>("radio");
    QTest::addColumn<int>("quality");
    QTest::newRow("png") << "outpng_radio" << -1;
    QTest::newRow("jpg at 90") << "outjpg_radio" << 90;
    QTest::newRow("jpg at 12") << "outjpg_radio" << 12;
    QTest::newRow("tif") << "outtif_radio" << -1;
}

void BatchRunTest::composesTwiceWithSmoothScaling()
{
    QFETCH(QString, radio);
    QFETCH(int, quality);
    window->findChild<QRadioButton *>(radio)->setChecked(true);
    if (quality > 0)
        ui->comp_slider->setValue(quality);
    // Stretched to 64 x 48 with the logo in the bottom-right corner: only a
    // second composition places the logo against the resized picture.
    ui->resize_check->setChecked(true);
    ui->aspect_check->setChecked(false);
    ui->width_spin->setValue(64);
    ui->height_spin->setValue(48);
    ui->logo_botright_btn->setChecked(true);
    ui->x_spin->setValue(0);
    ui->y_spin->setValue(0);
    QImage logo(8, 6, QImage::Format_ARGB32);
    logo.fill(QColor(200, 30, 40, 180));
    WindowProbe::logoImage(*window) = logo;
    // A preview of another size comes first, as it would in real use.
    WindowProbe::stampedImage(*window) = QImage(500, 400, QImage::Format_ARGB32);

    const QImage picture = photoLike(200, 100, 21, true);
    addPicture("p.png", picture);
    const auto script = startRun();
    QCOMPARE(script->unexpected, 0);

    // The same steps, written out with the toolkit directly.
    QImage argb(picture.size(), QImage::Format_ARGB32);
    argb.fill(Qt::transparent);
    QPainter(&argb).drawImage(0, 0, picture);
    QImage expected = argb.scaled(64, 48, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    {
        QPainter painter(&expected);
        painter.setOpacity(1.0);
        painter.drawImage(QPoint(64 - 8, 48 - 6),
            logo.scaled(8, 6, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    }
    const QString suffix = WindowProbe::outputSuffix(*window);
    const QString written = out + "/p." + suffix;
    QCOMPARE(fileNames(out), QStringList { "p." + suffix });
    QCOMPARE(readFile(written),
        encode(expected, suffix == "tif" ? "tiff" : qPrintable(suffix), quality));
    QCOMPARE(WindowProbe::stampedImage(*window).size(), QSize(64, 48));
}

void BatchRunTest::dottedNameKeepsItsDots()
{
    ui->outjpg_radio->setChecked(true);
    addPicture("my.trip.jpeg", photoLike(12, 12), "jpg");
    const auto script = startRun();
    QCOMPARE(script->unexpected, 0);
    QCOMPARE(fileNames(out), QStringList { "my.trip.jpg" });
    QVERIFY(log().contains(progress("my.trip.jpg", 1, 1)));
    // One picture: a range of 0 to 0.
    QCOMPARE(ui->prog_bar->maximum(), 0);
    QCOMPARE(ui->prog_bar->value(), 0);
}

void BatchRunTest::sameBaseNameGetsTagAndWarning()
{
    const QImage first = photoLike(10, 10, 1), second = photoLike(12, 12, 2);
    addPicture("a.png", first);
    addPicture("other/a.png", second);
    const auto script = startRun();
    QCOMPARE(script->unexpected, 0);

    const QStringList names = fileNames(out);
    QCOMPARE(names.size(), 2);
    QCOMPARE(names[0], QString("a.png"));
    QVERIFY2(QRegularExpression("^a" + tagPattern + "\\.png$").match(names[1]).hasMatch(),
        qPrintable(names[1]));
    QCOMPARE(QImage(out + "/a.png").convertToFormat(QImage::Format_RGB32), first);
    QCOMPARE(QImage(out + '/' + names[1]).convertToFormat(QImage::Format_RGB32), second);

    const QString warning
        = QStringLiteral("Warning - File %1/a.png saved with new name %1/%2 to avoid "
                         "overwrite because it already existed!")
              .arg(out, names[1]);
    QCOMPARE(log(),
        (QStringList { "Stamping Started ...", "<hr>", progress("a.png", 1, 2), "<hr>", warning,
            progress("a.png", 2, 2), "<hr>", "Stamping Completed!" }));
}

void BatchRunTest::tagsAccumulateInRun()
{
    // a.png is taken, and so is every name with one tag for the next seconds:
    // the output needs a second tag after the first.
    addPicture("a.png", photoLike(8, 8));
    QVERIFY(writeFile(out + "/a.png", "taken"));
    const QDateTime from = QDateTime::currentDateTime();
    for (int ms = 0; ms < 8000; ++ms)
        QVERIFY(
            writeFile(out + "/a" + PictureIO::collisionTag(from.addMSecs(ms)) + ".png", "taken"));
    const auto script = startRun();
    QCOMPARE(script->unexpected, 0);

    QStringList created;
    for (const QString &name : fileNames(out))
        if (readFile(out + '/' + name) != "taken")
            created << name;
    QCOMPARE(created.size(), 1);
    const QRegularExpressionMatch match
        = QRegularExpression("^a_(\\d{17})_(\\d{17})\\.png$").match(created[0]);
    QVERIFY2(match.hasMatch(), qPrintable(created[0]));
    const QDateTime firstTag = QDateTime::fromString(match.captured(1), "yyyyMMddhhmmsszzz");
    QVERIFY(firstTag >= from && firstTag < from.addMSecs(8000));
    QCOMPARE(fileNames(out).size(), 8002);
}

void BatchRunTest::outputIntoSourceFolder()
{
    out = src;
    const QImage picture = photoLike(16, 9, 4);
    addPicture("a.png", picture);
    addPicture("b.png", photoLike(5, 5, 5));
    const auto before = snapshot(src);
    const auto script = startRun();
    QCOMPARE(script->unexpected, 0);

    auto after = snapshot(src);
    QCOMPARE(after.size(), 4);
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        QCOMPARE(after.take(it.key()), it.value());
    for (const QString &name : after.keys())
        QVERIFY2(QRegularExpression("^[ab]" + tagPattern + "\\.png$").match(name).hasMatch(),
            qPrintable(name));
    QCOMPARE(log().filter("Warning - File").size(), 2);
}

void BatchRunTest::missingFileAtPositionTwo_data()
{
    QTest::addColumn<bool>("duringRun");
    QTest::newRow("gone before the run") << false;
    QTest::newRow("deleted while the run is at it") << true;
}

void BatchRunTest::missingFileAtPositionTwo()
{
    QFETCH(bool, duringRun);
    addPicture("a.png", photoLike(8, 8));
    const QString second = addPicture("b.png", photoLike(8, 8));
    addPicture("c.png", photoLike(8, 8));
    StepHook hook(ui->log_plain);
    if (duringRun)
        hook.at(2, [second]() { QFile::remove(second); });
    else
        QFile::remove(second);

    const auto script = startRun();
    QCOMPARE(script->unexpected, 0);
    QCOMPARE(fileNames(out), (QStringList { "a.png", "c.png" }));
    QCOMPARE(log(),
        (QStringList { "Stamping Started ...", "<hr>", progress("a.png", 1, 3), "<hr>", "<hr>",
            progress("c.png", 3, 3), "<hr>", "Stamping Completed!" }));
    QCOMPARE(ui->prog_bar->value(), 2);
}

void BatchRunTest::stopDeclined()
{
    for (const char *name : { "a.png", "b.png", "c.png" })
        addPicture(name, photoLike(8, 8));
    StepHook hook(ui->log_plain);
    QString captionAfter;
    hook.at(1, [&]() {
        press(ui->start_btn);
        captionAfter = ui->start_btn->text();
    });
    ModalScript script;
    script.file(out).box(QMessageBox::No).box(QMessageBox::Ok);
    press(ui->start_btn);

    QCOMPARE(script.unexpected, 0);
    QCOMPARE(script.seen.size(), 3);
    QCOMPARE(script.seen[1].icon, QMessageBox::Warning);
    QCOMPARE(script.seen[1].title, QString("Warning"));
    QCOMPARE(script.seen[1].text, QString("Are you you want to stop stamping?"));
    QCOMPARE(script.seen[1].buttons,
        (QList<QMessageBox::StandardButton> { QMessageBox::Yes, QMessageBox::No }));
    QCOMPARE(script.seen[2].text, QString("Done"));
    QCOMPARE(captionAfter, QString("Stop"));
    QCOMPARE(fileNames(out), (QStringList { "a.png", "b.png", "c.png" }));
    QCOMPARE(log().last(), QString("Stamping Completed!"));
}

void BatchRunTest::stopConfirmed_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<QStringList>("written");
    QTest::newRow("at the first picture") << 1 << QStringList { "a.png" };
    QTest::newRow("at the last picture") << 3 << QStringList { "a.png", "b.png", "c.png" };
}

void BatchRunTest::stopConfirmed()
{
    QFETCH(int, step);
    QFETCH(QStringList, written);
    for (const char *name : { "a.png", "b.png", "c.png" })
        addPicture(name, photoLike(8, 8));
    StepHook hook(ui->log_plain);
    QString captionAfter;
    bool stampingAfter = true;
    hook.at(step, [&]() {
        press(ui->start_btn);
        captionAfter = ui->start_btn->text();
        stampingAfter = WindowProbe::stamping(*window);
    });
    ModalScript script;
    script.file(out).box(QMessageBox::Yes);
    press(ui->start_btn);

    QCOMPARE(script.unexpected, 0);
    QCOMPARE(script.seen.size(), 2); // no "Done"
    QCOMPARE(captionAfter, QString("Start Stamping"));
    QVERIFY(!stampingAfter);
    // The picture in progress is still finished.
    QCOMPARE(fileNames(out), written);
    const QStringList lines = log();
    QCOMPARE(lines.mid(lines.size() - 3),
        (QStringList { progress(written.last(), step, 3), "<hr>", "Stamping interrupted!" }));
    QCOMPARE(ui->start_btn->text(), QString("Start Stamping"));
    QCOMPARE(WindowProbe::transformMode(*window), int(Qt::FastTransformation));
    QVERIFY(!WindowProbe::stamping(*window));
}

void BatchRunTest::listShrinks_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("current"); // -1: press Clear, else Remove with this row current
    QTest::addColumn<QStringList>("written");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("cleared at the second picture")
        << 2 << -1 << QStringList { "a.png" }
        << QStringList { "Stamping Started ...", "<hr>", progress("a.png", 1, 3), "<hr>", "<hr>",
               "Stamping Completed!" };
    QTest::newRow("second removed at the second picture")
        << 2 << 1 << QStringList { "a.png", "c.png" }
        << QStringList { "Stamping Started ...", "<hr>", progress("a.png", 1, 3), "<hr>",
               progress("c.png", 2, 2), "<hr>", "Stamping Completed!" };
    QTest::newRow("last removed at the last picture")
        << 3 << 2 << QStringList { "a.png", "b.png" }
        << QStringList { "Stamping Started ...", "<hr>", progress("a.png", 1, 3), "<hr>",
               progress("b.png", 2, 3), "<hr>", "<hr>", "Stamping Completed!" };
}

void BatchRunTest::listShrinks()
{
    QFETCH(int, step);
    QFETCH(int, current);
    QFETCH(QStringList, written);
    QFETCH(QStringList, lines);
    for (const char *name : { "a.png", "b.png", "c.png" })
        addPicture(name, photoLike(8, 8));
    StepHook hook(ui->log_plain);
    hook.at(step, [this, current]() {
        if (current < 0) {
            press(ui->clear_btn);
        } else {
            ui->files_list->setCurrentRow(current);
            press(ui->remove_btn);
        }
    });
    const auto script = startRun();
    QCOMPARE(script->unexpected, 0);
    QCOMPARE(fileNames(out), written);
    QCOMPARE(log(), lines);
}

void BatchRunTest::listGrows()
{
    addPicture("a.png", photoLike(8, 8));
    addPicture("b.png", photoLike(8, 8));
    const QString added = src + "/z.png";
    QVERIFY(writeFile(added, encode(photoLike(8, 8), "png")));
    StepHook hook(ui->log_plain);
    hook.at(1, [this, added]() { ui->files_list->addItem(added); });
    const auto script = startRun();
    QCOMPARE(script->unexpected, 0);
    QCOMPARE(fileNames(out), (QStringList { "a.png", "b.png", "z.png" }));
    QCOMPARE(log().filter(" ... OK! "),
        (QStringList {
            progress("a.png", 1, 3), progress("b.png", 2, 3), progress("z.png", 3, 3) }));
}

void BatchRunTest::outputFormats_data()
{
    QTest::addColumn<QString>("radio");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("format");
    QTest::newRow("jpg") << "outjpg_radio"
                         << "a.jpg" << QByteArray("jpeg");
    QTest::newRow("png") << "outpng_radio"
                         << "a.png" << QByteArray("png");
    QTest::newRow("tif") << "outtif_radio"
                         << "a.tif" << QByteArray("tiff");
}

void BatchRunTest::outputFormats()
{
    QFETCH(QString, radio);
    QFETCH(QString, name);
    QFETCH(QByteArray, format);
    window->findChild<QRadioButton *>(radio)->setChecked(true);
    addPicture("a.bmp", photoLike(20, 10), "bmp");
    const auto script = startRun();
    QCOMPARE(script->unexpected, 0);
    QCOMPARE(fileNames(out), QStringList { name });
    QFile file(out + '/' + name);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QImageReader::imageFormat(&file), format);
}

void BatchRunTest::formatChangedDuringRun()
{
    ui->outjpg_radio->setChecked(true);
    addPicture("a.png", photoLike(20, 10, 1));
    addPicture("b.png", photoLike(20, 10, 2));
    addPicture("c.png", photoLike(20, 10, 3));
    StepHook hook(ui->log_plain);
    hook.at(2, [this]() { ui->outpng_radio->setChecked(true); });
    hook.at(3, [this]() { ui->outtif_radio->setChecked(true); });
    const auto script = startRun();
    QCOMPARE(script->unexpected, 0);

    // Each file holds what its name says.
    const QList<QPair<QString, QByteArray>> expected
        = { { "a.jpg", "jpeg" }, { "b.png", "png" }, { "c.tif", "tiff" } };
    QStringList names;
    for (const auto &entry : expected)
        names << entry.first;
    QCOMPARE(fileNames(out), names);
    for (const auto &entry : expected) {
        QFile file(out + '/' + entry.first);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QImageReader::imageFormat(&file), entry.second);
    }
    QVERIFY(log().contains(progress("b.png", 2, 3)));
    QVERIFY(log().contains(progress("c.tif", 3, 3)));
    // Lossless formats after the switch: the pixels are exact.
    QCOMPARE(QImage(out + "/b.png").convertToFormat(QImage::Format_RGB32), photoLike(20, 10, 2));
}

void BatchRunTest::qualityFixedAtStart()
{
    ui->outjpg_radio->setChecked(true);
    ui->comp_slider->setValue(90);
    const QImage picture = photoLike(64, 48, 7);
    addPicture("a.png", picture);
    addPicture("b.png", picture);
    StepHook hook(ui->log_plain);
    hook.at(2, [this]() { ui->comp_slider->setValue(5); });
    const auto script = startRun();
    QCOMPARE(script->unexpected, 0);
    const QByteArray atNinety = encode(picture, "jpg", 90);
    QCOMPARE(readFile(out + "/a.jpg"), atNinety);
    QCOMPARE(readFile(out + "/b.jpg"), atNinety);
}

void BatchRunTest::danglingLinkAtOutputName()
{
    QTemporaryDir elsewhere;
    const QString planted = elsewhere.filePath("planted.png");
    QVERIFY(QFile::link(planted, out + "/a.png"));
    addPicture("a.png", photoLike(8, 8));
    const auto script = startRun();
    QCOMPARE(script->unexpected, 0);

    QVERIFY(!QFileInfo::exists(planted));
    QCOMPARE(QFileInfo(out + "/a.png").symLinkTarget(), planted);
    const QStringList names = fileNames(out);
    QCOMPARE(names.size(), 2);
    QVERIFY(QRegularExpression("^a" + tagPattern + "\\.png$").match(names[1]).hasMatch());
    QCOMPARE(log().filter("Warning - File").size(), 1);
    QVERIFY(log().contains(progress("a.png", 1, 1)));
}

void BatchRunTest::fullDiskLeavesNothing()
{
    TinyDisk disk(out);
    if (!disk.mounted)
        QSKIP("cannot mount a small file system here");
    addPicture("big.png", noise(256, 256));
    addPicture("small.png", photoLike(8, 8));
    const auto sources = snapshot(src);
    const auto script = startRun();
    QCOMPARE(script->unexpected, 0);

    QCOMPARE(fileNames(out), QStringList { "small.png" });
    QCOMPARE(log(),
        (QStringList { "Stamping Started ...", "<hr>", qt_error_string(ENOSPC),
            progress("big.png", 1, 2, false), "<hr>", progress("small.png", 2, 2), "<hr>",
            "Stamping Completed!" }));
    QCOMPARE(snapshot(src), sources);
}

void BatchRunTest::fileSizeLimitLeavesNothing()
{
    addPicture("big.png", noise(128, 128));
    addPicture("small.png", photoLike(4, 4));
    addPicture("big2.png", noise(128, 128));
    std::unique_ptr<ModalScript> script;
    {
        FileSizeLimit limit { 8000 };
        script = startRun();
    }
    QCOMPARE(script->unexpected, 0);
    QCOMPARE(fileNames(out), QStringList { "small.png" });
    const QString tooLarge = qt_error_string(EFBIG);
    QCOMPARE(log(),
        (QStringList { "Stamping Started ...", "<hr>", tooLarge, progress("big.png", 1, 3, false),
            "<hr>", progress("small.png", 2, 3), "<hr>", tooLarge,
            progress("big2.png", 3, 3, false), "<hr>", "Stamping Completed!" }));
}

void BatchRunTest::outputFolderRemovedDuringRun()
{
    addPicture("a.png", photoLike(8, 8));
    addPicture("b.png", photoLike(8, 8));
    const auto before = snapshot(dir->path(), out);
    StepHook hook(ui->log_plain);
    hook.at(2, [this]() { QDir(out).removeRecursively(); });
    const auto script = startRun();
    QCOMPARE(script->unexpected, 0);
    QVERIFY(!QFileInfo::exists(out));
    QCOMPARE(snapshot(dir->path(), out), before);
    QCOMPARE(log(),
        (QStringList { "Stamping Started ...", "<hr>", progress("a.png", 1, 2), "<hr>",
            qt_error_string(ENOENT), progress("b.png", 2, 2, false), "<hr>",
            "Stamping Completed!" }));
}

void BatchRunTest::readOnlyOutputFolder()
{
    // Permissions do not stop root; a file system mounted read-only does.
    std::unique_ptr<ReadOnlyMount> mount;
    int expectedError = EACCES;
    if (::geteuid() == 0) {
        mount = std::make_unique<ReadOnlyMount>(out);
        if (!mount->mounted)
            QSKIP("cannot mount a read-only file system here");
        expectedError = EROFS;
    } else {
        QVERIFY(QFile::setPermissions(out, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    }
    addPicture("a.png", photoLike(8, 8));
    addPicture("b.png", photoLike(8, 8));
    const auto script = startRun();
    QCOMPARE(script->unexpected, 0);
    QVERIFY(fileNames(out).isEmpty());
    QCOMPARE(log(),
        (QStringList { "Stamping Started ...", "<hr>", qt_error_string(expectedError),
            progress("a.png", 1, 2, false), "<hr>", qt_error_string(expectedError),
            progress("b.png", 2, 2, false), "<hr>", "Stamping Completed!" }));
    if (!mount)
        QFile::setPermissions(
            out, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void BatchRunTest::unreadablePicture()
{
    if (::geteuid() == 0)
        QSKIP("file permissions do not stop root");
    const QString locked = addPicture("locked.png", photoLike(8, 8));
    QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions()));
    addPicture("b.png", photoLike(8, 8));
    const auto script = startRun();
    QCOMPARE(script->unexpected, 0);
    QCOMPARE(fileNames(out), QStringList { "b.png" });
    QCOMPARE(log(),
        (QStringList { "Stamping Started ...", "<hr>", qt_error_string(EACCES),
            progress("locked.png", 1, 2, false), "<hr>", progress("b.png", 2, 2), "<hr>",
            "Stamping Completed!" }));
}

void BatchRunTest::outOfMemoryIsAFailure()
{
    // Stretched to 99999 x 99999 pixels, 40 GB: the resize cannot get its
    // memory (the address space is capped, so this holds on any machine) and
    // the composition comes out empty. Nothing must be written for it.
    ui->resize_check->setChecked(true);
    ui->aspect_check->setChecked(false);
    ui->width_spin->setValue(99999);
    ui->height_spin->setValue(99999);
    addPicture("huge.png", photoLike(8, 6));
    std::unique_ptr<ModalScript> script;
    {
        AddressSpaceLimit limit { rlim_t(16) << 30 };
        script = startRun();
    }
    QCOMPARE(script->unexpected, 0);
    QVERIFY(fileNames(out).isEmpty());
    QCOMPARE(log(),
        (QStringList { "Stamping Started ...", "<hr>",
            "huge.png (8 x 6 pixels) could not be stamped: not enough memory.",
            progress("huge.png", 1, 1, false), "<hr>", "Stamping Completed!" }));
}

void BatchRunTest::badInputs()
{
    struct Bad
    {
        QString name;
        QByteArray bytes;
        QString mentions; // the refusal line names the picture and its size
    };
    const QList<Bad> bad = {
        { "zero.jpg", QByteArray(), QString() },
        { "text.jpg", QByteArray("this is text, not a picture\n"), QString() },
        { "cut.png", encode(photoLike(64, 64), "png").left(100), QString() },
        { "bomb.jpg", jpegClaiming(20000, 20000),
            "bomb.jpg is too large to stamp: 20000 x 20000 pixels" },
        { "bomb2.jpg", jpegClaiming(65500, 65500), "65500 x 65500 pixels" },
        { "bomb.png", pngClaiming(20000, 20000), "20000 x 20000 pixels" },
        { "bomb2.png", pngClaiming(100000, 100000),
            "bomb2.png is too large to stamp: 100000 x 100000" },
        { "bomb.gif", gifClaiming(20000, 20000), "20000 x 20000 pixels" },
        { "bomb2.gif", gifClaiming(65535, 65535), "65535 x 65535 pixels" },
    };
    QStringList expectedLines { "Stamping Started ..." };
    const int total = bad.size() + 4;
    int position = 0;
    for (const Bad &entry : bad) {
        QVERIFY(writeFile(src + '/' + entry.name, entry.bytes));
        ui->files_list->addItem(src + '/' + entry.name);
        expectedLines << "<hr>" << entry.mentions
                      << progress(QFileInfo(entry.name).completeBaseName() + ".png", ++position,
                             total, false);
    }
    // A FIFO and a folder named as pictures: neither is read, neither hangs.
    QVERIFY(::mkfifo(QFile::encodeName(src + "/pipe.jpg").constData(), 0600) == 0);
    ui->files_list->addItem(src + "/pipe.jpg");
    QVERIFY(QDir().mkpath(src + "/folder.png"));
    ui->files_list->addItem(src + "/folder.png");
    expectedLines << "<hr>"
                  << "Not a regular file" << progress("pipe.png", ++position, total, false);
    expectedLines << "<hr>"
                  << "Not a regular file" << progress("folder.png", ++position, total, false);
    // And names that are hard on text handling, which must work.
    const QString odd = "bright day é ü 日本 & <b>x<i>";
    addPicture(odd + ".png", photoLike(9, 9, 9));
    addPicture("after.jpg", photoLike(9, 9, 10), "jpg");
    expectedLines << "<hr>" << progress(odd + ".png", ++position, total);
    expectedLines << "<hr>" << progress("after.png", ++position, total);
    expectedLines << "<hr>"
                  << "Stamping Completed!";

    const auto sources = snapshot(src);
    QElapsedTimer clock;
    clock.start();
    const auto script = startRun();
    QVERIFY(clock.elapsed() < 60000);
    QCOMPARE(script->unexpected, 0);
    QCOMPARE(fileNames(out), (QStringList { "after.png", odd + ".png" }));
    QCOMPARE(snapshot(src), sources);

    const QStringList lines = log();
    QCOMPARE(lines.size(), expectedLines.size());
    for (int k = 0; k < lines.size(); ++k) {
        if (expectedLines[k].isEmpty())
            QVERIFY2(!lines[k].isEmpty(), "an error text was expected"); // the reader's own words
        else if (expectedLines[k].endsWith(')') || expectedLines[k] == "<hr>")
            QCOMPARE(lines[k], expectedLines[k]);
        else
            QVERIFY2(lines[k].contains(expectedLines[k]), qPrintable(lines[k]));
    }
}

void BatchRunTest::warningEscapesNames()
{
    out = dir->filePath("t&t <out>");
    QVERIFY(QDir().mkpath(out));
    addPicture("a&b<i>.png", photoLike(8, 8));
    QVERIFY(writeFile(out + "/a&b<i>.png", "taken"));
    const auto script = startRun();
    QCOMPARE(script->unexpected, 0);
    QCOMPARE(readFile(out + "/a&b<i>.png"), QByteArray("taken"));
    const QStringList names = fileNames(out);
    QCOMPARE(names.size(), 2);

    const QString expected
        = QStringLiteral("Warning - File %1/a&b<i>.png saved with new name %1/%2 "
                         "to avoid overwrite because it already existed!")
              .arg(out, names[1]);
    QVERIFY2(log().contains(expected), qPrintable(log().join('\n')));
    QVERIFY(log().contains(progress("a&b<i>.png", 1, 1)));

    // "Warning" is bold and #ffc90e, the names are plain text.
    QTextDocument *document = ui->log_plain->document();
    QTextCursor found = document->find("Warning - File");
    QVERIFY(!found.isNull());
    QTextCursor word(found.block());
    word.setPosition(found.block().position() + 1);
    QCOMPARE(word.charFormat().fontWeight(), int(QFont::Bold));
    QCOMPARE(word.charFormat().foreground().color(), QColor("#ffc90e"));
    QTextCursor name = document->find("a&b<i>");
    QVERIFY(!name.isNull());
    QVERIFY(name.charFormat().fontWeight() != int(QFont::Bold));
    QVERIFY(!name.charFormat().fontItalic());
}

TARVELO_TEST_MAIN(BatchRunTest)
#include "tst_batchrun.moc"
