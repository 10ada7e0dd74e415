#include "mainwindow.h"

#include <QResizeEvent>

#include "qclickablelabel.h"
#include "ui_mainwindow.h"

void MainWindow::refreshView()
{
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

void MainWindow::on_smooth_check_toggled(bool)
{
}
