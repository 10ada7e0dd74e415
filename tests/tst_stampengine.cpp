// The stamping engine on its own: placement arithmetic, the shadow bar (all
// 2^24 colours against QColor), and whole compositions compared pixel for
// pixel with a straightforward implementation written here from the
// description of the compositor.

#include <QPainter>
#include <QtTest>

#include "engine/stampengine.h"
#include "testsupport.h"

using namespace TestSupport;

Q_DECLARE_METATYPE(Anchor)
Q_DECLARE_METATYPE(ShadowTone)
Q_DECLARE_METATYPE(StampOptions)

namespace {

// A transparent left quarter and a band of partial alpha beside it, so that
// the alpha handling of every format gets exercised.
QImage testPicture(int width, int height, quint32 seed = 1)
{
    QImage image = photoLike(width, height, seed, true);
    for (int y = 0; y < height / 2; ++y)
        for (int x = width / 4; x < width / 2; ++x)
            image.setPixel(
                x, y, (image.pixel(x, y) & 0xffffff) | quint32((x * 37 + y * 11) % 256) << 24);
    return image;
}

// A logo with a soft alpha edge and a solid middle.
QImage testLogo(int width, int height)
{
    QImage logo(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int edge = qMin(qMin(x, width - 1 - x), qMin(y, height - 1 - y));
            logo.setPixel(x, y, qRgba(30 + x % 200, 220 - y % 200, 90, qMin(255, 40 + edge * 20)));
        }
    return logo;
}

QFont font()
{
    return QFont(QStringLiteral("DejaVu Sans"), 18);
}

QRgb qcolorShade(QRgb pixel, ShadowTone tone)
{
    const QColor colour(qRed(pixel), qGreen(pixel), qBlue(pixel));
    return (tone == ShadowTone::Dark ? colour.darker(200) : colour.lighter(200)).rgba();
}

// The compositor as its description reads, step by step, with the plain
// per-pixel QColor loop for the shadow bar. It shares no code with the engine.
struct LiteralWindow
{
    QImage sourceImage;
    QImage stampedImage;
    QPoint textPos;
    QPoint logoPos;
    QRect textExtent;

