// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <vector>

#include "engine/stampengine.h"

class QSettings;

// The options the window keeps between runs, described without widgets: the
// key each is stored under, the type it is stored as, its first-run value and
// the range of the control that holds it. The window applies and saves its
// controls from this one table, and the command-line tool turns the same
// store (or a copy of it) into what one run needs, so the two cannot drift
// apart in keys, defaults or ranges.
namespace StoredOptions {

enum class Type {
    Bool, // a check box's or radio button's checked state
    Int, // a spin box's or slider's value
    Double, // the double spin box's value
    Text, // the line edit's text
    Path, // a file name held by the window itself
    Font, // a QFont::toString() description
    Colour, // an unsigned 32-bit ARGB value
    Layout, // the window's own arrangement (QSplitter::saveState()), not for stamping
};

struct Option
{
    const char *key;
    // What it means, in a few words, for --list-settings and the manual
    // (marked for translation in the context "StoredOptions", as QT_TR_NOOP
    // within this namespace marks it).
    const char *meaning;
    Type type;
    QVariant fallback; // the value of a first run, when the key is absent
    // The object name of the form control that holds the value; null for
    // what the window holds itself (the logo file, the font, the colour, the
    // reference side of a proportional stamp, the splitter's state).
    const char *control = nullptr;
    // The control's range (Int and Double); values beyond it are clamped by
    // the control.
    double minimum = 0;
    double maximum = 0;
    int decimals = 0; // Double: the digits the control keeps after the point
};

// Every stored option, in the order in which the window applies them.
const std::vector<Option> &all();

// The option stored under `key`, or null.
const Option *find(const QString &key);

// The keys most like `key`, nearest first (at most three); the ones only
// the window sets are left out.
QStringList nearest(const QString &key);

// The option's type and range as --list-settings and the manual show them:
// "bool", "int 0..1000", "double 0.01..10.00", "text", "path", "font",
// "colour", "layout".
QString typeText(const Option &option);

// A value as --set takes it (the colour as #rrggbb); the inverse of
// fromText() for every type but Layout.
QString toText(const Option &option, const QVariant &value);

// The family used in place of the font's own when that is not installed,
// or an empty string when it is. Needs the application's font database.
QString substituteFamily(const QFont &font);

// Whether QFont::fromString() accepts `description` (QFont itself complains
// on the console about the ones it rejects), and the font when it does.
bool parseFont(const QString &description, QFont *font);

// A value as the store holds it, made into what the control ends up holding
// when the window applies it: converted to the option's type, clamped into
// the control's range, rounded to its decimals, cut to a line edit's length.
QVariant settled(const Option &option, const QVariant &stored);

// A value given as text (key=value on a command line) checked against the
// option's type and its control's range. Returns an empty string and sets
// `value` when it is acceptable, otherwise says why, naming the key.
QString fromText(const Option &option, const QString &text, QVariant *value);

// Everything a batch run takes from the stored options.
struct RunOptions
{
    StampOptions stamp;
    QFont font;
    QColor color;
    QString logoFileName;
    QString suffix; // "jpg", "png", "tif" or "webp"
    int jpgQuality = 90; // the JPG and WEBP quality
    int maxMegapixels = 150; // the pixel cap of one picture
    bool stripLocation = false; // leave the GPS tags out
    bool textFields = false; // fill in the watermark text's fields (batch/fields.h)
    bool keepTree = false; // each picture in its subfolders, as found (OutputNames)
    QString namePattern; // the outputs' names, "{name}" for the source's own
};

// The options as the window holds them after applying the stored values
// that `stored` gives for each key (an invalid QVariant for an absent key).
// Radio buttons behave as in the window: the last one of a set stored as
// checked wins, and when none is, the form's own choice stays.
RunOptions resolve(const std::function<QVariant(const Option &)> &stored);

// The same, read from a settings store.
RunOptions resolve(const QSettings &settings);

} // namespace StoredOptions
