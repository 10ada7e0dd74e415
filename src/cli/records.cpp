// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/records.h"

#include <QFile>

namespace Records {

QByteArray field(const QString &text)
{
    QByteArray bytes = QFile::encodeName(text);
    bytes.replace('\\', "\\\\").replace('\t', "\\t").replace('\n', "\\n").replace('\r', "\\r");
    return bytes;
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
