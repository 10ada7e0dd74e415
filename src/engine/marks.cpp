// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/stampengine.h"

#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <vector>

// The text's soft shadow and the mark repeated across the picture. Both
// are drawn only when their option asks for them, so that stored settings
// stamp exactly as they always have.

namespace {

// As the text itself is laid out (stampengine.cpp): one line, never
// clipped, as on a 96 pixels-per-inch device.
constexpr int TextRoom = 99999;

// How dark the shadow is where the glyphs cover it whole.
constexpr double ShadowStrength = 0.8;

// Three passes of a box blur of `radius` along one direction of the
// `width` by `height` coverage in `values` (rows of `width`): close to a
// Gaussian blur, in integers, and the same everywhere.
void boxBlur(std::vector<quint16> &values, int width, int height, int radius, bool alongRows)
{
    const int length = alongRows ? width : height;
    const int lines = alongRows ? height : width;
    const int step = alongRows ? 1 : width;
    const int span = 2 * radius + 1;
    std::vector<quint16> line(static_cast<size_t>(length));
    for (int pass = 0; pass < 3; ++pass) {
        for (int l = 0; l < lines; ++l) {
            quint16 *first = values.data() + (alongRows ? size_t(l) * width : size_t(l));
            for (int k = 0; k < length; ++k)
                line[size_t(k)] = first[size_t(k) * step];
            // A running sum over the window; outside the line counts as 0.
            int sum = 0;
            for (int k = 0; k < std::min(radius, length); ++k)
                sum += line[size_t(k)];
            for (int k = 0; k < length; ++k) {
                if (k + radius < length)
                    sum += line[size_t(k + radius)];
                if (k - radius - 1 >= 0)
                    sum -= line[size_t(k - radius - 1)];
                first[size_t(k) * step] = quint16((sum + span / 2) / span);
            }
        }
    }
}

// The text at (`margin`, `margin`) of a transparent picture large enough
// for it and that margin all round, in `color`; `extent` gets its layout
// box as drawText() reports it there.
QImage textAlone(
    const QString &text, const QFont &font, const QColor &color, int margin, QRect *extent)
{
    const QRect box
        = Stamp::measureText(QImage(1, 1, QImage::Format_ARGB32_Premultiplied), text, font, color);
    QImage alone(
        box.width() + 2 * margin, box.height() + 2 * margin, QImage::Format_ARGB32_Premultiplied);
    if (alone.isNull())
        return alone;
    alone.fill(Qt::transparent);
    alone.setDotsPerMeterX(Stamp::DotsPerMeter96);
    alone.setDotsPerMeterY(Stamp::DotsPerMeter96);
    QPainter painter(&alone);
    painter.setPen(color);
    painter.setFont(font);
    painter.drawText(QRect(margin, margin, TextRoom, TextRoom), 0, text, extent);
    return alone;
}

// How far the shadow reaches beyond the glyphs, on every side.
int shadowReach(const Stamp::ShadowGeometry &shadow)
{
    return 3 * shadow.blur + shadow.offset + 1;
}

} // namespace

namespace Stamp {

ShadowGeometry shadowGeometry(int lineHeight)
{
    return { std::max(1, qRound(lineHeight / 16.0)), std::max(1, qRound(lineHeight / 20.0)) };
}

void drawTextShadow(QImage &image, const QString &text, QPoint pos, int opacity, const QFont &font,
    const QRect *clip)
{
    if (image.isNull() || text.isEmpty() || opacity <= 0)
        return;
    const QRect box = measureText(image, text, font, Qt::black);
    const ShadowGeometry shadow = shadowGeometry(box.height());
    const int margin = shadowReach(shadow);
    QRect laid;
    QImage glyphs = textAlone(text, font, Qt::black, margin, &laid);
    if (glyphs.isNull())
        return;
    const int width = glyphs.width(), height = glyphs.height();
    std::vector<quint16> coverage(size_t(width) * height);
    for (int y = 0; y < height; ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(glyphs.constScanLine(y));
        for (int x = 0; x < width; ++x)
            coverage[size_t(y) * width + x] = quint16(qAlpha(row[x]));
    }
    boxBlur(coverage, width, height, shadow.blur, true);
    boxBlur(coverage, width, height, shadow.blur, false);
    const double strength = ShadowStrength * std::clamp(opacity, 0, 100) / 100.0;
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(glyphs.scanLine(y));
        for (int x = 0; x < width; ++x) // black, premultiplied: the alpha alone
            row[x] = uint(qRound(coverage[size_t(y) * width + x] * strength)) << 24;
    }
    QPainter painter(&image);
    if (clip)
        painter.setClipRect(*clip);
    painter.drawImage(pos + QPoint(shadow.offset - margin, shadow.offset - margin), glyphs);
}

