// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

#include <memory>

#include "batch/batchoptions.h"
#include "batch/fields.h"
#include "batch/outputnames.h"
#include "common/metadatapieces.h"
#include "engine/stampengine.h"
#include "io/outputfiles.h"
#include "io/pictureio.h"

// One picture's way through a batch, up to the bytes of its output file.
struct BatchResult
{
    enum class Status {
        Stamped, // `bytes` holds the output file in the format `suffix` names
        Missing, // nothing at the path (any more): the window skips it silently
        Failed, // `failure` says why, in the words of the results log
    };
    int ticket = -1;
    QString path; // the source, as submitted
    int counter = 1; // its number in the run
    Status status = Status::Failed;
    QString failure;
    QByteArray bytes;
    // When the output goes without its source's metadata: the log line that
    // says so, to come before the picture's progress line once it is written.
    QString metadataLost;
    // When the text or the logo lies outside the picture: the log line that
    // says so, after that one.
    QString outside;
    // What the output carries of its source, written for its format and
    // size by the decoder process with the pixels.
    Metadata::Source metadata;
    QString suffix;
    QSize size; // the size the source has or claims, when known
    // What the fields of the output's name stand for (OutputNames::place):
    // the metadata is read when the name pattern or the text takes it, and
    // the output's size is known once the picture is stamped.
    Fields::Values values;
    // With BatchOptions::keepImages: the stamped picture and the placement
    // the composition left. (The picture composed from is drawn on where
    // the decoder left it, so it is not kept: read it again when needed.)
    QImage stamped;
    Stamp::Placement placement;
};

// Stamps pictures on worker threads, ahead of the one who takes the results:
// each worker reads a picture, converts it, composes it twice exactly as the
// window composes a selected picture (so the pixels are the same) and encodes
// it. Creating the output files is left to the taker, who does it in list
// order on its own thread (see write()), so names and collision tags come out
// as in a one-at-a-time run.
//
// Pictures are started in the order they are submitted. At most
// workers + 1 pictures are held at any time, being worked on or done and not
// yet taken, whatever the number submitted: memory stays bounded by that.
// Results must be taken in submission order; skip a ticket with cancel().
//
// Every member is called from one thread, the taker's. Destroying the runner
// drops whatever was done ahead and waits for the pictures being worked on.
class BatchRunner
{
public:
    explicit BatchRunner(const BatchOptions &options);
    ~BatchRunner();
    BatchRunner(const BatchRunner &) = delete;
    BatchRunner &operator=(const BatchRunner &) = delete;

    int workerCount() const;

    // Queues a picture; returns its ticket (0, 1, 2, ... in submission order).
    // `counter` is its number in the run, which the text's {counter} field
    // stands for (batch/fields.h); 0 for its ticket + 1.
    int submit(const QString &path, int counter = 0);
    // The picture is not wanted any more: it is dropped, or its result
    // discarded when it is being worked on.
    void cancel(int ticket);
    // Moves the result of `ticket` into `result` when it is ready, waiting
    // for it at most `waitMs` milliseconds (0: only looks). False when it is
    // not ready yet.
    bool take(int ticket, BatchResult &result, int waitMs);

    // The output format of pictures started from now on (their metadata is
    // written for it as they are decoded); results already begun keep
    // theirs (BatchResult::suffix says which).
    void setSuffix(const QString &suffix);

    // One picture's whole work on the calling thread, as a worker does it,
    // within this run's limits and into its buffers; `counter` is its
    // number in the run.
    BatchResult stamp(const QString &path, const BatchOptions &options, int counter = 1) const;

    // The limits of a run of `options` with `workers` workers: each picture
    // in flight gets its share of the memory budget (results waiting to be
    // taken hold pixels only when the images are kept).
    static PictureIO::ReadLimits limitsFor(const BatchOptions &options, int workers);

    // stamp() for a run of its own: within `limits`, into `buffers`.
    static BatchResult stampOne(const QString &path, const BatchOptions &options,
        const PictureIO::ReadLimits &limits, const PictureBuffers &buffers, int counter = 1);

    // Creates the output file of a stamped result at its `place` in the
    // output folder `folder`, making the place's subfolders as needed (see
    // OutputFiles::makeFolder and OutputFiles::createNew).
    static OutputFiles::WriteResult write(const BatchResult &result, const QString &folder,
        const OutputNames::Place &place,
        const OutputFiles::TagSource &nextTag = OutputFiles::TagSource());
    // The folder that `place` puts the output of `source` in, inside the
    // output folder `folder`, made as needed; empty, and `failure` the log
    // line that says why, when it cannot be had.
    static QString placeFolder(const QString &source, const QString &folder,
        const OutputNames::Place &place, QString *failure);

private:
    struct Shared;
    std::unique_ptr<Shared> shared;
};
