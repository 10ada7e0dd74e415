// The picture list: adding through the real open-files dialog, dropping
// files and folders on the window (with the progress dialog, its counter and
// a working Abort), removing and clearing, and loading the current picture
// for the preview, including pictures that must not be loaded.

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <memory>
#include <sys/stat.h>

#include "batchtesting.h"
#include "mainwindow.h"
#include "pictureio.h"
#include "qclickablelabel.h"
#include "testsupport.h"
#include "ui_mainwindow.h"
#include "windowprobe.h"

using namespace BatchTesting;

namespace {

const QString dialogFilter = QStringLiteral("Images (*.bmp *.gif *.jpeg *.jpg *.jp2 *.png *.webp "
                                            "*.pgm *.pbm *.ppm *.xbm *.xpm *.tiff *.tif)");

QStringList itemTexts(const QListWidget *list)
{
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts << list->item(row)->text();
    return texts;
}

// Watches the drop's progress dialog each time events run during a drop.
class DropWatcher : public QObject
{
public:
    explicit DropWatcher(QWidget *window)
        : window(window)
    {
        connect(&timer, &QTimer::timeout, this, &DropWatcher::look);
        timer.start(0);
    }

    QStringList labels; // the label at every event processing
    bool windowModal = true; // every sighting was window-modal
    bool visibleAtOnce = false; // visible at the first sighting
    QString cancelText;
    int minimum = -1, maximum = -1;
    std::function<void(QProgressDialog *)> onSighting;

private:
    void look()
    {
        auto *dialog = window->findChild<QProgressDialog *>();
        if (!dialog)
            return;
        if (labels.isEmpty()) {
            visibleAtOnce = dialog->isVisible();
            if (auto *cancel = dialog->findChild<QPushButton *>())
                cancelText = cancel->text();
            minimum = dialog->minimum();
            maximum = dialog->maximum();
        }
        windowModal = windowModal && dialog->windowModality() == Qt::WindowModal;
        labels << dialog->labelText();
        if (onSighting)
            onSighting(dialog);
    }

    QWidget *window;
    QTimer timer;
};

QString counterLabel(int count)
{
    return QStringLiteral("Please wait while your files are added. (%1 files)").arg(count);
}

} // namespace

class PictureListTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void openDialogAddsAndSelectsLast();
    void openDialogCancelMovesToLast();
    void openDialogTakesGif();
    void dragEnterWantsUrls();
    void dropFolderWalksSubfolders();
    void dropFileBySuffix_data();
    void dropFileBySuffix();
    void dropCountsEveryEntry();
    void dropSameFileTwice();
    void dropSkipsMissingAndRemote();
    void abortEndsWalkAndDrop();
    void dropFifoDoesNotHang();
    void removeTakesCurrent();
    void removeWithoutCurrentDoesNothing();
    void clearEmptiesPreview();
    void loadingAppliesOrientation();
    void loadingClearsTransparentPixels();
    void loadingComposesForPreview();
    void refusedPictureKeepsPreview_data();
    void refusedPictureKeepsPreview();
    void vanishedPictureChangesNothing();

private:
    void drop(const QList<QUrl> &urls);
    QString picture(const QString &name, const QImage &image = photoLike(24, 16));
    QImage shownPreview() const;

    std::unique_ptr<MainWindow> window;
    Ui::MainWindow *ui = nullptr;
    std::unique_ptr<QTemporaryDir> dir;
};

