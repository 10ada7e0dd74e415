// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/windowarguments.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include <cstdio>
#include <cstring>

#include "config.h"

namespace WindowArguments {

int answerInformation(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        if (std::strcmp(argument, "--") == 0)
            break;
        if (std::strcmp(argument, "-h") == 0 || std::strcmp(argument, "--help") == 0) {
            std::fputs("Usage: tarvelo [PICTURE|FOLDER]...\n"
                       "\n"
                       "Opens the Tarvelo window with the pictures named listed, and the\n"
                       "pictures in the folders named, as if they were dropped on it.\n"
                       "\n"
                       "  -h, --help     show this help\n"
                       "  -V, --version  show the version\n"
                       "\n"
                       "To stamp without a window (no display needed): tarvelo-cli --help\n",
                stdout);
            return 0;
        }
        if (std::strcmp(argument, "-V") == 0 || std::strcmp(argument, "-v") == 0
            || std::strcmp(argument, "--version") == 0) {
            std::fputs("Tarvelo " TARVELO_VERSION "\n" TARVELO_LICENCE_NOTICE, stdout);
            return 0;
        }
    }
    return -1;
}

bool paths(const QStringList &arguments, QStringList *paths, QString *error)
{
    bool optionsEnded = false;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (!optionsEnded && argument == QLatin1String("--")) {
            optionsEnded = true;
        } else if (!optionsEnded && argument.startsWith(QLatin1Char('-'))) {
            *error = QStringLiteral("tarvelo: unknown option %1\n"
                                    "Try 'tarvelo --help' for more.\n")
                         .arg(argument);
            return false;
        } else {
            *paths << argument;
        }
    }
    return true;
}

void listAsDropped(QWidget *window, const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls << QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    QMimeData data;
    data.setUrls(urls);
    const QPoint inside = window->rect().center();
    QDragEnterEvent enter(inside, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &enter);
    if (!enter.isAccepted())
        return;
    QDropEvent drop(inside, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &drop);
}

} // namespace WindowArguments
