#include "mainwindow.h"

#include "ui_mainwindow.h"

void MainWindow::on_start_btn_pressed()
{
}

QString MainWindow::outputSuffix() const
{
    return QStringLiteral("jpg");
}
