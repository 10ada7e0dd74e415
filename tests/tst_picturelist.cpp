// The picture list: adding through the real open-files dialog, dropping
// files and folders on the window (with the progress dialog, its counter and
// a working Abort), removing and clearing, and loading the current picture
// for the preview, including pictures that must not be loaded.

#include <QMimeData>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include "window/qclickablelabel.h"
#include "testsupport.h"

using namespace TestSupport;

namespace {

QStringList itemTexts(const QListWidget *list)
{
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts << list->item(row)->text();
    return texts;
}

QString counterLabel(int count)
{
    return QStringLiteral("Please wait while your files are added. (%1 files)").arg(count);
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
    bool windowModal = true; // at every sighting
    bool visibleAtOnce = false; // at the first sighting
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
            cancelText = dialog->findChild<QPushButton *>()->text();
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

} // namespace

class PictureListTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void openDialogAddsAndSelectsLast();
    void openDialogCancelMovesToLast();
    void dragEnterWantsUrls();
    void dropFolderWalksSubfolders();
    void dropFileBySuffix_data();
    void dropFileBySuffix();
    void dropCountsEveryEntry();
    void abortEndsWalkAndDrop();
    void dropFifoDoesNotHang();
    void removeTakesCurrent();
    void clearEmptiesPreview();
    void loadingTurnsAndClearsTransparentPixels();
    void loadingComposesForPreview();
    void refusedPictureKeepsPreview_data();
    void refusedPictureKeepsPreview();

private:
    void drop(const QList<QUrl> &urls);
    QString picture(const QString &name, const QImage &image = photoLike(24, 16));
    QImage shownPreview() const
    {
        return WindowProbe::previewLabel(*window)->pixmap(Qt::ReturnByValue).toImage();
    }
    QImage source() const { return WindowProbe::sourceImage(*window); }

    std::unique_ptr<MainWindow> window;
    Ui::MainWindow *ui = nullptr;
    std::unique_ptr<QTemporaryDir> dir;
};

