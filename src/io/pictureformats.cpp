#include "io/pictureformats.h"

#include <QFileInfo>
#include <QImageReader>

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

// To add a format: a row here, with a signature test above. The reader
// named must not start programs or write files of its own.
const QList<Format> &allFormats()
{
    static const QList<Format> formats {
        { "BMP", "bmp", { "bmp", "dib" }, isBmp },
        { "GIF", "gif", { "gif" }, isGif },
        { "JPEG", "jpeg", { "jpg", "jpeg" }, isJpeg },
        { "JPEG 2000", "jp2", { "jp2" }, isJpeg2000 },
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
        if (installed.contains(QByteArray(format.reader)))
            formats << format;
    return formats;
}

const Format *identify(const QByteArray &head)
{
    static const QList<Format> formats = readable();
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
    if (identify(head))
        return QString();
    const Format *named = forSuffix(QFileInfo(fileName).suffix());
    const QString kind = foreignKind(head);
    const QString what = named
        ? QStringLiteral("%1 is not a %2 picture").arg(fileName, QString::fromLatin1(named->name))
        : QStringLiteral("%1 is not a picture of a kind this program reads").arg(fileName);
    if (head.isEmpty())
        return what + QStringLiteral(" (it is empty).");
    if (!kind.isEmpty())
        return what + QStringLiteral(" (it holds %1 data).").arg(kind);
    return what + QLatin1Char('.');
}

} // namespace PictureFormats
