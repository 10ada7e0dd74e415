// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>

#include "decoder/decoded.h"

// Drawings (SVG, and SVGZ, its gzip-packed form) as the decoder process
// renders them for a logo: read whole from the descriptor it was given,
// unpacked here within a fixed bound, checked, and drawn by QtSvg at exactly
// the size asked for. A drawing that is malformed, that defines entities
// that grow beyond a few kilobytes, or that refers to anything outside
// itself (a file, a web address, a style sheet) is refused with the reason,
// before QtSvg sees it: nothing it names is ever looked for. So is text,
// which needs fonts that a decoder cannot open: lettering in a logo is
// drawn as outlines.
namespace Drawing {

// Why the SVG text `svg` is not drawn; empty when it may be.
QString problem(const QByteArray &svg);

// `bytes` as the drawing's text: unpacked when it is gzip data, refused
// (with the reason in `why`) when that is damaged or unpacks to more than
// PictureFormats::MaxDrawingBytes.
QByteArray unpacked(const QByteArray &bytes, QString *why);

// The drawing in the file open at `fd`, rendered at `size` (its own size
// fitted to PictureFormats::DrawingLookSide when that is empty) on a
// transparent picture; its own size in
// Decoded::drawing. A size beyond the budget or the pixel cap is too large.
// (Small as logos are, it is drawn on memory of its own, and goes over to
// the program's as any picture of another format does.)
Decoded render(int fd, QSize size, qint64 budgetBytes, qint64 maxPixels);

} // namespace Drawing
