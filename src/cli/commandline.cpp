// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/commandline.h"

#include <QCoreApplication>
#include <QLocale>

#include "batch/storedoptions.h"
#include "config.h"

namespace Cli {

namespace {

// Messages for people, translated where the user's language has a
// translation; the result lines and journals never are.
QString tr(const char *text)
{
    return QCoreApplication::translate("Cli", text);
}

const char *const helpText = QT_TRANSLATE_NOOP("Cli",
    "Usage: tarvelo-cli [options] --output DIR PATH...\n"
    "\n"
    "Stamps every picture with the logo, text and settings the Tarvelo window\n"
    "last saved, and writes the stamped copies into DIR, never overwriting a\n"
    "file. Needs no display.\n"
    "\n"
    "The settings come from the window's store, saved when the window starts a\n"
    "run or closes (~/.config/Dovrin Halsek/Tarvelo.conf), or from --options FILE\n"
    "instead; --set overrides single keys over either, and --list-settings shows\n"
    "every key with its first-run default and the value in effect. Before the\n"
    "window has saved any, the first-run defaults hold, and two of them surprise:\n"
    "every picture is resized to fit 1920 x 1920 (--set resize_check=false keeps\n"
    "the sizes), and the text is the placeholder \"Enter your text here!\", which\n"
    "is refused: give the text with --set wtrmark_edit=TEXT (empty for none).\n"
    "\n"
    "PATH is a picture file or a folder, taken as a drop on the window takes it\n"
    "(every picture under it, each folder in natural name order); - reads one\n"
    "path per line from standard input.\n"
    "\n"
    "Options:\n"
    "  -o, --output DIR      the folder the stamped pictures go to (must exist)\n"
    "  --options FILE        take the settings from FILE (the INI format of the\n"
    "                        window's store, e.g. a copy of\n"
    "                        ~/.config/Dovrin Halsek/Tarvelo.conf) instead of\n"
    "                        the window's store\n"
    "  --set KEY=VALUE       override one stored setting by its key, e.g.\n"
    "                        wtrmark_edit=\"(c) Me\", shadow_spin=20,\n"
    "                        logo_file_name=/path/logo.png; repeatable\n"
    "  --format jpg|png|tif|webp\n"
    "                        the output format\n"
    "  --quality N           the JPG and WEBP quality, 1 to 100 (a WEBP is\n"
    "                        lossless at 100)\n"
    "  --jobs N              pictures worked on at once (default: the cores this\n"
    "                        process may use, by its CPU affinity and its\n"
    "                        container's or batch job's CPU quota)\n"
    "  --strip-metadata      leave metadata and colour profile out\n"
    "  --strip-location      leave out where the pictures were taken (their GPS\n"
    "                        tags) and keep the rest of their metadata; the\n"
    "                        same as --set strip_location_check=true\n"
    "  --keep-tree           write the pictures found in a folder into the same\n"
    "                        subfolders of DIR (made as needed); the same as\n"
    "                        --set keep_tree_check=true\n"
    "  --name PATTERN        name the stamped pictures by PATTERN: {name} is the\n"
    "                        picture's own name, and the watermark text's fields\n"
    "                        can be used, e.g. {name}_web or {date}_{counter:4};\n"
    "                        the same as --set name_pattern=PATTERN\n"
    "  --null                - reads NUL-separated paths (find -print0); without\n"
    "                        it, a list holding a NUL byte is refused\n"
    "  --journal FILE        record every picture in FILE as soon as it is done,\n"
    "                        and leave out the pictures FILE records as stamped:\n"
    "                        a run repeated with the same FILE, after any\n"
    "                        interruption, stamps each picture once in total\n"
    "  --retry               each PATH is a journal or a file of result lines\n"
    "                        (- reads them from standard input): the pictures\n"
    "                        they record as failed, and none as stamped, are\n"
    "                        stamped again\n"
    "  --list-settings       list every setting, one a line, tab-separated: key,\n"
    "                        type and range, first-run default, value in effect\n"
    "                        (with --options and --set) and meaning\n"
    "  -h, --help            show this help\n"
    "  -V, --version         show the version\n"
    "\n"
    "With --set text_fields_check=true the watermark text's fields are filled\n"
    "in for each picture: {name}, {date}, {time}, {year}, {artist}, {copyright},\n"
    "{camera}, {lens}, {width}, {height}, {counter} ({counter:3} gives 001);\n"
    "{{ and }} stand for braces. The logo may be an SVG or SVGZ drawing.\n"
    "\n"
    "Standard output gets one line per picture, tab-separated:\n"
    "  ok<TAB>source<TAB>output   or   failed<TAB>source<TAB>reason\n"
    "(a tab, newline, carriage return or backslash in a name is written as \\t,\n"
    "\\n, \\r or \\\\; --retry reads them back).\n"
    "Standard error gets a progress bar when it is a terminal, and a summary.\n"
    "\n"
    "Exit status: 0 all stamped, 1 some failed (or the journal could not be\n"
    "written), 2 usage or settings error (nothing written), 130 interrupted\n"
    "(Ctrl-C or SIGTERM; the file being written is finished, no partial file\n"
    "is left).\n");

Parsed usage(const QString &message)
{
    Parsed parsed;
    parsed.outcome = Parsed::Outcome::Usage;
    parsed.message = message;
    return parsed;
}

bool wholeNumber(const QString &text, int minimum, int maximum, int *value)
{
    bool ok = false;
    *value = QLocale::c().toInt(text, &ok);
    return ok && *value >= minimum && *value <= maximum;
}

} // namespace

Parsed parse(const QStringList &arguments)
{
    Parsed parsed;
    parsed.outcome = Parsed::Outcome::Run;
    Request &request = parsed.request;
    bool optionsEnded = false;
    bool listSettings = false;

    for (int i = 0; i < arguments.size(); ++i) {
        QString argument = arguments.at(i);
        if (optionsEnded || argument == QLatin1String("-")
            || !argument.startsWith(QLatin1Char('-'))) {
            request.paths << argument;
            continue;
        }
        if (argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        // --name=value is the same as --name value.
        QString inlineValue;
        bool hasInline = false;
        const int equals = argument.indexOf(QLatin1Char('='));
        if (argument.startsWith(QLatin1String("--")) && equals > 2) {
            inlineValue = argument.mid(equals + 1);
            argument.truncate(equals);
            hasInline = true;
        }
        const auto value = [&](QString *into) {
            if (hasInline) {
                *into = inlineValue;
                return true;
            }
            if (i + 1 >= arguments.size())
                return false;
            *into = arguments.at(++i);
            return true;
        };
        const auto flag = [&](bool *into) {
            *into = true;
            return !hasInline;
        };

        QString text;
        if (argument == QLatin1String("-h") || argument == QLatin1String("--help")) {
            parsed.outcome = Parsed::Outcome::Help;
            parsed.message = tr(helpText);
            return parsed;
        } else if (argument == QLatin1String("-V") || argument == QLatin1String("--version")) {
            parsed.outcome = Parsed::Outcome::Version;
            parsed.message
                = QStringLiteral("tarvelo-cli " TARVELO_VERSION "\n" TARVELO_LICENCE_NOTICE);
            return parsed;
        } else if (argument == QLatin1String("-o") || argument == QLatin1String("--output")) {
            if (!value(&request.output) || request.output.isEmpty())
                return usage(tr("--output needs a folder"));
        } else if (argument == QLatin1String("--options")) {
            if (!value(&request.optionsFile) || request.optionsFile.isEmpty())
                return usage(tr("--options needs a file"));
        } else if (argument == QLatin1String("--set")) {
            if (!value(&text) || !text.contains(QLatin1Char('=')))
                return usage(tr("--set needs KEY=VALUE"));
            const QString key = text.section(QLatin1Char('='), 0, 0);
            const StoredOptions::Option *option = StoredOptions::find(key);
            if (!option) {
                const QStringList near = StoredOptions::nearest(key);
                QString message = tr("--set: there is no setting called \"%1\"").arg(key);
                if (!near.isEmpty())
                    message += tr("; did you mean %1?").arg(near.join(QStringLiteral(", ")));
                return usage(message + tr(" (--list-settings lists them all)"));
            }
            QVariant checked;
            const QString problem
                = StoredOptions::fromText(*option, text.section(QLatin1Char('='), 1), &checked);
            if (!problem.isEmpty())
                return usage(QStringLiteral("--set: ") + problem);
            request.overrides.append({ key, checked });
        } else if (argument == QLatin1String("--format")) {
            if (!value(&text))
                return usage(tr("--format needs jpg, png, tif or webp"));
            request.format = text.toLower();
            if (!QStringList { "jpg", "png", "tif", "webp" }.contains(request.format))
                return usage(tr("--format takes jpg, png, tif or webp, not \"%1\"").arg(text));
        } else if (argument == QLatin1String("--quality")) {
            const StoredOptions::Option *slider
                = StoredOptions::find(QStringLiteral("comp_slider"));
            if (!value(&text)
                || !wholeNumber(
                    text, int(slider->minimum), int(slider->maximum), &request.jpgQuality))
                return usage(tr("--quality takes a whole number from %1 to %2")
                                 .arg(slider->minimum)
                                 .arg(slider->maximum));
        } else if (argument == QLatin1String("--jobs")) {
            if (!value(&text) || !wholeNumber(text, 1, 1024, &request.jobs))
                return usage(tr("--jobs takes a whole number from 1 to 1024"));
        } else if (argument == QLatin1String("--strip-metadata")) {
            if (!flag(&request.stripMetadata))
                return usage(tr("--strip-metadata takes no value"));
        } else if (argument == QLatin1String("--strip-location")) {
            if (!flag(&request.stripLocation))
                return usage(tr("--strip-location takes no value"));
        } else if (argument == QLatin1String("--keep-tree")) {
            bool keep = false;
            if (!flag(&keep))
                return usage(tr("--keep-tree takes no value"));
            request.overrides.append({ QStringLiteral("keep_tree_check"), true });
        } else if (argument == QLatin1String("--name")) {
            if (!value(&text))
                return usage(tr("--name needs a pattern, e.g. {name}_web"));
            request.overrides.append({ QStringLiteral("name_pattern"), text });
        } else if (argument == QLatin1String("--null")) {
            if (!flag(&request.nullSeparated))
                return usage(tr("--null takes no value"));
        } else if (argument == QLatin1String("--retry")) {
            if (!flag(&request.retry))
                return usage(tr("--retry takes no value"));
        } else if (argument == QLatin1String("--list-settings")) {
            if (!flag(&listSettings))
                return usage(tr("--list-settings takes no value"));
        } else if (argument == QLatin1String("--journal")) {
            if (!value(&request.journal) || request.journal.isEmpty())
                return usage(tr("--journal needs a file"));
        } else {
            return usage(tr("unknown option %1").arg(argument));
        }
    }

    // The list needs neither a folder nor pictures.
    if (listSettings) {
        parsed.outcome = Parsed::Outcome::ListSettings;
        return parsed;
    }
    if (request.output.isEmpty())
        return usage(tr("say where the stamped pictures go: --output DIR"));
    if (request.paths.isEmpty())
        return usage(tr("name the pictures or folders to stamp (or - to read them "
                        "from standard input)"));
    return parsed;
}

} // namespace Cli
