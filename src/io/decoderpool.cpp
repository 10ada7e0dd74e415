// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/decoderpool.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstring>
#include <initializer_list>
#include <map>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/boundedreader.h"
#include "common/budget.h"
#include "common/decoderprotocol.h"
#include "common/picturefields.h"
#include "common/pictureformats.h"
#include "config.h"

extern char **environ;

using namespace DecoderProtocol;

namespace DecoderPool {

namespace {

const QString malformed = QStringLiteral("the decoder sent a malformed reply");

std::mutex pathMutex;
QString testPath;
std::atomic<int> signalTarget { 0 };

// tarvelo-decoder as this program started it: the decoders' parent.
struct Parent
{
    pid_t pid = -1;
    int socket = -1;
};

void retire(Parent &parent)
{
    if (parent.socket >= 0)
        ::close(parent.socket);
    if (parent.pid > 0) {
        ::kill(parent.pid, SIGKILL);
        while (::waitpid(parent.pid, nullptr, 0) < 0 && errno == EINTR) { }
    }
    parent = Parent();
}

bool spawn(Parent &parent, QString &why)
{
    QString chosen;
    {
        std::lock_guard<std::mutex> lock(pathMutex);
        chosen = testPath;
    }
    const QByteArray path = QFile::encodeName(chosen.isEmpty() ? decoderPath() : chosen);
    if (path.isEmpty()) {
        why = QStringLiteral("the picture decoder (tarvelo-decoder) is not installed");
        return false;
    }
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
        why = QStringLiteral("the picture decoder could not be started (%1)")
                  .arg(qt_error_string(errno));
        return false;
    }
    if (pair[1] == SocketFd) { // dup2 onto itself would keep close-on-exec
        const int moved = ::fcntl(pair[1], F_DUPFD_CLOEXEC, SocketFd + 1);
        ::close(pair[1]);
        pair[1] = moved;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pair[1], SocketFd);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t mask;
    sigemptyset(&mask);
    posix_spawnattr_setsigmask(&attributes, &mask);
    sigfillset(&mask);
    posix_spawnattr_setsigdefault(&attributes, &mask);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    char name[] = "tarvelo-decoder";
    char *arguments[] = { name, nullptr };
    // A new decoder's heap is all new pages: its allocator asks for huge
    // ones (where the system gives them on request), a fault for every 2 MB
    // instead of every 4 KB. Settings of the caller's own come first.
    std::vector<char *> environment;
    for (char **variable = environ; variable && *variable; ++variable)
        environment.push_back(*variable);
    char hugePages[] = "GLIBC_TUNABLES=glibc.malloc.hugetlb=1";
    if (!qEnvironmentVariableIsSet("GLIBC_TUNABLES"))
        environment.push_back(hugePages);
    environment.push_back(nullptr);
    const int error = ::posix_spawn(
        &parent.pid, path.constData(), &actions, &attributes, arguments, environment.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(pair[1]);
    if (error != 0) {
        ::close(pair[0]);
        parent = Parent();
        why = QStringLiteral("the picture decoder could not be started (%1)")
                  .arg(qt_error_string(error));
        return false;
    }
    parent.socket = pair[0];
    return true;
}

// The number in field `field` (counted from 1) of /proc/<pid>/<file>.
qint64 procField(pid_t pid, const char *file, int field)
{
    QFile proc(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(file)));
    if (!proc.open(QIODevice::ReadOnly))
        return 0;
    QByteArray text = proc.read(4096);
    int skip = field - 1;
    if (text.contains(')')) { // stat: the command may hold spaces
        text = text.mid(text.lastIndexOf(')') + 2);
        skip -= 2;
    }
    const QList<QByteArray> fields = text.split(' ');
    return skip >= 0 && skip < fields.size() ? fields.at(skip).toLongLong() : 0;
}

// Sends one message with descriptors; false when the peer has gone or
// took nothing for ClockSeconds.
bool sendWith(int socket, const void *message, size_t size, std::initializer_list<int> fds)
{
    char control[CMSG_SPACE(2 * sizeof(int))] = {};
    const size_t fdBytes = fds.size() * sizeof(int);
    iovec part { const_cast<void *>(message), size };
    msghdr header {};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    header.msg_control = control;
    header.msg_controllen = CMSG_SPACE(fdBytes);
    cmsghdr *rights = CMSG_FIRSTHDR(&header);
    rights->cmsg_level = SOL_SOCKET;
    rights->cmsg_type = SCM_RIGHTS;
    rights->cmsg_len = CMSG_LEN(fdBytes);
    memcpy(CMSG_DATA(rights), fds.begin(), fdBytes);
    for (;;) {
        const ssize_t count = ::sendmsg(socket, &header, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (count >= 0)
            return size_t(count) == size;
        if (errno == EINTR)
            continue;
        pollfd watch { socket, POLLOUT, 0 };
        if (errno != EAGAIN || ::poll(&watch, 1, ClockSeconds * 1000) <= 0)
            return false;
    }
}

// The one parent of the decoders, started when the first picture needs it
// and again whenever it has gone. It is asked for a decoder over its
// socket, and answers for each on that decoder's own report socket: no
// thread ever reads what is meant for another.
class Starter
{
public:
    ~Starter() { retire(parent); }
    // Asks for a decoder with the limits of `start` (its address space on
    // top of what the parent holds, as it starts out as its copy) for the
    // picture whose sockets these are; false, saying why, when no parent
    // could be started or none takes the request. `by`: the parent asked.
    bool start(Start start, qint64 maxPixels, int picture, int report, pid_t &by, QString &why)
    {
        const qint64 page = ::sysconf(_SC_PAGESIZE);
        std::lock_guard<std::mutex> lock(mutex);
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (parent.pid > 0 && ::waitpid(parent.pid, nullptr, WNOHANG) != 0) {
                parent.pid = -1; // killed from outside, and now reaped
                retire(parent);
            }
            if (parent.pid <= 0 && !spawn(parent, why))
                return false;
            start.addressSpace
                = procField(parent.pid, "statm", 1) * page + Budget::decoderAddressSpace(maxPixels);
            if (sendWith(parent.socket, &start, sizeof start, { picture, report })) {
                by = parent.pid;
                return true;
            }
            retire(parent);
        }
        why = QStringLiteral("the picture decoder could not be started");
        return false;
    }
    // The parent `pid` (or whichever there is, for -1) goes, unless it went
    // already: it ended or misbehaved.
    void drop(pid_t pid = -1)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (pid < 0 || parent.pid == pid)
            retire(parent);
    }

private:
    std::mutex mutex;
    Parent parent;
};

