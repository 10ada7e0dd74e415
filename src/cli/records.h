// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// tarvelo-cli's records, one to a line: the result lines it prints and the
// lines of its journal (cli/journal.h), which --retry reads back, and the
// lines of --list-settings. A record is its kind ("ok", "failed", "pending",
// "journal", or a setting's key) and its fields,
// separated by tabs; in a field, tabs, newlines, carriage returns and
// backslashes are escaped (\t, \n, \r, \\), every other control character
// (a terminal's escapes among them) as \xHH, so that every record stays one
// line whatever the names in it, and nothing in it reaches a terminal as a
// command. The loss lines on the standard error are escaped alike.
namespace Records {

// A field as it is written, and the text it was written from.
QByteArray field(const QString &text);
QString unfield(const QByteArray &field);

// The record of `kind` with `fields`, as one line with its newline.
QByteArray line(const QByteArray &kind, const QStringList &fields);

struct Record
{
    QByteArray kind; // empty for an empty line
    QStringList fields; // unescaped
};

// The record on `line` (without its newline; a carriage return before it,
// as a list edited elsewhere may have, is left out).
Record parse(QByteArray line);

} // namespace Records
