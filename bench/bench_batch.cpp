// SPDX-License-Identifier: GPL-3.0-or-later
// A batch of real photographs stamped through the start button, exactly as
// a user runs it (the folder dialog, reading, composing twice on worker
// threads, writing JPG at quality 90, the log and the "Done" box), at full
// size and fitted into 1920 x 1920, beside the same job done by the libvips
// C API peer (../shared/bench/vips-stamp.c, built with the benchmarks) with
// one and with two threads, by tarvelo-cli and by ImageMagick's convert.
// The job: a 15-row dark bar at the bottom, one line of DejaVu Sans 18 at
// (20, 20), a logo at (20, 60). Every row prints megapixels per second, the
// ratio to libvips with two threads at the same size, and the peak resident
// memory of the run (the process's for the window, the child's otherwise).
//
// The first row is the codec floor: the same photos only decoded and encoded
// again by libjpeg-turbo (the pixels as djpeg hands them to cjpeg, JPG at
// quality 90 with 4:4:4 as the program writes it), two at once, in memory,
// read from and written to files, nothing else. Every row prints its speed
// as a fraction of the floor's (x_floor): what is left above 1 - x_floor is
// the time spent outside the codec.
//
// On a machine whose load changes, the rows measured one after another
// compare poorly: the rows "in turns" run the floor (or libvips'
// thumbnailing, fitted), libvips, the start button and tarvelo-cli one
// after another, three times, and compare the fastest of each.
//
// The photos are the JPEGs of at least 6 megapixels in Debian's
// lomiri-wallpapers-16.04, lomiri-wallpapers-20.04 and mate-backgrounds
// (`make bench` installs them; see benchjob.h).

#include "benchwindow.h"
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include "benchprocess.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include <turbojpeg.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "benchjob.h"

namespace {

using BenchJob::Photo;
const char *const peerText = BenchJob::text;

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
        photos = BenchJob::corpus();
        for (const Photo &photo : photos)
            totalPixels += photo.pixels;

        // First-run options: nothing stored.
        QSettings(QStringLiteral("Dovrin Halsek"), QStringLiteral("Tarvelo")).clear();
        window = std::make_unique<MainWindow>();
        ui = WindowProbe::ui(*window);
        // The program's own icon (256 x 256, with transparency) as the logo.
        logoPath = scratch.filePath("logo.png");
        QImage(QStringLiteral(":/Resources/icon.png")).save(logoPath);
        BenchJob::setUp(*window, logoPath);
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
        click(ui->start_btn);
        return ui->log_plain->toPlainText().count(QStringLiteral(" ... OK! ("));
    }
};

Session *session = nullptr;

// Megapixels per second of each tool and size, for the ratios.
std::map<std::string, double> rates;

// The peak resident memory of this process since the last reset.
void resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

double peakMemoryMB()
{
    return statusKB(::getpid(), "VmHWM:") / 1024;
}

// Processor time (user + system) and page faults, of a run.
struct Usage
{
    double cpuSeconds = 0;
    double faults = 0;
    Usage &operator+=(const Usage &other)
    {
        cpuSeconds += other.cpuSeconds;
        faults += other.faults;
        return *this;
    }
};

Usage usageOf(const rusage &usage)
{
    return { usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec
            + usage.ru_stime.tv_usec / 1e6,
        double(usage.ru_minflt + usage.ru_majflt) };
}

// This process, the children it has reaped, and the ones still running
// (the window's decoder processes stay between runs).
Usage usageSoFar()
{
    rusage self {}, reaped {};
    ::getrusage(RUSAGE_SELF, &self);
    ::getrusage(RUSAGE_CHILDREN, &reaped);
    Usage total = usageOf(self);
    total += usageOf(reaped);
    const double ticks = double(::sysconf(_SC_CLK_TCK));
    for (const pid_t child : childrenOf(::getpid())) {
        const QList<QByteArray> fields = statFields(child);
        // minflt, cminflt, majflt, cmajflt, utime, stime, cutime, cstime:
        // fields 10 to 17 of the line (the decoders' parent has reaped the
        // decoders it started).
        if (fields.size() > 14)
            total += { (fields[11].toDouble() + fields[12].toDouble() + fields[13].toDouble()
                           + fields[14].toDouble())
                    / ticks,
                fields[7].toDouble() + fields[8].toDouble() + fields[9].toDouble()
                    + fields[10].toDouble() };
    }
    return total;
}

