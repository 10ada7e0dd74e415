// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/picturefields.h"

#include <QDataStream>
#include <QRegularExpression>

#include <tuple>

#include "common/boundedreader.h"

bool PictureFields::operator==(const PictureFields &other) const
{
    return std::tie(taken, artist, copyright, make, model, lens)
        == std::tie(
            other.taken, other.artist, other.copyright, other.make, other.model, other.lens);
}

namespace PictureFieldsWire {

void write(QDataStream &out, const PictureFields &fields)
{
    for (const QString *value : { &fields.taken, &fields.artist, &fields.copyright, &fields.make,
             &fields.model, &fields.lens })
        out << value->left(MaxChars);
}

bool read(BoundedReader &in, PictureFields &fields)
{
    PictureFields values;
    for (QString *value : { &values.taken, &values.artist, &values.copyright, &values.make,
             &values.model, &values.lens })
        *value = in.string(MaxChars);
    if (!in.ok())
        return false;
    if (!PictureDates::split(values.taken, nullptr, nullptr))
        values.taken.clear();
    // Each is one line of a watermark: a line break or a tab in it is a
    // space.
    for (QString *value : { &values.artist, &values.copyright, &values.make, &values.model,
             &values.lens })
        for (QChar &c : *value)
            if (c.category() == QChar::Other_Control)
                c = QLatin1Char(' ');
    fields = values;
    return true;
}

} // namespace PictureFieldsWire

namespace PictureDates {

QString normalised(const QString &written)
{
    // The date first, then a time of day when one follows; whatever comes
    // after (fractions of a second, a zone, EXIF's blanks for an unknown
    // time) says nothing more about the clock.
    static const QRegularExpression form(QStringLiteral(
        "^(\\d{4})[:/-](\\d{2})[:/-](\\d{2})(?:[ T](\\d{2}):(\\d{2})(?::(\\d{2}))?)?"));
    const QRegularExpressionMatch match = form.match(written.trimmed());
    if (!match.hasMatch())
        return QString();
    const QDate date(
        match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
    if (!date.isValid())
        return QString();
    QString taken = date.toString(QStringLiteral("yyyy-MM-dd"));
    if (!match.captured(4).isEmpty()) {
        const QTime time(
            match.captured(4).toInt(), match.captured(5).toInt(), match.captured(6).toInt());
        if (time.isValid())
            taken += QLatin1Char('T') + time.toString(QStringLiteral("HH:mm:ss"));
    }
    return taken;
}

bool split(const QString &taken, QDate *date, QTime *time)
{
    const QDate day = QDate::fromString(taken.left(10), QStringLiteral("yyyy-MM-dd"));
    const QTime clock = taken.size() == 19 && taken.at(10) == QLatin1Char('T')
        ? QTime::fromString(taken.mid(11), QStringLiteral("HH:mm:ss"))
        : QTime();
    if (!day.isValid() || (taken.size() != 10 && !clock.isValid()))
        return false;
    if (date)
        *date = day;
    if (time)
        *time = clock;
    return true;
}

} // namespace PictureDates