Starter &starter()
{
    static Starter instance;
    return instance;
}

// What became of a picture's decoder, as far as this side heard.
enum class Heard {
    Reply, // its reply came
    Malformed, // it sent something else
    Ended, // it ended without a reply; how is in the report
    TimedOut, // it took longer than ClockSeconds
    Refused, // its parent could not start it; why is in the report
    Orphaned, // its parent went while it decoded, and took it along
    Unstarted, // its parent went before it started it
    Garbled, // its parent said something else than a report
};

// Waits for the reply on `picture` and hears the parent on `report`.
Heard listen(int picture, int report, Reply &reply, Report &said, bool &started)
{
    QElapsedTimer clock;
    clock.start();
    bool decoderGone = false;
    bool parentGone = false;
    bool ended = false;
    started = false;
    for (;;) {
        if (decoderGone && (ended || parentGone))
            return ended ? Heard::Ended : started ? Heard::Orphaned : Heard::Unstarted;
        const qint64 left = ClockSeconds * 1000LL - clock.elapsed();
        if (left <= 0)
            return Heard::TimedOut;
        pollfd watch[2] = { { decoderGone ? -1 : picture, POLLIN, 0 },
            { parentGone ? -1 : report, POLLIN, 0 } };
        if (::poll(watch, 2, int(left)) <= 0)
            continue;
        if (watch[0].revents) {
            const ssize_t count = ::recv(picture, &reply, sizeof reply, MSG_DONTWAIT);
            if (count > 0)
                return count == sizeof reply && reply.magic == Magic ? Heard::Reply
                                                                     : Heard::Malformed;
            decoderGone = count == 0 || (errno != EAGAIN && errno != EINTR);
        }
        if (watch[1].revents) {
            Report heard;
            const ssize_t count = ::recv(report, &heard, sizeof heard, MSG_DONTWAIT);
            if (count > 0 && (count != sizeof heard || heard.magic != ReportMagic))
                return Heard::Garbled;
            if (count > 0 && heard.kind == Report::Refused) {
                said = heard;
                return Heard::Refused;
            }
            if (count > 0) {
                started = true;
                ended = heard.kind == Report::Ended;
                if (ended)
                    said = heard;
            } else {
                parentGone = count == 0 || (errno != EAGAIN && errno != EINTR);
            }
        }
    }
}