Usage childUsage; // of the last runChild()

// Runs a program to its end; its peak resident memory in MB, -1 on failure.
double runChild(const QStringList &command, const QByteArray &environment = QByteArray())
{
    rusage usage;
    if (!runToEnd(command, usage, environment))
        return -1;
    childUsage = usageOf(usage);
    return usage.ru_maxrss / 1024.0;
}

// The photos of one run: the corpus, unless a benchmark says otherwise.
int runPhotos = 0;
qint64 runPixels = 0;

void report(benchmark::State &state, const std::string &tool, bool fit, double seconds,
    double peakMB, const Usage &used)
{
    const double megapixels = state.iterations() * double(runPixels) / 1e6;
    const double rate = megapixels / seconds;
    const std::string size = fit ? "fit 1920" : "full size";
    rates[tool + size] = rate;
    state.counters["MP/s"] = rate;
    const double vips
        = rates.count("libvips 2 threads" + size) ? rates["libvips 2 threads" + size] : 0;
    state.counters["x_libvips2"] = vips > 0 ? rate / vips : 0;
    // Against the floor at full size, the one job the floor does.
    const auto floor = rates.find("codec floorfull size");
    state.counters["x_floor"] = floor != rates.end() ? rate / floor->second : 0;
    // Fitted runs against libvips' own shrink-on-load thumbnailing too.
    if (fit) {
        const double thumbnail = rates.count("libvips thumbnail 2 threads" + size)
            ? rates["libvips thumbnail 2 threads" + size]
            : 0;
        state.counters["x_thumbnail2"] = thumbnail > 0 ? rate / thumbnail : 0;
    }
    state.counters["cpu_s_per_MP"] = used.cpuSeconds / megapixels;
    state.counters["faults_per_photo"] = used.faults / (state.iterations() * double(runPhotos));
    state.counters["peak_RSS_MB"] = peakMB;
    state.counters["megapixels"] = double(runPixels) / 1e6;
    runPhotos = session->photos.size();
    runPixels = session->totalPixels;
    state.SetLabel(tool + ", " + size);
}

bool havePhotos(benchmark::State &state)
{
    if (session->photos.isEmpty())
        state.SkipWithError("no photos: install lomiri-wallpapers-16.04, "
                            "lomiri-wallpapers-20.04 and mate-backgrounds");
    return !session->photos.isEmpty();
}

// Times a child process per iteration (or per photo, with `perPhoto`).
void timeChildren(benchmark::State &state, const std::string &tool, bool fit,
    const std::function<QList<QStringList>(const QString &out)> &commands,
    const QByteArray &environment = QByteArray())
{
    if (!havePhotos(state))
        return;
    double seconds = 0, peak = 0;
    Usage total;
    for (auto _ : state) {
        QTemporaryDir out;
        const QList<QStringList> list = commands(out.path());
        QElapsedTimer clock;
        clock.start();
        for (const QStringList &command : list) {
            const double used = runChild(command, environment);
            if (used < 0) {
                state.SkipWithError((tool + " failed").c_str());
                return;
            }
            peak = std::max(peak, used);
            total += childUsage;
        }
        seconds += clock.nsecsElapsed() / 1e9;
        state.SetIterationTime(clock.nsecsElapsed() / 1e9);
    }
    report(state, tool, fit, seconds, peak, total);
}

