// The options kept between runs: what a first run starts with, how stored
// values come back (exclusive sets, offsets after anchors, opaque colours, the
// resize controls, malformed values, the logo file) and what every normal exit
// writes. Each case starts from an empty store in this test's own
// configuration folder.

#include <QAbstractButton>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "mainwindow.h"
#include "testsupport.h"
#include "ui_mainwindow.h"
#include "windowprobe.h"

namespace {

const QString organisation = QStringLiteral("Dovrin Halsek");
const QString application = QStringLiteral("Tarvelo");

struct StoredKey
{
    QString name;
    QVariant firstRun; // also fixes the type the key is written with
};

// Every key of the store with its first-run value, in the order of
// application.
const QVector<StoredKey> &storedKeys()
{
    static const QVector<StoredKey> keys = {
        { "txt_topleft_btn", true },
        { "txt_top_btn", false },
        { "txt_topright_btn", false },
        { "txt_left_btn", false },
        { "txt_center_btn", false },
        { "txt_right_btn", false },
        { "txt_botleft_btn", false },
        { "txt_bot_btn", false },
        { "txt_botright_btn", false },
        { "logo_topleft_btn", true },
        { "logo_top_btn", false },
        { "logo_topright_btn", false },
        { "logo_left_btn", false },
        { "logo_center_btn", false },
        { "logo_right_btn", false },
        { "logo_botleft_btn", false },
        { "logo_bot_btn", false },
        { "logo_botright_btn", false },
        { "scale_spin", 1.0 },
        { "logo_file_name", QString() },
        { "font", QStringLiteral("Cambria,18,-1,5,50,0,0,0,0,0") },
        { "wtrmark_edit", QStringLiteral("Enter your text here!") },
        { "fnt_clr", 0xFFFFFFFFu },
        { "shadow_spin", 15 },
        { "x_spin", 0 },
        { "y_spin", 0 },
        { "top_radio", false },
        { "bottom_radio_radio", true },
        { "light_radio", false },
        { "dark_radio", true },
        { "txt_x_spin", 20 },
        { "txt_y_spin", 20 },
        { "actual_radio", true },
        { "fit_radio", false },
        { "resize_check", true },
        { "aspect_check", false },
        { "width_spin", 1920 },
        { "height_spin", 1920 },
        { "outjpg_radio", true },
        { "outpng_radio", false },
        { "outtif_radio", false },
        { "comp_slider", 90 },
        { "watermarkOpacitySpin", 100 },
        { "logoOpacitySpin", 100 },
    };
    return keys;
}

QVariant firstRunValue(const QString &key)
{
    for (const StoredKey &stored : storedKeys())
        if (stored.name == key)
            return stored.firstRun;
    return QVariant();
}

// The control a key belongs to; one key is not named after its control.
QString objectNameOf(const QString &key)
{
    return key == QLatin1String("bottom_radio_radio") ? QStringLiteral("bottom_radio") : key;
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
    QObject *object = w.findChild<QObject *>(objectNameOf(key));
    if (!object)
        return QVariant();
    if (auto *button = qobject_cast<QAbstractButton *>(object))
        return button->isChecked();
    if (auto *edit = qobject_cast<QLineEdit *>(object))
        return edit->text();
    if (auto *spin = qobject_cast<QDoubleSpinBox *>(object))
        return spin->value();
    return object->property("value").toInt();
}

// The same value as `value`, converted to the type of `key`'s first-run value.
QVariant asKeyType(const QString &key, const QVariant &value)
{
    QVariant converted = value;
    converted.convert(firstRunValue(key).userType());
    return converted;
}

void writeStore(const QVariantMap &values)
{
    QSettings store(organisation, application);
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        store.setValue(it.key(), it.value());
    store.sync();
    QCOMPARE(store.status(), QSettings::NoError);
}

QVariantMap readStore()
{
    QSettings store(organisation, application);
    QVariantMap values;
    for (const QString &key : store.allKeys())
        values.insert(key, store.value(key));
    return values;
}

QString storeFileName()
{
    return QSettings(organisation, application).fileName();
}

QByteArray storeFileText()
{
    QFile file(storeFileName());
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

const QStringList textAnchors
    = { "txt_topleft_btn", "txt_top_btn", "txt_topright_btn", "txt_left_btn", "txt_center_btn",
          "txt_right_btn", "txt_botleft_btn", "txt_bot_btn", "txt_botright_btn" };
const QStringList logoAnchors
    = { "logo_topleft_btn", "logo_top_btn", "logo_topright_btn", "logo_left_btn", "logo_center_btn",
          "logo_right_btn", "logo_botleft_btn", "logo_bot_btn", "logo_botright_btn" };

// Which button of an exclusive set the bare form checks, before any stored
// option is applied ("" if none).
QString designTimeChecked(const QStringList &set)
{
    QMainWindow host;
    Ui::MainWindow form;
    form.setupUi(&host);
    for (const QString &name : set) {
        auto *button = host.findChild<QAbstractButton *>(name);
        if (button && button->isChecked())
            return name;
    }
    return QString();
}

QVariantMap allFalse(const QStringList &keys)
{
    QVariantMap values;
    for (const QString &key : keys)
        values.insert(key, false);
    return values;
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
    void offsetsSurviveTheirAnchors_data();
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
    void unparsableFontKeepsDefaultFont_data();
    void unparsableFontKeepsDefaultFont();
    void missingLogoKeepsItsPath();
    void unreadableLogoLeavesNoLogo();
};

void SettingsTest::initTestCase()
{
    // The store must be this test's own, never the user's configuration.
    const QString file = storeFileName();
    QVERIFY2(!file.startsWith(QDir::homePath() + QLatin1String("/.config/")), qPrintable(file));
    const QString folder = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!folder.isEmpty())
        QVERIFY2(file.startsWith(folder + QLatin1Char('/')), qPrintable(file));
    QVERIFY(file.endsWith(QLatin1String("/Dovrin Halsek/Tarvelo.conf")));
}

void SettingsTest::init()
{
    QSettings store(organisation, application);
    store.clear();
    store.sync();
    QFile::remove(store.fileName());
    QVERIFY(readStore().isEmpty());
}

void SettingsTest::firstRunDefaults()
{
    MainWindow w;
    for (const StoredKey &key : storedKeys())
        QVERIFY2(observed(w, key.name) == key.firstRun,
            qPrintable(key.name + ": " + observed(w, key.name).toString()));

    Ui::MainWindow *ui = WindowProbe::ui(w);
    QCOMPARE(WindowProbe::textFont(w).family(), QStringLiteral("Cambria"));
    QCOMPARE(WindowProbe::textFont(w).pointSize(), 18);
    QCOMPARE(WindowProbe::textColor(w), QColor(Qt::white));
    QVERIFY(WindowProbe::logoImage(w).isNull());
    QVERIFY(ui->width_spin->isEnabled());
    QVERIFY(ui->height_spin->isEnabled());
    QVERIFY(ui->aspect_check->isEnabled());
    QCOMPARE(ui->comp_label->text(), QStringLiteral("90%"));
    // Reading creates nothing: the store stays empty until the exit.
    QVERIFY(readStore().isEmpty());
}

void SettingsTest::exclusiveSets_data()
{
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<QStringList>("set");
    QTest::addColumn<QString>("checked"); // "" for the design-time choice

    const QStringList shadowPosition = { "top_radio", "bottom_radio" };
    const QStringList shadowType = { "light_radio", "dark_radio" };
    const QStringList preview = { "actual_radio", "fit_radio" };
    const QStringList output = { "outjpg_radio", "outpng_radio", "outtif_radio" };

    QTest::newRow("text anchors all false") << allFalse(textAnchors) << textAnchors << "";
    QTest::newRow("logo anchors all false") << allFalse(logoAnchors) << logoAnchors << "";
    QTest::newRow("text anchor stored alone")
        << QVariantMap { { "txt_topleft_btn", false }, { "txt_right_btn", true } } << textAnchors
        << "txt_right_btn";
    QTest::newRow("text anchors top and bot") << QVariantMap { { "txt_topleft_btn", false },
        { "txt_top_btn", true }, { "txt_bot_btn", true } }
                                              << textAnchors << "txt_bot_btn";
    QTest::newRow("text anchors topleft and botright") << QVariantMap { { "txt_topleft_btn", true },
        { "txt_botright_btn", true } } << textAnchors << "txt_botright_btn";
    QTest::newRow("logo anchors center and left")
        << QVariantMap { { "logo_left_btn", true }, { "logo_center_btn", true } } << logoAnchors
        << "logo_center_btn";
    QTest::newRow("shadow position both true")
        << QVariantMap { { "top_radio", true }, { "bottom_radio_radio", true } } << shadowPosition
        << "bottom_radio";
    QTest::newRow("shadow position top")
        << QVariantMap { { "top_radio", true }, { "bottom_radio_radio", false } } << shadowPosition
        << "top_radio";
    QTest::newRow("shadow position both false")
        << QVariantMap { { "top_radio", false }, { "bottom_radio_radio", false } } << shadowPosition
        << "";
    QTest::newRow("shadow type both true")
        << QVariantMap { { "light_radio", true }, { "dark_radio", true } } << shadowType
        << "dark_radio";
    QTest::newRow("shadow type both false")
        << QVariantMap { { "light_radio", false }, { "dark_radio", false } } << shadowType << "";
    QTest::newRow("preview both true")
        << QVariantMap { { "actual_radio", true }, { "fit_radio", true } } << preview
        << "fit_radio";
    QTest::newRow("preview both false")
        << QVariantMap { { "actual_radio", false }, { "fit_radio", false } } << preview << "";
    QTest::newRow("output jpg and tif")
        << QVariantMap { { "outjpg_radio", true }, { "outtif_radio", true } } << output
        << "outtif_radio";
    QTest::newRow("output png alone")
        << QVariantMap { { "outjpg_radio", false }, { "outpng_radio", true } } << output
        << "outpng_radio";
    QTest::newRow("output none") << QVariantMap { { "outjpg_radio", false },
        { "outpng_radio", false }, { "outtif_radio", false } }
                                 << output << "";
}

// Each button of a set is its own key; the last one stored true wins, and
// with none true the form's own choice stays.
void SettingsTest::exclusiveSets()
{
    QFETCH(QVariantMap, stored);
    QFETCH(QStringList, set);
    QFETCH(QString, checked);
    if (checked.isEmpty())
        checked = designTimeChecked(set);

    writeStore(stored);
    MainWindow w;
    for (const QString &name : set) {
        auto *button = w.findChild<QAbstractButton *>(name);
        QVERIFY(button);
        QVERIFY2(button->isChecked() == (name == checked), qPrintable(name));
    }
}

void SettingsTest::offsetsSurviveTheirAnchors_data()
{
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<QString>("anchor");
    QTest::addColumn<QString>("xKey");
    QTest::addColumn<QString>("yKey");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");

    QTest::newRow("text centre 5,7") << QVariantMap { { "txt_topleft_btn", false },
        { "txt_center_btn", true }, { "txt_x_spin", 5 }, { "txt_y_spin", 7 } }
                                     << "txt_center_btn"
                                     << "txt_x_spin"
                                     << "txt_y_spin" << 5 << 7;
    QTest::newRow("logo bottom right 11,-3") << QVariantMap { { "logo_topleft_btn", false },
        { "logo_botright_btn", true }, { "x_spin", 11 }, { "y_spin", -3 } }
                                             << "logo_botright_btn"
                                             << "x_spin"
                                             << "y_spin" << 11 << -3;
    // Both sets move at once: the text anchor's reset must not touch the
    // logo's offsets and the other way round.
    QTest::newRow("both moved, text checked") << QVariantMap { { "txt_topleft_btn", false },
        { "txt_bot_btn", true }, { "txt_x_spin", -40 }, { "txt_y_spin", 9 },
        { "logo_topleft_btn", false }, { "logo_top_btn", true }, { "x_spin", 3 }, { "y_spin", 4 } }
                                              << "txt_bot_btn"
                                              << "txt_x_spin"
                                              << "txt_y_spin" << -40 << 9;
    QTest::newRow("both moved, logo checked") << QVariantMap { { "txt_topleft_btn", false },
        { "txt_bot_btn", true }, { "txt_x_spin", -40 }, { "txt_y_spin", 9 },
        { "logo_topleft_btn", false }, { "logo_top_btn", true }, { "x_spin", 3 }, { "y_spin", 4 } }
                                              << "logo_top_btn"
                                              << "x_spin"
                                              << "y_spin" << 3 << 4;
}

void SettingsTest::offsetsSurviveTheirAnchors()
{
    QFETCH(QVariantMap, stored);
    QFETCH(QString, anchor);
    QFETCH(QString, xKey);
    QFETCH(QString, yKey);
    QFETCH(int, x);
    QFETCH(int, y);

    writeStore(stored);
    MainWindow w;
    QVERIFY(w.findChild<QAbstractButton *>(anchor)->isChecked());
    QCOMPARE(w.findChild<QSpinBox *>(xKey)->value(), x);
    QCOMPARE(w.findChild<QSpinBox *>(yKey)->value(), y);
}

void SettingsTest::colourComesBackOpaque_data()
{
    QTest::addColumn<uint>("stored");
    QTest::addColumn<uint>("restored");

    QTest::newRow("half transparent") << 0x80112233u << 0xFF112233u;
    QTest::newRow("fully transparent black") << 0x00000000u << 0xFF000000u;
    QTest::newRow("almost opaque white") << 0xFEFFFFFFu << 0xFFFFFFFFu;
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
        const QColor colour = WindowProbe::textColor(w);
        QCOMPARE(colour.alpha(), 255);
        QCOMPARE(uint(colour.rgba()), restored);
    }
    QCOMPARE(readStore().value("fnt_clr").toUInt(), restored);
    QVERIFY(storeFileText().contains("\nfnt_clr=" + QByteArray::number(restored) + '\n'));
}

