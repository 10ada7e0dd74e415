// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QSize>

#include <climits>

// The memory arithmetic both sides of the decoder boundary agree on: the
// decoder refuses a picture by the size its header claims, and the program
// checks the same numbers before it believes a reply.
namespace Budget {

// The bytes of a picture of `size` in `format` with 32-bit aligned rows, as
// QImage lays it out; 0 when QImage could not hold it.
inline qint64 pixelBytes(const QSize &size, QImage::Format format)
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

// The memory one picture takes while it is stamped, 4 frames of 4 bytes a
// pixel: the decoded picture and its 32-bit ARGB conversion; then, the
// decoded picture released, the ARGB picture and two stamped ones (the
// composition runs twice, and the first result lives until the second is
// done); then the ARGB picture, the stamped one and the encoded file or the
// preview. 0 for an invalid size.
inline qint64 workingSetBytes(const QSize &size)
{
    if (!size.isValid() || size.isEmpty())
        return 0;
    return qint64(size.width()) * qint64(size.height()) * 4 * 4;
}

// The most pixels one picture may have unless the user allows more, whatever
// memory there is: a few kilobytes of file can claim a picture of gigabytes,
// and no camera makes one this large. The decoder's address space is sized
// from it.
constexpr qint64 DefaultMaxPixels = 150LL * 1000 * 1000;

// True when a picture of `size` has no more than `maxPixels` pixels.
inline bool withinCap(const QSize &size, qint64 maxPixels)
{
    return size.isValid() && qint64(size.width()) * size.height() <= maxPixels;
}

// The address space a decoder may use for one picture besides what it has
// already: its picture and a reader's working copies of up to 8 bytes a
// pixel each (16-bit channels, a progressive JPEG's coefficients), and room
// for the reader's threads.
inline qint64 decoderAddressSpace(qint64 maxPixels)
{
    return maxPixels * 8 * 2 + (qint64(512) << 20);
}

// True when a picture of `size` can be held at all and its working set fits
// in `budgetBytes`.
inline bool fits(const QSize &size, qint64 budgetBytes)
{
    return size.isValid() && !size.isEmpty() && pixelBytes(size, QImage::Format_ARGB32) > 0
        && workingSetBytes(size) <= budgetBytes;
}

} // namespace Budget
