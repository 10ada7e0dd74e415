// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <functional>

// What every decoder of the decoder process gives (the toolkit's readers
// through decoder/decodercore.h, and the JPEG and JPEG 2000 decoders of
// their own), and where it may put its pixels.

// One picture decoded, or why not.
struct Decoded
{
    QImage image; // null on failure
    QSize claimed; // the size the header claims (or the decoded size)
    QSize full; // the picture's whole size, when it was decoded smaller (else invalid)
    QSize drawing; // a drawing's own size, whatever size it was rendered at (else invalid)
    bool tooLarge = false; // refused by the budget; nothing was decoded
    bool damaged = false; // data missing or corrupt: errorText says what
    QString errorText; // the reader's own error text on failure
};

// Gives memory for `bytes` bytes of pixels that the decoder writes straight
// into (the shared memory the program maps), or nullptr for the heap. The
// memory may hold anything.
using PixelStore = std::function<uchar *(qint64 bytes)>;

// Where a decoder that makes its picture a band of rows at a time puts
// them, instead of holding the whole picture first: `write` puts `count`
// bytes at `offset` of the program's memory (false when they do not fit
// there), and `view` then gives the first `bytes` of that memory as they
// lie, without reading them (nullptr when it cannot).
struct PixelSink
{
    std::function<bool(qint64 offset, const uchar *bytes, qint64 count)> write;
    std::function<uchar *(qint64 bytes)> view;
    explicit operator bool() const { return write && view; }
};