void SettingsTest::resizeControlsFollowStoredCheck_data()
{
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<bool>("resize");

    QTest::newRow("stored false") << QVariantMap { { "resize_check", false } } << false;
    QTest::newRow("stored false as text") << QVariantMap { { "resize_check", "false" } } << false;
    QTest::newRow("stored true") << QVariantMap { { "resize_check", true } } << true;
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
    for (const StoredKey &key : storedKeys())
        expectedKeys << key.name;
    expectedKeys.sort();

    {
        MainWindow w;
        QSettings *store = WindowProbe::settings(w);
        QVERIFY(store);
        QCOMPARE(store->organizationName(), organisation);
        QCOMPARE(store->applicationName(), application);
        QCOMPARE(store->format(), QSettings::NativeFormat);
        QCOMPARE(store->scope(), QSettings::UserScope);
        QCOMPARE(store->parent(), &w);

        // The store holds what was written until it is flushed at the
        // window's end, so the written types can be seen here.
        WindowProbe::saveSettings(w);
        QStringList written = store->allKeys();
        written.sort();
        QCOMPARE(written, expectedKeys);
        for (const StoredKey &key : storedKeys()) {
            const QVariant value = store->value(key.name);
            QVERIFY2(value.userType() == key.firstRun.userType(),
                qPrintable(key.name + ": " + QLatin1String(value.typeName())));
            QVERIFY2(value == key.firstRun, qPrintable(key.name + ": " + value.toString()));
        }
    }

    // And in the file, after the window has gone.
    const QVariantMap stored = readStore();
    QStringList onDisk = stored.keys();
    onDisk.sort();
    QCOMPARE(onDisk, expectedKeys);
    for (const StoredKey &key : storedKeys())
        QVERIFY2(asKeyType(key.name, stored.value(key.name)) == key.firstRun,
            qPrintable(key.name + ": " + stored.value(key.name).toString()));
    // The font description holds commas; it must come back as one string.
    QCOMPARE(stored.value("font").userType(), int(QMetaType::QString));

    const QByteArray text = storeFileText();
    QVERIFY(text.contains("\nbottom_radio_radio=true\n"));
    QVERIFY(!text.contains("\nbottom_radio="));
    QVERIFY(text.contains("\nfnt_clr=4294967295\n"));
    QVERIFY(text.contains("\nscale_spin=1\n"));
    QVERIFY(text.contains("\nshadow_spin=15\n"));
}

