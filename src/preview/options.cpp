#include "mainwindow.h"

#include "ui_mainwindow.h"

void MainWindow::on_browse_logo_btn_pressed()
{
}

void MainWindow::on_clear_logo_btn_pressed()
{
}

void MainWindow::on_reset_logo_btn_pressed()
{
}

void MainWindow::on_x_spin_valueChanged(int)
{
}

void MainWindow::on_y_spin_valueChanged(int)
{
}

void MainWindow::on_scale_spin_valueChanged(double)
{
}

void MainWindow::on_scale_slider_valueChanged(int)
{
}

void MainWindow::on_logoOpacitySpin_valueChanged(int)
{
}

void MainWindow::on_logoOpacitySlider_valueChanged(int)
{
}

void MainWindow::on_wtrmark_edit_textChanged(QString)
{
}

void MainWindow::on_font_btn_pressed()
{
}

void MainWindow::on_font_color_btn_pressed()
{
}

void MainWindow::on_txt_x_spin_valueChanged(int)
{
}

void MainWindow::on_txt_y_spin_valueChanged(int)
{
}

void MainWindow::on_rst_txt_pos_btn_pressed()
{
}

void MainWindow::on_watermarkOpacitySpin_valueChanged(int)
{
}

void MainWindow::on_watermarkOpacitySlider_valueChanged(int)
{
}

void MainWindow::on_top_radio_toggled(bool)
{
}

void MainWindow::on_bottom_radio_toggled(bool)
{
}

void MainWindow::on_light_radio_toggled(bool)
{
}

void MainWindow::on_dark_radio_toggled(bool)
{
}

void MainWindow::on_shadow_spin_valueChanged(int)
{
}

void MainWindow::on_shadow_slider_valueChanged(int)
{
}

void MainWindow::on_resize_check_toggled(bool)
{
}

void MainWindow::on_width_spin_valueChanged(int)
{
}

void MainWindow::on_height_spin_valueChanged(int)
{
}

void MainWindow::on_aspect_check_toggled(bool)
{
}

void MainWindow::on_comp_slider_valueChanged(int)
{
}

void MainWindow::on_clear_log_btn_pressed()
{
}

void MainWindow::on_txt_topleft_btn_toggled(bool)
{
}

void MainWindow::on_txt_top_btn_toggled(bool)
{
}

void MainWindow::on_txt_topright_btn_toggled(bool)
{
}

void MainWindow::on_txt_left_btn_toggled(bool)
{
}

void MainWindow::on_txt_center_btn_toggled(bool)
{
}

void MainWindow::on_txt_right_btn_toggled(bool)
{
}

void MainWindow::on_txt_botleft_btn_toggled(bool)
{
}

void MainWindow::on_txt_bot_btn_toggled(bool)
{
}

void MainWindow::on_txt_botright_btn_toggled(bool)
{
}

void MainWindow::on_logo_topleft_btn_toggled(bool)
{
}

void MainWindow::on_logo_top_btn_toggled(bool)
{
}

void MainWindow::on_logo_topright_btn_toggled(bool)
{
}

void MainWindow::on_logo_left_btn_toggled(bool)
{
}

void MainWindow::on_logo_center_btn_toggled(bool)
{
}

void MainWindow::on_logo_right_btn_toggled(bool)
{
}

void MainWindow::on_logo_botleft_btn_toggled(bool)
{
}

void MainWindow::on_logo_bot_btn_toggled(bool)
{
}

void MainWindow::on_logo_botright_btn_toggled(bool)
{
}
