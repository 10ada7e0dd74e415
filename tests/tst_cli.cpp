// SPDX-License-Identifier: GPL-3.0-or-later
// tarvelo-cli run as a user runs it: a separate process, no display, its
// output lines, exit status and files compared with the window's own run.

#include "testsupport.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>

#include <sys/stat.h>

#include "batch/storedoptions.h"
#include "cli/clirun.h"
#include "cli/records.h"
#include "window/windowarguments.h"

using namespace TestSupport;

class CliTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        qunsetenv("DISPLAY"); // for the program run; this test's own display is up already
        qunsetenv("QT_QPA_PLATFORM");
        dir.reset(new QTemporaryDir);
        for (const char *folder : { "window", "cli", "out", "in", "good", "bad", "odd" })
            QDir(dir->path()).mkdir(folder);
        QSettings(QStringLiteral("Dovrin Halsek"), QStringLiteral("Tarvelo")).clear();
        environment = QProcessEnvironment::systemEnvironment();
        for (const char *variable : { "LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG" })
            environment.remove(variable);
    }
    void rangesAreTheControls();
    void sameFilesAsTheWindow_data();
    void sameFilesAsTheWindow();
    void keepsTheTree();
    void linesAndExitStatus_data();
    void linesAndExitStatus();
    void listSettings();
    void languages_data();
    void languages();
    void shellCompletion_data();
    void shellCompletion();

private:
    QString path(const QString &name) const { return dir->filePath(name); }
    QStringList files(const QString &name) const { return QDir(path(name)).entryList(QDir::Files); }
    QString picture(const QString &name, const QImage &image)
    {
        writeFile(path(name), encode(image, "png"));
        return path(name);
    }
    // Runs the program with no display; returns its exit status.
    int cli(const QStringList &arguments, const QByteArray &input = QByteArray())
    {
        process.reset(new QProcess);
        process->setProcessEnvironment(environment);
        process->start(QString::fromLocal8Bit(qgetenv("TARVELO_CLI")), arguments);
        process->write(input);
        process->closeWriteChannel();
        process->waitForFinished(120000);
        out = QString::fromLocal8Bit(process->readAllStandardOutput());
        return process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
    }

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<QProcess> process;
    QProcessEnvironment environment;
    QString out;
};

// The table's ranges are the ones the form's controls really have.
void CliTest::rangesAreTheControls()
{
    MainWindow window;
    for (const StoredOptions::Option &option : StoredOptions::all()) {
        QObject *control = option.control ? window.findChild<QObject *>(option.control) : nullptr;
        QCOMPARE(bool(control), option.control != nullptr);
        if (control && control->property("maximum").isValid())
            QCOMPARE(QVariantList({ control->property("minimum").toDouble(),
                         control->property("maximum").toDouble(),
                         control->property("decimals").toInt() }),
                QVariantList({ option.minimum, option.maximum, option.decimals }));
    }
}

void CliTest::sameFilesAsTheWindow_data()
{
    // Each row's name gives the format, the resize (full size, fitted
    // keeping proportions, stretched) and whether sizes are relative to the
    // picture.
    QTest::addColumn<quint32>("seed"); // of the other options
    QTest::addColumn<int>("anchor"); // of the logo, 0 to 8; the text's is 8 - anchor
    QTest::newRow("jpg, full size, corners") << 1u << 0;
    QTest::newRow("png, fitted, relative, right") << 2u << 5;
    QTest::newRow("tif, stretched, centre") << 3u << 4;
    QTest::newRow("tif, full size, relative, bottom") << 4u << 7;
    QTest::newRow("jpg, stretched, relative, top right") << 5u << 2;
}

