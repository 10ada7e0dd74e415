// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>

// The one way a decoded picture becomes the 32-bit pixels everything after
// the reader works on. The decoder process does it, so that a 1-bit or
// indexed picture is expanded there, under its limits, never in the program.
namespace Argb {

// Whether `image` is in one of the two formats the program takes from a
// decoder: RGB32 (opaque) or ARGB32.
bool ready(const QImage &image);

// Paints `read`, of any format, onto `target` (ARGB32, the same size),
// which is cleared to transparent first: whatever memory it lies in, no
// earlier content shows through transparent pixels. An indexed picture
// whose colour table is short gets greys for the indices it lacks (painting
// looks colours up without a bounds check).
void paint(const QImage &read, QImage &target);

} // namespace Argb
