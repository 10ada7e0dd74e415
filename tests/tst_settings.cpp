// The options kept between runs: what a first run starts with, how stored
// values come back (exclusive sets, offsets after anchors, opaque colours, the
// resize controls, malformed values, the logo file) and what every normal exit
// writes. Each case starts from an empty store in this test's own
// configuration folder.

#include <QTemporaryDir>
#include <QtTest>

#include "testsupport.h"

using namespace TestSupport;

namespace {

const QString organisation = QStringLiteral("Dovrin Halsek");
const QString application = QStringLiteral("Tarvelo");

// Every key of the store with its first-run value, which also fixes the
// type the key is written with.
const QList<QPair<QString, QVariant>> &storedKeys()
{
    static QList<QPair<QString, QVariant>> keys;
    if (keys.isEmpty()) {
        for (const char *set : { "txt_", "logo_" })
            for (const char *anchor : { "topleft", "top", "topright", "left", "center", "right",
                     "botleft", "bot", "botright" })
                keys.append({ QStringLiteral("%1%2_btn").arg(set, anchor),
                    anchor == QLatin1String("topleft") });
        // clang-format off
        keys += { { "scale_spin", 1.0 }, { "logo_file_name", QString() }, { "font", "Cambria,18,-1,5,50,0,0,0,0,0" },
            { "wtrmark_edit", "Enter your text here!" }, { "fnt_clr", 0xFFFFFFFFu }, { "shadow_spin", 15 },
            { "x_spin", 0 }, { "y_spin", 0 }, { "top_radio", false }, { "bottom_radio_radio", true },
            { "light_radio", false }, { "dark_radio", true }, { "txt_x_spin", 20 }, { "txt_y_spin", 20 },
            { "actual_radio", true }, { "fit_radio", false }, { "resize_check", true }, { "aspect_check", false },
            { "width_spin", 1920 }, { "height_spin", 1920 }, { "outjpg_radio", true }, { "outpng_radio", false },
            { "outtif_radio", false }, { "comp_slider", 90 }, { "watermarkOpacitySpin", 100 }, { "logoOpacitySpin", 100 } };
        // clang-format on
    }
    return keys;
}

// `value` converted to the type of `key`'s first-run value.
QVariant asKeyType(const QString &key, QVariant value)
{
    for (const auto &stored : storedKeys())
        if (stored.first == key)
            value.convert(stored.second.userType());
    return value;
}

// What the window shows for `key`, typed like the key's first-run value.
QVariant observed(MainWindow &w, const QString &key)
{
    if (key == QLatin1String("logo_file_name"))
        return WindowProbe::logoFileName(w);
    if (key == QLatin1String("font"))
        return WindowProbe::textFont(w).toString();
    if (key == QLatin1String("fnt_clr"))
        return uint(WindowProbe::textColor(w).rgba());
    // One key is not named after its control.
    QObject *object = w.findChild<QObject *>(key == "bottom_radio_radio" ? "bottom_radio" : key);
    if (auto *button = qobject_cast<QAbstractButton *>(object))
        return button->isChecked();
    if (auto *edit = qobject_cast<QLineEdit *>(object))
        return edit->text();
    return asKeyType(key, object ? object->property("value") : QVariant());
}

void writeStore(const QVariantMap &values)
{
    QSettings settings(organisation, application);
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        settings.setValue(it.key(), it.value());
}

QVariantMap readStore()
{
    QSettings settings(organisation, application);
    QVariantMap values;
    for (const QString &key : settings.allKeys())
        values.insert(key, settings.value(key));
    return values;
}

QByteArray storeFileText()
{
    return readFile(QSettings(organisation, application).fileName());
}

} // namespace

class SettingsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void firstRunDefaults();
    void exclusiveSets_data();
    void exclusiveSets();
    void offsetsSurviveTheirAnchors();
    void colourComesBackOpaque_data();
    void colourComesBackOpaque();
    void resizeControlsFollowStoredCheck_data();
    void resizeControlsFollowStoredCheck();
    void unchangedRunWritesEveryKey();
    void changedOptionsSurviveARestart();
    void fontSampleShowsRestoredFont();
    void malformedValues_data();
    void malformedValues();
    void logoThatCannotBeReadKeepsItsPath_data();
    void logoThatCannotBeReadKeepsItsPath();
};

void SettingsTest::initTestCase()
{
    // The store must be this test's own, never the user's configuration.
    const QString file = QSettings(organisation, application).fileName();
    QVERIFY2(!file.startsWith(QDir::homePath() + QLatin1String("/.config/")), qPrintable(file));
    const QString folder = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!folder.isEmpty())
        QVERIFY2(file.startsWith(folder + QLatin1Char('/')), qPrintable(file));
    QVERIFY(file.endsWith(QLatin1String("/Dovrin Halsek/Tarvelo.conf")));
}

