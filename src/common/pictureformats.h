// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

// The picture formats this program reads, and how each is recognised.
//
// Which decoder sees a file is decided here, from the file's first bytes,
// never by the toolkit: left to itself it offers the bytes to every image
// plug-in installed, including readers that run Ghostscript or write past
// their buffers. A file is decoded only by the reader of the format its
// signature names, and only when that format is in the table below.
namespace PictureFormats {

struct Format
{
    const char *name; // for people: "JPEG"
    const char *reader; // the toolkit's reader, named explicitly: "jpeg"
    QStringList suffixes; // lower case, the first one is the usual one
    // True when `head` (the file's first bytes) carries this format's
    // signature.
    bool (*matches)(const QByteArray &head);
};

// Enough of a file's beginning for every signature below.
constexpr int HeadBytes = 64;

// The formats offered, in the order of the file dialog's filter. A format
// whose reader is not installed (Sun raster on a system without its
// plug-in) is left out; JPEG 2000 has a decoder of this program's own.
QList<Format> readable();

// The readable format whose signature `head` carries; nullptr for none.
// `suffix` (the file name's) tells camera RAW pictures that are TIFF files
// inside from TIFF pictures; it picks no other format.
const Format *identify(const QByteArray &head, const QString &suffix = QString());

// The readable format a file name's suffix stands for; nullptr for none.
const Format *forSuffix(const QString &suffix);

// The suffixes of today's phone and camera formats (HEIF, AVIF, JPEG XL,
// camera RAW) whose readers are installed, in that order. The file dialog
// and a drop offer them after their own lists.
QStringList photoSuffixes();

// Drawings, which only a logo may be: SVG, and SVGZ (SVG packed with
// gzip). A file is taken for one when its name says so and its first bytes
// are those of XML text (or of gzip data), whatever the program may later
// find wrong with it; the decoder process alone reads it further.
bool isDrawing(const QByteArray &head, const QString &suffix);

// The most bytes a drawing may have, in the file or unpacked, and the
// largest size it may state for itself, in pixels on either side.
constexpr int MaxDrawingBytes = 16 * 1024 * 1024;
constexpr int MaxDrawingSide = 99999;
// A drawing asked for at no particular size comes at its own size fitted
// into a square of this many pixels, large enough for any thumbnail.
constexpr int DrawingLookSide = 512;

// The size the header in `head` claims, for the formats whose header has it
// at a fixed place (PNG, BMP, Sun raster); invalid for the others. What a
// decoder reports is held against it.
QSize claimedSize(const QByteArray &head);

// For a refusal's wording only: the name of a known format that is not read
// here ("HDR", "Photoshop") when `head` carries its signature; empty
// otherwise.
QString foreignKind(const QByteArray &head);

// Why a file whose first bytes are `head` is not read, worded for the log:
// "x.jpg is not a JPEG picture (it holds HDR data)."; empty when the file is
// in a readable format.
QString refusal(const QString &fileName, const QByteArray &head);

} // namespace PictureFormats
