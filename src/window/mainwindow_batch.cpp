// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/mainwindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSettings>
#include <QStyle>

#include "batch/batchlog.h"
#include "batch/batchrunner.h"
#include "batch/batchsession.h"
#include "batch/outputnames.h"
#include "io/outputfiles.h"
#include "ui_mainwindow.h"

QString MainWindow::outputSuffix() const
{
    return readRunOptions().suffix;
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
        // This press reached us through the running batch's event loop; the
        // run waits for the answer.
        if (session)
            session->pause();
        if (QMessageBox::warning(this, tr("Warning"), tr("Are you you want to stop stamping?"),
                QMessageBox::Yes | QMessageBox::No)
            == QMessageBox::Yes) {
            stopStamping(); // the run leaves before its next picture
            ui->start_btn->setText(tr("Start Stamping"));
        }
        if (session)
            session->resume();
        return;
    }
    if (!awaitReads())
        return;
    const QString folder = askOutputFolder();
    if (folder.isEmpty() || !confirmMissingStamps())
        return;
    // A tarvelo-cli run started from now on stamps with the same options.
    saveSettings();
    settings->sync();

    // Everything the pictures are stamped with is taken now, once, for the
    // whole run; the JPG quality too, whatever the format is at the start.
    const BatchOptions taken = readBatchOptions();
    BatchSession run(
        taken, ui->files_list->model(), folder, [this] { return outputSuffix(); });
    connect(
        &run, &BatchSession::pictureStarting, this,
        [this] { ui->log_plain->appendHtml(QStringLiteral("<hr>")); }, Qt::QueuedConnection);
    connect(&run, &BatchSession::loggedHtml, ui->log_plain, &QPlainTextEdit::appendHtml,
        Qt::QueuedConnection);
    connect(&run, &BatchSession::loggedText, ui->log_plain, &QPlainTextEdit::appendPlainText,
        Qt::QueuedConnection);
    connect(&run, &BatchSession::progressed, ui->prog_bar, &QProgressBar::setValue,
        Qt::QueuedConnection);
    connect(
        &run, &BatchSession::pictureFailed, this, &MainWindow::markFailed, Qt::QueuedConnection);
    QEventLoop loop;
    connect(&run, &BatchSession::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);

    ui->prog_bar->setRange(0, ui->files_list->count() - 1);
    ui->prog_bar->setValue(0);
    ui->main_tab->setCurrentIndex(1);
    ui->log_plain->appendPlainText(tr("Stamping Started ..."));
    // The marks of the run before go; the options must name the same font on
    // every machine to stamp alike.
    clearFailedMarks();
    const QString substitute = StoredOptions::substituteFamily(textFont);
    if (!substitute.isEmpty())
        ui->log_plain->appendPlainText(
            tr("The font \"%1\" is not installed; \"%2\" is used instead.")
                .arg(textFont.family(), substitute));
    const QStringList unknown
        = taken.textFields ? Fields::unknown(taken.stamp.watermarkText) : QStringList();
    if (!unknown.isEmpty())
        ui->log_plain->appendPlainText(BatchLog::unknownFields(unknown));
    transformMode = Qt::SmoothTransformation;
    stamping = true;
    session = &run;
    ui->start_btn->setText(tr("Stop"));

    run.start(EventIntervalMs);
    loop.exec();
    if (run.isRunning()) {
        // The application is ending (a signal, the last window closed) and
        // runs no event loop any more: the run stops after the picture at
        // hand, with events let through by hand.
        stopStamping();
        while (run.isRunning())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    session = nullptr;
    // What the loop had no time for any more comes first, in its order.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    endRun(run);
}

// A run starts from what the options name: a logo or a selected picture
// still being read is waited for, with the window answering and the button
// a Stop button, as during a run. False when the start was stopped (or the
// window is closing) meanwhile.
bool MainWindow::awaitReads()
{
    if (!pictureLoader.busy() && !logoLoader.busy())
        return true;
    QEventLoop loop;
    const auto settled = [this, &loop] {
        if (!pictureLoader.busy() && !logoLoader.busy())
            loop.quit();
    };
    connect(&pictureLoader, &PictureLoader::settled, &loop, settled);
    connect(&logoLoader, &PictureLoader::settled, &loop, settled);
    const QString caption = ui->start_btn->text();
    stamping = true;
    readsAwaited = &loop;
    ui->start_btn->setText(tr("Stop"));
    loop.exec();
    readsAwaited = nullptr;
    ui->start_btn->setText(caption);
    const bool go = stamping;
    stamping = false;
    return go;
}