void SettingsTest::init()
{
    QSettings settings(organisation, application);
    settings.clear();
    settings.sync();
    QFile::remove(settings.fileName());
    QVERIFY(readStore().isEmpty());
}

void SettingsTest::firstRunDefaults()
{
    MainWindow w;
    for (const auto &key : storedKeys())
        QVERIFY2(observed(w, key.first) == key.second,
            qPrintable(key.first + ": " + observed(w, key.first).toString()));
    Ui::MainWindow *ui = WindowProbe::ui(w);
    QCOMPARE(WindowProbe::textFont(w).family(), QStringLiteral("Cambria"));
    QCOMPARE(WindowProbe::textFont(w).pointSize(), 18);
    QVERIFY(WindowProbe::logoImage(w).isNull());
    QVERIFY(ui->width_spin->isEnabled() && ui->height_spin->isEnabled()
        && ui->aspect_check->isEnabled());
    // Reading creates nothing: the store stays empty until the exit.
    QVERIFY(readStore().isEmpty());
}

void SettingsTest::exclusiveSets_data()
{
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<QStringList>("set");
    QTest::addColumn<QString>("checked");

    QStringList textAnchors;
    QVariantMap allFalse;
    for (int i = 0; i < 9; ++i) {
        textAnchors << storedKeys().at(i).first;
        allFalse.insert(storedKeys().at(i).first, false);
    }
    const QStringList logoAnchors = { "logo_left_btn", "logo_center_btn" };
    const QStringList shadowPosition = { "top_radio", "bottom_radio" };
    const QStringList output = { "outjpg_radio", "outpng_radio", "outtif_radio" };
    // clang-format off
    // With none true the form's own choice stays.
    QTest::newRow("text anchors all false") << allFalse << textAnchors << "txt_topleft_btn";
    QTest::newRow("shadow position both false") << QVariantMap { { "top_radio", false }, { "bottom_radio_radio", false } } << shadowPosition << "bottom_radio";
    QTest::newRow("output none") << QVariantMap { { "outjpg_radio", false }, { "outpng_radio", false }, { "outtif_radio", false } } << output << "outjpg_radio";
    QTest::newRow("preview both false") << QVariantMap { { "actual_radio", false }, { "fit_radio", false } } << QStringList { "actual_radio", "fit_radio" } << "fit_radio";
    // Otherwise the last one stored true wins.
    QTest::newRow("text anchors top and bot") << QVariantMap { { "txt_topleft_btn", false }, { "txt_top_btn", true }, { "txt_bot_btn", true } } << textAnchors << "txt_bot_btn";
    QTest::newRow("logo anchors left and center") << QVariantMap { { "logo_left_btn", true }, { "logo_center_btn", true } } << logoAnchors << "logo_center_btn";
    QTest::newRow("shadow type both true") << QVariantMap { { "light_radio", true }, { "dark_radio", true } } << QStringList { "light_radio", "dark_radio" } << "dark_radio";
    QTest::newRow("output jpg and tif") << QVariantMap { { "outjpg_radio", true }, { "outtif_radio", true } } << output << "outtif_radio";
    // clang-format on
}

// Each button of a set is its own key.
void SettingsTest::exclusiveSets()
{
    QFETCH(QVariantMap, stored);
    QFETCH(QStringList, set);
    QFETCH(QString, checked);
    writeStore(stored);
    MainWindow w;
    for (const QString &name : set)
        QVERIFY2(w.findChild<QAbstractButton *>(name)->isChecked() == (name == checked),
            qPrintable(name));
}

// Both anchors move at once: the text anchor's reset must not touch the
// logo's offsets and the other way round.
void SettingsTest::offsetsSurviveTheirAnchors()
{
    writeStore({ { "txt_topleft_btn", false }, { "txt_bot_btn", true }, { "txt_x_spin", -40 },
        { "txt_y_spin", 9 }, { "logo_topleft_btn", false }, { "logo_top_btn", true },
        { "x_spin", 3 }, { "y_spin", 4 } });
    MainWindow w;
    Ui::MainWindow *ui = WindowProbe::ui(w);
    QVERIFY(ui->txt_bot_btn->isChecked());
    QVERIFY(ui->logo_top_btn->isChecked());
    QCOMPARE(ui->txt_x_spin->value(), -40);
    QCOMPARE(ui->txt_y_spin->value(), 9);
    QCOMPARE(ui->x_spin->value(), 3);
    QCOMPARE(ui->y_spin->value(), 4);
}

void SettingsTest::colourComesBackOpaque_data()
{
    QTest::addColumn<uint>("stored");
    QTest::addColumn<uint>("restored");
    QTest::newRow("half transparent") << 0x80112233u << 0xFF112233u;
    QTest::newRow("opaque") << 0xFF336699u << 0xFF336699u;
}

