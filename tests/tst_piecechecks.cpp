// SPDX-License-Identifier: GPL-3.0-or-later
// The program's checkers of the metadata pieces a decoder sends, each at its
// seam: malformed pieces of each kind in, the verdict out; and a refused
// piece left out with the rest kept.

#include <QCryptographicHash>
#include <QtTest>

#include "common/bytes.h"
#include "common/iccprofile.h"
#include "encode/piecechecks.h"
#include "exivvalues.h"
#include "testsupport.h"

using Bytes::appendBig;
using Bytes::appendLittle;

namespace {

// A sound EXIF block, little-endian: the first directory at 8 (Make,
// Orientation, the EXIF and GPS pointers), the EXIF directory at 64 (the
// EXIF version, the Interop pointer), the GPS directory at 94 (its
// version), Make's text at 112, the Interop directory at 120.
QByteArray exifBlock()
{
    QByteArray block = QByteArray::fromHex("49492a0008000000");
    const auto directory = [&block](std::vector<std::array<quint32, 4>> entries) {
        appendLittle(block, quint32(entries.size()), 2);
        for (const auto &[tag, type, count, value] : entries) {
            appendLittle(block, tag, 2), appendLittle(block, type, 2);
            appendLittle(block, count, 4), appendLittle(block, value, 4);
        }
        appendLittle(block, 0, 4);
    };
    directory({ { 271, 2, 8, 112 }, { 274, 3, 1, 1 }, { 34665, 4, 1, 64 }, { 34853, 4, 1, 94 } });
    block += QByteArray(2, '\0');
    directory({ { 36864, 7, 4, 0x30333230 }, { 40965, 4, 1, 120 } });
    directory({ { 0, 1, 4, 0x00000302 } });
    block += QByteArray("Tarvelo", 8);
    directory({ { 1, 2, 4, 0x00383952 } });
    return block;
}

// The verdict holds `fault`; a sound piece's is empty.
bool holds(const QString &verdict, const QString &fault)
{
    if (fault.isEmpty() ? verdict.isEmpty() : verdict.contains(fault))
        return true;
    qWarning("the verdict was \"%s\"", qPrintable(verdict));
    return false;
}

QByteArray patched(QByteArray bytes, int at, quint32 value, int width = 4)
{
    QByteArray number;
    appendLittle(number, value, width);
    return bytes.replace(at, width, number);
}

// A profile of `space` pixels with one tag, stating `stated` bytes (0: as
// many as it has).
QByteArray profile(const char *space = "RGB ", quint32 stated = 0, quint32 tagAt = 144)
{
    QByteArray icc = QByteArray(4, '\0') + QByteArray(8, ' ') + "mntr" + space + "XYZ "
        + QByteArray(12, '\0') + "acsp" + QByteArray(88, '\0');
    appendBig(icc, 1, 4);
    icc += "wtpt";
    appendBig(icc, tagAt, 4), appendBig(icc, 20, 4);
    icc += "XYZ " + QByteArray(16, '\1');
    QByteArray size;
    appendBig(size, stated ? stated : quint32(icc.size()), 4);
    return icc.replace(0, 4, size);
}

QByteArray extensionPart(const QByteArray &guid, int full, int offset, const QByteArray &bytes)
{
    QByteArray part = QByteArray("http://ns.adobe.com/xmp/extension/\0", 35) + guid;
    appendBig(part, quint32(full), 4), appendBig(part, quint32(offset), 4);
    return part + bytes;
}

QByteArray xmpPacket(const QByteArray &guid)
{
    return QByteArray("http://ns.adobe.com/xap/1.0/\0", 29)
        + "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
          "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description "
          "xmlns:xmpNote='http://ns.adobe.com/xmp/note/' xmpNote:HasExtendedXMP='"
        + guid + "'/></rdf:RDF></x:xmpmeta>";
}

} // namespace

Q_DECLARE_METATYPE(std::vector<Metadata::Segment>)
Q_DECLARE_METATYPE(std::vector<Metadata::Chunk>)
Q_DECLARE_METATYPE(Metadata::TiffEntry)

