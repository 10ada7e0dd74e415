// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>

struct stat;

// The one policy for output files, used by the batch runs and by
// tarvelo-cli's journal alike: an output folder is found unwritable before
// any picture is read; an output is named after its source and never
// overwrites anything: a name that is taken, even by a dangling symbolic
// link or by a file that appeared a moment ago, is never opened for writing,
// and the name gets another collision tag instead; an output is created
// exclusively (or made as a hidden temporary and linked to its name, so
// that it appears whole or not at all), and nothing is left behind when
// writing it fails.
namespace OutputFiles {

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
WriteResult createNew(const QByteArray &bytes, const QString &folder, const QString &baseName,
    const QString &suffix, const TagSource &nextTag = TagSource());

// ---- an output made whole first, then named ----

// Writes every byte of `bytes` to `fd`; false (errno set) when it cannot.
bool writeAll(int fd, const QByteArray &bytes);

// Creates the new file `path` (never through a link) with `bytes`, flushed
// to the disk; returns why it could not, removing what it made.
QString writeTemporary(const QString &path, const QByteArray &bytes);

// Gives the whole file `temporary` the name folder/namePart.suffix, or the
// first free one with collision tags of the clock, by a hard link, which
// fails when the name is taken. `announce` is told each name before it is
// tried and may refuse (saying why in its second argument): the journal
// records it first. The temporary stays; on failure other than a refusal
// it is removed. A name found to be this very file already (an NFS server
// that did the link and lost the reply) counts as linked.
WriteResult linkNew(const QString &temporary, const QString &folder, const QString &namePart,
    const QString &suffix, const std::function<bool(const QString &, QString &)> &announce);

// True when `path` is the very file `made` describes (a hard link to it).
bool sameFile(const QString &path, const struct stat &made);

// Makes the names in `folder` durable: after a power cut no record may name
// a file the folder lost.
void syncFolder(const QString &folder);

// ---- the subfolders that keep a picture's place in the tree it was found in ----

// The folder `relative` (steps separated by "/", none of them "." or "..";
// empty: the output folder itself) inside `output`, with every step made
// that is missing. A step that is a symbolic link is never gone through: it
// could lead anywhere outside the output folder. Returns the folder's path,
// `output` + "/" + `relative` as written; or, when it cannot be had, an
// empty string with the reason in `error`.
QString makeFolder(const QString &output, const QString &relative, QString *error);

// Why files cannot be created in the place of one of `relatives` (as for
// makeFolder()) inside `output`, which can take files itself: the deepest folder
// of the place that is there already is tried, as the output folder is
// before a run (the unwritableReason() above), and named in `folder`. Empty
// when every place can take files, or will be refused picture by picture
// (a symbolic link or a file in its way).
QString unwritableReason(const QString &output, const QStringList &relatives, QString *folder);

} // namespace OutputFiles
