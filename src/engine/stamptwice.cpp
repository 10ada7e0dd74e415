#include "engine/stampengine.h"

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
        extent = measureText(source, options.watermarkText, font, color);
    // A source handed over (moved in) is drawn on where it is, not copied.
    QImage picture = options.resizeEnabled ? resized(source, options.resizeWidth,
                         options.resizeHeight, options.keepAspectRatio, mode)
                                           : std::move(source);
    if (picture.isNull())
        return result;
    const QString text = options.watermarkText.trimmed();
    if (!text.isEmpty())
        extent = measureText(picture, text, font, color);

    // The second composition, as render() does it on the resized picture.
    const Placement second { textPosition(options.textAnchor, picture.size(), extent.size(),
                                 QPoint(options.textOffsetX, options.textOffsetY)),
        logoPosition(options.logoAnchor, picture.size(), logo.size(), options.logoScale,
            QPoint(options.logoOffsetX, options.logoOffsetY)),
        extent };
    applyShadowBar(picture, options.shadowHeight, options.shadowEdge, options.shadowTone);
    return finish(std::move(picture), second, options, font, color, logo, mode);
}

} // namespace Stamp
