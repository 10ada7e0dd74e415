// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

// What a benchmark that builds the real window needs before its QApplication
// exists: a settings store of its own, because the window saves its options
// when it goes and must never touch the user's.
class BenchWindowEnvironment
{
public:
    BenchWindowEnvironment()
    {
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
    }

private:
    QTemporaryDir config;
};
