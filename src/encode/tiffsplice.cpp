// SPDX-License-Identifier: GPL-3.0-or-later
#include "encode/tiffsplice.h"

#include <QtEndian>

#include <algorithm>
#include <limits>

#include "common/bytes.h"
#include "common/tifftags.h"

namespace TiffSplice {

namespace {

constexpr quint16 StripOffsets = 273;
constexpr quint16 StripByteCounts = 279;
constexpr quint16 ExifIfdPointer = TiffTags::ExifIfdPointer;
constexpr quint16 GpsIfdPointer = TiffTags::GpsIfdPointer;
constexpr quint16 Long = 4;

// One directory entry's value, read from the encoder's own file.
bool readValue(const QByteArray &tiff, qint64 at, Entry &entry)
{
    const auto *bytes = reinterpret_cast<const uchar *>(tiff.constData());
    entry.tag = qFromLittleEndian<quint16>(bytes + at);
    entry.type = qFromLittleEndian<quint16>(bytes + at + 2);
    entry.count = qFromLittleEndian<quint32>(bytes + at + 4);
    const qint64 size = qint64(TiffTags::typeSize(entry.type)) * entry.count;
    if (size <= 0)
        return false;
    const qint64 from = size <= 4 ? at + 8 : qint64(qFromLittleEndian<quint32>(bytes + at + 8));
    if (from + size > tiff.size())
        return false;
    entry.value = tiff.mid(int(from), int(size));
    return true;
}

// The numbers of a SHORT or LONG entry.
std::vector<quint32> numbers(const Entry &entry)
{
    std::vector<quint32> values;
    if (entry.type != 3 && entry.type != Long)
        return values;
    const auto *bytes = reinterpret_cast<const uchar *>(entry.value.constData());
    for (quint32 k = 0; k < entry.count; ++k)
        values.push_back(entry.type == 3 ? qFromLittleEndian<quint16>(bytes + 2 * k)
                                         : qFromLittleEndian<quint32>(bytes + 4 * k));
    return values;
}

Entry longs(quint16 tag, const std::vector<quint32> &values)
{
    Entry entry { tag, Long, quint32(values.size()), QByteArray() };
    for (const quint32 value : values)
        Bytes::appendLittle(entry.value, value, 4);
    return entry;
}

} // namespace

QString splice(QByteArray &tiff, const QByteArray &prefix, quint32 exifIfd, quint32 gpsIfd,
    const std::vector<Entry> &entries)
{
    // The encoder's file: its one directory and its strips.
    if (tiff.size() < 8 || !tiff.startsWith(QByteArray("II*\0", 4)))
        return QStringLiteral("the picture is not a little-endian TIFF");
    const auto *bytes = reinterpret_cast<const uchar *>(tiff.constData());
    const qint64 directory = qFromLittleEndian<quint32>(bytes + 4);
    if (directory < 8 || directory + 2 > tiff.size())
        return QStringLiteral("the picture's directory lies outside it");
    const int count = qFromLittleEndian<quint16>(bytes + directory);
    if (directory + 2 + 12LL * count + 4 > tiff.size())
        return QStringLiteral("the picture's directory lies outside it");
    std::vector<Entry> merged;
    std::vector<quint32> stripOffsets, stripSizes;
    for (int k = 0; k < count; ++k) {
        Entry entry;
        if (!readValue(tiff, directory + 2 + 12LL * k, entry))
            return QStringLiteral("the picture's directory lies outside it");
        if (entry.tag == StripOffsets)
            stripOffsets = numbers(entry);
        else if (entry.tag == StripByteCounts)
            stripSizes = numbers(entry);
        merged.push_back(entry);
    }
    if (stripOffsets.empty() || stripOffsets.size() != stripSizes.size())
        return QStringLiteral("the picture has no strips");
    for (size_t k = 0; k < stripOffsets.size(); ++k)
        if (qint64(stripOffsets[k]) + stripSizes[k] > tiff.size())
            return QStringLiteral("the picture's strips lie outside it");

    // What comes from the source: it may say anything, so it is checked
    // against itself and against the encoder's tags before anything moves.
    if (!prefix.isEmpty() && prefix.size() < 8)
        return QStringLiteral("its EXIF block is cut short");
    for (const quint32 at : { exifIfd, gpsIfd })
        if (at != 0 && (at < 8 || at % 2 != 0 || qint64(at) + 2 > prefix.size()))
            return QStringLiteral("its EXIF block points outside itself");
    std::vector<quint16> seen;
    for (const Entry &entry : entries) {
        const int size = TiffTags::typeSize(entry.type);
        if (size == 0 || entry.count == 0 || qint64(size) * entry.count != entry.value.size())
            return QStringLiteral("its tag %1 does not hold what it claims").arg(entry.tag);
        if (std::find(seen.begin(), seen.end(), entry.tag) != seen.end())
            return QStringLiteral("its tag %1 is given twice").arg(entry.tag);
        seen.push_back(entry.tag);
        // Where the picture's data lies and how it is laid out is the
        // encoder's to say alone.
        if (TiffTags::structural(entry.tag))
            continue;
        const bool own = std::any_of(merged.begin(), merged.end(),
            [&entry](const Entry &mine) { return mine.tag == entry.tag; });
        if (!own)
            merged.push_back(entry);
    }
    if (exifIfd != 0)
        merged.push_back(longs(ExifIfdPointer, { exifIfd }));
    if (gpsIfd != 0)
        merged.push_back(longs(GpsIfdPointer, { gpsIfd }));

    // The new file: header, the source's block, the strips, then the one
    // directory with its values, each on a word boundary.
    QByteArray out = prefix.isEmpty() ? QByteArray(8, '\0') : prefix;
    qint64 total = out.size() + 2 + 12LL * qint64(merged.size()) + 4 + 2 * qint64(merged.size());
    for (const Entry &entry : merged)
        total += entry.value.size();
    for (const quint32 size : stripSizes)
        total += size + 1;
    if (total > std::numeric_limits<int>::max() - 16)
        return QStringLiteral("the picture would be too large");
    out.reserve(int(total));
    std::vector<quint32> placed;
    for (size_t k = 0; k < stripOffsets.size(); ++k) {
        placed.push_back(quint32(out.size()));
        out.append(tiff.constData() + stripOffsets[k], int(stripSizes[k]));
    }
    for (Entry &entry : merged)
        if (entry.tag == StripOffsets)
            entry = longs(StripOffsets, placed);
    std::sort(
        merged.begin(), merged.end(), [](const Entry &a, const Entry &b) { return a.tag < b.tag; });
    if (out.size() % 2)
        out.append('\0');
    const quint32 newDirectory = quint32(out.size());
    qint64 valueAt = newDirectory + 2 + 12LL * qint64(merged.size()) + 4;
    QByteArray values;
    Bytes::appendLittle(out, quint16(merged.size()), 2);
    for (const Entry &entry : merged) {
        Bytes::appendLittle(out, entry.tag, 2);
        Bytes::appendLittle(out, entry.type, 2);
        Bytes::appendLittle(out, entry.count, 4);
        if (entry.value.size() <= 4) {
            out.append(entry.value);
            out.append(QByteArray(4 - entry.value.size(), '\0'));
        } else {
            Bytes::appendLittle(out, quint32(valueAt + values.size()), 4);
            values.append(entry.value);
            if (values.size() % 2)
                values.append('\0');
        }
    }
    Bytes::appendLittle(out, 0, 4); // no second picture
    out.append(values);
    out.replace(0, 4, QByteArray("II*\0", 4));
    char header[4];
    qToLittleEndian(newDirectory, header);
    out.replace(4, 4, QByteArray(header, 4));
    tiff = out;
    return QString();
}

} // namespace TiffSplice
