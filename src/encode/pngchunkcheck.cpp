// SPDX-License-Identifier: GPL-3.0-or-later
// The PNG chunk checker: text chunks by the PNG rules for keywords and
// texts, and the one EXIF chunk a PNG may hold.

#include "common/inflate.h"
#include "encode/piecechecks.h"

namespace PieceChecks {

namespace {

// More text than any picture's metadata holds: a compressed text that
// inflates to more is refused rather than inflated on.
constexpr qint64 MaxInflated = 64LL * 1024 * 1024;

// Whether bytes fed in one piece after another are well-formed UTF-8: no
// stray or missing continuation bytes, no overlong forms, no surrogates,
// nothing past U+10FFFF.
class Utf8
{
public:
    void feed(const char *bytes, qint64 size)
    {
        for (qint64 k = 0; k < size && sound; ++k) {
            const quint8 byte = quint8(bytes[k]);
            if (needed > 0) {
                sound = (byte & 0xc0) == 0x80;
                value = value << 6 | (byte & 0x3f);
                if (--needed == 0)
                    sound = sound && value >= least && value <= 0x10ffff
                        && (value < 0xd800 || value > 0xdfff);
                continue;
            }
            needed = byte < 0x80              ? 0
                : byte >= 0xc2 && byte < 0xe0 ? 1
                : byte >= 0xe0 && byte < 0xf0 ? 2
                : byte >= 0xf0 && byte < 0xf5 ? 3
                                              : -1;
            if (needed < 0) {
                sound = false;
                return;
            }
            value = byte & (0x3f >> needed);
            least = needed == 1 ? 0x80 : needed == 2 ? 0x800 : 0x10000;
        }
    }
    bool ok() const { return sound && needed == 0; }

private:
    int needed = 0;
    quint32 value = 0, least = 0;
    bool sound = true;
};

// Whether `compressed` is one whole zlib stream; its inflated bytes go to
// `utf8` when it is given.
bool inflates(const QByteArray &compressed, Utf8 *utf8)
{
    const Inflate::Result result
        = Inflate::stream(compressed, MaxInflated, false, [utf8](const char *bytes, qint64 count) {
              if (utf8)
                  utf8->feed(bytes, count);
          });
    return result.ended && !result.trailing;
}

// Why `keyword` breaks the PNG rules; empty when it keeps them.
QString keywordFault(const QByteArray &keyword)
{
    if (keyword.isEmpty())
        return QStringLiteral("its keyword is empty");
    if (keyword.size() > 79)
        return QStringLiteral("its keyword is longer than 79 characters");
    for (const char c : keyword)
        if (quint8(c) < 0x20 || (quint8(c) > 0x7e && quint8(c) < 0xa1))
            return QStringLiteral("its keyword holds a character that is not printable");
    if (keyword.startsWith(' ') || keyword.endsWith(' ') || keyword.contains("  "))
        return QStringLiteral("its keyword has a leading, trailing or double space");
    return QString();
}

// Why the text chunk `chunk` breaks the PNG rules; empty when it keeps
// them. After the keyword and its NUL: the text (tEXt); the compression
// method and the compressed text (zTXt); the compression flag and method,
// the language tag, the translated keyword and the text (iTXt).
QString textFault(const Metadata::Chunk &chunk)
{
    const QByteArray &data = chunk.data;
    const int end = data.indexOf('\0');
    if (end < 0)
        return QStringLiteral("it has no end to its keyword");
    const QString keyword = keywordFault(data.left(end));
    if (!keyword.isEmpty())
        return keyword;
    if (chunk.type == "tEXt")
        return data.indexOf('\0', end + 1) < 0 ? QString() : QStringLiteral("its text holds a NUL");
    if (chunk.type == "zTXt")
        return data.size() > end + 1 && data.at(end + 1) == 0
                && inflates(data.mid(end + 2), nullptr)
            ? QString()
            : QStringLiteral("its compressed text does not inflate");
    // iTXt
    if (data.size() < end + 3 || quint8(data.at(end + 1)) > 1 || data.at(end + 2) != 0)
        return QStringLiteral("its compression is none that PNG has");
    const bool compressed = data.at(end + 1) == 1;
    const int language = end + 3;
    const int languageEnd = data.indexOf('\0', language);
    const int translatedEnd = languageEnd < 0 ? -1 : data.indexOf('\0', languageEnd + 1);
    if (translatedEnd < 0)
        return QStringLiteral("it lacks its language or translated keyword");
    for (const char c : data.mid(language, languageEnd - language))
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
                || c == '-'))
            return QStringLiteral("its language tag is none");
    Utf8 translated, text;
    translated.feed(data.constData() + languageEnd + 1, translatedEnd - languageEnd - 1);
    const QByteArray rest = data.mid(translatedEnd + 1);
    if (compressed && !inflates(rest, &text))
        return QStringLiteral("its compressed text does not inflate");
    if (!compressed)
        text.feed(rest.constData(), rest.size());
    return translated.ok() && text.ok() ? QString() : QStringLiteral("its text is not UTF-8");
}

// A text chunk's keyword as the log may show it.
QString keywordShown(const QByteArray &data)
{
    const int end = data.indexOf('\0');
    const QByteArray keyword = data.left(end < 0 ? data.size() : end);
    QString shown;
    for (const char c : keyword.left(40))
        shown += quint8(c) >= 0x20 && quint8(c) != 0x7f ? QChar(quint8(c)) : QChar('?');
    return keyword.size() > 40 ? shown + QStringLiteral("...") : shown;
}

} // namespace

std::vector<Verdict> pngChunks(const std::vector<Metadata::Chunk> &chunks)
{
    std::vector<Verdict> verdicts;
    bool exif = false;
    for (const Metadata::Chunk &chunk : chunks) {
        if (chunk.type == "eXIf") {
            verdicts.push_back({ QStringLiteral("its EXIF"),
                exif ? QStringLiteral("a PNG holds one eXIf chunk, this was a second")
                     : exifFault(chunk.data) });
            exif = true;
        } else if (chunk.type == "tEXt" || chunk.type == "zTXt" || chunk.type == "iTXt") {
            verdicts.push_back(
                { QStringLiteral("its PNG text \"%1\"").arg(keywordShown(chunk.data)),
                    textFault(chunk) });
        } else {
            verdicts.push_back(
                { QStringLiteral("its PNG chunk"), QStringLiteral("it is no text or EXIF chunk") });
        }
    }
    return verdicts;
}

} // namespace PieceChecks
