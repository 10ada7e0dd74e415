// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch/storedoptions.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QSettings>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>

namespace StoredOptions {

namespace {

// Messages for people, in the user's language where it has a translation.
QString tr(const char *text)
{
    return QCoreApplication::translate("StoredOptions", text);
}

// A QLineEdit's default maximum length; setText() cuts longer texts.
constexpr int LineEditLength = 32767;

Option button(const char *key, const char *meaning, bool fallback, const char *control = nullptr)
{
    return { key, meaning, Type::Bool, fallback, control ? control : key };
}

Option number(const char *key, const char *meaning, int fallback, int minimum, int maximum)
{
    return { key, meaning, Type::Int, fallback, key, double(minimum), double(maximum) };
}

} // namespace

// The order matters to the window: applying a value runs the control's slot
// like a user edit, so the anchors come before the offsets (an anchor change
// resets its offsets) and the font and colour before the resize step (whose
// compositions refresh the font sample).
const std::vector<Option> &all()
{
    static const std::vector<Option> options {
        button("txt_topleft_btn", QT_TR_NOOP("the text is placed at the top left corner"), true),
        button("txt_top_btn", QT_TR_NOOP("the text is placed at the top edge, centred"), false),
        button("txt_topright_btn", QT_TR_NOOP("the text is placed at the top right corner"), false),
        button("txt_left_btn", QT_TR_NOOP("the text is placed at the left edge, centred"), false),
        button("txt_center_btn", QT_TR_NOOP("the text is placed at the centre"), false),
        button("txt_right_btn", QT_TR_NOOP("the text is placed at the right edge, centred"), false),
        button(
            "txt_botleft_btn", QT_TR_NOOP("the text is placed at the bottom left corner"), false),
        button("txt_bot_btn", QT_TR_NOOP("the text is placed at the bottom edge, centred"), false),
        button(
            "txt_botright_btn", QT_TR_NOOP("the text is placed at the bottom right corner"), false),
        button("logo_topleft_btn", QT_TR_NOOP("the logo is placed at the top left corner"), true),
        button("logo_top_btn", QT_TR_NOOP("the logo is placed at the top edge, centred"), false),
        button(
            "logo_topright_btn", QT_TR_NOOP("the logo is placed at the top right corner"), false),
        button("logo_left_btn", QT_TR_NOOP("the logo is placed at the left edge, centred"), false),
        button("logo_center_btn", QT_TR_NOOP("the logo is placed at the centre"), false),
        button(
            "logo_right_btn", QT_TR_NOOP("the logo is placed at the right edge, centred"), false),
        button(
            "logo_botleft_btn", QT_TR_NOOP("the logo is placed at the bottom left corner"), false),
        button("logo_bot_btn", QT_TR_NOOP("the logo is placed at the bottom edge, centred"), false),
        button("logo_botright_btn", QT_TR_NOOP("the logo is placed at the bottom right corner"),
            false),
        { "scale_spin", QT_TR_NOOP("the logo's scale: its width and height are multiplied by it"),
            Type::Double, 1.0, "scale_spin", 0.01, 10.0, 2 },
        { "logo_file_name", QT_TR_NOOP("the logo's picture file; empty for no logo"), Type::Path,
            QString() },
        { "font", QT_TR_NOOP("the text's font, as family,points,-1,5,weight,italic,0,0,0,0"),
            Type::Font, QStringLiteral("Cambria,18,-1,5,50,0,0,0,0,0") },
        { "wtrmark_edit", QT_TR_NOOP("the watermark text; empty for none"), Type::Text,
            QStringLiteral("Enter your text here!"), "wtrmark_edit" },
        { "fnt_clr", QT_TR_NOOP("the text's colour (always opaque)"), Type::Colour, 0xFFFFFFFFu },
        number("shadow_spin", QT_TR_NOOP("the shadow bar's height in pixels; 0 for none"), 15, 0,
            1000),
        number("x_spin", QT_TR_NOOP("the logo's horizontal offset from its place, in pixels"), 0,
            -99999, 999999),
        number("y_spin", QT_TR_NOOP("the logo's vertical offset from its place, in pixels"), 0,
            -99999, 999999),
        button("top_radio", QT_TR_NOOP("the shadow bar runs along the top edge"), false),
        // The key has carried this name since the first release; renaming it
        // would lose every user's shadow position.
        button("bottom_radio_radio", QT_TR_NOOP("the shadow bar runs along the bottom edge"), true,
            "bottom_radio"),
        button("light_radio", QT_TR_NOOP("the shadow bar lightens the picture"), false),
        button("dark_radio", QT_TR_NOOP("the shadow bar darkens the picture"), true),
        number("txt_x_spin", QT_TR_NOOP("the text's horizontal offset from its place, in pixels"),
            20, -9999, 9999),
        number("txt_y_spin", QT_TR_NOOP("the text's vertical offset from its place, in pixels"), 20,
            -9999, 9999),
        button("actual_radio",
            QT_TR_NOOP("the window's preview shows the picture at its actual size"), true),
        button("fit_radio", QT_TR_NOOP("the window's preview fits the picture into the window"),
            false),
        // The window follows it with the resize step.
        button("resize_check", QT_TR_NOOP("the pictures are resized to width_spin x height_spin"),
            true),
        // A first batch must not come out distorted.
        button("aspect_check",
            QT_TR_NOOP("resizing keeps the pictures' proportions, inside the width and height"),
            true),
        number("width_spin", QT_TR_NOOP("the width pictures are resized to, in pixels"), 1920, 10,
            99999),
        number("height_spin", QT_TR_NOOP("the height pictures are resized to, in pixels"), 1920, 10,
            99999),
        button("outjpg_radio", QT_TR_NOOP("the stamped pictures are written as JPG"), true),
        button("outpng_radio", QT_TR_NOOP("the stamped pictures are written as PNG"), false),
        button("outtif_radio", QT_TR_NOOP("the stamped pictures are written as TIF"), false),
        number("comp_slider", QT_TR_NOOP("the JPG quality"), 90, 1, 100),
        number("watermarkOpacitySpin", QT_TR_NOOP("the text's opacity in percent"), 100, 0, 100),
        number("logoOpacitySpin", QT_TR_NOOP("the logo's opacity in percent"), 100, 0, 100),
        // No control on the form: the most megapixels one picture may have,
        // for whoever stamps larger panoramas than any camera takes and has
        // the memory for them. Kept in the settings file only.
        { "max_megapixels", QT_TR_NOOP("the most megapixels a picture may have to be read"),
            Type::Int, 150, nullptr, 1, 100000 },
        button("relative_check",
            QT_TR_NOOP("text, logo, offsets and shadow bar keep their proportion to each picture's "
                       "shorter side"),
            false),
        button("shrink_check", QT_TR_NOOP("resizing only makes pictures smaller, never larger"),
            false),
        // The shorter side of the picture a proportional stamp was designed
        // on, held by the window. Applied after relative_check, whose ticking
        // takes the picture shown. 0, and anything no picture can be, means
        // 1080 (Stamp::referenceSide()), so any whole number is taken.
        { "relative_ref",
            QT_TR_NOOP(
                "the shorter side of the picture a proportional stamp was designed on; 0 for 1080"),
            Type::Int, 0, nullptr, double(std::numeric_limits<int>::min()),
            double(std::numeric_limits<int>::max()) },
        button("strip_location_check",
            QT_TR_NOOP("the stamped pictures leave out where they were taken (GPS)"), false),
        // Where the user left the splitter between the preview and the
        // picture list; empty on a first run, which gives the preview most
        // of the room.
        { "splitter_state",
            QT_TR_NOOP("where the window's splitter between preview and picture list was left"),
            Type::Layout, QByteArray() },
        // The fourth output format, after TIF in its group; the set's last
        // stored as checked wins, so it is read after the other three.
        button("outwebp_radio",
            QT_TR_NOOP("the stamped pictures are written as WEBP (lossless at quality 100)"),
            false),
        button("keep_tree_check",
            QT_TR_NOOP("pictures found in a folder keep their subfolders inside the output folder"),
            false),
        // The output's name; the source's own, as ever, unless changed.
        { "name_pattern",
            QT_TR_NOOP("the stamped pictures' file name: {name} and the text's fields"), Type::Text,
            QStringLiteral("{name}"), "name_pattern" },
        // No control on the form either: whether the window asks the maker's
        // web site for a newer version when it starts (in builds that ask at
        // all). Kept in the settings file only, for whoever wants a program
        // that never touches the network.
        { "update_check",
            QT_TR_NOOP("the window asks the maker's web site for a newer version when it starts"),
            Type::Bool, true },
        button("text_fields_check",
            QT_TR_NOOP("fields in braces in the text, such as {name} or {date}, are filled in for "
                       "each picture"),
            false),
        button("text_shadow_check", QT_TR_NOOP("a soft dark shadow is drawn under the text"),
            false),
        button("tile_check",
            QT_TR_NOOP("the text and the logo are repeated across the whole picture, turned 30 "
                       "degrees"),
            false),
    };
    return options;
}

const Option *find(const QString &key)
{
    for (const Option &option : all()) {
        if (key == QLatin1String(option.key))
            return &option;
    }
    return nullptr;
}

namespace {

// The edits (insertions, deletions, changed letters and swapped
// neighbours) that make one word of the other.
int editDistance(const QString &a, const QString &b)
{
    const int n = a.size(), m = b.size();
    std::vector<std::vector<int>> d(size_t(n + 1), std::vector<int>(size_t(m + 1)));
    for (int i = 0; i <= n; ++i)
        d[size_t(i)][0] = i;
    for (int j = 0; j <= m; ++j)
        d[0][size_t(j)] = j;
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= m; ++j) {
            const size_t x = size_t(i), y = size_t(j);
            const int change = a[i - 1] == b[j - 1] ? 0 : 1;
            d[x][y] = std::min({ d[x - 1][y] + 1, d[x][y - 1] + 1, d[x - 1][y - 1] + change });
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[x][y] = std::min(d[x][y], d[x - 2][y - 2] + 1);
        }
    }
    return d[size_t(n)][size_t(m)];
}

