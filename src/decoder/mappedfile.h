// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QtGlobal>

// The picture file as the decoder's readers see it: mapped, read-only, once,
// instead of copied into fresh memory by each reader. A decoder is a new
// process with new memory for every picture, so a copy costs the pages it
// is put in as well as the copying; the JPEG decoder and the metadata reader
// share the one mapping.
//
// A file that is cut short while it is mapped (the user saves over it during
// a run) would end the process at the first page past its new end: such a
// page reads as zeros instead, and cutShort() says that it happened, so that
// the picture is judged by what the file holds now, as if it had been read.
class MappedFile
{
public:
    // The largest file a reader takes whole: far beyond any photo, well
    // below what the memory budget would refuse anyway.
    static constexpr qint64 Largest = 1LL << 30;

    // The file open at `fd`, when it is a regular file of 1 to `limit`
    // bytes; otherwise nothing. Where the system refuses to map it, the
    // bytes are read instead.
    MappedFile(int fd, qint64 limit);
    ~MappedFile();
    MappedFile(const MappedFile &) = delete;
    MappedFile &operator=(const MappedFile &) = delete;

    // The whole file, without a copy where it is mapped: valid for as long
    // as this lives. Empty when there is nothing.
    const QByteArray &bytes() const { return contents; }
    // True once a page of the mapping was found past the file's end.
    bool cutShort() const;

private:
    void *address = nullptr;
    size_t length = 0;
    int slot = -1;
    QByteArray contents;
};
