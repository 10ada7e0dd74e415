// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include "batch/fields.h"

struct BatchOptions;

// Where in the output folder a stamped copy goes and what it is called,
// decided from names alone (nothing here looks at the disk), so that the
// window and the command line place and name every picture alike.
namespace OutputNames {

// With "Keep subfolders": the folder, relative to the output folder, that
// keeps `picture`'s place under `root`, the folder it was found in by a
// walk ("day 2/raw" for root/day 2/raw/a.jpg; empty for root/a.jpg, and for
// a picture listed on its own, whose `root` is empty). Both paths are taken
// as written, cleaned of "." and ".." steps, and must both be absolute or
// both relative to the same folder. A picture that does not lie under its
// root, or whose place would climb out of the output folder, gets an empty
// folder and `refusal` says why in the words of the results log; `refusal`
// is cleared otherwise.
QString keptFolder(const QString &root, const QString &picture, QString *refusal);

// Why `pattern` cannot name outputs, as one sentence without its full
// stop: it makes an empty name, or one holding "/" (which would make a
// folder of part of it); empty when it can.
QString patternProblem(const QString &pattern);

// `pattern` filled in for one picture, without the suffix: the fields of
// the watermark text, filled in by Fields::expand() from `values`. The
// characters that file systems refuse (control characters and
// / \ : * ? " < > |) become "_" wherever the pattern and the fields put
// them, except in {name}, which is the source's own name on disk as it is.
// Empty when it fills in to nothing.
QString fileName(const QString &pattern, const Fields::Values &values);

// Where one picture's output goes.
struct Place
{
    QString folder; // relative to the output folder; empty: the output folder itself
    QString name; // before any collision tag and the suffix
    QString refusal; // why the picture has no place (nothing is written); empty: none
};

// The place of `picture` (found under `root`; empty: listed on its own) by
// the options' subfolder rule and name pattern, whose fields stand for
// `values` (what its metadata says, its file's last change, the output's
// size, its number in the run; {name} is always `picture`'s base name).
Place place(const BatchOptions &options, const QString &root, const QString &picture,
    Fields::Values values);

} // namespace OutputNames
