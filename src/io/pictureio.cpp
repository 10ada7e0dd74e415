// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/pictureio.h"

#include <QFile>
#include <QFileInfo>

#include "common/argb.h"
#include "common/budget.h"
#include "common/bytes.h"
#include "common/drawingreasons.h"
#include "common/picturefields.h"
#include "common/pictureformats.h"
#include "io/decoderconversation.h"
#include "io/outputfiles.h"
#include "io/picturebuffers.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace PictureIO {

namespace {

// What one read asks of the decoder besides the pixels.
struct Asked
{
    std::optional<Metadata::Wanted> metadata;
    QSize fit;
    bool keepAspectRatio = true;
    bool fields = false;
    QSize render; // a drawing's size
};

// Decodes the file open at `fd` (closed here) with `reader` in a decoder
// process, within `readLimits` and into `buffers`, into `result`;
// `fileName` names it in the messages.
void decodeOpen(int fd, const QString &fileName, const char *reader, QSize claimed,
    const ReadLimits &readLimits, const PictureBuffers &buffers, const Asked &asked,
    ReadResult &result)
{
    DecoderConversation::Result decoded;
    DecoderConversation::Limits limits;
    qint64 budget = 0;
    try {
        const ReadGoingOn going;
        budget = readLimits.memoryBudget();
        limits.budgetBytes = readLimits.decoderBudget(budget);
        limits.maxPixels = readLimits.maxPixels;
        limits.claimed = claimed;
        decoded = DecoderConversation::decode(fd, reader, limits, buffers, asked.metadata,
            asked.fit, asked.keepAspectRatio, asked.fields, asked.render);
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
        if (asked.metadata)
            result.metadata = Metadata::unpack(decoded.metadata);
        result.fields = decoded.fields;
        result.drawingSize = decoded.drawing;
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
}

// The file at `path`, opened for reading when it is a regular file; -1
// with `result` saying why not. `info` gets what fstat says of it.
int openRegular(const QString &path, ReadResult &result, struct stat &info)
{
    const QByteArray native = QFile::encodeName(path);
    if (native.isEmpty())
        return -1;

    // Open without blocking and look at what was opened, not at the name:
    // checking the name first and opening afterwards would let a FIFO slip in
    // between, and opening a FIFO for reading waits for a writer.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        result.status
            = (error == ENOENT || error == ENOTDIR) ? ReadStatus::Missing : ReadStatus::Unreadable;
        result.errorText = qt_error_string(error);
        return -1;
    }
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        result.status = ReadStatus::NotRegularFile;
        result.errorText = QStringLiteral("Not a regular file");
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags != -1)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    result.modified = QDateTime::fromMSecsSinceEpoch(
        qint64(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000);
    return fd;
}

ReadResult readGuarded(const QString &path, const ReadLimits &readLimits,
    const PictureBuffers &buffers, const Asked &asked)
{
    ReadResult result;
    struct stat info;
    const int fd = openRegular(path, result, info);
    if (fd < 0)
        return result;

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
    decodeOpen(fd, fileName, format->reader, PictureFormats::claimedSize(first), readLimits,
        buffers, asked, result);
    return result;
}

// A drawing that cannot be read, and why, in the words the window and
// tarvelo-cli show in the user's language (common/drawingreasons.h).
QString unreadable(const QString &name, const QString &why)
{
    return QString::fromLatin1(DrawingReasons::Unreadable).arg(name, why);
}

// `bytes` in memory of their own that no one can change any more, for a
// decoder to read; -1 when there is no such memory.
int sealedCopy(const QByteArray &bytes)
{
    const int fd = ::memfd_create("tarvelo-drawing", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0)
        return -1;
    if (!OutputFiles::writeAll(fd, bytes)
        || ::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL)
            != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

ReadResult readImage(const QString &path, const ReadLimits &limits, const PictureBuffers &buffers,
    const std::optional<Metadata::Wanted> &metadata, QSize fit, bool keepAspectRatio, bool fields)
{
    // Called from worker threads: nothing may leave them, not even running
    // out of memory. The picture fails; the run goes on.
    try {
        return readGuarded(
            path, limits, buffers, { metadata, fit, keepAspectRatio, fields, QSize() });
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

LogoRead readLogo(const QString &path, const ReadLimits &limits, const PictureBuffers &buffers)
{
    LogoRead logo;
    ReadResult &result = logo.read;
    struct stat info;
    const int fd = openRegular(path, result, info);
    if (fd < 0)
        return logo;
    const QFileInfo file(path);
    const QByteArray first = Bytes::readAt(fd, 0, PictureFormats::HeadBytes);
    if (PictureFormats::identify(first, file.suffix())
        || !PictureFormats::isDrawing(first, file.suffix())) {
        ::close(fd);
        logo.read = readImage(path, limits, buffers);
        return logo;
    }
    // A drawing is kept as its bytes, to be rendered at every size it is
    // stamped at; this process reads them, and never looks into them.
    if (info.st_size > PictureFormats::MaxDrawingBytes) {
        ::close(fd);
        result.status = ReadStatus::Unreadable;
        result.errorText = unreadable(file.fileName(),
            QString::fromLatin1(DrawingReasons::TooLarge)
                .arg(PictureFormats::MaxDrawingBytes >> 20));
        return logo;
    }
    logo.drawing = Bytes::readAt(fd, 0, info.st_size);
    ::close(fd);
    logo.read = renderDrawing(logo.drawing, QSize(), file.fileName(), limits, buffers);
    if (logo.read.status != ReadStatus::Ok)
        logo.drawing.clear();
    return logo;
}

ReadResult renderDrawing(const QByteArray &drawing, QSize size, const QString &name,
    const ReadLimits &limits, const PictureBuffers &buffers)
{
    ReadResult result;
    try {
        const int fd = sealedCopy(drawing);
        if (fd < 0) {
            result.status = ReadStatus::Unreadable;
            result.errorText = unreadable(name, qt_error_string(errno));
            return result;
        }
        decodeOpen(fd, name, "svg", size, limits, buffers,
            { std::nullopt, QSize(), true, false, size }, result);
        // Never a drawing of no size, nor one at another size than asked.
        if (result.status == ReadStatus::Ok
            && (result.drawingSize.isEmpty() || (!size.isEmpty() && result.image.size() != size))) {
            result = ReadResult();
            result.status = ReadStatus::Unreadable;
            result.errorText
                = unreadable(name, QString::fromLatin1(DrawingReasons::MalformedReply));
        }
    } catch (const std::exception &) {
        result = ReadResult();
        result.status = ReadStatus::Unreadable;
        result.errorText = unreadable(name, QString::fromLatin1(DrawingReasons::NoMemory));
    }
    return result;
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