// Decodes and encodes `path` again with libjpeg-turbo into `out`, through
// `pixels`, a buffer the calling thread keeps; false on failure.
bool decodeAndEncode(const QString &path, const QString &out, std::vector<unsigned char> &pixels)
{
    QFile in(path), written(out);
    if (!in.open(QIODevice::ReadOnly) || !written.open(QIODevice::WriteOnly))
        return false;
    const QByteArray jpeg = in.readAll();
    const auto *bytes = reinterpret_cast<const unsigned char *>(jpeg.constData());
    std::unique_ptr<void, int (*)(tjhandle)> decoder(tjInitDecompress(), tjDestroy);
    std::unique_ptr<void, int (*)(tjhandle)> encoder(tjInitCompress(), tjDestroy);
    int width = 0, height = 0, subsampling = 0, colours = 0;
    if (tjDecompressHeader3(
            decoder.get(), bytes, jpeg.size(), &width, &height, &subsampling, &colours)
        != 0)
        return false;
    pixels.resize(std::max(pixels.size(), size_t(width) * size_t(height) * 3));
    unsigned char *encoded = nullptr;
    unsigned long size = 0;
    const bool done = tjDecompress2(decoder.get(), bytes, jpeg.size(), pixels.data(), width, 0,
                          height, TJPF_RGB, 0)
            == 0
        && tjCompress2(encoder.get(), pixels.data(), width, 0, height, TJPF_RGB, &encoded, &size,
               TJSAMP_444, 90, 0)
            == 0
        && written.write(reinterpret_cast<const char *>(encoded), qint64(size)) == qint64(size);
    tjFree(encoded);
    return done;
}

// One run of a tool over the photos: its clock and processor seconds, and
// its page faults; no seconds when it failed.
struct Run
{
    double seconds = -1;
    Usage used;
};

// The codec floor once: every photo decoded and encoded again, two at once.
Run floorOnce()
{
    QTemporaryDir out;
    std::atomic<int> next { 0 };
    std::atomic<bool> failed { false };
    const Usage before = usageSoFar();
    QElapsedTimer clock;
    clock.start();
    std::vector<std::thread> threads;
    for (int k = 0; k < 2; ++k)
        threads.emplace_back([&]() {
            std::vector<unsigned char> pixels;
            for (int i; (i = next++) < session->photos.size();)
                if (!decodeAndEncode(session->photos[i].path,
                        out.filePath(QStringLiteral("%1.jpg").arg(i)), pixels))
                    failed = true;
        });
    for (std::thread &thread : threads)
        thread.join();
    Run run;
    run.seconds = failed ? -1 : clock.nsecsElapsed() / 1e9;
    const Usage after = usageSoFar();
    run.used = { after.cpuSeconds - before.cpuSeconds, after.faults - before.faults };
    return run;
}

void codecFloor(benchmark::State &state)
{
    if (!havePhotos(state))
        return;
    double seconds = 0;
    Usage total;
    for (auto _ : state) {
        const Run run = floorOnce();
        if (run.seconds < 0) {
            state.SkipWithError("a photo could not be decoded and encoded again");
            return;
        }
        state.SetIterationTime(run.seconds);
        seconds += run.seconds;
        total += run.used;
    }
    report(state, "codec floor", false, seconds, 0, total);
}

// The libvips peer's command for the photos, writing into `out`.
QStringList vipsCommand(bool fit, bool thumbnail, const QString &out)
{
    QStringList command { QStringLiteral(VIPS_PEER_PATH) };
    if (fit)
        command << "--fit"
                << "1920";
    if (thumbnail)
        command << "--thumbnail";
    command << session->logoPath << out;
    for (const Photo &photo : session->photos)
        command << photo.path;
    return command;
}

// tarvelo-cli's command for the photos, as a script would run it: one
// process for the whole list, one worker per core.
QStringList cliCommand(bool fit, const QString &out)
{
    const QString options = session->scratch.filePath("options.conf");
    QFile(options).open(QIODevice::WriteOnly); // an empty store: first-run options
    QStringList command = BenchJob::cliCommand(
        QStringLiteral(TARVELO_CLI_PATH), options, session->logoPath, fit, out);
    for (const Photo &photo : session->photos)
        command << photo.path;
    return command;
}

// A program over the photos once, writing into a folder of its own.
Run childOnce(const std::function<QStringList(const QString &out)> &command,
    const QByteArray &environment = QByteArray())
{
    QTemporaryDir out;
    QElapsedTimer clock;
    clock.start();
    Run run;
    if (runChild(command(out.path()), environment) >= 0) {
        run.seconds = clock.nsecsElapsed() / 1e9;
        run.used = childUsage;
    }
    return run;
}

