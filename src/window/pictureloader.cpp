// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/pictureloader.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include "batch/logofile.h"

PictureLoader::PictureLoader(QObject *parent)
    : QObject(parent)
{
    // One read at a time: a newer request waits for the one under way,
    // whose result is then dropped, instead of piling up decoders.
    pool.setMaxThreadCount(1);
}

// A read under way is left to end in the pool, which waits for it; its
// result goes nowhere.
PictureLoader::~PictureLoader()
{
    *newest = 0;
}

void PictureLoader::load(const QString &path, bool convert, Done done, bool fields)
{
    start(
        [path, convert, fields, limits = limits, buffers = buffers] {
            Loaded loaded;
            loaded.read
                = PictureIO::readImage(path, limits, buffers, std::nullopt, QSize(), true, fields);
            if (convert) {
                if (loaded.read.status == PictureIO::ReadStatus::Ok)
                    loaded.converted = PictureIO::toArgb32(loaded.read.image);
                // Converted: its memory goes back before composing.
                loaded.read.image = QImage();
            }
            return loaded;
        },
        std::move(done));
}

void PictureLoader::loadLogo(const QString &path, Done done)
{
    start(
        [path, limits = limits] {
            LogoFile::Loaded read = LogoFile::load(path, limits);
            Loaded loaded;
            loaded.read = std::move(read.read);
            loaded.logo = std::move(read.logo);
            return loaded;
        },
        std::move(done));
}

void PictureLoader::start(std::function<Loaded()> work, Done done)
{
    const quint64 ticket = ++generation;
    *newest = ticket;
    awaited = ticket;
    auto *watcher = new QFutureWatcher<Loaded>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, ticket, done] {
        watcher->deleteLater();
        if (ticket != generation || watcher->isCanceled())
            return;
        awaited = 0;
        Loaded loaded = watcher->result();
        done(loaded);
        if (!busy())
            emit settled();
    });
    watcher->setFuture(QtConcurrent::run(&pool, [work, ticket, newest = newest] {
        // Asked for something newer while this waited: no read at all.
        if (*newest != ticket)
            return Loaded();
        return work();
    }));
}

void PictureLoader::cancel()
{
    *newest = ++generation;
    const bool wasBusy = busy();
    awaited = 0;
    if (wasBusy)
        emit settled();
}
