// The stamping engine on its own: the shadow bar against QColor for every
// colour, and whole compositions against a literal compositor written here
// from the description of the steps, sharing no code with the engine.

#include "batch/storedoptions.h"
#include "engine/stampengine.h"
#include "testsupport.h"

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
    void bothOffStampAsBefore_data();
    void bothOffStampAsBefore();
    void proportionalKeepsItsShare_data();
    void proportionalKeepsItsShare();
    void proportionalFitsInside_data();
    void proportionalFitsInside();
    void badReferenceCountsAs1080_data();
    void badReferenceCountsAs1080();
    void onlyShrinkKeepsSmallPictures_data();
    void onlyShrinkKeepsSmallPictures();
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
    Stamp::Composition engine { source.copy(), {}, {}, {} };
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

StampOptions fromStore(const QVariantMap &stored)
{
    return StoredOptions::resolve([&](const StoredOptions::Option &option) {
        return stored.value(QLatin1String(option.key));
    }).stamp;
}

// A grey picture, a solid red 200 x 100 logo and white text: each is told
// apart by its colour. On a picture with a shorter side of 1080 the stamp
// has a 54-row bar, the text 40 pixels in from the bottom right corner and
// the logo 60 pixels from the top left one.
const QString longText = QStringLiteral("\u00a9 2024 Ann Example Photography");
StampOptions proportionalStamp(const QString &text, double logoScale)
{
    return StampOptions { false, 0, 0, false, 54, ShadowEdge::Top, ShadowTone::Dark, text, 100,
        Anchor::BotRight, -40, -40, logoScale, 100, Anchor::TopLeft, 60, 60, true, 1080, false };
}

Stamp::Composition stampGrey(QSize size, const StampOptions &options, const QFont &font)
{
    QImage grey(size, QImage::Format_ARGB32);
    grey.fill(qRgb(128, 128, 128));
    QImage logo(200, 100, QImage::Format_ARGB32);
    logo.fill(Qt::red);
    return Stamp::composeTwice(grey, {}, options, font, Qt::white, logo, Qt::SmoothTransformation);
}

bool isRed(QRgb pixel)
{
    return qRed(pixel) > 200 && qGreen(pixel) < 60;
}

// The red logo: from its first pixel in `row`, how far it goes right and up.
QRect redLogo(const QImage &image, int row)
{
    int left = 0;
    while (left < image.width() && !isRed(image.pixel(left, row)))
        ++left;
    int right = left, top = row;
    while (right < image.width() && isRed(image.pixel(right, row)))
        ++right;
    while (left < image.width() && top > 0 && isRed(image.pixel(left, top - 1)))
        --top;
    return QRect(left, top, right - left, row - top + 1);
}

// The rows the white text inks (the grey, the bar and the red logo have
// little blue).
int inkedRows(const QImage &image)
{
    int rows = 0;
    for (int y = 0; y < image.height(); ++y) {
        int x = 0;
        while (x < image.width() && qBlue(image.pixel(x, y)) < 170)
            ++x;
        rows += x < image.width();
    }
    return rows;
}

} // namespace

// Every stored file of before keeps its pixels: with both boxes off the
// stamp is the one the description gives, whatever reference side is stored.
void StampEngineTest::bothOffStampAsBefore_data()
{
    QTest::addColumn<QVariantMap>("stored");
    QTest::newRow("first run") << QVariantMap();
    QTest::newRow("stale reference") << QVariantMap { { "relative_ref", 700 },
        { "txt_botright_btn", true }, { "txt_x_spin", -30 }, { "logo_center_btn", true },
        { "scale_spin", 0.75 }, { "shadow_spin", 40 }, { "resize_check", false } };
    QTest::newRow("small picture enlarged") << QVariantMap { { "relative_ref", -3 },
        { "relative_check", false }, { "shrink_check", false }, { "resize_check", true },
        { "width_spin", 800 }, { "height_spin", 700 }, { "aspect_check", false } };
}

void StampEngineTest::bothOffStampAsBefore()
{
    QFETCH(QVariantMap, stored);
    stored.insert("wtrmark_edit", longText);
    const StampOptions options = fromStore(stored);
    const QImage source = photoLike(640, 480, 5, true);
    const QImage logo = photoLike(120, 60, 9, true);
    const QFont font(QStringLiteral("DejaVu Sans"), 18);
    QImage literal = source.copy();
    QRect extent;
    for (int round = 0; round < 2; ++round)
        literal = literalCompose(
            source, literal, extent, options, font, Qt::white, logo, Qt::SmoothTransformation);
    const Stamp::Composition engine
        = Stamp::composeTwice(source, {}, options, font, Qt::white, logo, Qt::SmoothTransformation);
    QCOMPARE(engine.image, literal);
}

void StampEngineTest::proportionalKeepsItsShare_data()
{
    QTest::addColumn<QSize>("size");
    for (const QSize size : { QSize(800, 600), QSize(1080, 1920), QSize(4000, 3000),
             QSize(6000, 4000), QSize(1920, 1080) })
        QTest::newRow(qPrintable(QStringLiteral("%1x%2").arg(size.width()).arg(size.height())))
            << size;
}