void PictureListTest::init()
{
    QSettings(QStringLiteral("Dovrin Halsek"), QStringLiteral("Tarvelo")).clear();
    window = std::make_unique<MainWindow>();
    ui = WindowProbe::ui(*window);
    // Nothing stamped on the previews: the list's own work is what is tested.
    ui->resize_check->setChecked(false);
    ui->shadow_spin->setValue(0);
    ui->wtrmark_edit->clear();
    ui->actual_radio->setChecked(true);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void PictureListTest::cleanup()
{
    window.reset();
    ui = nullptr;
    dir.reset();
}

// As a real drag ends in a drop: the toolkit hands the drop only to the
// widget that accepted the drag when it entered.
void PictureListTest::drop(const QList<QUrl> &urls)
{
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(40, 40), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDragMoveEvent move(QPoint(42, 42), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &move);
    QDropEvent event(QPointF(42, 42), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &event);
}

QString PictureListTest::picture(const QString &name, const QImage &image)
{
    const QString path = dir->filePath(name);
    QDir().mkpath(QFileInfo(path).path());
    const QString suffix = QFileInfo(name).suffix().toLower();
    const char *format = suffix == "png" ? "png"
        : suffix == "tif"                ? "tiff"
        : suffix == "bmp"                ? "bmp"
                                         : "jpg";
    if (!writeFile(path, encode(image, format, 95)))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QImage PictureListTest::shownPreview() const
{
    return WindowProbe::previewLabel(*window)->pixmap(Qt::ReturnByValue).toImage();
}

void PictureListTest::openDialogAddsAndSelectsLast()
{
    const QString first = picture("first.png");
    const QImage lastImage = photoLike(30, 20, 9);
    const QString spaced = picture("with space é.png", lastImage);
    ui->files_list->addItem(first);

    ModalScript script;
    script.file(QStringLiteral("\"%1\" \"%2\"").arg(first, spaced));
    QTest::mousePress(ui->open_btn, Qt::LeftButton);
    QTest::mouseRelease(ui->open_btn, Qt::LeftButton);

    QCOMPARE(script.seen.size(), 1);
    QCOMPARE(script.seen[0].title, QString("Add Image Files"));
    QCOMPARE(script.seen[0].fileMode, int(QFileDialog::ExistingFiles));
    QCOMPARE(script.seen[0].nameFilters, QStringList { dialogFilter });
    QCOMPARE(itemTexts(ui->files_list), (QStringList { first, first, spaced }));
    QCOMPARE(ui->files_list->currentRow(), 2);
    QCOMPARE(WindowProbe::sourceImage(*window).format(), QImage::Format_ARGB32);
    QCOMPARE(WindowProbe::sourceImage(*window).convertToFormat(QImage::Format_RGB32), lastImage);
}

void PictureListTest::openDialogCancelMovesToLast()
{
    const QString a = picture("a.png"), b = picture("b.png"),
                  c = picture("c.png", photoLike(12, 10, 4));
    ui->files_list->addItems({ a, b, c });
    ui->files_list->setCurrentRow(0);

    {
        ModalScript script;
        script.file(QString());
        QTest::mousePress(ui->open_btn, Qt::LeftButton);
        QTest::mouseRelease(ui->open_btn, Qt::LeftButton);
        QCOMPARE(script.seen.size(), 1);
    }
    QCOMPARE(ui->files_list->count(), 3);
    QCOMPARE(ui->files_list->currentRow(), 2);
    QCOMPARE(WindowProbe::sourceImage(*window).size(), QSize(12, 10));

    // On an empty list a cancel selects nothing.
    ui->files_list->clear();
    ModalScript again;
    again.file(QString());
    QTest::mousePress(ui->open_btn, Qt::LeftButton);
    QCOMPARE(again.seen.size(), 1);
    QCOMPARE(again.unexpected, 0);
    QCOMPARE(ui->files_list->currentRow(), -1);
}

void PictureListTest::openDialogTakesGif()
{
    const QString gif = dir->filePath("anim.gif");
    QVERIFY(writeFile(gif, gifClaiming(1, 1)));
    // The dialog offers gif; whatever it returns is added without a test.
    ModalScript script;
    script.file(gif);
    QTest::mousePress(ui->open_btn, Qt::LeftButton);
    QCOMPARE(itemTexts(ui->files_list), QStringList { gif });
    QCOMPARE(WindowProbe::sourceImage(*window).size(), QSize(1, 1));

    // Dropped, the same file is not taken.
    drop({ QUrl::fromLocalFile(gif) });
    QCOMPARE(ui->files_list->count(), 1);
}

void PictureListTest::dragEnterWantsUrls()
{
    QMimeData withUrls;
    withUrls.setUrls({ QUrl("https://example.org/x.jpg") });
    QDragEnterEvent enter(
        QPoint(20, 20), Qt::CopyAction, &withUrls, Qt::LeftButton, Qt::NoModifier);
    enter.ignore();
    QApplication::sendEvent(window.get(), &enter);
    QVERIFY(enter.isAccepted());
    QCOMPARE(enter.dropAction(), Qt::CopyAction);
    QDragLeaveEvent leave; // the drag goes away again without a drop
    QApplication::sendEvent(window.get(), &leave);
    QCOMPARE(ui->files_list->count(), 0);

    QMimeData textOnly;
    textOnly.setText("/tmp/x.jpg");
    QDragEnterEvent refused(
        QPoint(20, 20), Qt::CopyAction, &textOnly, Qt::LeftButton, Qt::NoModifier);
    refused.ignore();
    QApplication::sendEvent(window.get(), &refused);
    QVERIFY(!refused.isAccepted());
}

void PictureListTest::dropFolderWalksSubfolders()
{
    const QString root = dir->filePath("drop");
    QStringList expected;
    for (const QString name :
        { "a.jpg", "PHOTO.JPG", "sub/B.PNG", "sub/deeper/c.TiF", "sub/f.JpEg", "x.bmp", "y.dib",
            "z.webp", "p.pgm", "q.pbm", "r.ppm", "s.sr", "t.ras", "u.jp2", "v.tiff" })
        expected << picture("drop/" + name);
    for (const QString name : { "d.gif", "e.txt", "sub/notes.xpm", "sub/h.xbm", "noext" })
        picture("drop/" + name);
    picture("drop/.hidden.jpg");
    // A link back up the tree and a link to a file: folders reached through
    // links are not walked, so the loop cannot make the walk endless.
    QVERIFY(QFile::link(root, root + "/sub/loop"));
    QVERIFY(QFile::link(root + "/a.jpg", root + "/sub/alias.jpg"));
    expected << root + "/sub/alias.jpg";

    DropWatcher watcher(window.get());
    drop({ QUrl::fromLocalFile(root) });

    QStringList listed = itemTexts(ui->files_list);
    QCOMPARE(listed.size(), expected.size());
    listed.sort();
    expected.sort();
    QCOMPARE(listed, expected);
    QCOMPARE(ui->files_list->currentRow(), ui->files_list->count() - 1);
    QVERIFY(!WindowProbe::sourceImage(*window).isNull());
    // One label per file found and one for the folder, lagging one behind.
    QCOMPARE(watcher.labels.size(), expected.size() + 1);
    QCOMPARE(watcher.labels.last(), counterLabel(expected.size()));
    QVERIFY(!window->findChild<QProgressDialog *>());
}

void PictureListTest::dropFileBySuffix_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("taken");
    for (const char *name :
        { "a.jpg", "a.JPG", "a.jpeg", "a.Png", "a.bmp", "a.dib", "a.jp2", "a.webp", "a.pgm",
            "a.pbm", "a.ppm", "a.sr", "a.ras", "a.tiff", "a.TIF", "my.trip.jpeg", "a.jpg " })
        QTest::newRow(name) << name << true;
    for (const char *name : { "a.gif", "a.xbm", "a.xpm", "a.txt", "a", "a.jpg.txt", "jpg" })
        QTest::newRow(name) << name << false;
}

void PictureListTest::dropFileBySuffix()
{
    QFETCH(QString, name);
    QFETCH(bool, taken);
    const QString path = dir->filePath(name);
    QVERIFY(writeFile(path, encode(photoLike(8, 8), "png")));
    drop({ QUrl::fromLocalFile(path) });
    QCOMPARE(itemTexts(ui->files_list), taken ? QStringList { path } : QStringList());
}

void PictureListTest::dropCountsEveryEntry()
{
    const QString a = picture("a.png"), b = picture("b.jpg");
    const QString text = dir->filePath("c.txt");
    QVERIFY(writeFile(text, "text"));
    DropWatcher watcher(window.get());
    drop({ QUrl::fromLocalFile(a), QUrl::fromLocalFile(text), QUrl::fromLocalFile(b) });

    QCOMPARE(itemTexts(ui->files_list), (QStringList { a, b }));
    QVERIFY(watcher.visibleAtOnce);
    QVERIFY(watcher.windowModal);
    QCOMPARE(watcher.cancelText, QString("Abort"));
    QCOMPARE(watcher.minimum, 0);
    QCOMPARE(watcher.maximum, 0);
    QCOMPARE(watcher.labels, (QStringList { counterLabel(0), counterLabel(1), counterLabel(2) }));
    QCOMPARE(ui->files_list->currentRow(), 1);
}

void PictureListTest::dropSameFileTwice()
{
    const QString a = picture("a.png");
    drop({ QUrl::fromLocalFile(a), QUrl::fromLocalFile(a) });
    drop({ QUrl::fromLocalFile(a) });
    QCOMPARE(itemTexts(ui->files_list), (QStringList { a, a, a }));
}

void PictureListTest::dropSkipsMissingAndRemote()
{
    const QString a = picture("a.png");
    DropWatcher watcher(window.get());
    drop({ QUrl("https://example.org/remote.jpg"), QUrl::fromLocalFile(dir->filePath("gone.jpg")),
        QUrl::fromLocalFile(a) });
    QCOMPARE(itemTexts(ui->files_list), QStringList { a });
    QCOMPARE(watcher.labels.size(), 3);
}

void PictureListTest::abortEndsWalkAndDrop()
{
    for (int k = 0; k < 30; ++k)
        picture(QStringLiteral("many/p%1.png").arg(k, 2, 10, QLatin1Char('0')), photoLike(4, 4));
    const QString later = picture("later.png");

    DropWatcher watcher(window.get());
    watcher.onSighting = [](QProgressDialog *dialog) {
        if (dialog->labelText() == counterLabel(4)) {
            auto *abort = dialog->findChild<QPushButton *>();
            QVERIFY(abort);
            QTest::mouseClick(abort, Qt::LeftButton);
        }
    };
    drop({ QUrl::fromLocalFile(dir->filePath("many")), QUrl::fromLocalFile(later) });

    // Abort was pressed while events ran after the fifth file; the sixth was
    // added before the cancel was noticed, and nothing after it.
    QCOMPARE(ui->files_list->count(), 6);
    QVERIFY(!itemTexts(ui->files_list).contains(later));
    QCOMPARE(watcher.labels.size(), 5);
    QCOMPARE(ui->files_list->currentRow(), 5);
}

void PictureListTest::dropFifoDoesNotHang()
{
    const QString good = picture("good.png", photoLike(14, 9, 2));
    const QString pipe = dir->filePath("pipe.jpg");
    QVERIFY(::mkfifo(QFile::encodeName(pipe).constData(), 0600) == 0);
    // In a dropped folder a FIFO is no file and is not listed at all.
    QVERIFY(QDir().mkpath(dir->filePath("folder")));
    QVERIFY(::mkfifo(QFile::encodeName(dir->filePath("folder/pipe2.jpg")).constData(), 0600) == 0);

    drop({ QUrl::fromLocalFile(good) });
    QCOMPARE(shownPreview().size(), QSize(14, 9));
    QElapsedTimer clock;
    clock.start();
    drop({ QUrl::fromLocalFile(dir->filePath("folder")), QUrl::fromLocalFile(pipe) });
    QVERIFY(clock.elapsed() < 10000);
    QCOMPARE(itemTexts(ui->files_list), (QStringList { good, pipe }));
    QCOMPARE(ui->files_list->currentRow(), 1);
    QVERIFY(WindowProbe::sourceImage(*window).isNull());
    // The preview still shows the picture before.
    QCOMPARE(shownPreview().size(), QSize(14, 9));
}

void PictureListTest::removeTakesCurrent()
{
    const QString a = picture("a.png", photoLike(10, 10, 1));
    const QString b = picture("b.png", photoLike(11, 10, 2));
    const QString c = picture("c.png", photoLike(12, 10, 3));
    ui->files_list->addItems({ a, b, c });
    ui->files_list->setCurrentRow(1);
    QSignalSpy rows(ui->files_list, &QListWidget::currentRowChanged);

    QTest::mousePress(ui->remove_btn, Qt::LeftButton);
    QCOMPARE(itemTexts(ui->files_list), (QStringList { a, c }));
    QCOMPARE(ui->files_list->currentRow(), 1);
    QCOMPARE(WindowProbe::sourceImage(*window).size(), QSize(12, 10));
    QVERIFY(QFileInfo::exists(b)); // the file itself is kept

    QTest::mousePress(ui->remove_btn, Qt::LeftButton);
    QCOMPARE(itemTexts(ui->files_list), QStringList { a });
    QCOMPARE(WindowProbe::sourceImage(*window).size(), QSize(10, 10));

    QTest::mousePress(ui->remove_btn, Qt::LeftButton);
    QCOMPARE(ui->files_list->count(), 0);
    QVERIFY(WindowProbe::sourceImage(*window).isNull());
    QVERIFY(rows.size() >= 3);
    QCOMPARE(rows.last().first().toInt(), -1);
}

void PictureListTest::removeWithoutCurrentDoesNothing()
{
    const QString a = picture("a.png");
    ui->files_list->addItem(a);
    QCOMPARE(ui->files_list->currentRow(), -1);
    QTest::mousePress(ui->remove_btn, Qt::LeftButton);
    QCOMPARE(itemTexts(ui->files_list), QStringList { a });
    ui->files_list->clear();
    QTest::mousePress(ui->remove_btn, Qt::LeftButton);
    QCOMPARE(ui->files_list->count(), 0);
}

void PictureListTest::clearEmptiesPreview()
{
    const QString a = picture("a.png", photoLike(20, 15, 5));
    drop({ QUrl::fromLocalFile(a), QUrl::fromLocalFile(a) });
    QCOMPARE(shownPreview().size(), QSize(20, 15));
    const QImage stamped = WindowProbe::stampedImage(*window);
    QVERIFY(!stamped.isNull());

    QSignalSpy rows(ui->files_list, &QListWidget::currentRowChanged);
    QTest::mousePress(ui->clear_btn, Qt::LeftButton);
    QCOMPARE(ui->files_list->count(), 0);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().first().toInt(), -1);
    QVERIFY(shownPreview().isNull());
    QVERIFY(WindowProbe::sourceImage(*window).isNull());
    // The last composition stays until the next one.
    QCOMPARE(WindowProbe::stampedImage(*window), stamped);
    QVERIFY(QFileInfo::exists(a));
}

