// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The subfolders of an output folder that keep a picture's place in the
// tree it was found in, made as they are needed.
namespace OutputFolders {

// The folder `relative` (steps separated by "/", none of them "." or "..";
// empty: the output folder itself) inside `output`, with every step made
// that is missing. A step that is a symbolic link is never gone through: it
// could lead anywhere outside the output folder. Returns the folder's path,
// `output` + "/" + `relative` as written; or, when it cannot be had, an
// empty string with the reason in `error`.
QString make(const QString &output, const QString &relative, QString *error);

} // namespace OutputFolders
