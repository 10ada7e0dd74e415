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

// `exif` as Exiv2 writes an EXIF block of any size: a TIFF structure of its own.
inline QByteArray exivBlock(const Exiv2::ExifData &exif, Exiv2::ByteOrder order)
{
    Exiv2::MemIo io;
    Exiv2::TiffParser::encode(io, nullptr, 0, order, exif, {}, {});
    QByteArray block(int(io.size()), '\0');
    io.seek(0, Exiv2::BasicIo::beg);
    io.read(reinterpret_cast<Exiv2::byte *>(block.data()), long(block.size()));
    return block;
}
