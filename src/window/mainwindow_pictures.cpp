#include "window/mainwindow.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeData>
#include <QProgressDialog>
#include <QUrl>

#include "io/pictureio.h"
#include "window/qclickablelabel.h"
#include "ui_mainwindow.h"

namespace {

// What a drop accepts. The open-files dialog has a list of its own (it offers
// gif, xbm and xpm, a drop takes dib, sr and ras instead).
const char *const droppedSuffixes[] = { "bmp", "dib", "jpeg", "jpg", "jp2", "png", "webp", "pgm",
    "pbm", "ppm", "sr", "ras", "tiff", "tif" };

bool droppableFile(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().trimmed();
    for (const char *accepted : droppedSuffixes) {
        if (suffix.compare(QLatin1String(accepted), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QStringList folderFilters()
{
    QStringList filters;
    for (const char *accepted : droppedSuffixes)
        filters << QStringLiteral("*.") + QLatin1String(accepted);
    return filters;
}

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
    const QStringList files = QFileDialog::getOpenFileNames(this, QStringLiteral("Add Image Files"),
        QStringLiteral("C:/"),
        QStringLiteral("Images (*.bmp *.gif *.jpeg *.jpg *.jp2 *.png *.webp *.pgm *.pbm *.ppm "
                       "*.xbm *.xpm *.tiff *.tif)"));
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
                // Symbolic links to folders are not followed, so a link loop
                // inside the folder cannot make the walk endless.
                QDirIterator walk(path, folderFilters(), QDir::Files, QDirIterator::Subdirectories);
                while (walk.hasNext()) {
                    ui->files_list->addItem(walk.next());
                    progress.tick();
                    if (progress.cancelled())
                        break;
                    QCoreApplication::processEvents();
                }
            } else if (droppableFile(path)) {
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
    const PictureIO::ReadResult read = PictureIO::readImage(item->text());
    if (read.status == PictureIO::ReadStatus::Missing)
        return;
    sourceImage
        = read.status == PictureIO::ReadStatus::Ok ? PictureIO::toArgb32(read.image) : QImage();
    stampedImage = sourceImage;
    composeTwice();
}
