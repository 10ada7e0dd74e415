// SPDX-License-Identifier: GPL-3.0-or-later
// Long runs: 10,000 pictures, small ones (800 x 600) with 500 of 12
// megapixels mixed in (every 20th), stamped with the batch benchmarks' job
// at full size, once through tarvelo-cli and once through the start button.
// After every hundredth of the run it takes the program's resident memory,
// descriptors, shared-memory buffers (its memfd descriptors) and threads,
// the resident memory and threads of its decoders' parent with them, and
// the page faults so far (the program, the parent and every decoder the
// parent reaped); each tenth shows the median of what it held and its
// faults per picture. A long run is flat when the last tenth is within 10 % of the
// first, and its descriptors within 2: each row says so (flat = 1), with
// the first tenth's figures and the last's; the table of all ten goes to
// standard error. The first tenth is counted from the second picture
// written, so that starting up is not counted as a picture's, and the last
// ends at the last picture but one, while the run still works.
//
// TARVELO_LONGRUN_PICTURES sets another number of pictures (at least 100).
// The pictures are made from the photos of the batch benchmark (see
// benchjob.h): 20 small and 5 large ones, linked under 10,000 names; the
// outputs are removed as they are written.

#include "benchwindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QProcess>
#include <QProgressBar>
#include <QSettings>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include <unistd.h>

#include "benchjob.h"
#include "benchprocess.h"

namespace {

// What the program and its decoders' parent hold at one moment.
struct State
{
    int picturesDone = 0;
    double seconds = 0;
    double residentMB = 0; // the program and the parent
    int descriptors = 0; // the program's
    int buffers = 0; // the program's shared-memory buffers
    int threads = 0; // the program's and the parent's, but the toolkit's pool
    double faults = 0; // so far: the program, the parent and its reaped decoders
};

// Adds what process `pid` holds to `state`; its own descriptors when
// `program`.
void add(State &state, pid_t pid, bool program)
{
    state.residentMB += statusKB(pid, "VmRSS:") / 1024;
    // The toolkit's thread pool, which lets its idle threads go after half
    // a minute and never holds more than there are cores, is not counted.
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString &task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile name(tasks + '/' + task + QStringLiteral("/comm"));
        if (name.open(QIODevice::ReadOnly) && name.readAll().trimmed() != "Thread (pooled)")
            ++state.threads;
    }
    const QList<QByteArray> fields = statFields(pid);
    // minflt, cminflt, majflt and cmajflt: fields 10 to 13 of the line.
    for (int k = 7; k <= 10 && k < fields.size(); ++k)
        state.faults += fields[k].toDouble();
    if (!program)
        return;
    const QString folder = QStringLiteral("/proc/%1/fd").arg(pid);
    // Each entry is a link to what the descriptor holds, whatever it is.
    const auto every = QDir::Files | QDir::Dirs | QDir::System | QDir::NoDotAndDotDot;
    for (const QString &fd : QDir(folder).entryList(every)) {
        ++state.descriptors;
        char target[256] = {};
        ::readlink(QFile::encodeName(folder + '/' + fd).constData(), target, sizeof target - 1);
        if (QByteArray(target).startsWith("/memfd:"))
            ++state.buffers;
    }
}

// The program `pid` and its decoders' parent, now.
State stateOf(pid_t pid)
{
    State state;
    add(state, pid, true);
    for (const pid_t child : childrenOf(pid)) {
        QFile comm(QStringLiteral("/proc/%1/comm").arg(child));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "tarvelo-decoder")
            add(state, child, false);
    }
    return state;
}

struct Pictures
{
    QTemporaryDir folder;
    QString list; // one path a line
    QStringList paths;
    qint64 pixels = 0;
    QString logo;
};

Pictures *pictures = nullptr;
int pictureCount = 10000;

// The pictures of the long run, made once; false when there are no photos.
bool makePictures()
{
    if (pictures)
        return !pictures->paths.isEmpty();
    pictures = new Pictures;
    const QList<BenchJob::Photo> photos = BenchJob::corpus();
    if (photos.isEmpty())
        return false;
    const QString sources = pictures->folder.filePath(QStringLiteral("sources"));
    const QString named = pictures->folder.filePath(QStringLiteral("pictures"));
    QDir().mkpath(sources);
    QDir().mkpath(named);
    pictures->logo = pictures->folder.filePath(QStringLiteral("logo.png"));
    QImage(QStringLiteral(":/Resources/icon.png")).save(pictures->logo);
    // 20 small pictures and 5 of 12 megapixels, cut from the photos.
    QStringList small, large;
    for (int k = 0; k < 25; ++k) {
        const QImage photo(photos[k % photos.size()].path);
        const QSize size = k < 20 ? QSize(800, 600) : QSize(4000, 3000);
        const QImage cut
            = photo.scaled(size, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation)
                  .copy(QRect(QPoint(0, 0), size));
        const QString path = sources + QStringLiteral("/%1.jpg").arg(k);
        cut.save(path, "jpg", 90);
        (k < 20 ? small : large) << path;
    }
    QFile list(pictures->folder.filePath(QStringLiteral("list")));
    list.open(QIODevice::WriteOnly);
    for (int i = 0; i < pictureCount; ++i) {
        const bool isLarge = i % 20 == 10;
        const QString source = isLarge ? large[(i / 20) % large.size()] : small[i % small.size()];
        const QString path = named + QStringLiteral("/p%1.jpg").arg(i, 5, 10, QLatin1Char('0'));
        if (::link(QFile::encodeName(source).constData(), QFile::encodeName(path).constData()) != 0)
            return false;
        pictures->paths << path;
        pictures->pixels += isLarge ? 12000000 : 480000;
        list.write(QFile::encodeName(path) + '\n');
    }
    pictures->list = list.fileName();
    return true;
}

