// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include "engine/stampengine.h"
#include "io/pictureio.h"

// The logo as the window and the command-line tool read it from its file:
// a picture, or a drawing (SVG, SVGZ) that a decoder process renders at
// exactly each size it is stamped at, so that it stays sharp at any scale,
// in the preview and in the run alike.
namespace LogoFile {

struct Loaded
{
    Stamp::Logo logo; // null when the file could not be read
    PictureIO::ReadResult read; // why not, as any read says it
};

// Reads the logo at `path`. A drawing's renderer keeps the last sizes it
// rendered, so that a run or a drag whose logo keeps its size asks a
// decoder once; a size it cannot render draws no logo. The file and every
// rendering are read within `limits`.
Loaded load(const QString &path, const PictureIO::ReadLimits &limits = PictureIO::ReadLimits());

} // namespace LogoFile
