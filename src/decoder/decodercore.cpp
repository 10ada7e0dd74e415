// SPDX-License-Identifier: GPL-3.0-or-later
#include "decoder/decodercore.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>
#include <cstring>
#include <optional>

#include "common/budget.h"
#include "common/pictureformats.h"
#include "decoder/decodecheck.h"
#include "decoder/jpeg2000.h"
#include "decoder/jpegdecoder.h"
#include "decoder/mappedfile.h"
#include "decoder/pngkeyed.h"

namespace DecoderCore {

using Budget::pixelBytes;

Decoded decode(QIODevice *device, int fd, const QByteArray &reader, qint64 budgetBytes,
    const PixelStore &store, qint64 maxPixels, QSize fit, bool keepAspectRatio,
    const MappedFile *mapped, const PixelSink &sink)
{
    const auto fits = [&](const QSize &size) {
        return Budget::fits(size, budgetBytes) && Budget::withinCap(size, maxPixels);
    };
    // The decoders of their own weigh a picture by its working set alone: a
    // budget of the cap's working set holds them to the cap as well.
    const qint64 cappedBudget = maxPixels > 0
        ? std::min(budgetBytes, Budget::workingSetBytes(QSize(1, 1)) * maxPixels)
        : budgetBytes;
    // Debian's Qt has no JPEG 2000 reader; OpenJPEG decodes it here.
    if (reader == "jp2")
        return Jpeg2000::decode(fd, cappedBudget, store);
    Decoded result;
    // Colour JPEGs, the usual photos, go straight into their final layout.
    if (reader == "jpeg") {
        std::optional<MappedFile> own;
        if (!mapped)
            mapped = &own.emplace(fd, MappedFile::Largest);
        if (JpegDecoder::decode(*mapped, cappedBudget, store, fit, keepAspectRatio, result, sink))
            return result;
    }
    // Everything the reader says while it works is heard, none of it printed.
    DecodeCheck::Listener listener;

    QImageReader imageReader(device, reader);
    imageReader.setAutoDetectImageFormat(false);
    imageReader.setAutoTransform(true);
    result.claimed = imageReader.size();
    if (result.claimed.isValid() && !fits(result.claimed)) {
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

    if (reader == "png" && PngKeyed::applies(fd)) {
        result.errorText = PngKeyed::decode(fd, image);
        result.damaged = !result.errorText.isEmpty();
        result.image = result.damaged ? QImage() : image;
        return result;
    }
    const bool read = imageReader.read(&image);
    result.errorText = listener.damage(reader);
    if (result.errorText.isEmpty() && read && !image.isNull())
        result.errorText = DecodeCheck::sizeDamage(fd, reader, image.size());
    if (!result.errorText.isEmpty()) {
        result.damaged = true;
        image = QImage();
    } else if (!read || image.isNull()) {
        // Qt's words are mostly "Unable to read image data"; what the
        // reader's library said on the way is the cause, when it said any.
        result.errorText = imageReader.errorString();
        const QString variant = DecodeCheck::unreadVariant(fd, reader);
        if (!variant.isEmpty())
            result.errorText += QStringLiteral(" (%1)").arg(variant);
        else if (!listener.messages.isEmpty())
            result.errorText += QStringLiteral(" (%1)").arg(listener.messages.last().trimmed());
        image = QImage();
    } else if (!fits(image.size())) {
        result.tooLarge = true;
        image = QImage();
    }
    // The program takes an RGB32 picture for ARGB32 as it is: the fourth
    // byte must say opaque, whatever a reader left there.
    if (!image.isNull() && image.format() == QImage::Format_RGB32) {
        for (int y = 0; y < image.height(); ++y) {
            auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (QRgb *pixel = row, *end = row + image.width(); pixel != end; ++pixel)
                *pixel |= 0xff000000u;
        }
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
