// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/stampengine.h"

#include <QPainter>

#include <algorithm>
#include <cstring>
#include <tuple>

namespace {

// drawText gets a rectangle this large so that the one line of text is never
// clipped nor wrapped, wherever it starts.
constexpr int TextRoom = 99999;

int columnOf(Anchor anchor)
{
    return (static_cast<int>(anchor) - 1) % 3;
}

int rowOf(Anchor anchor)
{
    return (static_cast<int>(anchor) - 1) / 3;
}

// Only text depends on the resolution; the image is about to be painted on
// (and so detached) anyway.
void at96Dpi(QImage &image)
{
    if (image.dotsPerMeterX() != Stamp::DotsPerMeter96)
        image.setDotsPerMeterX(Stamp::DotsPerMeter96);
    if (image.dotsPerMeterY() != Stamp::DotsPerMeter96)
        image.setDotsPerMeterY(Stamp::DotsPerMeter96);
}

} // namespace

namespace {

// All fields of the options, in declaration order. The binding names them by
// count, so a field added to StampOptions fails to compile here until it is
// compared as well.
auto fields(const StampOptions &o)
{
    const auto &[resizeEnabled, resizeWidth, resizeHeight, keepAspectRatio, shadowHeight,
        shadowEdge, shadowTone, watermarkText, textOpacity, textAnchor, textOffsetX, textOffsetY,
        logoScale, logoOpacity, logoAnchor, logoOffsetX, logoOffsetY, relative, relativeRef,
        shrinkOnly, textShadow, tile]
        = o;
    return std::tie(resizeEnabled, resizeWidth, resizeHeight, keepAspectRatio, shadowHeight,
        shadowEdge, shadowTone, watermarkText, textOpacity, textAnchor, textOffsetX, textOffsetY,
        logoScale, logoOpacity, logoAnchor, logoOffsetX, logoOffsetY, relative, relativeRef,
        shrinkOnly, textShadow, tile);
}

} // namespace

bool operator==(const StampOptions &a, const StampOptions &b)
{
    return fields(a) == fields(b);
}

bool operator!=(const StampOptions &a, const StampOptions &b)
{
    return !(a == b);
}