// Random stored options, within every control's range but small enough for
// small pictures, and a stored logo; Start pressed while the window still
// reads the logo: the window's run waits for it, and the command line then
// writes the same files under the same names, byte for byte, metadata
// included.
void CliTest::sameFilesAsTheWindow()
{
    QFETCH(quint32, seed);
    QFETCH(int, anchor);
    QRandomGenerator random(seed);
    const QString logo = picture("logo.png", photoLike(30, 20, 7, true));
    const QStringList fonts { "DejaVu Sans,16,-1,5,50,0,0,0,0,0",
        "DejaVu Serif,11,-1,5,75,1,0,0,0,0" };
    QSettings store(QStringLiteral("Dovrin Halsek"), QStringLiteral("Tarvelo"));
    for (const StoredOptions::Option &option : StoredOptions::all()) {
        const auto between = [&](double low, double high) {
            return qMax(option.minimum, low)
                + random.bounded(qMin(option.maximum, high) - qMax(option.minimum, low));
        };
        const QVariant values[] = { random.bounded(3) == 0, int(between(-60, 260)),
            int(between(0, 3) * 100) / 100.0,
            QStringLiteral(" Stamp %1 {name} {counter:2} {camera}").arg(random.generate()), logo,
            fonts[random.bounded(2)], random.generate(), QByteArray() };
        store.setValue(option.key, values[int(option.type)]);
    }
    // One name for all would be told apart by the time of writing.
    store.setValue("name_pattern", QStringLiteral("{counter:2} {name} Stamp"));
    store.sync();
    QVERIFY(writeFile(path("in/p0.jpg"),
        jpegWith(QByteArray::fromHex(data("kite-exif.hex")), data("kite.xmp"), "a comment")));
    for (int k = 1; k < 3; ++k)
        picture(QStringLiteral("in/p%1.png").arg(k),
            photoLike(160 - 40 * k, 90 + 30 * k, seed + k, k == 1));

    auto window = std::make_unique<MainWindow>();
    Ui::MainWindow *ui = WindowProbe::ui(*window);
    placeAt(ui, anchor);
    const QString look = QTest::currentDataTag();
    window->findChild<QRadioButton *>("out" + look.left(3) + "_radio")->setChecked(true);
    ui->resize_check->setChecked(!look.contains("full size"));
    ui->aspect_check->setChecked(look.contains("fitted"));
    ui->relative_check->setChecked(look.contains("relative"));
    // Listed as a drop of the folder lists it, without a round of events.
    for (const QString &name : files("in"))
        ui->files_list->addItem(path("in/" + name));
    QVERIFY(WindowProbe::readingLogo(*window));
    QVERIFY(stampAll(*window, path("window")));

    // The window saved its options when the run started.
    QCOMPARE(cli({ "-o", path("cli"), path("in") }), 0);
    QCOMPARE(files("cli"), files("window"));
    QCOMPARE(files("cli").size(), 3);
    for (const QString &name : files("cli"))
        QVERIFY2(
            readFile(path("cli/" + name)) == readFile(path("window/" + name)), qPrintable(name));
}

// A folder per day of an event, the same names in each, and a picture
// named on its own: the window's run and the command line's make the same
// files in the same folders, byte for byte, as WebP.
void CliTest::keepsTheTree()
{
    for (int day = 1; day <= 3; ++day) {
        QVERIFY(QDir().mkpath(path(QStringLiteral("in/day %1/raw").arg(day))));
        for (const char *name : { "IMG_0001.png", "raw/IMG_0001.png" })
            picture(QStringLiteral("in/day %1/%2").arg(day).arg(name),
                photoLike(40 + day, 30, quint32(day) + quint32(strlen(name))));
    }
    const QString alone = picture("good/IMG_0001.png", photoLike(20, 20, 9));
    auto window = std::make_unique<MainWindow>();
    Ui::MainWindow *ui = WindowProbe::ui(*window);
    ui->resize_check->setChecked(false); // the command line takes the options the window saves
    ui->keep_tree_check->setChecked(true);
    ui->outwebp_radio->setChecked(true);
    ui->name_pattern->setText("{name}_{counter:2}");
    WindowArguments::listAsDropped(window.get(), { path("in"), alone });
    QTRY_VERIFY(WindowProbe::settled(*window));
    QVERIFY(stampAll(*window, path("window")));
    QCOMPARE(cli({ "--keep-tree", "--format", "webp", "--name", ui->name_pattern->text(), "-o",
                 path("cli"), path("in"), alone }),
        0);

    const auto tree = snapshot(path("window"));
    QCOMPARE(QStringList(tree.keys()).filter(".webp"),
        QStringList({ "IMG_0001_07.webp", "day 1/IMG_0001_01.webp", "day 1/raw/IMG_0001_02.webp",
            "day 2/IMG_0001_03.webp", "day 2/raw/IMG_0001_04.webp", "day 3/IMG_0001_05.webp",
            "day 3/raw/IMG_0001_06.webp" }));
    QVERIFY(tree == snapshot(path("cli")));
    QCOMPARE(QImage(path("cli/day 2/raw/IMG_0001_04.webp")).width(), 42);
}

