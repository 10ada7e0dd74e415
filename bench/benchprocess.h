// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QFile>
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
