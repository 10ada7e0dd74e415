// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch/outputnames.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include "batch/batchoptions.h"

namespace OutputNames {

namespace {

// Messages for people, in the user's language where it has a translation.
QString tr(const char *text)
{
    return QCoreApplication::translate("OutputNames", text);
}

// The width of a zero-padded counter, "counter:3", or 0 when `field` is no
// such field.
int counterWidth(const QStringRef &field)
{
    static const QString prefix = QStringLiteral("counter:");
    if (field.size() != prefix.size() + 1 || !field.startsWith(prefix))
        return 0;
    const QChar digit = field.at(prefix.size());
    return digit >= QLatin1Char('1') && digit <= QLatin1Char('9') ? digit.digitValue() : 0;
}

// The value of the field `field` but {name}; false when it is no field.
bool fill(const QStringRef &field, const NameValues &values, QString *value)
{
    const QDate date = values.taken.date();
    if (field == QLatin1String("date"))
        *value = date.toString(QStringLiteral("yyyy-MM-dd"));
    else if (field == QLatin1String("time"))
        *value = values.taken.time().toString(QStringLiteral("HH:mm"));
    else if (field == QLatin1String("year"))
        *value = date.toString(QStringLiteral("yyyy"));
    else if (field == QLatin1String("counter") || counterWidth(field) > 0)
        *value
            = QStringLiteral("%1").arg(values.counter, counterWidth(field), 10, QLatin1Char('0'));
    else
        return false;
    return true;
}

// Reads `pattern` left to right, as the watermark text's fields are read:
// `literal` gets the text that stands for itself, `field` each field in
// braces by its name and as typed. A doubled brace is a brace; a brace
// that another one opens after before it closes is a brace too.
template <class Literal, class Field>
void walk(const QString &pattern, const Literal &literal, const Field &field)
{
    const int size = pattern.size();
    for (int at = 0; at < size;) {
        const QChar c = pattern.at(at);
        if ((c == QLatin1Char('{') || c == QLatin1Char('}')) && at + 1 < size
            && pattern.at(at + 1) == c) {
            literal(QString(c));
            at += 2;
            continue;
        }
        const int close = c == QLatin1Char('{') ? pattern.indexOf(QLatin1Char('}'), at + 1) : -1;
        const int open = pattern.indexOf(QLatin1Char('{'), at + 1);
        if (close > at && (open < 0 || open > close)) {
            field(pattern.midRef(at + 1, close - at - 1), pattern.midRef(at, close - at + 1));
            at = close + 1;
            continue;
        }
        literal(QString(c));
        ++at;
    }
}

} // namespace

QString keptFolder(const QString &root, const QString &picture, QString *refusal)
{
    refusal->clear();
    if (root.isEmpty())
        return QString();
    const QString fileName = QFileInfo(picture).fileName();
    const QString base = QDir::cleanPath(root);
    const QString path = QDir::cleanPath(picture);
    // cleanPath() leaves "." for the current folder and keeps a leading
    // ".." (it cannot be resolved without the disk), and "/" stays "/".
    QString relative;
    if (base == QLatin1String(".") && QDir::isRelativePath(path))
        relative = path;
    else if (path.startsWith(base.endsWith(QLatin1Char('/')) ? base : base + QLatin1Char('/')))
        relative = path.mid(base.size() + (base.endsWith(QLatin1Char('/')) ? 0 : 1));
    QStringList steps = relative.split(QLatin1Char('/'));
    steps.removeLast(); // the file's own name
    const bool outside = relative.isEmpty() || QDir::isAbsolutePath(relative)
        || steps.contains(QStringLiteral("..")) || steps.contains(QString());
    if (outside) {
        // A reason in the results, which stay in English for the programs
        // that read them.
        *refusal = QStringLiteral("%1 was not stamped: it does not lie inside the folder it was "
                                  "found in (%2), so its place would be outside the output folder.")
                       .arg(fileName, QDir::toNativeSeparators(root));
        return QString();
    }
    return steps.join(QLatin1Char('/'));
}

QString patternProblem(const QString &pattern)
{
    if (pattern.contains(QLatin1Char('/')))
        return tr("the file name \"%1\" holds a /, which no file name can hold").arg(pattern);
    if (pattern.trimmed().isEmpty())
        return tr("the file name \"%1\" makes an empty name").arg(pattern);
    return QString();
}

Place place(const BatchOptions &options, const QString &root, const QString &picture, int counter,
    const QDateTime &modified)
{
    Place place;
    if (options.keepTree)
        place.folder = keptFolder(root, picture, &place.refusal);
    const QString base = QFileInfo(picture).completeBaseName();
    place.name = fileName(options.namePattern, { base, modified, counter });
    if (place.name.isEmpty() && place.refusal.isEmpty())
        place.refusal = QStringLiteral("%1 was not stamped: the file name \"%2\" makes an empty "
                                       "name for it.")
                            .arg(QFileInfo(picture).fileName(), options.namePattern);
    return place;
}

QString fileName(const QString &pattern, const NameValues &values)
{
    QString name;
    // What file systems refuse in a name, as the pattern or a field puts it.
    const auto safely = [&name](const QString &text) {
        static const QString refused = QStringLiteral("/\\:*?\"<>|");
        for (const QChar c : text)
            name += c.unicode() < 0x20 || c.unicode() == 0x7f || refused.contains(c)
                ? QLatin1Char('_')
                : c;
    };
    walk(
        pattern, [&](const QString &literal) { safely(literal); },
        [&](const QStringRef &field, const QStringRef &typed) {
            QString value;
            if (field == QLatin1String("name"))
                name += values.name;
            else if (fill(field, values, &value))
                safely(value);
            else
                safely(typed.toString());
        });
    return name;
}

bool needsDate(const QString &pattern)
{
    bool needs = false;
    walk(
        pattern, [](const QString &) {},
        [&needs](const QStringRef &field, const QStringRef &) {
            needs = needs || field == QLatin1String("date") || field == QLatin1String("time")
                || field == QLatin1String("year");
        });
    return needs;
}

} // namespace OutputNames