void CliTest::linesAndExitStatus_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("lines"); // "ok name" / "failed name", sorted
    QTest::addColumn<QString>("complaint"); // on standard error, for a usage error
    const QStringList text { "--set", "wtrmark_edit=(c) Ann" };
    // clang-format off
    // The text runs past the small pictures' edges when not scaled: said, and stamped all the same.
    QTest::newRow("all stamped") << text + QStringList { "--set", "resize_check=false", "good/a.png", "good" } << QByteArray() << 0 << "ok a.png|ok a.png|ok b.png" << "b.png: the text lies outside the picture.\n";
    QTest::newRow("some failed") << text + QStringList { "good/b.png", "bad", "bad/fifo.jpg", "gone.png" } << QByteArray() << 1
                                 << "failed cut.png|failed fifo.jpg|failed gone.png|failed huge.jpg|ok b.png" << "";
    QTest::newRow("list on stdin") << text + QStringList { "-" } << QByteArray("good/b.png\n\nbad/cut.png\ngood\n") << 1 << "failed cut.png|ok a.png|ok b.png|ok b.png" << "";
    QTest::newRow("NUL-separated list") << text + QStringList { "--null", "-" } << QByteArrayLiteral("good/b.png\0bad/cut.png\0") << 1 << "failed cut.png|ok b.png" << "";
    // find -print0's list read as lines would be one name: all but one dropped.
    QTest::newRow("NUL in a list of lines") << text + QStringList { "-" } << QByteArrayLiteral("good/b.png\0good/a.png\0") << 2 << "" << "the list holds NUL bytes: use --null";
    QTest::newRow("unknown key") << QStringList { "--set", "no_such_key=1", "good" } << QByteArray() << 2 << "" << "no_such_key";
    // The output folder is checked before any picture: nothing is read.
    QTest::newRow("output folder missing") << text + QStringList { "-o", "nowhere", "good" } << QByteArray() << 2 << "" << "nowhere";
    QTest::newRow("output folder takes no files") << text + QStringList { "-o", "/sys", "good" } << QByteArray() << 2 << "" << "/sys";
    // A first run would stamp the form's placeholder: refused, with the way out.
    QTest::newRow("first run without text") << QStringList { "--journal", "journal", "good" } << QByteArray() << 2 << "" << "--set wtrmark_edit=";
    QTest::newRow("no text given on purpose") << QStringList { "--set", "wtrmark_edit=", "good/a.png" } << QByteArray() << 0 << "ok a.png" << "";
    QTest::newRow("font not installed") << text + QStringList { "--set", "font=No Such Font,12", "good/a.png" } << QByteArray() << 0 << "ok a.png"
                                        << "the font \"No Such Font\" is not installed; \"";
    QTest::newRow("unknown field") << QStringList { "--set", "wtrmark_edit={foo} {name}", "--set", "text_fields_check=true", "good" } << QByteArray() << 0
                                   << "ok a.png|ok b.png" << "tarvelo-cli: The watermark text holds the unknown field {foo}: it is stamped as typed.\n2 stamped";
    // A name and a loss line that would move a terminal's cursor and break the line.
    QTest::newRow("control characters escaped") << text + QStringList { "odd" } << QByteArray() << 0 << "ok e\\x1b[1mx\\nname.jpg"
        << "e\\x1b[1mx\\nname.jpg: its metadata could not be carried over (its XMP packet is malformed).\n";
    // clang-format on
}