// What the user set comes back at the next start and is written again
// unchanged at the next exit.
void SettingsTest::changedOptionsSurviveARestart()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString logoPath = dir.filePath("logo.png");
    QImage logo(40, 30, QImage::Format_ARGB32);
    logo.fill(QColor(200, 20, 20, 180));
    QVERIFY(logo.save(logoPath));

    const QVariantMap changed = {
        { "txt_topleft_btn", false },
        { "txt_center_btn", true },
        { "logo_topleft_btn", false },
        { "logo_botright_btn", true },
        { "scale_spin", 2.5 },
        { "logo_file_name", logoPath },
        { "font", "DejaVu Sans,12,-1,5,75,1,0,0,0,0" },
        { "wtrmark_edit", "Hello, world; \"quoted\" = fine" },
        { "fnt_clr", 0xFF336699u },
        { "shadow_spin", 40 },
        { "x_spin", 11 },
        { "y_spin", -3 },
        { "top_radio", true },
        { "bottom_radio_radio", false },
        { "light_radio", true },
        { "dark_radio", false },
        { "txt_x_spin", 5 },
        { "txt_y_spin", 7 },
        { "actual_radio", false },
        { "fit_radio", true },
        { "resize_check", false },
        { "aspect_check", true },
        { "width_spin", 800 },
        { "height_spin", 600 },
        { "outjpg_radio", false },
        { "outpng_radio", true },
        { "comp_slider", 75 },
        { "watermarkOpacitySpin", 55 },
        { "logoOpacitySpin", 70 },
    };
    writeStore(changed);

    QVariantMap shown;
    {
        MainWindow w;
        for (const StoredKey &key : storedKeys())
            shown.insert(key.name, observed(w, key.name));
        QCOMPARE(WindowProbe::logoImage(w).size(), QSize(40, 30));
        QCOMPARE(WindowProbe::logoImage(w).pixelColor(5, 5), QColor(200, 20, 20, 180));
    }
    for (auto it = changed.cbegin(); it != changed.cend(); ++it)
        QVERIFY2(shown.value(it.key()) == asKeyType(it.key(), it.value()),
            qPrintable(it.key() + ": " + shown.value(it.key()).toString()));

    const QVariantMap stored = readStore();
    QCOMPARE(stored.size(), storedKeys().size());
    for (const StoredKey &key : storedKeys()) {
        const QVariant expected = changed.contains(key.name)
            ? asKeyType(key.name, changed.value(key.name))
            : key.firstRun;
        QVERIFY2(asKeyType(key.name, stored.value(key.name)) == expected,
            qPrintable(key.name + ": " + stored.value(key.name).toString()));
    }
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
    QVERIFY2(
        sample->styleSheet().contains(QLatin1String("ff336699")), qPrintable(sample->styleSheet()));
}

