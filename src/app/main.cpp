#include <QApplication>

#include "mainwindow.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("fusion"));

    MainWindow window;
    window.showMaximized();
    return app.exec();
}
