// The stamping engine on its own: placement arithmetic, the shadow bar (all
// 2^24 colours against QColor), resize, text, logo, and whole compositions
// compared pixel for pixel with a straightforward implementation written here
// from the description of the compositor.

#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>

#include <array>

#include "stampengine.h"
#include "testsupport.h"

Q_DECLARE_METATYPE(Anchor)
Q_DECLARE_METATYPE(ShadowEdge)
Q_DECLARE_METATYPE(ShadowTone)
Q_DECLARE_METATYPE(QImage::Format)
Q_DECLARE_METATYPE(StampOptions)

namespace {

// A picture with smooth colour ramps, noise and a transparent corner, so that
// every channel order, many hues and the alpha handling get exercised.
QImage testPicture(int width, int height, quint32 seed = 1)
{
    QRandomGenerator random(seed);
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int r = (x * 255 / qMax(1, width - 1) + int(random.bounded(9))) % 256;
            const int g = (y * 255 / qMax(1, height - 1) + int(random.bounded(9))) % 256;
            const int b = ((x + y) * 3 + int(random.bounded(9))) % 256;
            const int a = (x < width / 8 && y < height / 8) ? int(random.bounded(256)) : 255;
            image.setPixel(x, y, qRgba(r, g, b, a));
        }
    }
    return image;
}

// A logo with a soft alpha edge and a solid middle.
QImage testLogo(int width, int height)
{
    QImage logo(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int edge = qMin(qMin(x, width - 1 - x), qMin(y, height - 1 - y));
            logo.setPixel(x, y, qRgba(30 + x % 200, 220 - y % 200, 90, qMin(255, 40 + edge * 20)));
        }
    }
    return logo;
}

QImage solid(int width, int height, QRgb colour, QImage::Format format = QImage::Format_ARGB32)
{
    QImage image(width, height, format);
    image.fill(colour);
    return image;
}

QFont testFont()
{
    return QFont(QStringLiteral("DejaVu Sans"), 18);
}