void SettingsTest::malformedValues_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QVariant>("applied");

    // Text in a number key reads as 0, which the control clamps into range.
    QTest::newRow("shadow_spin text") << "shadow_spin" << QVariant("abc") << QVariant(0);
    QTest::newRow("width_spin text") << "width_spin" << QVariant("abc") << QVariant(10);
    QTest::newRow("height_spin empty") << "height_spin" << QVariant("") << QVariant(10);
    QTest::newRow("txt_x_spin trailing text") << "txt_x_spin" << QVariant("12abc") << QVariant(0);
    QTest::newRow("x_spin negative") << "x_spin" << QVariant("-250") << QVariant(-250);
    QTest::newRow("scale_spin text") << "scale_spin" << QVariant("abc") << QVariant(0.01);
    QTest::newRow("scale_spin too large") << "scale_spin" << QVariant("99") << QVariant(10.0);
    QTest::newRow("comp_slider text") << "comp_slider" << QVariant("abc") << QVariant(1);
    QTest::newRow("logoOpacitySpin too large")
        << "logoOpacitySpin" << QVariant("250") << QVariant(100);
    QTest::newRow("width_spin as bool") << "width_spin" << QVariant(true) << QVariant(10);
    // Text read as a boolean is false only when empty, "0" or "false".
    QTest::newRow("resize_check yes") << "resize_check" << QVariant("yes") << QVariant(true);
    QTest::newRow("resize_check 0") << "resize_check" << QVariant("0") << QVariant(false);
    QTest::newRow("resize_check empty") << "resize_check" << QVariant("") << QVariant(false);
    QTest::newRow("fit_radio FALSE") << "fit_radio" << QVariant("FALSE") << QVariant(false);
    QTest::newRow("fit_radio 1") << "fit_radio" << QVariant("1") << QVariant(true);
    QTest::newRow("fnt_clr text") << "fnt_clr" << QVariant("red") << QVariant(0xFF000000u);
    QTest::newRow("wtrmark_edit number") << "wtrmark_edit" << QVariant(42) << QVariant("42");
    QTest::newRow("wtrmark_edit empty") << "wtrmark_edit" << QVariant("") << QVariant("");
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

