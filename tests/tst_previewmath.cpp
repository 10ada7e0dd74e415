// The preview's arithmetic on plain numbers: the hit test's edges, a drag
// step's rounding and clamping, the scale slider's rounding.

#include "testsupport.h"
#include "window/previewmath.h"

class PreviewMathTest : public QObject
{
    Q_OBJECT

private slots:
    void hits_data();
    void hits();
    void steps();
};

void PreviewMathTest::hits_data()
{
    QTest::addColumn<QPoint>("mouse");
    QTest::addColumn<bool>("hit");
    // clang-format off
    // A box at (10, 20), 30.5 x 8, shown at half size: 5 <= x < 20.25, 10 <= y < 14.
    QTest::newRow("top-left corner") << QPoint(5, 10) << true;
    QTest::newRow("left of it") << QPoint(4, 10) << false;
    QTest::newRow("fractional last column") << QPoint(20, 13) << true;
    QTest::newRow("bottom edge") << QPoint(10, 14) << false;
    // clang-format on
}

void PreviewMathTest::hits()
{
    QFETCH(QPoint, mouse);
    QFETCH(bool, hit);
    QCOMPARE(PreviewMath::hitsBox(mouse, 10, 20, 30.5, 8, 0.5, 0.5), hit);
}

void PreviewMathTest::steps()
{
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