class PieceChecksTest : public QObject
{
    Q_OBJECT

private slots:
    void exifBlocks_data();
    void exifBlocks();
    void tiffEntries_data();
    void tiffEntries();
    void profiles_data();
    void profiles();
    void pngChunks_data();
    void pngChunks();
    void jpegSegments_data();
    void jpegSegments();
    void faultyPieceLeftOutRestKept();
};

void PieceChecksTest::exifBlocks_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<QVector<quint32>>(
        "roots"); // a TIF's EXIF and GPS directories; none: its own header
    QTest::addColumn<QString>("fault"); // a part of the verdict; empty: sound
    const QByteArray sound = exifBlock();
    Exiv2::ExifData exif;
    exif["Exif.Image.Artist"] = "Ann";
    exif["Exif.Photo.UserComment"] = "charset=Ascii " + std::string(70000, 'c');
    exif["Exif.GPSInfo.GPSLatitudeRef"] = "N";
    const QByteArray written = exivBlock(exif, Exiv2::bigEndian);
    // clang-format off
    QTest::newRow("sound") << sound << QVector<quint32>() << "";
    QTest::newRow("written by Exiv2, big-endian") << written << QVector<quint32>() << "";
    const QByteArray forTif = patched(sound, 78, 41729, 2); // without the Interop pointer
    QTest::newRow("sound in a TIF") << forTif << QVector<quint32> { 64, 94 } << "";
    QTest::newRow("Interop in a TIF") << sound << QVector<quint32> { 64, 94 } << "where none may be";
    QTest::newRow("no header") << sound.mid(1) << QVector<quint32>() << "no TIFF header";
    QTest::newRow("EXIF pointing to itself") << patched(sound, 86, 64) << QVector<quint32>() << "Interop directory is reached twice";
    QTest::newRow("Interop pointing back to EXIF") << patched(sound, 122, 34665, 2) << QVector<quint32>() << "where none may be";
    QTest::newRow("GPS far outside") << patched(sound, 54, 0x7fff0000) << QVector<quint32>() << "GPS directory lies outside";
    QTest::newRow("TIF's GPS in the pixel strips") << forTif << QVector<quint32> { 64, 5000 } << "GPS directory lies outside";
    QTest::newRow("EXIF and GPS one directory") << patched(sound, 54, 64) << QVector<quint32>() << "reached twice";
    QTest::newRow("TIF's EXIF and GPS one directory") << forTif << QVector<quint32> { 64, 64 } << "reached twice";
    QTest::newRow("directory off its word") << sound << QVector<quint32> { 63, 0 } << "off a word boundary";
    QTest::newRow("value on its own directory") << patched(sound, 18, 10) << QVector<quint32>() << "on a directory or another value";
    QTest::newRow("value in the header") << patched(sound, 18, 4) << QVector<quint32>() << "in the header";
    QTest::newRow("value off its word") << patched(sound, 18, 113) << QVector<quint32>() << "off a word boundary";
    QTest::newRow("text without its NUL") << patched(sound, 119, 'x', 1) << QVector<quint32>() << "without its closing NUL";
    QTest::newRow("orientation outside the segment") << patched(patched(sound, 26, 3), 30, 4000) << QVector<quint32>() << "outside the block";
    QTest::newRow("orientation turned") << patched(sound, 30, 6) << QVector<quint32>() << "orientation is not 1";
    QTest::newRow("width of TIFF pixel data") << patched(sound, 10, 256, 2) << QVector<quint32>() << "pixel data";
    QTest::newRow("tags out of order") << patched(sound, 10, 300, 2) << QVector<quint32>() << "out of order";
    QTest::newRow("type unknown") << patched(sound, 12, 13, 2) << QVector<quint32>() << "type TIFF does not know";
    QTest::newRow("no value") << patched(sound, 14, 0) << QVector<quint32>() << "holds no value";
    QTest::newRow("a thumbnail's directory next") << patched(sound, 58, 94) << QVector<quint32>() << "points to a next one";
    QTest::newRow("directory past the block's end") << patched(sound, 94, 100, 2) << QVector<quint32>() << "runs past the block's end";
    // clang-format on
}

