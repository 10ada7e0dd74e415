// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/decoderconversation.h"

#include <QElapsedTimer>

#include <atomic>
#include <cerrno>
#include <csignal>

#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/budget.h"
#include "common/decoderprotocol.h"
#include "common/decoderreply.h"
#include "common/pictureformats.h"
#include "io/decoderparent.h"

using namespace DecoderProtocol;

namespace DecoderConversation {

namespace {

const QString malformed = QStringLiteral("the decoder sent a malformed reply");

std::atomic<int> signalTarget { 0 };

// What became of a picture's decoder, as far as this side heard.
enum class Heard {
    Reply, // its reply came
    Malformed, // it sent something else
    Ended, // it ended without a reply; how is in the report
    TimedOut, // it took longer than ClockSeconds
    Refused, // its parent could not start it; why is in the report
    Orphaned, // its parent went while it decoded, and took it along
    Unstarted, // its parent went before it started it
    Garbled, // its parent said something else than a report
};

// Waits for the reply on `picture` and hears the parent on `report`.
Heard listen(int picture, int report, Reply &reply, Report &said, bool &started)
{
    QElapsedTimer clock;
    clock.start();
    bool decoderGone = false;
    bool parentGone = false;
    bool ended = false;
    started = false;
    for (;;) {
        if (decoderGone && (ended || parentGone))
            return ended ? Heard::Ended : started ? Heard::Orphaned : Heard::Unstarted;
        const qint64 left = ClockSeconds * 1000LL - clock.elapsed();
        if (left <= 0)
            return Heard::TimedOut;
        pollfd watch[2] = { { decoderGone ? -1 : picture, POLLIN, 0 },
            { parentGone ? -1 : report, POLLIN, 0 } };
        if (::poll(watch, 2, int(left)) <= 0)
            continue;
        if (watch[0].revents) {
            const Received received = receiveReply(picture, reply);
            if (received == Received::Message)
                return Heard::Reply;
            if (received == Received::Malformed)
                return Heard::Malformed;
            decoderGone = received == Received::Gone;
        }
        if (watch[1].revents) {
            Report heard;
            const Received received = receiveReport(report, heard);
            if (received == Received::Malformed)
                return Heard::Garbled;
            if (received == Received::Message && heard.kind == Report::Refused) {
                said = heard;
                return Heard::Refused;
            }
            if (received == Received::Message) {
                started = true;
                ended = heard.kind == Report::Ended;
                if (ended)
                    said = heard;
            } else {
                parentGone = received == Received::Gone;
            }
        }
    }
}

// Why a decoder ended without an answer, by its parent's report.
QString ending(const Report &said)
{
    const int status = said.status;
    const bool signalled = WIFSIGNALED(status);
    // Killed at the hard limit when it ignored the soft one.
    if ((signalled && WTERMSIG(status) == SIGXCPU)
        || (signalled && WTERMSIG(status) == SIGKILL && said.cpuMilliseconds >= CpuSeconds * 1000))
        return QStringLiteral("the decoder ran out of time");
    if (signalled && WTERMSIG(status) == SIGSYS)
        return QStringLiteral("the decoder tried to do what it may not");
    return QStringLiteral("the decoder crashed");
}

// True when the size a reply gives is one this side can believe: within the
// budget and the pixel cap, and no larger than what the file's header
// claimed when that is known here (either way round: the reader may have
// turned the picture).
bool believable(const QSize &size, const Limits &limits)
{
    if (!Budget::fits(size, limits.budgetBytes) || !Budget::withinCap(size, limits.maxPixels))
        return false;
    const QSize &claimed = limits.claimed;
    return !claimed.isValid() || size == claimed || size == claimed.transposed();
}

// The picture the decoder left in `memory`, which it then owns; a null
// image when the reply does not describe one that fits (the decoder is not
// trusted either). Nothing is mapped before the numbers are checked.
QImage picture(const Reply &reply, int memory, qint64 capacity, const Limits &limits,
    const PictureBuffers &buffers)
{
    // 32-bit pixels only: anything the program would have to expand
    // (a 1-bit picture is a 32nd of its expanded self) the decoder expands.
    if (reply.width <= 0 || reply.height <= 0
        || (reply.format != QImage::Format_RGB32 && reply.format != QImage::Format_ARGB32)
        || !believable(QSize(reply.width, reply.height), limits))
        return QImage();
    const auto format = QImage::Format(reply.format);
    const qint64 bytes = Budget::pixelBytes(QSize(reply.width, reply.height), format);
    // Rows as QImage lays them out, and nothing else: the decoder writes
    // its picture exactly so.
    if (bytes <= 0 || qint64(reply.bytesPerLine) * reply.height != bytes || bytes > capacity)
        return QImage();
    // Composed on where it is: no decoder gets the buffer again before it
    // has been cleared, and the picture goes before the buffer does.
    return buffers.picture(memory, reply.width, reply.height, reply.bytesPerLine, format);
}

// Reads the details after the pixels; false when they are malformed. A
// picture needs them (its colour table is there); a refusal may come
// without any.
bool readDetails(const Reply &reply, int memory, qint64 capacity, DecoderReply::Details &details)
{
    if (reply.detailsBytes == 0 && reply.outcome != Outcome::Decoded)
        return true;
    if (reply.detailsBytes <= 0 || reply.detailsOffset < 0 || reply.detailsOffset % 4096
        || reply.detailsBytes > DetailsRoom || reply.detailsOffset > capacity
        || reply.detailsBytes > capacity - reply.detailsOffset)
        return false;
    void *address = ::mmap(
        nullptr, size_t(reply.detailsBytes), PROT_READ, MAP_PRIVATE, memory, reply.detailsOffset);
    if (address == MAP_FAILED)
        return false;
    const bool sound
        = DecoderReply::read(static_cast<const char *>(address), reply.detailsBytes, details);
    ::munmap(address, size_t(reply.detailsBytes));
    return sound;
}

void apply(const DecoderReply::Details &details, QImage &image)
{
    image.setColorTable(details.colours);
    if (details.dotsX > 0 && details.dotsY > 0) {
        image.setDotsPerMeterX(details.dotsX);
        image.setDotsPerMeterY(details.dotsY);
    }
    for (const auto &text : details.texts)
        image.setText(text.first, text.second);
}

// Decodes in a decoder of its own: true with its reply, `report` then left
// open (the decoder's end is heard on it later, see PictureBuffers); false saying
// why, with `ended` when the decoder is known to have ended, so that its
// memory can be given to another.
bool decodeInNewDecoder(const Request &request, int file, int memory, qint64 maxPixels,
    Reply &reply, int &report, QString &why, bool &ended)
{
    ended = true;
    for (int attempt = 0; attempt < 2; ++attempt) {
        int picture[2];
        int reports[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, picture) != 0) {
            why = QStringLiteral("the picture decoder could not be started (%1)")
                      .arg(qt_error_string(errno));
            return false;
        }
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, reports) != 0) {
            why = QStringLiteral("the picture decoder could not be started (%1)")
                      .arg(qt_error_string(errno));
            ::close(picture[0]);
            ::close(picture[1]);
            return false;
        }
        Start start;
        start.cpuSeconds = CpuSeconds;
        start.signalTarget = signalTarget;
        pid_t parent = -1;
        // The request waits on the picture's socket for the decoder.
        const bool asked = sendRequest(picture[0], request, file, memory, ClockSeconds * 1000)
            && DecoderParent::start(start, maxPixels, picture[1], reports[1], parent, why);
        ::close(picture[1]);
        ::close(reports[1]);
        Heard heard = Heard::Unstarted;
        bool started = false;
        Report said;
        if (asked)
            heard = listen(picture[0], reports[0], reply, said, started);
        ::close(picture[0]);
        if (heard == Heard::Reply) {
            // Done with it: its parent ends it if it has not ended itself.
            ::shutdown(reports[0], SHUT_WR);
            report = reports[0];
            return true;
        }
        ::close(reports[0]); // ends a decoder still running
        if (!asked) {
            if (why.isEmpty())
                why = QStringLiteral("the picture decoder could not be started");
            return false;
        }
        ended = heard == Heard::Ended || heard == Heard::Refused;
        switch (heard) {
        case Heard::Ended:
            why = ending(said);
            return false;
        case Heard::Refused:
            why = QStringLiteral("the picture decoder could not be started (%1)")
                      .arg(qt_error_string(said.status));
            return false;
        case Heard::TimedOut:
            if (started) {
                why = QStringLiteral("the decoder ran out of time");
                return false;
            }
            break;
        case Heard::Orphaned:
            DecoderParent::drop(parent);
            why = QStringLiteral("the decoder crashed");
            return false;
        case Heard::Unstarted:
            // Gone before it started a decoder: nothing read the picture,
            // a new parent may.
            DecoderParent::drop(parent);
            continue;
        default:
            break;
        }
        // A parent that says anything else or nothing at all is replaced.
        DecoderParent::drop(parent);
        why = heard == Heard::TimedOut
            ? QStringLiteral("the picture decoder could not be started (it did not answer)")
            : malformed;
        return false;
    }
    why = QStringLiteral("the picture decoder could not be started");
    return false;
}

} // namespace

