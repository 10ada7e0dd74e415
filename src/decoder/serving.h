// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/decoderprotocol.h"

// One decoder's work: fenced in before it reads anything (decoder/fence.h),
// it takes one Request on its socket, decodes the picture into the memory
// the program handed over, writes the details after the pixels
// (common/decoderreply.h) and answers with a Reply. It never sees a second
// picture.
namespace Serving {

// Finds out, before the process lets go of the file system, how the
// system gives it memory.
void prepare();

// What a decoder started for `start` does (decoder/zygote.h): its exit
// status.
int decodeOne(const DecoderProtocol::Start &start);

// Serves `request` for the picture file open at `file` into the memfd at
// `memory` (which the program sized): the reply to send. Closes `file`.
DecoderProtocol::Reply serve(const DecoderProtocol::Request &request, int file, int memory);

} // namespace Serving
