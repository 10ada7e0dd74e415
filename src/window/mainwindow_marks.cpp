// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/mainwindow.h"

#include <QFileInfo>
#include <QMessageBox>
#include <QStatusBar>

#include "batch/batchlog.h"
#include "ui_mainwindow.h"

// A logo read from its file, by the logo picker (which says why one cannot
// be used) or at start-up (which only shows it in the status bar). A drawing
// is rendered anew for each size it is stamped at.
void MainWindow::logoRead(const QString &path, PictureLoader::Loaded &loaded, bool tell)
{
    logoImage = std::move(loaded.logo);
    if (logoImage.isNull()) {
        const QString reason = BatchLog::refusal(loaded.read, QFileInfo(path).fileName());
        if (tell)
            QMessageBox::warning(this, QStringLiteral("Logo"), reason, QMessageBox::Ok);
        else
            statusBar()->showMessage(reason.simplified());
    }
    if (tell)
        composeStamp();
    else
        refreshView();
}
