// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <algorithm>
#include <iterator>

// The first-directory tags of a TIFF that the program's encoder alone
// speaks for: where a picture's data lies and how it is laid out (one from
// elsewhere would point into bytes it knows nothing of), the resolution and
// colour profile it writes itself, and the pointers to the EXIF and GPS
// directories it places. The decoder never sends them; the program refuses
// them from it.
namespace TiffTags {

constexpr quint16 ExifIfdPointer = 34665;
constexpr quint16 GpsIfdPointer = 34853;

inline bool structural(quint16 tag)
{
    static const quint16 tags[] = { 254, 255, 256, 257, 258, 259, 262, 263, 266, 273, 277, 278, 279,
        280, 281, 282, 283, 284, 288, 289, 296, 317, 320, 322, 323, 324, 325, 330, 338, 339, 340,
        341, 347, 512, 513, 514, 515, 517, 518, 519, 520, 521, 529, 530, 531, 532, ExifIfdPointer,
        GpsIfdPointer, 34675, 40965 };
    return std::find(std::begin(tags), std::end(tags), tag) != std::end(tags);
}

// The bytes one value of TIFF type `type` takes; 0 for a type not known.
inline int typeSize(quint16 type)
{
    static const int sizes[] = { 0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8 };
    return type < std::size(sizes) ? sizes[type] : 0;
}

} // namespace TiffTags
