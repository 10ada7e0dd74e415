// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

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

// Why files cannot be created in the place of one of `relatives` (as for
// make()) inside `output`, which can take files itself: the deepest folder
// of the place that is there already is tried, as the output folder is
// before a run (PictureIO::unwritableReason), and named in `folder`. Empty
// when every place can take files, or will be refused picture by picture
// (a symbolic link or a file in its way).
QString unwritableReason(const QString &output, const QStringList &relatives, QString *folder);

} // namespace OutputFolders
