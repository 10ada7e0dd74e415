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

// Stands in for {name} while the rest of a file name is filled in: a
// control character, which neither the pattern nor a value holds any more
// once their control characters are made "_", so every one in the
// filled-in name is a {name}.
constexpr QChar NameMark(0x01);

// Whether file systems refuse `c` in a name: control characters and
// / \ : * ? " < > |.
bool refused(QChar c)
{
    static const QString marks = QStringLiteral("/\\:*?\"<>|");
    return c.unicode() < 0x20 || c.unicode() == 0x7f || marks.contains(c);
}

// `text` with its control characters made "_" (its braces and colons are
// still read as fields).
QString withoutControls(QString text)
{
    for (QChar &c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char('_');
    return text;
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

Place place(
    const BatchOptions &options, const QString &root, const QString &picture, Fields::Values values)
{
    Place place;
    if (options.keepTree)
        place.folder = keptFolder(root, picture, &place.refusal);
    values.name = QFileInfo(picture).completeBaseName();
    place.name = fileName(options.namePattern, values);
    if (place.name.isEmpty() && place.refusal.isEmpty())
        place.refusal = QStringLiteral("%1 was not stamped: the file name \"%2\" makes an empty "
                                       "name for it.")
                            .arg(QFileInfo(picture).fileName(), options.namePattern);
    return place;
}

QString fileName(const QString &pattern, const Fields::Values &values)
{
    // Filled in with a mark for {name}, so that what the pattern and the
    // other fields put is cleaned and the source's own name is not.
    Fields::Values marked = values;
    marked.name = NameMark;
    PictureFields &m = marked.metadata;
    for (QString *text : { &m.artist, &m.copyright, &m.make, &m.model, &m.lens })
        *text = withoutControls(*text);
    const QString filled = Fields::expand(withoutControls(pattern), marked);
    QString name;
    for (const QChar c : filled)
        name += c == NameMark ? values.name : QString(refused(c) ? QLatin1Char('_') : c);
    return name;
}

} // namespace OutputNames
