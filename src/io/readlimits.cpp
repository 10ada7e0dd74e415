// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/readlimits.h"

#include <QFile>

#include <algorithm>
#include <atomic>

#include <sys/resource.h>
#include <unistd.h>

#include "io/containerlimits.h"

namespace PictureIO {

namespace {

// The reads going on in this process, whoever made them: the memory is
// this process's, whatever limits each read has.
std::atomic<int> readsGoingOn { 0 };

// The kilobytes after `key` in /proc/meminfo; -1 when unknown.
qint64 memInfo(const QByteArray &key)
{
    QFile file(QStringLiteral("/proc/meminfo"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : file.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// What this process may still allocate: the free memory, what the memory
// limit of its control group leaves (in a container or a batch job, going
// beyond it gets the process killed), and under an address-space limit what
// the limit leaves.
qint64 availableBytes(qint64 groupLeftAtStart)
{
    qint64 available = memInfo("MemAvailable:") * 1024;
    if (available < 0)
        available = qint64(::sysconf(_SC_AVPHYS_PAGES)) * ::sysconf(_SC_PAGESIZE);
    const qint64 groupLeft
        = groupLeftAtStart == -2 ? ContainerLimits::memoryLeft() : groupLeftAtStart;
    if (groupLeft >= 0)
        available = std::min(available, groupLeft);
    rlimit limit;
    if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        QFile statm(QStringLiteral("/proc/self/statm"));
        qint64 used = 0;
        if (statm.open(QIODevice::ReadOnly))
            used = statm.readAll().split(' ').value(0).toLongLong() * ::sysconf(_SC_PAGESIZE);
        available = std::min(available, qint64(limit.rlim_cur) - used);
    }
    return std::max<qint64>(available, 0);
}

} // namespace

ReadLimits ReadLimits::forRun(int picturesInFlight, int frames, int megapixels)
{
    ReadLimits limits;
    limits.maxPixels = pixelCap(megapixels);
    limits.picturesInFlight = std::max(1, picturesInFlight);
    limits.framesPerPicture = std::clamp(frames, 1, 4);
    limits.groupLeftAtStart
        = picturesInFlight <= 1 && frames == 4 ? -2 : ContainerLimits::memoryLeft();
    return limits;
}

qint64 ReadLimits::pixelCap(int megapixels)
{
    return megapixels > 0 ? qint64(megapixels) * 1000 * 1000 : Budget::DefaultMaxPixels;
}

qint64 ReadLimits::memoryBudget() const
{
    const int sharing = std::max({ 1, picturesInFlight, readsGoingOn.load() });
    return availableBytes(groupLeftAtStart) / sharing;
}

qint64 ReadLimits::decoderBudget(qint64 budget) const
{
    return budget / std::clamp(framesPerPicture, 1, 4) * 4;
}

ReadGoingOn::ReadGoingOn()
{
    ++readsGoingOn;
}

ReadGoingOn::~ReadGoingOn()
{
    --readsGoingOn;
}

} // namespace PictureIO
