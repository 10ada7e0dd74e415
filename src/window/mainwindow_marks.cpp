// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/mainwindow.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QStatusBar>

#include "batch/batchlog.h"
#include "common/drawingreasons.h"
#include "ui_mainwindow.h"

// A logo read from its file, by the logo picker (which says why one cannot
// be used) or at start-up (which only shows it in the status bar). A drawing
// is rendered anew for each size it is stamped at.
void MainWindow::logoRead(const QString &path, PictureLoader::Loaded &loaded, bool tell)
{
    logoImage = std::move(loaded.logo);
    if (logoImage.isNull()) {
        const QString reason = DrawingReasons::translated(
            BatchLog::refusal(loaded.read, QFileInfo(path).fileName()));
        if (tell)
            QMessageBox::warning(this, tr("Logo"), reason, QMessageBox::Ok);
        else
            statusBar()->showMessage(reason.simplified());
    }
    if (tell)
        composeStamp();
    else
        refreshView();
}

// "Fill in fields", "Shadow behind the text" and "Repeat across the
// picture", wired here by function pointer, because the window's slot table
// is fixed by the form.
void MainWindow::setUpMarks()
{
    // Filled in, the text may be longer or shorter: the placement takes the
    // extent of the composition before, so the second one places it right.
    connect(ui->text_fields_check, &QCheckBox::toggled, this, [this] {
        readShownFields();
        composeTwice();
    });
    connect(ui->wtrmark_edit, &QLineEdit::textChanged, this, [this] { readShownFields(); });
    connect(ui->text_shadow_check, &QCheckBox::toggled, this, [this] { composeStamp(); });
    connect(ui->tile_check, &QCheckBox::toggled, this, [this] { composeStamp(); });
}

// The picture shown was read without its metadata, which the fields now
// ask for: it is read for them, and the preview filled in when they come.
void MainWindow::readShownFields()
{
    const StoredOptions::RunOptions run = readRunOptions();
    const QListWidgetItem *item = ui->files_list->currentItem();
    if (shownHasFields || !run.textFields || !Fields::needsMetadata(run.stamp.watermarkText)
        || !item || sourceImage.isNull() || pictureLoader.busy())
        return;
    const QString path = item->text();
    pictureLoader.load(
        path, false,
        [this, path](PictureLoader::Loaded &loaded) {
            keepShownValues(path, loaded, true);
            composeTwice();
        },
        true);
}
