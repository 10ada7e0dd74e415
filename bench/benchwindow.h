// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

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

// Answers what a run through the start button asks: the folder dialog with
// `folder`, the "Done" box with OK.
class Answerer : public QObject
{
public:
    explicit Answerer(const QString &folder)
        : folder(folder)
    {
        connect(&timer, &QTimer::timeout, this, &Answerer::poll);
        timer.start(2);
    }

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            edit->setText(folder);
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QApplication::sendEvent(edit, &press);
        } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            box->button(QMessageBox::Ok)->click();
        }
    }

    QString folder;
    QTimer timer;
};

// A click of the mouse in the middle of `button`, as a user makes it; it
// returns when what the click started (a whole run) has returned.
inline void click(QWidget *button)
{
    const QPoint middle = button->rect().center();
    QMouseEvent press(
        QEvent::MouseButtonPress, middle, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(button, &press);
    QMouseEvent release(
        QEvent::MouseButtonRelease, middle, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(button, &release);
}