namespace Stamp {

Logo::Logo(const QImage &picture)
    : picture(picture)
    , own(picture.size())
{
}

Logo Logo::drawing(QSize size, const QImage &look, Renderer render)
{
    Logo logo;
    logo.picture = look;
    logo.own = size;
    logo.renderer = std::move(render);
    return logo;
}

QImage Logo::at(double scale, Qt::TransformationMode mode) const
{
    if (!renderer)
        return picture.scaled(static_cast<int>(own.width() * scale),
            static_cast<int>(own.height() * scale), Qt::KeepAspectRatio, mode);
    // The size QImage::scaled would give a picture of the drawing's size.
    const QSize box(static_cast<int>(own.width() * scale), static_cast<int>(own.height() * scale));
    if (isNull() || box.isEmpty())
        return QImage();
    const QSize size = own.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    QImage drawn = renderer(size);
    return drawn.size() == size ? drawn : QImage();
}

Logo Logo::detached() const
{
    Logo logo = *this;
    logo.picture = picture.copy();
    return logo;
}

bool samePlacementInputs(const StampOptions &a, const StampOptions &b)
{
    const auto withoutPlaces = [](StampOptions options) {
        const StampOptions fresh;
        options.textAnchor = fresh.textAnchor;
        options.textOffsetX = fresh.textOffsetX;
        options.textOffsetY = fresh.textOffsetY;
        options.logoAnchor = fresh.logoAnchor;
        options.logoOffsetX = fresh.logoOffsetX;
        options.logoOffsetY = fresh.logoOffsetY;
        return options;
    };
    return withoutPlaces(a) == withoutPlaces(b);
}

QPoint textPosition(Anchor anchor, QSize picture, QSize textSize, QPoint offset)
{
    const int w = picture.width(), h = picture.height();
    const int tw = textSize.width(), th = textSize.height();
    int x = offset.x();
    if (columnOf(anchor) == 1)
        x = w / 2 - tw / 2 + offset.x();
    else if (columnOf(anchor) == 2)
        x = w - tw + offset.x();
    int y = offset.y();
    if (rowOf(anchor) == 1)
        y = h / 2 - th / 2 + offset.y();
    else if (rowOf(anchor) == 2)
        y = h - th + offset.y();
    return QPoint(x, y);
}

QPoint logoPosition(Anchor anchor, QSize picture, QSize logoSize, double scale, QPoint offset)
{
    const int w = picture.width(), h = picture.height();
    // The scaled size stays fractional here (the drawn logo is truncated
    // instead), so the same anchor gives the same spot at every scale.
    const double lw = logoSize.width() * scale, lh = logoSize.height() * scale;
    int x = offset.x();
    if (columnOf(anchor) == 1)
        x = static_cast<int>((offset.x() + w / 2) - lw * 0.5);
    else if (columnOf(anchor) == 2)
        x = static_cast<int>((offset.x() + w) - lw);
    int y = offset.y();
    if (rowOf(anchor) == 1)
        y = static_cast<int>((offset.y() + h / 2) - lh * 0.5);
    else if (rowOf(anchor) == 2)
        y = static_cast<int>((offset.y() + h) - lh);
    return QPoint(x, y);
}

QRect measureText(
    const QImage &picture, const QString &text, const QFont &font, const QColor &color)
{
    if (picture.isNull())
        return QRect();
    // Measured on a small scratch picture: the layout depends on the
    // device's resolution (96 ppi, as for the drawing), not on the picture's
    // size, and a copy of a large photo would cost as much memory as the
    // photo.
    QImage scratch(1, 1, QImage::Format_ARGB32_Premultiplied);
    if (scratch.isNull())
        return QRect();
    at96Dpi(scratch);
    QPainter painter(&scratch);
    painter.setPen(color);
    painter.setFont(font);
    QRect bounding;
    painter.drawText(QRect(0, 0, TextRoom, TextRoom), 0, text, &bounding);
    painter.end();
    return bounding;
}

Placement place(const QImage &previous, const Placement &current, const StampOptions &options,
    const QFont &font, const QColor &color, QSize logoSize)
{
    if (previous.isNull())
        return current;
    const Proportioned look = proportioned(options, font, previous.size(), logoSize);
    const StampOptions &o = look.options;
    Placement next = current;
    // Until some text has been drawn or measured there is no extent to place
    // by; an empty text is tried again next time.
    if (next.textExtent.width() == 0 && !o.watermarkText.isEmpty())
        next.textExtent = measureText(previous, o.watermarkText, look.font, color);
    next.textPos = textPosition(o.textAnchor, previous.size(), next.textExtent.size(),
        QPoint(o.textOffsetX, o.textOffsetY));
    next.logoPos = logoPosition(
        o.logoAnchor, previous.size(), logoSize, o.logoScale, QPoint(o.logoOffsetX, o.logoOffsetY));
    return next;
}

// drawText() and drawLogo() with the painting held inside `clip` when one is
// given; inside it the pixels are those of the unclipped drawing.
static QRect drawTextIn(QImage &image, const QString &text, QPoint pos, int opacity,
    const QFont &font, const QColor &color, const QRect *clip, bool shadow = false)
{
    if (image.isNull())
        return QRect();
    at96Dpi(image);
    if (shadow)
        drawTextShadow(image, text, pos, opacity, font, clip);
    QPainter painter(&image);
    if (clip)
        painter.setClipRect(*clip);
    painter.setOpacity(opacity / 100.0);
    painter.setPen(color);
    painter.setFont(font);
    QRect bounding;
    painter.drawText(QRect(pos, QSize(TextRoom, TextRoom)), 0, text, &bounding);
    painter.end();
    return bounding;
}

// Returns where the logo lies, empty when nothing was drawn.
static QRect drawLogoIn(QImage &image, const Logo &logo, QPoint pos, double scale, int opacity,
    Qt::TransformationMode mode, const QRect *clip)
{
    if (image.isNull() || logo.isNull())
        return QRect();
    // A zero side gives a null image, which draws nothing.
    const QImage scaled = logo.at(scale, mode);
    QPainter painter(&image);
    if (clip)
        painter.setClipRect(*clip);
    painter.setOpacity(opacity / 100.0);
    painter.drawImage(pos, scaled);
    painter.end();
    return scaled.isNull() ? QRect() : QRect(pos, scaled.size());
}

QRect drawText(QImage &image, const QString &text, QPoint pos, int opacity, const QFont &font,
    const QColor &color)
{
    return drawTextIn(image, text, pos, opacity, font, color, nullptr);
}

void drawLogo(QImage &image, const Logo &logo, QPoint pos, double scale, int opacity,
    Qt::TransformationMode mode)
{
    drawLogoIn(image, logo, pos, scale, opacity, mode, nullptr);
}

QImage renderBase(const QImage &source, const StampOptions &options, Qt::TransformationMode mode)
{
    // Always from the source, never from an earlier result, so that repeated
    // compositions do not degrade the picture.
    QImage image = source;
    if (image.isNull())
        return image;
    image = resizedFor(image, options, mode);
    applyShadowBar(
        image, shadowRows(options, image.size()), options.shadowEdge, options.shadowTone);
    return image;
}

Composition render(const QImage &source, const Placement &placement, const StampOptions &options,
    const QFont &font, const QColor &color, const Logo &logo, Qt::TransformationMode mode)
{
    return finish(renderBase(source, options, mode), placement, options, font, color, logo, mode);
}

Composition finish(QImage base, const Placement &placement, const StampOptions &options,
    const QFont &font, const QColor &color, const Logo &logo, Qt::TransformationMode mode)
{
    Composition result;
    result.textPos = placement.textPos;
    result.logoPos = placement.logoPos;
    result.textExtent = placement.textExtent;
    result.image = std::move(base);
    if (result.image.isNull())
        return result;
    // A resize that cannot get its memory leaves a null picture: then
    // neither text nor logo is drawn, and the text extent stays as it was.
    const Proportioned look = proportioned(options, font, result.image.size(), logo.size());
    const QString text = look.options.watermarkText.trimmed();
    if (options.tile) {
        // Across the whole picture, the text under the logo as always.
        QPoint placed;
        if (!text.isEmpty())
            tileAcross(result.image,
                textItem(text, result.textPos, look.font, color, options.textShadow,
                    &result.textExtent, &placed),
                placed, options.textOpacity);
        if (!logo.isNull())
            tileAcross(result.image, logo.at(look.options.logoScale, mode), result.logoPos,
                options.logoOpacity);
        return result;
    }
    if (!text.isEmpty())
        result.textArea = result.textExtent = drawTextIn(result.image, text, result.textPos,
            options.textOpacity, look.font, color, nullptr, options.textShadow);
    result.logoArea = drawLogoIn(result.image, logo, result.logoPos, look.options.logoScale,
        options.logoOpacity, mode, nullptr);
    return result;
}

Composition compose(const QImage &source, const QImage &previous, QRect textExtent,
    const StampOptions &options, const QFont &font, const QColor &color, const Logo &logo,
    Qt::TransformationMode mode, QPoint textPos, QPoint logoPos)
{
    const Placement current { textPos, logoPos, textExtent };
    const Placement next = place(previous, current, options, font, color, logo.size());
    return render(source, next, options, font, color, logo, mode);
}

// Where drawing the text or the logo of `placement` can change pixels. A
// glyph may reach beyond the text's bounding rectangle (overhangs, italics),
// so that one is widened by a line's height on every side.
static QRect coveredArea(const Placement &placement, const StampOptions &options, const Logo &logo)
{
    QRect area;
    const int line = std::max(4, placement.textExtent.height());
    if (!options.watermarkText.trimmed().isEmpty())
        area = QRect(placement.textPos, placement.textExtent.size())
                   .adjusted(-line, -line, line, line);
    if (!logo.isNull())
        area |= QRect(placement.logoPos,
            QSize(int(logo.width() * options.logoScale), int(logo.height() * options.logoScale)))
                    .adjusted(-2, -2, 2, 2);
    return area;
}

bool moveItems(QImage &stamped, const QImage &base, const Placement &before, const Placement &after,
    const StampOptions &options, const QFont &font, const QColor &color, const Logo &logo,
    Qt::TransformationMode mode, QRect &textExtent, QRect &changed)
{
    // A repeated mark covers the whole picture: moving it is composing anew.
    if (stamped.isNull() || base.size() != stamped.size() || base.format() != stamped.format()
        || options.tile)
        return false;
    textExtent = after.textExtent;
    // Proportional mode: the caller makes sure that text and logo keep their
    // sizes in the move, so that `before` is drawn as these options say.
    const Proportioned look = proportioned(options, font, stamped.size(), logo.size());
    const StampOptions &o = look.options;
    const QRect area
        = (coveredArea(before, o, logo) | coveredArea(after, o, logo)) & stamped.rect();
    // Back to the picture without text and logo inside the area, then both
    // drawn again in their order, held inside it.
    if (!area.isEmpty()) {
        const int bytes = area.width() * base.depth() / 8;
        const int offset = area.x() * base.depth() / 8;
        for (int y = area.top(); y <= area.bottom(); ++y)
            std::memcpy(
                stamped.scanLine(y) + offset, base.constScanLine(y) + offset, size_t(bytes));
    }
    const QString text = o.watermarkText.trimmed();
    if (!text.isEmpty())
        textExtent = drawTextIn(
            stamped, text, after.textPos, o.textOpacity, look.font, color, &area, o.textShadow);
    if (!area.isEmpty())
        drawLogoIn(stamped, logo, after.logoPos, o.logoScale, o.logoOpacity, mode, &area);
    changed = area;
    return true;
}

} // namespace Stamp
