// Everyday use of the window: the wheel over the settings column, the
// keyboard shortcuts, and the order in which dropped folders are listed.

#include <QMimeData>
#include <QScrollBar>
#include <QTemporaryDir>

#include "testsupport.h"

using namespace TestSupport;

static QStringList itemTexts(const QListWidget *list)
{
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts << list->item(row)->text();
    return texts;
}

class EverydayTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void wheelScrollsUnlessFocused_data();
    void wheelScrollsUnlessFocused();
    void keysDoWhatTheySay_data();
    void keysDoWhatTheySay();
    void droppedFoldersInNaturalOrder();
    void arrowsInTheTextColour();

private:
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

void EverydayTest::wheelScrollsUnlessFocused_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<bool>("focused");
    for (const char *control : { "slider", "spin box" }) {
        QTest::addRow("unfocused %s scrolls the column", control) << control << false;
        QTest::addRow("focused %s takes the wheel", control) << control << true;
    }
}

void EverydayTest::wheelScrollsUnlessFocused()
{
    QFETCH(QString, control);
    QFETCH(bool, focused);
    QWidget *target = control == "slider" ? static_cast<QWidget *>(ui->watermarkOpacitySlider)
                                          : ui->watermarkOpacitySpin;
    QScrollBar *column = ui->settings_scroll->verticalScrollBar();
    column->setValue(0);
    if (focused)
        target->setFocus();
    QTRY_COMPARE(target->hasFocus(), focused);
    const int value = ui->watermarkOpacitySlider->value();
    for (int notch = 0; notch < 15; ++notch) {
        QWheelEvent wheel(QPointF(5, 5), target->mapToGlobal(QPoint(5, 5)), QPoint(), QPoint(0, -120),
            Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &wheel);
    }
    QCOMPARE(ui->watermarkOpacitySlider->value() != value, focused);
    QCOMPARE(column->value() > 0, !focused);
}

void EverydayTest::keysDoWhatTheySay_data()
{
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<QString>("focus"); // the widget the keys go to
    QTest::addColumn<QString>("listed"); // the list afterwards, row 1 current before
    QTest::addColumn<QString>("outcome");
    QTest::newRow("Delete in the list") << QKeySequence("Del") << "list" << "a c" << "";
    QTest::newRow("Delete elsewhere") << QKeySequence("Del") << "text" << "a b c" << "";
    QTest::newRow("Ctrl+Shift+Delete") << QKeySequence("Ctrl+Shift+Del") << "text" << "" << "";
    QTest::newRow("Ctrl+O") << QKeySequence("Ctrl+O") << "list" << "a b c d.png" << "dialog";
    QTest::newRow("Ctrl+Return") << QKeySequence("Ctrl+Return") << "list" << "a b c" << "folder";
    QTest::newRow("Ctrl+L") << QKeySequence("Ctrl+L") << "list" << "a b c" << "log";
    QTest::newRow("F1") << QKeySequence("F1") << "list" << "a b c" << "help";
    QTest::newRow("Return on Clear") << QKeySequence("Return") << "clear" << "" << "";
    QTest::newRow("Space on Remove") << QKeySequence("Space") << "remove" << "a c" << "";
}

void EverydayTest::keysDoWhatTheySay()
{
    QFETCH(QKeySequence, keys);
    QFETCH(QString, focus);
    QFETCH(QString, listed);
    QFETCH(QString, outcome);
    for (const QString name : { "a", "b", "c" })
        ui->files_list->addItem(dir.filePath(name));
    ui->files_list->setCurrentRow(1);
    ui->log_plain->setPlainText(QStringLiteral("earlier run"));
    const QMap<QString, QWidget *> widgets { { "list", ui->files_list }, { "text", ui->wtrmark_edit },
        { "clear", ui->clear_btn }, { "remove", ui->remove_btn } };
    widgets[focus]->setFocus();
    QTRY_VERIFY(widgets[focus]->hasFocus());

    // Ctrl+O adds through the file dialog, Ctrl+Return asks for the output
    // folder first (and is cancelled there).
    QVERIFY(writeFile(dir.filePath("d.png"), encode(photoLike(4, 4), "png")));
    Modals modals({ outcome == "dialog" ? dir.filePath("d.png") : QString() });
    QTest::keySequence(widgets[focus], keys);
    QStringList expected;
    for (const QString &name : listed.split(' ', Qt::SkipEmptyParts))
        expected << dir.filePath(name);
    QTRY_COMPARE(itemTexts(ui->files_list), expected);
    QCOMPARE(modals.seen.size(), int(outcome == "dialog" || outcome == "folder"));
    QCOMPARE(!modals.seen.isEmpty() && modals.seen.first().endsWith("folders only"), outcome == "folder");
    QCOMPARE(ui->log_plain->toPlainText().isEmpty(), outcome == "log");
    QCOMPARE(ui->main_tab->currentWidget() == ui->tab, outcome == "help");
}

// Each folder's files in reading order, its subfolders after them, the
// folders in the order they were dropped; "A01" and "a1" read alike and
// keep a fixed order.
void EverydayTest::droppedFoldersInNaturalOrder()
{
    QStringList expected;
    for (const QString name : { "one/img2.jpg", "one/IMG3.JPG", "one/img10.jpg", "one/img010b.png",
             "one/sub2/x.jpg", "one/sub10/x.jpg", "two/A01.jpg", "two/a1.jpg" }) {
        QDir().mkpath(QFileInfo(dir.filePath(name)).path());
        QVERIFY(writeFile(dir.filePath(name), encode(photoLike(4, 4), "png")));
        expected << dir.filePath(name);
    }
    QMimeData data;
    data.setUrls({ QUrl::fromLocalFile(dir.filePath("one")), QUrl::fromLocalFile(dir.filePath("two")) });
    QDragEnterEvent enter(QPoint(40, 40), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &enter);
    QDropEvent drop(QPointF(42, 42), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &drop);
    QCOMPARE(itemTexts(ui->files_list), expected);
}

// The single-colour arrows keep their shape in the button's text colour.
void EverydayTest::arrowsInTheTextColour()
{
    const auto pixels = [](const QIcon &icon, QImage::Format format) {
        return icon.pixmap(16, 16).toImage().convertToFormat(format);
    };
    const QImage shown = pixels(ui->txt_top_btn->icon(), QImage::Format_ARGB32);
    QCOMPARE(pixels(ui->txt_top_btn->icon(), QImage::Format_Alpha8),
        pixels(QIcon(":/Resources/U+2191.svg[1].png"), QImage::Format_Alpha8));
    const QRgb text = ui->txt_top_btn->palette().color(QPalette::WindowText).rgb();
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            QVERIFY(qAlpha(shown.pixel(x, y)) < 255 || shown.pixel(x, y) == text);
}

TARVELO_TEST_MAIN(EverydayTest)
#include "tst_everyday.moc"
