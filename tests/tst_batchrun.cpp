// The batch run, driven through the real start button with its real boxes
// and folder dialog: what is written (names, formats, quality, pixels), what
// the log and the progress bar show, stopping, the list changing under the
// run, and hostile inputs and failing disks, which must never cost a crash,
// an existing file or a file outside the output folder.

#include <QImageReader>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QtTest>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "testsupport.h"

using namespace TestSupport;

namespace {

const QString tagPattern = QStringLiteral("_\\d{17}");

// A small tmpfs of its own over a folder, to fill up or to make read-only
// (which stops root as well). Mounting needs privileges the test may not
// have; then the case is skipped.
class Mount
{
public:
    Mount(const QString &path, unsigned long flags)
        : path(QFile::encodeName(path))
    {
        mounted = ::mount("tmpfs", this->path.constData(), "tmpfs", flags, "size=64k") == 0;
    }
    ~Mount()
    {
        if (mounted)
            ::umount2(path.constData(), MNT_DETACH);
    }
    bool mounted = false;

private:
    QByteArray path;
};

// Incompressible pixels: its PNG is about as large as the picture.
QImage noise(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    quint32 state = 77;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, 0xff000000u | ((state = state * 1664525u + 1013904223u) >> 8));
    return image;
}

QString progress(const QString &name, int position, int total, bool ok = true)
{
    return QStringLiteral("%1 ... %2 (%3 of %4)")
        .arg(name, ok ? "OK!" : "Failed!")
        .arg(position)
        .arg(total);
}

// The log as appended: "<hr>" for a horizontal rule, the text otherwise. A
// rule shows in the document as two empty blocks (the run never logs an
// empty line).
QStringList logLines(const QPlainTextEdit *log)
{
    QStringList lines;
    int empties = 0;
    const auto flush = [&]() {
        for (int k = 0; k < empties / 2; ++k)
            lines << QStringLiteral("<hr>");
        if (empties % 2)
            lines << QString();
        empties = 0;
    };
    for (QTextBlock block = log->document()->begin(); block.isValid(); block = block.next()) {
        if (block.text().isEmpty()) {
            ++empties;
            continue;
        }
        flush();
        lines << block.text();
    }
    flush();
    // A fresh document holds one empty block, which the first line fills.
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// Runs an action at the event processing of picture step `step` (counted
// from 1) of a running batch: every step appends a rule to the log and then
// lets events run once, which is when the action runs.
class StepHook : public QObject
{
public:
    explicit StepHook(QPlainTextEdit *log)
        : log(log)
        , base(logLines(log).count(QStringLiteral("<hr>")))
    {
        connect(log, &QPlainTextEdit::textChanged, this, [this]() {
            const int now = logLines(this->log).count(QStringLiteral("<hr>")) - base;
            while (rules < now)
                if (actions.contains(++rules))
                    QTimer::singleShot(0, this, actions.value(rules));
        });
    }
    void at(int step, std::function<void()> action) { actions.insert(step, action); }

private:
    QPlainTextEdit *log;
    int base;
    int rules = 0;
    QMap<int, std::function<void()>> actions;
};

} // namespace

class BatchRunTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void outputSuffixFallsBackToJpg();
    void emptyListWarns();
    void folderDialogCancelledOrFolderGone();
    void questions_data();
    void questions();
    void runWritesEveryPicture();
    void smoothDuringRunOnly();
    void composesTwiceWithSmoothScaling_data();
    void composesTwiceWithSmoothScaling();
    void sameBaseNameGetsTagAndWarning();
    void outputIntoSourceFolder();
    void danglingLinkAtOutputName();
    void stop_data();
    void stop();
    void listChanges_data();
    void listChanges();
    void formatAndQualityDuringRun();
    void failingWrites_data();
    void failingWrites();
    void badInputs();

private:
    QString addPicture(const QString &name, const QImage &image, const char *format = "png");
    std::unique_ptr<Modals> startRun(bool expectDone = true);
    QStringList log() const { return logLines(ui->log_plain); }

    std::unique_ptr<MainWindow> window;
    Ui::MainWindow *ui = nullptr;
    std::unique_ptr<QTemporaryDir> dir;
    QString src;
    QString out;
};