    void compose(const StampOptions &o, const QColor &textColor, const QImage &logoImage,
        Qt::TransformationMode transformMode)
    {
        // 1. placement, against the previous result
        if (!stampedImage.isNull()) {
            if (textExtent.width() == 0 && !o.watermarkText.isEmpty()) {
                QImage scratch = stampedImage.copy();
                scratch.setDotsPerMeterX(3780); // text as on a 96 ppi device
                scratch.setDotsPerMeterY(3780);
                QPainter painter(&scratch);
                painter.setPen(textColor);
                painter.setFont(font());
                painter.drawText(
                    QRect(QPoint(0, 0), QPoint(99998, 99998)), 0, o.watermarkText, &textExtent);
            }
            const int W = stampedImage.width(), H = stampedImage.height();
            const int tw = textExtent.width(), th = textExtent.height();
            const int lw = logoImage.width(), lh = logoImage.height();
            const double s = o.logoScale;
            const int ta = static_cast<int>(o.textAnchor), la = static_cast<int>(o.logoAnchor);
            int x = 0, y = 0;
            if (ta == 1 || ta == 4 || ta == 7)
                x = o.textOffsetX;
            else if (ta == 2 || ta == 5 || ta == 8)
                x = W / 2 - tw / 2 + o.textOffsetX;
            else
                x = W - tw + o.textOffsetX;
            if (ta <= 3)
                y = o.textOffsetY;
            else if (ta <= 6)
                y = H / 2 - th / 2 + o.textOffsetY;
            else
                y = H - th + o.textOffsetY;
            textPos = QPoint(x, y);
            if (la == 1 || la == 4 || la == 7)
                x = o.logoOffsetX;
            else if (la == 2 || la == 5 || la == 8)
                x = int((o.logoOffsetX + W / 2) - lw * s * 0.5);
            else
                x = int((o.logoOffsetX + W) - lw * s);
            if (la <= 3)
                y = o.logoOffsetY;
            else if (la <= 6)
                y = int((o.logoOffsetY + H / 2) - lh * s * 0.5);
            else
                y = int((o.logoOffsetY + H) - lh * s);
            logoPos = QPoint(x, y);
        }
        // 2. copy
        stampedImage = sourceImage.copy();
        // 3. resize
        if (o.resizeEnabled && !stampedImage.isNull())
            stampedImage = stampedImage.scaled(o.resizeWidth, o.resizeHeight,
                o.keepAspectRatio ? Qt::KeepAspectRatio : Qt::IgnoreAspectRatio, transformMode);
        // 4. shadow bar
        const int rows = o.shadowTone == ShadowTone::None ? 0 : o.shadowHeight;
        for (int k = 0; k < rows && k < stampedImage.height(); ++k) {
            const int y = o.shadowEdge == ShadowEdge::Top ? k
                : o.shadowEdge == ShadowEdge::Bottom      ? stampedImage.height() - 1 - k
                                                          : -1;
            for (int x = 0; y >= 0 && x < stampedImage.width(); ++x)
                stampedImage.setPixel(x, y, qcolorShade(stampedImage.pixel(x, y), o.shadowTone));
        }
        // 5. text
        const QString trimmed = o.watermarkText.trimmed();
        if (!stampedImage.isNull() && !trimmed.isEmpty()) {
            stampedImage.setDotsPerMeterX(3780);
            stampedImage.setDotsPerMeterY(3780);
            QPainter painter(&stampedImage);
            painter.setOpacity(o.textOpacity / 100.0);
            painter.setPen(textColor);
            painter.setFont(font());
            painter.drawText(QRect(textPos, QPoint(textPos.x() + 99998, textPos.y() + 99998)), 0,
                trimmed, &textExtent);
        }
        // 6. logo
        if (!stampedImage.isNull() && !logoImage.isNull()) {
            QPainter painter(&stampedImage);
            painter.setOpacity(o.logoOpacity / 100.0);
            painter.drawImage(logoPos,
                logoImage.scaled(int(logoImage.width() * o.logoScale),
                    int(logoImage.height() * o.logoScale), Qt::KeepAspectRatio, transformMode));
        }
    }
};

} // namespace

class StampEngineTest : public QObject
{
    Q_OBJECT

private slots:
    void anchorFromChecked_data();
    void anchorFromChecked();
    void textPosition_data();
    void textPosition();
    void logoPosition_data();
    void logoPosition();
    void placeMeasuresOnlyWithoutExtent();
    void shadowBar_data();
    void shadowBar();
    void barMatchesQColorForEveryColour_data();
    void barMatchesQColorForEveryColour();
    void composeMatchesLiteralImplementation_data();
    void composeMatchesLiteralImplementation();
    void nullInputsAndHugeSizesDoNotCrash();
};

void StampEngineTest::anchorFromChecked_data()
{
    QTest::addColumn<QList<int>>("checked");
    QTest::addColumn<Anchor>("expected");
    QTest::newRow("none") << QList<int>() << Anchor::TopLeft;
    for (int i = 0; i < 9; ++i)
        QTest::addRow("only %d", i + 1) << QList<int> { i } << Anchor(i + 1);
    QTest::newRow("first of two wins") << QList<int> { 8, 4 } << Anchor::Center;
}

void StampEngineTest::anchorFromChecked()
{
    QFETCH(QList<int>, checked);
    QFETCH(Anchor, expected);
    std::array<bool, 9> states {};
    for (int i : checked)
        states[size_t(i)] = true;
    QCOMPARE(Stamp::anchorFromChecked(states), expected);
}

namespace {
struct Position
{
    Anchor anchor;
    QSize picture;
    QSize item; // the text extent, or the logo before scaling
    double scale; // of the logo
    QPoint offset;
    QPoint expected;
};
} // namespace
Q_DECLARE_METATYPE(Position)

