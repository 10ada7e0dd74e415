// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/decoderprotocol.h"

#include <cerrno>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>

namespace DecoderProtocol {

namespace {

// Takes the next message of `size` bytes from `socket`, with the two
// descriptors sent along (-1 for any not sent): the message's size, or 0 or
// less when the other side has gone.
ssize_t receiveWithTwo(int socket, void *bytes, size_t size, int &first, int &second)
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
        count = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
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

// A message with two descriptors, as the decoder's side takes it.
template <typename Message>
Received receiveWith(Message &message, quint32 magic, int &first, int &second)
{
    const ssize_t count = receiveWithTwo(SocketFd, &message, sizeof message, first, second);
    if (count <= 0)
        return Received::Gone;
    return count == sizeof message && message.magic == magic && first >= 0 && second >= 0
        ? Received::Message
        : Received::Malformed;
}

// A message without descriptors, read without waiting.
template <typename Message> Received receiveNow(int socket, Message &message, quint32 magic)
{
    Message heard;
    const ssize_t count = ::recv(socket, &heard, sizeof heard, MSG_DONTWAIT);
    if (count < 0 && (errno == EAGAIN || errno == EINTR))
        return Received::Nothing;
    if (count <= 0)
        return Received::Gone;
    if (count != sizeof heard || heard.magic != magic)
        return Received::Malformed;
    message = heard;
    return Received::Message;
}

} // namespace

bool send(int socket, const void *message, size_t size, std::initializer_list<int> fds, int waitMs)
{
    char control[CMSG_SPACE(2 * sizeof(int))] = {};
    const size_t fdBytes = fds.size() * sizeof(int);
    iovec part { const_cast<void *>(message), size };
    msghdr header {};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    if (fdBytes > 0) {
        header.msg_control = control;
        header.msg_controllen = CMSG_SPACE(fdBytes);
        cmsghdr *rights = CMSG_FIRSTHDR(&header);
        rights->cmsg_level = SOL_SOCKET;
        rights->cmsg_type = SCM_RIGHTS;
        rights->cmsg_len = CMSG_LEN(fdBytes);
        memcpy(CMSG_DATA(rights), fds.begin(), fdBytes);
    }
    for (;;) {
        const ssize_t count = ::sendmsg(socket, &header, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (count >= 0)
            return size_t(count) == size;
        if (errno == EINTR)
            continue;
        pollfd watch { socket, POLLOUT, 0 };
        if (errno != EAGAIN || ::poll(&watch, 1, waitMs) <= 0)
            return false;
    }
}

bool sendStart(int socket, const Start &start, int picture, int report, int waitMs)
{
    return send(socket, &start, sizeof start, { picture, report }, waitMs);
}

bool sendRequest(int socket, const Request &request, int file, int memory, int waitMs)
{
    return send(socket, &request, sizeof request, { file, memory }, waitMs);
}

Received receiveReply(int socket, Reply &reply)
{
    return receiveNow(socket, reply, Magic);
}

Received receiveReport(int socket, Report &report)
{
    return receiveNow(socket, report, ReportMagic);
}

Received receiveStart(Start &start, int &picture, int &report)
{
    return receiveWith(start, StartMagic, picture, report);
}

Received receiveRequest(Request &request, int &file, int &memory)
{
    return receiveWith(request, Magic, file, memory);
}

bool sendReply(const Reply &reply)
{
    return ::send(SocketFd, &reply, sizeof reply, MSG_NOSIGNAL) == sizeof reply;
}

void sendReport(int socket, const Report &report)
{
    // The program may have stopped listening; nothing else to do then.
    ::send(socket, &report, sizeof report, MSG_NOSIGNAL | MSG_DONTWAIT);
}

} // namespace DecoderProtocol
