// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch/picturepaths.h"

#include "common/pictureformats.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace PicturePaths {

const QStringList &suffixes()
{
    // Today's phone and camera formats follow where a reader is installed.
    static const QStringList taken = QStringList { "bmp", "dib", "jpeg", "jpg", "jp2", "j2k", "png",
        "webp", "pgm", "pbm", "ppm", "sr", "ras", "tiff", "tif" }
        + PictureFormats::photoSuffixes();
    return taken;
}

bool listable(const QString &path)
{
    return suffixes().contains(QFileInfo(path).suffix().trimmed(), Qt::CaseInsensitive);
}

bool naturalLess(const QString &a, const QString &b)
{
    // One fixed locale, so that every machine of a shared run orders alike.
    static const QCollator collator = [] {
        QCollator made { QLocale(QLocale::English, QLocale::UnitedStates) };
        made.setNumericMode(true);
        made.setCaseSensitivity(Qt::CaseInsensitive);
        return made;
    }();
    const int order = collator.compare(a, b);
    return order != 0 ? order < 0 : a < b;
}

bool walk(const QString &folder, const std::function<bool(const QString &)> &found)
{
    static const QStringList filters = [] {
        QStringList patterns;
        for (const QString &suffix : suffixes())
            patterns << QStringLiteral("*.") + suffix;
        return patterns;
    }();
    const QDir dir(folder);
    QStringList files = dir.entryList(filters, QDir::Files);
    QStringList folders = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    std::sort(files.begin(), files.end(), naturalLess);
    std::sort(folders.begin(), folders.end(), naturalLess);
    for (const QString &file : files) {
        if (!found(dir.filePath(file)))
            return false;
    }
    for (const QString &sub : folders) {
        if (!walk(dir.filePath(sub), found))
            return false;
    }
    return true;
}

} // namespace PicturePaths
