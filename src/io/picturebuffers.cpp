// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/picturebuffers.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/decoderprotocol.h"

using namespace DecoderProtocol;

namespace {

// MADV_POPULATE_READ and MADV_POPULATE_WRITE, Linux 5.14.
constexpr int PopulateRead = 22;
constexpr int PopulateWrite = 23;

// True once the decoder whose report socket this is has ended (its parent
// says so), within a second; the socket is closed either way, which ends
// a decoder still running.
bool decoderEnded(int report)
{
    if (report < 0)
        return true;
    QElapsedTimer clock;
    clock.start();
    bool ended = false;
    for (qint64 left; !ended && (left = 1000 - clock.elapsed()) > 0;) {
        pollfd watch { report, POLLIN, 0 };
        if (::poll(&watch, 1, int(left)) <= 0)
            continue;
        Report heard;
        if (receiveReport(report, heard) != Received::Message || heard.kind == Report::Refused)
            break;
        ended = heard.kind == Report::Ended;
    }
    ::close(report);
    return ended;
}

} // namespace

class PictureBuffers::Pool
{
public:
    // The pool goes when its last user and picture have gone: the buffers
    // kept go with it.
    ~Pool()
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (const Spare &kept : spare)
            closeLocked(kept.fd);
    }
    // A cleared buffer of `capacity` bytes or more, sized and sealed here.
    int take(qint64 capacity)
    {
        int fd = -1;
        int holder = -1;
        {
            std::lock_guard<std::mutex> lock(mutex);
            dropOld();
            if (!spare.empty()) {
                fd = spare.back().fd;
                spare.pop_back();
                holder = std::exchange(views[fd].holder, -1);
            }
        }
        if (fd >= 0 && !decoderEnded(holder)) {
            close(fd);
            fd = -1;
        }
        if (fd >= 0) {
            // As far as any decoder said it wrote, pixels and details, the
            // buffer is cleared where it lies (at memory speed, its pages
            // kept); anything beyond, which an honest decoder leaves alone,
            // goes back to the system. (Clearing less, only what the last
            // one said, would believe that one; giving back more costs a
            // fresh page for every one written next time.)
            struct stat info;
            const qint64 written = writtenTo(fd);
            uchar *memory = nullptr;
            if (::fstat(fd, &info) == 0 && info.st_size >= capacity
                && (written == 0 || (memory = view(fd, written, PopulateWrite)) != nullptr)
                && (info.st_size <= written
                    || ::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, written,
                           info.st_size - written)
                        == 0)) {
                if (written > 0)
                    memset(memory, 0, size_t(written));
                return fd;
            }
            close(fd);
        }
        fd = ::memfd_create("tarvelo-picture", MFD_CLOEXEC | MFD_ALLOW_SEALING);
        // Its size is then fixed: no decoder can shrink it under a mapping
        // of the program's, grow it past its limits, nor seal it against the
        // next decoder.
        if (fd >= 0
            && (::ftruncate(fd, capacity) != 0
                || ::fcntl(fd, F_ADD_SEALS, F_SEAL_GROW | F_SEAL_SHRINK | F_SEAL_SEAL) != 0)) {
            const int error = errno;
            ::close(fd);
            errno = error;
            return -1;
        }
        return fd;
    }
    void give(int fd)
    {
        std::lock_guard<std::mutex> lock(mutex);
        dropOld();
        if (spare.size() < MaxSpare)
            spare.push_back({ fd, std::chrono::steady_clock::now() });
        else
            closeLocked(fd);
    }
    // The buffer is not used again (a decoder that broke the protocol may
    // still be running): it goes, with this side's view of it.
    void discard(int fd) { close(fd); }
    // The decoder that had the buffer is heard of on `report`, which the
    // buffer now owns: no other decoder gets it before that one has ended.
    void heldBy(int fd, int report)
    {
        std::lock_guard<std::mutex> lock(mutex);
        View &seen = views[fd];
        if (seen.holder >= 0)
            ::close(seen.holder);
        seen.holder = report;
    }
    // The decoder's reply says it wrote the first `bytes` bytes of `fd`.
    void wrote(int fd, qint64 bytes)
    {
        std::lock_guard<std::mutex> lock(mutex);
        View &seen = views[fd];
        seen.written = std::max(seen.written, bytes);
    }
    // This side's view of the first `bytes` bytes of buffer `fd`, which
    // holds that many; nullptr when it cannot be mapped. The view covers the
    // whole buffer and is made once, for as long as the pool has the
    // buffer: a page mapped stays mapped for every picture after, where a
    // view made anew for a larger picture would map every page again on
    // its first touch, which costs more than clearing or reading it (many
    // times more under some hypervisors). Pages are mapped as they are
    // used, a run at a time, never all of a sparse buffer at once.
    uchar *view(int fd, qint64 bytes, int populate)
    {
        std::lock_guard<std::mutex> lock(mutex);
        View &seen = views[fd];
        if (seen.length < bytes) {
            if (seen.address)
                ::munmap(seen.address, size_t(seen.length));
            seen.address = nullptr;
            seen.length = 0;
            struct stat info;
            // The whole buffer, or where the address space is limited
            // (ulimit -v), what this picture needs.
            for (qint64 length : { ::fstat(fd, &info) == 0 ? qint64(info.st_size) : 0, bytes }) {
                if (length < bytes)
                    continue;
                void *address
                    = ::mmap(nullptr, size_t(length), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
                if (address != MAP_FAILED) {
                    seen.address = static_cast<uchar *>(address);
                    seen.length = length;
                    break;
                }
            }
            if (!seen.address)
                return nullptr;
        }
        // One call maps what is there (or, to be written, makes it) instead
        // of a fault for each page; a kernel without it faults them in.
        if (bytes > 0)
            ::madvise(seen.address, size_t(bytes), populate);
        return seen.address;
    }

private:
    struct Spare
    {
        int fd;
        std::chrono::steady_clock::time_point since;
    };
    struct View
    {
        uchar *address = nullptr;
        qint64 length = 0;
        qint64 written = 0; // the most any decoder said it wrote
        int holder = -1; // the report socket of the decoder that had it last
    };
    qint64 writtenTo(int fd)
    {
        std::lock_guard<std::mutex> lock(mutex);
        const auto seen = views.find(fd);
        return seen == views.end() ? 0 : seen->second.written;
    }
    void close(int fd)
    {
        std::lock_guard<std::mutex> lock(mutex);
        closeLocked(fd);
    }
    void closeLocked(int fd)
    {
        const auto seen = views.find(fd);
        if (seen != views.end()) {
            if (seen->second.address)
                ::munmap(seen->second.address, size_t(seen->second.length));
            if (seen->second.holder >= 0)
                ::close(seen->second.holder);
            views.erase(seen);
        }
        ::close(fd);
    }
    void dropOld()
    {
        const auto now = std::chrono::steady_clock::now();
        for (auto it = spare.begin(); it != spare.end();)
            if (now - it->since > std::chrono::seconds(10)) {
                closeLocked(it->fd);
                it = spare.erase(it);
            } else {
                ++it;
            }
    }
    static constexpr size_t MaxSpare = 4;
    std::mutex mutex;
    std::vector<Spare> spare;
    std::map<int, View> views;
};

