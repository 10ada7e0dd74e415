// SPDX-License-Identifier: GPL-3.0-or-later
// Writing stamped photos: Qt's image writer as the program used it before
// (JPG 4:2:0 through Qt's libjpeg, PNG and uncompressed TIF with an alpha
// channel, no metadata) against the program's own encoder (JPG through
// libjpeg-turbo, 4:4:4 at quality 90; PNG and LZW TIF without alpha; WEBP
// through libwebp, against JPG at 85 and 90; the
// source's EXIF, IPTC, XMP, colour profile and resolution carried over, read
// from the source file each time as the run does). Every photo is decoded
// once beforehand (the first eight); only encoding is timed. Counters: megapixels per second
// and the output's bytes per pixel.
//
// The photos are the JPEGs of at least 6 megapixels in Debian's
// lomiri-wallpapers-16.04, lomiri-wallpapers-20.04 and mate-backgrounds
// (`make bench` installs them).

#include <QBuffer>
#include <QGuiApplication>
#include <QImageReader>
#include <QImageWriter>
#include <QProcess>

#include <benchmark/benchmark.h>

#include "common/metadatapieces.h"
#include "encode/encoding.h"
#include "io/pictureio.h"

namespace {

struct Photo
{
    QString path;
    QImage stamped; // as the compositor leaves it: 32-bit ARGB
    // Read by the decoder process with the pixels, written for each output
    // format (by its suffix).
    QMap<QString, Metadata::Source> metadata;
};

const QList<Photo> &corpus()
{
    static const QList<Photo> photos = [] {
        QProcess dpkg;
        dpkg.start("dpkg-query",
            { "-L", "lomiri-wallpapers-16.04", "lomiri-wallpapers-20.04", "mate-backgrounds" });
        dpkg.waitForFinished();
        QList<Photo> found;
        for (const QString &file :
            QString::fromLocal8Bit(dpkg.readAllStandardOutput()).split('\n')) {
            if (found.size() == 8) // enough to measure, little enough to hold
                break;
            const QSize size = QImageReader(file).size();
            if (!file.endsWith(".jpg", Qt::CaseInsensitive)
                || qint64(size.width()) * size.height() < 6000000)
                continue;
            Photo photo { file, QImage(), {} };
            for (const char *suffix : { "jpg", "png", "tif", "webp" }) {
                Metadata::Wanted wanted;
                wanted.suffix = suffix;
                PictureIO::ReadResult read
                    = PictureIO::readImage(file, PictureIO::ReadLimits(), PictureBuffers(), wanted);
                if (read.status != PictureIO::ReadStatus::Ok)
                    break;
                photo.metadata[suffix] = read.metadata;
                photo.stamped = PictureIO::toArgb32(std::move(read.image));
            }
            if (photo.metadata.size() == 4)
                found.append(photo);
        }
        return found;
    }();
    return photos;
}

QByteArray withQt(const QImage &image, const char *format, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.write(image);
    return bytes;
}

void encodeAll(benchmark::State &state, const char *suffix, int quality, bool ours)
{
    const QList<Photo> &photos = corpus();
    if (photos.isEmpty()) {
        state.SkipWithError("no benchmark photos installed");
        return;
    }
    qint64 pixels = 0, bytes = 0;
    for (auto _ : state) {
        for (const Photo &photo : photos) {
            const QByteArray encoded = ours
                ? Encoding::encode(photo.stamped, suffix, quality, photo.metadata[suffix]).bytes
                : withQt(photo.stamped, QByteArray(suffix) == "tif" ? "tiff" : suffix, quality);
            pixels += qint64(photo.stamped.width()) * photo.stamped.height();
            bytes += encoded.size();
        }
    }
    state.counters["MP/s"] = benchmark::Counter(double(pixels) / 1e6, benchmark::Counter::kIsRate);
    state.counters["bytes/pixel"] = double(bytes) / double(pixels);
}

} // namespace

// Encoding runs on one thread: rates are per CPU second, which other work
// on the machine does not skew.
BENCHMARK_CAPTURE(encodeAll, jpg90_qt_before, "jpg", 90, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encodeAll, jpg90_tarvelo, "jpg", 90, true)->Unit(benchmark::kMillisecond);
// Both 4:2:0: libjpeg-turbo's own API against Qt's writer, like for like.
BENCHMARK_CAPTURE(encodeAll, jpg89_qt_before, "jpg", 89, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encodeAll, jpg89_tarvelo, "jpg", 89, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encodeAll, png_qt_before, "png", -1, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encodeAll, png_tarvelo, "png", -1, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encodeAll, tif_qt_before, "tif", -1, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encodeAll, tif_tarvelo, "tif", -1, true)->Unit(benchmark::kMillisecond);
// WebP for the web against the JPG a web export takes, at the usual
// qualities, with the metadata of each.
BENCHMARK_CAPTURE(encodeAll, jpg85_tarvelo, "jpg", 85, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encodeAll, webp85_tarvelo, "webp", 85, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encodeAll, webp90_tarvelo, "webp", 90, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encodeAll, webp100_tarvelo, "webp", 100, true)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
