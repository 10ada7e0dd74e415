// SPDX-License-Identifier: GPL-3.0-or-later
// The decoder's own checks, in this process: the decoder library is linked
// in, so that every format's damage check and every reader it guards are
// tried on files made on the spot, their words compared, without a
// decoder process around them.

#include "decoder/decodecheck.h"
#include "decoder/decodercore.h"
#include "testsupport.h"

using namespace TestSupport;

namespace {

// A GIF of `pixels` (indices into a black, red, green, blue table), `width`
// wide and `height` high as declared, its data coded as literals only.
QByteArray gif(const QByteArray &pixels, int width, int height)
{
    QByteArray file = "GIF89a"
        + QByteArray::fromHex("00000000810000"
                              "000000ff000000ff000000ff"
                              "2c000000000000000000");
    for (const int at : { 6, 30 }) // the screen's size and the frame's
        file[at] = char(width), file[at + 2] = char(height);
    file += '\x02'; // 2 bits a pixel: clear 4, end 5, 3-bit codes
    QByteArray data;
    quint32 bits = 0, held = 0;
    const auto put = [&](int code) {
        bits |= quint32(code) << held, held += 3;
        for (; held >= 8; bits >>= 8, held -= 8)
            data += char(bits & 0xff);
    };
    for (int k = 0; k < pixels.size(); ++k) {
        if (k % 2 == 0)
            put(4); // a clear before the codes grow to 4 bits
        put(pixels[k]);
    }
    put(5);
    data += char(bits);
    for (int at = 0; at < data.size(); at += 255)
        file += char(std::min(255, data.size() - at)) + data.mid(at, 255);
    return file + '\0' + ';';
}

// A Sun raster of 8-bit `pixels` in rows of `width` (index 1 red), its
// data run-length encoded or not.
QByteArray sunRaster(const QByteArray &pixels, int width, bool runs)
{
    QByteArray data;
    for (int at = 0; at < pixels.size();) {
        int length = 1;
        while (runs && at + length < pixels.size() && pixels[at + length] == pixels[at])
            ++length;
        data += length > 1         ? QByteArray("\x80", 1) + char(length - 1) + pixels[at]
            : pixels[at] == '\x80' ? QByteArray("\x80\0", 2) // a lone 0x80, escaped
                                   : pixels.mid(at, 1);
        at += length;
    }
    QByteArray file = QByteArray::fromHex("59a66a95");
    for (const int value :
        { width, int(pixels.size()) / width, 8, int(data.size()), runs ? 2 : 1, 1, 6 })
        for (int shift = 24; shift >= 0; shift -= 8)
            file += char(value >> shift);
    return file + QByteArray::fromHex("00ff00000000") + data;
}

// An RLE8 BMP of `width` x `rows.size()` (index 1 red), each row its runs,
// bottom first, and the end-of-bitmap marker when `ended`.
QByteArray rleBmp(const QList<QByteArray> &rows, int width, bool ended = true)
{
    QByteArray data;
    for (const QByteArray &row : rows)
        data += row + QByteArray(2, '\0');
    if (ended)
        data += QByteArray::fromHex("0001");
    QByteArray file = "BM";
    for (const auto &[value, bytes] :
        std::initializer_list<std::pair<qint64, int>> { { 62 + data.size(), 4 }, { 0, 4 },
            { 62, 4 }, { 40, 4 }, { width, 4 }, { rows.size(), 4 }, { 1, 2 }, { 8, 2 }, { 1, 4 },
            { data.size(), 4 }, { 2835, 4 }, { 2835, 4 }, { 2, 4 }, { 2, 4 } })
        for (int k = 0; k < bytes; ++k)
            file += char(value >> (8 * k));
    return file + QByteArray::fromHex("000000000000ff00") + data;
}

// An ISO box: its size, its type, `payload`.
QByteArray box(const char *type, const QByteArray &payload)
{
    QByteArray bytes(4, '\0');
    qToBigEndian<quint32>(quint32(8 + payload.size()), bytes.data());
    return bytes + type + payload;
}

// The start of a HEIF file whose primary item (1) has the properties
// "ispe" `width` x `height` and, with `turns`, an "irot" of that many turns.
QByteArray heifDeclaring(int width, int height, int turns = 0)
{
    QByteArray size(8, '\0');
    qToBigEndian<quint32>(quint32(width), size.data());
    qToBigEndian<quint32>(quint32(height), size.data() + 4);
    const QByteArray fullBox(4, '\0'); // version and flags
    const QByteArray properties = box("ispe", fullBox + size)
        + (turns ? box("irot", QByteArray(1, char(turns))) : QByteArray());
    // One entry: item 1, with property 1 and, turned, property 2.
    const QByteArray associations = fullBox + QByteArray::fromHex("000000010001")
        + (turns ? QByteArray::fromHex("028102") : QByteArray::fromHex("0181"));
    return box("ftyp", "heic" + fullBox)
        + box("meta",
            fullBox + box("pitm", fullBox + QByteArray::fromHex("0001"))
                + box("iprp", box("ipco", properties) + box("ipma", associations)));
}

// `bytes` in a file of their own, open for reading as the decoder has it.
std::unique_ptr<QTemporaryFile> opened(const QByteArray &bytes)
{
    auto file = std::make_unique<QTemporaryFile>();
    if (!file->open() || file->write(bytes) != bytes.size() || !file->seek(0))
        qFatal("cannot write a temporary file");
    return file;
}

} // namespace

