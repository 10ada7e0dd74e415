// SPDX-License-Identifier: GPL-3.0-or-later
// The batch run, driven through the real start button with its real boxes
// and folder dialog: what is written and logged when the run is stopped, when
// the list changes under it, and when inputs are hostile or the disk fails,
// none of which may cost a crash, an existing file or a file elsewhere.

#include <sys/stat.h>
#include <unistd.h>

#include "testsupport.h"

using namespace TestSupport;

namespace {

// Runs an action when the run reaches picture `step` (from 1): every step
// appends a rule to the log, which shows as two empty blocks, and then lets
// events run once, which is when the action runs.
class StepHook : public QObject
{
public:
    StepHook(QPlainTextEdit *log, const QStringList &hooks, std::function<void(QString)> act)
    {
        connect(log, &QPlainTextEdit::textChanged, this, [=]() {
            int empty = 0;
            for (QTextBlock b = log->document()->begin(); b.isValid(); b = b.next())
                empty += b.text().isEmpty();
            while (rules < empty / 2)
                for (const QString &hook : hooks.filter(QRegularExpression(QStringLiteral("^%1:").arg(++rules))))
                    QTimer::singleShot(0, this, [act, hook]() { act(hook.section(':', 1)); });
        });
    }

private:
    int rules = 0;
};

} // namespace

class BatchRunTest : public QObject
{
    Q_OBJECT

private slots:
    void run_data();
    void run();
};

