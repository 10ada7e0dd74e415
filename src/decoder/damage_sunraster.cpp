// SPDX-License-Identifier: GPL-3.0-or-later
// Sun raster: a colour map or pixel data shorter than the header declares.
#include "decoder/damagechecks.h"

#include <algorithm>

#include "common/bytes.h"

namespace DamageChecks {

// A Sun raster's colour map and pixel data, against what its header
// declares; run-length encoded data is walked to count what it gives.
QString sunRaster(int fd, qint64 fileSize)
{
    const QByteArray head = Bytes::readAt(fd, 0, 32);
    if (head.size() < 32)
        return QStringLiteral("the file ends inside its header");
    const char *h = head.constData();
    const qint64 width = Bytes::big(h + 4, 4), height = Bytes::big(h + 8, 4),
                 depth = Bytes::big(h + 12, 4), length = Bytes::big(h + 16, 4),
                 type = Bytes::big(h + 20, 4), mapType = Bytes::big(h + 24, 4),
                 mapLength = Bytes::big(h + 28, 4);
    if (mapType == 1 && (mapLength % 3 || mapLength / 3 > 256))
        return QStringLiteral("its colour map of %1 bytes is not one of RGB colours")
            .arg(mapLength);
    const qint64 start = 32 + mapLength;
    if (start > fileSize)
        return QStringLiteral("the file ends inside its colour map");
    const qint64 needed = (width * depth + 15) / 16 * 2 * height;
    if (type == 2) {
        const QByteArray data = Bytes::readAt(fd, start, fileSize - start);
        const auto *p = reinterpret_cast<const uchar *>(data.constData());
        qint64 got = 0;
        for (qint64 at = 0; at < data.size() && got < needed;) {
            if (p[at] != 0x80) {
                ++got, ++at;
            } else if (at + 1 < data.size() && p[at + 1] == 0) {
                ++got, at += 2;
            } else if (at + 2 < data.size()) {
                got += p[at + 1] + 1, at += 3;
            } else {
                break;
            }
        }
        if (got < needed)
            return QStringLiteral("its pixel data ends after %1 of %2 bytes").arg(got).arg(needed);
        return QString();
    }
    const qint64 declared = std::max(length, needed);
    if (start + declared > fileSize)
        return QStringLiteral("its pixel data ends after %1 of %2 bytes")
            .arg(fileSize - start)
            .arg(declared);
    return QString();
}

QString sunRasterVariant(const QByteArray &head)
{
    if (head.size() >= 32 && Bytes::big(head, 20, 4) == 2)
        return QStringLiteral("its pixels are run-length coded, which is not read here");
    return QString();
}

} // namespace DamageChecks