QRgb qcolorShade(QRgb pixel, ShadowTone tone)
{
    QColor colour(qRed(pixel), qGreen(pixel), qBlue(pixel));
    colour = tone == ShadowTone::Dark ? colour.darker(200) : colour.lighter(200);
    return colour.rgba();
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

    void compose(const StampOptions &o, const QFont &textFont, const QColor &textColor,
        const QImage &logoImage, Qt::TransformationMode transformMode)
    {
        // 1. placement, against the previous result
        if (!stampedImage.isNull()) {
            if (textExtent.width() == 0 && !o.watermarkText.isEmpty()) {
                QImage scratch = stampedImage.copy();
                QPainter painter(&scratch);
                painter.setPen(textColor);
                painter.setFont(textFont);
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
        auto rule = [&](int x, int y) {
            const QRgb p = stampedImage.pixel(x, y);
            QColor c(qRed(p), qGreen(p), qBlue(p));
            if (o.shadowTone == ShadowTone::Dark)
                c = c.darker(200);
            else if (o.shadowTone == ShadowTone::Light)
                c = c.lighter(200);
            else
                return;
            stampedImage.setPixel(x, y, c.rgba());
        };
        if (o.shadowEdge == ShadowEdge::Top) {
            for (int y = 0; y < o.shadowHeight && y < stampedImage.height(); ++y)
                for (int x = 0; x < stampedImage.width(); ++x)
                    rule(x, y);
        } else if (o.shadowEdge == ShadowEdge::Bottom) {
            for (int k = 1; k <= o.shadowHeight; ++k) {
                const int y = stampedImage.height() - k;
                if (y < 0)
                    continue;
                for (int x = 0; x < stampedImage.width(); ++x)
                    rule(x, y);
            }
        }
        // 5. text
        const QString trimmed = o.watermarkText.trimmed();
        if (!stampedImage.isNull() && !trimmed.isEmpty()) {
            QPainter painter(&stampedImage);
            painter.setOpacity(o.textOpacity / 100.0);
            painter.setPen(textColor);
            painter.setFont(textFont);
            painter.drawText(QRect(textPos, QPoint(textPos.x() + 99998, textPos.y() + 99998)), 0,
                trimmed, &textExtent);
            painter.end();
        }
        // 6. logo
        if (!stampedImage.isNull() && !logoImage.isNull()) {
            QPainter painter(&stampedImage);
            painter.setOpacity(o.logoOpacity / 100.0);
            const QImage scaled = logoImage.scaled(int(logoImage.width() * o.logoScale),
                int(logoImage.height() * o.logoScale), Qt::KeepAspectRatio, transformMode);
            painter.drawImage(logoPos, scaled);
            painter.end();
        }
    }
};

int differingPixels(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return -1;
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            count += a.pixel(x, y) != b.pixel(x, y);
    return count;
}

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
    void placeKeepsStateWithoutPicture();

    void barRows_data();
    void barRows();
    void barPixelsComeOutOpaque_data();
    void barPixelsComeOutOpaque();
    void barWhiteAndBlack();
    void barMatchesQColorForEveryColour_data();
    void barMatchesQColorForEveryColour();
    void barOnOtherFormatsReadsAndWritesLikePixelAndSetPixel_data();
    void barOnOtherFormatsReadsAndWritesLikePixelAndSetPixel();

    void resizeSizes_data();
    void resizeSizes();

    void blankTextDrawsNothing();
    void paddedTextIsDrawnTrimmed();
    void logoDrawnAtTruncatedScaledSize();
    void tinyLogoIsNotDrawn();

    void composeMatchesLiteralImplementation_data();
    void composeMatchesLiteralImplementation();
    void secondCompositionPlacesByFirstResult();

    void nullInputsAndFarOffsetsDoNotCrash();
};

void StampEngineTest::anchorFromChecked_data()
{
    QTest::addColumn<QList<int>>("checked");
    QTest::addColumn<Anchor>("expected");
    QTest::newRow("none") << QList<int>() << Anchor::TopLeft;
    const Anchor all[9] = { Anchor::TopLeft, Anchor::Top, Anchor::TopRight, Anchor::Left,
        Anchor::Center, Anchor::Right, Anchor::BotLeft, Anchor::Bot, Anchor::BotRight };
    for (int i = 0; i < 9; ++i)
        QTest::addRow("only %d", i + 1) << QList<int> { i } << all[i];
    QTest::newRow("first of two wins") << QList<int> { 8, 4 } << Anchor::Center;
}

void StampEngineTest::anchorFromChecked()
{
    QFETCH(QList<int>, checked);
    QFETCH(Anchor, expected);
    std::array<bool, 9> states {};
    for (int i : checked)
        states[static_cast<size_t>(i)] = true;
    QCOMPARE(Stamp::anchorFromChecked(states), expected);
}

void StampEngineTest::textPosition_data()
{
    QTest::addColumn<Anchor>("anchor");
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("text");
    QTest::addColumn<QPoint>("offset");
    QTest::addColumn<QPoint>("expected");
    const QSize picture(1000, 800), text(200, 30);
    QTest::newRow("topleft") << Anchor::TopLeft << picture << text << QPoint() << QPoint(0, 0);
    QTest::newRow("top") << Anchor::Top << picture << text << QPoint() << QPoint(400, 0);
    QTest::newRow("topright") << Anchor::TopRight << picture << text << QPoint() << QPoint(800, 0);
    QTest::newRow("left") << Anchor::Left << picture << text << QPoint() << QPoint(0, 385);
    QTest::newRow("center") << Anchor::Center << picture << text << QPoint() << QPoint(400, 385);
    QTest::newRow("right") << Anchor::Right << picture << text << QPoint() << QPoint(800, 385);
    QTest::newRow("botleft") << Anchor::BotLeft << picture << text << QPoint() << QPoint(0, 770);
    QTest::newRow("bot") << Anchor::Bot << picture << text << QPoint() << QPoint(400, 770);
    QTest::newRow("botright") << Anchor::BotRight << picture << text << QPoint()
                              << QPoint(800, 770);
    QTest::newRow("halves term by term")
        << Anchor::Top << QSize(101, 50) << QSize(11, 10) << QPoint() << QPoint(45, 0);
    // 100 / 2 - 11 / 2 = 45 where (100 - 11) / 2 would give 44.
    QTest::newRow("halves are not the half difference")
        << Anchor::Center << QSize(100, 100) << QSize(11, 31) << QPoint() << QPoint(45, 35);
    QTest::newRow("offsets move right and down at topleft")
        << Anchor::TopLeft << picture << text << QPoint(7, 9) << QPoint(7, 9);
    QTest::newRow("negative offsets keep a margin at botright")
        << Anchor::BotRight << picture << text << QPoint(-10, -10) << QPoint(790, 760);
    QTest::newRow("positive offsets push past botright")
        << Anchor::BotRight << picture << text << QPoint(10, 10) << QPoint(810, 780);
    QTest::newRow("far outside") << Anchor::Center << picture << text << QPoint(-9999, 9999)
                                 << QPoint(400 - 9999, 385 + 9999);
    QTest::newRow("no extent yet")
        << Anchor::BotRight << picture << QSize(0, 0) << QPoint() << QPoint(1000, 800);
}

void StampEngineTest::textPosition()
{
    QFETCH(Anchor, anchor);
    QFETCH(QSize, picture);
    QFETCH(QSize, text);
    QFETCH(QPoint, offset);
    QFETCH(QPoint, expected);
    QCOMPARE(Stamp::textPosition(anchor, picture, text, offset), expected);
}

void StampEngineTest::logoPosition_data()
{
    QTest::addColumn<Anchor>("anchor");
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("logo");
    QTest::addColumn<double>("scale");
    QTest::addColumn<QPoint>("offset");
    QTest::addColumn<QPoint>("expected");
    const QSize picture(1000, 800);
    QTest::newRow("centre at 1.5")
        << Anchor::Center << picture << QSize(100, 50) << 1.5 << QPoint() << QPoint(425, 362);
    QTest::newRow("topleft ignores size")
        << Anchor::TopLeft << picture << QSize(100, 50) << 3.0 << QPoint(4, 5) << QPoint(4, 5);
    QTest::newRow("botright margin") << Anchor::BotRight << picture << QSize(100, 50) << 1.0
                                     << QPoint(-10, -10) << QPoint(890, 740);
    QTest::newRow("botright pushed out") << Anchor::BotRight << picture << QSize(100, 50) << 1.0
                                         << QPoint(10, 10) << QPoint(910, 760);
    // The unrounded 33.5 pixels count: 1000 - 33.5 = 966.5 -> 966 and
    // 400 - 16.75 = 383.25 -> 383, where the drawn 33 pixels would give 967
    // and 384.
    QTest::newRow("fractional scaled size")
        << Anchor::Right << picture << QSize(100, 100) << 0.335 << QPoint() << QPoint(966, 383);
    // Truncation goes towards zero, also below zero: -50.5 -> -50.
    QTest::newRow("truncates towards zero") << Anchor::Center << picture << QSize(101, 101) << 1.0
                                            << QPoint(-500, -400) << QPoint(-50, -50);
    QTest::newRow("no logo is the anchor point")
        << Anchor::Bot << picture << QSize(0, 0) << 1.0 << QPoint(3, -3) << QPoint(503, 797);
    QTest::newRow("far outside") << Anchor::TopRight << picture << QSize(10, 10) << 1.0
                                 << QPoint(999999, -99999) << QPoint(1000989, -99999);
}

void StampEngineTest::logoPosition()
{
    QFETCH(Anchor, anchor);
    QFETCH(QSize, picture);
    QFETCH(QSize, logo);
    QFETCH(double, scale);
    QFETCH(QPoint, offset);
    QFETCH(QPoint, expected);
    QCOMPARE(Stamp::logoPosition(anchor, picture, logo, scale, offset), expected);
}

void StampEngineTest::placeMeasuresOnlyWithoutExtent()
{
    const QImage picture = solid(640, 480, 0xff204060);
    StampOptions options;
    options.watermarkText = QStringLiteral("  Measure me ");
    options.textAnchor = Anchor::BotRight;
    const QFont font = testFont();

    // The raw text, spaces included, measured on a copy of the picture.
    QImage scratch = picture.copy();
    QPainter painter(&scratch);
    painter.setPen(Qt::white);
    painter.setFont(font);
    QRect expected;
    painter.drawText(QRect(0, 0, 99999, 99999), 0, options.watermarkText, &expected);
    painter.end();
    QVERIFY(expected.width() > 0);

    const Stamp::Placement first
        = Stamp::place(picture, Stamp::Placement(), options, font, Qt::white, QSize());
    QCOMPARE(first.textExtent, expected);
    QCOMPARE(first.textPos, QPoint(640 - expected.width(), 480 - expected.height()));
    QCOMPARE(Stamp::measureText(picture, options.watermarkText, font, Qt::white), expected);

    // Once there is an extent, a different text does not renew it.
    options.watermarkText = QStringLiteral("W");
    const Stamp::Placement second = Stamp::place(picture, first, options, font, Qt::white, QSize());
    QCOMPARE(second.textExtent, expected);

    // An empty text is not measured: the extent stays null and the text is
    // placed as if it had no size.
    options.watermarkText.clear();
    const Stamp::Placement empty
        = Stamp::place(picture, Stamp::Placement(), options, font, Qt::white, QSize());
    QVERIFY(empty.textExtent.isNull());
    QCOMPARE(empty.textPos, QPoint(640, 480));
}

void StampEngineTest::placeKeepsStateWithoutPicture()
{
    const Stamp::Placement current { QPoint(11, 22), QPoint(33, 44), QRect(1, 2, 3, 4) };
    StampOptions options;
    options.textAnchor = Anchor::Center;
    options.logoAnchor = Anchor::BotRight;
    const Stamp::Placement next
        = Stamp::place(QImage(), current, options, testFont(), Qt::white, QSize(50, 50));
    QCOMPARE(next.textPos, current.textPos);
    QCOMPARE(next.logoPos, current.logoPos);
    QCOMPARE(next.textExtent, current.textExtent);
}

void StampEngineTest::barRows_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("rows");
    QTest::addColumn<ShadowEdge>("edge");
    QTest::addColumn<ShadowTone>("tone");
    QTest::addColumn<int>("firstChanged");
    QTest::addColumn<int>("lastChanged"); // -1 for none

    QTest::newRow("bottom 12 of 100")
        << 100 << 12 << ShadowEdge::Bottom << ShadowTone::Dark << 88 << 99;
    QTest::newRow("top 12 of 100") << 100 << 12 << ShadowEdge::Top << ShadowTone::Dark << 0 << 11;
    QTest::newRow("light bottom") << 100 << 12 << ShadowEdge::Bottom << ShadowTone::Light << 88
                                  << 99;
    QTest::newRow("bottom taller than picture")
        << 30 << 1000 << ShadowEdge::Bottom << ShadowTone::Dark << 0 << 29;
    QTest::newRow("top taller than picture")
        << 30 << 31 << ShadowEdge::Top << ShadowTone::Light << 0 << 29;
    QTest::newRow("one row") << 30 << 1 << ShadowEdge::Bottom << ShadowTone::Dark << 29 << 29;
    QTest::newRow("zero rows") << 30 << 0 << ShadowEdge::Top << ShadowTone::Dark << 0 << -1;
    QTest::newRow("no edge") << 30 << 12 << ShadowEdge::None << ShadowTone::Dark << 0 << -1;
    QTest::newRow("no tone") << 30 << 12 << ShadowEdge::Bottom << ShadowTone::None << 0 << -1;
}

