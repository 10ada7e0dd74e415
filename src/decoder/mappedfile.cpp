// SPDX-License-Identifier: GPL-3.0-or-later
#include "decoder/mappedfile.h"

#include <atomic>
#include <climits>
#include <csignal>
#include <mutex>

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/bytes.h"

namespace {

// The mappings alive in this process, for the signal handler to tell a
// page past a file's end from any other fault. A decoder has one; the
// benchmark that decodes in its own process, one a thread.
constexpr int Slots = 8;
struct Range
{
    std::atomic<bool> taken { false };
    std::atomic<quintptr> start { 0 };
    std::atomic<quintptr> end { 0 };
    std::atomic<bool> cut { false };
};
Range ranges[Slots];
std::mutex claiming;
quintptr pageSize = 4096;

void onBusError(int, siginfo_t *info, void *)
{
    const auto at = reinterpret_cast<quintptr>(info->si_addr);
    for (Range &range : ranges) {
        if (at >= range.start.load() && at < range.end.load()) {
            // The page goes; a page of zeros takes its place, and the read
            // goes on.
            const quintptr page = at & ~(pageSize - 1);
            if (::mmap(reinterpret_cast<void *>(page), size_t(pageSize), PROT_READ,
                    MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0)
                != MAP_FAILED) {
                range.cut = true;
                return;
            }
        }
    }
    // Not a mapped file's: the fault it is, as if nobody had listened.
    ::signal(SIGBUS, SIG_DFL);
}

void listen()
{
    static std::once_flag once;
    std::call_once(once, [] {
        pageSize = quintptr(::sysconf(_SC_PAGESIZE));
        struct sigaction action = {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, nullptr);
    });
}

} // namespace

MappedFile::MappedFile(int fd, qint64 limit)
{
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0
        || info.st_size > limit || info.st_size > qint64(INT_MAX) - 4096)
        return;
    {
        std::lock_guard<std::mutex> lock(claiming);
        for (int k = 0; k < Slots && slot < 0; ++k)
            if (!ranges[k].taken.load())
                slot = k;
        if (slot >= 0)
            ranges[slot].taken = true;
    }
    listen();
    void *mapped = slot < 0
        ? MAP_FAILED
        : ::mmap(nullptr, size_t(info.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (mapped == MAP_FAILED) {
        if (slot >= 0)
            ranges[slot].taken = false;
        slot = -1;
        contents = Bytes::readAt(fd, 0, info.st_size);
        return;
    }
    address = mapped;
    length = size_t(info.st_size);
    Range &range = ranges[slot];
    range.cut = false;
    range.start = reinterpret_cast<quintptr>(address);
    range.end = reinterpret_cast<quintptr>(address) + length;
    contents = QByteArray::fromRawData(static_cast<const char *>(address), int(length));
}

MappedFile::~MappedFile()
{
    contents = QByteArray();
    if (!address)
        return;
    ::munmap(address, length);
    Range &range = ranges[slot];
    range.start = 0;
    range.end = 0;
    range.taken = false;
}

bool MappedFile::cutShort() const
{
    return slot >= 0 && ranges[slot].cut.load();
}
