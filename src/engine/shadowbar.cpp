// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/stampengine.h"

#include <memory>
#include <vector>

// The shadow bar gives every pixel exactly the colour that
// QColor(r, g, b).darker(200) (or lighter(200)) gives. QColor gets there through
// a round trip to HSV in double precision with 16-bit channels, which costs
// tens of nanoseconds a pixel; a bar of a thousand rows across a big photo
// would take a good part of a second on every composition. So the same
// arithmetic is redone here exactly, in integers.
//
// With mx >= md >= mn the largest, middle and smallest of r, g, b, and val and
// sat QColor's 16-bit value and saturation after darker/lighter has changed
// them (both depend on mx and mn only), the colour comes back as
//   largest channel:  val                        (a function of mx)
//   smallest channel: val * (1 - sat / 65535)    (a function of mx and mn)
//   middle channel:   val * (1 - sat / 65535 * G / 6000)
// where G is 6000 minus the hue's position within its 60-degree sextant in
// hundredths of a degree, hue = round(6000 * (md - mn) / (mx - mn)). The first
// two are read from QColor itself. The middle one is computed as an exact
// fraction, and its two roundings (to 16 bits, then to 8 bits by rgba()) are
// done on the fraction. QColor's doubles agree with the exact fraction
// everywhere except where the fraction lies exactly on a rounding tie; there
// the last bit of a double decides, so those colours (about one in a hundred)
// are handed to QColor itself.
//
// From that, one table per tone holds the results for every mx, mn and md
// (2.8 MB, filled in a few milliseconds on first use), so that a pixel is
// three lookups. Table rows that contain a tie are marked, and their pixels
// take the arithmetic way above. The test suite compares all 2^24 colours
// with QColor for both tones.

