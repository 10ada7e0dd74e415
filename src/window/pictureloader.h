// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <memory>

#include "engine/stampengine.h"
#include "io/pictureio.h"

// Reads pictures for the window on a thread of its own, so that a large or
// hostile file never holds up the window: the decoder may take as long as
// its limits allow. Only the newest request counts: a result that arrives
// after a newer request (or a cancel()) is dropped unseen.
class PictureLoader : public QObject
{
    Q_OBJECT

public:
    struct Loaded
    {
        // The read as PictureIO gives it; without its image when `converted`
        // was asked for, which then holds the picture as the compositor
        // works on it (null when that conversion ran out of memory).
        PictureIO::ReadResult read;
        QImage converted;
        // loadLogo(): the logo, null when it could not be read (`read` says
        // why).
        Stamp::Logo logo;
    };
    using Done = std::function<void(Loaded &)>;

    explicit PictureLoader(QObject *parent = nullptr);
    ~PictureLoader() override;

    // Reads `path` (and converts it, with `convert`) away from the calling
    // thread; `done` gets the result on this object's thread unless a newer
    // request came first. With `fields`, what the picture's metadata says
    // for the text's fields is read as well.
    void load(const QString &path, bool convert, Done done, bool fields = false);
    // The same for a logo file, a picture or a drawing (batch/logofile.h).
    void loadLogo(const QString &path, Done done);
    // Whatever is being read is not wanted any more.
    void cancel();
    // Whether a result is still awaited.
    bool busy() const { return awaited != 0; }
    // The most pixels a picture read from now on may have.
    void setPixelCap(qint64 maxPixels) { limits.maxPixels = maxPixels; }

signals:
    // Nothing is awaited any more: the newest result has been handed over
    // (after its `done` ran), or what was awaited was cancelled.
    void settled();

private:
    void start(std::function<Loaded()> work, Done done);

    // What a picture read here may take (one at a time, kept as the
    // window keeps it), and the memory it is decoded into.
    PictureIO::ReadLimits limits;
    PictureBuffers buffers;
    QThreadPool pool;
    quint64 generation = 0;
    // The generation wanted now, as the reading thread sees it.
    std::shared_ptr<std::atomic<quint64>> newest = std::make_shared<std::atomic<quint64>>(0);
    quint64 awaited = 0; // the generation whose result is awaited, 0 for none
};
