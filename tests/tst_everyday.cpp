// SPDX-License-Identifier: GPL-3.0-or-later
// Everyday use of the window: the wheel over the settings column, the
// keyboard shortcuts, arrows in the palette's colour, phone pictures (HEIC,
// AVIF) and JPEG 2000 listed and stamped, and the menu entry offered for
// every kind read.

#include <QImageReader>
#include <QMimeData>
#include <QMimeDatabase>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>

#include "common/pictureformats.h"
#include "testsupport.h"

using namespace TestSupport;

class EverydayTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void wheelScrollsUnlessFocused();
    void keysDoWhatTheySay_data();
    void keysDoWhatTheySay();
    void arrowsInTheTextColour();
    void phonePicturesListedAndStamped_data();
    void phonePicturesListedAndStamped();
    void menuEntryForEveryKindRead();

private:
    QString listed() const; // the items' paths in the test folder
    void drop(const QStringList &paths);
    std::unique_ptr<MainWindow> window;
    Ui::MainWindow *ui = nullptr;
    QTemporaryDir dir;
};

void EverydayTest::init()
{
    window = plainWindow();
    ui = WindowProbe::ui(*window);
    QApplication::setActiveWindow(window.get());
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
}

QString EverydayTest::listed() const
{
    QStringList texts;
    for (int row = 0; row < ui->files_list->count(); ++row)
        texts << ui->files_list->item(row)->text().remove(dir.path() + "/");
    return texts.join(' ');
}

// As a real drag ends: entered, then dropped.
void EverydayTest::drop(const QStringList &paths)
{
    QMimeData data;
    for (const QString &path : paths)
        data.setUrls(data.urls() << QUrl::fromLocalFile(dir.filePath(path)));
    QDragEnterEvent enter(QPoint(40, 40), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &enter);
    QDropEvent dropped(QPointF(42, 42), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &dropped);
}