void tileAcross(QImage &image, const QImage &item, QPoint placed, int opacity)
{
    if (image.isNull() || item.isNull() || opacity <= 0)
        return;
    const double w = item.width(), h = item.height();
    double stepX = w + std::max(w, h) / 2, stepY = h + std::max(w, h) / 2;
    const QPointF origin = QPointF(placed) + QPointF(w / 2, h / 2);
    QTransform turn;
    turn.rotate(-TileAngle); // counter-clockwise on the picture, whose y runs down

    // The grid's steps that cover the picture, each item's reach included:
    // the picture's corners seen from the grid.
    const double reach = std::hypot(w, h) / 2;
    const QRectF area = QRectF(image.rect()).adjusted(-reach, -reach, reach, reach);
    const QTransform back = turn.inverted();
    QRectF seen;
    for (const QPointF &corner :
        { area.topLeft(), area.topRight(), area.bottomLeft(), area.bottomRight() })
        seen |= QRectF(back.map(corner - origin), QSizeF(0.001, 0.001));
    // A speck of a logo on a large picture would take millions of copies:
    // beyond a few thousand the grid opens up instead.
    const double count = (seen.width() / stepX + 2) * (seen.height() / stepY + 2);
    if (count > 4096) {
        const double widen = std::sqrt(count / 4096);
        stepX *= widen;
        stepY *= widen;
    }
    const int firstRow = int(std::floor(seen.top() / stepY)) - 1;
    const int lastRow = int(std::ceil(seen.bottom() / stepY)) + 1;
    const int firstColumn = int(std::floor(seen.left() / stepX)) - 1;
    const int lastColumn = int(std::ceil(seen.right() / stepX)) + 1;

    QPainter painter(&image);
    painter.setOpacity(opacity / 100.0);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    for (int row = firstRow; row <= lastRow; ++row) {
        const double stagger = (row & 1) ? stepX / 2 : 0;
        for (int column = firstColumn; column <= lastColumn; ++column) {
            const QPointF centre
                = origin + turn.map(QPointF(column * stepX + stagger, row * stepY));
            QTransform at;
            at.translate(centre.x(), centre.y());
            at.rotate(-TileAngle);
            painter.setTransform(at);
            painter.drawImage(QPointF(-w / 2, -h / 2), item);
        }
    }
}

// The text as one item of the repeated mark, with its shadow when asked
// for; `extent` gets the text's layout box as drawText() would report it at
// `pos`, `placed` where the item's top left corner goes.
QImage textItem(const QString &text, QPoint pos, const QFont &font, const QColor &color,
    bool shadow, QRect *extent, QPoint *placed)
{
    const QRect box
        = measureText(QImage(1, 1, QImage::Format_ARGB32_Premultiplied), text, font, color);
    // A glyph may reach a little beyond its layout box (italics, overhangs).
    const int margin
        = shadow ? shadowReach(shadowGeometry(box.height())) : std::max(2, box.height() / 4);
    QRect laid;
    QImage item = textAlone(text, font, color, margin, &laid);
    if (item.isNull())
        return item;
    if (shadow) {
        QImage behind(item.size(), QImage::Format_ARGB32_Premultiplied);
        behind.fill(Qt::transparent);
        behind.setDotsPerMeterX(DotsPerMeter96);
        behind.setDotsPerMeterY(DotsPerMeter96);
        drawTextShadow(behind, text, QPoint(margin, margin), 100, font);
        QPainter painter(&behind);
        painter.drawImage(0, 0, item);
        painter.end();
        item = behind;
    }
    *extent = laid.translated(pos - QPoint(margin, margin));
    *placed = pos - QPoint(margin, margin);
    return item;
}

} // namespace Stamp
