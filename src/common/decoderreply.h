// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QPair>
#include <QRgb>
#include <QSize>
#include <QString>
#include <QVector>

#include <optional>

#include "common/decoderprotocol.h"
#include "common/metadatapieces.h"
#include "common/picturefields.h"

// The one writer and the one reader of what a decoder is asked and what it
// says besides its pixels, side by side, so that the two ends cannot drift
// apart: the decoder, the program and the tests' stand-in decoder all go
// through here. The readers believe nothing: every count and length is
// checked against the bytes that are there and the protocol's limits.
namespace DecoderReply {

// What the program asks of a decoder for one picture.
struct Asked
{
    QByteArray reader; // the toolkit's reader to use, "jpeg"
    qint64 budgetBytes = 0; // the working set a picture may need
    qint64 maxPixels = 0; // the most pixels it may have
    // A box the picture is wanted for only to be resized to (empty: the
    // whole picture), keeping its proportions inside it or stretched to it.
    QSize fit;
    bool fitKeepsAspect = true;
    // The output to write the file's metadata for, when it is wanted.
    std::optional<Metadata::Wanted> metadata;
    // What the file's metadata says for the fields of a text, too.
    bool fields = false;
    // A drawing (reader "svg"): the size to render it at; empty for its own
    // size fitted into PictureFormats::DrawingLookSide.
    QSize render;
};

// `asked` as a Request; false when it cannot be said (a reader's name
// longer than the Request holds).
bool write(const Asked &asked, DecoderProtocol::Request &request);
Asked read(const DecoderProtocol::Request &request);

// What the decoder says besides the pixels.
struct Details
{
    QString errorText;
    QVector<QRgb> colours;
    qint32 dotsX = 0; // the resolution, in dots per metre
    qint32 dotsY = 0;
    // The picture's texts (a PNG's tEXt chunks), in the order of their keys.
    QVector<QPair<QString, QString>> texts;
    // The file's metadata written for the output (Metadata::pack), when it
    // was asked for with the picture.
    std::optional<QByteArray> metadata;
    // What the file's metadata says for the fields of a text, when they were
    // asked for (after the metadata, which is then there, if empty).
    std::optional<PictureFields> fields;
};

// The details as they go after the pixels. The error text and the texts
// are cut to what the program takes (DecoderProtocol::MaxErrorText and the
// limits beside it), so that however much text a file holds, the colour
// table and the metadata still fit.
QByteArray write(const Details &details);

// The details from the `size` bytes at `data`; false when they are
// malformed or run out of memory on the way (16 MB at most).
bool read(const char *data, qint64 size, Details &details);

} // namespace DecoderReply