PictureBuffers::PictureBuffers()
    : pool(std::make_shared<Pool>())
{
}

qint64 PictureBuffers::capacityFor(qint64 maxPixels)
{
    const qint64 page = ::sysconf(_SC_PAGESIZE);
    const qint64 pixels = (std::min<qint64>(maxPixels * 8, INT_MAX) + page - 1) / page * page;
    qint64 bytes = pixels + DetailsRoom;
    rlimit size;
    if (::getrlimit(RLIMIT_FSIZE, &size) == 0 && size.rlim_cur != RLIM_INFINITY)
        bytes = std::min<qint64>(bytes, qint64(size.rlim_cur) / page * page);
    return bytes;
}

int PictureBuffers::take(qint64 capacity) const
{
    return pool->take(capacity);
}

void PictureBuffers::give(int fd) const
{
    pool->give(fd);
}

void PictureBuffers::discard(int fd) const
{
    pool->discard(fd);
}

void PictureBuffers::heldBy(int fd, int report) const
{
    pool->heldBy(fd, report);
}

void PictureBuffers::wrote(int fd, qint64 bytes) const
{
    pool->wrote(fd, bytes);
}

QImage PictureBuffers::picture(
    int fd, int width, int height, int bytesPerLine, QImage::Format format) const
{
    uchar *address = pool->view(fd, qint64(bytesPerLine) * height, PopulateRead);
    if (!address)
        return QImage();
    // What the picture holds on to: its buffer, and the pool.
    struct Held
    {
        std::shared_ptr<Pool> pool;
        int fd;
    };
    const auto giveBack = [](void *info) {
        auto *held = static_cast<Held *>(info);
        held->pool->give(held->fd);
        delete held;
    };
    return QImage(address, width, height, bytesPerLine, format, giveBack, new Held { pool, fd });
}
