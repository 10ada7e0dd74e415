// SPDX-License-Identifier: GPL-3.0-or-later
// What a decoder process of its own for every picture costs against another
// build of tarvelo-cli (TARVELO_BASELINE_CLI, say one whose decoders serve
// picture after picture): the same job on the benchmark photos (a line of
// text, a logo, a shadow bar, JPG at quality 90), full size and fitted into
// 1920 x 1920, by both programs in turns, so that a change in the machine's
// load meets both alike. Every row prints the least processor time (the
// program and all its decoders) and the fastest clock time of each, their
// difference per picture and in percent.
//
// The photos are the JPEGs of at least 6 megapixels in Debian's
// lomiri-wallpapers-16.04, lomiri-wallpapers-20.04 and mate-backgrounds
// (`make bench` installs them).

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "benchprocess.h"

#include <chrono>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QStringList photos;

QStringList corpus()
{
    QProcess dpkg;
    dpkg.start("dpkg-query",
        { "-L", "lomiri-wallpapers-16.04", "lomiri-wallpapers-20.04", "mate-backgrounds" });
    dpkg.waitForFinished();
    QStringList found;
    for (const QString &file : QString::fromLocal8Bit(dpkg.readAllStandardOutput()).split('\n')) {
        if (!file.endsWith(".jpg", Qt::CaseInsensitive))
            continue;
        const QSize size = QImageReader(file).size();
        if (qint64(size.width()) * size.height() >= 6000000)
            found << file;
    }
    return found;
}

struct Run
{
    double processor = 0; // seconds, the program and every decoder it reaped
    double clock = 0;
};

// Runs `cli` on every photo into a new folder; false when it failed.
bool stamp(const QString &cli, bool fit, Run &run)
{
    QTemporaryDir out;
    QTemporaryDir config;
    QStringList command { cli, "--set", "wtrmark_edit=www.dovrinhalsek.com", "--set",
        "shadow_spin=15", "--set", "logo_file_name=/usr/share/pixmaps/debian-logo.png", "--set",
        QStringLiteral("resize_check=") + (fit ? "true" : "false"), "--set", "aspect_check=true",
        "--set", "width_spin=1920", "--set", "height_spin=1920", "--format", "jpg", "--quality",
        "90", "--output", out.path(), "--" };
    command << photos;
    const QByteArray home = "XDG_CONFIG_HOME=" + QFile::encodeName(config.path());
    const auto start = std::chrono::steady_clock::now();
    rusage usage;
    if (!runToEnd(command, usage, home))
        return false;
    run.clock = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.processor = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec
        + usage.ru_stime.tv_usec / 1e6;
    return true;
}

void freshAgainstBaseline(benchmark::State &state)
{
    const bool fit = state.range(0) != 0;
    const QString baseline = qEnvironmentVariable("TARVELO_BASELINE_CLI");
    if (photos.isEmpty() || baseline.isEmpty()) {
        state.SkipWithError("needs the photos (make bench) and TARVELO_BASELINE_CLI");
        return;
    }
    const QString programs[2] = { baseline, QStringLiteral(TARVELO_CLI_PATH) };
    Run least[2] = { { 1e9, 1e9 }, { 1e9, 1e9 } };
    for (auto _ : state) {
        double took = 0;
        for (int k : { 0, 1 }) {
            Run run;
            if (!stamp(programs[k], fit, run)) {
                state.SkipWithError("a run failed");
                return;
            }
            took += run.clock;
            least[k].processor = std::min(least[k].processor, run.processor);
            least[k].clock = std::min(least[k].clock, run.clock);
        }
        state.SetIterationTime(took);
    }
    const double pictures = photos.size();
    state.counters["pictures"] = pictures;
    state.counters["baseline cpu s"] = least[0].processor;
    state.counters["fresh cpu s"] = least[1].processor;
    state.counters["cpu ms/picture"] = 1000 * (least[1].processor - least[0].processor) / pictures;
    state.counters["cpu cost %"] = 100 * (least[1].processor / least[0].processor - 1);
    state.counters["baseline clock s"] = least[0].clock;
    state.counters["fresh clock s"] = least[1].clock;
    state.counters["clock ms/picture"] = 1000 * (least[1].clock - least[0].clock) / pictures;
    state.counters["clock cost %"] = 100 * (least[1].clock / least[0].clock - 1);
}

} // namespace

BENCHMARK(freshAgainstBaseline)
    ->ArgName("fit1920")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    photos = corpus();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
