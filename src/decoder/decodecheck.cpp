// SPDX-License-Identifier: GPL-3.0-or-later
#include "decoder/decodecheck.h"

#include <QRegularExpression>

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <iterator>
#include <mutex>
#include <sys/stat.h>

#include "common/bytes.h"
#include "decoder/damagechecks.h"

namespace DecodeCheck {

namespace {

thread_local Listener *listening = nullptr;
QtMessageHandler previousHandler = nullptr;

void qtMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    // A colour profile Qt cannot parse ("Failed tag count sanity.") says
    // nothing about the pixels: the picture is sound, only its profile goes.
    if (listening && context.category && qstrncmp(context.category, "qt.gui.icc", 10) == 0)
        return;
    if (listening)
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

// The readers whose files have checks of their own, each with the bytes
// such a file starts with (a file without them is the reader's to refuse).
struct Check
{
    const char *reader;
    const char *magic;
    QString (*structure)(int fd, qint64 fileSize);
    QString (*decoded)(int fd, qint64 fileSize, const QSize &decoded);
    QString (*variant)(const QByteArray &head);
};

const Check checks[] = {
    { "bmp", "BM", DamageChecks::bmp, nullptr, DamageChecks::bmpVariant },
    { "png", "\x89PNG\r\n\x1a\n", DamageChecks::png, nullptr, nullptr },
    { "gif", "GIF8", DamageChecks::gif, nullptr, nullptr },
    { "ras", "\x59\xa6\x6a\x95", DamageChecks::sunRaster, nullptr, DamageChecks::sunRasterVariant },
    { "xbm", "", DamageChecks::xbm, nullptr, nullptr },
    { "xpm", "", DamageChecks::xpm, nullptr, nullptr },
    { "heif", "", DamageChecks::heifBoxes, DamageChecks::heifSize, nullptr },
    { "avif", "", DamageChecks::heifBoxes, DamageChecks::heifSize, nullptr },
};

// The check of `format`'s files when there is one and the file open at `fd`
// starts as they do; its size in `fileSize`, its first bytes in `head`.
const Check *checkOf(int fd, const QByteArray &format, qint64 &fileSize, QByteArray &head)
{
    const auto check = std::find_if(std::begin(checks), std::end(checks),
        [&](const Check &each) { return format == each.reader; });
    struct stat info;
    if (check == std::end(checks) || ::fstat(fd, &info) != 0)
        return nullptr;
    fileSize = info.st_size;
    head = Bytes::readAt(fd, 0, 64);
    return head.startsWith(check->magic) ? check : nullptr;
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

QString structuralDamage(int fd, const QByteArray &format)
{
    qint64 fileSize = 0;
    QByteArray head;
    const Check *check = checkOf(fd, format, fileSize, head);
    return check && check->structure ? check->structure(fd, fileSize) : QString();
}

QString sizeDamage(int fd, const QByteArray &format, const QSize &decoded)
{
    qint64 fileSize = 0;
    QByteArray head;
    const Check *check = checkOf(fd, format, fileSize, head);
    return check && check->decoded ? check->decoded(fd, fileSize, decoded) : QString();
}

QString unreadVariant(int fd, const QByteArray &format)
{
    qint64 fileSize = 0;
    QByteArray head;
    const Check *check = checkOf(fd, format, fileSize, head);
    return check && check->variant ? check->variant(head) : QString();
}

} // namespace DecodeCheck
