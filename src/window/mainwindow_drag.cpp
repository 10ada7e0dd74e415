// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/mainwindow.h"

#include <QMouseEvent>

#include "window/previewmath.h"
#include "window/qclickablelabel.h"
#include "ui_mainwindow.h"

// A press picks up the logo or the text when it lands on it. The scale
// between the preview and the picture is fixed here for the whole drag.
void MainWindow::previewMouseClicked(QMouseEvent *event)
{
    // Without a resize the stamped picture has the source's size.
    const QImage &reference = ui->resize_check->isChecked() ? stampedImage : sourceImage;
    if (reference.width() <= 0 || reference.height() <= 0)
        return;

    previewScaleX = static_cast<double>(previewLabel->width()) / reference.width();
    previewScaleY = static_cast<double>(previewLabel->height()) / reference.height();

    const QPoint mouse = event->pos();
    // The logo as it is drawn on this picture (in proportional mode, it is
    // scaled with the picture and perhaps made smaller to fit).
    const StampOptions options = readStampOptions();
    const double logoScale = options.relative
        ? Stamp::proportioned(options, textFont, stampedImage.size(), logoImage.size())
              .options.logoScale
        : ui->scale_spin->value();
    if (PreviewMath::hitsBox(mouse, logoPos.x(), logoPos.y(), logoImage.width() * logoScale,
            logoImage.height() * logoScale, previewScaleX, previewScaleY)) {
        draggingLogo = true;
        lastMousePos = mouse;
    }
    if (PreviewMath::hitsBox(mouse, textPos.x(), textPos.y(), textExtent.width(),
            textExtent.height(), previewScaleX, previewScaleY)) {
        draggingText = true;
        lastMousePos = mouse;
    }

    dragFactor = options.relative ? Stamp::relativeFactor(options, stampedImage.size()) : 0;
    dragOrigin = mouse;
    if (draggingLogo)
        dragStartOffset = QPoint(ui->x_spin->value(), ui->y_spin->value());
    else if (draggingText)
        dragStartOffset = QPoint(ui->txt_x_spin->value(), ui->txt_y_spin->value());
}

// Each step moves the offset spin boxes; their own slots recompose, so the
// item follows the mouse. The logo wins when the press picked up both.
void MainWindow::previewMouseMoved(QMouseEvent *event)
{
    QSpinBox *xSpin = nullptr;
    QSpinBox *ySpin = nullptr;
    if (draggingLogo) {
        xSpin = ui->x_spin;
        ySpin = ui->y_spin;
    } else if (draggingText) {
        xSpin = ui->txt_x_spin;
        ySpin = ui->txt_y_spin;
    } else {
        return;
    }

    const QPoint mouse = event->pos();
    if (dragFactor > 0) {
        // The offsets are reference pixels, dragFactor picture pixels each.
        xSpin->setValue(PreviewMath::dragStep(
            dragStartOffset.x(), mouse.x() - dragOrigin.x(), previewScaleX * dragFactor));
        ySpin->setValue(PreviewMath::dragStep(
            dragStartOffset.y(), mouse.y() - dragOrigin.y(), previewScaleY * dragFactor));
    } else {
        xSpin->setValue(
            PreviewMath::dragStep(xSpin->value(), mouse.x() - lastMousePos.x(), previewScaleX));
        ySpin->setValue(
            PreviewMath::dragStep(ySpin->value(), mouse.y() - lastMousePos.y(), previewScaleY));
    }
    lastMousePos = mouse;
}

void MainWindow::previewMouseReleased(QMouseEvent *)
{
    draggingLogo = false;
    draggingText = false;
}