void SettingsTest::unparsableFontKeepsDefaultFont_data()
{
    QTest::addColumn<QString>("stored");

    QTest::newRow("empty") << "";
    QTest::newRow("three fields") << "Serif,12,x";
    QTest::newRow("no family") << ",18,-1,5,50,0,0,0,0,0";
    QTest::newRow("too many fields") << "Serif,1,2,3,4,5,6,7,8,9,10,11,12";
}

// A description that QFont rejects leaves the toolkit's default font, not a
// half-parsed one.
void SettingsTest::unparsableFontKeepsDefaultFont()
{
    QFETCH(QString, stored);

    writeStore({ { "font", stored } });
    MainWindow w;
    QCOMPARE(WindowProbe::textFont(w).toString(), QFont().toString());
}

void SettingsTest::missingLogoKeepsItsPath()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString gone = dir.filePath("deleted-logo.png");
    writeStore({ { "logo_file_name", gone } });
    {
        MainWindow w;
        QCOMPARE(WindowProbe::logoFileName(w), gone);
        QVERIFY(WindowProbe::logoImage(w).isNull());
    }
    QCOMPARE(readStore().value("logo_file_name").toString(), gone);
}

void SettingsTest::unreadableLogoLeavesNoLogo()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("logo.png");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("this is not a picture");
    file.close();

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
