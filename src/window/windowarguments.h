// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// The window program's command line: --help and --version, and pictures or
// folders to list at start (a file manager's "Open with").
namespace WindowArguments {

// Answers --help or --version on standard output. Runs before the
// application object exists, so that neither needs a display. Returns the
// exit status when it answered, -1 otherwise.
int answerInformation(int argc, char *argv[]);

// The paths among `arguments` (the program name first, the toolkit's own
// options already taken out). False, with `error` set, for an option this
// program does not know.
bool paths(const QStringList &arguments, QStringList *paths, QString *error);

// Lists `paths` in `window` exactly as a drop of them on it would.
void listAsDropped(QWidget *window, const QStringList &paths);

} // namespace WindowArguments