// The start button once, at full size or fitted.
Run windowOnce(bool fit)
{
    session->ui->resize_check->setChecked(fit);
    QTemporaryDir out;
    QElapsedTimer clock;
    clock.start();
    const Usage before = usageSoFar();
    const int written = session->run(out.path());
    const Usage after = usageSoFar();
    Run run;
    run.seconds = written == session->photos.size() ? clock.nsecsElapsed() / 1e9 : -1;
    run.used = { after.cpuSeconds - before.cpuSeconds, after.faults - before.faults };
    return run;
}

void libvips(benchmark::State &state)
{
    const bool fit = state.range(0) != 0;
    const int threads = int(state.range(1));
    const bool thumbnail = state.range(2) != 0; // shrink-on-load
    if (!QFileInfo::exists(QStringLiteral(VIPS_PEER_PATH))) {
        state.SkipWithError("the libvips peer was not built (libvips-dev missing?)");
        return;
    }
    timeChildren(
        state,
        std::string("libvips ") + (thumbnail ? "thumbnail " : "") + std::to_string(threads)
            + (threads == 1 ? " thread" : " threads"),
        fit,
        [fit, thumbnail](
            const QString &out) { return QList<QStringList> { vipsCommand(fit, thumbnail, out) }; },
        "VIPS_CONCURRENCY=" + QByteArray::number(threads));
}

void tarveloStartButton(benchmark::State &state)
{
    const bool fit = state.range(0) != 0;
    if (!havePhotos(state))
        return;
    session->ui->resize_check->setChecked(fit);
    double seconds = 0, peak = 0;
    Usage total;
    // The longest the window went without taking its events during a run.
    qint64 longestGap = 0;
    QElapsedTimer sinceTick;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout,
        [&]() { longestGap = std::max(longestGap, sinceTick.restart()); });
    for (auto _ : state) {
        QTemporaryDir out;
        resetPeakMemory();
        sinceTick.start();
        ticker.start(5);
        QElapsedTimer clock;
        clock.start();
        const Usage before = usageSoFar();
        const int written = session->run(out.path());
        const Usage after = usageSoFar();
        total += { after.cpuSeconds - before.cpuSeconds, after.faults - before.faults };
        ticker.stop();
        state.SetIterationTime(clock.nsecsElapsed() / 1e9);
        seconds += clock.nsecsElapsed() / 1e9;
        peak = std::max(peak, peakMemoryMB());
        if (written != session->photos.size()) {
            state.SkipWithError("the run did not write every photo");
            return;
        }
    }
    report(state, "Tarvelo start button", fit, seconds, peak, total);
    state.counters["longest_event_gap_ms"] = double(longestGap);
}

// The same job through tarvelo-cli.
void tarveloCli(benchmark::State &state)
{
    const bool fit = state.range(0) != 0;
    timeChildren(state, "tarvelo-cli", fit,
        [fit](const QString &out) { return QList<QStringList> { cliCommand(fit, out) }; });
}

// tarvelo-cli fitting 100 pictures (the corpus over and over): its page
// faults per picture against those of the corpus once show whether memory
// is taken afresh for every picture.
void tarveloCliHundred(benchmark::State &state)
{
    const QString options = session->scratch.filePath("options.conf");
    QFile(options).open(QIODevice::WriteOnly);
    QStringList paths;
    runPixels = 0;
    for (int k = 0; k < 100 && !session->photos.isEmpty(); ++k) {
        const Photo &photo = session->photos.at(k % session->photos.size());
        paths << photo.path;
        runPixels += photo.pixels;
    }
    runPhotos = paths.size();
    timeChildren(state, "tarvelo-cli 100 pictures", true, [options, paths](const QString &out) {
        return QList<QStringList> { BenchJob::cliCommand(QStringLiteral(TARVELO_CLI_PATH), options,
                                        session->logoPath, true, out)
            + paths };
    });
}