// Where the run is looked at: the second picture written (the window's bar
// says nothing of the first), every hundredth of the run, and the last
// picture but one.
QList<int> marks()
{
    QList<int> at { 2 };
    for (int hundredth = 1; hundredth <= 100; ++hundredth) {
        const int mark = std::min(pictureCount * hundredth / 100, pictureCount - 1);
        if (mark > at.last())
            at << mark;
    }
    return at;
}

// The median of `values`.
double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Prints the table and sets the row's counters from the looks at the run:
// each tenth shows the median of the looks within it (how many pictures are
// in flight at a look, each with its file, sockets and buffer, varies), and
// the faults per picture between its ends.
void report(benchmark::State &state, const char *tool, const QList<State> &looks, double seconds)
{
    std::fprintf(stderr,
        "\n%s, %d pictures (%d of 12 MP), full size\n"
        "tenth  pictures  seconds  resident MB  descriptors  buffers  threads  faults/picture\n",
        tool, pictureCount, pictureCount / 20);
    QList<State> tenths;
    for (int tenth = 1; tenth <= 10; ++tenth) {
        const int from = tenth == 1 ? 2 : pictureCount * (tenth - 1) / 10;
        const int to = tenth == 10 ? pictureCount - 1 : pictureCount * tenth / 10;
        State start, end;
        std::vector<double> resident, descriptors, buffers, threads;
        for (const State &look : looks) {
            if (look.picturesDone == from)
                start = look;
            if (look.picturesDone == to)
                end = look;
            if (look.picturesDone <= from || look.picturesDone > to)
                continue;
            resident.push_back(look.residentMB);
            descriptors.push_back(look.descriptors);
            buffers.push_back(look.buffers);
            threads.push_back(look.threads);
        }
        State middle;
        middle.residentMB = median(resident);
        middle.descriptors = int(std::lround(median(descriptors)));
        middle.buffers = int(std::lround(median(buffers)));
        middle.threads = int(std::lround(median(threads)));
        middle.picturesDone = to - from;
        middle.seconds = end.seconds - start.seconds;
        middle.faults = (end.faults - start.faults) / std::max(1, to - from);
        tenths << middle;
        std::fprintf(stderr, "%5d  %8d  %7.1f  %11.1f  %11d  %7d  %7d  %14.1f\n", tenth,
            middle.picturesDone, middle.seconds, middle.residentMB, middle.descriptors,
            middle.buffers, middle.threads, middle.faults);
    }
    const State &first = tenths.first(), &last = tenths.last();
    const auto within = [](double a, double b) { return b <= a * 1.1 && b >= a * 0.9; };
    const bool flat = within(first.residentMB, last.residentMB)
        && std::abs(first.descriptors - last.descriptors) <= 2
        && within(first.buffers, last.buffers) && within(first.threads, last.threads)
        && within(first.faults, last.faults);
    std::fprintf(stderr, "flat: %s\n", flat ? "yes" : "no");
    state.counters["flat"] = flat;
    state.counters["resident_MB_first"] = first.residentMB;
    state.counters["resident_MB_last"] = last.residentMB;
    state.counters["descriptors_first"] = first.descriptors;
    state.counters["descriptors_last"] = last.descriptors;
    state.counters["buffers_first"] = first.buffers;
    state.counters["buffers_last"] = last.buffers;
    state.counters["threads_first"] = first.threads;
    state.counters["threads_last"] = last.threads;
    state.counters["faults_per_picture_first"] = first.faults;
    state.counters["faults_per_picture_last"] = last.faults;
    state.counters["MP/s"] = pictures->pixels / 1e6 / seconds;
    state.SetIterationTime(seconds);
    state.SetLabel(tool);
}

