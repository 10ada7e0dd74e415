// A batch of real photographs stamped through the start button, exactly as
// a user runs it: the folder dialog, reading, composing twice, writing JPG
// at quality 90, the log and the "Done" box. The options are those of a first
// run (a 15-row dark bar at the bottom, the default text, resized to 1920 x
// 1920 without keeping the proportions) plus a logo. For comparison the same
// job is done by ImageMagick's convert, one process per photo.
//
// The photos are the JPEGs of at least 6 megapixels in Debian's
// lomiri-wallpapers-16.04, lomiri-wallpapers-20.04 and mate-backgrounds
// (`make bench` installs them).

#include "benchwindow.h"
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QImageReader>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <memory>

#include "window/mainwindow.h"
// The window's state is reached the way the tests reach it (this also
// brings in the form's header that tarvelo_core generates).
#include "../tests/windowprobe.h"

namespace {

const char *const corpusPackages[]
    = { "lomiri-wallpapers-16.04", "lomiri-wallpapers-20.04", "mate-backgrounds" };
constexpr qint64 minimumPixels = 6000000;

struct Photo
{
    QString path;
    qint64 pixels;
};

QList<Photo> corpus()
{
    QProcess dpkg;
    QStringList arguments { "-L" };
    for (const char *package : corpusPackages)
        arguments << QString::fromLatin1(package);
    dpkg.start("dpkg-query", arguments);
    dpkg.waitForFinished();
    QList<Photo> photos;
    const QStringList files = QString::fromLocal8Bit(dpkg.readAllStandardOutput()).split('\n');
    for (const QString &file : files) {
        if (!file.endsWith(".jpg", Qt::CaseInsensitive)
            && !file.endsWith(".jpeg", Qt::CaseInsensitive))
            continue;
        const QSize size = QImageReader(file).size();
        const qint64 pixels = qint64(size.width()) * size.height();
        if (pixels >= minimumPixels)
            photos.append({ file, pixels });
    }
    return photos;
}

// Answers what the run asks: the folder dialog with `folder`, the "Done"
// box with OK.
class Answerer : public QObject
{
public:
    explicit Answerer(const QString &folder)
        : folder(folder)
    {
        connect(&timer, &QTimer::timeout, this, &Answerer::poll);
        timer.start(2);
    }

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            edit->setText(folder);
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QApplication::sendEvent(edit, &press);
        } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            box->button(QMessageBox::Ok)->click();
        }
    }

    QString folder;
    QTimer timer;
};

struct Session
{
    QList<Photo> photos;
    qint64 totalPixels = 0;
    QString logoPath;
    std::unique_ptr<MainWindow> window;
    Ui::MainWindow *ui = nullptr;
    QTemporaryDir scratch;

    Session()
    {
        photos = corpus();
        for (const Photo &photo : photos)
            totalPixels += photo.pixels;

        // First-run options: nothing stored.
        QSettings(QStringLiteral("Dovrin Halsek"), QStringLiteral("Tarvelo")).clear();
        window = std::make_unique<MainWindow>();
        ui = WindowProbe::ui(*window);
        // The program's own icon (256 x 256, with transparency) as the logo,
        // read the way the logo is read.
        logoPath = scratch.filePath("logo.png");
        QImage(QStringLiteral(":/Resources/icon.png")).save(logoPath);
        WindowProbe::logoFileName(*window) = logoPath;
        WindowProbe::logoImage(*window) = QImage(logoPath);
        window->resize(1600, 1000);
        window->show();
        QCoreApplication::processEvents();
        for (const Photo &photo : photos)
            ui->files_list->addItem(photo.path);
    }

