// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/journal.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/records.h"
#include "io/outputfiles.h"

namespace Cli {

namespace {

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

QString errorText(int error)
{
    return qt_error_string(error);
}

QByteArray randomHex()
{
    return QByteArray::number(QRandomGenerator::system()->generate64(), 16).rightJustified(16, '0');
}

bool isId(const QByteArray &text)
{
    if (text.size() != 16)
        return false;
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

QString key(const QString &source)
{
    return QDir::cleanPath(source);
}

} // namespace

Journal::~Journal()
{
    if (fd >= 0)
        ::close(fd); // and with it the lock
}

std::unique_ptr<Journal> Journal::open(
    const QString &path, const volatile std::sig_atomic_t &stop, QString *error)
{
    std::unique_ptr<Journal> journal(new Journal);
    journal->path = path;
    const QString name = QStringLiteral("the journal \"%1\"").arg(path);
    journal->fd = ::open(native(path).constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    struct stat info;
    if (journal->fd < 0 || ::fstat(journal->fd, &info) != 0) {
        *error = QStringLiteral("%1 cannot be opened: %2").arg(name, errorText(errno));
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        *error = QStringLiteral("%1 is not a file").arg(name);
        return nullptr;
    }

    // Engines may start a shard again while its first run is still ending
    // (a pod being replaced, a requeued task): the second one waits.
    bool told = false;
    while (::flock(journal->fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            *error = QStringLiteral("%1 cannot be locked: %2").arg(name, errorText(errno));
            return nullptr;
        }
        if (stop) {
            *error = QStringLiteral("stopped while waiting for %1").arg(name);
            return nullptr;
        }
        if (!told) {
            const QByteArray text
                = QStringLiteral("tarvelo-cli: waiting for the other run that holds %1\n")
                      .arg(name)
                      .toLocal8Bit();
            std::fputs(text.constData(), stderr);
            told = true;
        }
        ::usleep(200000);
    }

    QByteArray all;
    char chunk[65536];
    for (off_t offset = 0;;) {
        const ssize_t count = ::pread(journal->fd, chunk, sizeof chunk, offset);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            *error = QStringLiteral("%1 cannot be read: %2").arg(name, errorText(errno));
            return nullptr;
        }
        if (count == 0)
            break;
        all.append(chunk, int(count));
        offset += count;
    }

    // A new journal, or one whose first line a kill cut short, gets a
    // fresh first line.
    if (!all.contains('\n') && QByteArray("journal\t").startsWith(all.left(8))) {
        journal->id = randomHex();
        if (::ftruncate(journal->fd, 0) != 0
            || !journal->append("journal", { QString::fromLatin1(journal->id) }, error))
            return nullptr;
        return journal;
    }

    QList<QByteArray> lines = all.split('\n');
    // After the last newline: nothing, or a line a kill (or a power cut)
    // cut short, which announced a step that was never taken.
    const bool cutShort = !lines.takeLast().isEmpty();
    const Records::Record first = Records::parse(lines.value(0));
    const QByteArray id = first.fields.value(0).toLatin1();
    if (first.fields.size() != 1 || first.kind != "journal" || !isId(id)) {
        *error = QStringLiteral("%1 is not a tarvelo-cli journal").arg(name);
        return nullptr;
    }
    journal->id = id;
    for (const QByteArray &line : lines) {
        const Records::Record record = Records::parse(line);
        const QStringList &fields = record.fields;
        const QString source = key(fields.value(0));
        if (record.kind == "ok" && fields.size() == 2) {
            journal->stamped.insert(source, fields[1]);
            journal->pending.remove(source);
        } else if (record.kind == "failed") {
            journal->pending.remove(source);
        } else if (record.kind == "pending" && fields.size() == 3
            && !journal->stamped.contains(source)) {
            Pending &entry = journal->pending[source];
            if (entry.temporary != fields[1])
                entry = Pending { fields[1], {} };
            entry.tried << fields[2];
        }
    }
    // The cut line goes: it was never flushed, so no step followed it.
    if (cutShort && ::ftruncate(journal->fd, all.lastIndexOf('\n') + 1) != 0) {
        *error = QStringLiteral("%1 cannot be written: %2").arg(name, errorText(errno));
        return nullptr;
    }
    return journal;
}

bool Journal::append(const QByteArray &kind, const QStringList &fields, QString *error)
{
    // One write() per line: with O_APPEND a line is never split by another.
    if (OutputFiles::writeAll(fd, Records::line(kind, fields)) && ::fdatasync(fd) == 0)
        return true;
    *error = QStringLiteral("the journal \"%1\" cannot be written: %2").arg(path, errorText(errno));
    return false;
}

bool Journal::recover(const QString &folder, QString *error)
{
    const auto entries = pending;
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        const QString &source = it.key();
        const Pending &entry = it.value();
        struct stat made;
        if (::lstat(native(entry.temporary).constData(), &made) != 0 || !S_ISREG(made.st_mode))
            continue; // never published: stamped again
        QString output;
        for (const QString &name : entry.tried) {
            if (output.isEmpty() && OutputFiles::sameFile(name, made))
                output = name;
        }
        if (!output.isEmpty()) {
            OutputFiles::syncFolder(QFileInfo(output).path());
            if (!append("ok", { source, output }, error))
                return false;
            stamped.insert(source, output);
            ::unlink(native(entry.temporary).constData());
            continue;
        }
        const QFileInfo last(entry.tried.last());
        const OutputFiles::WriteResult written = link(
            source, entry.temporary, last.path(), last.completeBaseName(), last.suffix(), error);
        if (!error->isEmpty())
            return false;
        if (!written.ok && !recordFailure(source, written.errorText, error))
            return false;
    }
    pending.clear();

