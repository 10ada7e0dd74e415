// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/stampengine.h"

#include <algorithm>
#include <cmath>
#include <limits>

// Proportional mode and the resize that only shrinks. Everything here is
// guarded by its flag: with both off, the options and the font pass through
// untouched, so such settings stamp exactly as they always have.

namespace {

// A text smaller than one pixel (at 96 ppi) shows nothing but a smudge.
constexpr double SmallestPointSize = 0.75;

// Offsets far beyond any picture stay far beyond it, without overflowing.
constexpr double FarAway = 1e9;

int columnOf(Anchor anchor)
{
    return (static_cast<int>(anchor) - 1) % 3;
}

int rowOf(Anchor anchor)
{
    return (static_cast<int>(anchor) - 1) / 3;
}

int scaledLength(int length, double factor)
{
    return qRound(std::clamp(length * factor, -FarAway, FarAway));
}

// The room an item has along one side of `side` pixels when it is anchored
// to the start (0), the middle (1) or the end (2) and moved by `offset`,
// offset included: it fits when its length is no more than that. 0 when the
// offset alone puts it past the edge: the user placed it there, and no size
// brings it back.
int roomAlong(int placeInGrid, int offset, int side)
{
    int room = 0;
    if (placeInGrid == 0)
        room = offset >= 0 ? side - offset : 0;
    else if (placeInGrid == 2)
        room = offset <= 0 ? side + offset : 0;
    else
        room = side - 2 * std::abs(offset);
    return std::max(room, 0);
}

// How much an item of `length` must shrink to fit `room`: 1 or more when it
// fits, or when there is no room to fit it to.
double shareOf(double length, int room)
{
    if (room <= 0 || length <= 0)
        return std::numeric_limits<double>::infinity();
    return room / length;
}

double pointSizeOf(const QFont &font)
{
    if (font.pointSizeF() > 0)
        return font.pointSizeF();
    return font.pixelSize() * 72.0 / 96.0; // pixels at 96 ppi
}

QSize measured(const QString &text, const QFont &font)
{
    static const QImage scratch(1, 1, QImage::Format_ARGB32_Premultiplied);
    return Stamp::measureText(scratch, text, font, Qt::white).size();
}

} // namespace

namespace Stamp {

QImage resizedFor(const QImage &image, const StampOptions &options, Qt::TransformationMode mode)
{
    if (!options.resizeEnabled)
        return image;
    // The rule the decoder also writes the output's metadata by.
    const QSize size = ResizeRule::resized(image.size(), resizeRule(options));
    if (size == image.size())
        return image;
    return image.scaled(size, Qt::IgnoreAspectRatio, mode);
}

ResizeRule::Rule resizeRule(const StampOptions &options)
{
    ResizeRule::Rule rule;
    rule.enabled = options.resizeEnabled;
    rule.box = QSize(options.resizeWidth, options.resizeHeight);
    rule.keepAspectRatio = options.keepAspectRatio;
    rule.shrinkOnly = options.shrinkOnly;
    return rule;
}

int referenceSide(const StampOptions &options)
{
    const int side = options.relativeRef;
    return side > 0 && side <= MaxReferenceSide ? side : DefaultReferenceSide;
}

double relativeFactor(const StampOptions &options, QSize picture)
{
    if (!options.relative || picture.isEmpty())
        return 1.0;
    return std::min(picture.width(), picture.height()) / double(referenceSide(options));
}

int shadowRows(const StampOptions &options, QSize picture)
{
    if (!options.relative)
        return options.shadowHeight;
    return scaledLength(options.shadowHeight, relativeFactor(options, picture));
}

Proportioned proportioned(
    const StampOptions &options, const QFont &font, QSize picture, QSize logoSize)
{
    Proportioned result { options, font };
    if (!options.relative || picture.isEmpty())
        return result;
    const double factor = relativeFactor(options, picture);
    StampOptions &o = result.options;
    o.relative = false;
    o.shadowHeight = shadowRows(options, picture);
    o.textOffsetX = scaledLength(options.textOffsetX, factor);
    o.textOffsetY = scaledLength(options.textOffsetY, factor);
    o.logoOffsetX = scaledLength(options.logoOffsetX, factor);
    o.logoOffsetY = scaledLength(options.logoOffsetY, factor);

    const int w = picture.width(), h = picture.height();
    const int textRoomX = roomAlong(columnOf(o.textAnchor), o.textOffsetX, w);
    const int textRoomY = roomAlong(rowOf(o.textAnchor), o.textOffsetY, h);
    // A line is at least as tall as its font's pixel size: a text taller
    // than the picture is brought down to it before it is ever laid out,
    // which also keeps a tiny reference side from asking for glyphs of
    // thousands of pixels.
    double size = std::min(pointSizeOf(font) * factor, h * 72.0 / 96.0);
    const QString text = o.watermarkText.trimmed();
    // Each round sets the size the last measurement asks for; hinting makes
    // text sizes only roughly proportional, so a few rounds may be needed.
    for (int round = 0; round < 64; ++round) {
        if (!(size >= SmallestPointSize)) {
            o.watermarkText.clear();
            break;
        }
        result.font.setPointSizeF(size);
        if (text.isEmpty())
            break;
        const QSize extent = measured(text, result.font);
        const double share
            = std::min(shareOf(extent.width(), textRoomX), shareOf(extent.height(), textRoomY));
        if (share >= 1)
            break;
        size *= round == 0 ? share : std::min(share, 0.98);
    }

    const double lw = logoSize.width() * o.logoScale * factor;
    const double lh = logoSize.height() * o.logoScale * factor;
    const double logoShare
        = std::min(shareOf(lw, roomAlong(columnOf(o.logoAnchor), o.logoOffsetX, w)),
            shareOf(lh, roomAlong(rowOf(o.logoAnchor), o.logoOffsetY, h)));
    o.logoScale *= factor * std::min(logoShare, 1.0);
    return result;
}

} // namespace Stamp
