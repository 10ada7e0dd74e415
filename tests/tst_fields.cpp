// SPDX-License-Identifier: GPL-3.0-or-later
// Fields in a text, filled in for one picture, and the capture date the
// decoder reads from EXIF's and XMP's ways of writing one.

#include "batch/fields.h"
#include "testsupport.h"

class FieldsTest : public QObject
{
    Q_OBJECT

private slots:
    void expand_data();
    void expand();
    void dates_data();
    void dates();
};

namespace {

// IMG_0042.jpg by Ann Example with a Canon, taken at 14:03 on 17 May 2024,
// last changed on 2 January 2025, the 7th of its run, 1920 x 1280 out.
Fields::Values photo()
{
    Fields::Values values;
    values.name = QStringLiteral("IMG_0042");
    values.metadata = { "2024-05-17T14:03:22", "Ann Example", "(c) 2024 Ann", "Canon",
        "Canon EOS R5", "RF24-105mm F4 L IS USM" };
    values.modified = QDateTime(QDate(2025, 1, 2), QTime(8, 30));
    values.output = QSize(1920, 1280);
    values.counter = 7;
    return values;
}

} // namespace

void FieldsTest::expand_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("filled");
    QTest::addColumn<QString>("unknown");
    QTest::addColumn<bool>("metadata"); // the decoder must read it
    // clang-format off
    QTest::newRow("every field") << "{name}|{date}|{time}|{year}|{artist}|{copyright}|{camera}|{lens}|{width}x{height}|{counter}"
        << "IMG_0042|2024-05-17|14:03|2024|Ann Example|(c) 2024 Ann|Canon EOS R5|RF24-105mm F4 L IS USM|1920x1280|7" << "" << true;
    QTest::newRow("padded counter") << "{counter:3}_{counter:1}_{counter:9}" << "007_7_000000007" << "" << false;
    QTest::newRow("counter widths not taken") << "{counter:0}{counter:10}{counter:}{counter:x}"
        << "{counter:0}{counter:10}{counter:}{counter:x}" << "{counter:0}|{counter:10}|{counter:}|{counter:x}" << false;
    QTest::newRow("braces") << "{{name}} {{ }} {{{name}}} a}b {" << "{name} { } {IMG_0042} a}b {" << "" << false;
    QTest::newRow("unknown fields stay as typed, each named once") << "%f $date {filename} {Name} {} {filename}"
        << "%f $date {filename} {Name} {} {filename}" << "{filename}|{Name}|{}" << false;
    QTest::newRow("a brace that opens before the close is a brace") << "{a{name}" << "{aIMG_0042" << "" << false;
    QTest::newRow("no fields") << "© Ann Example" << "© Ann Example" << "" << false;
    // clang-format on
}

void FieldsTest::expand()
{
    QFETCH(QString, text);
    QFETCH(QString, filled);
    QFETCH(QString, unknown);
    QFETCH(bool, metadata);
    QCOMPARE(Fields::expand(text, photo()), filled);
    QCOMPARE(Fields::unknown(text).join('|'), unknown);
    QCOMPARE(Fields::needsMetadata(text), metadata);
}

void FieldsTest::dates_data()
{
    QTest::addColumn<QString>("taken"); // as the decoder sends it
    QTest::addColumn<QString>("modified"); // the file's, yyyy-MM-dd HH:mm
    QTest::addColumn<QString>("filled"); // "{date} {time} {year}"
    // clang-format off
    QTest::newRow("capture date") << "2024-05-17T14:03:22" << "2025-01-02 08:30" << "2024-05-17 14:03 2024";
    QTest::newRow("date alone: no time") << "2024-05-17" << "2025-01-02 08:30" << "2024-05-17  2024";
    QTest::newRow("none: the file's") << "" << "2025-01-02 08:30" << "2025-01-02 08:30 2025";
    QTest::newRow("none at all") << "" << "" << "  ";
    // clang-format on
}

// What the decoder sends, and how each value fills its field; missing
// values are empty, and a name comes out as it is, braces and all.
void FieldsTest::dates()
{
    QFETCH(QString, taken);
    QFETCH(QString, modified);
    QFETCH(QString, filled);
    Fields::Values values;
    values.metadata.taken = taken;
    values.modified = QDateTime::fromString(modified, "yyyy-MM-dd HH:mm");
    values.name = "50% {off} & <b>\\";
    QCOMPARE(Fields::expand("{date} {time} {year}", values), filled);
    QCOMPARE(Fields::expand("{name}{artist}{camera}{lens}", values), values.name);

    // EXIF's and XMP's ways of writing a date, and what is no date.
    const QStringList written { "2024:05:17 14:03:22", "2024-05-17T14:03:22.45+02:00",
        "2024-05-17T14:03", "2024-05-17", "2024:05:17 25:00:00", "0000:00:00 00:00:00",
        "    :  :     :  :  ", "2024:02:30 10:00:00", "2024", "yesterday" };
    const QStringList read { "2024-05-17T14:03:22", "2024-05-17T14:03:22", "2024-05-17T14:03:00",
        "2024-05-17", "2024-05-17", "", "", "", "", "" };
    for (int k = 0; k < written.size(); ++k)
        QCOMPARE(PictureDates::normalised(written[k]), read[k]);
    // The camera's make once.
    const QStringList cameras[] = { { "Canon", "Canon EOS R5", "Canon EOS R5" },
        { "NIKON CORPORATION", "NIKON D750", "NIKON D750" },
        { "SONY", "ILCE-7M3", "SONY ILCE-7M3" },
        { "OLYMPUS IMAGING CORP.", "E-M5", "OLYMPUS E-M5" }, { "", "X100V", "X100V" },
        { "FUJIFILM", "", "FUJIFILM" } };
    for (const QStringList &camera : cameras)
        QCOMPARE(Fields::camera(camera[0], camera[1]), camera[2]);
}

TARVELO_TEST_MAIN(FieldsTest)
#include "tst_fields.moc"