namespace {

// Hundredths of a degree in one 60-degree sextant of the hue circle.
constexpr quint64 Sextant = 6000;
// The middle channel's fraction has the denominator 65535 * 6000 before the
// 16-bit rounding and 257 times that before the 8-bit one.
constexpr quint64 MiddleDenominator = 65535 * Sextant;
constexpr quint64 MiddleDivisor = 257 * MiddleDenominator;
// Hue entry whose rounding is an exact tie.
constexpr quint16 HueTie = 0xffff;

// Byte offsets of the channels inside one 32-bit ARGB word in memory.
constexpr int BlueByte = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? 0 : 3;
constexpr int GreenByte = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? 1 : 2;
constexpr int RedByte = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? 2 : 1;
constexpr int AlphaByte = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? 3 : 0;

// Byte offsets of the largest, middle and smallest channel, indexed by
// (r >= g) | (g >= b) << 1 | (r >= b) << 2. Equal channels are ordered the way
// QColor picks its hue formula: red counts as the maximum before green, green
// before blue. Indices 3 and 4 cannot occur.
struct ChannelOrder
{
    quint8 largest, middle, smallest;
};
constexpr ChannelOrder channelOrders[8] = {
    { BlueByte, GreenByte, RedByte }, // b > g > r
    { BlueByte, RedByte, GreenByte }, // b > r >= g
    { GreenByte, BlueByte, RedByte }, // g >= b > r
    { RedByte, GreenByte, BlueByte }, // (impossible)
    { RedByte, GreenByte, BlueByte }, // (impossible)
    { RedByte, BlueByte, GreenByte }, // r >= b > g
    { GreenByte, RedByte, BlueByte }, // g > r >= b
    { RedByte, GreenByte, BlueByte }, // r >= g >= b
};

// G = 6000 - round(6000 * spread / delta), indexed by delta << 8 | spread
// (delta = mx - mn, spread = md - mn), or HueTie where the rounding is a tie.
// The same for both tones.
struct HueTable
{
    quint16 weight[256 * 256];
};

std::unique_ptr<HueTable> makeHueTable()
{
    auto table = std::make_unique<HueTable>();
    // A grey pixel has no hue; any weight gives it val on all three channels.
    table->weight[0] = Sextant;
    for (quint64 delta = 1; delta < 256; ++delta) {
        for (quint64 spread = 0; spread <= delta; ++spread) {
            // round half up of 6000 * spread / delta, as (2n + d) / 2d
            const quint64 numerator = 2 * Sextant * spread + delta;
            const quint64 hue = numerator / (2 * delta);
            table->weight[delta << 8 | spread]
                = numerator % (2 * delta) == 0 ? HueTie : static_cast<quint16>(Sextant - hue);
        }
    }
    return table;
}

// The per-tone parts, indexed by mx (and mn: key = mx << 8 | mn).
struct ToneTable
{
    quint32 valueTimesSaturation[256 * 256]; // val * sat
    quint8 smallestResult[256 * 256]; // 8-bit result of the smallest channel
    quint8 largestResult[256]; // 8-bit result of the largest channel
    quint64 middleBase[256]; // (val + 128.5) * MiddleDenominator
};

std::unique_ptr<ToneTable> makeToneTable(ShadowTone tone)
{
    auto table = std::make_unique<ToneTable>();
    for (int mx = 0; mx < 256; ++mx) {
        for (int mn = 0; mn <= mx; ++mn) {
            // Red largest, green and blue smallest: the hue is 0, so QColor
            // returns val in red and the smallest channel's value in blue.
            const QColor colour(mx, mn, mn);
            const QColor hsv = colour.toHsv();
            int saturation = qRound(hsv.hsvSaturationF() * 65535);
            quint32 value = static_cast<quint32>(qRound(hsv.valueF() * 65535));
            // What darker(200) and lighter(200) do to the HSV value (and,
            // when lightening overflows, to the saturation).
            if (tone == ShadowTone::Dark) {
                value = value * 100 / 200;
            } else {
                value = 200 * value / 100;
                if (value > 65535) {
                    saturation = qMax(0, saturation - static_cast<int>(value - 65535));
                    value = 65535;
                }
            }
            const int key = mx << 8 | mn;
            const QRgb shaded = Stamp::shadedPixel(colour.rgb(), tone);
            table->valueTimesSaturation[key] = value * static_cast<quint32>(saturation);
            table->smallestResult[key] = static_cast<quint8>(qBlue(shaded));
            if (mn == 0) {
                table->largestResult[mx] = static_cast<quint8>(qRed(shaded));
                table->middleBase[mx] = (2 * quint64(value) + 257) * (MiddleDenominator / 2);
            }
        }
    }
    return table;
}

const HueTable &hueTable()
{
    static const std::unique_ptr<HueTable> table = makeHueTable();
    return *table;
}

const ToneTable &toneTable(ShadowTone tone)
{
    if (tone == ShadowTone::Dark) {
        static const std::unique_ptr<ToneTable> dark = makeToneTable(ShadowTone::Dark);
        return *dark;
    }
    static const std::unique_ptr<ToneTable> light = makeToneTable(ShadowTone::Light);
    return *light;
}

// All results of one tone, for every mx, delta = mx - mn and spread = md - mn,
// as rows of delta + 1 bytes: entry `spread` is the middle channel's result,
// so entry 0 is also the smallest channel's and entry delta the largest
// channel's. Rows in which some entry lies on a rounding tie are not marked
// exact; their pixels take the arithmetic way.
struct ResultTable
{
    std::vector<quint8> results;
    // Start of row (mx, delta) in `results`, indexed by mx << 8 | delta, with
    // InexactRow set when the row holds a tie.
    quint32 rowStart[256 * 256];
};
constexpr quint32 InexactRow = 0x80000000u;

std::unique_ptr<ResultTable> makeResultTable(const HueTable &hues, const ToneTable &tones)
{
    auto table = std::make_unique<ResultTable>();
    table->results.resize(256 * 257 * 258 / 6); // rows of 1 + ... + (mx + 1) bytes per mx
    quint32 start = 0;
    for (uint mx = 0; mx < 256; ++mx) {
        for (uint delta = 0; delta <= mx; ++delta) {
            const uint key = mx << 8 | (mx - delta);
            quint8 *row = table->results.data() + start;
            bool exact = true;
            for (uint spread = 0; spread <= delta; ++spread) {
                const uint weight = hues.weight[delta << 8 | spread];
                const quint64 numerator
                    = tones.middleBase[mx] - quint64(tones.valueTimesSaturation[key]) * weight;
                const quint64 middle = numerator / MiddleDivisor;
                if (weight == HueTie || middle * MiddleDivisor == numerator)
                    exact = false;
                row[spread] = static_cast<quint8>(middle);
            }
            table->rowStart[mx << 8 | delta] = start | (exact ? 0 : InexactRow);
            start += delta + 1;
        }
    }
    return table;
}

// Shades one ARGB32 pixel in memory by the arithmetic, in place; the result
// is opaque.
inline void shadeByArithmetic(
    uchar *pixel, const HueTable &hues, const ToneTable &tones, ShadowTone tone)
{
    const uint b = pixel[BlueByte], g = pixel[GreenByte], r = pixel[RedByte];
    const ChannelOrder order = channelOrders[(r >= g) | (g >= b) << 1 | (r >= b) << 2];
    const uint mx = pixel[order.largest], md = pixel[order.middle], mn = pixel[order.smallest];
    const uint key = mx << 8 | mn;
    const uint weight = hues.weight[(mx - mn) << 8 | (md - mn)];
    // middle = floor(((val + 128.5) * D - val * sat * G) / (257 * D)) is the
    // 8-bit rounding of the 16-bit rounding of val * (1 - sat * G / D).
    const quint64 numerator
        = tones.middleBase[mx] - quint64(tones.valueTimesSaturation[key]) * weight;
    const quint64 middle = numerator / MiddleDivisor;
    if (Q_UNLIKELY(weight == HueTie || middle * MiddleDivisor == numerator)) {
        const QRgb shaded = Stamp::shadedPixel(qRgb(int(r), int(g), int(b)), tone);
        pixel[BlueByte] = static_cast<uchar>(qBlue(shaded));
        pixel[GreenByte] = static_cast<uchar>(qGreen(shaded));
        pixel[RedByte] = static_cast<uchar>(qRed(shaded));
        pixel[AlphaByte] = 0xff;
        return;
    }
    pixel[order.largest] = tones.largestResult[mx];
    pixel[order.middle] = static_cast<uchar>(middle);
    pixel[order.smallest] = tones.smallestResult[key];
    pixel[AlphaByte] = 0xff;
}

const ResultTable &resultTable(ShadowTone tone)
{
    if (tone == ShadowTone::Dark) {
        static const std::unique_ptr<ResultTable> dark
            = makeResultTable(hueTable(), toneTable(ShadowTone::Dark));
        return *dark;
    }
    static const std::unique_ptr<ResultTable> light
        = makeResultTable(hueTable(), toneTable(ShadowTone::Light));
    return *light;
}

// Shades one ARGB32 pixel in memory from the table, in place.
inline void shadeInPlace(uchar *pixel, const ResultTable &results, const quint8 *resultData,
    const HueTable &hues, const ToneTable &tones, ShadowTone tone)
{
    const uint b = pixel[BlueByte], g = pixel[GreenByte], r = pixel[RedByte];
    const ChannelOrder order = channelOrders[(r >= g) | (g >= b) << 1 | (r >= b) << 2];
    const uint mx = pixel[order.largest], md = pixel[order.middle], mn = pixel[order.smallest];
    const uint delta = mx - mn;
    const quint32 start = results.rowStart[mx << 8 | delta];
    if (Q_UNLIKELY(start & InexactRow)) {
        shadeByArithmetic(pixel, hues, tones, tone);
        return;
    }
    const quint8 *row = resultData + start;
    pixel[order.largest] = row[delta];
    pixel[order.middle] = row[md - mn];
    pixel[order.smallest] = row[0];
    pixel[AlphaByte] = 0xff;
}

// Formats whose QImage::pixel() gives the stored word's colour channels as
// they are and whose setPixel() stores an opaque word as it is.
bool isPlain32Bit(QImage::Format format)
{
    return format == QImage::Format_ARGB32 || format == QImage::Format_ARGB32_Premultiplied
        || format == QImage::Format_RGB32;
}

} // namespace

