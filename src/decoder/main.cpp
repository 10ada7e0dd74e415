// SPDX-License-Identifier: GPL-3.0-or-later
// tarvelo-decoder: the process that decodes pictures for the program, so
// that a hostile file costs this process, never the program. The program
// starts it with its socket and finds it next to itself.

#include "decoder/decoderchild.h"

int main()
{
    return DecoderChild::run();
}
