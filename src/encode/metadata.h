#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>

#include <memory>

// What a stamped copy keeps of its source besides the pixels: the EXIF, IPTC
// and XMP records, the colour profile and the resolution tag.
//
// The source's metadata is read by the decoder process and handed over once,
// into a value that any thread may copy and hand to the encoder; nothing
// here keeps state between calls.
namespace Metadata {

// Pixels per metre as the source states them; 0 when it states none.
struct Resolution
{
    double xPerMetre = 0;
    double yPerMetre = 0;
    bool known() const { return xPerMetre > 0 && yPerMetre > 0; }
};

struct Records; // EXIF, IPTC and XMP as the source held them

struct Source
{
    std::shared_ptr<const Records> records; // null when the source had none
    QByteArray iccProfile; // an RGB profile; empty when the source had none
    Resolution resolution;
    QByteArray comment; // the JPEG comment (COM segment), as its bytes
    // Why some or all of it could not be read; empty when it all could. The
    // records hold what could.
    QString problem;
};

// Readies Exiv2 for use from several threads; unpack() and carryOver() do it
// themselves.
void prepare();

// The Source that the decoder process packed (decoder/metadatareader.h);
// the records are rebuilt from what Exiv2 wrote there, not from the file.
// A packing that makes no sense gives a Source with a problem.
Source unpack(const QByteArray &packed);

// `source` without where it was taken: the GPS tags of its EXIF and the
// exif:GPS properties of its XMP. Everything else stays.
Source withoutLocation(const Source &source);

// The comment as text: UTF-8 when its bytes are, otherwise Latin-1 (what
// older writers put there).
QString commentText(const QByteArray &comment);

// Puts `source`'s records and colour profile into `encoded`, a picture just
// encoded as JPEG, PNG or TIFF of size `size` (the PNG and TIFF encoders
// embed the profile themselves, and the PNG encoder the comment). The JPEG
// comment goes into a JPEG as such, into a TIFF as its image description
// when the source has none. Orientation becomes 1, the pixel dimensions
// become `size`, thumbnails and previews are left out. Returns why that
// failed, leaving `encoded` as it was; empty on success or when there was
// nothing to carry.
QString carryOver(QByteArray &encoded, const Source &source, QSize size);

} // namespace Metadata
