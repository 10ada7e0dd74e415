// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/mainwindow.h"

#include <QListWidget>

#include "ui_mainwindow.h"

// The window's side of the stamping engine: read the controls into a
// StampOptions and keep the placement state (textPos, logoPos, textExtent)
// between compositions. The pixel work is in stampengine.cpp.

// The controls read as a stored copy of them would be: the window and
// tarvelo-cli resolve the same keys by the same rules (the radio button that
// counts in a set, the ranges), so they stamp alike.
StoredOptions::RunOptions MainWindow::readRunOptions() const
{
    return StoredOptions::resolve(
        [this](const StoredOptions::Option &option) { return optionValue(option); });
}

StampOptions MainWindow::readStampOptions() const
{
    StoredOptions::RunOptions run = readRunOptions();
    if (run.textFields) {
        // As the run will fill them in for this picture: its output's size
        // and its place in the list.
        Fields::Values values = shownValues;
        values.output = sourceImage.isNull()
            ? QSize()
            : ResizeRule::resized(sourceImage.size(), Stamp::resizeRule(run.stamp));
        values.counter = ui->files_list->currentRow() + 1;
        run.stamp.watermarkText = Fields::expand(run.stamp.watermarkText, values);
    }
    return run.stamp;
}

// Places against the picture and text extent the previous composition left
// in stampedImage and textExtent; nothing changes while there is none.
void MainWindow::updatePlacement()
{
    const Stamp::Placement placement = Stamp::place(stampedImage, { textPos, logoPos, textExtent },
        readStampOptions(), textFont, textColor, logoImage.size());
    textPos = placement.textPos;
    logoPos = placement.logoPos;
    textExtent = placement.textExtent;
}

// Whether the last composition differs from what `options` and the window
// ask for in the places of text and logo alone (anchors and offsets), and is
// still the picture shown.
bool MainWindow::onlyPlacesChanged(const StampOptions &options) const
{
    return !stampedImage.isNull() && stampedImage.cacheKey() == last.stampedKey
        && sourceImage.cacheKey() == last.sourceKey && logoImage.cacheKey() == last.logoKey
        && transformMode == last.mode && textFont == last.font && textColor == last.color
        && Stamp::samePlacementInputs(options, last.options)
        && (!options.relative || sameProportionedSizes(options, last.options));
}

// In proportional mode a move can change the sizes too: an item pushed
// towards an edge is made smaller to stay inside.
bool MainWindow::sameProportionedSizes(const StampOptions &a, const StampOptions &b) const
{
    const auto look = [this](const StampOptions &options) {
        return Stamp::proportioned(options, textFont, stampedImage.size(), logoImage.size());
    };
    const Stamp::Proportioned x = look(a), y = look(b);
    return x.font == y.font && x.options.logoScale == y.options.logoScale
        && x.options.watermarkText == y.options.watermarkText;
}

void MainWindow::composeStamp()
{
    updatePlacement();
    const StampOptions options = readStampOptions();
    const auto mode = static_cast<Qt::TransformationMode>(transformMode);
    const Stamp::Placement placement { textPos, logoPos, textExtent };
    // A drag step moves one item: only around its old and new places is the
    // picture drawn again, which gives the same pixels as composing anew.
    QRect changed;
    if (onlyPlacesChanged(options)
        && Stamp::moveItems(stampedImage, last.base, last.placement, placement, options, textFont,
            textColor, logoImage, mode, textExtent, changed)) {
        last.placement = { textPos, logoPos, textExtent };
        last.options = options;
        last.stampedKey = stampedImage.cacheKey();
        refreshView(changed);
        return;
    }

    const QImage base = Stamp::renderBase(sourceImage, options, mode);
    const Stamp::Composition composition
        = Stamp::finish(base, placement, options, textFont, textColor, logoImage, mode);
    stampedImage = composition.image;
    textExtent = composition.textExtent;
    last = { base, { textPos, logoPos, textExtent }, options, textFont, textColor, transformMode,
        sourceImage.cacheKey(), logoImage.cacheKey(), stampedImage.cacheKey() };
    refreshView();
}

// For changes that can alter the stamped picture's size: the second run
// places logo and text against the size (and text extent) the first produced.
void MainWindow::composeTwice()
{
    composeStamp();
    composeStamp();
}
