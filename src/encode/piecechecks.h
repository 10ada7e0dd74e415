// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <vector>

#include "common/metadatapieces.h"

// The program's checks of the metadata pieces a decoder wrote for an
// output, made before any of them goes into a file: the decoder parses
// hostile files, so what it sends is believed no more than they are. Each
// kind of piece has a checker of its own that looks at its structure as a
// validator would; a piece it refuses is left out, with the loss said, and
// the rest of the metadata goes in.
namespace PieceChecks {

// What one checker says of one piece: what the piece is, as the log names
// it ("its EXIF"), and why it may not go into the file (empty: it may).
struct Verdict
{
    QString piece;
    QString fault;
};

// The EXIF block `tiff` (a TIFF structure with its own header) that a JPEG's
// APP1 segment (after "Exif\0\0") or a PNG's eXIf chunk holds: from the first directory to the
// EXIF, GPS and Interop directories, every directory and value inside it,
// none reached twice, none sharing bytes with another or with the header,
// pointers only in the tags that are pointers and only where they belong,
// types known and texts terminated, no tags describing pixel data the block
// does not hold, no next directory (thumbnails are never carried) and the
// orientation 1 (the pixels are upright). Why it may not go in; empty when
// it may.
QString exifFault(const QByteArray &tiff);

// The same for a TIF's EXIF block (common/metadatapieces.h): the EXIF and
// GPS directories at `exifIfd` and `gpsIfd` (0: none) of the little-endian
// `prefix`, which stands first in the file (its header is the encoder's).
QString exifFault(const QByteArray &prefix, quint32 exifIfd, quint32 gpsIfd);

// Why the first-directory tag `entry` of a TIF may not go in: a type TIFF
// does not know, a count its value does not hold, a text without its end,
// a tag the encoder speaks for alone, an orientation other than 1. Empty
// when it may.
QString entryFault(const Metadata::TiffEntry &entry);

// One verdict for each of the text and EXIF chunks to follow a PNG's header:
// keywords of 1 to 79 printable Latin-1 characters without leading, trailing
// or double spaces, texts as their chunk type has them (compressed ones
// inflating whole, international ones in UTF-8), one eXIf chunk, its EXIF
// as exifFault() has it.
std::vector<Verdict> pngChunks(const std::vector<Metadata::Chunk> &chunks);

// One verdict for each of the segments to follow a JPEG's JFIF header: one
// EXIF segment, as exifFault() has it; one XMP packet, well-formed, with its
// extension (when the packet names one) whole, in order, and the digest its
// name says; the colour profile's chunks numbered 1 to their count, the
// profile sound and RGB like the picture; IPTC and the comment. Pieces that
// stand together (the profile's chunks, the XMP packet and its extension)
// stand or fall together.
std::vector<Verdict> jpegSegments(const std::vector<Metadata::Segment> &segments);

// One verdict for each of the chunks that follow a WebP's picture: one
// EXIF chunk, its TIFF structure as exifFault() has it, and one XMP chunk,
// a well-formed packet.
std::vector<Verdict> webpChunks(const std::vector<Metadata::Chunk> &chunks);

// Whether `xml` (an XMP packet) is well-formed XML.
bool wellFormed(const QByteArray &xml);

// Leaves out of `source` every piece its checker refuses, and the colour
// profile when it is not sound or not RGB, and adds to its problem what was
// left out and why.
void leaveOutFaulty(Metadata::Source &source);

} // namespace PieceChecks
