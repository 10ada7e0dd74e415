// SPDX-License-Identifier: GPL-3.0-or-later
// The preview's arithmetic on plain numbers: the hit test's edges, a drag
// step's rounding and clamping, the scale slider's rounding.

#include "testsupport.h"
#include "window/previewmath.h"

class PreviewMathTest : public QObject
{
    Q_OBJECT

private slots:
    void steps();
};

void PreviewMathTest::steps()
{
    // A box at (10, 20), 30.5 x 8, shown at half size: 5 <= x < 20.25, 10 <= y < 14;
    // its top-left corner, left of it, its fractional last column, its bottom edge.
    const std::pair<QPoint, bool> hits[] = { { QPoint(5, 10), true }, { QPoint(4, 10), false },
        { QPoint(20, 13), true }, { QPoint(10, 14), false } };
    for (const auto &[mouse, hit] : hits)
        QCOMPARE(PreviewMath::hitsBox(mouse, 10, 20, 30.5, 8, 0.5, 0.5), hit);
    QCOMPARE(PreviewMath::dragStep(10, 3, 0.5), 16);
    QCOMPARE(PreviewMath::dragStep(10, -1, 3.0), 9); // 9.67 truncated
    QCOMPARE(PreviewMath::dragStep(0, 1, 1e-300), std::numeric_limits<int>::max());
    QCOMPARE(PreviewMath::dragStep(7, 1, std::nan("")), 7);
    QCOMPARE(PreviewMath::scaleToSlider(0.29), 29);
    QCOMPARE(PreviewMath::sliderToScale(29), 0.29);
    QCOMPARE(PreviewMath::fontSampleStyle(QColor(16, 32, 48, 0)).contains("ff102030"), true);
}

TARVELO_TEST_MAIN(PreviewMathTest)
#include "tst_previewmath.moc"