void PictureListTest::loadingAppliesOrientation()
{
    QImage stored(40, 20, QImage::Format_RGB32);
    stored.fill(Qt::blue);
    stored.setPixel(0, 0, qRgb(255, 0, 0));
    const QString path = dir->filePath("turned.tif");
    QImageWriter writer(path, "tiff");
    writer.setTransformation(QImageIOHandler::TransformationRotate90);
    QVERIFY(writer.write(stored));

    drop({ QUrl::fromLocalFile(path) });
    const QImage source = WindowProbe::sourceImage(*window);
    QCOMPARE(source.size(), QSize(20, 40));
    QCOMPARE(source.format(), QImage::Format_ARGB32);
    QCOMPARE(source.pixel(19, 0), qRgb(255, 0, 0));
}

void PictureListTest::loadingClearsTransparentPixels()
{
    const QImage withAlpha = photoLike(16, 12, 6, true);
    const QString path = dir->filePath("alpha.png");
    QVERIFY(writeFile(path, encode(withAlpha, "png")));
    drop({ QUrl::fromLocalFile(path) });
    const QImage source = WindowProbe::sourceImage(*window);
    QCOMPARE(source.format(), QImage::Format_ARGB32);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x)
            QCOMPARE(source.pixel(x, y), x < 4 ? 0u : withAlpha.pixel(x, y));
}

