// SPDX-License-Identifier: GPL-3.0-or-later
// Logos read from their files: an SVG drawing rendered by the decoder
// process at exactly the size it is stamped at, against QtSvg's own
// rendering here; drawings that are malformed or hostile refused with
// their reason.

#include <QSvgRenderer>

#include <cmath>

#include "batch/logofile.h"
#include "testsupport.h"

using namespace TestSupport;

class LogoFileTest : public QObject
{
    Q_OBJECT

private slots:
    void drawnAtItsSize_data();
    void drawnAtItsSize();
    void refusesWhatIsNotADrawing_data();
    void refusesWhatIsNotADrawing();

private:
    QTemporaryDir dir;
};

namespace {

const QByteArray drawing = R"svg(<?xml version="1.0"?>
<!DOCTYPE svg PUBLIC "-//W3C//DTD SVG 1.1//EN" "http://www.w3.org/Graphics/SVG/1.1/DTD/svg11.dtd" [
  <!ENTITY ns_svg "http://www.w3.org/2000/svg">
]>
<svg xmlns="&ns_svg;" width="120" height="60" viewBox="0 0 120 60">
  <defs><linearGradient id="g"><stop offset="0" stop-color="#1060c0"/><stop offset="1" stop-color="#e03030"/></linearGradient></defs>
  <rect x="2" y="2" width="116" height="56" rx="10" fill="url(#g)" stroke="#fff" stroke-width="1.5"/>
  <circle cx="30" cy="30" r="18" fill="#ffcc00" opacity="0.8"/>
  <path d="M60 15 Q85 5 110 15 L85 50 Z" fill="#204020"/>
</svg>
)svg";

QByteArray gzipped(const QByteArray &bytes)
{
    QProcess gzip;
    gzip.start("gzip", { "-c" });
    gzip.write(bytes);
    gzip.closeWriteChannel();
    return gzip.waitForFinished() ? gzip.readAllStandardOutput() : QByteArray();
}

// The peak signal-to-noise ratio of `a` against `b` over their colour
// channels, in dB, where `b` lies.
double psnr(const QImage &a, const QImage &b)
{
    double squared = 0;
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (const int d : { qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q) })
                squared += d * d;
        }
    const double mean = squared / (3.0 * b.width() * b.height());
    return mean == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mean);
}

} // namespace

void LogoFileTest::drawnAtItsSize_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<double>("scale");
    QTest::newRow("svg at 3") << "logo.svg" << drawing << 3.0;
    QTest::newRow("svgz at 3") << "logo.svgz" << gzipped(drawing) << 3.0;
    QTest::newRow("svg at 0.37") << "logo.svg" << drawing << 0.37;
}

// Stamped at its scale, the drawing is what QtSvg draws at that very size,
// not its own size enlarged: a picture of its own size scaled up falls
// short of that.
void LogoFileTest::drawnAtItsSize()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(double, scale);
    QVERIFY(writeFile(dir.filePath(name), bytes));
    const LogoFile::Loaded loaded = LogoFile::load(dir.filePath(name));
    QVERIFY2(!loaded.logo.isNull(), qPrintable(loaded.read.errorText));
    QCOMPARE(loaded.logo.size(), QSize(120, 60));
    QVERIFY(loaded.logo.isDrawing());

    StampOptions options;
    options.shadowHeight = 0;
    options.logoScale = scale;
    QImage white(500, 300, QImage::Format_ARGB32);
    white.fill(Qt::white);
    const QSize drawn(int(120 * scale), int(60 * scale));
    const auto stamp = [&](const Stamp::Logo &logo) {
        return Stamp::composeTwice(white, {}, options, QFont(), Qt::white, logo,
            Qt::SmoothTransformation).image.copy(QRect(QPoint(), drawn + QSize(4, 0)));
    };
    const QImage stamped = stamp(loaded.logo);
    QImage reference = white.copy(QRect(QPoint(), drawn));
    QPainter painter(&reference);
    QSvgRenderer(drawing).render(&painter, QRectF(QPointF(), QSizeF(drawn)));
    painter.end();
    const double sharp = psnr(stamped, reference);
    QVERIFY2(sharp >= 30, qPrintable(QString::number(sharp)));
    QCOMPARE(stamped.pixel(drawn.width() + 2, drawn.height() / 2), qRgb(255, 255, 255));
    if (scale > 1)
        QVERIFY(psnr(stamp(loaded.logo.look().scaled(120, 60)), reference) < sharp - 3);
}

