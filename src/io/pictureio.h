// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

#include "common/metadatapieces.h"

// Reading and writing pictures on disk, shared by the picture list, the batch
// run and the logo.
//
// Every read goes through here so that the same guards apply everywhere: only
// regular files are opened (a FIFO or device named x.jpg would block forever);
// the format is told by the file's signature and must be one this program
// reads (pictureformats.h), whatever the name says; the picture is decoded
// in a decoder process of its own (decoderconversation.h), never in this one; and a
// picture whose working set would not fit in the memory budget is refused,
// by the size its header claims before anything is decoded (a few hundred
// bytes of JPEG can claim 20000 x 20000 pixels).
//
// Every output is created here, exclusively: a name that is taken, even by a
// dangling symbolic link or by a file that appeared a moment ago, is never
// opened for writing; the name gets another collision tag instead.
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
ReadResult readImage(const QString &path,
    const std::optional<Metadata::Wanted> &metadata = std::nullopt, QSize fit = QSize(),
    bool keepAspectRatio = true);

// The memory one picture may take while it is stamped: the memory available
// to this process (free memory, what its control group's memory limit and
// its address-space limit leave) shared among the pictures in flight.
qint64 memoryBudget();

// How many pictures are worked on at the same time (read, converted,
// stamped, encoded), and how many frames of 4 bytes a pixel each holds at
// its peak: 4 when the converted and stamped pictures are kept (the
// window's run), 2 when the stamping draws on the converted picture and only
// the encoded file is kept (measured: 8.2 bytes a pixel). A batch run sets
// it when it starts, which also takes the memory its control group has
// left at that moment as what the run may use. At least the number of reads
// going on at the moment is assumed. 1 picture of 4 frames by default.
void setPicturesInFlight(int count, int frames = 4);

// The most megapixels one picture may have (Budget::DefaultMaxPixels unless
// the user's settings raise or lower it); every read refuses a larger one.
void setMaxMegapixels(int megapixels);
qint64 maxPixels();

// True when a picture of `size` fits the memory budget now and the pixel
// cap.
bool sizeAllowed(const QSize &size);

// The picture as the compositor works on it: a 32-bit ARGB image of the
// same size, cleared to transparent, with `read` painted on it at (0, 0).
// An opaque 32-bit picture (RGB32, the decoder's photos) already is one,
// byte for byte: it is taken over as it is, without a copy when `read` is
// handed over (moved in) and with one row copy otherwise.
// Any format a reader returns is safe: an indexed picture whose colour table
// is missing or short gets grey levels for the colours it lacks.
// Returns a null image when `read` is null or the allocation fails.
QImage toArgb32(QImage read);

// ---- writing ----

// Why nothing can be created in `folder` (the system's words, such as
// "Permission denied" or "Read-only file system"), or an empty string when
// a file can. Creates and removes one empty file of its own to be sure.
QString unwritableReason(const QString &folder);

// "_" followed by `when` as yyyyMMddhhmmsszzz (17 digits, 24-hour clock).
QString collisionTag(const QDateTime &when);
// The collision tag of this very moment, local time.
QString collisionTag();

// folder + "/" + namePart + "." + suffix, the folder exactly as given.
QString outputPath(const QString &folder, const QString &namePart, const QString &suffix);

// True when something of any kind, a dangling symbolic link included, has
// this name.
bool nameTaken(const QString &path);

struct WriteResult
{
    bool ok = false;
    QString path; // the file written; on failure the last name tried
    bool renamed = false; // collision tags had to be added to the name
    QString errorText; // why nothing was written, when ok is false
};

using TagSource = std::function<QString()>;

// Writes `bytes`, a picture encoded in memory, into a new file
// folder/baseName.suffix. When that name is taken, collision tags from
// `nextTag` (the clock by default) are appended to the name, accumulating,
// until a free name is found. The file is created exclusively, so a name
// that turns out to be taken at that moment (a dangling symbolic link, or a
// file that appeared since the test) is never written through: it gets the
// next tag as well. Nothing is left behind when writing the file fails: the
// file this call created is removed again unless every byte reached it,
// flushing and closing included (a full disk often shows only there).
WriteResult writeNewBytes(const QByteArray &bytes, const QString &folder, const QString &baseName,
    const QString &suffix, const TagSource &nextTag = TagSource());

} // namespace PictureIO
