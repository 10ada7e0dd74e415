// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/decoderreply.h"

#include <QDataStream>

#include <cstring>
#include <new>

#include "common/boundedreader.h"

using namespace DecoderProtocol;

namespace DecoderReply {

namespace {

template <size_t N> QByteArray text(const char (&field)[N])
{
    return QByteArray(field, int(strnlen(field, N)));
}

template <size_t N> bool put(char (&field)[N], const QByteArray &value)
{
    if (value.size() >= int(N))
        return false;
    memcpy(field, value.constData(), size_t(value.size()));
    return true;
}

} // namespace

bool write(const Asked &asked, Request &request)
{
    request = Request();
    if (!put(request.reader, asked.reader))
        return false;
    request.budgetBytes = asked.budgetBytes;
    request.maxPixels = asked.maxPixels;
    if (asked.metadata) {
        const Metadata::Wanted &wanted = *asked.metadata;
        request.metadata = 1;
        // A suffix of no format that keeps metadata asks for none of it.
        put(request.outputFormat, Metadata::formatOf(wanted.suffix));
        request.keepMetadata = wanted.keep ? 1 : 0;
        request.withoutLocation = wanted.withoutLocation ? 1 : 0;
        const ResizeRule::Rule &resize = wanted.resize;
        request.resize = resize.enabled ? 1 : 0;
        request.resizeWidth = resize.box.width();
        request.resizeHeight = resize.box.height();
        request.resizeKeepsAspect = resize.keepAspectRatio ? 1 : 0;
        request.resizeShrinksOnly = resize.shrinkOnly ? 1 : 0;
    }
    if (!asked.fit.isEmpty()) {
        request.fitWidth = asked.fit.width();
        request.fitHeight = asked.fit.height();
        request.fitKeepsAspect = asked.fitKeepsAspect ? 1 : 0;
    }
    request.fields = asked.fields ? 1 : 0;
    if (!asked.render.isEmpty()) {
        request.renderWidth = asked.render.width();
        request.renderHeight = asked.render.height();
    }
    return true;
}

Asked read(const Request &request)
{
    Asked asked;
    asked.reader = text(request.reader);
    asked.budgetBytes = request.budgetBytes;
    asked.maxPixels = request.maxPixels;
    asked.fit = QSize(request.fitWidth, request.fitHeight);
    asked.fitKeepsAspect = request.fitKeepsAspect != 0;
    asked.fields = request.fields != 0;
    asked.render = QSize(request.renderWidth, request.renderHeight);
    if (request.metadata) {
        Metadata::Wanted wanted;
        wanted.suffix = QString::fromLatin1(text(request.outputFormat));
        wanted.keep = request.keepMetadata != 0;
        wanted.withoutLocation = request.withoutLocation != 0;
        wanted.resize.enabled = request.resize != 0;
        wanted.resize.box = QSize(request.resizeWidth, request.resizeHeight);
        wanted.resize.keepAspectRatio = request.resizeKeepsAspect != 0;
        wanted.resize.shrinkOnly = request.resizeShrinksOnly != 0;
        asked.metadata = wanted;
    }
    return asked;
}

QByteArray write(const Details &details)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << details.errorText.left(MaxErrorText) << details.colours << details.dotsX
        << details.dotsY;
    // As many texts as the program takes, in the order of their keys.
    QVector<QPair<QString, QString>> texts;
    int room = MaxTextChars;
    for (const auto &text : details.texts) {
        if (quint32(texts.size()) == MaxTexts || text.first.size() > MaxTextKey
            || text.second.size() > room)
            continue;
        texts.append(text);
        room -= text.second.size();
    }
    out << quint32(texts.size());
    for (const auto &text : texts)
        out << text.first << text.second;
    if (details.metadata || details.fields)
        out << details.metadata.value_or(QByteArray());
    if (details.fields)
        PictureFieldsWire::write(out, *details.fields);
    return bytes;
}

bool read(const char *data, qint64 size, Details &details)
{
    details = Details();
    BoundedReader in(data, size);
    // Out of memory on the way (16 MB at most), the details are lost like
    // malformed ones.
    try {
        details.errorText = in.string(MaxErrorText);
        details.colours.resize(int(in.count(256, 4)));
        for (QRgb &colour : details.colours)
            colour = in.u32();
        details.dotsX = in.i32();
        details.dotsY = in.i32();
        details.texts.resize(int(in.count(MaxTexts, 8)));
        for (auto &text : details.texts) {
            text.first = in.string(MaxTextKey);
            text.second = in.string(MaxTextChars);
        }
        if (!in.atEnd())
            details.metadata = in.bytes(DetailsRoom);
        if (!in.atEnd()) {
            PictureFields fields;
            if (PictureFieldsWire::read(in, fields))
                details.fields = fields;
        }
        return in.ok() && in.atEnd();
    } catch (const std::bad_alloc &) {
        return false;
    }
}

} // namespace DecoderReply
