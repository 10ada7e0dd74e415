// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSize>

#include <algorithm>

// The size the resize makes of a picture, by the same rule wherever it is
// needed: the stamping scales the picture to it, and the decoder process
// writes the output's metadata for it before the picture is stamped.
namespace ResizeRule {

struct Rule
{
    bool enabled = false;
    QSize box; // width by height
    bool keepAspectRatio = false; // inside the box, or stretched to it
    bool shrinkOnly = false; // a picture that fits the box stays as it is
};

// `picture` resized by `rule`, with QSize::scaled's rounding (as
// QImage::scaled has it), at least 1 x 1. Shrinking without keeping the
// proportions brings each side down to the box, none up. An invalid size
// when the box it comes to is empty: no picture fits it.
inline QSize resized(QSize picture, const Rule &rule)
{
    if (!rule.enabled || picture.isEmpty())
        return picture;
    QSize box = rule.box;
    if (rule.shrinkOnly) {
        if (picture.width() <= box.width() && picture.height() <= box.height())
            return picture;
        if (!rule.keepAspectRatio)
            box = QSize(
                std::min(picture.width(), box.width()), std::min(picture.height(), box.height()));
    }
    if (box.isEmpty())
        return QSize();
    QSize size
        = picture.scaled(box, rule.keepAspectRatio ? Qt::KeepAspectRatio : Qt::IgnoreAspectRatio);
    return QSize(std::max(size.width(), 1), std::max(size.height(), 1));
}

} // namespace ResizeRule