void BatchRunTest::run_data()
{
    QTest::addColumn<QStringList>("pictures"); // "kind:name" for other than a small picture
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QStringList>("hooks"); // "step:action"
    QTest::addColumn<QVariantList>("answers"); // to the boxes after the folder dialog
    QTest::addColumn<QStringList>("written");
    QTest::addColumn<QStringList>("lines"); // "*": any error text
    const QString on = "Stamping Started ...", end = "Stamping Completed!", stopped = "Stamping interrupted!";
    const QStringList abc { "a.png", "b.png", "c.png" };
    const auto ok = [](const QString &name, int at, int of, bool written = true) {
        return QStringLiteral("%1 ... %2 (%3 of %4)").arg(name, written ? "OK!" : "Failed!").arg(at).arg(of);
    };
    const int Ok = QMessageBox::Ok, Yes = QMessageBox::Yes, No = QMessageBox::No;
    // clang-format off
    QTest::newRow("dotted names keep their dots") << QStringList { "a.png", "my.trip.jpeg", "c.tif" } << "" << QStringList() << QVariantList { Ok }
        << QStringList { "a.png", "c.png", "my.trip.png" } << QStringList { on, ok("a.png", 1, 3), ok("my.trip.png", 2, 3), ok("c.png", 3, 3), end };
    QTest::newRow("stop declined") << abc << "" << QStringList { "1:stop" } << QVariantList { No, Ok }
        << abc << QStringList { on, ok("a.png", 1, 3), ok("b.png", 2, 3), ok("c.png", 3, 3), end };
    QTest::newRow("stopped at the first picture") << abc << "" << QStringList { "1:stop" } << QVariantList { Yes }
        << QStringList { "a.png" } << QStringList { on, ok("a.png", 1, 3), stopped };
    QTest::newRow("stopped at the last picture") << abc << "" << QStringList { "3:stop" } << QVariantList { Yes }
        << abc << QStringList { on, ok("a.png", 1, 3), ok("b.png", 2, 3), ok("c.png", 3, 3), stopped };
    QTest::newRow("cleared at the second picture") << abc << "" << QStringList { "2:clear" } << QVariantList { Ok }
        << QStringList { "a.png" } << QStringList { on, ok("a.png", 1, 3), end };
    QTest::newRow("second removed at its turn") << abc << "" << QStringList { "2:remove" } << QVariantList { Ok }
        << QStringList { "a.png", "c.png" } << QStringList { on, ok("a.png", 1, 3), ok("c.png", 2, 2), end };
    // Rows move up under the run: none skipped, none stamped twice, and one
    // removed before it is reached is not stamped although it was read ahead.
    QTest::newRow("first removed at the last picture") << abc << "" << QStringList { "3:remove0" } << QVariantList { Ok }
        << abc << QStringList { on, ok("a.png", 1, 3), ok("b.png", 2, 3), ok("c.png", 2, 2), end };
    QTest::newRow("second removed at the first picture") << abc << "" << QStringList { "1:remove" } << QVariantList { Ok }
        << QStringList { "a.png", "c.png" } << QStringList { on, ok("a.png", 1, 2), ok("c.png", 2, 2), end };
    QTest::newRow("one added at the first picture") << abc << "" << QStringList { "1:add" } << QVariantList { Ok }
        << QStringList { "a.png", "b.png", "c.png", "z.png" } << QStringList { on, ok("a.png", 1, 4), ok("b.png", 2, 4), ok("c.png", 3, 4), ok("z.png", 4, 4), end };
    // A file deleted since it was listed is skipped without a word.
    QTest::newRow("second file deleted at its turn") << abc << "" << QStringList { "2:delete" } << QVariantList { Ok }
        << QStringList { "a.png", "c.png" } << QStringList { on, ok("a.png", 1, 3), ok("c.png", 3, 3), end };
    QTest::newRow("JPG quality fixed at the start, format per file") << abc << "jpg" << QStringList { "2:quality", "3:png" } << QVariantList { Ok }
        << QStringList { "a.jpg", "b.jpg", "c.png" } << QStringList { on, ok("a.jpg", 1, 3), ok("b.jpg", 2, 3), ok("c.png", 3, 3), end };
    QTest::newRow("output folder removed during the run") << QStringList { "a.png", "b.png" } << "" << QStringList { "2:rmout" } << QVariantList { Ok }
        << QStringList() << QStringList { on, ok("a.png", 1, 2), qt_error_string(ENOENT), ok("b.png", 2, 2, false), end, "1 of 2 pictures stamped, 1 failed." };
    QTest::newRow("dangling link at the output name") << QStringList { "a.png" } << "link" << QStringList() << QVariantList { Ok }
        << QStringList { "a.png", "a_TAG.png" } << QStringList { on, "*", ok("a.png", 1, 1), end };
    QTest::newRow("hostile inputs") << QStringList { "bomb:bomb.jpg", "fifo:pipe.jpg", "folder:folder.png", "zero:zero.jpg", "bright & <b>é.png" } << "" << QStringList() << QVariantList { Ok }
        << QStringList { "bright & <b>é.png" } << QStringList { on, "*",
               ok("bomb.png", 1, 5, false), "Not a regular file", ok("pipe.png", 2, 5, false), "Not a regular file", ok("folder.png", 3, 5, false),
               "*", ok("zero.png", 4, 5, false), ok("bright & <b>é.png", 5, 5), end, "1 of 5 pictures stamped, 4 failed." };
    // Stretched to 99999 x 99999, 40 GB, with the address space capped.
    QTest::newRow("out of memory") << QStringList { "a.png" } << "memory" << QStringList() << QVariantList { Ok }
        << QStringList() << QStringList { on, "a.png (8 x 8 pixels) could not be stamped: not enough memory.", ok("a.png", 1, 1, false), end, "0 of 1 picture stamped, 1 failed." };
    // The last listed file gone: the finished run still shows a full bar.
    QTest::newRow("last file deleted at its turn") << QStringList { "a.png", "b.png" } << "" << QStringList { "2:delete" } << QVariantList { Ok }
        << QStringList { "a.png" } << QStringList { on, ok("a.png", 1, 2), end };
    // A font that is not installed is named at the start, with the one drawn instead.
    QTest::newRow("missing font") << QStringList { "a.png" } << "font" << QStringList() << QVariantList { Ok }
        << QStringList { "a.png" } << QStringList { on, "*", ok("a.png", 1, 1), end };
    QTest::newRow("output folder that takes no files") << abc << "unwritable" << QStringList() << QVariantList { Ok } << QStringList() << QStringList();
    QTest::newRow("output folder gone after the dialog") << abc << "gone" << QStringList() << QVariantList { Ok } << QStringList() << QStringList();
    QTest::newRow("no logo, answered No") << abc << "no logo" << QStringList() << QVariantList { No } << QStringList() << QStringList();
    // clang-format on
}

