// SPDX-License-Identifier: GPL-3.0-or-later
// The stamping engine on its own: the shadow bar against QColor for every
// colour, and whole compositions against a literal compositor written here
// from the description of the steps, sharing no code with the engine.

#include "engine/stampengine.h"
#include "testsupport.h"

#include <limits>

using namespace TestSupport;

Q_DECLARE_METATYPE(ShadowTone)
Q_DECLARE_METATYPE(StampOptions)

namespace {

QRgb qcolorShade(QRgb pixel, ShadowTone tone)
{
    const QColor colour(qRed(pixel), qGreen(pixel), qBlue(pixel));
    return (tone == ShadowTone::Dark ? colour.darker(200) : colour.lighter(200)).rgba();
}

// One composition as its description reads. `previous` is the last result,
// against which logo and text are placed; `extent` the text's last extent.
QImage literalCompose(const QImage &source, const QImage &previous, QRect &extent,
    const StampOptions &o, const QFont &font, const QColor &colour, const QImage &logo,
    Qt::TransformationMode mode)
{
    if (extent.width() == 0 && !o.watermarkText.isEmpty()) {
        QImage scratch = previous.copy();
        scratch.setDotsPerMeterX(3780); // text as on a 96 ppi device
        scratch.setDotsPerMeterY(3780);
        QPainter measure(&scratch);
        measure.setFont(font);
        measure.drawText(QRect(0, 0, 99999, 99999), 0, o.watermarkText, &extent);
    }
    const int W = previous.width(), H = previous.height();
    const int ta = int(o.textAnchor) - 1, la = int(o.logoAnchor) - 1;
    const double lw = logo.width() * o.logoScale, lh = logo.height() * o.logoScale;
    const int textInX[3] = { 0, W / 2 - extent.width() / 2, W - extent.width() };
    const int textInY[3] = { 0, H / 2 - extent.height() / 2, H - extent.height() };
    const double logoInX[3] = { 0, W / 2 - lw * 0.5, W - lw };
    const double logoInY[3] = { 0, H / 2 - lh * 0.5, H - lh };
    const QPoint textPos(textInX[ta % 3] + o.textOffsetX, textInY[ta / 3] + o.textOffsetY);
    const QPoint logoPos(int(logoInX[la % 3] + o.logoOffsetX), int(logoInY[la / 3] + o.logoOffsetY));

    QImage image = source.copy();
    if (o.resizeEnabled)
        image = image.scaled(o.resizeWidth, o.resizeHeight,
            o.keepAspectRatio ? Qt::KeepAspectRatio : Qt::IgnoreAspectRatio, mode);
    for (int k = 0; k < o.shadowHeight && k < image.height() && o.shadowTone != ShadowTone::None
         && o.shadowEdge != ShadowEdge::None;
         ++k) {
        const int y = o.shadowEdge == ShadowEdge::Top ? k : image.height() - 1 - k;
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qcolorShade(image.pixel(x, y), o.shadowTone));
    }
    image.setDotsPerMeterX(3780);
    image.setDotsPerMeterY(3780);
    QPainter painter(&image);
    if (!o.watermarkText.trimmed().isEmpty()) {
        painter.setOpacity(o.textOpacity / 100.0);
        painter.setPen(colour);
        painter.setFont(font);
        painter.drawText(QRect(textPos, QSize(99999, 99999)), 0, o.watermarkText.trimmed(), &extent);
    }
    painter.setOpacity(o.logoOpacity / 100.0);
    painter.drawImage(logoPos,
        logo.scaled(int(logo.width() * o.logoScale), int(logo.height() * o.logoScale),
            Qt::KeepAspectRatio, mode));
    return image;
}

} // namespace