    // What is left of this journal's temporaries was cut short before any
    // line named it; outputs kept in subfolders have theirs there (the walk
    // never follows a link out of the folder).
    const QString prefix = QStringLiteral(".tarvelo-%1-").arg(QString::fromLatin1(id));
    QDirIterator left(folder, { prefix + QStringLiteral("*.part") },
        QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (left.hasNext())
        ::unlink(native(left.next()).constData());
    return true;
}

QString Journal::stampedOutput(const QString &source) const
{
    return stamped.value(key(source));
}

bool Journal::recordFailure(const QString &source, const QString &reason, QString *error)
{
    return append("failed", { source, reason }, error);
}

OutputFiles::WriteResult Journal::publish(const QString &source, const QByteArray &bytes,
    const QString &folder, const QString &baseName, const QString &suffix, QString *journalError)
{
    OutputFiles::WriteResult result;
    result.path = OutputFiles::outputPath(folder, baseName, suffix);
    const QString temporary = folder
        + QStringLiteral("/.tarvelo-%1-%2.part")
              .arg(QString::fromLatin1(id), QString::fromLatin1(randomHex()));
    result.errorText = OutputFiles::writeTemporary(temporary, bytes);
    if (!result.errorText.isEmpty())
        return result;
    return link(source, temporary, folder, baseName, suffix, journalError);
}

OutputFiles::WriteResult Journal::link(const QString &source, const QString &temporary,
    const QString &folder, const QString &namePart, const QString &suffix, QString *journalError)
{
    OutputFiles::WriteResult result = OutputFiles::linkNew(
        temporary, folder, namePart, suffix, [&](const QString &path, QString &error) {
            if (append("pending", { source, temporary, path }, journalError))
                return true;
            error = *journalError;
            return false;
        });
    if (!result.ok)
        return result;
    // Without its "ok" line the temporary stays: the next run finds it
    // published under the name tried and writes the line then.
    if (!append("ok", { source, result.path }, journalError))
        return result;
    stamped.insert(key(source), result.path);
    ::unlink(native(temporary).constData());
    return result;
}

} // namespace Cli
