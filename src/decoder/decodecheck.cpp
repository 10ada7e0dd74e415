// SPDX-License-Identifier: GPL-3.0-or-later
#include "decoder/decodecheck.h"

#include <QRegularExpression>
#include <QSet>

#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace DecodeCheck {

namespace {

thread_local Listener *listening = nullptr;
QtMessageHandler previousHandler = nullptr;

void qtMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    // A colour profile Qt cannot parse ("Failed tag count sanity.") says
    // nothing about the pixels: the picture is sound, only its profile goes.
    if (listening && context.category && qstrncmp(context.category, "qt.gui.icc", 10) == 0)
        listening->profileWarnings << message;
    else if (listening)
        listening->messages << message;
    else if (previousHandler)
        previousHandler(type, context, message);
}

QString formatted(const char *module, const char *format, va_list arguments)
{
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    Q_UNUSED(module)
    return QString::fromLocal8Bit(text);
}

// libtiff prints to the console unless told otherwise; its warnings (unknown
// tags and the like) are no damage and go nowhere.
void tiffError(const char *module, const char *format, va_list arguments)
{
    if (listening)
        listening->tiffErrors << formatted(module, format, arguments);
}

void tiffWarning(const char *, const char *, va_list) { }

void install()
{
    static std::once_flag once;
    std::call_once(once, []() {
        previousHandler = qInstallMessageHandler(qtMessage);
        TIFFSetErrorHandler(tiffError);
        TIFFSetWarningHandler(tiffWarning);
    });
}


quint32 bigEndian(const char *bytes, int width)
{
    quint32 value = 0;
    for (int k = 0; k < width; ++k)
        value = (value << 8) | quint8(bytes[k]);
    return value;
}

quint32 littleEndian(const char *bytes, int width)
{
    quint32 value = 0;
    for (int k = width - 1; k >= 0; --k)
        value = (value << 8) | quint8(bytes[k]);
    return value;
}

// Run-length encoded pixel data (RLE8, RLE4) has no size known in advance:
// its runs are walked, each must stay inside the picture, and the data must
// end with the end-of-bitmap marker. A reader stops early without it and
// leaves the rest of the picture blank.
QString bmpRunsDamage(int fd, qint64 fileSize, qint64 offset, qint64 width, qint64 height, int bits)
{
    const QByteArray data = readAt(fd, offset, std::max<qint64>(0, fileSize - offset));
    const auto *p = reinterpret_cast<const uchar *>(data.constData());
    const qint64 size = data.size();
    qint64 x = 0, y = 0;
    for (qint64 at = 0; at + 2 <= size;) {
        const int count = p[at], value = p[at + 1];
        at += 2;
        if (count > 0) {
            x += count;
        } else if (value == 0) {
            x = 0, ++y;
        } else if (value == 1) {
            return QString();
        } else if (value == 2) {
            if (at + 2 > size)
                break;
            x += p[at], y += p[at + 1];
            at += 2;
        } else {
            const qint64 bytes = bits == 8 ? value : (value + 1) / 2;
            at += (bytes + 1) & ~qint64(1);
            x += value;
        }
        if (x > width || y > height || (y == height && x > 0))
            return QStringLiteral("a run of its pixel data leaves the picture");
    }
    return QStringLiteral("its pixel data ends before its end-of-bitmap marker");
}

QString bmpDamage(int fd, qint64 fileSize)
{
    const QByteArray head = readAt(fd, 0, 30);
    if (head.size() < 30)
        return QString();
    const char *h = head.constData();
    const quint32 offset = littleEndian(h + 10, 4), infoSize = littleEndian(h + 14, 4);
    qint64 width, height, bits, compression = 0;
    if (infoSize == 12) {
        width = littleEndian(h + 18, 2);
        height = littleEndian(h + 20, 2);
        bits = littleEndian(h + 24, 2);
    } else if (infoSize >= 40) {
        const QByteArray info = readAt(fd, 18, 16);
        if (info.size() < 16)
            return QString();
        width = qint32(littleEndian(info.constData(), 4));
        height = qAbs(qint64(qint32(littleEndian(info.constData() + 4, 4))));
        bits = littleEndian(info.constData() + 10, 2);
        compression = littleEndian(info.constData() + 12, 4);
    } else {
        return QString();
    }
    if ((compression == 1 && bits == 8) || (compression == 2 && bits == 4))
        return bmpRunsDamage(fd, fileSize, offset, width, height, bits);
    if ((compression != 0 && compression != 3 && compression != 6) || width <= 0 || bits <= 0)
        return QString();
    const qint64 needed = qint64(offset) + (width * bits + 31) / 32 * 4 * height;
    if (fileSize >= needed)
        return QString();
    return QStringLiteral("its pixel data ends after %1 of %2 bytes")
        .arg(qMax<qint64>(0, fileSize - offset))
        .arg(needed - offset);
}

