#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>

class QIODevice;

// The decoding itself, as the decoder process (tarvelo-decoder) does it for
// every picture: one named reader, automatic detection off, the size claimed
// by the header checked against the memory budget before any pixel is
// decoded. Nothing here is meant to run in the program's own process (the
// benchmarks compare against it).
namespace DecoderCore {

// The memory one picture takes while it is stamped, 4 frames of 4 bytes a
// pixel: the decoded picture and its 32-bit ARGB conversion; then, the
// decoded picture released, the ARGB picture and two stamped ones (the
// composition runs twice, and the first result lives until the second is
// done); then the ARGB picture, the stamped one and the encoded file or the
// preview. 0 for an invalid size.
qint64 workingSetBytes(const QSize &size);

// True when a picture of `size` can be held at all and its working set fits
// in `budgetBytes`.
bool fits(const QSize &size, qint64 budgetBytes);

struct Decoded
{
    QImage image; // null on failure
    QSize claimed; // the size the header claims (or the decoded size)
    bool tooLarge = false; // refused by the budget; nothing was decoded
    bool damaged = false; // data missing or corrupt: errorText says what
    QString errorText; // the reader's own error text on failure
};

// Gives memory for `bytes` bytes of pixels that the decoder writes straight
// into (the shared memory the program maps), or nullptr for the heap. The
// memory may hold anything.
using PixelStore = std::function<uchar *(qint64 bytes)>;

// Decodes `device`, the file open at `fd`, with the reader `reader`
// ("jpeg"), applying the orientation the file records. A picture whose
// structure or decoder shows damage is refused as damaged. When the header
// tells size and pixel format up front, the reader writes into `store`'s
// memory, so the pixels are never copied; `image` then uses that memory.
// Whatever the reader leaves unwritten is zero, never earlier memory.
Decoded decode(QIODevice *device, int fd, const QByteArray &reader, qint64 budgetBytes,
    const PixelStore &store = PixelStore());

// Loads the readers of every readable format, so that decoding needs
// nothing from the file system any more.
void loadReaders();

} // namespace DecoderCore