// tarvelo-cli fitting the corpus with the text's fields filled in and with
// the same text typed out, side by side: the two take turns in every
// iteration (in alternating order), so that what else the machine does
// falls on both alike. Filling in asks the decoder for the capture date,
// camera and so on, from the metadata it reads for the output anyway.
void tarveloCliFields(benchmark::State &state)
{
    if (!havePhotos(state))
        return;
    const QString options = session->scratch.filePath("options.conf");
    QFile(options).open(QIODevice::WriteOnly);
    const auto command = [&](bool fields, const QString &out) {
        QStringList command { QStringLiteral(TARVELO_CLI_PATH), "--options", options, "--set",
            "logo_file_name=" + session->logoPath, "--set", "shadow_spin=15", "--set",
            fields ? "wtrmark_edit=Stamp test {date} {time} - {camera} {name} {counter:3}"
                   : QStringLiteral("wtrmark_edit=") + peerText,
            "--set", QStringLiteral("text_fields_check=") + (fields ? "true" : "false"), "--set",
            "txt_x_spin=20", "--set", "txt_y_spin=20", "--set", "y_spin=60", "--set", "x_spin=20",
            "--set", "font=DejaVu Sans,18,-1,5,50,0,0,0,0,0", "--set", "resize_check=true", "--set",
            "aspect_check=true", "--format", "jpg", "--quality", "90", "--output", out, "--" };
        for (const Photo &photo : session->photos)
            command << photo.path;
        return command;
    };
    double seconds[2] = {}, cpu[2] = {};
    int turn = 0;
    for (auto _ : state) {
        double iteration = 0;
        for (const bool fields : { turn % 2 == 0, turn % 2 != 0 }) {
            QTemporaryDir out;
            QElapsedTimer clock;
            clock.start();
            if (runChild(command(fields, out.path())) < 0) {
                state.SkipWithError("tarvelo-cli failed");
                return;
            }
            seconds[fields] += clock.nsecsElapsed() / 1e9;
            cpu[fields] += childUsage.cpuSeconds;
            iteration += clock.nsecsElapsed() / 1e9;
        }
        ++turn;
        state.SetIterationTime(iteration);
    }
    const double megapixels = state.iterations() * double(session->totalPixels) / 1e6;
    state.counters["MP/s_off"] = megapixels / seconds[0];
    state.counters["MP/s_on"] = megapixels / seconds[1];
    state.counters["speed_on_vs_off"] = seconds[0] / seconds[1];
    state.counters["cpu_on_vs_off"] = cpu[1] / cpu[0];
    state.SetLabel("tarvelo-cli, fit 1920, text fields on and off");
}

// ImageMagick, one convert per photo: auto-orient, [fit into 1920 x 1920],
// the bottom 15 rows at half brightness, the text, the logo, JPG at 90.
void imageMagickConvert(benchmark::State &state)
{
    const bool fit = state.range(0) != 0;
    if (QStandardPaths::findExecutable("convert").isEmpty()) {
        state.SkipWithError("ImageMagick's convert is not installed");
        return;
    }
    timeChildren(state, "ImageMagick convert", fit, [fit](const QString &out) {
        QList<QStringList> commands;
        int number = 0;
        for (const Photo &photo : session->photos) {
            QStringList command { "convert", photo.path, "-auto-orient" };
            if (fit)
                command << "-resize"
                        << "1920x1920";
            command << "("
                    << "+clone"
                    << "-gravity"
                    << "south"
                    << "-crop"
                    << "100%x15+0+0"
                    << "+repage"
                    << "-fill"
                    << "black"
                    << "-colorize"
                    << "50"
                    << ")"
                    << "-gravity"
                    << "south"
                    << "-composite"
                    << "-gravity"
                    << "northwest"
                    << "-font"
                    << "DejaVu-Sans"
                    << "-pointsize"
                    << "18"
                    << "-fill"
                    << "white"
                    << "-annotate"
                    << "+20+20" << peerText << session->logoPath << "-geometry"
                    << "+20+60"
                    << "-composite"
                    << "-quality"
                    << "90" << out + QStringLiteral("/%1.jpg").arg(++number);
            commands << command;
        }
        return commands;
    });
}

