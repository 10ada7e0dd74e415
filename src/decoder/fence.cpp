// SPDX-License-Identifier: GPL-3.0-or-later
#include "decoder/fence.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <linux/capability.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "common/decoderprotocol.h"

using DecoderProtocol::SocketFd;

namespace Fence {

namespace {

// No capability left, not even in the bounding set, whoever started the
// decoder (a batch run as root). Without libcap: the calls themselves.
void dropCapabilities()
{
    for (int capability = 0; capability <= 63; ++capability)
        if (::prctl(PR_CAPBSET_DROP, capability, 0, 0, 0) != 0 && errno == EINVAL)
            break; // past the last one this kernel knows
    __user_cap_header_struct header { _LINUX_CAPABILITY_VERSION_3, 0 };
    __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3] = {};
    ::syscall(SYS_capset, &header, none);
    ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
}

// Nothing of the file system to be seen by a decoder. It may look at the
// descriptors it was given, and glibc's fstat is a lookup of an empty path
// (newfstatat with AT_EMPTY_PATH), which the fence cannot tell from a
// lookup of any other path: so the decoders' root is an empty folder that
// cannot be written, in a mount namespace of their own, and a path looked
// up finds "/" and nothing in it. Where the system refuses namespaces, the
// fence alone remains.
//
// In a chroot (where packages are built) the system allows no user
// namespace, and "/" is no mount point, so its mounts cannot be made
// private and one made under it could show in the system's namespace: the
// empty folder is then mounted nowhere at all, and taken as the root.
void enterEmptyRoot()
{
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0 && ::unshare(CLONE_NEWNS) != 0)
        return;
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        const int context = ::fsopen("tmpfs", FSOPEN_CLOEXEC);
        const int root = context >= 0
                && ::fsconfig(context, FSCONFIG_SET_STRING, "size", "4k", 0) == 0
                && ::fsconfig(context, FSCONFIG_SET_STRING, "mode", "0555", 0) == 0
                && ::fsconfig(context, FSCONFIG_CMD_CREATE, nullptr, nullptr, 0) == 0
            ? ::fsmount(context, FSMOUNT_CLOEXEC,
                MOUNT_ATTR_RDONLY | MOUNT_ATTR_NOSUID | MOUNT_ATTR_NODEV | MOUNT_ATTR_NOEXEC)
            : -1;
        if (root >= 0 && ::fchdir(root) == 0 && ::chroot(".") == 0)
            ::chdir("/");
        for (const int fd : { root, context })
            if (fd >= 0)
                ::close(fd);
        return;
    }
    for (const char *folder : { "/tmp", "/dev", "/mnt" }) {
        if (::mount("tarvelo", folder, "tmpfs", MS_NOSUID | MS_NODEV | MS_NOEXEC | MS_RDONLY,
                "size=4k,mode=0555")
            != 0)
            continue;
        // The old root is let go where it can be; else it stays out of
        // reach above the new one.
        if (::chdir(folder) == 0
            && (::syscall(SYS_pivot_root, ".", ".") == 0 ? ::umount2(".", MNT_DETACH) == 0
                                                         : ::chroot(".") == 0))
            ::chdir("/");
        return;
    }
}

} // namespace

bool takeSocket()
{
    // No parent-death signal: it fires when the thread that started this
    // process ends, and the program's worker threads come and go. When the
    // program ends, the socket closes and this process ends with it, its
    // decoders with it.
    if (::fcntl(SocketFd, F_GETFD) == -1)
        return false; // not started by the program
    ::fcntl(SocketFd, F_SETFD, FD_CLOEXEC);
    // Nothing to the console, no core files, no file written.
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    for (int fd = 0; fd <= 2; ++fd)
        ::dup2(null, fd);
    // Nothing of the caller's besides the socket: no descriptor it left
    // open by mistake.
    ::syscall(SYS_close_range, SocketFd + 1, ~0U, 0);
    const rlimit none { 0, 0 };
    ::setrlimit(RLIMIT_CORE, &none);
    return true;
}

void leaveCallersWorld()
{
    // Nothing of the caller's world is left to read once the readers are
    // loaded: the strings themselves are wiped, not only the list of them,
    // where the process started with them (the allocator's settings have
    // been copied from there).
    for (char **variable = environ; variable && *variable; ++variable)
        memset(*variable, 0, strlen(*variable));
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        // env_start and env_end, fields 50 and 51 of the line.
        const quintptr start = fields.value(47).toULongLong(), end = fields.value(48).toULongLong();
        if (start > 0 && end > start && end - start < (1u << 24))
            memset(reinterpret_cast<void *>(start), 0, end - start);
        stat.close();
    }
    ::clearenv();
    enterEmptyRoot();
    dropCapabilities();
}

