// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <vector>

#include "common/metadatapieces.h"

// Puts a source's TIFF metadata into a TIFF this program encoded, without
// reading any of it: the decoder process hands the metadata over ready to
// place, and all that is checked here is that it stays inside its bounds.
namespace TiffSplice {

// A first-directory tag, as it is stored (common/metadatapieces.h).
using Entry = Metadata::TiffEntry;

// `tiff`: a little-endian single-picture TIFF as Encoding writes it.
// `prefix` goes first in the file, so offsets inside it count from the
// file's start (its first 8 bytes are replaced by the file's header);
// `exifIfd` and `gpsIfd` say where the EXIF and GPS directories start in it
// (0: none). `entries` are more first-directory tags; the encoder's own tags
// win over them. Returns why it failed, `tiff` then unchanged, or an empty
// string.
QString splice(QByteArray &tiff, const QByteArray &prefix, quint32 exifIfd, quint32 gpsIfd,
    const std::vector<Entry> &entries);

} // namespace TiffSplice
