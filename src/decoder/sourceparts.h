// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

#include "common/metadatapieces.h"
#include "decoder/metadatareader.h"

// What a JPEG or PNG source holds besides what Exiv2 reads of it: an EXIF
// block continued over several segments (exiftool writes one larger than a
// segment so), the extension of an XMP packet too large for one segment
// (Lightroom and exiftool write long packets so), and a PNG's own texts.
// Each read from the file's bytes with every length checked.
namespace SourceParts {

// What begins a JPEG's EXIF segment, and each part of its XMP extension.
inline const QByteArray ExifSignature("Exif\0\0", 6);
inline const QByteArray ExtensionSignature("http://ns.adobe.com/xmp/extension/\0", 35);

// The marker segments of the JPEG `bytes`, up to its scan; none when it is
// no JPEG.
std::vector<Metadata::Segment> jpegSegments(const QByteArray &bytes);

// The JPEG's EXIF block: the TIFF structure of its first EXIF segment, and
// what the EXIF segments right after it add when they have no TIFF header
// of their own. `parts` says how many segments it took (0: no EXIF).
QByteArray jpegExif(const std::vector<Metadata::Segment> &segments, int *parts);

// The extension of the JPEG's XMP packet that `guid` names, put back
// together: the parts with that GUID, each where its offset says in the
// whole whose length they all state. Empty, and `why` says it, when they do
// not make it whole.
QByteArray xmpExtension(
    const std::vector<Metadata::Segment> &segments, const QByteArray &guid, QString *why);

// The PNG's texts under the keywords its format defines, wherever they
// stand in the file (many writers put them after the image data); what
// cannot be read is said in `damaged`.
std::vector<MetadataReader::PngText> pngTexts(const QByteArray &bytes, QStringList *damaged);

} // namespace SourceParts
