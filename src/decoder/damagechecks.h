// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>

// The damage checks of the formats whose decoders do not tell damage
// themselves, one file for each (damage_<format>.cpp); decoder/
// decodecheck.cpp holds the table that picks them by reader. Each reads the
// file open at `fd`, `fileSize` bytes long, without moving its position,
// and says what is wrong with it; empty when it sees nothing wrong.
namespace DamageChecks {

// In the file's structure, before anything is decoded.
QString bmp(int fd, qint64 fileSize);
QString png(int fd, qint64 fileSize);
QString gif(int fd, qint64 fileSize);
QString sunRaster(int fd, qint64 fileSize);
QString xbm(int fd, qint64 fileSize);
QString xpm(int fd, qint64 fileSize);
// A HEIF or AVIF file whose top-level boxes do not fit it (cut short).
QString heifBoxes(int fd, qint64 fileSize);

// Once decoded: a HEIF or AVIF picture of another size than its container
// declares for the image it shows (its "ispe", cropped by its clean
// aperture and turned as it says), whichever reader decoded it, or one
// whose container does not declare it; an AV1 image whose coded frame is
// of another size than declared (libavif stretches it to that size).
QString heifSize(int fd, qint64 fileSize, const QSize &decoded);

// Why a sound file is one its reader does not read, told from `head`, its
// first bytes: a BMP holding a JPEG or PNG, a Sun raster of runs.
QString bmpVariant(const QByteArray &head);
QString sunRasterVariant(const QByteArray &head);

} // namespace DamageChecks