void PieceChecksTest::exifBlocks()
{
    QFETCH(QByteArray, block);
    QFETCH(QVector<quint32>, roots);
    QFETCH(QString, fault);
    const QString verdict = roots.isEmpty() ? PieceChecks::exifFault(block)
                                            : PieceChecks::exifFault(block, roots[0], roots[1]);
    QVERIFY(holds(verdict, fault));
}

void PieceChecksTest::tiffEntries_data()
{
    QTest::addColumn<Metadata::TiffEntry>("entry");
    QTest::addColumn<QString>("fault");
    QTest::newRow("sound") << Metadata::TiffEntry { 315, 2, 4, QByteArray("Ann", 4) } << "";
    QTest::newRow("count that lies") << Metadata::TiffEntry { 315, 2, 100, "Ann!" } << "claims";
    QTest::newRow("type unknown") << Metadata::TiffEntry { 315, 13, 4, "Ann!" } << "type";
    QTest::newRow("text without its NUL") << Metadata::TiffEntry { 315, 2, 4, "Ann!" } << "NUL";
    QTest::newRow("the encoder's own") << Metadata::TiffEntry { 273, 4, 1, "abcd" } << "encoder";
    QTest::newRow("orientation turned")
        << Metadata::TiffEntry { 274, 3, 1, QByteArray("\6\0", 2) } << "orientation";
}

void PieceChecksTest::tiffEntries()
{
    QFETCH(Metadata::TiffEntry, entry);
    QFETCH(QString, fault);
    const QString verdict = PieceChecks::entryFault(entry);
    QVERIFY(holds(verdict, fault));
}

void PieceChecksTest::profiles_data()
{
    QTest::addColumn<QByteArray>("icc");
    QTest::addColumn<QString>("fault");
    QTest::newRow("sound") << profile() << "";
    QTest::newRow("size of 2 GB stated") << profile("RGB ", 2147483647) << "2147483647 bytes";
    QTest::newRow("no signature") << profile().replace(36, 4, "xxxx") << "signature";
    QTest::newRow("class unknown") << profile().replace(12, 4, "abcd") << "class";
    QTest::newRow("colour space unknown") << profile("RGBA") << "colour space";
    QTest::newRow("tag outside") << profile("RGB ", 0, 150) << "tag wtpt lies outside";
    QTest::newRow("tag in the table") << profile("RGB ", 0, 132) << "lies outside";
    QTest::newRow("no tags") << profile().replace(128, 4, QByteArray(4, '\0')) << "tag table";
}

void PieceChecksTest::profiles()
{
    QFETCH(QByteArray, icc);
    QFETCH(QString, fault);
    const QString verdict = IccProfile::fault(icc);
    QVERIFY(holds(verdict, fault));
}

void PieceChecksTest::pngChunks_data()
{
    QTest::addColumn<std::vector<Metadata::Chunk>>("chunks");
    QTest::addColumn<QString>("fault"); // of the last chunk
    const QByteArray zipped = qCompress(QByteArray("Konqi")).mid(4); // a zlib stream
    const auto text = [](const char *type, const QByteArray &data) {
        return std::vector<Metadata::Chunk> { { type, data } };
    };
    // clang-format off
    QTest::newRow("tEXt") << text("tEXt", QByteArray("Author\0Konqi", 12)) << "";
    QTest::newRow("zTXt") << text("zTXt", QByteArray("Author\0\0", 8) + zipped) << "";
    QTest::newRow("iTXt") << text("iTXt", QByteArray("Title\0\0\0de-DE\0Titel\0Dr\xc3\xa4", 24)) << "";
    QTest::newRow("iTXt compressed") << text("iTXt", QByteArray("Title\0\1\0\0\0", 10) + zipped) << "";
    QTest::newRow("empty keyword") << text("tEXt", QByteArray("\0Konqi", 6)) << "keyword is empty";
    QTest::newRow("keyword of 100 characters") << text("tEXt", QByteArray(100, 'k') + '\0') << "longer than 79";
    QTest::newRow("keyword with a leading space") << text("tEXt", QByteArray(" Author\0a", 9)) << "leading, trailing or double";
    QTest::newRow("keyword with a double space") << text("tEXt", QByteArray("Creation  Time\0a", 16)) << "leading, trailing or double";
    QTest::newRow("keyword with an escape") << text("tEXt", QByteArray("Au\x1bthor\0a", 9)) << "not printable";
    QTest::newRow("no keyword's end") << text("tEXt", "Author") << "no end";
    QTest::newRow("NUL in the text") << text("tEXt", QByteArray("Author\0Ko\0nqi", 13)) << "holds a NUL";
    QTest::newRow("zTXt cut short") << text("zTXt", QByteArray("Author\0\0", 8) + zipped.chopped(3)) << "does not inflate";
    QTest::newRow("zTXt method unknown") << text("zTXt", QByteArray("Author\0\1", 8) + zipped) << "does not inflate";
    QTest::newRow("iTXt not UTF-8") << text("iTXt", QByteArray("Title\0\0\0\0\0Dr\xe4", 13)) << "not UTF-8";
    QTest::newRow("iTXt without its keywords") << text("iTXt", QByteArray("Title\0\0\0en", 10)) << "language or translated";
    QTest::newRow("two eXIf") << std::vector<Metadata::Chunk> { { "eXIf", exifBlock() }, { "eXIf", exifBlock() } } << "second";
    QTest::newRow("eXIf without a header") << text("eXIf", exifBlock().mid(4)) << "no TIFF header";
    // clang-format on
}