// Failed pictures get a line of their own and leave nothing behind; a usage
// error names the key and writes nothing at all.
void CliTest::linesAndExitStatus()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(int, status);
    QFETCH(QString, lines);
    QFETCH(QString, complaint);
    QDir::setCurrent(dir->path());
    picture("good/a.png", photoLike(40, 30, 1));
    picture("good/b.png", photoLike(30, 40, 2));
    QVERIFY(writeFile(path("bad/cut.png"), encode(photoLike(40, 30), "png").left(200)));
    QVERIFY(writeFile(path("bad/huge.jpg"), jpegClaiming(20000, 20000)));
    QVERIFY(::mkfifo(qPrintable(path("bad/fifo.jpg")), 0600) == 0);
    const QByteArray jpeg = encode(photoLike(40, 30), "jpg");
    QVERIFY(writeFile(path("odd/e\x1b[1mx\nname.jpg"),
        jpeg.left(2) + segment('\xe1', QByteArray("http://ns.adobe.com/xap/1.0/\0<x:", 32))
            + jpeg.mid(2)));

    QCOMPARE(cli(QStringList { "--format", "png", "-o", "out" } + arguments, input), status);
    QStringList seen;
    for (const QString &line : out.split('\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split('\t');
        QCOMPARE(fields.size(), 3);
        seen << fields[0] + " " + QFileInfo(fields[1]).fileName();
        if (fields[0] == "ok")
            QVERIFY(!QImage(Records::unfield(fields[2].toLocal8Bit())).isNull());
    }
    seen.sort();
    QCOMPARE(seen.join('|'), lines);
    QCOMPARE(files("out").size(), int(lines.count("ok ")));
    const QByteArray errors = process->readAllStandardError();
    QVERIFY2(errors.contains(complaint.toLocal8Bit()), errors.constData());
    QCOMPARE(QFileInfo::exists("journal"), false);
}

// Every key the window stores is listed, with its first-run default and
// the value in effect: the store's, or the last --set's.
void CliTest::listSettings()
{
    {
        MainWindow window;
        WindowProbe::ui(window)->shadow_spin->setValue(40);
    } // saved as it closes
    QCOMPARE(cli({ "--list-settings", "--set", "width_spin=800", "--set", "fnt_clr=#102030" }), 0);
    QMap<QString, QStringList> listed;
    for (const QString &line : out.split('\n', Qt::SkipEmptyParts))
        listed.insert(line.section('\t', 0, 0), line.split('\t'));
    for (const QStringList &fields : listed)
        QVERIFY2(fields.size() == 5 && !fields[1].isEmpty() && !fields[4].isEmpty(),
            qPrintable(fields[0]));
    const QStringList stored
        = QSettings(QStringLiteral("Dovrin Halsek"), QStringLiteral("Tarvelo")).allKeys();
    QVERIFY(stored.size() >= 44);
    for (const QString &key : stored)
        QVERIFY2(listed.contains(key), qPrintable(key));
    QCOMPARE(listed.value("shadow_spin").mid(1, 3), QStringList({ "int 0..1000", "15", "40" }));
    QCOMPARE(listed.value("width_spin").value(3), "800");
    QCOMPARE(listed.value("fnt_clr").mid(2, 2), QStringList({ "#ffffff", "#102030" }));
}

void CliTest::languages_data()
{
    QTest::addColumn<QStringList>("locale"); // variables set
    QTest::addColumn<QString>("message"); // begins the usage error
    QTest::addColumn<QString>("logo"); // why a malformed SVG logo is refused
    QTest::newRow("German") << QStringList { "LANG=de_DE.UTF-8" }
                            << "--set: Es gibt keine Einstellung"
                            << "(bad.svg konnte nicht gelesen werden: ihr XML ist fehlerhaft: ";
    QTest::newRow("German by LANGUAGE")
        << QStringList { "LANG=fr_FR.UTF-8", "LANGUAGE=de_AT:fr" } << "--set: Es gibt keine"
        << "konnte nicht gelesen werden: ihr XML";
    // gettext's rule: the C locale is English whatever LANGUAGE asks for.
    QTest::newRow("C, LANGUAGE German")
        << QStringList { "LC_ALL=C", "LANGUAGE=de", "LANG=de_DE.UTF-8" } << "--set: there is no"
        << "(bad.svg could not be read: its XML is malformed: ";
}