class StampEngineTest : public QObject
{
    Q_OBJECT

private slots:
    void barMatchesQColorForEveryColour_data();
    void barMatchesQColorForEveryColour();
    void composeMatchesLiteralCompositor_data();
    void composeMatchesLiteralCompositor();
    void proportionalKeepsItsShare_data();
    void proportionalKeepsItsShare();
    void proportionalFitsInside();
    void onlyShrinkKeepsSmallPictures();
    void placesAloneAreAMove();
    void shadowFallsBelowTheText_data();
    void shadowFallsBelowTheText();
    void markRepeatsAcross_data();
    void markRepeatsAcross();
};

void StampEngineTest::barMatchesQColorForEveryColour_data()
{
    QTest::addColumn<ShadowTone>("tone");
    QTest::addColumn<int>("format");
    QTest::newRow("dark") << ShadowTone::Dark << int(QImage::Format_ARGB32);
    QTest::newRow("light") << ShadowTone::Light << int(QImage::Format_ARGB32);
    // Smooth scaling hands back premultiplied pictures, and a resize may give
    // other formats: there the bar does what pixel() and setPixel() do.
    QTest::newRow("dark premultiplied") << ShadowTone::Dark << int(QImage::Format_ARGB32_Premultiplied);
    QTest::newRow("light rgb888") << ShadowTone::Light << int(QImage::Format_RGB888);
}

void StampEngineTest::barMatchesQColorForEveryColour()
{
    QFETCH(ShadowTone, tone);
    QFETCH(int, format);
    // Every RGB colour once, in rows of 4096; the alpha byte varies too, and
    // must make no difference.
    QImage image(4096, 4096, QImage::Format_ARGB32);
    for (quint32 rgb = 0; rgb < (1u << 24); ++rgb)
        image.setPixel(int(rgb & 0xfff), int(rgb >> 12), (rgb * 2654435761u >> 24) << 24 | rgb);
    image = image.convertToFormat(QImage::Format(format));
    QImage expected = image.copy();
    Stamp::applyShadowBar(image, 4095, ShadowEdge::Bottom, tone); // all rows but the first
    int mismatches = 0;
    for (int y = 0; y < 4096; ++y)
        for (int x = 0; x < 4096; ++x) {
            const QRgb before = expected.pixel(x, y);
            if (y > 0)
                expected.setPixel(x, y, qcolorShade(before, tone));
            mismatches += image.pixel(x, y) != expected.pixel(x, y);
        }
    QCOMPARE(mismatches, 0);
}

void StampEngineTest::composeMatchesLiteralCompositor_data()
{
    QTest::addColumn<StampOptions>("options");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<bool>("smooth");
    using A = Anchor;
    const auto bottom = ShadowEdge::Bottom, top = ShadowEdge::Top;
    const auto dark = ShadowTone::Dark, light = ShadowTone::Light;
    // resize: on, width, height, keep aspect; bar: rows, edge, tone; text:
    // words, opacity, anchor, x, y; logo: scale, opacity, anchor, x, y
    // clang-format off
    QTest::newRow("first-run options") << StampOptions { false, 1920, 1920, false, 15, bottom, dark,
        "Tarvelo", 100, A::TopLeft, 0, 0, 1.0, 100, A::TopLeft, 0, 0 } << QColor(Qt::white) << false;
    QTest::newRow("centred, light bar at the top, partial opacity, smooth") << StampOptions { false, 0, 0, false, 15, top, light,
        "Tarvelo", 60, A::Center, 0, 0, 0.75, 35, A::Center, 0, 0 } << QColor(255, 200, 0, 180) << true;
    // The logo is placed by its unrounded size and drawn truncated.
    QTest::newRow("keep-aspect resize, bottom-right margins") << StampOptions { true, 300, 300, true, 15, top, light,
        "Tarvelo", 60, A::BotRight, -10, -10, 0.335, 35, A::BotRight, -10, 0 } << QColor(Qt::black) << false;
    QTest::newRow("stretched, bar over everything, smooth") << StampOptions { true, 700, 90, false, 1000, top, light,
        "  spaced out  ", 60, A::Right, -10, -10, 1.55, 35, A::Bot, -10, 0 } << QColor(20, 40, 250) << true;
    QTest::newRow("blank text, no tone, logo top right") << StampOptions { false, 0, 0, false, 1000, top, ShadowTone::None,
        "   ", 60, A::Right, -10, -10, 1.55, 35, A::TopRight, -5, 0 } << QColor(Qt::red) << false;
    // Neither "Scale with the picture" nor "Only shrink": a reference side stored all the same
    // makes no difference, and the resize still enlarges.
    QTest::newRow("stale reference side, enlarging") << StampOptions { true, 900, 800, false, 40, top, dark,
        "Tarvelo", 80, A::BotRight, -30, -8, 0.75, 90, A::Center, 12, 0, false, 700, false } << QColor(Qt::white) << true;
    // clang-format on
}