void StampEngineTest::textPosition_data()
{
    QTest::addColumn<Position>("p");
    // 1000 x 800 with a 200 x 30 text; the offset moves right and down.
    const int xs[3] = { 0, 400, 800 }, ys[3] = { 0, 385, 770 };
    for (int i = 0; i < 9; ++i)
        QTest::addRow("anchor %d", i + 1) << Position { Anchor(i + 1), { 1000, 800 }, { 200, 30 },
            1, { -10, 7 }, { xs[i % 3] - 10, ys[i / 3] + 7 } };
    // clang-format off
    QTest::newRow("halves term by term") << Position { Anchor::Top, { 101, 50 }, { 11, 10 }, 1, {}, { 45, 0 } };
    // 100 / 2 - 11 / 2 = 45 where (100 - 11) / 2 would give 44.
    QTest::newRow("halves are not the half difference") << Position { Anchor::Center, { 100, 100 }, { 11, 31 }, 1, {}, { 45, 35 } };
    QTest::newRow("no extent yet") << Position { Anchor::BotRight, { 1000, 800 }, { 0, 0 }, 1, {}, { 1000, 800 } };
    // clang-format on
}

void StampEngineTest::textPosition()
{
    QFETCH(Position, p);
    QCOMPARE(Stamp::textPosition(p.anchor, p.picture, p.item, p.offset), p.expected);
}

void StampEngineTest::logoPosition_data()
{
    QTest::addColumn<Position>("p");
    const QSize picture(1000, 800);
    // clang-format off
    QTest::newRow("centre at 1.5") << Position { Anchor::Center, picture, { 100, 50 }, 1.5, {}, { 425, 362 } };
    QTest::newRow("topleft ignores size") << Position { Anchor::TopLeft, picture, { 100, 50 }, 3.0, { 4, 5 }, { 4, 5 } };
    QTest::newRow("botright margin") << Position { Anchor::BotRight, picture, { 100, 50 }, 1.0, { -10, -10 }, { 890, 740 } };
    // The unrounded 33.5 pixels count: 1000 - 33.5 -> 966 and 400 - 16.75 ->
    // 383, where the drawn 33 pixels would give 967 and 384.
    QTest::newRow("fractional scaled size") << Position { Anchor::Right, picture, { 100, 100 }, 0.335, {}, { 966, 383 } };
    // Truncation goes towards zero, also below zero: -50.5 -> -50.
    QTest::newRow("truncates towards zero") << Position { Anchor::Center, picture, { 101, 101 }, 1.0, { -500, -400 }, { -50, -50 } };
    QTest::newRow("no logo is the anchor point") << Position { Anchor::Bot, picture, { 0, 0 }, 1.0, { 3, -3 }, { 503, 797 } };
    // clang-format on
}

void StampEngineTest::logoPosition()
{
    QFETCH(Position, p);
    QCOMPARE(Stamp::logoPosition(p.anchor, p.picture, p.item, p.scale, p.offset), p.expected);
}

void StampEngineTest::placeMeasuresOnlyWithoutExtent()
{
    const QImage picture = solid(640, 480, 0xff204060);
    StampOptions options;
    options.watermarkText = QStringLiteral("  Measure me ");
    options.textAnchor = Anchor::BotRight;

    // The raw text, spaces included, measured on a copy of the picture.
    QImage scratch = picture.copy();
    scratch.setDotsPerMeterX(3780); // text as on a 96 ppi device
    scratch.setDotsPerMeterY(3780);
    QPainter painter(&scratch);
    painter.setPen(Qt::white);
    painter.setFont(font());
    QRect expected;
    painter.drawText(QRect(0, 0, 99999, 99999), 0, options.watermarkText, &expected);
    painter.end();
    QVERIFY(expected.width() > 0);

    const Stamp::Placement first = Stamp::place(picture, {}, options, font(), Qt::white, QSize());
    QCOMPARE(first.textExtent, expected);
    QCOMPARE(first.textPos, QPoint(640 - expected.width(), 480 - expected.height()));

    // Once there is an extent, a different text does not renew it.
    options.watermarkText = QStringLiteral("W");
    QCOMPARE(
        Stamp::place(picture, first, options, font(), Qt::white, QSize()).textExtent, expected);

    // Without a picture the placement stays as it was.
    const Stamp::Placement kept
        = Stamp::place(QImage(), first, options, font(), Qt::white, QSize(50, 50));
    QCOMPARE(kept.textPos, first.textPos);
    QCOMPARE(kept.textExtent, expected);

    // An empty text is not measured: it is placed as if it had no size.
    options.watermarkText.clear();
    const Stamp::Placement empty = Stamp::place(picture, {}, options, font(), Qt::white, QSize());
    QVERIFY(empty.textExtent.isNull());
    QCOMPARE(empty.textPos, QPoint(640, 480));
}

