#include "io/decoderpool.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
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
#include "config.h"

extern char **environ;

using namespace DecoderProtocol;

namespace DecoderPool {

namespace {

const QString malformed = QStringLiteral("the decoder sent a malformed reply");

std::mutex pathMutex;
QString testPath;

struct Child
{
    pid_t pid = -1;
    int socket = -1;
};

void retire(Child &child)
{
    if (child.socket >= 0)
        ::close(child.socket);
    if (child.pid > 0) {
        ::kill(child.pid, SIGKILL);
        while (::waitpid(child.pid, nullptr, 0) < 0 && errno == EINTR) { }
    }
    child = Child();
}

bool spawn(Child &child, QString &why)
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
    const int error
        = ::posix_spawn(&child.pid, path.constData(), &actions, &attributes, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(pair[1]);
    if (error != 0) {
        ::close(pair[0]);
        child = Child();
        why = QStringLiteral("the picture decoder could not be started (%1)")
                  .arg(qt_error_string(error));
        return false;
    }
    child.socket = pair[0];
    return true;
}

class Pool
{
public:
    ~Pool()
    {
        for (Child &child : idle)
            retire(child);
    }
    bool take(Child &child, QString &why)
    {
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (idle.empty())
                    break;
                child = idle.back();
                idle.pop_back();
            }
            // One that ended while it waited (killed from outside) is no use.
            // (Decoders do not end with the thread that started them: a
            // batch's worker threads come and go, its decoders stay. They end
            // with the program, whose end closes their socket.)
            if (::waitpid(child.pid, nullptr, WNOHANG) == 0)
                return true;
            child.pid = -1;
            retire(child);
        }
        return spawn(child, why);
    }
    void drop()
    {
        std::vector<Child> all;
        {
            std::lock_guard<std::mutex> lock(mutex);
            all.swap(idle);
        }
        for (Child &child : all)
            retire(child);
    }
    void give(Child &child)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (idle.size() < MaxIdle) {
                idle.push_back(child);
                child = Child();
                return;
            }
        }
        retire(child);
    }

private:
    static constexpr size_t MaxIdle = 4;
    std::mutex mutex;
    std::vector<Child> idle;
};

Pool &pool()
{
    static Pool instance;
    return instance;
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

void limit(pid_t pid, int resource, rlim_t wanted)
{
    rlimit current;
    if (::prlimit(pid, __rlimit_resource(resource), nullptr, &current) != 0)
        return;
    current.rlim_cur
        = current.rlim_max == RLIM_INFINITY ? wanted : std::min(wanted, current.rlim_max);
    ::prlimit(pid, __rlimit_resource(resource), &current, nullptr);
}

// The decoder's limits for the next picture, on top of what it uses now:
// fixed by the pixel cap, not by the memory that happens to be free, so
// that a bomb costs the same on every machine. The shared memory may grow
// to the largest picture the cap allows and its details, no further. The
// processor time is limited hard one second after the soft limit, so that
// ignoring SIGXCPU only buys a second before SIGKILL. A hard limit can
// only come down: false when the decoder has used up too much of it to be
// given another picture.
bool limitFor(const Child &child, qint64 maxPixels)
{
    const qint64 page = ::sysconf(_SC_PAGESIZE);
    const qint64 used = procField(child.pid, "statm", 1) * page;
    limit(child.pid, RLIMIT_AS, rlim_t(used + Budget::decoderAddressSpace(maxPixels)));
    limit(child.pid, RLIMIT_FSIZE, rlim_t(maxPixels * 8 + DetailsRoom + 2 * page));
    const qint64 ticks = ::sysconf(_SC_CLK_TCK);
    const qint64 spent
        = (procField(child.pid, "stat", 14) + procField(child.pid, "stat", 15)) / ticks;
    rlimit cpu;
    if (::prlimit(child.pid, RLIMIT_CPU, nullptr, &cpu) != 0)
        return false;
    const rlim_t soft = rlim_t(spent + CpuSeconds);
    if (cpu.rlim_max != RLIM_INFINITY && cpu.rlim_max < soft + 1)
        return false;
    cpu.rlim_cur = soft;
    cpu.rlim_max = soft + 1;
    return ::prlimit(child.pid, RLIMIT_CPU, &cpu, nullptr) == 0;
}

// Why the decoder ended without an answer; `timedOut`: this side killed it.
QString ending(Child &child, bool timedOut)
{
    ::close(child.socket);
    child.socket = -1;
    if (timedOut)
        ::kill(child.pid, SIGKILL);
    int status = 0;
    pid_t done;
    while ((done = ::waitpid(child.pid, &status, 0)) < 0 && errno == EINTR) { }
    child = Child();
    if (timedOut || (done > 0 && WIFSIGNALED(status) && WTERMSIG(status) == SIGXCPU))
        return QStringLiteral("the decoder ran out of time");
    if (done > 0 && WIFSIGNALED(status) && WTERMSIG(status) == SIGSYS)
        return QStringLiteral("the decoder tried to do what it may not");
    return QStringLiteral("the decoder crashed");
}

bool send(const Child &child, const Request &request, int file, int memory)
{
    char control[CMSG_SPACE(2 * sizeof(int))] = {};
    iovec part { const_cast<Request *>(&request), sizeof request };
    msghdr message {};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr *header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(2 * sizeof(int));
    const int fds[2] = { file, memory };
    memcpy(CMSG_DATA(header), fds, sizeof fds);
    ssize_t count;
    do
        count = ::sendmsg(child.socket, &message, MSG_NOSIGNAL);
    while (count < 0 && errno == EINTR);
    return count == sizeof request;
}

// Waits for the reply; 1: got it, 2: got something else, 0: the decoder
// ended, -1: out of time.
int receive(const Child &child, Reply &reply)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const qint64 left = ClockSeconds * 1000LL - clock.elapsed();
        if (left <= 0)
            return -1;
        pollfd watch { child.socket, POLLIN, 0 };
        const int ready = ::poll(&watch, 1, int(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0)
            return -1;
        const ssize_t count = ::recv(child.socket, &reply, sizeof reply, 0);
        if (count < 0 && errno == EINTR)
            continue;
        if (count == 0 || count < 0)
            return 0;
        return count == sizeof reply && reply.magic == Magic ? 1 : 2;
    }
}