void StampEngineTest::composeMatchesLiteralCompositor()
{
    QFETCH(StampOptions, options);
    QFETCH(QColor, colour);
    QFETCH(bool, smooth);
    const auto mode = smooth ? Qt::SmoothTransformation : Qt::FastTransformation;
    const QImage source = photoLike(640, 480, 3, true);
    QImage logo = photoLike(120, 60, 9, true);
    logo.setPixel(100, 30, qRgba(200, 0, 0, 90)); // some partial alpha
    const QFont font(QStringLiteral("DejaVu Sans"), 18);

    // As the window does with a new picture: the first composition is placed
    // against a copy of the source, the second against the first's result.
    QImage literal = source.copy();
    QRect literalExtent;
    Stamp::Composition engine { source.copy(), {}, {}, {}, {}, {} };
    for (int round = 0; round < 2; ++round) {
        literal = literalCompose(source, literal, literalExtent, options, font, colour, logo, mode);
        engine = Stamp::compose(source, engine.image, engine.textExtent, options, font, colour, logo,
            mode, engine.textPos, engine.logoPos);
        QCOMPARE(engine.textExtent, literalExtent);
        QCOMPARE(engine.image.format(), literal.format());
        QCOMPARE(engine.image, literal);
    }
    QVERIFY(engine.image != source);
}

namespace {

// A mid-grey picture of `size`.
QImage grey(QSize size)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(qRgb(128, 128, 128));
    return image;
}

// White text 40 pixels in from the bottom right corner, a red 200 x 100 logo
// 60 pixels in from the top left one and a 54-row bar, on a grey picture of
// `size` whose shorter side of 1080 pixels is the reference.
Stamp::Composition stampGrey(QSize size, const QString &text, double logoScale, int reference,
    bool relative = true, Anchor logoAnchor = Anchor::TopLeft)
{
    const StampOptions options { false, 0, 0, false, 54, ShadowEdge::Top, ShadowTone::Dark, text,
        100, Anchor::BotRight, -40, -40, logoScale, 100, logoAnchor,
        logoAnchor == Anchor::TopLeft ? 60 : -40, logoAnchor == Anchor::TopLeft ? 60 : -40,
        relative, reference, false };
    QImage logo(200, 100, QImage::Format_ARGB32);
    logo.fill(Qt::red);
    return Stamp::composeTwice(grey(size), {}, options, QFont(QStringLiteral("DejaVu Sans"), 36),
        Qt::white, logo, Qt::SmoothTransformation);
}

// The rows the white text inks, and the box of the red logo's pixels.
std::pair<int, QRect> marks(const QImage &image)
{
    int inked = 0;
    QRect logo;
    for (int y = 0; y < image.height(); ++y) {
        bool ink = false;
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            ink |= qBlue(pixel) > 170;
            if (qRed(pixel) > 200 && qGreen(pixel) < 60)
                logo |= QRect(x, y, 1, 1);
        }
        inked += ink;
    }
    return { inked, logo };
}

} // namespace