namespace Stamp {

QRgb shadedPixel(QRgb pixel, ShadowTone tone)
{
    const QColor colour(qRed(pixel), qGreen(pixel), qBlue(pixel));
    switch (tone) {
    case ShadowTone::Dark:
        return colour.darker(200).rgba();
    case ShadowTone::Light:
        return colour.lighter(200).rgba();
    case ShadowTone::None:
        break;
    }
    return pixel;
}

void applyShadowBar(QImage &image, int rows, ShadowEdge edge, ShadowTone tone)
{
    if (image.isNull() || rows <= 0 || edge == ShadowEdge::None || tone == ShadowTone::None)
        return;
    const int count = qMin(rows, image.height());
    const int first = edge == ShadowEdge::Top ? 0 : image.height() - count;
    const int width = image.width();

    if (!isPlain32Bit(image.format())) {
        for (int y = first; y < first + count; ++y) {
            for (int x = 0; x < width; ++x)
                image.setPixel(x, y, shadedPixel(image.pixel(x, y), tone));
        }
        return;
    }

    const HueTable &hues = hueTable();
    const ToneTable &tones = toneTable(tone);
    const ResultTable &results = resultTable(tone);
    const quint8 *resultData = results.results.data();
    for (int y = first; y < first + count; ++y) {
        // A shared picture is copied here; without the memory for that it
        // becomes null, as it would in QImage::setPixel.
        uchar *line = image.scanLine(y);
        if (!line)
            return;
        for (int x = 0; x < width; ++x)
            shadeInPlace(line + 4 * x, results, resultData, hues, tones, tone);
    }
}

} // namespace Stamp
