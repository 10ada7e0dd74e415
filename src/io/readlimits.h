// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/budget.h"

namespace PictureIO {

// What a picture may take while it is read and stamped: the pixel cap, and
// the memory available to this process (free memory, what its control
// group's memory limit and its address-space limit leave) shared among the
// pictures in flight. A plain value, owned by each batch run and by the
// window's picture loader and handed to every read they make: two runs, or
// a run and the preview, cannot change each other's limits.
struct ReadLimits
{
    // The most pixels one picture may have (the settings key max_megapixels).
    qint64 maxPixels = Budget::DefaultMaxPixels;
    // How many pictures are worked on at the same time (read, converted,
    // stamped, encoded), and how many frames of 4 bytes a pixel each holds
    // at its peak: 4 when the converted and stamped pictures are kept (the
    // window's run, the preview), 2 when the stamping draws on the converted
    // picture and only the encoded file is kept (measured: 8.2 bytes a
    // pixel). At least the number of reads going on at the moment is
    // assumed.
    int picturesInFlight = 1;
    int framesPerPicture = 4;
    // What the control group's memory limit left when the run started; -2:
    // read it afresh for every picture (no run). During a run the pictures
    // in flight are part of the group's usage: counting them again against
    // each new picture would refuse pictures that fit.
    qint64 groupLeftAtStart = -2;

    // The limits of a run of `picturesInFlight` pictures of `frames` frames
    // each, under the cap of `megapixels` (the default cap for 0 or less),
    // taking the memory its control group leaves now as what the run may use.
    static ReadLimits forRun(int picturesInFlight, int frames, int megapixels);

    // The pixel cap of `megapixels` megapixels; the default cap for 0 or less.
    static qint64 pixelCap(int megapixels);

    // The memory one picture may take while it is stamped, now.
    qint64 memoryBudget() const;
    // `budget` as the decoder weighs it, against a working set of 4 frames:
    // a picture of fewer frames may take the more pixels.
    qint64 decoderBudget(qint64 budget) const;
};

// Counts a read going on for as long as it exists: the memory budget of
// every read shares the memory among the reads of this process.
class ReadGoingOn
{
public:
    ReadGoingOn();
    ~ReadGoingOn();
    ReadGoingOn(const ReadGoingOn &) = delete;
    ReadGoingOn &operator=(const ReadGoingOn &) = delete;
};

} // namespace PictureIO