QString pngDamage(int fd, qint64 fileSize)
{
    const QByteArray bytes = readAt(fd, 0, fileSize);
    qint64 at = 8;
    while (at + 12 <= bytes.size()) {
        const qint64 length = bigEndian(bytes.constData() + at, 4);
        const QByteArray type = bytes.mid(int(at) + 4, 4);
        if (at + 12 + length > bytes.size())
            return QStringLiteral("the file ends inside its %1 chunk")
                .arg(QString::fromLatin1(type));
        const uLong crc = crc32(
            0L, reinterpret_cast<const Bytef *>(bytes.constData() + at + 4), uInt(length + 4));
        if (crc != bigEndian(bytes.constData() + at + 8 + length, 4))
            return QStringLiteral("%1: CRC error").arg(QString::fromLatin1(type));
        if (type == "IEND")
            return QString();
        at += 12 + length;
    }
    return QStringLiteral("the file ends before its IEND chunk");
}

// The pixels an LZW stream of a GIF frame with `minimum` bits a code gives,
// up to `wanted`; -1 when a code is one the stream cannot hold yet.
qint64 lzwPixels(const QByteArray &data, int minimum, qint64 wanted)
{
    if (minimum < 1 || minimum > 11)
        return -1;
    const int clear = 1 << minimum, end = clear + 1;
    static thread_local quint16 length[4096];
    for (int code = 0; code < clear; ++code)
        length[code] = 1;
    int width = minimum + 1, next = end + 1, previous = -1;
    quint32 buffer = 0;
    int held = 0;
    qint64 pixels = 0;
    for (const char byte : data) {
        buffer |= quint32(quint8(byte)) << held;
        held += 8;
        while (held >= width) {
            const int code = int(buffer & ((1u << width) - 1));
            buffer >>= width;
            held -= width;
            if (code == clear) {
                width = minimum + 1, next = end + 1, previous = -1;
                continue;
            }
            if (code == end)
                return pixels;
            if (previous < 0) {
                if (code > clear)
                    return -1;
                pixels += 1;
            } else {
                if (code > next || (code > end && code == next && next >= 4096))
                    return -1;
                const int grown = std::min(length[previous] + 1, 0xffff);
                pixels += code == next ? grown : length[code];
                if (next < 4096) {
                    length[next++] = quint16(grown);
                    if (next == (1 << width) && width < 12)
                        ++width;
                }
            }
            previous = code;
            if (pixels >= wanted)
                return pixels;
        }
    }
    return pixels;
}

// A GIF walked block by block to its trailer: every frame's colour table
// and image data present, and each frame's compressed data giving all of
// its pixels. Qt's reader leaves what a cut file lacks as background.
QString gifDamage(int fd, qint64 fileSize)
{
    const QByteArray bytes = readAt(fd, 0, fileSize);
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    const qint64 size = bytes.size();
    const QString cut = QStringLiteral("the file ends before its trailer");
    if (size < 13)
        return cut;
    qint64 at = 13;
    if (p[10] & 0x80)
        at += 3 << ((p[10] & 7) + 1);
    // The data sub-blocks from `at`, joined; false when the file ends in them.
    const auto blocks = [&](QByteArray *joined) {
        while (at < size) {
            const int length = p[at++];
            if (length == 0)
                return true;
            if (at + length > size)
                return false;
            if (joined)
                joined->append(bytes.constData() + at, length);
            at += length;
        }
        return false;
    };
    for (int frame = 1; at < size;) {
        const int kind = p[at++];
        if (kind == 0x3b)
            return QString();
        if (kind == 0) // padding some writers leave between blocks
            continue;
        if (kind == 0x21) {
            if (++at > size || !blocks(nullptr))
                return cut;
        } else if (kind == 0x2c) {
            if (at + 10 > size)
                return cut;
            const qint64 pixels = qint64(p[at + 4] | p[at + 5] << 8) * (p[at + 6] | p[at + 7] << 8);
            const int flags = p[at + 8];
            at += 9;
            if (flags & 0x80)
                at += 3 << ((flags & 7) + 1);
            if (at >= size)
                return cut;
            const int minimum = p[at++];
            QByteArray data;
            if (!blocks(&data))
                return QStringLiteral("the file ends inside frame %1").arg(frame);
            const qint64 got = lzwPixels(data, minimum, pixels);
            if (got < 0)
                return QStringLiteral("frame %1 holds a code its compressed data cannot have")
                    .arg(frame);
            if (got < pixels)
                return QStringLiteral("frame %1 ends after %2 of its %3 pixels")
                    .arg(frame)
                    .arg(got)
                    .arg(pixels);
            ++frame;
        } else {
            return QStringLiteral("it holds a block of an unknown kind (0x%1)")
                .arg(kind, 2, 16, QLatin1Char('0'));
        }
    }
    return cut;
}

