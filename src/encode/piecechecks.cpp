// SPDX-License-Identifier: GPL-3.0-or-later
#include "encode/piecechecks.h"

#include <QStringList>

#include <algorithm>

#include "common/iccprofile.h"

namespace PieceChecks {

namespace {

// Keeps the pieces whose verdict finds no fault; says of each piece left
// out, once, why.
template <typename Piece>
void keepSound(std::vector<Piece> &pieces, const std::vector<Verdict> &verdicts, QStringList &lost)
{
    std::vector<Piece> kept;
    for (size_t k = 0; k < pieces.size(); ++k) {
        const Verdict &verdict = verdicts[k];
        if (verdict.fault.isEmpty()) {
            kept.push_back(pieces[k]);
            continue;
        }
        const QString line = verdict.piece + QStringLiteral(" was left out: ") + verdict.fault;
        if (!lost.contains(line))
            lost << line;
    }
    pieces = kept;
}

} // namespace

std::vector<Verdict> webpChunks(const std::vector<Metadata::Chunk> &chunks)
{
    std::vector<Verdict> verdicts;
    bool exif = false, xmp = false;
    const QString second = QStringLiteral("a WebP holds one, this was a second");
    for (const Metadata::Chunk &chunk : chunks) {
        if (chunk.type == "EXIF") {
            verdicts.push_back(
                { QStringLiteral("its EXIF"), exif ? second : exifFault(chunk.data) });
            exif = true;
        } else if (chunk.type == "XMP ") {
            const bool sound = wellFormed(chunk.data);
            verdicts.push_back({ QStringLiteral("its XMP"),
                xmp         ? second
                    : sound ? QString()
                            : QStringLiteral("its packet is no well-formed XML") });
            xmp = true;
        } else {
            verdicts.push_back(
                { QStringLiteral("its WebP chunk"), QStringLiteral("it is no EXIF or XMP chunk") });
        }
    }
    return verdicts;
}

void leaveOutFaulty(Metadata::Source &source)
{
    QStringList lost;
    keepSound(source.segments, jpegSegments(source.segments), lost);
    keepSound(source.chunks,
        source.format == "webp" ? webpChunks(source.chunks) : pngChunks(source.chunks), lost);
    if (!source.tiffPrefix.isEmpty()) {
        const QString fault = exifFault(source.tiffPrefix, source.exifIfd, source.gpsIfd);
        if (!fault.isEmpty()) {
            lost << QStringLiteral("its EXIF was left out: ") + fault;
            source.tiffPrefix.clear();
            source.exifIfd = source.gpsIfd = 0;
        }
    }
    std::vector<Verdict> entries;
    std::vector<quint16> tags;
    for (const Metadata::TiffEntry &entry : source.tiffEntries) {
        const bool again = std::find(tags.begin(), tags.end(), entry.tag) != tags.end();
        tags.push_back(entry.tag);
        entries.push_back({ QStringLiteral("its TIFF tag %1").arg(entry.tag),
            again ? QStringLiteral("it was given twice") : entryFault(entry) });
    }
    keepSound(source.tiffEntries, entries, lost);
    if (!source.iccProfile.isEmpty()) {
        QString fault = IccProfile::fault(source.iccProfile);
        if (fault.isEmpty() && IccProfile::colourSpace(source.iccProfile) != "RGB ")
            fault = QStringLiteral("it describes other pixels than the picture's RGB");
        if (!fault.isEmpty()) {
            lost << QStringLiteral("its colour profile was left out: ") + fault;
            source.iccProfile.clear();
        }
    }
    if (lost.isEmpty())
        return;
    if (!source.problem.isEmpty())
        lost.prepend(source.problem);
    source.problem = lost.join(QStringLiteral("; "));
}

} // namespace PieceChecks
