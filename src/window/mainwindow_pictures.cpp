#include "window/mainwindow.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeData>
#include <QProgressDialog>
#include <QUrl>

#include "batch/picturepaths.h"
#include "io/pictureformats.h"
#include "io/pictureio.h"
#include "window/qclickablelabel.h"
#include "ui_mainwindow.h"

namespace {

// The drop's progress dialog and its counter, which counts dropped entries
// and the pictures found in dropped folders alike, and lags one behind.
class DropProgress
{
public:
    explicit DropProgress(QWidget *window)
        : dialog(
            QStringLiteral("Please wait ..."), QStringLiteral("Abort"), 0, 0, window, Qt::Dialog)
    {
        dialog.setWindowModality(Qt::WindowModal);
        dialog.show();
    }

    void tick()
    {
        dialog.setLabelText(
            QStringLiteral("Please wait while your files are added. (%1 files)").arg(counter));
        ++counter;
    }

    bool cancelled() const { return dialog.wasCanceled(); }
    void close() { dialog.close(); }

private:
    QProgressDialog dialog;
    int counter = 0;
};

} // namespace

void MainWindow::on_open_btn_pressed()
{
    // Today's phone and camera formats come after the usual ones, where
    // their readers are installed.
    QString filter = QStringLiteral("Images (*.bmp *.gif *.jpeg *.jpg *.jp2 *.png *.webp *.pgm *.pbm "
                                    "*.ppm *.xbm *.xpm *.tiff *.tif");
    for (const QString &suffix : PictureFormats::photoSuffixes())
        filter += QStringLiteral(" *.") + suffix;
    filter += QLatin1Char(')');
    const QStringList files = QFileDialog::getOpenFileNames(
        this, QStringLiteral("Add Image Files"), QStringLiteral("C:/"), filter);
    ui->files_list->addItems(files);
    // Also after a cancel: the last picture becomes the current one.
    if (ui->files_list->count() > 0)
        ui->files_list->setCurrentRow(ui->files_list->count() - 1);
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    // Events run while the drop is handled; keep the URLs, not the drag's data.
    const QList<QUrl> urls = event->mimeData()->urls();
    DropProgress progress(this);

    for (const QUrl &url : urls) {
        const QString path = url.toLocalFile();
        const QFileInfo info(path);
        if (!path.isEmpty() && info.exists()) {
            if (info.isDir()) {
                PicturePaths::walk(path, [&](const QString &picture) {
                    ui->files_list->addItem(picture);
                    progress.tick();
                    if (progress.cancelled())
                        return false;
                    QCoreApplication::processEvents();
                    return true;
                });
            } else if (PicturePaths::listable(path)) {
                ui->files_list->addItem(path);
            }
        }
        progress.tick();
        if (progress.cancelled())
            break;
        QCoreApplication::processEvents();
    }

    if (ui->files_list->count() > 0)
        ui->files_list->setCurrentRow(ui->files_list->count() - 1);
    progress.close();
}

void MainWindow::on_remove_btn_pressed()
{
    const int row = ui->files_list->currentRow();
    if (row >= 0 && ui->files_list->item(row))
        delete ui->files_list->takeItem(row);
}

void MainWindow::on_clear_btn_pressed()
{
    ui->files_list->clear();
}

void MainWindow::on_files_list_currentRowChanged(int row)
{
    if (row == -1) {
        if (previewLabel)
            previewLabel->clear();
        sourceImage = QImage();
        return;
    }
    const QListWidgetItem *item = ui->files_list->item(row);
    if (!item)
        return;

    // A vanished file leaves everything as it was. A picture that cannot be
    // read, is too large or is no regular file gives an empty picture: the
    // compositor leaves it alone and the preview keeps what it showed.
    PictureIO::ReadResult read = PictureIO::readImage(item->text());
    if (read.status == PictureIO::ReadStatus::Missing)
        return;
    // A damaged picture shows nothing, rather than the picture before it.
    if (read.status == PictureIO::ReadStatus::Damaged && previewLabel)
        previewLabel->clear();
    sourceImage
        = read.status == PictureIO::ReadStatus::Ok ? PictureIO::toArgb32(read.image) : QImage();
    read.image = QImage(); // converted: its memory goes back before composing
    stampedImage = sourceImage;
    composeTwice();
}
