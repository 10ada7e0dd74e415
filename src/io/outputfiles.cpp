// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/outputfiles.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringList>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace OutputFiles {

namespace {

// Puts `bytes` into `file`, which this call's caller has just created, and
// removes the file again unless every byte provably reached it.
// Returns the error text, empty on success.
QString fillCreated(QFile &file, const QByteArray &bytes)
{
    // A short write reports no error of its own; writing the rest again
    // brings out the cause (a full disk, say).
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 count = file.write(bytes.constData() + done, bytes.size() - done);
        if (count <= 0)
            break;
        done += count;
    }
    // Small outputs still sit in the file's buffer here; the file's error
    // state has to be read before close(), which forgets it.
    const bool flushed = file.flush();
    if (!flushed)
        file.flush(); // as with writing, only the second try names the cause
    QString error = file.error() == QFileDevice::NoError ? QString() : file.errorString();
    file.close();
    if (error.isEmpty() && file.error() != QFileDevice::NoError)
        error = file.errorString();
    if (done == bytes.size() && flushed && error.isEmpty())
        return QString();
    file.remove();
    return error.isEmpty() ? QStringLiteral("Unknown error") : error;
}

enum class Claim {
    Done, // the file has the name
    Taken, // the name is taken: the next collision tag
    Failed, // nothing more to try
};

// Tries `attempt` on folder/baseName.suffix and, while it finds the name
// taken, on the name with one more collision tag from `nextTag` (the clock
// by default) each time. Names only grow, so this ends at the latest when
// the name gets too long.
WriteResult claimName(const QString &folder, const QString &baseName, const QString &suffix,
    const TagSource &nextTag, const std::function<Claim(const QString &, QString &)> &attempt)
{
    WriteResult result;
    QString namePart = baseName;
    for (;;) {
        result.path = outputPath(folder, namePart, suffix);
        switch (attempt(result.path, result.errorText)) {
        case Claim::Done:
            result.ok = true;
            return result;
        case Claim::Failed:
            return result;
        case Claim::Taken:
            break;
        }
        result.renamed = true;
        namePart += nextTag ? nextTag() : collisionTag();
    }
}

} // namespace

