// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/bytes.h"

#include <algorithm>
#include <cerrno>
#include <climits>

#include <unistd.h>

namespace Bytes {

QByteArray readAt(int fd, qint64 at, qint64 count)
{
    count = std::min<qint64>(count, INT_MAX - 4096);
    QByteArray bytes(int(count), Qt::Uninitialized);
    qint64 done = 0;
    while (done < count) {
        const ssize_t got
            = ::pread(fd, bytes.data() + done, size_t(count - done), off_t(at + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += got;
    }
    bytes.truncate(int(done));
    return bytes;
}

} // namespace Bytes
