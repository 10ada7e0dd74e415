// SPDX-License-Identifier: GPL-3.0-or-later
// What decoding in a separate, fenced-in process costs: the batch pipeline
// (read, convert to ARGB, compose twice, encode JPG at quality 90) on the
// benchmark photos, on as many worker threads as there are cores, once with
// the pictures read the program's way (PictureIO::readImage, through the
// decoder processes) and once decoded in this process by the very same
// decoding code (DecoderCore::decode). Full size and fitted into 1920 x 1920;
// the isolated runs report their cost against the in-process ones.
//
// The photos are the JPEGs of at least 6 megapixels in Debian's
// lomiri-wallpapers-16.04, lomiri-wallpapers-20.04 and mate-backgrounds
// (`make bench` installs them).

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QProcess>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <map>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#include "common/pictureformats.h"
#include "decoder/decodercore.h"
#include "encode/encoding.h"
#include "engine/stampengine.h"
#include "io/pictureio.h"

namespace {

struct Photo
{
    QString path;
    qint64 pixels;
};

QList<Photo> corpus()
{
    QProcess dpkg;
    dpkg.start("dpkg-query",
        { "-L", "lomiri-wallpapers-16.04", "lomiri-wallpapers-20.04", "mate-backgrounds" });
    dpkg.waitForFinished();
    QList<Photo> photos;
    for (const QString &file : QString::fromLocal8Bit(dpkg.readAllStandardOutput()).split('\n')) {
        if (!file.endsWith(".jpg", Qt::CaseInsensitive))
            continue;
        const QSize size = QImageReader(file).size();
        if (qint64(size.width()) * size.height() >= 6000000)
            photos.append({ file, qint64(size.width()) * size.height() });
    }
    return photos;
}

// The limits and buffers of the run being measured.
PictureIO::ReadLimits limits;
PictureBuffers buffers;

QImage readIsolated(const QString &path)
{
    return PictureIO::readImage(path, limits, buffers).image;
}

// The decoder's own work, in this process: the same format check, reader
// and budget, without the process around it.
QImage readInProcess(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QImage();
    const PictureFormats::Format *format = PictureFormats::identify(file.peek(64));
    if (!format)
        return QImage();
    return DecoderCore::decode(&file, file.handle(), format->reader, limits.memoryBudget()).image;
}

// Stamps every photo on `workers` threads; false when one failed.
bool stampAll(const QList<Photo> &photos, QImage (*read)(const QString &), bool fit, int workers)
{
    StampOptions options;
    options.resizeEnabled = fit;
    options.keepAspectRatio = true;
    options.shadowHeight = 15;
    options.watermarkText = QStringLiteral("www.dovrinhalsek.com");
    const QImage logo = QImage(QStringLiteral(":/Resources/icon.png"));
    std::atomic<int> next { 0 };
    std::atomic<bool> failed { false };
    std::vector<std::thread> threads;
    limits = PictureIO::ReadLimits::forRun(workers + 1, 4, 0);
    for (int k = 0; k < workers; ++k)
        threads.emplace_back([&]() {
            const QFont font(QStringLiteral("DejaVu Sans"), 14);
            for (int i; (i = next++) < photos.size();) {
                QImage argb = PictureIO::toArgb32(read(photos[i].path));
                const Stamp::Composition stamped = Stamp::composeTwice(argb, Stamp::Placement(),
                    options, font, Qt::white, logo, Qt::SmoothTransformation);
                if (stamped.image.isNull()
                    || Encoding::encode(stamped.image, "jpg", 90).bytes.isEmpty())
                    failed = true;
            }
        });
    for (std::thread &thread : threads)
        thread.join();
    return !failed;
}

// Processor seconds used so far by this process and its decoders (those
// still running, and those reaped by their parent, are read from /proc).
double processorSeconds()
{
    rusage self {};
    rusage ended {};
    ::getrusage(RUSAGE_SELF, &self);
    ::getrusage(RUSAGE_CHILDREN, &ended);
    const auto seconds = [](const timeval &t) { return t.tv_sec + t.tv_usec / 1e6; };
    double total = seconds(self.ru_utime) + seconds(self.ru_stime) + seconds(ended.ru_utime)
        + seconds(ended.ru_stime);
    const double tick = double(::sysconf(_SC_CLK_TCK));
    for (const QString &task :
        QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile children("/proc/self/task/" + task + "/children");
        children.open(QIODevice::ReadOnly);
        for (const QByteArray &pid : children.readAll().split(' ')) {
            QFile stat("/proc/" + QString::fromLatin1(pid.trimmed()) + "/stat");
            if (pid.trimmed().isEmpty() || !stat.open(QIODevice::ReadOnly))
                continue;
            // utime, stime, cutime and cstime: the decoders' parent has
            // reaped the decoders it started.
            const QList<QByteArray> fields = stat.readAll().split(')').value(1).split(' ');
            total += (fields.value(12).toDouble() + fields.value(13).toDouble()
                         + fields.value(14).toDouble() + fields.value(15).toDouble())
                / tick;
        }
    }
    return total;
}

QList<Photo> photos;

// One iteration stamps every photo twice, in this process and isolated, in
// turns, so that a change in the machine's load meets both alike; the
// fastest of each and the least processor time of each are compared.
void batch(benchmark::State &state)
{
    const bool fit = state.range(0) != 0;
    if (photos.isEmpty()) {
        state.SkipWithError("no photos: install lomiri-wallpapers-16.04, "
                            "lomiri-wallpapers-20.04 and mate-backgrounds");
        return;
    }
    const int workers = std::max(1u, std::thread::hardware_concurrency());
    qint64 pixels = 0;
    for (const Photo &photo : photos)
        pixels += photo.pixels;
    stampAll(photos, readIsolated, fit, workers); // starts the decoders
    double fastest[2] = { 1e9, 1e9 };
    double least[2] = { 1e9, 1e9 };
    for (auto _ : state) {
        double took = 0;
        for (const int isolated : { 0, 1 }) {
            const double processorBefore = processorSeconds();
            const auto start = std::chrono::steady_clock::now();
            if (!stampAll(photos, isolated ? readIsolated : readInProcess, fit, workers)) {
                state.SkipWithError("a photo could not be stamped");
                return;
            }
            const std::chrono::duration<double> clock = std::chrono::steady_clock::now() - start;
            took += clock.count();
            fastest[isolated] = std::min(fastest[isolated], clock.count());
            least[isolated] = std::min(least[isolated], processorSeconds() - processorBefore);
        }
        state.SetIterationTime(took);
    }
    state.counters["in-process MP/s"] = pixels / 1e6 / fastest[0];
    state.counters["isolated MP/s"] = pixels / 1e6 / fastest[1];
    state.counters["cost %"] = 100.0 * (fastest[1] / fastest[0] - 1.0);
    // Processor time, which a busy machine disturbs less than the clock.
    state.counters["processor cost %"] = 100.0 * (least[1] / least[0] - 1.0);
}

} // namespace

BENCHMARK(batch)->ArgName("fit1920")->Arg(0)->Arg(1)->Iterations(4)->UseManualTime()->Unit(
    benchmark::kMillisecond);

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    photos = corpus();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
