#include "decoder/decodecheck.h"

#include <QRegularExpression>

#include <tiffio.h>
#include <zlib.h>

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

QByteArray readAt(int fd, qint64 at, qint64 count)
{
    QByteArray bytes(int(count), Qt::Uninitialized);
    qint64 done = 0;
    while (done < count) {
        const ssize_t got
            = ::pread(fd, bytes.data() + done, size_t(count - done), off_t(at + done));
        if (got <= 0)
            break;
        done += got;
    }
    bytes.truncate(int(done));
    return bytes;
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
    // Run-length encoded pixel data has no size known in advance.
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

} // namespace

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
    return QString();
}

} // namespace DecodeCheck