void PictureListTest::loadingComposesForPreview()
{
    // Resized to 64 x 48 without keeping the proportions: the preview shows
    // the composition, not the picture as read.
    ui->resize_check->setChecked(true);
    ui->aspect_check->setChecked(false);
    ui->width_spin->setValue(64);
    ui->height_spin->setValue(48);
    const QString path = picture("big.png", photoLike(200, 100, 8));
    drop({ QUrl::fromLocalFile(path) });
    QCOMPARE(WindowProbe::sourceImage(*window).size(), QSize(200, 100));
    QCOMPARE(WindowProbe::stampedImage(*window).size(), QSize(64, 48));
    QCOMPARE(shownPreview().size(), QSize(64, 48));
}

void PictureListTest::refusedPictureKeepsPreview_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("zero bytes") << "empty.jpg" << QByteArray();
    QTest::newRow("text named jpg") << "text.jpg" << QByteArray("not a picture");
    QTest::newRow("truncated png") << "cut.png" << encode(photoLike(32, 32), "png").left(60);
    QTest::newRow("jpeg claiming 20000x20000") << "bomb.jpg" << jpegClaiming(20000, 20000);
    QTest::newRow("png claiming 100000x100000") << "bomb.png" << pngClaiming(100000, 100000);
    QTest::newRow("gif claiming 20000x20000") << "bomb.gif" << gifClaiming(20000, 20000);
    QTest::newRow("folder named jpg") << "folder.jpg" << QByteArray();
}

