// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <functional>

// zlib's inflation of a whole compressed text, PNG chunk or drawing, bounded:
// the one loop the decoder's and the writers' checks all take.
namespace Inflate {

struct Result
{
    bool started = false; // zlib had the memory to begin
    bool ended = false; // the stream came to its end
    bool trailing = false; // bytes follow the stream's end
    qint64 produced = 0; // bytes handed out
};

// Inflates `compressed` (a zlib stream, or with `gzip` a gzip one), handing
// each piece to `take` (when given), until the stream ends, breaks, ends
// before its end, or has handed out more than `most` bytes.
Result stream(const QByteArray &compressed, qint64 most, bool gzip = false,
    const std::function<void(const char *bytes, qint64 count)> &take = {});

} // namespace Inflate