// A Sun raster's colour map and pixel data, against what its header
// declares; run-length encoded data is walked to count what it gives.
QString sunRasterDamage(int fd, qint64 fileSize)
{
    const QByteArray head = readAt(fd, 0, 32);
    if (head.size() < 32)
        return QStringLiteral("the file ends inside its header");
    const char *h = head.constData();
    const qint64 width = bigEndian(h + 4, 4), height = bigEndian(h + 8, 4),
                 depth = bigEndian(h + 12, 4), length = bigEndian(h + 16, 4),
                 type = bigEndian(h + 20, 4), mapType = bigEndian(h + 24, 4),
                 mapLength = bigEndian(h + 28, 4);
    if (mapType == 1 && (mapLength % 3 || mapLength / 3 > 256))
        return QStringLiteral("its colour map of %1 bytes is not one of RGB colours")
            .arg(mapLength);
    const qint64 start = 32 + mapLength;
    if (start > fileSize)
        return QStringLiteral("the file ends inside its colour map");
    const qint64 needed = (width * depth + 15) / 16 * 2 * height;
    if (type == 2) {
        const QByteArray data = readAt(fd, start, fileSize - start);
        const auto *p = reinterpret_cast<const uchar *>(data.constData());
        qint64 got = 0;
        for (qint64 at = 0; at < data.size() && got < needed;) {
            if (p[at] != 0x80) {
                ++got, ++at;
            } else if (at + 1 < data.size() && p[at + 1] == 0) {
                ++got, at += 2;
            } else if (at + 2 < data.size()) {
                got += p[at + 1] + 1, at += 3;
            } else {
                break;
            }
        }
        if (got < needed)
            return QStringLiteral("its pixel data ends after %1 of %2 bytes").arg(got).arg(needed);
        return QString();
    }
    const qint64 declared = std::max(length, needed);
    if (start + declared > fileSize)
        return QStringLiteral("its pixel data ends after %1 of %2 bytes")
            .arg(fileSize - start)
            .arg(declared);
    return QString();
}

// The number after `name` (as in "#define x_width 16"), -1 when none.
qint64 numberAfter(const QByteArray &text, const QByteArray &name)
{
    const int at = text.indexOf(name);
    if (at < 0)
        return -1;
    bool ok = false;
    const qint64 value
        = text.mid(at + name.size(), 24).simplified().split(' ').value(0).toLongLong(&ok);
    return ok ? value : -1;
}

// An XBM's declared rows, all their bytes present before the closing brace.
QString xbmDamage(int fd, qint64 fileSize)
{
    const QByteArray text = readAt(fd, 0, fileSize);
    const qint64 width = numberAfter(text, "_width"), height = numberAfter(text, "_height");
    const int open = text.indexOf('{'), close = text.indexOf('}', open + 1);
    if (width <= 0 || height <= 0 || open < 0)
        return QString(); // the reader refuses it on its own
    if (close < 0)
        return QStringLiteral("the file ends before its closing brace");
    const qint64 needed = (width + 7) / 8 * height;
    const qint64 got = text.mid(open, close - open).toLower().count("0x");
    if (got < needed)
        return QStringLiteral("it holds %1 of its %2 bytes of pixels").arg(got).arg(needed);
    return QString();
}

