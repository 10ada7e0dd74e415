#include "window/mainwindow.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "batch/batchlog.h"
#include "io/pictureio.h"
#include "ui_mainwindow.h"

namespace {

// Why a picture that was read (or not) cannot be stamped; empty when it can.
QString refusal(const PictureIO::ReadResult &read, const QString &fileName)
{
    switch (read.status) {
    case PictureIO::ReadStatus::Ok:
        return QString();
    case PictureIO::ReadStatus::TooLarge:
        return BatchLog::tooLarge(fileName, read.size, read.bytesNeeded, read.bytesAvailable);
    case PictureIO::ReadStatus::Damaged:
        return BatchLog::damaged(fileName, read.errorText);
    default:
        return read.errorText.isEmpty() ? QStringLiteral("Unknown error") : read.errorText;
    }
}

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

    // The JPG quality is fixed for the whole run, like the writer's settings.
    const int jpgQuality = ui->outjpg_radio->isChecked() ? ui->comp_slider->value() : -1;

    ui->prog_bar->setRange(0, ui->files_list->count() - 1);
    ui->prog_bar->setValue(0);
    ui->main_tab->setCurrentIndex(1);
    ui->log_plain->appendPlainText(QStringLiteral("Stamping Started ..."));
    transformMode = Qt::SmoothTransformation;
    stamping = true;
    ui->start_btn->setText(QStringLiteral("Stop"));

    for (int i = 0; i < ui->files_list->count(); ++i) {
        if (!stamping)
            break;
        ui->log_plain->appendHtml(QStringLiteral("<hr>"));
        QCoreApplication::processEvents();
        // Remove and Clear stay usable during the run, so the list may have
        // shrunk below this index while events ran.
        if (i >= ui->files_list->count())
            break;
        stampListedPicture(i, folder, jpgQuality);
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

void MainWindow::stampListedPicture(int index, const QString &folder, int jpgQuality)
{
    const QString path = ui->files_list->item(index)->text();
    PictureIO::ReadResult read = PictureIO::readImage(path);
    // A file deleted since it was listed is skipped without a word.
    if (read.status == PictureIO::ReadStatus::Missing)
        return;

    const QFileInfo source(path);
    const QString suffix = outputSuffix();
    QString failure = refusal(read, source.fileName());
    if (failure.isEmpty()) {
        sourceImage = PictureIO::toArgb32(read.image);
        read.image = QImage(); // converted: its memory goes back before stamping
        if (!sourceImage.isNull()) {
            stampedImage = sourceImage;
            composeTwice();
        }
        if (sourceImage.isNull() || stampedImage.isNull())
            failure = BatchLog::outOfMemory(source.fileName(), read.size);
    }

    bool written = false;
    QString metadataProblem;
    if (failure.isEmpty()) {
        // Each file is written in the format its suffix names, even when the
        // format buttons changed during the run.
        const PictureIO::Encoded encoded = PictureIO::encode(stampedImage, suffix,
            suffix == QLatin1String("jpg") ? jpgQuality : -1, Metadata::read(path));
        metadataProblem = encoded.metadataProblem;
        failure = encoded.errorText;
        if (!encoded.bytes.isEmpty()) {
            const PictureIO::WriteResult result = PictureIO::writeNewBytes(
                encoded.bytes, folder, source.completeBaseName(), suffix);
            written = result.ok;
            if (result.ok && result.renamed)
                ui->log_plain->appendHtml(BatchLog::overwriteWarning(
                    folder, source.completeBaseName(), suffix, result.path));
            failure = result.errorText;
        }
    }
    if (!written)
        ui->log_plain->appendPlainText(failure);
    else if (!metadataProblem.isEmpty())
        ui->log_plain->appendPlainText(BatchLog::metadataLost(source.fileName(), metadataProblem));

    ui->prog_bar->setValue(index);
    ui->log_plain->appendPlainText(BatchLog::progressLine(
        source.completeBaseName(), suffix, written, index + 1, ui->files_list->count()));
}
