// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/records.h"

#include <QFile>

#include <cctype>

namespace Records {

QByteArray field(const QString &text)
{
    const QByteArray bytes = QFile::encodeName(text);
    QByteArray escaped;
    escaped.reserve(bytes.size());
    for (const char c : bytes) {
        const char *named = c == '\\' ? "\\\\"
            : c == '\t'               ? "\\t"
            : c == '\n'               ? "\\n"
            : c == '\r'               ? "\\r"
                                      : nullptr;
        if (named)
            escaped += named;
        else if (quint8(c) < 0x20 || c == 0x7f) // a terminal's escapes among them
            escaped += "\\x" + QByteArray(1, c).toHex();
        else
            escaped += c;
    }
    return escaped;
}

QString unfield(const QByteArray &field)
{
    QByteArray bytes;
    bytes.reserve(field.size());
    for (int i = 0; i < field.size(); ++i) {
        const char next = i + 1 < field.size() ? field[i + 1] : '\0';
        const char *escaped = field[i] != '\\' ? nullptr
            : next == 't'                      ? "\t"
            : next == 'n'                      ? "\n"
            : next == 'r'                      ? "\r"
            : next == '\\'                     ? "\\"
                                               : nullptr;
        if (field[i] == '\\' && next == 'x' && i + 3 < field.size() && isxdigit(field[i + 2])
            && isxdigit(field[i + 3])) {
            bytes += QByteArray::fromHex(field.mid(i + 2, 2));
            i += 3;
            continue;
        }
        if (escaped)
            ++i;
        bytes += escaped ? escaped[0] : field[i];
    }
    return QFile::decodeName(bytes);
}

QByteArray line(const QByteArray &kind, const QStringList &fields)
{
    QByteArray line = kind;
    for (const QString &text : fields)
        line += '\t' + field(text);
    return line + '\n';
}

Record parse(QByteArray line)
{
    if (line.endsWith('\r'))
        line.chop(1);
    QList<QByteArray> fields = line.split('\t');
    Record record;
    record.kind = fields.takeFirst();
    for (const QByteArray &each : fields)
        record.fields << unfield(each);
    return record;
}

} // namespace Records