// One setting on pictures of every size and orientation: text height, logo
// width, bar and margins are the same share of the shorter side as on the
// reference picture (drawn there as plain pixels), within 2 %.
void StampEngineTest::proportionalKeepsItsShare()
{
    QFETCH(QSize, size);
    const QFont font(QStringLiteral("DejaVu Sans"), 36);
    StampOptions options = proportionalStamp(QStringLiteral("\u00a9 2024 Ann Example"), 1.5);
    options.relative = false;
    const double referenceInk = inkedRows(stampGrey(QSize(1920, 1080), options, font).image);
    options.relative = true;
    const Stamp::Composition c = stampGrey(size, options, font);
    const QImage &image = c.image;
    QCOMPARE(image.size(), size);

    const QRect logo = redLogo(image, c.logoPos.y() + 2);
    int bar = 0;
    while (qRed(image.pixel(image.width() - 1, bar)) < 100)
        ++bar;
    const QRect text(c.textPos, c.textExtent.size());
    // measured here, and on a picture with a shorter side of 1080
    const double shares[][2] = { { double(inkedRows(image)), referenceInk },
        { double(logo.width()), 300 }, { double(logo.left()), 60 }, { double(logo.top()), 60 },
        { double(bar), 54 }, { double(size.width() - text.right() - 1), 40 },
        { double(size.height() - text.bottom() - 1), 40 } };
    const double shorter = qMin(size.width(), size.height());
    for (const auto &[measured, atReference] : shares)
        QVERIFY2(qAbs(measured / shorter / (atReference / 1080) - 1) <= 0.02,
            qPrintable(QStringLiteral("%1 px where %2 px on 1080").arg(measured).arg(atReference)));
    QVERIFY(image.rect().contains(text));
}

void StampEngineTest::proportionalFitsInside_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("anchor");
    QTest::newRow("portrait, bottom right") << QSize(1080, 1920) << int(Anchor::BotRight);
    QTest::newRow("narrow, centred") << QSize(700, 1200) << int(Anchor::Center);
    QTest::newRow("tiny") << QSize(60, 90) << int(Anchor::BotLeft);
}

// Text and logo wider than the picture at their proportional size are made
// just small enough to fit, their offsets included.
void StampEngineTest::proportionalFitsInside()
{
    QFETCH(QSize, size);
    QFETCH(int, anchor);
    StampOptions options = proportionalStamp(longText, 8); // both about 1500 px wide
    options.textAnchor = options.logoAnchor = Anchor(anchor);
    options.textOffsetX = options.logoOffsetX = anchor == int(Anchor::BotLeft) ? 40 : -40;
    const Stamp::Composition c = stampGrey(size, options, QFont(QStringLiteral("DejaVu Sans"), 48));
    const double room = size.width() - 80 * qMin(size.width(), size.height()) / 1080.0;
    const QRect text(c.textPos, c.textExtent.size());
    QVERIFY(c.image.rect().contains(text));
    QVERIFY(text.width() > room * 0.9);
    const QRect logo = redLogo(c.image, c.logoPos.y() + 1);
    QVERIFY(logo.left() >= 0 && logo.right() < size.width());
    QVERIFY2(logo.width() > room - 3, qPrintable(QString::number(logo.width())));
}

void StampEngineTest::badReferenceCountsAs1080_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QSize>("size");
    QTest::newRow("0") << QVariant(0) << QSize(800, 600);
    QTest::newRow("negative") << QVariant(-5) << QSize(800, 600);
    QTest::newRow("absurd") << QVariant(2147483647) << QSize(600, 800);
    QTest::newRow("not a number") << QVariant("a lot") << QSize(800, 600);
    QTest::newRow("1 x 1 picture") << QVariant(0) << QSize(1, 1);
}

void StampEngineTest::badReferenceCountsAs1080()
{
    QFETCH(QVariant, stored);
    QFETCH(QSize, size);
    QVariantMap store { { "relative_check", true }, { "relative_ref", stored },
        { "wtrmark_edit", longText }, { "txt_center_btn", true }, { "shadow_spin", 30 },
        { "resize_check", false } };
    const QFont font(QStringLiteral("DejaVu Sans"), 30);
    const Stamp::Composition bad = stampGrey(size, fromStore(store), font);
    store["relative_ref"] = 1080;
    const Stamp::Composition good = stampGrey(size, fromStore(store), font);
    QCOMPARE(bad.image.size(), size);
    QCOMPARE(bad.image, good.image);
}

void StampEngineTest::onlyShrinkKeepsSmallPictures_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("keepAspect");
    QTest::addColumn<bool>("shrinkOnly");
    QTest::addColumn<QSize>("expected");
    QTest::newRow("small, kept") << QSize(120, 96) << true << true << QSize(120, 96);
    QTest::newRow("small, stretched, kept") << QSize(120, 96) << false << true << QSize(120, 96);
    QTest::newRow("small, enlarged without it")
        << QSize(120, 96) << true << false << QSize(1920, 1536);
    QTest::newRow("large, shrunk") << QSize(4000, 3000) << true << true << QSize(1920, 1440);
    QTest::newRow("wide, stretched: only the width comes down")
        << QSize(3000, 500) << false << true << QSize(1920, 500);
}

void StampEngineTest::onlyShrinkKeepsSmallPictures()
{
    QFETCH(QSize, size);
    QFETCH(bool, keepAspect);
    QFETCH(bool, shrinkOnly);
    QFETCH(QSize, expected);
    const StampOptions options { true, 1920, 1536, keepAspect, 0, ShadowEdge::None,
        ShadowTone::None, QString(), 100, Anchor::TopLeft, 0, 0, 1.0, 100, Anchor::TopLeft, 0, 0,
        false, 0, shrinkOnly };
    const QImage source = photoLike(size.width(), size.height(), 3);
    const QImage stamped = Stamp::composeTwice(
        source, {}, options, QFont(), Qt::white, QImage(), Qt::SmoothTransformation)
                               .image;
    QCOMPARE(stamped.size(), expected);
    if (expected == size)
        QCOMPARE(stamped, source);
}

TARVELO_TEST_MAIN(StampEngineTest)
#include "tst_stampengine.moc"
