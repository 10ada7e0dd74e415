#pragma once

#include <QByteArray>

// The source's metadata as the decoder process reads it and hands it over:
// Exiv2 has crashed on hostile files before, so it parses a file's bytes
// here, never in the program. The program gets the records written anew
// (EXIF as a TIFF structure, IPTC as its datasets, XMP as a packet), without
// previews or the source's image structure, the colour profile, the
// resolution and why anything could not be read (Metadata::unpack() takes
// them apart again).
namespace MetadataReader {

// Readies Exiv2 for use; a process that fences itself in calls it
// beforehand.
void prepare();

// The metadata of a picture file whose whole content is `bytes`, packed for
// the program. A format that cannot hold metadata gives empty records and no
// problem.
QByteArray read(const QByteArray &bytes);

// What read() gives when the metadata could not even be looked at.
QByteArray problem(const QString &why);

} // namespace MetadataReader
