// SPDX-License-Identifier: GPL-3.0-or-later
#include "decoder/drawing.h"

#include <QHash>
#include <QPainter>
#include <QRegularExpression>
#include <QSet>
#include <QSvgRenderer>
#include <QXmlStreamReader>

#include <functional>

#include <sys/stat.h>

#include "common/budget.h"
#include "common/bytes.h"
#include "common/drawingreasons.h"
#include "common/inflate.h"
#include "common/pictureformats.h"
#include "decoder/decodecheck.h"

namespace Drawing {

namespace {

// The most characters one entity may stand for once expanded, nested
// entities included: plenty for the namespace names a drawing program
// declares as entities, nothing like a billion laughs.
constexpr int EntityChars = 4096;
// The most text all references to entities in a drawing may stand for:
// many references to an entity of a few kilobytes are a bomb as well, and
// the XML reader would build all of it before a word of it could be looked
// at.
constexpr qint64 ExpandedChars = 1000 * 1000;

// The decoder's reasons are in English; the program shows them in the
// user's language (common/drawingreasons.h).
QString reason(const char *sentence)
{
    return QString::fromLatin1(sentence);
}

QString outside(const QString &reference)
{
    QString shown = reference.simplified();
    if (shown.size() > 80)
        shown = shown.left(77) + QStringLiteral("...");
    return reason(DrawingReasons::Outside).arg(shown);
}

// A picture embedded as a data address, "data:image/png;base64,...": what
// it holds must be a PNG or JPEG picture by its signature.
bool soundEmbedded(const QString &address)
{
    static const QRegularExpression form(QStringLiteral("^data:image/(png|jpeg|jpg);base64,"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = form.match(address);
    if (!match.hasMatch())
        return false;
    const QByteArray head
        = QByteArray::fromBase64(address.mid(match.capturedLength()).left(64).toLatin1());
    return head.startsWith("\x89PNG\r\n\x1a\n") || head.startsWith("\xff\xd8\xff");
}

// The first reference in `text` (an attribute's value or a style sheet)
// that leads outside the drawing: url(...) to anything but one of its own
// elements, or a style sheet's @import.
QString outsideReference(const QString &text)
{
    static const QRegularExpression url(QStringLiteral("url\\s*\\(\\s*['\"]?\\s*([^'\"\\s)]*)"),
        QRegularExpression::CaseInsensitiveOption);
    for (auto found = url.globalMatch(text); found.hasNext();) {
        const QString target = found.next().captured(1);
        if (!target.startsWith(QLatin1Char('#')))
            return target.isEmpty() ? QStringLiteral("url()") : target;
    }
    if (text.contains(QLatin1String("@import"), Qt::CaseInsensitive))
        return QStringLiteral("@import");
    return QString();
}

const QSet<QString> &textElements()
{
    static const QSet<QString> names { QStringLiteral("text"), QStringLiteral("tspan"),
        QStringLiteral("textPath"), QStringLiteral("tref"), QStringLiteral("flowRoot"),
        QStringLiteral("flowPara"), QStringLiteral("textArea") };
    return names;
}

// How many characters the references to the entities that `svg` declares
// stand for, all of them expanded, or a little more than ExpandedChars when
// it is more than that. Counted on the text itself, before it is parsed.
qint64 entitiesExpanded(const QByteArray &svg)
{
    // The declarations are all in the document type, before the first
    // element.
    QHash<QString, QString> declared;
    QXmlStreamReader head(svg);
    while (!head.atEnd() && head.readNext() != QXmlStreamReader::StartElement) {
        if (head.tokenType() == QXmlStreamReader::DTD)
            for (const QXmlStreamEntityDeclaration &entity : head.entityDeclarations())
                declared.insert(entity.name().toString(), entity.value().toString());
    }
    if (declared.isEmpty())
        return 0;
    static const QRegularExpression reference(QStringLiteral("&([A-Za-z_:][A-Za-z0-9_.:-]*);"));
    QHash<QString, qint64> length;
    // An entity's length with the references in its own value expanded;
    // a circle counts as too long.
    std::function<qint64(const QString &, int)> lengthOf = [&](const QString &name, int depth) {
        if (length.contains(name))
            return length.value(name);
        if (depth > 16)
            return ExpandedChars + 1;
        const QString value = declared.value(name);
        qint64 total = value.size();
        for (auto found = reference.globalMatch(value);
             found.hasNext() && total <= ExpandedChars;) {
            const QRegularExpressionMatch match = found.next();
            if (declared.contains(match.captured(1)))
                total += lengthOf(match.captured(1), depth + 1) - match.capturedLength();
        }
        length.insert(name, std::min(total, ExpandedChars + 1));
        return length.value(name);
    };
    qint64 total = 0;
    const QString text = QString::fromUtf8(svg);
    for (auto found = reference.globalMatch(text); found.hasNext() && total <= ExpandedChars;) {
        const QString name = found.next().captured(1);
        if (declared.contains(name))
            total += lengthOf(name, 0);
    }
    return total;
}

} // namespace

QString problem(const QByteArray &svg)
{
    QXmlStreamReader xml(svg);
    xml.setEntityExpansionLimit(EntityChars);
    bool seenRoot = false;
    int inStyle = 0;
    if (entitiesExpanded(svg) > ExpandedChars)
        return reason(DrawingReasons::EntityBomb).arg(ExpandedChars);
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::DTD:
            // An entity that stands for a file or an address would be left
            // out silently: it is refused instead.
            for (const QXmlStreamEntityDeclaration &entity : xml.entityDeclarations())
                if (!entity.systemId().isEmpty() || !entity.publicId().isEmpty())
                    return outside(entity.systemId().isEmpty() ? entity.publicId().toString()
                                                               : entity.systemId().toString());
            break;
        case QXmlStreamReader::ProcessingInstruction:
            if (xml.processingInstructionTarget() == QLatin1String("xml-stylesheet"))
                return outside(xml.processingInstructionData().toString());
            break;
        case QXmlStreamReader::StartElement: {
            if (!seenRoot && xml.name() != QLatin1String("svg"))
                return reason(DrawingReasons::NoDrawing);
            seenRoot = true;
            // Text needs fonts, and the decoder can open no font file: a
            // logo's lettering is drawn when it is turned into outlines.
            if (textElements().contains(xml.name().toString()))
                return reason(DrawingReasons::HoldsText);
            if (inStyle > 0 || xml.name() == QLatin1String("style"))
                ++inStyle;
            for (const QXmlStreamAttribute &attribute : xml.attributes()) {
                const QString value = attribute.value().toString().trimmed();
                if (attribute.name() == QLatin1String("href")) {
                    if (value.startsWith(QLatin1Char('#')))
                        continue;
                    if (!value.startsWith(QLatin1String("data:"), Qt::CaseInsensitive))
                        return outside(value);
                    if (!soundEmbedded(value))
                        return reason(DrawingReasons::ForeignPicture);
                    continue;
                }
                const QString reference = outsideReference(value);
                if (!reference.isEmpty())
                    return outside(reference);
            }
            break;
        }
        case QXmlStreamReader::EndElement:
            if (inStyle > 0)
                --inStyle;
            break;
        case QXmlStreamReader::Characters:
            if (inStyle > 0) {
                const QString reference = outsideReference(xml.text().toString());
                if (!reference.isEmpty())
                    return outside(reference);
            }
            break;
        default:
            break;
        }
    }
    if (xml.hasError()) {
        QString error = xml.errorString().trimmed();
        while (error.endsWith(QLatin1Char('.')))
            error.chop(1);
        return reason(DrawingReasons::Malformed).arg(error, QString::number(xml.lineNumber()));
    }
    if (!seenRoot)
        return reason(DrawingReasons::NoDrawing);
    return QString();
}

QByteArray unpacked(const QByteArray &bytes, QString *why)
{
    if (!bytes.startsWith("\x1f\x8b"))
        return bytes;
    QByteArray text;
    const Inflate::Result result = Inflate::stream(bytes, PictureFormats::MaxDrawingBytes, true,
        [&text](const char *piece, qint64 count) { text.append(piece, int(count)); });
    if (!result.started) {
        *why = reason(DrawingReasons::OutOfMemory);
        return QByteArray();
    }
    if (result.produced > PictureFormats::MaxDrawingBytes) {
        *why = reason(DrawingReasons::UnpacksTooLarge).arg(PictureFormats::MaxDrawingBytes >> 20);
        return QByteArray();
    }
    if (!result.ended) {
        *why = reason(DrawingReasons::PackingDamaged);
        return QByteArray();
    }
    return text;
}

Decoded render(int fd, QSize size, qint64 budgetBytes, qint64 maxPixels)
{
    Decoded result;
    struct stat info;
    if (::fstat(fd, &info) != 0 || info.st_size > PictureFormats::MaxDrawingBytes) {
        result.errorText
            = reason(DrawingReasons::TooLarge).arg(PictureFormats::MaxDrawingBytes >> 20);
        return result;
    }
    QString why;
    const QByteArray svg = unpacked(Bytes::readAt(fd, 0, info.st_size), &why);
    if (why.isEmpty())
        why = problem(svg);
    if (!why.isEmpty()) {
        result.errorText = why;
        return result;
    }
    // What QtSvg says about what it cannot draw stays off the console.
    DecodeCheck::Listener listener;
    QSvgRenderer renderer(svg);
    const QSize own = renderer.isValid() ? renderer.defaultSize() : QSize();
    if (!renderer.isValid() || own.isEmpty()) {
        result.errorText
            = reason(renderer.isValid() ? DrawingReasons::NoSize : DrawingReasons::NotDrawable);
        return result;
    }
    if (own.width() > PictureFormats::MaxDrawingSide
        || own.height() > PictureFormats::MaxDrawingSide) {
        result.errorText = reason(DrawingReasons::SizeTooLarge).arg(PictureFormats::MaxDrawingSide);
        return result;
    }
    result.drawing = own;
    result.claimed = size.isEmpty() ? own.scaled(PictureFormats::DrawingLookSide,
                                             PictureFormats::DrawingLookSide, Qt::KeepAspectRatio)
                                          .expandedTo(QSize(1, 1))
                                    : size;
    if (!Budget::fits(result.claimed, budgetBytes)
        || !Budget::withinCap(result.claimed, maxPixels)) {
        result.tooLarge = true;
        return result;
    }
    QImage image(result.claimed, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        result.errorText = reason(DrawingReasons::OutOfMemory);
        return result;
    }
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(result.claimed)));
    painter.end();
    result.image = image;
    return result;
}

} // namespace Drawing