// Why a decoder ended without an answer, by its parent's report.
QString ending(const Report &said)
{
    const int status = said.status;
    const bool signalled = WIFSIGNALED(status);
    // Killed at the hard limit when it ignored the soft one.
    if ((signalled && WTERMSIG(status) == SIGXCPU)
        || (signalled && WTERMSIG(status) == SIGKILL && said.cpuMilliseconds >= CpuSeconds * 1000))
        return QStringLiteral("the decoder ran out of time");
    if (signalled && WTERMSIG(status) == SIGSYS)
        return QStringLiteral("the decoder tried to do what it may not");
    return QStringLiteral("the decoder crashed");
}

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
        if (::recv(report, &heard, sizeof heard, MSG_DONTWAIT) != sizeof heard
            || heard.magic != ReportMagic || heard.kind == Report::Refused)
            break;
        ended = heard.kind == Report::Ended;
    }
    ::close(report);
    return ended;
}

// The memory for one picture: the largest the pixel cap allows, in any
// layout QImage has, then the details. Sparse: what the decoder does not
// touch costs nothing. Sizing it counts as writing a file, so it is no
// larger than the file size limit this program runs under allows.
qint64 capacityFor(qint64 maxPixels)
{
    const qint64 page = ::sysconf(_SC_PAGESIZE);
    const qint64 pixels = (std::min<qint64>(maxPixels * 8, INT_MAX) + page - 1) / page * page;
    qint64 bytes = pixels + DetailsRoom;
    rlimit size;
    if (::getrlimit(RLIMIT_FSIZE, &size) == 0 && size.rlim_cur != RLIM_INFINITY)
        bytes = std::min<qint64>(bytes, qint64(size.rlim_cur) / page * page);
    return bytes;
}

