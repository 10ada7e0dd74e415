#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib> // defines __GLIBC__ where glibc is the C library
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "window/mainwindow.h"
#include "window/windowarguments.h"

int main(int argc, char *argv[])
{
    // Before the application object: --help and --version need no display.
    const int answered = WindowArguments::answerInformation(argc, argv);
    if (answered >= 0)
        return answered;
#if defined(__GLIBC__)
    // Every composition and every preview refresh makes a fresh copy of the
    // picture: 96 MB for a 24-megapixel photo. By default glibc serves blocks
    // that large with mmap and unmaps them on free, so each copy starts on
    // fresh pages that the kernel must fault in and zero. Serving them from
    // the heap lets the next copy reuse the memory of the last.
    mallopt(M_MMAP_THRESHOLD, 512 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
#endif
    // Sharp and unclipped on high-resolution screens: sizes follow the
    // screen's scale and icons use their @2x pictures there.
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("fusion"));
    QStringList paths;
    QString error;
    if (!WindowArguments::paths(QCoreApplication::arguments(), &paths, &error)) {
        std::fputs(error.toLocal8Bit().constData(), stderr);
        return 2;
    }

    MainWindow window;
    window.showMaximized();
    // Pictures named on the command line come in as a drop once the window
    // is up, so that they are listed and shown exactly as a drop lists them.
    QTimer::singleShot(
        0, &window, [&window, paths] { WindowArguments::listAsDropped(&window, paths); });
    return app.exec();
}
