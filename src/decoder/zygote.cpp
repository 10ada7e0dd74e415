// SPDX-License-Identifier: GPL-3.0-or-later
#include "decoder/zygote.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace DecoderProtocol;

namespace Zygote {

namespace {

struct Decoding
{
    pid_t pid = -1;
    int pidfd = -1; // readable when it has ended; -1 on kernels without pidfds
    int report = -1;
    bool killed = false;
};

void say(int report, Report::Kind kind, pid_t pid, int status = 0, qint64 cpu = 0)
{
    Report said;
    said.kind = kind;
    said.pid = pid;
    said.status = status;
    said.cpuMilliseconds = cpu;
    sendReport(report, said);
}

void limit(int resource, rlim_t soft, rlim_t hard)
{
    rlimit current;
    if (::getrlimit(__rlimit_resource(resource), &current) != 0)
        return;
    // A limit can only come down.
    if (current.rlim_max != RLIM_INFINITY)
        hard = std::min(hard, current.rlim_max);
    const rlimit wanted { std::min(soft, hard), hard };
    ::setrlimit(__rlimit_resource(resource), &wanted);
}

[[noreturn]] void becomeDecoder(
    const Start &start, int picture, pid_t parent, const Decoder &decoder)
{
    // Its own socket in place of the parent's, nothing else of the parent's
    // (the other decoders' report sockets least of all).
    ::dup2(picture, SocketFd);
    ::syscall(SYS_close_range, SocketFd + 1, ~0U, 0);
    // Single-threaded, the parent dies only with the program or by force.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
    if (::getppid() != parent)
        ::_exit(1);
    // The processor time counts from 0 in a new process: a decoder that
    // ignores SIGXCPU gets one second more before SIGKILL.
    const rlim_t cpu = rlim_t(std::max(1, start.cpuSeconds));
    limit(RLIMIT_CPU, cpu, cpu + 1);
    if (start.addressSpace > 0)
        limit(RLIMIT_AS, rlim_t(start.addressSpace), rlim_t(start.addressSpace));
    ::_exit(decoder(start));
}

// Starts a decoder for the next Start; false when the program has gone.
bool start(std::vector<Decoding> &running, const Decoder &decoder)
{
    Start wanted;
    int picture = -1;
    int report = -1;
    const Received received = receiveStart(wanted, picture, report);
    if (received != Received::Message) {
        for (const int fd : { picture, report })
            if (fd >= 0)
                ::close(fd);
        return received == Received::Malformed;
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0)
        becomeDecoder(wanted, picture, parent, decoder);
    ::close(picture);
    if (pid < 0) {
        say(report, Report::Refused, 0, errno);
        ::close(report);
        return true;
    }
    Decoding started;
    started.pid = pid;
    started.report = report;
    // Not reaped before this side says so: the pid stays this decoder's
    // until then, and killing by it cannot hit another process.
    started.pidfd = int(::syscall(SYS_pidfd_open, pid, 0));
    say(report, Report::Started, pid);
    running.push_back(started);
    return true;
}

// Reaps every decoder that has ended and says how.
void reap(std::vector<Decoding> &running)
{
    int status = 0;
    rusage usage {};
    pid_t pid;
    while ((pid = ::wait4(-1, &status, WNOHANG, &usage)) > 0) {
        const auto done = std::find_if(running.begin(), running.end(),
            [pid](const Decoding &decoding) { return decoding.pid == pid; });
        if (done == running.end())
            continue;
        const qint64 cpu = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000LL
            + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
        say(done->report, Report::Ended, pid, status, cpu);
        ::close(done->report);
        if (done->pidfd >= 0)
            ::close(done->pidfd);
        running.erase(done);
    }
}

} // namespace

int run(const Decoder &decoder)
{
    std::vector<Decoding> running;
    std::vector<pollfd> watched;
    for (bool listening = true; listening;) {
        watched.assign(1, pollfd { SocketFd, POLLIN, 0 });
        bool blind = false; // a decoder without pidfd: look now and then
        for (const Decoding &decoding : running) {
            if (decoding.pidfd >= 0)
                watched.push_back({ decoding.pidfd, POLLIN, 0 });
            else
                blind = true;
            // Readable or hung up only when the program is done with it.
            if (!decoding.killed)
                watched.push_back({ decoding.report, POLLIN, 0 });
        }
        if (::poll(watched.data(), watched.size(), blind ? 20 : -1) < 0 && errno != EINTR)
            break;
        reap(running);
        for (const pollfd &seen : watched)
            for (Decoding &decoding : running)
                if (seen.fd == decoding.report && seen.revents && !decoding.killed) {
                    ::kill(decoding.pid, SIGKILL);
                    decoding.killed = true;
                }
        if (watched.front().revents & POLLIN)
            listening = start(running, decoder);
        else if (watched.front().revents)
            listening = false;
    }
    for (Decoding &decoding : running)
        ::kill(decoding.pid, SIGKILL);
    for (const Decoding &decoding : running)
        while (::waitpid(decoding.pid, nullptr, 0) < 0 && errno == EINTR) { }
    return 0;
}

} // namespace Zygote
