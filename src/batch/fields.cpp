// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch/fields.h"

#include <QSet>

namespace Fields {

namespace {

// The fields that take their value from the picture's metadata.
const QSet<QString> &metadataFields()
{
    static const QSet<QString> names { QStringLiteral("date"), QStringLiteral("time"),
        QStringLiteral("year"), QStringLiteral("artist"), QStringLiteral("copyright"),
        QStringLiteral("camera"), QStringLiteral("lens") };
    return names;
}

// The width of a zero-padded counter, "counter:3", or 0 when `name` is no
// such field.
int counterWidth(const QStringRef &name)
{
    static const QString prefix = QStringLiteral("counter:");
    if (name.size() != prefix.size() + 1 || !name.startsWith(prefix))
        return 0;
    const QChar digit = name.at(prefix.size());
    return digit >= QLatin1Char('1') && digit <= QLatin1Char('9') ? digit.digitValue() : 0;
}

// The date and time {date}, {time} and {year} stand for.
void takenOf(const Values &values, QDate *date, QTime *time)
{
    if (PictureDates::split(values.metadata.taken, date, time))
        return;
    if (values.modified.isValid()) {
        *date = values.modified.date();
        *time = values.modified.time();
    }
}

// The value of the field `name`; false when there is no such field.
bool fill(const QStringRef &name, const Values &values, QString *value)
{
    const PictureFields &m = values.metadata;
    if (name == QLatin1String("name")) {
        *value = values.name;
    } else if (metadataFields().contains(name.toString())) {
        QDate date;
        QTime time;
        if (name == QLatin1String("date") || name == QLatin1String("time")
            || name == QLatin1String("year")) {
            takenOf(values, &date, &time);
            *value = name == QLatin1String("date") ? date.toString(QStringLiteral("yyyy-MM-dd"))
                : name == QLatin1String("time")    ? time.toString(QStringLiteral("HH:mm"))
                                                   : date.toString(QStringLiteral("yyyy"));
        } else {
            *value = name == QLatin1String("artist") ? m.artist
                : name == QLatin1String("copyright") ? m.copyright
                : name == QLatin1String("camera")    ? camera(m.make, m.model)
                                                     : m.lens;
        }
    } else if (name == QLatin1String("width") || name == QLatin1String("height")) {
        *value = QString::number(
            name == QLatin1String("width") ? values.output.width() : values.output.height());
    } else if (name == QLatin1String("counter") || counterWidth(name) > 0) {
        *value = QStringLiteral("%1").arg(values.counter, counterWidth(name), 10, QLatin1Char('0'));
    } else {
        return false;
    }
    return true;
}

// Walks `text` once, left to right: `literal` gets each character that
// stands for itself, `field` each field in braces with its name and its
// text as typed, and says whether it knew it.
template <class Literal, class Field>
void walk(const QString &text, const Literal &literal, const Field &field)
{
    const int size = text.size();
    for (int at = 0; at < size;) {
        const QChar c = text.at(at);
        const bool doubled = at + 1 < size && text.at(at + 1) == c;
        if ((c == QLatin1Char('{') || c == QLatin1Char('}')) && doubled) {
            literal(c);
            at += 2;
            continue;
        }
        if (c == QLatin1Char('{')) {
            // A field runs to the next closing brace, unless another one
            // opens first: then this brace is a brace.
            const int close = text.indexOf(QLatin1Char('}'), at + 1);
            const int open = text.indexOf(QLatin1Char('{'), at + 1);
            if (close > at && (open < 0 || open > close)) {
                field(text.midRef(at + 1, close - at - 1), text.midRef(at, close - at + 1));
                at = close + 1;
                continue;
            }
        }
        literal(c);
        ++at;
    }
}

} // namespace

QString expand(const QString &text, const Values &values)
{
    QString filled;
    filled.reserve(text.size());
    walk(
        text, [&](QChar c) { filled += c; },
        [&](const QStringRef &name, const QStringRef &typed) {
            QString value;
            if (fill(name, values, &value))
                filled += value;
            else
                filled += typed;
        });
    return filled;
}

QStringList unknown(const QString &text)
{
    QStringList found;
    const Values none;
    walk(
        text, [](QChar) {},
        [&](const QStringRef &name, const QStringRef &typed) {
            QString value;
            if (!fill(name, none, &value) && !found.contains(typed.toString()))
                found << typed.toString();
        });
    return found;
}

bool needsMetadata(const QString &text)
{
    bool needs = false;
    walk(
        text, [](QChar) {},
        [&](const QStringRef &name, const QStringRef &) {
            needs = needs || metadataFields().contains(name.toString());
        });
    return needs;
}

QString camera(const QString &make, const QString &model)
{
    // The words a maker's name ends in that say it is a company.
    static const QSet<QString> company { QStringLiteral("CORPORATION"), QStringLiteral("CORP"),
        QStringLiteral("COMPANY"), QStringLiteral("CO"), QStringLiteral("LTD"),
        QStringLiteral("COLTD"), QStringLiteral("INC"), QStringLiteral("IMAGING"),
        QStringLiteral("OPTICAL") };
    const auto bare = [](const QString &word) {
        QString letters;
        for (const QChar c : word)
            if (c.isLetterOrNumber())
                letters += c.toUpper();
        return letters;
    };
    QStringList makeWords = make.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString name = model.simplified();
    const QString first = bare(name.section(QLatin1Char(' '), 0, 0));
    for (const QString &word : makeWords)
        if (!first.isEmpty() && bare(word) == first)
            return name;
    while (makeWords.size() > 1 && company.contains(bare(makeWords.last())))
        makeWords.removeLast();
    return (makeWords.join(QLatin1Char(' ')) + QLatin1Char(' ') + name).trimmed();
}

} // namespace Fields