void BatchRunTest::init()
{
    window = plainWindow();
    ui = WindowProbe::ui(*window);
    // Text and logo present (so that no question is asked) but placed far
    // outside every picture: nothing visible is stamped unless asked.
    ui->wtrmark_edit->setText("Tarvelo");
    ui->txt_x_spin->setValue(9999);
    WindowProbe::logoImage(*window) = solid(6, 4, Qt::red);
    ui->x_spin->setValue(999999);
    ui->outpng_radio->setChecked(true);
    ui->actual_radio->setChecked(true);
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

// Presses Start, choosing `out` in the folder dialog and (when expected)
// answering the "Done" box.
std::unique_ptr<Modals> BatchRunTest::startRun(bool expectDone)
{
    auto modals = std::make_unique<Modals>();
    modals->file(out);
    if (expectDone)
        modals->box(QMessageBox::Ok);
    press(ui->start_btn);
    return modals;
}

// With no format button checked (restored options can leave the group so)
// the output is JPG; the others are named by the files of the runs below.
void BatchRunTest::outputSuffixFallsBackToJpg()
{
    for (QRadioButton *radio : { ui->outjpg_radio, ui->outpng_radio, ui->outtif_radio }) {
        radio->setAutoExclusive(false);
        radio->setChecked(false);
    }
    QCOMPARE(WindowProbe::outputSuffix(*window), QStringLiteral("jpg"));
}

void BatchRunTest::emptyListWarns()
{
    Modals modals;
    modals.box(QMessageBox::Ok);
    press(ui->start_btn);
    QCOMPARE(modals.seen.size(), 1); // and no folder dialog after it
    QCOMPARE(modals.unexpected, 0);
    QCOMPARE(boxText(modals.seen[0]),
        boxText(QMessageBox::Warning, "No pictures to stamp!",
            "First add some pictures using Add Pictures button.", { QMessageBox::Ok }));
    QVERIFY(log().isEmpty());
    QCOMPARE(ui->start_btn->text(), QStringLiteral(" Start Stamping"));
}

void BatchRunTest::folderDialogCancelledOrFolderGone()
{
    addPicture("a.png", photoLike(8, 8));
    {
        Modals modals;
        modals.file(QString());
        press(ui->start_btn);
        QCOMPARE(modals.seen.size(), 1);
        QCOMPARE(modals.seen[0].className, QStringLiteral("QFileDialog"));
        QCOMPARE(modals.seen[0].title, QStringLiteral("Select Output Folder"));
        // Folders only (the toolkit reports ShowDirsOnly as its old DirectoryOnly mode).
        QVERIFY(modals.seen[0].dirsOnly);
        QVERIFY(modals.seen[0].fileMode == QFileDialog::Directory || modals.seen[0].fileMode == 4);
    }
    QCOMPARE(ui->main_tab->currentIndex(), 0);

    // The folder is gone by the time the dialog has returned it.
    const auto before = snapshot(dir->path(), out);
    Modals modals;
    modals.file(out, [this]() { QDir(out).removeRecursively(); }).box(QMessageBox::Ok);
    press(ui->start_btn);
    QCOMPARE(modals.seen.size(), 2);
    QCOMPARE(modals.unexpected, 0);
    QCOMPARE(boxText(modals.seen[1]),
        boxText(QMessageBox::Warning, "Error", "What's goin on here?!", { QMessageBox::Ok }));
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
    const int yes = QMessageBox::Yes, no = QMessageBox::No;
    // clang-format off
    QTest::newRow("blank text, No") << "  \t " << true << QList<int> { no } << QStringList { noText } << false;
    QTest::newRow("blank text, Yes") << "   " << true << QList<int> { yes } << QStringList { noText } << true;
    QTest::newRow("no logo, No") << "text" << false << QList<int> { no } << QStringList { noLogo } << false;
    QTest::newRow("neither, Yes Yes") << "" << false << QList<int> { yes, yes } << QStringList { noText, noLogo } << true;
    QTest::newRow("neither, Yes No") << "" << false << QList<int> { yes, no } << QStringList { noText, noLogo } << false;
    QTest::newRow("neither, No") << "" << false << QList<int> { no } << QStringList { noText } << false;
    // clang-format on
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
    Modals modals;
    modals.file(out);
    for (int answer : answers)
        modals.box(QMessageBox::StandardButton(answer));
    if (runs)
        modals.box(QMessageBox::Ok);
    press(ui->start_btn);
    QCOMPARE(modals.unexpected, 0);
    QVERIFY(modals.done());
    for (int k = 0; k < asked.size(); ++k)
        QCOMPARE(boxText(modals.seen.at(k + 1)),
            boxText(
                QMessageBox::Warning, "Warning", asked[k], { QMessageBox::Yes, QMessageBox::No }));
    QCOMPARE(fileNames(out), runs ? QStringList { "a.png" } : QStringList());
    QCOMPARE(log().isEmpty(), !runs);
}

void BatchRunTest::runWritesEveryPicture()
{
    const QImage a = photoLike(30, 20, 1), b = photoLike(25, 40, 2), c = photoLike(9, 7, 3);
    addPicture("a.png", a);
    addPicture("my.trip.jpeg", b, "jpg");
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
    const auto modals = startRun();

    QCOMPARE(modals->unexpected, 0);
    QCOMPARE(modals->seen.size(), 2);
    QCOMPARE(boxText(modals->seen[1]),
        boxText(QMessageBox::Information, "Tarvelo", "Done", { QMessageBox::Ok }));
    QCOMPARE(captionDuring, QStringLiteral("Stop"));
    QCOMPARE(modeDuring, int(Qt::SmoothTransformation));
    QCOMPARE(tabDuring, 1);
    QVERIFY(stampingDuring);

    // A dotted name keeps its dots.
    QCOMPARE(fileNames(out), (QStringList { "a.png", "c.png", "my.trip.png" }));
    QCOMPARE(QImage(out + "/a.png").convertToFormat(QImage::Format_RGB32), a);
    QCOMPARE(QImage(out + "/my.trip.png").convertToFormat(QImage::Format_RGB32),
        QImage(src + "/my.trip.jpeg").convertToFormat(QImage::Format_RGB32));
    QCOMPARE(QImage(out + "/c.png").convertToFormat(QImage::Format_RGB32), c);
    QCOMPARE(snapshot(src), sources);
    QCOMPARE(log(),
        (QStringList { "Stamping Started ...", "<hr>", progress("a.png", 1, 3), "<hr>",
            progress("my.trip.png", 2, 3), "<hr>", progress("c.png", 3, 3), "<hr>",
            "Stamping Completed!" }));
    QCOMPARE(ui->prog_bar->minimum(), 0);
    QCOMPARE(ui->prog_bar->maximum(), 2);
    QCOMPARE(ui->prog_bar->value(), 2);
    QCOMPARE(ui->main_tab->currentIndex(), 1);
    QCOMPARE(ui->start_btn->text(), QStringLiteral("Start Stamping"));
    QVERIFY(!WindowProbe::stamping(*window));
    QCOMPARE(WindowProbe::transformMode(*window), int(Qt::FastTransformation));
    // The last picture stays loaded; the list's selection is not touched.
    QCOMPARE(WindowProbe::sourceImage(*window).size(), QSize(9, 7));
    QCOMPARE(ui->files_list->currentRow(), -1);
}

// Smooth scaling is for the run only: afterwards the mode comes from the
// check box again, not from whatever it was before the run.
void BatchRunTest::smoothDuringRunOnly()
{
    addPicture("a.png", photoLike(8, 8));
    for (bool checked : { false, true }) {
        const QSignalBlocker quietly(ui->smooth_check);
        ui->smooth_check->setChecked(checked);
        WindowProbe::transformMode(*window)
            = checked ? Qt::FastTransformation : Qt::SmoothTransformation;
        QCOMPARE(startRun()->unexpected, 0);
        QCOMPARE(WindowProbe::transformMode(*window),
            int(checked ? Qt::SmoothTransformation : Qt::FastTransformation));
    }
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
    const QImage logo = solid(8, 6, QColor(200, 30, 40, 180));
    WindowProbe::logoImage(*window) = logo;
    // A preview of another size comes first, as it would in real use.
    WindowProbe::stampedImage(*window) = QImage(500, 400, QImage::Format_ARGB32);
    const QImage picture = photoLike(200, 100, 21, true);
    addPicture("p.png", picture);
    QCOMPARE(startRun()->unexpected, 0);

    // The same steps, written out with the toolkit directly.
    QImage argb(picture.size(), QImage::Format_ARGB32);
    argb.fill(Qt::transparent);
    QPainter(&argb).drawImage(0, 0, picture);
    QImage expected = argb.scaled(64, 48, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QPainter(&expected).drawImage(
        QPoint(64 - 8, 48 - 6), logo.scaled(8, 6, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    const QString suffix = WindowProbe::outputSuffix(*window);
    QCOMPARE(fileNames(out), QStringList { "p." + suffix });
    // The pixels the program's own encoder makes of them (its bytes carry
    // the source's resolution besides).
    QCOMPARE(QImage(out + "/p." + suffix).convertToFormat(QImage::Format_ARGB32),
        QImage::fromData(PictureIO::encode(expected, suffix, quality).bytes)
            .convertToFormat(QImage::Format_ARGB32));
    QCOMPARE(WindowProbe::stampedImage(*window).size(), QSize(64, 48));
}

// Names are escaped in the warning: "Warning" is bold and #ffc90e, the names
// are plain text.
void BatchRunTest::sameBaseNameGetsTagAndWarning()
{
    out = dir->filePath("t&t <out>");
    QVERIFY(QDir().mkpath(out));
    const QImage first = photoLike(10, 10, 1), second = photoLike(12, 12, 2);
    addPicture("a&b<i>.png", first);
    addPicture("other/a&b<i>.png", second);
    QCOMPARE(startRun()->unexpected, 0);

    const QStringList names = fileNames(out);
    QCOMPARE(names.size(), 2);
    QCOMPARE(names[0], QStringLiteral("a&b<i>.png"));
    QVERIFY2(QRegularExpression("^a&b<i>" + tagPattern + "\\.png$").match(names[1]).hasMatch(),
        qPrintable(names[1]));
    QCOMPARE(QImage(out + '/' + names[0]).convertToFormat(QImage::Format_RGB32), first);
    QCOMPARE(QImage(out + '/' + names[1]).convertToFormat(QImage::Format_RGB32), second);
    const QString warning
        = QStringLiteral("Warning - File %1/a&b<i>.png saved with new name %1/%2 to avoid "
                         "overwrite because it already existed!")
              .arg(out, names[1]);
    QCOMPARE(log(),
        (QStringList { "Stamping Started ...", "<hr>", progress("a&b<i>.png", 1, 2), "<hr>",
            warning, progress("a&b<i>.png", 2, 2), "<hr>", "Stamping Completed!" }));

    QTextCursor found = ui->log_plain->document()->find("Warning - File");
    QTextCursor word(found.block());
    word.setPosition(found.block().position() + 1);
    QCOMPARE(word.charFormat().fontWeight(), int(QFont::Bold));
    QCOMPARE(word.charFormat().foreground().color(), QColor("#ffc90e"));
    QTextCursor name = ui->log_plain->document()->find("a&b<i>", found.position());
    QVERIFY(!name.isNull());
    QVERIFY(name.charFormat().fontWeight() != int(QFont::Bold));
    QVERIFY(!name.charFormat().fontItalic());
}

void BatchRunTest::outputIntoSourceFolder()
{
    out = src;
    addPicture("a.png", photoLike(16, 9, 4));
    addPicture("b.png", photoLike(5, 5, 5));
    const auto before = snapshot(src);
    QCOMPARE(startRun()->unexpected, 0);
    auto after = snapshot(src);
    QCOMPARE(after.size(), 4);
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        QCOMPARE(after.take(it.key()), it.value());
    for (const QString &name : after.keys())
        QVERIFY2(QRegularExpression("^[ab]" + tagPattern + "\\.png$").match(name).hasMatch(),
            qPrintable(name));
    QCOMPARE(log().filter("Warning - File").size(), 2);
}

void BatchRunTest::danglingLinkAtOutputName()
{
    QTemporaryDir elsewhere;
    const QString planted = elsewhere.filePath("planted.png");
    QVERIFY(QFile::link(planted, out + "/a.png"));
    addPicture("a.png", photoLike(8, 8));
    QCOMPARE(startRun()->unexpected, 0);
    QVERIFY(!QFileInfo::exists(planted));
    QCOMPARE(QFileInfo(out + "/a.png").symLinkTarget(), planted);
    const QStringList names = fileNames(out);
    QCOMPARE(names.size(), 2);
    QVERIFY(QRegularExpression("^a" + tagPattern + "\\.png$").match(names[1]).hasMatch());
    QCOMPARE(log().filter("Warning - File").size(), 1);
    QVERIFY(log().contains(progress("a.png", 1, 1)));
    // One picture: a range of 0 to 0.
    QCOMPARE(ui->prog_bar->maximum(), 0);
    QCOMPARE(ui->prog_bar->value(), 0);
}

void BatchRunTest::stop_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<bool>("confirmed");
    QTest::addColumn<QStringList>("written");
    QTest::newRow("declined") << 1 << false << QStringList { "a.png", "b.png", "c.png" };
    QTest::newRow("at the first picture") << 1 << true << QStringList { "a.png" };
    QTest::newRow("at the last picture") << 3 << true << QStringList { "a.png", "b.png", "c.png" };
}

// Start, pressed during a run, asks whether to stop; the picture in progress
// is still finished.
void BatchRunTest::stop()
{
    QFETCH(int, step);
    QFETCH(bool, confirmed);
    QFETCH(QStringList, written);
    for (const char *name : { "a.png", "b.png", "c.png" })
        addPicture(name, photoLike(8, 8));
    StepHook hook(ui->log_plain);
    QString captionAfter;
    bool stampingAfter = !confirmed;
    hook.at(step, [&]() {
        press(ui->start_btn);
        captionAfter = ui->start_btn->text();
        stampingAfter = WindowProbe::stamping(*window);
    });
    Modals modals;
    modals.file(out).box(confirmed ? QMessageBox::Yes : QMessageBox::No);
    if (!confirmed)
        modals.box(QMessageBox::Ok);
    press(ui->start_btn);

    QCOMPARE(modals.unexpected, 0);
    QCOMPARE(modals.seen.size(), confirmed ? 2 : 3); // no "Done" after a stop
    QCOMPARE(boxText(modals.seen[1]),
        boxText(QMessageBox::Warning, "Warning", "Are you you want to stop stamping?",
            { QMessageBox::Yes, QMessageBox::No }));
    QCOMPARE(captionAfter, confirmed ? QStringLiteral("Start Stamping") : QStringLiteral("Stop"));
    QCOMPARE(stampingAfter, !confirmed);
    QCOMPARE(fileNames(out), written);
    const QStringList lines = log();
    QCOMPARE(lines.mid(lines.size() - 3),
        (QStringList { progress(written.last(), written.size(), 3), "<hr>",
            confirmed ? "Stamping interrupted!" : "Stamping Completed!" }));
    QCOMPARE(ui->start_btn->text(), QStringLiteral("Start Stamping"));
    QCOMPARE(WindowProbe::transformMode(*window), int(Qt::FastTransformation));
    QVERIFY(!WindowProbe::stamping(*window));
}

void BatchRunTest::listChanges_data()
{
    QTest::addColumn<int>("step"); // 0: before the run
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("written");
    QTest::addColumn<QStringList>("lines");
    const QString started = "Stamping Started ...", completed = "Stamping Completed!";
    const QString a = progress("a.png", 1, 3);
    // clang-format off
    QTest::newRow("cleared at the second picture") << 2 << "clear" << QStringList { "a.png" }
        << QStringList { started, "<hr>", a, "<hr>", "<hr>", completed };
    QTest::newRow("second removed at the second picture") << 2 << "remove 1" << QStringList { "a.png", "c.png" }
        << QStringList { started, "<hr>", a, "<hr>", progress("c.png", 2, 2), "<hr>", completed };
    QTest::newRow("last removed at the last picture") << 3 << "remove 2" << QStringList { "a.png", "b.png" }
        << QStringList { started, "<hr>", a, "<hr>", progress("b.png", 2, 3), "<hr>", "<hr>", completed };
    QTest::newRow("one added at the first picture") << 1 << "add" << QStringList { "a.png", "b.png", "c.png", "z.png" }
        << QStringList { started, "<hr>", progress("a.png", 1, 4), "<hr>", progress("b.png", 2, 4), "<hr>",
               progress("c.png", 3, 4), "<hr>", progress("z.png", 4, 4), "<hr>", completed };
    // A file deleted since it was listed is skipped without a word.
    QTest::newRow("second file gone before the run") << 0 << "delete" << QStringList { "a.png", "c.png" }
        << QStringList { started, "<hr>", a, "<hr>", "<hr>", progress("c.png", 3, 3), "<hr>", completed };
    QTest::newRow("second file deleted at its turn") << 2 << "delete" << QStringList { "a.png", "c.png" }
        << QStringList { started, "<hr>", a, "<hr>", "<hr>", progress("c.png", 3, 3), "<hr>", completed };
    // clang-format on
}

void BatchRunTest::listChanges()
{
    QFETCH(int, step);
    QFETCH(QString, change);
    QFETCH(QStringList, written);
    QFETCH(QStringList, lines);
    for (const char *name : { "a.png", "b.png", "c.png" })
        addPicture(name, photoLike(8, 8));
    const QString added = src + "/z.png";
    QVERIFY(writeFile(added, encode(photoLike(8, 8), "png")));
    const auto act = [this, change, added]() {
        if (change == "clear") {
            press(ui->clear_btn);
        } else if (change == "add") {
            ui->files_list->addItem(added);
        } else if (change == "delete") {
            QFile::remove(src + "/b.png");
        } else {
            ui->files_list->setCurrentRow(change.mid(7).toInt());
            press(ui->remove_btn);
        }
    };
    StepHook hook(ui->log_plain);
    if (step == 0)
        act();
    else
        hook.at(step, act);
    QCOMPARE(startRun()->unexpected, 0);
    QCOMPARE(fileNames(out), written);
    QCOMPARE(log(), lines);
}

// The JPG quality is fixed at the start; each file holds the format its name
// says, also after the format buttons changed during the run.
void BatchRunTest::formatAndQualityDuringRun()
{
    ui->outjpg_radio->setChecked(true);
    ui->comp_slider->setValue(90);
    const QImage picture = photoLike(64, 48, 7);
    for (const char *name : { "a.png", "b.png", "c.png", "d.png" })
        addPicture(name, picture);
    StepHook hook(ui->log_plain);
    hook.at(2, [this]() { ui->comp_slider->setValue(5); });
    hook.at(3, [this]() { ui->outpng_radio->setChecked(true); });
    hook.at(4, [this]() { ui->outtif_radio->setChecked(true); });
    QCOMPARE(startRun()->unexpected, 0);

    QCOMPARE(fileNames(out), (QStringList { "a.jpg", "b.jpg", "c.png", "d.tif" }));
    const QImage atNinety = QImage::fromData(PictureIO::encode(picture, "jpg", 90).bytes);
    QCOMPARE(QImage(out + "/a.jpg"), atNinety);
    QCOMPARE(QImage(out + "/b.jpg"), atNinety);
    const QList<QPair<QString, QByteArray>> formats = { { "c.png", "png" }, { "d.tif", "tiff" } };
    for (const auto &entry : formats) {
        QFile file(out + '/' + entry.first);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QImageReader::imageFormat(&file), entry.second);
        // Lossless formats: the pixels are exact.
        QCOMPARE(QImage(file.fileName()).convertToFormat(QImage::Format_RGB32), picture);
    }
    QVERIFY(log().contains(progress("c.png", 3, 4)));
    QVERIFY(log().contains(progress("d.tif", 4, 4)));
}

void BatchRunTest::failingWrites_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QStringList>("pictures"); // "big" ones are noise
    QTest::addColumn<QStringList>("written");
    QTest::addColumn<QStringList>("lines");
    const QString started = "Stamping Started ...", completed = "Stamping Completed!";
    const QString readOnly = qt_error_string(::geteuid() == 0 ? EROFS : EACCES);
    // clang-format off
    QTest::newRow("full disk") << "full disk" << QStringList { "big.png", "small.png" } << QStringList { "small.png" }
        << QStringList { started, "<hr>", qt_error_string(ENOSPC), progress("big.png", 1, 2, false), "<hr>", progress("small.png", 2, 2), "<hr>", completed };
    QTest::newRow("file size limit") << "file size limit" << QStringList { "big.png", "small.png", "big2.png" } << QStringList { "small.png" }
        << QStringList { started, "<hr>", qt_error_string(EFBIG), progress("big.png", 1, 3, false), "<hr>", progress("small.png", 2, 3), "<hr>",
               qt_error_string(EFBIG), progress("big2.png", 3, 3, false), "<hr>", completed };
    QTest::newRow("output folder removed during the run") << "removed" << QStringList { "a.png", "b.png" } << QStringList()
        << QStringList { started, "<hr>", progress("a.png", 1, 2), "<hr>", qt_error_string(ENOENT), progress("b.png", 2, 2, false), "<hr>", completed };
    QTest::newRow("read-only output folder") << "read-only" << QStringList { "a.png", "b.png" } << QStringList()
        << QStringList { started, "<hr>", readOnly, progress("a.png", 1, 2, false), "<hr>", readOnly, progress("b.png", 2, 2, false), "<hr>", completed };
    QTest::newRow("unreadable picture") << "unreadable" << QStringList { "locked.png", "b.png" } << QStringList { "b.png" }
        << QStringList { started, "<hr>", qt_error_string(EACCES), progress("locked.png", 1, 2, false), "<hr>", progress("b.png", 2, 2), "<hr>", completed };
    // Stretched to 99999 x 99999 pixels, 40 GB: the resize cannot get its
    // memory (the address space is capped, so this holds on any machine).
    QTest::newRow("out of memory") << "memory" << QStringList { "huge.png" } << QStringList()
        << QStringList { started, "<hr>", "huge.png (8 x 8 pixels) could not be stamped: not enough memory.", progress("huge.png", 1, 1, false), "<hr>", completed };
    // clang-format on
}

// A picture that cannot be written fails alone, and leaves nothing behind.
void BatchRunTest::failingWrites()
{
    QFETCH(QString, fault);
    QFETCH(QStringList, pictures);
    QFETCH(QStringList, written);
    QFETCH(QStringList, lines);
    for (const QString &name : pictures)
        addPicture(name, name.startsWith("big") ? noise(256, 256) : photoLike(8, 8));
    const auto sources = snapshot(src);
    const auto others = snapshot(dir->path(), out);
    std::unique_ptr<Mount> mount;
    std::unique_ptr<ResourceLimit> limit;
    StepHook hook(ui->log_plain);
    if (fault == "full disk" || (fault == "read-only" && ::geteuid() == 0)) {
        // Permissions do not stop root; a file system mounted read-only does.
        mount = std::make_unique<Mount>(out, fault == "read-only" ? MS_RDONLY : 0);
        if (!mount->mounted)
            QSKIP("cannot mount a small file system here");
    } else if (fault == "read-only") {
        QVERIFY(QFile::setPermissions(out, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    } else if (fault == "unreadable") {
        if (::geteuid() == 0)
            QSKIP("file permissions do not stop root");
        QVERIFY(QFile::setPermissions(src + "/locked.png", QFileDevice::Permissions()));
    } else if (fault == "file size limit") {
        limit = std::make_unique<ResourceLimit>(RLIMIT_FSIZE, 8000);
    } else if (fault == "removed") {
        hook.at(2, [this]() { QDir(out).removeRecursively(); });
    } else if (fault == "memory") {
        ui->resize_check->setChecked(true);
        ui->aspect_check->setChecked(false);
        ui->width_spin->setValue(99999);
        ui->height_spin->setValue(99999);
        limit = std::make_unique<ResourceLimit>(RLIMIT_AS, rlim_t(16) << 30);
    }
    const auto modals = startRun();
    limit.reset();
    QCOMPARE(modals->unexpected, 0);
    QCOMPARE(fileNames(out), written);
    QCOMPARE(log(), lines);
    QCOMPARE(snapshot(src), sources);
    QCOMPARE(snapshot(dir->path(), out), others);
    QFile::setPermissions(
        out, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void BatchRunTest::badInputs()
{
    struct Bad
    {
        QString name;
        QByteArray bytes;
        QString line; // "" where the reader's own words are expected
    };
    const QList<Bad> bad = {
        { "zero.jpg", QByteArray(), QString() },
        { "cut.png", encode(photoLike(64, 64), "png").left(100), QString() },
        { "bomb.jpg", jpegClaiming(20000, 20000),
            "bomb.jpg is too large to stamp: 20000 x 20000 pixels, more than 300 megapixels." },
        { "bomb.png", pngClaiming(100000, 100000),
            "bomb.png is too large to stamp: 100000 x 100000 pixels, more than 300 megapixels." },
        { "bomb.gif", gifClaiming(65535, 65535),
            "bomb.gif is too large to stamp: 65535 x 65535 pixels, more than 300 megapixels." },
    };
    QStringList expected { "Stamping Started ..." };
    const int total = bad.size() + 4;
    int position = 0;
    for (const Bad &entry : bad) {
        QVERIFY(writeFile(src + '/' + entry.name, entry.bytes));
        ui->files_list->addItem(src + '/' + entry.name);
        expected << "<hr>" << entry.line
                 << progress(QFileInfo(entry.name).completeBaseName() + ".png", ++position, total,
                        false);
    }
    // A FIFO and a folder named as pictures: neither is read, neither hangs.
    QVERIFY(::mkfifo(QFile::encodeName(src + "/pipe.jpg").constData(), 0600) == 0);
    QVERIFY(QDir().mkpath(src + "/folder.png"));
    for (const char *name : { "pipe", "folder" }) {
        ui->files_list->addItem(
            src + '/' + name + (name == QLatin1String("pipe") ? ".jpg" : ".png"));
        expected << "<hr>"
                 << "Not a regular file"
                 << progress(QString(name) + ".png", ++position, total, false);
    }
    // And names that are hard on text handling, which must work.
    const QString odd = "bright day é ü 日本 & <b>x<i>";
    addPicture(odd + ".png", photoLike(9, 9, 9));
    addPicture("after.jpg", photoLike(9, 9, 10), "jpg");
    expected << "<hr>" << progress(odd + ".png", position + 1, total) << "<hr>"
             << progress("after.png", position + 2, total);
    expected << "<hr>"
             << "Stamping Completed!";

    const auto sources = snapshot(src);
    QCOMPARE(startRun()->unexpected, 0);
    QCOMPARE(fileNames(out), (QStringList { "after.png", odd + ".png" }));
    QCOMPARE(snapshot(src), sources);
    const QStringList lines = log();
    QCOMPARE(lines.size(), expected.size());
    for (int k = 0; k < lines.size(); ++k) {
        if (expected[k].isEmpty())
            QVERIFY2(
                !lines[k].isEmpty() && !lines[k].contains(" ... "), "an error text was expected");
        else
            QCOMPARE(lines[k], expected[k]);
    }
}

TARVELO_TEST_MAIN(BatchRunTest)
#include "tst_batchrun.moc"