namespace {
struct Bar
{
    QImage::Format format;
    int height;
    int rows;
    ShadowEdge edge;
    ShadowTone tone;
    int first, last; // the rows changed; last -1 for none
};
} // namespace
Q_DECLARE_METATYPE(Bar)

void StampEngineTest::shadowBar_data()
{
    QTest::addColumn<Bar>("bar");
    const auto argb = QImage::Format_ARGB32;
    const auto dark = ShadowTone::Dark, light = ShadowTone::Light;
    // clang-format off
    QTest::newRow("bottom 12 of 100") << Bar { argb, 100, 12, ShadowEdge::Bottom, dark, 88, 99 };
    QTest::newRow("top 12 of 100") << Bar { argb, 100, 12, ShadowEdge::Top, dark, 0, 11 };
    QTest::newRow("light bottom") << Bar { argb, 100, 12, ShadowEdge::Bottom, light, 88, 99 };
    QTest::newRow("bottom taller than picture") << Bar { argb, 30, 1000, ShadowEdge::Bottom, dark, 0, 29 };
    QTest::newRow("top one taller than picture") << Bar { argb, 30, 31, ShadowEdge::Top, light, 0, 29 };
    QTest::newRow("one row") << Bar { argb, 30, 1, ShadowEdge::Bottom, dark, 29, 29 };
    QTest::newRow("zero rows") << Bar { argb, 30, 0, ShadowEdge::Top, dark, 0, -1 };
    QTest::newRow("no edge") << Bar { argb, 30, 12, ShadowEdge::None, dark, 0, -1 };
    QTest::newRow("no tone") << Bar { argb, 30, 12, ShadowEdge::Bottom, ShadowTone::None, 0, -1 };
    // Smooth scaling hands back premultiplied pictures, and a resize may give
    // other formats: the bar must do there what pixel() and setPixel() do.
    QTest::newRow("premultiplied dark") << Bar { QImage::Format_ARGB32_Premultiplied, 40, 15, ShadowEdge::Bottom, dark, 25, 39 };
    QTest::newRow("premultiplied light") << Bar { QImage::Format_ARGB32_Premultiplied, 40, 30, ShadowEdge::Top, light, 0, 29 };
    QTest::newRow("rgb32") << Bar { QImage::Format_RGB32, 40, 15, ShadowEdge::Bottom, dark, 25, 39 };
    QTest::newRow("rgb888") << Bar { QImage::Format_RGB888, 40, 15, ShadowEdge::Bottom, light, 25, 39 };
    QTest::newRow("rgba8888") << Bar { QImage::Format_RGBA8888, 40, 15, ShadowEdge::Bottom, dark, 25, 39 };
    QTest::newRow("rgb16") << Bar { QImage::Format_RGB16, 40, 15, ShadowEdge::Bottom, dark, 25, 39 };
    // clang-format on
}

void StampEngineTest::shadowBar()
{
    QFETCH(Bar, bar);
    const QImage before = testPicture(300, bar.height, 7).convertToFormat(bar.format);
    QImage expected = before.copy();
    for (int y = bar.first; y <= bar.last; ++y)
        for (int x = 0; x < expected.width(); ++x)
            expected.setPixel(x, y, qcolorShade(expected.pixel(x, y), bar.tone));
    QImage image = before;
    Stamp::applyShadowBar(image, bar.rows, bar.edge, bar.tone);
    QCOMPARE(image.format(), bar.format);
    QCOMPARE(image, expected);
}

