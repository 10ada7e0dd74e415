// SPDX-License-Identifier: GPL-3.0-or-later
#include "decoder/decoderchild.h"

#include <QColorSpace>
#include <QDataStream>
#include <QFile>
#include <QMap>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <linux/capability.h>
#include <malloc.h>
#include <poll.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

#include "common/argb.h"
#include "common/decoderprotocol.h"
#include "common/resizerule.h"
#include "decoder/decodecheck.h"
#include "decoder/decodercore.h"
#include "decoder/metadatareader.h"
#include "decoder/zygote.h"

using namespace DecoderProtocol;

namespace DecoderChild {

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

// Copies `count` bytes to the memfd at `offset`, where the program made
// room for them.
bool put(int memory, qint64 offset, const void *bytes, qint64 count)
{
    struct stat info;
    if (offset < 0 || count < 0 || ::fstat(memory, &info) != 0 || info.st_size < offset + count)
        return false;
    if (count == 0)
        return true;
    const qint64 start = offset & ~qint64(4095);
    const qint64 length = offset - start + count;
    void *map = ::mmap(nullptr, size_t(length), PROT_READ | PROT_WRITE, MAP_SHARED, memory, start);
    if (map == MAP_FAILED)
        return false;
    memcpy(static_cast<char *>(map) + (offset - start), bytes, size_t(count));
    ::munmap(map, size_t(length));
    return true;
}

// The program's memory for `bytes` bytes of pixels with the details after
// them; nullptr when it has no room for them. Mapped at once, cheaper than
// a fault for every page the reader touches: where the program kept the
// pages of an earlier picture (cleared), a read maps a run of them at a
// time; the rest is populated with new pages.
uchar *pixelMemory(int memory, qint64 bytes)
{
    struct stat info;
    if (bytes <= 0 || ::fstat(memory, &info) != 0
        || ((bytes + 4095) & ~qint64(4095)) + DetailsRoom > info.st_size)
        return nullptr;
    void *address = ::mmap(nullptr, size_t(bytes), PROT_READ | PROT_WRITE, MAP_SHARED, memory, 0);
    if (address == MAP_FAILED)
        return nullptr;
    auto *pixels = static_cast<uchar *>(address);
    const qint64 kept = std::min<qint64>(bytes, std::max<off_t>(0, ::lseek(memory, 0, SEEK_HOLE)))
        & ~qint64(4095);
    for (qint64 at = 0; at < kept; at += 65536)
        static_cast<void>(*static_cast<volatile uchar *>(pixels + at));
    constexpr int PopulateRead = 22; // MADV_POPULATE_READ, Linux 5.14
    if (kept < bytes)
        ::madvise(pixels + kept, size_t(bytes - kept), PopulateRead);
    return pixels;
}

// The file's metadata written for the output, packed for the program.
// Exiv2 gets the bytes, read through the descriptor: it would open the file
// by name, which the fence forbids (and the name is not known here).
QByteArray fileMetadata(int file, const MetadataReader::Output &output)
{
    struct stat info;
    if (::fstat(file, &info) != 0 || info.st_size < 0 || info.st_size > DetailsRoom * 64)
        return MetadataReader::problem(
            output, QStringLiteral("the file is too large to read its metadata"));
    try {
        return MetadataReader::read(DecodeCheck::readAt(file, 0, info.st_size), output);
    } catch (const std::bad_alloc &) {
        return MetadataReader::problem(output, QStringLiteral("the decoder ran out of memory"));
    }
}

// What the program will write the picture as: the format it asks for and
// the size the resize makes of the whole picture, by the rule the stamping
// follows.
MetadataReader::Output outputOf(const Request &request, QSize picture)
{
    MetadataReader::Output output;
    output.format = QByteArray(
        request.outputFormat, int(strnlen(request.outputFormat, sizeof request.outputFormat)));
    output.keep = request.keepMetadata != 0;
    output.withoutLocation = request.withoutLocation != 0;
    ResizeRule::Rule rule;
    rule.enabled = request.resize != 0;
    rule.box = QSize(request.resizeWidth, request.resizeHeight);
    rule.keepAspectRatio = request.resizeKeepsAspect != 0;
    rule.shrinkOnly = request.resizeShrinksOnly != 0;
    output.size = ResizeRule::resized(picture, rule);
    return output;
}

// The picture's texts, as many as the program takes: a file's text cannot
// push its colour table or its metadata out of the details.
QMap<QString, QString> cappedTexts(const QImage &image)
{
    QMap<QString, QString> texts;
    int room = MaxTextChars;
    for (const QString &key : image.textKeys()) {
        const QString value = image.text(key);
        if (quint32(texts.size()) == MaxTexts || key.size() > MaxTextKey || value.size() > room)
            continue;
        texts.insert(key, value);
        room -= value.size();
    }
    return texts;
}

// `image` as 32-bit pixels, in the shared memory when `store` gives it: a
// 1-bit or indexed picture is expanded here, under this process's limits,
// so that the program never holds it in any other form. `shared` is where
// `image` lies when the reader decoded into the shared memory: it moves
// out before the expanded picture takes that memory's place.
QImage expanded(QImage image, const uchar *shared, const DecoderCore::PixelStore &store)
{
    if (image.isNull() || image.format() == QImage::Format_RGB32)
        return image;
    const QImage source = image.constBits() == shared ? image.copy() : image;
    image = QImage();
    if (source.isNull())
        return QImage();
    const int width = source.width(), height = source.height();
    uchar *memory = store(qint64(width) * 4 * height);
    QImage target = memory ? QImage(memory, width, height, width * 4, QImage::Format_ARGB32)
                           : QImage(width, height, QImage::Format_ARGB32);
    if (!target.isNull())
        Argb::paint(source, target);
    return target;
}

Reply serve(const Request &request, int file, int memory)
{
    Reply reply;
    uchar *pixels = nullptr;
    const auto store = [&](qint64 bytes) { return pixels = pixelMemory(memory, bytes); };

    QFile device;
    device.open(file, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    char reader[sizeof request.reader + 1] = {};
    memcpy(reader, request.reader, sizeof request.reader);
    DecoderCore::Decoded decoded;
    try {
        decoded = DecoderCore::decode(&device, file, reader, request.budgetBytes, store,
            request.maxPixels > 0 ? request.maxPixels : Budget::DefaultMaxPixels,
            QSize(request.fitWidth, request.fitHeight), request.fitKeepsAspect != 0);
    } catch (const std::bad_alloc &) {
        decoded = DecoderCore::Decoded();
        decoded.errorText = QStringLiteral("the decoder ran out of memory");
    }

    QImage &image = decoded.image;
    if (!image.isNull()) {
        image = expanded(std::move(image), pixels, store);
        if (image.isNull())
            decoded.errorText = QStringLiteral("the decoder ran out of memory");
    }
    qint64 pixelBytes = image.isNull() ? 0 : image.sizeInBytes();
    if (!image.isNull() && image.constBits() != pixels
        && !put(memory, 0, image.constBits(), pixelBytes)) {
        decoded.tooLarge = true;
        image = QImage();
        pixelBytes = 0;
    }
    if (decoded.tooLarge)
        reply.outcome = Outcome::TooLarge;
    else if (decoded.damaged)
        reply.outcome = Outcome::Damaged;
    else
        reply.outcome = image.isNull() ? Outcome::Failed : Outcome::Decoded;
    reply.width = decoded.claimed.width();
    reply.height = decoded.claimed.height();
    if (decoded.full.isValid()) {
        reply.fullWidth = decoded.full.width();
        reply.fullHeight = decoded.full.height();
    }
    reply.bytesPerLine = image.isNull() ? 0 : image.bytesPerLine();
    reply.format = image.isNull() ? 0 : int(image.format());

    QByteArray details;
    {
        QDataStream out(&details, QIODevice::WriteOnly);
        out << decoded.errorText.left(MaxErrorText) << image.colorTable()
            << qint32(image.dotsPerMeterX()) << qint32(image.dotsPerMeterY());
        out << cappedTexts(image);
    }
    const QSize whole = decoded.full.isValid() ? decoded.full : image.size();
    image = QImage(); // before its memory goes
    // Only for a picture that will be stamped, with its pixels in the
    // program's memory already and the decoder's own copy gone.
    // Out of memory on the way, it hands nothing over, and the picture goes
    // without.
    if (request.metadata && reply.outcome == Outcome::Decoded) {
        try {
            const MetadataReader::Output output = outputOf(request, whole);
            QByteArray metadata = fileMetadata(file, output);
            if (details.size() + metadata.size() + 64 > DetailsRoom) {
                metadata
                    = MetadataReader::problem(output, QStringLiteral("there is too much of it"));
            }
            QDataStream out(&details, QIODevice::Append);
            out << metadata;
        } catch (const std::bad_alloc &) {
        }
    }
    device.close();
    reply.detailsOffset = (pixelBytes + 4095) & ~qint64(4095);
    if (details.size() > DetailsRoom)
        details.clear();
    reply.detailsBytes = details.size();
    if (!put(memory, reply.detailsOffset, details.constData(), details.size()))
        reply.detailsBytes = 0;
    return reply;
}

// Tries to signal `target` as a decoder taken over by a file might: by
// every call that can.
void trySignal(pid_t target)
{
    ::kill(target, SIGKILL);
    ::syscall(SYS_tgkill, target, target, SIGKILL);
    ::syscall(SYS_tkill, target, SIGKILL);
}

// One decoder: fenced in before it reads anything, it serves one picture.
int decodeOne(const Start &start)
{
    fenceIn();
    if (start.signalTarget != 0)
        trySignal(start.signalTarget < 0 ? ::getpid() : start.signalTarget);
    Request request;
    int file = -1;
    int memory = -1;
    const int received = receiveRequest(request, file, memory);
    if (received < 0)
        return 0;
    Reply reply;
    if (received > 0)
        reply = serve(request, file, memory); // closes the file
    else if (file >= 0)
        ::close(file);
    return ::send(SocketFd, &reply, sizeof reply, MSG_NOSIGNAL) == sizeof reply ? 0 : 1;
}

} // namespace

int run()
{
    // No parent-death signal: it fires when the thread that started this
    // process ends, and the program's worker threads come and go. When the
    // program ends, the socket closes and this process ends with it, its
    // decoders with it.
    if (::fcntl(SocketFd, F_GETFD) == -1)
        return 2; // not started by the program
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
    // A decoder ends after its picture: memory it frees is not given back
    // to the system on the way, which only costs time.
    ::mallopt(M_MMAP_MAX, 0);
    ::mallopt(M_TRIM_THRESHOLD, INT_MAX);
    DecoderCore::loadReaders();
    MetadataReader::prepare();
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
    // Not fenced in itself (it starts processes), this process never reads
    // a picture; each decoder fences itself in.
    return Zygote::run(decodeOne);
}

} // namespace DecoderChild
