// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/stampengine.h"

namespace Stamp {

Composition composeTwice(QImage source, const Placement &current, const StampOptions &options,
    const QFont &font, const QColor &color, const Logo &logo, Qt::TransformationMode mode)
{
    Composition result { QImage(), current.textPos, current.logoPos, current.textExtent, {}, {} };
    if (source.isNull())
        return result;

    // The first composition is placed against the source itself. Of its
    // picture the second one reads only the size, which the resize alone
    // decides, and of its text only the extent: so the resize is done once
    // and kept for the second, and the text is measured instead of drawn.
    QRect extent = place(source, current, options, font, color, logo.size()).textExtent;
    QImage picture = resizedFor(source, options, mode);
    // A source handed over (moved in) and not resized is drawn on where it
    // is, not copied: this was the last other hold on its pixels.
    source = QImage();
    if (picture.isNull())
        return result;
    const Proportioned look = proportioned(options, font, picture.size(), logo.size());
    const QString text = look.options.watermarkText.trimmed();
    if (!text.isEmpty())
        extent = measureText(picture, text, look.font, color);

    // The second composition, as render() does it on the resized picture.
    const Placement second = place(
        picture, { current.textPos, current.logoPos, extent }, options, font, color, logo.size());
    applyShadowBar(
        picture, shadowRows(options, picture.size()), options.shadowEdge, options.shadowTone);
    return finish(std::move(picture), second, options, font, color, logo, mode);
}

} // namespace Stamp
