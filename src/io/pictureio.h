// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <optional>

#include "common/metadatapieces.h"
#include "common/picturefields.h"
#include "io/picturebuffers.h"
#include "io/readlimits.h"

// Reading pictures from disk, shared by the picture list, the batch run and
// the logo.
//
// Every read goes through here so that the same guards apply everywhere: only
// regular files are opened (a FIFO or device named x.jpg would block forever);
// the format is told by the file's signature and must be one this program
// reads (pictureformats.h), whatever the name says; the picture is decoded
// in a decoder process of its own (decoderconversation.h), never in this
// one; and a picture whose working set would not fit in the memory budget is
// refused, by the size its header claims before anything is decoded (a few
// hundred bytes of JPEG can claim 20000 x 20000 pixels). Outputs are written
// by io/outputfiles.h.
namespace PictureIO {

enum class ReadStatus {
    Ok,
    Missing, // nothing at that path
    NotRegularFile, // a folder, FIFO, socket or device
    TooLarge, // beyond the memory budget, by the header or after decoding
    Unreadable, // could not be opened or decoded, or not in a format read here
    Damaged, // the decoder found data missing or corrupt; errorText says what
};

struct ReadResult
{
    QImage image; // null unless status is Ok; read for a fit, maybe smaller than `size`
    ReadStatus status = ReadStatus::Missing;
    QSize size; // the size the file claims, when known
    QString errorText; // the reader's own error text, or why the file was refused
    qint64 bytesNeeded = 0; // TooLarge: the working set the picture needs
    qint64 bytesAvailable = 0; // TooLarge: the budget it had to fit
    qint64 pixelLimit = 0; // TooLarge by the pixel cap: the cap; else 0
    Metadata::Source metadata; // with `metadata` and status Ok: the file's, written for it
    PictureFields fields; // with `fields` and status Ok: what its metadata says for a text
    QDateTime modified; // the file's last change, when it could be opened
    QSize drawingSize; // a drawing: its own size (`image` is a rendering of it)
};

// Reads one picture in the format its signature names, with the orientation
// recorded in the file applied, in a decoder process. A picture the decoder
// could not read whole is Damaged, never Ok: no pixel of it comes from
// anything but the file. With `metadata`, the decoder process reads the
// file's metadata as well and writes it for the output described there:
// this process never parses the file's metadata.
// Safe to call from several threads at once.
//
// A picture wanted only to be resized to fit `fit` (keeping its proportions
// inside it, or stretched to it without `keepAspectRatio`) may be decoded
// smaller than it is, never smaller than twice what the resize makes of
// it: a photo resized to a quarter of its size or less then costs a
// fraction of the decoding. `size` stays the file's own.
//
// The read keeps to `limits` (the caller's: a run's, the preview's), and
// the picture is decoded into a buffer of `buffers`, which the image holds
// until it goes.
//
// With `fields`, the decoder process also reads what the file's metadata
// says for the fields of a text (batch/fields.h), from the same reading as
// the metadata when both are asked for.
ReadResult readImage(const QString &path, const ReadLimits &limits, const PictureBuffers &buffers,
    const std::optional<Metadata::Wanted> &metadata = std::nullopt, QSize fit = QSize(),
    bool keepAspectRatio = true, bool fields = false);

// A logo file: a picture, read as readImage() reads it, or a drawing (SVG or
// SVGZ, common/pictureformats.h), which this process reads as bytes and
// never parses: a decoder process checks and renders it, at each size it is
// stamped at. For a drawing `read.image` shows it (its own size brought to
// fit DrawingLookSide pixels square) and `read.drawingSize` is its own size.
struct LogoRead
{
    ReadResult read;
    QByteArray drawing; // a drawing's bytes as in its file; empty for a picture
};
LogoRead readLogo(const QString &path, const ReadLimits &limits, const PictureBuffers &buffers);

// The drawing `drawing` (LogoRead::drawing) rendered by a decoder process at
// exactly `size`, or at its own size fitted to DrawingLookSide pixels square
// when `size` is empty, within `limits` and into `buffers`; `name` names it
// in the messages.
ReadResult renderDrawing(const QByteArray &drawing, QSize size, const QString &name,
    const ReadLimits &limits, const PictureBuffers &buffers);

// The picture as the compositor works on it: a 32-bit ARGB image of the
// same size, cleared to transparent, with `read` painted on it at (0, 0).
// An opaque 32-bit picture (RGB32, the decoder's photos) already is one,
// byte for byte: it is taken over as it is, without a copy when `read` is
// handed over (moved in) and with one row copy otherwise.
// Any format a reader returns is safe: an indexed picture whose colour table
// is missing or short gets grey levels for the colours it lacks.
// Returns a null image when `read` is null or the allocation fails.
QImage toArgb32(QImage read);

} // namespace PictureIO
