#include "window/mainwindow.h"

#include "ui_mainwindow.h"

// The window's side of the stamping engine: read the controls into a
// StampOptions and keep the placement state (textPos, logoPos, textExtent)
// between compositions. The pixel work is in stampengine.cpp.

StampOptions MainWindow::readStampOptions() const
{
    StampOptions options;
    options.resizeEnabled = ui->resize_check->isChecked();
    options.resizeWidth = ui->width_spin->value();
    options.resizeHeight = ui->height_spin->value();
    options.keepAspectRatio = ui->aspect_check->isChecked();
    options.shadowHeight = ui->shadow_spin->value();
    // The radio buttons of a group can all be unchecked (restored settings
    // may leave them so): then there is no bar.
    options.shadowEdge = ShadowEdge::None;
    if (ui->top_radio->isChecked())
        options.shadowEdge = ShadowEdge::Top;
    else if (ui->bottom_radio->isChecked())
        options.shadowEdge = ShadowEdge::Bottom;
    options.shadowTone = ShadowTone::None;
    if (ui->dark_radio->isChecked())
        options.shadowTone = ShadowTone::Dark;
    else if (ui->light_radio->isChecked())
        options.shadowTone = ShadowTone::Light;
    options.watermarkText = ui->wtrmark_edit->text();
    options.textOpacity = ui->watermarkOpacitySpin->value();
    options.textAnchor = Stamp::anchorFromChecked({ ui->txt_topleft_btn->isChecked(),
        ui->txt_top_btn->isChecked(), ui->txt_topright_btn->isChecked(),
        ui->txt_left_btn->isChecked(), ui->txt_center_btn->isChecked(),
        ui->txt_right_btn->isChecked(), ui->txt_botleft_btn->isChecked(),
        ui->txt_bot_btn->isChecked(), ui->txt_botright_btn->isChecked() });
    options.textOffsetX = ui->txt_x_spin->value();
    options.textOffsetY = ui->txt_y_spin->value();
    options.logoScale = ui->scale_spin->value();
    options.logoOpacity = ui->logoOpacitySpin->value();
    options.logoAnchor = Stamp::anchorFromChecked({ ui->logo_topleft_btn->isChecked(),
        ui->logo_top_btn->isChecked(), ui->logo_topright_btn->isChecked(),
        ui->logo_left_btn->isChecked(), ui->logo_center_btn->isChecked(),
        ui->logo_right_btn->isChecked(), ui->logo_botleft_btn->isChecked(),
        ui->logo_bot_btn->isChecked(), ui->logo_botright_btn->isChecked() });
    options.logoOffsetX = ui->x_spin->value();
    options.logoOffsetY = ui->y_spin->value();
    options.relative = ui->relative_check->isChecked();
    options.relativeRef = relativeRef;
    options.shrinkOnly = ui->shrink_check->isChecked();
    return options;
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
    const StampOptions &o = last.options;
    return !stampedImage.isNull() && stampedImage.cacheKey() == last.stampedKey
        && sourceImage.cacheKey() == last.sourceKey && logoImage.cacheKey() == last.logoKey
        && transformMode == last.mode && textFont == last.font && textColor == last.color
        && options.resizeEnabled == o.resizeEnabled && options.resizeWidth == o.resizeWidth
        && options.resizeHeight == o.resizeHeight && options.keepAspectRatio == o.keepAspectRatio
        && options.shadowHeight == o.shadowHeight && options.shadowEdge == o.shadowEdge
        && options.shadowTone == o.shadowTone && options.watermarkText == o.watermarkText
        && options.textOpacity == o.textOpacity && options.logoScale == o.logoScale
        && options.logoOpacity == o.logoOpacity && options.shrinkOnly == o.shrinkOnly
        && options.relative == o.relative && options.relativeRef == o.relativeRef
        && (!options.relative || sameProportionedSizes(options, o));
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
