// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMap>
#include <QString>

#include <exiv2/exiv2.hpp>

// Every EXIF, IPTC and XMP value of an encoded file by key, its colour
// profile in hex as "icc" and its comment (a JPEG's COM segment, a PNG's
// "Comment" text) as "comment", read back with Exiv2.
inline QMap<QString, QString> exivValues(const QByteArray &file)
{
    auto image = Exiv2::ImageFactory::open(
        reinterpret_cast<const Exiv2::byte *>(file.constData()), long(file.size()));
    image->readMetadata();
    QMap<QString, QString> values;
    const auto take = [&values](const auto &records) {
        for (const auto &datum : records)
            values[QString::fromStdString(datum.key())] = QString::fromStdString(datum.toString());
    };
    take(image->exifData()), take(image->iptcData()), take(image->xmpData());
    const Exiv2::DataBuf *icc = image->iccProfile();
    values["icc"] = QByteArray(reinterpret_cast<char *>(icc->pData_), icc->size_).toHex();
    values["comment"] = QString::fromStdString(image->comment());
    const int text = file.indexOf(QByteArray("iTXtComment\0", 12));
    if (text > 0) {
        const int length = quint8(file[text - 2]) << 8 | quint8(file[text - 1]);
        values["comment"] = QString::fromUtf8(file.mid(text + 16, length - 12));
    }
    return values;
}
