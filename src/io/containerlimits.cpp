// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/containerlimits.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QPair>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <sched.h>

namespace ContainerLimits {

namespace {

const char *const ownRoot = "/sys/fs/cgroup";

// v1 writes "no limit" as the largest page-aligned 64-bit number; anything
// this large is no limit either way.
constexpr qint64 Unlimited = qint64(1) << 60;

// One hierarchy the process belongs to: where it is mounted under the
// root, and the process's group in it.
struct Hierarchy
{
    QString mount;
    QString group;
};

QByteArray readValue(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll().trimmed();
}

// The hierarchy holding `controller` ("cpu", "memory"), or the v2 one for an
// empty controller. Lines of /proc/self/cgroup read "id:controllers:path";
// v2's is "0::path".
bool find(const QString &root, const QByteArray &membership, const QByteArray &controller,
    Hierarchy *found)
{
    for (const QByteArray &line : membership.split('\n')) {
        const int first = line.indexOf(':');
        const int second = line.indexOf(':', first + 1);
        if (first < 0 || second < 0)
            continue;
        const QByteArray controllers = line.mid(first + 1, second - first - 1);
        found->group = QString::fromUtf8(line.mid(second + 1));
        if (controller.isEmpty() && controllers.isEmpty()) {
            // Pure v2 is mounted on the root itself; the hybrid layout puts
            // it in "unified", where it controls neither CPU nor memory.
            found->mount = QFileInfo::exists(root + QStringLiteral("/cgroup.controllers"))
                ? root
                : root + QStringLiteral("/unified");
            return true;
        }
        if (controller.isEmpty() || !controllers.split(',').contains(controller))
            continue;
        // Mounted as "cpu,cpuacct" (with "cpu" a link to it) or on its own.
        for (const QByteArray &name : { controllers, controller }) {
            found->mount = root + QLatin1Char('/') + QString::fromUtf8(name);
            if (QFileInfo(found->mount).isDir())
                return true;
        }
    }
    return false;
}

// The folders of the group and of each of its ancestors, the group's first.
// Inside a container the hierarchy's root is often the container's own group
// while the path still names it as the host sees it: folders that are not
// there are passed over, and the mount itself is always looked at.
QStringList chain(const Hierarchy &hierarchy)
{
    QStringList folders;
    QString group = QDir::cleanPath(QLatin1Char('/') + hierarchy.group);
    for (;;) {
        const QString folder
            = group == QLatin1String("/") ? hierarchy.mount : hierarchy.mount + group;
        if (QFileInfo(folder).isDir())
            folders << folder;
        if (group == QLatin1String("/"))
            return folders;
        group.truncate(std::max(1, int(group.lastIndexOf(QLatin1Char('/')))));
    }
}

// The number after `key` in a memory.stat file; 0 when it is not there.
qint64 statValue(const QString &folder, const QByteArray &key)
{
    for (const QByteArray &line : readValue(folder + QStringLiteral("/memory.stat")).split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() == 2 && words[0] == key)
            return words[1].toLongLong();
    }
    return 0;
}

qint64 number(const QByteArray &text, bool *ok)
{
    const qint64 value = text.toLongLong(ok);
    *ok = *ok && value > 0 && value < Unlimited;
    return value;
}

} // namespace

int cpuQuota(const QString &root, const QByteArray &membership)
{
    double least = 0;
    const auto take = [&](qint64 quota, qint64 period) {
        if (quota > 0 && period > 0)
            least = least > 0 ? std::min(least, double(quota) / period) : double(quota) / period;
    };
    Hierarchy hierarchy;
    if (find(root, membership, QByteArray(), &hierarchy)) {
        for (const QString &folder : chain(hierarchy)) {
            // "max 100000" or "200000 100000"
            const QList<QByteArray> words
                = readValue(folder + QStringLiteral("/cpu.max")).split(' ');
            if (words.size() == 2 && words[0] != "max")
                take(words[0].toLongLong(), words[1].toLongLong());
        }
    }
    if (find(root, membership, "cpu", &hierarchy)) {
        for (const QString &folder : chain(hierarchy))
            take(readValue(folder + QStringLiteral("/cpu.cfs_quota_us")).toLongLong(),
                readValue(folder + QStringLiteral("/cpu.cfs_period_us")).toLongLong());
    }
    // A quota of 1.5 CPUs keeps two workers busier than one.
    return least > 0 ? std::max(1, int(std::ceil(least - 1e-9))) : 0;
}

qint64 memoryLeft(const QString &root, const QByteArray &membership)
{
    qint64 least = -1;
    const auto take = [&](qint64 limit, qint64 used) {
        const qint64 left = std::max<qint64>(0, limit - std::max<qint64>(0, used));
        least = least < 0 ? left : std::min(least, left);
    };
    bool ok = false;
    Hierarchy hierarchy;
    if (find(root, membership, QByteArray(), &hierarchy)) {
        for (const QString &folder : chain(hierarchy)) {
            const qint64 used = readValue(folder + QStringLiteral("/memory.current")).toLongLong()
                - statValue(folder, "file");
            for (const char *name : { "/memory.max", "/memory.high" }) {
                const qint64 limit = number(readValue(folder + QLatin1String(name)), &ok);
                if (ok)
                    take(limit, used);
            }
        }
    }
    if (find(root, membership, "memory", &hierarchy)) {
        for (const QString &folder : chain(hierarchy)) {
            const qint64 limit
                = number(readValue(folder + QStringLiteral("/memory.limit_in_bytes")), &ok);
            if (ok)
                take(limit,
                    readValue(folder + QStringLiteral("/memory.usage_in_bytes")).toLongLong()
                        - statValue(folder, "total_cache"));
        }
    }
    return least;
}

int affinityCount()
{
    // The mask's size is not known beforehand: grow it until it holds the
    // machine's CPUs.
    for (int cpus = 1024; cpus <= 1 << 16; cpus *= 4) {
        cpu_set_t *set = CPU_ALLOC(cpus);
        const size_t size = CPU_ALLOC_SIZE(cpus);
        const int count = ::sched_getaffinity(0, size, set) == 0 ? CPU_COUNT_S(size, set) : -1;
        CPU_FREE(set);
        if (count >= 0)
            return count;
        if (errno != EINVAL)
            return 0;
    }
    return 0;
}

int usableCpus()
{
    int cpus = affinityCount();
    if (cpus <= 0)
        cpus = QThread::idealThreadCount();
    const int quota
        = cpuQuota(QLatin1String(ownRoot), readValue(QStringLiteral("/proc/self/cgroup")));
    if (quota > 0)
        cpus = std::min(cpus, quota);
    return std::max(1, cpus);
}

qint64 memoryLeft()
{
    return memoryLeft(QLatin1String(ownRoot), readValue(QStringLiteral("/proc/self/cgroup")));
}

} // namespace ContainerLimits
