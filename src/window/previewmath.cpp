// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/previewmath.h"

#include <cmath>
#include <limits>

namespace PreviewMath {

QString fontSampleStyle(const QColor &color)
{
    return QStringLiteral("color: #") + QString::number(color.rgb(), 16);
}

bool hitsBox(const QPoint &mouse, double left, double top, double width, double height,
    double scaleX, double scaleY)
{
    const double mx = mouse.x();
    const double my = mouse.y();
    return left * scaleX <= mx && mx < (width + left) * scaleX && top * scaleY <= my
        && my < (height + top) * scaleY;
}

int dragStep(int offset, int delta, double scale)
{
    const double moved = std::trunc(offset + delta * (1.0 / scale));
    if (std::isnan(moved))
        return offset;
    if (moved >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (moved <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(moved);
}

int scaleToSlider(double factor)
{
    return qRound(factor * 100);
}

double sliderToScale(int position)
{
    return position / 100.0;
}

} // namespace PreviewMath
