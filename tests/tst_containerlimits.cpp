// SPDX-License-Identifier: GPL-3.0-or-later
// The share of the machine a container or a batch job gives: the control
// group readers on made-up trees, and the worker count under an affinity
// mask of one CPU.

#include "testsupport.h"

#include <sched.h>

#include "batch/batchrunner.h"
#include "io/containerlimits.h"

using namespace TestSupport;

class ContainerLimitsTest : public QObject
{
    Q_OBJECT

private slots:
    void readers_data();
    void readers();
    void oneCpuOneWorker();
};

constexpr qint64 MiB = 1024 * 1024;

void ContainerLimitsTest::readers_data()
{
    QTest::addColumn<QByteArray>("membership"); // /proc/self/cgroup
    QTest::addColumn<QStringList>("files"); // "path=content"
    QTest::addColumn<int>("cpus");
    QTest::addColumn<qint64>("memory");
    // clang-format off
    // A pod's limits sit on an ancestor of the container's group; the page
    // cache ("file") does not count as used.
    QTest::newRow("v2, limit on an ancestor") << QByteArray("0::/kubepods/pod1/box\n")
        << QStringList { "cgroup.controllers=cpu memory", "kubepods/cpu.max=max 100000", "kubepods/pod1/cpu.max=250000 100000", "kubepods/pod1/box/cpu.max=max 100000",
               "kubepods/pod1/memory.max=1073741824", "kubepods/pod1/memory.current=629145600", "kubepods/pod1/memory.stat=anon 400000000\nfile 209715200\n", "kubepods/pod1/box/memory.max=max" }
        << 3 << 1024 * MiB - 400 * MiB;
    QTest::newRow("v2, own namespace, the tighter of two") << QByteArray("0::/\n")
        << QStringList { "cgroup.controllers=cpu", "cpu.max=150000 100000", "memory.max=536870912", "memory.high=268435456", "memory.current=104857600" } << 2 << 156 * MiB;
    // Docker on v1: the path names the host's group, the mount is the
    // container's own.
    QTest::newRow("v1, hybrid") << QByteArray("9:memory:/docker/abc\n4:cpu,cpuacct:/docker/abc\n0::/docker/abc\n")
        << QStringList { "unified/cgroup.procs=", "cpu,cpuacct/cpu.cfs_quota_us=50000", "cpu,cpuacct/cpu.cfs_period_us=100000", "memory/memory.limit_in_bytes=536870912",
               "memory/memory.usage_in_bytes=314572800", "memory/memory.stat=cache 1\ntotal_cache 104857600\n" } << 1 << 512 * MiB - 200 * MiB;
    QTest::newRow("v1, no limits") << QByteArray("4:cpu:/user\n9:memory:/user\n")
        << QStringList { "cpu/user/cpu.cfs_quota_us=-1", "cpu/user/cpu.cfs_period_us=100000", "memory/user/memory.limit_in_bytes=9223372036854771712" } << 0 << qint64(-1);
    QTest::newRow("no control groups") << QByteArray() << QStringList() << 0 << qint64(-1);
    // clang-format on
}

void ContainerLimitsTest::readers()
{
    QFETCH(QByteArray, membership);
    QFETCH(QStringList, files);
    QFETCH(int, cpus);
    QFETCH(qint64, memory);
    QTemporaryDir root;
    for (const QString &file : files) {
        const QString path = root.filePath(file.section('=', 0, 0));
        QDir().mkpath(QFileInfo(path).path());
        QVERIFY(writeFile(path, file.section('=', 1).toUtf8() + '\n'));
    }
    QCOMPARE(ContainerLimits::cpuQuota(root.path(), membership), cpus);
    QCOMPARE(ContainerLimits::memoryLeft(root.path(), membership), memory);
}

// What taskset -c 0 does: without a number of workers given, a run works on
// one picture at a time.
void ContainerLimitsTest::oneCpuOneWorker()
{
    cpu_set_t all, one;
    QCOMPARE(::sched_getaffinity(0, sizeof all, &all), 0);
    CPU_ZERO(&one);
    for (int cpu = 0; CPU_COUNT(&one) == 0 && cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &all))
            CPU_SET(cpu, &one);
    QCOMPARE(::sched_setaffinity(0, sizeof one, &one), 0);
    const int workers = BatchRunner(BatchOptions()).workerCount();
    ::sched_setaffinity(0, sizeof all, &all);
    QCOMPARE(workers, 1);
    QCOMPARE(ContainerLimits::affinityCount(), CPU_COUNT(&all));
}

TARVELO_TEST_MAIN(ContainerLimitsTest)
#include "tst_containerlimits.moc"
