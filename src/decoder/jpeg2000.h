// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "decoder/decoded.h"

// JPEG 2000 pictures, decoded with OpenJPEG: Debian's Qt has no reader for
// them. Only the decoder process calls this, like every other decoder.
namespace Jpeg2000 {

// Decodes the JP2 file or bare codestream open at `fd` (read from its start,
// the position left alone) as DecoderCore::decode() decodes the others: the
// size the header claims is checked against `budgetBytes` first, a file that
// ends early or is corrupt is refused as damaged with OpenJPEG's words, and
// the pixels go into `store`'s memory when it gives some.
Decoded decode(int fd, qint64 budgetBytes, const PixelStore &store = PixelStore());

} // namespace Jpeg2000
