// SPDX-License-Identifier: GPL-3.0-or-later
// Stored options into a run's options: one rule for a set of radio buttons
// (the last one stored as checked wins, else the form's), values settled
// into their controls' ranges, and text from the command line checked.

#include "batch/storedoptions.h"
#include "testsupport.h"

class StoredOptionsTest : public QObject
{
    Q_OBJECT

private slots:
    void resolve_data();
    void resolve();
    void fromText_data();
    void fromText();
    void textRoundTrip();
};

void StoredOptionsTest::resolve_data()
{
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<QString>("expected"); // anchors, bar, suffix, scale, bar height, quality, resize
    // clang-format off
    // A first run resizes, keeping proportions.
    QTest::newRow("nothing stored") << QVariantMap() << "1 1 2 1 jpg 1 15 90 11";
    QTest::newRow("two anchors checked")
        << QVariantMap { { "txt_top_btn", true }, { "txt_botright_btn", true }, { "logo_center_btn", "true" } }
        << "9 5 2 1 jpg 1 15 90 11";
    QTest::newRow("none of a set checked")
        << QVariantMap { { "txt_topleft_btn", false }, { "bottom_radio_radio", false }, { "dark_radio", false }, { "outjpg_radio", false } }
        << "1 1 2 1 jpg 1 15 90 11";
    // The form's own choice (checked on a first run) comes later in each set.
    QTest::newRow("top, light, tif")
        << QVariantMap { { "top_radio", true }, { "bottom_radio_radio", false }, { "light_radio", 1 }, { "dark_radio", false }, { "outpng_radio", true }, { "outtif_radio", true } }
        << "1 1 1 2 tif 1 15 90 11";
    QTest::newRow("top, but bottom stored later") << QVariantMap { { "top_radio", true } } << "1 1 2 1 jpg 1 15 90 11";
    QTest::newRow("clamped and rounded")
        << QVariantMap { { "scale_spin", 1.006 }, { "shadow_spin", 5000 }, { "comp_slider", "x" }, { "resize_check", false } }
        << "1 1 2 1 jpg 1.01 1000 1 01";
    // clang-format on
}

void StoredOptionsTest::resolve()
{
    QFETCH(QVariantMap, stored);
    QFETCH(QString, expected);
    const StoredOptions::RunOptions run = StoredOptions::resolve(
        [&](const StoredOptions::Option &option) { return stored.value(option.key); });
    const StampOptions &s = run.stamp;
    QCOMPARE(QString::asprintf("%d %d %d %d %s %g %d %d %d%d", int(s.textAnchor), int(s.logoAnchor),
                 int(s.shadowEdge), int(s.shadowTone), qPrintable(run.suffix), s.logoScale,
                 s.shadowHeight, run.jpgQuality, int(s.resizeEnabled), int(s.keepAspectRatio)),
        expected);
}

void StoredOptionsTest::fromText_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariant>("value"); // invalid: refused
    // clang-format off
    QTest::newRow("bool") << "resize_check" << " TRUE " << QVariant(true);
    QTest::newRow("not a bool") << "resize_check" << "yes" << QVariant();
    QTest::newRow("int at its maximum") << "width_spin" << "99999" << QVariant(99999);
    QTest::newRow("int beyond") << "width_spin" << "100000" << QVariant();
    QTest::newRow("double rounded") << "scale_spin" << "0.294" << QVariant(0.29);
    QTest::newRow("colour by name") << "fnt_clr" << "#102030" << QVariant(0xff102030u);
    QTest::newRow("no font") << "font" << "a,b,c" << QVariant();
    // QFont trims it first and would complain on the console.
    QTest::newRow("blank family") << "font" << " ,12" << QVariant();
    // clang-format on
}

void StoredOptionsTest::fromText()
{
    QFETCH(QString, key);
    QFETCH(QString, text);
    QFETCH(QVariant, value);
    QVariant parsed;
    static QStringList messages;
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext &, const QString &text) { messages << text; });
    const QString problem = StoredOptions::fromText(*StoredOptions::find(key), text, &parsed);
    qInstallMessageHandler(previous);
    QCOMPARE(messages, QStringList());
    QCOMPARE(problem.isEmpty(), value.isValid());
    QVERIFY(problem.isEmpty() || problem.contains(key));
    if (value.isValid())
        QCOMPARE(parsed, value);
}

// What --list-settings shows is what --set takes back, for every key it
// takes (the colour's alpha byte is never used).
void StoredOptionsTest::textRoundTrip()
{
    using namespace StoredOptions;
    for (const Option &option : all())
        for (const QVariant &stored :
            { option.fallback, QVariant(option.maximum), QVariant(0xff8090a0u) }) {
            QVariant back;
            const QString text = toText(option, settled(option, stored));
            QVERIFY(option.type == Type::Layout
                || (StoredOptions::fromText(option, text, &back).isEmpty()
                    && toText(option, settled(option, back)) == text));
        }
}

TARVELO_TEST_MAIN(StoredOptionsTest)
#include "tst_storedoptions.moc"