class DecodeCheckTest : public QObject
{
    Q_OBJECT

private slots:
    void decode_data();
    void decode();
    void decodedAtTheDeclaredSize();
};

void DecodeCheckTest::decode_data()
{
    QTest::addColumn<QByteArray>("reader");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("damaged");
    QTest::addColumn<QString>("error"); // damaged: the whole text; else how it ends
    QTest::addColumn<QRgb>("pixel"); // at (1, 0), read whole
    QByteArray pixels;
    for (int k = 0; k < 64; ++k)
        pixels += char(k % 3 ? 1 : 2);
    const QRgb red = qRgb(255, 0, 0);
    const QImage mono = photoLike(16, 16).convertToFormat(QImage::Format_Mono),
                 colours = photoLike(12, 8);
    const QByteArray xbm = encode(mono, "xbm"), xpm = encode(colours, "xpm"),
                     ras = sunRaster(pixels, 8, false),
                     rle = sunRaster(pixels.left(1) + '\x80' + pixels.mid(2), 8, true);
    QByteArray xpmChanged = xpm;
    xpmChanged.replace(xpm.lastIndexOf('"') - 5, 3, "\x01\x01\x01");
    const QByteArray run = QByteArray::fromHex("0801"), over = QByteArray::fromHex("0901");
    const QList<QByteArray> two { run, run }, four { run, run, run, run };
    // A BMP whose pixel data is a JPEG (compression 4), which Qt's reader
    // does not take.
    QByteArray jpegInside = rleBmp(two, 8);
    jpegInside.replace(30, 4, QByteArray::fromHex("04000000"));
    // clang-format off
    QTest::newRow("GIF whole") << QByteArray("gif") << gif(pixels, 8, 8) << false << "" << red;
    QTest::newRow("GIF cut at half") << QByteArray("gif") << gif(pixels, 8, 8).left(gif(pixels, 8, 8).size() / 2) << true << "the file ends inside frame 1" << 0u;
    QTest::newRow("GIF without its trailer") << QByteArray("gif") << gif(pixels, 8, 8).chopped(1) << true << "the file ends before its trailer" << 0u;
    QTest::newRow("GIF frame short of pixels") << QByteArray("gif") << gif(pixels.left(40), 8, 8) << true << "frame 1 ends after 40 of its 64 pixels" << 0u;
    QTest::newRow("Sun raster whole") << QByteArray("ras") << ras << false << "" << red;
    QTest::newRow("Sun raster cut at half") << QByteArray("ras") << ras.left(38 + 32) << true << "its pixel data ends after 32 of 64 bytes" << 0u;
    // The reader installed here takes no run-length coded Sun raster at
    // all, and says so; cut, it is damaged before it is unreadable.
    QTest::newRow("Sun raster of runs") << QByteArray("ras") << rle << false << "(its pixels are run-length coded, which is not read here)" << 0u;
    QTest::newRow("Sun raster of runs cut at half") << QByteArray("ras") << rle.left(38 + (rle.size() - 38) / 2) << true << "its pixel data ends after 31 of 64 bytes" << 0u;
    QTest::newRow("XBM whole") << QByteArray("xbm") << xbm << false << "" << mono.pixel(1, 0);
    QTest::newRow("XBM cut at half") << QByteArray("xbm") << xbm.left(xbm.size() / 2) << true << "the file ends before its closing brace" << 0u;
    QTest::newRow("XBM rows missing") << QByteArray("xbm") << xbm.left(xbm.size() / 2) + "};\n" << true << "it holds 11 of its 32 bytes of pixels" << 0u;
    QTest::newRow("XPM whole") << QByteArray("xpm") << xpm << false << "" << colours.pixel(1, 0);
    QTest::newRow("XPM cut at half") << QByteArray("xpm") << xpm.left(xpm.size() / 2) << true << "the file ends inside a string" << 0u;
    QTest::newRow("XPM 3 bytes changed") << QByteArray("xpm") << xpmChanged << true << "row 8 uses a colour its table does not have" << 0u;
    QTest::newRow("RLE BMP whole") << QByteArray("bmp") << rleBmp(two, 8) << false << "" << red;
    QTest::newRow("RLE BMP without its end") << QByteArray("bmp") << rleBmp(two, 8, false) << true << "its pixel data ends before its end-of-bitmap marker" << 0u;
    QTest::newRow("RLE BMP cut at half") << QByteArray("bmp") << rleBmp(four, 8).left(66) << true << "its pixel data ends before its end-of-bitmap marker" << 0u;
    QTest::newRow("RLE BMP run leaves the picture") << QByteArray("bmp") << rleBmp({ run, over }, 8) << true << "a run of its pixel data leaves the picture" << 0u;
    QTest::newRow("BMP holding a JPEG") << QByteArray("bmp") << jpegInside << false << "(it holds a JPEG picture inside, which is not read here)" << 0u;
    // clang-format on
}