void StampEngineTest::proportionalKeepsItsShare_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("reference"); // as stored; what no picture can be counts as 1080
    for (const QSize size :
        { QSize(800, 600), QSize(1080, 1920), QSize(4000, 3000), QSize(6000, 4000) })
        QTest::newRow(qPrintable(QStringLiteral("%1x%2").arg(size.width()).arg(size.height())))
            << size << 1080;
    QTest::newRow("0 stored") << QSize(800, 600) << 0;
    QTest::newRow("negative stored") << QSize(1080, 1920) << -5;
    QTest::newRow("absurd stored") << QSize(4000, 3000) << std::numeric_limits<int>::max();
    QTest::newRow("1 x 1") << QSize(1, 1) << 1080;
}

// One setting on pictures of every size and orientation: the text's inked
// height, the logo's width, the bar and the margins are the same share of
// the shorter side as on the reference picture, within 2 %, and inside it.
void StampEngineTest::proportionalKeepsItsShare()
{
    QFETCH(QSize, size);
    QFETCH(int, reference);
    const QString text = QStringLiteral("\u00a9 2024 Ann Example");
    const Stamp::Composition c = stampGrey(size, text, 1.5, reference);
    QCOMPARE(c.image.size(), size);
    if (size.width() < 2)
        return;
    const int referenceInk = marks(stampGrey(QSize(1920, 1080), text, 1.5, 0, false).image).first;
    const auto [inked, logo] = marks(c.image);
    int bar = 0;
    while (qRed(c.image.pixel(size.width() - 1, bar)) < 100)
        ++bar;
    const QRect textBox(c.textPos, c.textExtent.size());
    // measured here, and on the reference picture
    const double shares[][2] = { { double(inked), double(referenceInk) },
        { double(logo.width()), 300 }, { double(logo.left()), 60 }, { double(logo.top()), 60 },
        { double(bar), 54 }, { double(size.width() - textBox.right() - 1), 40 },
        { double(size.height() - textBox.bottom() - 1), 40 } };
    const double shorter = qMin(size.width(), size.height());
    for (const auto &[measured, atReference] : shares)
        QVERIFY2(qAbs(measured / shorter / (atReference / 1080) - 1) <= 0.02,
            qPrintable(QStringLiteral("%1 px where %2 px on 1080").arg(measured).arg(atReference)));
    QVERIFY(c.image.rect().contains(textBox));
}

// Text and logo too wide for the picture at their proportional size are
// made just small enough to fit, their offsets included.
void StampEngineTest::proportionalFitsInside()
{
    for (const QSize size : { QSize(1080, 1920), QSize(60, 90) }) {
        const Stamp::Composition c = stampGrey(size,
            QStringLiteral("\u00a9 2024 Ann Example Photography, all rights reserved"), 8, 1080,
            true, Anchor::BotRight);
        const double room = size.width() - 40 * size.width() / 1080.0;
        const QRect textBox(c.textPos, c.textExtent.size()), logo = marks(c.image).second;
        QVERIFY(c.image.rect().contains(textBox) && textBox.width() > room * 0.9);
        QVERIFY(c.image.rect().contains(logo) && logo.width() > room - 3);
    }
}

// "Only shrink": pictures inside the resize box keep their size and pixels.
void StampEngineTest::onlyShrinkKeepsSmallPictures()
{
    // picture, keeping its proportions, its size in a box of 1920 x 1536
    const std::tuple<QSize, bool, QSize> cases[] = { { QSize(120, 96), true, QSize(120, 96) },
        { QSize(120, 96), false, QSize(120, 96) }, { QSize(4000, 3000), true, QSize(1920, 1440) },
        { QSize(3000, 500), false, QSize(1920, 500) } };
    for (const auto &[size, keepAspect, expected] : cases) {
        const StampOptions options { true, 1920, 1536, keepAspect, 0, ShadowEdge::None,
            ShadowTone::None, QString(), 100, Anchor::TopLeft, 0, 0, 1.0, 100, Anchor::TopLeft, 0,
            0, false, 0, true };
        const QImage source = photoLike(size.width(), size.height(), 3);
        const QImage stamped = Stamp::composeTwice(
            source, {}, options, QFont(), Qt::white, QImage(), Qt::SmoothTransformation)
                                   .image;
        QCOMPARE(stamped.size(), expected);
        QCOMPARE(stamped == source, expected == size);
    }
}

