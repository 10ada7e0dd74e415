// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/drawingreasons.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QVector>

#include <utility>

namespace DrawingReasons {

namespace {

// A sentence, and the pattern that finds it in a reason: anchored, its
// words taken literally, each particular any text at all.
struct Form
{
    const char *sentence;
    QRegularExpression pattern;
    QVector<int> places; // the number of each particular, in the order they stand
};

const QVector<Form> &forms()
{
    static const QVector<Form> all = [] {
        QVector<Form> made;
        static const QRegularExpression place(QStringLiteral("%([1-9])"));
        for (const char *sentence : { Outside, EntityBomb, NoDrawing, HoldsText, ForeignPicture,
                 Malformed, OutOfMemory, UnpacksTooLarge, PackingDamaged, TooLarge, NoSize,
                 NotDrawable, SizeTooLarge, MalformedReply, NoMemory, Unreadable }) {
            const QString text = QString::fromLatin1(sentence);
            QString pattern = QStringLiteral("^");
            QVector<int> places;
            int at = 0;
            for (auto found = place.globalMatch(text); found.hasNext();) {
                const QRegularExpressionMatch match = found.next();
                pattern += QRegularExpression::escape(text.mid(at, match.capturedStart() - at))
                    + QStringLiteral("(.*?)");
                places << match.captured(1).toInt();
                at = match.capturedEnd();
            }
            pattern += QRegularExpression::escape(text.mid(at)) + QLatin1Char('$');
            made.push_back({ sentence,
                QRegularExpression(pattern, QRegularExpression::DotMatchesEverythingOption),
                std::move(places) });
        }
        return made;
    }();
    return all;
}

} // namespace

QString translated(const QString &reason)
{
    for (const Form &form : forms()) {
        const QRegularExpressionMatch match = form.pattern.match(reason);
        if (!match.hasMatch())
            continue;
        const QString own = QCoreApplication::translate("DrawingReasons", form.sentence);
        // The particulars go in in one pass, so that one that holds "%2"
        // itself stays as it is.
        static const QRegularExpression place(QStringLiteral("%([1-9])"));
        QString result;
        int at = 0;
        for (auto found = place.globalMatch(own); found.hasNext();) {
            const QRegularExpressionMatch spot = found.next();
            result += own.mid(at, spot.capturedStart() - at);
            const int number = spot.captured(1).toInt();
            const int index = form.places.indexOf(number);
            QString particular = index < 0 ? spot.captured() : match.captured(index + 1);
            // The file's name stays as it is; the reason after it is one of
            // the sentences again.
            if (form.sentence == Unreadable && number == 2)
                particular = translated(particular);
            result += particular;
            at = spot.capturedEnd();
        }
        return result + own.mid(at);
    }
    return reason;
}

} // namespace DrawingReasons