// An XPM's strings: the values line, the colours (each key once), and every
// declared row of the declared width in keys that are in the colour table.
QString xpmDamage(int fd, qint64 fileSize)
{
    const QByteArray text = readAt(fd, 0, fileSize);
    QList<QByteArray> strings;
    for (int at = text.indexOf('{'); at >= 0 && at < text.size();) {
        const int open = text.indexOf('"', at);
        const int comment = text.indexOf("/*", at);
        if (open < 0)
            break;
        if (comment >= 0 && comment < open) {
            const int end = text.indexOf("*/", comment + 2);
            if (end < 0)
                break;
            at = end + 2;
            continue;
        }
        const int close = text.indexOf('"', open + 1);
        if (close < 0)
            return QStringLiteral("the file ends inside a string");
        strings << text.mid(open + 1, close - open - 1);
        at = close + 1;
    }
    const QList<QByteArray> values = strings.value(0).simplified().split(' ');
    const qint64 width = values.value(0).toLongLong(), height = values.value(1).toLongLong(),
                 colours = values.value(2).toLongLong(), keyLength = values.value(3).toLongLong();
    if (values.size() < 4 || width <= 0 || height <= 0 || colours <= 0 || keyLength <= 0
        || keyLength > 8)
        return QString(); // the reader refuses it on its own
    if (strings.size() < 1 + colours + height)
        return QStringLiteral("it holds %1 of its %2 rows")
            .arg(std::max<qint64>(0, strings.size() - 1 - colours))
            .arg(height);
    QSet<QByteArray> keys;
    // Keys of one or two characters, the usual ones, looked up in a table.
    std::vector<bool> known(keyLength <= 2 ? 65536 : 0);
    const auto code = [](const char *key, qint64 length) {
        return quint8(key[0]) | (length > 1 ? quint8(key[1]) << 8 : 0);
    };
    for (int k = 1; k <= colours; ++k) {
        const QByteArray key = strings[k].left(int(keyLength));
        keys.insert(key);
        if (!known.empty() && key.size() == keyLength)
            known[code(key.constData(), keyLength)] = true;
    }
    if (keys.size() != colours)
        return QStringLiteral("its colour table names a colour twice");
    for (qint64 row = 0; row < height; ++row) {
        const QByteArray &line = strings[int(1 + colours + row)];
        if (line.size() != width * keyLength)
            return QStringLiteral("row %1 is not %2 pixels wide").arg(row + 1).arg(width);
        for (qint64 x = 0; x < width; ++x) {
            const char *key = line.constData() + x * keyLength;
            if (known.empty() ? !keys.contains(QByteArray(key, int(keyLength)))
                              : !known[code(key, keyLength)])
                return QStringLiteral("row %1 uses a colour its table does not have").arg(row + 1);
        }
    }
    return QString();
}

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
        qint64 length = bigEndian(p + at, 4), header = 8;
        if (length == 1) {
            if (at + 16 > to)
                return false;
            length = qint64(quint64(bigEndian(p + at + 8, 4)) << 32 | bigEndian(p + at + 12, 4));
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
        const QByteArray head = readAt(fd, at, 16);
        qint64 length = bigEndian(head.constData(), 4);
        if (length == 1 && head.size() == 16)
            length = qint64(quint64(bigEndian(head.constData() + 8, 4)) << 32
                | bigEndian(head.constData() + 12, 4));
        else if (length == 0)
            length = info.st_size - at;
        if (length < 8 || length > info.st_size - at)
            return {};
        if (head.mid(4, 4) == "meta" && length <= (16 << 20))
            meta = readAt(fd, at, length);
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
        for (quint32 entry = bigEndian(p + box.payload + 4, 4); entry > 0; --entry) {
            const int idBytes = version < 1 ? 2 : 4;
            if (at + idBytes + 1 > box.end)
                break;
            const qint64 item = bigEndian(p + at, idBytes);
            const int count = quint8(p[at + idBytes]);
            at += idBytes + 1;
            for (int k = 0; k < count && at + 1 + wide <= box.end; ++k, at += 1 + wide)
                if (item == primary)
                    associated << (bigEndian(p + at, 1 + wide) & (wide ? 0x7fff : 0x7f));
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
            size = QSize(int(bigEndian(d + 4, 4)), int(bigEndian(d + 8, 4)));
        else if (property.type == "irot" && length >= 1)
            turns = d[0] & 3;
        else if (property.type == "clap" && length >= 16 && bigEndian(d + 4, 4)
            && bigEndian(d + 12, 4)) {
            // Readers round the aperture's fractions either way.
            const double width = bigEndian(d, 4) / double(bigEndian(d + 4, 4));
            const double height = bigEndian(d + 8, 4) / double(bigEndian(d + 12, 4));
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
        found.coded = av1FrameSize(readAt(fd, start, 256));
    return found;
}

} // namespace

QString sizeDamage(int fd, const QByteArray &format, const QSize &decoded)
{
    if (format != "avif" && format != "heif")
        return QString();
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

QByteArray readAt(int fd, qint64 at, qint64 count)
{
    count = std::min<qint64>(count, INT_MAX - 4096);
    QByteArray bytes(int(count), Qt::Uninitialized);
    qint64 done = 0;
    while (done < count) {
        const ssize_t got
            = ::pread(fd, bytes.data() + done, size_t(count - done), off_t(at + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += got;
    }
    bytes.truncate(int(done));
    return bytes;
}

Listener::Listener()
    : outer(listening)
{
    install();
    listening = this;
}

Listener::~Listener()
{
    listening = outer;
}

QString Listener::damage(const QByteArray &format) const
{
    if (format == "tiff" && !tiffErrors.isEmpty())
        return tiffErrors.first();
    if (format == "heif" || format == "avif") {
        // What libheif (HEIF) and libavif (AVIF) say through their readers
        // when the file's structure is broken or an image of it, a tile of
        // a grid among them, could not be decoded; not what they leave
        // unsupported or what exceeds their limits.
        static const QRegularExpression broken(QStringLiteral(
            "Invalid input|Decoder plugin generated an error|BMFF parsing failed|Truncated data|"
            "Decoding of (color|alpha) planes? failed|Invalid image grid|size mismatch|"
            "don't match ispe|do not match first image size"));
        static const QRegularExpression caller(QStringLiteral("^(\\w+ error|ERROR): "));
        for (const QString &message : messages)
            if (message.contains(broken))
                return QString::fromLatin1(format == "heif" ? "libheif: " : "libavif: ")
                    + QString(message).remove(caller).trimmed();
    }
    if (format == "jpeg") {
        // Bytes after the last scan, before the end marker, cost no pixel.
        static const QRegularExpression harmless(
            QStringLiteral("extraneous bytes before marker 0xd9"));
        for (const QString &message : messages)
            if (!message.contains(harmless))
                return message;
    }
    return QString();
}

QString unreadVariant(int fd, const QByteArray &format)
{
    const QByteArray head = readAt(fd, 0, 32);
    if (format == "ras" && head.size() == 32 && head.startsWith("\x59\xa6\x6a\x95")
        && bigEndian(head.constData() + 20, 4) == 2)
        return QStringLiteral("its pixels are run-length coded, which is not read here");
    if (format == "bmp" && head.size() >= 34 && head.startsWith("BM")
        && littleEndian(head.constData() + 14, 4) >= 40) {
        const quint32 compression = littleEndian(head.constData() + 30, 4);
        if (compression == 4 || compression == 5)
            return QStringLiteral("it holds a %1 picture inside, which is not read here")
                .arg(compression == 4 ? QStringLiteral("JPEG") : QStringLiteral("PNG"));
    }
    return QString();
}

// A HEIF or AVIF file whose top-level boxes do not fit it: one that ends
// early, inside its coded data ("mdat") as a rule.
QString isoBoxesDamage(int fd, qint64 fileSize)
{
    for (qint64 at = 0; at < fileSize;) {
        const QByteArray head = readAt(fd, at, 16);
        qint64 length = head.size() >= 8 ? bigEndian(head.constData(), 4) : -1;
        if (length == 1 && head.size() == 16)
            length = qint64(quint64(bigEndian(head.constData() + 8, 4)) << 32
                | bigEndian(head.constData() + 12, 4));
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

QString structuralDamage(int fd, const QByteArray &format)
{
    struct stat info;
    if (::fstat(fd, &info) != 0)
        return QString();
    const QByteArray magic = readAt(fd, 0, 8);
    if (format == "bmp" && magic.startsWith("BM"))
        return bmpDamage(fd, info.st_size);
    if (format == "png" && magic == "\x89PNG\r\n\x1a\n")
        return pngDamage(fd, info.st_size);
    if (format == "gif" && magic.startsWith("GIF8"))
        return gifDamage(fd, info.st_size);
    if (format == "ras" && magic.startsWith("\x59\xa6\x6a\x95"))
        return sunRasterDamage(fd, info.st_size);
    if (format == "xbm")
        return xbmDamage(fd, info.st_size);
    if (format == "xpm")
        return xpmDamage(fd, info.st_size);
    if (format == "heif" || format == "avif")
        return isoBoxesDamage(fd, info.st_size);
    return QString();
}

} // namespace DecodeCheck
