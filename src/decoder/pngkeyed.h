// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// 16-bit grey and RGB PNG pictures with a transparent colour (a tRNS chunk):
// Qt 5.15's PNG reader says they have an alpha channel but hands over their
// samples without one, so their pixels come out shifted and the transparent
// colour opaque. They are read here with libpng, whose key comparison is
// exact on the 16-bit samples.
namespace PngKeyed {

// Whether the PNG file open at `fd` is one of them.
bool applies(int fd);

// Decodes the file open at `fd` into `image`, Format_RGBA64 memory of the
// file's size (which may hold anything: every pixel is written). Returns why
// it failed (the file is damaged); empty on success.
QString decode(int fd, QImage &image);

} // namespace PngKeyed