QString unwritableReason(const QString &folder)
{
    QByteArray probe = QFile::encodeName(folder);
    if (::access(probe.constData(), W_OK | X_OK) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    // access() lets root through wherever the permissions say no, and a
    // file system may refuse what the permissions allow: only creating a
    // file tells for certain. The name is new (mkstemp creates exclusively),
    // so nothing of the user's is ever touched.
    probe += "/.tarvelo-probe-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    ::close(fd);
    ::unlink(probe.constData());
    return QString();
}

QString collisionTag(const QDateTime &when)
{
    return QLatin1Char('_') + when.toString(QStringLiteral("yyyyMMddhhmmsszzz"));
}

QString collisionTag()
{
    return collisionTag(QDateTime::currentDateTime());
}

QString outputPath(const QString &folder, const QString &namePart, const QString &suffix)
{
    return folder + QLatin1Char('/') + namePart + QLatin1Char('.') + suffix;
}

bool nameTaken(const QString &path)
{
    // lstat, not stat: a dangling symbolic link does not "exist" for
    // QFile::exists, yet writing through it would create its target
    // somewhere else entirely.
    const QByteArray native = QFile::encodeName(path);
    struct stat info;
    return !native.isEmpty() && ::lstat(native.constData(), &info) == 0;
}

// What reaches the file is one plain stream of bytes whose every write is
// checked. (Image handlers do not report everything: the TIFF handler seeks
// while it writes, and a seek clears a failed write's error from the file.)
WriteResult createNew(const QByteArray &bytes, const QString &folder, const QString &baseName,
    const QString &suffix, const TagSource &nextTag)
{
    return claimName(folder, baseName, suffix, nextTag, [&](const QString &path, QString &error) {
        if (QFileInfo::exists(path))
            return Claim::Taken;
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            error = fillCreated(file, bytes);
            return error.isEmpty() ? Claim::Done : Claim::Failed;
        }
        // The name was taken after all: by a dangling symbolic link, which
        // the test above does not see, or by a file that appeared since.
        // Anything else (no such folder, no permission, a name too long) is
        // final.
        if (nameTaken(path))
            return Claim::Taken;
        error = file.errorString();
        return Claim::Failed;
    });
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

QString writeTemporary(const QString &path, const QByteArray &bytes)
{
    const QByteArray name = QFile::encodeName(path);
    const int out
        = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (out < 0)
        return qt_error_string(errno);
    bool written = writeAll(out, bytes) && ::fsync(out) == 0;
    int error = errno;
    if (::close(out) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written)
        return QString();
    ::unlink(name.constData());
    return qt_error_string(error);
}

WriteResult linkNew(const QString &temporary, const QString &folder, const QString &namePart,
    const QString &suffix, const std::function<bool(const QString &, QString &)> &announce)
{
    const QByteArray made = QFile::encodeName(temporary);
    struct stat madeInfo;
    if (::lstat(made.constData(), &madeInfo) != 0) {
        WriteResult result;
        result.path = outputPath(folder, namePart, suffix);
        result.errorText = qt_error_string(errno);
        return result;
    }
    WriteResult result = claimName(
        folder, namePart, suffix, TagSource(), [&](const QString &path, QString &error) {
            // An EEXIST may also come from an NFS server that did the link
            // and lost the reply: the name is then this very file.
            bool published = false;
            if (!nameTaken(path)) {
                if (!announce(path, error)) {
                    ::unlink(made.constData());
                    return Claim::Failed;
                }
                published = ::link(made.constData(), QFile::encodeName(path).constData()) == 0;
                if (!published && errno != EEXIST) {
                    const int code = errno;
                    ::unlink(made.constData());
                    error = code == EPERM || code == EOPNOTSUPP ? QStringLiteral(
                                "the output folder takes no hard links, which --journal needs")
                                                                : qt_error_string(code);
                    return Claim::Failed;
                }
            }
            return published || sameFile(path, madeInfo) ? Claim::Done : Claim::Taken;
        });
    if (result.ok)
        syncFolder(folder);
    return result;
}

bool sameFile(const QString &path, const struct stat &made)
{
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && info.st_dev == made.st_dev
        && info.st_ino == made.st_ino;
}

void syncFolder(const QString &folder)
{
    const int fd
        = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

QString makeFolder(const QString &output, const QString &relative, QString *error)
{
    error->clear();
    QString folder = output;
    if (relative.isEmpty())
        return folder;
    for (const QString &step : relative.split(QLatin1Char('/'))) {
        if (step.isEmpty() || step == QLatin1String(".") || step == QLatin1String("..")) {
            *error = QStringLiteral("\"%1\" is no folder inside the output folder").arg(relative);
            return QString();
        }
        folder += QLatin1Char('/') + step;
        const QByteArray native = QFile::encodeName(folder);
        // Made by whoever comes first: another run may make it meanwhile.
        if (::mkdir(native.constData(), 0777) != 0 && errno != EEXIST) {
            *error = QStringLiteral("the folder \"%1\" cannot be made: %2")
                         .arg(folder, qt_error_string(errno));
            return QString();
        }
        struct stat info;
        if (::lstat(native.constData(), &info) != 0) {
            *error = QStringLiteral("the folder \"%1\" cannot be made: %2")
                         .arg(folder, qt_error_string(errno));
            return QString();
        }
        if (S_ISLNK(info.st_mode)) {
            *error = QStringLiteral("\"%1\" is a symbolic link, which could lead outside the "
                                    "output folder")
                         .arg(folder);
            return QString();
        }
        if (!S_ISDIR(info.st_mode)) {
            *error = QStringLiteral("\"%1\" is there already and is not a folder").arg(folder);
            return QString();
        }
    }
    return folder;
}

QString unwritableReason(const QString &output, const QStringList &relatives, QString *folder)
{
    QSet<QString> tried { QString() }; // the output folder itself
    // Many pictures share a folder: each is looked at once.
    QStringList distinct = relatives;
    distinct.removeDuplicates();
    for (const QString &relative : qAsConst(distinct)) {
        QString there = relative;
        bool inTheWay = false;
        for (; !there.isEmpty(); there = there.section(QLatin1Char('/'), 0, -2)) {
            struct stat info;
            if (::lstat(QFile::encodeName(output + QLatin1Char('/') + there).constData(), &info)
                != 0)
                continue;
            inTheWay = !S_ISDIR(info.st_mode);
            break;
        }
        if (inTheWay || tried.contains(there))
            continue;
        tried.insert(there);
        *folder = output + QLatin1Char('/') + there;
        const QString reason = unwritableReason(*folder);
        if (!reason.isEmpty())
            return reason;
    }
    folder->clear();
    return QString();
}

} // namespace OutputFiles
