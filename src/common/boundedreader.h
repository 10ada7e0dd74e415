// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QtEndian>

#include <cstring>

// Reads what a QDataStream (Qt 5.15, big-endian) wrote, field by field, from
// bytes that may have been made by anyone: every count and length is checked
// against the bytes that are really there and against a limit of the
// caller's before anything is allocated. (QDataStream itself reserves room
// for a container by the count it reads: a count of a billion costs gigabytes
// before the first element is missing.) After the first bad field every
// read fails and ok() stays false.
class BoundedReader
{
public:
    BoundedReader(const char *data, qint64 size)
        : data(data)
        , size(size)
    {
    }

    bool ok() const { return sound; }
    bool atEnd() const { return at >= size; }

    quint32 u32()
    {
        if (!take(4))
            return 0;
        return qFromBigEndian<quint32>(data + at - 4);
    }
    qint32 i32() { return qint32(u32()); }
    double f64()
    {
        if (!take(8))
            return 0;
        const quint64 bits = qFromBigEndian<quint64>(data + at - 8);
        double value;
        memcpy(&value, &bits, sizeof value);
        return value;
    }
    // A QByteArray of at most `limit` bytes; a longer one is malformed.
    QByteArray bytes(qint64 limit)
    {
        const quint32 length = u32();
        if (!sound || length == 0xffffffffu)
            return QByteArray();
        if (qint64(length) > limit)
            sound = false;
        if (!take(length))
            return QByteArray();
        return QByteArray(data + at - length, int(length));
    }
    // A QString of at most `limit` characters; a longer one is malformed.
    QString string(qint64 limit)
    {
        const quint32 length = u32();
        if (!sound || length == 0xffffffffu)
            return QString();
        if (length % 2 || qint64(length / 2) > limit)
            sound = false;
        if (!take(length))
            return QString();
        QString text(int(length / 2), Qt::Uninitialized);
        qFromBigEndian<ushort>(data + at - length, length / 2, text.data());
        return text;
    }
    // A count of at most `limit` elements of at least `elementBytes` each.
    quint32 count(quint32 limit, qint64 elementBytes)
    {
        const quint32 value = u32();
        if (sound && (value > limit || qint64(value) * elementBytes > size - at))
            sound = false;
        return sound ? value : 0;
    }

private:
    bool take(qint64 bytes)
    {
        if (!sound || bytes < 0 || bytes > size - at) {
            sound = false;
            return false;
        }
        at += bytes;
        return true;
    }

    const char *data;
    qint64 size;
    qint64 at = 0;
    bool sound = true;
};
