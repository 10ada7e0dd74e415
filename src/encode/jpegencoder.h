// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// JPEG output through libjpeg-turbo, which unlike Qt's writer lets the
// chroma subsampling be chosen: at quality 90 or more every pixel keeps its
// own colour (4:4:4), so coloured text keeps clean edges; below that colour
// is stored at half resolution (4:2:0), as other photo tools do.
namespace JpegEncoder {

// Encodes `image` at `quality` (0..100; below 0 means 75, Qt's default).
// Pixels that are not fully opaque are laid onto white first. The JFIF
// header states `xPerMetre` x `yPerMetre` pixels per metre, or no resolution
// when either is 0. Returns an empty array and sets `error` on failure.
QByteArray encode(
    const QImage &image, int quality, double xPerMetre, double yPerMetre, QString *error);

} // namespace JpegEncoder
