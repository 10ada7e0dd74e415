// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// WebP output through libwebp, the format web publishers export: lossy at
// the quality asked for, lossless at 100. The source's colour profile, EXIF
// and XMP go into the file afterwards as WebP's own ICCP, EXIF and XMP
// chunks (encode/metadatasplice.h), put together by libwebp's mux, which
// also writes the extended header that announces them and any transparency.
namespace WebpEncoder {

// The largest width and height a WebP file can hold.
constexpr int MaxSide = 16383;

// Encodes `image` at `quality` (1 to 99: lossy; 100: lossless, every pixel
// kept exactly; below 0 means 75). An image without translucent pixels is
// written without an alpha channel. Returns an empty array and sets `error`
// on failure.
QByteArray encode(const QImage &image, int quality, QString *error);

} // namespace WebpEncoder
