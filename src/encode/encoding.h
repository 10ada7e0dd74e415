// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include "common/metadatapieces.h"

// Turning a stamped picture into the bytes of its file, in memory, with
// what the source's metadata lets it keep. Nothing here touches the disk or
// reads a picture: the program's writers, never the decoder process, link it.
namespace Encoding {

// True when some pixel of `image` is not fully opaque.
bool hasTranslucentPixel(const QImage &image);

struct Encoded
{
    QByteArray bytes; // the whole file; empty when encoding failed
    QString errorText; // why encoding failed
    QString metadataProblem; // why the metadata was not carried over; the bytes are fine
};

// `image` as the file of the format `suffix` names, in memory: JPG (through
// libjpeg-turbo, 4:4:4 from quality 90 up, translucent pixels laid onto
// white), PNG and TIF (without alpha channel when every pixel is opaque, TIF
// LZW-compressed) and WEBP (through libwebp, lossless at quality 100) carry
// `metadata`'s pieces, colour profile and resolution when it was written
// for this format and the picture's size (else none of it, and the loss is
// said); other formats are Qt's writer's alone. `quality` is used when 0 or
// more. Pure: safe to call from any thread.
Encoded encode(const QImage &image, const QString &suffix, int quality,
    const Metadata::Source &metadata = Metadata::Source());

} // namespace Encoding
