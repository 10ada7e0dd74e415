// SPDX-License-Identifier: GPL-3.0-or-later
// Formats told by their signatures, and near misses that are no picture of
// the format they resemble.

#include "common/pictureformats.h"
#include "testsupport.h"

class PictureFormatsTest : public QObject
{
    Q_OBJECT

private slots:
    void identify_data();
    void identify();
};

void PictureFormatsTest::identify_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("reader"); // empty: none
    const QByteArray pad(40, '\0');
    // clang-format off
    QTest::newRow("WebP") << QByteArray("RIFF\x10\0\0\0WEBPVP8 ", 16) + pad << "" << "webp";
    QTest::newRow("RIFF wave") << QByteArray("RIFF\x10\0\0\0WAVEfmt ", 16) + pad << "webp" << "";
    QTest::newRow("PNG") << QByteArray("\x89PNG\r\n\x1a\n", 8) + pad << "" << "png";
    QTest::newRow("PNG cut in its signature") << QByteArray("\x89PNG\r\n\x1a", 7) << "png" << "";
    QTest::newRow("JPEG") << QByteArray("\xff\xd8\xff\xe0", 4) + pad << "" << "jpeg";
    QTest::newRow("PPM") << QByteArray("P6\n4 4\n255\n") + pad << "" << "ppm";
    QTest::newRow("P6 without white space") << QByteArray("P64 4\n255\n") + pad << "ppm" << "";
    QTest::newRow("TIFF") << QByteArray("II*\0", 4) + pad << "" << "tiff";
    QTest::newRow("TIFF turned round") << QByteArray("II\0*", 4) + pad << "tif" << "";
    // clang-format on
}

void PictureFormatsTest::identify()
{
    QFETCH(QByteArray, head);
    QFETCH(QString, suffix);
    QFETCH(QString, reader);
    const PictureFormats::Format *format = PictureFormats::identify(head, suffix);
    QCOMPARE(format ? QString(format->reader) : QString(), reader);
    QCOMPARE(PictureFormats::refusal("x." + suffix, head).isEmpty(), !reader.isEmpty());
}

TARVELO_TEST_MAIN(PictureFormatsTest)
#include "tst_pictureformats.moc"
