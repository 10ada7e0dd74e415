// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QtGlobal>

// Numbers in the bytes of a file, read and written the one way every part
// of the program that looks at a picture's structure does: big-endian
// (JPEG, PNG, GIF's neighbours, ISO boxes, Sun raster) or little-endian
// (BMP, TIFF as the program writes it), one to four bytes wide.
namespace Bytes {

// The `width`-byte number at `bytes`, which holds that many.
inline quint32 big(const char *bytes, int width)
{
    quint32 value = 0;
    for (int k = 0; k < width; ++k)
        value = (value << 8) | quint8(bytes[k]);
    return value;
}

inline quint32 little(const char *bytes, int width)
{
    quint32 value = 0;
    for (int k = width - 1; k >= 0; --k)
        value = (value << 8) | quint8(bytes[k]);
    return value;
}

// The `width`-byte number at offset `at` of `bytes`; 0 where it would reach
// outside them.
inline quint32 big(const QByteArray &bytes, qint64 at, int width)
{
    return at >= 0 && at + width <= bytes.size() ? big(bytes.constData() + at, width) : 0;
}

inline quint32 little(const QByteArray &bytes, qint64 at, int width)
{
    return at >= 0 && at + width <= bytes.size() ? little(bytes.constData() + at, width) : 0;
}

inline void appendBig(QByteArray &out, quint32 value, int width)
{
    for (int shift = 8 * (width - 1); shift >= 0; shift -= 8)
        out.append(char((value >> shift) & 0xff));
}

inline void appendLittle(QByteArray &out, quint32 value, int width)
{
    for (int shift = 0; shift < 8 * width; shift += 8)
        out.append(char((value >> shift) & 0xff));
}

// Up to `count` bytes of the file open at `fd` from offset `at`, without
// moving its position; fewer when the file ends first. Every reader of the
// decoder's side reads the file it was handed through this.
QByteArray readAt(int fd, qint64 at, qint64 count);

} // namespace Bytes
