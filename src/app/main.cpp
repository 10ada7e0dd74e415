#include <QApplication>
#include <QTimer>

#include <cstdio>

#include "window/mainwindow.h"
#include "window/windowarguments.h"

int main(int argc, char *argv[])
{
    // Before the application object: --help and --version need no display.
    const int answered = WindowArguments::answerInformation(argc, argv);
    if (answered >= 0)
        return answered;
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
