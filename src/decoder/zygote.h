// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include "common/decoderprotocol.h"

// tarvelo-decoder's parent process: loaded once, it starts a decoder of its
// own for every picture (common/decoderprotocol.h), so that no decoder ever
// sees a second picture, and what the first did to it stays with it.
namespace Zygote {

// What a decoder does once started: it has the picture's socket at
// DecoderProtocol::SocketFd and nothing else of its parent's, its limits
// set and its parent's death as its own; its return value is its exit
// status.
using Decoder = std::function<int(const DecoderProtocol::Start &)>;

// Serves the Starts that come over DecoderProtocol::SocketFd until the
// program closes it, then ends every decoder still running. A decoder whose
// report socket the program closes (or shuts down) is killed: it either
// answered already or is no longer waited for. Never reads a picture.
int run(const Decoder &decoder);

} // namespace Zygote