void PieceChecksTest::pngChunks()
{
    QFETCH(std::vector<Metadata::Chunk>, chunks);
    QFETCH(QString, fault);
    const std::vector<PieceChecks::Verdict> verdicts = PieceChecks::pngChunks(chunks);
    QCOMPARE(verdicts.size(), chunks.size());
    const QString verdict = verdicts.back().fault;
    QVERIFY(holds(verdict, fault));
}

void PieceChecksTest::jpegSegments_data()
{
    QTest::addColumn<std::vector<Metadata::Segment>>("segments");
    QTest::addColumn<QString>("fault"); // of the last segment
    const QByteArray exif = QByteArray("Exif\0\0", 6) + exifBlock();
    const QByteArray extension = "<x:xmpmeta xmlns:x='adobe:ns:meta/'/>";
    const QByteArray guid
        = QCryptographicHash::hash(extension, QCryptographicHash::Md5).toHex().toUpper();
    const auto icc = [](const QByteArray &profile, int number, int count) {
        return Metadata::Segment { 0xe2,
            QByteArray("ICC_PROFILE\0", 12) + char(number) + char(count) + profile };
    };
    const QByteArray rgb = profile(), grey = profile("GRAY");
    // clang-format off
    QTest::newRow("EXIF") << std::vector<Metadata::Segment> { { 0xe1, exif } } << "";
    QTest::newRow("EXIF broken") << std::vector<Metadata::Segment> { { 0xe1, exif.left(60) } } << "runs past";
    QTest::newRow("two EXIF") << std::vector<Metadata::Segment> { { 0xe1, exif }, { 0xe1, exif } } << "second";
    QTest::newRow("XMP with its extension in two parts") << std::vector<Metadata::Segment> { { 0xe1, xmpPacket(guid) },
        { 0xe1, extensionPart(guid, extension.size(), 20, extension.mid(20)) }, { 0xe1, extensionPart(guid, extension.size(), 0, extension.left(20)) } } << "";
    QTest::newRow("XMP not XML") << std::vector<Metadata::Segment> { { 0xe1, xmpPacket(guid).chopped(3) } } << "well-formed";
    QTest::newRow("XMP's extension not there") << std::vector<Metadata::Segment> { { 0xe1, xmpPacket(guid) } } << "not there";
    QTest::newRow("XMP's extension with a gap") << std::vector<Metadata::Segment> { { 0xe1, xmpPacket(guid) },
        { 0xe1, extensionPart(guid, extension.size(), 0, extension.left(20)) }, { 0xe1, extensionPart(guid, extension.size(), 21, extension.mid(21)) } } << "gap";
    QTest::newRow("XMP's extension of another digest") << std::vector<Metadata::Segment> { { 0xe1, xmpPacket(QByteArray(32, 'A')) },
        { 0xe1, extensionPart(QByteArray(32, 'A'), extension.size(), 0, extension) } } << "digest";
    QTest::newRow("XMP's extension of another packet") << std::vector<Metadata::Segment> { { 0xe1, xmpPacket(guid) },
        { 0xe1, extensionPart(QByteArray(32, 'B'), extension.size(), 0, extension) } } << "different packets";
    QTest::newRow("profile in two chunks") << std::vector<Metadata::Segment> { icc(rgb.left(100), 1, 2), icc(rgb.mid(100), 2, 2) } << "";
    QTest::newRow("profile's chunks out of order") << std::vector<Metadata::Segment> { icc(rgb.mid(100), 2, 2), icc(rgb.left(100), 1, 2) } << "numbered";
    QTest::newRow("profile's count wrong") << std::vector<Metadata::Segment> { icc(rgb, 1, 2) } << "numbered";
    QTest::newRow("grey profile") << std::vector<Metadata::Segment> { icc(grey, 1, 1) } << "GRAY pixels";
    QTest::newRow("profile of 2 GB") << std::vector<Metadata::Segment> { icc(profile("RGB ", 2147483647), 1, 1) } << "2147483647";
    QTest::newRow("IPTC and the comment") << std::vector<Metadata::Segment> { { 0xed, QByteArray("Photoshop 3.0\0", 14) }, { 0xfe, "Kite" } } << "";
    QTest::newRow("Adobe's colour transform") << std::vector<Metadata::Segment> { { 0xee, "Adobe" } } << "no metadata is kept in";
    // clang-format on
}

