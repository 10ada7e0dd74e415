// SPDX-License-Identifier: GPL-3.0-or-later
// One drag step on the preview of a 6000 x 4000 photo, from the mouse move
// to the refreshed preview, at actual size and fitted, and the two parts it
// is made of: the composition and the redraw of the preview.

#include "benchwindow.h"
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QRadioButton>
#include <QScrollArea>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

#include "window/mainwindow.h"
#include "io/pictureio.h"
#include "window/qclickablelabel.h"
// The window's state is reached the way the tests reach it (this also
// brings in the form's header that tarvelo_core generates).
#include "../tests/windowprobe.h"

namespace {

// A real photo of that size when the benchmark photos are installed, a
// painted stand-in otherwise.
QImage bigPicture()
{
    const QString photo
        = QStringLiteral("/usr/share/backgrounds/Painting-Colors_by__herobrine7gamer.jpg");
    QImage picture = PictureIO::readImage(photo, PictureIO::ReadLimits(), PictureBuffers()).image;
    if (picture.size() == QSize(6000, 4000))
        return PictureIO::toArgb32(picture);

    QImage painted(6000, 4000, QImage::Format_ARGB32);
    QPainter painter(&painted);
    QLinearGradient gradient(0, 0, 6000, 4000);
    gradient.setColorAt(0, Qt::darkBlue);
    gradient.setColorAt(0.5, Qt::yellow);
    gradient.setColorAt(1, Qt::darkRed);
    painter.fillRect(painted.rect(), gradient);
    return painted;
}

// One window for the whole run, set up as a user would have it: a logo, a
// watermark text and the default dark shadow bar.
struct Session
{
    MainWindow window;
    Ui::MainWindow *ui = WindowProbe::ui(window);
    QClickableLabel *label = WindowProbe::previewLabel(window);

    Session()
    {
        ui->resize_check->setChecked(true);
        ui->resize_check->setChecked(false);
        ui->shadow_spin->setValue(40);
        ui->wtrmark_edit->setText(QStringLiteral("www.example.com"));
        WindowProbe::textFont(window) = QFont(QStringLiteral("DejaVu Sans"), 48);
        WindowProbe::textColor(window) = Qt::white;
        QImage logo(400, 200, QImage::Format_ARGB32);
        logo.fill(QColor(255, 0, 255, 160));
        WindowProbe::logoImage(window) = logo;

        ui->image_scroll->setFixedSize(1202, 802);
        window.resize(1800, 1000);
        window.show();
        QCoreApplication::processEvents();

        WindowProbe::sourceImage(window) = bigPicture();
        WindowProbe::stampedImage(window) = WindowProbe::sourceImage(window).copy();
        WindowProbe::composeStamp(window);
        WindowProbe::composeStamp(window);
        QCoreApplication::processEvents();
    }

    void setActual(bool actual)
    {
        (actual ? ui->actual_radio : ui->fit_radio)->setChecked(true);
        QCoreApplication::processEvents();
    }

    void send(QEvent::Type type, QPoint pos, Qt::MouseButtons buttons)
    {
        QMouseEvent event(type, pos, Qt::LeftButton, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(label, &event);
    }
};

Session *session = nullptr;

void dragStep(benchmark::State &state)
{
    const bool actual = state.range(0) != 0;
    session->setActual(actual);
    const QPoint logo = WindowProbe::logoPos(session->window);
    const double scale = actual ? 1.0 : 1200.0 / 6000.0;
    const QPoint press(int((logo.x() + 100) * scale), int((logo.y() + 50) * scale));
    session->send(QEvent::MouseButtonPress, press, Qt::LeftButton);
    if (!WindowProbe::draggingLogo(session->window)) {
        state.SkipWithError("the press did not pick up the logo");
        return;
    }

    // Back and forth, so that every step moves both offsets.
    int step = 0;
    for (auto _ : state) {
        const QPoint to = press + (step++ % 2 ? QPoint(0, 0) : QPoint(3, 2));
        session->send(QEvent::MouseMove, to, Qt::LeftButton);
        // Up to the refreshed preview: the repaint the step asked for.
        QCoreApplication::processEvents();
    }
    session->send(QEvent::MouseButtonRelease, press, Qt::NoButton);
    state.SetLabel(actual ? "actual size" : "fitted");
}

void composeOnly(benchmark::State &state)
{
    for (auto _ : state)
        WindowProbe::composeStamp(session->window);
}

void refreshOnly(benchmark::State &state)
{
    const bool actual = state.range(0) != 0;
    session->setActual(actual);
    for (auto _ : state)
        WindowProbe::refreshView(session->window);
    state.SetLabel(actual ? "actual size" : "fitted");
}

} // namespace

BENCHMARK(dragStep)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(composeOnly)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(refreshOnly)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(3.0);

int main(int argc, char *argv[])
{
    BenchWindowEnvironment environment;
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("fusion"));

    benchmark::Initialize(&argc, argv);
    auto owned = std::make_unique<Session>();
    session = owned.get();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