// Fifteen notches over the slider: unfocused, the column scrolls instead;
// focused, the slider takes them.
void EverydayTest::wheelScrollsUnlessFocused()
{
    QSlider *slider = ui->watermarkOpacitySlider;
    QScrollBar *column = ui->settings_scroll->verticalScrollBar();
    for (const bool focused : { false, true }) {
        column->setValue(0);
        if (focused)
            slider->setFocus();
        QTRY_COMPARE(slider->hasFocus(), focused);
        for (int notch = 0; notch < 15; ++notch) {
            QWheelEvent wheel(QPointF(5, 5), slider->mapToGlobal(QPoint(5, 5)), QPoint(),
                QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(slider, &wheel);
        }
        QCOMPARE(slider->value() < 100, focused);
        QCOMPARE(column->value() > 0, !focused);
    }
}

void EverydayTest::keysDoWhatTheySay_data()
{
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<int>("focus"); // where the keys go: 0 the list, 1 the text, 2 Clear
    QTest::addColumn<QString>("list"); // the list afterwards: a b c before, b current
    QTest::addColumn<QString>("outcome"); // the dialog that opened (capitalised), or what happened
    // clang-format off
    QTest::newRow("Del to the list") << QKeySequence("Del") << 0 << "a c" << "";
    QTest::newRow("Del to the text") << QKeySequence("Del") << 1 << "a b c" << "";
    QTest::newRow("Ctrl+Shift+Del") << QKeySequence("Ctrl+Shift+Del") << 1 << "" << "";
    QTest::newRow("Ctrl+O") << QKeySequence("Ctrl+O") << 0 << "a b c d.png" << "Add Image Files";
    QTest::newRow("Ctrl+Return") << QKeySequence("Ctrl+Return") << 0 << "a b c" << "Select Output Folder";
    QTest::newRow("Ctrl+L") << QKeySequence("Ctrl+L") << 0 << "a b c" << "log cleared";
    QTest::newRow("F1") << QKeySequence("F1") << 0 << "a b c" << "help";
    QTest::newRow("Return to Clear") << QKeySequence("Return") << 2 << "" << "";
    // clang-format on
}

void EverydayTest::keysDoWhatTheySay()
{
    QFETCH(QKeySequence, keys);
    QFETCH(int, focus);
    QFETCH(QString, list);
    QFETCH(QString, outcome);
    for (const QString name : { "a", "b", "c" })
        ui->files_list->addItem(dir.filePath(name));
    QVERIFY(select(*window, 1));
    ui->log_plain->setPlainText(QStringLiteral("earlier run"));
    QWidget *target
        = QList<QWidget *> { ui->files_list, ui->wtrmark_edit, ui->clear_btn }.at(focus);
    target->setFocus();
    QTRY_VERIFY(target->hasFocus());
    QVERIFY(writeFile(dir.filePath("d.png"), encode(photoLike(4, 4), "png")));
    // The open-files dialog adds d.png; the output folder's is cancelled.
    Modals modals({ outcome.startsWith("Add") ? dir.filePath("d.png") : QString() });
    QTest::keySequence(target, keys);
    QTRY_COMPARE(listed(), list);
    QCOMPARE(modals.seen.value(0).section(" | ", 0, 0),
        outcome.isEmpty() || outcome[0].isLower() ? "" : outcome);
    QCOMPARE(ui->log_plain->toPlainText().isEmpty(), outcome == "log cleared");
    QCOMPARE(ui->main_tab->currentWidget() == ui->tab, outcome == "help");
}

// The single-colour arrows keep their shape, drawn in the text colour.
void EverydayTest::arrowsInTheTextColour()
{
    const auto argb = [](const QIcon &icon) {
        return icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
    };
    const QImage shown = argb(ui->txt_top_btn->icon()),
                 own = argb(QIcon(":/Resources/U+2191.svg[1].png"));
    const QRgb text = ui->txt_top_btn->palette().color(QPalette::WindowText).rgb();
    for (int i = 0; i < 16 * 16; ++i) {
        const QRgb pixel = shown.pixel(i % 16, i / 16);
        QVERIFY(qAlpha(pixel) == qAlpha(own.pixel(i % 16, i / 16))
            && (qAlpha(pixel) < 255 || pixel == text));
    }
}

void EverydayTest::phonePicturesListedAndStamped_data()
{
    QTest::addColumn<QByteArray>("reader");
    QTest::addColumn<QString>("encoding"); // run in the test folder, the picture named last
    QTest::newRow("HEIC") << QByteArray("heif") << "heif-enc source.png -o heif/in/phone.HEIC";
    QTest::newRow("AVIF") << QByteArray("avif") << "avifenc source.png avif/in/phone.avif";
    QTest::newRow("JPEG 2000") << QByteArray("jp2")
                               << "opj_compress -i source.png -o jp2/in/scan.jp2";
}

// Made here by the encoders, dropped in a folder, stamped by the start
// button: the output is the picture itself, at its size.
void EverydayTest::phonePicturesListedAndStamped()
{
    QFETCH(QByteArray, reader);
    QFETCH(QString, encoding);
    const QImage source = photoLike(64, 48);
    const QString in = reader + "/in", out = dir.filePath(reader + "/out");
    QVERIFY(writeFile(dir.filePath("source.png"), encode(source, "png"))
        && QDir(dir.path()).mkpath(in) && QDir().mkpath(out));
    const int made = QProcess::execute(
        "sh", { "-c", "cd '" + dir.path() + "' && " + encoding + " >/dev/null" });
    if (made != 0 || !PictureFormats::forSuffix(QFileInfo(encoding).suffix()))
        QSKIP(qPrintable(encoding.section(' ', 0, 0) + " failed or is missing, or no " + reader
            + " plug-in here"));
    drop({ in });
    QCOMPARE(listed(), encoding.section(' ', -1));
    QVERIFY(stampAll(*window, out));
    const QStringList written = QDir(out).entryList(QDir::Files);
    QCOMPARE(written.size(), 1);
    const QImage stamped(out + "/" + written.first());
    QCOMPARE(stamped.size(), source.size());
    // Lossy at both ends: the red ramp stays within a few levels.
    QVERIFY(qAbs(qRed(stamped.pixel(40, 30)) - qRed(source.pixel(40, 30))) < 24);
}

// "Open with Tarvelo" in a file manager: the menu entry names the type of
// every picture suffix read here that the MIME database knows.
void EverydayTest::menuEntryForEveryKindRead()
{
    const QString entry = QString::fromUtf8(
        readFile(qEnvironmentVariable("TARVELO_SOURCE_DIR") + "/src/Resources/tarvelo.desktop"));
    const QStringList offered
        = QRegularExpression("\\nMimeType=([^\\n]*)").match(entry).captured(1).split(';');
    QVERIFY(offered.size() > 10);
    const QMimeDatabase types;
    for (const PictureFormats::Format &format : PictureFormats::readable())
        for (const QString &suffix : format.suffixes) {
            const QMimeType type
                = types.mimeTypeForFile("x." + suffix, QMimeDatabase::MatchExtension);
            const QStringList names = QStringList { type.name() } + type.aliases();
            if (!type.isDefault())
                QVERIFY2(std::any_of(names.begin(), names.end(),
                             [&](const QString &name) { return offered.contains(name); }),
                    qPrintable(suffix + ": " + type.name()));
        }
}

TARVELO_TEST_MAIN(EverydayTest)
#include "tst_everyday.moc"
