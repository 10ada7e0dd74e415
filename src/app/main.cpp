#include <QApplication>

#include "allocator.h"
#include "mainwindow.h"

int main(int argc, char *argv[])
{
    keepPictureBuffersInProcess();
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("fusion"));

    MainWindow window;
    window.showMaximized();
    return app.exec();
}
