// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The stamping engine: everything that turns a picture and the stamping options
// into the stamped picture, as free functions on QImage and plain values. It
// knows nothing of widgets or settings; MainWindow reads its controls into a
// StampOptions and hands it over (window/mainwindow_compose.cpp).
//
// The painting is done with exactly the Qt calls named at each function, in
// that order and on the images' own formats, because the pixels have to be the
// ones those calls produce (also after rounding).

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <functional>

#include "common/resizerule.h"


// Where logo or text is anchored: the 3 by 3 grid in reading order.
// Column = (value - 1) % 3 (left, centre, right), row = (value - 1) / 3 (top,
// middle, bottom).
enum class Anchor { TopLeft = 1, Top, TopRight, Left, Center, Right, BotLeft, Bot, BotRight };

// Which edge the shadow bar lies along, and whether it darkens or lightens.
enum class ShadowEdge { None, Top, Bottom };
enum class ShadowTone { None, Dark, Light };

// The option values one composition reads. The defaults are those of a fresh
// form, apart from the watermark text, which the window always fills.
struct StampOptions
{
    bool resizeEnabled = false;
    int resizeWidth = 1920;
    int resizeHeight = 1920;
    bool keepAspectRatio = false;
    int shadowHeight = 12; // rows
    ShadowEdge shadowEdge = ShadowEdge::Bottom;
    ShadowTone shadowTone = ShadowTone::Dark;
    QString watermarkText;
    int textOpacity = 100; // percent
    Anchor textAnchor = Anchor::TopLeft;
    int textOffsetX = 0;
    int textOffsetY = 0;
    double logoScale = 1.0;
    int logoOpacity = 100; // percent
    Anchor logoAnchor = Anchor::TopLeft;
    int logoOffsetX = 0;
    int logoOffsetY = 0;
    // Proportional mode: the sizes and offsets above are those of a picture
    // whose shorter side is `relativeRef` pixels, and every picture gets them
    // in proportion to its own shorter side (after the resize).
    bool relative = false;
    int relativeRef = 0; // pixels; see Stamp::referenceSide()
    // The resize never enlarges: a picture already inside the box keeps its
    // size.
    bool shrinkOnly = false;
    // A soft dark shadow under the text (Stamp::drawTextShadow).
    bool textShadow = false;
    // Text and logo repeated across the whole picture (Stamp::tileAcross).
    bool tile = false;
};

// Every field alike; comparing a new field cannot be forgotten: the
// comparison takes the fields apart by count and stops compiling when one is
// added.
bool operator==(const StampOptions &a, const StampOptions &b);
bool operator!=(const StampOptions &a, const StampOptions &b);

namespace Stamp {

// The logo: a picture, scaled to the size it is stamped at, or a drawing (an
// SVG, rendered by the decoder process) rendered at exactly that size, so
// that it stays sharp at any scale. Both are placed by their own size. A
// picture converts to a logo, so a picture logo is stamped as it always was.
class Logo
{
public:
    // Renders the drawing at exactly the size asked; a null image when it
    // cannot. Called from any thread.
    using Renderer = std::function<QImage(QSize)>;

    Logo() = default;
    Logo(const QImage &picture); // NOLINT: a picture is a logo
    // A drawing whose own size is `size`; `look` shows it (at that size or
    // smaller) where a thumbnail is wanted.
    static Logo drawing(QSize size, const QImage &look, Renderer render);

    bool isNull() const { return own.isEmpty(); }
    QSize size() const { return own; }
    int width() const { return own.width(); }
    int height() const { return own.height(); }
    bool isDrawing() const { return bool(renderer); }
    // The picture, or the drawing's thumbnail.
    const QImage &look() const { return picture; }
    qint64 cacheKey() const { return picture.cacheKey(); }

    // The logo as it is stamped at `scale`: the picture scaled with
    // QImage::scaled to (int(width * scale), int(height * scale)) keeping its
    // proportions, or the drawing rendered at the size that gives. A null
    // image when a side of that is 0.
    QImage at(double scale, Qt::TransformationMode mode) const;

