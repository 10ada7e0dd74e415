// SPDX-License-Identifier: GPL-3.0-or-later
// tarvelo-decoder: the process that decodes pictures for the program, so
// that a hostile file costs this process, never the program. The program
// starts it with its socket and finds it next to itself.

#include "decoder/decodercore.h"
#include "decoder/fence.h"
#include "decoder/metadatareader.h"
#include "decoder/serving.h"
#include "decoder/zygote.h"

int main()
{
    if (!Fence::takeSocket())
        return 2;
    // Everything that is read from the file system is read now.
    DecoderCore::loadReaders();
    MetadataReader::prepare();
    Serving::prepare();
    Fence::leaveCallersWorld();
    // Not fenced in itself (it starts processes), this process never reads
    // a picture; each decoder fences itself in.
    return Zygote::run(Serving::decodeOne);
}
