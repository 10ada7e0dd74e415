// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>

#include "common/metadatapieces.h"
#include "decoder/metadatareader.h"

// The source's metadata written for the output, by Exiv2 into a stub of the
// output's format, and cut into the pieces the program puts into the file
// it encodes (common/metadatapieces.h): JPG segments, PNG chunks, a WEBP's
// EXIF (a TIFF structure) and XMP chunks, or for a TIF a block to stand
// first in the file and the first directory's tags.
// Nothing that described the source's pixels or showed the picture as it
// was goes over; the orientation becomes 1 and the pixel sizes the
// output's.
namespace OutputMetadata {

// What the output will be.
struct Output
{
    QByteArray format; // "jpg", "png", "tif" or "webp"
    QSize size; // its pixel size
    bool keep = true; // false: only the resolution goes over
    bool withoutLocation = false; // the GPS tags and properties left out
};

// The output `wanted` describes, for a picture whose whole size is
// `picture` (resized by the same rule the stamping follows).
Output outputFor(const Metadata::Wanted &wanted, QSize picture);

// What the output keeps of `found`. A format that cannot hold metadata gets
// no pieces and no problem.
Metadata::Source write(const MetadataReader::Found &found, const Output &output);

// What write() gives when the metadata could not even be looked at.
Metadata::Source problem(const Output &output, const QString &why);

} // namespace OutputMetadata