// The tools of one size in turns, three rounds of each, so that a change in
// the machine's load meets them alike: at full size the codec floor,
// libvips with two threads, the start button and tarvelo-cli; fitted,
// libvips' thumbnailing and libvips with two threads in place of the floor.
// Each prints the megapixels per second of its fastest run and the
// processor seconds per megapixel of its cheapest; the program's against
// the floor (full size) or the thumbnailing (fitted), and its processor
// time against libvips' with two threads.
void inTurns(benchmark::State &state)
{
    const bool fit = state.range(0) != 0;
    if (!havePhotos(state))
        return;
    if (!QFileInfo::exists(QStringLiteral(VIPS_PEER_PATH))) {
        state.SkipWithError("the libvips peer was not built (libvips-dev missing?)");
        return;
    }
    const QByteArray twoThreads = "VIPS_CONCURRENCY=2";
    const std::vector<std::pair<std::string, std::function<Run()>>> tools {
        { fit ? "thumbnail" : "floor",
            [&]() {
                return fit
                    ? childOnce(
                        [](const QString &out) { return vipsCommand(true, true, out); }, twoThreads)
                    : floorOnce();
            } },
        { "libvips",
            [&]() {
                return childOnce(
                    [fit](const QString &out) { return vipsCommand(fit, false, out); }, twoThreads);
            } },
        { "start", [&]() { return windowOnce(fit); } },
        { "cli",
            [&]() {
                return childOnce([fit](const QString &out) { return cliCommand(fit, out); });
            } },
    };
    std::map<std::string, double> fastest, cheapest;
    for (auto _ : state) {
        double took = 0;
        for (int round = 0; round < 3; ++round)
            for (const auto &[name, once] : tools) {
                const Run run = once();
                if (run.seconds < 0) {
                    state.SkipWithError((name + " failed").c_str());
                    return;
                }
                took += run.seconds;
                fastest[name]
                    = fastest.count(name) ? std::min(fastest[name], run.seconds) : run.seconds;
                cheapest[name] = cheapest.count(name)
                    ? std::min(cheapest[name], run.used.cpuSeconds)
                    : run.used.cpuSeconds;
            }
        state.SetIterationTime(took);
    }
    const double megapixels = session->totalPixels / 1e6;
    for (const auto &[name, once] : tools) {
        state.counters[name + "_MP/s"] = megapixels / fastest[name];
        state.counters[name + "_cpu_s_per_MP"] = cheapest[name] / megapixels;
    }
    const std::string yardstick = fit ? "thumbnail" : "floor";
    for (const char *program : { "start", "cli" }) {
        state.counters[std::string(program) + "_x_" + yardstick]
            = fastest[yardstick] / fastest[program];
        state.counters[std::string(program) + "_cpu_x_libvips"]
            = cheapest[program] / cheapest["libvips"];
    }
    state.SetLabel(fit ? "in turns, fit 1920" : "in turns, full size");
}

} // namespace

// The floor and libvips first: the others are measured against them.
BENCHMARK(codecFloor)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(2);
BENCHMARK(libvips)
    ->ArgNames({ "fit", "threads", "thumbnail" })
    ->Args({ 0, 2, 0 })
    ->Args({ 1, 2, 0 })
    ->Args({ 1, 2, 1 })
    ->Args({ 0, 1, 0 })
    ->Args({ 1, 1, 0 })
    ->Args({ 1, 1, 1 })
    ->Unit(benchmark::kSecond)
    ->UseManualTime()
    ->Iterations(2);
BENCHMARK(tarveloStartButton)
    ->ArgName("fit")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kSecond)
    ->UseManualTime()
    ->Iterations(2);
BENCHMARK(tarveloCli)
    ->ArgName("fit")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kSecond)
    ->UseManualTime()
    ->Iterations(2);
BENCHMARK(tarveloCliHundred)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);
BENCHMARK(tarveloCliFields)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(6);
BENCHMARK(inTurns)
    ->ArgName("fit")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kSecond)
    ->UseManualTime()
    ->Iterations(1);
BENCHMARK(imageMagickConvert)
    ->ArgName("fit")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kSecond)
    ->UseManualTime()
    ->Iterations(1);

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
    runPhotos = session->photos.size();
    runPixels = session->totalPixels;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
