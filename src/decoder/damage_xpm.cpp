// SPDX-License-Identifier: GPL-3.0-or-later
// XPM: rows missing or of the wrong width, colours its table lacks.
#include "decoder/damagechecks.h"

#include <QList>
#include <QSet>

#include <algorithm>
#include <vector>

#include "common/bytes.h"

namespace DamageChecks {

// An XPM's strings: the values line, the colours (each key once), and every
// declared row of the declared width in keys that are in the colour table.
QString xpm(int fd, qint64 fileSize)
{
    const QByteArray text = Bytes::readAt(fd, 0, fileSize);
    QList<QByteArray> strings;
    for (int at = text.indexOf('{'); at >= 0 && at < text.size();) {
        const int open = text.indexOf('"', at);
        const int comment = text.indexOf("/*", at);
        if (open < 0)
            break;
        if (comment >= 0 && comment < open) {
            const int end = text.indexOf("*/", comment + 2);
            if (end < 0)
                break;
            at = end + 2;
            continue;
        }
        const int close = text.indexOf('"', open + 1);
        if (close < 0)
            return QStringLiteral("the file ends inside a string");
        strings << text.mid(open + 1, close - open - 1);
        at = close + 1;
    }
    const QList<QByteArray> values = strings.value(0).simplified().split(' ');
    const qint64 width = values.value(0).toLongLong(), height = values.value(1).toLongLong(),
                 colours = values.value(2).toLongLong(), keyLength = values.value(3).toLongLong();
    if (values.size() < 4 || width <= 0 || height <= 0 || colours <= 0 || keyLength <= 0
        || keyLength > 8)
        return QString(); // the reader refuses it on its own
    if (strings.size() < 1 + colours + height)
        return QStringLiteral("it holds %1 of its %2 rows")
            .arg(std::max<qint64>(0, strings.size() - 1 - colours))
            .arg(height);
    QSet<QByteArray> keys;
    // Keys of one or two characters, the usual ones, looked up in a table.
    std::vector<bool> known(keyLength <= 2 ? 65536 : 0);
    const auto code = [](const char *key, qint64 length) {
        return quint8(key[0]) | (length > 1 ? quint8(key[1]) << 8 : 0);
    };
    for (int k = 1; k <= colours; ++k) {
        const QByteArray key = strings[k].left(int(keyLength));
        keys.insert(key);
        if (!known.empty() && key.size() == keyLength)
            known[code(key.constData(), keyLength)] = true;
    }
    if (keys.size() != colours)
        return QStringLiteral("its colour table names a colour twice");
    for (qint64 row = 0; row < height; ++row) {
        const QByteArray &line = strings[int(1 + colours + row)];
        if (line.size() != width * keyLength)
            return QStringLiteral("row %1 is not %2 pixels wide").arg(row + 1).arg(width);
        for (qint64 x = 0; x < width; ++x) {
            const char *key = line.constData() + x * keyLength;
            if (known.empty() ? !keys.contains(QByteArray(key, int(keyLength)))
                              : !known[code(key, keyLength)])
                return QStringLiteral("row %1 uses a colour its table does not have").arg(row + 1);
        }
    }
    return QString();
}

} // namespace DamageChecks
