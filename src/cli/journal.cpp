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

#include "cli/clirun.h"

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

bool writeAll(int fd, const QByteArray &bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t count = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            if (count == 0)
                errno = EIO;
            return false;
        }
        done += count;
    }
    return true;
}

QByteArray randomHex()
{
    return QByteArray::number(QRandomGenerator::system()->generate64(), 16).rightJustified(16, '0');
}

// True when `path` is the very file `made` describes (a hard link to it).
bool sameFile(const QString &path, const struct stat &made)
{
    struct stat info;
    return ::lstat(native(path).constData(), &info) == 0 && info.st_dev == made.st_dev
        && info.st_ino == made.st_ino;
}

// A new name is only durable once its folder is: after a power cut the
// journal must not name a file the folder lost.
void syncFolder(const QString &folder)
{
    const int fd = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
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
            || !journal->append(
                { QStringLiteral("journal"), QString::fromLatin1(journal->id) }, error))
            return nullptr;
        return journal;
    }

    QList<QByteArray> lines = all.split('\n');
    // After the last newline: nothing, or a line a kill (or a power cut)
    // cut short, which announced a step that was never taken.
    const bool cutShort = !lines.takeLast().isEmpty();
    const QList<QByteArray> first = lines.value(0).split('\t');
    const QByteArray id = first.value(1);
    if (first.size() != 2 || first[0] != "journal" || !isId(id)) {
        *error = QStringLiteral("%1 is not a tarvelo-cli journal").arg(name);
        return nullptr;
    }
    journal->id = id;
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.split('\t');
        const QString source = key(unfield(fields.value(1)));
        if (fields[0] == "ok" && fields.size() == 3) {
            journal->stamped.insert(source, unfield(fields[2]));
            journal->pending.remove(source);
        } else if (fields[0] == "failed") {
            journal->pending.remove(source);
        } else if (fields[0] == "pending" && fields.size() == 4
            && !journal->stamped.contains(source)) {
            Pending &entry = journal->pending[source];
            const QString temporary = unfield(fields[2]);
            if (entry.temporary != temporary)
                entry = Pending { temporary, {} };
            entry.tried << unfield(fields[3]);
        }
    }
    // The cut line goes: it was never flushed, so no step followed it.
    if (cutShort && ::ftruncate(journal->fd, all.lastIndexOf('\n') + 1) != 0) {
        *error = QStringLiteral("%1 cannot be written: %2").arg(name, errorText(errno));
        return nullptr;
    }
    return journal;
}

bool Journal::append(const QStringList &fields, QString *error)
{
    QByteArray line;
    for (const QString &text : fields)
        line += (line.isEmpty() ? QByteArray() : QByteArray("\t")) + field(text);
    line += '\n';
    // One write() per line: with O_APPEND a line is never split by another.
    if (writeAll(fd, line) && ::fdatasync(fd) == 0)
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
            if (output.isEmpty() && sameFile(name, made))
                output = name;
        }
        if (!output.isEmpty()) {
            syncFolder(QFileInfo(output).path());
            if (!append({ QStringLiteral("ok"), source, output }, error))
                return false;
            stamped.insert(source, output);
            ::unlink(native(entry.temporary).constData());
            continue;
        }
        const QFileInfo last(entry.tried.last());
        const PictureIO::WriteResult written = link(
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
    return append({ QStringLiteral("failed"), source, reason }, error);
}

PictureIO::WriteResult Journal::publish(const QString &source, const QByteArray &bytes,
    const QString &folder, const QString &baseName, const QString &suffix, QString *journalError)
{
    PictureIO::WriteResult result;
    result.path = PictureIO::outputPath(folder, baseName, suffix);
    const QString temporary = folder
        + QStringLiteral("/.tarvelo-%1-%2.part")
              .arg(QString::fromLatin1(id), QString::fromLatin1(randomHex()));
    const QByteArray name = native(temporary);
    const int out
        = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (out < 0) {
        result.errorText = errorText(errno);
        return result;
    }
    bool written = writeAll(out, bytes) && ::fsync(out) == 0;
    int error = errno;
    if (::close(out) != 0 && written) {
        written = false;
        error = errno;
    }
    if (!written) {
        ::unlink(name.constData());
        result.errorText = errorText(error);
        return result;
    }
    return link(source, temporary, folder, baseName, suffix, journalError);
}

PictureIO::WriteResult Journal::link(const QString &source, const QString &temporary,
    const QString &folder, QString namePart, const QString &suffix, QString *journalError)
{
    PictureIO::WriteResult result;
    const QByteArray made = native(temporary);
    struct stat madeInfo;
    if (::lstat(made.constData(), &madeInfo) != 0) {
        result.errorText = errorText(errno);
        return result;
    }
    for (;;) {
        result.path = PictureIO::outputPath(folder, namePart, suffix);
        const QByteArray target = native(result.path);
        // An EEXIST may also come from an NFS server that did the link and
        // lost the reply: the name is then this very file.
        bool published = false;
        if (!PictureIO::nameTaken(result.path)) {
            if (!append(
                    { QStringLiteral("pending"), source, temporary, result.path }, journalError)) {
                ::unlink(made.constData());
                result.errorText = *journalError;
                return result;
            }
            published = ::link(made.constData(), target.constData()) == 0;
            if (!published && errno != EEXIST) {
                const int error = errno;
                ::unlink(made.constData());
                result.errorText = error == EPERM || error == EOPNOTSUPP
                    ? QStringLiteral("the output folder takes no hard links, which --journal needs")
                    : errorText(error);
                return result;
            }
        }
        if (published || sameFile(result.path, madeInfo))
            break;
        result.renamed = true;
        namePart += PictureIO::collisionTag();
    }
    syncFolder(folder);
    result.ok = true;
    // Without its "ok" line the temporary stays: the next run finds it
    // published under the name tried and writes the line then.
    if (!append({ QStringLiteral("ok"), source, result.path }, journalError))
        return result;
    stamped.insert(key(source), result.path);
    ::unlink(made.constData());
    return result;
}

} // namespace Cli
