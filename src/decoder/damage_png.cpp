// SPDX-License-Identifier: GPL-3.0-or-later
// PNG: chunks that are cut or fail their checksum, or no end chunk.
#include "decoder/damagechecks.h"

#include <zlib.h>

#include "common/bytes.h"

namespace DamageChecks {

QString png(int fd, qint64 fileSize)
{
    const QByteArray bytes = Bytes::readAt(fd, 0, fileSize);
    qint64 at = 8;
    while (at + 12 <= bytes.size()) {
        const qint64 length = Bytes::big(bytes.constData() + at, 4);
        const QByteArray type = bytes.mid(int(at) + 4, 4);
        if (at + 12 + length > bytes.size())
            return QStringLiteral("the file ends inside its %1 chunk")
                .arg(QString::fromLatin1(type));
        const uLong crc = crc32(
            0L, reinterpret_cast<const Bytef *>(bytes.constData() + at + 4), uInt(length + 4));
        if (crc != Bytes::big(bytes.constData() + at + 8 + length, 4))
            return QStringLiteral("%1: CRC error").arg(QString::fromLatin1(type));
        if (type == "IEND")
            return QString();
        at += 12 + length;
    }
    return QStringLiteral("the file ends before its IEND chunk");
}

} // namespace DamageChecks
