// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch/batchlog.h"

#include <QCoreApplication>

#include "io/pictureio.h"

namespace BatchLog {

// The window shows these lines in the user's language; tarvelo-cli, whose
// result lines carry some of them, installs no translation for them.
static QString tr(const char *text)
{
    return QCoreApplication::translate("BatchLog", text);
}

QString progressLine(
    const QString &baseName, const QString &suffix, bool written, int position, int total)
{
    return baseName + QLatin1Char('.') + suffix
        + (written ? tr(" ... OK! (") : tr(" ... Failed! (")) + QString::number(position)
        + tr(" of ") + QString::number(total) + QLatin1Char(')');
}

QString runSummary(int stamped, int failed)
{
    const int total = stamped + failed;
    return tr("%1 of %2 %3 stamped, %4 failed.")
        .arg(stamped)
        .arg(total)
        .arg(total == 1 ? tr("picture") : tr("pictures"))
        .arg(failed);
}

QString overwriteWarning(const QString &folder, const QString &baseName, const QString &suffix,
    const QString &writtenPath)
{
    return tr("<b><font color=\"#ffc90e\">Warning</font></b> - File ") + folder.toHtmlEscaped()
        + QLatin1Char('/') + baseName.toHtmlEscaped() + QLatin1Char('.') + suffix.toHtmlEscaped()
        + tr(" saved with new name ") + writtenPath.toHtmlEscaped()
        + tr(" to avoid overwrite because it already existed!");
}

static QString sizeText(const QSize &size)
{
    return tr("%1 x %2 pixels").arg(size.width()).arg(size.height());
}

QString tooLarge(const QString &fileName, const QSize &size, qint64 bytesNeeded,
    qint64 bytesAvailable)
{
    constexpr qint64 megabyte = 1024 * 1024;
    return tr("%1 is too large to stamp: %2 needs %3 MB, %4 MB are available.")
        .arg(fileName, sizeText(size))
        .arg((bytesNeeded + megabyte - 1) / megabyte)
        .arg(bytesAvailable / megabyte);
}

QString outOfMemory(const QString &fileName, const QSize &size)
{
    return tr("%1 (%2) could not be stamped: not enough memory.").arg(fileName, sizeText(size));
}

// The decoders' own sentences may end in a full stop already.
static QString sentence(const QString &text)
{
    QString trimmed = text.trimmed();
    while (trimmed.endsWith(QLatin1Char('.')))
        trimmed.chop(1);
    return trimmed;
}

QString damaged(const QString &fileName, const QString &what)
{
    return tr("%1 is damaged: %2.").arg(fileName, sentence(what));
}

QString metadataLost(const QString &fileName, const QString &reason)
{
    return tr("%1: its metadata could not be carried over (%2).").arg(fileName, sentence(reason));
}

QString outside(const QString &fileName, const Stamp::Composition &stamped)
{
    const QRect picture = stamped.image.rect();
    const auto out
        = [&picture](const QRect &drawn) { return !drawn.isEmpty() && !picture.contains(drawn); };
    const bool text = out(stamped.textArea), logo = out(stamped.logoArea);
    if (!text && !logo)
        return QString();
    return (text && logo ? tr("%1: the text and the logo lie outside the picture.")
            : text       ? tr("%1: the text lies outside the picture.")
                         : tr("%1: the logo lies outside the picture."))
        .arg(fileName);
}

QString refusal(const PictureIO::ReadResult &read, const QString &fileName)
{
    switch (read.status) {
    case PictureIO::ReadStatus::Ok:
        return QString();
    case PictureIO::ReadStatus::TooLarge:
        if (read.pixelLimit > 0)
            return tr("%1 is too large to stamp: %2 are more than the %3 megapixels "
                      "allowed for one picture.")
                .arg(fileName, sizeText(read.size))
                .arg(read.pixelLimit / 1000000);
        return tooLarge(fileName, read.size, read.bytesNeeded, read.bytesAvailable);
    case PictureIO::ReadStatus::Damaged:
        return damaged(fileName, read.errorText);
    default:
        return read.errorText.isEmpty() ? tr("Unknown error") : read.errorText;
    }
}

QString unknownFields(const QStringList &fields)
{
    // A warning, not a result: tarvelo-cli says it in the user's language
    // too, by this context.
    return fields.size() == 1
        ? QCoreApplication::translate(
            "Fields", "The watermark text holds the unknown field %1: it is stamped as typed.")
              .arg(fields.first())
        : QCoreApplication::translate(
            "Fields", "The watermark text holds the unknown fields %1: they are stamped as typed.")
              .arg(fields.join(QStringLiteral(", ")));
}

} // namespace BatchLog
