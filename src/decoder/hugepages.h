// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <sys/mman.h>

// Memory of this process's own for `bytes` bytes, aligned to huge pages and
// advised as such: a new process pays for every page it touches first, and
// with huge pages that is one mapping for 512 pages. nullptr when there is
// none; `mapped` and `length` then say what to unmap, for whoever unmaps it.
inline uchar *hugePageMemory(size_t bytes, void **mapped = nullptr, size_t *length = nullptr)
{
    constexpr size_t Huge = 2 << 20;
    const size_t rounded = (bytes + Huge - 1) & ~(Huge - 1);
    void *address = ::mmap(nullptr, rounded + Huge, PROT_READ | PROT_WRITE,
        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (address == MAP_FAILED)
        return nullptr;
    if (mapped)
        *mapped = address;
    if (length)
        *length = rounded + Huge;
    auto *aligned = reinterpret_cast<uchar *>((quintptr(address) + Huge - 1) & ~quintptr(Huge - 1));
    ::madvise(aligned, rounded, MADV_HUGEPAGE);
    return aligned;
}