// The folder the user picks for the run, once it is known to take files;
// empty when there is nothing to stamp or no such folder.
QString MainWindow::askOutputFolder()
{
    if (ui->files_list->count() == 0) {
        QMessageBox::warning(this, tr("No pictures to stamp!"),
            tr("First add some pictures using Add Pictures button."), QMessageBox::Ok);
        return QString();
    }
    // Said before the folder is asked for: no picture could be named.
    const QString unusable = OutputNames::patternProblem(readRunOptions().namePattern);
    if (!unusable.isEmpty()) {
        QMessageBox::warning(this, tr("Error"),
            unusable.left(1).toUpper() + unusable.mid(1) + QLatin1Char('.'), QMessageBox::Ok);
        return QString();
    }
    const QString folder = QFileDialog::getExistingDirectory(
        this, tr("Select Output Folder"), QString(), QFileDialog::ShowDirsOnly);
    if (folder.trimmed().isEmpty())
        return QString();
    if (!QFileInfo(folder).isDir()) {
        QMessageBox::warning(this, tr("Error"), tr("What's goin on here?!"), QMessageBox::Ok);
        return QString();
    }
    // Said once, before any picture is read, rather than by every picture;
    // and so for the subfolders the pictures are kept in.
    QString unwritableFolder = folder;
    QString unwritable = OutputFiles::unwritableReason(folder);
    if (unwritable.isEmpty() && readRunOptions().keepTree) {
        QStringList places;
        for (int row = 0; row < ui->files_list->count(); ++row) {
            const QListWidgetItem *item = ui->files_list->item(row);
            QString refused;
            places << OutputNames::keptFolder(
                item->data(BatchSession::RootRole).toString(), item->text(), &refused);
        }
        unwritable = OutputFiles::unwritableReason(folder, places, &unwritableFolder);
    }
    if (!unwritable.isEmpty()) {
        QMessageBox::warning(this, tr("Error"),
            tr("The output folder \"%1\" cannot be written: %2.")
                .arg(QDir::toNativeSeparators(unwritableFolder), unwritable),
            QMessageBox::Ok);
        return QString();
    }
    return folder;
}

// Whether the user goes on although the watermark text or the logo is
// missing.
bool MainWindow::confirmMissingStamps()
{
    if (ui->wtrmark_edit->text().trimmed().isEmpty()
        && QMessageBox::warning(this, tr("Warning"),
               tr("Are you going to go on stamping without any watermarks?"),
               QMessageBox::Yes | QMessageBox::No)
            == QMessageBox::No)
        return false;
    return !logoImage.isNull()
        || QMessageBox::warning(this, tr("Warning"),
               tr("Are you going to go on stamping without a logo?"),
               QMessageBox::Yes | QMessageBox::No)
        == QMessageBox::Yes;
}

void MainWindow::stopStamping()
{
    stamping = false;
    if (session)
        session->stop();
    if (readsAwaited)
        readsAwaited->quit();
}

// The preview shows the last picture stamped, the bar and the log say how
// the run ended.
void MainWindow::endRun(const BatchSession &run)
{
    // The preview went on showing what it showed until the run ended:
    // showing each picture would cost the run time (a 48-megapixel one
    // takes longer to show than the window may wait for its events).
    const BatchResult &last = run.lastStamped();
    if (last.status == BatchResult::Status::Stamped) {
        stampedImage = last.stamped;
        textPos = last.placement.textPos;
        logoPos = last.placement.logoPos;
        textExtent = last.placement.textExtent;
        refreshView();
        // The run drew on the pictures it read (maybe read smaller): the
        // window composes from the whole picture, read again away from its
        // thread. A change made before it arrives composes it anew.
        sourceImage = QImage();
        const QString path = last.path;
        loadShown(path, [this](PictureLoader::Loaded &loaded) {
            sourceImage = std::move(loaded.converted);
            if (stampedImage.isNull())
                composeTwice();
        });
    }

    // A run of one picture has the range 0 to 0, which the bar shows as
    // busy for ever; a finished run shows a full, still bar, also when its
    // last picture was gone.
    if (ui->prog_bar->maximum() <= ui->prog_bar->minimum())
        ui->prog_bar->setRange(0, 1);
    if (stamping)
        ui->prog_bar->setValue(ui->prog_bar->maximum());

    transformMode
        = ui->smooth_check->isChecked() ? Qt::SmoothTransformation : Qt::FastTransformation;
    ui->log_plain->appendHtml(QStringLiteral("<hr>"));
    if (stamping) {
        ui->log_plain->appendPlainText(tr("Stamping Completed!"));
        stamping = false;
        if (run.failedCount() == 0) {
            QMessageBox::information(this, QStringLiteral("Tarvelo"), tr("Done"), QMessageBox::Ok);
        } else {
            const QString summary = BatchLog::runSummary(run.stampedCount(), run.failedCount());
            ui->log_plain->appendPlainText(summary);
            QMessageBox::warning(this, QStringLiteral("Tarvelo"), summary, QMessageBox::Ok);
        }
    } else {
        ui->log_plain->appendPlainText(tr("Stamping interrupted!"));
    }
    ui->start_btn->setText(tr("Start Stamping"));
}

BatchOptions MainWindow::readBatchOptions() const
{
    BatchOptions options = batchOptionsFrom(readRunOptions());
    // The font and colour as the window holds them: the stored forms of
    // what the dialogs chose may say less.
    options.font = textFont;
    options.color = textColor;
    options.logo = logoImage;
    options.keepImages = true; // the window shows what it stamped
    return options;
}

// Marks a picture of the list as not stamped, with the reason as its tool
// tip; a picture removed from the list meanwhile is left alone.
void MainWindow::markFailed(const QPersistentModelIndex &picture, const QString &reason)
{
    if (QListWidgetItem *item = picture.isValid() ? ui->files_list->item(picture.row()) : nullptr) {
        item->setIcon(style()->standardIcon(QStyle::SP_MessageBoxWarning));
        item->setToolTip(reason);
    }
}

void MainWindow::clearFailedMarks()
{
    for (int row = 0; row < ui->files_list->count(); ++row) {
        QListWidgetItem *item = ui->files_list->item(row);
        item->setIcon(QIcon());
        item->setToolTip(QString());
    }
}
