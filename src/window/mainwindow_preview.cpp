#include "window/mainwindow.h"

#include <QMessageBox>
#include <QPixmap>
#include <QResizeEvent>

#include "window/previewmath.h"
#include "window/qclickablelabel.h"
#include "ui_mainwindow.h"

void MainWindow::refreshView()
{
    const auto mode = static_cast<Qt::TransformationMode>(transformMode);

    ui->font_pr_label->setStyleSheet(PreviewMath::fontSampleStyle(textColor));
    ui->font_pr_label->setFont(textFont);

    // Without a logo the thumbnail is left alone; clearing the logo empties
    // it explicitly.
    if (!logoImage.isNull()) {
        const QSize room = ui->logo_label->size() - QSize(2, 2);
        ui->logo_label->setPixmap(QPixmap::fromImage(
            logoImage.scaled(room.width(), room.height(), Qt::KeepAspectRatio, mode)));
    }

    // The options are applied at start-up before the preview label exists.
    if (stampedImage.isNull() || !previewLabel)
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
    previewLabel->setPixmap(QPixmap::fromImage(shown));
    // The label's pixels must be the shown image's pixels for the drag
    // arithmetic; the layout would get there too, but only once it has run.
    previewLabel->resize(shown.size());
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
        QMessageBox::information(this, QStringLiteral("Caution"),
            QStringLiteral("Turning this on might make Tarvelo work slower,<br>because it will use "
                           "more CPU power for smooth resizing!<br>I recommend keeping this off "
                           "because it only affects preview mode.<br>You will have high quality "
                           "images produced regardless of this option."));
    } else {
        transformMode = Qt::FastTransformation;
    }
    refreshView();
}
