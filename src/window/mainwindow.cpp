// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/mainwindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QSettings>

#include "batch/batchsession.h"
#include "config.h"
#include "window/qclickablelabel.h"
#include "ui_mainwindow.h"

// The compiled-in icons live in the static core library; without a reference
// from code the linker would drop them.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent),
      ui(new Ui::MainWindow)
{
    initResources();
    ui->setupUi(this);
    fillSiteTexts();

    setAcceptDrops(true);
    setWindowTitle(QStringLiteral("Tarvelo (Version " TARVELO_VERSION ")"));
    setWindowIcon(QIcon(QStringLiteral("://Resources/icon.png")));

    textPos = QPoint(0, 0);
    logoPos = QPoint(0, 0);
    textExtent = QRect();

    settings = new QSettings(QStringLiteral("Dovrin Halsek"), QStringLiteral("Tarvelo"), this);

    stamping = false;
    transformMode = Qt::FastTransformation;
    draggingLogo = false;
    draggingText = false;

    setUpProportions();
    setUpMarks();
    setUpSplitter();

    // The options are applied while there is no preview label yet; nothing is
    // loaded at that point, so the compositions they trigger only refresh the
    // font sample and the logo thumbnail.
    loadSettings();
    startUpdateCheck();

    auto *previewLayout = new QGridLayout(ui->image_scroll_contents);
    previewLabel = new QClickableLabel(this);
    previewLayout->addWidget(previewLabel, 0, 0, Qt::AlignCenter);
    previewLayout->setContentsMargins(0, 0, 0, 0);

    connect(previewLabel, &QClickableLabel::mousePressed, this, &MainWindow::previewMouseClicked);
    connect(previewLabel, &QClickableLabel::mouseMoved, this, &MainWindow::previewMouseMoved);
    connect(previewLabel, &QClickableLabel::mouseReleased, this, &MainWindow::previewMouseReleased);

    restoreLogo();
    setUpKeyboard();
    setUpLooks();
}

// The form names the maker's usual site so that Designer shows real texts;
// a build for another site puts its own in their place.
void MainWindow::fillSiteTexts()
{
    const QLatin1String formSite(TARVELO_FORM_WEBSITE);
    const QLatin1String site(TARVELO_WEBSITE);
    ui->wtrmark_edit->setText(ui->wtrmark_edit->text().replace(formSite, site));
    ui->label_7->setText(ui->label_7->text().replace(formSite, site));
}

MainWindow::~MainWindow()
{
    stopStamping();
    saveSettings();
    delete ui;
    ui = nullptr;

    // The update check may still be waiting for the web site. Its answer must
    // not reach a window that is going away, and closing must not wait for a
    // slow server: cut the connection first, then stop the request (the
    // worker notices within a few milliseconds) and let the thread end.
    disconnect(&updateChecker, nullptr, this, nullptr);
    updateChecker.requestInterruption();
    updateChecker.wait();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // A running batch waits for the answer.
    if (session)
        session->pause();
    const auto answer = QMessageBox::information(this, tr("Confirm"),
        tr("Are you sure you want to exit?"), QMessageBox::Yes | QMessageBox::No);
    if (answer == QMessageBox::Yes) {
        stopStamping();
        event->accept();
    } else {
        event->ignore();
    }
    if (session)
        session->resume();
}

void MainWindow::quitUnasked()
{
    stopStamping();
    saveSettings();
    settings->sync();
    QCoreApplication::quit();
}
