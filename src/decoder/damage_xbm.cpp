// SPDX-License-Identifier: GPL-3.0-or-later
// XBM: fewer bytes of pixels than its rows declare.
#include "decoder/damagechecks.h"

#include <QList>

#include "common/bytes.h"

namespace DamageChecks {

namespace {

// The number after `name` (as in "#define x_width 16"), -1 when none.
qint64 numberAfter(const QByteArray &text, const QByteArray &name)
{
    const int at = text.indexOf(name);
    if (at < 0)
        return -1;
    bool ok = false;
    const qint64 value
        = text.mid(at + name.size(), 24).simplified().split(' ').value(0).toLongLong(&ok);
    return ok ? value : -1;
}

} // namespace

// An XBM's declared rows, all their bytes present before the closing brace.
QString xbm(int fd, qint64 fileSize)
{
    const QByteArray text = Bytes::readAt(fd, 0, fileSize);
    const qint64 width = numberAfter(text, "_width"), height = numberAfter(text, "_height");
    const int open = text.indexOf('{'), close = text.indexOf('}', open + 1);
    if (width <= 0 || height <= 0 || open < 0)
        return QString(); // the reader refuses it on its own
    if (close < 0)
        return QStringLiteral("the file ends before its closing brace");
    const qint64 needed = (width + 7) / 8 * height;
    const qint64 got = text.mid(open, close - open).toLower().count("0x");
    if (got < needed)
        return QStringLiteral("it holds %1 of its %2 bytes of pixels").arg(got).arg(needed);
    return QString();
}

} // namespace DamageChecks