void StampEngineTest::barRows()
{
    QFETCH(int, height);
    QFETCH(int, rows);
    QFETCH(ShadowEdge, edge);
    QFETCH(ShadowTone, tone);
    QFETCH(int, firstChanged);
    QFETCH(int, lastChanged);

    const QImage before = testPicture(37, height);
    QImage image = before;
    Stamp::applyShadowBar(image, rows, edge, tone);
    QCOMPARE(image.size(), before.size());
    for (int y = 0; y < height; ++y) {
        const bool inBar = y >= firstChanged && y <= lastChanged;
        for (int x = 0; x < image.width(); ++x) {
            const QRgb expected
                = inBar ? qcolorShade(before.pixel(x, y), tone) : before.pixel(x, y);
            if (image.pixel(x, y) != expected)
                QFAIL(qPrintable(QStringLiteral("pixel (%1, %2) is %3, expected %4")
                                     .arg(x)
                                     .arg(y)
                                     .arg(image.pixel(x, y), 8, 16)
                                     .arg(expected, 8, 16)));
        }
    }
}

void StampEngineTest::barPixelsComeOutOpaque_data()
{
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<QRgb>("stored");
    QTest::addColumn<ShadowTone>("tone");
    // In ARGB32 the stored colour channels are used as they are, whatever the
    // alpha; in the premultiplied format the stored (premultiplied) ones.
    QTest::newRow("transparent dark")
        << QImage::Format_ARGB32 << qRgba(200, 120, 40, 0) << ShadowTone::Dark;
    QTest::newRow("half transparent light")
        << QImage::Format_ARGB32 << qRgba(20, 120, 90, 128) << ShadowTone::Light;
    QTest::newRow("premultiplied dark")
        << QImage::Format_ARGB32_Premultiplied << qRgba(60, 30, 10, 128) << ShadowTone::Dark;
    QTest::newRow("premultiplied transparent light")
        << QImage::Format_ARGB32_Premultiplied << qRgba(0, 0, 0, 0) << ShadowTone::Light;
}

