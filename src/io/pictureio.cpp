// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/pictureio.h"

#include <QFile>
#include <QFileInfo>

#include "common/argb.h"
#include "common/budget.h"
#include "common/bytes.h"
#include "common/pictureformats.h"
#include "io/decoderconversation.h"
#include "io/picturebuffers.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace PictureIO {

namespace {

ReadResult readGuarded(const QString &path, const ReadLimits &readLimits,
    const PictureBuffers &buffers, const std::optional<Metadata::Wanted> &metadata, QSize fit,
    bool keepAspectRatio)
{
    ReadResult result;
    const QByteArray native = QFile::encodeName(path);
    if (native.isEmpty())
        return result;

    // Open without blocking and look at what was opened, not at the name:
    // checking the name first and opening afterwards would let a FIFO slip in
    // between, and opening a FIFO for reading waits for a writer.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        result.status
            = (error == ENOENT || error == ENOTDIR) ? ReadStatus::Missing : ReadStatus::Unreadable;
        result.errorText = qt_error_string(error);
        return result;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        result.status = ReadStatus::NotRegularFile;
        result.errorText = QStringLiteral("Not a regular file");
        return result;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags != -1)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);

    // The signature decides which reader sees the bytes; content of a kind
    // not read here reaches no reader at all.
    const QFileInfo file(path);
    const QString fileName = file.fileName();
    const QByteArray first = Bytes::readAt(fd, 0, PictureFormats::HeadBytes);
    const PictureFormats::Format *format = PictureFormats::identify(first, file.suffix());
    if (!format) {
        ::close(fd);
        result.status = ReadStatus::Unreadable;
        result.errorText = PictureFormats::refusal(fileName, first);
        return result;
    }

    DecoderConversation::Result decoded;
    DecoderConversation::Limits limits;
    qint64 budget = 0;
    try {
        const ReadGoingOn going;
        budget = readLimits.memoryBudget();
        limits.budgetBytes = readLimits.decoderBudget(budget);
        limits.maxPixels = readLimits.maxPixels;
        limits.claimed = PictureFormats::claimedSize(first);
        decoded = DecoderConversation::decode(
            fd, format->reader, limits, buffers, metadata, fit, keepAspectRatio);
    } catch (...) {
        ::close(fd);
        throw;
    }
    ::close(fd);

    result.size = decoded.full.isValid() ? decoded.full
        : decoded.size.isValid()         ? decoded.size
                                         : QSize();
    switch (decoded.kind) {
    case DecoderConversation::Result::Decoded:
        result.image = decoded.image;
        result.status = ReadStatus::Ok;
        if (metadata)
            result.metadata = Metadata::unpack(decoded.metadata);
        break;
    case DecoderConversation::Result::TooLarge:
        result.status = ReadStatus::TooLarge;
        result.bytesNeeded = Budget::workingSetBytes(result.size) / 4 * readLimits.framesPerPicture;
        result.bytesAvailable = budget;
        if (!Budget::withinCap(result.size, limits.maxPixels))
            result.pixelLimit = limits.maxPixels;
        break;
    case DecoderConversation::Result::Damaged:
        result.status = ReadStatus::Damaged;
        result.errorText = decoded.errorText;
        break;
    case DecoderConversation::Result::Failed: {
        // The reader's own words ("Unable to read image data") say neither
        // which file nor much else; the file's name goes first.
        QString cause = decoded.errorText.trimmed();
        while (cause.endsWith(QLatin1Char('.')))
            cause.chop(1);
        result.status = ReadStatus::Unreadable;
        result.errorText
            = QStringLiteral("%1 could not be read: %2.")
                  .arg(fileName,
                      cause.isEmpty() ? QStringLiteral("its reader gave no reason") : cause);
        break;
    }
    case DecoderConversation::Result::DecoderFailed:
        result.status = ReadStatus::Unreadable;
        result.errorText
            = QStringLiteral("%1 could not be read: %2.").arg(fileName, decoded.errorText);
        break;
    }
    return result;
}

} // namespace

ReadResult readImage(const QString &path, const ReadLimits &limits, const PictureBuffers &buffers,
    const std::optional<Metadata::Wanted> &metadata, QSize fit, bool keepAspectRatio)
{
    // Called from worker threads: nothing may leave them, not even running
    // out of memory. The picture fails; the run goes on.
    try {
        return readGuarded(path, limits, buffers, metadata, fit, keepAspectRatio);
    } catch (const std::exception &e) {
        ReadResult result;
        result.status = ReadStatus::Unreadable;
        result.errorText
            = QStringLiteral("%1 could not be read: %2.")
                  .arg(QFileInfo(path).fileName(),
                      dynamic_cast<const std::bad_alloc *>(&e) ? QStringLiteral("not enough memory")
                                                               : QString::fromLocal8Bit(e.what()));
        return result;
    }
}

QImage toArgb32(QImage read)
{
    if (read.isNull())
        return QImage();
    if (read.format() == QImage::Format_RGB32) {
        // An opaque picture, the usual photo: RGB32 keeps 0xff in the alpha
        // byte, so its words are the painted ARGB32 ones already. A picture
        // shared with someone else is copied first (whole rows at once).
        if (!read.reinterpretAsFormat(QImage::Format_ARGB32))
            return QImage();
        return read;
    }
    // A decoder's picture of any other kind was painted to ARGB32 there.
    if (read.format() == QImage::Format_ARGB32)
        return read;
    QImage picture(read.size(), QImage::Format_ARGB32);
    if (picture.isNull())
        return QImage();
    Argb::paint(read, picture);
    return picture;
}

} // namespace PictureIO
