// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch/batchrunner.h"

#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "batch/batchlog.h"
#include "batch/fields.h"
#include "encode/encoding.h"
#include "io/containerlimits.h"
#include "io/outputfiles.h"

namespace {

// The run always scales smoothly: the fast mode is for the preview only.
constexpr Qt::TransformationMode RunScaling = Qt::SmoothTransformation;

// A copy of the options whose implicitly shared parts a worker may use
// without sharing them with another thread: the font keeps caches in its
// shared data, so each worker gets data of its own.
BatchOptions ownCopy(const BatchOptions &options)
{
    BatchOptions copy = options;
    copy.font.setStyleHint(copy.font.styleHint(), copy.font.styleStrategy());
    copy.logo = options.logo.detached();
    return copy;
}

// Encodes `picture`, stamped from `result`'s source, into `result` as a
// file of the format `suffix` names: sets its bytes and suffix, and the log
// line for metadata that could not be carried over. Returns the encoder's
// error text, empty on success.
QString encode(
    BatchResult &result, const QImage &picture, const QString &suffix, const BatchOptions &options)
{
    // The slider's quality serves the lossy formats; PNG and TIF have none.
    const bool lossy = suffix == QLatin1String("jpg") || suffix == QLatin1String("webp");
    const int quality = lossy ? options.jpgQuality : -1;
    Encoding::Encoded encoded = Encoding::encode(picture, suffix, quality, result.metadata);
    result.suffix = suffix;
    result.bytes = std::move(encoded.bytes);
    result.metadataLost = encoded.metadataProblem.isEmpty()
        ? QString()
        : BatchLog::metadataLost(QFileInfo(result.path).fileName(), encoded.metadataProblem);
    return encoded.errorText;
}

} // namespace

struct BatchRunner::Shared
{
    BatchOptions options;
    int workers = 1;
    // What each picture may take, and the memory the run's pictures are
    // decoded into: a picture's memory is kept for the next one for as long
    // as the run goes, as fresh pages cost more than the work done in them.
    PictureIO::ReadLimits limits;
    PictureBuffers buffers;

    std::mutex mutex;
    std::condition_variable workAvailable;
    std::condition_variable resultReady;
    struct Queued
    {
        int ticket;
        QString path;
        int counter;
    };
    std::deque<Queued> queued; // in ticket order
    std::set<int> working;
    std::set<int> unwanted; // cancelled while being worked on
    std::map<int, BatchResult> done;
    int nextTicket = 0;
    bool stopping = false;
    std::vector<std::thread> threads;

    // Pictures held: being worked on, or done and not yet taken.
    bool roomForMore() const { return int(working.size() + done.size()) < workers + 1; }

    // stampOne() on a worker thread, which nothing may leave: an exception
    // there would end the program and the whole batch with it. Whatever
    // goes wrong costs this picture alone.
    BatchResult stampGuarded(const QString &path, const BatchOptions &options, int counter) const
    {
        BatchResult result;
        result.path = path;
        result.counter = counter;
        result.suffix = options.suffix;
        const QString fileName = QFileInfo(path).fileName();
        try {
            return stampOne(path, options, limits, buffers, counter);
        } catch (const std::bad_alloc &) {
            result.failure
                = QStringLiteral("%1 could not be stamped: not enough memory.").arg(fileName);
        } catch (const std::exception &e) {
            result.failure = QStringLiteral("%1 could not be stamped: %2.")
                                 .arg(fileName, QString::fromLocal8Bit(e.what()));
        } catch (...) {
            result.failure = QStringLiteral("%1 could not be stamped.").arg(fileName);
        }
        return result;
    }

    void work()
    {
        std::unique_lock<std::mutex> lock(mutex);
        BatchOptions mine = ownCopy(options);
        for (;;) {
            workAvailable.wait(
                lock, [this] { return stopping || (!queued.empty() && roomForMore()); });
            if (stopping)
                return;
            const auto [ticket, path, counter] = queued.front();
            queued.pop_front();
            working.insert(ticket);
            mine.suffix = options.suffix;
            lock.unlock();

            BatchResult result = stampGuarded(path, mine, counter);
            result.ticket = ticket;

            lock.lock();
            working.erase(ticket);
            if (unwanted.erase(ticket) == 0 && !stopping)
                done.emplace(ticket, std::move(result));
            resultReady.notify_all();
            // A slot may have come free for the others.
            workAvailable.notify_all();
        }
    }
};

