// SPDX-License-Identifier: GPL-3.0-or-later
// Where a stamped copy goes: its place under the folder it was found in, and
// that place made inside the output folder, never through a link out of it.

#include <QtTest>

#include <sys/mount.h>

#include "batch/batchoptions.h"
#include "batch/outputnames.h"
#include "io/outputfiles.h"
#include "testsupport.h"

using namespace TestSupport;

class OutputNamesTest : public QObject
{
    Q_OBJECT

private slots:
    void keptFolder_data();
    void keptFolder();
    void fileName_data();
    void fileName();
};

void OutputNamesTest::keptFolder_data()
{
    QTest::addColumn<QString>("root"); // the folder walked; empty: listed on its own
    QTest::addColumn<QString>("picture");
    // In the output: "name/" a folder, "name!" a read-only one, "name>" a
    // link out of it, "name" a file.
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QString>("folder"); // inside the output folder
    QTest::addColumn<QString>("refusal"); // what the refusal or error holds; empty: none
    const QString outside = "lie inside the folder it was found in";
    // clang-format off
    QTest::newRow("nested") << "/p/event" << "/p/event/day 1/raw/a.jpg" << QStringList() << "day 1/raw" << "";
    QTest::newRow("top of the walk") << "/p/event" << "/p/event/a.jpg" << QStringList() << "" << "";
    QTest::newRow("listed on its own") << "" << "/p/event/day 1/a.jpg" << QStringList() << "" << "";
    QTest::newRow("relative") << "event" << "event/./day1/a.jpg" << QStringList() << "day1" << "";
    QTest::newRow("current folder") << "." << "day1/a.jpg" << QStringList() << "day1" << "";
    QTest::newRow("root of the disk") << "/" << "/day1/a.jpg" << QStringList() << "day1" << "";
    QTest::newRow("folder there already") << "/p/e" << "/p/e/day1/a.jpg" << QStringList { "day1/" } << "day1" << "";
    QTest::newRow("climbs out") << "/p/event" << "/p/event/../other/a.jpg" << QStringList() << "" << outside;
    QTest::newRow("climbs above the current folder") << "." << "../a.jpg" << QStringList() << "" << outside;
    QTest::newRow("a name that only begins alike") << "/p/event" << "/p/event2/a.jpg" << QStringList() << "" << outside;
    QTest::newRow("absolute under relative") << "event" << "/p/event/a.jpg" << QStringList() << "" << outside;
    QTest::newRow("link out of the output") << "/p/e" << "/p/e/day1/a.jpg" << QStringList { "day1>" } << "" << "is a symbolic link";
    QTest::newRow("link deeper down") << "/p/e" << "/p/e/day1/raw/a.jpg" << QStringList { "day1/", "day1/raw>" } << "" << "is a symbolic link";
    QTest::newRow("a file in the way") << "/p/e" << "/p/e/day1/a.jpg" << QStringList { "day1" } << "" << "is not a folder";
    QTest::newRow("read-only folder") << "/p/e" << "/p/e/day1/raw/a.jpg" << QStringList { "day1!" } << "" << "/day1: " + qt_error_string(EROFS);
    // clang-format on
}

void OutputNamesTest::keptFolder()
{
    QFETCH(QString, root);
    QFETCH(QString, picture);
    QFETCH(QStringList, present);
    QFETCH(QString, folder);
    QFETCH(QString, refusal);
    QTemporaryDir out, elsewhere;
    std::shared_ptr<void> unmount; // when the case ends
    for (const QString &entry : present) {
        const bool marked = QString("/>!").contains(entry.back());
        const QString path = out.filePath(marked ? entry.chopped(1) : entry);
        QVERIFY(entry.endsWith('>') ? QFile::link(elsewhere.path(), path)
                : marked            ? QDir().mkpath(path)
                                    : writeFile(path, "x"));
        // A read-only file system stops root too.
        if (entry.endsWith('!') && ::mount("tmpfs", qPrintable(path), "tmpfs", MS_RDONLY, 0) != 0)
            QSKIP("cannot mount a small file system here");
        else if (entry.endsWith('!'))
            unmount.reset(&elsewhere, [path](void *) { ::umount2(qPrintable(path), MNT_DETACH); });
    }

    QString why, where;
    const QString relative = OutputNames::keptFolder(root, picture, &why);
    QString made;
    if (why.isEmpty()
        && !(why = OutputFiles::unwritableReason(out.path(), { relative }, &where)).isEmpty())
        why = where + ": " + why; // the folder there already that takes no files
    if (why.isEmpty())
        made = OutputFiles::makeFolder(out.path(), relative, &why);
    QVERIFY2(refusal.isEmpty() ? why.isEmpty() : why.contains(refusal), qPrintable(why));
    QCOMPARE(why.isEmpty() ? relative : QString(), folder);
    QCOMPARE(made, !why.isEmpty() ? "" : folder.isEmpty() ? out.path() : out.path() + '/' + folder);
    QCOMPARE(QFileInfo(made).isDir(), why.isEmpty());
    QVERIFY(QDir(elsewhere.path()).isEmpty()); // nothing made through a link
}

void OutputNamesTest::fileName_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("picture"); // a ".jpg" in the test's folder is a real one, stamped
    QTest::addColumn<QString>("name"); // empty: the picture is refused
    // clang-format off
    QTest::newRow("its name on disk as it is") << "{name}" << "/p/a:b*.x.jpg" << "a:b*.x";
    QTest::newRow("refused characters") << "{time} {year}\\<a|b>?\t{nope:1}{{" << "/p/a.jpg" << "14_03 2024__a_b___{nope_1}{";
    QTest::newRow("nothing to name it by") << "{date}" << "/p/a.jpg" << "";
    QTest::newRow("from the picture's EXIF") << "{date}_{counter:4} {camera} {width}" << "kite.jpg" << "2015-07-21_0042 OLYMPUS E-M1 96";
    // clang-format on
}

// What the fields stand for is given, or read from a real picture as a run
// reads it (with the text's fields off); whether a picture that names
// nothing is refused is place()'s.
void OutputNamesTest::fileName()
{
    QFETCH(QString, pattern);
    QFETCH(QString, picture);
    QFETCH(QString, name);
    BatchOptions options;
    options.namePattern = pattern;
    options.suffix = "png";
    Fields::Values values;
    values.modified = name.isEmpty() ? QDateTime() : QDateTime({ 2024, 5, 17 }, { 14, 3 });
    QTemporaryDir dir;
    if (QDir::isRelativePath(picture)) {
        picture = dir.filePath(picture);
        QVERIFY(writeFile(picture, jpegWith(QByteArray::fromHex(data("kite-exif.hex")), {}, {})));
        QFile file(picture);
        QVERIFY(file.open(QIODevice::ReadWrite)
            && file.setFileTime(values.modified, QFileDevice::FileModificationTime));
        const BatchResult result = stampAlone(picture, options);
        QCOMPARE(result.status, BatchResult::Status::Stamped);
        values = result.values;
    }
    values.counter = 42;
    const OutputNames::Place place = OutputNames::place(options, "/p", picture, values);
    QCOMPARE(place.name, name);
    QCOMPARE(place.refusal.isEmpty(), !name.isEmpty());
}

TARVELO_TEST_MAIN(OutputNamesTest)
#include "tst_outputnames.moc"
