// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch/logofile.h"

#include <QFileInfo>

#include <deque>
#include <memory>
#include <mutex>
#include <utility>

namespace LogoFile {

namespace {

// The renderings of one drawing, newest last, shared by every copy of the
// logo and every thread that stamps with it.
class Renderings
{
public:
    Renderings(QByteArray drawing, QString name, const PictureIO::ReadLimits &limits)
        : drawing(std::move(drawing))
        , name(std::move(name))
        , limits(limits)
    {
    }

    QImage at(QSize size)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            for (const auto &[made, image] : kept)
                if (made == size)
                    return image;
        }
        // Rendered without the lock: another thread may render the same
        // size meanwhile, which costs time, never a wrong picture.
        const PictureIO::ReadResult read
            = PictureIO::renderDrawing(drawing, size, name, limits, buffers);
        QImage image = read.status == PictureIO::ReadStatus::Ok
            ? PictureIO::toArgb32(read.image).convertToFormat(QImage::Format_ARGB32_Premultiplied)
            : QImage();
        std::lock_guard<std::mutex> lock(mutex);
        kept.emplace_back(size, image);
        if (kept.size() > Kept)
            kept.pop_front();
        return image;
    }

private:
    // A run whose pictures differ in size (a proportional stamp) renders
    // anew for each; one that keeps it, and a drag, render once.
    static constexpr size_t Kept = 4;
    const QByteArray drawing;
    const QString name;
    const PictureIO::ReadLimits limits;
    const PictureBuffers buffers;
    std::mutex mutex;
    std::deque<std::pair<QSize, QImage>> kept;
};

} // namespace

Loaded load(const QString &path, const PictureIO::ReadLimits &limits)
{
    Loaded loaded;
    PictureIO::LogoRead read = PictureIO::readLogo(path, limits, PictureBuffers());
    loaded.read = read.read;
    if (read.read.status != PictureIO::ReadStatus::Ok)
        return loaded;
    // A picture as its reader gave it, as logos have always been stamped.
    if (read.drawing.isEmpty()) {
        loaded.logo = read.read.image;
        return loaded;
    }
    auto renderings
        = std::make_shared<Renderings>(std::move(read.drawing), QFileInfo(path).fileName(), limits);
    loaded.logo = Stamp::Logo::drawing(read.read.drawingSize, PictureIO::toArgb32(read.read.image),
        [renderings](QSize size) { return renderings->at(size); });
    return loaded;
}

} // namespace LogoFile
