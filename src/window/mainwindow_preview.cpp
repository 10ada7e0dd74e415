// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/mainwindow.h"

#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QResizeEvent>

#include "window/previewmath.h"
#include "window/qclickablelabel.h"
#include "ui_mainwindow.h"

void MainWindow::refreshView(const QRect &changed)
{
    const auto mode = static_cast<Qt::TransformationMode>(transformMode);

    ui->font_pr_label->setStyleSheet(PreviewMath::fontSampleStyle(textColor));
    ui->font_pr_label->setFont(textFont);

    // Without a logo the thumbnail is left alone; clearing the logo empties
    // it explicitly.
    if (!logoImage.isNull()) {
        const QSize room = ui->logo_label->size() - QSize(2, 2);
        ui->logo_label->setPixmap(QPixmap::fromImage(
            logoImage.look().scaled(room.width(), room.height(), Qt::KeepAspectRatio, mode)));
    }

    // The options are applied at start-up before the preview label exists.
    if (stampedImage.isNull() || !previewLabel)
        return;
    if (!changed.isNull() && showChanged(changed))
        return;

    QImage shown;
    if (ui->actual_radio->isChecked()) {
        shown = stampedImage;
    } else if (ui->fit_radio->isChecked()) {
        const QSize room = ui->image_scroll->size() - QSize(2, 2);
        shown = stampedImage.scaled(room.width(), room.height(), Qt::KeepAspectRatio, mode);
    } else {
        return;
    }
    previewPixmap = QPixmap::fromImage(shown);
    previewLabel->setPixmap(previewPixmap);
    // The label's pixels must be the shown image's pixels for the drag
    // arithmetic; the layout would get there too, but only once it has run.
    previewLabel->resize(shown.size());
}

// Draws the changed part of the picture into the preview shown, scaled as
// the preview is, instead of converting or scaling the whole picture again.
// False when the preview does not show the picture as it did.
bool MainWindow::showChanged(const QRect &changed)
{
    const QSize shownSize = previewPixmap.size();
    if (previewPixmap.isNull() || previewLabel->pixmap(Qt::ReturnByValue).cacheKey()
            != previewPixmap.cacheKey())
        return false;
    QRect target = changed;
    QRectF source = changed;
    if (ui->actual_radio->isChecked()) {
        if (shownSize != stampedImage.size())
            return false;
    } else if (ui->fit_radio->isChecked()) {
        const QSize room = ui->image_scroll->size() - QSize(2, 2);
        if (shownSize != stampedImage.size().scaled(room, Qt::KeepAspectRatio))
            return false;
        // The whole preview pixels that show the change, and the part of the
        // picture they show.
        const double sx = double(shownSize.width()) / stampedImage.width();
        const double sy = double(shownSize.height()) / stampedImage.height();
        target = QRectF(changed.x() * sx, changed.y() * sy, changed.width() * sx,
            changed.height() * sy)
                     .toAlignedRect()
                     .adjusted(-1, -1, 1, 1)
            & QRect(QPoint(0, 0), shownSize);
        source = QRectF(target.x() / sx, target.y() / sy, target.width() / sx,
            target.height() / sy);
    } else {
        return false;
    }
    if (target.isEmpty())
        return true;
    // The label lets go of its copy first, so that the drawing changes the
    // one picture in place instead of copying all of it.
    previewLabel->clear();
    QPainter painter(&previewPixmap);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, transformMode == Qt::SmoothTransformation);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QRectF(target), stampedImage, source);
    painter.end();
    previewLabel->setPixmap(previewPixmap);
    return true;
}

void MainWindow::resizeEvent(QResizeEvent *)
{
    refreshView();
}

void MainWindow::on_actual_radio_toggled(bool)
{
    refreshView();
}

void MainWindow::on_fit_radio_toggled(bool)
{
    refreshView();
}

void MainWindow::on_smooth_check_toggled(bool checked)
{
    if (checked) {
        transformMode = Qt::SmoothTransformation;
        QMessageBox::information(this, tr("Caution"),
            tr("Turning this on might make Tarvelo work slower,<br>because it will use "
               "more CPU power for smooth resizing!<br>I recommend keeping this off "
               "because it only affects preview mode.<br>You will have high quality "
               "images produced regardless of this option."));
    } else {
        transformMode = Qt::FastTransformation;
    }
    refreshView();
}