// Everything a reader needs once loaded: memory, reading the descriptors it
// was given, threads, time. Opening files, starting programs, sockets,
// executable memory and changing the shared memory's size are refused;
// starting a program ends the process. Signals reach this process's own
// threads only.
void fenceIn()
{
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ERRNO(EPERM));
    if (!filter)
        return;
    const int allowed[] = { SCMP_SYS(read), SCMP_SYS(readv), SCMP_SYS(pread64), SCMP_SYS(preadv),
        SCMP_SYS(write), SCMP_SYS(writev), SCMP_SYS(lseek), SCMP_SYS(close), SCMP_SYS(fstat),
        SCMP_SYS(munmap), SCMP_SYS(mremap), SCMP_SYS(madvise), SCMP_SYS(brk), SCMP_SYS(futex),
        SCMP_SYS(set_robust_list), SCMP_SYS(rseq), SCMP_SYS(clock_gettime), SCMP_SYS(clock_getres),
        SCMP_SYS(gettimeofday), SCMP_SYS(nanosleep), SCMP_SYS(clock_nanosleep), SCMP_SYS(getpid),
        SCMP_SYS(gettid), SCMP_SYS(getuid), SCMP_SYS(geteuid), SCMP_SYS(getgid), SCMP_SYS(getegid),
        SCMP_SYS(sendmsg), SCMP_SYS(recvmsg), SCMP_SYS(poll), SCMP_SYS(ppoll), SCMP_SYS(sendto),
        SCMP_SYS(recvfrom), SCMP_SYS(exit), SCMP_SYS(exit_group), SCMP_SYS(rt_sigreturn),
        SCMP_SYS(rt_sigprocmask), SCMP_SYS(rt_sigaction), SCMP_SYS(sigaltstack),
        SCMP_SYS(sched_yield), SCMP_SYS(sched_getaffinity), SCMP_SYS(getrandom),
        SCMP_SYS(membarrier), SCMP_SYS(getrusage), SCMP_SYS(sysinfo), SCMP_SYS(uname),
        // Every thread Qt starts makes its event dispatcher, which GLib
        // wakes through an eventfd, and ends the process with a breakpoint
        // trap when it gets none. Qt converts a large picture on threads of
        // its pool (the AVIF reader converts every grey picture): an
        // eventfd is a counter of the process's own, no way out.
        SCMP_SYS(eventfd2) };
    for (const int call : allowed)
        seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 0);
    // fstat as glibc makes it, of a descriptor (the empty root leaves a
    // path nothing to find); statx is missing, so that Qt falls back to it.
    seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(newfstatat), 1,
        SCMP_A3(SCMP_CMP_MASKED_EQ, AT_EMPTY_PATH, AT_EMPTY_PATH));
    seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(statx), 0);
    // abort() and a thread's signals: to this process only.
    seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(tgkill), 1,
        SCMP_A0(SCMP_CMP_EQ, scmp_datum_t(::getpid())));
    // The descriptor flags, what Qt and glibc ask of a descriptor; nothing
    // that duplicates, locks, leases or changes one.
    for (const int command : { F_GETFD, F_SETFD, F_GETFL, F_GET_SEALS })
        seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(fcntl), 1,
            SCMP_A1(SCMP_CMP_EQ, scmp_datum_t(command)));
    // Memory, never executable memory.
    seccomp_rule_add(
        filter, SCMP_ACT_ALLOW, SCMP_SYS(mmap), 1, SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0));
    seccomp_rule_add(
        filter, SCMP_ACT_ALLOW, SCMP_SYS(mprotect), 1, SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0));
    // Threads, never processes; clone3 cannot be inspected, so glibc is
    // told it is missing and falls back to clone.
    seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(clone), 1,
        SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD, CLONE_THREAD));
    seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0);
    seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(prctl), 1, SCMP_A0(SCMP_CMP_EQ, PR_SET_NAME));
    for (const int call : { SCMP_SYS(execve), SCMP_SYS(execveat), SCMP_SYS(fork), SCMP_SYS(vfork),
             SCMP_SYS(socket), SCMP_SYS(connect), SCMP_SYS(ptrace) })
        seccomp_rule_add(filter, SCMP_ACT_KILL_PROCESS, call, 0);
    // A kernel without seccomp leaves the resource limits as the fence.
    seccomp_load(filter);
    seccomp_release(filter);
}

void trySignal(pid_t target)
{
    ::kill(target, SIGKILL);
    ::syscall(SYS_tgkill, target, target, SIGKILL);
    ::syscall(SYS_tkill, target, SIGKILL);
}

} // namespace Fence
