// SPDX-License-Identifier: GPL-3.0-or-later
#include "decoder/serving.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <optional>

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/argb.h"
#include "common/decoderreply.h"
#include "decoder/decodercore.h"
#include "decoder/drawing.h"
#include "decoder/fence.h"
#include "decoder/hugepages.h"
#include "decoder/mappedfile.h"
#include "decoder/metadatareader.h"
#include "decoder/outputmetadata.h"

using namespace DecoderProtocol;

namespace Serving {

namespace {

// Whether the system gives memory in huge pages to a process that asks
// (transparent huge pages "always" or "madvise"); found out by prepare().
bool hugePages = false;

// Copies `count` bytes to the memfd at `offset`, where the program made
// room for them, by writing them: the program's pages are filled where they
// lie, none of them mapped here. With `release`, the copied pages of
// `bytes` (memory of this process's own) go back to the system a run at a
// time, so that the picture is not held twice.
bool put(int memory, qint64 offset, const uchar *bytes, qint64 count, bool release = false)
{
    struct stat info;
    if (offset < 0 || count < 0 || ::fstat(memory, &info) != 0 || info.st_size < offset + count
        || ::lseek(memory, offset, SEEK_SET) != offset)
        return false;
    constexpr qint64 Run = 8 << 20;
    const qint64 page = ::sysconf(_SC_PAGESIZE);
    for (qint64 done = 0; done < count;) {
        const ssize_t written = ::write(memory, bytes + done, size_t(std::min(Run, count - done)));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        const auto from = (quintptr(bytes + done) + page - 1) & ~quintptr(page - 1);
        const auto to = quintptr(bytes + done + written) & ~quintptr(page - 1);
        if (release && to > from)
            ::madvise(reinterpret_cast<void *>(from), to - from, MADV_DONTNEED);
        done += written;
    }
    return true;
}

// Whether the program's memory `memory` has room for `bytes` bytes of
// pixels with the details after them.
bool roomFor(int memory, qint64 bytes)
{
    struct stat info;
    return bytes > 0 && ::fstat(memory, &info) == 0
        && ((bytes + 4095) & ~qint64(4095)) + DetailsRoom <= info.st_size;
}

// The first `bytes` of the program's memory, mapped here; nullptr when
// they cannot be.
uchar *mapShared(int memory, qint64 bytes)
{
    void *address = ::mmap(nullptr, size_t(bytes), PROT_READ | PROT_WRITE, MAP_SHARED, memory, 0);
    return address == MAP_FAILED ? nullptr : static_cast<uchar *>(address);
}

// The memory for `bytes` bytes of pixels with the details after them;
// nullptr when the program has no room for them. With huge pages, this
// process's own, handed over by put() once the picture is whole: a new
// process maps every page it touches for the first time, and with huge
// pages that is one mapping for 512 pages, where the program's memory (which
// the system keeps in small pages) costs one for each. Otherwise the
// program's memory itself (`shared`), mapped at once: where the program
// kept the pages of an earlier picture (cleared), a read maps a run of them
// at a time; the rest is populated with new pages.
uchar *pixelMemory(int memory, qint64 bytes, bool &shared)
{
    if (!roomFor(memory, bytes))
        return nullptr;
    if (hugePages) {
        shared = false;
        return hugePageMemory(size_t(bytes));
    }
    uchar *pixels = mapShared(memory, bytes);
    if (!pixels)
        return nullptr;
    const qint64 kept = std::min<qint64>(bytes, std::max<off_t>(0, ::lseek(memory, 0, SEEK_HOLE)))
        & ~qint64(4095);
    for (qint64 at = 0; at < kept; at += 65536)
        static_cast<void>(*static_cast<volatile uchar *>(pixels + at));
    constexpr int PopulateRead = 22; // MADV_POPULATE_READ, Linux 5.14
    if (kept < bytes)
        ::madvise(pixels + kept, size_t(bytes - kept), PopulateRead);
    shared = true;
    return pixels;
}

// The first `bytes` of the program's memory, where a picture was written
// a band at a time, mapped without a page of it being read here; nullptr
// when the details would not fit after them.
uchar *writtenPixels(int memory, qint64 bytes, bool &shared)
{
    uchar *pixels = roomFor(memory, bytes) ? mapShared(memory, bytes) : nullptr;
    if (pixels)
        shared = true;
    return pixels;
}

// The file's metadata written for the output, packed for the program (with
// `output`; else nothing), and with `fields`, what it says for the fields
// of a text, from the same reading. Exiv2 gets the bytes the pixels were
// decoded from, the file's mapping: it would open the file by name, which
// the fence forbids (and the name is not known here).
QByteArray fileMetadata(int file, const MappedFile &mapped,
    const std::optional<OutputMetadata::Output> &output, PictureFields *fields)
{
    const auto problem = [&](const QString &why) {
        return output ? Metadata::pack(OutputMetadata::problem(*output, why)) : QByteArray();
    };
    struct stat info;
    if (::fstat(file, &info) != 0 || info.st_size < 0 || info.st_size > MappedFile::Largest)
        return problem(QStringLiteral("the file is too large to read its metadata"));
    try {
        const MetadataReader::Found found = MetadataReader::read(mapped.bytes());
        if (mapped.cutShort())
            return problem(QStringLiteral("the file was cut short while it was read"));
        if (fields)
            *fields = MetadataReader::fields(found);
        return output ? Metadata::pack(OutputMetadata::write(found, *output)) : QByteArray();
    } catch (const std::bad_alloc &) {
        return problem(QStringLiteral("the decoder ran out of memory"));
    }
}

// `image` as 32-bit pixels, in the shared memory when `store` gives it: a
// 1-bit or indexed picture is expanded here, under this process's limits,
// so that the program never holds it in any other form. `shared` is where
// `image` lies when the reader decoded into the shared memory: it moves
// out before the expanded picture takes that memory's place.
QImage expanded(QImage image, const uchar *shared, const PixelStore &store)
{
    if (image.isNull() || image.format() == QImage::Format_RGB32)
        return image;
    const QImage source = image.constBits() == shared ? image.copy() : image;
    image = QImage();
    if (source.isNull())
        return QImage();
    const int width = source.width(), height = source.height();
    uchar *memory = store(qint64(width) * 4 * height);
    QImage target = memory ? QImage(memory, width, height, width * 4, QImage::Format_ARGB32)
                           : QImage(width, height, QImage::Format_ARGB32);
    if (!target.isNull())
        Argb::paint(source, target);
    return target;
}

} // namespace

void prepare()
{
    QFile setting(QStringLiteral("/sys/kernel/mm/transparent_hugepage/enabled"));
    if (setting.open(QIODevice::ReadOnly)) {
        const QByteArray chosen = setting.readAll();
        hugePages = chosen.contains("[always]") || chosen.contains("[madvise]");
    }
}

Reply serve(const Request &request, int file, int memory)
{
    const DecoderReply::Asked asked = DecoderReply::read(request);
    Reply reply;
    uchar *pixels = nullptr;
    bool shared = false; // the pixels lie in the program's memory already
    const auto store = [&](qint64 bytes) { return pixels = pixelMemory(memory, bytes, shared); };
    // An upright JPEG goes to the program's memory a band at a time.
    const PixelSink sink { [&](qint64 offset, const uchar *bytes, qint64 count) {
                              return put(memory, offset, bytes, count);
                          },
        [&](qint64 bytes) { return pixels = writtenPixels(memory, bytes, shared); } };

    QFile device;
    device.open(file, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    // One mapping of the file for the readers that take it whole: the JPEG
    // decoder and, after the pixels, the metadata reader.
    std::optional<MappedFile> mapped;
    Decoded decoded;
    const qint64 maxPixels = asked.maxPixels > 0 ? asked.maxPixels : Budget::DefaultMaxPixels;
    try {
        if (asked.reader == "svg") {
            decoded = Drawing::render(file, asked.render, asked.budgetBytes, maxPixels);
        } else {
            if (asked.reader == "jpeg" || asked.metadata || asked.fields)
                mapped.emplace(file, MappedFile::Largest);
            decoded = DecoderCore::decode(&device, file, asked.reader, asked.budgetBytes, store,
                maxPixels, asked.fit, asked.fitKeepsAspect, mapped ? &*mapped : nullptr, sink);
        }
    } catch (const std::bad_alloc &) {
        decoded = Decoded();
        decoded.errorText = QStringLiteral("the decoder ran out of memory");
    }

    QImage &image = decoded.image;
    if (!image.isNull()) {
        image = expanded(std::move(image), pixels, store);
        if (image.isNull())
            decoded.errorText = QStringLiteral("the decoder ran out of memory");
    }
    qint64 pixelBytes = image.isNull() ? 0 : image.sizeInBytes();
    const bool handedOver = shared && image.constBits() == pixels;
    if (!image.isNull() && !handedOver
        && !put(memory, 0, image.constBits(), pixelBytes, image.constBits() == pixels)) {
        decoded.tooLarge = true;
        image = QImage();
        pixelBytes = 0;
    }
    if (decoded.tooLarge)
        reply.outcome = Outcome::TooLarge;
    else if (decoded.damaged)
        reply.outcome = Outcome::Damaged;
    else
        reply.outcome = image.isNull() ? Outcome::Failed : Outcome::Decoded;
    reply.width = decoded.claimed.width();
    reply.height = decoded.claimed.height();
    if (decoded.full.isValid()) {
        reply.fullWidth = decoded.full.width();
        reply.fullHeight = decoded.full.height();
    }
    if (decoded.drawing.isValid()) {
        reply.drawingWidth = decoded.drawing.width();
        reply.drawingHeight = decoded.drawing.height();
    }
    reply.bytesPerLine = image.isNull() ? 0 : image.bytesPerLine();
    reply.format = image.isNull() ? 0 : int(image.format());

    DecoderReply::Details details;
    details.errorText = decoded.errorText;
    details.colours = image.colorTable();
    details.dotsX = image.dotsPerMeterX();
    details.dotsY = image.dotsPerMeterY();
    for (const QString &key : image.textKeys())
        details.texts.append({ key, image.text(key) });
    QByteArray written = DecoderReply::write(details);
    const QSize whole = decoded.full.isValid() ? decoded.full : image.size();
    image = QImage(); // before its memory goes
    // Only for a picture that will be stamped, with its pixels in the
    // program's memory already and the decoder's own copy gone.
    // Out of memory on the way, it hands nothing over, and the picture goes
    // without.
    // The fields of a text come from the same reading of the metadata.
    if ((asked.metadata || asked.fields) && reply.outcome == Outcome::Decoded && mapped) {
        try {
            std::optional<OutputMetadata::Output> output;
            if (asked.metadata)
                output = OutputMetadata::outputFor(*asked.metadata, whole);
            PictureFields fields;
            QByteArray metadata
                = fileMetadata(file, *mapped, output, asked.fields ? &fields : nullptr);
            if (output && written.size() + metadata.size() + 64 > DetailsRoom)
                metadata = Metadata::pack(
                    OutputMetadata::problem(*output, QStringLiteral("there is too much of it")));
            if (output)
                details.metadata = metadata;
            if (asked.fields)
                details.fields = fields;
            written = DecoderReply::write(details);
        } catch (const std::bad_alloc &) {
        }
    }
    device.close();
    reply.detailsOffset = (pixelBytes + 4095) & ~qint64(4095);
    if (written.size() > DetailsRoom)
        written.clear();
    reply.detailsBytes = written.size();
    if (!put(memory, reply.detailsOffset, reinterpret_cast<const uchar *>(written.constData()),
            written.size()))
        reply.detailsBytes = 0;
    return reply;
}

int decodeOne(const Start &start)
{
    Fence::fenceIn();
    if (start.signalTarget != 0)
        Fence::trySignal(start.signalTarget < 0 ? ::getpid() : start.signalTarget);
    Request request;
    int file = -1;
    int memory = -1;
    const Received received = receiveRequest(request, file, memory);
    if (received == Received::Gone)
        return 0;
    Reply reply;
    if (received == Received::Message)
        reply = serve(request, file, memory); // closes the file
    else if (file >= 0)
        ::close(file);
    return sendReply(reply) ? 0 : 1;
}

} // namespace Serving