// Shared memory for the pixels. Getting fresh pages from the system (and
// giving them back) costs more than decoding into them, and on some
// machines several times more: so the memory of a picture that is gone is
// kept for the next one, a few buffers for a few seconds, so that memory
// that is not needed any more goes back soon. This side keeps a view of
// each buffer for as long as it has it: the picture is used where the
// decoder left it, and the buffer is cleared through the view before any
// decoder gets it again, so that no decoder ever sees another picture; nor
// does any get it while the decoder that had it before is still running.
class Buffers
{
public:
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
                && (written == 0 || (memory = view(fd, written)) != nullptr)
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
    // holds that many; nullptr when it cannot be mapped.
    uchar *view(int fd, qint64 bytes)
    {
        std::lock_guard<std::mutex> lock(mutex);
        View &seen = views[fd];
        if (seen.length >= bytes)
            return seen.address;
        if (seen.address)
            ::munmap(seen.address, size_t(seen.length));
        seen.address = nullptr;
        seen.length = 0;
        void *address = ::mmap(
            nullptr, size_t(bytes), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd, 0);
        if (address == MAP_FAILED)
            return nullptr;
        seen.address = static_cast<uchar *>(address);
        seen.length = bytes;
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

// Never destroyed: pictures may outlive everything else at exit.
Buffers &buffers()
{
    static Buffers *instance = new Buffers;
    return *instance;
}

void giveBack(void *memory)
{
    buffers().give(int(reinterpret_cast<quintptr>(memory)));
}

// True when the size a reply gives is one this side can believe: within the
// budget and the pixel cap, and no larger than what the file's header
// claimed when that is known here (either way round: the reader may have
// turned the picture).
bool believable(const QSize &size, const Limits &limits)
{
    if (!Budget::fits(size, limits.budgetBytes) || !Budget::withinCap(size, limits.maxPixels))
        return false;
    const QSize &claimed = limits.claimed;
    return !claimed.isValid() || size == claimed || size == claimed.transposed();
}

// The picture the decoder left in `memory`, which it then owns; a null
// image when the reply does not describe one that fits (the decoder is not
// trusted either). Nothing is mapped before the numbers are checked.
QImage picture(const Reply &reply, int memory, qint64 capacity, const Limits &limits)
{
    // 32-bit pixels only: anything the program would have to expand
    // (a 1-bit picture is a 32nd of its expanded self) the decoder expands.
    if (reply.width <= 0 || reply.height <= 0
        || (reply.format != QImage::Format_RGB32 && reply.format != QImage::Format_ARGB32)
        || !believable(QSize(reply.width, reply.height), limits))
        return QImage();
    const auto format = QImage::Format(reply.format);
    const qint64 bytes = Budget::pixelBytes(QSize(reply.width, reply.height), format);
    // Rows as QImage lays them out, and nothing else: the decoder writes
    // its picture exactly so.
    if (bytes <= 0 || qint64(reply.bytesPerLine) * reply.height != bytes || bytes > capacity)
        return QImage();
    // Composed on where it is: no decoder gets the buffer again before it
    // has been cleared, and the picture goes before the buffer does.
    uchar *address = buffers().view(memory, bytes);
    if (!address)
        return QImage();
    QImage image(address, reply.width, reply.height, reply.bytesPerLine, format, giveBack,
        reinterpret_cast<void *>(quintptr(memory)));
    return image;
}

// What the decoder says besides the pixels.
struct Details
{
    QString errorText;
    QVector<QRgb> colours;
    qint32 dotsX = 0;
    qint32 dotsY = 0;
    QVector<QPair<QString, QString>> texts;
    QByteArray metadata;
    PictureFields fields;
};

// Reads the details after the pixels; false when they are malformed. A
// picture needs them (its colour table is there); a refusal may come
// without any.
bool readDetails(const Reply &reply, int memory, qint64 capacity, Details &details)
{
    if (reply.detailsBytes == 0 && reply.outcome != Outcome::Decoded)
        return true;
    if (reply.detailsBytes <= 0 || reply.detailsOffset < 0 || reply.detailsOffset % 4096
        || reply.detailsBytes > DetailsRoom || reply.detailsOffset > capacity
        || reply.detailsBytes > capacity - reply.detailsOffset)
        return false;
    void *address = ::mmap(
        nullptr, size_t(reply.detailsBytes), PROT_READ, MAP_PRIVATE, memory, reply.detailsOffset);
    if (address == MAP_FAILED)
        return false;
    BoundedReader in(static_cast<const char *>(address), reply.detailsBytes);
    // Out of memory on the way (16 MB at most), the reply is lost like a
    // malformed one, its decoder and memory with it.
    bool sound = false;
    try {
        details.errorText = in.string(MaxErrorText);
        details.colours.resize(int(in.count(256, 4)));
        for (QRgb &colour : details.colours)
            colour = in.u32();
        details.dotsX = in.i32();
        details.dotsY = in.i32();
        details.texts.resize(int(in.count(MaxTexts, 8)));
        for (auto &text : details.texts) {
            text.first = in.string(MaxTextKey);
            text.second = in.string(MaxTextChars);
        }
        if (!in.atEnd())
            details.metadata = in.bytes(DetailsRoom);
        if (!in.atEnd())
            PictureFieldsWire::read(in, details.fields);
        sound = in.ok() && in.atEnd();
    } catch (const std::bad_alloc &) {
    }
    ::munmap(address, size_t(reply.detailsBytes));
    return sound;
}

void apply(const Details &details, QImage &image)
{
    image.setColorTable(details.colours);
    if (details.dotsX > 0 && details.dotsY > 0) {
        image.setDotsPerMeterX(details.dotsX);
        image.setDotsPerMeterY(details.dotsY);
    }
    for (const auto &text : details.texts)
        image.setText(text.first, text.second);
}

// Decodes in a decoder of its own: true with its reply, `report` then left
// open (the decoder's end is heard on it later, see Buffers); false saying
// why, with `ended` when the decoder is known to have ended, so that its
// memory can be given to another.
bool decodeInNewDecoder(const Request &request, int file, int memory, qint64 maxPixels,
    Reply &reply, int &report, QString &why, bool &ended)
{
    ended = true;
    for (int attempt = 0; attempt < 2; ++attempt) {
        int picture[2];
        int reports[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, picture) != 0) {
            why = QStringLiteral("the picture decoder could not be started (%1)")
                      .arg(qt_error_string(errno));
            return false;
        }
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, reports) != 0) {
            why = QStringLiteral("the picture decoder could not be started (%1)")
                      .arg(qt_error_string(errno));
            ::close(picture[0]);
            ::close(picture[1]);
            return false;
        }
        Start start;
        start.cpuSeconds = CpuSeconds;
        start.signalTarget = signalTarget;
        pid_t parent = -1;
        // The request waits on the picture's socket for the decoder.
        const bool asked = sendWith(picture[0], &request, sizeof request, { file, memory })
            && starter().start(start, maxPixels, picture[1], reports[1], parent, why);
        ::close(picture[1]);
        ::close(reports[1]);
        Heard heard = Heard::Unstarted;
        bool started = false;
        Report said;
        if (asked)
            heard = listen(picture[0], reports[0], reply, said, started);
        ::close(picture[0]);
        if (heard == Heard::Reply) {
            // Done with it: its parent ends it if it has not ended itself.
            ::shutdown(reports[0], SHUT_WR);
            report = reports[0];
            return true;
        }
        ::close(reports[0]); // ends a decoder still running
        if (!asked) {
            if (why.isEmpty())
                why = QStringLiteral("the picture decoder could not be started");
            return false;
        }
        ended = heard == Heard::Ended || heard == Heard::Refused;
        switch (heard) {
        case Heard::Ended:
            why = ending(said);
            return false;
        case Heard::Refused:
            why = QStringLiteral("the picture decoder could not be started (%1)")
                      .arg(qt_error_string(said.status));
            return false;
        case Heard::TimedOut:
            if (started) {
                why = QStringLiteral("the decoder ran out of time");
                return false;
            }
            break;
        case Heard::Orphaned:
            starter().drop(parent);
            why = QStringLiteral("the decoder crashed");
            return false;
        case Heard::Unstarted:
            // Gone before it started a decoder: nothing read the picture,
            // a new parent may.
            starter().drop(parent);
            continue;
        default:
            break;
        }
        // A parent that says anything else or nothing at all is replaced.
        starter().drop(parent);
        why = heard == Heard::TimedOut
            ? QStringLiteral("the picture decoder could not be started (it did not answer)")
            : malformed;
        return false;
    }
    why = QStringLiteral("the picture decoder could not be started");
    return false;
}

} // namespace

