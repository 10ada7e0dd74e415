// SPDX-License-Identifier: GPL-3.0-or-later
// What crosses the process boundary, written and read by the one codec: a
// request, the details and the metadata come back as they went, and what a
// decoder gone wrong sends instead is refused, however it breaks the rules.

#include "common/decoderreply.h"
#include "testsupport.h"

Q_DECLARE_METATYPE(Metadata::Source)

class DecoderReplyTest : public QObject
{
    Q_OBJECT

private slots:
    void requestRoundTrip();
    void detailsRoundTrip();
    void detailsFromAHostileDecoder_data();
    void detailsFromAHostileDecoder();
    void metadataRoundTrip();
    void metadataFromAHostileDecoder_data();
    void metadataFromAHostileDecoder();
};

namespace {

// What a request asks, every field of it on one line.
QString line(const DecoderReply::Asked &a)
{
    const QString asked = QString::asprintf("%s %lld %lld fit %dx%d %d fields %d render %dx%d | ",
        a.reader.constData(), a.budgetBytes, a.maxPixels, a.fit.width(), a.fit.height(),
        a.fitKeepsAspect, a.fields, a.render.width(), a.render.height());
    if (!a.metadata)
        return asked + "-";
    const Metadata::Wanted &w = *a.metadata;
    return asked
        + QString::asprintf("%s keep %d no GPS %d resize %d %dx%d aspect %d shrink %d",
            qPrintable(w.suffix), w.keep, w.withoutLocation, w.resize.enabled, w.resize.box.width(),
            w.resize.box.height(), w.resize.keepAspectRatio, w.resize.shrinkOnly);
}

} // namespace

void DecoderReplyTest::requestRoundTrip()
{
    DecoderReply::Asked asked { "jpeg", 123456789012, 150000000, QSize(1920, 1080), false,
        Metadata::Wanted { "TIFF", false, true, { true, QSize(800, 600), false, true } }, true,
        QSize(360, 180) };
    DecoderProtocol::Request request;
    QVERIFY(DecoderReply::write(asked, request));
    // The suffix goes as the format the decoder writes for.
    QCOMPARE(line(DecoderReply::read(request)),
        "jpeg 123456789012 150000000 fit 1920x1080 0 fields 1 render 360x180 | tif keep 0 no GPS 1 "
        "resize 1 800x600 aspect 0 shrink 1");
    asked.metadata.reset();
    asked.fit = QSize();
    asked.fields = false;
    asked.render = QSize();
    QVERIFY(DecoderReply::write(asked, request));
    QCOMPARE(line(DecoderReply::read(request)),
        "jpeg 123456789012 150000000 fit 0x0 1 fields 0 render 0x0 | -");
    // A reader's name that does not fit is never cut to another.
    asked.reader = "a-reader-named-at-length";
    QVERIFY(!DecoderReply::write(asked, request));
}

