// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/mainwindow.h"

#include <QCheckBox>

#include <algorithm>

#include "ui_mainwindow.h"

// "Scale with the picture" and "Only shrink". Both are wired here, by
// function pointer, because the window's slot table is fixed by the form.
void MainWindow::setUpProportions()
{
    // Like the other resize controls, "Only shrink" means something only
    // while resizing is on.
    ui->shrink_check->setEnabled(ui->resize_check->isChecked());
    connect(ui->resize_check, &QCheckBox::toggled, ui->shrink_check, &QWidget::setEnabled);
    // Both can change the stamped picture's size or the text's extent, which
    // the placement takes from the composition before.
    connect(ui->shrink_check, &QCheckBox::toggled, this, [this] { composeTwice(); });
    // The stamp is designed on the picture shown when the box is ticked: its
    // offsets and sizes become those of that picture's shorter side, so the
    // preview stays as it was.
    connect(ui->relative_check, &QCheckBox::toggled, this, [this](bool checked) {
        if (checked)
            relativeRef = stampedImage.isNull()
                ? Stamp::DefaultReferenceSide
                : std::min(stampedImage.width(), stampedImage.height());
        composeTwice();
    });
}