void LogoFileTest::refusesWhatIsNotADrawing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");
    const QByteArray svg
        = "<svg xmlns=\"http://www.w3.org/2000/svg\" "
          "xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"10\" height=\"10\">";
    QByteArray laughs = "<?xml version=\"1.0\"?><!DOCTYPE svg [<!ENTITY a \"aaaaaaaaaa\">";
    for (char c = 'b'; c <= 'j'; ++c)
        laughs += QByteArray("<!ENTITY ") + c + " \""
            + QByteArray("&").append(char(c - 1)).append(';').repeated(10) + "\">";
    laughs += "]>" + svg + "<desc>&j;</desc></svg>";
    const QByteArray wide = "<!DOCTYPE svg [<!ENTITY e \"" + QByteArray(4000, 'e') + "\">]>" + svg
        + "<desc>" + QByteArray("&e;").repeated(1000) + "</desc></svg>";
    const QString picture = dir.filePath("secret.png");
    QVERIFY(writeFile(picture, encode(photoLike(10, 10), "png")));
    // clang-format off
    QTest::newRow("unclosed tags") << svg + "<g><rect width=\"5\" height=\"5\"/>" << "its XML is malformed: Premature end of document (line 1)";
    QTest::newRow("entity bomb") << laughs << "its entities expand to more than 1000000 characters";
    QTest::newRow("many references") << wide << "its entities expand to more than 1000000 characters";
    QTest::newRow("a file beside it") << svg + "<image xlink:href=\"" + picture.toUtf8() + "\" width=\"10\" height=\"10\"/></svg>"
        << "it refers to something outside itself (" + picture + ")";
    QTest::newRow("an external entity") << "<!DOCTYPE svg [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>" + svg + "<desc>&x;</desc></svg>"
        << "it refers to something outside itself (file:///etc/passwd)";
    QTest::newRow("a style sheet's address") << svg + "<style>rect { fill: url( 'http://example.org/a.svg#p' ) }</style></svg>"
        << "it refers to something outside itself (http://example.org/a.svg#p)";
    QTest::newRow("an embedded picture of another kind") << svg + "<image href=\"data:image/gif;base64,R0lGODlhAQABAAAAACw=\"/></svg>"
        << "it holds an embedded picture that is neither PNG nor JPEG";
    QTest::newRow("text") << svg + "<text>Ann</text></svg>" << "it holds text, which is drawn only as outlines (paths)";
    QTest::newRow("not a drawing") << QByteArray("<html><body/></html>") << "it holds no SVG drawing";
    QTest::newRow("damaged packing") << gzipped(drawing).left(100) << "its packed data is damaged";
    QTest::newRow("no size") << QByteArray("<svg xmlns=\"http://www.w3.org/2000/svg\"/>") << "it states no size";
    // clang-format on
}

// Each costs the logo, with its reason; no decoder crashes or runs out of
// time on the way, and nothing it names is read.
void LogoFileTest::refusesWhatIsNotADrawing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    const QString name
        = QTest::currentDataTag() == QString("damaged packing") ? "bad.svgz" : "bad.svg";
    QVERIFY(writeFile(dir.filePath(name), bytes));
    const LogoFile::Loaded loaded = LogoFile::load(dir.filePath(name));
    QVERIFY(loaded.logo.isNull());
    QCOMPARE(loaded.read.status, PictureIO::ReadStatus::Unreadable);
    QCOMPARE(loaded.read.errorText, name + " could not be read: " + reason + ".");
}

TARVELO_TEST_MAIN(LogoFileTest)
#include "tst_logofile.moc"
