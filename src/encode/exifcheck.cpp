// SPDX-License-Identifier: GPL-3.0-or-later
// The EXIF checker: the directory graph of a TIFF structure, walked from its
// roots, every byte it takes claimed once.

#include <algorithm>
#include <deque>
#include <iterator>
#include <utility>

#include "common/bytes.h"
#include "common/tifftags.h"
#include "encode/piecechecks.h"

namespace PieceChecks {

namespace {

constexpr quint16 Ascii = 2;
constexpr quint16 Short = 3;
constexpr quint16 Long = 4;
constexpr quint16 Orientation = 274;
constexpr quint16 InteropIfdPointer = 40965;

enum class Kind {
    First,
    Exif,
    Gps,
    Interop,
};

QString nameOf(Kind kind)
{
    switch (kind) {
    case Kind::First:
        return QStringLiteral("the first directory");
    case Kind::Exif:
        return QStringLiteral("the EXIF directory");
    case Kind::Gps:
        return QStringLiteral("the GPS directory");
    case Kind::Interop:
        return QStringLiteral("the Interop directory");
    }
    return QString();
}

// The tags that hold or point to directories, and where each may stand.
bool pointerTag(quint16 tag)
{
    return tag == TiffTags::ExifIfdPointer || tag == TiffTags::GpsIfdPointer
        || tag == InteropIfdPointer || tag == 330 /* SubIFDs */;
}

// Tags of a TIFF's first directory that describe its pixel data: in a block
// that holds none (a JPEG's or PNG's EXIF) they describe nothing or point
// at bytes that are not there, and JPEG readers refuse them.
bool pixelDataTag(quint16 tag)
{
    static const quint16 tags[]
        = { 256, 257, 258, 259, 262, 273, 277, 278, 279, 284, 322, 323, 324, 325, 513, 514, 530 };
    return std::find(std::begin(tags), std::end(tags), tag) != std::end(tags);
}

class Walk
{
public:
    // `interop`: whether the EXIF directory may point to an Interop
    // directory, whose rules are a JPEG's: a TIF's may not (libtiff does not
    // know the pointer, and validators refuse the directory there).
    Walk(const QByteArray &block, bool little, bool interop)
        : block(block)
        , little(little)
        , interop(interop)
    {
        taken.emplace_back(0, 8); // the header
    }

    // Walks the directory at `at` and those it points to, breadth first;
    // false, and why() says it, at the first fault.
    bool walk(qint64 at, Kind kind)
    {
        std::deque<std::pair<qint64, Kind>> pending { { at, kind } };
        while (!pending.empty() && fault.isEmpty()) {
            const auto [start, what] = pending.front();
            pending.pop_front();
            directory(start, what, pending);
        }
        return fault.isEmpty();
    }

    QString why() const { return fault; }

private:
    quint32 number(qint64 at, int width) const
    {
        return little ? Bytes::little(block, at, width) : Bytes::big(block, at, width);
    }

    // Takes [start, end) for one directory or value; false when another
    // already has some of it.
    bool claim(qint64 start, qint64 end)
    {
        for (const auto &[from, to] : taken)
            if (start < to && from < end)
                return false;
        taken.emplace_back(start, end);
        return true;
    }

