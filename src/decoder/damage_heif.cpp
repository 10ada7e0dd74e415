// SPDX-License-Identifier: GPL-3.0-or-later
// HEIF and AVIF: a file cut short, or a picture of another size than its
// container declares for the image it shows.
#include "decoder/damagechecks.h"

#include <QList>

#include <algorithm>
#include <cmath>
#include <sys/stat.h>

#include "common/bytes.h"

namespace DamageChecks {

namespace {

// One box of an ISO base media file (HEIF, AVIF): its type and where its
// payload lies in the bytes it was found in.
struct Box
{
    QByteArray type;
    qint64 payload = 0;
    qint64 end = 0;
};

// The boxes of `bytes` from `from` to `to`, in order; false when one of
// them does not fit there.
bool boxes(const QByteArray &bytes, qint64 from, qint64 to, QList<Box> &found)
{
    const char *p = bytes.constData();
    for (qint64 at = from; at < to;) {
        if (at + 8 > to)
            return false;
        qint64 length = Bytes::big(p + at, 4), header = 8;
        if (length == 1) {
            if (at + 16 > to)
                return false;
            length = qint64(quint64(Bytes::big(p + at + 8, 4)) << 32 | Bytes::big(p + at + 12, 4));
            header = 16;
        } else if (length == 0) {
            length = to - at;
        }
        if (length < header || length > to - at)
            return false;
        found.append({ bytes.mid(int(at) + 4, 4), at + header, at + length });
        at += length;
    }
    return true;
}

// The largest frame an AV1 sequence header among the OBUs of `data`
// allows (its max_frame_width and max_frame_height); invalid when there is
// none. An AVIF's frame is its picture: the size its "ispe" declares.
QSize av1FrameSize(const QByteArray &data)
{
    const auto *b = reinterpret_cast<const uchar *>(data.constData());
    const qint64 size = data.size();
    for (qint64 at = 0; at < size;) {
        const int header = b[at];
        qint64 length = size;
        at += (header & 4) ? 2 : 1;
        if (header & 2) { // its length, LEB128
            length = 0;
            for (int k = 0; at < size && k < 8; ++k) {
                const int byte = b[at++];
                length |= qint64(byte & 0x7f) << (7 * k);
                if (!(byte & 0x80))
                    break;
            }
        }
        if (((header >> 3) & 15) != 1) {
            at += length;
            continue;
        }
        qint64 bit = at * 8;
        bool ended = false;
        const auto read = [&](int count) {
            quint32 value = 0;
            for (int k = 0; k < count; ++k, ++bit) {
                ended = ended || bit >= size * 8;
                value = value << 1 | (ended ? 0 : (b[bit / 8] >> (7 - bit % 8)) & 1);
            }
            return value;
        };
        read(4); // seq_profile, still_picture
        if (read(1)) { // reduced_still_picture_header
            read(5);
        } else {
            const bool timing = read(1);
            bool model = false;
            int delayBits = 0;
            if (timing) {
                read(32), read(32); // num_units_in_display_tick, time_scale
                if (read(1)) { // equal_picture_interval: a uvlc follows
                    int zeros = 0;
                    while (!ended && zeros < 32 && !read(1))
                        ++zeros;
                    read(zeros);
                }
                model = read(1);
                if (model) {
                    delayBits = int(read(5)) + 1;
                    read(32), read(10);
                }
            }
            const bool displayDelays = read(1);
            for (int point = int(read(5)); point >= 0 && !ended; --point) {
                read(12);
                if (read(5) > 7)
                    read(1);
                if (model && read(1))
                    read(2 * delayBits + 1);
                if (displayDelays && read(1))
                    read(4);
            }
        }
        const int widthBits = int(read(4)) + 1, heightBits = int(read(4)) + 1;
        const int width = int(read(widthBits)) + 1, height = int(read(heightBits)) + 1;
        return ended ? QSize() : QSize(width, height);
    }
    return QSize();
}

// What an ISO base media file declares of the image it shows (its primary
// item): the size of its pixels ("ispe"), the clean aperture it is cropped
// to ("clap") and its quarter turns ("irot"): every size it may be shown
// at, turned as its readers turn it, none when the file's boxes do not say.
// For an AV1 image, the frame size its coded data holds as well.
struct Primary
{
    QList<QSize> sizes;
    QSize declared; // its "ispe"
    QSize coded;
};

Primary primaryImage(int fd)
{
    struct stat info;
    if (::fstat(fd, &info) != 0)
        return {};
    // The "meta" box is looked for among the top-level boxes, whose headers
    // are read one by one: the coded data ("mdat") may come first.
    QByteArray meta;
    for (qint64 at = 0; at + 8 <= info.st_size && meta.isEmpty();) {
        const QByteArray head = Bytes::readAt(fd, at, 16);
        qint64 length = Bytes::big(head.constData(), 4);
        if (length == 1 && head.size() == 16)
            length = qint64(quint64(Bytes::big(head.constData() + 8, 4)) << 32
                | Bytes::big(head.constData() + 12, 4));
        else if (length == 0)
            length = info.st_size - at;
        if (length < 8 || length > info.st_size - at)
            return {};
        if (head.mid(4, 4) == "meta" && length <= (16 << 20))
            meta = Bytes::readAt(fd, at, length);
        at += length;
    }
    QList<Box> children, properties, inner;
    if (meta.size() < 12 || !boxes(meta, 12, meta.size(), children))
        return {};
    const char *p = meta.constData();
    // A big-endian number of `bytes` (0 to 8) bytes at `at` inside `box`,
    // -1 past its end.
    const auto number = [p](const Box &box, qint64 at, int bytes) -> qint64 {
        if (at < box.payload || at + bytes > box.end)
            return -1;
        quint64 value = 0;
        for (int k = 0; k < bytes; ++k)
            value = value << 8 | quint8(p[at + k]);
        return qint64(value & 0x7fffffffffffffffULL);
    };
    qint64 primary = -1;
    QVector<qint64> associated; // the primary item's property indexes, from 1
    for (const Box &box : children) {
        if (box.type == "pitm")
            primary = number(box, box.payload + 4, p[box.payload] == 0 ? 2 : 4);
        if (box.type == "iprp" && boxes(meta, box.payload, box.end, inner))
            for (const Box &child : inner)
                if (child.type == "ipco")
                    boxes(meta, child.payload, child.end, properties);
    }
    for (const Box &box : inner) {
        if (box.type != "ipma" || box.end - box.payload < 8)
            continue;
        const int version = p[box.payload];
        const bool wide = p[box.payload + 3] & 1;
        qint64 at = box.payload + 8;
        for (quint32 entry = Bytes::big(p + box.payload + 4, 4); entry > 0; --entry) {
            const int idBytes = version < 1 ? 2 : 4;
            if (at + idBytes + 1 > box.end)
                break;
            const qint64 item = Bytes::big(p + at, idBytes);
            const int count = quint8(p[at + idBytes]);
            at += idBytes + 1;
            for (int k = 0; k < count && at + 1 + wide <= box.end; ++k, at += 1 + wide)
                if (item == primary)
                    associated << (Bytes::big(p + at, 1 + wide) & (wide ? 0x7fff : 0x7f));
        }
    }
    QSize size;
    QList<QSize> cropped;
    int turns = 0;
    for (const qint64 index : associated) {
        if (index < 1 || index > properties.size())
            continue;
        const Box &property = properties[int(index - 1)];
        const char *d = p + property.payload;
        const qint64 length = property.end - property.payload;
        if (property.type == "ispe" && length >= 12)
            size = QSize(int(Bytes::big(d + 4, 4)), int(Bytes::big(d + 8, 4)));
        else if (property.type == "irot" && length >= 1)
            turns = d[0] & 3;
        else if (property.type == "clap" && length >= 16 && Bytes::big(d + 4, 4)
            && Bytes::big(d + 12, 4)) {
            // Readers round the aperture's fractions either way.
            const double width = Bytes::big(d, 4) / double(Bytes::big(d + 4, 4));
            const double height = Bytes::big(d + 8, 4) / double(Bytes::big(d + 12, 4));
            for (const double w : { std::floor(width), std::ceil(width) })
                for (const double h : { std::floor(height), std::ceil(height) })
                    cropped << QSize(int(w), int(h));
        }
    }
    if (size.isEmpty())
        return {};
    Primary found { cropped << size, size, QSize() };
    if (turns % 2)
        for (QSize &turned : found.sizes)
            turned.transpose();

    // An AV1 item's type ("infe" boxes in "iinf") and where its data starts
    // in the file (its first extent in "iloc", stored in the file itself).
    bool av1 = false;
    qint64 start = -1;
    for (const Box &box : children) {
        const int version = p[box.payload];
        QList<Box> entries;
        if (box.type == "iinf"
            && boxes(meta, box.payload + (version == 0 ? 6 : 8), box.end, entries))
            for (const Box &entry : entries)
                if (entry.type == "infe" && p[entry.payload] >= 2) {
                    const int idBytes = p[entry.payload] == 2 ? 2 : 4;
                    av1 = av1
                        || (number(entry, entry.payload + 4, idBytes) == primary
                            && meta.mid(int(entry.payload + 6 + idBytes), 4) == "av01");
                }
        if (box.type != "iloc")
            continue;
        const int sizes = quint8(p[box.payload + 4]) << 8 | quint8(p[box.payload + 5]);
        const int offsetBytes = sizes >> 12, lengthBytes = sizes >> 8 & 15;
        const int baseBytes = sizes >> 4 & 15, indexBytes = version >= 1 ? sizes & 15 : 0;
        const int idBytes = version < 2 ? 2 : 4;
        qint64 at = box.payload + 6 + idBytes;
        for (qint64 items = number(box, box.payload + 6, idBytes); items > 0; --items) {
            const qint64 item = number(box, at, idBytes);
            const qint64 method = version >= 1 ? number(box, at + idBytes, 2) & 15 : 0;
            at += idBytes + (version >= 1 ? 2 : 0) + 2;
            const qint64 base = number(box, at, baseBytes),
                         extents = number(box, at + baseBytes, 2);
            at += baseBytes + 2;
            if (item == primary && method == 0 && extents > 0)
                start = base + number(box, at + indexBytes, offsetBytes);
            if (item < 0 || extents < 0)
                break;
            at += extents * (indexBytes + offsetBytes + lengthBytes);
        }
    }
    if (av1 && start >= 0)
        found.coded = av1FrameSize(Bytes::readAt(fd, start, 256));
    return found;
}

} // namespace

// A HEIF or AVIF file whose top-level boxes do not fit it: one that ends
// early, inside its coded data ("mdat") as a rule.
QString heifBoxes(int fd, qint64 fileSize)
{
    for (qint64 at = 0; at < fileSize;) {
        const QByteArray head = Bytes::readAt(fd, at, 16);
        qint64 length = head.size() >= 8 ? Bytes::big(head.constData(), 4) : -1;
        if (length == 1 && head.size() == 16)
            length = qint64(quint64(Bytes::big(head.constData() + 8, 4)) << 32
                | Bytes::big(head.constData() + 12, 4));
        else if (length == 0)
            length = fileSize - at;
        if (length < 8)
            return QStringLiteral("its boxes do not fit the file");
        if (length > fileSize - at) {
            const QByteArray type = head.mid(4, 4);
            return std::all_of(type.begin(), type.end(), [](char c) { return c > 32 && c < 127; })
                ? QStringLiteral("the file ends inside its \"%1\" box")
                      .arg(QString::fromLatin1(type))
                : QStringLiteral("the file ends inside a box");
        }
        at += length;
    }
    return QString();
}

QString heifSize(int fd, qint64, const QSize &decoded)
{
    const Primary primary = primaryImage(fd);
    const QList<QSize> &sizes = primary.sizes;
    if (sizes.isEmpty())
        return QStringLiteral("it does not declare the size of its picture");
    // A reader may scale what it decodes to the declared size (libavif
    // does), which smears a picture whose size was damaged.
    if (primary.coded.isValid() && primary.coded != primary.declared)
        return QStringLiteral("it declares %1 x %2 pixels, its coded picture has %3 x %4")
            .arg(primary.declared.width())
            .arg(primary.declared.height())
            .arg(primary.coded.width())
            .arg(primary.coded.height());
    if (sizes.contains(decoded))
        return QString();
    // A stream of another size inside, or a reader that stopped short.
    return QStringLiteral("it decodes to %1 x %2 pixels, not the %3 x %4 it declares")
        .arg(decoded.width())
        .arg(decoded.height())
        .arg(sizes.last().width())
        .arg(sizes.last().height());
}

} // namespace DamageChecks
