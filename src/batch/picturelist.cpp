#include "mainwindow.h"

#include <QDragEnterEvent>
#include <QDropEvent>

#include "ui_mainwindow.h"

void MainWindow::on_open_btn_pressed()
{
}

void MainWindow::dragEnterEvent(QDragEnterEvent *)
{
}

void MainWindow::dropEvent(QDropEvent *)
{
}

void MainWindow::on_remove_btn_pressed()
{
}

void MainWindow::on_clear_btn_pressed()
{
}

void MainWindow::on_files_list_currentRowChanged(int)
{
}
