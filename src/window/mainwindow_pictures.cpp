// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/mainwindow.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeData>
#include <QProgressDialog>
#include <QStatusBar>
#include <QUrl>

#include "batch/batchlog.h"
#include "batch/batchsession.h"
#include "batch/picturepaths.h"
#include "common/pictureformats.h"
#include "io/pictureio.h"
#include "ui_mainwindow.h"
#include "window/qclickablelabel.h"

namespace {

// The drop's progress dialog and its counter, which counts dropped entries
// and the pictures found in dropped folders alike, and lags one behind.
class DropProgress
{
public:
    explicit DropProgress(QWidget *window)
        : dialog(
            MainWindow::tr("Please wait ..."), MainWindow::tr("Abort"), 0, 0, window, Qt::Dialog)
    {
        dialog.setWindowModality(Qt::WindowModal);
        dialog.show();
    }

    void tick()
    {
        dialog.setLabelText(
            MainWindow::tr("Please wait while your files are added. (%1 files)").arg(counter));
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
    QString filter = tr("Images")
        + QStringLiteral(" (*.bmp *.gif *.jpeg *.jpg *.jp2 *.png *.webp *.pgm *.pbm "
                         "*.ppm *.xbm *.xpm *.tiff *.tif");
    filter += QStringLiteral(" *.j2k"); // a bare JPEG 2000 codestream
    for (const QString &suffix : PictureFormats::photoSuffixes())
        filter += QStringLiteral(" *.") + suffix;
    filter += QLatin1Char(')');
    const QStringList files
        = QFileDialog::getOpenFileNames(this, tr("Add Image Files"), QStringLiteral("C:/"), filter);
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
                    // The folder it was found in, where "Keep subfolders"
                    // takes its place in the tree from.
                    auto *item = new QListWidgetItem(picture);
                    item->setData(BatchSession::RootRole, path);
                    ui->files_list->addItem(item);
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

// The picture is read away from the window's thread; until it arrives the
// preview goes on showing what it showed, and a picture that arrives after
// another was selected is never shown.
void MainWindow::on_files_list_currentRowChanged(int row)
{
    const QListWidgetItem *item = row == -1 ? nullptr : ui->files_list->item(row);
    if (!item) {
        pictureLoader.cancel();
        PictureLoader::Loaded nothing;
        keepShownValues(QString(), nothing, false);
        showSelected(QString(), nothing);
        return;
    }
    const QString path = item->text();
    loadShown(path, [this, path](PictureLoader::Loaded &loaded) { showSelected(path, loaded); });
}

void MainWindow::loadShown(const QString &path, std::function<void(PictureLoader::Loaded &)> done)
{
    // The metadata is read only when the fields ask for it: a file whose
    // metadata the reader cannot stomach is shown all the same without.
    const StoredOptions::RunOptions run = readRunOptions();
    const bool fields = run.textFields && Fields::needsMetadata(run.stamp.watermarkText);
    pictureLoader.load(
        path, true,
        [this, path, fields, done](PictureLoader::Loaded &loaded) {
            keepShownValues(path, loaded, fields);
            done(loaded);
        },
        fields);
}

void MainWindow::keepShownValues(
    const QString &path, const PictureLoader::Loaded &loaded, bool withFields)
{
    shownValues = Fields::Values();
    shownValues.name = QFileInfo(path).completeBaseName();
    shownValues.metadata = loaded.read.fields;
    shownValues.modified = loaded.read.modified;
    shownHasFields = withFields;
}

void MainWindow::showSelected(const QString &path, PictureLoader::Loaded &loaded)
{
    const PictureIO::ReadResult &read = loaded.read;
    // With no picture, or one that cannot be shown, there is nothing to show
    // or drag: no earlier picture may come back under the new selection.
    sourceImage = std::move(loaded.converted);
    stampedImage = sourceImage;
    if (sourceImage.isNull()) {
        if (previewLabel)
            previewLabel->clear();
        draggingLogo = draggingText = false;
    }
    if (path.isEmpty()) {
        statusBar()->clearMessage();
        return;
    }
    // The same reason the run would log, in one line.
    const QString fileName = QFileInfo(path).fileName();
    QString reason = BatchLog::refusal(read, fileName);
    if (read.status == PictureIO::ReadStatus::Ok && sourceImage.isNull())
        reason = BatchLog::outOfMemory(fileName, read.size);
    if (read.status == PictureIO::ReadStatus::Missing)
        reason = fileName + QStringLiteral(": ") + reason;
    if (reason.isEmpty())
        statusBar()->clearMessage();
    else
        statusBar()->showMessage(reason.simplified());
    composeTwice();
}