void StampEngineTest::barPixelsComeOutOpaque()
{
    QFETCH(QImage::Format, format);
    QFETCH(QRgb, stored);
    QFETCH(ShadowTone, tone);
    QImage image(5, 3, format);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            image.setPixel(x, y, stored); // raw word in these formats
    Stamp::applyShadowBar(image, 3, ShadowEdge::Top, tone);
    const QRgb expected = qcolorShade(stored, tone);
    QCOMPARE(qAlpha(expected), 255);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            QCOMPARE(image.pixel(x, y), expected);
}

void StampEngineTest::barWhiteAndBlack()
{
    QImage white = solid(4, 4, 0xffffffff), black = solid(4, 4, 0xff000000);
    QImage whiteDark = white, blackDark = black;
    Stamp::applyShadowBar(white, 4, ShadowEdge::Top, ShadowTone::Light);
    Stamp::applyShadowBar(black, 4, ShadowEdge::Top, ShadowTone::Light);
    Stamp::applyShadowBar(whiteDark, 4, ShadowEdge::Top, ShadowTone::Dark);
    Stamp::applyShadowBar(blackDark, 4, ShadowEdge::Top, ShadowTone::Dark);
    QCOMPARE(white.pixel(2, 2), QRgb(0xffffffff));
    QCOMPARE(black.pixel(2, 2), QRgb(0xff000000));
    QCOMPARE(blackDark.pixel(2, 2), QRgb(0xff000000));
    // Half the value: a mid grey.
    const QRgb grey = whiteDark.pixel(2, 2);
    QCOMPARE(qRed(grey), qGreen(grey));
    QCOMPARE(qGreen(grey), qBlue(grey));
    QVERIFY2(qRed(grey) == 127 || qRed(grey) == 128, qPrintable(QString::number(qRed(grey))));
    QCOMPARE(qAlpha(grey), 255);
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
    for (int y = 0; y < 4096; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < 4096; ++x) {
            const quint32 rgb = quint32(y) << 12 | quint32(x);
            line[x] = (rgb * 2654435761u >> 24) << 24 | rgb;
        }
    }
    Stamp::applyShadowBar(image, 4096, ShadowEdge::Bottom, tone);
    int mismatches = 0;
    QString first;
    for (int y = 0; y < 4096; ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < 4096; ++x) {
            const quint32 rgb = quint32(y) << 12 | quint32(x);
            QColor colour(int(rgb >> 16), int(rgb >> 8 & 0xff), int(rgb & 0xff));
            colour = tone == ShadowTone::Dark ? colour.darker(200) : colour.lighter(200);
            if (line[x] != colour.rgba() && mismatches++ == 0)
                first = QStringLiteral("%1 gives %2, QColor %3")
                            .arg(rgb, 6, 16, QLatin1Char('0'))
                            .arg(line[x], 8, 16)
                            .arg(colour.rgba(), 8, 16);
        }
    }
    QVERIFY2(mismatches == 0,
        qPrintable(QStringLiteral("%1 colours differ, first: %2").arg(mismatches).arg(first)));
}

