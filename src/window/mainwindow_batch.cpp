#include "window/mainwindow.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QListWidget>
#include <QMessageBox>

#include <deque>

#include "batch/batchlog.h"
#include "batch/batchrunner.h"
#include "io/pictureio.h"
#include "ui_mainwindow.h"

namespace {

// Follows the picture list under a running batch. `row` is the next picture
// the run reaches; `ahead` holds the runner's tickets of the pictures from
// that row on that were handed to it already, in list order. Pictures are
// only ever appended or removed, so rows move only on a removal: a removed
// picture not yet reached is dropped from the runner and never stamped, and
// removing one that was reached already moves the rest up without skipping
// any of them.
class ListCursor : public QObject
{
public:
    ListCursor(QListWidget *list, BatchRunner &runner)
        : list(list)
        , runner(runner)
    {
        const QAbstractItemModel *model = list->model();
        connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &, int first, int last) { removed(first, last); });
        connect(model, &QAbstractItemModel::modelAboutToBeReset, this,
            [this]() { removed(0, this->list->count() - 1); });
        connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) { inserted(first, last); });
    }

    bool atEnd() const { return row >= list->count(); }

    // Hands the pictures from `row` on to the runner, up to `count` ahead.
    void fill(int count)
    {
        while (int(ahead.size()) < count && row + int(ahead.size()) < list->count())
            ahead.push_back(runner.submit(list->item(row + int(ahead.size()))->text()));
    }

    // The picture at `row` was taken: the run goes on with the next one.
    void advance()
    {
        ahead.pop_front();
        ++row;
    }

    // Drops what was handed out ahead, e.g. to hand it out again.
    void dropAhead()
    {
        for (const int ticket : ahead)
            runner.cancel(ticket);
        ahead.clear();
    }

    int row = 0;
    std::deque<int> ahead;

private:
    void removed(int first, int last)
    {
        for (int r = last; r >= first; --r) {
            const int k = r - row;
            if (k >= 0 && k < int(ahead.size())) {
                runner.cancel(ahead[size_t(k)]);
                ahead.erase(ahead.begin() + k);
            }
        }
        if (last < row)
            row -= last - first + 1;
        else if (first < row)
            row = first;
    }

    void inserted(int first, int last)
    {
        if (first <= row)
            row += last - first + 1;
        else if (first < row + int(ahead.size()))
            dropAhead(); // handed out again, in the new order
    }

    QListWidget *list;
    BatchRunner &runner;
};

} // namespace

QString MainWindow::outputSuffix() const
{
    if (ui->outjpg_radio->isChecked())
        return QStringLiteral("jpg");
    if (ui->outpng_radio->isChecked())
        return QStringLiteral("png");
    if (ui->outtif_radio->isChecked())
        return QStringLiteral("tif");
    return QStringLiteral("jpg");
}

void MainWindow::on_comp_slider_valueChanged(int value)
{
    ui->comp_label->setText(QString::number(value) + QLatin1Char('%'));
}

void MainWindow::on_clear_log_btn_pressed()
{
    ui->log_plain->clear();
}

