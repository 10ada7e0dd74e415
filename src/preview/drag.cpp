#include "mainwindow.h"

#include <QMouseEvent>

#include "ui_mainwindow.h"

void MainWindow::previewMouseClicked(QMouseEvent *)
{
}

void MainWindow::previewMouseMoved(QMouseEvent *)
{
}

void MainWindow::previewMouseReleased(QMouseEvent *)
{
}
