// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>

// What the program and its decoder processes (tarvelo-decoder) say to each
// other. tarvelo-decoder, started once, loads its readers and then only
// starts decoders: for every picture the program sends it a Start over
// their socket, with two new sockets, the picture's and the report's; it
// forks a decoder that gets the picture's socket (at SocketFd, nothing else
// of its parent's), sets the Start's limits, fences itself in and serves
// one Request on it, and it says on the report socket when that decoder
// started and how it ended (Report).
//
// Request: a Request, with two descriptors: the picture file, opened by the
// program, and a memfd for the reply, sized by the program and sealed
// against any change of size; cleared, never holding an earlier picture.
// Reply: a Reply. The pixels lie at offset 0, the details (error text,
// colour table, resolution, the picture's texts, and the file's metadata
// made ready for the output, as MetadataReader::read() gives it when asked
// for) follow at Reply::detailsOffset.
namespace DecoderProtocol {

constexpr int SocketFd = 3; // where the decoder finds its end of the pair
constexpr quint32 Magic = 0x54617276; // "Tarv"

struct Request
{
    quint32 magic = Magic;
    char reader[16] = {}; // the toolkit's reader to use, "jpeg"
    qint64 budgetBytes = 0; // the working set a picture may need
    qint32 metadata = 0; // 1: read the file's metadata too, after its pixels
    qint64 maxPixels = 0; // the most pixels the picture may have
    // A box the picture is wanted for only to be resized to (0 x 0: the
    // whole picture): the decoder may then give it smaller, never smaller
    // than the resize makes the whole picture. 1: the resize keeps the
    // proportions inside the box, 0: it stretches to it.
    qint32 fitWidth = 0;
    qint32 fitHeight = 0;
    qint32 fitKeepsAspect = 1;
    // With `metadata`, for a picture that will be stamped: the format its
    // output is written in ("jpg", "png", "tif" or "webp", which fills the
    // field without a terminating NUL), for which the decoder
    // writes the source's metadata ready to be put in as it is; whether the
    // metadata is kept at all (else only the resolution goes over) and
    // without the location; and the resize that makes the output's size
    // from the picture's (common/resizerule.h).
    char outputFormat[4] = {};
    qint32 keepMetadata = 1;
    qint32 withoutLocation = 0;
    qint32 resize = 0;
    qint32 resizeWidth = 0;
    qint32 resizeHeight = 0;
    qint32 resizeKeepsAspect = 0;
    qint32 resizeShrinksOnly = 0;
};

enum class Outcome : qint32 {
    Decoded,
    TooLarge,
    Damaged, // data missing or corrupt; what is wrong is the error text
    Failed, // the reader gave up; its words are in the details
};

struct Reply
{
    quint32 magic = Magic;
    Outcome outcome = Outcome::Failed;
    qint32 width = -1; // the decoded or claimed size
    qint32 height = -1;
    qint32 bytesPerLine = 0;
    qint32 format = 0; // QImage::Format
    qint64 detailsOffset = 0;
    qint64 detailsBytes = 0;
    qint32 fullWidth = -1; // decoded smaller for a fit: the whole picture's size
    qint32 fullHeight = -1;
};

// The most details the program takes.
constexpr qint64 DetailsRoom = 16LL * 1024 * 1024;

// The most the details say besides the colour table and the metadata, in
// characters: the error text, and the picture's texts (a PNG's tEXt
// chunks), which the decoder cuts down to this so that however much text a
// file holds, the colour table and the metadata still fit.
constexpr int MaxErrorText = 4096;
constexpr quint32 MaxTexts = 64;
constexpr int MaxTextKey = 80;
constexpr int MaxTextChars = 256 * 1024; // all values together

// Takes the next message of `bytes` bytes from the socket at SocketFd, with
// the two descriptors sent along (-1 for any not sent): the message's size,
// or 0 or less when the other side has gone.
inline ssize_t receiveWithTwo(void *bytes, size_t size, int &first, int &second)
{
    char control[CMSG_SPACE(2 * sizeof(int))];
    iovec part { bytes, size };
    msghdr message {};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t count;
    do
        count = ::recvmsg(SocketFd, &message, MSG_CMSG_CLOEXEC);
    while (count < 0 && errno == EINTR);
    first = second = -1;
    if (count <= 0)
        return count;
    cmsghdr *header = CMSG_FIRSTHDR(&message);
    if (header && header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS
        && header->cmsg_len == CMSG_LEN(2 * sizeof(int))) {
        int fds[2];
        memcpy(fds, CMSG_DATA(header), sizeof fds);
        first = fds[0];
        second = fds[1];
    }
    return count;
}

// Takes the next request and its two descriptors (the picture file and the
// memory for the reply) from the socket at SocketFd, as a decoder does: 1 for
// a request, 0 for a malformed one, -1 when the program has gone.
inline int receiveRequest(Request &request, int &file, int &memory)
{
    const ssize_t count = receiveWithTwo(&request, sizeof request, file, memory);
    if (count <= 0)
        return -1;
    return count == sizeof request && request.magic == Magic && file >= 0 && memory >= 0 ? 1 : 0;
}

// What the program asks tarvelo-decoder for every picture, with the
// picture's socket and the report's (SCM_RIGHTS, in that order).
constexpr quint32 StartMagic = 0x54617273; // "Tars"

struct Start
{
    quint32 magic = StartMagic;
    qint64 addressSpace = 0; // the decoder's address space limit, in bytes
    qint32 cpuSeconds = 0; // its processor time; the hard limit is a second more
    // Never set by the program: a process that the decoder tries to signal
    // once it is fenced in, to show that it cannot.
    qint32 signalTarget = 0;
};

// What tarvelo-decoder says about the decoder it started for a picture, on
// that picture's report socket: Started, then Ended; or only Refused.
constexpr quint32 ReportMagic = 0x54617265; // "Tare"

struct Report
{
    enum Kind : qint32 { Started, Ended, Refused };
    quint32 magic = ReportMagic;
    Kind kind = Refused;
    qint32 pid = 0; // the decoder's process id
    qint32 status = 0; // Ended: its wait status; Refused: why (errno)
    qint64 cpuMilliseconds = 0; // Ended: the processor time it used
};

} // namespace DecoderProtocol
