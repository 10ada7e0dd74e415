// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The decoder process's side: tarvelo-decoder's main() is only this. It
// loads the readers, lets go of everything of its caller's (descriptors,
// environment, capabilities, the file system), then starts a decoder for
// every picture until the program closes the socket (decoder/zygote.h);
// each decoder fences itself in (no files, no programs, no network) and
// decodes one picture.
namespace DecoderChild {

int run();

} // namespace DecoderChild
