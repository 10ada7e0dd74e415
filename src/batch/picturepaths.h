// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// Which files a drop on the window (and the command line) takes, and how a
// dropped folder is walked. Shared, so that the window and the command-line
// tool list exactly the same pictures in the same order.
namespace PicturePaths {

// The suffixes taken, lower case. The open-files dialog has a list of its
// own (it offers gif, xbm and xpm, a drop takes dib, sr and ras instead).
// HEIF, AVIF, JPEG XL and camera RAW suffixes follow where their readers
// are installed.
const QStringList &suffixes();

// Whether a file named `path` is taken, by its suffix (any case, blanks
// around it ignored).
bool listable(const QString &path);

// File-manager order: case-insensitive, numbers by value (img2 before img10).
bool naturalLess(const QString &a, const QString &b);

// Calls `found` with every picture under `folder`: the folder's own pictures
// first, then each subfolder's in turn, every folder's entries in natural
// order. Hidden entries and folders reached through symbolic links are left
// out, so a link loop cannot make the walk endless. Stops as soon as `found`
// returns false; returns false then.
bool walk(const QString &folder, const std::function<bool(const QString &)> &found);

} // namespace PicturePaths
