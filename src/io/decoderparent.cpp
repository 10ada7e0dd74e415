// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/decoderparent.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <mutex>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/budget.h"
#include "config.h"

extern char **environ;

using namespace DecoderProtocol;

namespace DecoderParent {

namespace {

std::mutex pathMutex;
QString testPath;

// How long the parent may take to take a request: as long as a decoder may
// take on the clock.
constexpr int TakeMs = 60 * 1000;

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
    const QByteArray program = QFile::encodeName(chosen.isEmpty() ? path() : chosen);
    if (program.isEmpty()) {
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
    // instead of every 4 KB. A decoder ends after its picture: memory it
    // frees is neither given back to the system on the way nor mapped
    // apart, which would only cost time. Settings of the caller's own come
    // first.
    std::vector<char *> environment;
    for (char **variable = environ; variable && *variable; ++variable)
        environment.push_back(*variable);
    char tunables[] = "GLIBC_TUNABLES=glibc.malloc.hugetlb=1:glibc.malloc.mmap_max=0:"
                      "glibc.malloc.trim_threshold=2147483647";
    if (!qEnvironmentVariableIsSet("GLIBC_TUNABLES"))
        environment.push_back(tunables);
    environment.push_back(nullptr);
    const int error = ::posix_spawn(
        &parent.pid, program.constData(), &actions, &attributes, arguments, environment.data());
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

// The one parent, and the lock that guards it; it goes with the program.
struct Running
{
    ~Running() { retire(parent); }
    std::mutex mutex;
    Parent parent;
};

Running &running()
{
    static Running instance;
    return instance;
}

} // namespace

bool start(Start start, qint64 maxPixels, int picture, int report, pid_t &by, QString &why)
{
    const qint64 page = ::sysconf(_SC_PAGESIZE);
    std::lock_guard<std::mutex> lock(running().mutex);
    Parent &parent = running().parent;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (parent.pid > 0 && ::waitpid(parent.pid, nullptr, WNOHANG) != 0) {
            parent.pid = -1; // killed from outside, and now reaped
            retire(parent);
        }
        if (parent.pid <= 0 && !spawn(parent, why))
            return false;
        start.addressSpace
            = procField(parent.pid, "statm", 1) * page + Budget::decoderAddressSpace(maxPixels);
        if (sendStart(parent.socket, start, picture, report, TakeMs)) {
            by = parent.pid;
            return true;
        }
        retire(parent);
    }
    why = QStringLiteral("the picture decoder could not be started");
    return false;
}

void startEarly()
{
    std::lock_guard<std::mutex> lock(running().mutex);
    QString why;
    if (running().parent.pid <= 0)
        spawn(running().parent, why); // start() says why, if it comes to that
}

void drop(pid_t pid)
{
    std::lock_guard<std::mutex> lock(running().mutex);
    if (pid < 0 || running().parent.pid == pid)
        retire(running().parent);
}

QString path()
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

void setPathForTesting(const QString &path)
{
    {
        std::lock_guard<std::mutex> lock(pathMutex);
        testPath = path;
    }
    drop();
}

} // namespace DecoderParent