BatchRunner::BatchRunner(const BatchOptions &options)
    : shared(std::make_unique<Shared>())
{
    shared->options = options;
    // Unless told, one worker per core this process may really use: in a
    // container or a batch job that is the CPU quota or the affinity mask,
    // not the machine's cores.
    shared->workers = options.workers > 0 ? options.workers : ContainerLimits::usableCpus();
    shared->limits = limitsFor(options, shared->workers);
    for (int k = 0; k < shared->workers; ++k)
        shared->threads.emplace_back([this] { shared->work(); });
}

BatchRunner::~BatchRunner()
{
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->stopping = true;
        shared->queued.clear();
        shared->done.clear();
    }
    shared->workAvailable.notify_all();
    for (std::thread &thread : shared->threads)
        thread.join();
}

int BatchRunner::workerCount() const
{
    return shared->workers;
}

int BatchRunner::submit(const QString &path, int counter)
{
    std::lock_guard<std::mutex> lock(shared->mutex);
    const int ticket = shared->nextTicket++;
    shared->queued.push_back({ ticket, path, counter > 0 ? counter : ticket + 1 });
    shared->workAvailable.notify_one();
    return ticket;
}

void BatchRunner::cancel(int ticket)
{
    std::lock_guard<std::mutex> lock(shared->mutex);
    auto &queued = shared->queued;
    queued.erase(std::remove_if(queued.begin(), queued.end(),
                     [ticket](const auto &entry) { return entry.ticket == ticket; }),
        queued.end());
    if (shared->working.count(ticket))
        shared->unwanted.insert(ticket);
    if (shared->done.erase(ticket))
        shared->workAvailable.notify_all();
}

bool BatchRunner::take(int ticket, BatchResult &result, int waitMs)
{
    std::unique_lock<std::mutex> lock(shared->mutex);
    const auto ready = [this, ticket] { return shared->done.count(ticket) > 0; };
    if (!shared->resultReady.wait_for(lock, std::chrono::milliseconds(std::max(0, waitMs)), ready))
        return false;
    auto found = shared->done.find(ticket);
    result = std::move(found->second);
    shared->done.erase(found);
    shared->workAvailable.notify_all();
    return true;
}

void BatchRunner::setSuffix(const QString &suffix)
{
    std::lock_guard<std::mutex> lock(shared->mutex);
    shared->options.suffix = suffix;
}

BatchResult BatchRunner::stamp(const QString &path, const BatchOptions &options, int counter) const
{
    return shared->stampGuarded(path, options, counter);
}

PictureIO::ReadLimits BatchRunner::limitsFor(const BatchOptions &options, int workers)
{
    return options.keepImages ? PictureIO::ReadLimits::forRun(workers + 1, 4, options.maxMegapixels)
                              : PictureIO::ReadLimits::forRun(workers, 2, options.maxMegapixels);
}