void PieceChecksTest::jpegSegments()
{
    QFETCH(std::vector<Metadata::Segment>, segments);
    QFETCH(QString, fault);
    const std::vector<PieceChecks::Verdict> verdicts = PieceChecks::jpegSegments(segments);
    QCOMPARE(verdicts.size(), segments.size());
    const QString verdict = verdicts.back().fault;
    QVERIFY(holds(verdict, fault));
    // The parts of a piece stand or fall together.
    QCOMPARE(verdicts.front().fault.isEmpty(), verdict.isEmpty() || fault == "second");
}

// What fails its check goes, the log says which and why, the rest stays.
void PieceChecksTest::faultyPieceLeftOutRestKept()
{
    Metadata::Source source;
    source.format = "png";
    source.problem = "its XMP packet is malformed";
    source.chunks
        = { { "tEXt", QByteArray("Author\0Konqi", 12) }, { "tEXt", QByteArray(100, 'k') } };
    source.iccProfile = profile("RGB ", 2147483647);
    PieceChecks::leaveOutFaulty(source);
    QCOMPARE(source.chunks.size(), size_t(1));
    QCOMPARE(source.chunks[0].data, QByteArray("Author\0Konqi", 12));
    QVERIFY(source.iccProfile.isEmpty());
    QCOMPARE(source.problem.split("; ").mid(0, 2),
        QStringList({ "its XMP packet is malformed",
            "its PNG text \"" + QString(40, 'k')
                + "...\" was left out: it has no end to its keyword" }));
    QVERIFY(source.problem.endsWith("its colour profile was left out: it states a size of "
                                    "2147483647 bytes and holds 164"));

    source = Metadata::Source();
    source.format = "tif";
    source.tiffPrefix = patched(exifBlock(), 78, 41729, 2);
    source.exifIfd = 64;
    source.gpsIfd = 64;
    source.tiffEntries
        = { { 315, 2, 4, QByteArray("Ann", 4) }, { 315, 2, 4, QByteArray("Bob", 4) } };
    PieceChecks::leaveOutFaulty(source);
    QVERIFY(source.tiffPrefix.isEmpty() && source.exifIfd == 0 && source.gpsIfd == 0);
    QCOMPARE(source.tiffEntries.size(), size_t(1));
    QCOMPARE(source.tiffEntries[0].value, QByteArray("Ann", 4));
    QCOMPARE(source.problem,
        "its EXIF was left out: the GPS directory is reached twice; its TIFF tag 315 was left "
        "out: it was given twice");
}

TARVELO_TEST_MAIN(PieceChecksTest)
#include "tst_piecechecks.moc"
