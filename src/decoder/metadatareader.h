// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

#include <exiv2/exiv2.hpp>

#include "common/metadatapieces.h"
#include "common/picturefields.h"

// The source's metadata as the decoder process reads it: Exiv2 has crashed
// on hostile files before, so it parses a file's bytes here, never in the
// program. What is read is then written for the output by
// decoder/outputmetadata.h, and the program only puts the pieces into the
// file it encodes.
namespace MetadataReader {

// The EXIF, IPTC and XMP records of a file, as Exiv2 holds them.
struct Records
{
    Exiv2::ExifData exif;
    Exiv2::IptcData iptc;
    Exiv2::XmpData xmp;
};

// A text a PNG keeps under one of the keywords its format defines (Title,
// Author, Description, Copyright, Creation Time, Software, Disclaimer,
// Warning, Source, Comment): the keyword, the text, and the chunk it came
// in as it was.
struct PngText
{
    QString keyword;
    QString text;
    Metadata::Chunk chunk;
};

// What a file holds besides its pixels.
struct Found
{
    std::shared_ptr<const Records> records; // null when the file had none
    QByteArray iccProfile; // an RGB profile; empty when the file had none
    Metadata::Resolution resolution;
    QByteArray comment; // the JPEG comment (a PNG's text "Comment"), as its bytes
    std::vector<PngText> pngTexts; // a PNG's own texts, in the file's order
    // Why some or all of the metadata could not be read; empty when it all
    // could. The records hold whatever could.
    QString problem;
};

// Readies Exiv2 and libheif for use; a process that fences itself in calls
// it beforehand.
void prepare();

// The metadata of a picture file whose whole content is `bytes`. A format
// that cannot hold metadata gives none, and no problem.
Found read(const QByteArray &bytes);

// What the metadata says for the fields of a text: the capture date (EXIF,
// else XMP), the artist, copyright, make, model and lens (EXIF, else XMP).
PictureFields fields(const Found &found);

} // namespace MetadataReader
