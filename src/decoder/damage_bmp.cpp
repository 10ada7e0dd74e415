// SPDX-License-Identifier: GPL-3.0-or-later
// BMP: pixel data that ends early, and runs that leave the picture or lack
// their end.
#include "decoder/damagechecks.h"

#include <algorithm>

#include "common/bytes.h"

namespace DamageChecks {

namespace {

// Run-length encoded pixel data (RLE8, RLE4) has no size known in advance:
// its runs are walked, each must stay inside the picture, and the data must
// end with the end-of-bitmap marker. A reader stops early without it and
// leaves the rest of the picture blank.
QString bmpRunsDamage(int fd, qint64 fileSize, qint64 offset, qint64 width, qint64 height, int bits)
{
    const QByteArray data = Bytes::readAt(fd, offset, std::max<qint64>(0, fileSize - offset));
    const auto *p = reinterpret_cast<const uchar *>(data.constData());
    const qint64 size = data.size();
    qint64 x = 0, y = 0;
    for (qint64 at = 0; at + 2 <= size;) {
        const int count = p[at], value = p[at + 1];
        at += 2;
        if (count > 0) {
            x += count;
        } else if (value == 0) {
            x = 0, ++y;
        } else if (value == 1) {
            return QString();
        } else if (value == 2) {
            if (at + 2 > size)
                break;
            x += p[at], y += p[at + 1];
            at += 2;
        } else {
            const qint64 bytes = bits == 8 ? value : (value + 1) / 2;
            at += (bytes + 1) & ~qint64(1);
            x += value;
        }
        if (x > width || y > height || (y == height && x > 0))
            return QStringLiteral("a run of its pixel data leaves the picture");
    }
    return QStringLiteral("its pixel data ends before its end-of-bitmap marker");
}

} // namespace

QString bmp(int fd, qint64 fileSize)
{
    const QByteArray head = Bytes::readAt(fd, 0, 30);
    if (head.size() < 30)
        return QString();
    const char *h = head.constData();
    const quint32 offset = Bytes::little(h + 10, 4), infoSize = Bytes::little(h + 14, 4);
    qint64 width, height, bits, compression = 0;
    if (infoSize == 12) {
        width = Bytes::little(h + 18, 2);
        height = Bytes::little(h + 20, 2);
        bits = Bytes::little(h + 24, 2);
    } else if (infoSize >= 40) {
        const QByteArray info = Bytes::readAt(fd, 18, 16);
        if (info.size() < 16)
            return QString();
        width = qint32(Bytes::little(info.constData(), 4));
        height = qAbs(qint64(qint32(Bytes::little(info.constData() + 4, 4))));
        bits = Bytes::little(info.constData() + 10, 2);
        compression = Bytes::little(info.constData() + 12, 4);
    } else {
        return QString();
    }
    if ((compression == 1 && bits == 8) || (compression == 2 && bits == 4))
        return bmpRunsDamage(fd, fileSize, offset, width, height, bits);
    if ((compression != 0 && compression != 3 && compression != 6) || width <= 0 || bits <= 0)
        return QString();
    const qint64 needed = qint64(offset) + (width * bits + 31) / 32 * 4 * height;
    if (fileSize >= needed)
        return QString();
    return QStringLiteral("its pixel data ends after %1 of %2 bytes")
        .arg(qMax<qint64>(0, fileSize - offset))
        .arg(needed - offset);
}

QString bmpVariant(const QByteArray &head)
{
    if (head.size() < 34 || Bytes::little(head, 14, 4) < 40)
        return QString();
    const quint32 compression = Bytes::little(head, 30, 4);
    if (compression == 4 || compression == 5)
        return QStringLiteral("it holds a %1 picture inside, which is not read here")
            .arg(compression == 4 ? QStringLiteral("JPEG") : QStringLiteral("PNG"));
    return QString();
}

} // namespace DamageChecks
