#include "io/decodercore.h"

#include <QBuffer>
#include <QImageReader>

#include <climits>
#include <cstring>

#include "decoder/jpeg2000.h"
#include "io/decodecheck.h"
#include "io/pictureformats.h"

namespace DecoderCore {

namespace {

// The bytes of a picture of `size` in `format` with 32-bit aligned rows, as
// QImage lays it out; 0 when QImage could not hold it.
qint64 pixelBytes(const QSize &size, QImage::Format format)
{
    if (format <= QImage::Format_Invalid || format >= QImage::NImageFormats)
        return 0;
    const int depth = QImage::toPixelFormat(format).bitsPerPixel();
    if (!size.isValid() || size.isEmpty() || depth <= 0)
        return 0;
    const qint64 line = ((qint64(size.width()) * depth + 31) / 32) * 4;
    const qint64 bytes = line * size.height();
    return line > INT_MAX || bytes > INT_MAX ? 0 : bytes;
}

} // namespace

qint64 workingSetBytes(const QSize &size)
{
    if (!size.isValid() || size.isEmpty())
        return 0;
    return qint64(size.width()) * qint64(size.height()) * 4 * 4;
}

bool fits(const QSize &size, qint64 budgetBytes)
{
    return size.isValid() && !size.isEmpty() && pixelBytes(size, QImage::Format_ARGB32) > 0
        && workingSetBytes(size) <= budgetBytes;
}

Decoded decode(QIODevice *device, int fd, const QByteArray &reader, qint64 budgetBytes,
    const PixelStore &store)
{
    // Debian's Qt has no JPEG 2000 reader; OpenJPEG decodes it here.
    if (reader == "jp2")
        return Jpeg2000::decode(fd, budgetBytes, store);
    Decoded result;
    // Everything the reader says while it works is heard, none of it printed.
    DecodeCheck::Listener listener;

    QImageReader imageReader(device, reader);
    imageReader.setAutoDetectImageFormat(false);
    imageReader.setAutoTransform(true);
    result.claimed = imageReader.size();
    if (result.claimed.isValid() && !fits(result.claimed, budgetBytes)) {
        result.tooLarge = true;
        return result;
    }
    result.errorText = DecodeCheck::structuralDamage(fd, reader);
    if (!result.errorText.isEmpty()) {
        result.damaged = true;
        return result;
    }

    // With size and format known from the header, the reader decodes into
    // memory given to it (shared memory); readers that cannot
    // use it allocate their own. Decoders that stop early leave the rest of
    // their image as they found it: libjpeg fills every row itself, for the
    // others a picture of their own is cleared beforehand.
    QImage image;
    const QImage::Format format = imageReader.imageFormat();
    const qint64 bytes = pixelBytes(result.claimed, format);
    uchar *memory = nullptr;
    if (store && bytes > 0 && imageReader.transformation() == QImageIOHandler::TransformationNone)
        memory = store(bytes);
    if (memory) {
        // It may hold an earlier picture's pixels.
        if (reader != "jpeg")
            memset(memory, 0, size_t(bytes));
        image = QImage(memory, result.claimed.width(), result.claimed.height(),
            int(bytes / result.claimed.height()), format);
    } else if (bytes > 0 && reader != "jpeg") {
        image = QImage(result.claimed, format);
        if (!image.isNull())
            image.fill(0);
    }

    const bool read = imageReader.read(&image);
    result.errorText = listener.damage(reader);
    if (!result.errorText.isEmpty()) {
        result.damaged = true;
        image = QImage();
    } else if (!read || image.isNull()) {
        result.errorText = imageReader.errorString();
        image = QImage();
    } else if (!fits(image.size(), budgetBytes)) {
        result.tooLarge = true;
        image = QImage();
    }
    if (!image.isNull())
        result.claimed = image.size();
    result.image = image;
    return result;
}

void loadReaders()
{
    for (const PictureFormats::Format &format : PictureFormats::readable()) {
        QBuffer empty;
        empty.open(QIODevice::ReadOnly);
        QImageReader imageReader(&empty, format.reader);
        imageReader.setAutoDetectImageFormat(false);
        imageReader.canRead();
    }
}

} // namespace DecoderCore
