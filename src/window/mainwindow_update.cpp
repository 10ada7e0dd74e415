// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/mainwindow.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QRegularExpression>
#include <QUrl>

#include "config.h"
#include "ui_mainwindow.h"

namespace {

const QString runningVersion = QStringLiteral(TARVELO_VERSION);
const QString downloadPage = QStringLiteral("http://" TARVELO_WEBSITE "/tarvelo/");
const QString makerSite = QStringLiteral("http://" TARVELO_WEBSITE "/");

// The icons of the form are copied from the Tango icon theme (public domain);
// the arrows are glyphs of DejaVu Sans drawn as pictures. See
// src/Resources/README.md for the file-by-file origins.
const char *const iconCredits = QT_TRANSLATE_NOOP("MainWindow",
    "Icons made by <a href=\"http://tango.freedesktop.org/\">the Tango Desktop Project</a> "
    "(Ulisse Perusin, Steven Garrity, Lapo Calamandrei, Ryan Collier, Rodney Dawes, "
    "Andreas Nilsson, Tuomas Kuosmanen, Garrett LeSage, Jakub Steiner), from "
    "<a href=\"http://tango.freedesktop.org/Tango_Icon_Library\">tango.freedesktop.org</a> "
    "is licensed by <a href=\"http://creativecommons.org/licenses/publicdomain/\">Creative "
    "Commons Public Domain Dedication</a>: the icons are in the public domain.<br><br>"
    "The arrows are drawn from the <a href=\"https://dejavu-fonts.github.io/\">DejaVu Sans</a> "
    "font (Bitstream Vera licence; the DejaVu changes are in the public domain).");

// The program's own licence closes the credits.
const char *const licence = QT_TRANSLATE_NOOP("MainWindow",
    "<br><br>Tarvelo is free software under the <a "
    "href=\"https://www.gnu.org/licenses/gpl-3.0.html\">GNU General Public License, version 3 "
    "or later</a> (GPL-3.0-or-later), and comes with no warranty.");

} // namespace

// Once per start. A build for a distribution leaves the check out (its
// updates come through the distribution), and a user can turn it off in the
// settings; then the program never touches the network.
void MainWindow::startUpdateCheck()
{
#if TARVELO_UPDATE_CHECK
    if (!checkForUpdates)
        return;
    connect(&updateChecker, &QVessikAnalytics::updateMessage, this, &MainWindow::onUpdateAvailable);
    updateChecker.setUrl(
        QStringLiteral("http://" TARVELO_WEBSITE "/webapps/tarvelo.php?version=" TARVELO_VERSION));
    updateChecker.start(QThread::InheritPriority);
#endif
}

void MainWindow::onUpdateAvailable(QString msg)
{
    // Only a version number counts as an answer: a captive portal or a proxy
    // answers with a page of its own, which is no news about Tarvelo. Any
    // version other than this very one is worth telling the user about.
    static const QRegularExpression versionNumber(QStringLiteral("^[0-9]+(\\.[0-9]+)*$"));
    const QString newVersion = msg.trimmed();
    if (newVersion.size() > 32 || !versionNumber.match(newVersion).hasMatch()
        || newVersion == runningVersion)
        return;

    // The answer came over plain HTTP; escape it so that it can only ever
    // show up as text, never as a link or markup of its own.
    const QString text = tr("There is an update available for Tarvelo.<br><br>Go to ")
        + QStringLiteral("<a href=\"%1\">%1</a>").arg(downloadPage)
        + tr(" to download the latest version!<br><br>Remember, you have to first "
             "uninstall currently installed Tarvelo!<br><br>Your settings <b>will be "
             "preserved</b> so you won't have to configure Tarvelo again.<br><br>"
             "Current version: ")
        + runningVersion + tr(", New version: ") + newVersion.toHtmlEscaped();
    QMessageBox::information(this, tr("Update"), text, QMessageBox::Ok);
}

void MainWindow::on_credits_btn_pressed()
{
    QApplication::aboutQt();
    QMessageBox::information(this, tr("Icons"), tr(iconCredits) + tr(licence), QMessageBox::Ok);
    // Having no browser is not worth a message.
    QDesktopServices::openUrl(QUrl(makerSite, QUrl::TolerantMode));
}
