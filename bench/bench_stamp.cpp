// SPDX-License-Identifier: GPL-3.0-or-later
// The stamping engine on a 6000 x 4000 picture: the shadow bar next to the
// plain per-pixel QColor loop it replaces, and whole compositions with the
// options of a first run.
//
// The picture is a real photo when one is installed (the wallpapers of the
// lomiri-wallpapers and mate-backgrounds packages), scaled to 6000 x 4000;
// otherwise a synthetic one with smooth colour ramps and sensor-like noise.
// A bar is always laid on the picture's original pixels: they are restored
// outside the timed part before every iteration.

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>

#include "engine/stampengine.h"

namespace {

constexpr int PictureWidth = 6000;
constexpr int PictureHeight = 4000;

QString installedPhoto()
{
    const QStringList folders { QStringLiteral("/usr/share/backgrounds"),
        QStringLiteral("/usr/share/backgrounds/mate/nature") };
    for (const QString &folder : folders) {
        const QStringList names = QDir(folder).entryList(
            { QStringLiteral("*.jpg"), QStringLiteral("*.jpeg") }, QDir::Files, QDir::Name);
        if (!names.isEmpty())
            return QDir(folder).filePath(names.first());
    }
    return QString();
}

QImage syntheticPhoto()
{
    QImage image(PictureWidth, PictureHeight, QImage::Format_ARGB32);
    QRandomGenerator random(2024);
    for (int y = 0; y < PictureHeight; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        const double fy = double(y) / PictureHeight;
        for (int x = 0; x < PictureWidth; ++x) {
            const double fx = double(x) / PictureWidth;
            const int noise = int(random.bounded(17)) - 8;
            const int r = int(128 + 100 * std::sin(6.0 * fx + 2 * fy)) + noise;
            const int g = int(120 + 90 * std::cos(4.0 * fy - 3 * fx)) - noise / 2;
            const int b = int(110 + 80 * std::sin(9.0 * fx * fy + 1)) + noise / 3;
            line[x] = qRgb(qBound(0, r, 255), qBound(0, g, 255), qBound(0, b, 255));
        }
    }
    return image;
}

// The picture every benchmark works on, loaded as the program loads one: a
// 32-bit ARGB image.
const QImage &picture()
{
    static const QImage image = [] {
        const QString photo = installedPhoto();
        QImageReader reader(photo);
        reader.setAutoTransform(true);
        const QImage read = photo.isEmpty() ? QImage() : reader.read();
        if (read.isNull())
            return syntheticPhoto();
        return read.convertToFormat(QImage::Format_ARGB32)
            .scaled(PictureWidth, PictureHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_ARGB32);
    }();
    return image;
}

QString pictureLabel()
{
    const QString photo = installedPhoto();
    return photo.isEmpty() ? QStringLiteral("synthetic") : QFileInfo(photo).fileName();
}

// The bottom `rows` rows of `work` get the original pixels back.
void restoreBottomRows(QImage &work, int rows)
{
    const QImage &original = picture();
    for (int y = PictureHeight - rows; y < PictureHeight; ++y)
        std::memcpy(
            work.scanLine(y), original.constScanLine(y), static_cast<size_t>(work.bytesPerLine()));
}

ShadowTone toneOf(const benchmark::State &state)
{
    return state.range(1) ? ShadowTone::Light : ShadowTone::Dark;
}

void setLabels(benchmark::State &state, int rows)
{
    state.SetItemsProcessed(state.iterations() * int64_t(rows) * PictureWidth);
    state.SetLabel(QStringLiteral("%1, %2")
                       .arg(toneOf(state) == ShadowTone::Dark ? QStringLiteral("dark")
                                                              : QStringLiteral("light"),
                           pictureLabel())
                       .toStdString());
}

void BM_ShadowBar(benchmark::State &state)
{
    const int rows = static_cast<int>(state.range(0));
    const ShadowTone tone = toneOf(state);
    QImage work = picture().copy(); // not shared, so no copy inside the timing
    // The shading tables are built on first use, once per run of the program.
    Stamp::applyShadowBar(work, 1, ShadowEdge::Bottom, tone);
    for (auto _ : state) {
        state.PauseTiming();
        restoreBottomRows(work, rows);
        state.ResumeTiming();
        Stamp::applyShadowBar(work, rows, ShadowEdge::Bottom, tone);
        benchmark::DoNotOptimize(work.constBits());
    }
    setLabels(state, rows);
}

// The obvious implementation: one QColor round trip per pixel.
void BM_ShadowBarQColorLoop(benchmark::State &state)
{
    const int rows = static_cast<int>(state.range(0));
    const bool dark = toneOf(state) == ShadowTone::Dark;
    QImage work = picture().copy();
    for (auto _ : state) {
        state.PauseTiming();
        restoreBottomRows(work, rows);
        state.ResumeTiming();
        for (int k = 1; k <= rows; ++k) {
            const int y = PictureHeight - k;
            for (int x = 0; x < PictureWidth; ++x) {
                const QRgb p = work.pixel(x, y);
                const QColor colour(qRed(p), qGreen(p), qBlue(p));
                work.setPixel(x, y, (dark ? colour.darker(200) : colour.lighter(200)).rgba());
            }
        }
        benchmark::DoNotOptimize(work.constBits());
    }
    setLabels(state, rows);
}

QImage benchLogo()
{
    QImage logo(300, 100, QImage::Format_ARGB32);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 300; ++x)
            logo.setPixel(x, y, qRgba(255, 255 - y, x * 255 / 299, qMin(255, 10 + 3 * qMin(x, y))));
    return logo;
}

