#include "engine/stampengine.h"

namespace {

// A one-pixel stand-in for `picture` when only text is measured: fonts are
// resolved for the device's resolution, which is all the measurement reads,
// so a copy of a whole photo would only cost time and memory.
QImage scratchLike(const QImage &picture)
{
    QImage scratch(1, 1, QImage::Format_ARGB32);
    scratch.setDotsPerMeterX(picture.dotsPerMeterX());
    scratch.setDotsPerMeterY(picture.dotsPerMeterY());
    return scratch;
}

} // namespace

namespace Stamp {

Composition composeTwice(QImage source, const Placement &current,
    const StampOptions &options, const QFont &font, const QColor &color, const QImage &logo,
    Qt::TransformationMode mode)
{
    Composition result { QImage(), current.textPos, current.logoPos, current.textExtent };
    if (source.isNull())
        return result;

    // The first composition is placed against the source itself. Of its
    // picture the second one reads only the size, which the resize alone
    // decides, and of its text only the extent: so the resize is done once
    // and kept for the second, and the text is measured instead of drawn.
    QRect extent = current.textExtent;
    if (extent.width() == 0 && !options.watermarkText.isEmpty())
        extent = measureText(scratchLike(source), options.watermarkText, font, color);
    // A source handed over (moved in) is drawn on where it is, not copied.
    QImage picture = options.resizeEnabled ? resized(source, options.resizeWidth,
                         options.resizeHeight, options.keepAspectRatio, mode)
                                           : std::move(source);
    if (picture.isNull())
        return result;
    const QString text = options.watermarkText.trimmed();
    if (!text.isEmpty())
        extent = measureText(scratchLike(picture), text, font, color);

    // The second composition, as render() does it on the resized picture.
    result.textExtent = extent;
    result.textPos = textPosition(options.textAnchor, picture.size(), extent.size(),
        QPoint(options.textOffsetX, options.textOffsetY));
    result.logoPos = logoPosition(options.logoAnchor, picture.size(), logo.size(),
        options.logoScale, QPoint(options.logoOffsetX, options.logoOffsetY));
    result.image = std::move(picture);
    applyShadowBar(result.image, options.shadowHeight, options.shadowEdge, options.shadowTone);
    if (!result.image.isNull() && !text.isEmpty())
        result.textExtent
            = drawText(result.image, text, result.textPos, options.textOpacity, font, color);
    drawLogo(result.image, logo, result.logoPos, options.logoScale, options.logoOpacity, mode);
    return result;
}

} // namespace Stamp