void BatchRunTest::run()
{
    QFETCH(QStringList, pictures);
    QFETCH(QString, setup);
    QFETCH(QStringList, hooks);
    QFETCH(QVariantList, answers);
    QFETCH(QStringList, written);
    QFETCH(QStringList, lines);
    const auto window = plainWindow();
    Ui::MainWindow *ui = WindowProbe::ui(*window);
    // Text and logo present (so that no question is asked) but outside every
    // picture: the copies are the pictures as they were, and the log says so.
    ui->wtrmark_edit->setText("Tarvelo");
    ui->txt_x_spin->setValue(9999);
    ui->x_spin->setValue(9999);
    WindowProbe::logoImage(*window) = photoLike(6, 4);
    (setup == "jpg" ? ui->outjpg_radio : ui->outpng_radio)->setChecked(true);
    QTemporaryDir dir;
    const QString src = dir.filePath("src"), out = dir.filePath("out");
    QVERIFY(QDir().mkpath(src) && QDir().mkpath(out));
    QVERIFY(writeFile(src + "/z.png", encode(photoLike(8, 8), "png")));
    for (const QString &entry : pictures) {
        const QString kind = entry.contains(':') ? entry.section(':', 0, 0) : QString();
        const QString path = src + '/' + entry.section(':', -1);
        if (kind == "fifo")
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        else if (kind == "folder")
            QVERIFY(QDir().mkdir(path));
        else
            QVERIFY(writeFile(path, kind == "bomb" ? jpegClaiming(65500, 65500)
                        : kind == "zero"           ? QByteArray()
                                         : encode(photoLike(8, 8), QFileInfo(path).suffix().toLatin1().constData())));
        ui->files_list->addItem(path);
    }
    auto sources = snapshot(src);
    std::shared_ptr<void> limit;
    if (setup == "memory") {
        ui->resize_check->setChecked(true);
        ui->width_spin->setValue(99999);
        ui->height_spin->setValue(99999);
        limit = lowerLimit(RLIMIT_AS, rlim_t(16) << 30);
    } else if (setup == "link") {
        QVERIFY(QFile::link(dir.filePath("planted.png"), out + "/a.png"));
    } else if (setup == "font") {
        WindowProbe::textFont(*window).setFamily("No Such Font");
    } else if (setup == "no logo") {
        WindowProbe::logoImage(*window) = QImage();
    }
    StepHook hook(ui->log_plain, hooks, [&](const QString &action) {
        if (action == "stop")
            press(ui->start_btn);
        else if (action == "clear")
            press(ui->clear_btn);
        else if (action == "add")
            ui->files_list->addItem(src + "/z.png");
        else if (action == "delete")
            QFile::remove(src + "/b.png") && sources.remove("b.png");
        else if (action == "rmout")
            QDir(out).removeRecursively();
        else if (action == "quality")
            ui->comp_slider->setValue(5);
        else if (action == "png")
            ui->outpng_radio->setChecked(true);
        else if (action.startsWith("remove")) {
            ui->files_list->setCurrentRow(action == "remove0" ? 0 : 1);
            press(ui->remove_btn);
        }
    });
    // Root may write almost anywhere, but not into /sys.
    auto modals = std::make_unique<Modals>(
        QVariantList { setup == "unwritable" ? "/sys" : out } + answers, [&]() {
            if (setup == "gone")
                QDir(out).removeRecursively();
        });
    // Only a run that starts saves the options, before its first picture.
    const QString store = QSettings(QStringLiteral("Dovrin Halsek"), QStringLiteral("Tarvelo")).fileName();
    QFile::remove(store);
    press(ui->start_btn);
    limit.reset();
    QCOMPARE(QFile::exists(store), !lines.isEmpty());
    QVERIFY(lines.isEmpty() || readFile(store).contains("=Tarvelo\n"));

    QVERIFY2(modals->done(), qPrintable(modals->seen.join('\n')));
    if (setup == "gone")
        QCOMPARE(modals->seen.last(), QStringLiteral("Error | What's goin on here?!"));
    if (setup == "unwritable")
        QCOMPARE(modals->seen.last(),
            "Error | The output folder \"/sys\" cannot be written: " + qt_error_string(EACCES)
                + '.');
    // The end box says how the run went, as the last line does.
    if (lines.size() > 1 && lines.last() != "Stamping interrupted!")
        QCOMPARE(modals->seen.last(),
            "Tarvelo | " + (lines.last() == "Stamping Completed!" ? "Done" : lines.last()));
    QStringList names = QDir(out).entryList(QDir::Files | QDir::System);
    names.replaceInStrings(QRegularExpression("_\\d{17}\\."), "_TAG.");
    QCOMPARE(names, written);
    QStringList logged = ui->log_plain->toPlainText().split('\n', Qt::SkipEmptyParts);
    // Text and logo lie outside every picture: each one written says so (the
    // window's log tests say where).
    const QStringList outside = logged.filter(": the text and the logo lie outside the picture.");
    QCOMPARE(outside.size(), logged.filter(" ... OK! (").size());
    for (const QString &line : outside)
        logged.removeOne(line);
    QCOMPARE(logged.size(), lines.size());
    for (int k = 0; k < lines.size(); ++k)
        if (lines[k] != "*")
            QCOMPARE(logged[k], lines[k]);
    QCOMPARE(snapshot(src), sources);
    if (setup == "font")
        QVERIFY2(logged[1].startsWith("The font \"No Such Font\" is not installed; \""),
            qPrintable(logged[1]));
    // Each picture not written is marked with its reason; the next run
    // starts without the marks.
    const auto reasons = [&] {
        QStringList tips;
        for (int row = 0; row < ui->files_list->count(); ++row)
            if (!ui->files_list->item(row)->icon().isNull()
                || !ui->files_list->item(row)->toolTip().isEmpty())
                tips << ui->files_list->item(row)->toolTip();
        return tips;
    };
    QCOMPARE(reasons().size(), logged.filter(" ... Failed! (").size());
    for (const QString &reason : reasons())
        QVERIFY(logged.contains(reason));
    if (hooks.contains("2:rmout")) {
        QVERIFY(QDir().mkpath(out));
        modals.reset();
        Modals again({ out, QMessageBox::Ok });
        press(ui->start_btn);
        QVERIFY(again.done() && reasons().isEmpty());
    }
    // A finished run leaves a still bar, also after one picture (a range of
    // 0 to 0 shows the busy animation).
    QVERIFY(lines.isEmpty() || ui->prog_bar->maximum() > ui->prog_bar->minimum());
    if (!lines.isEmpty() && !lines.contains("Stamping interrupted!"))
        QCOMPARE(ui->prog_bar->value(), ui->prog_bar->maximum());
    QVERIFY(!QFileInfo::exists(dir.filePath("planted.png")));
    if (written.contains("a.png") && setup.isEmpty())
        QCOMPARE(QImage(out + "/a.png").convertToFormat(QImage::Format_RGB32), photoLike(8, 8));
    if (setup == "jpg") // the same picture at the same quality
        QCOMPARE(snapshot(out).value("b.jpg"), snapshot(out).value("a.jpg"));
}

TARVELO_TEST_MAIN(BatchRunTest)
#include "tst_batchrun.moc"