// Shared memory for the pixels. Getting fresh pages from the system (and
// giving them back) costs more than decoding into them, and on some
// machines several times more: so the memory of a picture that is gone is
// kept for the next one, a few buffers for a few seconds, so that memory
// that is not needed any more goes back soon. This side keeps a view of
// each buffer for as long as it has it: the picture is used where the
// decoder left it, and the buffer is cleared through the view before any
// decoder gets it again, so that no decoder ever sees another picture.
class Buffers
{
public:
    int take()
    {
        int fd = -1;
        {
            std::lock_guard<std::mutex> lock(mutex);
            dropOld();
            if (!spare.empty()) {
                fd = spare.back().fd;
                spare.pop_back();
            }
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
            if (::fstat(fd, &info) == 0 && (written == 0 || (memory = view(fd, written)) != nullptr)
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
        // It can then only grow: no decoder can shrink it under a mapping of
        // the program's, nor seal it against the next decoder.
        if (fd >= 0 && ::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_SEAL) != 0) {
            ::close(fd);
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
    // have grown it to any size): it goes, with this side's view of it.
    void discard(int fd) { close(fd); }
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
    pool().drop();
}

Result decode(int fd, const QByteArray &reader, const Limits &limits,
    const std::optional<Metadata::Wanted> &metadata, QSize fit, bool keepAspectRatio)
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
    const int memory = buffers().take();
    if (memory < 0) {
        result.errorText = qt_error_string(errno);
        return result;
    }

    Child child;
    if (!pool().take(child, result.errorText)) {
        buffers().give(memory);
        return result;
    }
    // A decoder whose processor time is used up for another picture gives
    // way to a new one.
    if (!limitFor(child, limits.maxPixels)) {
        retire(child);
        if (!spawn(child, result.errorText) || !limitFor(child, limits.maxPixels)) {
            if (child.pid > 0)
                retire(child);
            buffers().give(memory);
            if (result.errorText.isEmpty())
                result.errorText = QStringLiteral("the decoder could not be limited");
            return result;
        }
    }
    Reply reply;
    const int received = send(child, request, fd, memory) ? receive(child, reply) : 0;
    if (received == 2) {
        buffers().discard(memory);
        retire(child);
        result.errorText = malformed;
        return result;
    }
    if (received != 1) {
        result.errorText = ending(child, received < 0);
        buffers().give(memory);
        return result;
    }

    // Sealed against shrinking from the start, so what is there now stays.
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
        // Neither the decoder nor its memory, which it may have grown to
        // any size, is used again.
        buffers().discard(memory);
        retire(child);
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
    // A decoder that met a damaged or unreadable file may have been led
    // astray by it: it serves no other picture.
    if (result.kind == Result::Damaged || result.kind == Result::Failed)
        retire(child);
    else
        pool().give(child);
    return result;
}

} // namespace DecoderPool