// Messages for people come in the user's language; the result lines never
// do, and their reasons stay English too.
void CliTest::languages()
{
    QFETCH(QStringList, locale);
    QFETCH(QString, message);
    QFETCH(QString, logo);
    for (const QString &variable : locale)
        environment.insert(variable.section('=', 0, 0), variable.section('=', 1));
    QCOMPARE(cli({ "--set", "no_such=1", "-o", path("out"), path("bad") }), 2);
    QVERIFY2(
        QString::fromUtf8(process->readAllStandardError()).startsWith("tarvelo-cli: " + message),
        qPrintable(message));
    // The decoder gives its reasons in English; they are shown translated.
    QVERIFY(writeFile(path("bad.svg"), "<svg width='9' height='9'><g></svg>"));
    QCOMPARE(cli({ "--set", "wtrmark_edit=", "--set", "logo_file_name=" + path("bad.svg"), "-o",
                 path("out"), path("bad") }),
        2);
    const QString refused = QString::fromUtf8(process->readAllStandardError());
    QVERIFY2(refused.contains(logo), qPrintable(refused));
    QVERIFY(writeFile(path("bad/cut.png"), encode(photoLike(40, 30), "png").left(200)));
    QCOMPARE(cli({ "--set", "wtrmark_edit=", "-o", path("out"), path("bad/cut.png") }), 1);
    QVERIFY2(out.startsWith("failed\t" + path("bad/cut.png") + "\tcut.png is damaged: "),
        qPrintable(out));
}

void CliTest::shellCompletion_data()
{
    QTest::addColumn<QStringList>("words"); // typed after the program's name; the last is completed
    QTest::addColumn<QStringList>("expected");
    // What the program itself offers: the long options of its --help, the
    // values it names for --format, and the stored options' keys.
    cli({ "--help" });
    QStringList options, keys;
    for (const QString &line : out.split('\n')) {
        if (!line.startsWith("  -"))
            continue;
        const QString head = line.trimmed().section(QRegularExpression("\\s{2,}"), 0, 0);
        for (const QString &word : head.split(QRegularExpression("[ ,]+")))
            if (word.startsWith("--"))
                options << word;
    }
    const QStringList formats
        = QRegularExpression("--format (\\S+)").match(out).captured(1).split('|');
    for (const StoredOptions::Option &option : StoredOptions::all())
        if (option.type != StoredOptions::Type::Layout) // only the window sets these
            keys << QString::fromLatin1(option.key) + '=';
    QVERIFY(options.size() > 5 && formats.size() == 4);
    QTest::newRow("options") << QStringList { "--" } << options;
    QTest::newRow("formats") << QStringList { "--format", "" } << formats;
    QTest::newRow("keys") << QStringList { "--set", "" } << keys;
    QTest::newRow("keys begun") << QStringList { "--out", "x", "--set", "wtr" }
                                << keys.filter(QRegularExpression("^wtr"));
}

// The completion script run by bash as the shell runs it at a TAB.
void CliTest::shellCompletion()
{
    QFETCH(QStringList, words);
    QFETCH(QStringList, expected);
    QProcess shell;
    shell.start("bash",
        QStringList { "-c",
            ". \"$0\"; COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); _tarvelo_cli 2>/dev/null; "
            "printf '%s\\n' \"${COMPREPLY[@]}\"",
            qEnvironmentVariable("TARVELO_SOURCE_DIR") + "/dist/tarvelo-cli.bash",
            qEnvironmentVariable("TARVELO_CLI") }
            + words);
    QVERIFY(shell.waitForFinished());
    QStringList offered
        = QString::fromUtf8(shell.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    offered.sort();
    expected.sort();
    QCOMPARE(offered, expected);
}

TARVELO_TEST_MAIN(CliTest)
#include "tst_cli.moc"
