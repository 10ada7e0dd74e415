// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>

#include <vector>

#include "common/resizerule.h"

// What a stamped copy keeps of its source besides the pixels (the EXIF,
// IPTC and XMP records, the JPEG comment, the colour profile and the
// resolution), as it crosses the process boundary.
//
// The decoder process reads the source's metadata and writes it for the
// output's format and size, into pieces ready to be put into the encoded
// file (decoder/outputmetadata.h); the program reads them with every length
// and count checked (unpack()), checks the structure of each piece before
// it goes in (encode/piecechecks.h) and splices them in
// (encode/metadatasplice.h). The values here are plain: any thread may copy
// them.
namespace Metadata {

// Pixels per metre as the source states them; 0 when it states none.
struct Resolution
{
    double xPerMetre = 0;
    double yPerMetre = 0;
    bool known() const { return xPerMetre > 0 && yPerMetre > 0; }
};

// What the decoder is to write the metadata for, asked with the picture:
// the metadata is made for one output format and one size.
struct Wanted
{
    QString suffix; // of the output file; metadata only for JPG, PNG, TIF and WEBP
    bool keep = true; // false: the resolution alone goes over
    bool withoutLocation = false; // the GPS tags and properties left out
    ResizeRule::Rule resize; // how the output's size comes from the picture's
};

// "jpg", "png", "tif" or "webp" for the suffixes of those formats; empty
// for any other, which keeps no metadata.
QByteArray formatOf(const QString &suffix);

struct Segment // a JPEG marker segment
{
    quint8 marker = 0;
    QByteArray payload;
};

struct Chunk // a PNG chunk, or a WebP chunk ("EXIF", "XMP ")
{
    QByteArray type;
    QByteArray data;
};

// A first-directory tag of a TIFF, as it is stored: `value` is
// little-endian and holds `count` values of `type` (1 to 12), nothing more,
// nothing less.
struct TiffEntry
{
    quint16 tag = 0;
    quint16 type = 0;
    quint32 count = 0;
    QByteArray value;
};

struct Source
{
    QByteArray format; // what the pieces were made for: "jpg", "png", "tif", "webp"; empty: none
    QSize size; // and the output size they were made for
    std::vector<Segment> segments; // JPG: to follow the JFIF header
    std::vector<Chunk> chunks; // PNG: to follow the header chunk; WEBP: for the mux
    // TIF: a block to stand first in the file (a TIFF structure whose
    // offsets count from the file's start, holding the EXIF and GPS
    // directories), where those two start in it (0: none), and more
    // first-directory tags (see encode/tiffsplice.h).
    QByteArray tiffPrefix;
    quint32 exifIfd = 0;
    quint32 gpsIfd = 0;
    std::vector<TiffEntry> tiffEntries;
    QByteArray iccProfile; // PNG, TIF and WEBP: an RGB profile for the encoder to embed
    Resolution resolution;
    // Why some or all of it could not be carried over; empty when it all
    // could. The pieces hold what could.
    QString problem;
};

// `source` packed to go over the boundary, as it is: the writer believes
// its caller, the reader below nobody.
QByteArray pack(const Source &source);

// The Source that pack() made. A packing that makes no sense, or a piece
// of a kind its format does not take, gives a Source with nothing but the
// problem "the decoder sent a malformed reply"; nothing at all, the problem
// "the decoder could not hand it over". A TIFF tag whose number or type
// does not fit TIFF's is left out, and the problem says so.
Source unpack(const QByteArray &packed);

} // namespace Metadata
