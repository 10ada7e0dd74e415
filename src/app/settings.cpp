#include "mainwindow.h"

#include <QSettings>

#include "ui_mainwindow.h"

void MainWindow::loadSettings()
{
}

void MainWindow::saveSettings()
{
}

void MainWindow::restoreLogo()
{
}