void StampEngineTest::barOnOtherFormatsReadsAndWritesLikePixelAndSetPixel_data()
{
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<ShadowTone>("tone");
    QTest::newRow("premultiplied dark") << QImage::Format_ARGB32_Premultiplied << ShadowTone::Dark;
    QTest::newRow("premultiplied light")
        << QImage::Format_ARGB32_Premultiplied << ShadowTone::Light;
    QTest::newRow("rgb32 dark") << QImage::Format_RGB32 << ShadowTone::Dark;
    QTest::newRow("rgb888 light") << QImage::Format_RGB888 << ShadowTone::Light;
    QTest::newRow("rgba8888 dark") << QImage::Format_RGBA8888 << ShadowTone::Dark;
    QTest::newRow("rgb16 dark") << QImage::Format_RGB16 << ShadowTone::Dark;
}

void StampEngineTest::barOnOtherFormatsReadsAndWritesLikePixelAndSetPixel()
{
    QFETCH(QImage::Format, format);
    QFETCH(ShadowTone, tone);
    // Smooth scaling hands back premultiplied pictures, and a resize may give
    // other formats: the bar must do there what pixel() and setPixel() do.
    const QImage picture = testPicture(300, 40, 7).convertToFormat(format);
    QCOMPARE(picture.format(), format);
    QImage expected = picture.copy();
    for (int y = 25; y < 40; ++y)
        for (int x = 0; x < expected.width(); ++x)
            expected.setPixel(x, y, qcolorShade(expected.pixel(x, y), tone));
    QImage image = picture;
    Stamp::applyShadowBar(image, 15, ShadowEdge::Bottom, tone);
    QCOMPARE(image.format(), format);
    QCOMPARE(differingPixels(image, expected), 0);
    QVERIFY(image != picture);
}