    void directory(qint64 at, Kind kind, std::deque<std::pair<qint64, Kind>> &pending)
    {
        const QString name = nameOf(kind);
        if (std::find(seen.begin(), seen.end(), at) != seen.end()) {
            fault = name + QStringLiteral(" is reached twice");
            return;
        }
        seen.push_back(at);
        if (at < 8 || at + 2 > block.size()) {
            fault = name + QStringLiteral(" lies outside the block");
            return;
        }
        if (at % 2) {
            fault = name + QStringLiteral(" starts off a word boundary");
            return;
        }
        const qint64 count = number(at, 2);
        const qint64 end = at + 2 + 12 * count + 4;
        if (count == 0 || end > block.size()) {
            fault = name
                + (count == 0 ? QStringLiteral(" is empty")
                              : QStringLiteral(" runs past the block's end"));
            return;
        }
        if (!claim(at, end)) {
            fault = name + QStringLiteral(" shares bytes with another directory or a value");
            return;
        }
        if (number(end - 4, 4) != 0) {
            fault = name + QStringLiteral(" points to a next one (a thumbnail's)");
            return;
        }
        qint64 previous = -1;
        for (qint64 k = 0; k < count && fault.isEmpty(); ++k) {
            const qint64 entry = at + 2 + 12 * k;
            const quint16 tag = quint16(number(entry, 2));
            const QString what = QStringLiteral("tag %1 of %2").arg(tag).arg(name);
            if (tag <= previous) {
                fault = name + QStringLiteral(" has its tags out of order or one twice");
                return;
            }
            previous = tag;
            const quint16 type = quint16(number(entry + 2, 2));
            const qint64 values = number(entry + 4, 4);
            const qint64 bytes = qint64(TiffTags::typeSize(type)) * values;
            if (bytes == 0) {
                fault = what
                    + (values ? QStringLiteral(" has a type TIFF does not know")
                              : QStringLiteral(" holds no value"));
                return;
            }
            qint64 valueAt = entry + 8;
            if (bytes > 4) {
                valueAt = number(entry + 8, 4);
                if (valueAt < 8)
                    fault = what + QStringLiteral(" has its value in the header");
                else if (valueAt + bytes > block.size())
                    fault = what + QStringLiteral(" has its value outside the block");
                else if (valueAt % 2)
                    fault = what + QStringLiteral(" has its value off a word boundary");
                else if (!claim(valueAt, valueAt + bytes))
                    fault = what + QStringLiteral(" has its value on a directory or another value");
                if (!fault.isEmpty())
                    return;
            }
            if (type == Ascii && block.at(int(valueAt + bytes - 1)) != '\0') {
                fault = what + QStringLiteral(" is a text without its closing NUL");
                return;
            }
            if (kind == Kind::First && tag == Orientation
                && (type != Short || values != 1 || number(valueAt, 2) != 1)) {
                fault = QStringLiteral("its orientation is not 1 (the pixels are upright)");
                return;
            }
            if (kind == Kind::First && pixelDataTag(tag)) {
                fault = what + QStringLiteral(" describes pixel data the file does not hold");
                return;
            }
            if (!pointerTag(tag))
                continue;
            const bool placed
                = (kind == Kind::First
                      && (tag == TiffTags::ExifIfdPointer || tag == TiffTags::GpsIfdPointer))
                || (kind == Kind::Exif && tag == InteropIfdPointer && interop);
            if (!placed || type != Long || values != 1) {
                fault = what + QStringLiteral(" points to a directory where none may be");
                return;
            }
            const Kind target = tag == TiffTags::ExifIfdPointer ? Kind::Exif
                : tag == TiffTags::GpsIfdPointer                ? Kind::Gps
                                                                : Kind::Interop;
            pending.emplace_back(qint64(number(valueAt, 4)), target);
        }
    }

    const QByteArray &block;
    const bool little;
    const bool interop;
    std::vector<std::pair<qint64, qint64>> taken;
    std::vector<qint64> seen;
    QString fault;
};

} // namespace

QString exifFault(const QByteArray &tiff)
{
    const bool little = tiff.startsWith(QByteArray("II*\0", 4));
    if (tiff.size() < 8 || (!little && !tiff.startsWith(QByteArray("MM\0*", 4))))
        return QStringLiteral("it has no TIFF header");
    Walk walk(tiff, little, true);
    walk.walk(little ? Bytes::little(tiff, 4, 4) : Bytes::big(tiff, 4, 4), Kind::First);
    return walk.why();
}

QString exifFault(const QByteArray &prefix, quint32 exifIfd, quint32 gpsIfd)
{
    if (prefix.size() < 8)
        return QStringLiteral("it is cut short");
    Walk walk(prefix, true, false);
    if (exifIfd)
        walk.walk(exifIfd, Kind::Exif);
    if (gpsIfd && walk.why().isEmpty())
        walk.walk(gpsIfd, Kind::Gps);
    return walk.why();
}

QString entryFault(const Metadata::TiffEntry &entry)
{
    const int size = TiffTags::typeSize(entry.type);
    if (size == 0)
        return QStringLiteral("it has a type TIFF does not know");
    if (entry.count == 0 || qint64(size) * entry.count != entry.value.size())
        return QStringLiteral("it does not hold what it claims");
    if (entry.type == Ascii && !entry.value.endsWith('\0'))
        return QStringLiteral("it is a text without its closing NUL");
    if (TiffTags::structural(entry.tag))
        return QStringLiteral("it is the encoder's to write");
    if (entry.tag == Orientation
        && (entry.type != Short || entry.count != 1 || Bytes::little(entry.value, 0, 2) != 1))
        return QStringLiteral("the orientation is not 1 (the pixels are upright)");
    return QString();
}

} // namespace PieceChecks