void PictureListTest::init()
{
    window = plainWindow();
    ui = WindowProbe::ui(*window);
    ui->actual_radio->setChecked(true);
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void PictureListTest::cleanup()
{
    window.reset();
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

void PictureListTest::openDialogAddsAndSelectsLast()
{
    const QString first = picture("first.png");
    const QImage lastImage = photoLike(30, 20, 9);
    const QString spaced = picture("with space é.png", lastImage);
    // The dialog offers gif; whatever it returns is added without a test.
    const QString gif = dir->filePath("anim.gif");
    QVERIFY(writeFile(gif, gifClaiming(1, 1)));
    ui->files_list->addItem(first);
    Modals modals;
    modals.file(QStringLiteral("\"%1\" \"%2\" \"%3\"").arg(first, gif, spaced));
    press(ui->open_btn);
    QCOMPARE(modals.seen.size(), 1);
    QCOMPARE(modals.seen[0].title, QStringLiteral("Add Image Files"));
    QCOMPARE(modals.seen[0].fileMode, int(QFileDialog::ExistingFiles));
    QCOMPARE(modals.seen[0].nameFilters,
        QStringList { "Images (*.bmp *.gif *.jpeg *.jpg *.jp2 *.png *.webp *.pgm *.pbm *.ppm *.xbm "
                      "*.xpm *.tiff *.tif)" });
    QCOMPARE(itemTexts(ui->files_list), (QStringList { first, first, gif, spaced }));
    QCOMPARE(ui->files_list->currentRow(), 3);
    QCOMPARE(source().format(), QImage::Format_ARGB32);
    QCOMPARE(source().convertToFormat(QImage::Format_RGB32), lastImage);
}

void PictureListTest::openDialogCancelMovesToLast()
{
    ui->files_list->addItems(
        { picture("a.png"), picture("b.png"), picture("c.png", photoLike(12, 10, 4)) });
    ui->files_list->setCurrentRow(0);
    for (int count : { 3, 0 }) {
        Modals modals;
        modals.file(QString());
        press(ui->open_btn);
        QCOMPARE(modals.seen.size(), 1);
        QCOMPARE(ui->files_list->count(), count);
        // On an empty list a cancel selects nothing.
        QCOMPARE(ui->files_list->currentRow(), count - 1);
        QCOMPARE(source().width(), count ? 12 : 0);
        ui->files_list->clear();
    }
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
    QMimeData textOnly;
    textOnly.setText("/tmp/x.jpg");
    QDragEnterEvent refused(
        QPoint(20, 20), Qt::CopyAction, &textOnly, Qt::LeftButton, Qt::NoModifier);
    refused.ignore();
    QApplication::sendEvent(window.get(), &refused);
    QVERIFY(!refused.isAccepted());
    QCOMPARE(ui->files_list->count(), 0);
}

void PictureListTest::dropFolderWalksSubfolders()
{
    const QString root = dir->filePath("drop");
    QStringList expected;
    for (const QString name :
        { "a.jpg", "PHOTO.JPG", "sub/B.PNG", "sub/deeper/c.TiF", "sub/f.JpEg", "x.bmp", "y.dib",
            "z.webp", "p.pgm", "q.pbm", "r.ppm", "s.sr", "t.ras", "u.jp2", "v.tiff" })
        expected << picture("drop/" + name);
    for (const QString name :
        { "d.gif", "e.txt", "sub/notes.xpm", "sub/h.xbm", "noext", ".hidden.jpg" })
        picture("drop/" + name);
    // A link back up the tree, one to a folder elsewhere and one to a file:
    // folders reached through links are not walked, so a loop cannot make
    // the walk endless.
    QVERIFY(QFile::link(root, root + "/sub/loop"));
    picture("elsewhere/e.jpg");
    QVERIFY(QFile::link(dir->filePath("elsewhere"), root + "/away"));
    QVERIFY(QFile::link(root + "/a.jpg", root + "/sub/alias.jpg"));
    expected << root + "/sub/alias.jpg";

    DropWatcher watcher(window.get());
    drop({ QUrl::fromLocalFile(root) });
    QStringList listed = itemTexts(ui->files_list);
    listed.sort();
    expected.sort();
    QCOMPARE(listed, expected);
    QCOMPARE(ui->files_list->currentRow(), ui->files_list->count() - 1);
    QVERIFY(!source().isNull());
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

// Every dropped entry counts, also one that is skipped: a remote address, a
// file that is gone, one with the wrong suffix. The same file twice is
// listed twice.
void PictureListTest::dropCountsEveryEntry()
{
    const QString a = picture("a.png"), b = picture("b.jpg");
    const QString text = dir->filePath("c.txt");
    QVERIFY(writeFile(text, "text"));
    DropWatcher watcher(window.get());
    drop({ QUrl("https://example.org/remote.jpg"), QUrl::fromLocalFile(a),
        QUrl::fromLocalFile(dir->filePath("gone.jpg")), QUrl::fromLocalFile(text),
        QUrl::fromLocalFile(b), QUrl::fromLocalFile(a) });
    QCOMPARE(itemTexts(ui->files_list), (QStringList { a, b, a }));
    QVERIFY(watcher.visibleAtOnce);
    QVERIFY(watcher.windowModal);
    QCOMPARE(watcher.cancelText, QStringLiteral("Abort"));
    QCOMPARE(watcher.minimum, 0);
    QCOMPARE(watcher.maximum, 0);
    QStringList labels;
    for (int k = 0; k < 6; ++k)
        labels << counterLabel(k);
    QCOMPARE(watcher.labels, labels);
    QCOMPARE(ui->files_list->currentRow(), 2);
}

void PictureListTest::abortEndsWalkAndDrop()
{
    for (int k = 0; k < 30; ++k)
        picture(QStringLiteral("many/p%1.png").arg(k, 2, 10, QLatin1Char('0')), photoLike(4, 4));
    const QString later = picture("later.png");
    DropWatcher watcher(window.get());
    watcher.onSighting = [](QProgressDialog *dialog) {
        if (dialog->labelText() == counterLabel(4))
            QTest::mouseClick(dialog->findChild<QPushButton *>(), Qt::LeftButton);
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
    QVERIFY(source().isNull());
    // The preview still shows the picture before.
    QCOMPARE(shownPreview().size(), QSize(14, 9));
}

void PictureListTest::removeTakesCurrent()
{
    const QString a = picture("a.png", photoLike(10, 10, 1));
    const QString b = picture("b.png", photoLike(11, 10, 2));
    const QString c = picture("c.png", photoLike(12, 10, 3));
    ui->files_list->addItems({ a, b, c });
    // Without a current row nothing is removed.
    press(ui->remove_btn);
    QCOMPARE(ui->files_list->count(), 3);

    ui->files_list->setCurrentRow(1);
    QSignalSpy rows(ui->files_list, &QListWidget::currentRowChanged);
    QTest::mousePress(ui->remove_btn, Qt::LeftButton);
    QCOMPARE(itemTexts(ui->files_list), (QStringList { a, c }));
    QCOMPARE(ui->files_list->currentRow(), 1);
    QCOMPARE(source().size(), QSize(12, 10));
    QVERIFY(QFileInfo::exists(b)); // the file itself is kept
    QTest::mousePress(ui->remove_btn, Qt::LeftButton);
    QCOMPARE(itemTexts(ui->files_list), QStringList { a });
    QCOMPARE(source().size(), QSize(10, 10));
    QTest::mousePress(ui->remove_btn, Qt::LeftButton);
    QCOMPARE(ui->files_list->count(), 0);
    QVERIFY(source().isNull());
    QCOMPARE(rows.last().first().toInt(), -1);
    QTest::mousePress(ui->remove_btn, Qt::LeftButton);
    QCOMPARE(ui->files_list->count(), 0);
}

void PictureListTest::clearEmptiesPreview()
{
    const QString a = picture("a.png", photoLike(20, 15, 5));
    drop({ QUrl::fromLocalFile(a), QUrl::fromLocalFile(a) });
    QCOMPARE(shownPreview().size(), QSize(20, 15));
    const QImage stamped = WindowProbe::stampedImage(*window);
    QSignalSpy rows(ui->files_list, &QListWidget::currentRowChanged);
    QTest::mousePress(ui->clear_btn, Qt::LeftButton);
    QCOMPARE(ui->files_list->count(), 0);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().first().toInt(), -1);
    QVERIFY(shownPreview().isNull());
    QVERIFY(source().isNull());
    // The last composition stays until the next one.
    QCOMPARE(WindowProbe::stampedImage(*window), stamped);
    QVERIFY(QFileInfo::exists(a));
}

// The picture is read with the orientation its file records, as 32-bit
// ARGB with transparent pixels cleared.
void PictureListTest::loadingTurnsAndClearsTransparentPixels()
{
    const QImage stored = photoLike(16, 12, 6, true);
    const QString path = dir->filePath("turned.tif");
    QImageWriter writer(path, "tiff");
    writer.setTransformation(QImageIOHandler::TransformationRotate90);
    QVERIFY(writer.write(stored));
    drop({ QUrl::fromLocalFile(path) });
    const QImage turned = stored.transformed(QTransform().rotate(90));
    QCOMPARE(source().size(), QSize(12, 16));
    QCOMPARE(source().format(), QImage::Format_ARGB32);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 12; ++x)
            QCOMPARE(source().pixel(x, y), qAlpha(turned.pixel(x, y)) ? turned.pixel(x, y) : 0u);
}

// Resized to 64 x 48 without keeping the proportions: the preview shows the
// composition, not the picture as read.
void PictureListTest::loadingComposesForPreview()
{
    ui->resize_check->setChecked(true);
    ui->aspect_check->setChecked(false);
    ui->width_spin->setValue(64);
    ui->height_spin->setValue(48);
    drop({ QUrl::fromLocalFile(picture("big.png", photoLike(200, 100, 8))) });
    QCOMPARE(source().size(), QSize(200, 100));
    QCOMPARE(WindowProbe::stampedImage(*window).size(), QSize(64, 48));
    QCOMPARE(shownPreview().size(), QSize(64, 48));
}

void PictureListTest::refusedPictureKeepsPreview_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("zero bytes") << "empty.jpg" << QByteArray();
    QTest::newRow("truncated png") << "cut.png" << encode(photoLike(32, 32), "png").left(60);
    QTest::newRow("jpeg claiming 20000x20000") << "bomb.jpg" << jpegClaiming(20000, 20000);
    QTest::newRow("folder named jpg") << "folder.jpg" << QByteArray();
    // Deleted after it was listed: not even the picture as read changes.
    QTest::newRow("vanished") << "gone.png" << encode(photoLike(30, 30, 4), "png");
}

void PictureListTest::refusedPictureKeepsPreview()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    const QString good = picture("good.png", photoLike(18, 12, 3));
    const QString bad = dir->filePath(name);
    QVERIFY(name == "folder.jpg" ? QDir().mkpath(bad) : writeFile(bad, bytes));
    ui->files_list->addItems({ good, bad });
    ui->files_list->setCurrentRow(0);
    const QImage before = shownPreview();
    const QImage read = source();
    QCOMPARE(before.size(), QSize(18, 12));
    if (name == "gone.png")
        QVERIFY(QFile::remove(bad));
    ui->files_list->setCurrentRow(1);
    QCOMPARE(source(), name == "gone.png" ? read : QImage());
    QCOMPARE(shownPreview(), before);
}

TARVELO_TEST_MAIN(PictureListTest)
#include "tst_picturelist.moc"