void DecoderReplyTest::detailsRoundTrip()
{
    DecoderReply::Details details;
    details.errorText = "Unable to read image data";
    details.colours = { qRgb(1, 2, 3), qRgba(250, 0, 7, 128) };
    details.dotsX = 2835;
    details.dotsY = 3780;
    details.texts = { { "Author", "Ann" }, { "Comment", "a summer's day" } };
    details.metadata = QByteArray("\x01\x02\x00", 3);
    // The fields of a text, cut to their bounds, each on one line, and a
    // capture date that is no date dropped.
    details.fields = PictureFields { "2024-02-30T10:00:00", QString(5000, 'a'), "(c) Ann", "Canon",
        "EOS R5", "RF\n24-105\t" };
    const QByteArray written = DecoderReply::write(details);
    DecoderReply::Details read;
    QVERIFY(DecoderReply::read(written.constData(), written.size(), read));
    QCOMPARE(read.errorText, details.errorText);
    QCOMPARE(read.colours, details.colours);
    QCOMPARE(QList<int>({ read.dotsX, read.dotsY }), QList<int>({ 2835, 3780 }));
    QCOMPARE(read.texts, details.texts);
    QCOMPARE(read.metadata, details.metadata);
    QCOMPARE(read.fields, std::optional(PictureFields { "", QString(PictureFieldsWire::MaxChars, 'a'),
                              "(c) Ann", "Canon", "EOS R5", "RF 24-105 " }));

    // However much text a file holds, what goes over stays within the
    // limits: the error text cut, texts beyond them left out.
    details.errorText = QString(5000, 'e');
    details.texts = { { QString(81, 'k'), "key too long" }, { "big", QString(200000, 'v') },
        { "bigger", QString(100000, 'w') }, { "small", "fits" } };
    details.metadata.reset();
    details.fields.reset();
    const QByteArray capped = DecoderReply::write(details);
    QVERIFY(DecoderReply::read(capped.constData(), capped.size(), read));
    QCOMPARE(read.errorText.size(), DecoderProtocol::MaxErrorText);
    QCOMPARE(read.texts.size(), 2);
    QCOMPARE(read.texts.value(0).first + read.texts.value(1).first, "bigsmall");
    QVERIFY(!read.metadata && !read.fields);
}

void DecoderReplyTest::detailsFromAHostileDecoder_data()
{
    QTest::addColumn<QByteArray>("bytes");
    DecoderReply::Details details;
    details.texts = { { "key", "value" } };
    const QByteArray honest = DecoderReply::write(details);
    // After the error text (4 bytes: none), the colours' count; 12 bytes
    // on, the texts' count.
    QTest::newRow("colour table of a billion") << QByteArray(honest).replace(4, 4, "\x40\0\0\0");
    QTest::newRow("texts without end") << QByteArray(honest).replace(16, 4, "\x7f\xff\xff\xff");
    QTest::newRow("cut short") << honest.chopped(1);
    QTest::newRow("error text of 2 GB") << QByteArray(honest).replace(0, 4, "\x7f\xff\xff\xfe");
    QTest::newRow("metadata longer than said") << honest + QByteArray::fromHex("0000000a00");
}

void DecoderReplyTest::detailsFromAHostileDecoder()
{
    QFETCH(QByteArray, bytes);
    DecoderReply::Details read;
    QVERIFY(!DecoderReply::read(bytes.constData(), bytes.size(), read));
}

namespace {

// A TIFF block whose EXIF directory at 8 holds the EXIF version.
const QByteArray exifBlock
    = QByteArray::fromHex("49492a00080000000100009007000400000030323331") + QByteArray(4, '\0');

Metadata::Source source(const char *format)
{
    Metadata::Source source;
    source.format = format;
    source.size = QSize(4, 3);
    return source;
}

} // namespace

void DecoderReplyTest::metadataRoundTrip()
{
    Metadata::Source sent = source("tif");
    sent.tiffPrefix = exifBlock;
    sent.exifIfd = 8;
    sent.tiffEntries = { { 315, 2, 4, QByteArray("Ann", 4) }, { 33432, 2, 2, QByteArray("c", 2) } };
    sent.iccProfile = QByteArray(16, 'p') + "RGB " + QByteArray(20, 'q');
    sent.resolution = { 2835, 3780 };
    sent.problem = "its XMP packet is malformed";
    Metadata::Source read = Metadata::unpack(Metadata::pack(sent));
    QCOMPARE(read.format + read.tiffPrefix + read.iccProfile + read.problem.toUtf8(),
        sent.format + sent.tiffPrefix + sent.iccProfile + sent.problem.toUtf8());
    QCOMPARE(QList<double>({ double(read.size.width()), double(read.size.height()),
                 double(read.exifIfd), read.resolution.xPerMetre, read.resolution.yPerMetre }),
        QList<double>({ 4, 3, 8, 2835, 3780 }));
    QCOMPARE(read.tiffEntries.size(), size_t(2));
    QCOMPARE(read.tiffEntries[1].tag, quint16(33432));
    QCOMPARE(read.tiffEntries[1].value, sent.tiffEntries[1].value);

    sent = source("png");
    sent.chunks = { { "tEXt", "Title" }, { "iTXt", "Comment" } };
    read = Metadata::unpack(Metadata::pack(sent));
    QCOMPARE(read.chunks.size(), size_t(2));
    QCOMPARE(read.chunks[1].type + read.chunks[1].data, "iTXtComment");
    sent = source("jpg");
    sent.segments = { { 0xe1, "Exif" }, { 0xfe, "Tarvelo" } };
    read = Metadata::unpack(Metadata::pack(sent));
    QCOMPARE(read.segments.size(), size_t(2));
    QCOMPARE(
        QByteArray(1, char(read.segments[1].marker)) + read.segments[1].payload, "\xfeTarvelo");
}