    // The same logo with a picture of its own, for another thread (the
    // renderer is shared: it may be called from any thread).
    Logo detached() const;

private:
    QImage picture;
    QSize own;
    Renderer renderer;
};

// Text is laid out and drawn as on a 96 pixels-per-inch device, whatever the
// screen, the platform or the picture's own resolution tag says, so that a
// font's point size always gives the same pixels: a fresh QImage takes the
// screen's resolution, and QPainter sizes fonts by the image's.
constexpr int DotsPerMeter96 = 3780; // 96 / 0.0254, rounded

// Whether `a` and `b` stamp the same picture under the same text and logo,
// which may only sit elsewhere: equal in everything but the anchors and the
// offsets. A composition that differs from the last in places alone is a
// move of text or logo, not a new picture.
bool samePlacementInputs(const StampOptions &a, const StampOptions &b);

// Top-left corner of the text for a picture of size `picture` and a text extent
// of size `textSize`. Every half is an integer half of its own term:
// W / 2 - tw / 2 + offset.
QPoint textPosition(Anchor anchor, QSize picture, QSize textSize, QPoint offset);

// Top-left corner of the logo. The logo counts with its unrounded scaled size
// (logoSize * scale); each coordinate is truncated towards zero, e.g.
// trunc((offset + W / 2) - lw * scale * 0.5) for the centre column.
QPoint logoPosition(Anchor anchor, QSize picture, QSize logoSize, double scale, QPoint offset);

// The bounding rectangle `text` (as given, not trimmed) gets when drawn at
// (0, 0) on a scratch copy of `picture` with the given pen colour and font:
// QPainter::drawText(QRect(0, 0, 99999, 99999), 0, text, &bounding), at 96
// pixels per inch. A null picture gives a null rectangle.
QRect measureText(
    const QImage &picture, const QString &text, const QFont &font, const QColor &color);

// Where logo and text go, and the text extent that placed them.
struct Placement
{
    QPoint textPos;
    QPoint logoPos;
    QRect textExtent;
};

// The placement for the next composition, made against the size of `previous`
// (the last composition's picture). While `current.textExtent` has width 0 and
// the watermark text is not empty, the text is measured first (on a scratch
// copy of `previous`). A null `previous` leaves `current` as it is. In
// proportional mode, with the options proportioned() for `previous`.
Placement place(const QImage &previous, const Placement &current, const StampOptions &options,
    const QFont &font, const QColor &color, QSize logoSize);

// The resize the options ask for: `image` itself when it is off, or when it
// may only shrink and the picture already fits the box. Shrinking without
// keeping the proportions brings each side down to the box, none up.
QImage resizedFor(const QImage &image, const StampOptions &options, Qt::TransformationMode mode);
// That resize as a rule on sizes alone (common/resizerule.h).
ResizeRule::Rule resizeRule(const StampOptions &options);

// The shorter side proportional mode measures against when nothing usable
// is stored, and the largest one it believes.
constexpr int DefaultReferenceSide = 1080;
constexpr int MaxReferenceSide = 99999;

// `options.relativeRef`, or DefaultReferenceSide when it is 0, negative or
// beyond MaxReferenceSide (no picture the program makes is that large).
int referenceSide(const StampOptions &options);

// How much larger than on the reference picture text, logo, offsets and bar
// are on a picture of size `picture`: its shorter side over the reference
// side. 1 outside proportional mode and for an empty picture.
double relativeFactor(const StampOptions &options, QSize picture);

// The shadow bar's rows on a picture of size `picture`.
int shadowRows(const StampOptions &options, QSize picture);

// What one picture gets: outside proportional mode the options and font as
// they are. In it, font size, logo scale, offsets and bar height multiplied
// by relativeFactor(), and then a text or logo that would run past the
// picture's edge made just small enough to fit, its offset included (one
// placed past an edge by its offset alone is left as it is). A text that
// would be smaller than a pixel is left out (the text becomes empty). The
// options returned are no longer proportional, so this is done once.
struct Proportioned
{
    StampOptions options;
    QFont font;
};
Proportioned proportioned(
    const StampOptions &options, const QFont &font, QSize picture, QSize logoSize);

// One pixel of the shadow bar: the colour of the pixel's red, green and blue
// (alpha dropped) made QColor::darker(200) or QColor::lighter(200), as opaque
// ARGB. ShadowTone::None returns the pixel unchanged.
QRgb shadedPixel(QRgb pixel, ShadowTone tone);

// Applies shadedPixel to the first (Top) or last (Bottom) `rows` rows of
// `image`; rows beyond the picture are skipped. Pixels are read and written as
// QImage::pixel and QImage::setPixel do (the raw 32-bit word for the ARGB32
// formats, premultiplied or not). Nothing happens for ShadowEdge::None,
// ShadowTone::None or rows <= 0.
void applyShadowBar(QImage &image, int rows, ShadowEdge edge, ShadowTone tone);

// Draws `text` as given (the compositor passes it trimmed) with its top-left
// at `pos`: a QPainter with opacity opacity / 100.0, pen `color`, font `font`,
// drawText(QRect(pos, QSize(99999, 99999)), 0, text, &bounding), with
// `image` set to 96 pixels per inch first. Returns the bounding rectangle, or
// a null rectangle when `image` is null.
QRect drawText(QImage &image, const QString &text, QPoint pos, int opacity, const QFont &font,
    const QColor &color);

// The text's shadow for a line of text `lineHeight` pixels high: how far
// down and to the right it falls, and the radius of its blur, both in
// proportion to the line (and at least a pixel).
struct ShadowGeometry
{
    int offset;
    int blur;
};
ShadowGeometry shadowGeometry(int lineHeight);

// Draws the soft dark shadow that `text`, laid out as drawText() lays it out
// at `pos`, casts on `image`: the glyphs' coverage blurred, offset down and
// to the right by shadowGeometry() of the line's height and laid on in
// black, at most 80 % dark, times opacity / 100.0, so that it fades with
// the text. Only inside `clip`, when one is given.
void drawTextShadow(QImage &image, const QString &text, QPoint pos, int opacity, const QFont &font,
    const QRect *clip = nullptr);

// The angle of the repeated mark, in degrees, counter-clockwise.
constexpr double TileAngle = 30;

// Draws `item` (the text or the logo as it is stamped once) again and again
// across `image`, at opacity / 100.0: turned TileAngle degrees about its
// centre, in a grid turned the same way whose rows are staggered by half a
// step, spaced by the item's size plus half its longer side. One of them
// lies where the item alone would: on `placed` (its top left corner there),
// so that the anchor and the offset shift the grid.
void tileAcross(QImage &image, const QImage &item, QPoint placed, int opacity);

// The text as one item of the repeated mark: drawn alone on a transparent
// picture with room around it (and its shadow, with `shadow`). `extent` gets
// the layout box drawText() would report at `pos`, `placed` the item's top
// left corner for tileAcross(), so that it sits where the text alone would.
QImage textItem(const QString &text, QPoint pos, const QFont &font, const QColor &color,
    bool shadow, QRect *extent, QPoint *placed);

// Draws `logo` scaled with QImage::scaled to (int(width * scale),
// int(height * scale)), keeping its proportions, at `pos` with opacity
// opacity / 100.0. A scaled size with a zero side draws nothing.
void drawLogo(QImage &image, const Logo &logo, QPoint pos, double scale, int opacity,
    Qt::TransformationMode mode);

// A finished composition: the stamped picture and the placement state it
// leaves behind for the next one.
struct Composition
{
    QImage image;
    QPoint textPos;
    QPoint logoPos;
    QRect textExtent;
    // Where the text and the logo were drawn, empty for one that was not:
    // whatever of them lies outside the picture's rectangle was cut off.
    QRect textArea;
    QRect logoArea;
};

// Everything after the placement: a copy of `source`, resized, with the shadow
// bar, the trimmed watermark text (which renews the text extent) and the logo
// over it. A null `source` gives a null image and leaves the placement as is.
Composition render(const QImage &source, const Placement &placement, const StampOptions &options,
    const QFont &font, const QColor &color, const Logo &logo, Qt::TransformationMode mode);

// render() in two steps: the picture text and logo go on (a copy of
// `source`, resized, with the shadow bar), and the rest on that picture.
QImage renderBase(const QImage &source, const StampOptions &options, Qt::TransformationMode mode);
Composition finish(QImage base, const Placement &placement, const StampOptions &options,
    const QFont &font, const QColor &color, const Logo &logo, Qt::TransformationMode mode);

// Moves text and logo of `stamped`, which finish() made from `base` with the
// placement `before`, to the positions of `after` (all other options the
// same): only around the old and the new places is the picture restored from
// `base` and drawn again, and it ends up as finish() with `after` would make
// it. Sets `textExtent` as that would, and `changed` to the rectangle whose
// pixels may have changed. False, with nothing done, when `stamped` does not
// fit `base`.
bool moveItems(QImage &stamped, const QImage &base, const Placement &before, const Placement &after,
    const StampOptions &options, const QFont &font, const QColor &color, const Logo &logo,
    Qt::TransformationMode mode, QRect &textExtent, QRect &changed);

// One whole composition: place() against `previous` (the last result) and
// `textExtent`, then render() `source`. `textPos` and `logoPos` are the
// positions in force; they are kept when `previous` is null.
Composition compose(const QImage &source, const QImage &previous, QRect textExtent,
    const StampOptions &options, const QFont &font, const QColor &color, const Logo &logo,
    Qt::TransformationMode mode, QPoint textPos = QPoint(), QPoint logoPos = QPoint());

// What the window's two compositions in a row give for a newly selected
// picture (the first placed against `source` itself, the second against the
// first's result), pixel for pixel, with the resize done once and the first
// composition's text measured rather than drawn. A source moved in is drawn
// on where it is when there is no resize, instead of being copied.
Composition composeTwice(QImage source, const Placement &current, const StampOptions &options,
    const QFont &font, const QColor &color, const Logo &logo, Qt::TransformationMode mode);

} // namespace Stamp