// tarvelo-cli reading the list on its standard input, as a script runs it.
void longRunCli(benchmark::State &state)
{
    if (!makePictures()) {
        state.SkipWithError("no photos to make the pictures of: see benchjob.h");
        return;
    }
    for (auto _ : state) {
        QTemporaryDir out;
        QFile options(out.filePath(QStringLiteral("options.conf")));
        options.open(QIODevice::WriteOnly); // first-run options
        QStringList command = BenchJob::cliCommand(QStringLiteral(TARVELO_CLI_PATH),
            options.fileName(), pictures->logo, false, out.path());
        command << QStringLiteral("-");
        QProcess cli;
        cli.setStandardInputFile(pictures->list);
        cli.setStandardErrorFile(QProcess::nullDevice());
        QElapsedTimer clock;
        clock.start();
        cli.start(command.takeFirst(), command);
        const QList<int> at = marks();
        QList<State> looks;
        int done = 0;
        while (cli.state() != QProcess::NotRunning || cli.canReadLine()) {
            if (!cli.canReadLine()) {
                cli.waitForReadyRead(1000);
                continue;
            }
            const QList<QByteArray> fields = cli.readLine().trimmed().split('\t');
            if (fields.value(0) != "ok") {
                state.SkipWithError("tarvelo-cli did not stamp every picture");
                cli.kill();
                cli.waitForFinished();
                return;
            }
            QFile::remove(QFile::decodeName(fields.value(2)));
            if (++done == at.value(looks.size())) {
                State now = stateOf(pid_t(cli.processId()));
                now.picturesDone = done;
                now.seconds = clock.nsecsElapsed() / 1e9;
                looks << now;
            }
        }
        const double seconds = clock.nsecsElapsed() / 1e9;
        if (done != pictureCount) {
            state.SkipWithError("tarvelo-cli ended early");
            return;
        }
        report(state, "tarvelo-cli", looks, seconds);
    }
}

// The start button, with the pictures on the window's list.
void longRunStartButton(benchmark::State &state)
{
    if (!makePictures()) {
        state.SkipWithError("no photos to make the pictures of: see benchjob.h");
        return;
    }
    QSettings settings(QStringLiteral("Dovrin Halsek"), QStringLiteral("Tarvelo"));
    settings.clear();
    // The check for a newer version, once per start, runs beside the first
    // pictures and holds its sockets until the network answers or gives up:
    // it is no part of the run measured here.
    settings.setValue(QStringLiteral("update_check"), false);
    settings.sync();
    MainWindow window;
    Ui::MainWindow *ui = WindowProbe::ui(window);
    BenchJob::setUp(window, pictures->logo);
    ui->resize_check->setChecked(false);
    window.resize(1600, 1000);
    window.show();
    ui->files_list->addItems(pictures->paths);
    // The run starts from a window at rest, as a user's does after a look
    // at the preview: the toolkit's pool lets the threads that read the
    // preview go after 30 idle seconds, and with them their descriptors,
    // which would otherwise leave the first tenth with two more.
    QElapsedTimer settling;
    settling.start();
    while (settling.elapsed() < 31000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    for (auto _ : state) {
        QTemporaryDir out;
        const QList<int> at = marks();
        QList<State> looks;
        QElapsedTimer clock;
        // The bar shows the row of the picture taken last, as soon as it
        // has been written.
        const QMetaObject::Connection watch
            = QObject::connect(ui->prog_bar, &QProgressBar::valueChanged, [&](int row) {
                  const int done = row + 1;
                  if (looks.size() < at.size() && done == at[looks.size()]) {
                      State now = stateOf(::getpid());
                      now.picturesDone = done;
                      now.seconds = clock.nsecsElapsed() / 1e9;
                      looks << now;
                  }
                  QFile::remove(
                      out.filePath(QStringLiteral("p%1.jpg").arg(row, 5, 10, QLatin1Char('0'))));
              });
        Answerer answerer(out.path());
        clock.start();
        click(ui->start_btn);
        const double seconds = clock.nsecsElapsed() / 1e9;
        QObject::disconnect(watch);
        if (looks.size() != at.size()
            || !ui->log_plain->toPlainText().endsWith(QStringLiteral("Stamping Completed!"))) {
            state.SkipWithError("the start button did not stamp every picture");
            return;
        }
        report(state, "Tarvelo start button", looks, seconds);
    }
}

} // namespace

BENCHMARK(longRunCli)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);
BENCHMARK(longRunStartButton)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);

int main(int argc, char *argv[])
{
    BenchWindowEnvironment environment;
    // The toolkit's own folder dialog, which can be answered from here.
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("fusion"));
    pictureCount = std::max(100, qEnvironmentVariableIntValue("TARVELO_LONGRUN_PICTURES"));
    if (!qEnvironmentVariableIsSet("TARVELO_LONGRUN_PICTURES"))
        pictureCount = 10000;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete pictures;
    return 0;
}
