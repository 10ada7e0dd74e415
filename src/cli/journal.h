// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <csignal>
#include <memory>

#include "io/outputfiles.h"

// The record of one shard's pictures, kept so that the shard can be run
// again, after any interruption, and stamp every picture once in total.
//
// A journal is a text file of records (cli/records.h), one to a line:
//
//   journal  <id>                          the first line
//   pending  <source>  <temporary>  <name>   about to publish under <name>
//   ok       <source>  <output>            published
//   failed   <source>  <reason>            not stamped
//
// Every line is written with one call and flushed to the disk (fsync)
// before the step it announces. An output is published in this order:
//   1. its bytes go to a temporary file in the output folder, hidden and
//      named after the journal's id (".tarvelo-<id>-<random>.part"), flushed;
//   2. "pending" names the temporary and the name it is about to take;
//   3. link() gives the temporary that name, failing when the name is taken
//      (then the next collision-tagged name gets a "pending" line of its own);
//   4. "ok" records the name; 5. the temporary is removed.
// Killed at any instant, the journal and the folder say what happened: a
// temporary that no "pending" line names is incomplete and is removed; one
// that a "pending" line names is whole, and either one of the names tried
// is the same file (it was published: "ok" is written now) or none is (it is
// published now). A picture with neither "ok" nor a whole temporary was not
// published and is stamped again. Nothing is ever published twice, and every
// published file ends up named by an "ok" line.
//
// A run holds the journal locked (flock), so that a second run of the same
// shard waits instead of interleaving.
namespace Cli {

class Journal
{
public:
    ~Journal();
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    // Opens the journal at `path`, creating it when it does not exist, waits
    // for its lock (while `stop` stays 0) and reads its records. Returns null
    // with the reason in `error` when the file cannot be used.
    static std::unique_ptr<Journal> open(
        const QString &path, const volatile std::sig_atomic_t &stop, QString *error);

    // Completes what an interrupted run left in `folder`: publishes or
    // records the outputs of "pending" lines and removes the journal's
    // incomplete temporaries. Returns false with the reason in `error` when
    // the journal cannot be written.
    bool recover(const QString &folder, QString *error);

    // The output an earlier run published for `source`; empty when none.
    QString stampedOutput(const QString &source) const;

    // Creates the output of `source` from `bytes` as a new file in `folder`,
    // named as OutputFiles::createNew names it, in the order above. When
    // the journal cannot be written, `journalError` says why (the output may
    // still be published; a rerun records it).
    OutputFiles::WriteResult publish(const QString &source, const QByteArray &bytes,
        const QString &folder, const QString &baseName, const QString &suffix,
        QString *journalError);

    // Records that `source` was not stamped.
    bool recordFailure(const QString &source, const QString &reason, QString *error);

private:
    Journal() = default;
    bool append(const QByteArray &kind, const QStringList &fields, QString *error);
    // Steps 2 to 5 for a whole temporary, from the name `namePart` on.
    OutputFiles::WriteResult link(const QString &source, const QString &temporary,
        const QString &folder, const QString &namePart, const QString &suffix,
        QString *journalError);

    QString path;
    int fd = -1;
    QByteArray id;
    struct Pending
    {
        QString temporary;
        QStringList tried; // the names "pending" lines gave, in order
    };
    QHash<QString, QString> stamped; // source -> output
    QHash<QString, Pending> pending; // sources with "pending" lines after their last record
};

} // namespace Cli
