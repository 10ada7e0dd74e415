// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "decoder/decoded.h"

class MappedFile;

// JPEG straight through libjpeg-turbo, into the 32-bit layout the program
// composes on (blue, green, red, 0xff in memory: QImage::Format_RGB32 on a
// little-endian machine), in the memory the program hands over: no 24-bit
// picture first and no conversion afterwards. libjpeg-turbo's defaults are
// those of Qt's reader (the accurate integer IDCT, smooth chroma
// upsampling), so the pixels are the same.
//
// It takes only what it can do exactly as the toolkit's reader does:
// colour JPEGs (YCbCr or RGB) with at most one EXIF orientation, decoded
// without a single warning. Anything else (grey or CMYK pictures, damage of
// any kind, odd orientation data) is left to the toolkit's reader, so that
// the verdict and its words stay the same.
namespace JpegDecoder {

// Decodes the JPEG file `file` into `store`'s memory (the heap
// without one), with its EXIF orientation applied. When `fit` is not empty,
// the picture is wanted only to be resized to it afterwards (keeping its
// proportions inside it or stretched to it): it is then decoded at the
// smallest of 1/8, 1/4 and 1/2 of its size (libjpeg-turbo's DCT scaling)
// that is still twice what the resize makes of the full picture, and
// `result.full` says the full size. The budget applies to the full size.
// Returns false, with `result` untouched, when the toolkit's reader should
// decode the file instead: also when the file was cut short meanwhile.
// With a `sink`, an upright picture goes there a band of rows at a time,
// and `result.image` lies in the sink's view: the same pixels, without a
// whole picture of this process's own first (whose fresh pages cost the
// system more to clear than decoding into them).
bool decode(const MappedFile &file, qint64 budgetBytes, const PixelStore &store, QSize fit,
    bool keepAspectRatio, Decoded &result, const PixelSink &sink = PixelSink());

// The EXIF orientation (1..8) the APP1 segments of `jpeg` record, 1 when
// there is none, and 0 when the toolkit's reader might read it otherwise
// (more than one EXIF block, a value out of range).
int orientation(const unsigned char *jpeg, size_t size);

} // namespace JpegDecoder