void MainWindow::on_start_btn_pressed()
{
    if (stamping) {
        // This press reached us through the running batch's event processing.
        if (QMessageBox::warning(this, QStringLiteral("Warning"),
                QStringLiteral("Are you you want to stop stamping?"),
                QMessageBox::Yes | QMessageBox::No)
            == QMessageBox::Yes) {
            stamping = false; // the run leaves before its next picture
            ui->start_btn->setText(QStringLiteral("Start Stamping"));
        }
        return;
    }
    if (ui->files_list->count() == 0) {
        QMessageBox::warning(this, QStringLiteral("No pictures to stamp!"),
            QStringLiteral("First add some pictures using Add Pictures button."), QMessageBox::Ok);
        return;
    }
    const QString folder = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Select Output Folder"), QString(), QFileDialog::ShowDirsOnly);
    if (folder.trimmed().isEmpty())
        return;
    if (!QFileInfo(folder).isDir()) {
        QMessageBox::warning(this, QStringLiteral("Error"), QStringLiteral("What's goin on here?!"),
            QMessageBox::Ok);
        return;
    }
    if (ui->wtrmark_edit->text().trimmed().isEmpty()
        && QMessageBox::warning(this, QStringLiteral("Warning"),
               QStringLiteral("Are you going to go on stamping without any watermarks?"),
               QMessageBox::Yes | QMessageBox::No)
            == QMessageBox::No)
        return;
    if (logoImage.isNull()
        && QMessageBox::warning(this, QStringLiteral("Warning"),
               QStringLiteral("Are you going to go on stamping without a logo?"),
               QMessageBox::Yes | QMessageBox::No)
            == QMessageBox::No)
        return;

    // Everything the pictures are stamped with is taken now, once, for the
    // whole run; the JPG quality too, whatever the format is at the start.
    BatchOptions options = readBatchOptions();

    ui->prog_bar->setRange(0, ui->files_list->count() - 1);
    ui->prog_bar->setValue(0);
    ui->main_tab->setCurrentIndex(1);
    ui->log_plain->appendPlainText(QStringLiteral("Stamping Started ..."));
    transformMode = Qt::SmoothTransformation;
    stamping = true;
    ui->start_btn->setText(QStringLiteral("Stop"));

    {
        BatchRunner runner(options);
        ListCursor cursor(ui->files_list, runner);
        // The preview goes on showing what it showed until the run ends:
        // showing each picture would cost the run time (a 48-megapixel one
        // takes longer to show than the window may wait for its events).
        BatchResult last;
        while (stamping && !cursor.atEnd()) {
            ui->log_plain->appendHtml(QStringLiteral("<hr>"));
            QCoreApplication::processEvents();
            // Wait for the picture at the cursor, letting events through
            // often enough for the window to stay responsive; the user may
            // remove it, or everything, meanwhile.
            BatchResult result;
            bool reached = false;
            while (!cursor.atEnd()) {
                // Pictures not started yet are encoded in the format chosen now.
                if (outputSuffix() != options.suffix) {
                    options.suffix = outputSuffix();
                    runner.setSuffix(options.suffix);
                }
                cursor.fill(runner.workerCount() + 1);
                if (runner.take(cursor.ahead.front(), result, EventIntervalMs)) {
                    reached = true;
                    break;
                }
                QCoreApplication::processEvents();
            }
            if (!reached)
                break;
            const int index = cursor.row;
            cursor.advance();
            if (takeStamped(result, index, folder, options)) {
                last = std::move(result);
                last.bytes.clear();
            }
        }
        // Leaving the block drops whatever was stamped ahead.
        if (last.status == BatchResult::Status::Stamped) {
            // The run drew on the pictures it read (maybe read smaller):
            // the window composes from the whole picture, read again.
            sourceImage = PictureIO::toArgb32(PictureIO::readImage(last.path).image);
            stampedImage = last.stamped;
            textPos = last.placement.textPos;
            logoPos = last.placement.logoPos;
            textExtent = last.placement.textExtent;
            refreshView();
        }
    }

    // A run of one picture has the range 0 to 0, which the bar shows as
    // busy for ever; a finished run shows a full, still bar.
    if (ui->prog_bar->maximum() <= ui->prog_bar->minimum()) {
        ui->prog_bar->setRange(0, 1);
        ui->prog_bar->setValue(1);
    }

    transformMode
        = ui->smooth_check->isChecked() ? Qt::SmoothTransformation : Qt::FastTransformation;
    ui->log_plain->appendHtml(QStringLiteral("<hr>"));
    if (stamping) {
        ui->log_plain->appendPlainText(QStringLiteral("Stamping Completed!"));
        QMessageBox::information(
            this, QStringLiteral("Tarvelo"), QStringLiteral("Done"), QMessageBox::Ok);
        stamping = false;
    } else {
        ui->log_plain->appendPlainText(QStringLiteral("Stamping interrupted!"));
    }
    ui->start_btn->setText(QStringLiteral("Start Stamping"));
}

BatchOptions MainWindow::readBatchOptions() const
{
    BatchOptions options;
    options.stamp = readStampOptions();
    options.font = textFont;
    options.color = textColor;
    options.logo = logoImage;
    options.suffix = outputSuffix();
    options.jpgQuality = ui->comp_slider->value();
    options.keepImages = true; // the window shows what it stamped
    return options;
}

// Writes and logs one picture the runner finished; true when it was stamped.
bool MainWindow::takeStamped(
    BatchResult &result, int index, const QString &folder, const BatchOptions &options)
{
    // A file deleted since it was listed is skipped without a word, also
    // when it was read ahead before it went.
    if (result.status == BatchResult::Status::Missing || !QFileInfo::exists(result.path))
        return false;

    const QFileInfo source(result.path);
    const QString suffix = outputSuffix();
    QString failure = result.failure;
    const bool stamped = result.status == BatchResult::Status::Stamped;
    if (stamped) {
        // The format buttons changed while this picture was being encoded:
        // each file is written in the format its suffix names.
        if (result.suffix != suffix)
            failure = BatchRunner::encode(result, result.stamped, suffix, options);
    }

    bool written = false;
    if (failure.isEmpty()) {
        const PictureIO::WriteResult write = BatchRunner::write(result, folder);
        written = write.ok;
        if (write.ok && write.renamed)
            ui->log_plain->appendHtml(
                BatchLog::overwriteWarning(folder, source.completeBaseName(), suffix, write.path));
        failure = write.errorText;
    }
    if (!written)
        ui->log_plain->appendPlainText(failure);
    else if (!result.metadataLost.isEmpty())
        ui->log_plain->appendPlainText(result.metadataLost);

    ui->prog_bar->setValue(index);
    ui->log_plain->appendPlainText(BatchLog::progressLine(
        source.completeBaseName(), suffix, written, index + 1, ui->files_list->count()));
    return stamped;
}