// The stored alpha is not used: the text colour always comes back opaque,
// and the opaque value is what the next exit writes.
void SettingsTest::colourComesBackOpaque()
{
    QFETCH(uint, stored);
    QFETCH(uint, restored);
    writeStore({ { "fnt_clr", stored } });
    {
        MainWindow w;
        QCOMPARE(uint(WindowProbe::textColor(w).rgba()), restored);
    }
    QVERIFY(storeFileText().contains("\nfnt_clr=" + QByteArray::number(restored) + '\n'));
}

void SettingsTest::resizeControlsFollowStoredCheck_data()
{
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<bool>("resize");
    QTest::newRow("stored false as text") << QVariantMap { { "resize_check", "false" } } << false;
    QTest::newRow("absent") << QVariantMap {} << true;
    // The sizes and the aspect check are applied after the step, disabled
    // or not.
    QTest::newRow("stored false with sizes") << QVariantMap { { "resize_check", false },
        { "width_spin", 800 }, { "height_spin", 600 }, { "aspect_check", true } }
                                             << false;
}

void SettingsTest::resizeControlsFollowStoredCheck()
{
    QFETCH(QVariantMap, stored);
    QFETCH(bool, resize);
    writeStore(stored);
    MainWindow w;
    Ui::MainWindow *ui = WindowProbe::ui(w);
    QCOMPARE(ui->resize_check->isChecked(), resize);
    QCOMPARE(ui->width_spin->isEnabled(), resize);
    QCOMPARE(ui->height_spin->isEnabled(), resize);
    QCOMPARE(ui->aspect_check->isEnabled(), resize);
    QCOMPARE(ui->width_spin->value(), stored.value("width_spin", 1920).toInt());
    QCOMPARE(ui->height_spin->value(), stored.value("height_spin", 1920).toInt());
    QCOMPARE(ui->aspect_check->isChecked(), stored.value("aspect_check", false).toBool());
}

// A run in which nothing changes writes every key, with the values shown at
// start-up and with the key's own type.
void SettingsTest::unchangedRunWritesEveryKey()
{
    QStringList expectedKeys;
    for (const auto &key : storedKeys())
        expectedKeys << key.first;
    expectedKeys.sort();
    {
        MainWindow w;
        QSettings *settings = WindowProbe::settings(w);
        QCOMPARE(settings->organizationName(), organisation);
        QCOMPARE(settings->applicationName(), application);
        QCOMPARE(settings->format(), QSettings::NativeFormat);
        QCOMPARE(settings->scope(), QSettings::UserScope);
        QCOMPARE(settings->parent(), &w);
        // The store holds what was written until it is flushed at the
        // window's end, so the written types can be seen here.
        WindowProbe::saveSettings(w);
        QStringList written = settings->allKeys();
        written.sort();
        QCOMPARE(written, expectedKeys);
        for (const auto &key : storedKeys()) {
            const QVariant value = settings->value(key.first);
            QVERIFY2(value.userType() == key.second.userType() && value == key.second,
                qPrintable(key.first + ": " + value.typeName() + " " + value.toString()));
        }
    }
    // And in the file, after the window has gone.
    const QVariantMap stored = readStore();
    QCOMPARE(stored.keys(), expectedKeys);
    for (const auto &key : storedKeys())
        QVERIFY2(
            asKeyType(key.first, stored.value(key.first)) == key.second, qPrintable(key.first));
    // The font description holds commas; it must come back as one string.
    QCOMPARE(stored.value("font").userType(), int(QMetaType::QString));
    const QByteArray text = storeFileText();
    QVERIFY(text.contains("\nbottom_radio_radio=true\n"));
    QVERIFY(!text.contains("\nbottom_radio="));
    QVERIFY(text.contains("\nfnt_clr=4294967295\n"));
    QVERIFY(text.contains("\nscale_spin=1\n"));
}

