// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QSize>
#include <QStringList>

#include <vector>

#include "common/metadatapieces.h"
#include "decoder/metadatareader.h"

// The source's records as the output's format has them, before they are
// written (decoder/outputmetadata.h): what readers of that format require
// of its EXIF, nothing they refuse, and a PNG's own texts where the format
// keeps such texts.
namespace OutputRecords {

// What the records are fitted for.
struct Fit
{
    QByteArray format; // "jpg", "png" or "tif"
    QSize size; // the output's pixel size
    Metadata::Resolution resolution; // what the output states; none when unknown
    bool profiled = false; // the output embeds a colour profile
};

// Fits `records` for the output: nothing that described the source's
// pixels or shows the picture as it was, the orientation 1 (the pixels are
// turned already) and the output's size. A JPEG's EXIF gets the tags its
// readers require (the resolution, the EXIF and Flashpix versions, the
// components, the colour space and the pixel size) and loses those they
// refuse there (the width, length and layout of TIFF pixel data); a TIF's
// loses what describes compressed data only (the pixel size, the
// components) and gets the versions and colour space.
void fit(MetadataReader::Records &records, const Fit &output);

// Leaves out the GPS tags and the exif:GPS properties.
void withoutLocation(MetadataReader::Records &records);

// A PNG's own texts as the XMP properties that stand for them in a JPG or
// TIF (dc:title, dc:creator, dc:description, dc:rights, xmp:CreateDate,
// xmp:CreatorTool, tiff:Model), added to `records` where they say something
// the records do not; the text "Comment" goes as the comment, apart. Returns
// what could not be carried: a text without such a property, a date that
// is none, a text the records say otherwise.
QStringList textsAsXmp(
    const std::vector<MetadataReader::PngText> &texts, MetadataReader::Records &records);

} // namespace OutputRecords
