// The stamping engine on its own: the shadow bar against QColor for every
// colour, and whole compositions against a literal compositor written here
// from the description of the steps, sharing no code with the engine.

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
    void placesAloneAreAMove();
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

// Options that differ only in anchors and offsets place the same picture
// elsewhere; any other field makes another picture.
void StampEngineTest::placesAloneAreAMove()
{
    using Change = std::function<void(StampOptions &)>;
    const std::vector<Change> places { [](StampOptions &o) { o.textAnchor = Anchor::Bot; },
        [](StampOptions &o) { o.textOffsetX = 3; }, [](StampOptions &o) { o.textOffsetY = 3; },
        [](StampOptions &o) { o.logoAnchor = Anchor::Center; },
        [](StampOptions &o) { o.logoOffsetX = 3; }, [](StampOptions &o) { o.logoOffsetY = 3; } };
    const std::vector<Change> looks { [](StampOptions &o) { o.resizeEnabled = true; },
        [](StampOptions &o) { o.resizeWidth = 3; }, [](StampOptions &o) { o.resizeHeight = 3; },
        [](StampOptions &o) { o.keepAspectRatio = true; }, [](StampOptions &o) { o.shadowHeight = 3; },
        [](StampOptions &o) { o.shadowEdge = ShadowEdge::Top; },
        [](StampOptions &o) { o.shadowTone = ShadowTone::Light; },
        [](StampOptions &o) { o.watermarkText = "x"; }, [](StampOptions &o) { o.textOpacity = 3; },
        [](StampOptions &o) { o.logoScale = 3; }, [](StampOptions &o) { o.logoOpacity = 3; } };
    for (const auto &[changes, place] : { std::pair { &places, true }, std::pair { &looks, false } })
        for (const Change &change : *changes) {
            StampOptions other;
            change(other);
            QVERIFY(other != StampOptions());
            QCOMPARE(Stamp::samePlacementInputs(other, StampOptions()), place);
        }
}

TARVELO_TEST_MAIN(StampEngineTest)
#include "tst_stampengine.moc"
