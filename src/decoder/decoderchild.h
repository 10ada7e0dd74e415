#pragma once

// The decoder process's side: tarvelo-decoder's main() is only this. It
// fences itself in (no files, no programs, no network), then decodes one
// picture per request until the program closes the socket.
namespace DecoderChild {

int run();

} // namespace DecoderChild
