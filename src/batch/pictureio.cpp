#include "pictureio.h"

#include <QFile>
#include <QImageReader>
#include <QPainter>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
        result.status = (errno == ENOENT || errno == ENOTDIR) ? ReadStatus::Missing
                                                               : ReadStatus::Unreadable;
        return result;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        result.status = ReadStatus::NotRegularFile;
        return result;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags != -1)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);

    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        result.status = ReadStatus::Unreadable;
        return result;
    }

    QImageReader reader(&file);
    reader.setAutoDetectImageFormat(true);
    reader.setAutoTransform(true);
    result.size = reader.size();
    if (result.size.isValid() && !sizeAllowed(result.size)) {
        result.status = ReadStatus::TooLarge;
        return result;
    }

    QImage image = reader.read();
    if (image.isNull()) {
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

} // namespace PictureIO
