// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/inflate.h"

#include <zlib.h>

namespace Inflate {

Result stream(const QByteArray &compressed, qint64 most, bool gzip,
    const std::function<void(const char *bytes, qint64 count)> &take)
{
    Result result;
    z_stream stream {};
    // 16 + the window's bits: a gzip wrapper.
    if ((gzip ? inflateInit2(&stream, 16 + MAX_WBITS) : inflateInit(&stream)) != Z_OK)
        return result;
    result.started = true;
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(compressed.constData()));
    stream.avail_in = uInt(compressed.size());
    char piece[65536];
    int status = Z_OK;
    while (status == Z_OK && result.produced <= most) {
        stream.next_out = reinterpret_cast<Bytef *>(piece);
        stream.avail_out = sizeof piece;
        status = inflate(&stream, Z_NO_FLUSH);
        const qint64 got = qint64(sizeof piece) - stream.avail_out;
        result.produced += got;
        if (take)
            take(piece, got);
        if (status == Z_OK && got == 0 && stream.avail_in == 0)
            break; // the stream ends before its end
    }
    result.ended = status == Z_STREAM_END;
    result.trailing = result.ended && stream.avail_in > 0;
    inflateEnd(&stream);
    return result;
}

} // namespace Inflate
