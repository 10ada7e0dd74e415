#include "mainwindow.h"

#include "ui_mainwindow.h"

void MainWindow::onUpdateAvailable(QString)
{
}

void MainWindow::on_credits_btn_pressed()
{
}
