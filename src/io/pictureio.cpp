// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/pictureio.h"

#include <QFile>
#include <QFileInfo>

#include "common/argb.h"
#include "common/budget.h"
#include "common/pictureformats.h"
#include "io/containerlimits.h"
#include "io/decoderconversation.h"
#include "io/picturebuffers.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace PictureIO {

namespace {

std::atomic<int> picturesInFlight { 1 };
std::atomic<int> framesPerPicture { 4 };
std::atomic<int> readsGoingOn { 0 };
// What the control group's memory limit left when the run started; -2: read
// it afresh each time (no run going on). During a run the pictures in
// flight are part of the group's usage: counting them again against each
// new picture would refuse pictures that fit.
std::atomic<qint64> groupLeftAtStart { -2 };
std::atomic<qint64> pixelCap { Budget::DefaultMaxPixels };

// The memory the pictures read here are decoded into.
PictureBuffers &buffers()
{
    static PictureBuffers pool;
    return pool;
}

// The kilobytes after `key` in /proc/meminfo; -1 when unknown.
qint64 memInfo(const QByteArray &key)
{
    QFile file(QStringLiteral("/proc/meminfo"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : file.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// What this process may still allocate: the free memory, what the memory
// limit of its control group leaves (in a container or a batch job, going
// beyond it gets the process killed), and under an address-space limit what
// the limit leaves.
qint64 availableBytes()
{
    qint64 available = memInfo("MemAvailable:") * 1024;
    if (available < 0)
        available = qint64(::sysconf(_SC_AVPHYS_PAGES)) * ::sysconf(_SC_PAGESIZE);
    const qint64 atStart = groupLeftAtStart.load();
    const qint64 groupLeft = atStart == -2 ? ContainerLimits::memoryLeft() : atStart;
    if (groupLeft >= 0)
        available = std::min(available, groupLeft);
    rlimit limit;
    if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        QFile statm(QStringLiteral("/proc/self/statm"));
        qint64 used = 0;
        if (statm.open(QIODevice::ReadOnly))
            used = statm.readAll().split(' ').value(0).toLongLong() * ::sysconf(_SC_PAGESIZE);
        available = std::min(available, qint64(limit.rlim_cur) - used);
    }
    return std::max<qint64>(available, 0);
}

// The ready file's first bytes, read without moving its offset.
QByteArray head(int fd)
{
    QByteArray bytes(PictureFormats::HeadBytes, Qt::Uninitialized);
    ssize_t count;
    do
        count = ::pread(fd, bytes.data(), size_t(bytes.size()), 0);
    while (count < 0 && errno == EINTR);
    bytes.resize(std::max<int>(int(count), 0));
    return bytes;
}

} // namespace

qint64 memoryBudget()
{
    const int sharing = std::max({ 1, picturesInFlight.load(), readsGoingOn.load() });
    return availableBytes() / sharing;
}

void setPicturesInFlight(int count, int frames)
{
    picturesInFlight = std::max(1, count);
    framesPerPicture = std::clamp(frames, 1, 4);
    groupLeftAtStart = count <= 1 && frames == 4 ? -2 : ContainerLimits::memoryLeft();
}

namespace {

// The budget as the decoder weighs it, against a working set of 4 frames:
// a picture of fewer frames may take the more pixels.
qint64 decoderBudget(qint64 budget)
{
    return budget / framesPerPicture * 4;
}

} // namespace

void setMaxMegapixels(int megapixels)
{
    pixelCap = megapixels > 0 ? qint64(megapixels) * 1000 * 1000 : Budget::DefaultMaxPixels;
}

qint64 maxPixels()
{
    return pixelCap;
}

bool sizeAllowed(const QSize &size)
{
    return Budget::withinCap(size, maxPixels())
        && Budget::fits(size, decoderBudget(memoryBudget()));
}

namespace {

ReadResult readGuarded(const QString &path, const std::optional<Metadata::Wanted> &metadata,
    QSize fit, bool keepAspectRatio)
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
    const QByteArray first = head(fd);
    const PictureFormats::Format *format = PictureFormats::identify(first, file.suffix());
    if (!format) {
        ::close(fd);
        result.status = ReadStatus::Unreadable;
        result.errorText = PictureFormats::refusal(fileName, first);
        return result;
    }

    ++readsGoingOn;
    DecoderConversation::Limits limits;
    const qint64 budget = memoryBudget();
    limits.budgetBytes = decoderBudget(budget);
    limits.maxPixels = maxPixels();
    limits.claimed = PictureFormats::claimedSize(first);
    DecoderConversation::Result decoded;
    try {
        decoded = DecoderConversation::decode(
            fd, format->reader, limits, buffers(), metadata, fit, keepAspectRatio);
    } catch (...) {
        --readsGoingOn;
        ::close(fd);
        throw;
    }
    --readsGoingOn;
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
        result.bytesNeeded = Budget::workingSetBytes(result.size) / 4 * framesPerPicture;
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

ReadResult readImage(const QString &path, const std::optional<Metadata::Wanted> &metadata,
    QSize fit, bool keepAspectRatio)
{
    // Called from worker threads: nothing may leave them, not even running
    // out of memory. The picture fails; the run goes on.
    try {
        return readGuarded(path, metadata, fit, keepAspectRatio);
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

QString unwritableReason(const QString &folder)
{
    QByteArray probe = QFile::encodeName(folder);
    if (::access(probe.constData(), W_OK | X_OK) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    // access() lets root through wherever the permissions say no, and a
    // file system may refuse what the permissions allow: only creating a
    // file tells for certain. The name is new (mkstemp creates exclusively),
    // so nothing of the user's is ever touched.
    probe += "/.tarvelo-probe-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    ::close(fd);
    ::unlink(probe.constData());
    return QString();
}

QString collisionTag(const QDateTime &when)
{
    return QLatin1Char('_') + when.toString(QStringLiteral("yyyyMMddhhmmsszzz"));
}

QString collisionTag()
{
    return collisionTag(QDateTime::currentDateTime());
}

QString outputPath(const QString &folder, const QString &namePart, const QString &suffix)
{
    return folder + QLatin1Char('/') + namePart + QLatin1Char('.') + suffix;
}

bool nameTaken(const QString &path)
{
    // lstat, not stat: a dangling symbolic link does not "exist" for
    // QFile::exists, yet writing through it would create its target
    // somewhere else entirely.
    const QByteArray native = QFile::encodeName(path);
    struct stat info;
    return !native.isEmpty() && ::lstat(native.constData(), &info) == 0;
}

namespace {

// Puts `bytes` into `file`, which this call's caller has just created, and
// removes the file again unless every byte provably reached it.
// Returns the error text, empty on success.
QString fillCreated(QFile &file, const QByteArray &bytes)
{
    // A short write reports no error of its own; writing the rest again
    // brings out the cause (a full disk, say).
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 count = file.write(bytes.constData() + done, bytes.size() - done);
        if (count <= 0)
            break;
        done += count;
    }
    // Small outputs still sit in the file's buffer here; the file's error
    // state has to be read before close(), which forgets it.
    const bool flushed = file.flush();
    if (!flushed)
        file.flush(); // as with writing, only the second try names the cause
    QString error = file.error() == QFileDevice::NoError ? QString() : file.errorString();
    file.close();
    if (error.isEmpty() && file.error() != QFileDevice::NoError)
        error = file.errorString();
    if (done == bytes.size() && flushed && error.isEmpty())
        return QString();
    file.remove();
    return error.isEmpty() ? QStringLiteral("Unknown error") : error;
}

} // namespace

// What reaches the file is one plain stream of bytes whose every write is
// checked. (Image handlers do not report everything: the TIFF handler seeks
// while it writes, and a seek clears a failed write's error from the file.)
WriteResult writeNewBytes(const QByteArray &encoded, const QString &folder, const QString &baseName,
    const QString &suffix, const TagSource &nextTag)
{
    WriteResult result;
    QString namePart = baseName;
    result.path = outputPath(folder, namePart, suffix);

    const auto addTag = [&]() {
        result.renamed = true;
        namePart += nextTag ? nextTag() : collisionTag();
        result.path = outputPath(folder, namePart, suffix);
    };
    for (;;) {
        while (QFileInfo::exists(result.path))
            addTag();
        QFile file(result.path);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            result.errorText = fillCreated(file, encoded);
            result.ok = result.errorText.isEmpty();
            return result;
        }
        // The name was taken after all: by a dangling symbolic link, which
        // the test above does not see, or by a file that appeared since.
        // Anything else (no such folder, no permission, a name too long) is
        // final; names only grow, so this ends at the latest when the name
        // gets too long.
        if (!nameTaken(result.path)) {
            result.errorText = file.errorString();
            return result;
        }
        addTag();
    }
}

} // namespace PictureIO