void PictureListTest::refusedPictureKeepsPreview()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    const QString good = picture("good.png", photoLike(18, 12, 3));
    const QString bad = dir->filePath(name);
    if (name == "folder.jpg")
        QVERIFY(QDir().mkpath(bad));
    else
        QVERIFY(writeFile(bad, bytes));

    ui->files_list->addItems({ good, bad });
    ui->files_list->setCurrentRow(0);
    const QImage before = shownPreview();
    QCOMPARE(before.size(), QSize(18, 12));

    ui->files_list->setCurrentRow(1);
    QVERIFY(WindowProbe::sourceImage(*window).isNull());
    QCOMPARE(shownPreview(), before);
}

void PictureListTest::vanishedPictureChangesNothing()
{
    const QString good = picture("good.png", photoLike(18, 12, 3));
    const QString gone = picture("gone.png", photoLike(30, 30, 4));
    ui->files_list->addItems({ good, gone });
    ui->files_list->setCurrentRow(0);
    const QImage source = WindowProbe::sourceImage(*window);
    QVERIFY(QFile::remove(gone));
    ui->files_list->setCurrentRow(1);
    QCOMPARE(WindowProbe::sourceImage(*window), source);
    QCOMPARE(shownPreview().size(), QSize(18, 12));
}

TARVELO_TEST_MAIN(PictureListTest)
#include "tst_picturelist.moc"
