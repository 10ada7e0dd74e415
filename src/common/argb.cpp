// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/argb.h"

#include <QPainter>

namespace Argb {

namespace {

// `read` with a colour table long enough for every index its pixels can
// hold.
QImage withFullColourTable(const QImage &read)
{
    const int needed = read.depth() == 1 ? 2 : read.depth() == 8 ? 256 : 0;
    if (read.format() != QImage::Format_Indexed8 && read.format() != QImage::Format_Mono
        && read.format() != QImage::Format_MonoLSB)
        return read;
    QVector<QRgb> colours = read.colorTable();
    if (colours.size() >= needed)
        return read;
    for (int index = colours.size(); index < needed; ++index) {
        const int grey = index * 255 / (needed - 1);
        colours.append(qRgb(grey, grey, grey));
    }
    QImage complete = read; // shares the pixels; only the table differs
    complete.setColorTable(colours);
    return complete;
}

} // namespace

bool ready(const QImage &image)
{
    return image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32;
}

void paint(const QImage &read, QImage &target)
{
    target.fill(Qt::transparent);
    QPainter painter(&target);
    painter.drawImage(0, 0, withFullColourTable(read));
    painter.end();
}

} // namespace Argb
