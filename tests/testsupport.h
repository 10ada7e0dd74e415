#pragma once

// Shared scaffolding for the QtTest programs: a main() that keeps settings in
// a test location and uses the toolkit's own (drivable) dialogs, and helpers
// that answer the modal boxes the program opens.

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

#include "isolation.h"

#define TARVELO_TEST_MAIN(TestObject)                                          \
    int main(int argc, char *argv[])                                           \
    {                                                                          \
        QStandardPaths::setTestModeEnabled(true);                              \
        TestIsolation::settingsInTestFolder();                                 \
        QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);               \
        QApplication app(argc, argv);                                          \
        TestIsolation::keepOffline();                                          \
        QApplication::setStyle(QStringLiteral("fusion"));                      \
        TestObject tc;                                                         \
        QTEST_SET_MAIN_SOURCE_PATH                                             \
        return QTest::qExec(&tc, argc, argv);                                  \
    }

namespace TestSupport {

// What a message box showed before it was answered.
struct SeenBox
{
    bool seen = false;
    QString className;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QList<QMessageBox::StandardButton> buttons;
};

// Waits (polling the event loop) for the next modal widget and hands it to
// `act`. Returns at once; the action happens when the modal widget shows up.
inline void onNextModal(std::function<void(QWidget *)> act, int timeoutMs = 10000)
{
    auto *timer = new QTimer(qApp);
    auto started = std::make_shared<int>(0);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act, started, timeoutMs]() {
        *started += 10;
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible()) {
            timer->stop();
            timer->deleteLater();
            act(modal);
        } else if (*started > timeoutMs) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

// Answers the next message box by pressing `button` (or by Escape when
// `button` is NoButton) and records what it showed.
inline std::shared_ptr<SeenBox> answerNextBox(QMessageBox::StandardButton button,
                                              int timeoutMs = 10000)
{
    auto seen = std::make_shared<SeenBox>();
    onNextModal(
        [seen, button](QWidget *modal) {
            seen->seen = true;
            seen->className = QString::fromLatin1(modal->metaObject()->className());
            if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                seen->title = box->windowTitle();
                seen->text = box->text();
                seen->icon = box->icon();
                for (QAbstractButton *b : box->buttons())
                    seen->buttons << box->standardButton(b);
                if (button == QMessageBox::NoButton) {
                    QTest::keyClick(box, Qt::Key_Escape);
                    return;
                }
                if (QAbstractButton *b = box->button(button)) {
                    b->click();
                    return;
                }
            }
            // Not the expected box: close it so that the test cannot hang.
            if (auto *dialog = qobject_cast<QDialog *>(modal))
                dialog->reject();
            else
                modal->close();
        },
        timeoutMs);
    return seen;
}

// Answers the next file or folder dialog by typing `path` into its name
// field and pressing Return (an empty path cancels the dialog).
inline std::shared_ptr<SeenBox> answerNextFileDialog(const QString &path, int timeoutMs = 10000)
{
    auto seen = std::make_shared<SeenBox>();
    onNextModal(
        [seen, path](QWidget *modal) {
            seen->seen = true;
            seen->className = QString::fromLatin1(modal->metaObject()->className());
            seen->title = modal->windowTitle();
            auto *dialog = qobject_cast<QDialog *>(modal);
            auto *edit = modal->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            if (path.isEmpty() || !edit) {
                if (dialog)
                    dialog->reject();
                return;
            }
            edit->setText(path);
            QTest::keyClick(edit, Qt::Key_Return);
        },
        timeoutMs);
    return seen;
}

} // namespace TestSupport