// Options that differ only in anchors and offsets place the same picture
// elsewhere; any other field makes another picture.
void StampEngineTest::placesAloneAreAMove()
{
    using Change = std::function<void(StampOptions &)>;
    // clang-format off
    const std::vector<Change> places { [](StampOptions &o) { o.textAnchor = Anchor::Bot; }, [](StampOptions &o) { o.textOffsetX = 3; },
        [](StampOptions &o) { o.textOffsetY = 3; }, [](StampOptions &o) { o.logoAnchor = Anchor::Center; },
        [](StampOptions &o) { o.logoOffsetX = 3; }, [](StampOptions &o) { o.logoOffsetY = 3; } };
    const std::vector<Change> looks { [](StampOptions &o) { o.resizeEnabled = true; }, [](StampOptions &o) { o.resizeWidth = 3; },
        [](StampOptions &o) { o.resizeHeight = 3; }, [](StampOptions &o) { o.keepAspectRatio = true; }, [](StampOptions &o) { o.shadowHeight = 3; },
        [](StampOptions &o) { o.shadowEdge = ShadowEdge::Top; }, [](StampOptions &o) { o.shadowTone = ShadowTone::Light; },
        [](StampOptions &o) { o.watermarkText = "x"; }, [](StampOptions &o) { o.textOpacity = 3; }, [](StampOptions &o) { o.logoScale = 3; },
        [](StampOptions &o) { o.logoOpacity = 3; }, [](StampOptions &o) { o.relative = true; }, [](StampOptions &o) { o.relativeRef = 3; },
        [](StampOptions &o) { o.shrinkOnly = true; } };
    // clang-format on
    for (const auto &[changes, place] : { std::pair { &places, true }, std::pair { &looks, false } })
        for (const Change &change : *changes) {
            StampOptions other;
            change(other);
            QVERIFY(other != StampOptions());
            QCOMPARE(Stamp::samePlacementInputs(other, StampOptions()), place);
        }
}

namespace {

// How much darker than mid grey each pixel is, summed, and where that lies
// on average; or with `light`, how much lighter.
std::pair<double, QPointF> weighed(const QImage &image, bool light)
{
    double total = 0, x = 0, y = 0;
    for (int row = 0; row < image.height(); ++row)
        for (int column = 0; column < image.width(); ++column) {
            const int red = qRed(image.pixel(column, row));
            const double weight = qMax(0, light ? red - 128 : 128 - red);
            total += weight;
            x += weight * column;
            y += weight * row;
        }
    return { total, total > 0 ? QPointF(x / total, y / total) : QPointF() };
}

} // namespace

void StampEngineTest::shadowFallsBelowTheText_data()
{
    QTest::addColumn<int>("points");
    QTest::addColumn<int>("opacity");
    QTest::newRow("18 pt") << 18 << 100;
    QTest::newRow("48 pt") << 48 << 100;
    QTest::newRow("48 pt, half opaque") << 48 << 50;
    QTest::newRow("48 pt, transparent") << 48 << 0;
}

