// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// The share of the machine this process is given. In a container, a
// Kubernetes pod or a Slurm task, the machine's cores and free memory are
// not the process's: its control groups (cgroup v2, or v1) cap the CPU time
// and the memory, and the CPU affinity mask names the cores it may use.
// Exceeding the memory limit gets the process killed, so the limits count
// before the machine's own figures.
//
// The readers take the folder the control groups are mounted on and the
// text of /proc/self/cgroup, so that they can read any tree; the last two
// functions read this process's own.
namespace ContainerLimits {

// The CPUs the CPU quota allows (cgroup v2 cpu.max, v1 cpu.cfs_quota_us
// over cpu.cfs_period_us), rounded up; the least along the group and its
// ancestors. 0 when no group has a quota.
int cpuQuota(const QString &root, const QByteArray &membership);

// What the memory limit leaves (v2 memory.max or memory.high, v1
// memory.limit_in_bytes, less the memory in use without the page cache,
// which the kernel gives back before it kills); the least along the group
// and its ancestors. -1 when no group has a limit.
qint64 memoryLeft(const QString &root, const QByteArray &membership);

// The number of CPUs in this process's affinity mask; 0 when unknown.
int affinityCount();

// The pictures worth working on at once: the cores of the affinity mask,
// no more than the CPU quota allows; at least 1.
int usableCpus();

// memoryLeft() for this process; -1 when it has no memory limit.
qint64 memoryLeft();

} // namespace ContainerLimits
