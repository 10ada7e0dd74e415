// SPDX-License-Identifier: GPL-3.0-or-later
// A dropped folder's walk: natural order, a folder's own pictures before its
// subfolders', hidden entries and linked folders left out, and a stop.

#include "batch/picturepaths.h"
#include "testsupport.h"

using namespace TestSupport;

class PicturePathsTest : public QObject
{
    Q_OBJECT

private slots:
    void naturalOrder();
    void walk();
};

// Numbers by value, case ignored, a longer number later, the same value in a fixed order.
void PicturePathsTest::naturalOrder()
{
    const std::pair<QString, QString> pairs[] = { { "img2.jpg", "img10.jpg" },
        { "apple.jpg", "Banana.jpg" }, { "x9y", "x10a" }, { "A01.jpg", "a1.jpg" } };
    for (const auto &[a, b] : pairs) {
        QVERIFY(PicturePaths::naturalLess(a, b));
        QVERIFY(!PicturePaths::naturalLess(b, a));
    }
}

void PicturePathsTest::walk()
{
    QTemporaryDir dir;
    for (const char *name : { "top/b10.png", "top/b9.PNG", "top/notes.txt", "top/.hidden.png",
             "top/sub2/c.jpg", "top/sub10/d.jpg", "top/.dot/e.jpg", "else/f.png" }) {
        QVERIFY(QDir().mkpath(QFileInfo(dir.filePath(name)).path()));
        QVERIFY(writeFile(dir.filePath(name), "x"));
    }
    QVERIFY(QFile::link(dir.filePath("else"), dir.filePath("top/link")));
    QStringList found;
    QVERIFY(PicturePaths::walk(dir.filePath("top"), [&](const QString &path) {
        found << QDir(dir.path()).relativeFilePath(path);
        return true;
    }));
    QCOMPARE(
        found, (QStringList { "top/b9.PNG", "top/b10.png", "top/sub2/c.jpg", "top/sub10/d.jpg" }));
    found.clear();
    QVERIFY(!PicturePaths::walk(dir.filePath("top"), [&](const QString &path) {
        found << path;
        return found.size() < 2;
    }));
    QCOMPARE(found.size(), 2);
}

TARVELO_TEST_MAIN(PicturePathsTest)
#include "tst_picturepaths.moc"
