// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>

#include <vector>

#include "common/resizerule.h"
#include "encode/tiffsplice.h"

// What a stamped copy keeps of its source besides the pixels: the EXIF, IPTC
// and XMP records, the JPEG comment, the colour profile and the resolution.
//
// The decoder process reads the source's metadata and writes it for the
// output's format and size, into pieces ready to be put into the encoded
// file (decoder/metadatareader.h). This side parses none of it: it checks
// every length, count, type and offset of the pieces and splices them in.
// A Source is a plain value that any thread may copy and hand to the
// encoder; nothing here keeps state between calls.
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

struct Source
{
    QByteArray format; // what the pieces were made for: "jpg", "png", "tif", "webp"; empty: none
    QSize size; // and the output size they were made for
    std::vector<Segment> segments; // JPG: to follow the JFIF header
    std::vector<Chunk> chunks; // PNG: to follow the header chunk; WEBP: for the mux
    QByteArray tiffPrefix; // TIF: to stand first in the file (see TiffSplice)
    quint32 exifIfd = 0;
    quint32 gpsIfd = 0;
    std::vector<TiffSplice::Entry> tiffEntries;
    QByteArray iccProfile; // PNG, TIF and WEBP: an RGB profile for the encoder to embed
    Resolution resolution;
    // Why some or all of it could not be carried over; empty when it all
    // could. The pieces hold what could.
    QString problem;
};

// The Source the decoder process packed. A packing that makes no sense, or
// a piece that is not what it may be, gives a Source with nothing but the
// problem "the decoder sent a malformed reply".
Source unpack(const QByteArray &packed);

// Puts `source`'s pieces into `encoded`, a picture just encoded as JPEG, PNG
// or TIFF of size `size` (the encoders embed the profile and resolution
// themselves, and the WebP encoder all of a WebP's pieces). Returns why
// that failed, leaving `encoded` as it was: the pieces were made for
// another format or size, or the file is not what its encoder makes; empty
// on success or when there was nothing to carry.
QString carryOver(QByteArray &encoded, const Source &source, QSize size);

} // namespace Metadata