// The shadow is the glyphs' darkness moved down and right by its offset,
// which grows with the text, as dark as the text is opaque; and the
// compositor draws it under the text only when asked to.
void StampEngineTest::shadowFallsBelowTheText()
{
    QFETCH(int, points);
    QFETCH(int, opacity);
    const QFont font(QStringLiteral("DejaVu Sans"), points);
    const QString text = QStringLiteral("Tarvelo 2024");
    QImage ink = grey(QSize(700, 200)), shadow = ink, full = ink;
    const QRect extent = Stamp::drawText(ink, text, QPoint(30, 40), 100, font, Qt::white);
    Stamp::drawTextShadow(shadow, text, QPoint(30, 40), opacity, font);
    Stamp::drawTextShadow(full, text, QPoint(30, 40), 100, font);
    const auto [inked, glyphs] = weighed(ink, true);
    const auto [darkened, fallen] = weighed(shadow, false);
    QVERIFY(qAbs(darkened - weighed(full, false).first * opacity / 100) <= darkened * 0.02);
    if (opacity == 0)
        QCOMPARE(shadow, grey(shadow.size()));
    else {
        const int offset = Stamp::shadowGeometry(extent.height()).offset;
        QVERIFY(offset >= extent.height() / 20 && offset >= 1);
        const QPointF moved = fallen - glyphs - QPointF(offset, offset);
        QVERIFY(qAbs(moved.x()) < 0.6 && qAbs(moved.y()) < 0.6);
        // Soft: as much darkness as the glyphs' coverage, at most 80 % dark.
        QVERIFY(qAbs(darkened / (inked / 127.0 * 128 * 0.8 * opacity / 100) - 1) < 0.05);
    }
    StampOptions options;
    options.watermarkText = text;
    options.textOpacity = opacity;
    const auto stamped = [&](bool shadow) {
        options.textShadow = shadow;
        return Stamp::composeTwice(ink, {}, options, font, Qt::white, QImage(), Qt::FastTransformation).image;
    };
    QCOMPARE(stamped(true) == stamped(false), opacity == 0);
}

void StampEngineTest::markRepeatsAcross_data()
{
    QTest::addColumn<QPoint>("placed");
    QTest::addColumn<int>("opacity");
    QTest::newRow("top left") << QPoint(0, 0) << 100;
    QTest::newRow("moved by anchor and offset") << QPoint(317, 201) << 100;
    QTest::newRow("a third opaque") << QPoint(100, 100) << 33;
}

// One 40 x 20 red mark where it would be alone, the next ones along its row
// and in the staggered row below 60 and 40 pixels on in a grid turned 30
// degrees counter-clockwise, a gap where the stagger leaves one, and marks
// in every part of the picture, all at the mark's opacity.
void StampEngineTest::markRepeatsAcross()
{
    QFETCH(QPoint, placed);
    QFETCH(int, opacity);
    QImage picture = grey(QSize(640, 480)), mark(40, 20, QImage::Format_ARGB32);
    mark.fill(Qt::red);
    Stamp::tileAcross(picture, mark, placed, opacity);
    const QPointF centre = placed + QPointF(20, 10);
    const QRgb red = qRgb(128 + 127 * opacity / 100, 128 - 128 * opacity / 100, 128 - 128 * opacity / 100);
    const auto at = [&](QPointF along) {
        const QPoint p = (centre + along).toPoint();
        return picture.rect().contains(p) ? picture.pixel(p) : red;
    };
    const auto near = [](QRgb a, QRgb b) { return qAbs(qRed(a) - qRed(b)) + qAbs(qGreen(a) - qGreen(b)) <= 4; };
    const double c = std::cos(M_PI / 6), s = std::sin(M_PI / 6);
    for (const QPointF along : { QPointF(0, 0), QPointF(60 * c, -60 * s), QPointF(-60 * c, 60 * s),
             QPointF(30 * c + 40 * s, -30 * s + 40 * c) })
        QVERIFY(near(at(along), red));
    QVERIFY(near(at(QPointF(40 * s, 40 * c)), qRgb(128, 128, 128)));
    for (int y = 0; y < 480; y += 120)
        for (int x = 0; x < 640; x += 160)
            QVERIFY(weighed(picture.copy(x, y, 160, 120), true).first > 0);

    // Text and logo both, by the compositor: the logo's marks reach the far
    // corner.
    StampOptions options;
    options.watermarkText = QStringLiteral("Tarvelo");
    const auto corner = [&](bool tile) {
        options.tile = tile;
        return Stamp::composeTwice(grey(QSize(640, 480)), {}, options, QFont(), Qt::white, mark,
            Qt::SmoothTransformation).image.copy(480, 300, 160, 160);
    };
    QVERIFY(corner(true) != corner(false));
}

TARVELO_TEST_MAIN(StampEngineTest)
#include "tst_stampengine.moc"