BatchResult BatchRunner::stampOne(const QString &path, const BatchOptions &options,
    const PictureIO::ReadLimits &limits, const PictureBuffers &buffers, int counter)
{
    BatchResult result;
    result.path = path;
    result.counter = counter;
    result.suffix = options.suffix;
    const QString fileName = QFileInfo(path).fileName();

    // A picture that is resized anyway is decoded no larger than it needs.
    const StampOptions &stamp = options.stamp;
    const QSize fit = stamp.resizeEnabled ? QSize(stamp.resizeWidth, stamp.resizeHeight) : QSize();
    // The decoder writes the source's metadata for the output: its format
    // is fixed here, and its size follows from the picture's by the resize.
    std::optional<Metadata::Wanted> wanted;
    if (!Metadata::formatOf(options.suffix).isEmpty()) {
        wanted = Metadata::Wanted();
        wanted->suffix = options.suffix;
        wanted->keep = options.keepMetadata;
        wanted->withoutLocation = options.stripLocation;
        wanted->resize = Stamp::resizeRule(stamp);
    }
    // The decoder reads the metadata's fields only when the text or the
    // output's name takes any (the name takes them whether or not the
    // text's fields are filled in).
    const bool fields = (options.textFields && Fields::needsMetadata(stamp.watermarkText))
        || Fields::needsMetadata(options.namePattern);
    PictureIO::ReadResult read
        = PictureIO::readImage(path, limits, buffers, wanted, fit, stamp.keepAspectRatio, fields);
    result.size = read.size;
    result.values.name = QFileInfo(path).completeBaseName();
    result.values.metadata = read.fields;
    result.values.modified = read.modified;
    result.values.counter = counter;
    if (read.status == PictureIO::ReadStatus::Missing) {
        result.status = BatchResult::Status::Missing;
        result.failure = read.errorText;
        return result;
    }
    result.failure = BatchLog::refusal(read, fileName);
    if (!result.failure.isEmpty())
        return result;

    // Handed over, the decoded picture is composed on where the decoder
    // left it.
    const bool opaque = read.image.format() == QImage::Format_RGB32;
    QImage source = PictureIO::toArgb32(std::move(read.image));
    read.image = QImage();
    // The smooth resize works on premultiplied pixels, which opaque ones
    // already are: so it converts nothing (a whole picture's copy) first.
    if (opaque && stamp.resizeEnabled)
        source.reinterpretAsFormat(QImage::Format_ARGB32_Premultiplied);
    StampOptions resize = stamp;
    if (options.textFields) {
        Fields::Values values = result.values;
        values.output = ResizeRule::resized(
            read.size.isValid() ? read.size : source.size(), Stamp::resizeRule(stamp));
        resize.watermarkText = Fields::expand(stamp.watermarkText, values);
    }
    if (!source.isNull() && read.size.isValid() && source.size() != read.size) {
        // Decoded smaller: the resize of the whole picture is made from it,
        // to the size the whole picture resizes to, and is done with.
        const QSize resized = ResizeRule::resized(read.size, Stamp::resizeRule(stamp));
        source = source.scaled(resized, Qt::IgnoreAspectRatio, RunScaling);
        resize.resizeEnabled = false;
    }
    Stamp::Composition composition;
    // Drawn on where it is: without a resize, only the bar's rows and the
    // text's and logo's rectangles are touched, and no picture is copied.
    if (!source.isNull())
        composition = Stamp::composeTwice(std::move(source), Stamp::Placement(), resize,
            options.font, options.color, options.logo, RunScaling);
    if (composition.image.isNull()) {
        result.failure = BatchLog::outOfMemory(fileName, read.size);
        return result;
    }

    result.values.output = composition.image.size();
    result.metadata = std::move(read.metadata);
    result.failure = ::encode(result, composition.image, options.suffix, options);
    if (result.bytes.isEmpty())
        return result;
    result.status = BatchResult::Status::Stamped;
    result.failure.clear();
    result.outside = BatchLog::outside(fileName, composition);
    result.placement = { composition.textPos, composition.logoPos, composition.textExtent };
    if (options.keepImages) {
        result.stamped = composition.image;
    }
    return result;
}

OutputFiles::WriteResult BatchRunner::write(const BatchResult &result, const QString &folder,
    const OutputNames::Place &place, const OutputFiles::TagSource &nextTag)
{
    OutputFiles::WriteResult written;
    const QString into = placeFolder(result.path, folder, place, &written.errorText);
    if (into.isEmpty())
        return written;
    return OutputFiles::createNew(result.bytes, into, place.name, result.suffix, nextTag);
}

QString BatchRunner::placeFolder(
    const QString &source, const QString &folder, const OutputNames::Place &place, QString *failure)
{
    QString why;
    const QString into = OutputFiles::makeFolder(folder, place.folder, &why);
    if (into.isEmpty())
        *failure = QStringLiteral("%1 was not stamped: %2.").arg(QFileInfo(source).fileName(), why);
    return into;
}
