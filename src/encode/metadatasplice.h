// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>

#include "common/metadatapieces.h"

// The metadata the decoder process wrote for an output (common/
// metadatapieces.h), put into the file the program encoded: nothing of it
// is parsed here, its pieces only go where their format puts them.
namespace Metadata {

// Puts `source`'s pieces into `encoded`, a picture just encoded as JPEG, PNG,
// TIFF or WebP of size `size` (the JPEG, PNG and TIFF encoders embed the
// profile and resolution themselves; a WebP's profile goes in here). Returns why
// that failed, leaving `encoded` as it was: the pieces were made for
// another format or size, or the file is not what its encoder makes; empty
// on success or when there was nothing to carry.
QString carryOver(QByteArray &encoded, const Source &source, QSize size);

} // namespace Metadata
