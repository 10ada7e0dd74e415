// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>

#include "batch/storedoptions.h"
#include "engine/stampengine.h"

// Everything a batch run needs to know, as plain values. A run takes its own
// copy when it starts, so nothing changed afterwards (and no widget) reaches
// the pictures it is stamping. The window fills it from its controls, the
// command-line tool from the stored settings and its arguments.
struct BatchOptions
{
    StampOptions stamp;
    QFont font;
    QColor color = Qt::white;
    Stamp::Logo logo; // null: no logo
    QString suffix = QStringLiteral("jpg"); // the output format: "jpg", "png", "tif" or "webp"
    int jpgQuality = 90; // used for "jpg" and "webp" (lossless at 100) only
    bool keepMetadata = true; // carry the source's metadata and colour profile over
    bool stripLocation = false; // but not where the picture was taken (its GPS tags)
    int maxMegapixels = 0; // the pixel cap of one picture; 0: the default cap
    // Fill in the watermark text's fields for each picture (batch/fields.h).
    bool textFields = false;
    // Where and under what name each output goes: kept in the subfolders a
    // picture was found in, named by the pattern ("{name}": the source's
    // complete base name).
    bool keepTree = false;
    QString namePattern = QStringLiteral("{name}");
    int workers = 0; // pictures worked on at once; 0 or less: one per usable core
    // Hand back the stamped picture with every result (the window shows
    // it); otherwise only the encoded bytes come back, which keeps a long
    // run's memory small.
    bool keepImages = false;
};

// The options of a run as the stored options (or the window's controls,
// read as such) give them; everything but the logo's picture, which
// whoever has its file reads.
BatchOptions batchOptionsFrom(const StoredOptions::RunOptions &stored);
