// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDate>
#include <QString>
#include <QTime>

class QDataStream;
class BoundedReader;

// What a picture's metadata says about it for the fields of a watermark text
// and of output names: when it was taken, by whom, with what. The decoder
// process reads these from the metadata it parses anyway and sends them in
// its reply; the program believes nothing of them beyond fixed bounds, and
// never parses the metadata itself.
struct PictureFields
{
    // When the picture was taken, as the camera's clock said (no time zone):
    // "yyyy-MM-ddTHH:mm:ss", or "yyyy-MM-dd" when no time of day is known;
    // empty when the metadata states no date.
    QString taken;
    QString artist;
    QString copyright;
    QString make;
    QString model;
    QString lens;

    bool operator==(const PictureFields &other) const;
    bool operator!=(const PictureFields &other) const { return !(*this == other); }
};

namespace PictureFieldsWire {

// The most characters one value may have, on either side. (An EXIF text
// can be 64 KB; no watermark needs more than a line of it.)
constexpr int MaxChars = 256;

// The values, each cut to MaxChars, as a QDataStream writes six strings.
void write(QDataStream &out, const PictureFields &fields);

// The values that write() wrote, from bytes that may have been made by
// anyone: false when they are not there or too long. A capture date that
// is no date of the calendar is dropped, and control characters (a line
// break) become spaces.
bool read(BoundedReader &in, PictureFields &fields);

} // namespace PictureFieldsWire

namespace PictureDates {

// A date and time as the metadata writes them, read into the form of
// PictureFields::taken: EXIF's "yyyy:MM:dd HH:mm:ss" (with blanks or zeros
// for what the camera did not know) or XMP's ISO 8601 ("2024-05-17",
// "2024-05-17T14:03", "2024-05-17T14:03:22.45+02:00"; the clock time is
// kept as written, whatever its zone). Empty for anything else, or for a
// day that is not in the calendar.
QString normalised(const QString &written);

// `taken` (as in PictureFields) read back: false when it holds no date;
// `time` is invalid when it states no time of day.
bool split(const QString &taken, QDate *date, QTime *time);

} // namespace PictureDates
