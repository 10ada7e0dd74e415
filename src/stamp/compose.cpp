#include "mainwindow.h"

#include "ui_mainwindow.h"

// Placeholder until the compositor lands.
StampOptions MainWindow::readStampOptions() const
{
    return StampOptions();
}

void MainWindow::updatePlacement()
{
}

void MainWindow::composeStamp()
{
    refreshView();
}

void MainWindow::composeTwice()
{
    composeStamp();
    composeStamp();
}
