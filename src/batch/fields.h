// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QSize>
#include <QString>
#include <QStringList>

#include "common/picturefields.h"

// Fields in a text, filled in for one picture: "{name} {date}" becomes
// "kite 2024-05-17". The watermark text and the names of output files take
// the same fields, from the same values:
//
//   {name}       the source's base name ("IMG_0042" for IMG_0042.jpg)
//   {date}       the capture date, yyyy-MM-dd: EXIF DateTimeOriginal, else
//                XMP's, else the file's modification date
//   {time}       HH:mm, taken the same way; empty when the date that is
//                used states no time of day
//   {year}       the year of {date}
//   {artist}     EXIF Artist, else XMP dc:creator
//   {copyright}  EXIF Copyright, else XMP dc:rights
//   {camera}     make and model, the make once ("Canon EOS R5", not
//                "Canon Canon EOS R5")
//   {lens}       the lens model
//   {width}, {height}  the output's size
//   {counter}    the picture's number in the run, from 1; {counter:3} is
//                zero-padded to 3 digits (1 to 9 digits)
//   {{ and }}    a brace
//
// A field the picture lacks is filled in empty. Anything else in braces is
// an unknown field: it stays as typed. What a value holds is never read as
// fields again, so a name with braces in it comes out as it is.
namespace Fields {

struct Values
{
    QString name; // the source's base name
    PictureFields metadata; // as the decoder read it
    QDateTime modified; // the file's last change, for a picture without a capture date
    QSize output; // the output's size
    int counter = 0; // the picture's number in the run, from 1
};

// `text` with every field filled in from `values`.
QString expand(const QString &text, const Values &values);

// The unknown fields of `text`, as typed ("{filename}"), each once, in
// their order; empty when every field is known.
QStringList unknown(const QString &text);

// Whether filling in `text` takes values from the picture's metadata (so
// that the decoder is asked to read them): {date}, {time}, {year},
// {artist}, {copyright}, {camera} or {lens}.
bool needsMetadata(const QString &text);

// Make and model as one name, the make left out where the model repeats it
// (as its first word, in any case).
QString camera(const QString &make, const QString &model);

} // namespace Fields