void StampEngineTest::barMatchesQColorForEveryColour_data()
{
    QTest::addColumn<ShadowTone>("tone");
    QTest::newRow("dark") << ShadowTone::Dark;
    QTest::newRow("light") << ShadowTone::Light;
}

void StampEngineTest::barMatchesQColorForEveryColour()
{
    QFETCH(ShadowTone, tone);
    // Every RGB colour once, in rows of 4096; the alpha byte varies too, and
    // must make no difference.
    QImage image(4096, 4096, QImage::Format_ARGB32);
    QVERIFY(!image.isNull());
    for (quint32 rgb = 0; rgb < (1u << 24); ++rgb)
        image.setPixel(int(rgb & 0xfff), int(rgb >> 12), (rgb * 2654435761u >> 24) << 24 | rgb);
    Stamp::applyShadowBar(image, 4096, ShadowEdge::Bottom, tone);
    int mismatches = 0;
    quint32 first = 0;
    for (quint32 rgb = 0; rgb < (1u << 24); ++rgb)
        if (image.pixel(int(rgb & 0xfff), int(rgb >> 12)) != qcolorShade(rgb, tone)
            && mismatches++ == 0)
            first = rgb;
    QVERIFY2(mismatches == 0,
        qPrintable(QStringLiteral("%1 colours differ, the first %2")
                       .arg(mismatches)
                       .arg(first, 6, 16, QLatin1Char('0'))));
}

void StampEngineTest::composeMatchesLiteralImplementation_data()
{
    QTest::addColumn<StampOptions>("options");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<bool>("smooth");
    QTest::addColumn<bool>("withLogo");

    StampOptions firstRun;
    firstRun.shadowHeight = 15;
    QTest::newRow("first-run options") << firstRun << QColor(Qt::white) << false << true;

    StampOptions o = firstRun;
    o.shadowEdge = ShadowEdge::Top;
    o.shadowTone = ShadowTone::Light;
    o.shadowHeight = 40;
    o.textAnchor = o.logoAnchor = Anchor::Center;
    o.textOpacity = 60;
    o.logoOpacity = 35;
    o.logoScale = 0.75;
    QTest::newRow("centred, light bar, partial opacity, smooth")
        << o << QColor(255, 200, 0, 180) << true << true;

    o = firstRun;
    o.resizeEnabled = o.keepAspectRatio = true;
    o.resizeWidth = o.resizeHeight = 300;
    o.textAnchor = o.logoAnchor = Anchor::BotRight;
    o.textOffsetX = o.textOffsetY = -10;
    o.logoOffsetX = -7;
    o.logoOffsetY = -3;
    o.logoScale = 0.015; // 1.8 x 0.9 pixels: placed as such, truncated to nothing
    QTest::newRow("keep-aspect resize, botright margins")
        << o << QColor(Qt::black) << false << true;

    o = firstRun;
    o.resizeEnabled = true;
    o.resizeWidth = 700;
    o.resizeHeight = 90;
    o.shadowHeight = 1000;
    o.textAnchor = Anchor::Right;
    o.logoAnchor = Anchor::Bot;
    o.logoScale = 1.55;
    o.watermarkText = QStringLiteral("  spaced out  ");
    QTest::newRow("stretch resize, bar over everything, smooth")
        << o << QColor(20, 40, 250) << true << true;

    o = firstRun;
    o.textAnchor = Anchor::TopRight;
    o.logoAnchor = Anchor::BotRight;
    o.textOffsetX = 9999;
    o.textOffsetY = -9999;
    o.logoOffsetX = 999999;
    o.logoOffsetY = -99999;
    QTest::newRow("text and logo far outside") << o << QColor(Qt::red) << false << true;

    o = firstRun;
    o.shadowTone = ShadowTone::None;
    o.watermarkText = QStringLiteral("   ");
    o.logoAnchor = Anchor::BotLeft;
    QTest::newRow("blank text, no tone") << o << QColor(Qt::white) << false << true;

    o = firstRun;
    o.textAnchor = Anchor::Bot;
    o.textOpacity = 0;
    QTest::newRow("no logo, invisible text") << o << QColor(Qt::white) << true << false;
}

