// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSize>
#include <QString>
#include <QStringList>

#include "engine/stampengine.h"
#include "io/pictureio.h"

// The lines the batch run writes into the results log. Names of files and
// folders are text: wherever a line is HTML they are escaped, so a file
// called a&b<i>.jpg shows as it is called.
namespace BatchLog {

// "beach.jpg ... OK! (2 of 5)", or "... Failed! (2 of 5)" when nothing was
// written. The output is named by the source's complete base name and the
// suffix, without collision tags.
QString progressLine(
    const QString &baseName, const QString &suffix, bool written, int position, int total);

// The last line of a run in which some pictures failed, and what its end
// box says: "17 of 20 pictures stamped, 3 failed."
QString runSummary(int stamped, int failed);

// The HTML warning for an output that had to take another name.
QString overwriteWarning(const QString &folder, const QString &baseName, const QString &suffix,
    const QString &writtenPath);

// Plain lines for a picture that is refused before it is stamped.
// A picture whose working set (decoded, converted and stamped copies) does
// not fit the memory budget.
QString tooLarge(
    const QString &fileName, const QSize &size, qint64 bytesNeeded, qint64 bytesAvailable);
QString outOfMemory(const QString &fileName, const QSize &size);
// "beach.jpg is damaged: <what the decoder said>."
QString damaged(const QString &fileName, const QString &what);

// The plain line before the progress line of a picture that was written
// without its source's metadata.
QString metadataLost(const QString &fileName, const QString &reason);

// The line a run logs once, before its first picture, when the watermark
// text holds fields it does not know ("{filename}"): they are stamped as
// typed.
QString unknownFields(const QStringList &fields);

// "beach.jpg: the logo lies outside the picture.", when the text or the
// logo of `stamped` lies wholly or partly outside its picture (cut off, or
// not there at all); empty when both lie inside.
QString outside(const QString &fileName, const Stamp::Composition &stamped);

// Why a picture that was read (or not) cannot be stamped, as the run logs it;
// empty when it can be.
QString refusal(const PictureIO::ReadResult &read, const QString &fileName);

} // namespace BatchLog