void StampEngineTest::resizeSizes_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("target");
    QTest::addColumn<bool>("keep");
    QTest::addColumn<QSize>("expected");
    QTest::newRow("keep aspect") << QSize(4000, 3000) << QSize(1920, 1920) << true
                                 << QSize(1920, 1440);
    QTest::newRow("stretch") << QSize(4000, 3000) << QSize(1920, 1920) << false
                             << QSize(1920, 1920);
    QTest::newRow("keep aspect enlarges")
        << QSize(40, 100) << QSize(1000, 500) << true << QSize(200, 500);
}

void StampEngineTest::resizeSizes()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, target);
    QFETCH(bool, keep);
    QFETCH(QSize, expected);
    const QImage image = solid(picture.width(), picture.height(), 0xff336699);
    for (Qt::TransformationMode mode : { Qt::FastTransformation, Qt::SmoothTransformation })
        QCOMPARE(
            Stamp::resized(image, target.width(), target.height(), keep, mode).size(), expected);

    // The whole composition resizes the same way, from the source each time.
    StampOptions options;
    options.resizeEnabled = true;
    options.resizeWidth = target.width();
    options.resizeHeight = target.height();
    options.keepAspectRatio = keep;
    options.watermarkText.clear();
    Stamp::Composition c = Stamp::compose(
        image, image, QRect(), options, testFont(), Qt::white, QImage(), Qt::FastTransformation);
    QCOMPARE(c.image.size(), expected);
    c = Stamp::compose(image, c.image, c.textExtent, options, testFont(), Qt::white, QImage(),
        Qt::FastTransformation, c.textPos, c.logoPos);
    QCOMPARE(c.image.size(), expected);
}

void StampEngineTest::blankTextDrawsNothing()
{
    const QImage source = testPicture(200, 100);
    StampOptions options;
    options.shadowTone = ShadowTone::None;
    options.watermarkText = QStringLiteral("   ");
    const Stamp::Placement placement { QPoint(10, 10), QPoint(), QRect(5, 6, 70, 20) };
    const Stamp::Composition c = Stamp::render(
        source, placement, options, testFont(), Qt::red, QImage(), Qt::FastTransformation);
    QCOMPARE(c.image, source);
    QCOMPARE(c.textExtent, placement.textExtent);
}

void StampEngineTest::paddedTextIsDrawnTrimmed()
{
    const QImage source = solid(400, 100, 0xff102030);
    StampOptions padded;
    padded.shadowTone = ShadowTone::None;
    padded.watermarkText = QStringLiteral("  Stamp\t ");
    StampOptions plain = padded;
    plain.watermarkText = QStringLiteral("Stamp");
    const Stamp::Placement placement { QPoint(20, 30), QPoint(), QRect() };
    const Stamp::Composition a = Stamp::render(
        source, placement, padded, testFont(), Qt::white, QImage(), Qt::FastTransformation);
    const Stamp::Composition b = Stamp::render(
        source, placement, plain, testFont(), Qt::white, QImage(), Qt::FastTransformation);
    QVERIFY(a.image != source);
    QCOMPARE(a.image, b.image);
    QCOMPARE(a.textExtent, b.textExtent);
    // The text starts at its position: nothing is drawn left of or above it.
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 20; ++x)
            QCOMPARE(a.image.pixel(x, y), source.pixel(x, y));
    QCOMPARE(a.textExtent.topLeft(), QPoint(20, 30));
}