void StampEngineTest::composeMatchesLiteralImplementation()
{
    QFETCH(StampOptions, options);
    QFETCH(QColor, colour);
    QFETCH(bool, smooth);
    QFETCH(bool, withLogo);
    const Qt::TransformationMode mode = smooth ? Qt::SmoothTransformation : Qt::FastTransformation;
    const QImage source = testPicture(640, 480, 3);
    const QImage logo = withLogo ? testLogo(120, 60) : QImage();

    // As a caller does with a new picture: previous = copy of the source,
    // then two compositions, the second placed by the first one's result.
    LiteralWindow literal { source, source.copy(), {}, {}, {} };
    Stamp::Composition engine { source.copy(), {}, {}, {} };
    for (int round = 1; round <= 2; ++round) {
        literal.compose(options, colour, logo, mode);
        engine = Stamp::compose(source, engine.image, engine.textExtent, options, font(), colour,
            logo, mode, engine.textPos, engine.logoPos);
        QCOMPARE(engine.textPos, literal.textPos);
        QCOMPARE(engine.logoPos, literal.logoPos);
        QCOMPARE(engine.textExtent, literal.textExtent);
        QCOMPARE(engine.image.format(), literal.stampedImage.format());
        QCOMPARE(engine.image, literal.stampedImage);
    }
    QVERIFY(engine.image != source);
}

void StampEngineTest::nullInputsAndHugeSizesDoNotCrash()
{
    StampOptions options;
    options.shadowHeight = 1000;

    // No picture: null result, placement kept.
    Stamp::Composition c = Stamp::compose(QImage(), QImage(), QRect(1, 1, 5, 5), options, font(),
        Qt::white, testLogo(10, 10), Qt::SmoothTransformation, QPoint(3, 4), QPoint(5, 6));
    QVERIFY(c.image.isNull());
    QCOMPARE(c.textPos, QPoint(3, 4));
    QCOMPARE(c.logoPos, QPoint(5, 6));
    QCOMPARE(c.textExtent, QRect(1, 1, 5, 5));
    QImage none;
    Stamp::applyShadowBar(none, 5, ShadowEdge::Top, ShadowTone::Dark);
    QVERIFY(Stamp::drawText(none, QStringLiteral("x"), QPoint(), 100, font(), Qt::white).isNull());
    Stamp::drawLogo(none, testLogo(4, 4), QPoint(), 1.0, 100, Qt::FastTransformation);
    QVERIFY(none.isNull());

    // A picture that went away after a composition: null again.
    const QImage source = testPicture(64, 48);
    c = Stamp::compose(
        QImage(), source, QRect(), options, font(), Qt::white, QImage(), Qt::FastTransformation);
    QVERIFY(c.image.isNull());

    // A resize beyond what a QImage can hold gives a null picture: no bar,
    // no text, no logo, and the extent stays.
    options.resizeEnabled = true;
    options.resizeWidth = options.resizeHeight = 99999;
    const Stamp::Placement kept { QPoint(1, 2), QPoint(3, 4), QRect(5, 6, 7, 8) };
    QTest::ignoreMessage(QtWarningMsg, "QImage: out of memory, returning null image");
    c = Stamp::render(
        source, kept, options, font(), Qt::white, testLogo(30, 30), Qt::FastTransformation);
    QVERIFY(c.image.isNull());
    QCOMPARE(c.textExtent, kept.textExtent);

    // A very long line of text.
    options.resizeEnabled = false;
    options.watermarkText = QString(20000, QLatin1Char('W'));
    c = Stamp::compose(
        source, source, QRect(), options, font(), Qt::white, QImage(), Qt::FastTransformation);
    QVERIFY(c.textExtent.width() > 99999);
    QCOMPARE(c.image.size(), source.size());
}

TARVELO_TEST_MAIN(StampEngineTest)
#include "tst_stampengine.moc"