    // One whole run through the start button; returns the number of
    // pictures the log reports as written.
    int run(const QString &folder)
    {
        ui->log_plain->clear();
        Answerer answerer(folder);
        const QPoint middle = ui->start_btn->rect().center();
        QMouseEvent press(
            QEvent::MouseButtonPress, middle, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(ui->start_btn, &press);
        QMouseEvent release(
            QEvent::MouseButtonRelease, middle, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(ui->start_btn, &release);
        return ui->log_plain->toPlainText().count(QStringLiteral(" ... OK! ("));
    }
};

Session *session = nullptr;

void reportRates(benchmark::State &state)
{
    const double runs = double(state.iterations());
    state.counters["pictures/s"]
        = benchmark::Counter(runs * session->photos.size(), benchmark::Counter::kIsRate);
    state.counters["megapixels/s"]
        = benchmark::Counter(runs * session->totalPixels / 1e6, benchmark::Counter::kIsRate);
    state.counters["pictures"] = double(session->photos.size());
    state.counters["megapixels"] = double(session->totalPixels) / 1e6;
}

void tarveloStartButton(benchmark::State &state)
{
    if (session->photos.isEmpty()) {
        state.SkipWithError("no photos: install lomiri-wallpapers-16.04, "
                            "lomiri-wallpapers-20.04 and mate-backgrounds");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir out;
        state.ResumeTiming();
        const int written = session->run(out.path());
        if (written != session->photos.size()) {
            state.SkipWithError("the run did not write every photo");
            return;
        }
    }
    reportRates(state);
}

// The same job through tarvelo-cli, as a script would run it: one process
// for the whole list, first-run options (an empty options file) with the
// same logo, one worker per core.
void tarveloCli(benchmark::State &state)
{
    if (session->photos.isEmpty()) {
        state.SkipWithError("no photos to stamp");
        return;
    }
    const QString options = session->scratch.filePath("first-run.conf");
    QFile(options).open(QIODevice::WriteOnly);
    QStringList arguments { "--options", options, "--set", "logo_file_name=" + session->logoPath,
        "--format", "jpg", "--quality", "90", "--output" };
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir out;
        QStringList run = arguments;
        run << out.path() << "--";
        for (const Photo &photo : session->photos)
            run << photo.path;
        QProcess cli;
        cli.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        state.ResumeTiming();
        cli.start(QStringLiteral(TARVELO_CLI_PATH), run);
        cli.waitForFinished(-1);
        const int written = QString::fromLocal8Bit(cli.readAllStandardOutput()).count("ok\t");
        if (cli.exitCode() != 0 || written != session->photos.size()) {
            state.SkipWithError("tarvelo-cli did not write every photo");
            return;
        }
    }
    reportRates(state);
}

// The same job with ImageMagick: auto-orient, stretch to 1920 x 1920, the
// bottom 15 rows at half brightness (HSB, as the bar halves the HSV value),
// the text at (20, 20), the logo at the top-left corner, JPG at quality 90.
void imageMagickConvert(benchmark::State &state)
{
    if (session->photos.isEmpty()) {
        state.SkipWithError("no photos to stamp");
        return;
    }
    if (QStandardPaths::findExecutable("convert").isEmpty()) {
        state.SkipWithError("ImageMagick's convert is not installed");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir out;
        state.ResumeTiming();
        int number = 0;
        for (const Photo &photo : session->photos) {
            const QStringList arguments { photo.path, "-auto-orient", "-resize", "1920x1920!", "(",
                "+clone", "-gravity", "south", "-crop", "1920x15+0+0", "+repage", "-define",
                "modulate:colorspace=HSB", "-modulate", "50", ")", "-gravity", "south",
                "-composite", "-gravity", "northwest", "-pointsize", "24", "-fill", "white",
                "-annotate", "+20+20", "Enter your text here!", session->logoPath, "-geometry",
                "+0+0", "-composite", "-quality", "90",
                out.filePath(QStringLiteral("%1.jpg").arg(++number)) };
            if (QProcess::execute("convert", arguments) != 0) {
                state.SkipWithError("convert failed");
                return;
            }
        }
    }
    reportRates(state);
}

} // namespace

BENCHMARK(tarveloStartButton)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);
BENCHMARK(tarveloCli)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);
BENCHMARK(imageMagickConvert)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);

int main(int argc, char *argv[])
{
    BenchWindowEnvironment environment;
    // The toolkit's own folder dialog, which can be answered from here.
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("fusion"));

    benchmark::Initialize(&argc, argv);
    auto owned = std::make_unique<Session>();
    session = owned.get();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