void StampEngineTest::logoDrawnAtTruncatedScaledSize()
{
    const QImage source = solid(400, 300, 0xff000000);
    const QImage logo = solid(300, 100, 0xffff0000);
    for (Qt::TransformationMode mode : { Qt::FastTransformation, Qt::SmoothTransformation }) {
        QImage image = source;
        Stamp::drawLogo(image, logo, QPoint(20, 30), 0.5, 100, mode);
        // 150 by 50 from (20, 30): columns 20..169, rows 30..79.
        QCOMPARE(image.pixel(20, 30), QRgb(0xffff0000));
        QCOMPARE(image.pixel(169, 79), QRgb(0xffff0000));
        QCOMPARE(image.pixel(169, 30), QRgb(0xffff0000));
        QCOMPARE(image.pixel(170, 30), QRgb(0xff000000));
        QCOMPARE(image.pixel(20, 80), QRgb(0xff000000));
        QCOMPARE(image.pixel(19, 30), QRgb(0xff000000));
        QCOMPARE(image.pixel(20, 29), QRgb(0xff000000));
    }
    // Half opacity blends it half way.
    QImage half = source;
    Stamp::drawLogo(half, logo, QPoint(0, 0), 1.0, 50, Qt::FastTransformation);
    QVERIFY(qAbs(qRed(half.pixel(5, 5)) - 128) <= 1);
    QCOMPARE(qGreen(half.pixel(5, 5)), 0);
}

void StampEngineTest::tinyLogoIsNotDrawn()
{
    const QImage source = testPicture(120, 80);
    QImage image = source;
    // 90 * 0.01 = 0.9 pixels: truncated to 0, an empty logo.
    Stamp::drawLogo(
        image, solid(90, 300, 0xffffffff), QPoint(0, 0), 0.01, 100, Qt::SmoothTransformation);
    QCOMPARE(image, source);
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
    o.textAnchor = Anchor::Center;
    o.logoAnchor = Anchor::Center;
    o.textOpacity = 60;
    o.logoOpacity = 35;
    o.logoScale = 0.75;
    QTest::newRow("centred, light bar, partial opacity, smooth")
        << o << QColor(255, 200, 0, 180) << true << true;

    o = firstRun;
    o.resizeEnabled = true;
    o.keepAspectRatio = true;
    o.resizeWidth = 300;
    o.resizeHeight = 300;
    o.textAnchor = Anchor::BotRight;
    o.logoAnchor = Anchor::BotRight;
    o.textOffsetX = -10;
    o.textOffsetY = -10;
    o.logoOffsetX = -7;
    o.logoOffsetY = -3;
    o.logoScale = 0.55;
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
    o.shadowTone = ShadowTone::None;
    o.textAnchor = Anchor::TopRight;
    o.logoAnchor = Anchor::Left;
    o.textOffsetX = 25;
    o.logoOffsetY = -500;
    QTest::newRow("no tone, offsets past the edges") << o << QColor(Qt::red) << false << true;

    o = firstRun;
    o.shadowEdge = ShadowEdge::None;
    o.watermarkText = QStringLiteral("   ");
    o.logoAnchor = Anchor::BotLeft;
    QTest::newRow("blank text, no edge") << o << QColor(Qt::white) << false << true;

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
    const QFont font = testFont();

    // As a caller does with a new picture: previous = copy of the source,
    // then two compositions.
    LiteralWindow literal;
    literal.sourceImage = source;
    literal.stampedImage = source.copy();
    Stamp::Composition engine;
    engine.image = source.copy();
    for (int round = 1; round <= 2; ++round) {
        literal.compose(options, font, colour, logo, mode);
        engine = Stamp::compose(source, engine.image, engine.textExtent, options, font, colour,
            logo, mode, engine.textPos, engine.logoPos);
        QCOMPARE(engine.textPos, literal.textPos);
        QCOMPARE(engine.logoPos, literal.logoPos);
        QCOMPARE(engine.textExtent, literal.textExtent);
        QCOMPARE(engine.image.format(), literal.stampedImage.format());
        QCOMPARE(differingPixels(engine.image, literal.stampedImage), 0);
    }
    QVERIFY(engine.image != source);
}

