// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch/batchoptions.h"

BatchOptions batchOptionsFrom(const StoredOptions::RunOptions &stored)
{
    BatchOptions options;
    options.stamp = stored.stamp;
    options.font = stored.font;
    options.color = stored.color;
    options.suffix = stored.suffix;
    options.jpgQuality = stored.jpgQuality;
    options.stripLocation = stored.stripLocation;
    options.maxMegapixels = stored.maxMegapixels;
    options.textFields = stored.textFields;
    options.keepTree = stored.keepTree;
    options.namePattern = stored.namePattern;
    return options;
}