void setSignalTargetForTesting(int pid)
{
    signalTarget = pid;
}

Result decode(int fd, const QByteArray &reader, const Limits &limits, const PictureBuffers &buffers,
    const std::optional<Metadata::Wanted> &metadata, QSize fit, bool keepAspectRatio, bool fields,
    QSize render)
{
    Result result;
    DecoderReply::Asked asked;
    asked.reader = reader;
    asked.budgetBytes = limits.budgetBytes;
    asked.maxPixels = limits.maxPixels;
    asked.fit = fit;
    asked.fitKeepsAspect = keepAspectRatio;
    asked.metadata = metadata;
    asked.fields = fields;
    const bool drawing = reader == "svg";
    if (drawing)
        asked.render = render;
    Request request;
    if (!DecoderReply::write(asked, request)) {
        result.errorText = QStringLiteral("no such reader");
        return result;
    }
    const int memory = buffers.take(PictureBuffers::capacityFor(limits.maxPixels));
    if (memory < 0) {
        result.errorText = qt_error_string(errno);
        return result;
    }
    Reply reply;
    int report = -1;
    bool ended = true;
    if (!decodeInNewDecoder(
            request, fd, memory, limits.maxPixels, reply, report, result.errorText, ended)) {
        if (ended)
            buffers.give(memory);
        else
            buffers.discard(memory);
        return result;
    }
    buffers.heldBy(memory, report);

    // Sealed against any change of size from the start.
    struct stat info;
    const qint64 capacity = ::fstat(memory, &info) == 0 ? qint64(info.st_size) : 0;
    // What is cleared before the buffer's next use: the pixels and details
    // the reply describes, as far as the buffer and the budget reach.
    const qint64 pixels = qint64(qMax(reply.bytesPerLine, 0)) * qMax(reply.height, 0);
    const qint64 detailsEnd
        = reply.detailsOffset >= 0 && reply.detailsOffset <= capacity && reply.detailsBytes >= 0
        ? reply.detailsOffset + qMin(reply.detailsBytes, DetailsRoom)
        : 0;
    buffers.wrote(
        memory, qMin(qMax(pixels, detailsEnd), qMin(capacity, limits.budgetBytes + DetailsRoom)));
    result.size = QSize(reply.width, reply.height);
    DecoderReply::Details details;
    const bool sound = readDetails(reply, memory, capacity, details);
    switch (sound ? reply.outcome : Outcome(-1)) {
    case Outcome::Decoded: {
        // A picture decoded smaller for a fitted run is checked by the size
        // of the file it stands for, below, not by its own.
        Limits checked = limits;
        // A drawing comes at the size it was asked for, and says its own,
        // which is no larger than any drawing may state.
        if (drawing) {
            const QSize own(reply.drawingWidth, reply.drawingHeight);
            if (!render.isEmpty())
                checked.claimed = render;
            if (own.isEmpty() || own.width() > PictureFormats::MaxDrawingSide
                || own.height() > PictureFormats::MaxDrawingSide || reply.fullWidth > 0
                || reply.fullHeight > 0)
                checked.budgetBytes = 0;
            result.drawing = own;
        }
        if (!fit.isEmpty() && (reply.fullWidth > 0 || reply.fullHeight > 0)) {
            const QSize full(reply.fullWidth, reply.fullHeight);
            if (!believable(full, limits))
                checked.budgetBytes = 0;
            checked.claimed = QSize();
        }
        result.image = picture(reply, memory, capacity, checked, buffers);
        result.kind = result.image.isNull() ? Result::DecoderFailed : Result::Decoded;
        // Smaller than the file only when asked to, and only as much as the
        // resize allows: anything else is believed no more than the rest.
        if (reply.fullWidth > 0 || reply.fullHeight > 0) {
            const QSize full(reply.fullWidth, reply.fullHeight);
            const QSize least
                = full.scaled(fit, keepAspectRatio ? Qt::KeepAspectRatio : Qt::IgnoreAspectRatio);
            const bool sound = full == result.size
                || (!fit.isEmpty() && full.width() >= reply.width && full.height() >= reply.height
                    && reply.width >= least.width() && reply.height >= least.height());
            if (!sound)
                result.kind = Result::DecoderFailed;
            else if (full != result.size)
                result.full = full;
        }
        break;
    }
    case Outcome::TooLarge:
        result.kind = Result::TooLarge;
        break;
    case Outcome::Damaged:
        result.kind = Result::Damaged;
        break;
    case Outcome::Failed:
        result.kind = Result::Failed;
        break;
    default:
        result.kind = Result::DecoderFailed;
        break;
    }
    if (result.kind == Result::DecoderFailed) {
        // Its memory is not used again, and the decoder is ended now.
        buffers.discard(memory);
        result.size = QSize();
        result.errorText = malformed;
        return result;
    }
    if (result.image.isNull())
        buffers.give(memory);
    else
        apply(details, result.image);
    result.errorText = details.errorText;
    result.metadata = details.metadata.value_or(QByteArray());
    result.fields = details.fields.value_or(PictureFields());
    return result;
}

} // namespace DecoderConversation