void DecoderReplyTest::metadataFromAHostileDecoder_data()
{
    QTest::addColumn<QByteArray>("packed");
    QTest::addColumn<QString>("problem");
    const QString bad = "the decoder sent a malformed reply";
    Metadata::Source sent = source("jpg");
    // clang-format off
    sent.segments = { { 0xe1, QByteArray(65534, 'x') } };
    QTest::newRow("segment too long") << Metadata::pack(sent) << bad;
    sent.segments = { { 0xc4, "Tarvelo" } };
    QTest::newRow("marker not allowed") << Metadata::pack(sent) << bad;
    sent.segments = { { 0xfe, "Tarvelo" } };
    QTest::newRow("cut short") << Metadata::pack(sent).chopped(3) << bad;
    QTest::newRow("more after the end") << Metadata::pack(sent) + '\0' << bad;
    // After the format (10 bytes), the size (8), the resolution (16), the
    // profile and the problem (4 each, none): the pieces' count.
    QTest::newRow("a billion pieces") << Metadata::pack(source("jpg")).replace(42, 4, "\x40\0\0\0") << bad;
    QTest::newRow("nothing at all") << QByteArray() << "the decoder could not hand it over";
    sent = source("png");
    sent.chunks = { { "IDAT", "Tarvelo" } };
    QTest::newRow("chunk not allowed") << Metadata::pack(sent) << bad;
    sent = source("gif");
    QTest::newRow("format not written") << Metadata::pack(sent) << bad;
    sent = source("tif");
    sent.segments = { { 0xfe, "Tarvelo" } };
    QTest::newRow("pieces for another format") << Metadata::pack(sent) << bad;
    sent = source("tif");
    sent.exifIfd = 8;
    QTest::newRow("directory without a block") << Metadata::pack(sent) << bad;
    // What a piece holds is checked before it goes in (tst_piecechecks);
    // a tag number TIFF cannot hold costs only that tag.
    sent.exifIfd = 0;
    sent.tiffEntries = { { 315, 2, 4, "Ann!" } };
    QTest::newRow("tag number beyond TIFF's") << Metadata::pack(sent).replace(Metadata::pack(sent).size() - 20, 4, QByteArray("\0\1\1\x3b", 4))
                                               << "its TIFF tag 65851 was left out: TIFF has no such tag";
    // Not malformed, but nothing to believe: a resolution beyond any
    // printer.
    sent = source("png");
    sent.resolution = { 2e9, 2835 };
    QTest::newRow("resolution dropped") << Metadata::pack(sent) << "";
    // clang-format on
}

void DecoderReplyTest::metadataFromAHostileDecoder()
{
    QFETCH(QByteArray, packed);
    QFETCH(QString, problem);
    const Metadata::Source read = Metadata::unpack(packed);
    QCOMPARE(read.problem, problem);
    QVERIFY(read.segments.empty() && read.chunks.empty() && read.tiffEntries.empty());
    QVERIFY(read.tiffPrefix.isEmpty() && read.iccProfile.isEmpty() && !read.resolution.known());
    QCOMPARE(read.format.isEmpty(), problem.startsWith("the decoder"));
}

TARVELO_TEST_MAIN(DecoderReplyTest)
#include "tst_decoderreply.moc"
