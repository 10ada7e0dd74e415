// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>
#include <functional>

#include "cli/commandline.h"

// tarvelo-cli: the window's batch run without the window. It reads the same
// stored options, lists pictures as a drop does and writes the same files,
// reporting one line per picture on standard output.
namespace Cli {

// Exit statuses.
enum Status { AllStamped = 0, SomeFailed = 1, UsageError = 2, Interrupted = 130 };

// One picture to stamp: its path as listed, why it is refused before it
// is read (empty when it is not), and the folder it was found in by walking
// a folder named (empty for a picture named on its own).
struct Input
{
    QString path;
    QString refusal;
    QString root;
};

// The pictures that the request's paths name, in order: files as they are,
// folders walked as a drop walks them, "-" replaced by the paths read from
// `in` (one per line, or NUL-separated). Named files whose suffix a drop
// would not take are listed with a refusal, so that nothing named is passed
// over in silence. With `retry`, the paths are journals or files of result
// lines, and the pictures are the ones they record as failed and never as
// stamped. A list that cannot be read whole, or would be misread (NUL bytes
// in a list of lines), fills `problem` and gives no picture.
QList<Input> collectInputs(const Request &request, FILE *in, QString *problem);

// "1,204 stamped, 3 failed in 41.2 s"
QString summary(int stamped, int failed, double seconds);

// Prints every stored option, one a line: key, type and range, first-run
// default, the value in effect for `request` (its --options and --set) and
// what it means, tab-separated fields as in the result lines.
int listSettings(const Request &request);

// The whole program after the application object exists: runs `request`
// and returns the exit status.
int run(const Request &request);

// The program: parses the command line, prints help, version or a usage
// error, or runs. Sets up a display-less application itself.
int main(int argc, char *argv[]);

} // namespace Cli
