// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/iccprofile.h"

#include <QRegularExpression>

#include "common/bytes.h"

namespace IccProfile {

namespace {

constexpr int HeaderBytes = 128;
// A profile needs a handful of tags; none has hundreds, and readers refuse
// a table that claims as many.
constexpr qint64 MaxTags = 255;

bool knownClass(const QByteArray &signature)
{
    static const char *const classes[] = { "scnr", "mntr", "prtr", "link", "spac", "abst", "nmcl",
        "cenc", "mid ", "mlnk", "mvis" };
    for (const char *known : classes)
        if (signature == known)
            return true;
    return false;
}

bool knownColourSpace(const QByteArray &signature)
{
    static const QRegularExpression spaces(
        QStringLiteral("^(XYZ |Lab |Luv |YCbr|Yxy |RGB |GRAY|HSV |HLS |CMYK|CMY |[2-9A-F]CLR)$"));
    return spaces.match(QString::fromLatin1(signature)).hasMatch();
}

// A tag's signature as a reader may be shown it: four printable characters,
// or their hexadecimal value.
QString signature(const QByteArray &bytes)
{
    for (const char c : bytes)
        if (c < 0x20 || c > 0x7e)
            return QStringLiteral("0x") + QString::fromLatin1(bytes.toHex());
    return QString::fromLatin1(bytes).trimmed();
}

} // namespace

QString fault(const QByteArray &profile)
{
    if (profile.size() < HeaderBytes + 4)
        return QStringLiteral("it is cut short");
    const qint64 stated = Bytes::big(profile, 0, 4);
    if (stated != profile.size())
        return QStringLiteral("it states a size of %1 bytes and holds %2")
            .arg(stated)
            .arg(profile.size());
    if (profile.mid(36, 4) != "acsp")
        return QStringLiteral("it lacks the profile signature");
    if (!knownClass(profile.mid(12, 4)))
        return QStringLiteral("its class is none that profiles have");
    if (!knownColourSpace(colourSpace(profile)) || !knownColourSpace(profile.mid(20, 4)))
        return QStringLiteral("its colour space is none that profiles have");
    const qint64 tags = Bytes::big(profile, HeaderBytes, 4);
    const qint64 tableEnd = HeaderBytes + 4 + 12 * tags;
    if (tags < 1 || tags > MaxTags || tableEnd > stated)
        return QStringLiteral("its tag table does not fit it");
    for (qint64 k = 0; k < tags; ++k) {
        const qint64 at = HeaderBytes + 4 + 12 * k;
        const qint64 offset = Bytes::big(profile, at + 4, 4);
        const qint64 size = Bytes::big(profile, at + 8, 4);
        if (offset < tableEnd || offset + size > stated)
            return QStringLiteral("its tag %1 lies outside it")
                .arg(signature(profile.mid(int(at), 4)));
    }
    return QString();
}

} // namespace IccProfile