// The word without its vowels: the keys shorten words so ("fnt_clr").
QString consonants(QString word)
{
    return word.remove(QRegularExpression(QStringLiteral("[aeiou]")));
}

} // namespace

QStringList nearest(const QString &key)
{
    const QString typed = key.trimmed().toLower();
    if (typed.isEmpty())
        return {};
    // A quarter of the word may be wrong, and one letter of a short one.
    const int allowed = std::max(1, int(typed.size()) / 4);
    std::vector<std::pair<int, QString>> near;
    for (const Option &option : all()) {
        const QString name = QLatin1String(option.key);
        const QString lower = name.toLower();
        if (option.type == Type::Layout)
            continue;
        // A part of a key, spelt out or shortened as the keys shorten, is
        // as near as can be: "bottom_radio", "watermark".
        int distance = std::min(
            editDistance(typed, lower), editDistance(consonants(typed), consonants(lower)) + 1);
        if ((typed.size() >= 4 && lower.contains(typed))
            || (consonants(typed).size() >= 4 && consonants(lower).contains(consonants(typed))))
            distance = 0;
        if (distance <= allowed)
            near.emplace_back(distance, name);
    }
    std::stable_sort(
        near.begin(), near.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    QStringList names;
    for (const auto &[distance, name] : near) {
        if (names.size() == 3 || distance > near.front().first + 1)
            break;
        names << name;
    }
    return names;
}

QString typeText(const Option &option)
{
    switch (option.type) {
    case Type::Bool:
        return QStringLiteral("bool");
    case Type::Int:
        return QStringLiteral("int %1..%2")
            .arg(option.minimum, 0, 'f', 0)
            .arg(option.maximum, 0, 'f', 0);
    case Type::Double:
        return QStringLiteral("double %1..%2")
            .arg(option.minimum, 0, 'f', option.decimals)
            .arg(option.maximum, 0, 'f', option.decimals);
    case Type::Text:
        return QStringLiteral("text");
    case Type::Path:
        return QStringLiteral("path");
    case Type::Font:
        return QStringLiteral("font");
    case Type::Colour:
        return QStringLiteral("colour");
    case Type::Layout:
        return QStringLiteral("layout");
    }
    return QString();
}

QString toText(const Option &option, const QVariant &value)
{
    switch (option.type) {
    case Type::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case Type::Int:
        return QString::number(value.toInt());
    case Type::Double:
        return QString::number(value.toDouble(), 'f', option.decimals);
    case Type::Colour:
        return QColor::fromRgb(value.toUInt()).name();
    case Type::Layout:
        return QString::fromLatin1(value.toByteArray().toHex());
    case Type::Text:
    case Type::Path:
    case Type::Font:
        return value.toString();
    }
    return QString();
}

QString substituteFamily(const QFont &font)
{
    // hasFamily() also knows the names fontconfig gives to families
    // ("sans-serif"); a family it does not have is replaced when drawn, by
    // the one QFontInfo names.
    if (font.family().isEmpty() || QFontDatabase().hasFamily(font.family()))
        return QString();
    const QString used = QFontInfo(font).family();
    return used.compare(font.family(), Qt::CaseInsensitive) == 0 ? QString() : used;
}

bool parseFont(const QString &description, QFont *font)
{
    // The field counts QFont::fromString() takes: a family alone, family and
    // size, or the full description of 9 to 17 fields.
    // QFont looks at the description with the white space around it removed.
    const QStringList fields = description.trimmed().split(QLatin1Char(','));
    const int count = fields.size();
    if (fields.first().isEmpty() || (count > 2 && count < 9)
        || count > 17)
        return false;
    // Parsing into a copy means a rejected description can never leave a
    // half-changed font behind.
    QFont parsed = *font;
    if (!parsed.fromString(description))
        return false;
    *font = parsed;
    return true;
}

QVariant settled(const Option &option, const QVariant &stored)
{
    switch (option.type) {
    case Type::Bool:
        return stored.toBool();
    case Type::Int:
        return qBound(int(option.minimum), stored.toInt(), int(option.maximum));
    case Type::Double: {
        // As QDoubleSpinBox: rounded to its decimals first, then clamped.
        const double rounded = QString::number(stored.toDouble(), 'f', option.decimals).toDouble();
        return qBound(option.minimum, rounded, option.maximum);
    }
    case Type::Text:
        return stored.toString().left(LineEditLength);
    case Type::Path:
    case Type::Font:
        return stored.toString();
    case Type::Colour:
        return stored.toUInt();
    case Type::Layout:
        return stored.toByteArray();
    }
    return stored;
}

QString fromText(const Option &option, const QString &text, QVariant *value)
{
    const QString key = QLatin1String(option.key);
    const QString quoted = QLatin1Char('"') + text + QLatin1Char('"');
    bool ok = false;
    switch (option.type) {
    case Type::Bool: {
        const QString word = text.trimmed().toLower();
        if (word == QLatin1String("true") || word == QLatin1String("1"))
            *value = true;
        else if (word == QLatin1String("false") || word == QLatin1String("0"))
            *value = false;
        else
            return tr("%1 takes true or false, not %2").arg(key, quoted);
        return QString();
    }
    case Type::Int:
    case Type::Double: {
        const bool whole = option.type == Type::Int;
        const double number = whole ? QLocale::c().toInt(text.trimmed(), &ok)
                                    : QLocale::c().toDouble(text.trimmed(), &ok);
        if (!ok || std::isnan(number))
            return tr("%1 takes %2, not %3")
                .arg(key, whole ? tr("a whole number") : tr("a number"), quoted);
        if (number < option.minimum || number > option.maximum)
            return tr("%1 must be between %2 and %3, not %4")
                .arg(key, QString::number(option.minimum), QString::number(option.maximum),
                    text.trimmed());
        *value = whole ? QVariant(int(number)) : settled(option, number);
        return QString();
    }
    case Type::Font: {
        QFont font;
        if (!parseFont(text, &font))
            return tr("%1 takes a font description such as "
                      "\"DejaVu Sans,18,-1,5,50,0,0,0,0,0\", not %2")
                .arg(key, quoted);
        *value = text;
        return QString();
    }
    case Type::Colour: {
        // As stored (an unsigned ARGB number, decimal or 0x...), or #rrggbb.
        const QString trimmed = text.trimmed();
        uint argb = trimmed.toUInt(&ok, 0);
        if (!ok && trimmed.startsWith(QLatin1Char('#'))) {
            const QColor colour(trimmed);
            ok = colour.isValid();
            argb = colour.rgba();
        }
        if (!ok)
            return tr("%1 takes an ARGB number such as 0xffffffff or a colour "
                      "such as #ffffff, not %2")
                .arg(key, quoted);
        *value = argb;
        return QString();
    }
    case Type::Text:
    case Type::Path:
        *value = text;
        return QString();
    case Type::Layout:
        return tr("%1 is the window's own arrangement; only the window sets it").arg(key);
    }
    return QString();
}

namespace {

// The one that ends up checked in an exclusive set of radio buttons: the
// last one stored as checked, else the one the form checks.
template <class T>
T lastChecked(const QHash<QString, QVariant> &values, const std::vector<const char *> &keys,
    const std::vector<T> &choices, T formChoice)
{
    T choice = formChoice;
    for (size_t i = 0; i < keys.size(); ++i) {
        if (values.value(QLatin1String(keys[i])).toBool())
            choice = choices[i];
    }
    return choice;
}

} // namespace

RunOptions resolve(const std::function<QVariant(const Option &)> &stored)
{
    QHash<QString, QVariant> values;
    for (const Option &option : all()) {
        const QVariant value = stored(option);
        values.insert(
            QLatin1String(option.key), settled(option, value.isValid() ? value : option.fallback));
    }
    const auto number = [&](const char *key) { return values.value(QLatin1String(key)).toInt(); };
    const auto checked = [&](const char *key) { return values.value(QLatin1String(key)).toBool(); };

    RunOptions run;
    StampOptions &stamp = run.stamp;
    const std::vector<Anchor> anchors { Anchor::TopLeft, Anchor::Top, Anchor::TopRight,
        Anchor::Left, Anchor::Center, Anchor::Right, Anchor::BotLeft, Anchor::Bot,
        Anchor::BotRight };
    stamp.textAnchor = lastChecked(values,
        { "txt_topleft_btn", "txt_top_btn", "txt_topright_btn", "txt_left_btn", "txt_center_btn",
            "txt_right_btn", "txt_botleft_btn", "txt_bot_btn", "txt_botright_btn" },
        anchors, Anchor::TopLeft);
    stamp.logoAnchor = lastChecked(values,
        { "logo_topleft_btn", "logo_top_btn", "logo_topright_btn", "logo_left_btn",
            "logo_center_btn", "logo_right_btn", "logo_botleft_btn", "logo_bot_btn",
            "logo_botright_btn" },
        anchors, Anchor::TopLeft);
    stamp.logoScale = values.value(QStringLiteral("scale_spin")).toDouble();
    run.logoFileName = values.value(QStringLiteral("logo_file_name")).toString();
    run.font = QFont();
    parseFont(values.value(QStringLiteral("font")).toString(), &run.font);
    stamp.watermarkText = values.value(QStringLiteral("wtrmark_edit")).toString();
    // fromRgb() ignores the alpha byte: the text colour is always opaque.
    run.color = QColor::fromRgb(values.value(QStringLiteral("fnt_clr")).toUInt());
    stamp.shadowHeight = number("shadow_spin");
    stamp.logoOffsetX = number("x_spin");
    stamp.logoOffsetY = number("y_spin");
    stamp.shadowEdge = lastChecked(values, { "top_radio", "bottom_radio_radio" },
        std::vector<ShadowEdge> { ShadowEdge::Top, ShadowEdge::Bottom }, ShadowEdge::Bottom);
    stamp.shadowTone = lastChecked(values, { "light_radio", "dark_radio" },
        std::vector<ShadowTone> { ShadowTone::Light, ShadowTone::Dark }, ShadowTone::Dark);
    stamp.textOffsetX = number("txt_x_spin");
    stamp.textOffsetY = number("txt_y_spin");
    stamp.resizeEnabled = checked("resize_check");
    stamp.keepAspectRatio = checked("aspect_check");
    stamp.resizeWidth = number("width_spin");
    stamp.resizeHeight = number("height_spin");
    run.suffix
        = lastChecked(values, { "outjpg_radio", "outpng_radio", "outtif_radio", "outwebp_radio" },
            std::vector<QString> { QStringLiteral("jpg"), QStringLiteral("png"),
                QStringLiteral("tif"), QStringLiteral("webp") },
            QStringLiteral("jpg"));
    run.jpgQuality = number("comp_slider");
    stamp.textOpacity = number("watermarkOpacitySpin");
    stamp.logoOpacity = number("logoOpacitySpin");
    run.maxMegapixels = number("max_megapixels");
    stamp.relative = checked("relative_check");
    stamp.shrinkOnly = checked("shrink_check");
    stamp.relativeRef = number("relative_ref");
    run.stripLocation = checked("strip_location_check");
    run.textFields = checked("text_fields_check");
    stamp.textShadow = checked("text_shadow_check");
    stamp.tile = checked("tile_check");
    run.keepTree = checked("keep_tree_check");
    run.namePattern = values.value(QStringLiteral("name_pattern")).toString();
    return run;
}

RunOptions resolve(const QSettings &settings)
{
    return resolve(
        [&settings](const Option &option) { return settings.value(QLatin1String(option.key)); });
}

} // namespace StoredOptions
