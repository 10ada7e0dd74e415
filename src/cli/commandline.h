// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariant>

// The command line of tarvelo-cli, read into plain values.
namespace Cli {

struct Request
{
    QString optionsFile; // empty: the window's own settings store
    QList<QPair<QString, QVariant>> overrides; // --set, checked, in the order given
    QString format; // "jpg", "png", "tif", "webp"; empty: the stored choice
    int jpgQuality = -1; // the JPG and WEBP quality; -1: the stored one
    int jobs = 0; // pictures worked on at once; 0: one per usable core
    bool stripMetadata = false;
    bool stripLocation = false; // or as the stored setting says
    bool nullSeparated = false; // "-" reads NUL-separated paths
    bool retry = false; // the paths are journals or result files: their failed pictures
    QString journal; // empty: none
    QString output;
    QStringList paths; // as given; "-" stands for standard input
};

struct Parsed
{
    enum class Outcome { Run, Help, Version, Usage, ListSettings };
    Outcome outcome = Outcome::Usage;
    Request request;
    QString message; // Help/Version: what to print; Usage: what is wrong
    // ListSettings: the request holds --options and --set, whose values are
    // listed as in effect.
};

// `arguments` without the program name.
Parsed parse(const QStringList &arguments);

} // namespace Cli
