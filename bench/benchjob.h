// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QImageReader>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

#include "window/mainwindow.h"
// The window's state is reached the way the tests reach it (this also
// brings in the form's header that tarvelo_core generates).
#include "../tests/windowprobe.h"

// The job the batch benchmarks give the program and its peers, and the
// photos they give it: a 15-row dark bar at the bottom, one line of DejaVu
// Sans 18 at (20, 20), a logo at (20, 60), JPG at quality 90, fitted into
// 1920 x 1920 when asked.
namespace BenchJob {

inline const char *const text = "Stamp test 2024-01-01 12:00 - sample caption";

struct Photo
{
    QString path;
    qint64 pixels;
};

// The JPEGs of at least 6 megapixels in Debian's lomiri-wallpapers-16.04,
// lomiri-wallpapers-20.04 and mate-backgrounds (`make bench` installs them).
inline QList<Photo> corpus()
{
    QProcess dpkg;
    dpkg.start("dpkg-query",
        { "-L", "lomiri-wallpapers-16.04", "lomiri-wallpapers-20.04", "mate-backgrounds" });
    dpkg.waitForFinished();
    QList<Photo> photos;
    const QStringList files = QString::fromLocal8Bit(dpkg.readAllStandardOutput()).split('\n');
    for (const QString &file : files) {
        if (!file.endsWith(".jpg", Qt::CaseInsensitive)
            && !file.endsWith(".jpeg", Qt::CaseInsensitive))
            continue;
        const QSize size = QImageReader(file).size();
        const qint64 pixels = qint64(size.width()) * size.height();
        if (pixels >= 6000000)
            photos.append({ file, pixels });
    }
    return photos;
}

// The job on the window's form, with `logo` (read as the window reads it).
inline void setUp(MainWindow &window, const QString &logo)
{
    Ui::MainWindow *ui = WindowProbe::ui(window);
    WindowProbe::logoFileName(window) = logo;
    WindowProbe::logoImage(window) = QImage(logo);
    ui->shadow_spin->setValue(15);
    ui->bottom_radio->setChecked(true);
    ui->dark_radio->setChecked(true);
    ui->wtrmark_edit->setText(QString::fromLatin1(text));
    ui->txt_topleft_btn->setChecked(true);
    ui->txt_x_spin->setValue(20);
    ui->txt_y_spin->setValue(20);
    ui->logo_topleft_btn->setChecked(true);
    ui->x_spin->setValue(20);
    ui->y_spin->setValue(60);
    WindowProbe::textFont(window) = QFont(QStringLiteral("DejaVu Sans"), 18);
    ui->outjpg_radio->setChecked(true);
    ui->comp_slider->setValue(90);
    ui->aspect_check->setChecked(true);
    ui->width_spin->setValue(1920);
    ui->height_spin->setValue(1920);
}

// tarvelo-cli doing the job with the first-run options in `options` (an
// empty file), writing into `out`; the pictures go after it.
inline QStringList cliCommand(const QString &program, const QString &options, const QString &logo,
    bool fit, const QString &out)
{
    return { program, "--options", options, "--set", "logo_file_name=" + logo, "--set",
        "shadow_spin=15", "--set", QStringLiteral("wtrmark_edit=") + text, "--set", "txt_x_spin=20",
        "--set", "txt_y_spin=20", "--set", "y_spin=60", "--set", "x_spin=20", "--set",
        "font=DejaVu Sans,18,-1,5,50,0,0,0,0,0", "--set",
        QStringLiteral("resize_check=") + (fit ? "true" : "false"), "--set", "aspect_check=true",
        "--format", "jpg", "--quality", "90", "--output", out, "--" };
}

} // namespace BenchJob
