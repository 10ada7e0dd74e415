// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QStringList>

#include "common/budget.h"
#include "decoder/decoded.h"

class MappedFile;
class QIODevice;

// The decoding itself, as the decoder process (tarvelo-decoder) does it for
// every picture: one named reader, automatic detection off, the size claimed
// by the header checked against the memory budget (common/budget.h) before
// any pixel is decoded. Only tarvelo-decoder links this (and the benchmark
// that measures what the process boundary costs).
namespace DecoderCore {

// Decodes `device`, the file open at `fd`, with the reader `reader`
// ("jpeg"), applying the orientation the file records. A picture whose
// structure or decoder shows damage is refused as damaged. When the header
// tells size and pixel format up front, the reader writes into `store`'s
// memory, so the pixels are never copied; `image` then uses that memory.
// Whatever the reader leaves unwritten is zero, never earlier memory.
// A picture of more than `maxPixels` pixels is too large, whatever the budget.
// With a `fit` box, the picture is wanted only to be resized to it (keeping
// its proportions inside it or stretched to it): a JPEG may then be decoded
// smaller, never smaller than that resize makes it (see jpegdecoder.h).
// `mapped`, when given, is the file mapped already, for the readers that
// take it whole; otherwise they map it themselves. With a `sink`, an
// upright JPEG is written there a band at a time, never held whole here.
Decoded decode(QIODevice *device, int fd, const QByteArray &reader, qint64 budgetBytes,
    const PixelStore &store = PixelStore(), qint64 maxPixels = Budget::DefaultMaxPixels,
    QSize fit = QSize(), bool keepAspectRatio = true, const MappedFile *mapped = nullptr,
    const PixelSink &sink = PixelSink());

// Loads the readers of every readable format, so that decoding needs
// nothing from the file system any more.
void loadReaders();

} // namespace DecoderCore