void StampEngineTest::secondCompositionPlacesByFirstResult()
{
    const QImage source = testPicture(400, 300);
    const QFont font = testFont();
    StampOptions options;
    options.shadowTone = ShadowTone::None;
    options.watermarkText = QStringLiteral("Corner");
    options.textAnchor = Anchor::BotRight;
    options.logoAnchor = Anchor::BotRight;
    options.resizeEnabled = true;
    options.keepAspectRatio = true;
    options.resizeWidth = 200;
    options.resizeHeight = 200;
    const QImage logo = solid(40, 20, 0xff00ff00);

    // An extent left over from a longer text in another font.
    const QRect stale(0, 0, 300, 60);
    const Stamp::Composition first = Stamp::compose(
        source, source, stale, options, font, Qt::white, logo, Qt::FastTransformation);
    // Placed against the previous 400 x 300 picture and the stale extent.
    QCOMPARE(first.image.size(), QSize(200, 150));
    QCOMPARE(first.textPos, QPoint(400 - 300, 300 - 60));
    QCOMPARE(first.logoPos, QPoint(400 - 40, 300 - 20));
    QVERIFY(first.textExtent != stale);

    const Stamp::Composition second = Stamp::compose(source, first.image, first.textExtent, options,
        font, Qt::white, logo, Qt::FastTransformation, first.textPos, first.logoPos);
    QCOMPARE(
        second.textPos, QPoint(200 - first.textExtent.width(), 150 - first.textExtent.height()));
    QCOMPARE(second.logoPos, QPoint(200 - 40, 150 - 20));
    // Now the logo sits in the corner of the picture.
    QCOMPARE(second.image.pixel(199, 149), QRgb(0xff00ff00));
    QCOMPARE(second.image.pixel(160, 130), QRgb(0xff00ff00));
    QVERIFY(second.image.pixel(159, 129) != QRgb(0xff00ff00));
}

void StampEngineTest::nullInputsAndFarOffsetsDoNotCrash()
{
    const QFont font = testFont();
    StampOptions options;
    options.shadowHeight = 1000;

    // No picture: null result, placement kept.
    Stamp::Composition c = Stamp::compose(QImage(), QImage(), QRect(1, 1, 5, 5), options, font,
        Qt::white, testLogo(10, 10), Qt::SmoothTransformation, QPoint(3, 4), QPoint(5, 6));
    QVERIFY(c.image.isNull());
    QCOMPARE(c.textPos, QPoint(3, 4));
    QCOMPARE(c.logoPos, QPoint(5, 6));
    QCOMPARE(c.textExtent, QRect(1, 1, 5, 5));
    QImage none;
    Stamp::applyShadowBar(none, 5, ShadowEdge::Top, ShadowTone::Dark);
    QVERIFY(Stamp::drawText(none, QStringLiteral("x"), QPoint(), 100, font, Qt::white).isNull());
    Stamp::drawLogo(none, testLogo(4, 4), QPoint(), 1.0, 100, Qt::FastTransformation);
    QVERIFY(none.isNull());

    // A picture that went away after a composition: null again.
    const QImage source = testPicture(64, 48);
    c = Stamp::compose(
        QImage(), source, QRect(), options, font, Qt::white, QImage(), Qt::FastTransformation);
    QVERIFY(c.image.isNull());

    // Logo and text far outside: the picture only gets its bar.
    options.textOffsetX = 9999;
    options.textOffsetY = -9999;
    options.logoOffsetX = 999999;
    options.logoOffsetY = -99999;
    options.logoAnchor = Anchor::BotRight;
    QImage barOnly = source.copy();
    Stamp::applyShadowBar(barOnly, 1000, ShadowEdge::Bottom, ShadowTone::Dark);
    c = Stamp::compose(source, source, QRect(), options, font, Qt::white, testLogo(30, 30),
        Qt::FastTransformation);
    QCOMPARE(c.image, barOnly);

    // A resize beyond what a QImage can hold gives a null picture: no bar,
    // no text, no logo, and the extent stays.
    options.resizeEnabled = true;
    options.resizeWidth = 99999;
    options.resizeHeight = 99999;
    options.textOffsetX = 0;
    options.textOffsetY = 0;
    const Stamp::Placement kept { QPoint(1, 2), QPoint(3, 4), QRect(5, 6, 7, 8) };
    QTest::ignoreMessage(QtWarningMsg, "QImage: out of memory, returning null image");
    c = Stamp::render(
        source, kept, options, font, Qt::white, testLogo(30, 30), Qt::FastTransformation);
    QVERIFY(c.image.isNull());
    QCOMPARE(c.textExtent, kept.textExtent);
    options.resizeEnabled = false;

    // A very long line of text.
    options.textOffsetX = 0;
    options.textOffsetY = 0;
    options.watermarkText = QString(20000, QLatin1Char('W'));
    c = Stamp::compose(
        source, source, QRect(), options, font, Qt::white, QImage(), Qt::FastTransformation);
    QVERIFY(c.textExtent.width() > 99999);
    QCOMPARE(c.image.size(), source.size());
}

TARVELO_TEST_MAIN(StampEngineTest)
#include "tst_stampengine.moc"
