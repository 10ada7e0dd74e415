// SPDX-License-Identifier: GPL-3.0-or-later
// The JPEG segment checker: the EXIF segment, the XMP packet with its
// extension, the colour profile's numbered chunks, IPTC and the comment.

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <algorithm>

#include "common/bytes.h"
#include "common/iccprofile.h"
#include "encode/piecechecks.h"

namespace PieceChecks {

namespace {

const QByteArray ExifSignature("Exif\0\0", 6);
const QByteArray XmpSignature("http://ns.adobe.com/xap/1.0/\0", 29);
const QByteArray ExtensionSignature("http://ns.adobe.com/xmp/extension/\0", 35);
const QByteArray IccSignature("ICC_PROFILE\0", 12);
const QByteArray PhotoshopSignature("Photoshop 3.0\0", 14);
constexpr int ExtensionHeader = 35 + 32 + 4 + 4; // signature, GUID, full length, offset
constexpr quint8 App1 = 0xe1, App2 = 0xe2, App13 = 0xed, Comment = 0xfe;

// The GUID the standard packet names for its extension; empty when it names
// none.
QByteArray extensionNamed(const QByteArray &packet)
{
    static const QRegularExpression named(
        QStringLiteral("HasExtendedXMP\\s*(?:=\\s*[\"']|>)\\s*([^\"'<\\s]*)"));
    return named.match(QString::fromUtf8(packet)).captured(1).toLatin1();
}

// Why the XMP packet `packet` and its extension, the portions `portions`
// (each after the extension's signature), may not go into a JPEG.
QString xmpFault(const QByteArray &packet, const std::vector<QByteArray> &portions)
{
    if (!wellFormed(packet))
        return QStringLiteral("its packet is no well-formed XML");
    const QByteArray guid = extensionNamed(packet);
    if (guid.isEmpty())
        return portions.empty() ? QString()
                                : QStringLiteral("it has an extension its packet does not name");
    if (portions.empty())
        return QStringLiteral("its packet names an extension that is not there");
    const qint64 full = Bytes::big(portions.front(), 32, 4);
    std::vector<std::pair<qint64, QByteArray>> pieces;
    for (const QByteArray &portion : portions) {
        if (portion.size() < ExtensionHeader - 35 || portion.left(32) != guid
            || Bytes::big(portion, 32, 4) != full)
            return QStringLiteral("its extension's parts belong to different packets");
        pieces.emplace_back(Bytes::big(portion, 36, 4), portion.mid(40));
    }
    std::sort(pieces.begin(), pieces.end(),
        [](const auto &a, const auto &b) { return a.first < b.first; });
    QByteArray extension;
    for (const auto &[offset, bytes] : pieces) {
        if (offset != extension.size())
            return QStringLiteral("its extension's parts leave a gap or overlap");
        extension += bytes;
    }
    if (extension.size() != full)
        return QStringLiteral("its extension is not as long as it states");
    if (QCryptographicHash::hash(extension, QCryptographicHash::Md5).toHex().toUpper()
        != guid.toUpper())
        return QStringLiteral("its extension's digest is not the one its name says");
    return wellFormed(extension) ? QString()
                                 : QStringLiteral("its extension is no well-formed XML");
}

// Why the colour profile in `chunks` (each after the signature: its number,
// their count, its part of the profile) may not go into a JPEG.
QString profileFault(const std::vector<QByteArray> &chunks)
{
    QByteArray profile;
    for (size_t k = 0; k < chunks.size(); ++k) {
        if (chunks[k].size() < 2 || size_t(quint8(chunks[k].at(0))) != k + 1
            || size_t(quint8(chunks[k].at(1))) != chunks.size())
            return QStringLiteral("its chunks are not numbered 1 to their count");
        profile += chunks[k].mid(2);
    }
    const QString fault = IccProfile::fault(profile);
    if (!fault.isEmpty())
        return fault;
    return IccProfile::colourSpace(profile) == "RGB "
        ? QString()
        : QStringLiteral("it describes %1 pixels, and the picture's are RGB")
              .arg(QString::fromLatin1(IccProfile::colourSpace(profile)).trimmed());
}

} // namespace

bool wellFormed(const QByteArray &xml)
{
    QXmlStreamReader reader(xml);
    while (!reader.atEnd())
        reader.readNext();
    return !reader.hasError();
}

std::vector<Verdict> jpegSegments(const std::vector<Metadata::Segment> &segments)
{
    std::vector<Verdict> verdicts(segments.size());
    std::vector<size_t> xmp, icc;
    std::vector<QByteArray> portions, chunks;
    bool exif = false;
    int packets = 0;
    for (size_t k = 0; k < segments.size(); ++k) {
        const quint8 marker = segments[k].marker;
        const QByteArray &payload = segments[k].payload;
        Verdict &verdict = verdicts[k];
        if (marker == App1 && payload.startsWith(ExifSignature)) {
            verdict.piece = QStringLiteral("its EXIF");
            verdict.fault = exif
                ? QStringLiteral("a JPEG holds one EXIF segment, this was a second")
                : exifFault(payload.mid(ExifSignature.size()));
            exif = true;
        } else if (marker == App1
            && (payload.startsWith(XmpSignature) || payload.startsWith(ExtensionSignature))) {
            verdict.piece = QStringLiteral("its XMP");
            xmp.push_back(k);
            if (payload.startsWith(XmpSignature))
                ++packets;
            else
                portions.push_back(payload.mid(ExtensionSignature.size()));
        } else if (marker == App2 && payload.startsWith(IccSignature)) {
            verdict.piece = QStringLiteral("its colour profile");
            icc.push_back(k);
            chunks.push_back(payload.mid(IccSignature.size()));
        } else if (marker == App13 && payload.startsWith(PhotoshopSignature)) {
            verdict.piece = QStringLiteral("its IPTC");
        } else if (marker == Comment) {
            verdict.piece = QStringLiteral("its comment");
        } else {
            verdict.piece = QStringLiteral("its APP%1 segment").arg(marker - 0xe0);
            verdict.fault = QStringLiteral("it is of a kind no metadata is kept in");
        }
    }
    QString xmpWhy;
    if (packets > 1)
        xmpWhy = QStringLiteral("a JPEG holds one XMP packet, this has %1").arg(packets);
    else if (packets == 0 && !portions.empty())
        xmpWhy = QStringLiteral("it has an extension without a packet");
    else if (packets == 1)
        for (const size_t k : xmp)
            if (segments[k].payload.startsWith(XmpSignature))
                xmpWhy = xmpFault(segments[k].payload.mid(XmpSignature.size()), portions);
    for (const size_t k : xmp)
        verdicts[k].fault = xmpWhy;
    const QString iccWhy = icc.empty() ? QString() : profileFault(chunks);
    for (const size_t k : icc)
        verdicts[k].fault = iccWhy;
    return verdicts;
}

} // namespace PieceChecks
