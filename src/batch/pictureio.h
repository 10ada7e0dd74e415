#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// Reading pictures from disk, shared by the picture list, the batch run and
// the logo. Every read goes through here so that the same guards apply
// everywhere: only regular files are opened (a FIFO or device named x.jpg
// would block forever), and pictures beyond MaxPixels are refused before they
// are decoded (a few hundred bytes of JPEG can claim 20000 x 20000 pixels).
namespace PictureIO {

constexpr qint64 MaxPixels = 300LL * 1000 * 1000;

enum class ReadStatus {
    Ok,
    Missing,        // nothing at that path
    NotRegularFile, // a folder, FIFO, socket or device
    TooLarge,       // more than MaxPixels, by the header or after decoding
    Unreadable,     // could not be opened or decoded
};

struct ReadResult
{
    QImage image;      // null unless status is Ok
    ReadStatus status = ReadStatus::Missing;
    QSize size;        // the size the file claims, when known
    QString errorText; // the reader's own error text, when it gave one
};

// Reads one image with automatic format detection and with the orientation
// recorded in the file applied.
ReadResult readImage(const QString &path);

// True when `size` may be decoded and held in memory.
bool sizeAllowed(const QSize &size);

// The picture as the compositor works on it: a new 32-bit ARGB image of the
// same size, cleared to transparent, with `read` painted on it at (0, 0).
// Returns a null image when `read` is null or the allocation fails.
QImage toArgb32(const QImage &read);

} // namespace PictureIO
