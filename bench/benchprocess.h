// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QStringList>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

// Runs `command` (looked up on PATH) to its end, its standard output
// discarded and `environment` ("NAME=value") added when given; its resource
// usage, with what its reaped children used, into `usage`. False when it
// could not run or did not exit with 0.
inline bool runToEnd(
    const QStringList &command, rusage &usage, const QByteArray &environment = QByteArray())
{
    std::vector<QByteArray> owned;
    for (const QString &part : command)
        owned.push_back(QFile::encodeName(part));
    std::vector<char *> argv;
    for (QByteArray &part : owned)
        argv.push_back(part.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!environment.isEmpty())
            ::putenv(const_cast<char *>(environment.constData()));
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    usage = rusage {};
    return pid >= 0 && ::wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status)
        && WEXITSTATUS(status) == 0;
}

// The fields of /proc/<pid>/stat after the command, counted from 0 for the
// state; empty when the process is gone.
inline QList<QByteArray> statFields(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = stat.readAll();
    return text.mid(text.lastIndexOf(')') + 2).split(' ');
}

// The figure in kB of line `key` ("VmRSS:", "VmHWM:") of /proc/<pid>/status.
inline double statusKB(pid_t pid, const QByteArray &key)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toDouble();
    return 0;
}

// The running children of process `pid`, started by any of its threads.
inline QList<pid_t> childrenOf(pid_t pid)
{
    QList<pid_t> found;
    for (const QString &task : QDir(QStringLiteral("/proc/%1/task").arg(pid))
                                   .entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile children(QStringLiteral("/proc/%1/task/%2/children").arg(pid).arg(task));
        if (!children.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &child : children.readAll().split(' '))
            if (!child.trimmed().isEmpty())
                found << pid_t(child.trimmed().toInt());
    }
    return found;
}