// What the user set comes back at the next start and is written again
// unchanged at the next exit.
void SettingsTest::changedOptionsSurviveARestart()
{
    QTemporaryDir dir;
    const QString logoPath = dir.filePath("logo.png");
    QVERIFY(solid(40, 30, QColor(200, 20, 20, 180)).save(logoPath));
    // clang-format off
    const QVariantMap changed = { { "txt_topleft_btn", false }, { "txt_center_btn", true }, { "logo_topleft_btn", false },
        { "logo_botright_btn", true }, { "scale_spin", 2.5 }, { "logo_file_name", logoPath },
        { "font", "DejaVu Sans,12,-1,5,75,1,0,0,0,0" }, { "wtrmark_edit", "Hello, world; \"quoted\" = fine" },
        { "fnt_clr", 0xFF336699u }, { "shadow_spin", 40 }, { "x_spin", 11 }, { "y_spin", -3 }, { "top_radio", true },
        { "bottom_radio_radio", false }, { "light_radio", true }, { "dark_radio", false }, { "txt_x_spin", 5 },
        { "txt_y_spin", 7 }, { "actual_radio", false }, { "fit_radio", true }, { "resize_check", false },
        { "aspect_check", true }, { "width_spin", 800 }, { "height_spin", 600 }, { "outjpg_radio", false },
        { "outpng_radio", true }, { "comp_slider", 75 }, { "watermarkOpacitySpin", 55 }, { "logoOpacitySpin", 70 } };
    // clang-format on
    writeStore(changed);
    {
        MainWindow w;
        for (auto it = changed.cbegin(); it != changed.cend(); ++it)
            QVERIFY2(
                observed(w, it.key()) == asKeyType(it.key(), it.value()), qPrintable(it.key()));
        QCOMPARE(WindowProbe::logoImage(w).pixelColor(5, 5), QColor(200, 20, 20, 180));
    }
    const QVariantMap stored = readStore();
    QCOMPARE(stored.size(), storedKeys().size());
    for (const auto &key : storedKeys())
        QVERIFY2(asKeyType(key.first, stored.value(key.first))
                == asKeyType(key.first, changed.value(key.first, key.second)),
            qPrintable(key.first + ": " + stored.value(key.first).toString()));
}

// Font and colour are applied before the compositions of the resize step,
// whose refresh shows them in the sample, even when nothing after them
// composes again.
void SettingsTest::fontSampleShowsRestoredFont()
{
    writeStore({ { "font", "DejaVu Sans,14,-1,5,75,0,0,0,0,0" }, { "fnt_clr", 0x80336699u } });
    MainWindow w;
    QLabel *sample = WindowProbe::ui(w)->font_pr_label;
    QCOMPARE(sample->font().family(), QStringLiteral("DejaVu Sans"));
    QCOMPARE(sample->font().pointSize(), 14);
    QCOMPARE(sample->font().weight(), 75);
    QCOMPARE(sample->styleSheet(), QStringLiteral("color: #ff336699"));
}

void SettingsTest::malformedValues_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QVariant>("applied");
    // clang-format off
    // Text in a number key reads as 0, which the control clamps into range.
    QTest::newRow("shadow_spin text") << "shadow_spin" << QVariant("abc") << QVariant(0);
    QTest::newRow("width_spin text") << "width_spin" << QVariant("abc") << QVariant(10);
    QTest::newRow("txt_x_spin trailing text") << "txt_x_spin" << QVariant("12abc") << QVariant(0);
    QTest::newRow("x_spin negative") << "x_spin" << QVariant("-250") << QVariant(-250);
    QTest::newRow("scale_spin too large") << "scale_spin" << QVariant("99") << QVariant(10.0);
    QTest::newRow("comp_slider text") << "comp_slider" << QVariant("abc") << QVariant(1);
    // Text read as a boolean is false only when empty, "0" or "false".
    QTest::newRow("resize_check yes") << "resize_check" << QVariant("yes") << QVariant(true);
    QTest::newRow("resize_check 0") << "resize_check" << QVariant("0") << QVariant(false);
    QTest::newRow("fit_radio FALSE") << "fit_radio" << QVariant("FALSE") << QVariant(false);
    QTest::newRow("fnt_clr text") << "fnt_clr" << QVariant("red") << QVariant(0xFF000000u);
    QTest::newRow("wtrmark_edit number") << "wtrmark_edit" << QVariant(42) << QVariant("42");
    // A description that QFont rejects leaves the toolkit's default font,
    // not a half-parsed one.
    QTest::newRow("font three fields") << "font" << QVariant("Serif,12,x") << QVariant(QFont().toString());
    QTest::newRow("font without family") << "font" << QVariant(",18,-1,5,50,0,0,0,0,0") << QVariant(QFont().toString());
    // clang-format on
}

void SettingsTest::malformedValues()
{
    QFETCH(QString, key);
    QFETCH(QVariant, stored);
    QFETCH(QVariant, applied);
    writeStore({ { key, stored } });
    MainWindow w;
    QCOMPARE(observed(w, key), applied);
}

void SettingsTest::logoThatCannotBeReadKeepsItsPath_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("deleted") << QByteArray();
    QTest::newRow("not a picture") << QByteArray("this is not a picture");
}

void SettingsTest::logoThatCannotBeReadKeepsItsPath()
{
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    const QString path = dir.filePath("logo.png");
    QVERIFY(content.isEmpty() || writeFile(path, content));
    writeStore({ { "logo_file_name", path } });
    {
        MainWindow w;
        QCOMPARE(WindowProbe::logoFileName(w), path);
        QVERIFY(WindowProbe::logoImage(w).isNull());
    }
    QCOMPARE(readStore().value("logo_file_name").toString(), path);
}

TARVELO_TEST_MAIN(SettingsTest)
#include "tst_settings.moc"
