// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>

#include <memory>

// The shared memory decoders write their pictures into (a memfd each).
// Getting fresh pages from the system (and giving them back) costs more
// than decoding into them, and on some machines several times more: so the
// memory of a picture that is gone is kept for the next one, a few buffers
// for a few seconds, so that memory not needed any more goes back soon.
//
// The pool keeps a view of each buffer for as long as it has it: a picture
// is used where its decoder left it, and the buffer is cleared through the
// view before any decoder gets it again, so that no decoder ever sees
// another picture; nor does any get it while the decoder that had it before
// is still running. Each run (and the window's picture loader) has a pool of
// its own: copies of a PictureBuffers share their pool (a const one too:
// only the pool changes), which lives on while any of them or any picture
// in it does. Any thread may use it.
class PictureBuffers
{
public:
    PictureBuffers();

    // The memory for one picture of at most `maxPixels` pixels: the
    // largest the cap allows, in any layout QImage has, then the details.
    // Sparse: what the decoder does not touch costs nothing. Sizing it
    // counts as writing a file, so it is no larger than the file size limit
    // this program runs under allows.
    static qint64 capacityFor(qint64 maxPixels);

    // A cleared buffer of `capacity` bytes or more, sized and sealed here
    // against any change of size; -1 (errno set) when none can be made.
    int take(qint64 capacity) const;
    // The buffer may be used again once its last decoder has ended.
    void give(int fd) const;
    // The buffer is not used again (a decoder that broke the protocol may
    // still be running): it goes, with this side's view of it.
    void discard(int fd) const;
    // The decoder that had the buffer is heard of on `report`, which the
    // buffer now owns: no other decoder gets it before that one has ended.
    void heldBy(int fd, int report) const;
    // The decoder's reply says it wrote the first `bytes` bytes of `fd`.
    void wrote(int fd, qint64 bytes) const;
    // The picture at the start of buffer `fd`, which holds it, composed on
    // where it is: the buffer is given back when the picture goes. A null
    // image when the buffer cannot be mapped.
    QImage picture(int fd, int width, int height, int bytesPerLine, QImage::Format format) const;

private:
    class Pool;
    std::shared_ptr<Pool> pool;
};
