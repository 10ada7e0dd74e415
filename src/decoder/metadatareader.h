// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>

// The source's metadata as the decoder process reads it and hands it over:
// Exiv2 has crashed on hostile files before, so it parses a file's bytes
// here, never in the program. Nor does the program parse what is handed
// over: the metadata comes written for the output already, by Exiv2 into a
// stub of the output's format, and the program only puts the pieces into
// the file it encodes.
//
// Packed as a QDataStream: the format and the output size the pieces were
// made for, the resolution (pixels per metre, 0 when unknown), the colour
// profile (PNG, TIF and WEBP: the encoder embeds it), why anything could not
// be carried, then the pieces: JPG segments (marker and payload) or PNG
// chunks (type and data), in the order they go after the encoder's JFIF
// header or IHDR chunk, or a WEBP's EXIF chunk (a TIFF structure) and XMP
// chunk (the packet), which its encoder's mux puts in; for a TIF, a block
// to stand first in the file (a TIFF structure whose offsets count from the
// file's start, holding the EXIF and GPS directories), where those two
// directories start in it, and the first directory's entries (tag, type,
// count, little-endian value).
namespace MetadataReader {

// What the output will be.
struct Output
{
    QByteArray format; // "jpg", "png", "tif" or "webp"
    QSize size; // its pixel size
    bool keep = true; // false: only the resolution goes over
    bool withoutLocation = false; // the GPS tags and properties left out
};

// Readies Exiv2 for use; a process that fences itself in calls it
// beforehand.
void prepare();

// The metadata of a picture file whose whole content is `bytes`, written
// for `output` and packed for the program. A format that cannot hold
// metadata gives no pieces and no problem.
QByteArray read(const QByteArray &bytes, const Output &output);

// What read() gives when the metadata could not even be looked at.
QByteArray problem(const Output &output, const QString &why);

} // namespace MetadataReader
