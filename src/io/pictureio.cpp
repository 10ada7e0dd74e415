#include "io/pictureio.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "io/decodecheck.h"

namespace PictureIO {

bool sizeAllowed(const QSize &size)
{
    return size.isValid() && qint64(size.width()) * qint64(size.height()) <= MaxPixels;
}

ReadResult readImage(const QString &path)
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

    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        result.status = ReadStatus::Unreadable;
        result.errorText = file.errorString();
        return result;
    }

    // Decoders speak up from the first look at the header on.
    DecodeCheck::Listener listener;
    QImageReader reader(&file);
    reader.setAutoDetectImageFormat(true);
    reader.setAutoTransform(true);
    // Asked first: once a handler has failed on the header, it is forgotten.
    const QByteArray format = reader.format();
    result.size = reader.size();
    if (result.size.isValid() && !sizeAllowed(result.size)) {
        result.status = ReadStatus::TooLarge;
        return result;
    }

    const QString structural = DecodeCheck::structuralDamage(fd, format);
    if (!structural.isEmpty()) {
        result.status = ReadStatus::Damaged;
        result.errorText = structural;
        return result;
    }

    // Decoders that stop early leave the rest of their image as they found
    // it. libjpeg fills every row itself; for the others the image is
    // cleared beforehand, so that what a decoder leaves unwritten can never
    // be memory that once held another picture.
    QImage image;
    const QImage::Format decodedFormat = reader.imageFormat();
    if (format != "jpeg" && result.size.isValid() && decodedFormat != QImage::Format_Invalid) {
        image = QImage(result.size, decodedFormat);
        if (!image.isNull())
            image.fill(0);
    }
    const bool read = reader.read(&image);
    const QString damage = listener.damage(format);
    if (!damage.isEmpty()) {
        result.errorText = damage;
        result.status = ReadStatus::Damaged;
        return result;
    }
    if (!read || image.isNull()) {
        result.errorText = reader.errorString();
        result.status = ReadStatus::Unreadable;
        return result;
    }
    if (!sizeAllowed(image.size())) {
        result.size = image.size();
        result.status = ReadStatus::TooLarge;
        return result;
    }
    result.size = image.size();
    result.image = image;
    result.status = ReadStatus::Ok;
    return result;
}

QImage toArgb32(const QImage &read)
{
    if (read.isNull())
        return QImage();
    QImage picture(read.size(), QImage::Format_ARGB32);
    if (picture.isNull())
        return QImage();
    // A fresh image holds whatever the allocator left there; transparent
    // pixels of the read picture must not show it.
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.drawImage(0, 0, read);
    painter.end();
    return picture;
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

bool encodeImage(const QImage &image, const QString &suffix, int quality, QByteArray &bytes,
    QString &errorText)
{
    // The program's own encoder, without any source's metadata.
    const Encoded encoded = encode(image, suffix, quality);
    bytes = encoded.bytes;
    errorText = encoded.errorText;
    return !bytes.isEmpty();
}

WriteResult writeNew(const QImage &image, const QString &folder, const QString &baseName,
    const QString &suffix, int quality, const TagSource &nextTag)
{
    // Encode first, into memory: an image the writer refuses (an empty one,
    // an unknown format) then creates no file at all.
    QByteArray encoded;
    WriteResult result;
    if (!encodeImage(image, suffix, quality, encoded, result.errorText)) {
        result.path = outputPath(folder, baseName, suffix);
        return result;
    }
    return writeNewBytes(encoded, folder, baseName, suffix, nextTag);
}

// What reaches the file is one plain stream of bytes whose every write is
// checked. (Image handlers do not report everything: the TIFF handler seeks
// while it writes, and a seek clears a failed write's error from the file.)
WriteResult writeNewBytes(const QByteArray &encoded, const QString &folder,
    const QString &baseName, const QString &suffix, const TagSource &nextTag)
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
