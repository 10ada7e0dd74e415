// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "batch/translation.h"
#include "window/mainwindow.h"
#include "window/windowarguments.h"

namespace {

// SIGTERM, SIGINT and SIGHUP end the program as a confirmed close does. A
// signal handler may do next to nothing, so it only writes a byte into this
// pipe; the event loop reads it and does the rest.
int quitPipe[2] = { -1, -1 };

extern "C" void onQuitSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    const ssize_t written = ::write(quitPipe[1], &byte, 1);
    (void)written; // a full pipe holds a byte already
    errno = saved;
}

// Sends the signals to `window` from now on; without the pipe they keep
// their default action.
void quitOnSignals(MainWindow *window)
{
    if (::pipe2(quitPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto *notifier = new QSocketNotifier(quitPipe[0], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
        char bytes[16];
        while (::read(quitPipe[0], bytes, sizeof bytes) > 0) {
        }
        window->quitUnasked();
    });
    struct sigaction action = {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : { SIGTERM, SIGINT, SIGHUP })
        ::sigaction(signal, &action, nullptr);
}

} // namespace

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
    // The user's language, where the program has a translation for it.
    Translation::install(&app);
    QStringList paths;
    QString error;
    if (!WindowArguments::paths(QCoreApplication::arguments(), &paths, &error)) {
        std::fputs(error.toLocal8Bit().constData(), stderr);
        return 2;
    }

    MainWindow window;
    quitOnSignals(&window);
    window.showMaximized();
    // Pictures named on the command line come in as a drop once the window
    // is up, so that they are listed and shown exactly as a drop lists them.
    QTimer::singleShot(
        0, &window, [&window, paths] { WindowArguments::listAsDropped(&window, paths); });
    return app.exec();
}
