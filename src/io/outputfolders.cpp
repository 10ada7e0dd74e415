// SPDX-License-Identifier: GPL-3.0-or-later
#include "io/outputfolders.h"

#include <QFile>
#include <QSet>
#include <QStringList>

#include <cerrno>
#include <sys/stat.h>

#include "io/pictureio.h"

namespace OutputFolders {

QString make(const QString &output, const QString &relative, QString *error)
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
    for (const QString &relative : relatives) {
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
        const QString reason = PictureIO::unwritableReason(*folder);
        if (!reason.isEmpty())
            return reason;
    }
    folder->clear();
    return QString();
}

} // namespace OutputFolders