void DecodeCheckTest::decode()
{
    QFETCH(QByteArray, reader);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, damaged);
    QFETCH(QString, error);
    QFETCH(QRgb, pixel);
    const auto file = opened(bytes);
    const Decoded decoded = DecoderCore::decode(file.get(), int(file->handle()), reader, 1 << 30);
    QCOMPARE(decoded.damaged, damaged);
    QVERIFY2(
        damaged || error.isEmpty() ? decoded.errorText == error : decoded.errorText.endsWith(error),
        qPrintable(decoded.errorText));
    QCOMPARE(decoded.image.isNull(), !pixel);
    QCOMPARE(pixel ? decoded.image.pixel(1, 0) : 0u, pixel);
}

// A HEIF or AVIF picture is checked against the size its primary item
// declares: a rotation turns it, nothing else changes it.
void DecodeCheckTest::decodedAtTheDeclaredSize()
{
    const auto plain = opened(heifDeclaring(64, 48) + QByteArray(64, '\0'));
    const auto turned = opened(heifDeclaring(64, 48, 1) + QByteArray(64, '\0'));
    const auto damage = [](const std::unique_ptr<QTemporaryFile> &file, const char *reader,
                            QSize decoded) {
        return DecodeCheck::sizeDamage(int(file->handle()), reader, decoded);
    };
    QCOMPARE(damage(plain, "heif", { 64, 48 }) + damage(turned, "avif", { 48, 64 })
            + damage(plain, "png", { 65, 48 }),
        "");
    QCOMPARE(damage(plain, "avif", { 65, 48 }),
        "it decodes to 65 x 48 pixels, not the 64 x 48 it declares");
    QCOMPARE(damage(turned, "heif", { 64, 48 }),
        "it decodes to 64 x 48 pixels, not the 48 x 64 it declares");
    QCOMPARE(damage(opened(box("ftyp", "heic" + QByteArray(4, '\0'))), "heif", { 64, 48 }),
        "it does not declare the size of its picture");
}

TARVELO_TEST_MAIN(DecodeCheckTest)
#include "tst_decodecheck.moc"
