// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Read and write access to MainWindow's private state for the tests only.
// MainWindow declares WindowProbe a friend; production code never uses it.

#include "window/mainwindow.h"
#include "ui_mainwindow.h"

struct WindowProbe
{
    static Ui::MainWindow *ui(MainWindow &w) { return w.ui; }
    static QClickableLabel *previewLabel(MainWindow &w) { return w.previewLabel; }
    static QString &logoFileName(MainWindow &w) { return w.logoFileName; }
    static Stamp::Logo &logoImage(MainWindow &w) { return w.logoImage; }
    static QImage &sourceImage(MainWindow &w) { return w.sourceImage; }
    static QImage &stampedImage(MainWindow &w) { return w.stampedImage; }
    static QPoint &logoPos(MainWindow &w) { return w.logoPos; }
    static QPoint &textPos(MainWindow &w) { return w.textPos; }
    static int &transformMode(MainWindow &w) { return w.transformMode; }
    static QFont &textFont(MainWindow &w) { return w.textFont; }
    static QColor &textColor(MainWindow &w) { return w.textColor; }
    static int &relativeRef(MainWindow &w) { return w.relativeRef; }
    static bool &draggingLogo(MainWindow &w) { return w.draggingLogo; }
    static bool &draggingText(MainWindow &w) { return w.draggingText; }
    static QVessikAnalytics &updateChecker(MainWindow &w) { return w.updateChecker; }

    // No selected picture or logo is still being read.
    static bool settled(MainWindow &w) { return !w.pictureLoader.busy() && !w.logoLoader.busy(); }
    static bool readingLogo(MainWindow &w) { return w.logoLoader.busy(); }

    static void composeStamp(MainWindow &w) { w.composeStamp(); }
    static void refreshView(MainWindow &w) { w.refreshView(); }
};

