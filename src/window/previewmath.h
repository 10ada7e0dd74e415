// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QPoint>
#include <QString>

// The arithmetic behind the preview pane, kept apart from the widgets so that
// it can be checked on plain numbers.
namespace PreviewMath {

// The style sheet that paints the font sample in the watermark colour. The
// colour's rgb() always carries an opaque alpha byte, so the digits read
// ff...... whatever the colour's own alpha is.
QString fontSampleStyle(const QColor &color);

// Whether the mouse at `mouse` (preview pixels) lies on an item whose box is
// (left, top, width, height) in picture pixels, shown at scaleX by scaleY.
// The left and top edges belong to the box, the right and bottom edges do
// not. Width and height stay unrounded: a logo scaled by 1.5 covers its
// fractional last column as far as the hit test is concerned.
bool hitsBox(const QPoint &mouse, double left, double top, double width, double height,
    double scaleX, double scaleY);

// The offset after a mouse step of `delta` preview pixels on a preview shown
// at `scale`: the step is turned into picture pixels on its own and the
// result truncated toward zero, so small steps on a reduced preview may not
// add up. A result beyond int's range is clamped (the spin box clamps it
// further), and a scale that gives no number leaves the offset as it was.
int dragStep(int offset, int delta, double scale);

// The logo scale pair: the slider holds one hundred times the factor. The
// factor is rounded rather than truncated on its way to the slider, because
// a typed 0.29 times 100 comes out just below 29 in binary and would
// otherwise pull the spin box back to 0.28.
int scaleToSlider(double factor);
double sliderToScale(int position);

} // namespace PreviewMath