QString decoderPath()
{
    const QString program = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    const QString folder = QFileInfo(program).path();
    const QStringList candidates { folder + QStringLiteral("/tarvelo-decoder"),
        folder + QStringLiteral("/../libexec/tarvelo/tarvelo-decoder"),
        QStringLiteral(TARVELO_DECODER_BUILD_PATH) };
    for (const QString &candidate : candidates) {
        const QFileInfo file(candidate);
        if (file.isFile() && file.isExecutable())
            return file.canonicalFilePath();
    }
    return QString();
}

void setDecoderPathForTesting(const QString &path)
{
    {
        std::lock_guard<std::mutex> lock(pathMutex);
        testPath = path;
    }
    starter().drop();
}

void setSignalTargetForTesting(int pid)
{
    signalTarget = pid;
}

Result decode(int fd, const QByteArray &reader, const Limits &limits,
    const std::optional<Metadata::Wanted> &metadata, QSize fit, bool keepAspectRatio, bool fields,
    QSize render)
{
    Result result;
    Request request;
    if (reader.size() >= int(sizeof request.reader)) {
        result.errorText = QStringLiteral("no such reader");
        return result;
    }
    memcpy(request.reader, reader.constData(), size_t(reader.size()));
    request.budgetBytes = limits.budgetBytes;
    request.maxPixels = limits.maxPixels;
    if (metadata) {
        request.metadata = 1;
        const QByteArray format = Metadata::formatOf(metadata->suffix);
        memcpy(request.outputFormat, format.constData(),
            size_t(qMin<int>(format.size(), sizeof request.outputFormat)));
        request.keepMetadata = metadata->keep ? 1 : 0;
        request.withoutLocation = metadata->withoutLocation ? 1 : 0;
        const ResizeRule::Rule &resize = metadata->resize;
        request.resize = resize.enabled ? 1 : 0;
        request.resizeWidth = resize.box.width();
        request.resizeHeight = resize.box.height();
        request.resizeKeepsAspect = resize.keepAspectRatio ? 1 : 0;
        request.resizeShrinksOnly = resize.shrinkOnly ? 1 : 0;
    }
    if (!fit.isEmpty()) {
        request.fitWidth = fit.width();
        request.fitHeight = fit.height();
        request.fitKeepsAspect = keepAspectRatio ? 1 : 0;
    }
    request.fields = fields ? 1 : 0;
    const bool drawing = reader == "svg";
    if (drawing && !render.isEmpty()) {
        request.renderWidth = render.width();
        request.renderHeight = render.height();
    }
    const int memory = buffers().take(capacityFor(limits.maxPixels));
    if (memory < 0) {
        result.errorText = qt_error_string(errno);
        return result;
    }
    Reply reply;
    int report = -1;
    bool ended = true;
    if (!decodeInNewDecoder(
            request, fd, memory, limits.maxPixels, reply, report, result.errorText, ended)) {
        if (ended)
            buffers().give(memory);
        else
            buffers().discard(memory);
        return result;
    }
    buffers().heldBy(memory, report);

    // Sealed against any change of size from the start.
    struct stat info;
    const qint64 capacity = ::fstat(memory, &info) == 0 ? qint64(info.st_size) : 0;
    // What is cleared before the buffer's next use: the pixels and details
    // the reply describes, as far as the buffer and the budget reach.
    const qint64 pixels = qint64(qMax(reply.bytesPerLine, 0)) * qMax(reply.height, 0);
    const qint64 detailsEnd
        = reply.detailsOffset >= 0 && reply.detailsOffset <= capacity && reply.detailsBytes >= 0
        ? reply.detailsOffset + qMin(reply.detailsBytes, DetailsRoom)
        : 0;
    buffers().wrote(
        memory, qMin(qMax(pixels, detailsEnd), qMin(capacity, limits.budgetBytes + DetailsRoom)));
    result.size = QSize(reply.width, reply.height);
    Details details;
    const bool sound = readDetails(reply, memory, capacity, details);
    switch (sound ? reply.outcome : Outcome(-1)) {
    case Outcome::Decoded: {
        // A picture decoded smaller for a fitted run is checked by the size
        // of the file it stands for, below, not by its own.
        Limits checked = limits;
        // A drawing comes at the size it was asked for, and says its own,
        // which is no larger than any picture can be.
        if (drawing) {
            const QSize own(reply.drawingWidth, reply.drawingHeight);
            if (!render.isEmpty())
                checked.claimed = render;
            if (own.isEmpty() || own.width() > PictureFormats::MaxDrawingSide
                || own.height() > PictureFormats::MaxDrawingSide || reply.fullWidth > 0
                || reply.fullHeight > 0)
                checked.budgetBytes = 0;
            result.drawing = own;
        }
        if (!fit.isEmpty() && (reply.fullWidth > 0 || reply.fullHeight > 0)) {
            const QSize full(reply.fullWidth, reply.fullHeight);
            if (!believable(full, limits))
                checked.budgetBytes = 0;
            checked.claimed = QSize();
        }
        result.image = picture(reply, memory, capacity, checked);
        result.kind = result.image.isNull() ? Result::DecoderFailed : Result::Decoded;
        // Smaller than the file only when asked to, and only as much as the
        // resize allows: anything else is believed no more than the rest.
        if (reply.fullWidth > 0 || reply.fullHeight > 0) {
            const QSize full(reply.fullWidth, reply.fullHeight);
            const QSize least
                = full.scaled(fit, keepAspectRatio ? Qt::KeepAspectRatio : Qt::IgnoreAspectRatio);
            const bool sound = full == result.size
                || (!fit.isEmpty() && full.width() >= reply.width && full.height() >= reply.height
                    && reply.width >= least.width() && reply.height >= least.height());
            if (!sound)
                result.kind = Result::DecoderFailed;
            else if (full != result.size)
                result.full = full;
        }
        break;
    }
    case Outcome::TooLarge:
        result.kind = Result::TooLarge;
        break;
    case Outcome::Damaged:
        result.kind = Result::Damaged;
        break;
    case Outcome::Failed:
        result.kind = Result::Failed;
        break;
    default:
        result.kind = Result::DecoderFailed;
        break;
    }
    if (result.kind == Result::DecoderFailed) {
        // Its memory is not used again, and the decoder is ended now.
        buffers().discard(memory);
        result.size = QSize();
        result.errorText = malformed;
        return result;
    }
    if (result.image.isNull())
        buffers().give(memory);
    else
        apply(details, result.image);
    result.errorText = details.errorText;
    result.metadata = details.metadata;
    result.fields = details.fields;
    return result;
}

} // namespace DecoderPool
