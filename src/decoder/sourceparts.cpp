// SPDX-License-Identifier: GPL-3.0-or-later
#include "decoder/sourceparts.h"

#include <algorithm>

#include "common/bytes.h"
#include "common/inflate.h"

namespace SourceParts {

namespace {

constexpr int ExtensionHeader = 35 + 32 + 4 + 4; // signature, GUID, full length, offset
// More texts, and longer ones, than a picture keeps: the rest is refused
// rather than inflated on.
constexpr int MaxTexts = 64;
constexpr qint64 MaxText = 16 * 1024 * 1024;

const char *const StandardKeywords[] = { "Title", "Author", "Description", "Copyright",
    "Creation Time", "Software", "Disclaimer", "Warning", "Source", "Comment" };

bool exifSegment(const Metadata::Segment &segment)
{
    return segment.marker == 0xe1 && segment.payload.startsWith(ExifSignature);
}

// `compressed` inflated whole; false when it is no whole zlib stream or
// would inflate to more than a text may hold.
bool inflated(const QByteArray &compressed, QByteArray &out)
{
    const Inflate::Result result = Inflate::stream(compressed, MaxText, false,
        [&out](const char *bytes, qint64 count) { out.append(bytes, int(count)); });
    return result.ended && out.size() <= MaxText;
}

// The text of a tEXt, zTXt or iTXt chunk whose keyword ends at `end`;
// false when the chunk is damaged.
bool textOf(const QByteArray &type, const QByteArray &data, int end, QString &text)
{
    QByteArray bytes;
    if (type == "tEXt") {
        text = QString::fromLatin1(data.mid(end + 1));
        return true;
    }
    if (type == "zTXt") {
        if (data.size() < end + 2 || data.at(end + 1) != 0 || !inflated(data.mid(end + 2), bytes))
            return false;
        text = QString::fromLatin1(bytes);
        return true;
    }
    if (data.size() < end + 3 || quint8(data.at(end + 1)) > 1 || data.at(end + 2) != 0)
        return false;
    const bool compressed = data.at(end + 1) == 1;
    const int language = data.indexOf('\0', end + 3);
    const int translated = language < 0 ? -1 : data.indexOf('\0', language + 1);
    if (translated < 0 || (compressed && !inflated(data.mid(translated + 1), bytes)))
        return false;
    text = QString::fromUtf8(compressed ? bytes : data.mid(translated + 1));
    return true;
}

} // namespace

std::vector<Metadata::Segment> jpegSegments(const QByteArray &bytes)
{
    std::vector<Metadata::Segment> segments;
    if (!bytes.startsWith("\xff\xd8"))
        return segments;
    for (qint64 at = 2; at + 4 <= bytes.size() && quint8(bytes.at(int(at))) == 0xff;) {
        const quint8 marker = quint8(bytes.at(int(at) + 1));
        if (marker == 0xff) { // a fill byte
            ++at;
            continue;
        }
        const qint64 length = Bytes::big(bytes, at + 2, 2);
        if (marker == 0xda || marker == 0xd9 || length < 2 || at + 2 + length > bytes.size())
            break;
        segments.push_back({ marker, bytes.mid(int(at) + 4, int(length) - 2) });
        at += 2 + length;
    }
    return segments;
}

QByteArray jpegExif(const std::vector<Metadata::Segment> &segments, int *parts)
{
    *parts = 0;
    const auto first = std::find_if(segments.begin(), segments.end(), exifSegment);
    if (first == segments.end())
        return QByteArray();
    QByteArray block = first->payload.mid(ExifSignature.size());
    *parts = 1;
    for (auto next = first + 1; next != segments.end() && exifSegment(*next); ++next) {
        const QByteArray more = next->payload.mid(ExifSignature.size());
        if (more.startsWith(QByteArray("II*\0", 4)) || more.startsWith(QByteArray("MM\0*", 4)))
            break; // a block of its own
        block += more;
        ++*parts;
    }
    return block;
}

QByteArray xmpExtension(
    const std::vector<Metadata::Segment> &segments, const QByteArray &guid, QString *why)
{
    std::vector<std::pair<qint64, QByteArray>> parts;
    qint64 full = -1, held = 0;
    for (const Metadata::Segment &segment : segments) {
        const QByteArray &payload = segment.payload;
        if (segment.marker != 0xe1 || !payload.startsWith(ExtensionSignature)
            || payload.size() < ExtensionHeader
            || payload.mid(ExtensionSignature.size(), 32).compare(guid, Qt::CaseInsensitive) != 0)
            continue;
        const qint64 length = Bytes::big(payload, 67, 4);
        if (full >= 0 && length != full) {
            *why = QStringLiteral("its parts state different lengths");
            return QByteArray();
        }
        full = length;
        parts.emplace_back(Bytes::big(payload, 71, 4), payload.mid(ExtensionHeader));
        held += parts.back().second.size();
    }
    if (parts.empty()) {
        *why = QStringLiteral("it is not in the file");
        return QByteArray();
    }
    // A part written twice is no fault; a gap or an overlap is.
    std::sort(parts.begin(), parts.end());
    parts.erase(std::unique(parts.begin(), parts.end()), parts.end());
    QByteArray whole;
    for (const auto &[offset, bytes] : parts) {
        if (offset != whole.size() || whole.size() + qint64(bytes.size()) > full) {
            *why = QStringLiteral("its parts leave a gap or overlap");
            return QByteArray();
        }
        whole += bytes;
    }
    if (whole.size() != full || held < full) {
        *why = QStringLiteral("some of its parts are missing");
        return QByteArray();
    }
    return whole;
}

std::vector<MetadataReader::PngText> pngTexts(const QByteArray &bytes, QStringList *damaged)
{
    std::vector<MetadataReader::PngText> texts;
    for (qint64 at = 8; at + 12 <= bytes.size();) {
        const qint64 length = Bytes::big(bytes, at, 4);
        const QByteArray type = bytes.mid(int(at) + 4, 4);
        if (type == "IEND" || at + 12 + length > bytes.size())
            break;
        const qint64 start = at + 8;
        at += 12 + length;
        // Only a text chunk's data is copied out of the file: never its pixels.
        if (type != "tEXt" && type != "zTXt" && type != "iTXt")
            continue;
        const QByteArray data = bytes.mid(int(start), int(length));
        const int end = data.indexOf('\0');
        if (end < 0
            || std::none_of(std::begin(StandardKeywords), std::end(StandardKeywords),
                [&](const char *keyword) { return data.left(end) == keyword; }))
            continue;
        const QString keyword = QString::fromLatin1(data.left(end));
        QString text;
        if (int(texts.size()) == MaxTexts) {
            *damaged << QStringLiteral("its PNG texts past the %1th were left out").arg(MaxTexts);
            break;
        }
        if (textOf(type, data, end, text))
            texts.push_back({ keyword, text, { type, data } });
        else
            *damaged << QStringLiteral("its PNG text \"%1\" is damaged").arg(keyword);
    }
    return texts;
}

} // namespace SourceParts
