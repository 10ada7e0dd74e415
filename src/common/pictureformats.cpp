// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/pictureformats.h"

#include <QFileInfo>
#include <QImageReader>
#include <QtEndian>

#include <algorithm>
#include <climits>

namespace PictureFormats {

namespace {

bool startsWith(const QByteArray &head, const char *signature, int length, int at = 0)
{
    return head.size() >= at + length && memcmp(head.constData() + at, signature, length) == 0;
}

bool isBmp(const QByteArray &h)
{
    return startsWith(h, "BM", 2);
}
bool isGif(const QByteArray &h)
{
    return startsWith(h, "GIF87a", 6) || startsWith(h, "GIF89a", 6);
}
bool isJpeg(const QByteArray &h)
{
    return startsWith(h, "\xff\xd8\xff", 3);
}
bool isJpeg2000(const QByteArray &h)
{
    return startsWith(h, "\x00\x00\x00\x0cjP  \r\n\x87\n", 12)
        || startsWith(h, "\xff\x4f\xff\x51", 4);
}
bool isPng(const QByteArray &h)
{
    return startsWith(h, "\x89PNG\r\n\x1a\n", 8);
}
bool isWebp(const QByteArray &h)
{
    return startsWith(h, "RIFF", 4) && startsWith(h, "WEBP", 4, 8);
}
// Netpbm: "P" and the kind's digit, then white space.
bool isNetpbm(const QByteArray &h, char plain, char raw)
{
    return h.size() >= 3 && h[0] == 'P' && (h[1] == plain || h[1] == raw)
        && QByteArray(" \t\r\n").contains(h[2]);
}
bool isPbm(const QByteArray &h)
{
    return isNetpbm(h, '1', '4');
}
bool isPgm(const QByteArray &h)
{
    return isNetpbm(h, '2', '5');
}
bool isPpm(const QByteArray &h)
{
    return isNetpbm(h, '3', '6');
}
bool isXbm(const QByteArray &h)
{
    return h.trimmed().startsWith("#define");
}
bool isXpm(const QByteArray &h)
{
    return h.startsWith("/* XPM */");
}
bool isSunRaster(const QByteArray &h)
{
    return startsWith(h, "\x59\xa6\x6a\x95", 4);
}
bool isTiff(const QByteArray &h)
{
    return startsWith(h, "II*\0", 4) || startsWith(h, "MM\0*", 4) || startsWith(h, "II+\0", 4)
        || startsWith(h, "MM\0+", 4);
}

// ISO base media files (HEIF, AVIF, Canon CR3) name their kind by brands in
// the leading "ftyp" box: a major brand and a list of compatible ones.
bool hasBrand(const QByteArray &h, std::initializer_list<const char *> brands)
{
    if (!startsWith(h, "ftyp", 4, 4) || h.size() < 12)
        return false;
    const auto *size = reinterpret_cast<const uchar *>(h.constData());
    // A box size of 0 runs to the end of the file, 1 says a 64-bit size
    // follows the type; both are legal for the first box.
    const quint32 declared = qFromBigEndian<quint32>(size);
    const int first = declared == 1 ? 16 : 8;
    const qint64 end = declared == 0      ? h.size()
        : declared == 1 && h.size() >= 16 ? qint64(qFromBigEndian<quint64>(size + 8))
                                          : qint64(declared);
    const int boxEnd = int(std::min<qint64>(h.size(), end));
    // The minor version after the major brand is no brand.
    for (int at = first; at + 4 <= boxEnd; at += (at == first ? 8 : 4)) {
        for (const char *brand : brands)
            if (startsWith(h, brand, 4, at))
                return true;
    }
    return false;
}
bool isAvif(const QByteArray &h)
{
    return hasBrand(h, { "avif", "avis" });
}
// An AVIF file lists the generic "mif1" brand too; it goes to the AVIF reader.
bool isHeif(const QByteArray &h)
{
    return !isAvif(h)
        && hasBrand(h, { "heic", "heix", "hevc", "hevx", "heim", "heis", "hevm", "hevs", "mif1", "msf1" });
}
bool isJpegXl(const QByteArray &h)
{
    return startsWith(h, "\xff\x0a", 2) || startsWith(h, "\x00\x00\x00\x0cJXL \r\n\x87\n", 12);
}
// Camera RAW files with a signature of their own. Most others (NEF, ARW,
// DNG, PEF, ...) are TIFF files inside; identify() tells them by the name.
bool isCameraRaw(const QByteArray &h)
{
    return startsWith(h, "II*\0\x10\0\0\0CR", 10) // Canon CR2
        || hasBrand(h, { "crx " }) // Canon CR3
        || startsWith(h, "II\x1a\0\0\0HEAPCCDR", 14) // Canon CRW
        || startsWith(h, "FUJIFILMCCD-RAW", 15) // Fujifilm RAF
        || startsWith(h, "IIRO", 4) || startsWith(h, "IIRS", 4) || startsWith(h, "MMOR", 4) // Olympus
        || startsWith(h, "IIU\0", 4) // Panasonic RW2
        || startsWith(h, "FOVb", 4) // Sigma X3F
        || startsWith(h, "\0MRM", 4); // Minolta MRW
}

// To add a format: a row here, with a signature test above. The reader
// named must not start programs or write files of its own.
const QList<Format> &allFormats()
{
    static const QList<Format> formats {
        { "BMP", "bmp", { "bmp", "dib" }, isBmp },
        { "GIF", "gif", { "gif" }, isGif },
        { "JPEG", "jpeg", { "jpg", "jpeg" }, isJpeg },
        // Decoded by the decoder process itself (OpenJPEG), whatever Qt has.
        { "JPEG 2000", "jp2", { "jp2", "j2k" }, isJpeg2000 },
        { "PNG", "png", { "png" }, isPng },
        { "WebP", "webp", { "webp" }, isWebp },
        { "PGM", "pgm", { "pgm" }, isPgm },
        { "PBM", "pbm", { "pbm" }, isPbm },
        { "PPM", "ppm", { "ppm" }, isPpm },
        { "XBM", "xbm", { "xbm" }, isXbm },
        { "XPM", "xpm", { "xpm" }, isXpm },
        // Sun raster files can be made to keep their reader busy for many
        // seconds; the decoder's time limit ends that.
        { "Sun raster", "ras", { "ras", "sr" }, isSunRaster },
        { "TIFF", "tiff", { "tiff", "tif" }, isTiff },
        // Today's phone and camera pictures, read through KDE's plug-ins
        // when they are installed. RAW pictures come as the reader develops
        // them.
        { "HEIF", "heif", { "heic", "heif", "hif" }, isHeif },
        { "AVIF", "avif", { "avif" }, isAvif },
        { "JPEG XL", "jxl", { "jxl" }, isJpegXl },
        { "camera RAW", "raw",
            { "cr2", "cr3", "crw", "nef", "nrw", "arw", "srf", "sr2", "dng", "orf", "rw2", "raf",
                "pef", "srw", "x3f", "mrw", "3fr", "erf", "kdc", "dcr", "mos", "mef", "iiq", "rwl" },
            isCameraRaw },
    };
    return formats;
}

struct Foreign
{
    const char *name;
    const char *signature;
    int length;
    int at;
};

// Known formats that are not read, only named when refused.
const Foreign foreignFormats[] = {
    { "HDR", "#?RADIANCE", 10, 0 },
    { "HDR", "#?RGBE", 6, 0 },
    { "MNG", "\x8aMNG\r\n\x1a\n", 8, 0 },
    { "JNG", "\x8bJNG\r\n\x1a\n", 8, 0 },
    { "Photoshop", "8BPS", 4, 0 },
    { "SGI", "\x01\xda", 2, 0 },
    { "PostScript", "%!PS", 4, 0 },
    { "PostScript", "\xc5\xd0\xd3\xc6", 4, 0 },
    { "PDF", "%PDF", 4, 0 },
    { "icon", "\x00\x00\x01\x00", 4, 0 },
    { "OpenEXR", "\x76\x2f\x31\x01", 4, 0 },
    { "GIMP", "gimp xcf", 8, 0 },
    { "DirectDraw", "DDS ", 4, 0 },
    { "Softimage", "\x53\x80\xf6\x34", 4, 0 },
    { "Apple icon", "icns", 4, 0 },
    { "HEIF", "ftypheic", 8, 4 },
    { "HEIF", "ftypheix", 8, 4 },
    { "HEIF", "ftypmif1", 8, 4 },
    { "AVIF", "ftypavif", 8, 4 },
    { "JPEG XL", "\xff\x0a", 2, 0 },
    { "JPEG XL", "\x00\x00\x00\x0cJXL ", 8, 0 },
    { "SVG", "<svg", 4, 0 },
    { "ZIP", "PK\x03\x04", 4, 0 },
    { "PCX", "\x0a\x05\x01", 3, 0 },
};

} // namespace

QList<Format> readable()
{
    const QList<QByteArray> installed = QImageReader::supportedImageFormats();
    QList<Format> formats;
    for (const Format &format : allFormats())
        if (installed.contains(QByteArray(format.reader)) || qstrcmp(format.reader, "jp2") == 0)
            formats << format;
    return formats;
}

const Format *identify(const QByteArray &head, const QString &suffix)
{
    static const QList<Format> formats = readable();
    // Camera RAW pictures are mostly TIFF files inside: the RAW reader gets
    // those with a RAW signature of their own or a RAW picture's name.
    for (const Format &format : formats) {
        if (qstrcmp(format.reader, "raw") == 0
            && (isCameraRaw(head) || (isTiff(head) && format.suffixes.contains(suffix.toLower()))))
            return &format;
    }
    for (const Format &format : formats)
        if (format.matches(head))
            return &format;
    return nullptr;
}

const Format *forSuffix(const QString &suffix)
{
    static const QList<Format> formats = readable();
    for (const Format &format : formats)
        if (format.suffixes.contains(suffix.toLower()))
            return &format;
    return nullptr;
}

QStringList photoSuffixes()
{
    QStringList suffixes;
    for (const Format &format : readable()) {
        for (const char *reader : { "heif", "avif", "jxl", "raw" })
            if (qstrcmp(format.reader, reader) == 0)
                suffixes << format.suffixes;
    }
    return suffixes;
}

bool isDrawing(const QByteArray &head, const QString &suffix)
{
    const QString kind = suffix.toLower();
    if (kind != QLatin1String("svg") && kind != QLatin1String("svgz"))
        return false;
    if (head.startsWith("\x1f\x8b"))
        return true;
    // XML text: a byte order mark, white space, then markup.
    QByteArray text = head.startsWith("\xef\xbb\xbf") ? head.mid(3) : head;
    text = text.trimmed();
    return text.startsWith('<');
}

QSize claimedSize(const QByteArray &h)
{
    const auto *bytes = reinterpret_cast<const uchar *>(h.constData());
    QSize size;
    if (isPng(h) && startsWith(h, "IHDR", 4, 12) && h.size() >= 24)
        size = QSize(qFromBigEndian<qint32>(bytes + 16), qFromBigEndian<qint32>(bytes + 20));
    else if (isSunRaster(h) && h.size() >= 12)
        size = QSize(qFromBigEndian<qint32>(bytes + 4), qFromBigEndian<qint32>(bytes + 8));
    else if (isBmp(h) && h.size() >= 26 && qFromLittleEndian<quint32>(bytes + 14) == 12)
        size
            = QSize(qFromLittleEndian<quint16>(bytes + 18), qFromLittleEndian<quint16>(bytes + 20));
    else if (isBmp(h) && h.size() >= 26 && qFromLittleEndian<quint32>(bytes + 14) >= 40)
        size = QSize(qFromLittleEndian<qint32>(bytes + 18),
            int(std::min<qint64>(INT_MAX, qAbs(qint64(qFromLittleEndian<qint32>(bytes + 22))))));
    return size.isValid() && !size.isEmpty() ? size : QSize();
}

QString foreignKind(const QByteArray &head)
{
    for (const Foreign &foreign : foreignFormats)
        if (startsWith(head, foreign.signature, foreign.length, foreign.at))
            return QString::fromLatin1(foreign.name);
    for (const Format &format : allFormats())
        if (format.matches(head))
            return QString::fromLatin1(format.name); // known, but no reader installed
    return QString();
}

QString refusal(const QString &fileName, const QByteArray &head)
{
    if (identify(head, QFileInfo(fileName).suffix()))
        return QString();
    const Format *named = forSuffix(QFileInfo(fileName).suffix());
    const QString kind = foreignKind(head);
    const QString namedKind = named ? QString::fromLatin1(named->name) : QString();
    const QString article = !namedKind.isEmpty() && QStringLiteral("AEIO").contains(namedKind.at(0))
        ? QStringLiteral("an")
        : QStringLiteral("a");
    const QString what = named
        ? QStringLiteral("%1 is not %2 %3 picture").arg(fileName, article, namedKind)
        : QStringLiteral("%1 is not a picture of a kind this program reads").arg(fileName);
    if (head.isEmpty())
        return what + QStringLiteral(" (it is empty).");
    // The kind's signature is there, yet the file does not start like one
    // the reader takes: saying it holds that kind's data would explain
    // nothing.
    if (!kind.isEmpty() && kind == namedKind)
        return QStringLiteral("%1 could not be read: its %2 header is malformed.")
            .arg(fileName, namedKind);
    if (!kind.isEmpty())
        return what + QStringLiteral(" (it holds %1 data).").arg(kind);
    return what + QLatin1Char('.');
}

} // namespace PictureFormats