// One composition as the program makes it with the options of a first run
// (text "www.dovrinhalsek.com" instead of the placeholder, DejaVu Sans
// instead of Cambria), after an earlier one has left its size and text extent.
void BM_Compose(benchmark::State &state)
{
    StampOptions options;
    options.shadowHeight = 15;
    options.shadowEdge = ShadowEdge::Bottom;
    options.shadowTone = ShadowTone::Dark;
    options.watermarkText = QStringLiteral("www.dovrinhalsek.com");
    options.textOffsetX = 20;
    options.textOffsetY = 20;
    options.resizeEnabled = state.range(0) != 0;
    options.resizeWidth = 1920;
    options.resizeHeight = 1920;
    const QFont font(QStringLiteral("DejaVu Sans"), 18);
    const QColor white(Qt::white);
    const QImage logo = benchLogo();
    const QImage &source = picture();

    Stamp::Composition last = Stamp::compose(
        source, source, QRect(), options, font, white, logo, Qt::FastTransformation);
    for (auto _ : state) {
        last = Stamp::compose(source, last.image, last.textExtent, options, font, white, logo,
            Qt::FastTransformation, last.textPos, last.logoPos);
        benchmark::DoNotOptimize(last.image.constBits());
    }
    state.SetLabel(
        QStringLiteral("%1 -> %2 x %3, %4")
            .arg(options.resizeEnabled ? QStringLiteral("resized") : QStringLiteral("full size"))
            .arg(last.image.width())
            .arg(last.image.height())
            .arg(pictureLabel())
            .toStdString());
}

} // namespace

// The fast bar and the per-pixel QColor loop run on the same cases, side by
// side, so that their ratio can be read off one run.
static void barCases(benchmark::internal::Benchmark *bench)
{
    bench->ArgNames({ "rows", "light" })->Unit(benchmark::kMillisecond);
    for (int rows : { 15, 1000 })
        for (int light : { 0, 1 })
            bench->Args({ rows, light });
}
BENCHMARK(BM_ShadowBar)->Apply(barCases);
BENCHMARK(BM_ShadowBarQColorLoop)->Apply(barCases);
BENCHMARK(BM_Compose)->ArgNames({ "resize" })->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // fonts for the watermark text
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    picture(); // load once, before any timing
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
