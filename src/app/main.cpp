#include <QApplication>

#include <cstdlib> // defines __GLIBC__ where glibc is the C library
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "window/mainwindow.h"

int main(int argc, char *argv[])
{
#if defined(__GLIBC__)
    // Every composition and every preview refresh makes a fresh copy of the
    // picture: 96 MB for a 24-megapixel photo. By default glibc serves blocks
    // that large with mmap and unmaps them on free, so each copy starts on
    // fresh pages that the kernel must fault in and zero. Serving them from
    // the heap lets the next copy reuse the memory of the last.
    mallopt(M_MMAP_THRESHOLD, 512 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
#endif
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("fusion"));

    MainWindow window;
    window.showMaximized();
    return app.exec();
}
