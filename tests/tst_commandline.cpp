// SPDX-License-Identifier: GPL-3.0-or-later
// tarvelo-cli's command line read into a request, or the usage error that
// names what is wrong.

#include "cli/commandline.h"
#include "testsupport.h"

class CommandLineTest : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
};

void CommandLineTest::parse_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected"); // the request, or "usage: <words in the message>"
    // clang-format off
    QTest::newRow("full") << QStringList { "--format=PNG", "--quality", "70", "--jobs=3", "--strip-metadata", "--null", "-o", "out", "a.jpg", "-", "--", "-b.jpg" }
                          << "png 70 3 1 1 out a.jpg|-|-b.jpg";
    QTest::newRow("last output counts") << QStringList { "-o", "one", "--output", "two", "x" } << " -1 0 0 0 two x";
    QTest::newRow("a set") << QStringList { "--set", "width_spin=640", "-o", "o", "x" } << " -1 0 0 0 o x width_spin=640";
    QTest::newRow("no output") << QStringList { "x.jpg" } << "usage: --output";
    QTest::newRow("no pictures") << QStringList { "-o", "out" } << "usage: name the pictures";
    QTest::newRow("output without folder") << QStringList { "x", "-o" } << "usage: --output";
    QTest::newRow("quality beyond") << QStringList { "--quality", "101", "-o", "o", "x" } << "usage: --quality";
    QTest::newRow("jobs zero") << QStringList { "--jobs", "0", "-o", "o", "x" } << "usage: --jobs";
    QTest::newRow("format") << QStringList { "--format", "gif", "-o", "o", "x" } << "usage: --format";
    QTest::newRow("unknown key") << QStringList { "--set", "nope=1", "-o", "o", "x" } << "usage: nope";
    // The nearest keys: a part of one, spelt out, shortened as the keys are, mistyped.
    QTest::newRow("part of a key") << QStringList { "--set", "bottom_radio=1", "-o", "o", "x" } << "usage: did you mean bottom_radio_radio?";
    QTest::newRow("spelt out") << QStringList { "--set", "font_color=1" } << "usage: did you mean fnt_clr?";
    QTest::newRow("part of two") << QStringList { "--set", "Watermark=1" } << "usage: did you mean wtrmark_edit, watermarkOpacitySpin?";
    QTest::newRow("mistyped") << QStringList { "--set", "txt_x_spn=1" } << "usage: did you mean txt_x_spin?";
    QTest::newRow("nothing near") << QStringList { "--set", "foo=1" } << "usage: \"foo\" (--list-settings";
    QTest::newRow("only the window sets it") << QStringList { "--set", "splitter=1" } << "usage: \"splitter\" (--list-settings";
    QTest::newRow("settings listed") << QStringList { "--list-settings", "--set", "shadow_spin=3" } << "list  -1 0 0 0   shadow_spin=3";
    QTest::newRow("flag with value") << QStringList { "--null=1", "-o", "o", "x" } << "usage: --null";
    QTest::newRow("unknown option") << QStringList { "--frobnicate", "-o", "o", "x" } << "usage: --frobnicate";
    // clang-format on
}

void CommandLineTest::parse()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);
    const Cli::Parsed parsed = Cli::parse(arguments);
    if (expected.startsWith("usage: ")) {
        QCOMPARE(parsed.outcome, Cli::Parsed::Outcome::Usage);
        QVERIFY2(parsed.message.contains(expected.mid(7)), qPrintable(parsed.message));
        return;
    }
    QCOMPARE(parsed.outcome,
        expected.startsWith("list ") ? Cli::Parsed::Outcome::ListSettings
                                     : Cli::Parsed::Outcome::Run);
    expected.remove(QRegularExpression("^list "));
    const Cli::Request &r = parsed.request;
    QString seen = QString::asprintf("%s %d %d %d %d %s", qPrintable(r.format), r.jpgQuality,
        r.jobs, int(r.stripMetadata), int(r.nullSeparated),
        qPrintable(r.output + ' ' + r.paths.join('|')));
    for (const auto &set : r.overrides)
        seen += ' ' + set.first + '=' + set.second.toString();
    QCOMPARE(seen, expected);
    QCOMPARE(Cli::parse({ "--help", "--bogus" }).outcome, Cli::Parsed::Outcome::Help);
}

TARVELO_TEST_MAIN(CommandLineTest)
#include "tst_commandline.moc"
