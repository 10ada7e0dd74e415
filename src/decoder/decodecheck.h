// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QStringList>

// Telling a damaged picture from a sound one. Decoders report missing or
// corrupt data in different ways: libjpeg warns (through Qt's message
// handler) and fills in grey, libtiff calls its error handler and may carry
// on, libpng stops with a message of its own on the console, and Qt's BMP
// reader says nothing at all and leaves the rows it could not read as they
// were. So some damage is seen by listening while the decoder runs, some only
// by looking at the file's structure first.
namespace DecodeCheck {

// Collects, while it exists, what decoders on this thread report through
// Qt's message handler and libtiff's handlers, so that none of it reaches
// the console. Other threads are not affected.
class Listener
{
public:
    Listener();
    ~Listener();
    Listener(const Listener &) = delete;
    Listener &operator=(const Listener &) = delete;

    // What the decoder of `format` (as QImageReader names it) said that
    // means damage; empty when it said nothing of the kind.
    QString damage(const QByteArray &format) const;
    QStringList messages; // Qt's messages (libjpeg's warnings and errors)
    QStringList tiffErrors;

private:
    Listener *outer;
};

// Damage that shows in the structure of a file of `format` (as QImageReader
// names it), read from `fd` without moving its position: a BMP whose pixel
// data ends early or whose runs leave the picture or lack their end, a PNG
// chunk that is cut or fails its checksum, or a PNG without an end, a GIF
// without its trailer or a frame without all its pixels, a Sun raster
// shorter than it declares, an XBM or XPM without all its declared rows or
// with colours its table lacks, a HEIF or AVIF cut short. Empty when none
// is seen.
QString structuralDamage(int fd, const QByteArray &format);

// Damage that shows only once decoded: a HEIF or AVIF picture of another
// size than its container declares for the image it shows (its "ispe",
// cropped by its clean aperture and turned as it says), whichever reader
// decoded it, or one whose container does not declare it.
QString sizeDamage(int fd, const QByteArray &format, const QSize &decoded);

// Why a sound file of `format` open at `fd` is one its reader does not
// read, when that can be told from its header (a Sun raster's run-length
// coding, a BMP holding a JPEG or PNG); empty otherwise.
QString unreadVariant(int fd, const QByteArray &format);

} // namespace DecodeCheck
