#pragma once

// Answers every message box that comes up while it exists, from a polling
// timer, and records what each one showed. Unlike a one-shot answer it also
// tells a test that no box appeared at all, and it stops when it goes out of
// scope, so it cannot answer a box meant for a later test.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTest>
#include <QTimer>

class BoxWatcher
{
public:
    enum class Answer { Ok, Escape, Close };

    struct Box
    {
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QList<QMessageBox::StandardButton> buttons;
    };

    // `log`, when given, gets "box:<title>" for every box, so that a test can
    // put boxes and other events in one order.
    explicit BoxWatcher(Answer answer = Answer::Ok, QStringList *log = nullptr)
        : answer(answer)
        , log(log)
    {
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [this]() { poll(); });
        timer.start();
    }

    QList<Box> boxes;

private:
    void poll()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || handled.contains(box))
            return;
        handled << box;

        Box seen;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        for (QAbstractButton *button : box->buttons())
            seen.buttons << box->standardButton(button);
        boxes << seen;
        if (log)
            *log << QStringLiteral("box:") + seen.title;

        switch (answer) {
        case Answer::Ok:
            if (QAbstractButton *ok = box->button(QMessageBox::Ok)) {
                ok->click();
                return;
            }
            box->reject();
            return;
        case Answer::Escape:
            QTest::keyClick(box, Qt::Key_Escape);
            return;
        case Answer::Close:
            box->close();
            return;
        }
    }

    Answer answer;
    QStringList *log;
    QTimer timer;
    QList<QPointer<QMessageBox>> handled;
};
