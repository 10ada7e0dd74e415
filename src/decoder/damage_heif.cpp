// SPDX-License-Identifier: GPL-3.0-or-later
// HEIF and AVIF: a picture larger than any image its container declares.
#include "decoder/damagechecks.h"

#include <QList>

#include <algorithm>

#include "common/bytes.h"

namespace DamageChecks {

namespace {

// The sizes an ISO base media file (HEIF, AVIF) declares for its images:
// the "ispe" properties in meta / iprp / ipco.
QList<QSize> declaredSizes(const QByteArray &bytes, qint64 from, qint64 to, int depth = 0)
{
    QList<QSize> sizes;
    for (qint64 at = from; at + 8 <= to && depth < 4;) {
        qint64 length = Bytes::big(bytes.constData() + at, 4), header = 8;
        const QByteArray type = bytes.mid(int(at) + 4, 4);
        if (length == 1 && at + 16 <= to) {
            length = (qint64(Bytes::big(bytes.constData() + at + 8, 4)) << 32)
                | Bytes::big(bytes.constData() + at + 12, 4);
            header = 16;
        } else if (length == 0) {
            length = to - at;
        }
        if (length < header || at + length > to)
            break;
        if (type == "meta")
            sizes << declaredSizes(bytes, at + header + 4, at + length, depth + 1);
        else if (type == "iprp" || type == "ipco")
            sizes << declaredSizes(bytes, at + header, at + length, depth + 1);
        else if (type == "ispe" && length >= header + 12)
            sizes << QSize(int(Bytes::big(bytes.constData() + at + header + 4, 4)),
                int(Bytes::big(bytes.constData() + at + header + 8, 4)));
        at += length;
    }
    return sizes;
}

} // namespace

QString heifSize(int fd, qint64 fileSize, const QSize &decoded)
{
    // The boxes that describe the images come first; the data follows.
    const QByteArray bytes = Bytes::readAt(fd, 0, std::min<qint64>(fileSize, 4 << 20));
    const QList<QSize> sizes = declaredSizes(bytes, 0, bytes.size());
    if (sizes.isEmpty())
        return QString();
    // A clean aperture may crop, and a rotation turn, the declared size;
    // nothing makes the picture larger.
    for (const QSize &size : sizes)
        if ((decoded.width() <= size.width() && decoded.height() <= size.height())
            || (decoded.width() <= size.height() && decoded.height() <= size.width()))
            return QString();
    return QStringLiteral("it decodes to %1 x %2 pixels, larger than the %3 x %4 it declares")
        .arg(decoded.width())
        .arg(decoded.height())
        .arg(sizes.first().width())
        .arg(sizes.first().height());
}

} // namespace DamageChecks
