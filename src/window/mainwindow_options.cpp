// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/mainwindow.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>

#include "io/pictureio.h"
#include "window/previewmath.h"
#include "ui_mainwindow.h"

// The option values live in the controls and the compositor reads them from
// there; these slots only keep paired controls in step, run the pickers and
// bring the preview up to date. Spin boxes and sliders emit valueChanged only
// for a real change, so every pair settles after one exchange.

void MainWindow::on_browse_logo_btn_pressed()
{
    const QString name = QFileDialog::getOpenFileName(this, tr("Open Logo"), QString(),
        tr("Images")
            + QStringLiteral(" (*.bmp *.gif *.jpeg *.jpg *.jp2 *.png *.webp *.pgm *.pbm "
                             "*.ppm *.xbm *.xpm *.tiff *.tif *.svg *.svgz)"));
    // A cancelled dialog keeps the current logo, also for the next start.
    if (name.isEmpty())
        return;
    logoFileName = name;
    if (!QFileInfo::exists(name))
        return;
    // Read away from the window's thread, as a selected picture is.
    logoLoader.loadLogo(
        name, [this, name](PictureLoader::Loaded &loaded) { logoRead(name, loaded, true); });
}

void MainWindow::on_clear_logo_btn_pressed()
{
    logoLoader.cancel(); // a logo still being read does not come back
    logoFileName.clear();
    logoImage = Stamp::Logo();
    ui->logo_label->clear();
    composeStamp();
}

void MainWindow::on_reset_logo_btn_pressed()
{
    ui->x_spin->setValue(0);
    ui->y_spin->setValue(0);
}

void MainWindow::on_x_spin_valueChanged(int)
{
    composeStamp();
}

void MainWindow::on_y_spin_valueChanged(int)
{
    composeStamp();
}

void MainWindow::on_scale_spin_valueChanged(double value)
{
    ui->scale_slider->setValue(PreviewMath::scaleToSlider(value));
    composeStamp();
}

void MainWindow::on_scale_slider_valueChanged(int value)
{
    // When the spin box started the exchange it already holds this value.
    // Setting it again would emit nothing but would rewrite the text being
    // typed ("2" becomes "2.00" with the cursor after the 2), so the next
    // keystroke of "2.5" would be refused.
    if (PreviewMath::scaleToSlider(ui->scale_spin->value()) != value)
        ui->scale_spin->setValue(PreviewMath::sliderToScale(value));
}

void MainWindow::on_logoOpacitySpin_valueChanged(int value)
{
    ui->logoOpacitySlider->setValue(value);
    composeStamp();
}

void MainWindow::on_logoOpacitySlider_valueChanged(int value)
{
    ui->logoOpacitySpin->setValue(value);
    composeStamp();
}

void MainWindow::on_wtrmark_edit_textChanged(QString)
{
    composeStamp();
}

void MainWindow::on_font_btn_pressed()
{
    // A cancelled dialog hands back the font it started with.
    bool accepted = false;
    textFont = QFontDialog::getFont(&accepted, textFont, this, QString());
    composeStamp();
}

void MainWindow::on_font_color_btn_pressed()
{
    const QColor color = QColorDialog::getColor(Qt::white, this, QString());
    // A cancelled dialog answers with an invalid colour: keep the old one.
    if (!color.isValid())
        return;
    textColor = color;
    ui->font_pr_label->setStyleSheet(PreviewMath::fontSampleStyle(textColor));
    composeStamp();
}

void MainWindow::on_txt_x_spin_valueChanged(int)
{
    composeStamp();
}

void MainWindow::on_txt_y_spin_valueChanged(int)
{
    composeStamp();
}

void MainWindow::on_rst_txt_pos_btn_pressed()
{
    ui->txt_x_spin->setValue(0);
    ui->txt_y_spin->setValue(0);
}

void MainWindow::on_watermarkOpacitySpin_valueChanged(int value)
{
    ui->watermarkOpacitySlider->setValue(value);
    composeStamp();
}

void MainWindow::on_watermarkOpacitySlider_valueChanged(int value)
{
    ui->watermarkOpacitySpin->setValue(value);
    composeStamp();
}

void MainWindow::on_top_radio_toggled(bool)
{
    composeStamp();
}

void MainWindow::on_bottom_radio_toggled(bool)
{
    composeStamp();
}

void MainWindow::on_light_radio_toggled(bool)
{
    composeStamp();
}

void MainWindow::on_dark_radio_toggled(bool)
{
    composeStamp();
}

void MainWindow::on_shadow_spin_valueChanged(int value)
{
    ui->shadow_slider->setValue(value);
    composeStamp();
}

void MainWindow::on_shadow_slider_valueChanged(int value)
{
    // The spin box's own slot composes.
    ui->shadow_spin->setValue(value);
}

// The size controls compose twice: placement works from the previous
// composition's size, so only the second pass places logo and text against
// the new one.
void MainWindow::on_resize_check_toggled(bool checked)
{
    ui->width_spin->setEnabled(checked);
    ui->height_spin->setEnabled(checked);
    ui->aspect_check->setEnabled(checked);
    composeTwice();
}

void MainWindow::on_width_spin_valueChanged(int value)
{
    if (value >= 10)
        composeTwice();
}

void MainWindow::on_height_spin_valueChanged(int value)
{
    if (value > ui->shadow_spin->value())
        composeTwice();
}

void MainWindow::on_aspect_check_toggled(bool)
{
    composeTwice();
}

// Choosing an anchor starts the item from offset 0. Both the button that is
// switched off and the one switched on come through here.
void MainWindow::logoAnchorChanged()
{
    emit ui->reset_logo_btn->pressed();
    composeStamp();
}

void MainWindow::textAnchorChanged()
{
    emit ui->rst_txt_pos_btn->pressed();
    composeStamp();
}

void MainWindow::on_txt_topleft_btn_toggled(bool)
{
    textAnchorChanged();
}

void MainWindow::on_txt_top_btn_toggled(bool)
{
    textAnchorChanged();
}

void MainWindow::on_txt_topright_btn_toggled(bool)
{
    textAnchorChanged();
}

void MainWindow::on_txt_left_btn_toggled(bool)
{
    textAnchorChanged();
}

void MainWindow::on_txt_center_btn_toggled(bool)
{
    textAnchorChanged();
}

void MainWindow::on_txt_right_btn_toggled(bool)
{
    textAnchorChanged();
}

void MainWindow::on_txt_botleft_btn_toggled(bool)
{
    textAnchorChanged();
}

void MainWindow::on_txt_bot_btn_toggled(bool)
{
    textAnchorChanged();
}

void MainWindow::on_txt_botright_btn_toggled(bool)
{
    textAnchorChanged();
}

void MainWindow::on_logo_topleft_btn_toggled(bool)
{
    logoAnchorChanged();
}

void MainWindow::on_logo_top_btn_toggled(bool)
{
    logoAnchorChanged();
}

void MainWindow::on_logo_topright_btn_toggled(bool)
{
    logoAnchorChanged();
}

void MainWindow::on_logo_left_btn_toggled(bool)
{
    logoAnchorChanged();
}

void MainWindow::on_logo_center_btn_toggled(bool)
{
    logoAnchorChanged();
}

void MainWindow::on_logo_right_btn_toggled(bool)
{
    logoAnchorChanged();
}

void MainWindow::on_logo_botleft_btn_toggled(bool)
{
    logoAnchorChanged();
}

void MainWindow::on_logo_bot_btn_toggled(bool)
{
    logoAnchorChanged();
}

void MainWindow::on_logo_botright_btn_toggled(bool)
{
    logoAnchorChanged();
}
