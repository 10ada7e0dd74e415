// SPDX-License-Identifier: GPL-3.0-or-later
// GIF: no trailer, a frame cut or short of pixels.
#include "decoder/damagechecks.h"

#include <algorithm>

#include "common/bytes.h"

namespace DamageChecks {

namespace {

// The pixels an LZW stream of a GIF frame with `minimum` bits a code gives,
// up to `wanted`; -1 when a code is one the stream cannot hold yet.
qint64 lzwPixels(const QByteArray &data, int minimum, qint64 wanted)
{
    if (minimum < 1 || minimum > 11)
        return -1;
    const int clear = 1 << minimum, end = clear + 1;
    static thread_local quint16 length[4096];
    for (int code = 0; code < clear; ++code)
        length[code] = 1;
    int width = minimum + 1, next = end + 1, previous = -1;
    quint32 buffer = 0;
    int held = 0;
    qint64 pixels = 0;
    for (const char byte : data) {
        buffer |= quint32(quint8(byte)) << held;
        held += 8;
        while (held >= width) {
            const int code = int(buffer & ((1u << width) - 1));
            buffer >>= width;
            held -= width;
            if (code == clear) {
                width = minimum + 1, next = end + 1, previous = -1;
                continue;
            }
            if (code == end)
                return pixels;
            if (previous < 0) {
                if (code > clear)
                    return -1;
                pixels += 1;
            } else {
                if (code > next || (code > end && code == next && next >= 4096))
                    return -1;
                const int grown = std::min(length[previous] + 1, 0xffff);
                pixels += code == next ? grown : length[code];
                if (next < 4096) {
                    length[next++] = quint16(grown);
                    if (next == (1 << width) && width < 12)
                        ++width;
                }
            }
            previous = code;
            if (pixels >= wanted)
                return pixels;
        }
    }
    return pixels;
}

} // namespace

// A GIF walked block by block to its trailer: every frame's colour table
// and image data present, and each frame's compressed data giving all of
// its pixels. Qt's reader leaves what a cut file lacks as background.
QString gif(int fd, qint64 fileSize)
{
    const QByteArray bytes = Bytes::readAt(fd, 0, fileSize);
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    const qint64 size = bytes.size();
    const QString cut = QStringLiteral("the file ends before its trailer");
    if (size < 13)
        return cut;
    qint64 at = 13;
    if (p[10] & 0x80)
        at += 3 << ((p[10] & 7) + 1);
    // The data sub-blocks from `at`, joined; false when the file ends in them.
    const auto blocks = [&](QByteArray *joined) {
        while (at < size) {
            const int length = p[at++];
            if (length == 0)
                return true;
            if (at + length > size)
                return false;
            if (joined)
                joined->append(bytes.constData() + at, length);
            at += length;
        }
        return false;
    };
    for (int frame = 1; at < size;) {
        const int kind = p[at++];
        if (kind == 0x3b)
            return QString();
        if (kind == 0) // padding some writers leave between blocks
            continue;
        if (kind == 0x21) {
            if (++at > size || !blocks(nullptr))
                return cut;
        } else if (kind == 0x2c) {
            if (at + 10 > size)
                return cut;
            const qint64 pixels = qint64(p[at + 4] | p[at + 5] << 8) * (p[at + 6] | p[at + 7] << 8);
            const int flags = p[at + 8];
            at += 9;
            if (flags & 0x80)
                at += 3 << ((flags & 7) + 1);
            if (at >= size)
                return cut;
            const int minimum = p[at++];
            QByteArray data;
            if (!blocks(&data))
                return QStringLiteral("the file ends inside frame %1").arg(frame);
            const qint64 got = lzwPixels(data, minimum, pixels);
            if (got < 0)
                return QStringLiteral("frame %1 holds a code its compressed data cannot have")
                    .arg(frame);
            if (got < pixels)
                return QStringLiteral("frame %1 ends after %2 of its %3 pixels")
                    .arg(frame)
                    .arg(got)
                    .arg(pixels);
            ++frame;
        } else {
            return QStringLiteral("it holds a block of an unknown kind (0x%1)")
                .arg(kind, 2, 16, QLatin1Char('0'));
        }
    }
    return cut;
}

} // namespace DamageChecks
